// The mode judges on real battles: when each decides, what it shows, what
// it records and where it leaves to.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "app/player/PlayerProfile.h"
#include "app/player/RoomState.h"
#include "app/scene/ExpGet.h"
#include "battle/GameScene.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/tasks/ModeTasks.h"
#include "battle/tasks/SystemTasks.h"
#include "platform/input/Keyboard.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"
#include "support/SaveFolderFixture.h"
#include "support/TempFolder.h"

namespace {

template <class T>
T* FindTask(CList<TCB>& list)
{
    for (TCB* t = list.GetHead()->next; t && t != list.GetTail(); t = t->next)
        if (auto* found = dynamic_cast<T*>(t)) return found;
    return nullptr;
}

void HoldEnter(bool down) { GetApplication()->input.keyTable[plat::vk::Return] = down ? 0x80 : 0; }

// Deletes the title a judge switched to, so the next battle starts clean.
void DropTitle()
{
    CApplication& app = *GetApplication();
    BaseScene* title = app.currentScene;
    app.currentScene = nullptr;
    delete title;
}

// Slot 0's robot the last of team 0 standing, the other three out on team
// 1, every one with the score given.
void OnlyTeamZeroLeft(CGameScene& scene, i32 score)
{
    for (i32 i = 0; i < 4; ++i) {
        CRobot_Base* r = scene.robotTable[i];
        r->team = r->displayTeam = i == 0 ? 0 : 1;
        r->restBody = i == 0 ? 1 : 0;
        r->state = i == 0 ? kRobotStateLive : kRobotStateOut;
        r->score = score;
    }
}

// A local battle of four robots on teams 0..3 (slot 0 the player's).
BattleRunnerOptions FourRobots()
{
    return MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1, 2, 3}, {1, 1, 1, 1}, true);
}

}  // namespace

// Offline: the team battle is lost when the player's robot is gone though
// its team lives, and Enter leaves for the title; the local battle with
// every robot out ends with the won picture and leaves by itself after 241
// frames; the demonstration survival battle goes to the title without a
// ranking entry.
TEST(Judges, OfflineModesDecideShowAndLeave)
{
    CApplication& app = *GetApplication();
    {
        BattleRunner runner(MakeBattleOptions(GameMode::Team, 0, {0}, {1}, true));
        CGameScene& scene = *runner.Scene();
        auto* judge = FindTask<GMTCB_Judge_TeamBattleMode>(scene.tasks);
        ASSERT_NE(judge, nullptr);
        ASSERT_EQ(judge->scene, &scene);
        scene.paused = 0;
        scene.teamUnits[0] = 3;
        scene.teamUnits[1] = 2;
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        EXPECT_EQ(judge->picture, nullptr);
        scene.robotTable[0]->state = kRobotStateNone;
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        ASSERT_NE(judge->picture, nullptr);
        EXPECT_EQ(judge->won, 0);
        EXPECT_EQ(scene.paused, 1u);
        for (int i = 0; i < 200; ++i) judge->Proc();
        EXPECT_EQ(judge->picture->alpha, 255);
        HoldEnter(true);
        EXPECT_EQ(judge->Proc(), kTaskSceneReplaced);
        HoldEnter(false);
        EXPECT_EQ(FindGameScene(), nullptr);
        DropTitle();
    }
    {
        app.gameSettings.localRule = 0;
        BattleRunner runner(FourRobots());
        CGameScene& scene = *runner.Scene();
        auto* judge = FindTask<GMTCB_Judge_LocalBattle_RestBody>(scene.tasks);
        ASSERT_NE(judge, nullptr);
        scene.paused = 0;
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        EXPECT_EQ(judge->picture, nullptr) << "four teams live";
        for (int i = 0; i < 4; ++i) {
            scene.robotTable[i]->restBody = 0;
            scene.robotTable[i]->state = kRobotStateNone;
        }
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        ASSERT_NE(judge->picture, nullptr);
        EXPECT_EQ(judge->won, 1) << "no team left still shows the won picture";
        int frames = 0;
        while (judge->Proc() == kTaskKeep && frames < 300) ++frames;
        EXPECT_EQ(frames, 241);
        DropTitle();
    }
    {
        // The cost rule: a team whose last loss took its cost below zero is out.
        BattleRunnerOptions options = FourRobots();
        options.localRule = 1;
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        auto* judge = FindTask<GMTCB_Judge_LocalBattle_RestBody>(scene.tasks);
        ASSERT_NE(judge, nullptr);
        scene.paused = 0;
        scene.teamCosts[2] = scene.teamCosts[3] = 0;
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        EXPECT_EQ(judge->picture, nullptr) << "teams 0 and 1 have cost left";
        scene.teamCosts[1] = static_cast<u32>(-30);
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        EXPECT_NE(judge->picture, nullptr) << "a cost spent below zero is spent";
        app.gameSettings.localRule = 0;
    }
    {
        BattleRunnerOptions options;
        options.mode = GameMode::Survival;
        options.modeOption = 1;
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        auto* judge = FindTask<GMTCB_Judge_SurvivalMode>(scene.tasks);
        ASSERT_NE(judge, nullptr);
        CRobot_Base* player = scene.robotTable[scene.playerSlot];
        ASSERT_NE(player, nullptr);
        player->state = kRobotStateDown;
        player->restBody = 1;
        EXPECT_EQ(judge->Proc(), kTaskKeep) << "a body left";
        player->restBody = 0;
        EXPECT_EQ(judge->Proc(), kTaskRemove);
        EXPECT_NE(FindTask<GMTCB_GoTitle>(scene.tasks), nullptr);
        EXPECT_EQ(judge->rankingInput, nullptr);
        app.gameSettings.modeOption = 0;
    }
}

