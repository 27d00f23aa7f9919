// The real game from a run folder of its own, driven by an input script:
// from the title into the hangar, shadows on and off, another robot chosen,
// painted, fitted with a part (a part it already carries refused), the
// owned parts sorted and one destroyed, and back to the title. The
// screenshots (every list among them) are checked by their pixels, the
// saved inventory field by field.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "app/player/PartInventory.h"
#include "platform/gfx/Image.h"
#include "support/PlayFolder.h"

namespace {

u32 Bright(u32 p) { return ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3; }

// Pixels of a menu row that stand out from its panel (text and its
// shadow), the panel's colour taken at the row's right end.
u32 TextPixels(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
{
    const int panel = int(PixelAt(image, right, (top + bottom) / 2) >> 8 & 0xFF);
    return CountPixels(image, left, top, right, bottom, [panel](u32 p) {
        const int g = int(p >> 8 & 0xFF);
        return g > panel + 40 || g < panel - 40;
    });
}

u32 RedPixels(const plat::Image& image, u32 left, u32 top, u32 right, u32 bottom)
{
    return CountPixels(image, left, top, right, bottom, [](u32 p) {
        const u32 r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
        return r > 60 && r > 2 * g && r > 2 * b;
    });
}

void Part(PartInventory& inventory, const char* name)
{
    if (CGameItem_PowerUp* part = inventory.AddNewPart()) part->SetText(name, "射击攻击力 +5%");
}

TEST(HangarVisitTest, PaintEquipDestroyAndSortAreSavedOnLeaving)
{
    PlayFolder play("", "Shadow=2\n");
    // Parts 1 Beta, 2 Alpha, 3 Gamma. Robot 4 (listed second) owns colour
    // sets 0, 2 and 5 and carries Gamma in slot 5; Beta is fitted to robot 7
    // and to robot 50, which the player does not have.
    PartInventory before;
    before.Reset();
    Part(before, "Beta");
    Part(before, "Alpha");
    Part(before, "Gamma");
    RobotRecord& shown = before.robots[4];
    shown.colourOwned[2] = shown.colourOwned[5] = 1;
    shown.partIds[5] = 3;
    before.robots[7].partIds[1] = 1;
    before.robots[50].partIds[0] = 1;
    const std::vector<u8> image = before.WriteImage(0x1234567u);
    std::filesystem::create_directories(play.temp / "data/Tervalis");
    ASSERT_TRUE(play.temp.Write("data/Tervalis/vant-D", std::string(image.begin(), image.end())));

    // The title: its logo runs out by itself; one START on "press start",
    // then down to the hangar. Every later step waits long enough for the
    // menu it talks to to have opened (13 frames at most 16 ms of script
    // time each).
    std::string s = "300 button 1\n10000 key Enter\n";
    for (int t = 12000; t <= 14400; t += 600) s += ScriptStep(t, "key Down");
    s += ScriptStep(15000, "key Enter");
    s += "26000 key VK_SNAPSHOT\n26100 key F5\n26400 key VK_SNAPSHOT\n";               // 0 shadows, 1 none
    s += "27500 key Enter\n29000 key Down\n30000 key VK_SNAPSHOT\n30500 key Enter\n";  // 2 robot menu
    s += "32000 key Down\n33000 key Enter\n34500 key VK_SNAPSHOT\n";                   // 3 paint menu
    s += "35000 key Down\n36000 key Enter\n37500 key VK_SNAPSHOT\n38000 key Escape\n"; // 4 painted
    s += "39500 key Down\n40500 key Enter\n41800 key VK_SNAPSHOT\n";                  // 5 equip list
    s += "42000 key Enter\n43300 key VK_SNAPSHOT\n";                                  // 6 slot 0's parts
    s += "43500 key Down\n44000 key Down\n44500 key Down\n45500 key Enter\n";          // Gamma refused
    s += "46500 key Up\n47500 key Enter\n49500 key Escape\n";                          // Alpha fitted
    s += "51000 key Down\n52000 key Enter\n53300 key VK_SNAPSHOT\n";                  // 7 owned parts
    s += "53500 key Down\n54500 key Enter\n55800 key VK_SNAPSHOT\n";                  // 8 Beta's item menu
    s += "56500 key Enter\n58500 key Down\n59500 key 0x2E\n60500 key VK_SNAPSHOT\n";   // 9 sorted, Beta gone
    s += "61500 key Escape\n63500 key Escape\n66000 close\n";
    ASSERT_TRUE(play.temp.Write("play.script", s));
    GameProcess game(play.exe, play.run, play.Env({"QUILLON_TEST_HANGAR_SHOT=1"}), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(400)), 0) << play.temp.Read("play.err");

    plat::Image lit, unlit, robots, paint, painted, equip, choice, parts, itemMenu, owned;
    ASSERT_TRUE(play.Shot(0, lit)) << play.temp.Read("play.err");
    ASSERT_TRUE(play.Shot(1, unlit));
    ASSERT_TRUE(play.Shot(2, robots));
    ASSERT_TRUE(play.Shot(3, paint));
    ASSERT_TRUE(play.Shot(4, painted));
    ASSERT_TRUE(play.Shot(5, equip));
    ASSERT_TRUE(play.Shot(6, choice));
    ASSERT_TRUE(play.Shot(7, parts));
    ASSERT_TRUE(play.Shot(8, itemMenu));
    ASSERT_TRUE(play.Shot(9, owned));
    for (auto [n, name] : {std::pair{0, "hangar_shadow"}, {1, "hangar_noshadow"}, {2, "hangar_robots"}, {3, "hangar_paint"}, {4, "hangar_painted"},
                           {5, "hangar_equip"}, {6, "hangar_choice"}, {7, "hangar_owned"}, {8, "hangar_item_menu"}, {9, "hangar_parts"}}) {
        char shot[32];
        std::snprintf(shot, sizeof shot, "/ScreenShot/Shot%03d.png", n);
        std::filesystem::copy_file(play.run + shot, std::string(name) + ".png",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // Shadows: with them switched off the floor beside the robot lights up.
    // The camera drifts a few pixels between the two shots, so a pixel
    // counts only against every pixel near it in the other shot. Only the
    // floor round the robot is looked at: the far walls' fog is not drawn
    // alike by the two pipelines.
    const auto near = [&](u32 x, u32 y, bool brightest) {
        u32 v = brightest ? 0 : 255;
        for (u32 yy = y - 8; yy <= y + 8; ++yy)
            for (u32 xx = x - 8; xx <= x + 8; ++xx) {
                const u32 b = Bright(PixelAt(lit, xx, yy));
                v = brightest ? std::max(v, b) : std::min(v, b);
            }
        return int(v);
    };
    u32 lighter = 0, darker = 0;
    for (u32 y = 450; y < 760; y += 4)
        for (u32 x = 360; x < 1016; x += 4) {
            const int b = int(Bright(PixelAt(unlit, x, y)));
            lighter += b > near(x, y, true) + 20 ? 1 : 0;
            darker += b < near(x, y, false) - 20 ? 1 : 0;
        }
    EXPECT_GT(lighter, 100u);
    EXPECT_GT(lighter, 5 * darker) << "lighter " << lighter << " darker " << darker;

    // The robot menu lists the six robots the player has, one name a row,
    // its panel dark over the hall, so the light names read; and opaque over
    // the top menu it opened from: below the rows it is one flat colour,
    // nothing of the labels or the hall beneath.
    for (u32 row = 0; row < 6; ++row) EXPECT_GT(TextPixels(robots, 155, 105 + row * 34, 400, 129 + row * 34), 20u);
    EXPECT_LT(Brightness(robots, 450, 110, 740, 300), 110.0);
    EXPECT_EQ(Colours(robots, 152, 305, 740, 445), 1u);
    // The paint menu: rows of the owned sets 0, 2 and 5 and "back", gaps
    // for the others, as flat as the robot list's; choosing set 2 paints
    // the robot red.
    EXPECT_EQ(Colours(paint, 152, 245, 445, 330), 1u);
    for (u32 row = 0; row < 10; ++row) {
        const u32 text = TextPixels(paint, 165, 139 + row * 39, 330, 163 + row * 39);
        if (row == 0 || row == 2 || row == 5)
            EXPECT_GT(text, 20u) << "row " << row;
        else
            EXPECT_EQ(text, 0u) << "row " << row;
    }
    EXPECT_GT(TextPixels(paint, 165, 529, 330, 553), 20u);
    EXPECT_GT(RedPixels(painted, 450, 0, 1024, 768), RedPixels(paint, 450, 0, 1024, 768) + 2000);
    // The owned parts: back, Alpha, Gamma (that nothing more is left the
    // saved file tells below: the robot may stand behind the empty rows).
    for (u32 row = 0; row < 3; ++row) EXPECT_GT(TextPixels(owned, 155, 105 + row * 39, 440, 129 + row * 39), 20u);

    // The equipment list, the part choice over it, the owned parts and the
    // item menu over them: each as flat as the robot list beside and below
    // its rows, nothing of the menus beneath nor of the hall; the dimmed
    // list waiting for its choice too, where the top menu's labels lie.
    EXPECT_EQ(Colours(equip, 305, 104, 445, 336), 1u);
    EXPECT_EQ(Colours(choice, 255, 304, 545, 540), 1u);
    EXPECT_EQ(Colours(choice, 152, 322, 248, 338), 1u);
    EXPECT_EQ(Colours(parts, 155, 260, 445, 490), 1u);
    EXPECT_EQ(Colours(itemMenu, 318, 141, 368, 257), 1u);
    // The counters under the lists, right-aligned: on the first row it
    // reads "(0/3)", as wide as the last shot's "(2/2)".
    const auto counterWidth = [](const plat::Image& shot, u32 right, u32 top) {
        for (u32 x = right - 150; x < right; ++x)
            for (u32 y = top; y < top + 24; ++y)
                if (Bright(PixelAt(shot, x, y)) > 180) return right - x;
        return 0u;
    };
    const u32 width = counterWidth(owned, 445, 500);
    EXPECT_GT(width, 20u);
    EXPECT_NEAR(double(counterWidth(choice, 545, 550)), double(width), 3.0);
    EXPECT_NEAR(double(counterWidth(parts, 445, 500)), double(width), 3.0);

    // The file holds exactly what was done: robot 4 in set 2 with Alpha in
    // slot 0, Beta gone from the list and from every robot, in use or not,
    // the list sorted by name.
    PartInventory expected;
    expected.Reset();
    const std::string saved = play.temp.Read("data/Tervalis/vant-D");
    ASSERT_TRUE(expected.ReadImage(before.WriteImage(1).data(), u32(image.size())));
    expected.robots[4].chosenColour = 2;
    expected.robots[4].partIds[0] = 2;
    expected.robots[7].partIds[1] = 0;
    expected.robots[50].partIds[0] = 0;
    PartInventory after;
    ASSERT_TRUE(after.ReadImage(reinterpret_cast<const u8*>(saved.data()), u32(saved.size())));
    for (u32 r = 0; r < RobotRecordCount; ++r) {
        const RobotRecord &a = after.robots[r], &e = expected.robots[r];
        EXPECT_EQ(a.available, e.available) << r;
        EXPECT_EQ(a.chosenColour, e.chosenColour) << r;
        for (int k = 0; k < 10; ++k) {
            EXPECT_EQ(a.colourOwned[k], e.colourOwned[k]) << r;
            EXPECT_EQ(a.partIds[k], e.partIds[k]) << r << " slot " << k;
        }
    }
    ASSERT_EQ(after.parts.size(), 3u);
    EXPECT_EQ(after.parts[0]->partId, 0u);
    EXPECT_STREQ(after.parts[1]->name, "Alpha");
    EXPECT_EQ(after.parts[1]->partId, 2u);
    EXPECT_STREQ(after.parts[2]->name, "Gamma");
}

}  // namespace
