#include <bit>
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/Beam.h"
#include "weapon/LineEffect.h"

namespace {

void Fire(LZ_HiLaser& laser, BB_Base* owner, i32 life, i32 stopWithOwner = 0, i32 rehit = 3)
{
    const Mat4 start = TranslationTo(Vec3());
    laser.SetEx({.start = &start, .width = 1.0f, .maxPoints = 200, .blendMode = 1, .texture = nullptr,
                 .colour = 0xFFFFFFFFu},
                {.speed = 1.0f, .turnRate = 0.0f, .life = life},
                {.owner = owner, .target = nullptr, .damage = 10, .downValue = 5, .knockback = 0.1f, .hitFlags = 0,
                 .rehitInterval = rehit, .testSegments = 200, .team = 2},
                stopWithOwner);
}

void Fire(LZ_HiLaser2& laser, const Mat4& start, BB_Base* owner, BB_Base* target, i32 points, f32 turn, i32 life)
{
    laser.SetEx({.start = &start, .width = 1.0f, .maxPoints = points, .blendMode = 1, .texture = nullptr,
                 .colour = 0xFFFFFFFFu},
                {.speed = 1.0f, .turnRate = turn, .life = life},
                {.owner = owner, .target = target, .damage = 10, .downValue = 5, .knockback = 0.1f, .hitFlags = 0,
                 .rehitInterval = 5, .testSegments = 200, .team = 2},
                1, nullptr, 0);
}

}  // namespace

TEST(BeamLaserTest, ContinuousLaserGrowsPulsesHoldsAtWallsAndFadesOnItsFrame)
{
    WeaponRange range;
    GetBattleRandom().Init(7);
    LZ_HiLaser laser;
    Fire(laser, nullptr, 3);
    EXPECT_EQ(laser.HitMask, 7u);
    // The first pulse step overshoots the base width and drops to 0.7 of it.
    EXPECT_EQ(laser.Run(), 0);
    EXPECT_FLOAT_EQ(laser.Width, 0.7f);
    EXPECT_EQ(laser.Run(), 0);
    EXPECT_FLOAT_EQ(laser.Width, 0.85f);
    EXPECT_EQ(laser.Laser.Count, 3);
    EXPECT_FLOAT_EQ(laser.Position().z, 2.0f);
    // Fading from 0.85 by 0.05 a frame: the 17th fading run ends it.
    int run = 3;
    while (laser.Run() == 0 && run < 100) ++run;
    EXPECT_EQ(run, 19);
    EXPECT_EQ(laser.HitMask, 0u);
    EXPECT_EQ(laser.Laser.Count, 3);
    EXPECT_EQ(DrawsSinceSeed(7), 0);

    // A wall: the beam is cut at the struck point and its head held there for
    // the re-hit interval, then it grows into the wall again.
    LZ_HiLaser wall;
    Fire(wall, nullptr, 100, 0, 3);
    for (int i = 0; i < 5; ++i) wall.Run();
    const Vec3 hit(0, 0, 4.5f), normal(0, 0, -1);
    GetBattleRandom().Init(7);
    LASERNODE* struck = wall.Laser.Newest();
    wall.OnHitMap(&hit, struck, &normal);
    EXPECT_EQ(DrawsSinceSeed(7), 10 * 5 + 10 * 3);
    EXPECT_EQ(range.effects.GetCount(), 21u);
    EXPECT_EQ(struck->Mark, kMarkRemoveNewerStop);
    wall.CutMarkedPoints();
    EXPECT_EQ(wall.Laser.Count, 5);
    EXPECT_FLOAT_EQ(wall.Position().z, 5.0f);
    const Vec3 held = wall.Position();
    for (int i = 0; i < 3; ++i) {
        wall.Run();
        EXPECT_EQ(wall.Position(), held);
    }
    EXPECT_EQ(wall.Laser.Count, 6);  // the hold's last frame puts the head back on the trail
    wall.Run();
    EXPECT_FLOAT_EQ(wall.Position().z, 6.0f);
    EXPECT_EQ(wall.Laser.Count, 7);
    // The next strike spawns its effects again; life was never touched.
    range.Clear();
    wall.OnHitMap(&hit, wall.Laser.Newest(), &normal);
    EXPECT_EQ(range.effects.GetCount(), 21u);
    EXPECT_EQ(wall.Life, 100 - 9);

    // A guard: flash and two sparks, ten spark lines, 26 draws, the same hold.
    range.Clear();
    StandInRobot guardian(Vec3(0, 0, 8), 5);
    const Mat4 guard = TranslationTo(Vec3(0, 0, 7));
    GetBattleRandom().Init(7);
    LZ_HiLaser guarded;
    Fire(guarded, nullptr, 100, 0, 4);
    guarded.Run();
    guarded.Run();
    guarded.OnHitGuard(&hit, guarded.Laser.Newest(), &guardian.robot, &guard);
    EXPECT_EQ(DrawsSinceSeed(7), 10 * 2 + 2 * 3);
    EXPECT_EQ(range.effects.GetCount(), 3u);
    EXPECT_EQ(range.weapons.GetCount(), 10u);
    EXPECT_EQ(guarded.HoldFrames, 4);
    // Nothing happens without a trail point.
    range.Clear();
    guarded.OnHitGuard(&hit, nullptr, &guardian.robot, &guard);
    guarded.OnHitMap(&hit, nullptr, &normal);
    EXPECT_EQ(range.effects.GetCount() + range.weapons.GetCount(), 0u);

    // Reflection: the reflector's team, the same owner, bent at the point.
    StandInRobot shooter(Vec3(0, 0, -5), 1);
    LZ_HiLaser bounced;
    Fire(bounced, &shooter.robot, 100);
    for (int i = 0; i < 4; ++i) bounced.Run();
    LASERNODE* tip = bounced.Laser.Newest();
    const Vec3 at(0, 0, 4);
    bounced.OnReflect(&at, tip, &guardian.robot);
    EXPECT_EQ(bounced.Team, 5);
    EXPECT_EQ(bounced.Owner, &shooter.robot);
    EXPECT_NEAR(Forward(bounced).z, -1.0f, 1e-4f);
    bounced.CutMarkedPoints();
    EXPECT_EQ(bounced.Laser.Count, 6);
    EXPECT_EQ(bounced.Laser.Newest()->Position, at);
    bounced.Run();
    EXPECT_NEAR(bounced.Laser.Newest()->Position.z, 3.0f, 1e-4f);

    // Stopping with the owner: a hit owner ends it, a gone one is only let go.
    StandInRobot owner(Vec3(), 1);
    LZ_HiLaser bound, loose;
    Fire(bound, &owner.robot, 100, 1);
    Fire(loose, &owner.robot, 100, 0);
    owner.robot.situation = 3;  // being hit
    bound.Run();
    loose.Run();
    EXPECT_EQ(bound.HitMask, 0u);
    EXPECT_EQ(loose.Life, 99);
    owner.robot.state = 0;
    loose.Run();
    EXPECT_EQ(loose.Owner, nullptr);
    EXPECT_EQ(loose.Life, 98);
}

