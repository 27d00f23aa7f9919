#include <gtest/gtest.h>

#include <typeinfo>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/MTRand.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Smoke.h"

namespace {

i32 g_frame = 0;
std::vector<i32> g_calls;

// Objects of exactly type T in the list.
template <class T>
i32 Count(CList<BB_Base>& list)
{
    i32 n = 0;
    for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next) n += typeid(*o) == typeid(T);
    return n;
}

i32 Keep(CRobot_Normal*) { g_calls.push_back(0); return 0; }
i32 Replace(CRobot_Normal*) { g_calls.push_back(2); return 2; }
i32 Destroyed(CRobot_Normal* r) { g_calls.push_back(100 + r->defeatFrame); return 0; }

// Draws left between two generators started alike.
i32 DrawsMade(cMTRand& reference)
{
    const u32 next = GetBattleRandom().GetRand();
    for (i32 n = 0; n < 10000; ++n)
        if (reference.GetRand() == next) return n;
    return -1;
}

}  // namespace

TEST(RobotRun, DestructionTimelineThenDownTimeThenTheLargestCallbackResult)
{
    CRobot_Normal robot;
    robot.Reset();
    robot.inputEnabled = 1;
    robot.state = kRobotStateDestroyed;
    robot.defeatFrame = 0;
    robot.DestroyProcList.push_back(&Destroyed);
    CList<BB_Base> effects;
    WeaponWorld world;
    world.effects = &effects;
    SetWeaponWorld(&world);
    g_calls.clear();
    GetBattleRandom().Init(4321);
    cMTRand reference;
    reference.Init(4321);

    std::vector<i32> small;
    for (g_frame = 1; g_frame <= 32; ++g_frame) {
        const i32 before = Count<BB_Explode4>(effects);
        EXPECT_EQ(robot.Run(), 0);
        EXPECT_EQ(robot.inputEnabled, 0);
        EXPECT_EQ(robot.state, g_frame < 32 ? kRobotStateDestroyed : kRobotStateDown) << g_frame;
        if (Count<BB_Explode4>(effects) > before) small.push_back(g_frame);
        if (g_frame == 30) {
            EXPECT_EQ(Count<BB_Explode2>(effects) + Count<BB_BP>(effects), 0);
        }
    }
    EXPECT_EQ(robot.defeatFrame, 0);
    // The destroy list ran once, on the frame its counter stood at 30.
    EXPECT_EQ(g_calls, std::vector<i32>{130});
    EXPECT_EQ(small, (std::vector<i32>{3, 6, 9, 12, 15, 18, 21, 24, 27, 30}));
    // Frame 31: five large blasts, already 40 frames into their sheet, and five burning pieces.
    EXPECT_EQ(Count<BB_Explode2>(effects), 5);
    EXPECT_EQ(Count<BB_BP>(effects), 5);
    for (BB_Base* o = effects.GetHead()->next; o != effects.GetTail(); o = o->next)
        if (typeid(*o) == typeid(BB_Explode2)) {
            EXPECT_EQ(static_cast<BB_Explode2*>(o)->Counter, 40);
        }
    effects.DeleteAll();
    SetWeaponWorld(nullptr);
    // Six draws per small blast, six per drifting large one, three per piece.
    EXPECT_EQ(DrawsMade(reference), 10 * 6 + 4 * 6 + 5 * 3);

    // Down for 180 frames, then the callbacks decide: the largest result wins.
    robot.DefeatProcList = {&Keep, &Replace, &Keep};
    g_calls.clear();
    for (i32 f = 1; f < 180; ++f) ASSERT_EQ(robot.Run(), 0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(robot.Run(), 2);
    EXPECT_EQ(g_calls, (std::vector<i32>{0, 2, 0}));
    EXPECT_EQ(robot.state, kRobotStateNone);

    for (bool withList : {false, true}) {
        CRobot_Normal wreck;
        wreck.Reset();
        wreck.state = kRobotStateDown;
        if (withList) wreck.DefeatProcList = {&Keep};
        for (i32 f = 1; f < 180; ++f) wreck.Run();
        EXPECT_EQ(wreck.Run(), withList ? 0 : 2);
        EXPECT_EQ(wreck.state, kRobotStateNone);
        EXPECT_EQ(wreck.Run(), 0);  // a kept wreck stays quiet
    }
}

TEST(RobotRun, StreaksAnnounceOnePerFrameLowestFirstAndOnlyOnce)
{
    CRobot_Normal robot;
    robot.Reset();
    robot.state = kRobotStateLive;
    robot.tacticalRules = 1;
    robot.killStreak = 4;
    robot.lossStreak = 9;  // a kill streak clears it first
    // What each frame earned and announced.
    auto frames = [&](i32 n) {
        std::vector<size_t> queued;
        for (i32 f = 0; f < n; ++f) {
            robot.Run();
            queued.push_back(robot.pendingRewards.size());
        }
        return queued;
    };
    EXPECT_EQ(frames(5), (std::vector<size_t>{1, 2, 3, 3, 3}));
    EXPECT_EQ(robot.pendingRewards, (std::vector<i32>{2, 3, 4}));
    EXPECT_EQ(robot.lossStreak, 0);

    robot.killStreak = 0;
    robot.lossStreak = 9;
    EXPECT_EQ(frames(5), (std::vector<size_t>{4, 5, 5, 5, 5}));
    EXPECT_EQ(robot.pendingRewards, (std::vector<i32>{2, 3, 4, 10005, 10009}));
    EXPECT_EQ(robot.killRewardBits, 0x2 | 0x4 | 0x8);
    EXPECT_EQ(robot.lossRewardBits, 0x10 | 0x100);
}

TEST(RobotRun, HitStopFreezesScriptsStateAndCountsDown)
{
    CRobot_Normal robot;
    robot.Reset();
    robot.state = kRobotStateLive;
    robot.hitStop = 3;
    robot.chargeRate = 4000;
    robot.stateProc = &CRobot_Normal::StateDestroyed;  // counts actionFrame
    robot.actionFrame = 0;
    for (i32 f = 0; f < 5; ++f) robot.Run();
    EXPECT_EQ(robot.hitStop, 0);
    EXPECT_EQ(robot.actionFrame, 2);  // frozen three frames
    EXPECT_EQ(robot.chargeGauge, 10000);
}

// A robot that is down skips its frame update, yet a blade attached to it as
// it fell ends and is freed by the scene a few frames later. The robot must
// have let go of it by then: a part-set change fifteen frames on ends every
// blade it still holds, and must find none.
TEST(RobotRun, ARobotThatIsDownLetsGoOfItsFinishedBlades)
{
    BattleRunner runner(BattleRunnerOptions{});
    CGameScene* scene = runner.Scene();
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(runner.RunFrames(150), 150u);
    CRobot_Normal* robot = nullptr;
    i32 point = -1;
    for (CRobot_Base* r : scene->robotTable) {
        auto* normal = dynamic_cast<CRobot_Normal*>(r);
        for (i32 p = 0; normal && p < normal->weaponPointNodes.GetCount() && point < 0; ++p)
            if (normal->weaponPointNodes[p]) point = p;
        if (point >= 0) {
            robot = normal;
            break;
        }
    }
    ASSERT_NE(robot, nullptr);
    robot->state = kRobotStateDown;
    robot->defeatFrame = 0;
    // A long blade: it ends at its first step all the same, as its robot is down.
    const i32 blade[kScriptFireArgCount] = {point, 200, 0, 11, 12, 0, 0, 0, 0, 600};
    robot->FireProc57SwordBeamAtk(blade);
    ASSERT_NE(robot->attachedWeapons[0], nullptr);
    ASSERT_EQ(runner.RunFrames(15), 15u);
    EXPECT_EQ(robot->state, kRobotStateDown);
    for (BB_Base* w : robot->attachedWeapons) EXPECT_EQ(w, nullptr);
    robot->FireProc51SelectPartSet0(nullptr);
}
