#pragma once
// Textures made from image files (PNG, BMP, DDS) with the loader options the
// game passes, surface-to-surface copies, and PNG screenshots of surfaces.
//
// Sizes and mip levels: kGfxDefault takes the file's size rounded up to a
// power of two (the picture is then scaled to fill it, unless the filter is
// ImageFilterNone, which places it at the top left and leaves the rest
// transparent black) and a full mip chain; kGfxDefaultNonPow2 the file's size
// as it is; kGfxFromFile the file's size, or the file's own mip levels.
#include <string>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/Image.h"

namespace plat {

inline constexpr u32 kGfxDefault = 0xFFFFFFFFu;
inline constexpr u32 kGfxDefaultNonPow2 = 0xFFFFFFFEu;
inline constexpr u32 kGfxFromFile = 0xFFFFFFFDu;
// The format of the texture follows the file's.
inline constexpr GfxFormat kGfxFormatFromFile = GfxFormat(0xFFFFFFFDu);

// Filter values as Direct3D 9 texture files store them (low byte; the dither and
// mirror bits above it are accepted and ignored).
enum ImageFilter : u32 {
    ImageFilterNone = 1,
    ImageFilterPoint = 2,
    ImageFilterLinear = 3,
    ImageFilterTriangle = 4,
    ImageFilterBox = 5,
};

struct PaletteEntry {
    u8 red = 0, green = 0, blue = 0, flags = 0;
};

struct TextureLoadOptions {
    u32 width = kGfxDefault;
    u32 height = kGfxDefault;
    u32 mipLevels = kGfxDefault;   // 0 also means a full chain
    u32 usage = 0;
    GfxFormat format = GfxFormat::Unknown;  // Unknown: chosen from the file
    GfxPool pool = GfxPool::Managed;
    u32 filter = kGfxDefault;
    u32 mipFilter = kGfxDefault;
    u32 colorKey = 0;               // 0xAARRGGBB made transparent black; 0 = none
    PaletteEntry* palette = nullptr;  // never filled: no paletted textures here
};

// What a refused picture is told with: why it was refused, when known.
std::string PictureRefusal(const std::string& why);

GfxResult GetImageInfoFromFile(const char* path, ImageInfo* out);
GfxResult GetImageInfoFromFileInMemory(const void* data, size_t size, ImageInfo* out);

// srcInfo (may be null) receives what the file holds; why (may be null) why
// the file was refused.
GfxResult CreateTextureFromFileInMemoryEx(GfxDevice* device, const void* data, size_t size,
                                          const TextureLoadOptions& options, ImageInfo* srcInfo, GfxTexture** out,
                                          std::string* why = nullptr);
GfxResult CreateTextureFromFileInMemory(GfxDevice* device, const void* data, size_t size, GfxTexture** out);
GfxResult CreateTextureFromFileEx(GfxDevice* device, const char* path, const TextureLoadOptions& options,
                                  ImageInfo* srcInfo, GfxTexture** out);
GfxResult CreateTextureFromFile(GfxDevice* device, const char* path, GfxTexture** out);

// Largest cube face edge a file may give.
inline constexpr u32 kMaxCubeEdge = 2048;

// A cube texture from a DDS cube map (a square 2D image fills all six
// faces). Faces that are not square, or larger than kMaxCubeEdge, are
// refused.
GfxResult CreateCubeTextureFromFileInMemory(GfxDevice* device, const void* data, size_t size, GfxCubeTexture** out);
GfxResult CreateCubeTextureFromFile(GfxDevice* device, const char* path, GfxCubeTexture** out);

// Copies (and scales, and converts) src's rectangle into dst's rectangle;
// either surface may be a render target, the back buffer or a CPU texture.
// Null rectangles mean whole surfaces.
GfxResult LoadSurfaceFromSurface(GfxDevice* device, GfxSurface* dst, const GfxRect* dstRect, GfxSurface* src,
                                 const GfxRect* srcRect, u32 filter);

// Saves a rectangle of a surface (null: all of it) as a PNG file.
GfxResult SaveSurfaceToPng(GfxDevice* device, const char* path, GfxSurface* surface, const GfxRect* rect);

// Fills levels 1.. of a CPU texture from level 0 by averaging 2x2 blocks.
void GenerateMipLevels(GfxBaseTexture* texture);

}  // namespace plat
