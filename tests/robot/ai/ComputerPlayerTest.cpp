#include <gtest/gtest.h>

#include <set>

#include "app/core/Application.h"
#include "engine/model/HodModel.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"

namespace {

constexpr i32 kSub1 = 6, kSub2 = 7, kSub3 = 8;

// A computer robot facing a rival at a chosen distance, with type settings of
// its own and a freshly seeded battle generator.
struct Duel {
    CList<BB_Base> units;
    RobotModelData type;
    CRobot_Normal* me;
    CRobot_Normal* rival;
    explicit Duel(f32 distance, i32 level = 10, u32 seed = 7)
    {
        units.Init();
        me = CreateInList<CRobot_Normal>(&units, 1);
        rival = CreateInList<CRobot_Normal>(&units, 1);
        me->Reset();
        rival->Reset();
        me->modelData = &type;
        me->state = rival->state = kRobotStateLive;
        me->controlMode = kControlComputer;
        me->inputEnabled = 1;
        me->aiLevel = level;
        me->energy = 1000.0f;
        me->boostGauge = 300;  // no jumps unless a test asks
        me->lockTarget = rival;
        SetDistance(distance);
        GetBattleRandom().Init(seed);
    }
    void SetDistance(f32 d)
    {
        me->aimVector = Vec3(0, 0, d);
        me->forward = Vec3(0, 0, 1);
        me->worldMatrix.m[2][0] = 0, me->worldMatrix.m[2][1] = 0, me->worldMatrix.m[2][2] = 1;
    }
    void Weapon(i32 e, f32 lo, f32 hi, u8 chance, u16 energy = 0) { type.aiWeaponSettings[e] = {lo, hi, chance, energy}; }
    // One computer-player frame; the robot's own state would then write its situation.
    void Step(i32 ownSituation = 0)
    {
        me->ClearInput();
        me->situation = ownSituation;
        me->AiControl();
    }
    bool Held(i32 b) const { return me->input.buttons[b - 1] != 0; }
    // Frames out of n in which button b was held.
    i32 Count(i32 b, i32 n, i32 ownSituation = 0)
    {
        i32 c = 0;
        for (i32 i = 0; i < n; ++i) {
            Step(ownSituation);
            c += Held(b);
        }
        return c;
    }
};

}  // namespace

TEST(ComputerPlayer, LevelZeroStaysNeutralAndDrawsNothing)
{
    Duel d(10.0f, 0);
    d.Weapon(0, 0, 100, 255);
    d.me->nearestThreat = Vec3(1, 2, 3);
    d.me->situation = 5;
    d.me->input.buttons[kInShot - 1] = 1;
    d.me->aiButtonTimers[kInShot] = 20;
    const u64 before = GetBattleRandom().GetDrawCount();
    d.me->AiControl();
    EXPECT_EQ(GetBattleRandom().GetDrawCount(), before);
    EXPECT_EQ(d.me->input.direction, 5);
    EXPECT_EQ(d.me->aiButtonTimers[kInShot], 20);
    EXPECT_EQ(d.me->situation, 5);
    EXPECT_EQ(d.me->nearestThreat.x, 1.0f);
}

TEST(ComputerPlayer, WandersInFourDirectionsAndDrawsOnlyWhenItDecides)
{
    Duel d(10.0f);
    d.me->lockTarget = nullptr;
    d.me->pilotIndex = 3;  // voice lines draw from the application's generator only
    std::set<i32> seen;
    for (i32 i = 0; i < 3000; ++i) {
        const i32 timer = d.me->aiMoveTimer;
        const u64 before = GetBattleRandom().GetDrawCount();
        d.me->AiControl();
        const u64 drawn = GetBattleRandom().GetDrawCount() - before;
        if (timer != 0) {
            ASSERT_EQ(drawn, 0u);
            ASSERT_EQ(d.me->aiMoveTimer, timer - 1);
        } else {
            ASSERT_TRUE(drawn == 1 || drawn == 2);  // the fifth choice keeps the timer at 0
            ASSERT_LE(d.me->aiMoveTimer, drawn == 1 ? 0 : 59);
        }
        seen.insert(d.me->input.direction);
        ASSERT_EQ(d.me->situation, 0);
        ASSERT_EQ(d.me->nearestThreat.x, 9999.0f);
    }
    seen.erase(5);  // only before the first decision
    EXPECT_EQ(seen, (std::set<i32>{2, 4, 6, 8}));
}

