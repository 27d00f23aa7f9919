// The real game, started as a user would from a run folder of its own (the
// sample data linked in), driven by an input script under the offscreen
// video driver: the settings dialog, the title and its menu, a screenshot
// with the game's key, the close box; a second copy refused meanwhile; the
// registry values set for the run and restored after it.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/core/Startup.h"
#include "platform/gfx/Image.h"
#include "platform/core/Registry.h"
#include "support/FontFolder.h"
#include "support/GameProcess.h"

namespace {

namespace fs = std::filesystem;

class TitleEndToEndTest : public testing::Test, protected GameRunFolder {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(exe)) << exe;
        // The arrow keys move pad 0 as the shipped key configuration has them.
        ASSERT_TRUE(temp.Write("run/Config.ini",
                               "[Window]\nw=1024\nh=768\nFullScreen=0\n[GameSetting]\nVolumeBGM=80\nVolumeSE=80\n"
                               "VolumeVOICE=80\nKEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\n"));
    }

    // The two Direct3D values as the game left them (-1 when missing).
    std::pair<i64, i64> RegistryValues() const
    {
        ScopedRegistryFile file(temp / "registry.ini");
        plat::RegistryKey key;
        u32 a = 0, b = 0;
        if (!key.Open("software\\Microsoft\\Direct3D")) return {-1, -1};
        const i64 first = key.QueryDword("DisablePSGP", a) ? i64(a) : -1;
        const i64 second = key.QueryDword("DisableD3DXPSGP", b) ? i64(b) : -1;
        return {first, second};
    }
};

// Pixels of the screenshot, 0xAARRGGBB.
bool ReadShot(const std::string& path, plat::Image& image)
{
    std::string bytes;
    if (!plat::ReadWholeFile(path.c_str(), bytes)) return false;
    return plat::DecodeImage(bytes.data(), bytes.size(), &image);
}

// Whether some process holds the lock on `path`, asked of the kernel's lock
// table: taking the lock to find out could make the game refuse itself.
bool LockHeld(const std::string& path)
{
    std::error_code error;
    if (!fs::exists(path, error)) return false;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    for (std::string line; std::getline(locks, line);)
        if (line.find("FLOCK") != std::string::npos && line.find(inode) != std::string::npos) return true;
    return false;
}

u32 PixelAt(const plat::Image& image, u32 x, u32 y)
{
    u32 p = 0;
    std::memcpy(&p, image.surfaces[0].data() + (size_t(y) * image.width + x) * 4, 4);
    return p;
}

// The first and last rows of the screenshot where the chosen menu entry's
// green shows (first > last: nowhere).
std::pair<u32, u32> GreenRows(const plat::Image& shot)
{
    u32 greenTop = shot.height, greenBottom = 0;
    for (u32 y = 0; y < shot.height; ++y)
        for (u32 x = 0; x < 600; ++x) {
            const u32 p = PixelAt(shot, x, y);
            const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
            if (std::abs(r - 82) < 6 && std::abs(g - 178) < 6 && std::abs(b - 61) < 6) {
                greenTop = std::min(greenTop, y);
                greenBottom = std::max(greenBottom, y);
            }
        }
    return {greenTop, greenBottom};
}

// One Enter skips the logo, one more (once the press-start screen is surely
// up) opens the menu: more would choose its first entry. Then down, down,
// up: the cursor ends on the second entry.
const char* const kMenuScript =
    "300 button 1\n2500 key Enter\n8000 key Enter\n24000 key Down\n25000 key Down\n26000 key Up\n"
    "28000 key VK_SNAPSHOT\n30000 close\n";

