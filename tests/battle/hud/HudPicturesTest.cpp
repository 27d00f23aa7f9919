// The head-up display on the OpenGL device (a hidden offscreen window): the
// cockpit over a real battle, a kill message and each mode's pause menu,
// read back and kept as pictures in the run folder; and a battle drawn in
// full giving the same state, frame after frame, as one never drawn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/MatrixHelpers.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/KillMessage.h"
#include "battle/pause/PauseMenu.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/gfx/Image.h"
#include "robot/Robot.h"
#include "support/BattleHash.h"
#include "support/BattleRunner.h"

namespace {

constexpr i32 kWidth = 1024, kHeight = 768;

// What the start-up gives every scene: the dot and digit pictures, the
// text target and the fonts the display draws with.
void LoadDisplayBasics()
{
    CApplication& app = *GetApplication();
    for (auto [slot, file] : {std::pair{0, "Quillon/dot.png"}, std::pair{3, "Quillon/digifont.png"}})
        app.sharedTextures[slot].LoadScrambled(file, plat::kGfxFromFile, plat::kGfxFromFile, 1, 0,
                                               plat::kGfxFormatFromFile, plat::GfxPool::Managed,
                                               plat::ImageFilterNone, plat::ImageFilterNone, 0, nullptr, AssetKey);
    CreateTextRenderTarget(kWidth, kHeight);
    GraphicsDevice* gd = GetGraphicsDevice();
    for (i32 slot = 0; slot < 9; ++slot) gd->CreateFont(slot, "黑体", slot == 2 ? 48 : slot == 1 ? 24 : 14);
}

void ReleaseDisplayBasics()
{
    CApplication& app = *GetApplication();
    app.sharedTextures[0].Release();
    app.sharedTextures[3].Release();
    GetTextureCache()->Clear();
    ReleaseTextRenderTarget();
}

struct Shot {
    std::vector<u32> pixels;
    u32 At(i32 x, i32 y) const { return pixels[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] & 0xFFFFFF; }
    // Pixels in a box whose colour passes a test.
    u32 Count(i32 left, i32 top, i32 right, i32 bottom, bool (*test)(u32)) const
    {
        u32 n = 0;
        for (i32 y = top; y < bottom; ++y)
            for (i32 x = left; x < right; ++x) n += test(At(x, y)) ? 1 : 0;
        return n;
    }
};

Shot Take(CGameScene& scene, const std::string& name)
{
    scene.DrawViews();
    GraphicsDevice* gd = GetGraphicsDevice();
    Shot s;
    const plat::GfxRect all{0, 0, kWidth, kHeight};
    gd->device->ReadPixels(gd->backBuffer, &all, &s.pixels);
    if (s.pixels.size() == static_cast<size_t>(kWidth * kHeight))
        plat::SavePng((name + ".png").c_str(), s.pixels.data(), kWidth, kHeight, false);
    return s;
}

bool Reddish(u32 c)
{
    const i32 r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return r > 90 && r > g + 60 && r > b + 60;
}
bool Bright(u32 c) { return ((c >> 16) & 0xFF) > 200 && ((c >> 8) & 0xFF) > 200 && (c & 0xFF) > 200; }

}  // namespace

