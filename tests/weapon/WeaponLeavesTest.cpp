#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "engine/model/HodModel.h"
#include "weapon/Beam.h"
#include "weapon/Bomb.h"
#include "weapon/Bullet.h"
#include "weapon/Cristal.h"
#include "weapon/Fannel.h"
#include "weapon/LineEffect.h"
#include "weapon/Sword.h"
#include "weapon/ThrowWeapon.h"
#include "weapon/Yakkyou.h"

TEST(WeaponLeavesTest, KindsDamageTypesAndWhoCanBeHit)
{
    struct Case {
        const char* name;
        std::function<std::unique_ptr<LZ_Basic>()> make;
        i32 kind, damageType;
        bool hittable;  // by other weapons, once its mask allows it
    };
    auto mk = [](auto* p) { return std::unique_ptr<LZ_Basic>(p); };
    const Case cases[] = {
        {"beam", [&] { return mk(new LZ_Beam); }, 11, 0, false},
        {"thunder beam", [&] { return mk(new LZ_ThunderBeam); }, 11, 0, false},
        {"laser", [&] { return mk(new LZ_HiLaser2); }, 11, 0, false},
        {"trap laser", [&] { return mk(new LZ_TrapLaser); }, 11, 0, false},
        {"bullet", [&] { return mk(new LZ_Bullet); }, 11, 1, true},
        {"shell", [&] { return mk(new LZ_Canon2); }, 11, 1, true},
        {"fireball", [&] { return mk(new LZ_FireBall); }, 11, 1, false},
        {"missile", [&] { return mk(new LZ_Missile4); }, 11, 1, true},
        {"bomb", [&] { return mk(new LZ_Bomb); }, 11, 1, true},
        {"crystal", [&] { return mk(new LZ_Cristal_Silver); }, 11, 1, true},
        {"drone", [&] { return mk(new LZ_Fannel); }, 11, 1, true},
        {"shield", [&] { return mk(new LZ_ShieldThrow); }, 11, 1, true},
        {"sword", [&] { return mk(new LZ_Sword2); }, 11, 1, true},
        {"casing", [&] { return mk(new LZ_Yakkyou); }, 11, 1, true},
        {"line", [&] { return mk(new LZ_LineEffect2); }, 10, 0, false},
        {"lightning", [&] { return mk(new LZ_ThunderEffect); }, 10, 0, false},
        {"tether", [&] { return mk(new LZ_LineEffect3); }, 10, 0, false},
    };
    BB_Base ownerA, ownerB;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<LZ_Basic> w = c.make();
        EXPECT_EQ(w->GetKind(), c.kind);
        EXPECT_EQ(w->GetDamageType(), c.damageType);
        EXPECT_EQ(w->TrailFlag, 4);
        if (c.kind != kKindWeapon) continue;
        auto* target = static_cast<LZ_Standard*>(w.get());
        target->HitMask = kHitByWeapons;
        target->Team = 1;
        target->Owner = &ownerA;
        target->Width = 1.0f;
        target->Durability = 50;
        LZ_Bullet shot;
        const Mat4 from = [] { Mat4 m; m.m[3][0] = -3.0f; return m; }();
        shot.Set({.start = &from, .width = 0.1f, .maxPoints = 5, .blendMode = 1, .texture = nullptr,
                  .colour = 0xFFFFFFFFu},
                 {.speed = 1.0f, .turnRate = 0.0f, .life = 0},
                 {.owner = &ownerB, .target = nullptr, .damage = 20, .downValue = 0, .knockback = 0.0f, .hitFlags = 0,
                  .rehitInterval = 10, .testSegments = 1, .team = 2});
        shot.Laser.AddPoint(Vec3(3, 0, 0));
        target->HitTestObject(&shot);
        EXPECT_EQ(target->Durability, c.hittable ? 30 : 50);
    }
}

