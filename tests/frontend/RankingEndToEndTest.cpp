// The real game from a run folder of its own, played under the offscreen
// video driver in a 640x480 window: a survival run from the title fought to
// the player's last body, the name typed on the new record screen, the
// score file written, the ranking list and the title again.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/core/GameSettings.h"
#include "app/player/RankingTable.h"
#include "platform/gfx/Image.h"
#include "support/PlayFolder.h"

namespace {

bool Near(u32 a, u32 b)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 6) return false;
    return true;
}

bool White(u32 p) { return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) > 200 && (p & 0xFF) > 200; }
bool RadarGreen(u32 p)
{
    const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
    return g > 150 && g > r + 40 && g > b + 40;
}

// What only each scene shows, at 640/1024 of the layout: the cockpit's
// radar; the new record screen's two panel colours; the ranking list's
// dark field and its first striped row; the title's logo or its menu.
bool InBattle(const plat::Image& s) { return CountPixels(s, 505, 6, 630, 131, RadarGreen) > 150; }
bool NameEntry(const plat::Image& s) { return Near(PixelAt(s, 531, 131), 0x203060) && Near(PixelAt(s, 531, 312), 0x302050); }
bool RankingList(const plat::Image& s)
{
    return Near(PixelAt(s, 12, 437), 0x0A0A18) && Near(PixelAt(s, 632, 460), 0x0A0A18) &&
           Near(PixelAt(s, 30, 56), 0x202048);
}
bool Title(const plat::Image& s)
{
    const u32 logo = CountPixels(s, 94, 88, 544, 175, White);
    const u32 menu = CountPixels(s, 37, 56, 325, 362, [](u32 p) {
        return int(p >> 8 & 0xFF) > 160 && int(p >> 8 & 0xFF) > int(p >> 16 & 0xFF) + 60;
    });
    return (logo > 2000 || menu > 100) && !InBattle(s);
}

// The white pixels of name glyph k on list row `row` (cells 40 pixels wide).
std::string GlyphMask(const plat::Image& s, u32 row, u32 k)
{
    std::string mask;
    const u32 left = 109 + 40 * k, top = 40 + 40 * row;
    for (u32 y = top; y < top + 40; ++y)
        for (u32 x = left; x < left + 40; ++x) mask += White(PixelAt(s, x, y)) ? '#' : '.';
    return mask;
}