// The cockpit over a battle: gauges along the bottom, the radar with its
// blips in the top right, the lock marker on the target; then a kill
// message across the middle, and the pause menu of each layout.
TEST(HudPictures, CockpitKillMessageAndPauseMenusReachTheScreen)
{
    BattleRunnerOptions options;
    options.openGL = true;
    BattleRunner runner(options);
    CGameScene* scene = runner.Scene();
    ASSERT_NE(scene, nullptr);
    LoadDisplayBasics();
    runner.RunFrames(140);  // past the opening fade
    scene->currentView = &scene->views[0];
    auto* me = static_cast<CRobot_Normal*>(scene->robotTable[0]);
    auto* other = static_cast<CRobot_Normal*>(scene->robotTable[1]);
    ASSERT_TRUE(me && other);
    me->lockTarget = other;
    me->lockFade = 1.0f;
    me->boostGauge = me->boostGaugeMax = 1000;
    me->chargeGauge = 10000;
    // A camera held behind and above the target, so its marker is on screen.
    scene->cameraMode = 1;
    const Mat4* aim = other->GetTargetMatrix();
    ASSERT_NE(aim, nullptr);
    const Vec3 target(aim->m[3][0], aim->m[3][1], aim->m[3][2]);
    Matrix camera;
    camera.m[3][0] = target.x + 3.0f;
    camera.m[3][1] = target.y + 2.0f;
    camera.m[3][2] = target.z - 12.0f;
    camera.MatrixLookAtPoint(target, Vec3(0, 1, 0));
    scene->camera.world = camera;

    const Shot cockpit = Take(*scene, "hud_cockpit");
    ASSERT_EQ(cockpit.pixels.size(), static_cast<size_t>(kWidth * kHeight));
    Shot bare;
    scene->hudHideBits = 3;
    bare = Take(*scene, "hud_hidden");
    scene->hudHideBits = 0;
    // An online battle waiting for a late input keeps its cockpit; a pause
    // the player sees (menu, judge) takes it away.
    scene->paused = kPausedWaitingOnline;
    const Shot waiting = Take(*scene, "hud_waiting_for_input");
    scene->paused = 1;
    const Shot stopped = Take(*scene, "hud_paused");
    scene->paused = 0;
    auto between = [](const Shot& a, const Shot& b, i32 l, i32 t, i32 r, i32 bottom) {
        u32 n = 0;
        for (i32 y = t; y < bottom; ++y)
            for (i32 x = l; x < r; ++x) n += a.At(x, y) != b.At(x, y);
        return n;
    };
    auto differs = [&](i32 l, i32 t, i32 r, i32 b) { return between(cockpit, bare, l, t, r, b); };
    EXPECT_GT(differs(512, 709, 900, 740), 500u) << "boost gauge";
    EXPECT_GT(differs(202, 709, 480, 740), 500u) << "energy gauge";
    EXPECT_GT(differs(808, 10, 1008, 210), 2000u) << "radar";
    EXPECT_EQ(between(waiting, cockpit, 0, 0, kWidth, kHeight), 0u) << "waiting for input";
    EXPECT_EQ(between(stopped, bare, 202, 709, 900, 740), 0u) << "gauges while paused";
    EXPECT_EQ(between(stopped, bare, 808, 10, 1008, 210), 0u) << "radar while paused";
    ASSERT_GT(other->screenPos.z, 0.0f);
    const i32 x = static_cast<i32>(other->screenPos.x), y = static_cast<i32>(other->screenPos.y);
    ASSERT_TRUE(x > 70 && x < kWidth - 70 && y > 70 && y < kHeight - 70) << x << "," << y;
    EXPECT_GT(cockpit.Count(x - 66, y - 66, x + 66, y + 66, Reddish), 300u) << "lock marker";

    ShowRewardMessage(me, "KILL MESSAGE KILL MESSAGE");
    runner.RunFrames(1);
    const Shot kill = Take(*scene, "hud_kill_message");
    EXPECT_GT(kill.Count(150, 440, 874, 530, Bright), 200u) << "kill message";

    struct Menu {
        void (*build)(PauseMenuTask*, CGameScene*);
        const char* name;
    } menus[] = {{BuildPauseMenu_Battle, "hud_pause_battle"},
                 {BuildPauseMenu_Arcade, "hud_pause_arcade"},
                 {BuildPauseMenu_Local, "hud_pause_local"},
                 {BuildPauseMenu_Online, "hud_pause_online"}};
    for (const Menu& m : menus) {
        auto* menu = GMTCB_Proc_Pause_SurvivalMode::Create(&scene->tasks, 1);
        m.build(menu, scene);
        runner.RunFrames(1);
        const Shot shot = Take(*scene, m.name);
        // The red bar behind the first item, the items in white.
        EXPECT_GT(shot.Count(0, 204, 1024, 244, Reddish), 20000u) << m.name;
        EXPECT_GT(shot.Count(300, 200, 724, 260, Bright), 50u) << m.name;
        EXPECT_GT(shot.Count(300, 300, 724, 360, Bright), 50u) << m.name;
        GetApplication()->input.keyTable[27] = 0x80;
        runner.RunFrames(1);
        GetApplication()->input.keyTable[27] = 0;
        runner.RunFrames(1);
        scene->paused = 0;
    }
    ReleaseDisplayBasics();
}