TEST(WeaponLeavesTest, InitialisersStoreWhatTheyAreGiven)
{
    Mat4 start;
    start.m[3][0] = 4.0f;
    BB_Base owner, target;

    LZ_HiLaser2 laser;
    ASSERT_EQ(laser.StreamParams.GetCount(), 10);
    laser.SetEx({.start = &start, .width = 1.0f, .maxPoints = 200, .blendMode = 1, .texture = nullptr,
                 .colour = 0xFF00FF00u},
                {.speed = 1.5f, .turnRate = 0.5f, .life = 80},
                {.owner = &owner, .target = &target, .damage = 20, .downValue = 21, .knockback = 0.25f, .hitFlags = 3,
                 .rehitInterval = 5, .testSegments = 200, .team = 7},
                1, &start, 9);
    EXPECT_EQ(laser.HitMask, 7u);
    EXPECT_EQ(laser.Owner, &owner);
    EXPECT_EQ(laser.Target, &target);
    EXPECT_EQ(laser.Damage, 20);
    EXPECT_EQ(laser.DownValue, 21);
    EXPECT_FLOAT_EQ(laser.Knockback, 0.25f);
    EXPECT_EQ(laser.HitFlags, 3u);
    EXPECT_EQ(laser.RehitInterval, 5);
    EXPECT_EQ(laser.TestSegments, 200);
    EXPECT_EQ(laser.Team, 7);
    EXPECT_EQ(laser.Life, 80);
    EXPECT_EQ(laser.Anchor, &start);
    EXPECT_EQ(laser.SmokeTrail, 9);
    EXPECT_EQ(laser.Laser.Count, 1);
    EXPECT_EQ(laser.Laser.Newest()->Position, Vec3(4, 0, 0));
    EXPECT_EQ(laser.Laser.MaxPoints, 200);

    LZ_LineSmokeOut smoke;
    const Vec3 v(0, 1, 0);
    smoke.SetEx(&start, &v);
    EXPECT_EQ(smoke.HitMask, u32(kHitStage));
    EXPECT_EQ(smoke.BlendMode, 2);
    EXPECT_EQ(smoke.TestSegments, 1);
    EXPECT_EQ(smoke.Laser.MaxPoints, 2);
    EXPECT_EQ(smoke.Life, 3);
    EXPECT_EQ(smoke.Velocity, v);

    LZ_TrapLaser trap;
    trap.SetEx({.start = &start, .width = 0.3f, .maxPoints = 200, .blendMode = 1, .texture = nullptr,
                .colour = 0xFFFFFFFFu},
               {.speed = 5.0f, .turnRate = 0.0f, .life = 600},
               {.owner = &owner, .target = nullptr, .damage = 9, .downValue = 1, .knockback = 0.1f, .hitFlags = 0,
                .rehitInterval = 10, .testSegments = 5, .team = 2},
               0);
    const i32 before = trap.Damage;
    EXPECT_EQ(trap.SetOption(12345), 0);
    EXPECT_EQ(trap.Damage, before);

    LZ_Missile3 missile;
    const Vec3 launch(0.1f, 0.2f, 0.3f);
    missile.SetOption(&launch);
    EXPECT_EQ(missile.LaunchVelocity, launch);
    EXPECT_EQ(missile.Lifetime, 500);
    EXPECT_FLOAT_EQ(missile.Spare, 3.0f);

    // The drone's bay part disappears from the robot with everything below it.
    HodNode& bay = *new HodNode;
    HodNode* child = bay.AddChild();
    ASSERT_NE(child, nullptr);
    bay.world.m[3][1] = 2.0f;
    LZ_Fannel drone;
    drone.SetEx(&bay, 3, 200, 1, nullptr);
    EXPECT_EQ(bay.hidden, 1);
    EXPECT_EQ(child->hidden, 1);
    EXPECT_EQ(drone.BayMatrix, &bay.world);
    EXPECT_FLOAT_EQ(drone.LaunchMatrix.m[3][1], 2.0f);
    EXPECT_EQ(drone.ShotsLeft, 3);
    EXPECT_EQ(drone.FireCountdown, 200);
    LZ_Fannel lost;
    lost.SetEx(nullptr, 0, 0, 0, nullptr);
    EXPECT_EQ(Mat4(lost.LaunchMatrix), Mat4::Identity());
    bay.FreeTree(true);  // frees the nodes too

    // A tether ends once its flag is raised or its owner is gone.
    Mat4 a, b;
    b.m[3][2] = 5.0f;
    i32 flag = 0;
    LZ_LineEffect3 tether;
    tether.Set(&owner, &a, &b, 0.1f, 1, nullptr, 0xFFFFFFFFu, &flag);
    EXPECT_EQ(tether.Laser.Count, 2);
    EXPECT_EQ(tether.Laser.Newest()->Position, Vec3(0, 0, 5));
    EXPECT_EQ(tether.Run(), 0);
    flag = 1;
    EXPECT_EQ(tether.Run(), 1);
    flag = 0;
    owner.Removed = 1;
    EXPECT_EQ(tether.Run(), 1);
}
