#include <vector>

#include <gtest/gtest.h>

#include "battle/GameScene.h"
#include "support/BattleRunner.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Smoke.h"

namespace {

// A weapon that stays until told and remembers the hits it takes.
class Dummy : public LZ_Standard {
public:
    i32 Run() override { return finish; }
    i32 OnHitByWeapon(const Vec3* c) override
    {
        hits.push_back(*c);
        return 0;
    }
    i32 HitTestPass() override
    {
        ++passes;
        return LZ_Standard::HitTestPass();
    }
    i32 finish = 0;
    i32 passes = 0;
    std::vector<Vec3> hits;
};

bool InList(CList<BB_Base>& list, const BB_Base* object)
{
    for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next)
        if (o == object) return true;
    return false;
}

}  // namespace

// Weapons and effects made through the scene's own lists in a running battle:
// they run, hit each other in the hit pass and leave on the deferred schedule.
TEST(WeaponBattleTest, WeaponsAndEffectsLiveInTheRunningBattle)
{
    BattleRunner runner(BattleRunnerOptions{});
    CGameScene* scene = runner.Scene();
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(runner.RunFrames(150), 150u);  // past the opening, when objects start to run
    const WeaponWorld& world = CurrentWeaponWorld();
    EXPECT_EQ(world.weapons, &scene->weaponList);
    EXPECT_EQ(world.effects, &scene->effectList);
    EXPECT_EQ(world.attackEffects, &scene->itemList);
    EXPECT_EQ(world.robots, &scene->unitList);
    EXPECT_EQ(world.map, &scene->battleMap);
    EXPECT_EQ(world.Texture(11), scene->effectTextures[11].texture);
    EXPECT_EQ(world.Texture(5), nullptr);
    EXPECT_EQ(world.Texture(1000), nullptr);

    // Far above the stage, away from every robot.
    Dummy* target = NewObject<Dummy>(&scene->weaponList, 1);
    Dummy* shot = NewObject<Dummy>(&scene->weaponList, 1);
    ASSERT_TRUE(target && shot);
    target->HitMask = kHitByWeapons;
    target->Width = 0.5f;
    target->Team = 7;
    target->Owner = &scene->weaponList.GetHead()[0];  // any two different owners
    target->Durability = 30;
    target->Laser.MaxPoints = 2;
    const Vec3 place(1500, 900, 1500);
    AddMatrixTranslation(&target->Laser.World, &place);  // a weapon is where its matrix is
    target->Laser.AddPoint(place);
    shot->HitMask = kHitWeapons;
    shot->Team = 8;
    shot->Damage = 10;
    shot->RehitInterval = 3;
    shot->TestSegments = 1;
    shot->Laser.MaxPoints = 2;
    shot->Laser.AddPoint(Vec3(1498, 900, 1500));
    shot->Laser.AddPoint(Vec3(1502, 900, 1500));

    BB_ExplodeBeam* flash = NewObject<BB_ExplodeBeam>(world.effects, 1);
    const Vec3 at(1500, 900, 1500);
    flash->Set(&at, 2.0f, 1, world.Texture(10), 0xFFFFFFFFu);

    ASSERT_EQ(runner.RunFrames(3), 3u);
    EXPECT_EQ(shot->passes, 3);
    EXPECT_EQ(target->hits.size(), 1u);  // blocked for the next two passes
    EXPECT_EQ(target->Durability, 20);
    ASSERT_EQ(runner.RunFrames(1), 1u);
    EXPECT_EQ(target->hits.size(), 2u);

    // The flash fades out on its 13th run and is freed two frames later.
    ASSERT_EQ(runner.RunFrames(9), 9u);
    EXPECT_TRUE(InList(scene->effectList, flash));
    EXPECT_EQ(flash->Removed, 1);
    ASSERT_EQ(runner.RunFrames(1), 1u);
    EXPECT_TRUE(InList(scene->effectList, flash));
    ASSERT_EQ(runner.RunFrames(1), 1u);
    EXPECT_FALSE(InList(scene->effectList, flash));

    // A finished weapon is skipped by the hit pass at once: no more hits
    // although its interval would have let it hit again.
    shot->finish = 1;
    const size_t hitsBefore = target->hits.size();
    const i32 passesBefore = shot->passes;
    ASSERT_EQ(runner.RunFrames(1), 1u);
    EXPECT_EQ(shot->Removed, 1);  // still readable for two frames
    EXPECT_EQ(shot->passes, passesBefore);
    ASSERT_EQ(runner.RunFrames(3), 3u);
    EXPECT_EQ(target->hits.size(), hitsBefore);
    EXPECT_FALSE(InList(scene->weaponList, shot));
    target->finish = 1;
    ASSERT_EQ(runner.RunFrames(3), 3u);
    EXPECT_FALSE(InList(scene->weaponList, target));
    runner.EndBattle();
    EXPECT_EQ(CurrentWeaponWorld().weapons, nullptr);
}