TEST_F(TitleEndToEndTest, MenuReachedAndShotThenClosedWithRegistryRestored)
{
    ASSERT_TRUE(temp.Write("title.script", kMenuScript));

    GameProcess game(exe, run, Env("title.script"), temp / "first.err");
    ASSERT_TRUE(game.Started());

    // A second copy while the first runs: refused with its message, and the
    // values the first one set stay as they are. Scripted time runs as fast as
    // the game can go, so the copy starts as soon as the first holds its lock.
    const std::string lock = temp / (std::string(SingleInstanceName) + ".lock");
    for (int i = 0; i < 30000 && !LockHeld(lock) && game.Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(game.Running()) << temp.Read("first.err");
    {
        GameProcess second(exe, run, Env("title.script"), temp / "second.err");
        ASSERT_TRUE(second.Started());
        EXPECT_EQ(second.Wait(std::chrono::seconds(300)), 1) << "a refused copy ends with a failure status";
    }
    EXPECT_NE(temp.Read("second.err").find("ゲームは既に起動しています。"), std::string::npos)
        << temp.Read("second.err");
    EXPECT_EQ(RegistryValues(), (std::pair<i64, i64>{1, 1}));
    EXPECT_TRUE(game.Running());

    ASSERT_EQ(game.Wait(std::chrono::seconds(300)), 0) << temp.Read("first.err");
    EXPECT_EQ(RegistryValues(), (std::pair<i64, i64>{0, 0}));

    plat::Image shot;
    ASSERT_TRUE(ReadShot(run + "/ScreenShot/Shot000.png", shot));
    ASSERT_EQ(shot.width, 1024u);
    ASSERT_EQ(shot.height, 768u);
    EXPECT_FALSE(fs::exists(run + "/ScreenShot/Shot001.png"));
    // Not a blank or uniform frame: the earth, the stars and the menu.
    std::vector<u32> colours;
    for (u32 y = 0; y < shot.height; y += 4)
        for (u32 x = 0; x < shot.width; x += 4) colours.push_back(PixelAt(shot, x, y) & 0xFFFFFF);
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    EXPECT_GT(colours.size(), 200u);
    // The chosen entry is drawn in its green, on the second row of the menu.
    const auto [greenTop, greenBottom] = GreenRows(shot);
    EXPECT_GE(greenTop, 150u);
    EXPECT_LE(greenBottom, 240u);
}

// The installed Noto Sans CJK face gone to junk since the system last
// scanned its fonts: the menu's text is drawn with the next installed face
// that has its characters, and stderr names the junk file and that face.
TEST_F(TitleEndToEndTest, MenuTextShowsWhenTheCjkFontIsJunk)
{
    FontFolder fonts;
    fonts.Link("NotoSansCJK-Regular.ttc", kNotoSans);
    fonts.Link("NotoSerifCJK-Regular.ttc", kNotoSerif);
    fonts.Scan();
    fonts.Junk("NotoSansCJK-Regular.ttc");
    ASSERT_TRUE(temp.Write("junkfont.script", kMenuScript));
    std::vector<std::string> env = Env("junkfont.script");
    env.push_back(fonts.EnvEntry());
    GameProcess game(exe, run, env, temp / "junkfont.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(300)), 0) << temp.Read("junkfont.err");
    const std::string said = temp.Read("junkfont.err");
    EXPECT_NE(said.find(fonts.fonts + "/NotoSansCJK-Regular.ttc"), std::string::npos) << said;
    EXPECT_NE(said.find("drawn with Noto Serif CJK SC"), std::string::npos) << said;

    plat::Image shot;
    ASSERT_TRUE(ReadShot(run + "/ScreenShot/Shot000.png", shot));
    const auto [greenTop, greenBottom] = GreenRows(shot);
    EXPECT_GE(greenTop, 150u) << "the chosen entry's text shows";
    EXPECT_LE(greenBottom, 240u);
    EXPECT_GT(greenBottom, greenTop + 10) << "the chosen entry's text shows";
}

TEST_F(TitleEndToEndTest, CancelledSettingsDialogEndsWithRegistryRestored)
{
    ASSERT_TRUE(temp.Write("cancel.script", "300 button 2\n"));
    GameProcess game(exe, run, Env("cancel.script"), temp / "cancel.err");
    ASSERT_TRUE(game.Started());
    EXPECT_EQ(game.Wait(std::chrono::seconds(300)), 0) << temp.Read("cancel.err");
    EXPECT_EQ(RegistryValues(), (std::pair<i64, i64>{0, 0}));
    EXPECT_FALSE(fs::exists(run + "/ScreenShot"));
}

}  // namespace
