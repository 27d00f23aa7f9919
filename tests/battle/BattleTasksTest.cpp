#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/hud/TimeDisplay.h"
#include "battle/tasks/ModeTasks.h"
#include "battle/tasks/RadioCutIn.h"
#include "battle/tasks/SystemTasks.h"
#include "platform/input/Keyboard.h"
#include "support/SentMessages.h"
#include "support/BattleRunner.h"

namespace {

template <class T>
i32 CountTasks(CGameScene& scene)
{
    i32 n = 0;
    for (TCB* t = scene.tasks.GetHead()->next; t != scene.tasks.GetTail(); t = t->next)
        n += dynamic_cast<T*>(t) != nullptr;
    return n;
}

i32 scenesLoaded = 0;

}  // namespace

// A radio line opens its box in 7 frames, types a character every 4 frames,
// holds 60 frames after the last one and closes in 10, taking its display
// tasks with it.
TEST(BattleTasksTest, RadioLineOpensTypesHoldsAndCloses)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    TextureHandle face;
    auto* radio = GMTCB_Proc_MusenFaceDisp::Create(&scene.tasks, 10000);
    radio->StartText(&face, 300.0f, 200.0f, nullptr, "Pilot", "Go!", nullptr);
    ASSERT_NE(radio->face, nullptr);
    EXPECT_EQ(CountTasks<GMTCB_DrawSP_DispString2>(scene), 2);
    EXPECT_EQ(CountTasks<GMTCB_Draw_Line>(scene), 1);
    EXPECT_EQ(radio->face->scaleY, 0.0f);
    runner.RunFrames(7);
    EXPECT_EQ(radio->face->scaleY, 1.0f);
    EXPECT_EQ(radio->phase, 1);
    // "Go!" is typed out by frame 12 (typing starts with the box), then the hold starts.
    i32 frames = 0;
    while (radio->phase == 1 && frames < 100) frames += static_cast<i32>(runner.RunFrames(1));
    EXPECT_EQ(frames, 5);
    const u32 closedBy = 60 + 10;
    runner.RunFrames(closedBy - 1);
    EXPECT_EQ(CountTasks<GMTCB_Proc_MusenFaceDisp>(scene), 1);
    runner.RunFrames(2);
    EXPECT_EQ(CountTasks<GMTCB_Proc_MusenFaceDisp>(scene), 0);
    EXPECT_EQ(CountTasks<GMTCB_DrawSP_DispString2>(scene), 0);
    EXPECT_EQ(CountTasks<GMTCB_DrawPS_Picture2>(scene), 0);
    EXPECT_EQ(CountTasks<GMTCB_Draw_Line>(scene), 0);
}

// The battle time shows whole seconds with at least three digits and stops
// once a judge has decided the battle.
TEST(BattleTasksTest, BattleTimeCountsAndShowsSeconds)
{
    const struct {
        i32 frames;
        const char* text;
    } cases[] = {{0, "000"}, {59, "000"}, {60, "001"}, {60000, "1000"}};
    for (const auto& c : cases) {
        char text[32];
        FormatBattleTime(text, sizeof text, c.frames);
        EXPECT_STREQ(text, c.text);
    }
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    runner.RunFrames(10);
    EXPECT_EQ(scene.battleTime, 10u);
    // A player's pause counts on; an online battle's wait for a late input
    // does not, as the other clients never waited it.
    scene.paused = 1;
    runner.RunFrames(2);
    EXPECT_EQ(scene.battleTime, 12u);
    scene.paused = kPausedWaitingOnline;
    runner.RunFrames(5);
    EXPECT_EQ(scene.battleTime, 12u);
    scene.paused = 0;
    scene.battleEnd = 1;
    runner.RunFrames(10);
    EXPECT_EQ(scene.battleTime, 12u);
}

// Function keys switch the battle's display options once per press; the
// radio keys set the own robot's line and then wait 60 frames.
TEST(BattleTasksTest, SystemKeysActOncePerPress)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    CApplication& app = *GetApplication();
    app.video.disableShader = 0;
    app.video.shadow = 2;
    scene.shadowOn = 0;
    const u32 shown = scene.chatLogShown;
    auto hold = [&](i32 key, bool down) {
        app.input.keyTable[key] = down ? 0x80 : 0;
        plat::SetKeyDown(key, down);
    };
    hold(plat::vk::F1 + 4, true);
    hold(plat::vk::F1 + 6, true);
    runner.RunFrames(3);
    EXPECT_EQ(scene.shadowOn, 1u);
    EXPECT_NE(scene.chatLogShown, shown);
    hold(plat::vk::F1 + 4, false);
    hold(plat::vk::F1 + 6, false);
    runner.RunFrames(1);
    hold('3', true);
    runner.RunFrames(1);
    EXPECT_EQ(scene.radioVoiceWait, 60);
    hold('3', false);
    runner.RunFrames(59);
    EXPECT_EQ(scene.radioVoiceWait, 1);
    scene.chatInputActive = 1;
    hold('4', true);
    runner.RunFrames(2);
    EXPECT_EQ(scene.radioVoiceWait, 0) << "no radio key while the chat line is open";
    hold('4', false);
    app.video.shadow = 0;
}

// The online set-up starts the generator from the room's value, takes the
// rule's tasks, waits for the other clients and tells the server it loaded.
TEST(BattleTasksTest, OnlineSetUpFollowsTheRoomRule)
{
    SentMessages server;
    server.sceneLoaded = [] { ++scenesLoaded; };
    RoomState& room = GetRoomState();
    for (u8 rule : {u8(0), u8(1), u8(3)}) {
        SCOPED_TRACE(rule);
        room.rule = rule;
        room.battleStartValue = 1234;
        room.ownSlot = 2;
        room.repairState = 1;
        scenesLoaded = 0;
        GetApplication()->gameSettings.timeLimit = 3;
        BattleRunnerOptions options;
        options.mode = GameMode::Online;
        options.stage = 0;
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        EXPECT_EQ(scenesLoaded, 1);
        EXPECT_EQ(room.repairState, 0u);
        EXPECT_EQ(scene.playerSlot, 2u);
        EXPECT_EQ(scene.views[0].player, 2u);
        EXPECT_TRUE(scene.frameProc == &CGameScene::Proc_NetWaitStart);
        EXPECT_NE(scene.netDetailTask, nullptr);
        EXPECT_EQ(scene.battleTime, rule == 1 ? 3u * 3600u : 0u);
        EXPECT_EQ(CountTasks<GMTCB_Judge_NetTeamSurvival>(scene), rule == 0 ? 1 : 0);
        EXPECT_EQ(CountTasks<GMTCB_Proc_TimeDec>(scene), rule == 1 ? 1 : 0);
        EXPECT_EQ(CountTasks<GMTCB_DrawSP_TeamCostDisp>(scene), rule == 3 ? 1 : 0);
    }
    room = RoomState();
    GetApplication()->gameSettings.timeLimit = 0;
}
