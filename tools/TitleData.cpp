// Sample data of the start-up, the title scene and the shared interface
// tasks: the shared pictures, the title's pictures and its three meshes, the
// rank notices, the title's sounds and music. Text in the pictures is drawn
// with the game's own CJK face through FreeType, so it reads as it should.
#include "tools/TitleData.h"
#include "tools/OggToneWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/core/Types.h"
#include "tools/DataBytes.h"

namespace {

constexpr float kPi = 3.14159265f;

// ---- pictures -----------------------------------------------------------

struct Canvas {
    u32 w = 0, h = 0;
    std::vector<float> px;  // r, g, b, a in 0..1, straight alpha

    Canvas(u32 width, u32 height, u32 argb = 0) : w(width), h(height), px(size_t(width) * height * 4)
    {
        for (u32 i = 0; i < w * h; ++i) Set(i % w, i / w, argb);
    }
    float* At(u32 x, u32 y) { return &px[(size_t(y) * w + x) * 4]; }
    void Set(u32 x, u32 y, u32 argb)
    {
        float* p = At(x, y);
        p[0] = float((argb >> 16) & 0xFF) / 255.0f;
        p[1] = float((argb >> 8) & 0xFF) / 255.0f;
        p[2] = float(argb & 0xFF) / 255.0f;
        p[3] = float(argb >> 24) / 255.0f;
    }
    // Source-over blend of a colour with coverage a (0..1).
    void Blend(i32 x, i32 y, const float rgb[3], float a)
    {
        if (x < 0 || y < 0 || x >= i32(w) || y >= i32(h) || a <= 0.0f) return;
        float* p = At(u32(x), u32(y));
        const float outA = a + p[3] * (1.0f - a);
        for (int c = 0; c < 3; ++c)
            p[c] = outA > 0.0f ? (rgb[c] * a + p[c] * p[3] * (1.0f - a)) / outA : 0.0f;
        p[3] = outA;
    }
};

std::string EncodePicture(const Canvas& c)
{
    std::vector<u32> argb(size_t(c.w) * c.h);
    for (size_t i = 0; i < argb.size(); ++i) {
        u32 v = 0;
        for (int k = 0; k < 4; ++k) {
            const u32 byte = u32(std::lround(std::clamp(c.px[i * 4 + k], 0.0f, 1.0f) * 255.0f));
            v |= byte << (k == 3 ? 24 : 16 - 8 * k);  // r, g, b, then alpha on top
        }
        argb[i] = v;
    }
    std::vector<u8> png;
    if (!plat::EncodePng(argb.data(), c.w, c.h, true, &png)) return {};
    return std::string(png.begin(), png.end());
}

// Text drawn with the game's CJK face.
class TextPen {
public:
    bool Open()
    {
        const plat::FontFaceChoice choice = plat::ChooseFontFace("黑体");
        if (choice.file.empty() || !plat::ReadWholeFile(choice.file.c_str(), fontBytes_)) {
            std::fprintf(stderr, "no CJK font found (install fonts-noto-cjk)\n");
            return false;
        }
        if (FT_Init_FreeType(&lib_) != 0) return false;
        if (FT_New_Memory_Face(lib_, reinterpret_cast<const FT_Byte*>(fontBytes_.data()),
                               FT_Long(fontBytes_.size()), std::max(choice.index, 0), &face_) != 0) {
            std::fprintf(stderr, "cannot open %s\n", choice.file.c_str());
            return false;
        }
        return true;
    }
    ~TextPen()
    {
        if (face_) FT_Done_Face(face_);
        if (lib_) FT_Done_FreeType(lib_);
    }

