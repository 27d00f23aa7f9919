#include "weapon/Sword.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/ThrowWeapon.h"
#include "weapon/effects/Smoke.h"

namespace {

template <class T>
T* Conjure(WeaponRange& a, BB_Base* owner, const Vec3& at = Vec3())
{
    auto* s = NewObject<T>(&a.weapons, 1);
    const Mat4 m = TranslationTo(at);
    s->Set(&m, nullptr,
           {.owner = owner, .target = nullptr, .damage = 30, .downValue = 5, .knockback = 0.1f, .hitFlags = 0,
            .rehitInterval = 5, .testSegments = 1, .team = 1});
    return s;
}

}  // namespace

TEST(SwordTest, LaunchedSwordSpinsFliesAndEndsStuckOrLost)
{
    WeaponRange a(21);
    StandInRobot owner(Vec3(0, 0, -3), 1), victim(Vec3(0, 0, 20), 2);
    LZ_Sword* s = Conjure<LZ_Sword>(a, &owner.robot);
    EXPECT_EQ(DrawsSinceSeed(21), 5);  // two angles, the delay, two spins
    ASSERT_GE(s->LaunchDelay, 90);
    ASSERT_LE(s->LaunchDelay, 110);
    for (int run = 1; run <= s->LaunchDelay; ++run) s->Run();
    EXPECT_EQ(s->State, 0);
    EXPECT_EQ(s->HitMask, 0u);
    s->Run();
    ASSERT_EQ(s->State, 5);
    const Vec3 launch = Vec3(s->BladeMatrix.m[3][0], s->BladeMatrix.m[3][1], s->BladeMatrix.m[3][2]);
    s->Run();
    s->Run();
    EXPECT_EQ(s->HitMask, 0u);
    s->Run();
    EXPECT_EQ(s->HitMask, u32(kHitRobots | kHitStage));  // the third flying frame
    const Vec3 flown = s->Position() - launch;
    EXPECT_NEAR(plat::Vec3Length(&flown), 0.75f, 1e-4f);

    // Into open sky: it does not fly for ever.
    int runs = 4;  // the next flying frame
    while (!s->Run() && runs < 10000) ++runs;
    EXPECT_EQ(runs, LZ_Sword::kMaxFlightFrames + 1);

    // Stuck in a robot it rides along; when that robot goes it vanishes quietly.
    LZ_Sword* t = Conjure<LZ_Sword>(a, &owner.robot);
    const Vec3 at(0, 0, 19);
    t->OnHitRobot(&at, nullptr, &victim.robot);
    EXPECT_EQ(t->State, 4);
    EXPECT_EQ(t->StuckRobot, &victim.robot);
    victim.Move(Vec3(0, 4, 20));
    t->Run();
    EXPECT_NEAR(t->BladeMatrix.m[3][1], 4.0f, 1e-4f);
    victim.robot.state = kRobotStateDestroyed;
    EXPECT_EQ(t->Run(), 0);
    EXPECT_EQ(t->Run(), 1);
    EXPECT_EQ(WeaponRange::Count<BB_MSmoke>(a.effects), 0);
    victim.robot.state = kRobotStateLive;

    // Stuck in the ground: 300 frames, then ten puffs.
    LZ_Sword* g = Conjure<LZ_Sword>(a, &owner.robot);
    const Vec3 ground(1, 0, 1);
    g->OnHitMap(&ground, nullptr, nullptr);
    EXPECT_EQ(g->BladeMatrix.m[3][0], 1.0f);
    int ground_runs = 1;
    while (!g->Run()) ++ground_runs;
    EXPECT_EQ(ground_runs, 302);
    EXPECT_EQ(WeaponRange::Count<BB_MSmoke>(a.effects), 10);

    // A guard breaks it on its next run; the owner's end breaks it at once.
    LZ_Sword* b = Conjure<LZ_Sword>(a, &owner.robot);
    const Mat4 guard = TranslationTo(Vec3(0, 1, 0));
    const Vec3 guardPoint(0, 1, 0);
    const u32 weaponsBefore = a.weapons.GetCount();
    b->OnHitGuard(&guardPoint, nullptr, &victim.robot, &guard);
    EXPECT_EQ(WeaponRange::Count<LZ_LineEffect>(a.weapons), 5);
    EXPECT_EQ(a.weapons.GetCount(), weaponsBefore + 5);
    EXPECT_EQ(b->Run(), 1);
    LZ_Sword* o = Conjure<LZ_Sword>(a, &owner.robot);
    owner.robot.state = kRobotStateDestroyed;
    EXPECT_EQ(o->Run(), 1);
    EXPECT_EQ(WeaponRange::Count<BB_MSmoke>(a.effects), 30);
}

