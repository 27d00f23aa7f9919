#include "weapon/Cristal.h"

#include <functional>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/Beam.h"
#include "weapon/ObjectFactory.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Flash.h"

namespace {

template <class T>
T* Drop(WeaponRange& a, const Vec3& at, BB_Base* owner, i32 fireChance, i32 life = 3000, i16 durability = 150)
{
    auto* c = NewObject<T>(&a.weapons, 1);
    const Mat4 m = TranslationTo(at);
    c->Set(&m, 1, 0xFFFFFFFFu, owner, nullptr, 1, durability, nullptr, 0, life, fireChance);
    return c;
}

}  // namespace

TEST(CristalTest, OrbitSettlesTwoUnitsFromItsPointAtMostAFifthAFrame)
{
    WeaponRange a;
    StandInRobot owner(Vec3(0, 0, 0), 1);
    struct Case {
        f32 distance, step;  // step: movement toward the orbit point
    };
    const Case cases[] = {{2.0f, 0.0f}, {2.4f, 0.2f}, {2.2f, 0.1f}, {5.0f, 0.2f}, {1.6f, -0.2f}, {0.5f, -0.2f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.distance);
        auto* crystal = Drop<LZ_Cristal_Red>(a, Vec3(c.distance, 0, 0), &owner.robot, -1);
        crystal->Age = 1;  // no new offset this frame
        crystal->Run();
        EXPECT_NEAR(crystal->Position().x, c.distance - c.step, 1e-5f);
        EXPECT_EQ(crystal->CrystalState, 0);  // a chance below every roll never acts
    }
}

