// The real game from a run folder of its own: a box raised while the scenes
// run becomes a notice at the foot of the screen, its text alone when the
// box has no caption, and leaves the scene's own hint at the top readable.
#include <gtest/gtest.h>

#include <string>

#include "platform/gfx/Image.h"
#include "support/PlayFolder.h"

TEST(NoticeEndToEnd, TheLoginRefusalShowsAtTheFootAndLeavesTheHintAtTheTop)
{
    PlayFolder play;
    // Title, the online entry (the eighth), an ID with a ':' and the login
    // button: the game refuses the ID with a box of no caption.
    std::string script = "300 button 1\n2400 wait title press\n2500 key Enter\n3000 wait title menu\n";
    for (int i = 0; i < 7; ++i) script += ScriptStep(9500 + 1000 * i, "key Down");
    script += "17000 key Enter\n19500 wait login input\n20000 click 300 190\n20500 text a:b\n"
              "21000 click 850 700\n22000 key VK_SNAPSHOT\n23000 close\n";
    ASSERT_TRUE(play.temp.Write("play.script", script));
    GameProcess game(play.exe, play.run, play.Env(), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(300)), 0) << play.temp.Read("play.err");
    EXPECT_NE(play.temp.Read("play.err").find("ID包含无效字符"), std::string::npos);

    plat::Image shot;
    ASSERT_TRUE(play.Shot(0, shot, "notice_login")) << play.temp.Read("play.err");
    // The notice's amber letters on their dark strip at the foot; none at
    // the top, where the white hint 请使用鼠标操作 stands on the screen's
    // own ground.
    auto amber = [](u32 p) { return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) > 150 && (p & 0xFF) < 120; };
    auto white = [](u32 p) { return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) > 200 && (p & 0xFF) > 200; };
    EXPECT_GT(CountPixels(shot, 0, 736, 400, 768, amber), 60u) << "the notice at the foot";
    EXPECT_EQ(CountPixels(shot, 0, 0, 400, 40, amber), 0u) << "a notice over the hint";
    EXPECT_GT(CountPixels(shot, 8, 8, 180, 34, white), 150u) << "the hint";
    // Its first mark is the full stroke of the I, not the two dots of a
    // ": " before it.
    u32 stroke = 0;
    for (u32 x = 0; x < 400 && stroke == 0; ++x) stroke = CountPixels(shot, x, 736, x + 1, 768, amber);
    EXPECT_GE(stroke, 8u);
}
