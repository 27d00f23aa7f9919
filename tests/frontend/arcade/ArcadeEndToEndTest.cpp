// The real game from a run folder of its own under the offscreen driver:
// an arcade story from the title (players, difficulty, the nested selection,
// the stage screen with its light streaks, the battle, a loss and its
// continue, GAME CLEAR, the name entry, the ranking, the new robot and the
// title, with the score and the reward on disk; then a second run lost and
// given up, to its name entry), and the score scene
// turning through its tables and back to the title. Each screenshot is
// checked by its pixels and copied beside the run folder for a look.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/player/PartInventory.h"
#include "app/player/RankingTable.h"
#include "platform/gfx/Image.h"
#include "support/PlayFolder.h"

namespace {

// Copies screenshot n of the run to <name>.png in the test program's folder.
void Keep(const PlayFolder& play, int n, const char* name)
{
    char shot[64];
    std::snprintf(shot, sizeof shot, "/ScreenShot/Shot%03d.png", n);
    std::error_code error;
    std::filesystem::copy_file(play.run + shot, std::string(name) + ".png",
                               std::filesystem::copy_options::overwrite_existing, error);
}

// The first of count shots from first that passes test, kept as <keep>.png.
template <class Test>
bool FirstShot(const PlayFolder& play, int first, int count, plat::Image& image, const char* keep, Test test)
{
    for (int n = first; n < first + count; ++n)
        if (play.Shot(n, image) && test(image)) return play.Shot(n, image, keep);
    return false;
}

// The title's menu is open, its cursor on the arcade, from 9500 on: one
// Enter skips the logo, one opens the menu.
std::string ToTitleMenu() { return "300 button 1\n2500 key Enter\n8000 key Enter\n"; }

bool Pink(u32 p) { return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) < 90 && (p & 0xFF) > 70; }
bool White(u32 p) { return (p >> 16 & 0xFF) > 220 && (p >> 8 & 0xFF) > 220 && (p & 0xFF) > 220; }
// The blue streaks over the stage picture's dark ground.
bool Streak(u32 p) { return (p & 0xFF) > 120 && int(p & 0xFF) > int(p >> 16 & 0xFF) + 30; }

}  // namespace