TEST(BeamLaserTest, TrapLaserCurlsKeepsSevenPointsAndHitsWhileFading)
{
    WeaponRange range;
    LZ_TrapLaser trap;
    const Mat4 start = TranslationTo(Vec3());
    trap.SetEx({.start = &start, .width = 0.3f, .maxPoints = 200, .blendMode = 1, .texture = nullptr,
                .colour = 0xFFFFFFFFu},
               {.speed = 1.0f, .turnRate = 0.0f, .life = 10},
               {.owner = nullptr, .target = nullptr, .damage = 9, .downValue = 1, .knockback = 0.1f, .hitFlags = 0,
                .rehitInterval = 10, .testSegments = 5, .team = 2},
               0);
    for (int i = 1; i <= 6; ++i) {
        const Vec3 before = Forward(trap);
        trap.Run();
        const Vec3 after = Forward(trap);
        const f32 c = plat::Vec3Dot(&before, &after);
        EXPECT_NEAR(std::acos(std::fmin(1.0f, c)) * 57.29578f, 5.0f, 0.05f);
        EXPECT_EQ(trap.Laser.Count, i + 1);
    }
    // Seven points: it flies straight and drags its newest point along.
    const Vec3 before = Forward(trap);
    trap.Run();
    EXPECT_EQ(Forward(trap), before);
    EXPECT_EQ(trap.Laser.Count, 7);
    EXPECT_EQ(trap.Laser.Newest()->Position, trap.Position());
    // Walls and reflections leave it alone.
    const Vec3 p(0, 0, 1), n(0, 0, -1);
    StandInRobot robot(Vec3(0, 0, 1), 3);
    trap.OnHitMap(&p, trap.Laser.Newest(), &n);
    trap.OnReflect(&p, trap.Laser.Newest(), &robot.robot);
    EXPECT_EQ(trap.Laser.Newest()->Mark, 0);
    EXPECT_EQ(trap.Team, 2);
    // It fades by 0.01 from the width it had, still hitting, and ends with 1.
    trap.Width = 0.035f;
    trap.Life = 1;
    EXPECT_EQ(trap.Run(), 0);
    EXPECT_EQ(trap.Run(), 0);
    EXPECT_EQ(trap.Run(), 1);
    EXPECT_EQ(trap.HitMask, 7u);
    EXPECT_EQ(range.effects.GetCount(), 0u);
}

