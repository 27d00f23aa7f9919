// The real game on a newcomer's first starts: no display, another current
// folder, settings and screenshots that cannot be written. Each run is the
// real executable in a run folder of its own, driven by an input script.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "support/GameProcess.h"

namespace {

namespace fs = std::filesystem;

class StartupEndToEndTest : public testing::Test, protected GameRunFolder {
protected:
    void SetUp() override { ASSERT_TRUE(fs::exists(exe)) << exe; }

    // Starts the game in folder with script, waits for its end and keeps its stderr.
    int Run(const std::string& folder, const std::string& script, std::vector<std::string> extraEnv = {})
    {
        EXPECT_TRUE(temp.Write("game.script", script));
        std::vector<std::string> env = Env("game.script");
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        GameProcess game(exe, folder, env, temp / "game.err");
        EXPECT_TRUE(game.Started());
        const int code = game.Wait(std::chrono::seconds(120));
        errors = temp.Read("game.err");
        return code;
    }

    std::string errors;
};

// Start, Enter until the title menu is up, a screenshot, the close box.
std::string ShotOfTheTitleScript()
{
    std::string script = "300 button 1\n";
    for (int t = 1000; t <= 12000; t += 1000) script += std::to_string(t) + " key Enter\n";
    return script + "15000 key VK_SNAPSHOT\n17000 close\n";
}

// How many distinct colours a screenshot holds (every fourth pixel each way).
size_t ColourCount(const std::string& path)
{
    std::string bytes;
    plat::Image image;
    if (!plat::ReadWholeFile(path.c_str(), bytes) || !plat::DecodeImage(bytes.data(), bytes.size(), &image))
        return 0;
    std::vector<u32> colours;
    for (u32 y = 0; y < image.height; y += 4)
        for (u32 x = 0; x < image.width; x += 4) {
            u32 p = 0;
            std::memcpy(&p, image.surfaces[0].data() + (size_t(y) * image.width + x) * 4, 4);
            colours.push_back(p & 0xFFFFFF);
        }
    std::sort(colours.begin(), colours.end());
    return size_t(std::unique(colours.begin(), colours.end()) - colours.begin());
}

TEST_F(StartupEndToEndTest, WithoutADisplaySaysHowToRunAndFails)
{
    const int code = Run(run, "300 button 1\n", {"-SDL_VIDEODRIVER", "-DISPLAY", "-WAYLAND_DISPLAY"});
    EXPECT_NE(code, 0);
    EXPECT_NE(code, -1) << "it ends by itself rather than waiting for ever";
    EXPECT_NE(errors.find("No display found"), std::string::npos) << errors;
    EXPECT_NE(errors.find("SDL_VIDEODRIVER=offscreen"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(run + "/Config.ini"));
}

TEST_F(StartupEndToEndTest, StartedFromAnotherFolderKeepsDataSettingsAndShotsBesideTheExecutable)
{
    const std::string elsewhere = temp / "elsewhere";
    fs::create_directory(elsewhere);
    ASSERT_EQ(Run(elsewhere, ShotOfTheTitleScript()), 0) << errors;
    EXPECT_TRUE(fs::exists(run + "/Config.ini"));
    EXPECT_FALSE(fs::exists(elsewhere + "/Config.ini"));
    EXPECT_FALSE(fs::exists(elsewhere + "/ScreenShot"));
    // The earth, the logo and the stars: a title without its pictures has
    // only a handful of colours.
    EXPECT_GT(ColourCount(run + "/ScreenShot/Shot000.png"), 200u);
}

TEST_F(StartupEndToEndTest, SettingsAndScreenshotsThatCannotBeWrittenAreReported)
{
    // Folders where the files should go (root ignores a read-only folder's
    // mode, a folder in a file's place stops everyone).
    fs::create_directory(run + "/Config.ini");
    ASSERT_TRUE(temp.Write("run/ScreenShot", "not a folder"));
    ASSERT_EQ(Run(run, ShotOfTheTitleScript()), 0) << errors;
    EXPECT_NE(errors.find("The screenshot could not be written"), std::string::npos) << errors;
}

}  // namespace
