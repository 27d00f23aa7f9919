#include "platform/gfx/Image.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/core/ByteOrder.h"
#include "platform/core/FileSystem.h"

namespace plat {

namespace {

bool Fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}


// The header's size against what a picture may decode to.
bool SizeOk(const char* kind, u64 w, u64 h, std::string* error) {
    if (w == 0 || h == 0) return Fail(error, (std::string(kind) + " size is out of range").c_str());
    if (w <= kMaxImageEdge && h <= kMaxImageEdge && w * h <= kMaxImagePixels) return true;
    return Fail(error, (std::string(kind) + " is " + std::to_string(w) + "x" + std::to_string(h) +
                        ": a picture may have at most " + std::to_string(kMaxImageSquare) + "x" +
                        std::to_string(kMaxImageSquare) + " pixels, " + std::to_string(kMaxImageEdge) + " on a side")
                           .c_str());
}

void StartImage(Image* img, GfxFormat format, u32 w, u32 h, u32 levels, u32 faces) {
    img->format = format;
    img->width = w;
    img->height = h;
    img->levels = levels;
    img->faces = faces;
    img->surfaces.assign(size_t(levels) * faces, {});
}

// ---- PNG ------------------------------------------------------------------

bool PngInfo(const u8* data, size_t size, ImageInfo* info, png_image* image, std::string* error) {
    std::memset(image, 0, sizeof *image);
    image->version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(image, data, size)) return Fail(error, "PNG header is damaged");
    if (!SizeOk("PNG", image->width, image->height, error)) {
        png_image_free(image);
        return false;
    }
    info->width = image->width;
    info->height = image->height;
    info->depth = 1;
    info->mipLevels = 1;
    info->resourceType = GfxResourceType::Texture;
    info->fileFormat = ImageFileFormat::Png;
    const bool alpha = (image->format & PNG_FORMAT_FLAG_ALPHA) != 0;
    const bool color = (image->format & PNG_FORMAT_FLAG_COLOR) != 0;
    info->format = alpha ? GfxFormat::A8R8G8B8 : color ? GfxFormat::R8G8B8 : GfxFormat::X8R8G8B8;
    return true;
}

bool DecodePng(const u8* data, size_t size, Image* img, std::string* error) {
    png_image image;
    if (!PngInfo(data, size, &img->info, &image, error)) return false;
    image.format = PNG_FORMAT_BGRA;
    StartImage(img, GfxFormat::A8R8G8B8, image.width, image.height, 1, 1);
    std::vector<u8>& px = img->Surface(0, 0);
    px.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) {
        png_image_free(&image);
        return Fail(error, "PNG data is damaged");
    }
    return true;
}

// ---- BMP ------------------------------------------------------------------

struct BmpHeader {
    u32 dataOffset = 0;
    u32 headerSize = 0;
    i64 width = 0, height = 0;
    bool topDown = false;
    u32 bpp = 0, compression = 0, colorsUsed = 0;
    u32 masks[4] = {};  // r, g, b, a
    const u8* palette = nullptr;
    u32 paletteEntries = 0, paletteStride = 4;
};

