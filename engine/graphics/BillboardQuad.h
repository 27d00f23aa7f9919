#pragma once
// The textured quad every billboard effect draws, with its sprite-sheet cells.
#include <algorithm>
#include <array>

#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"

// Position, colour and texture coordinates: 24 bytes, format FvfXyz |
// FvfDiffuse | FvfTex1.
struct BillboardVertex {
    float x = 0, y = 0, z = 0;
    u32 colour = 0;
    float u = 0, v = 0;
};
static_assert(sizeof(BillboardVertex) == 24);

// A corner in the quad's plane, z = 0.
struct QuadCorner {
    float x = 0, y = 0;
};

// A camera-facing quad in triangle-strip order: left-bottom, left-top,
// right-bottom, right-top, in the z = 0 plane.
//
// Thousands of effects each hold one and run it every frame, so it keeps only
// what changes: the corners, one colour for all four and the cell shown. The
// vertices are made when the quad is drawn; texture coordinates come from the
// cell with the same sums the cell's change used to make at once.
class BillboardQuad {
public:
    static constexpr u32 kFvf = plat::FvfXyz | plat::FvfDiffuse | plat::FvfTex1;
    // What `shown` holds besides a cell: no texture coordinates set yet (all
    // zero), or the whole texture. Cells never reach these (at most
    // 65535 x 65535 of them).
    static constexpr u32 kNoCell = 0xFFFFFFFEu;
    static constexpr u32 kWholeTexture = 0xFFFFFFFFu;

    // Fill positions, one colour and the full texture.
    void InitSquare(float side, u32 colour);
    void InitSize(float width, float height, u32 colour);
    // Extents measured from the origin (all positive for a quad around it).
    void InitRect(float left, float right, float top, float bottom, u32 colour);

    // Positions only.
    void SetSquare(float side);
    // (-a, -d), (-a, c), (b, -d), (b, c).
    void SetExtents(float a, float b, float c, float d);
    // Moves the left edge out by a and the right by b (y: top by a, bottom by
    // b); negative amounts shrink it down to a line at the origin, never
    // turning it inside out.
    void GrowX(float a, float b);
    void GrowY(float a, float b);
    void Grow(float amount)
    {
        GrowX(amount, amount);
        GrowY(amount, amount);
    }
    void ScaleX(float f);
    void ScaleY(float f);
    float Width() const { return corners[2].x - corners[0].x; }

    u8 Alpha() const { return static_cast<u8>(colour >> 24); }
    void SetAlpha(u8 alpha) { colour = (colour & 0x00FFFFFFu) | (u32(alpha) << 24); }
    // Adds a 16-bit step to the alpha; false (alpha untouched) when the result
    // would be negative, which ends a fading effect.
    bool FadeAlpha(i16 step)
    {
        const i16 a = static_cast<i16>(Alpha() + step);
        if (a < 0) return false;
        SetAlpha(static_cast<u8>(std::min<i16>(a, 255)));
        return true;
    }

    // A sheet of columns x rows cells, showing cell 0.
    void SetSheet(u16 sheetColumns, u16 sheetRows);
    // Cells past the last show the last.
    void SetCell(u32 n);
    // Moves on by step cells; past the end it wraps with loop, else stays on the last.
    void AdvanceCell(float step, bool loop);

    // The four vertices as drawn.
    std::array<BillboardVertex, 4> Vertices() const;
    // Draws the quad with its texture; the caller sets the world transform.
    void Draw() const;

    u32 colour = 0;  // all four corners'
    QuadCorner corners[4];
    float cell = 0.0f;
    u32 cellCount = 1;
    u32 shown = kNoCell;  // the cell whose texture coordinates are drawn
    // Only SetSheet changes the sheet, and it shows a cell of the new one at once.
    u16 columns = 1;
    u16 rows = 1;
    plat::GfxTexture* texture = nullptr;  // not owned
};
