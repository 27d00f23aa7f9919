#include "weapon/Fannel.h"

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/Beam.h"
#include "weapon/ObjectFactory.h"
#include "weapon/effects/Explode.h"

namespace {

struct Bay {
    HodNode* node = new HodNode;
    HodNode* child = nullptr;
    explicit Bay(const Vec3& at)
    {
        node->world = TranslationTo(at);
        child = node->AddChild();
    }
    ~Bay() { node->FreeTree(true); }
};

LZ_Fannel* Launch(WeaponRange& a, Bay& bay, BB_Base* owner, BB_Base* target, i32 shots, i32 countdown)
{
    auto* d = NewObject<LZ_Fannel>(&a.weapons, 1);
    d->Set({.start = &bay.node->world, .width = 0.05f, .maxPoints = 15, .blendMode = 1, .texture = nullptr,
            .colour = 0xFFFFFFFFu},
           0.6f, 8.0f, owner, target, 1, {.durability = 1, .mesh = nullptr, .shaderMode = 0});
    d->SetEx(bay.node, shots, countdown, 0, nullptr);
    return d;
}

}  // namespace

TEST(FannelTest, LaunchApproachHoverFireReturnDockAndRetire)
{
    WeaponRange a;
    StandInRobot owner(Vec3(0, 0, 0), 1), target(Vec3(0, 0, 25), 2);
    Bay bay(Vec3(0, 1, 0));
    LZ_Fannel* d = Launch(a, bay, &owner.robot, &target.robot, 1, 100);
    EXPECT_EQ(bay.child->hidden, 1);

    double slide = 0.05;
    for (int t = 1; t <= 30; ++t) slide += 0.05 / (t * 0.3);
    int firstShot = 0, beams = 0, finish = 0, docked = 0;
    bool hovered = false;
    for (int run = 1; run <= 3000 && !finish; ++run) {
        const i32 was = d->State;
        const i32 r = d->Run();
        if (run == 1) {
            EXPECT_FLOAT_EQ(d->Position().z, 0.05f);
        }
        if (run == 30) {
            EXPECT_EQ(d->State, 0);
            EXPECT_NEAR(d->LaunchDistance, slide, 1e-4);
        }
        const int now = WeaponRange::Count<LZ_Beam>(a.weapons);
        if (now > beams && !firstShot) firstShot = run;
        beams = now;
        if (d->Target) {
            // Hovering keeps its distance; hops never sink below the aim point.
            const Vec3 to = target.Aim() - d->Position();
            if (was == 1 && d->State == 1) {
                hovered = true;
                EXPECT_GE(plat::Vec3Length(&to), 9.99f);
            }
            if (d->State >= 2 && d->State <= 5) {
                EXPECT_GE(d->Position().y, 0.0f);
            }
        }
        if (d->State == 14 && !docked) docked = run;
        if (!docked) {
            EXPECT_EQ(bay.node->hidden, 1);
        }
        if (r) finish = run;
    }
    EXPECT_EQ(firstShot, 101);  // the countdown ran out at 100, the shot leaves a frame later
    EXPECT_EQ(beams, 2);       // ShotsLeft 1: two shots
    EXPECT_TRUE(hovered);
    ASSERT_GT(docked, 0);
    // The docked drone sits in the bay; the bay shows again as it retires.
    EXPECT_NEAR(d->Position().y, 1.0f, 1e-3f);
    EXPECT_EQ(finish, docked + 19);  // docking ends at age 1001
    EXPECT_EQ(bay.node->hidden, 0);
    EXPECT_EQ(bay.child->hidden, 0);
}

TEST(FannelTest, EscortWithoutATargetTakesTheLockOrDocksAfter300Frames)
{
    WeaponRange a;
    StandInRobot owner(Vec3(0, 0, 0), 1), enemy(Vec3(0, 0, 60), 2);
    Bay bay(Vec3(0, 1, 0));
    LZ_Fannel* d = Launch(a, bay, &owner.robot, nullptr, 0, 200);
    int finish = 0;
    for (int run = 1; run <= 1000 && !finish; ++run) {
        if (run == 100) {
            const Vec3 before = d->Position();
            owner.Move(Vec3(5, 0, 0));
            d->Run();
            EXPECT_NEAR(d->Position().x - before.x, 5.0f, 1e-4f);  // escorts its owner
            continue;
        }
        if (d->Run()) finish = run;
        if (run == 330) {
            EXPECT_EQ(d->State, 13);
        }
    }
    // 30 launch, 300 escort, 50 docking (its last frame already ages the
    // drone to 1001); deleted once the trail is gone at age 1020.
    EXPECT_EQ(finish, 399);
    EXPECT_EQ(bay.node->hidden, 0);

    // A lock taken during the escort becomes the drone's target.
    LZ_Fannel* hunter = Launch(a, bay, &owner.robot, nullptr, 0, 200);
    for (int run = 0; run < 40; ++run) hunter->Run();
    owner.robot.lockTarget = &enemy.robot;
    hunter->Run();
    EXPECT_EQ(hunter->Target, &enemy.robot);
    EXPECT_EQ(hunter->Age, 1);
    owner.robot.lockTarget = nullptr;
}

TEST(FannelTest, LostOwnerGivesTheBayBackAtOnceAndShotsDownRetire)
{
    WeaponRange a;
    Bay bay(Vec3(0, 1, 0));
    {
        StandInRobot owner(Vec3(0, 0, 0), 1);
        LZ_Fannel* d = Launch(a, bay, &owner.robot, nullptr, 0, 200);
        d->Run();
        owner.robot.state = kRobotStateDestroyed;
        d->Run();
        EXPECT_EQ(bay.node->hidden, 0);
        EXPECT_EQ(d->BayNode, nullptr);
        EXPECT_EQ(d->Owner, nullptr);
        EXPECT_EQ(d->HitMask, 0u);
    }
    // The robot is gone now; the drone never touches its model again.
    bay.node->hidden = 1;
    auto* d = static_cast<LZ_Fannel*>(a.weapons.GetHead()->next);
    int runs = 1;
    while (!d->Run() && runs < 100) ++runs;
    EXPECT_LT(runs, 30);
    EXPECT_EQ(bay.node->hidden, 1);

    StandInRobot owner(Vec3(0, 0, 0), 1);
    LZ_Fannel* e = Launch(a, bay, &owner.robot, nullptr, 0, 200);
    const Vec3 hit(1, 2, 3);
    e->Durability = 1;
    e->OnHitByWeapon(&hit);
    EXPECT_EQ(WeaponRange::Count<BB_ExplodeMissile>(a.effects), 0);
    e->Durability = 0;
    e->OnHitByWeapon(&hit);
    EXPECT_EQ(WeaponRange::Count<BB_ExplodeMissile>(a.effects), 1);
    EXPECT_EQ(e->Age, LZ_Fannel::kRetireAge);
    // A stage hit without a target leaves it alone.
    const Mat4 before = e->Laser.World;
    e->OnHitMap(&hit, nullptr, nullptr);
    EXPECT_EQ(Mat4(e->Laser.World), before);
}
