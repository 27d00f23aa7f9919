#include <gtest/gtest.h>

#include <string>

#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "app/player/PlayerProfile.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/pause/PauseMenu.h"
#include "battle/tasks/ModeTasks.h"
#include "platform/input/Mouse.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"
#include "support/SaveFolderFixture.h"
#include "support/TempFolder.h"

namespace {

template <class T>
T* FindTask(CGameScene& scene)
{
    for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
        if (auto* found = dynamic_cast<T*>(t)) return found;
    return nullptr;
}

template <class T>
i32 CountTasks(CGameScene& scene)
{
    i32 n = 0;
    for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
        n += dynamic_cast<T*>(t) != nullptr;
    return n;
}

// One press: held for a frame, released for a frame.
void Press(BattleRunner& runner, i32 key)
{
    u8* keys = GetApplication()->input.keyTable;
    keys[key] = 0x80;
    runner.RunFrames(1);
    keys[key] = 0;
    runner.RunFrames(1);
}

bool Starts(const char* text, const char* prefix) { return std::string(text).rfind(prefix, 0) == 0; }

}  // namespace

// Every offline mode's menu: Escape opens it and stops the battle, the
// cursor wraps both ways, the description follows the cursor, photo mode
// hides the menu and flies the camera until Enter or Escape, and a second
// Escape resumes, taking every piece of the menu away.
TEST(PauseMenu, OpensWrapsTakesPhotosAndResumesInEveryMode)
{
    struct Case {
        GameMode mode;
        i32 items;
        u8 wholeWindow;
        const char* last;
    } cases[] = {
        {GameMode::Arcade, 3, 1, "返回标题"},
        {GameMode::Survival, 4, 0, "返回标题"},
        {GameMode::Practice, 4, 0, "返回标题"},
        {GameMode::Team, 4, 0, "返回标题"},
        {GameMode::LocalBattle, 4, 1, "返回标题"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        BattleRunnerOptions options;
        options.mode = c.mode;
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        runner.RunFrames(1);
        const i32 lines = CountTasks<GMTCB_DrawSP_DispString2>(scene), covers = CountTasks<GMTCB_DrawPS_Black>(scene);
        Press(runner, 27);
        const u32 frozen = scene.battleFrame;
        auto* menu = FindTask<PauseMenuTask>(scene);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(scene.paused, 1u);
        EXPECT_EQ(menu->count, c.items);
        EXPECT_EQ(menu->fade->wholeWindow, c.wholeWindow);
        EXPECT_TRUE(Starts(menu->items[0]->text, "继续作战"));
        EXPECT_TRUE(Starts(menu->items[c.items - 1]->text, c.last));
        EXPECT_EQ(std::string(menu->helpLine->text), menu->help[0]);
        // A second Escape in the same press opens nothing more.
        EXPECT_EQ(CountTasks<PauseMenuTask>(scene), 1);

        Press(runner, 38);  // up from the first wraps to the last
        EXPECT_EQ(menu->cursor, c.items - 1);
        EXPECT_EQ(menu->bar->y, 200 + 100 * (c.items - 1));
        EXPECT_EQ(std::string(menu->helpLine->text), menu->help[c.items - 1]);
        Press(runner, 40);  // down from the last wraps to the first
        EXPECT_EQ(menu->cursor, 0);
        Press(runner, 40);
        EXPECT_EQ(menu->cursor, 1);

        Press(runner, 13);  // photo mode
        EXPECT_EQ(scene.freeCameraMode, 1u);
        EXPECT_EQ(menu->items[0]->visible, 0u);
        EXPECT_EQ(menu->fade->alpha, 0);
        EXPECT_EQ(scene.paused, 1u);
        Press(runner, 27);  // back to the menu, not the battle
        EXPECT_EQ(scene.freeCameraMode, 0u);
        EXPECT_EQ(menu->items[0]->visible, 1u);
        EXPECT_EQ(scene.paused, 1u);
        ASSERT_EQ(FindTask<PauseMenuTask>(scene), menu);
        // The battle stood still throughout.
        EXPECT_EQ(scene.battleFrame, frozen);

        Press(runner, 27);  // resume
        EXPECT_EQ(scene.paused, 0u);
        EXPECT_EQ(CountTasks<PauseMenuTask>(scene), 0);
        EXPECT_EQ(CountTasks<GMTCB_DrawSP_DispString2>(scene), lines);
        EXPECT_EQ(CountTasks<GMTCB_DrawPS_Beta>(scene), 0);
        EXPECT_EQ(CountTasks<GMTCB_DrawPS_Black>(scene), covers);
    }
}

// The online menu leaves the battle running; its mouse photo mode hides the
// cursor and the cockpit and gives both back, even when the scene goes first.
// Closing it hands back the chat line and leaves the pause flag alone only
// while the battle still runs. Leaving costs a player 10,000 experience from
// two minutes of game clock on, a spectator nothing.
TEST(PauseMenu, OnlineMenuRunsOnAndLeavingLateCostsExperience)
{
    EXPECT_FALSE(LeavingCostsExperience(119 * 60 + 59, 0));
    EXPECT_TRUE(LeavingCostsExperience(120 * 60, 0));
    EXPECT_FALSE(LeavingCostsExperience(600 * 60, static_cast<i32>(kSpectatorTeam)));

    TempFolder temp;
    ScopedEnv dataHome{"XDG_DATA_HOME", temp.Path().c_str()};
    BattleRunner runner(BattleRunnerOptions{});
    CGameScene& scene = *runner.Scene();
    // With chat on, the battle's chat line waits while a menu is open: Enter
    // picks an item and opens no chat line; resuming gives the line back.
    CApplication& app = *GetApplication();
    scene.battleSettings.chat = 1;  // a battle of a room with chat
    app.textInputHandler = &CGameScene::ChatHook;
    auto* first = GMTCB_Proc_Pause_OnlineMode::Create(&scene.tasks, 1);
    BuildPauseMenu_Online(first, &scene);
    EXPECT_EQ(app.textInputHandler, nullptr);
    Press(runner, 40);
    for (i32 i = 0; i < 2; ++i) {  // photo mode, and back, as the window hands Enter on too
        if (app.textInputHandler) app.textInputHandler(MessageKeyDown, 13, 1);
        Press(runner, 13);
    }
    EXPECT_EQ(scene.freeCameraMode, 0u);
    EXPECT_EQ(scene.chatInputActive, 0u);
    EXPECT_EQ(app.textInputHandler, nullptr);
    Press(runner, 27);
    EXPECT_EQ(CountTasks<PauseMenuTask>(scene), 0);
    EXPECT_EQ(app.textInputHandler, &CGameScene::ChatHook);
    // A menu closed while the battle waits for a late input leaves the wait
    // to the lockstep; one closed after the judge decided (taking the chat
    // line away) leaves the result decided and Enter to the result.
    auto* waiting = GMTCB_Proc_Pause_OnlineMode::Create(&scene.tasks, 1);
    BuildPauseMenu_Online(waiting, &scene);
    scene.paused = kPausedWaitingOnline;
    Press(runner, 27);
    EXPECT_EQ(scene.paused, kPausedWaitingOnline);
    EXPECT_EQ(app.textInputHandler, &CGameScene::ChatHook);
    auto* decided = GMTCB_Proc_Pause_OnlineMode::Create(&scene.tasks, 1);
    BuildPauseMenu_Online(decided, &scene);
    scene.paused = 1;
    scene.battleEnd = 1;
    app.textInputHandler = nullptr;
    Press(runner, 27);
    EXPECT_EQ(CountTasks<PauseMenuTask>(scene), 0);
    EXPECT_EQ(scene.paused, 1u);
    EXPECT_EQ(app.textInputHandler, nullptr);
    scene.paused = 0;
    scene.battleEnd = 0;
    scene.battleSettings.chat = 0;

    auto* menu = GMTCB_Proc_Pause_OnlineMode::Create(&scene.tasks, 1);
    BuildPauseMenu_Online(menu, &scene);
    EXPECT_EQ(menu->count, 5);
    EXPECT_EQ(menu->helpLine->format, 0x11u);
    const u32 frame = scene.battleFrame;
    runner.RunFrames(3);
    EXPECT_EQ(scene.battleFrame, frame + 3);  // not paused

    Press(runner, 40);
    Press(runner, 40);
    Press(runner, 13);  // mouse photo
    EXPECT_EQ(scene.freeCameraMode, 2u);
    EXPECT_FALSE(plat::SystemCursorShown());
    EXPECT_EQ(scene.hudHideBits & 1u, 1u);
    Press(runner, 13);
    EXPECT_TRUE(plat::SystemCursorShown());
    EXPECT_EQ(scene.hudHideBits & 1u, 0u);
    Press(runner, 13);  // hidden again, then the scene is deleted under it
    EXPECT_FALSE(plat::SystemCursorShown());
    {
        CApplication& app = *GetApplication();
        app.Profile().exp = 4000;
        scene.battleTime = 120 * 60;
        CRobot_Base* own = scene.robotTable[static_cast<i32>(scene.playerSlot)];
        ASSERT_NE(own, nullptr);
        own->displayTeam = 0;
        menu->state = &PauseMenuTask::MenuState;
        menu->cursor = 3;  // the waiting room: no room scene, so the title
        u8* keys = app.input.keyTable;
        keys[13] = 0x80;
        EXPECT_EQ(runner.RunFrames(1), 1u);
        keys[13] = 0;
        EXPECT_EQ(FindGameScene(), nullptr);
        EXPECT_EQ(app.Profile().exp, 0u);
        EXPECT_TRUE(plat::SystemCursorShown());
        BaseScene* title = app.currentScene;
        app.currentScene = nullptr;
        delete title;
    }
}

// Whatever the mode, the battle's end closes an open menu, photo modes and
// all, before the result is drawn: nothing of it is left to draw or to take
// a key, and no other opens. A player whose menu stood on the way back to
// the room steps through the result with Enter and is saved with the
// experience of the result alone, never the leaving penalty; one who
// closes the window on the result instead, at its picture, its table or
// its experience notice, is saved with what Enter would have saved.
TEST(PauseMenu, TheBattlesEndClosesTheMenuAndChargesNoPenaltyInEveryMode)
{
    TempFolder temp;
    ScopedEnv dataHome{"XDG_DATA_HOME", temp.Path().c_str()};
    enum class Open { Photo, MousePhoto, WayToRoom };
    struct Case {
        const char* name;
        GameMode mode;
        i32 rule;  // the online rule, -1 offline
        Open open;
        i32 gain;  // the saved experience's change
        i32 closeAfter = -1;  // Enters on the result before the window closes; -1 Enter to the end
    } cases[] = {
        {"survival", GameMode::Survival, -1, Open::Photo, 0},
        {"team battle", GameMode::Team, -1, Open::Photo, 0},
        {"local battle", GameMode::LocalBattle, -1, Open::Photo, 0},
        {"online team survival", GameMode::Survival, 0, Open::WayToRoom, 20000},
        {"online time survival", GameMode::Survival, 1, Open::MousePhoto, 20000},
        {"online interception", GameMode::Survival, 2, Open::WayToRoom, 0},
        {"online team cost", GameMode::Survival, 3, Open::WayToRoom, 20000},
        {"online team survival closed on its picture", GameMode::Survival, 0, Open::WayToRoom, 20000, 0},
        {"online team cost closed on its table", GameMode::Survival, 3, Open::WayToRoom, 20000, 1},
        {"online time survival closed on its notice", GameMode::Survival, 1, Open::MousePhoto, 20000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BattleRunnerOptions options = c.mode == GameMode::LocalBattle
                                          ? MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1}, {1, 1}, true)
                                          : BattleRunnerOptions{};
        if (c.mode == GameMode::Team) options = MakeBattleOptions(GameMode::Team, 0, {0}, {1}, true);
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        GetRoomState().ownSlot = 0;
        scene.playerSlot = 0;
        ASSERT_TRUE(StartProfile("Tester", 50000));
        scene.battleTime = 150 * 60;  // long enough to count, and to cost a leaving
        CRobot_Base* own = scene.robotTable[0];
        CRobot_Base* enemy = scene.robotTable[1];
        ASSERT_NE(own, nullptr);
        ASSERT_TRUE(enemy || c.mode == GameMode::Team);  // the team battle's enemies are squads
        own->displayTeam = own->team = 0;
        if (enemy) enemy->displayTeam = enemy->team = 1;
        GMTCB_JudgeBase* judge = nullptr;
        switch (c.rule) {
        case 0: judge = GMTCB_Judge_NetTeamSurvival::Create(&scene.tasks, 1); break;
        case 1: judge = GMTCB_Judge_NetTimeSurvival::Create(&scene.tasks, 1); break;
        case 2: judge = GMTCB_Judge_NetGeigekisen::Create(&scene.tasks, 1); break;
        case 3: judge = GMTCB_Judge_NetTeamCost::Create(&scene.tasks, 1); break;
        default: judge = FindTask<GMTCB_JudgeBase>(scene); break;
        }
        ASSERT_NE(judge, nullptr);
        judge->scene = &scene;
        // Two teams fight on: one unit of each, each with cost left.
        scene.battleFrame = 1;  // no interception wave joins
        scene.teamUnits[0] = scene.teamUnits[1] = 1;
        scene.teamsPresent[0] = scene.teamsPresent[1] = 1;
        scene.teamCosts[0] = scene.teamCosts[1] = 10;
        runner.RunFrames(1);
        ASSERT_EQ(scene.battleEnd, 0u);
        const i32 lines = CountTasks<GMTCB_DrawSP_DispString2>(scene);

        if (c.rule < 0) {
            Press(runner, 27);
        } else {
            auto* menu = GMTCB_Proc_Pause_OnlineMode::Create(&scene.tasks, 1);
            BuildPauseMenu_Online(menu, &scene);
        }
        auto* menu = FindTask<PauseMenuTask>(scene);
        ASSERT_NE(menu, nullptr);
        const i32 downs = c.open == Open::Photo ? 1 : (c.open == Open::MousePhoto ? 2 : 3);
        for (i32 i = 0; i < downs; ++i) Press(runner, 40);
        if (c.open != Open::WayToRoom) Press(runner, 13);
        EXPECT_EQ(scene.freeCameraMode, c.open == Open::WayToRoom ? 0u : (c.open == Open::Photo ? 1u : 2u));

        // The battle is decided as the mode decides it; the offline judges
        // wait while a menu pauses the battle, so for them the pause is
        // lifted under the open menu.
        switch (c.rule) {
        case -1:
            if (c.mode == GameMode::Survival) {
                own->state = kRobotStateDown;
                own->restBody = 0;
            } else if (c.mode == GameMode::Team) {
                scene.teamUnits[0] = 1;
                scene.teamUnits[1] = 0;
            } else {
                enemy->state = kRobotStateNone;
                enemy->restBody = 0;
            }
            scene.paused = 0;
            break;
        case 0:
            enemy->state = kRobotStateOut;
            enemy->restBody = 0;
            break;
        case 1: scene.battleTime = 0; break;
        case 2: scene.teamUnits[0] = 0; break;
        case 3: scene.teamCosts[1] = 0; break;
        }
        own->score = 0;
        if (enemy) enemy->score = 0;
        judge->Proc();  // decides now, before the list runs the next frame
        ASSERT_EQ(scene.battleEnd, 1u);
        runner.RunFrames(1);
        EXPECT_EQ(CountTasks<PauseMenuTask>(scene), 0);
        EXPECT_EQ(CountTasks<GMTCB_DrawPS_Beta>(scene), 0);
        EXPECT_EQ(CountTasks<GMTCB_DrawSP_DispString2>(scene), lines);
        EXPECT_EQ(scene.freeCameraMode, 0u);
        EXPECT_EQ(scene.hudHideBits & 1u, 0u);
        EXPECT_TRUE(plat::SystemCursorShown());
        EXPECT_EQ(scene.paused, 1u) << "the result holds the battle";
        EXPECT_FALSE(scene.OpenPauseMenu()) << "Escape on a result opens a menu";
        if (c.rule < 0) continue;

        PlayerProfile saved;
        if (c.closeAfter >= 0) {
            for (i32 i = 0; i < c.closeAfter; ++i) Press(runner, 13);
            ASSERT_EQ(saved.Load("Tester"), 1);
            EXPECT_EQ(saved.exp, 50000u) << "saved before the window closed";
            GetApplication()->closeRequest = 1;
            runner.RunFrames(1);
            ASSERT_EQ(saved.Load("Tester"), 1);
            EXPECT_EQ(saved.exp, u32(50000 + c.gain)) << "closing the window on a decided result";
            runner.RunFrames(1);
            ASSERT_EQ(saved.Load("Tester"), 1);
            EXPECT_EQ(saved.exp, u32(50000 + c.gain)) << "saved once";
            continue;
        }

        // Enter, as a player who thinks the menu is still there presses it,
        // until the judge has saved the experience and asked for the room.
        bool tableSeen = false;
        for (i32 i = 0; i < 300; ++i) {
            tableSeen = tableSeen || (judge->table && judge->table->show);
            if (tableSeen && !judge->table->show && !judge->expGet) break;
            Press(runner, 13);
            ASSERT_NE(FindGameScene(), nullptr) << "left the battle from a closed menu";
        }
        ASSERT_NE(FindGameScene(), nullptr);
        ASSERT_EQ(saved.Load("Tester"), 1);
        EXPECT_EQ(saved.exp, u32(50000 + c.gain));
        // Nor does closing the window on the result desert the battle.
        GetApplication()->closeRequest = 1;
        runner.RunFrames(1);
        ASSERT_EQ(saved.Load("Tester"), 1);
        EXPECT_EQ(saved.exp, u32(50000 + c.gain)) << "closing the window on a result";
    }
}
