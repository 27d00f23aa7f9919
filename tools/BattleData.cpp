// Sample data of the battle set-up: the effect and interface pictures under
// Quillon, the item and missile meshes under X, the battle's sounds and its
// music under Sound. Each picture has its own colour and shape and each
// sound its own pitch and envelope, so a player can tell them apart.
#include "tools/BattleData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "tools/DataBytes.h"
#include "tools/OggToneWriter.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr u32 kRate = 22050;

// Blast: an 8 x 8 sheet of a fireball that swells and dies away over its 64
// cells, as the explosion effects step through it a cell at a time.
enum class Shape { Glow, Beam, Ring, Bar, Arrow, Frame, Cross, Blast, Outline };

struct PictureLook {
    const char* file;
    Shape shape;
    u32 size;
};

// Effect pictures, in table order; the hue steps with the entry.
const PictureLook kEffects[] = {
    {"Beam.bmp", Shape::Beam, 64},         {"BlueBall.png", Shape::Glow, 64},    {"explode2.png", Shape::Blast, 512},
    {"explode1.png", Shape::Blast, 512},    {"Beam2.bmp", Shape::Beam, 64},       {"smokeline.png", Shape::Beam, 64},
    {"laser2.bmp", Shape::Beam, 64},       {"burner.png", Shape::Glow, 64},      {"burner2.png", Shape::Ring, 64},
    {"beamHit3.png", Shape::Cross, 64},    {"GSmoke.png", Shape::Glow, 64},      {"sabel.png", Shape::Beam, 64},
    {"sabel_line.png", Shape::Beam, 64},   {"beam2.png", Shape::Beam, 64},       {"Beam3.bmp", Shape::Beam, 64},
    {"BlueRedBeam.png", Shape::Beam, 64},  {"smoke.png", Shape::Glow, 64},       {"smoke2.png", Shape::Ring, 64},
    {"smokeline_b.png", Shape::Beam, 64},  {"WindRing.png", Shape::Ring, 64},    {"beam3.png", Shape::Beam, 64},
    {"beam3Hit.png", Shape::Cross, 64},    {"summon.png", Shape::Ring, 64},      {"BlueRedBeam2.png", Shape::Beam, 64},
    {"Beam4.png", Shape::Beam, 64},        {"Beam5.png", Shape::Beam, 64},       {"Beam6.png", Shape::Beam, 64},
    {"Beam7.png", Shape::Beam, 64},        {"Beam8.png", Shape::Beam, 64},       {"sabel_line2.png", Shape::Beam, 64},
    {"fire.png", Shape::Glow, 64},         {"light.png", Shape::Glow, 64},       {"magic.png", Shape::Ring, 128},
    {"beamHit2.png", Shape::Cross, 64},    {"Wing.png", Shape::Arrow, 64},       {"Wind.png", Shape::Ring, 64},
    {"Bomb.png", Shape::Glow, 64},         {"m_circle4.png", Shape::Ring, 128},  {"blueLight.bmp", Shape::Glow, 64},
    {"hinoko.png", Shape::Cross, 32},      {"fireAnime2.png", Shape::Glow, 128}, {"sabel_line3.png", Shape::Beam, 64},
};

const PictureLook kInterface[] = {
    {"Lock2.png", Shape::Ring, 128},        {"energygauge.png", Shape::Bar, 256},     {"generatorgauge.png", Shape::Bar, 256},
    {"hp.png", Shape::Bar, 256},            {"Lock.png", Shape::Frame, 128},          {"Complete.png", Shape::Frame, 256},
    {"Failed.png", Shape::Cross, 256},      {"l.png", Shape::Arrow, 32},              {"allow_l.png", Shape::Arrow, 32},
    {"allow_u.png", Shape::Arrow, 32},      {"allow_r.png", Shape::Arrow, 32},        {"allow_d.png", Shape::Arrow, 32},
    {"energygauge2.png", Shape::Bar, 256},  {"window.png", Shape::Frame, 256},        {"RankCursor.png", Shape::Outline, 64},
    {"rest.png", Shape::Glow, 16},          {"Ext.png", Shape::Frame, 64},            {"Ext_w.png", Shape::Frame, 64},
    {"Ext2.png", Shape::Frame, 64},         {"lockallow.png", Shape::Arrow, 64},      {"generatorgauge2.png", Shape::Bar, 256},
    {"pilotwindow.png", Shape::Frame, 256}, {"weapongaugew.png", Shape::Frame, 128},  {"weapongauge.png", Shape::Bar, 128},
    {"cost_gauge.png", Shape::Bar, 256},    {"cost_gauge_back.png", Shape::Frame, 256},   {"NetResult.png", Shape::Frame, 512},
};

