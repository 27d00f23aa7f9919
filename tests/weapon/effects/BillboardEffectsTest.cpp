#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Smoke.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/SwordEffect.h"
#include "weapon/effects/Wind.h"

TEST(BillboardQuadTest, CellsGrowthAndFades)
{
    BillboardQuad q;
    q.InitSquare(2.0f, 0xFF808080u);
    EXPECT_EQ(q.cellCount, 1u);
    q.SetSheet(8, 8);
    q.SetCell(9);  // column 1, row 1
    auto v = q.Vertices();
    EXPECT_FLOAT_EQ(v[0].u, 0.125f);
    EXPECT_FLOAT_EQ(v[0].v, 0.25f);
    EXPECT_FLOAT_EQ(v[1].v, 0.125f);
    EXPECT_FLOAT_EQ(v[3].u, 0.25f);
    q.SetCell(1000);  // past the end: the last cell
    EXPECT_EQ(q.cell, 63.0f);
    v = q.Vertices();
    EXPECT_FLOAT_EQ(v[3].u, 1.0f);
    EXPECT_FLOAT_EQ(v[0].v, 1.0f);
    q.cell = 62.0f;
    q.AdvanceCell(3.5f, true);
    EXPECT_FLOAT_EQ(q.cell, 1.5f);
    q.AdvanceCell(100.0f, false);
    EXPECT_FLOAT_EQ(q.cell, 63.0f);

    q.GrowX(0.5f, 0.25f);
    EXPECT_FLOAT_EQ(q.Width(), 2.75f);
    q.Grow(-10.0f);  // collapses to a line at the origin, never inside out
    EXPECT_FLOAT_EQ(q.Width(), 0.0f);
    EXPECT_FLOAT_EQ(q.corners[1].y, 0.0f);
    q.SetExtents(1, 2, 3, 4);
    EXPECT_EQ(q.corners[0].x, -1.0f);
    EXPECT_EQ(q.corners[0].y, -4.0f);
    EXPECT_EQ(q.corners[3].x, 2.0f);
    EXPECT_EQ(q.corners[3].y, 3.0f);

    q.SetAlpha(3);
    EXPECT_EQ(q.Vertices()[2].colour, 0x03808080u);
    EXPECT_TRUE(q.FadeAlpha(static_cast<i16>(u16(0xFFFE))));  // 16-bit step: fades by 2
    EXPECT_EQ(q.Alpha(), 1);
    EXPECT_FALSE(q.FadeAlpha(-2));
    EXPECT_EQ(q.Alpha(), 1);  // untouched when it would go negative
}