    // Width in pixels of text at a pixel size.
    i32 Measure(const char* text, u32 size) { return Run(nullptr, text, size, 0, 0, nullptr); }
    // Draws text with its baseline at y, starting at x.
    void Draw(Canvas& c, const char* text, u32 size, i32 x, i32 y, const float rgb[3])
    {
        Run(&c, text, size, x, y, rgb);
    }
    // Centred on cx, with the middle of capital letters on cy. Text wider
    // than the room either side of cx (less a two-pixel margin) is drawn
    // smaller, so no letter is cut off at the picture's edge.
    void DrawCentred(Canvas& c, const char* text, u32 size, i32 cx, i32 cy, const float rgb[3])
    {
        const i32 room = 2 * std::min(cx, i32(c.w) - cx) - 4;
        while (size > 8 && InkWidth(text, size) > room) --size;
        const i32 width = Measure(text, size);
        Draw(c, text, size, cx - width / 2, cy + i32(size) * 36 / 100, rgb);
    }

private:
    // Width from the pen's start to the right edge of the last glyph's ink,
    // which may reach past its advance.
    i32 InkWidth(const char* text, u32 size)
    {
        const i32 advance = Measure(text, size);
        const FT_GlyphSlot g = face_->glyph;
        return std::max(advance, advance - i32(g->advance.x >> 6) + g->bitmap_left + i32(g->bitmap.width));
    }

    static u32 NextCodePoint(const char*& s)
    {
        const u8 b = u8(*s++);
        if (b < 0x80) return b;
        int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
        u32 cp = b & (0x3F >> extra);
        while (extra-- > 0 && *s) cp = (cp << 6) | (u8(*s++) & 0x3F);
        return cp;
    }

    i32 Run(Canvas* c, const char* text, u32 size, i32 x, i32 y, const float* rgb)
    {
        FT_Set_Pixel_Sizes(face_, 0, size);
        i32 pen = x;
        for (const char* s = text; *s;) {
            const u32 cp = NextCodePoint(s);
            if (FT_Load_Char(face_, cp, FT_LOAD_RENDER) != 0) continue;
            const FT_GlyphSlot g = face_->glyph;
            if (c) {
                for (u32 row = 0; row < g->bitmap.rows; ++row)
                    for (u32 col = 0; col < g->bitmap.width; ++col) {
                        const float a = float(g->bitmap.buffer[row * g->bitmap.pitch + col]) / 255.0f;
                        c->Blend(pen + g->bitmap_left + i32(col), y - g->bitmap_top + i32(row), rgb, a);
                    }
            }
            pen += i32(g->advance.x >> 6);
        }
        return pen - x;
    }

