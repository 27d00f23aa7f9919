#include "weapon/ThrowWeapon.h"

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/ObjectFactory.h"
#include "weapon/effects/Smoke.h"
#include "weapon/effects/Wind.h"

namespace {

struct ShieldPart {
    HodNode* node = new HodNode;
    explicit ShieldPart(const Vec3& at) { node->world = TranslationTo(at); }
    ~ShieldPart() { node->FreeTree(true); }
};

LZ_ShieldThrow* Throw(WeaponRange& a, ShieldPart& part, BB_Base* owner, BB_Base* target, f32 turn)
{
    auto* s = NewObject<LZ_ShieldThrow>(&a.weapons, 1);
    const Mat4 start;
    s->Set({.start = &start, .width = 0.2f, .maxPoints = 30, .blendMode = 2, .texture = nullptr, .colour = 0xFFFFFFFFu},
           {.speed = 0.5f, .turnRate = turn, .life = 30},
           {.owner = owner, .target = target, .damage = 10, .downValue = 5, .knockback = 0.1f, .hitFlags = 0,
            .rehitInterval = 5, .testSegments = 1, .team = 1});
    s->SetEx(part.node, 0, 0, nullptr, 0, nullptr);
    return s;
}

}  // namespace

TEST(ThrowWeaponTest, ShieldFliesOutComesBackAndDocksInTwentyFrames)
{
    WeaponRange a;
    StandInRobot owner(Vec3(0, 0, -3), 1);
    ShieldPart part(Vec3(0, 0, -3));
    LZ_ShieldThrow* s = Throw(a, part, &owner.robot, nullptr, 0.0f);
    EXPECT_EQ(part.node->hidden, 1);
    for (int run = 1; run <= 30; ++run) EXPECT_EQ(s->Run(), 0);
    EXPECT_FLOAT_EQ(s->Position().z, 15.0f);
    EXPECT_EQ(s->State, 1);
    EXPECT_EQ(a.meshes.GetCount(), 29u);  // not drawn on the turning frame
    s->Run();
    EXPECT_FLOAT_EQ(s->Position().z, 15.5f);  // one more step out before it turns
    int docking = 0, finish = 0;
    for (int run = 32; run < 200 && !finish; ++run) {
        const i32 r = s->Run();
        if (s->State == 2 && !docking) docking = run;
        if (r) {
            finish = run;
            EXPECT_EQ(r, 1);
        }
        if (!finish) {
            EXPECT_EQ(part.node->hidden, 1);
        }
    }
    ASSERT_GT(docking, 0);
    EXPECT_EQ(finish, docking + 21);
    EXPECT_EQ(part.node->hidden, 0);
    EXPECT_EQ(s->HitMask, 0u);
    EXPECT_NEAR(s->SpinMatrix.m[3][2], -3.0f, 0.5f);
}

TEST(ThrowWeaponTest, ShieldGivesUpAnOwnerItCannotReachOrHasLost)
{
    WeaponRange a;
    ShieldPart part{Vec3()};
    {
        StandInRobot runner(Vec3(0, 0, 0), 1);
        LZ_ShieldThrow* s = Throw(a, part, &runner.robot, nullptr, 0.0f);
        int finish = 0;
        for (int run = 1; run < 2000 && !finish; ++run) {
            runner.Move(Vec3(0, 0, -1.0f * run));  // faster than the shield
            if (s->Run()) finish = run;
        }
        EXPECT_EQ(finish, 30 + LZ_ShieldThrow::kMaxReturnFrames + 1);
        EXPECT_EQ(part.node->hidden, 0);

        // A way back through the stage bursts only a few times.
        part.node->hidden = 0;
        LZ_ShieldThrow* t = Throw(a, part, &runner.robot, nullptr, 0.0f);
        const u32 before = a.effects.GetCount();
        const Vec3 p(0, 0, 1);
        t->OnHitMap(&p, nullptr, nullptr);
        EXPECT_EQ(t->State, 1);
        for (int i = 0; i < 20; ++i) t->OnHitMap(&p, nullptr, nullptr);
        EXPECT_EQ(a.effects.GetCount() - before, 61u * (1 + LZ_ShieldThrow::kMaxReturnBursts));

        // The owner is destroyed on the way out: the part comes back at once
        // and the shield ends on its first return frame.
        LZ_ShieldThrow* u = Throw(a, part, &runner.robot, nullptr, 0.0f);
        u->Run();
        runner.robot.state = kRobotStateDestroyed;
        u->Run();
        EXPECT_EQ(part.node->hidden, 0);
        EXPECT_EQ(u->ShieldNode, nullptr);
        int runs = 3;  // the number of the next run
        while (!u->Run()) ++runs;
        EXPECT_EQ(runs, 31);
    }
}

TEST(ThrowWeaponTest, ThrownSwordFliesStraightThenSticksOrVanishes)
{
    WeaponRange a;
    StandInRobot owner(Vec3(0, 0, -3), 1), victim(Vec3(0, 0, 10), 2);
    auto* sword = NewObject<LZ_SwordThrow>(&a.weapons, 1);
    const Mat4 start;
    sword->Set({.start = &start, .width = 0.2f, .maxPoints = 3, .blendMode = 2, .texture = nullptr,
                .colour = 0xFFFFFFFFu},
               {.speed = 0.8f, .turnRate = 0.0f, .life = 180},
               {.owner = &owner.robot, .target = nullptr, .damage = 10, .downValue = 5, .knockback = 0.1f,
                .hitFlags = 0, .rehitInterval = 5, .testSegments = 1, .team = 1});
    int runs = 1;
    while (!sword->Run()) ++runs;
    EXPECT_EQ(runs, 180);
    EXPECT_EQ(a.meshes.GetCount(), 179u);
    EXPECT_EQ(WeaponRange::Count<BB_WindRing>(a.effects), 179);
    EXPECT_EQ(WeaponRange::Count<BB_MSmoke>(a.effects), 0);

    // Stuck in a robot it rides along and breaks up after 600 frames.
    auto* stuck = NewObject<LZ_SwordThrow>(&a.weapons, 1);
    stuck->Set({.start = &start, .width = 0.2f, .maxPoints = 3, .blendMode = 2, .texture = nullptr,
                .colour = 0xFFFFFFFFu},
               {.speed = 0.8f, .turnRate = 0.0f, .life = 180},
               {.owner = &owner.robot, .target = nullptr, .damage = 10, .downValue = 5, .knockback = 0.1f,
                .hitFlags = 0, .rehitInterval = 5, .testSegments = 1, .team = 1});
    stuck->Run();
    const Vec3 at = stuck->Position();
    stuck->OnHitRobot(&at, nullptr, &victim.robot);
    EXPECT_EQ(stuck->State, 4);
    victim.Move(Vec3(5, 0, 10));
    stuck->Run();
    EXPECT_NEAR(stuck->BladeMatrix.m[3][0], at.x + 5.0f, 1e-4f);
    int stuckRuns = 2;
    while (!stuck->Run()) ++stuckRuns;
    EXPECT_EQ(stuckRuns, 602);
    EXPECT_EQ(WeaponRange::Count<BB_MSmoke>(a.effects), 10);
}