TEST(BeamLaserTest, StreamLaserFlowsWavesHomesIsCutAndReflected)
{
    WeaponRange range;
    GetBattleRandom().Init(9);
    // Straight: every point flies on along the heading it left with, so a
    // muzzle that turns draws a curved stream.
    StandInRobot owner(Vec3(), 1);
    Mat4 muzzle = TranslationTo(Vec3());
    LZ_HiLaser2 stream;
    stream.SetEx({.start = &muzzle, .width = 1.0f, .maxPoints = 50, .blendMode = 1, .texture = nullptr,
                  .colour = 0xFFFFFFFFu},
                 {.speed = 1.0f, .turnRate = 0.0f, .life = 100},
                 {.owner = &owner.robot, .target = nullptr, .damage = 10, .downValue = 5, .knockback = 0.1f,
                  .hitFlags = 0, .rehitInterval = 5, .testSegments = 200, .team = 2},
                 1, &muzzle, 0);
    stream.Run();
    stream.Run();
    ASSERT_EQ(stream.Laser.Count, 3);
    EXPECT_FLOAT_EQ(stream.Laser.Newest()->Position.z, 2.0f);  // the farEnd end
    EXPECT_EQ(stream.Laser.Oldest()->Position, Vec3());        // the muzzle end
    plat::MatrixRotationY(&muzzle, 90.0f * kDegreesToRadians);
    stream.Run();
    stream.Run();
    EXPECT_NEAR(stream.Laser.Newest()->Position.z, 4.0f, 1e-5f);
    EXPECT_NEAR(stream.Laser.Oldest()->Position.x, 0.0f, 1e-5f);
    EXPECT_NEAR(stream.Laser.Newer(stream.Laser.Oldest())->Position.x, 1.0f, 1e-5f);
    EXPECT_EQ(DrawsSinceSeed(9), 0);
    // Lightning on every 6th point every 3rd frame, a muzzle flash every 5th.
    EXPECT_EQ(range.weapons.GetCount(), 2u);  // at Life 99 and 96
    EXPECT_EQ(range.effects.GetCount(), 0u);
    stream.Run();
    EXPECT_EQ(range.effects.GetCount(), 1u);  // Life 95

    // Waving: three draws per point per frame, each point still moving Speed.
    LZ_HiLaser2 wave;
    Fire(wave, TranslationTo(Vec3()), nullptr, nullptr, 50, 0.0f, 100);
    wave.StreamMode = 1;
    wave.StreamParams[0] = std::bit_cast<u32>(0.2f);
    wave.Run();
    wave.Run();
    GetBattleRandom().Init(9);
    const Vec3 farEnd = wave.Laser.Newest()->Position;
    wave.Run();
    EXPECT_EQ(DrawsSinceSeed(9), 3 * 3);
    const Vec3 moved = wave.Laser.Newest()->Position - farEnd;
    EXPECT_NEAR(plat::Vec3Length(&moved), 1.0f, 1e-5f);
    EXPECT_GT(std::fabs(moved.x) + std::fabs(moved.y), 0.0f);

    // Homing: the farEnd end turns by at most the rate, the rest retrace its path.
    StandInRobot target(Vec3(20, 0, 5), 3);
    LZ_HiLaser2 homing;
    Fire(homing, TranslationTo(Vec3()), nullptr, &target.robot, 50, 10.0f, 100);
    homing.Run();
    homing.Run();
    const Vec3 ahead = homing.Laser.Newest()->Position, second = homing.Laser.Older(homing.Laser.Newest())->Position;
    homing.Run();
    const LASERNODE* head = homing.Laser.Newest();
    EXPECT_NEAR(head->Heading.x, std::sin(30.0f * kDegreesToRadians), 1e-3f);
    EXPECT_EQ(homing.Laser.Older(head)->Position, ahead);
    EXPECT_EQ(homing.Laser.Older(homing.Laser.Older(head))->Position, second);
    EXPECT_LT(plat::Vec3Length(&target.robot.nearestThreat), 1000.0f);
    EXPECT_GT(target.robot.lockAlertList.GetCount(), 0u);

    // A wall cuts the part beyond the hit every frame; effects only every 3rd.
    LZ_HiLaser2 cut;
    Fire(cut, TranslationTo(Vec3()), nullptr, nullptr, 50, 0.0f, 100);
    for (int i = 0; i < 6; ++i) cut.Run();
    range.Clear();
    const Vec3 p(0, 0, 3), n(0, 0, -1);
    LASERNODE* third = cut.Laser.Older(cut.Laser.Older(cut.Laser.Newest()));
    GetBattleRandom().Init(9);
    cut.OnHitMap(&p, third, &n);
    cut.OnHitMap(&p, cut.Laser.Newest(), &n);
    EXPECT_EQ(DrawsSinceSeed(9), 3 * 5 + 3 * 3);
    EXPECT_EQ(range.effects.GetCount(), 7u);
    cut.CutMarkedPoints();
    EXPECT_EQ(cut.Laser.Count, 4);
    EXPECT_FLOAT_EQ(cut.Laser.Newest()->Position.z, 3.0f);

    // Reflection: one reflected stream from the reflector, renewed while it
    // reflects, ended three frames after it stops or when another takes over.
    range.Clear();
    StandInRobot shooter(Vec3(0, 0, -5), 1), mirror(Vec3(0, 0, 6), 4), mirror2(Vec3(0, 0, 6), 6);
    mirror.robot.lockTarget = &shooter.robot;
    LZ_HiLaser2 source;
    Fire(source, TranslationTo(Vec3()), &shooter.robot, nullptr, 50, 0.0f, 100);
    for (int i = 0; i < 7; ++i) source.Run();
    const Vec3 r(0, 0, 5);
    const u32 before = range.weapons.GetCount();
    source.OnReflect(&r, source.Laser.Newest(), &mirror.robot);
    source.OnReflect(&r, source.Laser.Newest(), &mirror.robot);
    ASSERT_EQ(range.weapons.GetCount(), before + 1);
    LZ_HiLaser2* child = source.ReflectedLaser;
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->Owner, &mirror.robot);
    EXPECT_EQ(child->Target, &shooter.robot);
    EXPECT_EQ(child->Team, 4);
    EXPECT_EQ(child->Life, source.Life);
    EXPECT_NEAR(Forward(*child).z, -1.0f, 1e-4f);
    EXPECT_EQ(child->Anchor, nullptr);
    source.Run();
    source.Run();
    EXPECT_EQ(source.ReflectedLaser, child);
    source.Run();
    EXPECT_EQ(source.ReflectedLaser, nullptr);
    EXPECT_EQ(child->Life, 0);
    source.OnReflect(&r, source.Laser.Newest(), &mirror.robot);
    LZ_HiLaser2* renewed = source.ReflectedLaser;
    source.OnReflect(&r, source.Laser.Newest(), &mirror2.robot);
    EXPECT_EQ(renewed->Life, 0);
    ASSERT_NE(source.ReflectedLaser, renewed);
    EXPECT_EQ(source.ReflectedLaser->Team, 6);
    // A reflected stream destroyed first is forgotten by its parent.
    range.weapons.DeleteAll();
    range.weapons.Init();
    EXPECT_EQ(source.ReflectedLaser, nullptr);
    EXPECT_EQ(source.Reflector, nullptr);

    // The owner's end ends the stream; a camera 2 from the muzzle shakes to 15.
    range.shake = 0;
    range.world.camera.m[3][0] = 2.0f;
    StandInRobot gunner(Vec3(), 1);
    LZ_HiLaser2 shaking;
    Fire(shaking, TranslationTo(Vec3()), &gunner.robot, nullptr, 50, 0.0f, 101);
    shaking.ShakeFrames = 1;
    shaking.Run();
    EXPECT_EQ(range.shake, 15);
    EXPECT_EQ(shaking.ShakeFrames, 0);
    gunner.robot.state = 0;
    shaking.Run();
    EXPECT_EQ(shaking.Owner, nullptr);
    EXPECT_LT(shaking.Life, 1);
    range.Clear();
}
