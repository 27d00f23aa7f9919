#include <functional>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/Yakkyou.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/MagicCircle.h"
#include "weapon/effects/Wind.h"

TEST(EffectLifetimesTest, EachEffectEndsOnItsOwnRun)
{
    WeaponRange stage;
    GetBattleRandom().Init(7);
    const Vec3 at(0, 1, 0), still;
    Mat4 hand;
    BB_Base owner;

    BB_Burner burner;
    burner.Set(&at, 0.5f, 2.0f, 1, nullptr, 0x80FFFFFFu, &owner, &hand, 1);
    EXPECT_EQ(RunsToFinish(burner), 11);
    BB_Burner orphan;  // a burner without an object ends all the same
    orphan.Set(&at, 0.5f, 2.0f, 1, nullptr, 0x80FFFFFFu, nullptr, nullptr, 0);
    EXPECT_EQ(RunsToFinish(orphan), 11);

    BB_WindRing3 ring;
    ring.SetEx(&at, 1.0f, &still, 0, nullptr, 0xFFFFFFFFu);
    EXPECT_EQ(RunsToFinish(ring), 11);  // 255 - 25 x 10 = 5; the eleventh step goes below 0

    BB_WindBow bow;
    bow.Set(&hand, 0.75f, 3.0f, 1, nullptr, 0xFFFFFFFFu, &owner, &hand, 30);
    EXPECT_EQ(RunsToFinish(bow), 30);

    BBMagicCir circle;
    circle.Set(&at, 2.0f, 1, nullptr, 0x00FFFFFFu, nullptr, nullptr, 25.0f, 0.1f, 3, 0);
    EXPECT_EQ(RunsToFinish(circle), 1901);
    EXPECT_LE(circle.Quad.Width(), 25.0f + 1e-4f);
    // A start of -60 waits 60 runs before the same life; its first frames stay invisible.
    BBMagicCir late;
    late.Set(&at, 2.0f, 1, nullptr, 0x00FFFFFFu, nullptr, nullptr, 25.0f, 0.1f, 3, u32(-60));
    for (int i = 0; i < 60; ++i) ASSERT_EQ(late.Run(), 0);
    EXPECT_EQ(late.Quad.Alpha(), 0);
    EXPECT_EQ(late.Counter, 0u);
    EXPECT_EQ(RunsToFinish(late), 1901);

    // Fade in (alpha +10 to 192: 20 runs), hold, fade out (20 runs).
    for (u32 flags : {0u, BB_MagicCircleEffect::kEndWithOwner}) {
        BB_Base circleOwner;
        BB_MagicCircleEffect effect;
        effect.Set(&hand, 4.0f, 1, nullptr, 0x00FFFFFFu, 3.0f, 50, flags, &circleOwner);
        circleOwner.Removed = 1;  // gone from the start
        const int expected = flags ? 20 + 1 + 20 : 20 + 50 + 20;
        EXPECT_EQ(RunsToFinish(effect), expected) << flags;
    }
    EXPECT_TRUE(stage.effects.GetCount() == 0 && stage.weapons.GetCount() == 0);
}

