#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/Bullet.h"

namespace {

struct Gunnery : ArmedRobot, WeaponRange {
    HodNode* point = Point(3, Vec3(0, 0, 5));

    Gunnery() : WeaponRange(11)
    {
        robot.energy = 100.0f;
        robot.energyMax = 100;
        robot.team = 4;
        robot.facing = Vec3(0, 0, 1);
        robot.scriptContext.attackPower = 12;
        robot.scriptContext.attackDownF = 30;
    }
};

}  // namespace

TEST(GunAndMissileFireTest, EachProcedureLaunchesItsShotsWithItsValues)
{
    struct Case {
        const char* name;
        CRobot_Normal::FireProc proc;
        i32 charge;
        i32 args[10];
        u32 shots, effects;  // effects: sparks, flashes, rings
        int draws;
        f32 speed, turn;
        i32 damage, down, durability;
    };
    const Case cases[] = {
        {"salvo of one", &CRobot_Normal::FireProc03Missile, 0, {3, 1}, 1, 0, 3, -1, 0.7f, 12, 30, 1},
        // The first at full damage, three at 0.3; four sparks.
        {"salvo of four", &CRobot_Normal::FireProc03Missile, 4, {3, 1}, 4, 4, 4 * 3 + 4 * 3, -1, 0.7f, 3, 3, 1},
        {"carrier", &CRobot_Normal::FireProc04Missile2, 0, {3, 1}, 1, 0, 0, 0.3f, 0.7f, 120, 30, 1},
        {"carrier charged", &CRobot_Normal::FireProc04Missile2, 3, {3, 1}, 1, 1, 3, 0.3f, 0.7f, 240, 30, 1},
        {"thrown missile", &CRobot_Normal::FireProc10Missile3, 0, {3, 1, 2}, 1, 0, 0, 0.0f, 0.7f, 12, 30, 200},
        {"thrown missile charged", &CRobot_Normal::FireProc10Missile3, 3, {3, 1, 2}, 1, 1, 3, 0.0f, 0.9f, 12, 30,
         200},
        {"thrown missile, no such mesh", &CRobot_Normal::FireProc10Missile3, 0, {3, 1, 20}, 0, 0, 0, 0, 0, 0, 0, 0},
        {"pushed missile", &CRobot_Normal::FireProc19Missile4, 0, {3, 1, 0}, 1, 0, 0, 0.0f, 0.5f, 12, 30, 100},
        {"pushed missile, negative mesh", &CRobot_Normal::FireProc19Missile4, 0, {3, 1, -1}, 0, 0, 0, 0, 0, 0, 0, 0},
        // No target: only the script's turn, never below 0.
        {"bullet", &CRobot_Normal::FireProc06Bullet, 0, {3, 1, 0, 10, 2, 20}, 1, 1, 0, 1.0f, 0.2f, 12, 30, 0},
        {"bullet turning back", &CRobot_Normal::FireProc06Bullet, 0, {3, 1, 0, 0, 0, -50}, 1, 1, 0, 0.9f, 0.0f, 12,
         30, 0},
        {"bullet charged", &CRobot_Normal::FireProc06Bullet, 2, {3, 1}, 1, 8, 7 * 3, 1.1f, 0.0f, 12, 60, 0},
        {"rifle bullet", &CRobot_Normal::FireProc11Bullet, 0, {3, 1}, 1, 0, 0, 0.9f, 0.1f, 12, 30, 0},
        {"rifle bullet charged", &CRobot_Normal::FireProc11Bullet, 3, {3, 1}, 1, 5, 5 * 3, 1.2f, 0.1f, 13, 90, 0},
        {"shell", &CRobot_Normal::FireProc09Canon, 0, {3, 1}, 1, 1, 0, 3.0f, 0.0f, 12, 30, 1},
        {"shell charged", &CRobot_Normal::FireProc09Canon, 1, {3, 1}, 1, 31, 30 * 3, 3.0f, 0.0f, 12, 30, 32767},
        {"mesh shell", &CRobot_Normal::FireProc18Canon, 0, {3, 1, 1, 0, 0}, 1, 1, 2, 0.8f, 0.0f, 12, 30, 1},
        // A negative spread is no spread; still two draws.
        {"mesh shell, negative spread", &CRobot_Normal::FireProc18Canon, 0, {3, 1, 1, 0, -7}, 1, 1, 2, 0.8f, 0.0f,
         12, 30, 1},
        {"mesh shell charged", &CRobot_Normal::FireProc18Canon, 2, {3, 1, 1, 0, 4}, 1, 31, 2 + 30 * 3, 1.0f, 0.0f, 12,
         30, 1},
        {"fireball", &CRobot_Normal::FireProc20FireBall, 0, {3, 1}, 1, 1, 0, 0.7f, 0.0f, 12, 30, 1},
        // The charge adds to AttackPow rather than scaling it: 12.1 stays 12.
        {"fireball charged", &CRobot_Normal::FireProc20FireBall, 2, {3, 1}, 1, 31, 90, 0.9f, 0.0f, 12, 30, 1},
        {"piercing shell", &CRobot_Normal::FireProc26Canon2, 0, {3, 1, 150}, 1, 1, 0, 1.5f, 0.0f, 12, 30, 1},
        {"piercing shell charged", &CRobot_Normal::FireProc26Canon2, 3, {3, 1, 150}, 1, 31, 90, 1.9f, 0.0f, 12, 30,
         32767},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Gunnery g;
        g.robot.chargeLevel = c.charge;
        (g.robot.*c.proc)(c.args);
        ASSERT_EQ(g.weapons.GetCount(), c.shots);
        EXPECT_EQ(g.effects.GetCount(), c.effects);
        EXPECT_EQ(DrawsSinceSeed(11), c.draws);
        EXPECT_FLOAT_EQ(g.robot.energy, c.shots ? 99.0f : 100.0f);
        if (!c.shots) continue;
        // The newest shot is the last made (the lower damage of a salvo).
        auto* shot = static_cast<LZ_Bullet*>(g.weapons.GetHead()->next);
        if (c.speed >= 0.0f) {
            EXPECT_NEAR(shot->Speed, c.speed, 1e-5f);
        }
        EXPECT_NEAR(shot->TurnRate, c.turn, 1e-5f);
        EXPECT_EQ(shot->Damage, c.damage);
        EXPECT_EQ(shot->DownValue, c.down);
        EXPECT_EQ(shot->Durability, c.durability);
        EXPECT_EQ(shot->Owner, &g.robot);
        EXPECT_EQ(shot->Team, 4);
        if (auto* carrier = dynamic_cast<LZ_Missile2*>(shot)) {
            EXPECT_EQ(carrier->WarheadDamage, c.charge ? 24 : 12);
            EXPECT_EQ(carrier->WarheadMesh, g.model.extraMeshes[0].get());
        }
    }
}

TEST(GunAndMissileFireTest, FireballHomesOnlyOnATargetItMayAimAt)
{
    Gunnery g;
    BB_Standard target;
    target.World.m[3][2] = 45.0f;  // 40 ahead of the weapon point
    g.robot.target = &target;
    const i32 args[10] = {3, 1};
    for (u8 aimOff : {0, 1}) {
        SCOPED_TRACE(int(aimOff));
        g.robot.aimOff = aimOff;
        g.robot.FireProc20FireBall(args);
        auto* ball = static_cast<LZ_FireBall*>(g.weapons.GetHead()->next);
        EXPECT_NEAR(ball->TurnRate, aimOff ? 0.0f : 0.6f * 0.46f, 1e-5f);
        EXPECT_EQ(ball->Target, &target);
        EXPECT_EQ(ball->BlendMode, 2);
        EXPECT_EQ(ball->Laser.MaxPoints, 3);
    }
    g.robot.FireProc26Canon2(args);
    EXPECT_EQ(static_cast<LZ_Canon2*>(g.weapons.GetHead()->next)->Target, &target);
}