// Survival with the player's side at 1% of its HP and no body to spare, so
// the first fall ends the run; Right held while the battle is set up (up
// to 20 seconds on a busy machine) sends the opponents in at their highest
// level, and should they miss, a test switch fells the player 15 seconds in.
// When the player falls is not known in advance, so from the battle on the
// script repeats one round every 4 seconds: Down, Down, a shot,
// Down, Enter, a shot. In the battle the robot only walks; on the new
// record screen each Down steps the first letter, and an Enter that comes
// a second or more after the screen (so after at least one Down) confirms
// the name; on the list Enter goes back to the title. What the last rounds
// do on the title is not looked at. The table starts with ten low scores
// under blank names, so the new entry takes the first place.
TEST(RankingEndToEndTest, SurvivalToTheLastBodyThenTheNameTheScoreFileAndTheList)
{
    PlayFolder play("", "");
    ASSERT_TRUE(play.temp.Write("run/Config.ini", "[Window]\nw=640\nh=480\nFullScreen=0\n[GameSetting]\n"
                                                  "KEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\n"));
    RankingTable old;
    for (u32 i = 0; i < RankingEntryCount; ++i) old.entries[i] = RankingEntry{{31, 31, 31}, 0, -20000 - 1000 * i32(i), 0, 0};
    u8 image[RankingFileSize];
    old.WriteImage(image);
    std::filesystem::create_directories(play.temp / "data/Tervalis");
    ASSERT_TRUE(play.temp.Write("data/Tervalis/score_sv.dat", std::string(reinterpret_cast<char*>(image), sizeof image)));

    // One Enter skips the logo and one opens the menu; down to survival;
    // robot, pilot, stage and music as offered; the battle loads.
    std::string script = ScriptStep(300, "button 1") + ScriptStep(2500, "key Enter") + ScriptStep(8000, "key Enter");
    script += ScriptStep(12000, "key Down") + ScriptStep(13000, "key Enter");
    for (int t = 18000; t <= 24000; t += 2000) script += ScriptStep(t, "key Enter");
    script += ScriptStep(24300, "keydown Right") + ScriptStep(44000, "keyup Right");
    constexpr int kFirst = 34000, kRounds = 26;
    for (int i = 0; i < kRounds; ++i) {
        const int t = kFirst + 4000 * i;
        script += ScriptStep(t + 400, "key Down") + ScriptStep(t + 1200, "key Down") +
                  ScriptStep(t + 2300, "key VK_SNAPSHOT") + ScriptStep(t + 2400, "key Down") +
                  ScriptStep(t + 2600, "key Enter") + ScriptStep(t + 3400, "key VK_SNAPSHOT");
    }
    script += ScriptStep(kFirst + 4000 * kRounds + 1000, "close");
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env({"QUILLON_TEST_OWN_HP=1", "QUILLON_TEST_OWN_BODIES=0", "QUILLON_TEST_FALL_FRAME=900"}),
                     play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(900)), 0) << play.temp.Read("play.err");

    // The file on disk through the game's own reader: the new entry first,
    // with a name typed, above the old first place.
    const std::string bytes = play.temp.Read("data/Tervalis/score_sv.dat");
    ASSERT_EQ(bytes.size(), RankingFileSize);
    RankingTable table;
    table.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size()));
    const RankingEntry& mine = table.entries[0];
    EXPECT_GT(mine.score, -20000);
    EXPECT_NE(mine.name[0] + mine.name[1] + mine.name[2], 0) << "no letter was stepped";
    for (u8 c : mine.name) EXPECT_LT(c, 31) << "a typed letter is never the blank";
    EXPECT_EQ(table.entries[1].score, -20000);
    EXPECT_EQ(table.entries[9].score, -28000) << "the old last place dropped";

    // The shots in order: the battle, the new record screen, the list (its
    // last shot, when it has slid in), then the title. The last rounds may
    // leave the title for scenes that take no shot.
    int lastBattle = -1, entry = -1, list = -1, title = -1;
    plat::Image shot;
    for (int i = 0; i < 2 * kRounds && play.Shot(i, shot); ++i) {
        ASSERT_EQ(shot.width, 640u);
        if (entry < 0 && InBattle(shot)) lastBattle = i;
        if (entry < 0 && NameEntry(shot)) entry = i;
        if (entry >= 0 && title < 0 && RankingList(shot))
            list = i;
        else if (list >= 0 && title < 0 && !NameEntry(shot) && Title(shot))
            title = i;
    }
    ASSERT_GE(lastBattle, 0) << "no shot of the battle";
    ASSERT_GT(entry, lastBattle) << "no new record screen after the battle";
    ASSERT_GT(list, entry) << "no ranking list after the new record screen";
    ASSERT_GT(title, list) << "no title after the list";
    plat::Image battle, record, ranking, back;
    ASSERT_TRUE(play.Shot(lastBattle, battle, "e2e_survival_last_battle"));
    ASSERT_TRUE(play.Shot(entry, record, "e2e_survival_name_entry"));
    ASSERT_TRUE(play.Shot(list, ranking, "e2e_survival_ranking"));
    ASSERT_TRUE(play.Shot(title, back, "e2e_survival_title"));

    // The new record screen: the score's digits and the place number drawn.
    EXPECT_GT(CountPixels(record, 253, 249, 544, 289, White), 100u) << "the score";
    EXPECT_GT(CountPixels(record, 195, 320, 255, 360, [](u32 p) {
        return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) > 200 && (p & 0xFF) < 80;
    }), 30u) << "the place number in yellow";
    // The list: the new name's glyphs on the first row, a glyph for each
    // letter and the same glyph for the same letter; no glyph in the blank
    // names below.
    for (u32 k = 0; k < 3; ++k) {
        const std::string mask = GlyphMask(ranking, 0, k);
        EXPECT_GT(std::count(mask.begin(), mask.end(), '#'), 20) << "letter " << k;
        for (u32 j = 0; j < k; ++j)
            EXPECT_EQ(mask == GlyphMask(ranking, 0, j), mine.name[k] == mine.name[j]) << "letters " << j << ", " << k;
    }
    for (u32 row = 1; row < 10; ++row)
        EXPECT_LT(CountPixels(ranking, 109, 40 + 40 * row, 229, 80 + 40 * row, White), 5u) << "row " << row;
    EXPECT_GT(CountPixels(ranking, 231, 40, 456, 80, White), 100u) << "the new score";
}


constexpr int kTeamShots = 30;

