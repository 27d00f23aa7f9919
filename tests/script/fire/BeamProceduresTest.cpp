#include <functional>

#include <gtest/gtest.h>

#include "battle/FireStats.h"
#include "support/WeaponRange.h"
#include "weapon/Beam.h"

namespace {

struct Range : ArmedRobot, WeaponRange {
    HodNode* point = Point(3, Vec3(0, 0, 5));  // facing +z from (0, 0, 5)
    BB_Standard target;

    Range()
    {
        robot.energy = 100.0f;
        robot.energyMax = 100;
        robot.team = 2;
        robot.scriptContext.attackPower = 100;
        robot.scriptContext.attackDownF = 7;
        robot.scriptContext.attackForce = 0.5f;
        robot.scriptContext.attackFlag = 3;
        robot.facing = Vec3(0, 0, 1);
        target.World.m[3][2] = 55.0f;  // 50 ahead
        robot.target = &target;
        world.camera = Mat4();
    }
};

}  // namespace

TEST(BeamProceduresTest, EachProcedureHandsItsBeamsTheirValues)
{
    struct Case {
        const char* name;
        CRobot_Normal::FireProc proc;
        i32 charge;
        u32 beams, effects;
        int draws;
        f32 width, speed, turn;
        i32 points, damage, down, segments;
        u8 trailFlag;
        f32 recoil;
    };
    const Case cases[] = {
        // Homing 0.4 x (1 - 50 / 100) x (1 + 100 x 0.01).
        {"homing", &CRobot_Normal::FireProc01Beam, 0, 1, 1, 0, 0.25f, 0.8f, 0.4f, 20, 100, 7, 1, 3, 0.0f},
        {"homing charged", &CRobot_Normal::FireProc01Beam, 2, 1, 2, 3, 0.5f, 0.96f, 0.4f, 32, 180, 14, 1, 0, 0.0f},
        {"blue beam", &CRobot_Normal::FireProc02Beam, 0, 1, 1, 0, 0.2f, 0.6f, 0.4f, 40, 100, 7, 1, 4, 0.0f},
        {"blue beam charged", &CRobot_Normal::FireProc02Beam, 3, 1, 6, 15, 0.4f, 1.2f, 0.5f, 40, 140, 7, 1, 4,
         -0.005f},
        {"spread", &CRobot_Normal::FireProc12Beam, 0, 1, 1, 2, 0.3f, 1.0f, 0.4f, 10, 100, 7, 1, 0, 0.0f},
        {"spread charged", &CRobot_Normal::FireProc12Beam, 2, 1, 6, 17, 0.3f, 1.2f, 0.4f, 20, 100, 7, 1, 0, -0.005f},
        {"decaying", &CRobot_Normal::FireProc13Beam2, 0, 1, 1, 0, 0.3f, 0.6f, 9.0f, 30, 100, 7, 1, 0, 0.0f},
        {"decaying charged", &CRobot_Normal::FireProc13Beam2, 3, 4, 6, 21, 0.3f, 0.6f, 9.0f, 30, 100, 7, 1, 0,
         -0.005f},
        {"lightning", &CRobot_Normal::FireProc14ThunderBeam, 0, 1, 1, 0, 0.25f, 0.8f, 0.35f, 20, 100, 7, 3, 0, 0.0f},
        {"lightning charged", &CRobot_Normal::FireProc14ThunderBeam, 2, 1, 2, 3, 0.5f, 0.96f, 0.35f, 32, 100, 14, 3,
         0, 0.0f},
        {"laser", &CRobot_Normal::FireProc17HiLaser, 0, 1, 1, 0, 0.25f, 1.5f, 0.0f, 200, 100, 7, 200, 0, 0.0f},
        {"laser charged", &CRobot_Normal::FireProc17HiLaser, 2, 1, 11, 30, 0.25f, 1.6f, 0.0f, 200, 100, 7, 200, 0,
         0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Range range;
        range.robot.chargeLevel = c.charge;
        // point, cost, points, speed x 100, width x 100, turn percent, texture, stop on hit
        const i32 homingArgs[10] = {3, 10, 20, 80, 25, 100, 5, 1};
        const i32 laserArgs[10] = {3, 10, 25, 5};
        const bool laser = c.proc == &CRobot_Normal::FireProc17HiLaser;
        GetBattleRandom().Init(21);
        (range.robot.*c.proc)(laser ? laserArgs : homingArgs);
        EXPECT_EQ(DrawsSinceSeed(21), c.draws);
        EXPECT_FLOAT_EQ(range.robot.energy, 90.0f);
        ASSERT_EQ(range.weapons.GetCount(), c.beams);
        EXPECT_EQ(range.effects.GetCount(), c.effects);
        // The newest runs first: the first beam made sits last.
        const auto* beam = static_cast<const LZ_Beam*>(range.weapons.GetTail()->prev);
        EXPECT_NEAR(beam->Width, c.width, 1e-5f);
        EXPECT_NEAR(beam->Speed, c.speed, 1e-5f);
        EXPECT_NEAR(beam->TurnRate, c.turn, 1e-5f);
        EXPECT_EQ(beam->Laser.MaxPoints, c.points);
        EXPECT_EQ(beam->Damage, c.damage);
        EXPECT_EQ(beam->DownValue, c.down);
        EXPECT_EQ(beam->TestSegments, c.segments);
        EXPECT_EQ(beam->HitFlags, 3u);
        EXPECT_EQ(beam->Team, 2);
        EXPECT_EQ(beam->Owner, &range.robot);
        EXPECT_EQ(beam->Target, laser ? nullptr : &range.target);
        EXPECT_EQ(beam->TrailFlag, c.trailFlag);
        EXPECT_FLOAT_EQ(range.robot.velocity.z, c.recoil);
        if (c.beams > 1) {  // the extra decaying beams deal 0.3 of the damage
            const auto* extra = static_cast<const LZ_Beam*>(range.weapons.GetHead()->next);
            EXPECT_EQ(extra->Damage, 30);
            EXPECT_EQ(extra->DownValue, 0);
        }
    }

    // Short energy: nothing made, nothing spent, nothing drawn, no warning.
    Range range;
    range.robot.energy = 5.0f;
    const i32 args[10] = {3, 10, 20, 80, 25, 100, 5, 1};
    ResetBattleFireStats();
    GetBattleRandom().Init(21);
    for (auto proc : {&CRobot_Normal::FireProc01Beam, &CRobot_Normal::FireProc12Beam,
                      &CRobot_Normal::FireProc13Beam2, &CRobot_Normal::FireProc17HiLaser,
                      &CRobot_Normal::FireProc21Beam2, &CRobot_Normal::FireProc24HiLaser2,
                      &CRobot_Normal::FireProc25HiLaser2, &CRobot_Normal::FireProc28HiLaser2})
        (range.robot.*proc)(args);
    EXPECT_EQ(DrawsSinceSeed(21), 0);
    EXPECT_EQ(range.weapons.GetCount(), 0u);
    EXPECT_EQ(BattleFireStats().warned[17], 0);
    // The laser procedure's warning is given once a battle, when it fires.
    range.robot.energy = 100.0f;
    range.robot.FireProc17HiLaser(args);
    EXPECT_EQ(BattleFireStats().warned[17], 1);
    ResetBattleFireStats();
    EXPECT_EQ(BattleFireStats().warned[17], 0);
}

TEST(BeamProceduresTest, ScatterBeamsAndScriptTunedLasersTakeTheirArguments)
{
    struct Case {
        const char* name;
        CRobot_Normal::FireProc proc;
        i32 charge;
        u32 shots, effects;
        int draws;
        f32 width, speed, turn;
        i32 points, damage, stopWithOwner;
        f32 recoil;
    };
    const Case cases[] = {
        {"scatter", &CRobot_Normal::FireProc21Beam2, 0, 1, 1, 1, 0.2f, 0.75f, 7.0f, 30, 100, -1, 0.0f},
        // Two extra beams at 0.3 of the damage, each turned by its own draw; five sparks.
        {"scatter charged", &CRobot_Normal::FireProc21Beam2, 2, 3, 6, 3 + 15, 0.2f, 0.75f, 7.0f, 30, 100, -1, -0.005f},
        {"aimed stream", &CRobot_Normal::FireProc24HiLaser2, 0, 1, 1, 0, 0.25f, 1.5f, 0.5f, 200, 100, 1, 0.0f},
        {"aimed stream charged", &CRobot_Normal::FireProc24HiLaser2, 1, 1, 31, 90, 0.35f, 1.6f, 0.5f, 200, 140, 1,
         -0.1f},
        {"held stream", &CRobot_Normal::FireProc25HiLaser2, 0, 1, 1, 0, 0.25f, 1.5f, 0.5f, 100, 100, 1, 0.0f},
        {"held stream charged", &CRobot_Normal::FireProc25HiLaser2, 1, 1, 31, 90, 0.35f, 1.6f, 0.5f, 100, 120, 1,
         -0.1f},
        {"short stream", &CRobot_Normal::FireProc28HiLaser2, 0, 1, 1, 0, 0.25f, 1.5f, 0.5f, 20, 100, 0, 0.0f},
        {"short stream charged", &CRobot_Normal::FireProc28HiLaser2, 1, 1, 31, 90, 0.35f, 1.6f, 0.5f, 20, 120, 1,
         -0.1f},
    };
    // point, cost, width, speed, life, texture, turn, shake or smoke, smoke, wave
    const i32 args[10] = {3, 10, 25, 150, 80, 5, 50, 7, 1, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Range range;
        range.robot.chargeLevel = c.charge;
        GetBattleRandom().Init(21);
        (range.robot.*c.proc)(args);
        EXPECT_EQ(DrawsSinceSeed(21), c.draws);
        EXPECT_FLOAT_EQ(range.robot.energy, 90.0f);
        ASSERT_EQ(range.weapons.GetCount(), c.shots);
        EXPECT_EQ(range.effects.GetCount(), c.effects);
        const auto* beam = static_cast<const LZ_Beam*>(range.weapons.GetTail()->prev);
        EXPECT_NEAR(beam->Width, c.width, 1e-5f);
        EXPECT_NEAR(beam->Speed, c.speed, 1e-5f);
        EXPECT_NEAR(beam->TurnRate, c.turn, 1e-5f);
        EXPECT_EQ(beam->Laser.MaxPoints, c.points);
        EXPECT_EQ(beam->Damage, c.damage);
        EXPECT_EQ(beam->Owner, &range.robot);
        EXPECT_EQ(beam->Target, &range.target);
        EXPECT_EQ(beam->Team, 2);
        EXPECT_EQ(beam->TrailFlag, 0);
        EXPECT_FLOAT_EQ(range.robot.velocity.z, c.recoil);
        if (c.shots > 1) {  // the extra scatter beams
            const auto* extra = static_cast<const LZ_Beam*>(range.weapons.GetHead()->next);
            EXPECT_FLOAT_EQ(extra->Width, 0.15f);
            EXPECT_EQ(extra->Damage, 30);
            EXPECT_EQ(extra->DownValue, 0);
            EXPECT_FLOAT_EQ(extra->Knockback, 0.15f);
            EXPECT_NE(Mat4(extra->Laser.World), Mat4(beam->Laser.World));
        }
        const auto* laser = dynamic_cast<const LZ_HiLaser2*>(beam);
        if (!laser) continue;
        EXPECT_EQ(laser->Life, 80);
        EXPECT_EQ(laser->StopWithOwner, c.stopWithOwner);
        EXPECT_FLOAT_EQ(laser->TrailFactor, 2.0f);
        const bool held = c.proc != &CRobot_Normal::FireProc24HiLaser2;
        EXPECT_EQ(laser->Anchor, held ? &range.point->world : nullptr);
        EXPECT_EQ(laser->SmokeTrail, held ? 1 : 7);
        EXPECT_EQ(laser->ShakeFrames, held ? 7 : 0);
        const bool waving = c.proc == &CRobot_Normal::FireProc25HiLaser2;
        EXPECT_EQ(laser->StreamMode, waving ? 1 : 0);
        EXPECT_EQ(laser->StreamParams[0], waving ? 0x3E4CCCCDu : 0u);  // 0.2f
    }

    // A put-away weapon point: the held stream costs nothing and makes nothing;
    // an unknown wave selector leaves the stream straight; a texture number
    // outside the table leaves it untextured.
    Range range;
    range.point->hidden = 1;
    range.robot.FireProc25HiLaser2(args);
    EXPECT_FLOAT_EQ(range.robot.energy, 100.0f);
    EXPECT_EQ(range.weapons.GetCount(), 0u);
    range.point->hidden = 0;
    const i32 odd[10] = {3, 10, 25, 150, 80, 123456, 50, 7, 1, 2};
    range.robot.FireProc25HiLaser2(odd);
    ASSERT_EQ(range.weapons.GetCount(), 1u);
    const auto* laser = static_cast<const LZ_HiLaser2*>(range.weapons.GetHead()->next);
    EXPECT_EQ(laser->StreamMode, 0);
    EXPECT_EQ(laser->Laser.Texture, nullptr);
}
