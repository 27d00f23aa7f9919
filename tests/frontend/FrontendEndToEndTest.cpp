// The real game from a run folder of its own, driven by an input script
// under the offscreen video driver: the title's survival entry, a robot, a
// pilot, a stage and the music chosen on the character selection, into the
// battle; a screenshot at each step, each checked by its pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/core/GameSettings.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "support/PlayFolder.h"

namespace {


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

u32 White(u32 p) { return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) > 200 && (p & 0xFF) > 200; }
// The cockpit's colours: the radar's green rings, the energy gauge's
// cyan, the boost gauge's violet.
u32 RadarGreen(u32 p)
{
    const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
    return g > 150 && g > r + 40 && g > b + 40;
}
u32 Cyan(u32 p) { return (p >> 16 & 0xFF) < 160 && (p >> 8 & 0xFF) > 200 && (p & 0xFF) > 170; }
u32 Violet(u32 p) { return (p >> 16 & 0xFF) > 120 && (p >> 8 & 0xFF) < 110 && (p & 0xFF) > 220; }

// The cockpit over a battle: radar rings top right, energy and boost
// gauges along the bottom.
void ExpectCockpit(const plat::Image& shot, const char* what)
{
    EXPECT_GT(CountPixels(shot, 808, 10, 1008, 210, RadarGreen), 400u) << what << ": the radar";
    EXPECT_GT(CountPixels(shot, 212, 720, 468, 748, Cyan), 2000u) << what << ": the energy gauge";
    EXPECT_GT(CountPixels(shot, 522, 720, 700, 748, Violet), 2000u) << what << ": the boost gauge";
}

// A pause menu over the battle with its bar on entry `at`: the cockpit
// hidden, the four entries in white, the help line at the bottom.
void ExpectPauseMenu(const plat::Image& shot, int at, const char* what)
{
    EXPECT_LT(CountPixels(shot, 808, 10, 1008, 210, RadarGreen), 20u) << what << ": the radar is hidden";
    u32 red[4] = {};
    for (int i = 0; i < 4; ++i) {
        const u32 top = 204 + 100 * u32(i);
        // The bar pulses: at its faintest it is still clearly redder than the overlay.
        red[i] = CountPixels(shot, 0, top, 1024, top + 40, [](u32 p) {
            return int(p >> 16 & 0xFF) > int(p >> 8 & 0xFF) + 30 && int(p >> 16 & 0xFF) > int(p & 0xFF) + 30;
        });
        EXPECT_GT(CountPixels(shot, 360, top - 4, 664, top + 44, White), 300u) << what << ": entry " << i;
    }
    // The bar reddens more than half of its band and nearly all of it; red
    // scenery behind the overlay (a stage's orange ground, a burning robot)
    // may redden half of another band, never as much as the bar does.
    EXPECT_GT(red[at], 20000u) << what << ": bar " << at;
    for (int i = 0; i < 4; ++i) {
        if (i != at) {
            EXPECT_LT(red[i] + 8000u, red[at]) << what << ": no bar " << i;
        }
    }
    EXPECT_GT(CountPixels(shot, 300, 705, 724, 735, White), 100u) << what << ": the help line";
}

// What the game printed about sound: a buffer or voice it could not make,
// a sound file it could not read.
std::string SoundFaults(const std::string& err)
{
    std::string faults;
    size_t at = 0;
    while (at < err.size()) {
        const size_t end = std::min(err.find('\n', at), err.size());
        const std::string line = err.substr(at, end - at);
        if (line.find("DirectSound") != std::string::npos || line.find(".wav") != std::string::npos ||
            line.find(".ogg") != std::string::npos)
            faults += line + "\n";
        at = end + 1;
    }
    return faults;
}

// The title's press-start screen: the large white logo over the dark sky.
void ExpectTitle(const plat::Image& shot, const char* what)
{
    EXPECT_GT(CountPixels(shot, 150, 140, 870, 280, White), 5000u) << what;
    EXPECT_LT(CountPixels(shot, 808, 10, 1008, 210, RadarGreen), 20u) << what << ": no battle";
}

