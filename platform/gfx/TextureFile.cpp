#include "platform/gfx/TextureFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/FileSystem.h"
#include "platform/gfx/GfxPixel.h"

namespace plat {

namespace {

u32 RoundUpPow2(u32 v) {
    u32 p = 1;
    while (p < v && p < (1u << 30)) p <<= 1;
    return p;
}

u32 PickSize(u32 requested, u32 fromFile) {
    if (requested == kGfxDefault || requested == 0) return RoundUpPow2(fromFile);
    if (requested == kGfxDefaultNonPow2 || requested == kGfxFromFile) return fromFile;
    return requested;
}

GfxFormat PickFormat(GfxFormat requested, const Image& img, u32 colorKey) {
    if (requested != GfxFormat::Unknown && requested != kGfxFormatFromFile) return requested;
    switch (img.info.format) {
        case GfxFormat::A16B16G16R16F:
        case GfxFormat::R32F:
        case GfxFormat::A8R8G8B8: return img.info.format;
        default:
            // A colour key needs somewhere to put its transparency.
            return colorKey != 0 ? GfxFormat::A8R8G8B8 : GfxFormat::X8R8G8B8;
    }
}

// Reads src (format sf, sw x sh) into dst (format df, dw x dh) with the
// filter: none copies the top-left part, point takes the nearest pixel, the
// others blend the four nearest.
void Resample(const u8* src, GfxFormat sf, u32 sw, u32 sh, u8* dst, GfxFormat df, u32 dw, u32 dh, u32 filter) {
    const u32 sb = GfxFormatBytes(sf), db = GfxFormatBytes(df);
    const u32 kind = filter == kGfxDefault ? ImageFilterTriangle : (filter & 0xFF);
    if (sw == dw && sh == dh) {
        ConvertPixels(sf, src, sw * sb, df, dst, dw * db, dw, dh);
        return;
    }
    if (kind == ImageFilterNone) {
        std::memset(dst, 0, size_t(dw) * dh * db);
        ConvertPixels(sf, src, sw * sb, df, dst, dw * db, std::min(sw, dw), std::min(sh, dh));
        return;
    }
    for (u32 y = 0; y < dh; ++y) {
        for (u32 x = 0; x < dw; ++x) {
            float out[4];
            if (kind == ImageFilterPoint) {
                const u32 sx = std::min(sw - 1, u32(u64(x) * sw / dw)), sy = std::min(sh - 1, u32(u64(y) * sh / dh));
                PixelToFloat4(sf, src + (size_t(sy) * sw + sx) * sb, out);
            } else {
                const float fx = std::max(0.0f, (x + 0.5f) * sw / dw - 0.5f);
                const float fy = std::max(0.0f, (y + 0.5f) * sh / dh - 0.5f);
                const u32 x0 = std::min(sw - 1, u32(fx)), y0 = std::min(sh - 1, u32(fy));
                const u32 x1 = std::min(sw - 1, x0 + 1), y1 = std::min(sh - 1, y0 + 1);
                const float tx = fx - float(x0), ty = fy - float(y0);
                float a[4], b[4], c[4], d[4];
                PixelToFloat4(sf, src + (size_t(y0) * sw + x0) * sb, a);
                PixelToFloat4(sf, src + (size_t(y0) * sw + x1) * sb, b);
                PixelToFloat4(sf, src + (size_t(y1) * sw + x0) * sb, c);
                PixelToFloat4(sf, src + (size_t(y1) * sw + x1) * sb, d);
                for (int i = 0; i < 4; ++i)
                    out[i] = (a[i] * (1 - tx) + b[i] * tx) * (1 - ty) + (c[i] * (1 - tx) + d[i] * tx) * ty;
            }
            Float4ToPixel(df, out, dst + (size_t(y) * dw + x) * db);
        }
    }
}

void ApplyColorKey(Image* img, u32 key) {
    if (key == 0 || img->format != GfxFormat::A8R8G8B8) return;
    for (auto& s : img->surfaces) {
        for (size_t i = 0; i + 4 <= s.size(); i += 4) {
            if (PixelToArgb(GfxFormat::A8R8G8B8, &s[i]) == key) std::memset(&s[i], 0, 4);
        }
    }
}

bool ReadFile(const char* path, std::string* bytes) { return path != nullptr && ReadWholeFile(path, *bytes); }

// Fills one level of one face from the image: the image's own level when it
// has one of the same size, else a resample of its first level.
void FillLevel(GfxBaseTexture* t, u32 face, u32 level, const Image& img, u32 imgFace, u32 filter) {
    std::vector<u8>& dst = t->LevelData(face, level);
    const u32 w = t->LevelWidth(level), h = t->LevelHeight(level);
    if (level < img.levels && img.LevelWidth(level) == w && img.LevelHeight(level) == h) {
        ConvertPixels(img.format, img.Surface(imgFace, level).data(), w * GfxFormatBytes(img.format), t->Format(),
                      dst.data(), t->LevelPitch(level), w, h);
        return;
    }
    Resample(img.Surface(imgFace, 0).data(), img.format, img.width, img.height, dst.data(), t->Format(), w, h,
             filter);
}

}  // namespace

void GenerateMipLevels(GfxBaseTexture* t) {
    if (t == nullptr || t->IsRenderTarget()) return;
    const GfxFormat f = t->Format();
    const u32 bpp = GfxFormatBytes(f);
    for (u32 face = 0; face < t->Faces(); ++face) {
        for (u32 l = 1; l < t->GetLevelCount(); ++l) {
            const std::vector<u8>& src = t->LevelData(face, l - 1);
            std::vector<u8>& dst = t->LevelData(face, l);
            const u32 sw = t->LevelWidth(l - 1), sh = t->LevelHeight(l - 1);
            const u32 dw = t->LevelWidth(l), dh = t->LevelHeight(l);
            for (u32 y = 0; y < dh; ++y) {
                for (u32 x = 0; x < dw; ++x) {
                    float acc[4] = {0, 0, 0, 0};
                    const u32 xs[2] = {std::min(sw - 1, x * 2), std::min(sw - 1, x * 2 + 1)};
                    const u32 ys[2] = {std::min(sh - 1, y * 2), std::min(sh - 1, y * 2 + 1)};
                    for (u32 yy : ys)
                        for (u32 xx : xs) {
                            float p[4];
                            PixelToFloat4(f, src.data() + (size_t(yy) * sw + xx) * bpp, p);
                            for (int i = 0; i < 4; ++i) acc[i] += p[i] * 0.25f;
                        }
                    Float4ToPixel(f, acc, dst.data() + (size_t(y) * dw + x) * bpp);
                }
            }
        }
    }
    t->Touch();
}

std::string PictureRefusal(const std::string& why) {
    return why.empty() ? "is no picture the game can use" : "is no picture the game can use (" + why + ")";
}

GfxResult GetImageInfoFromFileInMemory(const void* data, size_t size, ImageInfo* out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    return GetImageInfo(data, size, out) ? GfxResult::Ok : GfxResult::InvalidCall;
}

GfxResult GetImageInfoFromFile(const char* path, ImageInfo* out) {
    std::string bytes;
    if (!ReadFile(path, &bytes)) return GfxResult::InvalidCall;
    return GetImageInfoFromFileInMemory(bytes.data(), bytes.size(), out);
}

GfxResult CreateTextureFromFileInMemoryEx(GfxDevice* device, const void* data, size_t size,
                                          const TextureLoadOptions& o, ImageInfo* srcInfo, GfxTexture** out,
                                          std::string* why) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (device == nullptr || data == nullptr) return GfxResult::InvalidCall;
    Image img;
    if (!DecodeImage(data, size, &img, why)) return GfxResult::InvalidCall;
    ApplyColorKey(&img, o.colorKey);
    const u32 w = PickSize(o.width, img.width), h = PickSize(o.height, img.height);
    u32 levels = o.mipLevels;
    if (levels == kGfxFromFile) levels = img.levels;
    else if (levels == kGfxDefault) levels = 0;
    const GfxFormat format = PickFormat(o.format, img, o.colorKey);
    GfxRef<GfxTexture> tex;
    const GfxResult r = device->CreateTexture(w, h, levels, o.usage, format, o.pool, tex.put());
    if (r != GfxResult::Ok) return r;
    if (!tex->IsRenderTarget()) {
        FillLevel(tex.get(), 0, 0, img, 0, o.filter);
        bool ownLevels = true;
        for (u32 l = 1; l < tex->GetLevelCount(); ++l)
            ownLevels = ownLevels && l < img.levels && img.LevelWidth(l) == tex->LevelWidth(l) &&
                        img.LevelHeight(l) == tex->LevelHeight(l);
        if (ownLevels) {
            for (u32 l = 1; l < tex->GetLevelCount(); ++l) FillLevel(tex.get(), 0, l, img, 0, o.filter);
            tex->Touch();
        } else {
            GenerateMipLevels(tex.get());
        }
    }
    if (srcInfo) *srcInfo = img.info;
    *out = tex.get();
    (*out)->AddRef();
    return GfxResult::Ok;
}

