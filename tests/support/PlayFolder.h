#pragma once
// A run folder of a scripted game's own: links to everything the build's run
// folder holds but the settings, the server list and the screenshots, the
// executable linked beside them; and the pixel questions the tests ask of
// its screenshots.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "support/GameProcess.h"
#include "support/TempFolder.h"

struct PlayFolder {
    TempFolder temp;
    std::string run = temp / "run";
    std::string exe = run + "/quillon";

    // name is the player's default name; extraConfig is added to Config.ini.
    explicit PlayFolder(const std::string& name = "", const std::string& extraConfig = "")
    {
        namespace fs = std::filesystem;
        fs::create_directory(run);
        for (const auto& entry : fs::directory_iterator(QUILLON_RUN_DIR)) {
            const std::string leaf = entry.path().filename().string();
            if (leaf == "Config.ini" || leaf == "server.ini" || leaf == "ScreenShot" || leaf == "quillon") continue;
            fs::create_symlink(entry.path(), run + "/" + leaf);
        }
        std::error_code error;
        fs::create_hard_link(GamePath(), exe, error);
        if (error) fs::copy_file(GamePath(), exe, error);
        EXPECT_FALSE(error) << error.message();
        std::string config =
            "[Window]\nw=1024\nh=768\nFullScreen=0\n[GameSetting]\nVolumeBGM=80\nVolumeSE=80\n"
            "VolumeVOICE=80\nKEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\n";
        if (!name.empty()) config += "DefaultName=" + name + "\n";
        EXPECT_TRUE(temp.Write("run/Config.ini", config + extraConfig));
        EXPECT_TRUE(temp.Write("run/server.ini", "[ServerList]\nCnt=1\nS0_IP=127.0.0.1\nS0_Name=Loopback\n"));
    }
    // The scripted game's environment; extra entries ("NAME=value") are added.
    std::vector<std::string> Env(const std::vector<std::string>& extra = {}) const
    {
        std::vector<std::string> env = {
            "SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null", "QUILLON_QUIET_BOXES=1",
            "QUILLON_INPUT_SCRIPT=" + temp / "play.script", "QUILLON_REGISTRY_FILE=" + temp / "registry.ini",
            "QUILLON_INSTANCE_DIR=" + temp.Path(), "XDG_DATA_HOME=" + temp / "data", "ASAN_OPTIONS=detect_leaks=0"};
        env.insert(env.end(), extra.begin(), extra.end());
        return env;
    }
    // Screenshot n (0 = the first taken) of this run.
    bool Shot(int n, plat::Image& image) const
    {
        char name[64];
        std::snprintf(name, sizeof name, "/ScreenShot/Shot%03d.png", n);
        std::string bytes;
        return plat::ReadWholeFile((run + name).c_str(), bytes) &&
               plat::DecodeImage(bytes.data(), bytes.size(), &image);
    }
    // Screenshot n read, and kept as <keep>.png in the current folder (the test
    // program's own) for people to look at.
    bool Shot(int n, plat::Image& image, const std::string& keep) const
    {
        char name[64];
        std::snprintf(name, sizeof name, "/ScreenShot/Shot%03d.png", n);
        std::error_code error;
        std::filesystem::copy_file(run + name, keep + ".png",
                                   std::filesystem::copy_options::overwrite_existing, error);
        return !error && Shot(n, image);
    }
};

// One line of an input script: "t what".
inline std::string ScriptStep(int t, const std::string& what) { return std::to_string(t) + " " + what + "\n"; }

// 0xRRGGBB of a screenshot pixel.
inline u32 PixelAt(const plat::Image& image, u32 x, u32 y)
{
    u32 p = 0;
    std::memcpy(&p, image.surfaces[0].data() + (size_t(y) * image.width + x) * 4, 4);
    return p & 0xFFFFFF;
}

// Distinct colours in a rectangle, sampled every 4 pixels.
inline size_t Colours(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
{
    std::vector<u32> seen;
    for (u32 y = top; y < bottom; y += 4)
        for (u32 x = left; x < right; x += 4) seen.push_back(PixelAt(image, x, y));
    std::sort(seen.begin(), seen.end());
    return size_t(std::unique(seen.begin(), seen.end()) - seen.begin());
}

// Mean brightness (0..255) of a rectangle.
inline double Brightness(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
{
    double sum = 0;
    u32 n = 0;
    for (u32 y = top; y < bottom; y += 2)
        for (u32 x = left; x < right; x += 2, ++n) {
            const u32 p = PixelAt(image, x, y);
            sum += ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3.0;
        }
    return n ? sum / n : 0;
}

// Pixels of a rectangle that pass test (given 0xRRGGBB).
template <class Test>
u32 CountPixels(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom, Test test)
{
    u32 n = 0;
    for (u32 y = top; y < bottom; ++y)
        for (u32 x = left; x < right; ++x) n += test(PixelAt(image, x, y)) ? 1 : 0;
    return n;
}