TEST(FrontendEndToEndTest, SurvivalFromTheTitleThroughTheSelectionIntoTheBattle)
{
    PlayFolder play;
    // One Enter skips the logo and one opens the title's menu (a third would
    // choose the arcade), down to survival and in; then on
    // the selection: a shot of the robot step once the ring has come to rest
    // on the second robot and its preview has loaded (script time moves at
    // most 16 ms a frame), and each step confirmed with a shot of the next;
    // the last shot in the battle.
    std::string script = "300 button 1\n2500 key Enter\n8000 key Enter\n";
    script += "22000 key Down\n23000 key Enter\n26500 key VK_SNAPSHOT\n"
              "27000 key Right\n31000 key VK_SNAPSHOT\n32000 key Enter\n33000 key VK_SNAPSHOT\n"
              "34000 key Enter\n35000 key VK_SNAPSHOT\n36000 key Enter\n37000 key VK_SNAPSHOT\n"
              "38000 key Enter\n50000 key VK_SNAPSHOT\n"
              // The pause menu over the battle, and the battle again after Escape.
              "51000 key Escape\n52500 key VK_SNAPSHOT\n53000 key Escape\n55000 key VK_SNAPSHOT\n56000 close\n";
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env(), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(400)), 0) << play.temp.Read("play.err");

    plat::Image first, robot, pilot, stage, music, battle, paused, resumed;
    ASSERT_TRUE(play.Shot(0, first, "e2e_select_first_robot")) << play.temp.Read("play.err");
    ASSERT_TRUE(play.Shot(1, robot, "e2e_select_robot"));
    ASSERT_TRUE(play.Shot(2, pilot, "e2e_select_pilot"));
    ASSERT_TRUE(play.Shot(3, stage, "e2e_select_stage"));
    ASSERT_TRUE(play.Shot(4, music, "e2e_select_music"));
    ASSERT_TRUE(play.Shot(5, battle, "e2e_survival_cockpit"));
    ASSERT_TRUE(play.Shot(6, paused, "e2e_survival_pause"));
    ASSERT_TRUE(play.Shot(7, resumed, "e2e_survival_resumed"));

    // The first robot's weapon list lies over its left neighbour's pale card:
    // the ground behind its white letters is dark, not the card.
    const u32 card = PixelAt(first, 250, 700);
    EXPECT_GT(card >> 16 & 0xFF, 180u) << std::hex << card << ": the pale card";
    u32 letters = 0, ground = 0;
    double groundLight = 0;
    for (u32 y = 566; y < 690; ++y)
        for (u32 x = 72; x < 180; ++x) {
            const u32 p = PixelAt(first, x, y);
            if ((p >> 16 & 0xFF) >= 235 && (p >> 8 & 0xFF) >= 235 && (p & 0xFF) >= 235) {
                ++letters;
            } else {
                ++ground;
                groundLight += 0.3 * (p >> 16 & 0xFF) + 0.59 * (p >> 8 & 0xFF) + 0.11 * (p & 0xFF);
            }
        }
    EXPECT_GT(letters, 400u) << "the weapon list";
    ASSERT_GT(ground, 0u);
    EXPECT_LT(groundLight / ground, 90.0) << "the ground behind the weapon list";
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
    ExpectCockpit(battle, "survival");
    ExpectPauseMenu(paused, 0, "survival's pause menu");
    ExpectCockpit(resumed, "survival after the pause");
}

