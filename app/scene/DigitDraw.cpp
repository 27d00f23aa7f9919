#include "app/scene/DigitDraw.h"

#include "app/core/Application.h"
#include "app/scene/SceneDevice.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/Math.h"

i32 LayoutNumber(i32 value, f32 x, f32 scale, i32 spacing, DigitCell out[10])
{
    if (value >= 100000000 || value <= -100000000) return 0;
    const f32 step = static_cast<f32>(spacing + DigitCellWidth) * scale;
    i32 n = 0;
    if (value < 0) {
        out[n++] = {DigitMinusCell, x};
        x += step;
        value = -value;
    }
    i32 divisor = 100000000;
    while (value / divisor == 0 && divisor > 1) divisor /= 10;
    while (divisor != 0) {
        out[n++] = {value / divisor, x};
        value %= divisor;
        x += step;
        divisor /= 10;
    }
    return n;
}

i32 LayoutDigitString(const char* text, i32 length, f32 x, f32 scale, i32 spacing,
                      DigitCell* out, i32 max)
{
    if (!text || !out) return 0;
    const f32 step = static_cast<f32>(spacing + DigitCellWidth) * scale;
    i32 n = 0;
    // A negative length (-1) means the whole string, as the callers pass it.
    for (i32 i = 0; (length < 0 || i < length) && text[i] && n < max; ++i) {
        const char c = text[i];
        // Only digits and '-' have cells; anything else would fall outside them.
        if (c == '-') out[n++] = {DigitMinusCell, x};
        else if (c >= '0' && c <= '9') out[n++] = {c - '0', x};
        else continue;
        x += step;
    }
    return n;
}

namespace {

void DrawCells(CApplication& app, const DigitCell* cells, i32 count, f32 y, f32 scale, u32 colour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxTexture* font = app.sharedTextures[DigitFontTexture].texture;
    if (!gd->sprite || !font) return;
    const Mat4 screen = LayoutToScreen();
    for (i32 i = 0; i < count; ++i) {
        Mat4 cell;
        plat::MatrixScaling(&cell, scale, scale, 1.0f);
        cell.m[3][0] += cells[i].x;
        cell.m[3][1] += y;
        plat::MatrixMultiply(&app.digitTransform, &cell, &screen);
        gd->sprite->SetTransform(app.digitTransform);
        const plat::GfxRect src{cells[i].cell * DigitCellWidth, 0, cells[i].cell * DigitCellWidth + DigitCellWidth,
                                DigitCellHeight};
        gd->sprite->Draw(font, &src, nullptr, nullptr, colour);
    }
}

}  // namespace

void DrawNumber(CApplication& app, i32 value, f32 x, f32 y, f32 scale, i32 spacing, u32 colour)
{
    DigitCell cells[10];
    DrawCells(app, cells, LayoutNumber(value, x, scale, spacing, cells), y, scale, colour);
}

void DrawDigitString(CApplication& app, const char* text, i32 length, f32 x, f32 y, f32 scale,
                     i32 spacing, u32 colour)
{
    DigitCell cells[64];
    DrawCells(app, cells, LayoutDigitString(text, length, x, scale, spacing, cells, 64), y, scale, colour);
}
