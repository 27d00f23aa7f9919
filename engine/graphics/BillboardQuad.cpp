#include "engine/graphics/BillboardQuad.h"

#include <algorithm>

#include "engine/graphics/GraphicsDevice.h"

namespace {

void FillQuad(BillboardQuad& q, float x0, float x1, float y0, float y1, u32 colour)
{
    q.SetExtents(-x0, x1, y1, -y0);
    q.colour = colour;
    q.shown = BillboardQuad::kWholeTexture;
}

}  // namespace

void BillboardQuad::InitSquare(float side, u32 colour) { FillQuad(*this, -side / 2, side / 2, -side / 2, side / 2, colour); }

void BillboardQuad::InitSize(float width, float height, u32 colour)
{
    FillQuad(*this, -width / 2, width / 2, -height / 2, height / 2, colour);
}

void BillboardQuad::InitRect(float left, float right, float top, float bottom, u32 colour)
{
    FillQuad(*this, -left, right, -bottom, top, colour);
}

void BillboardQuad::SetSquare(float side) { SetExtents(side / 2, side / 2, side / 2, side / 2); }

void BillboardQuad::SetExtents(float a, float b, float c, float d)
{
    corners[0] = {-a, -d};
    corners[1] = {-a, c};
    corners[2] = {b, -d};
    corners[3] = {b, c};
}

void BillboardQuad::GrowX(float a, float b)
{
    for (int i : {0, 1}) corners[i].x = std::min(corners[i].x - a, 0.0f);
    for (int i : {2, 3}) corners[i].x = std::max(corners[i].x + b, 0.0f);
}

void BillboardQuad::GrowY(float a, float b)
{
    for (int i : {0, 2}) corners[i].y = std::min(corners[i].y - b, 0.0f);
    for (int i : {1, 3}) corners[i].y = std::max(corners[i].y + a, 0.0f);
}

void BillboardQuad::ScaleX(float f)
{
    for (QuadCorner& c : corners) c.x *= f;
}

void BillboardQuad::ScaleY(float f)
{
    for (QuadCorner& c : corners) c.y *= f;
}

void BillboardQuad::SetSheet(u16 sheetColumns, u16 sheetRows)
{
    columns = sheetColumns ? sheetColumns : 1;
    rows = sheetRows ? sheetRows : 1;
    cellCount = u32(columns) * rows;
    SetCell(0);
}

void BillboardQuad::SetCell(u32 n)
{
    if (cellCount == 0) cellCount = 1;
    n = std::min(n, cellCount - 1);
    shown = n;
    cell = float(n);
}

void BillboardQuad::AdvanceCell(float step, bool loop)
{
    if (cellCount == 0) cellCount = 1;
    const float count = float(cellCount);
    cell += step;
    if (cell >= count) {
        if (loop)
            cell -= count * float(u32(cell / count));
        else
            cell = count - 1.0f;
    }
    if (cell < 0.0f) cell = 0.0f;
    shown = std::min(u32(cell), cellCount - 1);
}

std::array<BillboardVertex, 4> BillboardQuad::Vertices() const
{
    float left = 0, right = 0, top = 0, bottom = 0;
    if (shown == kWholeTexture) {
        right = 1;
        bottom = 1;
    } else if (shown != kNoCell) {
        const u32 c = columns ? columns : 1;
        const u32 r = rows ? rows : 1;
        left = float(shown % c) / float(c);
        right = float(shown % c + 1) / float(c);
        top = float(shown / c) / float(r);
        bottom = float(shown / c + 1) / float(r);
    }
    const float u[4] = {left, left, right, right};
    const float v[4] = {bottom, top, bottom, top};
    std::array<BillboardVertex, 4> out;
    for (int i = 0; i < 4; ++i) out[i] = {corners[i].x, corners[i].y, 0.0f, colour, u[i], v[i]};
    return out;
}

void BillboardQuad::Draw() const
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (d == nullptr) return;
    const std::array<BillboardVertex, 4> vertices = Vertices();
    d->SetFVF(kFvf);
    d->SetTexture(0, texture);
    d->DrawPrimitiveUP(plat::GfxPrimitive::TriangleStrip, 2, vertices.data(), sizeof(BillboardVertex));
}