// Versus practice left through its pause menu for the title.
TEST(FrontendEndToEndTest, PracticeLeftThroughItsPauseMenu)
{
    PlayFolder play;
    // One Enter skips the logo and one opens the title's menu, down twice
    // to versus practice; robot, pilot, stage and music taken as offered;
    // the battle loads for up to 13 seconds.
    std::string script = ScriptStep(300, "button 1") + ScriptStep(2500, "key Enter") + ScriptStep(8000, "key Enter");
    script += ScriptStep(14000, "key Down") + ScriptStep(14600, "key Down") + ScriptStep(15500, "key Enter");
    for (int t = 21000; t <= 27000; t += 2000) script += ScriptStep(t, "key Enter");
    script += ScriptStep(40000, "key VK_SNAPSHOT") + ScriptStep(41000, "key Escape") +
              ScriptStep(42500, "key VK_SNAPSHOT");
    for (int t = 43000; t <= 43800; t += 400) script += ScriptStep(t, "key Down");
    script += ScriptStep(44500, "key VK_SNAPSHOT") + ScriptStep(45000, "key Enter") +
              ScriptStep(50000, "key VK_SNAPSHOT") + ScriptStep(51000, "close");
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env(), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(300)), 0) << play.temp.Read("play.err");

    plat::Image battle, paused, leaving, title;
    ASSERT_TRUE(play.Shot(0, battle, "e2e_practice_cockpit")) << play.temp.Read("play.err");
    ASSERT_TRUE(play.Shot(1, paused, "e2e_practice_pause"));
    ASSERT_TRUE(play.Shot(2, leaving, "e2e_practice_pause_title"));
    ASSERT_TRUE(play.Shot(3, title, "e2e_practice_left"));
    ExpectCockpit(battle, "practice");
    ExpectPauseMenu(paused, 0, "practice's pause menu");
    ExpectPauseMenu(leaving, 3, "practice's pause menu on the title entry");
    ExpectTitle(title, "the title after practice");
}

// The title left alone shows the demonstration battle after 3,600 frames,
// and a key ends it. The window is 640x480, so that the title's frames
// keep their pace on a software renderer. Script time is at most 16 ms a
// frame, so 3,600 frames are at least 57.6 s of it: shots every 4 seconds
// from 50 seconds on, then Escape.
TEST(FrontendEndToEndTest, DemonstrationBattleAfterTheTitleIsLeftAlone)
{
    PlayFolder play;
    ASSERT_TRUE(play.temp.Write("run/Config.ini", "[Window]\nw=640\nh=480\nFullScreen=0\n[GameSetting]\n"
                                                  "KEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\n"));
    // 50 seconds are fewer than 3,600 frames of 16 ms: the first shot is the title.
    constexpr int kFirst = 50000, kShots = 11, kEnd = kFirst + 4000 * kShots;
    std::string script = ScriptStep(300, "button 1");
    // However slowly a loaded machine brings the battle up, the shots after
    // the title's wait for it.
    script += ScriptStep(kFirst + 1000, "wait scene battle");
    for (int i = 0; i < kShots; ++i) script += ScriptStep(kFirst + 4000 * i, "key VK_SNAPSHOT");
    script += ScriptStep(kEnd, "key Escape") + ScriptStep(kEnd + 4000, "key VK_SNAPSHOT") +
              ScriptStep(kEnd + 5000, "close");
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env(), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(400)), 0) << play.temp.Read("play.err");

    // The layout at 640/1024 of its size: the radar's box, the title's logo.
    auto radar = [](const plat::Image& s) { return CountPixels(s, 505, 6, 630, 131, RadarGreen); };
    auto logo = [](const plat::Image& s) { return CountPixels(s, 94, 88, 544, 175, White); };
    plat::Image shot, back;
    int shown = -1;
    for (int i = 0; i < kShots && shown < 0; ++i) {
        ASSERT_TRUE(play.Shot(i, shot)) << play.temp.Read("play.err");
        ASSERT_EQ(shot.width, 640u);
        if (i == 0) {
            EXPECT_GT(logo(shot), 2000u) << "the title at 50 s";
        }
        // The radar's green is drawn only in the battle; bright scenery there
        // may whiten the logo's box, so the logo does not decide.
        if (radar(shot) > 150) shown = i;
    }
    ASSERT_GE(shown, 0) << "no demonstration battle within " << kEnd / 1000 << " s";
    ASSERT_TRUE(play.Shot(shown, shot, "e2e_demonstration"));
    ASSERT_TRUE(play.Shot(kShots, back, "e2e_demonstration_left"));
    EXPECT_GT(logo(back), 2000u) << "the title after the demonstration";
    EXPECT_EQ(SoundFaults(play.temp.Read("play.err")), "");
}

}  // namespace