bool BmpParse(const u8* d, size_t size, BmpHeader* h, std::string* error) {
    if (size < 26 || d[0] != 'B' || d[1] != 'M') return Fail(error, "not a BMP file");
    h->dataOffset = GetU32(d + 10);
    h->headerSize = GetU32(d + 14);
    if (h->headerSize == 12) {
        h->width = GetU16(d + 18);
        h->height = GetU16(d + 20);
        h->bpp = GetU16(d + 24);
        h->paletteStride = 3;
    } else if (h->headerSize >= 40 && h->headerSize <= 1024) {
        if (size < 14 + size_t(h->headerSize)) return Fail(error, "BMP header is cut short");
        h->width = i32(GetU32(d + 18));
        const i32 hh = i32(GetU32(d + 22));
        h->topDown = hh < 0;
        h->height = hh < 0 ? -i64(hh) : i64(hh);
        h->bpp = GetU16(d + 28);
        h->compression = GetU32(d + 30);
        h->colorsUsed = GetU32(d + 46);
        if (h->compression == 3 || h->compression == 6) {
            // Masks follow a plain info header, or sit inside a larger one.
            const size_t at = 14 + 40;
            if (size < at + 12) return Fail(error, "BMP masks are cut short");
            h->masks[0] = GetU32(d + at);
            h->masks[1] = GetU32(d + at + 4);
            h->masks[2] = GetU32(d + at + 8);
            if ((h->headerSize >= 56 || h->compression == 6) && size >= at + 16) h->masks[3] = GetU32(d + at + 12);
        }
    } else {
        return Fail(error, "unsupported BMP header");
    }
    if (!SizeOk("BMP", u64(h->width), u64(h->height), error)) return false;
    if (h->bpp <= 8) {
        if (h->bpp != 1 && h->bpp != 4 && h->bpp != 8) return Fail(error, "unsupported BMP depth");
        const u32 maxEntries = 1u << h->bpp;
        h->paletteEntries = h->colorsUsed == 0 || h->colorsUsed > maxEntries ? maxEntries : h->colorsUsed;
        size_t at = 14 + size_t(h->headerSize);
        if (h->compression == 3) at += 12;
        if (at + size_t(h->paletteEntries) * h->paletteStride > size) return Fail(error, "BMP palette is cut short");
        h->palette = d + at;
    } else if (h->bpp != 16 && h->bpp != 24 && h->bpp != 32) {
        return Fail(error, "unsupported BMP depth");
    }
    if (h->compression != 0 && h->compression != 3 && h->compression != 6) return Fail(error, "compressed BMP");
    if ((h->compression == 3 || h->compression == 6) && h->bpp != 16 && h->bpp != 32)
        return Fail(error, "BMP masks need 16 or 32 bits");
    if (h->compression == 0 && h->bpp == 16) {
        h->masks[0] = 0x7C00;
        h->masks[1] = 0x03E0;
        h->masks[2] = 0x001F;
    }
    return true;
}

// Value of the bits of mask, scaled to 0..255.
u8 MaskByte(u32 v, u32 mask) {
    if (mask == 0) return 255;
    u32 shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const u64 max = mask >> shift;
    return u8(u64((v & mask) >> shift) * 255u / max);
}

void BmpFillInfo(const BmpHeader& h, ImageInfo* info) {
    info->width = u32(h.width);
    info->height = u32(h.height);
    info->depth = 1;
    info->mipLevels = 1;
    info->resourceType = GfxResourceType::Texture;
    info->fileFormat = ImageFileFormat::Bmp;
    const bool alpha = (h.compression == 3 || h.compression == 6) && h.masks[3] != 0;
    info->format = h.bpp == 24 ? GfxFormat::R8G8B8 : alpha ? GfxFormat::A8R8G8B8 : GfxFormat::X8R8G8B8;
}