// Online team survival, driven on a local battle's robots: the last team
// standing wins; the result table lists best scores first with ties in slot
// order and spectators left out; a battle under 120 seconds gives no
// experience, a longer one the won bonus plus the score, saved; then the
// judge waits for the server's echo before the room. Time survival: two
// teams sharing the best score both win.
TEST(Judges, OnlineResultsExperienceAndReturn)
{
    CApplication& app = *GetApplication();
    {
        BattleRunner runner(FourRobots());
        CGameScene& scene = *runner.Scene();
        GetRoomState().ownSlot = 0;
        scene.playerSlot = 0;
        const i32 scores[4] = {300, 500, 300, 900};
        for (i32 i = 0; i < 4; ++i) {
            CRobot_Base* r = scene.robotTable[i];
            r->team = r->displayTeam = i % 2;
            r->score = scores[i];
            r->restBody = 1;
        }
        scene.robotTable[3]->displayTeam = 100;  // a spectator
        auto* judge = GMTCB_Judge_NetTeamSurvival::Create(&scene.tasks, 1);
        judge->scene = &scene;
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        EXPECT_EQ(judge->table, nullptr) << "two teams live";
        for (i32 i : {1, 3}) {
            scene.robotTable[i]->restBody = 0;
            scene.robotTable[i]->state = kRobotStateOut;
        }
        judge->Proc();
        ASSERT_NE(judge->table, nullptr);
        EXPECT_EQ(judge->won, 1);
        // Slot 1 (500) first, then the two 300s in slot order; the spectator's row
        // is empty.
        const ScoreResultRow* rows = judge->table->rows;
        EXPECT_EQ(rows[0].slot, 1);
        EXPECT_EQ(rows[1].slot, 0);
        EXPECT_EQ(rows[2].slot, 2);
        EXPECT_EQ(rows[3].valid, 0u);

        for (int i = 0; i < 300 && !judge->InPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ResultTable); ++i) judge->Proc();
        ASSERT_TRUE(judge->InPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ResultTable));
        EXPECT_EQ(judge->table->show, 1);
        scene.battleTime = 119 * 60;
        const u32 expBefore = app.Profile().exp;
        HoldEnter(true);
        judge->Proc();
        HoldEnter(false);
        ASSERT_NE(judge->expGet, nullptr);
        EXPECT_EQ(judge->expGet->mode, 1) << "too short to count";
        EXPECT_EQ(app.Profile().exp, expBefore);
        judge->Proc();
        EXPECT_TRUE(judge->InPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ExpSave)) << "waits for the player";
        judge->expGet->confirmed = 1;
        judge->Proc();
        ASSERT_TRUE(judge->InPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ReturnToRoom));
        app.players[0].returnMarker = -100;
        for (int i = 0; i < 100; ++i) EXPECT_EQ(judge->Proc(), kTaskKeep);
        app.players[0].returnMarker = 0;
        EXPECT_EQ(judge->Proc(), kTaskSceneReplaced);
        app.players[0].returnMarker = -100;
        DropTitle();
    }

    // A full-length battle: the won bonus and the score.
    BattleRunner second(FourRobots());
    CGameScene& again = *second.Scene();
    OnlyTeamZeroLeft(again, 250);
    again.battleTime = 120 * 60;
    auto* full = GMTCB_Judge_NetTeamCost::Create(&again.tasks, 1);
    full->scene = &again;
    again.teamsPresent[0] = 1;
    again.teamCosts[0] = 10;
    again.teamsPresent[1] = 1;
    again.teamCosts[1] = 0;
    full->Proc();
    EXPECT_EQ(full->won, 1);
    for (int i = 0; i < 300 && !full->InPhase(&GMTCB_Judge_NetTeamCost::Proc_ResultTable); ++i) full->Proc();
    const u32 before = app.Profile().exp;
    HoldEnter(true);
    full->Proc();
    HoldEnter(false);
    EXPECT_EQ(app.Profile().exp, before + 20000 + 250);

    // Time survival at time 0: teams 0 and 1 both at the best score.
    auto* timed = GMTCB_Judge_NetTimeSurvival::Create(&again.tasks, 1);
    timed->scene = &again;
    again.battleTime = 0;
    again.robotTable[1]->score = 250;
    for (i32 i = 2; i < 4; ++i) again.robotTable[i]->score = 0;
    timed->Proc();
    EXPECT_EQ(timed->won, 1);
    EXPECT_EQ(again.teamScores[0], again.teamScores[1]);
}

