#include "engine/graphics/BillboardQuad.h"

#include <algorithm>

#include "engine/graphics/GraphicsDevice.h"

namespace {

void FillQuad(BillboardQuad& q, float x0, float x1, float y0, float y1, u32 colour)
{
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
    q.SetExtents(-x0, x1, y1, -y0);
    for (int i = 0; i < 4; ++i) {
        q.vertices[i].colour = colour;
        q.vertices[i].u = uv[i][0];
        q.vertices[i].v = uv[i][1];
    }
}

void CellUv(BillboardQuad& q, u32 n)
{
    const u32 c = q.columns ? q.columns : 1;
    const u32 r = q.rows ? q.rows : 1;
    const float left = float(n % c) / float(c), right = float(n % c + 1) / float(c);
    const float top = float(n / c) / float(r), bottom = float(n / c + 1) / float(r);
    q.vertices[0].u = left;
    q.vertices[0].v = bottom;
    q.vertices[1].u = left;
    q.vertices[1].v = top;
    q.vertices[2].u = right;
    q.vertices[2].v = bottom;
    q.vertices[3].u = right;
    q.vertices[3].v = top;
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
    const float pos[4][2] = {{-a, -d}, {-a, c}, {b, -d}, {b, c}};
    for (int i = 0; i < 4; ++i) {
        vertices[i].x = pos[i][0];
        vertices[i].y = pos[i][1];
        vertices[i].z = 0.0f;
    }
}

void BillboardQuad::GrowX(float a, float b)
{
    for (int i : {0, 1}) vertices[i].x = std::min(vertices[i].x - a, 0.0f);
    for (int i : {2, 3}) vertices[i].x = std::max(vertices[i].x + b, 0.0f);
}

void BillboardQuad::GrowY(float a, float b)
{
    for (int i : {0, 2}) vertices[i].y = std::min(vertices[i].y - b, 0.0f);
    for (int i : {1, 3}) vertices[i].y = std::max(vertices[i].y + a, 0.0f);
}

void BillboardQuad::ScaleX(float f)
{
    for (BillboardVertex& v : vertices) v.x *= f;
}

void BillboardQuad::ScaleY(float f)
{
    for (BillboardVertex& v : vertices) v.y *= f;
}

void BillboardQuad::SetAlpha(u8 alpha)
{
    for (BillboardVertex& v : vertices) v.colour = (v.colour & 0x00FFFFFFu) | (u32(alpha) << 24);
}

bool BillboardQuad::FadeAlpha(i16 step)
{
    const i16 a = static_cast<i16>(Alpha() + step);
    if (a < 0) return false;
    SetAlpha(static_cast<u8>(std::min<i16>(a, 255)));
    return true;
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
    CellUv(*this, n);
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
    CellUv(*this, std::min(u32(cell), cellCount - 1));
}

void BillboardQuad::Draw() const
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (d == nullptr) return;
    d->SetFVF(kFvf);
    d->SetTexture(0, texture);
    d->DrawPrimitiveUP(plat::GfxPrimitive::TriangleStrip, 2, vertices, sizeof(BillboardVertex));
}