// Camera, speed lines, overlays and radar draw only from the application's
// generator: a battle drawn in full on OpenGL keeps the same state frame by
// frame as the same battle never drawn.
TEST(HudPictures, DrawingChangesNothing)
{
    auto run = [](bool draw) {
        BattleRunnerOptions options = MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1, 2}, {6, 8, 10}, false);
        options.openGL = draw;
        options.seed = 77;
        BattleRunner runner(options);
        std::vector<std::string> hashes;
        if (!runner.Scene()) return hashes;
        if (draw) LoadDisplayBasics();
        GetApplication()->frameDrawn = draw ? 1 : 0;
        for (u32 f = 1; f <= 360 && runner.RunFrames(1) == 1; ++f)
            if (f % 20 == 0) hashes.push_back(FormatBattleHash(f, HashBattle(*runner.Scene())));
        GetApplication()->frameDrawn = 1;
        if (draw) ReleaseDisplayBasics();
        return hashes;
    };
    const std::vector<std::string> headless = run(false);
    const std::vector<std::string> drawn = run(true);
    ASSERT_EQ(headless.size(), 18u);
    EXPECT_EQ(drawn, headless);
}

// Four players share the window: every quarter shows its robot's whole
// cockpit, the full-screen layout scaled into the quarter (half size), not
// the piece of a full-size cockpit that happens to fall inside it.
TEST(HudPictures, EachQuarterOfAFourWaySplitShowsAWholeCockpit)
{
    BattleRunnerOptions options = MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1, 2, 3}, {1}, false);
    for (i32& slot : options.slotState) slot = 1;
    options.openGL = true;
    BattleRunner runner(options);
    CGameScene* scene = runner.Scene();
    ASSERT_NE(scene, nullptr);
    LoadDisplayBasics();
    runner.RunFrames(140);
    for (i32 v = 0; v < 4; ++v) {
        const plat::GfxViewport& vp = scene->views[v].viewport;
        ASSERT_TRUE(scene->views[v].active) << v;
        ASSERT_EQ(vp.x, static_cast<u32>(v % 2 * kWidth / 2)) << v;
        ASSERT_EQ(vp.y, static_cast<u32>(v / 2 * kHeight / 2)) << v;
        ASSERT_EQ(vp.width, static_cast<u32>(kWidth / 2)) << v;
    }
    // Labels over robots and threat markers stay off in both shots, so the
    // shots differ by the cockpit and radar alone.
    const i32 threatLevel = GetApplication()->video.viewMode;
    GetApplication()->video.viewMode = 2;
    scene->hudHideBits = 2;
    const Shot cockpit = Take(*scene, "hud_split");
    scene->hudHideBits = 3;
    const Shot bare = Take(*scene, "hud_split_hidden");
    scene->hudHideBits = 0;
    GetApplication()->video.viewMode = threatLevel;
    ASSERT_EQ(cockpit.pixels.size(), static_cast<size_t>(kWidth * kHeight));

    // Layout rectangles of the full screen and how many of their pixels (at
    // full size) the cockpit changes at least.
    struct Element {
        const char* name;
        i32 left, top, right, bottom;
        u32 atLeast;
    } const elements[] = {
        {"boost gauge", 512, 709, 900, 740, 500},   {"energy gauge", 202, 709, 480, 740, 500},
        {"radar", 808, 10, 1008, 210, 2000},        {"kills and score", 10, 10, 266, 100, 2000},
        {"pilot window", 1, 475, 200, 640, 2000},   {"weapon gauges", 925, 664, 1020, 735, 400},
        {"hp", 2, 675, 150, 740, 400},
    };
    for (i32 v = 0; v < 4; ++v) {
        const plat::GfxViewport& vp = scene->views[v].viewport;
        const auto x = [&](i32 layout) { return static_cast<i32>(vp.x) + layout * static_cast<i32>(vp.width) / 1024; };
        const auto y = [&](i32 layout) { return static_cast<i32>(vp.y) + layout * static_cast<i32>(vp.height) / 768; };
        for (const Element& e : elements) {
            u32 n = 0;
            for (i32 py = y(e.top); py < y(e.bottom); ++py)
                for (i32 px = x(e.left); px < x(e.right); ++px) n += cockpit.At(px, py) != bare.At(px, py);
            EXPECT_GT(n, e.atLeast / 4) << e.name << " in view " << v;
        }
    }
    ReleaseDisplayBasics();
}
