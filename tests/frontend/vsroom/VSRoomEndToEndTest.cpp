// The real game from a run folder of its own with four scripted pads: the
// title's local versus entry, four pads each taking a slot and choosing its
// robot, pilot, team and control (computer levels tried on the way), the
// cost rule at its lowest rate, the stage, a four-way split-screen battle
// with each player's pilot in its window fought to its end, back to the
// room and out to the title.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "support/PlayFolder.h"
#include "support/TextPicture.h"

namespace {

// Pad buttons of the script: the D-pad, shot and the decide and cancel
// operations (bound to buttons 8 and 9 by default).
enum : int { Up = 13, Down = 14, Left = 15, Right = 16, Decide = 8, Cancel = 9 };

struct PadScript {
    std::string text;
    int t = 0;
    // One press of a pad's button, then a pause.
    void Press(int pad, int button, int after = 300)
    {
        text += ScriptStep(t, "pad " + std::to_string(pad) + " " + std::to_string(button));
        t += after;
    }
    // A button held for ms, long enough for its repeats.
    void Hold(int pad, int button, int ms)
    {
        const std::string which = std::to_string(pad) + " " + std::to_string(button);
        text += ScriptStep(t, "paddown " + which) + ScriptStep(t + ms, "padup " + which);
        t += ms + 300;
    }
    void Line(const std::string& what, int after = 0)
    {
        text += ScriptStep(t, what);
        t += after;
    }
};

// 640 x 480 window: layout units of the 1024 x 768 screen scaled by 5/8.
u32 L(u32 v) { return v * 5 / 8; }

// Mean absolute difference per channel of two equal rectangles.
double Difference(const plat::Image& a, u32 ax, u32 ay, const plat::Image& b, u32 bx, u32 by, u32 w, u32 h)
{
    double sum = 0;
    u32 n = 0;
    for (u32 y = 0; y < h; y += 2)
        for (u32 x = 0; x < w; x += 2, ++n) {
            const u32 p = PixelAt(a, ax + x, ay + y), q = PixelAt(b, bx + x, by + y);
            for (int s = 0; s < 24; s += 8) sum += std::abs(int(p >> s & 0xFF) - int(q >> s & 0xFF));
        }
    return n ? sum / (3.0 * n) : 0;
}

// Pixels clearly bluer (or redder) than the other channels.
bool Blue(u32 p) { return int(p & 0xFF) > int(p >> 16 & 0xFF) + 40 && int(p & 0xFF) > int(p >> 8 & 0xFF) + 40; }
bool Red(u32 p) { return int(p >> 16 & 0xFF) > int(p & 0xFF) + 40 && int(p >> 16 & 0xFF) > int(p >> 8 & 0xFF) + 40; }

// Four quarters, each lit and each from a camera of its own.
bool FourViews(const plat::Image& shot, std::string* why)
{
    const u32 W = 320, H = 240;
    for (u32 v = 0; v < 4; ++v) {
        if (Brightness(shot, (v % 2) * W, (v / 2) * H, (v % 2) * W + W, (v / 2) * H + H) <= 10.0) {
            *why = "view " + std::to_string(v) + " is dark";
            return false;
        }
        for (u32 u = v + 1; u < 4; ++u)
            if (Difference(shot, (v % 2) * W, (v / 2) * H, shot, (u % 2) * W, (u / 2) * H, W, H) <= 4.0) {
                *why = "views " + std::to_string(v) + " and " + std::to_string(u) + " look alike";
                return false;
            }
    }
    return true;
}

// The box round a rectangle's text (light pixels; the panels and their
// frame lines are dark or coloured): left, top, right, bottom, inclusive;
// empty when there is none.
std::vector<u32> TextBox(const plat::Image& shot, u32 left, u32 top, u32 right, u32 bottom)
{
    std::vector<u32> box;
    for (u32 y = top; y < bottom; ++y)
        for (u32 x = left; x < right; ++x) {
            const u32 p = PixelAt(shot, x, y);
            if ((p & 0xFF) < 96 || (p >> 8 & 0xFF) < 96 || (p >> 16 & 0xFF) < 96) continue;
            if (box.empty()) box = {x, y, x, y};
            box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
        }
    return box;
}

bool Cyan(u32 p) { return int(p >> 8 & 0xFF) > 200 && int(p & 0xFF) > 200 && int(p >> 16 & 0xFF) < 100; }
bool Magenta(u32 p) { return int(p >> 16 & 0xFF) > 150 && int(p & 0xFF) > 200 && int(p >> 8 & 0xFF) < 60; }

// Every quarter shows a whole cockpit of its own at the same place within
// it: the kills and score panel's cyan frame at (10, 10) of the layout and
// the pilot window's magenta frame at (1, 475), both at half size.
bool FourCockpits(const plat::Image& shot, std::string* why)
{
    const u32 W = 320, H = 240;
    auto in = [](u32 layout) { return L(layout) / 2; };
    for (u32 v = 0; v < 4; ++v) {
        const u32 x = (v % 2) * W, y = (v / 2) * H;
        if (CountPixels(shot, x + in(10), y + in(10), x + in(266), y + in(100), Cyan) < 300) {
            *why = "view " + std::to_string(v) + " has no score panel";
            return false;
        }
        if (CountPixels(shot, x + in(1), y + in(475), x + in(257), y + in(730), Magenta) < 300) {
            *why = "view " + std::to_string(v) + " has no pilot window";
            return false;
        }
    }
    return true;
}

// Every quarter's pilot window holds its player's face (skin, not the
// window's empty tint): pilot 1's for the players of views 0 and 2, pilot
// 2's for views 1 and 3, their pictures' backgrounds green and red.
bool FourFaces(const plat::Image& shot, std::string* why)
{
    const u32 W = 320, H = 240;
    auto in = [](u32 layout) { return L(layout) / 2; };
    auto skin = [](u32 p) {
        const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
        return r > 200 && g > 160 && b > 120 && r > b + 40;
    };
    auto green = [](u32 p) { return int(p >> 8 & 0xFF) > int(p >> 16 & 0xFF) + 30 && int(p >> 8 & 0xFF) > int(p & 0xFF); };
    why->clear();
    for (u32 v = 0; v < 4; ++v) {
        const u32 x = (v % 2) * W + in(5), y = (v / 2) * H + in(493);
        const u32 faces = CountPixels(shot, x, y, x + in(200), y + in(150), skin);
        const u32 greens = CountPixels(shot, x, y, x + in(200), y + in(150), green);
        const u32 reds = CountPixels(shot, x, y, x + in(200), y + in(150), [&](u32 p) { return Red(p) && !skin(p); });
        if (faces < 150 || (v % 2 == 0 ? greens < 3 * reds + 200 : reds < 3 * greens + 200))
            *why += "view " + std::to_string(v) + " shows no face of its pilot: skin " + std::to_string(faces) +
                    ", green " + std::to_string(greens) + ", red " + std::to_string(reds) + "; ";
    }
    return why->empty();
}

TEST(VSRoomEndToEndTest, FourPadsSetUpASplitScreenBattleFightItOutAndComeBack)
{
    PlayFolder play;
    ASSERT_TRUE(play.temp.Write("run/Config.ini", "[Window]\nw=640\nh=480\nFullScreen=0\n[GameSetting]\n"
                                                  "KEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\n"));
    PadScript s;
    // The settings dialog's start, Enter past the logo, Enter for the menu;
    // up three times wraps to the local versus.
    s.text = "300 button 1\n2500 key Enter\n8000 key Enter\n";
    s.t = 9500;
    for (int i = 0; i < 3; ++i) s.Line("key Up", 300);
    s.Line("key Enter", 3000);

    // The room is ready once every taken slot is marked, so the empty slots
    // 2 and 3 are taken first. Pad 2 joins on slot 2: empty to a player, a
    // computer of level 1, a player again; team 0, pilot 1, robot 9, ready.
    s.Press(2, Decide);
    s.Press(2, Decide);
    s.Press(2, Right);
    s.Press(2, Right);
    s.Press(2, Left);
    s.Press(2, Up);
    s.Press(2, Up);
    s.Press(2, Right);
    s.Press(2, Up);
    for (int i = 0; i < 3; ++i) s.Press(2, Right);
    s.Press(2, Up);
    s.Press(2, Decide);
    // Pad 3 on slot 3: a computer of level 10, past it to empty, a player;
    // team 1 kept, pilot 2, robot 13; marked after the room's shot.
    s.Press(3, Decide);
    s.Press(3, Decide);
    s.Press(3, Left);
    s.Press(3, Right);
    s.Press(3, Right);
    s.Press(3, Up);
    s.Press(3, Up);
    s.Press(3, Left);
    s.Press(3, Up);
    s.Press(3, Left);
    s.Press(3, Up);
    // Pad 0 on slot 0 (a player of team 0): robot 4, pilot 1, ready.
    s.Press(0, Decide);
    s.Press(0, Right);
    s.Press(0, Down);
    s.Press(0, Right);
    for (int i = 0; i < 3; ++i) s.Press(0, Down);
    s.Press(0, Decide);
    // Pad 1 joins on slot 1 (team 1): robot 7, pilot 2, ready.
    s.Press(1, Decide);
    s.Press(1, Decide);
    s.Press(1, Right);
    s.Press(1, Right);
    s.Press(1, Down);
    s.Press(1, Right);
    s.Press(1, Right);
    for (int i = 0; i < 3; ++i) s.Press(1, Down);
    s.Press(1, Decide, 1000);
    s.Line("key VK_SNAPSHOT", 500);  // shot 0: the room
    s.Press(3, Decide, 1500);

    // Rules: the cost battle, its rate held down to 0.1, so one fall ends
    // it; then the second stage.
    s.Press(0, Right);
    for (int i = 0; i < 3; ++i) s.Press(0, Down);
    s.Hold(2, Left, 1500);
    s.Press(3, Decide, 1500);
    s.Press(3, Right);
    s.Press(1, Decide, 5500);

    // Two shots of the split screen (the stage loads on a machine of its
    // own pace), then the first slot's robot falls at battle frame 600; the
    // judge shows the result and returns to the room, whose cancel leaves
    // for the title.
    s.Line("key VK_SNAPSHOT", 2000);  // shot 1
    s.Line("key VK_SNAPSHOT", 18000); // shot 2
    s.Line("key VK_SNAPSHOT", 500);   // shot 3: the room again
    s.Press(0, Cancel, 3000);
    s.Line("key VK_SNAPSHOT", 1000);  // shot 4: the title
    s.Line("close");
    ASSERT_TRUE(play.temp.Write("play.script", s.text));

    GameProcess game(play.exe, play.run, play.Env({"QUILLON_TEST_FALL_FRAME=600"}), play.temp / "play.err");
    ASSERT_TRUE(game.Started());
    ASSERT_EQ(game.Wait(std::chrono::seconds(500)), 0) << play.temp.Read("play.err");

    plat::Image room, early, late, back, title;
    ASSERT_TRUE(play.Shot(0, room, "vsroom_room")) << play.temp.Read("play.err");
    ASSERT_TRUE(play.Shot(1, early, "vsroom_split_early"));
    ASSERT_TRUE(play.Shot(2, late, "vsroom_split"));
    ASSERT_TRUE(play.Shot(3, back, "vsroom_back"));
    ASSERT_TRUE(play.Shot(4, title, "vsroom_title"));

    // The room: four panels, each with a robot picture of its own at
    // (25 + 250 p, 92) of the layout (150 x 150 of it: a face and its
    // visor); team 0's bar blue, team 1's red.
    for (u32 p = 0; p < 4; ++p) {
        EXPECT_GE(Colours(room, L(25 + 250 * p), L(92), L(175 + 250 * p), L(242)), 2u) << "panel " << p;
        for (u32 q = p + 1; q < 4; ++q)
            EXPECT_GT(Difference(room, L(25 + 250 * p), L(92), room, L(25 + 250 * q), L(92), L(150), L(150)), 6.0)
                << "panels " << p << " and " << q << " show one robot";
    }
    EXPECT_GT(CountPixels(room, L(25), L(68), L(225), L(92), Blue), 400u);
    EXPECT_GT(CountPixels(room, L(275), L(68), L(475), L(92), Red), 400u);
    // Under each picture its robot's name, clear of the panel's frame line
    // (which covers at most the two columns at the panel's edge), so its
    // first letter is whole, not half under the line; and under each
    // face the pilot's name, tall enough to read: the smallest font scaled
    // to this window kept only the tops of its strokes.
    for (u32 p = 0; p < 4; ++p) {
        const u32 frame = L(25 + 250 * p);
        const std::vector<u32> robot = TextBox(room, frame, L(68 + 174), frame + L(200), L(68 + 198));
        ASSERT_EQ(robot.size(), 4u) << "panel " << p << " shows no robot name";
        EXPECT_GE(robot[0], frame + 3) << "panel " << p << ": the name's first letter is under the frame";
        const std::vector<u32> pilot = TextBox(room, frame, L(68 + 374), frame + L(200), L(68 + 400));
        ASSERT_EQ(pilot.size(), 4u) << "panel " << p << " shows no pilot name";
        EXPECT_GE(pilot[0], frame + 3) << "panel " << p;
        EXPECT_GE(pilot[3] - pilot[1] + 1, 8u) << "panel " << p << ": the pilot's name is cut short";
    }

    // The split screen in one of its shots (the other may still be loading).
    std::string early_why, late_why;
    EXPECT_TRUE(FourViews(early, &early_why) || FourViews(late, &late_why)) << early_why << "; " << late_why;
    EXPECT_TRUE(FourCockpits(early, &early_why) || FourCockpits(late, &late_why)) << early_why << "; " << late_why;
    EXPECT_TRUE(FourFaces(early, &early_why) || FourFaces(late, &late_why)) << early_why << "; " << late_why;
    EXPECT_GT(Difference(late, 0, 0, room, 0, 0, 640, 480), 10.0);

    // Pads 0, 1 and 2 stand on their slots' white ready bars: "1P" and "3P"
    // at the bar's left end, "2P" at its right, each dark on the white.
    const auto dark = [](u32 p) { return (p & 0xFF) < 100 && (p >> 8 & 0xFF) < 100 && (p >> 16 & 0xFF) < 100; };
    for (u32 p = 0; p < 3; ++p) {
        const u32 frame = L(25 + 250 * p);
        const u32 left = p == 1 ? frame + L(160) : frame + 3;
        const u32 right = p == 1 ? frame + L(197) : frame + L(40);
        EXPECT_GT(CountPixels(room, left, L(726), right, L(747), dark), 20u) << "pad " << p << "'s label on the ready bar";
    }
    // Between them "准备完毕" reads whole: the 24-pixel face shown 15 pixels
    // high is what that face draws at 15 pixels, bottom strokes and all.
    const TextCoverage ready("准备完毕", "黑体", 15);
    ASSERT_GT(ready.width, 0) << "no face to draw the label with";
    for (u32 p = 0; p < 3; ++p) {
        const int frame = int(L(25 + 250 * p));
        const int against =
            TextMismatch(room, ready, frame + int(L(40)), int(L(724)) - 2, frame + int(L(100)), int(L(724)) + 8, 0, true);
        EXPECT_LE(against * 50, ready.width * ready.height)
            << "slot " << p << "'s ready label: " << against << " pixels of " << ready.width << " x " << ready.height;
    }

    // Back in a fresh room (no marks), the team bars and slot 0's robot
    // where they were; then the title.
    EXPECT_GT(CountPixels(back, L(25), L(68), L(225), L(92), Blue), 400u);
    EXPECT_GT(CountPixels(back, L(275), L(68), L(475), L(92), Red), 400u);
    EXPECT_LT(Difference(back, L(25), L(92), room, L(25), L(92), L(150), L(150)), 3.0) << "slot 0's robot is still chosen";
    EXPECT_GT(Difference(title, 0, 0, back, 0, 0, 640, 480), 10.0) << "the title, not the room";
}

}  // namespace
