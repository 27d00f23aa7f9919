// The real game from a run folder of its own, killed the moment after the
// player changed something: a robot painted and fitted with a part in the
// hangar, or the arcade's clear reward given. The game shows it got there
// by a screenshot the script takes right after; the test waits for that
// file, kills the game with SIGKILL while it still stands on that screen,
// and reads the part inventory the kill left: whole, and holding the change.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/player/PartInventory.h"
#include "support/PlayFolder.h"

namespace {

// Waits for the run's first screenshot, while the game runs, up to five
// minutes of a loaded machine; false when the game ended or never took it.
bool FirstShotTaken(const PlayFolder& play, GameProcess& game)
{
    const std::string shot = play.run + "/ScreenShot/Shot000.png";
    for (int i = 0; i < 3000; ++i) {
        // Written whole under another name and renamed: once there, complete.
        if (std::filesystem::exists(shot)) return true;
        if (!game.Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Plays `script` to its first screenshot and kills the game (SIGKILL) while
// it still stands there; the shot is kept as `shotName`.
void KillAtFirstShot(const PlayFolder& play, const std::string& script, const std::vector<std::string>& env,
                     const char* leftBeforeKill, const char* shotName)
{
    ASSERT_TRUE(play.temp.Write("play.script", script));
    std::optional<GameProcess> game(std::in_place, play.exe, play.run, play.Env(env), play.temp / "play.err");
    ASSERT_TRUE(game->Started());
    ASSERT_TRUE(FirstShotTaken(play, *game)) << play.temp.Read("play.err");
    ASSERT_TRUE(game->Running()) << leftBeforeKill;
    game.reset();
    plat::Image shot;
    EXPECT_TRUE(play.Shot(0, shot, shotName));
}

// The inventory file as the kill left it; false when it is not a whole one.
bool ReadInventory(const PlayFolder& play, PartInventory& inventory)
{
    const std::string bytes = play.temp.Read("data/Tervalis/vant-D");
    return inventory.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size())) == 1;
}

// In the hangar the robot shown first (robot 0, which owns colour set 3 as
// well) is painted in set 3 and fitted with part 1 in slot 0; the list
// closes, a screenshot is taken, and the game is killed there.
TEST(KeptThroughAKillEndToEnd, HangarChangesAreOnDiskWhenTheGameIsKilledRightAfterThem)
{
    PlayFolder play;
    PartInventory before;
    before.Reset();
    for (const char* name : {"Armour", "Booster"})
        if (CGameItem_PowerUp* part = before.AddNewPart()) part->SetText(name, "光束防御力 +5%");
    before.robots[0].colourOwned[3] = 1;
    const std::vector<u8> image = before.WriteImage(0x2468ACEu);
    std::filesystem::create_directories(play.temp / "data/Tervalis");
    ASSERT_TRUE(play.temp.Write("data/Tervalis/vant-D", std::string(image.begin(), image.end())));

    // The title, down to the hangar; then paint, equip, and the shot. Each
    // step leaves the menu it talks to time to open.
    std::string s = "300 button 1\n10000 key Enter\n";
    for (int t = 12000; t <= 14400; t += 600) s += ScriptStep(t, "key Down");
    s += ScriptStep(15000, "key Enter");
    s += "26000 key Down\n27000 key Enter\n"                 // the paint menu
         "28500 key Down\n29500 key Enter\n31000 key Escape\n"  // set 3 chosen
         "32500 key Down\n33500 key Enter\n"                 // the equipment list
         "35000 key Enter\n"                                 // slot 0's parts
         "36500 key Down\n37500 key Enter\n"                 // "Armour" fitted
         "39000 key VK_SNAPSHOT\n";
    ASSERT_NO_FATAL_FAILURE(
        KillAtFirstShot(play, s, {}, "the game left the hangar before the kill", "kill_hangar_after_fit"));
    PartInventory after;
    ASSERT_TRUE(ReadInventory(play, after)) << "the file the kill left is not whole";
    EXPECT_EQ(after.robots[0].chosenColour, 3u) << "the paint was lost";
    EXPECT_EQ(after.robots[0].partIds[0], 1) << "the part fitted was lost";
    ASSERT_EQ(after.parts.size(), 3u);
    EXPECT_STREQ(after.parts[1]->name, "Armour");
    for (u32 r = 1; r < RobotRecordCount; ++r) EXPECT_EQ(after.robots[r].available, before.robots[r].available) << r;
}

// The scripted two-stage story on Easy, each battle decided for the player
// half a second in; at GAME CLEAR, the moment the reward is given, a
// screenshot, and the game is killed there: the two reward parts, the
// cleared stage of the robot played and the robot it unlocked are on disk.
TEST(KeptThroughAKillEndToEnd, ArcadeRewardPartsAreOnDiskWhenTheGameIsKilledAtGameClear)
{
    PlayFolder play;
    const std::string script = "300 button 1\n2500 key Enter\n8000 key Enter\n"  // the title's menu
                               "10000 key Enter\n17000 key Enter\n"                // the arcade; one player
                               "20500 key Enter\n21000 wait scene select\n"        // Easy; the selection
                               "25000 key Enter\n27500 key Enter\n"                // a robot, a pilot
                               "28000 wait arcade clear\n29000 key VK_SNAPSHOT\n";
    ASSERT_NO_FATAL_FAILURE(KillAtFirstShot(play, script, {"QUILLON_TEST_STORY=5", "QUILLON_TEST_DECIDE_STAGES=0"},
                                            "the game left GAME CLEAR before the kill", "kill_arcade_game_clear"));
    PartInventory fresh, after;
    fresh.Reset();
    ASSERT_TRUE(ReadInventory(play, after)) << "the file the kill left is not whole";
    EXPECT_GE(after.parts.size(), fresh.parts.size() + 2) << "the reward parts were lost";
    int cleared = 0, unlocked = 0;
    for (u8 flag : after.stageFlags) cleared += flag;
    for (u32 r = 0; r < RobotRecordCount; ++r) unlocked += after.robots[r].available > fresh.robots[r].available;
    EXPECT_EQ(cleared, 1) << "the cleared stage was lost";
    EXPECT_EQ(unlocked, 1) << "the robot unlocked was lost";
}

}  // namespace