    std::string fontBytes_;
    FT_Library lib_ = nullptr;
    FT_Face face_ = nullptr;
};

// Blurred copy of the alpha as a glow of one colour under the picture.
void AddGlow(Canvas& c, i32 radius, const float rgb[3], float strength)
{
    Canvas glow(c.w, c.h);
    std::vector<float> a(size_t(c.w) * c.h), tmp(a.size());
    for (u32 i = 0; i < c.w * c.h; ++i) a[i] = c.px[i * 4 + 3];
    for (int pass = 0; pass < 2; ++pass) {
        for (u32 y = 0; y < c.h; ++y)
            for (u32 x = 0; x < c.w; ++x) {
                float sum = 0;
                for (i32 k = -radius; k <= radius; ++k) {
                    const i32 xx = pass == 0 ? i32(x) + k : i32(x), yy = pass == 0 ? i32(y) : i32(y) + k;
                    if (xx >= 0 && yy >= 0 && xx < i32(c.w) && yy < i32(c.h)) sum += a[size_t(yy) * c.w + xx];
                }
                tmp[size_t(y) * c.w + x] = sum / float(2 * radius + 1);
            }
        a.swap(tmp);
    }
    for (u32 y = 0; y < c.h; ++y)
        for (u32 x = 0; x < c.w; ++x) {
            float* p = c.At(x, y);
            const float g = std::min(1.0f, a[size_t(y) * c.w + x] * strength);
            // Put the glow under what is there.
            const float outA = p[3] + g * (1.0f - p[3]);
            for (int k = 0; k < 3; ++k)
                p[k] = outA > 0.0f ? (p[k] * p[3] + rgb[k] * g * (1.0f - p[3])) / outA : 0.0f;
            p[3] = outA;
        }
}

float Hash(i32 x, i32 y, u32 seed)
{
    u32 h = u32(x) * 374761393u + u32(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return float((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

// Smooth value noise that wraps every `period` cells horizontally.
float Noise(float x, float y, i32 period, u32 seed)
{
    const i32 x0 = i32(std::floor(x)), y0 = i32(std::floor(y));
    const float fx = x - float(x0), fy = y - float(y0);
    auto at = [&](i32 xi, i32 yi) { return Hash(((xi % period) + period) % period, yi, seed); };
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float a = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
    const float b = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
    return a + (b - a) * sy;
}

float Fractal(float u, float v, u32 seed)
{
    float sum = 0, amp = 0.5f;
    i32 period = 8;
    for (int o = 0; o < 5; ++o) {
        sum += Noise(u * float(period), v * float(period) / 2, period, seed + u32(o)) * amp;
        amp *= 0.5f;
        period *= 2;
    }
    return sum;
}

Canvas Background(float r, float g, float b)
{
    Canvas c(256, 192);
    for (u32 y = 0; y < c.h; ++y)
        for (u32 x = 0; x < c.w; ++x) {
            const float t = float(y) / float(c.h);
            const bool grid = (x % 32 == 0) || (y % 32 == 0);
            const float k = (0.35f + 0.45f * (1 - t)) * (grid ? 1.5f : 1.0f);
            float* p = c.At(x, y);
            p[0] = std::min(1.0f, r * k);
            p[1] = std::min(1.0f, g * k);
            p[2] = std::min(1.0f, b * k);
            p[3] = 1;
        }
    return c;
}

// ---- meshes ----------------------------------------------------------------

std::string F(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.5f", double(v));
    return buf;
}

// A textured sphere as a text X file; inward makes its faces look inside.
std::string SphereX(float radius, int slices, int stacks, bool inward, const char* texture, float alpha)
{
    struct V {
        float x, y, z, nx, ny, nz, u, v;
    };
    std::vector<V> vs;
    std::vector<u32> tris;
    for (int i = 0; i <= stacks; ++i) {
        const float phi = kPi * float(i) / float(stacks);
        for (int j = 0; j <= slices; ++j) {
            const float th = 2 * kPi * float(j) / float(slices);
            const float nx = std::sin(phi) * std::cos(th), ny = std::cos(phi), nz = std::sin(phi) * std::sin(th);
            const float s = inward ? -1.0f : 1.0f;
            vs.push_back({nx * radius, ny * radius, nz * radius, nx * s, ny * s, nz * s,
                          float(j) / float(slices), float(i) / float(stacks)});
        }
    }
    const u32 row = u32(slices + 1);
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const u32 a = u32(i) * row + u32(j), b = a + 1, c = a + row, d = c + 1;
            // Clockwise seen from outside (the device's front faces).
            if (inward) tris.insert(tris.end(), {a, c, b, b, c, d});
            else tris.insert(tris.end(), {a, b, c, b, d, c});
        }
    const size_t faces = tris.size() / 3;
    std::string s = "xof 0303txt 0032\n\nMesh Sphere {\n " + std::to_string(vs.size()) + ";\n";
    for (size_t i = 0; i < vs.size(); ++i)
        s += " " + F(vs[i].x) + ";" + F(vs[i].y) + ";" + F(vs[i].z) + (i + 1 < vs.size() ? ";,\n" : ";;\n");
    s += " " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f)
        s += " 3;" + std::to_string(tris[f * 3]) + "," + std::to_string(tris[f * 3 + 1]) + "," +
             std::to_string(tris[f * 3 + 2]) + (f + 1 < faces ? ";,\n" : ";;\n");
    s += " MeshNormals {\n  " + std::to_string(vs.size()) + ";\n";
    for (size_t i = 0; i < vs.size(); ++i)
        s += "  " + F(vs[i].nx) + ";" + F(vs[i].ny) + ";" + F(vs[i].nz) + (i + 1 < vs.size() ? ";,\n" : ";;\n");
    s += "  " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f)
        s += "  3;" + std::to_string(tris[f * 3]) + "," + std::to_string(tris[f * 3 + 1]) + "," +
             std::to_string(tris[f * 3 + 2]) + (f + 1 < faces ? ";,\n" : ";;\n");
    s += " }\n MeshTextureCoords {\n  " + std::to_string(vs.size()) + ";\n";
    for (size_t i = 0; i < vs.size(); ++i)
        s += "  " + F(vs[i].u) + ";" + F(vs[i].v) + (i + 1 < vs.size() ? ";,\n" : ";;\n");
    s += " }\n MeshMaterialList {\n  1;\n  " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f) s += "  0" + std::string(f + 1 < faces ? ",\n" : ";\n");
    s += "  Material {\n   1.0;1.0;1.0;" + F(alpha) + ";;\n   10.0;\n   0.2;0.2;0.2;;\n   0.0;0.0;0.0;;\n";
    s += "   TextureFilename {\n    \"" + std::string(texture) + "\";\n   }\n  }\n }\n}\n";
    return s;
}

// ---- sounds ------------------------------------------------------------------

constexpr u32 kRate = 22050;

std::vector<float> Tone(const std::vector<std::pair<float, float>>& notes, float noteSeconds, float decay)
{
    std::vector<float> out;
    for (const auto& [freq, gain] : notes) {
        const u32 n = u32(noteSeconds * float(kRate));
        for (u32 i = 0; i < n; ++i) {
            const float t = float(i) / float(kRate);
            const float env = std::exp(-t * decay) * std::min(1.0f, t * 400.0f);
            const float w = std::sin(2 * kPi * freq * t) + 0.3f * std::sin(4 * kPi * freq * t);
            out.push_back(freq > 0 ? w * env * gain : 0.0f);
        }
    }
    return out;
}

std::string Wave(const std::vector<float>& samples) { return WaveFile(samples, kRate); }

std::string Ogg(const std::vector<float>& samples)
{
    return EncodeOggMono(samples, long(kRate), 0.3f);
}

// A calm eight-second loop: a slow arpeggio over a low drone.
std::vector<float> TitleMusic()
{
    const float notes[16] = {220.0f, 277.2f, 329.6f, 440.0f, 329.6f, 277.2f, 246.9f, 329.6f,
                             196.0f, 246.9f, 293.7f, 392.0f, 293.7f, 246.9f, 220.0f, 277.2f};
    std::vector<float> out;
    for (float f : notes) {
        const std::vector<float> n = Tone({{f, 0.35f}}, 0.5f, 3.0f);
        out.insert(out.end(), n.begin(), n.end());
    }
    for (size_t i = 0; i < out.size(); ++i) {
        const float t = float(i) / float(kRate);
        const float root = i < out.size() / 2 ? 110.0f : 98.0f;
        out[i] += 0.15f * std::sin(2 * kPi * root * t);
    }
    return out;
}

// ---- writing -------------------------------------------------------------------

class Writer {
public:
    explicit Writer(std::string root) : root_(std::move(root)) {}
    bool ok = true;