bool DecodeBmp(const u8* d, size_t size, Image* img, std::string* error) {
    BmpHeader h;
    if (!BmpParse(d, size, &h, error)) return false;
    BmpFillInfo(h, &img->info);
    const u32 w = u32(h.width), ht = u32(h.height);
    const u64 stride = ((u64(w) * h.bpp + 31) / 32) * 4;
    if (h.dataOffset > size || stride * ht > size - h.dataOffset) return Fail(error, "BMP pixels are cut short");
    StartImage(img, GfxFormat::A8R8G8B8, w, ht, 1, 1);
    std::vector<u8>& out = img->Surface(0, 0);
    out.resize(size_t(w) * ht * 4);
    const bool maskAlpha = img->info.format == GfxFormat::A8R8G8B8;
    for (u32 y = 0; y < ht; ++y) {
        const u8* row = d + h.dataOffset + (h.topDown ? y : ht - 1 - y) * stride;
        u8* o = out.data() + size_t(y) * w * 4;
        for (u32 x = 0; x < w; ++x, o += 4) {
            if (h.bpp <= 8) {
                const u32 perByte = 8 / h.bpp;
                const u32 shift = (perByte - 1 - x % perByte) * h.bpp;
                u32 idx = (row[x / perByte] >> shift) & ((1u << h.bpp) - 1);
                if (idx >= h.paletteEntries) idx = 0;
                const u8* e = h.palette + size_t(idx) * h.paletteStride;
                o[0] = e[0];
                o[1] = e[1];
                o[2] = e[2];
                o[3] = 255;
            } else if (h.bpp == 24) {
                o[0] = row[x * 3];
                o[1] = row[x * 3 + 1];
                o[2] = row[x * 3 + 2];
                o[3] = 255;
            } else if (h.bpp == 32 && h.compression == 0) {
                o[0] = row[x * 4];
                o[1] = row[x * 4 + 1];
                o[2] = row[x * 4 + 2];
                o[3] = 255;
            } else {
                const u32 v = h.bpp == 16 ? GetU16(row + x * 2) : GetU32(row + x * 4);
                o[2] = MaskByte(v, h.masks[0]);
                o[1] = MaskByte(v, h.masks[1]);
                o[0] = MaskByte(v, h.masks[2]);
                o[3] = maskAlpha ? MaskByte(v, h.masks[3]) : 255;
            }
        }
    }
    return true;
}

// ---- DDS ------------------------------------------------------------------

constexpr u32 FourCC(char a, char b, char c, char d) {
    return u32(u8(a)) | (u32(u8(b)) << 8) | (u32(u8(c)) << 16) | (u32(u8(d)) << 24);
}

enum class DdsKind { Unknown, Dxt1, Dxt3, Dxt5, Argb, Xrgb, Abgr, Xbgr, Rgb24, Half4, Float1 };

struct DdsHeader {
    u32 width = 0, height = 0, levels = 1, faces = 1;
    DdsKind kind = DdsKind::Unknown;
    size_t dataOffset = 128;
};

bool DdsParse(const u8* d, size_t size, DdsHeader* h, std::string* error) {
    if (size < 128 || GetU32(d) != FourCC('D', 'D', 'S', ' ')) return Fail(error, "not a DDS file");
    const u8* hd = d + 4;
    if (GetU32(hd) != 124) return Fail(error, "DDS header is damaged");
    const u32 flags = GetU32(hd + 4);
    h->height = GetU32(hd + 8);
    h->width = GetU32(hd + 12);
    const u32 mips = GetU32(hd + 24);
    const u8* pf = hd + 72;
    const u32 pfFlags = GetU32(pf + 4), fourcc = GetU32(pf + 8), bits = GetU32(pf + 12);
    const u32 rm = GetU32(pf + 16), gm = GetU32(pf + 20), bm = GetU32(pf + 24), am = GetU32(pf + 28);
    const u32 caps2 = GetU32(hd + 108);
    if (!SizeOk("DDS", h->width, h->height, error)) return false;
    u32 full = 1;
    for (u32 m = std::max(h->width, h->height); m > 1; m >>= 1) ++full;
    h->levels = (flags & 0x20000) && mips > 0 ? mips : 1;
    if (h->levels > full) return Fail(error, "DDS has too many mip levels");
    if (caps2 & 0x200) {
        if ((caps2 & 0xFC00) != 0xFC00) return Fail(error, "DDS cube map lacks faces");
        if (h->width != h->height) return Fail(error, "DDS cube map is not square");
        h->faces = 6;
    }
    if (caps2 & 0x200000) return Fail(error, "volume DDS files are not supported");
    if (pfFlags & 0x4) {
        switch (fourcc) {
            case FourCC('D', 'X', 'T', '1'): h->kind = DdsKind::Dxt1; break;
            case FourCC('D', 'X', 'T', '3'): h->kind = DdsKind::Dxt3; break;
            case FourCC('D', 'X', 'T', '5'): h->kind = DdsKind::Dxt5; break;
            case 113: h->kind = DdsKind::Half4; break;
            case 114: h->kind = DdsKind::Float1; break;
            default: return Fail(error, "unsupported DDS format");
        }
    } else if ((pfFlags & 0x40) && bits == 32) {
        const bool hasAlpha = (pfFlags & 0x1) && am != 0;
        if (rm == 0xFF0000 && gm == 0xFF00 && bm == 0xFF) h->kind = hasAlpha ? DdsKind::Argb : DdsKind::Xrgb;
        else if (rm == 0xFF && gm == 0xFF00 && bm == 0xFF0000) h->kind = hasAlpha ? DdsKind::Abgr : DdsKind::Xbgr;
        else return Fail(error, "unsupported DDS channel masks");
    } else if ((pfFlags & 0x40) && bits == 24 && rm == 0xFF0000 && gm == 0xFF00 && bm == 0xFF) {
        h->kind = DdsKind::Rgb24;
    } else {
        return Fail(error, "unsupported DDS format");
    }
    return true;
}

