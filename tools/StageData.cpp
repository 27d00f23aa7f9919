// Sample stages: two designs, one in each file version, and variants of them
// for the other stage folders. Each is a square of ground tiles (one per
// cell) around (1500, 0, 1500) ringed by the area wall, with buildings,
// breakable crates, alpha-tested fences, start points for four teams and the
// free list, fog, light and music; the older design has a flooded pool.
#include "tools/StageData.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "tools/OggToneWriter.h"
#include "tools/PngWriter.h"
#include "tools/StageFileWriter.h"

namespace {

struct Design {
    const char* folder;
    i32 version;
    i32 halfCells;  // the playable square reaches this many cells from the middle
    u32 seed;       // where buildings, crates and fences stand
    i32 fog[3];
    i32 light[3];
    f32 ambient;
    f32 wallHeight;
    bool pool;
};

// The stage folders the start-up lists (the arcade uses 0-8, the
// demonstration the first two).
const Design kDesigns[] = {
    {"war/City", 20000, 20, 7, {150, 170, 200}, {255, 250, 235}, 0.30f, 120.0f, false},
    {"war/In", 10000, 15, 3, {90, 90, 110}, {230, 230, 255}, 0.25f, 80.0f, true},
    {"war/City2", 20000, 18, 11, {200, 170, 140}, {255, 220, 180}, 0.35f, 120.0f, false},
    {"war/City3", 20000, 16, 5, {120, 130, 150}, {200, 210, 255}, 0.20f, 150.0f, true},
    {"war/In2", 10000, 14, 13, {70, 60, 80}, {255, 200, 200}, 0.25f, 60.0f, true},
    {"war/moon", 10000, 15, 17, {10, 10, 20}, {220, 220, 220}, 0.10f, 80.0f, false},
    {"war/City4", 20000, 20, 19, {180, 190, 210}, {255, 255, 255}, 0.40f, 120.0f, false},
    {"war/City5", 20000, 17, 23, {160, 120, 100}, {255, 180, 120}, 0.30f, 100.0f, false},
    {"war/Skyland", 10000, 15, 29, {200, 220, 255}, {255, 255, 240}, 0.45f, 200.0f, true},
};

constexpr f32 kCell = 30.0f;
constexpr i32 kGrid = 100;

enum Part : i16 { kGround, kBuilding, kCrate, kFence, kSky, kArea, kPoolFloor };

Mat4 At(f32 x, f32 y, f32 z, f32 turn = 0.0f)
{
    Mat4 m, t;
    plat::MatrixRotationY(&m, turn);
    plat::MatrixTranslation(&t, x, y, z);
    plat::MatrixMultiply(&m, &m, &t);
    return m;
}

std::string Num(f32 v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(v));
    return buf;
}

