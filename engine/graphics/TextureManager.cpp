#include "engine/graphics/TextureManager.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/gfx/GfxPixel.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/MessageBox.h"

namespace {

plat::GfxDevice* Device() { return GetGraphicsDevice()->device; }

struct ScreenVertex {  // pre-transformed, coloured, textured: 28 bytes
    float x, y, z, rhw;
    u32 colour;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

plat::TextureLoadOptions Options(u32 width, u32 height, u32 mipLevels, u32 usage, plat::GfxFormat format,
                                 plat::GfxPool pool, u32 filter, u32 mipFilter, u32 colorKey,
                                 plat::PaletteEntry* palette) {
    plat::TextureLoadOptions o;
    o.width = width;
    o.height = height;
    o.mipLevels = mipLevels;
    o.usage = usage;
    o.format = format;
    o.pool = pool;
    o.filter = filter;
    o.mipFilter = mipFilter;
    o.colorKey = colorKey;
    o.palette = palette;
    return o;
}

// Reads an image file whole and unscrambles it; false when it cannot be read
// or is too short to be one.
bool ReadScrambledImage(const char* name, u32 key, FileBuffer& file) {
    if (!file.Load(name) || file.size < 4) {
        plat::ReportLoadFailure(name, "cannot be read");
        return false;
    }
    file.XorWords(key);
    return true;
}

}  // namespace

u8 ColourChannelByte(float value) {
    if (value >= 1.0f) return 255;
    if (value <= 0.0f) return 0;
    return u8(value * 255.0f + 0.5f);
}

u32 ColourFromChannels(float r, float g, float b, float a) {
    return (u32(ColourChannelByte(a)) << 24) | (u32(ColourChannelByte(r)) << 16) | (u32(ColourChannelByte(g)) << 8) |
           ColourChannelByte(b);
}

// ---- TextureHandle -------------------------------------------------------

TextureHandle::~TextureHandle() {
    PrepareLoad();
}

void TextureHandle::ReleaseTexture() {
    if (surface) surface->Release();
    if (texture) texture->Release();
    surface = nullptr;
    texture = nullptr;
}

void TextureHandle::Release() {
    if (refCount > 0) --refCount;
    if (refCount != 0) return;
    ReleaseTexture();
    fileName.clear();
    fileName.shrink_to_fit();
    if (manager != nullptr) manager->Remove(this);  // destroys this handle
}

void TextureHandle::PrepareLoad() {
    // A plain handle starts afresh. A managed one keeps its references, but
    // a texture it already held would otherwise be lost along with its memory.
    if (manager == nullptr) Release();
    else ReleaseTexture();
}

int TextureHandle::Adopt(plat::GfxTexture* made, const plat::ImageInfo* info) {
    texture = made;
    if (texture->GetSurfaceLevel(0, &surface) != plat::GfxResult::Ok) {
        surface = nullptr;
        return 0;  // the texture stays held until Release
    }
    const plat::GfxSurfaceDesc& d = surface->Desc();
    if (info != nullptr) {
        imageInfo = *info;
    } else {
        imageInfo = plat::ImageInfo();
        imageInfo.width = d.width;
        imageInfo.height = d.height;
        imageInfo.mipLevels = texture->GetLevelCount();
        imageInfo.format = d.format;
    }
    uScale = float(imageInfo.width) / float(d.width);
    vScale = float(imageInfo.height) / float(d.height);
    sourceRect = plat::GfxRect{0, 0, i32(imageInfo.width), i32(imageInfo.height)};
    return 1;
}

int TextureHandle::LoadFile(const char* name) {
    PrepareLoad();
    plat::GfxDevice* dev = Device();
    plat::GfxTexture* made = nullptr;
    if (dev == nullptr || name == nullptr || plat::CreateTextureFromFile(dev, name, &made) != plat::GfxResult::Ok)
        return 0;
    fileName = name;
    return Adopt(made, nullptr);
}

int TextureHandle::LoadFileEx(const char* name, u32 width, u32 height, u32 mipLevels, u32 usage,
                              plat::GfxFormat format, plat::GfxPool pool, u32 filter, u32 mipFilter, u32 colorKey,
                              plat::PaletteEntry* palette) {
    PrepareLoad();
    plat::GfxDevice* dev = Device();
    plat::GfxTexture* made = nullptr;
    plat::ImageInfo info;
    if (dev == nullptr || name == nullptr ||
        plat::CreateTextureFromFileEx(
            dev, name, Options(width, height, mipLevels, usage, format, pool, filter, mipFilter, colorKey, palette),
            &info, &made) != plat::GfxResult::Ok)
        return 0;
    fileName = name;
    return Adopt(made, &info);
}

int TextureHandle::LoadMemory(const void* data, u32 size) {
    PrepareLoad();
    plat::GfxDevice* dev = Device();
    plat::GfxTexture* made = nullptr;
    if (dev == nullptr || plat::CreateTextureFromFileInMemory(dev, data, size, &made) != plat::GfxResult::Ok)
        return 0;
    return Adopt(made, nullptr);
}

int TextureHandle::LoadMemoryEx(const void* data, u32 size, u32 width, u32 height, u32 mipLevels, u32 usage,
                                plat::GfxFormat format, plat::GfxPool pool, u32 filter, u32 mipFilter, u32 colorKey,
                                plat::PaletteEntry* palette) {
    PrepareLoad();
    plat::GfxDevice* dev = Device();
    plat::GfxTexture* made = nullptr;
    plat::ImageInfo info;
    if (dev == nullptr ||
        plat::CreateTextureFromFileInMemoryEx(
            dev, data, size,
            Options(width, height, mipLevels, usage, format, pool, filter, mipFilter, colorKey, palette), &info,
            &made) != plat::GfxResult::Ok)
        return 0;
    return Adopt(made, &info);
}

int TextureHandle::LoadBgra(const u8* bgra, u32 width, u32 height) {
    if (bgra == nullptr || width == 0 || height == 0) return 0;
    // Wrapped as a top-down 32-bit bitmap with an alpha mask, which the
    // texture maker takes as it is: no picture format is parsed again.
    constexpr u32 kHeader = 14 + 56;
    const u64 pixels = u64(width) * height * 4;
    std::vector<u8> bmp(kHeader + size_t(pixels), 0);
    u8* h = bmp.data();
    h[0] = 'B';
    h[1] = 'M';
    PutU32(h + 2, u32(bmp.size()));
    PutU32(h + 10, kHeader);
    PutU32(h + 14, 56);
    PutU32(h + 18, width);
    PutU32(h + 22, u32(-i32(height)));
    PutU16(h + 26, 1);
    PutU16(h + 28, 32);
    PutU32(h + 30, 3);
    PutU32(h + 34, u32(pixels));
    PutU32(h + 54, 0x00FF0000u);
    PutU32(h + 58, 0x0000FF00u);
    PutU32(h + 62, 0x000000FFu);
    PutU32(h + 66, 0xFF000000u);
    std::memcpy(h + kHeader, bgra, size_t(pixels));
    return LoadMemoryEx(bmp.data(), u32(bmp.size()), plat::kGfxFromFile, plat::kGfxFromFile, 1, 0,
                        plat::GfxFormat::Unknown, plat::GfxPool::Managed, plat::ImageFilterNone, plat::ImageFilterNone,
                        0, nullptr);
}

int TextureHandle::LoadScrambledDefault(const char* name, u32 key) {
    PrepareLoad();
    plat::GfxDevice* dev = Device();
    if (dev == nullptr || name == nullptr) return 0;
    FileBuffer file;
    if (!ReadScrambledImage(name, key, file)) return 0;
    plat::GfxTexture* made = nullptr;
    std::string why;
    const plat::GfxResult r = plat::CreateTextureFromFileInMemoryEx(dev, file.data, file.size,
                                                                    plat::TextureLoadOptions(), nullptr, &made, &why);
    file.Clear();
    if (r != plat::GfxResult::Ok) {
        plat::ReportLoadFailure(name, plat::PictureRefusal(why).c_str());
        return 0;
    }
    fileName = name;
    return Adopt(made, nullptr);
}

int TextureHandle::LoadScrambled(const char* name, u32 width, u32 height, u32 mipLevels, u32 usage,
                                 plat::GfxFormat format, plat::GfxPool pool, u32 filter, u32 mipFilter, u32 colorKey,
                                 plat::PaletteEntry* palette, u32 key) {
    PrepareLoad();
    plat::GfxDevice* dev = Device();
    if (dev == nullptr || name == nullptr) return 0;
    FileBuffer file;
    if (!ReadScrambledImage(name, key, file)) return 0;
    plat::GfxTexture* made = nullptr;
    plat::ImageInfo info;
    std::string why;
    const plat::GfxResult r = plat::CreateTextureFromFileInMemoryEx(
        dev, file.data, file.size,
        Options(width, height, mipLevels, usage, format, pool, filter, mipFilter, colorKey, palette), &info, &made,
        &why);
    file.Clear();
    if (r != plat::GfxResult::Ok) {
        plat::ReportLoadFailure(name, plat::PictureRefusal(why).c_str());
        return 0;
    }
    fileName = name;
    return Adopt(made, &info);
}

int TextureHandle::CreateBlank(u32 width, u32 height, u32 levels, u32 usage, plat::GfxFormat format,
                               plat::GfxPool pool) {
    PrepareLoad();
    plat::GfxDevice* dev = Device();
    plat::GfxTexture* made = nullptr;
    if (dev == nullptr || dev->CreateTexture(width, height, levels, usage, format, pool, &made) != plat::GfxResult::Ok)
        return 0;
    return Adopt(made, nullptr);
}

plat::GfxResult TextureHandle::SetAsRenderTarget() {
    plat::GfxDevice* dev = Device();
    if (dev == nullptr) return plat::GfxResult::InvalidCall;
    return dev->SetRenderTarget(0, surface);
}

plat::GfxResult TextureHandle::Fill(u32 colour) {
    if (texture == nullptr) return plat::GfxResult::Ok;
    plat::GfxLockedRect lr;
    const plat::GfxResult r = texture->LockRect(0, &lr, nullptr, 0);
    if (r != plat::GfxResult::Ok) return r;
    // The picture may be larger than a texture made smaller than the file,
    // and not every format has 32-bit pixels: stay inside level 0 and write
    // the colour in the texture's own format.
    const plat::GfxFormat f = texture->Format();
    const u32 bpp = plat::GfxFormatBytes(f);
    const u32 w = std::min(imageInfo.width, texture->LevelWidth(0));
    const u32 h = std::min(imageInfo.height, texture->LevelHeight(0));
    u8 px[8];
    plat::ArgbToPixel(f, colour, px);
    for (u32 y = 0; y < h; ++y) {
        u8* row = static_cast<u8*>(lr.bits) + size_t(y) * lr.pitch;
        for (u32 x = 0; x < w; ++x) std::copy(px, px + bpp, row + size_t(x) * bpp);
    }
    return texture->UnlockRect(0);
}

void TextureHandle::DrawQuad(float x, float y, float w, float h, float u0, float v0, float u1, float v1, float r,
                             float g, float b, float a) {
    plat::GfxDevice* dev = Device();
    if (dev == nullptr) return;
    const u32 c = ColourFromChannels(r, g, b, a);
    const ScreenVertex v[4] = {{x, y, 0.0f, 1.0f, c, u0, v0},
                               {x + w, y, 0.0f, 1.0f, c, u1, v0},
                               {x, y + h, 0.0f, 1.0f, c, u0, v1},
                               {x + w, y + h, 0.0f, 1.0f, c, u1, v1}};
    dev->SetFVF(plat::FvfXyzRhw | plat::FvfDiffuse | plat::FvfTex1);
    dev->SetTexture(0, texture);
    dev->DrawPrimitiveUP(plat::GfxPrimitive::TriangleStrip, 2, v, sizeof(ScreenVertex));
}

void TextureHandle::DrawScreenQuad(float x, float y, float width, float height, float r, float g, float b, float a) {
    DrawQuad(x, y, width, height, 0.0f, 0.0f, 1.0f, 1.0f, r, g, b, a);
}

void TextureHandle::DrawScreenQuadUV(float x, float y, float width, float height, float srcX, float srcY,
                                     float srcWidth, float srcHeight, float r, float g, float b, float a) {
    // An empty handle has no picture size; its coordinates stay at 0.
    const float su = imageInfo.width ? uScale / float(imageInfo.width) : 0.0f;
    const float sv = imageInfo.height ? vScale / float(imageInfo.height) : 0.0f;
    DrawQuad(x, y, width, height, srcX * su, srcY * sv, (srcX + srcWidth) * su, (srcY + srcHeight) * sv, r, g, b, a);
}

// ---- TextureManager ------------------------------------------------------

TextureManager::~TextureManager() {
    for (const auto& e : entries_)
        plat::ShowMessageBox(nullptr, e.first.c_str(), "TextureManager 未解放テクスチャ！", plat::MessageBoxPlain);
    // The records go, their textures are not released: they belonged to a
    // device that is gone by now.
    for (const auto& e : entries_) delete e.second;
}

TextureHandle* TextureManager::Find(const char* name) {
    const auto it = entries_.find(name ? name : "");
    if (it == entries_.end()) return nullptr;
    ++it->second->refCount;
    return it->second;
}

TextureHandle* TextureManager::Create(const char* name) {
    const std::string key = name ? name : "";
    if (entries_.count(key)) return nullptr;
    auto* h = new TextureHandle(this);
    h->refCount = 1;
    entries_.emplace(key, h);
    return h;
}

int TextureManager::Remove(TextureHandle* handle) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second == handle) {
            entries_.erase(it);
            delete handle;
            return 1;
        }
    }
    return 0;
}

void TextureManager::Clear() {
    for (auto it = entries_.begin(); it != entries_.end();) {
        TextureHandle* h = it->second;
        ++it;  // the release may erase the entry
        h->Release();
    }
}