u64 DdsLevelBytes(DdsKind k, u32 w, u32 h) {
    switch (k) {
        case DdsKind::Dxt1: return u64((w + 3) / 4) * ((h + 3) / 4) * 8;
        case DdsKind::Dxt3:
        case DdsKind::Dxt5: return u64((w + 3) / 4) * ((h + 3) / 4) * 16;
        case DdsKind::Rgb24: return u64(w) * h * 3;
        case DdsKind::Half4: return u64(w) * h * 8;
        default: return u64(w) * h * 4;
    }
}

void DdsFillInfo(const DdsHeader& h, ImageInfo* info) {
    info->width = h.width;
    info->height = h.height;
    info->depth = 1;
    info->mipLevels = h.levels;
    info->resourceType = h.faces == 6 ? GfxResourceType::CubeTexture : GfxResourceType::Texture;
    info->fileFormat = ImageFileFormat::Dds;
    switch (h.kind) {
        case DdsKind::Xrgb:
        case DdsKind::Xbgr: info->format = GfxFormat::X8R8G8B8; break;
        case DdsKind::Rgb24: info->format = GfxFormat::R8G8B8; break;
        case DdsKind::Half4: info->format = GfxFormat::A16B16G16R16F; break;
        case DdsKind::Float1: info->format = GfxFormat::R32F; break;
        default: info->format = GfxFormat::A8R8G8B8; break;
    }
}

u32 Rgb565(u16 c) {
    const u32 r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return ((r * 255 + 15) / 31 << 16) | ((g * 255 + 31) / 63 << 8) | ((b * 255 + 15) / 31);
}

u32 Mix(u32 a, u32 b, u32 wa, u32 wb, u32 div) {
    u32 out = 0;
    for (int s = 0; s < 24; s += 8) out |= ((((a >> s) & 0xFF) * wa + ((b >> s) & 0xFF) * wb) / div) << s;
    return out;
}

