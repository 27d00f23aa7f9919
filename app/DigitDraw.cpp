#include "app/DigitDraw.h"

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
    for (i32 i = 0; i < length && text[i] && n < max; ++i) {
        const char c = text[i];
        // Only digits and '-' have cells; anything else would fall outside them.
        if (c == '-') out[n++] = {DigitMinusCell, x};
        else if (c >= '0' && c <= '9') out[n++] = {c - '0', x};
        else continue;
        x += step;
    }
    return n;
}

void DrawDigitCells(const DigitCell*, i32, f32, f32, u32)
{
    // TODO(text helper): draw each cell of the digit-font texture with the
    // shared sprite, transform scaling(scale) + (x, y) times the screen scale.
}