// The scripted story: two stages, each decided by force half a second into
// its battle (every one worth 100000 points); the player falls in the first
// battle, continues, and wins both stages. A second run from the title falls
// in its first battle too and gives up.
TEST(ArcadeEndToEndTest, AStoryFromTheTitleThroughALossAndItsContinueToGameClearTheRankingAndTheNewRobot)
{
    PlayFolder play;
    std::string script = ToTitleMenu();
    // Each screen waits for its key; the waits leave room for a loaded machine.
    script += "10000 key Enter\n14000 key VK_SNAPSHOT\n"   // the arcade: one player or two
              "14500 key Down\n15500 key VK_SNAPSHOT\n"     // two players highlighted
              "16000 key Up\n17000 key Enter\n20000 key VK_SNAPSHOT\n"  // one player; the difficulty
              "20500 key Enter\n"                                     // Easy, into the selection
              "21000 wait scene select\n"                             // which loads in its own time
              "25000 key Enter\n27500 key Enter\n"                   // a robot, a pilot
              // The stage screen stays about four seconds, the battle loads
              // and is decided in frames of its own: a few shots of each,
              // the first that shows it is checked.
              "28000 wait arcade stage\n"                             // after what the way there loads
              "29000 key VK_SNAPSHOT\n30000 key VK_SNAPSHOT\n31000 key VK_SNAPSHOT\n"       // 3-5
              "36000 key VK_SNAPSHOT\n38000 key VK_SNAPSHOT\n41000 key VK_SNAPSHOT\n"       // 6-8
              "43000 key Enter\n44500 key VK_SNAPSHOT\n45500 key Enter\n"                   // 9: continue
              "46800 key VK_SNAPSHOT\n"                                                   // 10: black
              // The stage again, then its battle's opening: the screen
              // comes out of black (a few shots, the first in it is checked).
              "47500 wait arcade stage\n";
    for (int t = 53000; t <= 54500; t += 300) script += ScriptStep(t, "key VK_SNAPSHOT");  // 11-16
    // Two stages later GAME CLEAR waits for its key; then the name (one
    // letter down), the list, the new robot and the title.
    constexpr int kClear = 92000;
    for (int t = kClear - 12000; t <= kClear; t += 4000) script += ScriptStep(t, "key VK_SNAPSHOT");  // 17-20
    script += ScriptStep(kClear + 500, "key Enter") + ScriptStep(kClear + 1500, "key Down") +
              ScriptStep(kClear + 2500, "key VK_SNAPSHOT") + ScriptStep(kClear + 3000, "key Enter") +   // 21
              ScriptStep(kClear + 5000, "key VK_SNAPSHOT") + ScriptStep(kClear + 5500, "key Enter") +   // 22
              ScriptStep(kClear + 7000, "key VK_SNAPSHOT") + ScriptStep(kClear + 7500, "key Enter") +   // 23
              ScriptStep(kClear + 10000, "key VK_SNAPSHOT");                                             // 24
    // The second run: lost, 退出 at the prompt, the name entry.
    constexpr int kAgain = kClear + 13000;  // the arcade chosen again, as at 10000
    script += ScriptStep(kAgain - 2000, "wait title press") + ScriptStep(kAgain - 1500, "key Enter") +
              ScriptStep(kAgain - 1000, "wait title menu") + ScriptStep(kAgain, "key Enter") +
              ScriptStep(kAgain + 7000, "key Enter") + ScriptStep(kAgain + 10500, "key Enter") +
              ScriptStep(kAgain + 11000, "wait scene select") + ScriptStep(kAgain + 15000, "key Enter") +
              ScriptStep(kAgain + 17500, "key Enter") + ScriptStep(kAgain + 18000, "wait arcade stage") +
              ScriptStep(kAgain + 33000, "key Enter") + ScriptStep(kAgain + 34500, "key Right") +
              ScriptStep(kAgain + 35500, "key Enter") + ScriptStep(kAgain + 37500, "key VK_SNAPSHOT") +  // 25
              ScriptStep(kAgain + 38500, "close");
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run,
                     play.Env({"QUILLON_TEST_STORY=5", "QUILLON_TEST_DECIDE_STAGES=1", "QUILLON_TEST_OWN_BODIES=0"}),
                     play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(600)), 0) << play.temp.Read("play.err");

    plat::Image one, two, difficulty, stage, battle, lost, prompt, clear, name, list, robot, title;
    ASSERT_TRUE(play.Shot(0, one, "arcade_players")) << play.temp.Read("play.err");
    ASSERT_TRUE(play.Shot(1, two, "arcade_two_players"));
    ASSERT_TRUE(play.Shot(2, difficulty, "arcade_difficulty"));
    // The chosen option is full pink, the other dimmed: "1玩家" at y 150,
    // "2玩家" at y 534, then the other way round.
    EXPECT_GT(CountPixels(one, 400, 140, 624, 230, Pink), 300u);
    EXPECT_LT(CountPixels(one, 400, 524, 624, 614, Pink), 30u);
    EXPECT_LT(CountPixels(two, 400, 140, 624, 230, Pink), 30u);
    EXPECT_GT(CountPixels(two, 400, 524, 624, 614, Pink), 300u);
    // Difficulty: Easy (top) chosen, Normal and Hard dimmed.
    EXPECT_GT(CountPixels(difficulty, 400, 140, 624, 230, Pink), 300u);
    EXPECT_LT(CountPixels(difficulty, 400, 342, 624, 432, Pink), 30u);

    // The stage screen: the white title in the middle, streaks over the
    // dark chequered ground of the stage picture; in the battle that ground
    // is gone and the scene is lit; the lost picture is a red cross.
    auto middle = [](const plat::Image& i) { return CountPixels(i, 300, 340, 724, 430, White); };
    auto streaks = [](const plat::Image& i) { return CountPixels(i, 0, 470, 1024, 768, Streak); };
    auto ground = [](const plat::Image& i) {
        return CountPixels(i, 0, 470, 1024, 768, [](u32 p) {
            const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
            return r > 24 && r < 36 && g > 24 && g < 36 && b > 30 && b < 70;
        });
    };
    auto red = [](const plat::Image& i) {
        return CountPixels(i, 256, 192, 768, 576, [](u32 p) { return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) < 60; });
    };
    // GAME CLEAR: its words in the middle, the reward's lines below them.
    // Below the stage screen's pale horizon band too (down to y 445): a blue
    // streak crossing it turns it white.
    auto reward = [](const plat::Image& i) { return CountPixels(i, 362, 450, 1024, 640, White); };
    EXPECT_TRUE(FirstShot(play, 3, 3, stage, "arcade_stage", [&](const plat::Image& i) {
        return middle(i) > 200 && streaks(i) > 200 && ground(i) > 50000 && reward(i) < 20;
    })) << "no shot of the stage screen:" << [&] {
        // What each candidate showed, to tell a late screen from a dim one.
        std::string seen;
        for (int n = 3; n < 6; ++n)
            if (plat::Image i; play.Shot(n, i))
                seen += " shot " + std::to_string(n) + ": middle " + std::to_string(middle(i)) + ", streaks " +
                        std::to_string(streaks(i)) + ", ground " + std::to_string(ground(i)) + ", reward " +
                        std::to_string(reward(i)) + ";";
        return seen;
    }();
    EXPECT_TRUE(FirstShot(play, 6, 2, battle, "arcade_battle", [&](const plat::Image& i) {
        return ground(i) < 5000 && Brightness(i, 0, 0, 1024, 768) > 10.0;
    })) << "no shot of the lit battle";
    EXPECT_TRUE(FirstShot(play, 7, 2, lost, "arcade_lost", [&](const plat::Image& i) { return red(i) > 2000; }))
        << "no shot of the lost picture";
    // The continue prompt darkens the battle under its white question.
    ASSERT_TRUE(play.Shot(9, prompt, "arcade_continue"));
    EXPECT_GT(CountPixels(prompt, 300, 255, 724, 320, White), 200u);
    // The kill log tells of the fall over the prompt, but not over the
    // black that follows it.
    plat::Image black;
    ASSERT_TRUE(play.Shot(10, black, "arcade_continue_black"));
    auto lit = [](u32 p) { return (p >> 16 & 0xFF) > 150 || (p >> 8 & 0xFF) > 150 || (p & 0xFF) > 150; };
    EXPECT_GT(CountPixels(prompt, 640, 550, 1024, 640, lit), 30u) << "the kill log over the prompt";
    EXPECT_EQ(CountPixels(black, 0, 0, 1024, 660, [](u32 p) { return p != 0; }), 0u) << "something over the black";
    // The repeated battle comes out of black: its radar's green rings show
    // dimly, and the radar's blips, drawn over the black, are no brighter.
    plat::Image opening;
    auto radar = [](const plat::Image& i) {
        return CountPixels(i, 808, 10, 1008, 210, [](u32 p) {
            return int(p >> 8 & 0xFF) > int(p >> 16 & 0xFF) + 6 && int(p >> 8 & 0xFF) > int(p & 0xFF) + 2;
        });
    };
    EXPECT_TRUE(FirstShot(play, 11, 6, opening, "arcade_opening", [&](const plat::Image& i) {
        const double b = Brightness(i, 0, 0, 1024, 768);
        return b > 8.0 && b < 60.0 && radar(i) > 500;
    })) << "no shot of the battle's opening";
    EXPECT_EQ(CountPixels(opening, 808, 10, 1008, 210, lit), 0u) << "the radar's blips";
    EXPECT_TRUE(FirstShot(play, 17, 4, clear, "arcade_game_clear", [&](const plat::Image& i) {
        return middle(i) > 200 && reward(i) > 200;
    })) << "no shot of GAME CLEAR";
    ASSERT_TRUE(play.Shot(21, name, "arcade_name_entry"));
    ASSERT_TRUE(play.Shot(22, list, "arcade_ranking"));
    ASSERT_TRUE(play.Shot(23, robot, "arcade_new_robot"));
    ASSERT_TRUE(play.Shot(24, title, "arcade_back_to_title"));
    // The name entry of the run given up lets the still battle show through
    // its panel, but none of its display: the score box, the radar, the
    // pilot's face and the lost picture's red cross are gone.
    plat::Image givenUp;
    ASSERT_TRUE(play.Shot(25, givenUp, "arcade_given_up_name_entry"));
    EXPECT_GT(CountPixels(givenUp, 300, 200, 880, 290, White), 200u) << "the kills line of the panel";
    EXPECT_LE(Colours(givenUp, 10, 10, 266, 100), 8u) << "the score box";
    EXPECT_LE(Colours(givenUp, 0, 600, 256, 730), 8u) << "the pilot's face";
    // Through the panel the radar's dark ground and green rings, and the
    // cross's dull red, would still tell.
    auto green = [](u32 p) { return int(p >> 8 & 0xFF) > int(p >> 16 & 0xFF) + 12; };
    auto dull_red = [](u32 p) { return int(p >> 16 & 0xFF) > int(p >> 8 & 0xFF) + 12; };
    EXPECT_LT(CountPixels(givenUp, 884, 10, 1008, 210, green), 50u) << "the radar";
    EXPECT_LT(CountPixels(givenUp, 384, 292, 640, 378, dull_red), 50u) << "the lost picture";
    // The list's ten rows of white digits; the new robot's bright stripes.
    for (u32 row = 0; row < 10; ++row)
        EXPECT_GT(CountPixels(list, 370, 64 + 64 * row, 650, 128 + 64 * row, White), 40u) << "row " << row;
    EXPECT_GT(middle(robot), 200u);
    EXPECT_GT(Brightness(robot, 0, 0, 1024, 768), 60.0);
    EXPECT_NE(Colours(name, 0, 0, 1024, 768), Colours(list, 0, 0, 1024, 768));
    EXPECT_LT(CountPixels(title, 370, 64, 650, 704, White), CountPixels(list, 370, 64, 650, 704, White) / 2);

    // What reached the disk: the run's score first on the Easy table, under
    // the edited name: 100000 halved by the continue, then two stages won.
    std::string bytes = play.temp.Read("data/Tervalis/score_ac_e.dat");
    ASSERT_EQ(bytes.size(), RankingFileSize);
    RankingTable easy;
    easy.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size()));
    const RankingEntry& first = easy.entries[0];
    EXPECT_GT(first.score, 240000);
    EXPECT_LE(first.score, 250000) << "the continue halves the score";
    EXPECT_NE(first.name[0], first.name[1]) << "the first letter was changed";
    // The reward: two parts on Easy, the stage flag of the robot played, a
    // robot made available.
    bytes = play.temp.Read("data/Tervalis/vant-D");
    PartInventory fresh, saved;
    fresh.Reset();
    ASSERT_EQ(saved.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size())), 1);
    EXPECT_GE(saved.parts.size(), fresh.parts.size() + 2);
    ASSERT_LT(first.robotType, StageFlagCount);
    EXPECT_EQ(saved.stageFlags[first.robotType], 1);
    int unlocked = 0;
    for (u32 r = 0; r < RobotRecordCount; ++r) unlocked += saved.robots[r].available > fresh.robots[r].available;
    EXPECT_EQ(unlocked, 1);
}