TEST(ComputerPlayer, RangedWeaponsFollowRangeChanceEnergyAndTheFireGate)
{
    Duel d(30.0f);
    d.Weapon(2, 10, 50, 255);        // sub 1: 25 in 100 a frame at level 10
    d.Weapon(3, 10, 50, 9);          // sub 2: a chance under 10 never fires
    d.Weapon(4, 10, 50, 255, 2000);  // sub 3: never enough energy
    const i32 free = d.Count(kSub1, 2000);
    EXPECT_GT(free, 200);
    EXPECT_LT(free, 700);
    EXPECT_EQ(d.Count(kSub2, 2000), 0);
    EXPECT_EQ(d.Count(kSub3, 2000), 0);

    // A homing weapon within 50 closes the gate to one frame in a hundred,
    // unless the robot is dashing.
    i32 gated = 0, dashing = 0;
    for (i32 i = 0; i < 2000; ++i) {
        d.me->nearestThreat = Vec3(0, 0, 20);
        gated += d.Count(kSub1, 1);
        d.me->nearestThreat = Vec3(0, 0, 20);
        dashing += d.Count(kSub1, 1, 1);
    }
    EXPECT_LT(gated, 20);
    EXPECT_GT(dashing, 150);

    // Out of range, or beyond 80 whatever the settings say, nothing fires.
    d.SetDistance(60.0f);
    EXPECT_EQ(d.Count(kSub1, 500), 0);
    d.Weapon(2, 10, 500, 255);
    d.SetDistance(90.0f);
    EXPECT_EQ(d.Count(kSub1, 500), 0);
}

TEST(ComputerPlayer, AShotIsHeldThirtyToSixtyFramesByItsPressTimer)
{
    Duel d(30.0f);
    d.Weapon(0, 10, 50, 255);
    for (i32 i = 0; i < 200 && d.me->aiButtonTimers[kInShot] == 0; ++i) d.Step();
    const i32 timer = d.me->aiButtonTimers[kInShot];
    ASSERT_GE(timer, 30);
    ASSERT_LE(timer, 60);
    d.Weapon(0, 0, 0, 0);  // no further tries: only the timer holds the shot
    for (i32 i = 0; i < timer; ++i) {
        d.Step();
        ASSERT_TRUE(d.Held(kInShot)) << i;
    }
    d.Step();
    EXPECT_FALSE(d.Held(kInShot));
}

TEST(ComputerPlayer, SaberWaitsForOpeningsAndCloseInModeComesWithIt)
{
    Duel d(8.0f);
    d.Weapon(1, 0, 12, 50);  // 5 in 100 a frame at level 10, the rival standing
    const i32 standing = d.Count(kInSaber, 3000);
    d.rival->situation = 2;  // landing: an opening
    const i32 opening = d.Count(kInSaber, 3000);
    EXPECT_GT(opening, standing + standing / 2);
    EXPECT_EQ(d.me->aiCloseIn, 1);  // one in twenty tries also turns close-in on

    // A saber below chance 10 still swings when its roll is exactly 0.
    Duel low(8.0f);
    low.Weapon(1, 0, 12, 5);
    EXPECT_GT(low.Count(kInSaber, 3000), 0);
}

TEST(ComputerPlayer, GuardTimerHoldsGuardBlocksShotsAndBreaksOffAgainstAStaggeredRival)
{
    Duel d(30.0f);
    d.Weapon(0, 0, 100, 255);
    d.me->aiGuardTimer = 25;
    for (i32 i = 0; i < 20; ++i) {
        d.Step();
        ASSERT_TRUE(d.Held(kInGuard));
        ASSERT_FALSE(d.Held(kInShot));
    }
    EXPECT_EQ(d.me->aiGuardTimer, 5);
    d.rival->situation = 3;
    d.Step();
    EXPECT_TRUE(d.Held(kInSaber));
    EXPECT_EQ(d.me->aiCloseIn, 1);
    EXPECT_EQ(d.me->aiGuardTimer, 0);

    // An attacking rival that locks on draws guards; a calm one does not.
    Duel g(12.0f);
    g.rival->lockTarget = g.me;
    g.rival->attackKind = 1;
    i32 guards = 0;
    for (i32 i = 0; i < 3000; ++i) guards += (g.Step(), g.me->aiGuardTimer >= 20);
    EXPECT_GT(guards, 0);
    Duel calm(12.0f);
    calm.Count(kInGuard, 3000);
    EXPECT_EQ(calm.me->aiGuardTimer, 0);
}