// One 4x4 block of a DXT level into A8R8G8B8 rows.
void DecodeDxtBlock(DdsKind k, const u8* blk, u8* out, u32 pitch, u32 bw, u32 bh) {
    const u8* colorBlock = k == DdsKind::Dxt1 ? blk : blk + 8;
    const u16 c0 = GetU16(colorBlock), c1 = GetU16(colorBlock + 2);
    u32 pal[4];
    pal[0] = Rgb565(c0) | 0xFF000000u;
    pal[1] = Rgb565(c1) | 0xFF000000u;
    if (k != DdsKind::Dxt1 || c0 > c1) {
        pal[2] = Mix(pal[0], pal[1], 2, 1, 3) | 0xFF000000u;
        pal[3] = Mix(pal[0], pal[1], 1, 2, 3) | 0xFF000000u;
    } else {
        pal[2] = Mix(pal[0], pal[1], 1, 1, 2) | 0xFF000000u;
        pal[3] = 0;  // transparent black
    }
    const u32 bits = GetU32(colorBlock + 4);
    u8 alpha[16];
    if (k == DdsKind::Dxt3) {
        for (int i = 0; i < 16; ++i) alpha[i] = u8(((blk[i / 2] >> ((i & 1) * 4)) & 0xF) * 17);
    } else if (k == DdsKind::Dxt5) {
        const u32 a0 = blk[0], a1 = blk[1];
        u32 ap[8] = {a0, a1};
        if (a0 > a1) {
            for (int i = 1; i < 7; ++i) ap[i + 1] = ((7 - i) * a0 + i * a1) / 7;
        } else {
            for (int i = 1; i < 5; ++i) ap[i + 1] = ((5 - i) * a0 + i * a1) / 5;
            ap[6] = 0;
            ap[7] = 255;
        }
        u64 abits = 0;
        for (int i = 0; i < 6; ++i) abits |= u64(blk[2 + i]) << (8 * i);
        for (int i = 0; i < 16; ++i) alpha[i] = u8(ap[(abits >> (3 * i)) & 7]);
    }
    for (u32 y = 0; y < bh; ++y) {
        for (u32 x = 0; x < bw; ++x) {
            const int i = int(y * 4 + x);
            u32 c = pal[(bits >> (2 * i)) & 3];
            if (k != DdsKind::Dxt1) c = (c & 0xFFFFFFu) | (u32(alpha[i]) << 24);
            u8* o = out + size_t(y) * pitch + x * 4;
            o[0] = u8(c);
            o[1] = u8(c >> 8);
            o[2] = u8(c >> 16);
            o[3] = u8(c >> 24);
        }
    }
}

bool DecodeDds(const u8* d, size_t size, Image* img, std::string* error) {
    DdsHeader h;
    if (!DdsParse(d, size, &h, error)) return false;
    DdsFillInfo(h, &img->info);
    const GfxFormat outFormat = h.kind == DdsKind::Half4    ? GfxFormat::A16B16G16R16F
                                : h.kind == DdsKind::Float1 ? GfxFormat::R32F
                                                            : GfxFormat::A8R8G8B8;
    StartImage(img, outFormat, h.width, h.height, h.levels, h.faces);
    size_t at = h.dataOffset;
    for (u32 f = 0; f < h.faces; ++f) {
        for (u32 l = 0; l < h.levels; ++l) {
            const u32 w = img->LevelWidth(l), ht = img->LevelHeight(l);
            const u64 bytes = DdsLevelBytes(h.kind, w, ht);
            if (at > size || bytes > size - at) return Fail(error, "DDS pixels are cut short");
            const u8* src = d + at;
            at += size_t(bytes);
            std::vector<u8>& out = img->Surface(f, l);
            const u32 bpp = GfxFormatBytes(outFormat);
            out.assign(size_t(w) * ht * bpp, 0);
            switch (h.kind) {
                case DdsKind::Dxt1:
                case DdsKind::Dxt3:
                case DdsKind::Dxt5: {
                    const u32 blockBytes = h.kind == DdsKind::Dxt1 ? 8 : 16;
                    for (u32 by = 0; by < (ht + 3) / 4; ++by)
                        for (u32 bx = 0; bx < (w + 3) / 4; ++bx)
                            DecodeDxtBlock(h.kind, src + (size_t(by) * ((w + 3) / 4) + bx) * blockBytes,
                                           out.data() + (size_t(by) * 4 * w + bx * 4) * 4, w * 4,
                                           std::min(4u, w - bx * 4), std::min(4u, ht - by * 4));
                    break;
                }
                case DdsKind::Rgb24:
                    for (size_t i = 0; i < size_t(w) * ht; ++i) {
                        out[i * 4] = src[i * 3];
                        out[i * 4 + 1] = src[i * 3 + 1];
                        out[i * 4 + 2] = src[i * 3 + 2];
                        out[i * 4 + 3] = 255;
                    }
                    break;
                case DdsKind::Abgr:
                case DdsKind::Xbgr:
                    for (size_t i = 0; i < size_t(w) * ht; ++i) {
                        out[i * 4] = src[i * 4 + 2];
                        out[i * 4 + 1] = src[i * 4 + 1];
                        out[i * 4 + 2] = src[i * 4];
                        out[i * 4 + 3] = h.kind == DdsKind::Abgr ? src[i * 4 + 3] : 255;
                    }
                    break;
                case DdsKind::Xrgb:
                    std::memcpy(out.data(), src, out.size());
                    for (size_t i = 0; i < size_t(w) * ht; ++i) out[i * 4 + 3] = 255;
                    break;
                default:  // same layout as ours
                    std::memcpy(out.data(), src, out.size());
                    break;
            }
        }
    }
    return true;
}