TEST(BillboardEffectsTest, LifetimesFollowTheirFrameRules)
{
    WeaponRange ew;
    const Vec3 at(1, 2, 3), still;
    struct Case {
        const char* name;
        std::function<std::unique_ptr<BB_Base>()> make;
        int runs;
    };
    const Case cases[] = {
        {"flash from full alpha", [&] { auto e = std::make_unique<BB_ExplodeBeam>(); e->Set(&at, 2.0f, 1, nullptr, 0xFFFFFFFFu); return e; }, 13},
        {"explosion, one cell a frame", [&] { auto e = std::make_unique<BB_Explode>(); e->Set(&at, 1.0f, &still, 1, nullptr, 0xFFFFFFFFu); return e; }, 64},
        {"missile blast ramps 2 then 1", [&] { auto e = std::make_unique<BB_ExplodeMissile>(); e->Set(&at, 1.0f, 1, nullptr, 0xFFFFFFFFu, 0); return e; }, 98},
        {"big explosion", [&] { auto e = std::make_unique<BB_Explode2>(); e->Set(&at, 1.0f, &still, 1, nullptr, 0xFFFFFFFFu); return e; }, 60 + 136},
        {"short explosion", [&] { auto e = std::make_unique<BB_Explode5>(); e->SetEx(&at, 1.0f, &still, 1, nullptr, 0xFFFFFFFFu, 8, 1.0f, 0.9f, 0); return e; }, 31},
        {"spark", [&] { auto e = std::make_unique<BB_Tiri>(); e->Set(&at, 0.1f, 0.1f, 2.5f, 0.0f, &still, 1, nullptr, 0xFFFFFFFFu, 255); return e; }, 32},
        {"streak", [&] { auto e = std::make_unique<BB_Tiri3>(); e->SetEx(&at, 0.1f, 0.1f, 1.0f, 1.0f, &at, 0.5f, 1, nullptr, 0xFFFFFFFFu, 3); return e; }, 3},
        {"smoke fading by 2", [&] { auto e = std::make_unique<BB_MSmoke>(); e->Set(&at, 1.0f, &still, 0, nullptr, 0xFFFFFFFFu, 0xFFFE); return e; }, 128},
        {"ground smoke", [&] { auto e = std::make_unique<BB_GSmoke>(); e->Set(&at, 1.0f, &still, 0, nullptr, 0xFFFFFFFFu, -5, 0.1f); return e; }, 52},
        {"burner with nothing to follow", [&] { auto e = std::make_unique<BB_Burner>(); e->Set(&at, 0.5f, 2.0f, 1, nullptr, 0xFFFFFFFFu, nullptr, nullptr, 0); return e; }, 11},
        {"ring at a random angle", [&] { auto e = std::make_unique<BB_WindRing3>(); e->SetEx(&at, 1.0f, &still, 1, nullptr, 0xFFFFFFFFu); return e; }, 11},
        {"wind streak", [&] { auto e = std::make_unique<BB_WindLine>(); e->Set(&at, 0.1f, 2.0f, &at, 1, nullptr, 0xFFFFFFFFu); return e; }, 22},
        {"wind bow", [&] { auto e = std::make_unique<BB_WindBow>(); e->Set(nullptr, 1.0f, 1.0f, 1, nullptr, 0xFFFFFFFFu, nullptr, nullptr, 5); return e; }, 5},
        {"burning debris", [&] { auto e = std::make_unique<BB_BP>(); e->Set(&at, 0.3f, &still, 1, nullptr, 0xFFFFFFFFu, 10); return e; }, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<BB_Base> e = c.make();
        EXPECT_EQ(e->GetKind(), kKindBillboard);
        EXPECT_EQ(RunsToFinish(*e), c.runs);
    }
    // The debris left a flame on each even life value: 10, 8, 6, 4, 2.
    EXPECT_EQ(ew.effects.GetCount(), 5u);
    EXPECT_EQ(ew.effects.GetHead()->next->priority, 2u);
}

TEST(BillboardEffectsTest, FollowersLetGoOfFinishedObjects)
{
    WeaponRange ew;
    BB_Standard followed;
    const Vec3 five(5, 0, 0);
    AddMatrixTranslation(&followed.World, &five);
    const Vec3 at(5, 1, 0);

    BB_FireAnimeX fire;
    fire.Set(&followed.World, 4, 4, 0.5f, 1, nullptr, nullptr, &followed, &followed.World);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(fire.Run(), 0);  // never ends by itself
    followed.Removed = 1;
    EXPECT_EQ(fire.Run(), 1);

    followed.Removed = 0;
    BB_ExplodeBeam2 flash;
    flash.SetEx(&at, 1.0f, 1, nullptr, 0xFFFFFFFFu, &followed, 1);
    followed.World.m[3][0] = 7.0f;
    flash.Run();
    EXPECT_FLOAT_EQ(flash.World.m[3][0], 7.0f);
    EXPECT_FLOAT_EQ(flash.World.m[3][1], 1.0f);
    followed.Removed = 1;
    followed.World.m[3][0] = 100.0f;
    flash.Run();
    EXPECT_EQ(flash.Followed, nullptr);
    EXPECT_FLOAT_EQ(flash.World.m[3][0], 7.0f);

    BB_Burner burner;
    burner.Set(&at, 0.5f, 2.0f, 1, nullptr, 0xFFFFFFFFu, &followed, &followed.World, 1);
    EXPECT_EQ(burner.Run(), 1);  // a finished object ends its flame at once
}

TEST(BillboardEffectsTest, BurstsSpawnTheirPiecesWithAFixedNumberOfDraws)
{
    WeaponRange ew;
    CList<BB_Base> weapons;
    ew.world.weapons = &weapons;
    const Vec3 dir(0, 0, 1), hit(1, 1, 1);

    GetBattleRandom().Init(9);
    BB_SwordEffect burst;
    burst.Set(&dir, &hit, 1);
    EXPECT_EQ(burst.Run(), 1);  // all in its first run
    EXPECT_EQ(weapons.GetCount(), 20u);
    EXPECT_EQ(ew.effects.GetCount(), 41u);
    EXPECT_EQ(weapons.GetHead()->next->GetKind(), kKindLineEffect);
    // 20 lines of two draws, 40 sparks of three.
    cMTRand expect;
    expect.Init(9);
    for (int i = 0; i < 20 * 2 + 40 * 3; ++i) expect.GetRand();
    EXPECT_EQ(GetBattleRandom().GetRand(), expect.GetRand());

    weapons.DeleteAll();
    weapons.Init();
    BB_CrasyBall ball;
    ball.Set(&hit, 0.1f, &dir, 1, nullptr, 0xFFFFFFFFu, nullptr, 0, 1, 3);
    EXPECT_EQ(RunsToFinish(ball), 601);
    EXPECT_EQ(weapons.GetCount(), 200u);  // one beam every other frame from 202 to 600
    EXPECT_EQ(static_cast<LZ_Standard*>(weapons.GetHead()->next)->Team, 3);
    EXPECT_EQ(static_cast<LZ_Standard*>(weapons.GetHead()->next)->Damage, 120);
}