TEST(ComputerPlayer, TargetChangeOnlyOutsideItsOwnAttacks)
{
    Duel d(30.0f);
    const i32 idle = d.Count(kInTarget, 20000);
    EXPECT_GT(idle, 15);
    EXPECT_LT(idle, 80);
    d.me->attackKind = 1;
    EXPECT_EQ(d.Count(kInTarget, 5000), 0);
}

TEST(ComputerPlayer, BoostedDoubleJumpReachesTheStatesThroughTheRecogniser)
{
    Duel d(30.0f);
    d.me->boostGauge = 1000;
    d.me->aiDashCount = 1;
    d.Step();
    EXPECT_TRUE(d.Held(kInJump));
    EXPECT_EQ(d.me->aiDashCount == 2 || d.me->aiDashCount == 0, true);
    d.me->CommandRecogniser();
    EXPECT_TRUE(d.me->JumpTapped());
    d.me->aiDashCount = 5;
    d.me->boostGauge = 200;  // an empty gauge ends the sequence
    d.Step();
    EXPECT_TRUE(d.Held(kInJump));
    EXPECT_EQ(d.me->aiDashCount, 0);

    // Touching a wall with boost to spare starts a jump one time in k.
    d.me->boostGauge = 1000;
    d.me->wallContact = 1;
    d.Step();
    EXPECT_EQ(d.me->wallContact, 0);
    EXPECT_GE(d.me->aiJumpTimer, 29);
    EXPECT_LE(d.me->aiJumpTimer, 89);
}

TEST(ComputerPlayer, ApproachesFromAfarRetreatsUpCloseAndStrafesUnderFire)
{
    struct Row {
        f32 distance;
        bool rivalAttacking;
        std::set<i32> allowed;
    };
    // Settings range 40: approach from 50, back off within 30; in between
    // only the side steps move it.
    const Row rows[] = {
        {70.0f, false, {5, 7, 8, 9, 4, 6}},
        {20.0f, false, {5, 1, 2, 3, 4, 6}},
        {40.0f, true, {5, 4, 6}},
    };
    for (const Row& row : rows) {
        Duel d(row.distance);
        d.rival->attackKind = row.rivalAttacking;
        d.type.aiSettingKind = 100;  // close-in re-draws always turn it off
        std::set<i32> seen;
        for (i32 i = 0; i < 4000; ++i) {
            d.Step();
            seen.insert(d.me->input.direction);
        }
        for (i32 dir : seen) EXPECT_TRUE(row.allowed.count(dir)) << row.distance << " went " << dir;
        EXPECT_GE(seen.size(), 2u) << row.distance;
    }
}

TEST(ComputerPlayer, SameSeedSameDecisionsAndVoicesNeverTouchTheBattleGenerator)
{
    auto run = [](i32 pilot) {
        Duel d(25.0f, 6, 99);
        d.Weapon(0, 5, 70, 160);
        d.Weapon(1, 0, 12, 130);
        d.Weapon(2, 15, 80, 60, 100);
        d.me->pilotIndex = pilot;
        d.me->boostGauge = 900;
        std::vector<u8> log;
        for (i32 i = 0; i < 3000; ++i) {
            d.rival->situation = (i / 97) % 13;
            d.rival->attackKind = (i / 131) % 2;
            d.me->nearestThreat = Vec3(0, 0, static_cast<f32>(i % 70));
            d.SetDistance(5.0f + static_cast<f32>((i * 7) % 90));
            d.Step((i / 53) % 13);
            log.push_back(d.me->input.direction);
            for (u8 b : d.me->input.buttons) log.push_back(b);
        }
        log.push_back(static_cast<u8>(GetBattleRandom().GetDrawCount() & 0xFF));
        return log;
    };
    const std::vector<u8> a = run(-1);
    EXPECT_EQ(a, run(-1));
    EXPECT_EQ(a, run(2));
}