// Online, a player who leaves the result alone does not hold the room: the
// result table and the experience notice together wait 30 seconds, counted
// down on screen, then go on as Enter would, the experience (a rank step
// and all) saved; Enter on the table leaves the notice the rest of the time.
// A spectator's table goes back the same way.
TEST(Judges, OnlineResultsGoBackToTheRoomOnTheirOwn)
{
    TempFolder temp;
    ScopedEnv dataHome{"XDG_DATA_HOME", temp.Path().c_str()};
    struct Case {
        bool spectator;
        i32 enterAt;  // table frame of an Enter, -1 none
    } cases[] = {{false, -1}, {false, 600}, {true, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.enterAt);
        BattleRunner runner(FourRobots());
        CGameScene& scene = *runner.Scene();
        GetRoomState().ownSlot = 0;
        scene.playerSlot = 0;
        ASSERT_TRUE(StartProfile("Waiter", 50000));
        OnlyTeamZeroLeft(scene, 300);
        if (c.spectator) scene.robotTable[0]->displayTeam = 100;
        scene.battleTime = 150 * 60;
        auto* judge = GMTCB_Judge_NetTeamSurvival::Create(&scene.tasks, 1);
        judge->scene = &scene;
        // One frame as the list runs it: the judge, then the notice it made.
        auto frame = [&] {
            judge->Proc();
            if (judge->expGet) judge->expGet->Proc();
        };
        for (i32 i = 0; i < 300 && !judge->InPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ResultTable); ++i) frame();
        ASSERT_TRUE(judge->InPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ResultTable));
        ASSERT_NE(judge->countdown, nullptr);
        frame();
        EXPECT_STREQ(judge->countdown->text, "30秒后自动返回房间");
        i32 frames = 1;
        for (; frames < 30 * 60 + 5 && judge->returnFramesLeft >= 0; ++frames) {
            if (frames == c.enterAt) HoldEnter(true);
            frame();
            HoldEnter(false);
            if (frames == 15 * 60) {
                EXPECT_STREQ(judge->countdown->text, "15秒后自动返回房间");
            }
        }
        // Left alone, the notice is confirmed the frame after the table's time.
        EXPECT_EQ(frames, 30 * 60 + (c.spectator || c.enterAt >= 0 ? 0 : 1)) << "the notice outlasts the time";
        ASSERT_TRUE(judge->InPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ReturnToRoom));
        EXPECT_EQ(judge->countdown, nullptr);
        PlayerProfile saved;
        ASSERT_EQ(saved.Load("Waiter"), 1);
        EXPECT_EQ(saved.exp, c.spectator ? 50000u : 70300u);
        EXPECT_EQ(saved.rankLevel, c.spectator ? 1u : 2u);
    }
}

// The interception waves draw only the battle generator, so two clients with
// one seed spawn the same robots at the same points; from level 9 on every
// wave robot is a computer pilot's.
TEST(Judges, InterceptionWavesAreTheSameOnEveryClient)
{
    struct Wave {
        std::multiset<std::string> robots;
        std::set<std::string> names;
    };
    auto run = [](u32 frame) {
        BattleRunner runner(FourRobots());
        CGameScene& scene = *runner.Scene();
        auto* judge = GMTCB_Judge_NetGeigekisen::Create(&scene.tasks, 1);
        judge->scene = &scene;
        GetBattleRandom().Init(4242, cMTRand::kDefaultSize);
        for (scene.battleFrame = frame; scene.battleFrame < frame + 6000; scene.battleFrame += 600) judge->SpawnWave();
        Wave wave;
        for (BB_Base* o = scene.unitList.GetHead()->next; o && o != scene.unitList.GetTail(); o = o->next) {
            if (o->GetKind() != kKindRobot) continue;
            auto* r = static_cast<CRobot_Normal*>(o);
            if (r->displayTeam != 1 || r == scene.robotTable[1] || r == scene.robotTable[3]) continue;
            const Mat4* m = r->GetMatrix();
            const Vec3 at(m->m[3][0], m->m[3][1], m->m[3][2]);
            wave.robots.insert(std::to_string(r->typeIndex) + "@" + std::to_string(i32(at.x)) + "," +
                               std::to_string(i32(at.z)) + ":" + r->displayName + "/" + std::to_string(r->aiLevel));
            wave.names.insert(r->displayName);
        }
        return wave;
    };
    const Wave first = run(0), second = run(0);
    EXPECT_GE(first.robots.size(), 9u);
    EXPECT_EQ(first.robots, second.robots);
    std::set<std::string> pilots;
    for (i32 i = 0; i < AiPilotCount; ++i) {
        AiPilotRecord p{};
        pilots.insert(AiPilotTable(&p, i).name);
    }
    for (const std::string& name : run(8 * 3600).names) EXPECT_EQ(pilots.count(name), 1u) << name;
}