// A survival battle: the player's radio line opens its pilot's cut-in and the
// pause menu's third entry leads back to the character selection. The
// battle started again from there, with a frail player, ends in the string of
// blasts that fills the view where the player's robot goes down.
TEST(FrontendEndToEndTest, SurvivalRadioCutInBlastsAndBackToTheSelection)
{
    PlayFolder play;
    std::string script = "300 button 1\n2500 key Enter\n8000 key Enter\n22000 key Down\n23000 key Enter\n";
    int t = 27000;
    // Each step comes `after` milliseconds after the one before.
    auto then = [&](int after, const std::string& what) { script += ScriptStep(t += after, what); };
    then(0, "key Enter");
    for (int i = 0; i < 3; ++i) then(2000, "key Enter");
    then(3000, "wait scene battle");
    then(2500, "key 0");
    then(400, "key VK_SNAPSHOT");
    then(1100, "key Escape");
    then(1500, "key Down");
    then(400, "key Down");
    then(600, "key VK_SNAPSHOT");
    then(500, "key Enter");
    then(1000, "wait scene select");
    then(2000, "key VK_SNAPSHOT");
    then(2000, "key Enter");
    for (int i = 0; i < 3; ++i) then(2000, "key Enter");
    then(1000, "wait scene battle");
    // The frail player goes down about 14 seconds in.
    constexpr int kBlastShots = 40;
    for (int i = 0; i < kBlastShots; ++i) then(500, "key VK_SNAPSHOT");
    then(500, "close");
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env({"QUILLON_TEST_SEED=7", "QUILLON_TEST_OWN_HP=20"}),
                     play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(600)), 0) << play.temp.Read("play.err");
    const std::string err = play.temp.Read("play.err");
    EXPECT_EQ(err.find("gave up waiting"), std::string::npos) << err;

    auto skin = [](u32 p) {
        const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
        return r >= 200 && r <= 235 && g >= 175 && g <= 205 && b >= 145 && b <= 180;
    };
    auto fire = [](u32 p) {
        const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
        return r > 220 && g > 80 && b < 170 && r > b + 60;
    };
    // The first cut-in takes the lower right corner; the cockpit's own face is lower left.
    plat::Image radio, shot, paused, selection;
    ASSERT_TRUE(play.Shot(0, radio, "e2e_radio_cut_in")) << err;
    EXPECT_GT(CountPixels(radio, 600, 480, 1000, 740, skin), 2000u) << "the pilot's face in the cut-in";
    EXPECT_LT(CountPixels(radio, 256, 150, 768, 650, fire), 10000u);
    ASSERT_TRUE(play.Shot(1, paused, "e2e_survival_pause_selection"));
    ExpectPauseMenu(paused, 2, "survival's pause menu on the selection entry");
    ASSERT_TRUE(play.Shot(2, selection, "e2e_survival_back_to_selection"));
    EXPECT_GT(CountPixels(selection, 330, 20, 690, 66, White), 2000u) << "the selection's banner";
    EXPECT_LT(CountPixels(selection, 808, 10, 1008, 210, RadarGreen), 20u) << "no battle";

    // The fixed seed plays the same battle every run: the view stays clear of
    // fire until the player's robot goes down, then the blasts fill it.
    u32 most = 0;
    int blast = -1;
    for (int i = 3; i < 3 + kBlastShots; ++i) {
        ASSERT_TRUE(play.Shot(i, shot)) << i;
        const u32 n = CountPixels(shot, 256, 150, 768, 650, fire);
        if (n > most) most = n, blast = i;
    }
    ASSERT_GT(blast, 3) << "the battle opens on fire";
    ASSERT_TRUE(play.Shot(blast, shot, "e2e_robot_blasts"));
    EXPECT_GT(most, 60000u) << "blasts filling the middle of the view, shot " << blast;
    ASSERT_TRUE(play.Shot(3, shot));
    EXPECT_LT(CountPixels(shot, 256, 150, 768, 650, fire), 2000u) << "no fire as the battle opens";
}

