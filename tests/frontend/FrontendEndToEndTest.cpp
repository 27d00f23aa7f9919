// The real game from a run folder of its own, driven by an input script
// under the offscreen video driver: the title's survival entry, a robot, a
// pilot, a stage and the music chosen on the character selection, into the
// battle; a screenshot at each step, each checked by its pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "support/GameProcess.h"

namespace {

namespace fs = std::filesystem;

// Every entry of the build's run folder linked in but the settings and the
// screenshots.
struct PlayFolder {
    TempFolder temp;
    std::string run = temp / "run";
    std::string exe = run + "/quillon";

    PlayFolder()
    {
        fs::create_directory(run);
        for (const auto& entry : fs::directory_iterator(QUILLON_RUN_DIR)) {
            const std::string leaf = entry.path().filename().string();
            if (leaf == "Config.ini" || leaf == "ScreenShot" || leaf == "quillon") continue;
            fs::create_symlink(entry.path(), run + "/" + leaf);
        }
        std::error_code error;
        fs::create_hard_link(GamePath(), exe, error);
        if (error) fs::copy_file(GamePath(), exe, error);
        EXPECT_FALSE(error) << error.message();
        EXPECT_TRUE(temp.Write("run/Config.ini",
                               "[Window]\nw=1024\nh=768\nFullScreen=0\n[GameSetting]\nVolumeBGM=80\nVolumeSE=80\n"
                               "VolumeVOICE=80\nKEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\n"));
    }
    std::vector<std::string> Env() const
    {
        return {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null", "QUILLON_QUIET_BOXES=1",
                "QUILLON_INPUT_SCRIPT=" + temp / "play.script", "QUILLON_REGISTRY_FILE=" + temp / "registry.ini",
                "QUILLON_INSTANCE_DIR=" + temp.Path(), "XDG_DATA_HOME=" + temp / "data",
                "ASAN_OPTIONS=detect_leaks=0"};
    }
    bool Shot(int n, plat::Image& image) const
    {
        char name[64];
        std::snprintf(name, sizeof name, "/ScreenShot/Shot%03d.png", n);
        std::string bytes;
        return plat::ReadWholeFile((run + name).c_str(), bytes) &&
               plat::DecodeImage(bytes.data(), bytes.size(), &image);
    }
};

u32 PixelAt(const plat::Image& image, u32 x, u32 y)
{
    u32 p = 0;
    std::memcpy(&p, image.surfaces[0].data() + (size_t(y) * image.width + x) * 4, 4);
    return p & 0xFFFFFF;
}

// Distinct colours in a rectangle, sampled every 4 pixels.
size_t Colours(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
{
    std::vector<u32> seen;
    for (u32 y = top; y < bottom; y += 4)
        for (u32 x = left; x < right; x += 4) seen.push_back(PixelAt(image, x, y));
    std::sort(seen.begin(), seen.end());
    return size_t(std::unique(seen.begin(), seen.end()) - seen.begin());
}

// Mean brightness (0..255) of a rectangle.
double Brightness(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
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

// Pixels clearly greener than blue, sampled every 2 pixels.
u32 Greenish(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
{
    u32 n = 0;
    for (u32 y = top; y < bottom; y += 2)
        for (u32 x = left; x < right; x += 2) {
            const u32 p = PixelAt(image, x, y);
            if (int(p >> 8 & 0xFF) > int(p & 0xFF) + 20) ++n;
        }
    return n;
}

TEST(FrontendEndToEndTest, SurvivalFromTheTitleThroughTheSelectionIntoTheBattle)
{
    PlayFolder play;
    // Enter until the title's menu is up, down to survival and in; then on
    // the selection: a shot of the robot step once the ring has come to rest
    // on the second robot and its preview has loaded (script time moves at
    // most 50 ms a frame), and each step confirmed with a shot of the next;
    // the last shot in the battle.
    std::string script = "300 button 1\n";
    for (int t = 1000; t <= 20000; t += 1000) script += std::to_string(t) + " key Enter\n";
    script += "22000 key Down\n23000 key Enter\n"
              "27000 key Right\n31000 key VK_SNAPSHOT\n32000 key Enter\n33000 key VK_SNAPSHOT\n"
              "34000 key Enter\n35000 key VK_SNAPSHOT\n36000 key Enter\n37000 key VK_SNAPSHOT\n"
              "38000 key Enter\n50000 key VK_SNAPSHOT\n52000 close\n";
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env(), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(400)), 0) << play.temp.Read("play.err");

    plat::Image robot, pilot, stage, music, battle;
    ASSERT_TRUE(play.Shot(0, robot)) << play.temp.Read("play.err");
    ASSERT_TRUE(play.Shot(1, pilot));
    ASSERT_TRUE(play.Shot(2, stage));
    ASSERT_TRUE(play.Shot(3, music));
    ASSERT_TRUE(play.Shot(4, battle));

    // Robot step: the ring's middle picture (the second robot's face) is not
    // the background beside it, and the preview (greener than the blue
    // background) turns in the upper half.
    EXPECT_GT(Colours(robot, 352, 508, 672, 748), 3u);
    EXPECT_NE(PixelAt(robot, 512, 628), PixelAt(robot, 40, 300));
    EXPECT_GT(Greenish(robot, 312, 100, 712, 480), 500u) << "the robot preview";
    // Pilot step: the robot ring lies dimmed under the pilot ring.
    EXPECT_LT(Brightness(pilot, 0, 520, 1024, 740), Brightness(robot, 0, 520, 1024, 740) * 0.5);
    EXPECT_GT(Colours(pilot, 412, 309, 612, 459), 3u) << "the pilot's face";
    // Stage step: the first stage's large picture at (192, 104), its sky red.
    const u32 sky = PixelAt(stage, 512, 150);
    EXPECT_GT(sky >> 16 & 0xFF, 2 * (sky & 0xFF)) << std::hex << sky;
    EXPECT_GT(Colours(stage, 192, 104, 832, 584), 8u);
    // Music step: the stage picture is gone, the music ring is up.
    EXPECT_NE(PixelAt(music, 512, 150), sky);
    EXPECT_GT(Colours(music, 352, 264, 672, 504), 2u);
    // The battle: the selection's headings and rings are gone, the screen is not black.
    EXPECT_NE(PixelAt(battle, 512, 40), PixelAt(music, 512, 40));
    EXPECT_GT(Brightness(battle, 0, 0, 1024, 768), 10.0);
}

}  // namespace
