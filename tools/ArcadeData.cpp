#include "tools/ArcadeData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "tools/PngWriter.h"

namespace {

struct Canvas {
    u32 w, h;
    std::vector<u8> rgba;
    Canvas(u32 width, u32 height) : w(width), h(height), rgba(size_t(width) * height * 4) {}
    void Put(u32 x, u32 y, u32 argb)
    {
        u8* p = &rgba[(size_t(y) * w + x) * 4];
        p[0] = u8(argb >> 16);
        p[1] = u8(argb >> 8);
        p[2] = u8(argb);
        p[3] = u8(argb >> 24);
    }
};

u32 Rgb(float r, float g, float b, float a = 1.0f)
{
    auto c = [](float v) { return u32(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

void Hue(float h, float rgb[3])
{
    for (int c = 0; c < 3; ++c) {
        const float k = std::fmod(h * 6.0f + float(5 - 2 * c), 6.0f);
        rgb[c] = 1.0f - std::max(0.0f, std::min({k, 4.0f - k, 1.0f}));
    }
}

// A round glow of one colour, white in its middle.
std::string Glow(float r, float g, float b)
{
    Canvas img(64, 64);
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 64; ++x) {
            const float u = (float(x) + 0.5f) / 32.0f - 1.0f, v = (float(y) + 0.5f) / 32.0f - 1.0f;
            const float a = std::max(0.0f, 1.0f - std::sqrt(u * u + v * v));
            const float white = a * a;
            img.Put(x, y, Rgb(r + (1 - r) * white, g + (1 - g) * white, b + (1 - b) * white, a));
        }
    return EncodePng(img.w, img.h, img.rgba);
}

// A red cross on a dark frame: the lost stage.
std::string Failed()
{
    Canvas img(256, 128);
    for (u32 y = 0; y < img.h; ++y)
        for (u32 x = 0; x < img.w; ++x) {
            const bool edge = x < 6 || y < 6 || x >= img.w - 6 || y >= img.h - 6;
            const float u = float(x) / float(img.w), v = float(y) / float(img.h);
            const bool cross = std::fabs(u - v) < 0.06f || std::fabs(u + v - 1.0f) < 0.06f;
            img.Put(x, y, edge || cross ? Rgb(0.95f, 0.1f, 0.1f) : Rgb(0.15f, 0.02f, 0.02f, 0.8f));
        }
    return EncodePng(img.w, img.h, img.rgba);
}

// A stage's arcade picture: a sky of the stage's own hue over a dark
// ground, with a horizon band; the title is drawn over its middle.
std::string StagePicture(u32 index)
{
    Canvas img(1024, 768);
    float sky[3];
    Hue(float(index) / 9.0f, sky);
    for (u32 y = 0; y < img.h; ++y)
        for (u32 x = 0; x < img.w; ++x) {
            const float t = float(y) / float(img.h);
            u32 colour;
            if (t < 0.55f) colour = Rgb(sky[0] * (0.4f + t), sky[1] * (0.4f + t), sky[2] * (0.4f + t));
            else if (t < 0.58f) colour = Rgb(1.0f, 0.95f, 0.8f);
            else colour = Rgb(0.12f, 0.12f, 0.14f + 0.1f * float((x / 64 + y / 64) % 2));
            img.Put(x, y, colour);
        }
    return EncodePng(img.w, img.h, img.rgba);
}

// The new-robot screen: bright diagonal stripes in the robot's hue.
std::string RobotPicture(u32 type)
{
    Canvas img(1024, 768);
    float c[3];
    Hue(float(type) / 22.0f, c);
    for (u32 y = 0; y < img.h; ++y)
        for (u32 x = 0; x < img.w; ++x) {
            const bool stripe = ((x + y) / 48) % 2 == 0;
            const float k = stripe ? 0.9f : 0.45f;
            img.Put(x, y, Rgb(c[0] * k, c[1] * k, c[2] * k));
        }
    return EncodePng(img.w, img.h, img.rgba);
}

bool Write(const std::string& root, const std::string& name, std::string bytes)
{
    if (bytes.empty()) return false;
    XorWords(bytes.data(), u32(bytes.size()), AssetKey);
    const std::string path = root + "/" + name;
    if (plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size())) return true;
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

bool MakeArcadeData(const char* runFolder)
{
    const std::string root = runFolder;
    bool ok = Write(root, "Quillon/failed.png", Failed());
    ok &= Write(root, "Quillon/BlueBall2.png", Glow(0.2f, 0.45f, 1.0f));
    ok &= Write(root, "Quillon/Beam2.png", Glow(1.0f, 0.75f, 0.2f));
    const char* const stages[9] = {"City", "In", "City2", "City3", "In2", "moon", "City4", "City5", "Skyland"};
    for (u32 i = 0; i < 9; ++i) {
        const std::string dir = std::string("war/") + stages[i];
        if (plat::PathExists((root + "/" + dir).c_str())) ok &= Write(root, dir + "/SelectImage2.png", StagePicture(i));
    }
    for (u32 type = 0; type < 22; ++type) {
        char dir[32];
        std::snprintf(dir, sizeof dir, "robo/robo%02u", type + 1);
        if (plat::PathExists((root + "/" + dir).c_str()))
            ok &= Write(root, std::string(dir) + "/Select2.png", RobotPicture(type));
    }
    return ok;
}