bool WriteAsset(const std::string& path, std::string data, u32 key)
{
    if (key) XorWords(data.data(), static_cast<u32>(data.size()), key);
    if (!plat::WriteFileAtomic(path.c_str(), data.data(), data.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

StageLayout Layout(const Design& d)
{
    StageLayout s;
    s.version = d.version;
    s.cellSize = kCell;
    const std::string settings =
        "' stage-wide look\r\nFogColor = " + std::to_string(d.fog[0]) + ", " + std::to_string(d.fog[1]) + ", " +
        std::to_string(d.fog[2]) + ";\r\nLightColor(" + std::to_string(d.light[0]) + "," + std::to_string(d.light[1]) +
        "," + std::to_string(d.light[2]) + ");\r\nLightAmb = " + Num(d.ambient) + ", " + Num(d.ambient) + ", " +
        Num(d.ambient + 0.05f) + ";\r\nLightDir = -0.4, -1.0, 0.3;\r\nBgmFileName = 0, bgm.ogg;\r\n";
    s.parts = {
        {"ground.x", "ground.x", -1, 0, settings},
        {"building.x", "building.x", -1, 0, ""},
        {"crate.x", "crate.x", -1, 0, ""},
        {"fence.x", "fence.x", -1, 1, ""},
        {"sky.x", "", -1, 0, "SkyXFile\r\n"},
        {"area.x", "", -1, 0, "AreaHitXFile ' the wall ring\r\n"},
        {"ground.x", "ground.x", kGround, 0, ""},
    };
    s.Resize(kGrid, kGrid);
    const i32 lo = kGrid / 2 - d.halfCells, hi = kGrid / 2 + d.halfCells;  // cells [lo, hi)
    const f32 middle = kCell * kGrid / 2;
    u32 rng = d.seed * 2654435761u + 1;
    auto next = [&rng]() {
        rng = rng * 1103515245u + 12345u;
        return (rng >> 16) & 0x7FFF;
    };
    for (i32 r = lo; r < hi; ++r) {
        for (i32 c = lo; c < hi; ++c) {
            const f32 x = (static_cast<f32>(c) + 0.5f) * kCell, z = (static_cast<f32>(r) + 0.5f) * kCell;
            std::vector<StagePlacement>& cell = s.Cell(c, r);
            const bool pool = d.pool && c >= hi - 4 && r >= hi - 4;
            if (pool) {
                cell.push_back({At(x, -6.0f, z), kPoolFloor, "#WaterY = -1.0;\r\n@DrawGroup = 0;\r\n"});
                continue;
            }
            cell.push_back({At(x, 0.0f, z), kGround, ""});
            // The middle stays open for the start points.
            const f32 dx = x - middle, dz = z - middle;
            if (dx * dx + dz * dz < 150.0f * 150.0f) continue;
            const u32 roll = next() % 100;
            if (roll < 6) {
                cell.push_back({At(x, 0.0f, z), kBuilding,
                                "' a tall block\r\n@CullFar = 300.0;\r\n@DrawGroup = 1;\r\n@ShadowFlag = 1;\r\n"});
            } else if (roll < 10) {
                cell.push_back({At(x + 5.0f, 0.0f, z - 5.0f, 0.4f), kCrate,
                                "@Hp = 300;\r\n@HitProc = 1;\r\n@DestroyProc = 1;\r\n@DestroyParam00 = 20;\r\n"
                                "@CullFar = 80.5;\r\n@DrawGroup = 3;\r\n@float[40] = 2.5;\r\n"});
            } else if (roll < 13) {
                cell.push_back({At(x, 0.0f, z, 1.57f), kFence,
                                "@AlphaTestFlag = 1;\r\n@DrawGroup = 2;\r\n@CullFar = 60.0;\r\n@ShadowFlag = 2;\r\n"});
            }
        }
    }
    // Start points: three for each of four teams on the sides of the open
    // middle, and eight free ones around it.
    const f32 reach = 100.0f;
    const f32 side[4][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
    for (i32 team = 0; team < 4; ++team) {
        for (i32 k = -1; k <= 1; ++k) {
            const f32 x = middle + side[team][0] * reach + side[team][1] * 20.0f * static_cast<f32>(k);
            const f32 z = middle + side[team][1] * reach + side[team][0] * 20.0f * static_cast<f32>(k);
            s.Cell(static_cast<i32>(x / kCell), static_cast<i32>(z / kCell))
                .push_back({At(x, 5.0f, z), kGround, "PopInfo(" + std::to_string(team) + ",0,0,0,0,0,0,0,0,0,0);\r\n"});
        }
    }
    for (i32 k = 0; k < 8; ++k) {
        const f32 turn = 0.785f * static_cast<f32>(k);
        const f32 x = middle + 60.0f * plat::DetCos(turn), z = middle + 60.0f * plat::DetSin(turn);
        s.Cell(static_cast<i32>(x / kCell), static_cast<i32>(z / kCell))
            .push_back({At(x, 5.0f, z), kGround, "PopInfo(999, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);\r\n"});
    }
    return s;
}

// The sky's picture, top to bottom: a deeper shade overhead fading to the
// fog colour at the horizon (v 0.71 on the sky box) and below, so the sky
// meets the fogged ground without a seam.
std::string SkyPng(const Design& d)
{
    constexpr u32 kW = 4, kH = 64;
    const f32 fog[3] = {static_cast<f32>(d.fog[0]), static_cast<f32>(d.fog[1]), static_cast<f32>(d.fog[2])};
    const f32 top[3] = {fog[0] * 0.45f, fog[1] * 0.6f, std::min(255.0f, fog[2] * 0.8f + 40.0f)};
    std::vector<u8> rgba(kW * kH * 4);
    for (u32 y = 0; y < kH; ++y) {
        const f32 v = std::min(1.0f, (static_cast<f32>(y) + 0.5f) / static_cast<f32>(kH) / 0.71f);
        const f32 t = v * v * v;
        for (u32 x = 0; x < kW; ++x) {
            u8* p = &rgba[(y * kW + x) * 4];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<u8>(top[c] + (fog[c] - top[c]) * t);
            p[3] = 255;
        }
    }
    return EncodePng(kW, kH, rgba);
}

// The wall's picture, added to what lies behind it: a faint blue with two
// brighter bands.
std::string WallPng()
{
    constexpr u32 kW = 4, kH = 32;
    std::vector<u8> rgba(kW * kH * 4);
    for (u32 y = 0; y < kH; ++y) {
        const bool band = y % 16 < 2;
        for (u32 x = 0; x < kW; ++x) {
            u8* p = &rgba[(y * kW + x) * 4];
            p[0] = band ? 50 : 8;
            p[1] = band ? 120 : 28;
            p[2] = band ? 170 : 44;
            p[3] = 255;
        }
    }
    return EncodePng(kW, kH, rgba);
}

bool WriteStage(const std::string& root, const Design& d)
{
    const std::string dir = root + "/" + d.folder;
    if (!plat::CreateDirectory(dir.c_str())) {
        std::fprintf(stderr, "cannot create %s\n", dir.c_str());
        return false;
    }
    const f32 half = kCell * static_cast<f32>(d.halfCells);
    const f32 h = d.wallHeight;
    bool ok = true;
    // Tiles reach 8 units down so the pool's floor, 6 down, has sides.
    ok &= WriteAsset(dir + "/ground.x", StageBoxMeshText({{{-15, -8, -15}, {15, 0, 15}}}, 0.45f, 0.5f, 0.4f), AssetKey);
    ok &= WriteAsset(dir + "/building.x", StageBoxMeshText({{{-6, 0, -6}, {6, 24, 6}}}, 0.6f, 0.6f, 0.65f), AssetKey);
    ok &= WriteAsset(dir + "/crate.x", StageBoxMeshText({{{-2, 0, -2}, {2, 4, 2}}}, 0.7f, 0.5f, 0.25f), AssetKey);
    ok &= WriteAsset(dir + "/fence.x", StageBoxMeshText({{{-7, 0, -0.3f}, {7, 3, 0.3f}}}, 0.3f, 0.6f, 0.3f), AssetKey);
    // The battle scales the sky by 350 around the camera: a box of 14 reaches
    // 4,900 units, inside the far plane even at its corners.
    ok &= WriteAsset(dir + "/sky.x",
                     StageBoxMeshText({{{-14, -4, -14}, {14, 10, 14}}}, 1.0f, 1.0f, 1.0f, true, "sky.png"), AssetKey);
    ok &= WriteAsset(dir + "/sky.png", SkyPng(d), AssetKey);
    // Four walls just outside the playable square, in the space around (1500, 0, 1500).
    ok &= WriteAsset(dir + "/area.x",
                     StageBoxMeshText({{{-half - 10, -20, -half - 10}, {-half, h, half + 10}},
                                       {{half, -20, -half - 10}, {half + 10, h, half + 10}},
                                       {{-half, -20, -half - 10}, {half, h, -half}},
                                       {{-half, -20, half}, {half, h, half + 10}}},
                                      0.4f, 0.8f, 1.0f, false, "area.png"),
                     AssetKey);
    ok &= WriteAsset(dir + "/area.png", WallPng(), AssetKey);
    const std::vector<u8> file = WriteStageFile(Layout(d));
    ok &= WriteAsset(dir + "/map.mpd", std::string(file.begin(), file.end()), 0);
    const std::string music = EncodeOggTone(196.0f, 247.0f, 1.5f);
    ok &= !music.empty() && WriteAsset(dir + "/bgm.ogg", music, 0);
    return ok;
}

}  // namespace

bool MakeStageData(const char* runFolder)
{
    const std::string root = runFolder;
    if (!plat::CreateDirectory((root + "/war").c_str())) {
        std::fprintf(stderr, "cannot create %s/war\n", runFolder);
        return false;
    }
    bool ok = true;
    for (const Design& d : kDesigns) ok &= WriteStage(root, d);
    return ok;
}
