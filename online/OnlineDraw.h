#pragma once
// Sprite drawing of the login and room screens, in the 1024 x 768 layout
// scaled to the window: pictures, stretched one-pixel panels and text in a
// layout rectangle through the text cache.
#include <string>

#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"

class TextureHandle;

void DrawPictureAt(TextureHandle& picture, f32 x, f32 y, u32 colour = 0xFFFFFFFFu, f32 scale = 1.0f,
                   const plat::GfxRect* source = nullptr);
// The picture stretched over (x, y, w, h) of the layout.
void DrawStretched(TextureHandle& picture, f32 x, f32 y, f32 w, f32 h, u32 colour);
// Text with font 1 (or `font`) in a layout rectangle (format: 0 left, 1
// centred, 2 right, 5 centred both ways).
void DrawLayoutText(const char* text, i32 left, i32 top, i32 right, i32 bottom, u32 colour, u32 format = 0,
                    i32 font = 1);
// Text with font 1 (or `font`) scaled by `scale` about its top-left corner
// at (x, y), clipped to (0, 0, width, height) before the scaling.
void DrawScaledText(const char* text, f32 x, f32 y, f32 scale, i32 width, i32 height, u32 colour, i32 font = 1);
// The same, first in black `shadow` units down and right.
void DrawShadowedText(const char* text, i32 left, i32 top, i32 right, i32 bottom, u32 colour, u32 format = 0,
                      i32 shadow = 1, i32 font = 1);
// The text as font `font` draws it, fitted into `width` layout units:
// whole, or cut after a whole character and ended with "...".
std::string FitToWidth(const std::string& text, i32 width, i32 font = 1);
// A mouse position of the window's client area in the layout; false (and no
// position) while the client area is empty, as when the window is minimised.
bool ClientToLayout(i32 cx, i32 cy, i32& x, i32& y);