TEST(SwordTest, OnlyTheLaunchedSwordShakesTheCameraAndOnlyNearby)
{
    struct Case {
        const char* name;
        bool homing;
        f32 distance;
        i32 shakeBefore, shakeAfter;
    };
    const Case cases[] = {
        {"near", false, 5.0f, 0, 15},   {"stronger shake kept", false, 5.0f, 16, 16},
        {"far", false, 25.0f, 0, 0},    {"exactly 20", false, 20.0f, 0, 0},
        {"homing sword", true, 5.0f, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WeaponRange a;
        a.world.camera = TranslationTo(Vec3());
        a.shake = c.shakeBefore;
        StandInRobot victim(Vec3(c.distance, 0, 0), 2);
        LZ_Sword* s = c.homing ? Conjure<LZ_Sword2>(a, nullptr) : Conjure<LZ_Sword>(a, nullptr);
        const Vec3 p(c.distance, 0, 0);
        s->OnHitRobot(&p, nullptr, &victim.robot);
        EXPECT_EQ(a.shake, c.shakeAfter);
        EXPECT_EQ(a.effects.GetCount(), 41u);  // the robot's flash, 20 streaks, 20 sparks
    }
}

TEST(SwordTest, HomingSwordWaitsBesideItsOwnerUntilTheShotButton)
{
    WeaponRange a(21);
    StandInRobot owner(Vec3(0, 0, 0), 1), enemy(Vec3(0, 0, 40), 2);
    LZ_Sword2* s = Conjure<LZ_Sword2>(a, &owner.robot, Vec3(0, 0, 5));
    EXPECT_EQ(DrawsSinceSeed(21), 4);  // three kept in step with the launched sword, then its spin
    EXPECT_GE(s->SpinZ, 3.0f);
    EXPECT_LT(s->SpinZ, 5.0f);
    for (int run = 0; run < 100; ++run) EXPECT_EQ(s->Run(), 0);
    // It has drifted to its hover point, within two units of the owner.
    const Vec3 near = s->Position() - owner.Aim();
    EXPECT_LT(plat::Vec3Length(&near), 2.25f);
    EXPECT_EQ(s->HitMask, 0u);

    owner.robot.lockTarget = &enemy.robot;
    owner.robot.input.buttons[1] = 1;  // shot held
    s->Run();
    EXPECT_EQ(s->State, 1);
    EXPECT_EQ(s->Target, &enemy.robot);
    EXPECT_EQ(s->HitMask, u32(kHitRobots | kHitStage));
    owner.robot.input.buttons[1] = 0;
    f32 nearest = 1e9f;
    int runs = 1;
    while (!s->Run() && runs < 1000) {
        const Vec3 to = enemy.Aim() - s->Position();
        nearest = std::min(nearest, plat::Vec3Length(&to));
        ++runs;
    }
    EXPECT_EQ(runs, 300);    // no hit within 300 frames: gone
    EXPECT_LT(nearest, 3.0f);  // but it homed in on its target
    owner.robot.lockTarget = nullptr;

    // An owner that is no robot never launches it: it waits 3600 frames and breaks up.
    BB_Base stranger;
    LZ_Sword2* idle = Conjure<LZ_Sword2>(a, &stranger);
    int waited = 1;
    while (!idle->Run()) ++waited;
    EXPECT_EQ(waited, 3602);
}
