// The real game on a newcomer's first starts: no display, another current
// folder, settings and screenshots that cannot be written. Each run is the
// real executable in a run folder of its own, driven by an input script.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/IniFile.h"
#include "platform/gfx/Image.h"
#include "app/core/Config.h"
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
        const int code = game.Wait(std::chrono::seconds(300));
        errors = temp.Read("game.err");
        return code;
    }

    std::string errors;
};

// Start, the logo skipped and the menu opened (one Enter each), a screenshot, the close box.
std::string ShotOfTheTitleScript()
{
    std::string script = "300 button 1\n2500 key Enter\n8000 key Enter\n";
    return script + "15000 key VK_SNAPSHOT\n17000 close\n";
}

// The key config opened from the settings, a screenshot of it, OK; then
// start, the logo skipped and the menu opened, down, down, up (the cursor
// ends on the second entry), a screenshot, the close box.
std::string KeysThenMenuMovedByArrowsScript()
{
    std::string script = "300 button 7\n1000 key VK_SNAPSHOT\n1800 button 1\n";
    script += "2300 button 1\n4500 key Enter\n10000 key Enter\n";
    return script + "16000 key Down\n17000 key Down\n18000 key Up\n19500 key VK_SNAPSHOT\n21000 close\n";
}

bool ReadShot(const std::string& path, plat::Image& image)
{
    std::string bytes;
    return plat::ReadWholeFile(path.c_str(), bytes) && plat::DecodeImage(bytes.data(), bytes.size(), &image);
}

// The dark glyphs of a line of dialog text inside a box, left to right, each
// as its columns of '#' and '.' from the box's first row with text.
std::vector<std::string> DarkGlyphs(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
{
    auto dark = [&](u32 x, u32 y) {
        u32 p = 0;
        std::memcpy(&p, image.surfaces[0].data() + (size_t(y) * image.width + x) * 4, 4);
        return (p >> 16 & 0xFF) < 110 && (p >> 8 & 0xFF) < 110 && (p & 0xFF) < 110;
    };
    u32 first = bottom;
    for (u32 y = top; y < bottom && first == bottom; ++y)
        for (u32 x = left; x < right; ++x)
            if (dark(x, y)) first = y;
    std::vector<std::string> glyphs;
    std::string glyph;
    for (u32 x = left; x < right; ++x) {
        std::string column;
        for (u32 y = first; y < bottom; ++y) column += dark(x, y) ? '#' : '.';
        if (column.find('#') != std::string::npos) {
            glyph += column + "|";
        } else if (!glyph.empty()) {
            glyphs.push_back(glyph);
            glyph.clear();
        }
    }
    if (!glyph.empty()) glyphs.push_back(glyph);
    return glyphs;
}

// The rows the chosen menu entry's green covers, {top, bottom}.
std::pair<u32, u32> ChosenEntryRows(const std::string& path)
{
    plat::Image image;
    if (!ReadShot(path, image)) return {0, 0};
    u32 top = image.height, bottom = 0;
    for (u32 y = 0; y < image.height; ++y)
        for (u32 x = 0; x < 600 && x < image.width; ++x) {
            u32 p = 0;
            std::memcpy(&p, image.surfaces[0].data() + (size_t(y) * image.width + x) * 4, 4);
            const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
            if (std::abs(r - 82) < 6 && std::abs(g - 178) < 6 && std::abs(b - 61) < 6) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    return {top, bottom};
}

// How many distinct colours a screenshot holds (every fourth pixel each way).
size_t ColourCount(const std::string& path)
{
    plat::Image image;
    if (!ReadShot(path, image)) return 0;
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
    EXPECT_NE(errors.find("The settings could not be saved"), std::string::npos) << errors;
}

TEST_F(StartupEndToEndTest, MissingOrGarbageSettingsStillGiveASoundingTitleTheArrowsMove)
{
    std::string garbage = "\x89PNG\r\n";
    for (int i = 0; i < 300; ++i) garbage += char(i * 37 % 256);
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "garbage" : "missing");
        fs::remove_all(run + "/ScreenShot");
        fs::remove(run + "/Config.ini");
        fs::remove(run + "/Config.ini.bad");
        if (damaged) {
            ASSERT_TRUE(temp.Write("run/Config.ini", garbage));
        }

        ASSERT_EQ(Run(run, KeysThenMenuMovedByArrowsScript()), 0) << errors;
        EXPECT_NE(errors.find("volumes BGM 80 SE 80 VOICE 80"), std::string::npos) << errors;
        const std::string config = run + "/Config.ini";
        std::string bytes;
        ASSERT_TRUE(plat::ReadWholeFile(config.c_str(), bytes));
        EXPECT_FALSE(ConfigIsDamaged(bytes)) << bytes;
        for (const char* key : {"VolumeBGM", "VolumeSE", "VolumeVOICE"})
            EXPECT_EQ(ReadIniInt(config.c_str(), "GameSetting", key), 80) << key;
        EXPECT_EQ(ReadIniInt(config.c_str(), "GameSetting", "KEY_下"), 40);
        EXPECT_EQ(ReadIniInt(config.c_str(), "GameSetting", "JOY_START"), 9);
        EXPECT_EQ(ReadIniInt(config.c_str(), "GameSetting", "MaxFrameSkip"), DefaultMaxFrameSkip);
        EXPECT_EQ(temp.Read("run/Config.ini.bad"), damaged ? garbage : "") << "the damaged bytes are kept";

        // The key config as the player sees it: pad buttons counted from 1
        // (jump's "1" is the first glyph of CANCEL's "10"), keys by name (jump's
        // "Z" is one glyph, not the two of its number 90).
        plat::Image keys;
        ASSERT_TRUE(ReadShot(run + "/ScreenShot/Shot000.png", keys));
        std::error_code ignored;
        fs::copy_file(run + "/ScreenShot/Shot000.png", std::string("e2e_key_config_") + (damaged ? "garbage" : "missing") + ".png",
                      fs::copy_options::overwrite_existing, ignored);
        ASSERT_EQ(keys.width, 720u);
        const std::vector<std::string> jumpPad = DarkGlyphs(keys, 244, 77, 470, 101);
        const std::vector<std::string> cancelPad = DarkGlyphs(keys, 244, 327, 470, 351);
        const std::vector<std::string> jumpKey = DarkGlyphs(keys, 478, 77, 710, 101);
        ASSERT_EQ(jumpPad.size(), 1u);
        ASSERT_EQ(cancelPad.size(), 2u);
        EXPECT_EQ(jumpPad[0], cancelPad[0]);
        EXPECT_EQ(jumpKey.size(), 1u);

        const auto [top, bottom] = ChosenEntryRows(run + "/ScreenShot/Shot001.png");
        EXPECT_GE(top, 150u) << "the cursor left the first entry";
        EXPECT_LE(bottom, 240u) << "and stopped on the second";
    }
}

}  // namespace
