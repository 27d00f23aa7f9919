#pragma once
// Image files: PNG, BMP and DDS (2D and cube maps, with mip levels) decoded
// from memory, and PNG encoding for screenshots. Every parser is fed
// untrusted bytes: sizes and offsets are checked before anything is read,
// and a bad file gives false with a reason, never a crash.
#include <string>
#include <vector>

#include "platform/gfx/Gfx.h"
#include "platform/core/Types.h"

namespace plat {

// Values as Direct3D 9 image files store them.
enum class ImageFileFormat : u32 { Bmp = 0, Jpg = 1, Tga = 2, Png = 3, Dds = 4 };

// What a file holds, before any conversion.
struct ImageInfo {
    u32 width = 0, height = 0, depth = 1, mipLevels = 1;
    GfxFormat format = GfxFormat::Unknown;  // the file's pixel format, nearest of ours
    GfxResourceType resourceType = GfxResourceType::Texture;  // or CubeTexture
    ImageFileFormat fileFormat = ImageFileFormat::Bmp;
};

// Decoded pixels: faces x levels, rows top-down and tightly packed, in
// `format` (A8R8G8B8 for 8-bit files; the float formats stay as they are).
struct Image {
    ImageInfo info;
    GfxFormat format = GfxFormat::Unknown;
    u32 width = 0, height = 0, levels = 0, faces = 0;
    std::vector<std::vector<u8>> surfaces;  // index face * levels + level

    u32 LevelWidth(u32 level) const { return width >> level ? width >> level : 1; }
    u32 LevelHeight(u32 level) const { return height >> level ? height >> level : 1; }
    std::vector<u8>& Surface(u32 face, u32 level) { return surfaces[size_t(face) * levels + level]; }
    const std::vector<u8>& Surface(u32 face, u32 level) const { return surfaces[size_t(face) * levels + level]; }
};

// What one picture file may decode to, checked from its header before any
// pixel is decoded: the largest picture the game ships is 1024x768, so a
// modder's 2048x2048 still loads, while a small file claiming a huge picture
// cannot swamp memory (every robot type's pictures may be loaded at once).
inline constexpr u32 kMaxImageSquare = 2048;
inline constexpr u32 kMaxImageEdge = 4096;
inline constexpr u64 kMaxImagePixels = u64(kMaxImageSquare) * kMaxImageSquare;
// Screenshots are encoded from the window, whatever the desktop's size.
inline constexpr u32 kMaxEncodeEdge = 16384;
inline constexpr u64 kMaxEncodePixels = u64(8192) * 8192;

bool GetImageInfo(const void* data, size_t size, ImageInfo* out, std::string* error = nullptr);
bool DecodeImage(const void* data, size_t size, Image* out, std::string* error = nullptr);

// PNG of 0xAARRGGBB pixels, rows top-down; without alpha the file is RGB.
bool EncodePng(const u32* argb, u32 width, u32 height, bool withAlpha, std::vector<u8>* out);
// Writes the PNG to a file through the file layer: to a temporary name
// first, renamed when whole, so a write that fails (a full disk) leaves no
// cut picture behind.
bool SavePng(const char* path, const u32* argb, u32 width, u32 height, bool withAlpha);

}  // namespace plat
