#include "script/fire/FireSteps.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <iterator>

#include <gtest/gtest.h>

#include "battle/GameScene.h"
#include "engine/core/MTRand.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"
#include "support/WeaponRange.h"
#include "weapon/effects/Spark.h"

namespace {

struct Range : ArmedRobot, WeaponRange {
    HodNode* point = Point(3, Vec3(0, 0, 5));  // facing +z from (0, 0, 5)

    Range()
    {
        robot.energy = 10.0f;
        robot.energyMax = 12;
        world.camera = Mat4();
    }
};

u32 NextDrawAfter(u32 seed, int skipped)
{
    cMTRand r;
    r.Init(seed);
    for (int i = 0; i < skipped; ++i) r.GetRand();
    return r.GetRand();
}

}  // namespace

TEST(FireStepsTest, WeaponPointAndEnergyGateTheShot)
{
    Range range;
    ASSERT_EQ(range.robot.weaponPointNodes.GetCount(), 50);
    struct Case {
        i32 point, cost;
        bool fires;
        f32 energyAfter;
    };
    const Case cases[] = {
        {3, 10, true, 0.0f},     // exactly enough
        {3, 11, false, 10.0f},   // one short: nothing spent
        {4, 1, false, 10.0f},    // the type names no such point
        {50, 1, false, 10.0f},   // outside the table
        {-1, 1, false, 10.0f},
        {3, -1, true, 11.0f},    // a refill
        {3, -100, true, 110.0f}, // past the maximum until the robot updates
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.point << " " << c.cost);
        range.robot.energy = 10.0f;
        GetBattleRandom().Init(77);
        const i32 args[10] = {c.point, c.cost};
        ShotStart start;
        EXPECT_EQ(BeginShot(range.robot, args, &start), c.fires);
        EXPECT_FLOAT_EQ(range.robot.energy, c.energyAfter);
        EXPECT_EQ(GetBattleRandom().GetRand(), NextDrawAfter(77, 0));  // a refused shot draws nothing
        if (c.fires) {
            EXPECT_FLOAT_EQ(start.launch.m[3][2], 5.0f);
        }
    }
}

TEST(FireStepsTest, AimConeDamageSparksAndSoundRange)
{
    Range range;
    const i32 args[10] = {3, 0};
    BB_Standard target;
    range.robot.target = &target;
    // Target 20 degrees off the weapon's forward axis (in the x-z plane) is aimed at; a little more is not.
    for (f32 degrees : {20.0f, 20.01f, 5.0f, 90.0f}) {
        SCOPED_TRACE(degrees);
        const f32 rad = degrees * 3.14159265f / 180.0f;
        target.World.m[3][0] = 10.0f * std::sin(rad);
        target.World.m[3][2] = 5.0f + 10.0f * std::cos(rad);
        ShotStart start;
        ASSERT_TRUE(BeginShot(range.robot, args, &start));
        AimAtTarget(range.robot, &start);
        EXPECT_TRUE(start.hasTarget);
        EXPECT_NEAR(start.targetDistance, 10.0f, 1e-4f);
        const bool aimed = start.launch.m[2][0] > 0.01f;
        EXPECT_EQ(aimed, degrees <= 20.0f);
    }
    range.robot.aimOff = 1;
    ShotStart off;
    BeginShot(range.robot, args, &off);
    AimAtTarget(range.robot, &off);
    EXPECT_FALSE(off.hasTarget);

    EXPECT_FLOAT_EQ(PowerUpFactor(range.robot), 1.0f);  // no parts fitted
    EXPECT_EQ(ShotDamage(10.0f, 1.4f, 1.1f), 15);
    EXPECT_EQ(ShotDamage(-10.0f, 1.4f, 1.1f), -15);
    EXPECT_EQ(ShotDamage(3e9f, 1.0f, 1.0f), 2147483647);
    EXPECT_EQ(ShotDamage(-3e9f, 1.0f, 1.0f), -2147483647 - 1);

    // Sparks: three draws each, x then y then z, in the effect list.
    GetBattleRandom().Init(5);
    MakeSparks(range.robot, 2);
    EXPECT_EQ(range.effects.GetCount(), 2u);
    EXPECT_EQ(GetBattleRandom().GetRand(), NextDrawAfter(5, 6));
    cMTRand expect;
    expect.Init(5);
    const f32 x = f32((double(expect.GetRand()) / 4294967296.0 * 0.6 - 0.3) * 0.5);
    // Newest first: the second spark used draws 4 to 6.
    auto* last = static_cast<BB_Tiri*>(range.effects.GetHead()->next->next);
    EXPECT_FLOAT_EQ(last->Velocity.x, x);
    EXPECT_LE(std::abs(last->Velocity.y), 0.15f);
    EXPECT_EQ(last->Alpha, 255);

    MakeMuzzleFlash(Vec3(0, 0, 5), 0.75f, kFlashTexture);
    EXPECT_EQ(range.effects.GetCount(), 3u);

    range.world.camera.m[3][0] = 100.0f;
    EXPECT_TRUE(WithinSoundRange(Vec3(0, 0, 0)));
    EXPECT_FALSE(WithinSoundRange(Vec3(-0.01f, 0, 0)));
    EXPECT_FALSE(PlayShotSound(0, Vec3(-50, 0, 0)));  // out of range: not even looked up
}

