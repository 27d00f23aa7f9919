#pragma once
// Pixel conversions between the device's colour formats, shared by the image
// loaders and the backends.
#include "platform/gfx/Gfx.h"

namespace plat {

u16 FloatToHalf(float f);
float HalfToFloat(u16 h);

// One pixel of a colour format to and from (r, g, b, a) floats in 0..1
// (float formats are not clamped).
void PixelToFloat4(GfxFormat format, const u8* src, float out[4]);
void Float4ToPixel(GfxFormat format, const float in[4], u8* dst);

// One pixel to and from 0xAARRGGBB (formats without alpha read as opaque;
// float channels are clamped to 0..1 and rounded).
u32 PixelToArgb(GfxFormat format, const u8* src);
void ArgbToPixel(GfxFormat format, u32 argb, u8* dst);

// Converts a w x h block; false for formats that are not colour formats.
bool ConvertPixels(GfxFormat srcFormat, const u8* src, u32 srcPitch, GfxFormat dstFormat, u8* dst, u32 dstPitch,
                   u32 width, u32 height);

}  // namespace plat