TEST(ArcadeEndToEndTest, ScoreSceneTurnsThroughTheFourTablesAndLeavesForTheTitle)
{
    PlayFolder play;
    std::string script = ToTitleMenu();
    script += "10000 key Up\n11000 key Enter\n"          // the last entry: the ranking
              "14000 key VK_SNAPSHOT\n14500 key Right\n16000 key VK_SNAPSHOT\n"
              "16500 key Right\n17000 key Right\n"          // one a press: hard, then survival
              "17500 key Left\n18000 key Right\n19500 key VK_SNAPSHOT\n"
              "20000 key Escape\n23000 key VK_SNAPSHOT\n24000 close\n";
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env(), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(300)), 0) << play.temp.Read("play.err");

    plat::Image easy, normal, survival, title;
    ASSERT_TRUE(play.Shot(0, easy)) << play.temp.Read("play.err");
    ASSERT_TRUE(play.Shot(1, normal));
    ASSERT_TRUE(play.Shot(2, survival));
    ASSERT_TRUE(play.Shot(3, title));
    const char* names[] = {"score_easy", "score_normal", "score_survival", "score_back_to_title"};
    for (int i = 0; i < 4; ++i) Keep(play, i, names[i]);

    // Ten rows, each with its white score digits at x 370..650 once the list
    // has slid in.
    for (u32 row = 0; row < 10; ++row) {
        const u32 y = 64 + 64 * row;
        EXPECT_GT(CountPixels(easy, 370, y, 650, y + 64, White), 40u) << "row " << row;
    }
    // The title in the top left names the table: each shot's differs.
    auto title_of = [](const plat::Image& image) { return CountPixels(image, 0, 0, 240, 64, White); };
    EXPECT_GT(title_of(easy), 30u);
    EXPECT_NE(title_of(easy), title_of(normal));
    EXPECT_NE(title_of(normal), title_of(survival));
    EXPECT_NE(title_of(easy), title_of(survival));
    // Back on the title: no ranking rows.
    auto rows = [](u32 p) { return p == 0x202048u; };
    EXPECT_GT(CountPixels(easy, 40, 60, 1000, 700, rows), 10000u);
    EXPECT_LT(CountPixels(title, 40, 60, 1000, 700, rows), 100u);
}
