#include <gtest/gtest.h>

#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/MagicCircle.h"
#include "weapon/items/Items.h"

TEST(AttackEffectsTest, BlastHurtsOnlyInItsFirstPassAndBladesLiveByTheirOwner)
{
    const Vec3 at(0, 1, 0), still;
    BB_Base owner;
    BB_GrenadeExplode blast;
    blast.Set(&at, 2.0f, &still, 0, nullptr, 0xFFFFFFFFu, &owner, 3.0f, 210, 410, 0.2f, 8, 4);
    EXPECT_EQ(blast.GetKind(), kKindBillboard);
    EXPECT_EQ(blast.GetDamageType(), 1);
    EXPECT_EQ(blast.HitMask, 3u);
    EXPECT_EQ(blast.RehitInterval, 10);
    EXPECT_EQ(blast.Run(), 0);
    EXPECT_EQ(blast.HitMask, 3u);  // still hurts in the first frame's pass
    EXPECT_EQ(blast.Run(), 0);
    EXPECT_EQ(blast.HitMask, 0u);
    int runs = 2;
    while (blast.Run() == 0) ++runs;
    EXPECT_EQ(runs + 1, 98);  // 30 runs at +2 to 60, 68 at +1 to 128

    Mat4 arm;
    arm.m[3][1] = 2.0f;
    BB_SwordBeam blade;
    EXPECT_EQ(blade.GetKind(), kKindSwordBeam);
    blade.Set(&at, 3.0f, 1.0f, 1, nullptr, nullptr, 0xFFFFFFFFu, 2, 3, &owner, &arm, 0, 5);
    EXPECT_EQ(blade.Run(), 0);
    EXPECT_FLOAT_EQ(blade.Length, 1.2f);  // grows 0.2 a frame
    EXPECT_FLOAT_EQ(blade.World.m[3][1], 2.0f);
    EXPECT_EQ(blade.Trail.Count, 1);
    blade.Hold = 1;  // held: neither life nor trail moves
    EXPECT_EQ(blade.Run(), 0);
    EXPECT_EQ(blade.Life, 2);
    EXPECT_EQ(blade.Trail.Count, 1);
    blade.Hold = 0;
    EXPECT_EQ(blade.Run(), 0);
    EXPECT_EQ(blade.Run(), 2);  // life used up

    BB_SwordBeam forever;
    forever.Set(&at, 3.0f, 3.0f, 1, nullptr, nullptr, 0xFFFFFFFFu, 2, 999999999, &owner, &arm, 0, 5);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(forever.Run(), 0);
    for (int i = 0; i < 10; ++i) forever.Run();
    EXPECT_EQ(forever.Trail.Count, 5);  // the trail keeps five points
    owner.Removed = 1;
    EXPECT_EQ(forever.Run(), 2);

    BB_FireMaterial fire;
    fire.Set(&at, 1.0f, 1, nullptr, 0xFFFFFFFFu, 4, 0);
    EXPECT_EQ(fire.Finished, 1);  // no such direction
    BB_LightMaterial light;
    light.Set(&at, 1.0f, 1, nullptr, 0xFFFFFFFFu, 2, 0, 0);
    EXPECT_EQ(light.Finished, 0);
    EXPECT_EQ(light.Counter, 20);
    EXPECT_EQ(light.Direction, Vec3(0.0f, 0.1f, 1.0f));
}

TEST(AttackEffectsTest, PickUpsTouchButNeverHurt)
{
    const Vec3 at(1, 2, 3), fall(0, -0.1f, 0);
    BB_SummonItem summon;
    summon.Set(&at, 1.0f, &fall, 1, nullptr, 0xFFFFFFFFu, 6000, 4);
    BB_PartsItem parts;
    parts.Set(&at, 0, &fall, 0, nullptr, 0, 6000, 4, 2.0f);
    for (BB_AtkStandard* item : {static_cast<BB_AtkStandard*>(&summon), static_cast<BB_AtkStandard*>(&parts)}) {
        EXPECT_EQ(item->Damage, 0);
        EXPECT_EQ(item->HitMask, 3u);
        EXPECT_FLOAT_EQ(item->HitRadius, 1.0f);
        EXPECT_EQ(item->RehitInterval, 10);
        EXPECT_EQ(item->Team, 4);
        EXPECT_EQ(item->World.m[3][2], 3.0f);
    }
    EXPECT_FLOAT_EQ(parts.Strength, 2.0f);
}