// Hue around the colour wheel, full saturation.
void Hue(float h, float rgb[3])
{
    for (int c = 0; c < 3; ++c) {
        const float k = std::fmod(h * 6.0f + float(5 - 2 * c), 6.0f);
        rgb[c] = 1.0f - std::max(0.0f, std::min({k, 4.0f - k, 1.0f}));
    }
}

// One cell of a blast sheet at (u, v) in -1..1 of the cell, cell 0..63:
// alpha, and how far the colour goes from the hue to white.
void BlastCell(float u, float v, int cell, float* alpha, float* white)
{
    const float t = float(cell) / 63.0f;
    const float radius = 0.45f + 0.5f * std::sqrt(t);
    // A ragged edge, so the ball does not read as a disc.
    const float angle = std::atan2(v, u);
    const float edge = radius * (0.88f + 0.12f * std::sin(angle * 5.0f + t * 9.0f) * std::cos(angle * 3.0f - t * 4.0f));
    const float r = std::sqrt(u * u + v * v) / edge;
    const float body = std::clamp(1.0f - r, 0.0f, 1.0f);
    *alpha = std::pow(body, 0.6f) * (1.0f - t * t);
    *white = std::clamp((1.0f - t * 1.6f) * body * 1.4f, 0.0f, 1.0f);
}

std::string Picture(const PictureLook& look, float hue, bool effect)
{
    const u32 w = look.size, h = look.shape == Shape::Bar || look.shape == Shape::Beam ? std::max(16u, look.size / 8) : look.size;
    float rgb[3];
    Hue(hue, rgb);
    std::vector<u32> px(size_t(w) * h);
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x) {
            const float u = (float(x) + 0.5f) / float(w) * 2.0f - 1.0f;
            const float v = (float(y) + 0.5f) / float(h) * 2.0f - 1.0f;
            const float r = std::sqrt(u * u + v * v);
            float a = 0.0f, white = 0.0f;
            if (look.shape == Shape::Blast) {
                // Fire, whatever hue the table gives.
                Hue(0.07f, rgb);
                const u32 cell = w / 8;
                const float cu = (float(x % cell) + 0.5f) / float(cell) * 2.0f - 1.0f;
                const float cv = (float(y % cell) + 0.5f) / float(cell) * 2.0f - 1.0f;
                BlastCell(cu, cv, int((y / cell) * 8 + x / cell), &a, &white);
            }
            switch (look.shape) {
                case Shape::Glow: a = std::max(0.0f, 1.0f - r); white = a * a; break;
                case Shape::Beam: a = std::max(0.0f, 1.0f - std::fabs(v)); white = a * a * a; break;
                case Shape::Ring: a = std::max(0.0f, 1.0f - std::fabs(r - 0.7f) * 6.0f); break;
                case Shape::Bar: a = 1.0f; white = float(x) / float(w) * 0.5f; break;
                case Shape::Arrow: a = std::fabs(v) < 1.0f - (u + 1.0f) * 0.5f ? 1.0f : 0.0f; break;
                case Shape::Frame: a = std::max(std::fabs(u), std::fabs(v)) > 0.85f ? 1.0f : 0.35f; break;
                // A cursor laid over a letter: a thin frame and a bar under
                // it, clear inside, so the letter shows through.
                case Shape::Outline: a = std::max(std::fabs(u), std::fabs(v)) > 0.9f || v > 0.8f ? 1.0f : 0.0f; break;
                case Shape::Cross: {
                    const float d = std::min(std::fabs(u - v), std::fabs(u + v));
                    if (effect) {
                        // A hit's spark: arms that fade across and toward
                        // their tips, so no edge or square corner shows.
                        a = std::max(0.0f, 1.0f - d / 0.25f) * std::max(0.0f, 1.0f - r);
                        white = a * a;
                    } else {
                        a = d < 0.2f ? 1.0f : 0.0f;
                    }
                    break;
                }
                case Shape::Blast: break;
            }
            a = std::clamp(a, 0.0f, 1.0f);
            u32 out = u32(std::lround(a * 255.0f)) << 24;
            for (int c = 0; c < 3; ++c) {
                float value = rgb[c] + (1.0f - rgb[c]) * white;
                // Effects are also drawn adding their colour: it has to fade
                // with the alpha, or the clear corners show as a square.
                if (effect) value *= a;
                out |= u32(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)) << (16 - 8 * c);
            }
            px[size_t(y) * w + x] = out;
        }
    std::vector<u8> png;
    if (!plat::EncodePng(px.data(), w, h, true, &png)) return {};
    return std::string(png.begin(), png.end());
}

