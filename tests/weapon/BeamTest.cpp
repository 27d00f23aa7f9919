#include "weapon/Beam.h"

#include <cmath>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/LineEffect.h"

namespace {

void Fire(LZ_Beam& beam, f32 speed, f32 turn, BB_Base* target, i32 life, f32 width = 0.255f, u8 stop = 0)
{
    const Mat4 start = TranslationTo(Vec3());
    beam.Set({.start = &start, .width = width, .maxPoints = 50, .blendMode = 1, .texture = nullptr,
              .colour = 0xFFFFFFFFu},
             {.speed = speed, .turnRate = turn, .life = life},
             {.owner = nullptr, .target = target, .damage = 10, .downValue = 5, .knockback = 0.1f, .hitFlags = 0,
              .rehitInterval = 10, .testSegments = 1, .team = 2},
             stop);
}

f32 AngleDegrees(const Vec3& a, const Vec3& b)
{
    const f32 c = plat::Vec3Dot(&a, &b) / (plat::Vec3Length(&a) * plat::Vec3Length(&b));
    return std::acos(std::fmax(-1.0f, std::fmin(1.0f, c))) * 57.29578f;
}

}  // namespace

TEST(BeamTest, FlightHomingFadeAndTheFinishingFrame)
{
    WeaponRange range;
    GetBattleRandom().Init(5);
    struct Case {
        const char* name;
        std::function<LZ_Beam*()> make;
        i32 life;
        int finishRun, points;
    };
    const Case cases[] = {
        {"life 1 fades at once", [] { return new LZ_Beam; }, 1, 25, 1},
        {"five frames then 25 fading", [] { return new LZ_Beam; }, 5, 29, 5},
        {"lightning", [] { return new LZ_ThunderBeam; }, 5, 29, 5},
        {"decaying", [] { return new LZ_Beam2; }, 3, 27, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<LZ_Beam> beam(c.make());
        Fire(*beam, 1.0f, 0.0f, nullptr, c.life);
        EXPECT_EQ(beam->HitMask, 7u);
        int run = 1;
        while (beam->Run() == 0 && run < 100) ++run;
        EXPECT_EQ(run, c.finishRun);
        EXPECT_EQ(beam->Laser.Points.GetCount(), u32(c.points));
        EXPECT_EQ(beam->HitMask, 0u);
        EXPECT_FLOAT_EQ(beam->Position().z, f32(c.finishRun));  // flies on while fading
    }

    // Homing turns by at most the rate and lets a target behind go.
    StandInRobot target(Vec3(10, 0, 10));
    LZ_Beam beam;
    Fire(beam, 1.0f, 5.0f, &target.robot, 100);
    const Vec3 before = Forward(beam);
    GetBattleRandom().Init(5);
    EXPECT_EQ(beam.Run(), 0);
    EXPECT_NEAR(AngleDegrees(before, Forward(beam)), 5.0f, 0.05f);
    EXPECT_EQ(DrawsSinceSeed(5), 0);
    EXPECT_NEAR(plat::Vec3Length(&target.robot.nearestThreat), 13.45f, 0.05f);  // warned of the beam
    EXPECT_EQ(target.robot.lockAlertList.GetCount(), 1u);
    target.Move(Vec3(0, 0, -20));
    beam.Run();
    EXPECT_EQ(beam.Target, nullptr);

    // The decaying beam keeps turning toward a target behind it, ever slower but never below 0.2.
    StandInRobot behind(Vec3(1, 0, -20));
    LZ_Beam2 beam2;
    Fire(beam2, 0.0f, 10.0f, &behind.robot, 300);
    Vec3 last = Forward(beam2);
    const f32 rates[] = {10.0f, 9.5f, 9.025f};
    for (f32 rate : rates) {
        beam2.Run();
        EXPECT_NEAR(AngleDegrees(last, Forward(beam2)), rate, 0.05f);
        last = Forward(beam2);
    }
    EXPECT_EQ(beam2.Target, &behind.robot);
    for (int i = 0; i < 200; ++i) beam2.Run();
    EXPECT_FLOAT_EQ(beam2.TurnRate, 0.2f);

    // A target that leaves the live state is forgotten before the beam moves.
    StandInRobot dying(Vec3(10, 0, 0));
    LZ_Beam beam3;
    Fire(beam3, 1.0f, 5.0f, &dying.robot, 100);
    dying.robot.state = 0;
    beam3.Run();
    EXPECT_EQ(beam3.Target, nullptr);
    EXPECT_FLOAT_EQ(Forward(beam3).z, 1.0f);

    // The lightning trail jitters within 0.3 across the path, two draws a point.
    LZ_ThunderBeam thunder;
    Fire(thunder, 0.0f, 0.0f, nullptr, 11);
    GetBattleRandom().Init(8);
    for (int i = 0; i < 10; ++i) thunder.Run();
    EXPECT_EQ(DrawsSinceSeed(8), 20);
    for (LASERNODE* p = thunder.Laser.Newest(); p; p = thunder.Laser.Older(p)) {
        EXPECT_LT(std::fabs(p->Position.x), 0.3f);
        EXPECT_LT(std::fabs(p->Position.y), 0.3f);
        EXPECT_FLOAT_EQ(p->Position.z, 0.0f);
    }
}

TEST(BeamTest, HitsGuardsAndReflectionsSpawnAndDrawAFixedAmount)
{
    WeaponRange range;
    StandInRobot robot(Vec3(0, 0, 5), 4);
    const Vec3 point(0, 0, 5), normal(0, 0, -1);
    const Mat4 guard = TranslationTo(Vec3(0, 0, 4));
    struct Case {
        const char* name;
        u8 stopOnHit;
        std::function<void(LZ_Beam&)> hit;
        u32 effects, weapons;
        int draws;
        bool stops;
    };
    const Case cases[] = {
        {"robot, flies on", 0, [&](LZ_Beam& b) { b.OnHitRobot(&point, b.Laser.Newest(), &robot.robot); }, 61, 0, 260,
         false},
        {"robot, stops", 1, [&](LZ_Beam& b) { b.OnHitRobot(&point, b.Laser.Newest(), &robot.robot); }, 61, 0, 260,
         true},
        {"stage", 0, [&](LZ_Beam& b) { b.OnHitMap(&point, b.Laser.Newest(), &normal); }, 61, 0, 260, true},
        {"guard", 0, [&](LZ_Beam& b) { b.OnHitGuard(&point, b.Laser.Newest(), &robot.robot, &guard); }, 0, 20, 40,
         true},
        {"reflected", 0, [&](LZ_Beam& b) { b.OnReflect(&point, b.Laser.Newest(), &robot.robot); }, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        range.effects.DeleteAll();
        range.effects.Init();
        range.weapons.DeleteAll();
        range.weapons.Init();
        LZ_Beam beam;
        Fire(beam, 1.0f, 0.0f, nullptr, 50, 0.2f, c.stopOnHit);
        GetBattleRandom().Init(3);
        c.hit(beam);
        EXPECT_EQ(DrawsSinceSeed(3), c.draws);
        EXPECT_EQ(range.effects.GetCount(), c.effects);
        EXPECT_EQ(range.weapons.GetCount(), c.weapons);
        EXPECT_EQ(beam.Life == 0, c.stops);
    }

    // A guarded beam ends at the guard; its sparks curl and thin out by themselves.
    LZ_Beam guarded;
    Fire(guarded, 1.0f, 0.0f, nullptr, 50);
    guarded.OnHitGuard(&point, guarded.Laser.Newest(), &robot.robot, &guard);
    EXPECT_FLOAT_EQ(guarded.Laser.Newest()->Position.z, 4.0f);

    // Reflection: the robot's team and ownership; no target turns it round.
    StandInRobot shooter(Vec3(0, 0, -10), 1);
    LZ_Beam beam;
    Fire(beam, 1.0f, 0.0f, &robot.robot, 50);
    beam.Owner = &shooter.robot;
    beam.OnReflect(&point, nullptr, &robot.robot);
    EXPECT_EQ(beam.Team, 4);
    EXPECT_EQ(beam.Owner, &robot.robot);
    EXPECT_EQ(beam.Target, nullptr);  // it had an owner: it takes the reflector's (none)
    EXPECT_NEAR(Forward(beam).z, -1.0f, 1e-4f);
    EXPECT_EQ(beam.Laser.Points.GetCount(), 2u);
    // Without an owner it keeps its target, and faces the reflector's target when there is one.
    robot.robot.lockTarget = &shooter.robot;
    LZ_Beam orphan;
    Fire(orphan, 1.0f, 0.0f, &robot.robot, 50);
    orphan.Laser.World.m[3][2] = 5.0f;
    orphan.OnReflect(&point, nullptr, &robot.robot);
    EXPECT_EQ(orphan.Target, &robot.robot);
    EXPECT_NEAR(Forward(orphan).z, -1.0f, 1e-4f);
    robot.robot.lockTarget = nullptr;
}

TEST(LineEffectTest, StreaksLightningTethersAndSmokeProbesEndOnTheirFrame)
{
    WeaponRange range;
    const Mat4 start = TranslationTo(Vec3());
    struct Case {
        const char* name;
        std::function<LZ_Basic*()> make;
        int finishRun;
        int draws;
    };
    const Case cases[] = {
        // Thins from run 8 by 0.01: 0.1 is gone after 10 more.
        {"streak", [&] { auto* l = new LZ_LineEffect; l->Set(&start, 0.1f, 20, 0.5f, 1, nullptr, ~0u, 8); return l; },
         17, 0},
        {"no bend frames thins at once",
         [&] { auto* l = new LZ_LineEffect; l->Set(&start, 0.025f, 20, 0.5f, 1, nullptr, ~0u, 0); return l; }, 2, 0},
        {"soft streak",
         [&] { auto* l = new LZ_LineEffect2; l->Set(&start, 0.018f, 20, 0.5f, 1, nullptr, ~0u, 1); return l; }, 3, 0},
        {"lightning",
         [&] {
             auto* l = new LZ_ThunderEffect;
             const Vec3 d(0, 0, 2);
             l->Set(&start, 1.0f, 20, 0.5f, 1, nullptr, ~0u, &d, 0.2f, 4);
             return l;
         },
         13, 9},
        {"lightning of one frame",
         [&] {
             auto* l = new LZ_ThunderEffect;
             const Vec3 d(0, 0, 2);
             l->Set(&start, 1.0f, 20, 0.5f, 1, nullptr, ~0u, &d, 0.2f, 1);
             return l;
         },
         10, 0},
        {"smoke probe",
         [&] { auto* l = new LZ_LineSmokeOut; const Vec3 d(0, 0, 1); l->SetEx(&start, &d); return l; }, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<LZ_Basic> line(c.make());
        GetBattleRandom().Init(4);
        int run = 1;
        while (line->Run() == 0 && run < 100) ++run;
        EXPECT_EQ(run, c.finishRun);
        EXPECT_EQ(DrawsSinceSeed(4), c.draws);
    }

    // A streak arcs 2 degrees a frame while its counter is 6 or more, then 8.
    LZ_LineEffect streak;
    streak.Set(&start, 0.1f, 20, 0.0f, 1, nullptr, ~0u, 8);
    const f32 turns[] = {2, 2, 2, 8, 8};
    for (f32 t : turns) {
        const Vec3 before = Forward(streak);
        streak.Run();
        EXPECT_NEAR(AngleDegrees(before, Forward(streak)), t, 0.01f);
    }

    // A wall in the smoke probe's way: three puffs sharing one velocity, gone next run.
    LZ_LineSmokeOut probe;
    const Vec3 d(0, 0, 1), wall(0, 0, 1);
    probe.SetEx(&start, &d);
    GetBattleRandom().Init(4);
    probe.OnHitMap(&wall, nullptr, &d);
    EXPECT_EQ(DrawsSinceSeed(4), 5);
    ASSERT_EQ(range.effects.GetCount(), 3u);
    const auto* first = static_cast<BB_GSmoke*>(range.effects.GetHead()->next);
    const auto* last = static_cast<BB_GSmoke*>(range.effects.GetTail()->prev);
    EXPECT_FLOAT_EQ(first->Velocity.z, -0.4f);
    EXPECT_FLOAT_EQ(first->Velocity.x, last->Velocity.x);
    EXPECT_EQ(probe.Run(), 1);

    // A tether follows its two nodes and ends with its flag or its robot.
    StandInRobot owner{Vec3()};
    Mat4 a = TranslationTo(Vec3(1, 0, 0)), b = TranslationTo(Vec3(0, 2, 0));
    i32 flag = 0;
    LZ_LineEffect3 tether;
    tether.Set(&owner.robot, &a, &b, 0.1f, 1, nullptr, ~0u, &flag);
    a.m[3][0] = 7.0f;
    EXPECT_EQ(tether.Run(), 0);
    EXPECT_FLOAT_EQ(tether.Laser.Newest()->Position.x, 7.0f);
    EXPECT_FLOAT_EQ(tether.Laser.Oldest()->Position.y, 2.0f);
    EXPECT_EQ(tether.Laser.Points.GetCount(), 2u);
    flag = 1;
    EXPECT_EQ(tether.Run(), 1);
    flag = 0;
    owner.robot.state = 0;
    EXPECT_EQ(tether.Run(), 1);
    EXPECT_EQ(tether.EndFlag, nullptr);
}