    void Folder(const char* name)
    {
        const std::string path = root_ + "/" + name;
        if (!plat::CreateDirectory(path.c_str())) Fail("cannot create", path);
    }
    void File(const char* name, std::string bytes, u32 key)
    {
        if (bytes.empty()) return Fail("cannot encode", name);
        if (key != 0) XorWords(bytes.data(), u32(bytes.size()), key);
        const std::string path = root_ + "/" + name;
        if (!plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size())) Fail("cannot write", path);
    }
    void Picture(const char* name, const Canvas& c, u32 key) { File(name, EncodePicture(c), key); }

private:
    void Fail(const char* what, const std::string& path)
    {
        std::fprintf(stderr, "%s %s\n", what, path.c_str());
        ok = false;
    }
    std::string root_;
};

const float kWhite[3] = {1, 1, 1};

void MakeSharedPictures(Writer& w, TextPen& pen)
{
    w.Picture("Quillon/dot.png", Canvas(4, 4, 0xFFFFFFFFu), AssetKey);
    w.Picture("Quillon/back.png", Background(0.25f, 0.45f, 0.85f), AssetKey);
    w.Picture("Quillon/back_red.png", Background(0.85f, 0.25f, 0.2f), AssetKey);

    // Eleven cells of 46 x 64: the digits, then the minus sign.
    Canvas digits(512, 64);
    for (int d = 0; d < 11; ++d) {
        const char glyph[2] = {d < 10 ? char('0' + d) : '-', 0};
        const i32 width = pen.Measure(glyph, 60);
        pen.Draw(digits, glyph, 60, 46 * d + (46 - width) / 2, 54, kWhite);
    }
    w.Picture("Quillon/digifont.png", digits, AssetKey);

    auto notice = [&](const char* text, const char* sub, const float rgb[3]) {
        Canvas c(512, 200, 0xC0101828u);
        for (u32 x = 0; x < c.w; ++x)
            for (u32 y : {0u, 1u, c.h - 2, c.h - 1}) c.Set(x, y, 0xFFFFFFFFu);
        pen.DrawCentred(c, text, 56, 256, 80, rgb);
        pen.DrawCentred(c, sub, 28, 256, 150, kWhite);
        return c;
    };
    const float gold[3] = {1.0f, 0.85f, 0.3f}, blue[3] = {0.5f, 0.7f, 1.0f};
    w.Picture("Quillon/congratulations.png", notice("Congratulations!", "晋升 Promotion", gold), AssetKey);
    w.Picture("Quillon/demotion.png", notice("Demotion", "降级 Rank lowered", blue), AssetKey);
}