std::string F(float v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.4f", double(v));
    return b;
}

// A closed shape of flat triangles with one coloured material.
std::string MeshX(const std::vector<float>& xyz, const std::vector<u32>& tris, float r, float g, float b)
{
    const size_t n = xyz.size() / 3, faces = tris.size() / 3;
    std::string s = "xof 0303txt 0032\n\nMesh Shape {\n " + std::to_string(n) + ";\n";
    for (size_t i = 0; i < n; ++i)
        s += " " + F(xyz[i * 3]) + ";" + F(xyz[i * 3 + 1]) + ";" + F(xyz[i * 3 + 2]) + (i + 1 < n ? ";,\n" : ";;\n");
    s += " " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f)
        s += " 3;" + std::to_string(tris[f * 3]) + "," + std::to_string(tris[f * 3 + 1]) + "," +
             std::to_string(tris[f * 3 + 2]) + (f + 1 < faces ? ";,\n" : ";;\n");
    s += " MeshMaterialList {\n  1;\n  " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f) s += "  0" + std::string(f + 1 < faces ? ",\n" : ";\n");
    s += "  Material {\n   " + F(r) + ";" + F(g) + ";" + F(b) + ";1.0;;\n   10.0;\n   0.3;0.3;0.3;;\n   " +
         F(r * 0.3f) + ";" + F(g * 0.3f) + ";" + F(b * 0.3f) + ";;\n  }\n }\n}\n";
    return s;
}

// A box of half sizes (x, y, z).
std::string BoxX(float x, float y, float z, float r, float g, float b)
{
    std::vector<float> v;
    for (int i = 0; i < 8; ++i) v.insert(v.end(), {i & 1 ? x : -x, i & 2 ? y : -y, i & 4 ? z : -z});
    const std::vector<u32> t = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                                2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    return MeshX(v, t, r, g, b);
}

// An eight-faced gem of radius s.
std::string GemX(float s, float r, float g, float b)
{
    const std::vector<float> v = {s, 0, 0, -s, 0, 0, 0, s, 0, 0, -s, 0, 0, 0, s, 0, 0, -s};
    const std::vector<u32> t = {0, 2, 4, 4, 2, 1, 1, 2, 5, 5, 2, 0, 0, 4, 3, 4, 1, 3, 1, 5, 3, 5, 0, 3};
    return MeshX(v, t, r, g, b);
}

std::string Wave(const std::vector<float>& samples) { return WaveFile(samples, kRate); }

// A sweep from one pitch to another, with noise mixed in for blasts.
std::vector<float> Sweep(float from, float to, float seconds, float noise, u32 seed)
{
    std::vector<float> out(size_t(seconds * float(kRate)));
    float phase = 0.0f;
    for (size_t i = 0; i < out.size(); ++i) {
        const float t = float(i) / float(out.size());
        phase += 2.0f * kPi * (from + (to - from) * t) / float(kRate);
        seed = seed * 1664525u + 1013904223u;
        const float n = float(seed >> 8) / float(1u << 24) * 2.0f - 1.0f;
        const float env = std::min(1.0f, t * 50.0f) * (1.0f - t);
        out[i] = (std::sin(phase) * (1.0f - noise) + n * noise) * env * 0.8f;
    }
    return out;
}

struct SoundSpec {
    const char* file;
    float from, to, seconds, noise;
};