TEST(FireStepsTest, TableNamesItsProceduresAndLeavesTheRestEmpty)
{
    CRobot_Normal robot;
    robot.Reset();
    using P = CRobot_Normal::FireProc;
    const P none = &CRobot_Normal::FireProcNone;
    for (i32 n = 0; n < kFireProcCount; ++n) {
        const bool used = (n >= 1 && n <= 33) || (n >= 51 && n <= 62);
        EXPECT_EQ(robot.fireProcs[n] != none, used) << n;
    }
    EXPECT_TRUE(robot.fireProcs[1] == P(&CRobot_Normal::FireProc01Beam));
    EXPECT_TRUE(robot.fireProcs[33] == P(&CRobot_Normal::FireProc33Sword2));
    EXPECT_TRUE(robot.fireProcs[51] == P(&CRobot_Normal::FireProc51SelectPartSet0));
    EXPECT_TRUE(robot.fireProcs[62] == P(&CRobot_Normal::FireProc62EffectAtAttachment));
}

// Every entry of the table, called through the script's door with arguments
// from the edges of the 32-bit range, in a running battle of sample robots:
// what the procedures make lives, moves and ends without an overflow (the
// sanitizer build stops at any) and without an effect that never ends.
// Bounded by a time budget as well as a count.
TEST(FireStepsTest, ProceduresTakeAnyArgumentsAScriptCanCarry)
{
    BattleRunner runner(MakeBattleOptions(GameMode::LocalBattle, 0, {0, 3}, {1, 1}, false));
    CGameScene* scene = runner.Scene();
    ASSERT_NE(scene, nullptr);
    auto* robot = static_cast<CRobot_Normal*>(scene->robotTable[0]);
    ASSERT_NE(robot, nullptr);
    const i32 edges[] = {INT32_MIN, INT32_MIN + 1, -2000000000, -65536, -1, 0, 1, 2, 7, 100, 65535, 2000000000, INT32_MAX};
    cMTRand rng;
    rng.Init(99);
    const auto begin = std::chrono::steady_clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(); };
    int calls = 0;
    for (; calls < 3000 && (calls < 200 || seconds() < 20.0); ++calls) {
        i32 args[10];
        for (i32& a : args)
            a = rng.GetRand() % 3 == 0 ? static_cast<i32>(rng.GetRand() % 12) : edges[rng.GetRand() % std::size(edges)];
        robot->chargeLevel = static_cast<i32>(rng.GetRand() % 4);
        robot->energy = static_cast<f32>(robot->energyMax);
        robot->CallFireProc(static_cast<i32>(rng.GetRand() % 100), args);
        if (calls % 8 == 0 && runner.RunFrames(1) != 1) break;
    }
    EXPECT_GE(calls, 200);
    runner.RunFrames(60);
}
