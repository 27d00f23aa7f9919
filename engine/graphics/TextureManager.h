#pragma once
// Textures with their image information, and the manager that shares them
// by file name so a texture used by many meshes is loaded once.
//
// Shared loading (the mesh loaders' pattern):
//     TextureHandle* h = manager->Find(name);
//     if (h == nullptr) { h = manager->Create(name); h->LoadFileEx(name, ...); }
//     ...
//     h->Release();   // the last release removes it from the manager
//
// Plain handles (no manager) belong to their owner: user-interface pictures,
// pilot faces, render targets.
#include <map>
#include <string>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TextureFile.h"
#include "platform/core/Types.h"

class TextureManager;

class TextureHandle {
public:
    // A plain handle.
    TextureHandle() = default;
    // A handle owned by a manager (made by TextureManager::Create).
    explicit TextureHandle(TextureManager* owner) : manager(owner) {}
    // A plain handle releases its texture; a managed one goes only through
    // its manager.
    ~TextureHandle();
    TextureHandle(const TextureHandle&) = delete;
    TextureHandle& operator=(const TextureHandle&) = delete;

    // Drops one reference; at zero the texture goes and a managed handle is
    // removed from (and destroyed by) its manager: do not touch it after.
    void Release();

    // Loaders: 1 on success, 0 on failure (texture left null).
    int LoadFile(const char* fileName);
    int LoadFileEx(const char* fileName, u32 width, u32 height, u32 mipLevels, u32 usage, plat::GfxFormat format,
                   plat::GfxPool pool, u32 filter, u32 mipFilter, u32 colorKey, plat::PaletteEntry* palette);
    int LoadMemory(const void* data, u32 size);
    int LoadMemoryEx(const void* data, u32 size, u32 width, u32 height, u32 mipLevels, u32 usage,
                     plat::GfxFormat format, plat::GfxPool pool, u32 filter, u32 mipFilter, u32 colorKey,
                     plat::PaletteEntry* palette);
    // A picture already decoded and checked: top-down BGRA rows, width x
    // height, as the pilot pictures' loader makes them (one level, managed).
    int LoadBgra(const u8* bgra, u32 width, u32 height);
    // The file read whole and unscrambled with key (never stored) first.
    int LoadScrambledDefault(const char* fileName, u32 key);
    int LoadScrambled(const char* fileName, u32 width, u32 height, u32 mipLevels, u32 usage, plat::GfxFormat format,
                      plat::GfxPool pool, u32 filter, u32 mipFilter, u32 colorKey, plat::PaletteEntry* palette,
                      u32 key);
    int CreateBlank(u32 width, u32 height, u32 levels, u32 usage, plat::GfxFormat format, plat::GfxPool pool);

    plat::GfxResult SetAsRenderTarget();
    // Writes one 0xAARRGGBB colour into every pixel of the picture.
    plat::GfxResult Fill(u32 colour);
    // A pre-transformed quad with this texture; colour channels 0..1. No
    // render state is changed.
    void DrawScreenQuad(float x, float y, float width, float height, float r, float g, float b, float a);
    // The same showing the source rectangle, given in pixels of the picture.
    void DrawScreenQuadUV(float x, float y, float width, float height, float srcX, float srcY, float srcWidth,
                          float srcHeight, float r, float g, float b, float a);

    plat::GfxTexture* texture = nullptr;
    plat::GfxSurface* surface = nullptr;   // level 0, held while the texture is
    plat::ImageInfo imageInfo;
    float uScale = 0.0f, vScale = 0.0f;    // picture size over level-0 size
    plat::GfxRect sourceRect;              // (0, 0, picture width, picture height)
    u32 refCount = 0;                      // users of a managed handle
    TextureManager* manager = nullptr;
    std::string fileName;                  // file loaders only

private:
    void ReleaseTexture();
    void PrepareLoad();
    // Takes a made texture: fetches level 0 and fills the picture fields.
    // info null: the picture is level 0 itself.
    int Adopt(plat::GfxTexture* made, const plat::ImageInfo* info);
    void DrawQuad(float x, float y, float w, float h, float u0, float v0, float u1, float v1, float r, float g,
                  float b, float a);
};

// Vertex colour of the screen quads: each channel 255 from 1.0 up, 0 from 0.0
// down, else value x 255 + 0.5 truncated.
u8 ColourChannelByte(float value);
u32 ColourFromChannels(float r, float g, float b, float a);

class TextureManager {
public:
    TextureManager() = default;
    // Reports every texture still held, one message per file name.
    ~TextureManager();
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;

    // The handle of a name with one more reference, or null. A null name is "".
    TextureHandle* Find(const char* name);
    // A new empty handle with one reference under a name not yet present;
    // null when the name is present (callers Find first).
    TextureHandle* Create(const char* name);
    // Destroys the handle and forgets its entry; 0 when it is not here.
    int Remove(TextureHandle* handle);
    // Drops one reference of every handle (shutdown).
    void Clear();

    size_t Count() const { return entries_.size(); }

private:
    std::map<std::string, TextureHandle*> entries_;
};
