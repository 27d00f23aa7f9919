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
    // point, cost, points, speed x 100, width x 100, turn percent, texture, stop on hit
    const i32 homing[10] = {3, 10, 20, 80, 25, 100, 5, 1};
    const i32 laser[10] = {3, 10, 25, 5};
    // point, cost, width, speed, life, texture, turn, shake or smoke, smoke, wave
    const i32 stream[10] = {3, 10, 25, 150, 80, 5, 50, 7, 1, 1};
    struct Case {
        const char* name;
        CRobot_Normal::FireProc proc;
        const i32* args;
        i32 charge;
        u32 beams, effects;
        int draws;
        f32 width, speed, turn;
        i32 points, damage, down, segments;
        u8 trailFlag;
        bool targeted;
        f32 recoil;
    };
    using R = CRobot_Normal;
    const Case cases[] = {
        // Homing 0.4 x (1 - 50 / 100) x (1 + 100 x 0.01).
        {"homing", &R::FireProc01Beam, homing, 0, 1, 1, 0, 0.25f, 0.8f, 0.4f, 20, 100, 7, 1, 3, true, 0.0f},
        {"homing charged", &R::FireProc01Beam, homing, 2, 1, 2, 3, 0.5f, 0.96f, 0.4f, 32, 180, 14, 1, 0, true, 0.0f},
        {"blue beam", &R::FireProc02Beam, homing, 0, 1, 1, 0, 0.2f, 0.6f, 0.4f, 40, 100, 7, 1, 4, true, 0.0f},
        {"blue beam charged", &R::FireProc02Beam, homing, 3, 1, 6, 15, 0.4f, 1.2f, 0.5f, 40, 140, 7, 1, 4, true,
         -0.005f},
        {"spread", &R::FireProc12Beam, homing, 0, 1, 1, 2, 0.3f, 1.0f, 0.4f, 10, 100, 7, 1, 0, true, 0.0f},
        {"spread charged", &R::FireProc12Beam, homing, 2, 1, 6, 17, 0.3f, 1.2f, 0.4f, 20, 100, 7, 1, 0, true, -0.005f},
        {"decaying", &R::FireProc13Beam2, homing, 0, 1, 1, 0, 0.3f, 0.6f, 9.0f, 30, 100, 7, 1, 0, true, 0.0f},
        {"decaying charged", &R::FireProc13Beam2, homing, 3, 4, 6, 21, 0.3f, 0.6f, 9.0f, 30, 100, 7, 1, 0, true,
         -0.005f},
        {"lightning", &R::FireProc14ThunderBeam, homing, 0, 1, 1, 0, 0.25f, 0.8f, 0.35f, 20, 100, 7, 3, 0, true, 0.0f},
        {"lightning charged", &R::FireProc14ThunderBeam, homing, 2, 1, 2, 3, 0.5f, 0.96f, 0.35f, 32, 100, 14, 3, 0,
         true, 0.0f},
        {"laser", &R::FireProc17HiLaser, laser, 0, 1, 1, 0, 0.25f, 1.5f, 0.0f, 200, 100, 7, 200, 0, false, 0.0f},
        {"laser charged", &R::FireProc17HiLaser, laser, 2, 1, 11, 30, 0.25f, 1.6f, 0.0f, 200, 100, 7, 200, 0, false,
         0.0f},
        {"scatter", &R::FireProc21Beam2, stream, 0, 1, 1, 1, 0.2f, 0.75f, 7.0f, 30, 100, 7, 1, 0, true, 0.0f},
        // Two extra beams at 0.3 of the damage, each turned by its own draw; five sparks.
        {"scatter charged", &R::FireProc21Beam2, stream, 2, 3, 6, 3 + 15, 0.2f, 0.75f, 7.0f, 30, 100, 7, 1, 0, true,
         -0.005f},
        {"aimed stream", &R::FireProc24HiLaser2, stream, 0, 1, 1, 0, 0.25f, 1.5f, 0.5f, 200, 100, 7, 200, 0, true,
         0.0f},
        {"aimed stream charged", &R::FireProc24HiLaser2, stream, 1, 1, 31, 90, 0.35f, 1.6f, 0.5f, 200, 140, 7, 200, 0,
         true, -0.1f},
        {"held stream", &R::FireProc25HiLaser2, stream, 0, 1, 1, 0, 0.25f, 1.5f, 0.5f, 100, 100, 7, 200, 0, true,
         0.0f},
        {"held stream charged", &R::FireProc25HiLaser2, stream, 1, 1, 31, 90, 0.35f, 1.6f, 0.5f, 100, 120, 7, 200, 0,
         true, -0.1f},
        {"short stream", &R::FireProc28HiLaser2, stream, 0, 1, 1, 0, 0.25f, 1.5f, 0.5f, 20, 100, 7, 200, 0, true,
         0.0f},
        {"short stream charged", &R::FireProc28HiLaser2, stream, 1, 1, 31, 90, 0.35f, 1.6f, 0.5f, 20, 120, 7, 200, 0,
         true, -0.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Range range;
        range.robot.chargeLevel = c.charge;
        GetBattleRandom().Init(21);
        (range.robot.*c.proc)(c.args);
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
        EXPECT_EQ(beam->Target, c.targeted ? &range.target : nullptr);
        EXPECT_EQ(beam->TrailFlag, c.trailFlag);
        EXPECT_FLOAT_EQ(range.robot.velocity.z, c.recoil);
        if (c.beams > 1) {  // the extra beams deal 0.3 of the damage
            const auto* extra = static_cast<const LZ_Beam*>(range.weapons.GetHead()->next);
            EXPECT_EQ(extra->Damage, 30);
            EXPECT_EQ(extra->DownValue, 0);
            if (c.proc == &R::FireProc21Beam2) {  // thinner, weaker, each turned its own way
                EXPECT_FLOAT_EQ(extra->Width, 0.15f);
                EXPECT_FLOAT_EQ(extra->Knockback, 0.15f);
                EXPECT_NE(Mat4(extra->Laser.World), Mat4(beam->Laser.World));
            }
        }
        const auto* stream = dynamic_cast<const LZ_HiLaser2*>(beam);
        if (!stream) continue;
        EXPECT_EQ(stream->Life, 80);
        EXPECT_EQ(stream->StopWithOwner, c.proc == &R::FireProc28HiLaser2 && c.charge == 0 ? 0 : 1);
        EXPECT_FLOAT_EQ(stream->TrailFactor, 2.0f);
        const bool held = c.proc != &R::FireProc24HiLaser2;
        EXPECT_EQ(stream->Anchor, held ? &range.point->world : nullptr);
        EXPECT_EQ(stream->SmokeTrail, held ? 1 : 7);
        EXPECT_EQ(stream->ShakeFrames, held ? 7 : 0);
        const bool waving = c.proc == &R::FireProc25HiLaser2;
        EXPECT_EQ(stream->StreamMode, waving ? 1 : 0);
        EXPECT_EQ(stream->StreamParams[0], waving ? 0x3E4CCCCDu : 0u);  // 0.2f
    }

    // Short energy: nothing made, nothing spent, nothing drawn, no warning.
    Range range;
    range.robot.energy = 5.0f;
    ResetBattleFireStats();
    GetBattleRandom().Init(21);
    for (auto proc : {&CRobot_Normal::FireProc01Beam, &CRobot_Normal::FireProc12Beam,
                      &CRobot_Normal::FireProc13Beam2, &CRobot_Normal::FireProc17HiLaser,
                      &CRobot_Normal::FireProc21Beam2, &CRobot_Normal::FireProc24HiLaser2,
                      &CRobot_Normal::FireProc25HiLaser2, &CRobot_Normal::FireProc28HiLaser2})
        (range.robot.*proc)(homing);
    EXPECT_EQ(DrawsSinceSeed(21), 0);
    EXPECT_EQ(range.weapons.GetCount(), 0u);
    EXPECT_EQ(BattleFireStats().warned[17], 0);
    // The laser procedure's warning is given once a battle, when it fires.
    range.robot.energy = 100.0f;
    range.robot.FireProc17HiLaser(homing);
    EXPECT_EQ(BattleFireStats().warned[17], 1);
    ResetBattleFireStats();
    EXPECT_EQ(BattleFireStats().warned[17], 0);

    // A put-away weapon point: the held stream costs nothing and makes nothing;
    // an unknown wave selector leaves the stream straight; a texture number
    // outside the table leaves it untextured.
    range.Clear();
    range.robot.energy = 100.0f;
    range.point->hidden = 1;
    range.robot.FireProc25HiLaser2(stream);
    EXPECT_FLOAT_EQ(range.robot.energy, 100.0f);
    EXPECT_EQ(range.weapons.GetCount(), 0u);
    range.point->hidden = 0;
    const i32 odd[10] = {3, 10, 25, 150, 80, 123456, 50, 7, 1, 2};
    range.robot.FireProc25HiLaser2(odd);
    ASSERT_EQ(range.weapons.GetCount(), 1u);
    const auto* straight = static_cast<const LZ_HiLaser2*>(range.weapons.GetHead()->next);
    EXPECT_EQ(straight->StreamMode, 0);
    EXPECT_EQ(straight->Laser.Texture, nullptr);
}