TEST(CristalTest, ShootersApproachFireOnceAndReturnToOrbit)
{
    struct Case {
        const char* name;
        std::function<LZ_Cristal*(WeaponRange&, BB_Base*)> drop;
        bool lock;
        i32 situation;
        int shots;
        f32 stopHeight;  // the height above the target it shoots from
    };
    const Case cases[] = {
        {"red", [](WeaponRange& a, BB_Base* o) { return Drop<LZ_Cristal_Red>(a, Vec3(0, 2, 0), o, 1000); },
         true, 0, 1, 0.0f},
        {"blue from above", [](WeaponRange& a, BB_Base* o) { return Drop<LZ_Cristal_Blue>(a, Vec3(0, 2, 0), o, 1000); },
         true, 12, 1, 8.0f},
        {"green from afar", [](WeaponRange& a, BB_Base* o) { return Drop<LZ_Cristal_Green>(a, Vec3(0, 2, 0), o, 1000); },
         true, 0, 1, -1.0f},
        {"no lock, no shot", [](WeaponRange& a, BB_Base* o) { return Drop<LZ_Cristal_Red>(a, Vec3(0, 2, 0), o, 1000); },
         false, 0, 0, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WeaponRange a;
        StandInRobot owner(Vec3(0, 0, 0), 1), enemy(Vec3(0, 0, 30), 2);
        owner.robot.situation = c.situation;
        if (c.lock) owner.robot.lockTarget = &enemy.robot;
        LZ_Cristal* crystal = c.drop(a, &owner.robot);
        int shots = 0, firedAt = 0, backInOrbit = 0;
        for (int run = 1; run <= 400; ++run) {
            crystal->Run();
            const int now = WeaponRange::Count<LZ_Beam>(a.weapons);
            if (now > shots && !firedAt) {
                firedAt = run;
                const Vec3 to = enemy.Aim() - crystal->Position();
                if (c.stopHeight > 0.0f) {
                    EXPECT_NEAR(crystal->Position().y, c.stopHeight, 7.0f);
                }
                if (c.stopHeight < 0.0f) {
                    EXPECT_GT(plat::Vec3Length(&to), 7.0f);  // Green shoots from up to 40 away
                }
            }
            shots = now;
            if (firedAt && !backInOrbit && crystal->CrystalState == 0) backInOrbit = run;
            if (backInOrbit) break;
        }
        EXPECT_EQ(shots, c.shots);
        if (c.shots) {
            EXPECT_EQ(backInOrbit, firedAt + 59);
        }
        owner.robot.lockTarget = nullptr;
    }
}

TEST(CristalTest, GoldFeedsHealHealsSilverSpawnsWithEveryColoursMesh)
{
    WeaponRange a;
    StandInRobot owner(Vec3(0, 0, 0), 1);
    owner.robot.energyMax = 1000;
    owner.robot.boostGaugeMax = 1000;
    owner.robot.hp = 10;
    owner.robot.hpMax = 100;

    auto* gold = Drop<LZ_Cristal_Gold>(a, Vec3(0, 2, 0), &owner.robot, 0);
    gold->Run();  // age 0: the first gift
    EXPECT_FLOAT_EQ(owner.robot.energy, 30.0f);
    EXPECT_EQ(owner.robot.boostGauge, 50);
    EXPECT_EQ(WeaponRange::Count<BB_Circle>(a.effects), 1);
    a.weapons.Init();

    auto* heal = Drop<LZ_Cristal_Heal>(a, Vec3(0, 2, 0), &owner.robot, 0);
    for (int run = 0; run < 31; ++run) heal->Run();  // ages 0, 15 and 30
    EXPECT_EQ(owner.robot.hp, 13);
    owner.robot.hp = 0;
    for (int run = 0; run < 30; ++run) heal->Run();
    EXPECT_EQ(owner.robot.hp, 0);  // never raises the fallen
    a.weapons.Init();

    MeshObject meshes[kCrystalColours];
    auto* silver = Drop<LZ_Cristal_Silver>(a, Vec3(0, 2, 0), &owner.robot, 300, 4000, 1000);
    for (int k = 0; k < kCrystalColours; ++k) silver->SpawnMeshes[k] = &meshes[k];
    int children = 0;
    for (int run = 0; run < 60 * 40; ++run) {
        silver->Run();
        for (BB_Base* o = a.weapons.GetHead()->next; o != a.weapons.GetTail(); o = o->next) {
            auto* child = static_cast<LZ_Cristal*>(o);
            if (child == silver || child->Age != 0) continue;
            ++children;
            // Each child drawn with its own colour's mesh, Silver and Heal too.
            const int k = dynamic_cast<LZ_Cristal_Red*>(child)     ? 0
                          : dynamic_cast<LZ_Cristal_Blue*>(child)  ? 1
                          : dynamic_cast<LZ_Cristal_Green*>(child) ? 2
                          : dynamic_cast<LZ_Cristal_Gold*>(child)  ? 3
                          : dynamic_cast<LZ_Cristal_Silver*>(child) ? 4
                                                                     : 5;
            EXPECT_EQ(child->Mesh, &meshes[k]);
            EXPECT_EQ(child->Owner, &owner.robot);
            if (auto* s = dynamic_cast<LZ_Cristal_Silver*>(child)) {
                EXPECT_EQ(s->SpawnMeshes[5], &meshes[5]);
            }
            child->Age = 1;  // counted
        }
    }
    EXPECT_EQ(children, 40);  // one per 60 frames
}

TEST(CristalTest, ShotDownEndsAtOnceAndHandOverReachesOnlyLiveTeammates)
{
    WeaponRange a;
    StandInRobot owner(Vec3(0, 0, 0), 1);
    const Vec3 hit(0, 2, 0);
    auto* silver = Drop<LZ_Cristal_Silver>(a, Vec3(0, 2, 0), &owner.robot, 300, 4000, 0);
    silver->OnHitByWeapon(&hit);  // durability exactly 0: sparks only
    EXPECT_EQ(WeaponRange::Count<BB_ExplodeMissile>(a.effects), 0);
    EXPECT_EQ(a.effects.GetCount(), 5u);
    silver->Run();
    silver->Durability = -1;
    silver->OnHitByWeapon(&hit);
    EXPECT_EQ(WeaponRange::Count<BB_ExplodeMissile>(a.effects), 1);
    EXPECT_EQ(silver->HitMask, 0u);
    int runs = 1;
    while (!silver->Run() && runs < 100) ++runs;
    EXPECT_LE(runs, 3);  // its two trail points go, then so does it
    a.weapons.Init();

    StandInRobot fallen(Vec3(), 1), mate(Vec3(), 1), enemy(Vec3(), 2);
    fallen.robot.state = kRobotStateDown;
    CRobot_Base* table[5] = {&owner.robot, &fallen.robot, nullptr, &enemy.robot, &mate.robot};
    auto* mine = Drop<LZ_Cristal_Red>(a, Vec3(), &owner.robot, 0);
    auto* also = Drop<LZ_Cristal_Heal>(a, Vec3(), &owner.robot, 0);
    auto* theirs = Drop<LZ_Cristal_Red>(a, Vec3(), &enemy.robot, 0);
    GetBattleRandom().Init(3);
    PassCrystalsToTeammates(owner.robot, table, 5, &a.weapons);
    EXPECT_EQ(mine->Owner, &mate.robot);
    EXPECT_EQ(also->Owner, &mate.robot);
    EXPECT_EQ(theirs->Owner, &enemy.robot);
    EXPECT_EQ(DrawsSinceSeed(3), 2);  // one per crystal handed over

    GetBattleRandom().Init(3);
    PassCrystalsToTeammates(enemy.robot, table, 5, &a.weapons);  // no teammate to take them
    EXPECT_EQ(theirs->Owner, &enemy.robot);
    EXPECT_EQ(DrawsSinceSeed(3), 0);
}
