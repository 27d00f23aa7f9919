#include "platform/gfx/GfxPixel.h"

#include <cmath>
#include <cstring>

namespace plat {

u16 FloatToHalf(float f) {
    u32 x;
    std::memcpy(&x, &f, 4);
    const u32 sign = (x >> 16) & 0x8000u;
    const i32 exp = i32((x >> 23) & 0xFF) - 127 + 15;
    u32 mant = x & 0x7FFFFFu;
    if (((x >> 23) & 0xFF) == 0xFF) return u16(sign | 0x7C00u | (mant ? 0x200u : 0u));  // inf / nan
    if (exp >= 31) return u16(sign | 0x7C00u);
    if (exp <= 0) {
        if (exp < -10) return u16(sign);
        mant |= 0x800000u;
        const u32 shift = u32(14 - exp);
        u32 h = mant >> shift;
        if ((mant >> (shift - 1)) & 1u) ++h;  // round half up
        return u16(sign | h);
    }
    u32 h = sign | (u32(exp) << 10) | (mant >> 13);
    if (mant & 0x1000u) ++h;  // round half up (may carry into the exponent, which is right)
    return u16(h);
}

float HalfToFloat(u16 h) {
    const u32 sign = u32(h & 0x8000u) << 16;
    u32 exp = (h >> 10) & 0x1F;
    u32 mant = h & 0x3FFu;
    u32 x;
    if (exp == 0) {
        if (mant == 0) {
            x = sign;
        } else {
            exp = 127 - 15 + 1;
            while (!(mant & 0x400u)) { mant <<= 1; --exp; }
            mant &= 0x3FFu;
            x = sign | (exp << 23) | (mant << 13);
        }
    } else if (exp == 31) {
        x = sign | 0x7F800000u | (mant << 13);
    } else {
        x = sign | ((exp - 15 + 127) << 23) | (mant << 13);
    }
    float f;
    std::memcpy(&f, &x, 4);
    return f;
}

void PixelToFloat4(GfxFormat format, const u8* s, float out[4]) {
    switch (format) {
        case GfxFormat::R8G8B8:
            out[0] = s[2] / 255.0f; out[1] = s[1] / 255.0f; out[2] = s[0] / 255.0f; out[3] = 1.0f;
            return;
        case GfxFormat::A8R8G8B8:
            out[0] = s[2] / 255.0f; out[1] = s[1] / 255.0f; out[2] = s[0] / 255.0f; out[3] = s[3] / 255.0f;
            return;
        case GfxFormat::X8R8G8B8:
            out[0] = s[2] / 255.0f; out[1] = s[1] / 255.0f; out[2] = s[0] / 255.0f; out[3] = 1.0f;
            return;
        case GfxFormat::A16B16G16R16F:
            for (int i = 0; i < 4; ++i) out[i] = HalfToFloat(u16(s[i * 2] | (s[i * 2 + 1] << 8)));
            return;
        case GfxFormat::R32F:
            std::memcpy(&out[0], s, 4);
            out[1] = out[2] = out[3] = 1.0f;
            return;
        default:
            out[0] = out[1] = out[2] = 0.0f;
            out[3] = 1.0f;
    }
}

namespace {
u8 ToByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return u8(v * 255.0f + 0.5f);
}
}  // namespace

void Float4ToPixel(GfxFormat format, const float in[4], u8* d) {
    switch (format) {
        case GfxFormat::R8G8B8:
            d[0] = ToByte(in[2]); d[1] = ToByte(in[1]); d[2] = ToByte(in[0]);
            return;
        case GfxFormat::A8R8G8B8:
        case GfxFormat::X8R8G8B8:
            d[0] = ToByte(in[2]); d[1] = ToByte(in[1]); d[2] = ToByte(in[0]);
            d[3] = format == GfxFormat::A8R8G8B8 ? ToByte(in[3]) : 255;
            return;
        case GfxFormat::A16B16G16R16F:
            for (int i = 0; i < 4; ++i) {
                const u16 h = FloatToHalf(in[i]);
                d[i * 2] = u8(h);
                d[i * 2 + 1] = u8(h >> 8);
            }
            return;
        case GfxFormat::R32F:
            std::memcpy(d, &in[0], 4);
            return;
        default:
            return;
    }
}

u32 PixelToArgb(GfxFormat format, const u8* s) {
    switch (format) {
        case GfxFormat::R8G8B8: return 0xFF000000u | (u32(s[2]) << 16) | (u32(s[1]) << 8) | s[0];
        case GfxFormat::A8R8G8B8: return (u32(s[3]) << 24) | (u32(s[2]) << 16) | (u32(s[1]) << 8) | s[0];
        case GfxFormat::X8R8G8B8: return 0xFF000000u | (u32(s[2]) << 16) | (u32(s[1]) << 8) | s[0];
        default: {
            float f[4];
            PixelToFloat4(format, s, f);
            return (u32(ToByte(f[3])) << 24) | (u32(ToByte(f[0])) << 16) | (u32(ToByte(f[1])) << 8) | ToByte(f[2]);
        }
    }
}

void ArgbToPixel(GfxFormat format, u32 c, u8* d) {
    switch (format) {
        case GfxFormat::R8G8B8:
            d[0] = u8(c); d[1] = u8(c >> 8); d[2] = u8(c >> 16);
            return;
        case GfxFormat::A8R8G8B8:
            d[0] = u8(c); d[1] = u8(c >> 8); d[2] = u8(c >> 16); d[3] = u8(c >> 24);
            return;
        case GfxFormat::X8R8G8B8:
            d[0] = u8(c); d[1] = u8(c >> 8); d[2] = u8(c >> 16); d[3] = 0xFF;
            return;
        default: {
            const float f[4] = {u8(c >> 16) / 255.0f, u8(c >> 8) / 255.0f, u8(c) / 255.0f, u8(c >> 24) / 255.0f};
            Float4ToPixel(format, f, d);
        }
    }
}

bool ConvertPixels(GfxFormat sf, const u8* src, u32 srcPitch, GfxFormat df, u8* dst, u32 dstPitch, u32 w, u32 h) {
    if (!GfxFormatIsColor(sf) || !GfxFormatIsColor(df)) return false;
    const u32 sb = GfxFormatBytes(sf), db = GfxFormatBytes(df);
    const bool floatPath = sf == GfxFormat::A16B16G16R16F || sf == GfxFormat::R32F ||
                           df == GfxFormat::A16B16G16R16F || df == GfxFormat::R32F;
    for (u32 y = 0; y < h; ++y) {
        const u8* s = src + size_t(y) * srcPitch;
        u8* d = dst + size_t(y) * dstPitch;
        if (sf == df) {
            std::memcpy(d, s, size_t(w) * sb);
            continue;
        }
        for (u32 x = 0; x < w; ++x, s += sb, d += db) {
            if (floatPath) {
                float f[4];
                PixelToFloat4(sf, s, f);
                Float4ToPixel(df, f, d);
            } else {
                ArgbToPixel(df, PixelToArgb(sf, s), d);
            }
        }
    }
    return true;
}

}  // namespace plat