void MakeTitlePictures(Writer& w, TextPen& pen)
{
    // The title, drawn at (60, 100) on the 1024 x 768 screen.
    Canvas logo(904, 240);
    const float steel[3] = {0.92f, 0.95f, 1.0f}, cyan[3] = {0.2f, 0.6f, 1.0f};
    pen.DrawCentred(logo, "QUILLON", 170, 452, 110, steel);
    AddGlow(logo, 6, cyan, 2.5f);
    pen.DrawCentred(logo, "機甲決闘", 34, 452, 212, kWhite);
    w.Picture("Quillon/Logo.png", logo, AssetKey);

    // The maker's logo, full screen.
    Canvas maker(1024, 768, 0xFF000000u);
    const float amber[3] = {1.0f, 0.75f, 0.3f};
    pen.DrawCentred(maker, "BREVANTHOLM", 96, 512, 360, amber);
    pen.DrawCentred(maker, "presents", 32, 512, 450, kWhite);
    w.Picture("Quillon/brevantholm.png", maker, AssetKey);

    // The maker's short logo under the title.
    Canvas shortLogo(320, 48);
    pen.DrawCentred(shortLogo, "BREVANTHOLM WORKS", 30, 160, 24, amber);
    w.Picture("Quillon/zel.png", shortLogo, AssetKey);

    // The earth's glow, drawn additively.
    Canvas glow(128, 128);
    for (u32 y = 0; y < 128; ++y)
        for (u32 x = 0; x < 128; ++x) {
            const float dx = (float(x) - 63.5f) / 64.0f, dy = (float(y) - 63.5f) / 64.0f;
            const float r = std::sqrt(dx * dx + dy * dy);
            // A ring just outside the globe (radius 1 of a 2.8 quad = 0.714).
            const float ring = std::exp(-std::pow((r - 0.72f) / 0.08f, 2.0f));
            const float k = std::clamp(r < 0.72f ? 0.35f + 0.65f * ring : ring, 0.0f, 1.0f) * (r < 1 ? 1 : 0);
            float* p = glow.At(x, y);
            p[0] = 0.45f * k;
            p[1] = 0.7f * k;
            p[2] = 1.0f * k;
            p[3] = k;
        }
    w.Picture("Quillon/earth_light.png", glow, AssetKey);
}

