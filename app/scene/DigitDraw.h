#pragma once
// Numbers drawn with the digit-font picture: 11 cells of 46 x 64 pixels in
// one row (0..9, then the minus sign). Layout is worked out here; the cells
// reach the screen through the shared sprite.
#include "platform/core/Types.h"

class CApplication;

inline constexpr i32 DigitCellWidth = 46;
inline constexpr i32 DigitCellHeight = 64;
inline constexpr i32 DigitMinusCell = 10;

struct DigitCell {
    i32 cell; // 0..9 digits, 10 minus
    f32 x;    // left edge on the 1024 x 768 virtual screen
};

// Cells of a number, leading minus first, no leading zeros. Values of
// 100,000,000 or more in size give none. Returns the count (at most 10).
i32 LayoutNumber(i32 value, f32 x, f32 scale, i32 spacing, DigitCell out[10]);

// Cells of a text of digits and '-', up to length characters (at most max);
// other characters are skipped without advancing.
i32 LayoutDigitString(const char* text, i32 length, f32 x, f32 scale, i32 spacing,
                      DigitCell* out, i32 max);

// Shared texture 3 of the application holds the digit font.
inline constexpr u32 DigitFontTexture = 3;

// Draws a number (or a text of digits and '-') with the shared sprite at
// (x, y) on the 1024 x 768 virtual screen; scale sizes the 46 x 64 cell.
// Call between the sprite's Begin and End.
void DrawNumber(CApplication& app, i32 value, f32 x, f32 y, f32 scale, i32 spacing, u32 colour);
void DrawDigitString(CApplication& app, const char* text, i32 length, f32 x, f32 y, f32 scale,
                     i32 spacing, u32 colour);
