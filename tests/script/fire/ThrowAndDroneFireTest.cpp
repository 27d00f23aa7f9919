#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/Beam.h"
#include "weapon/Cristal.h"
#include "weapon/Fannel.h"
#include "weapon/Sword.h"
#include "weapon/ThrowWeapon.h"
#include "weapon/effects/AttackEffects.h"

namespace {

struct Armoury : ArmedRobot, WeaponRange {
    HodNode* point = Point(3, Vec3(0, 0, 5));
    HodNode* part = Point(4, Vec3(0, 2, 0));

    Armoury() : WeaponRange(11)
    {
        robot.energy = 100.0f;
        robot.energyMax = 100;
        robot.team = 4;
        robot.facing = Vec3(0, 0, 1);
        robot.side = Vec3(1, 0, 0);
        robot.scriptContext.attackPower = 12;
        robot.scriptContext.attackDownF = 30;
    }
};

}  // namespace

TEST(ThrowAndDroneFireTest, EachProcedurePutsItsObjectsIntoPlay)
{
    struct Case {
        const char* name;
        CRobot_Normal::FireProc proc;
        i32 charge;
        i32 args[10];
        u32 weapons, effects, attacks;  // effects: sparks and flashes
        int draws;
    };
    const Case cases[] = {
        {"drone", &CRobot_Normal::FireProc05Fannel, 0, {3, 1, 0, 1}, 1, 0, 0, 1},
        {"drone charged", &CRobot_Normal::FireProc05Fannel, 2, {3, 1, 0, 0}, 1, 4, 0, 1 + 12},
        {"drone without a mesh", &CRobot_Normal::FireProc05Fannel, 0, {3, 1, 20, 0}, 0, 0, 0, 0},
        {"grenade", &CRobot_Normal::FireProc07Grenade, 0, {3, 1}, 0, 0, 1, 3},
        {"three grenades, a spark after each", &CRobot_Normal::FireProc07Grenade, 3, {3, 1}, 0, 3, 3, 3 * 6},
        {"ball", &CRobot_Normal::FireProc08CrasyBall, 0, {3, 1}, 0, 1, 0, 1},
        {"ball charged", &CRobot_Normal::FireProc08CrasyBall, 2, {3, 1}, 0, 31, 0, 1 + 90},
        {"trap laser", &CRobot_Normal::FireProc15TrapLaser, 0, {3, 1}, 1, 1, 0, 0},
        {"trap laser charged", &CRobot_Normal::FireProc15TrapLaser, 3, {3, 1}, 1, 11, 0, 30},
        {"bomb, any charge alike", &CRobot_Normal::FireProc16Bomb, 3, {3, 1}, 1, 0, 0, 0},
        {"one crystal", &CRobot_Normal::FireProc22DropCrystals, 0, {3, 1}, 1, 0, 0, 1},
        {"one crystal charged", &CRobot_Normal::FireProc22DropCrystals, 1, {3, 1}, 1, 4, 0, 1 + 12},
        {"four crystals", &CRobot_Normal::FireProc22DropCrystals, 3, {3, 1}, 4, 4, 0, 4 + 12},
        {"shield", &CRobot_Normal::FireProc29ShieldThrow, 0, {3, 1, 2, 4}, 1, 0, 0, 0},
        {"shield charged, one spark", &CRobot_Normal::FireProc29ShieldThrow, 4, {3, 1, 2, 4}, 1, 1, 0, 3},
        {"shield from no part", &CRobot_Normal::FireProc29ShieldThrow, 0, {3, 1, 2, 9}, 0, 0, 0, 0},
        {"thrown sword", &CRobot_Normal::FireProc31SwordThrow, 0, {3, 1, 2, 4}, 1, 0, 0, 0},
        {"thrown sword charged", &CRobot_Normal::FireProc31SwordThrow, 1, {3, 1, 2, 4}, 1, 1, 0, 3},
        {"launched sword", &CRobot_Normal::FireProc32Sword, 3, {3, 1, 2}, 1, 0, 0, 5},
        {"homing sword", &CRobot_Normal::FireProc33Sword2, 3, {3, 1, 2}, 1, 0, 0, 4},
        {"homing sword without a mesh", &CRobot_Normal::FireProc33Sword2, 0, {3, 1, -1}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Armoury a;
        a.robot.chargeLevel = c.charge;
        (a.robot.*c.proc)(c.args);
        EXPECT_EQ(a.weapons.GetCount(), c.weapons);
        EXPECT_EQ(a.effects.GetCount(), c.effects);
        EXPECT_EQ(a.attacks.GetCount(), c.attacks);
        EXPECT_EQ(DrawsSinceSeed(11), c.draws);
        EXPECT_FLOAT_EQ(a.robot.energy, c.weapons + c.effects + c.attacks ? 99.0f : 100.0f);
    }
}

TEST(ThrowAndDroneFireTest, ValuesHandedToTheNewObjects)
{
    Armoury a;
    const i32 drone[10] = {3, 1, 1, 1};
    a.robot.chargeLevel = 3;
    a.robot.FireProc05Fannel(drone);
    auto* fannel = dynamic_cast<LZ_Fannel*>(a.weapons.GetHead()->next);
    ASSERT_NE(fannel, nullptr);
    EXPECT_EQ(fannel->ShotsLeft, 2);
    EXPECT_EQ(fannel->WeaponKind, 1);
    EXPECT_EQ(fannel->Mesh, a.model.extraMeshes[1].get());
    EXPECT_GE(fannel->FireCountdown, 200);
    EXPECT_LE(fannel->FireCountdown, 220);
    EXPECT_EQ(a.point->hidden, 1);
    // The bay is empty: a second call does nothing and spends nothing.
    a.robot.FireProc05Fannel(drone);
    EXPECT_EQ(a.weapons.GetCount(), 1u);
    EXPECT_FLOAT_EQ(a.robot.energy, 99.0f);

    const i32 grenade[10] = {3, 1};
    a.robot.chargeLevel = 0;
    a.robot.FireProc07Grenade(grenade);
    auto* g = dynamic_cast<BB_Grenade*>(a.attacks.GetHead()->next);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->HasHit(&a.robot));  // not its thrower's for 20 frames
    EXPECT_GE(g->Fuse, 150u);
    EXPECT_LE(g->Fuse, 250u);

    const i32 trap[10] = {3, 1};
    for (i32 charge : {1, 3}) {
        a.robot.chargeLevel = charge;
        a.robot.FireProc15TrapLaser(trap);
        EXPECT_EQ(static_cast<LZ_TrapLaser*>(a.weapons.GetHead()->next)->Life, charge == 1 ? 600 : 1000);
    }

    const i32 thrown[10] = {3, 1, 2, 4};
    for (i32 charge : {0, 5}) {
        a.robot.chargeLevel = charge;
        a.robot.FireProc31SwordThrow(thrown);
        auto* sword = static_cast<LZ_SwordThrow*>(a.weapons.GetHead()->next);
        EXPECT_EQ(sword->StateCounter, charge == 0 ? 180 : 30);
        EXPECT_EQ(sword->Damage, charge == 0 ? 12 : 24);
        EXPECT_EQ(sword->BladeMatrix.m[3][1], 2.0f);  // at the sword part
        EXPECT_EQ(a.part->hidden, 0);
    }
    a.robot.chargeLevel = 0;
    a.robot.FireProc29ShieldThrow(thrown);
    EXPECT_EQ(a.part->hidden, 1);
    EXPECT_EQ(static_cast<LZ_ShieldThrow*>(a.weapons.GetHead()->next)->ColourSet, &a.robot.colorSet);

    // Conjured blades take AttackPow itself, whatever the charge.
    const i32 blade[10] = {3, 1, 2};
    a.robot.chargeLevel = 4;
    a.robot.FireProc32Sword(blade);
    EXPECT_EQ(static_cast<LZ_Sword*>(a.weapons.GetHead()->next)->Damage, 12);
}

TEST(ThrowAndDroneFireTest, ASilverDropCarriesEveryColoursMesh)
{
    Armoury a;
    const i32 args[10] = {3, 0};
    a.robot.chargeLevel = 30;  // capped, but plenty of rolls
    for (int i = 0; i < 20; ++i) a.robot.FireProc22DropCrystals(args);
    bool sawSilver = false;
    for (BB_Base* o = a.weapons.GetHead()->next; o != a.weapons.GetTail(); o = o->next) {
        auto* c = dynamic_cast<LZ_Cristal*>(o);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->Owner, &a.robot);
        if (auto* s = dynamic_cast<LZ_Cristal_Silver*>(c)) {
            sawSilver = true;
            for (int k = 0; k < kCrystalColours; ++k) EXPECT_EQ(s->SpawnMeshes[k], a.model.extraMeshes[k].get());
            EXPECT_EQ(s->Life, 4000);
        }
    }
    EXPECT_TRUE(sawSilver);
}