namespace {

// Survival and team battles, one game each, with each sample pilot in turn:
// the pause menu's preparation entry leads back to the selection for the
// next. Each pilot's voices and the battle's own sounds load beside those of
// the computer's pilots; none may fail to load or to play.
TEST(FrontendEndToEndTest, EveryPilotInTurnInSurvivalAndTeamBattlesWithoutSoundFaults)
{
    constexpr int kPilots = 3;
    for (GameMode mode : {GameMode::Survival, GameMode::Team}) {
        SCOPED_TRACE(int(mode));
        PlayFolder play;
        std::string script = ScriptStep(300, "button 1") + ScriptStep(2500, "key Enter") + ScriptStep(8000, "key Enter");
        for (int i = 0; i < int(mode); ++i) script += ScriptStep(12000 + 400 * i, "key Down");
        int t = 14000;
        // Each step comes `after` milliseconds after the one before.
        auto then = [&](int after, const std::string& what) { script += ScriptStep(t += after, what); };
        then(0, "key Enter");
        for (int p = 0; p < kPilots; ++p) {
            then(1000, "wait scene select");
            then(4000, "key Enter");
            for (int i = 0; i < p; ++i) then(400, "key Right");
            then(1500, "key VK_SNAPSHOT");
            for (int i = 0; i < 3; ++i) then(2000, "key Enter");
            then(1000, "wait scene battle");
            // A few seconds of fighting, then the pause menu's third entry.
            then(6000, "key Escape");
            then(1500, "key Down");
            then(400, "key Down");
            then(300, "key VK_SNAPSHOT");
            then(300, "key Enter");
        }
        then(1000, "wait scene select");
        then(2000, "close");
        ASSERT_TRUE(play.temp.Write("play.script", script));
        GameProcess game(play.exe, play.run, play.Env({"QUILLON_TEST_SEED=7"}), play.temp / "play.err");
        ASSERT_TRUE(game.Started());
        ASSERT_EQ(game.Wait(std::chrono::seconds(500)), 0) << play.temp.Read("play.err");
        const std::string err = play.temp.Read("play.err");
        EXPECT_EQ(SoundFaults(err), "") << err;
        EXPECT_EQ(err.find("gave up waiting"), std::string::npos) << err;

        // The pilot step of each round names a different pilot; each round
        // ends in the pause menu on its third entry.
        plat::Image shots[kPilots], paused;
        for (int p = 0; p < kPilots; ++p) {
            const std::string keep = "e2e_pilot_turn_" + std::to_string(int(mode)) + "_" + std::to_string(p);
            ASSERT_TRUE(play.Shot(2 * p, shots[p], keep)) << play.temp.Read("play.err");
            ASSERT_TRUE(play.Shot(2 * p + 1, paused, keep + "_pause"));
            ExpectPauseMenu(paused, 2, "the pause menu on the preparation entry");
        }
        for (int p = 0; p < kPilots; ++p)
            for (int q = 0; q < p; ++q) {
                u32 differ = 0;
                for (u32 y = 668; y < 768; y += 2)
                    for (u32 x = 0; x < 1024; x += 2) differ += PixelAt(shots[p], x, y) != PixelAt(shots[q], x, y);
                EXPECT_GT(differ, 200u) << "pilots " << q << " and " << p << " share a name";
            }
    }
}

}  // namespace