enum class Kind { Unknown, Png, Bmp, Dds };

Kind Sniff(const u8* d, size_t size) {
    if (size >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return Kind::Png;
    if (size >= 2 && d[0] == 'B' && d[1] == 'M') return Kind::Bmp;
    if (size >= 4 && std::memcmp(d, "DDS ", 4) == 0) return Kind::Dds;
    return Kind::Unknown;
}

}  // namespace

bool GetImageInfo(const void* data, size_t size, ImageInfo* out, std::string* error) {
    if (data == nullptr || out == nullptr) return Fail(error, "no data");
    const u8* d = static_cast<const u8*>(data);
    switch (Sniff(d, size)) {
        case Kind::Png: {
            png_image image;
            if (!PngInfo(d, size, out, &image, error)) return false;
            png_image_free(&image);
            return true;
        }
        case Kind::Bmp: {
            BmpHeader h;
            if (!BmpParse(d, size, &h, error)) return false;
            BmpFillInfo(h, out);
            return true;
        }
        case Kind::Dds: {
            DdsHeader h;
            if (!DdsParse(d, size, &h, error)) return false;
            DdsFillInfo(h, out);
            return true;
        }
        default: return Fail(error, "unknown image file type");
    }
}

bool DecodeImage(const void* data, size_t size, Image* out, std::string* error) {
    if (data == nullptr || out == nullptr) return Fail(error, "no data");
    *out = Image();
    const u8* d = static_cast<const u8*>(data);
    bool ok = false;
    try {
        switch (Sniff(d, size)) {
            case Kind::Png: ok = DecodePng(d, size, out, error); break;
            case Kind::Bmp: ok = DecodeBmp(d, size, out, error); break;
            case Kind::Dds: ok = DecodeDds(d, size, out, error); break;
            default: return Fail(error, "unknown image file type");
        }
    } catch (const std::bad_alloc&) {
        // A header may promise a picture larger than memory allows.
        ok = Fail(error, "not enough memory for the picture");
    }
    if (!ok) *out = Image();
    return ok;
}

bool EncodePng(const u32* argb, u32 width, u32 height, bool withAlpha, std::vector<u8>* out) {
    if (argb == nullptr || out == nullptr || width == 0 || height == 0 || width > kMaxEncodeEdge ||
        height > kMaxEncodeEdge || u64(width) * height > kMaxEncodePixels)
        return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = withAlpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    std::vector<u8> rows;
    const void* buffer = argb;  // 0xAARRGGBB in memory is B, G, R, A
    if (!withAlpha) {
        rows.resize(size_t(width) * height * 3);
        for (size_t i = 0; i < size_t(width) * height; ++i) {
            rows[i * 3] = u8(argb[i]);
            rows[i * 3 + 1] = u8(argb[i] >> 8);
            rows[i * 3 + 2] = u8(argb[i] >> 16);
        }
        buffer = rows.data();
    }
    png_alloc_size_t bytes = 0;
    if (!png_image_write_to_memory(&image, nullptr, &bytes, 0, buffer, 0, nullptr)) return false;
    out->resize(bytes);
    if (!png_image_write_to_memory(&image, out->data(), &bytes, 0, buffer, 0, nullptr)) return false;
    out->resize(bytes);
    return true;
}

bool SavePng(const char* path, const u32* argb, u32 width, u32 height, bool withAlpha) {
    std::vector<u8> png;
    if (path == nullptr || !EncodePng(argb, width, height, withAlpha, &png)) return false;
    return WriteFileAtomic(path, png.data(), png.size());
}

}  // namespace plat