void MakeTitleMeshes(Writer& w)
{
    Canvas earth(512, 256);
    Canvas clouds(512, 256);
    Canvas sky(512, 256, 0xFF000000u);
    for (u32 y = 0; y < 256; ++y)
        for (u32 x = 0; x < 512; ++x) {
            const float u = float(x) / 512.0f, v = float(y) / 256.0f;
            const float lat = std::fabs(v - 0.5f) * 2;
            const float h = Fractal(u, v, 7) - 0.08f * lat;
            u32 c;
            if (lat > 0.88f) c = 0xFFF0F4FFu;
            else if (h > 0.52f) c = h > 0.62f ? 0xFF8A7A55u : 0xFF3C7A34u;
            else c = h > 0.47f ? 0xFF2A64B0u : 0xFF163E86u;
            earth.Set(x, y, c);
            const float cl = std::clamp((Fractal(u, v, 91) - 0.5f) * 4.0f, 0.0f, 1.0f);
            clouds.Set(x, y, (u32(cl * 230.0f) << 24) | 0xFFFFFF);
            // A faint band of light; the stars themselves are the scene's points.
            const float band = std::exp(-std::pow((v - 0.5f - 0.15f * std::sin(u * 2 * kPi)) / 0.08f, 2.0f));
            const u32 b = u32(48.0f * band * Fractal(u, v, 33));
            sky.Set(x, y, 0xFF000000u | (b / 2) << 16 | (b / 2) << 8 | b);
        }
    w.Picture("X/earth.png", earth, MeshKey);
    w.Picture("X/earth_c.png", clouds, MeshKey);
    w.Picture("X/galaxy.png", sky, MeshKey);
    w.File("X/earth.x", SphereX(1.0f, 32, 16, false, "earth.png", 1.0f), MeshKey);
    w.File("X/earth_c.x", SphereX(1.02f, 32, 16, false, "earth_c.png", 1.0f), MeshKey);
    w.File("X/galaxy.x", SphereX(1.0f, 16, 8, true, "galaxy.png", 1.0f), MeshKey);
}

void MakeTitleSounds(Writer& w)
{
    w.File("Sound/title_btn_decide.wav", Wave(Tone({{660.0f, 0.6f}, {990.0f, 0.6f}}, 0.09f, 12.0f)), 0);
    w.File("Sound/title_btn_shift.wav", Wave(Tone({{1320.0f, 0.4f}}, 0.05f, 40.0f)), 0);
    w.File("Sound/title0.ogg", Ogg(TitleMusic()), 0);
}

// The login and room screens: 1024 x 768 backdrops with their fields and
// panels where the scenes draw into them, the arrow buttons, the in-battle
// mark and the start picture; the room's music.
void MakeOnlineScreens(Writer& w, TextPen& pen)
{
    auto panel = [](Canvas& c, i32 l, i32 t, i32 r, i32 b, u32 fill, u32 edge) {
        for (i32 y = t; y < b; ++y)
            for (i32 x = l; x < r; ++x)
                c.Set(u32(x), u32(y), (x == l || x == r - 1 || y == t || y == b - 1) ? edge : fill);
    };
    const float pale[3] = {0.75f, 0.85f, 1.0f};
    Canvas login(1024, 768, 0xFF0C1426u);
    pen.DrawCentred(login, "ONLINE LOGIN", 44, 512, 70, pale);
    panel(login, 258, 127, 967, 157, 0xFF101C30u, 0xFF6688CCu);
    panel(login, 259, 179, 968, 209, 0xFF101C30u, 0xFF6688CCu);
    pen.Draw(login, "服务器", 22, 120, 150, kWhite);
    pen.Draw(login, "ID", 22, 120, 202, kWhite);
    panel(login, 260, 425, 580, 698, 0xFF0A1020u, 0xFF44608Cu);
    panel(login, 761, 425, 961, 607, 0xFF0A1020u, 0xFF44608Cu);
    panel(login, 778, 659, 967, 734, 0xFF1E3C78u, 0xFFAACCFFu);
    pen.DrawCentred(login, "LOGIN", 34, 872, 708, kWhite);
    w.Picture("Quillon/netLogin.png", login, AssetKey);

    // The stage's preview shows through; a dark heading band and dark rows
    // keep the white texts over it readable whatever the stage's colours.
    // Each row ends in a solid near-black plate under the team's name, so
    // every team colour reads there whatever shows behind.
    Canvas room(1024, 768, 0x00000000u);
    panel(room, 0, 0, 1024, 52, 0xB0081020u, 0xB0081020u);
    for (i32 k = 0; k < 10; ++k) {
        panel(room, 12, 54 + 42 * k, 1004, 96 + 42 * k, 0xA0101C30u, 0x804466AAu);
        panel(room, 905, 54 + 42 * k, 1004, 96 + 42 * k, 0xFF05080Eu, 0xFF05080Eu);
    }
    panel(room, 12, 476, 729, 760, 0xA0081020u, 0xFF44608Cu);
    panel(room, 730, 476, 1005, 724, 0xA0081020u, 0xFF44608Cu);
    w.Picture("Quillon/netRoom.png", room, AssetKey);

    Canvas battle(140, 42, 0x00000000u);
    const float amber[3] = {1.0f, 0.6f, 0.1f};
    pen.DrawCentred(battle, "IN BATTLE", 20, 70, 28, amber);
    w.Picture("Quillon/NowBattle.png", battle, AssetKey);
    w.Picture("Quillon/RoomCursor.png", Canvas(8, 8, 0xFFFF3030u), AssetKey);
    Canvas left(14, 18, 0x00000000u), right(14, 18, 0x00000000u);
    for (u32 y = 0; y < 18; ++y)
        for (u32 x = 0; x < 14; ++x) {
            const u32 half = y < 9 ? y : 17 - y;
            if (13 - x <= half * 13 / 8) left.Set(x, y, 0xFFE0E8FFu);
            if (x <= half * 13 / 8) right.Set(x, y, 0xFFE0E8FFu);
        }
    w.Picture("Quillon/Button_L.png", left, AssetKey);
    w.Picture("Quillon/Button_R.png", right, AssetKey);
    Canvas start(1024, 768, 0xE0000000u);
    pen.DrawCentred(start, "BATTLE START", 96, 512, 400, amber);
    w.Picture("Quillon/netRoomStart.png", start, AssetKey);

    w.File("Sound/room.ogg", Ogg(Tone({{330.0f, 0.3f}, {392.0f, 0.3f}, {440.0f, 0.3f}, {392.0f, 0.3f}}, 0.5f, 2.0f)), 0);
}