TEST(EffectLifetimesTest, ElementsFadeWhenTheirRobotGoesAndAttackWhenLaunched)
{
    WeaponRange stage;
    GetBattleRandom().Init(11);
    CRobot_Normal robot;
    robot.state = kRobotStateLive;
    robot.team = 2;
    const Vec3 at(0, 1, 0);

    // Robot destroyed in the start phase: straight to the fade, finished 61 runs later.
    BB_FireMaterial fire;
    fire.Set(&at, 1.0f, 1, nullptr, 0xFFFFFFFFu, 0, &robot);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(fire.Run(), 0);
    robot.state = kRobotStateDown;
    EXPECT_EQ(RunsToFinish(fire), 61);
    EXPECT_EQ(fire.Owner, nullptr);

    // The light element is hidden (blend 2) once its alpha is spent, and ends at counter 101.
    robot.state = kRobotStateLive;
    BB_LightMaterial light;
    light.Set(&at, 0.3f, 1, nullptr, 0xFFFFFFFFu, 2, 0, &robot);
    light.Finish();
    int runs = 0;
    bool hiddenBeforeEnd = false;
    while (light.Run() == 0) {
        ++runs;
        hiddenBeforeEnd |= light.BlendMode == 2;
    }
    EXPECT_EQ(runs + 1, 101);
    EXPECT_TRUE(hiddenBeforeEnd);

    // Launched: the fire element sends a fire run along the ground and fades;
    // the fire run burns with damaging blasts while its owner lives.
    BB_FireMaterial thrower;
    thrower.Set(&at, 1.0f, 1, nullptr, 0xFFFFFFFFu, 1, &robot);
    for (int i = 0; i < 61; ++i) ASSERT_EQ(thrower.Run(), 0);  // start phase over
    thrower.Launch();
    EXPECT_EQ(thrower.Run(), 0);
    EXPECT_EQ(thrower.Finished, 1);
    ASSERT_EQ(stage.effects.GetCount(), 1u);
    auto* run = dynamic_cast<BB_FireRun*>(stage.effects.GetHead()->next);
    ASSERT_NE(run, nullptr);
    EXPECT_NEAR(plat::Vec3Length(&run->Velocity), 0.6f, 1e-5f);
    EXPECT_EQ(RunsToFinish(*run), 61);
    EXPECT_EQ(stage.attacks.GetCount(), 61u);  // one damaging blast a frame

    // The light element fires one laser 20 frames after its launch.
    BB_LightMaterial caster;
    caster.Set(&at, 0.3f, 1, nullptr, 0xFFFFFFFFu, 0, 0, &robot);
    for (int i = 0; i < 65; ++i) ASSERT_EQ(caster.Run(), 0);
    const u32 sparks = stage.weapons.GetCount();  // its crackle while it orbits
    EXPECT_GT(sparks, 0u);
    caster.Launch();
    for (int i = 0; i < 19; ++i) caster.Run();
    EXPECT_EQ(stage.weapons.GetCount(), sparks);
    caster.Run();
    EXPECT_EQ(stage.weapons.GetCount(), sparks + 1);
    EXPECT_EQ(caster.Finished, 1);
}

TEST(EffectLifetimesTest, CasingFallsBouncesDampedAndGoesAfter300Frames)
{
    WeaponRange stage;
    GetBattleRandom().Init(3);
    Mat4 start;
    start.m[3][1] = 5.0f;
    const Vec3 throwOut(0.04f, 0.0f, 0.0f);
    LZ_Yakkyou casing;
    casing.Set(&start, nullptr, 1, &throwOut);
    EXPECT_EQ(casing.GetKind(), kKindWeapon);
    EXPECT_EQ(casing.GetDamageType(), 1);
    EXPECT_EQ(casing.HitMask, u32(kHitStage));
    EXPECT_EQ(casing.Damage, 0);
    EXPECT_TRUE(casing.SpinX >= -10.0f && casing.SpinX < 10.0f);
    ASSERT_EQ(casing.Run(), 0);
    EXPECT_NEAR(casing.Velocity.y, -0.002f, 1e-7f);
    EXPECT_EQ(casing.Laser.Count, 2);  // last frame's place and this one: the stage ray

    const Vec3 up(0, 1, 0), ground(1, 0, 0);
    for (int bounce = 0; bounce < 20; ++bounce) {
        casing.Velocity = Vec3(0.1f, -0.5f, 0.0f);
        const f32 before = plat::Vec3Length(&casing.Velocity);
        casing.OnHitMap(&ground, nullptr, &up);
        const f32 after = plat::Vec3Length(&casing.Velocity);
        EXPECT_GT(casing.Velocity.y, 0.0f);  // leaves the surface
        EXPECT_GE(after, before * 0.2f - 1e-6f);
        EXPECT_LT(after, before * 0.4f + 1e-6f);
        EXPECT_LE(std::abs(casing.SpinX), 1000.0f * after + 1e-3f);
        EXPECT_GE(casing.DrawMatrix.m[1][1], 0.0f);  // turned upright
    }
    const Vec3 v = casing.Velocity;
    casing.OnHitMap(&ground, nullptr, nullptr);  // no normal: nothing changes
    EXPECT_EQ(casing.Velocity, v);

    // Wherever it is, the casing is removed on its 301st run.
    EXPECT_EQ(RunsToFinish(casing) + 1, 301);
    GetApplication()->video.disableShader = 1;
    LZ_Yakkyou plain;
    plain.Set(&start, nullptr, 1, &throwOut);
    EXPECT_EQ(plain.ShaderMode, 0);
    GetApplication()->video.disableShader = 0;
}