const SoundSpec kSounds[] = {
    {"shot.wav", 1200, 300, 0.15f, 0.2f},     {"asioto.wav", 90, 60, 0.12f, 0.6f},
    {"tyakuti.wav", 70, 40, 0.2f, 0.7f},      {"explode_m.wav", 120, 40, 0.6f, 0.85f},
    {"explode_l.wav", 80, 25, 1.0f, 0.9f},    {"burner_f15.wav", 200, 220, 0.5f, 0.8f},
    {"shot2.wav", 900, 500, 0.12f, 0.1f},     {"BeamHit.wav", 1500, 800, 0.15f, 0.4f},
    {"Fannel.wav", 600, 1400, 0.2f, 0.0f},    {"sword.wav", 400, 1600, 0.18f, 0.5f},
    {"sword2.wav", 300, 1200, 0.25f, 0.5f},   {"BeamHit2.wav", 1800, 600, 0.2f, 0.3f},
    {"guard.wav", 500, 480, 0.15f, 0.2f},     {"Bullet.wav", 700, 200, 0.08f, 0.5f},
    {"burst01.wav", 150, 60, 0.4f, 0.8f},     {"BulletHit.wav", 1000, 400, 0.06f, 0.6f},
    {"BeamReflect.wav", 800, 2000, 0.2f, 0.1f}, {"Henkei.wav", 300, 900, 0.6f, 0.1f},
    {"PI2.wav", 1320, 1320, 0.1f, 0.0f},      {"PI.wav", 880, 880, 0.1f, 0.0f},
    {"cursor27.wav", 1760, 1760, 0.05f, 0.0f},
};

// A driving loop for battles: a bass line under a quick arpeggio.
std::vector<float> BattleMusic()
{
    const float bass[8] = {110.0f, 110.0f, 98.0f, 98.0f, 87.3f, 87.3f, 98.0f, 103.8f};
    std::vector<float> out;
    for (int bar = 0; bar < 8; ++bar)
        for (int step = 0; step < 8; ++step) {
            const std::vector<float> low = Sweep(bass[bar], bass[bar], 0.125f, 0.0f, 1);
            const std::vector<float> high = Sweep(bass[bar] * float(4 + step % 3), bass[bar] * float(4 + step % 3),
                                                  0.125f, 0.0f, 1);
            for (size_t i = 0; i < low.size(); ++i) out.push_back(0.6f * low[i] + 0.3f * high[i]);
        }
    return out;
}

bool Write(const std::string& root, const std::string& name, std::string bytes, u32 key)
{
    if (bytes.empty()) {
        std::fprintf(stderr, "cannot encode %s\n", name.c_str());
        return false;
    }
    if (key != 0) XorWords(bytes.data(), u32(bytes.size()), key);
    const std::string path = root + "/" + name;
    if (!plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool MakeBattleData(const char* runFolder)
{
    const std::string root = runFolder;
    for (const char* folder : {"Quillon", "X", "Sound"}) plat::CreateDirectory((root + "/" + folder).c_str());
    bool ok = true;
    const size_t effects = std::size(kEffects), hud = std::size(kInterface);
    for (size_t i = 0; i < effects; ++i)
        ok &= Write(root, std::string("Quillon/") + kEffects[i].file, Picture(kEffects[i], float(i) / float(effects), true),
                    AssetKey);
    for (size_t i = 0; i < hud; ++i)
        ok &= Write(root, std::string("Quillon/") + kInterface[i].file,
                    Picture(kInterface[i], float(i) / float(hud) + 0.5f / float(hud), false), AssetKey);
    const PictureLook banner{"startbattle.png", Shape::Frame, 256};
    ok &= Write(root, "Quillon/startbattle.png", Picture(banner, 0.12f, false), AssetKey);
    ok &= Write(root, "X/item.x", BoxX(0.5f, 0.5f, 0.5f, 1.0f, 0.85f, 0.2f), MeshKey);
    ok &= Write(root, "X/item2.x", GemX(0.6f, 0.3f, 0.9f, 1.0f), MeshKey);
    ok &= Write(root, "X/Missile3.x", BoxX(0.15f, 0.15f, 0.8f, 0.8f, 0.8f, 0.85f), MeshKey);
    u32 seed = 7;
    for (const SoundSpec& s : kSounds)
        ok &= Write(root, std::string("Sound/") + s.file, Wave(Sweep(s.from, s.to, s.seconds, s.noise, seed++)), 0);
    ok &= Write(root, "Sound/bgm.ogg", EncodeOggMono(BattleMusic(), long(kRate), 0.3f), 0);
    return ok;
}