// The settings a first start finds: a 1024 x 768 window, audible volumes,
// the pads' buttons in order and the keyboard playing pad 0 (arrows to move,
// Z X C V S A D F for the eight buttons; Enter and Escape are START and
// CANCEL anyway). A player's own file is never replaced.
std::string DefaultConfig()
{
    static const char* const operations[10] = {"ジャンプ", "ショット", "サーベル", "ガード", "タゲ変更",
                                               "サブ１",   "サブ２",   "サブ３",   "START",  "CANCEL"};
    static const char* const pads[4] = {"JOY_", "JOY2_", "JOY3_", "JOY4_"};
    static const char* const keys[12] = {"KEY_左",   "KEY_上",     "KEY_右",   "KEY_下",
                                         "KEY_ジャンプ", "KEY_ショット", "KEY_サーベル", "KEY_ガード",
                                         "KEY_タゲ変更", "KEY_サブ１",   "KEY_サブ２",   "KEY_サブ３"};
    static const int keyCodes[12] = {37, 38, 39, 40, 'Z', 'X', 'C', 'V', 'S', 'A', 'D', 'F'};
    std::string s = "[Window]\r\nFullScreen=0\r\nw=1024\r\nh=768\r\n[D3DSetting]\r\nTextureLevel=0\r\n";
    s += "[GameSetting]\r\nFar=3\r\nShadow=0\r\nVolumeBGM=80\r\nVolumeSE=80\r\nVolumeVOICE=80\r\n";
    for (const char* pad : pads)
        for (int op = 0; op < 10; ++op)
            s += std::string(pad) + operations[op] + "=" + std::to_string(op + 1) + "\r\n";
    for (int k = 0; k < 12; ++k) s += std::string(keys[k]) + "=" + std::to_string(keyCodes[k]) + "\r\n";
    return s;
}

}  // namespace

bool MakeTitleData(const char* runFolder)
{
    Writer w(runFolder);
    for (const char* folder : {"Quillon", "X", "Sound"}) w.Folder(folder);
    TextPen pen;
    if (!pen.Open()) return false;
    MakeSharedPictures(w, pen);
    MakeTitlePictures(w, pen);
    MakeTitleMeshes(w);
    MakeTitleSounds(w);
    MakeOnlineScreens(w, pen);
    if (!plat::PathExists((std::string(runFolder) + "/Config.ini").c_str())) w.File("Config.ini", DefaultConfig(), 0);
    // A server list naming this machine; a player's own list is never replaced.
    if (!plat::PathExists((std::string(runFolder) + "/server.ini").c_str()))
        w.File("server.ini", "[ServerList]\r\nCnt=1\r\nS0_IP=127.0.0.1\r\nS0_Name=This machine\r\n", 0);
    return w.ok;
}