// The result picture in the middle of a 640x480 screen: the won frame's
// lime border, the lost box's red cross.
bool Won(const plat::Image& s)
{
    return CountPixels(s, 236, 156, 404, 324, [](u32 p) {
               return (p >> 8 & 0xFF) > 200 && (p >> 16 & 0xFF) > 150 && (p & 0xFF) < 90;
           }) > 2000;
}
bool Lost(const plat::Image& s)
{
    return CountPixels(s, 236, 196, 404, 284, [](u32 p) {
               return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) < 70 && (p & 0xFF) < 70;
           }) > 1500;
}

// A team battle against a squad of one with each side's switch at 1% of
// its HP, so that it is won (the enemy's side weak) or lost (the player's);
// a fleet battle whose enemy (won) or own (lost) flagship sinks ten seconds
// in. Shots every 3 seconds of the battle until an Enter at its end leaves
// the result picture, then a shot of the title.
void SideBattle(GameMode mode, bool win, const char* keep)
{
    const bool fleet = mode == GameMode::Fleet;
    PlayFolder play;
    ASSERT_TRUE(play.temp.Write("run/Config.ini", "[Window]\nw=640\nh=480\nFullScreen=0\n[GameSetting]\n"
                                                  "KEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\n"));
    std::string script = ScriptStep(300, "button 1") + ScriptStep(2500, "key Enter") + ScriptStep(8000, "key Enter");
    for (int i = 0; i < int(mode); ++i) script += ScriptStep(12000 + 400 * i, "key Down");
    script += ScriptStep(14000, "key Enter");
    // Robot and pilot; a team battle also takes a stage and music.
    for (int t = 19000; t <= (fleet ? 21000 : 25000); t += 2000) script += ScriptStep(t, "key Enter");
    const int shots = fleet ? 10 : kTeamShots;
    const int kFirst = 30000, kEnter = kFirst + 3000 * shots;
    for (int i = 0; i < shots; ++i) script += ScriptStep(kFirst + 3000 * i, "key VK_SNAPSHOT");
    script += ScriptStep(kEnter, "key Enter") + ScriptStep(kEnter + 3000, "key VK_SNAPSHOT") +
              ScriptStep(kEnter + 4000, "close");
    ASSERT_TRUE(play.temp.Write("play.script", script));
    std::vector<std::string> env = {"QUILLON_TEST_SEED=7"};
    if (fleet) env.insert(env.end(), {"QUILLON_TEST_FALL_FRAME=600", win ? "QUILLON_TEST_FALL_TEAM=1" : "QUILLON_TEST_FALL_TEAM=0"});
    else env.insert(env.end(), {win ? "QUILLON_TEST_ENEMY_HP=1" : "QUILLON_TEST_OWN_HP=1", "QUILLON_TEST_SQUAD=1"});
    GameProcess game(play.exe, play.run, play.Env(env), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(900)), 0) << play.temp.Read("play.err");

    int battle = -1, result = -1;
    plat::Image shot;
    for (int i = 0; i < shots && result < 0; ++i) {
        ASSERT_TRUE(play.Shot(i, shot)) << i << play.temp.Read("play.err");
        // The cockpit goes with the decision (a beam's glow may be lime too).
        if (InBattle(shot)) {
            battle = i;
            continue;
        }
        if (win ? Won(shot) : Lost(shot)) result = i;
        EXPECT_FALSE(win ? Lost(shot) : Won(shot)) << keep << ": the other result in shot " << i;
    }
    ASSERT_GE(battle, 0) << keep << ": no shot of the battle";
    ASSERT_GT(result, battle) << keep << ": no result picture after the battle";
    std::printf("%s: the result in shot %d\n", keep, result);
    ASSERT_TRUE(play.Shot(result, shot, keep));
    // The picture stays until the Enter; then the title.
    ASSERT_TRUE(play.Shot(shots - 1, shot));
    EXPECT_TRUE(!InBattle(shot) && (win ? Won(shot) : Lost(shot))) << keep << ": the picture until Enter";
    ASSERT_TRUE(play.Shot(shots, shot, std::string(keep) + "_title"));
    EXPECT_TRUE(Title(shot)) << keep << ": the title after the result";
}

TEST(RankingEndToEndTest, TeamBattleWonWithItsPictureThenTheTitle)
{
    SideBattle(GameMode::Team, true, "e2e_team_won");
}

TEST(RankingEndToEndTest, TeamBattleLostWithItsPictureThenTheTitle)
{
    SideBattle(GameMode::Team, false, "e2e_team_lost");
}

TEST(RankingEndToEndTest, FleetBattlesWonAndLostWithTheirPicturesThenTheTitle)
{
    SideBattle(GameMode::Fleet, true, "e2e_fleet_won");
    SideBattle(GameMode::Fleet, false, "e2e_fleet_lost");
}

}  // namespace
