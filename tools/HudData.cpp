#include "tools/HudData.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"

namespace {

// A picture from a function of the pixel's centre in -1..1 across each side,
// giving 0xAARRGGBB.
bool WritePicture(const std::string& root, const char* name, u32 w, u32 h,
                  const std::function<u32(float u, float v, u32 x, u32 y)>& pixel)
{
    std::vector<u32> px(size_t(w) * h);
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x)
            px[size_t(y) * w + x] = pixel((float(x) + 0.5f) / float(w) * 2.0f - 1.0f,
                                          (float(y) + 0.5f) / float(h) * 2.0f - 1.0f, x, y);
    std::vector<u8> png;
    if (!plat::EncodePng(px.data(), w, h, true, &png)) {
        std::fprintf(stderr, "cannot encode %s\n", name);
        return false;
    }
    XorWords(png.data(), u32(png.size()), AssetKey);
    const std::string path = root + "/Quillon/" + name;
    if (!plat::WriteFileAtomic(path.c_str(), png.data(), png.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

u32 White(float a) { return u32(std::lround(std::fmin(std::fmax(a, 0.0f), 1.0f) * 255.0f)) << 24 | 0xFFFFFFu; }

// An arrow pointing toward -v (up), filling the picture.
u32 ArrowUp(float u, float v) { return White(std::fabs(u) < (v + 1.0f) * 0.5f ? 1.0f : 0.0f); }

}  // namespace

bool MakeHudData(const char* runFolder)
{
    const std::string root = runFolder;
    bool ok = true;
    // The radar: a dark square with range rings in its first 200 x 200
    // pixels, and the 5 x 5 white blip at (201, 0).
    ok &= WritePicture(root, "l.png", 256, 256, [](float, float, u32 x, u32 y) -> u32 {
        if (x >= 201 && x < 206 && y < 5) return 0xFFFFFFFFu;
        if (x >= 200 || y >= 200) return 0;
        const float dx = float(x) - 100.0f, dy = float(y) - 100.0f, r = std::sqrt(dx * dx + dy * dy);
        const bool line = std::fabs(r - 50.0f) < 0.8f || std::fabs(r - 98.0f) < 0.8f || x == 100 || y == 100;
        return line ? 0xC040C060u : 0xA0102018u;
    });
    // Lock-on marker: corner brackets; the closing ring.
    ok &= WritePicture(root, "Lock.png", 128, 128, [](float u, float v, u32, u32) {
        const float m = std::fmax(std::fabs(u), std::fabs(v));
        const bool corner = std::fabs(u) > 0.5f && std::fabs(v) > 0.5f;
        return White(m > 0.84f && corner ? 1.0f : 0.0f);
    });
    ok &= WritePicture(root, "Lock2.png", 64, 64, [](float u, float v, u32, u32) {
        return White(1.0f - std::fabs(std::sqrt(u * u + v * v) - 0.85f) * 12.0f);
    });
    // Threat marker: an arrow at the top of a 32 x 64 strip.
    ok &= WritePicture(root, "lockallow.png", 32, 64,
                       [](float u, float v, u32, u32) { return v < -0.5f ? ArrowUp(u, (v + 0.5f) * 4.0f + 1.0f) : 0; });
    // Warning arrows at the screen edges, pointing outward.
    ok &= WritePicture(root, "allow_u.png", 64, 32, [](float u, float v, u32, u32) { return ArrowUp(u, v); });
    ok &= WritePicture(root, "allow_d.png", 64, 32, [](float u, float v, u32, u32) { return ArrowUp(u, -v); });
    ok &= WritePicture(root, "allow_l.png", 32, 64, [](float u, float v, u32, u32) { return ArrowUp(v, u); });
    ok &= WritePicture(root, "allow_r.png", 32, 64, [](float u, float v, u32, u32) { return ArrowUp(v, -u); });
    return ok;
}