GfxResult CreateTextureFromFileInMemory(GfxDevice* device, const void* data, size_t size, GfxTexture** out) {
    return CreateTextureFromFileInMemoryEx(device, data, size, TextureLoadOptions(), nullptr, out);
}

GfxResult CreateTextureFromFileEx(GfxDevice* device, const char* path, const TextureLoadOptions& options,
                                  ImageInfo* srcInfo, GfxTexture** out) {
    if (out) *out = nullptr;
    std::string bytes;
    if (!ReadFile(path, &bytes)) {
        if (path != nullptr) ReportLoadFailure(path, "cannot be read");
        return GfxResult::InvalidCall;
    }
    std::string why;
    const GfxResult r =
        CreateTextureFromFileInMemoryEx(device, bytes.data(), bytes.size(), options, srcInfo, out, &why);
    if (r != GfxResult::Ok) ReportLoadFailure(path, PictureRefusal(why).c_str());
    return r;
}

GfxResult CreateTextureFromFile(GfxDevice* device, const char* path, GfxTexture** out) {
    return CreateTextureFromFileEx(device, path, TextureLoadOptions(), nullptr, out);
}

GfxResult CreateCubeTextureFromFileInMemory(GfxDevice* device, const void* data, size_t size, GfxCubeTexture** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (device == nullptr || data == nullptr) return GfxResult::InvalidCall;
    Image img;
    if (!DecodeImage(data, size, &img)) return GfxResult::InvalidCall;
    // A picture that is no cube map must not become six faces the size of
    // its longer side.
    if (img.width != img.height || img.width == 0 || img.width > kMaxCubeEdge) return GfxResult::InvalidCall;
    const GfxFormat format = PickFormat(GfxFormat::Unknown, img, 0);
    const u32 edge = img.faces == 6 ? img.width : RoundUpPow2(img.width);
    GfxRef<GfxCubeTexture> cube;
    const GfxResult r =
        device->CreateCubeTexture(edge, img.faces == 6 ? img.levels : 0, 0, format, GfxPool::Managed, cube.put());
    if (r != GfxResult::Ok) return r;
    for (u32 face = 0; face < 6; ++face)
        for (u32 l = 0; l < cube->GetLevelCount(); ++l)
            FillLevel(cube.get(), face, l, img, img.faces == 6 ? face : 0, kGfxDefault);
    cube->Touch();
    *out = cube.get();
    (*out)->AddRef();
    return GfxResult::Ok;
}

GfxResult CreateCubeTextureFromFile(GfxDevice* device, const char* path, GfxCubeTexture** out) {
    if (out) *out = nullptr;
    std::string bytes;
    if (!ReadFile(path, &bytes)) {
        if (path != nullptr) ReportLoadFailure(path, "cannot be read");
        return GfxResult::InvalidCall;
    }
    const GfxResult r = CreateCubeTextureFromFileInMemory(device, bytes.data(), bytes.size(), out);
    if (r != GfxResult::Ok) ReportLoadFailure(path, "is no cube map of square faces the game can use");
    return r;
}

GfxResult LoadSurfaceFromSurface(GfxDevice* device, GfxSurface* dst, const GfxRect* dstRect, GfxSurface* src,
                                 const GfxRect* srcRect, u32 filter) {
    if (device == nullptr || dst == nullptr || src == nullptr) return GfxResult::InvalidCall;
    std::vector<u32> pixels;
    GfxResult r = device->ReadPixels(src, srcRect, &pixels);
    if (r != GfxResult::Ok) return r;
    const GfxRect s = srcRect ? *srcRect : GfxRect{0, 0, i32(src->Desc().width), i32(src->Desc().height)};
    const GfxRect d = dstRect ? *dstRect : GfxRect{0, 0, i32(dst->Desc().width), i32(dst->Desc().height)};
    if (d.left < 0 || d.top < 0 || d.right > i32(dst->Desc().width) || d.bottom > i32(dst->Desc().height) ||
        d.Width() <= 0 || d.Height() <= 0)
        return GfxResult::InvalidCall;
    const u32 dw = u32(d.Width()), dh = u32(d.Height());
    const u32 k = filter == kGfxDefault ? ImageFilterTriangle : filter & 0xFF;
    std::vector<u8> scaled(size_t(dw) * dh * GfxFormatBytes(dst->Desc().format));
    // A plain copy is wanted when sizes agree; "none" never scales.
    Resample(reinterpret_cast<const u8*>(pixels.data()), GfxFormat::A8R8G8B8, u32(s.Width()), u32(s.Height()),
             scaled.data(), dst->Desc().format, dw, dh, k == ImageFilterNone ? u32(ImageFilterPoint) : k);
    GfxLockedRect lr;
    r = dst->LockRect(&lr, &d, 0);
    if (r != GfxResult::Ok) return r;  // a GPU-only destination cannot take CPU pixels
    const u32 rowBytes = dw * GfxFormatBytes(dst->Desc().format);
    for (u32 y = 0; y < dh; ++y)
        std::memcpy(static_cast<u8*>(lr.bits) + size_t(y) * lr.pitch, scaled.data() + size_t(y) * rowBytes, rowBytes);
    return dst->UnlockRect();
}

GfxResult SaveSurfaceToPng(GfxDevice* device, const char* path, GfxSurface* surface, const GfxRect* rect) {
    if (device == nullptr || surface == nullptr || path == nullptr) return GfxResult::InvalidCall;
    std::vector<u32> pixels;
    const GfxResult r = device->ReadPixels(surface, rect, &pixels);
    if (r != GfxResult::Ok) return r;
    const u32 w = rect ? u32(rect->Width()) : surface->Desc().width;
    const u32 h = rect ? u32(rect->Height()) : surface->Desc().height;
    return SavePng(path, pixels.data(), w, h, GfxFormatHasAlpha(surface->Desc().format)) ? GfxResult::Ok
                                                                                           : GfxResult::Fail;
}

}  // namespace plat
