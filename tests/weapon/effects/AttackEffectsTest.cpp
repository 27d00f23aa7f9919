#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/MagicCircle.h"
#include "weapon/items/Items.h"

TEST(AttackEffectsTest, BlastHurtsOnlyInItsFirstPassAndBladesLiveByTheirOwner)
{
    const Vec3 at(0, 1, 0), still;
    BB_Base owner;
    BB_GrenadeExplode blast;
    blast.Set(&at, 2.0f, &still, 0, nullptr, 0xFFFFFFFFu, &owner,
              {.hitRadius = 3.0f, .damage = 210, .downValue = 410, .knockback = 0.2f, .hitFlags = 8, .team = 4});
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
    blade.Set(&at, 3.0f, 1.0f, 1, nullptr, nullptr, 0xFFFFFFFFu,
              {.team = 2, .life = 3, .owner = &owner, .followedMatrix = &arm, .value = 0, .rehitInterval = 5});
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
    forever.Set(&at, 3.0f, 3.0f, 1, nullptr, nullptr, 0xFFFFFFFFu,
                {.team = 2, .life = 999999999, .owner = &owner, .followedMatrix = &arm, .value = 0,
                 .rehitInterval = 5});
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
    EXPECT_EQ(light.LaunchDelay, 20);
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

namespace {

// Stands in a robot list and counts the billboards offered to it.
class Probe : public BB_Base {
public:
    i32 HitTestObject(BB_Base*) override { return ++offers; }
    i32 offers = 0;
};

}  // namespace

TEST(AttackEffectsTest, GrenadeBlowsUpAtItsFuseOrWhereItTouchesAndBounces)
{
    WeaponRange arena;
    arena.world.camera.m[3][0] = 10.0f;  // 10 from the blast: shake (30 - 10) x 1.5
    GetBattleRandom().Init(5);
    const Vec3 at(0, 1, 0), lob(0.1f, 0.2f, 0.0f);
    BB_Base owner;
    BB_Grenade g;
    g.Set(&at, 0.1f, &lob, 0, nullptr, 0xFFFFFFFFu, 5, &owner,
          {.hitRadius = 0.3f, .damage = 40, .downValue = 7, .knockback = 0.5f, .hitFlags = 8, .team = 2}, 300, 0.8f);
    EXPECT_EQ(g.GetDamageType(), 1);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(g.Run(), 0);
    EXPECT_LE(g.Quad.Width(), 0.8f);  // pulses below its size
    EXPECT_NEAR(g.Velocity.y, 0.2f - 0.05f, 1e-6f);
    EXPECT_EQ(g.Run(), 1);
    ASSERT_EQ(arena.attacks.GetCount(), 1u);  // the blast that hurts
    EXPECT_EQ(arena.effects.GetCount(), 5u);        // and five that are only seen
    auto* blast = static_cast<BB_GrenadeExplode*>(arena.attacks.GetHead()->next);
    EXPECT_FLOAT_EQ(blast->HitRadius, 4.0f);
    EXPECT_EQ(blast->Damage, 300);
    EXPECT_EQ(blast->Owner, &owner);
    EXPECT_EQ(blast->HitFlags, 8u);
    EXPECT_EQ(blast->Team, 2);
    EXPECT_EQ(DrawsSinceSeed(5), 3 + 5 * 6);
    EXPECT_EQ(arena.shake, 30);

    // Touching a robot sets it off at the touch point on its next run.
    BB_Grenade stuck;
    stuck.Set(&at, 0.1f, &lob, 0, nullptr, 0xFFFFFFFFu, 500, &owner,
              {.hitRadius = 0.3f, .damage = 40, .downValue = 7, .knockback = 0.5f, .hitFlags = 8, .team = 2}, 300,
              0.8f);
    const Vec3 touch(3, 4, 5);
    stuck.OnHitRobot(&touch, &owner);
    EXPECT_EQ(stuck.Run(), 1);
    EXPECT_EQ(stuck.Position(), touch);

    // Bounce: reflected and slowed to 0.7; a slow one stops dead; no push changes nothing.
    stuck.Velocity = Vec3(0.0f, -1.0f, 0.0f);
    const Vec3 up(0.0f, 0.5f, 0.0f);
    stuck.OnHitMap(&up);
    EXPECT_NEAR(stuck.Velocity.y, 0.7f, 1e-6f);
    stuck.OnHitMap(nullptr);
    EXPECT_NEAR(stuck.Velocity.y, 0.7f, 1e-6f);
    stuck.Velocity = Vec3(0.0f, -0.02f, 0.0f);
    stuck.OnHitMap(&up);
    EXPECT_EQ(stuck.Velocity, Vec3());
}

TEST(AttackEffectsTest, BillboardsHitOnlyFromTheirPassesAndBlastsOnlyFirst)
{
    WeaponRange arena;
    Probe robot;
    arena.robots.AddNode(1, &robot);
    const Vec3 at(0, 1, 0), still;
    BB_GrenadeExplode blast;
    blast.Set(&at, 2.0f, &still, 0, nullptr, 0xFFFFFFFFu, nullptr,
              {.hitRadius = 3.0f, .damage = 210, .downValue = 410, .knockback = 0.2f, .hitFlags = 8, .team = 4});
    for (int frame = 0; frame < 5; ++frame) {
        blast.Run();
        blast.HitTestPass();
    }
    EXPECT_EQ(robot.offers, 1);

    // A held damaging blade keeps its hit list; a moving one counts it down.
    Mat4 hand;
    BB_SwordBeamAtk blade;
    const i32 values[10] = {};
    blade.SetEx(&at, 2.0f, 1, nullptr, 0xFFFFFFFFu,
                {.team = 0, .life = 100, .owner = nullptr, .followedMatrix = &hand, .value = 0, .rehitInterval = 3},
                values);
    blade.RecordHit(&robot);
    blade.Hold = 1;
    for (int i = 0; i < 5; ++i) blade.HitTestPass();
    EXPECT_TRUE(blade.HasHit(&robot));
    blade.Hold = 0;
    blade.HitTestPass();
    blade.HitTestPass();
    EXPECT_TRUE(blade.HasHit(&robot));
    blade.HitTestPass();  // the third pass after the hold frees it
    EXPECT_FALSE(blade.HasHit(&robot));
    EXPECT_EQ(robot.offers, 1 + 8);
    arena.robots.Detach(&robot);
}

namespace {

// Robots the summon spawner hands out, and what it was asked for.
struct Called {
    i32 type;
    Vec3 at;
    f32 scale;
    i32 team, colourSet;
};
std::vector<Called> g_called;
CRobot_Normal* g_units = nullptr;
std::string g_unitName = "Unit";

CRobot_Normal* RecordSpawn(i32 type, const Vec3& at, f32 scale, i32 team, i32 colourSet)
{
    g_called.push_back({type, at, scale, team, colourSet});
    CRobot_Normal* r = &g_units[(g_called.size() - 1) % 12];
    std::strcpy(r->displayName, g_unitName.c_str());
    return r;
}

}  // namespace

TEST(AttackEffectsTest, SummonItemCallsAlliesByItsCascadeOnce)
{
    WeaponRange arena;
    std::unique_ptr<CRobot_Normal[]> units(new CRobot_Normal[12]);
    g_units = units.get();
    BB_SummonItem::spawnUnit = &RecordSpawn;
    CRobot_Normal picker;
    HodNode* body = new HodNode;
    body->world.m[3][0] = 10.0f;
    picker.frameBodyD = body;
    picker.team = 3;
    const Mat4* aim = picker.GetTargetMatrix();
    ASSERT_NE(aim, nullptr);
    const Vec3 at(0, 5, 0), still;

    // Most seeds give the plain answer: seven failed 1-in-300 tests, then
    // 1 or 2 allies of type 0 or 1 around the picker.
    for (u32 seed : {1u, 2u, 3u, 4u}) {
        cMTRand r;
        r.Init(seed);
        bool plain = true;
        for (int i = 0; i < 7; ++i) plain &= r.GetRand() % 300 != 0;
        if (!plain) continue;
        const int units = int(r.GetRand() & 1) + 1;
        g_called.clear();
        GetBattleRandom().Init(seed);
        BB_SummonItem item;
        item.Set(&at, 2.0f, &still, 0, nullptr, 0xFFFFFFFFu, 6000, 1000);
        item.OnHitRobot(&at, &picker);
        item.OnHitRobot(&at, &picker);  // a second toucher in the same pass gets nothing
        ASSERT_EQ(int(g_called.size()), units) << seed;
        for (const Called& c : g_called) {
            const f32 u1 = f32(r.GetRand() / 4294967296.0), u2 = f32(r.GetRand() / 4294967296.0);
            EXPECT_EQ(c.type, i32(r.GetRand() & 1));
            EXPECT_FLOAT_EQ(c.at.x, aim->m[3][0] + u2 * 4.0f - 2.0f);
            EXPECT_FLOAT_EQ(c.at.y, aim->m[3][1] + 2.0f);
            EXPECT_FLOAT_EQ(c.at.z, aim->m[3][2] + u1 * 4.0f - 2.0f);
            EXPECT_FLOAT_EQ(c.scale, 0.2f);
            EXPECT_EQ(c.team, 3);
            EXPECT_EQ(c.colourSet, 3);
        }
        EXPECT_EQ(g_units[0].aiLevel, 5);
        EXPECT_STREQ(g_units[0].displayName, "Unit");
        EXPECT_EQ(item.Run(), 1);  // taken: gone on its next run
    }

    // A first draw of 0 modulo 300 calls ten reinforcements with their label.
    u32 seed = 1;
    for (cMTRand r;; ++seed) {
        r.Init(seed);
        if (r.GetRand() % 300 == 0) break;
    }
    g_called.clear();
    GetBattleRandom().Init(seed);
    BB_SummonItem rare;
    rare.Set(&at, 2.0f, &still, 0, nullptr, 0xFFFFFFFFu, 6000, 1000);
    rare.OnHitRobot(&at, &picker);
    EXPECT_EQ(g_called.size(), 10u);
    EXPECT_STREQ(g_units[9].displayName, "Unit[援軍]");

    // A label that does not fit is cut before a character, inside the name's field.
    g_unitName.clear();
    while (g_unitName.size() < 252) g_unitName += "机";
    g_called.clear();
    GetBattleRandom().Init(seed);
    BB_SummonItem full;
    full.Set(&at, 2.0f, &still, 0, nullptr, 0xFFFFFFFFu, 6000, 1000);
    full.OnHitRobot(&at, &picker);
    EXPECT_EQ(std::string(g_units[0].displayName), g_unitName + "[");
    g_unitName = "Unit";
    BB_SummonItem::spawnUnit = nullptr;
    g_units = nullptr;
    picker.frameBodyD = nullptr;
    body->FreeTree(true);
}

TEST(AttackEffectsTest, PartsItemRollsOnTheMenuGeneratorForThePlayersOnly)
{
    WeaponRange arena;
    BB_PartsItem::mayTake = [](const BB_Base* r) { return static_cast<const CRobot_Base*>(r)->objectId < 2; };
    CApplication& app = *GetApplication();
    CRobot_Normal player, stranger;
    player.objectId = 1;
    player.spawnType = 4;
    stranger.objectId = 7;
    const Vec3 at(0, 1, 0), still;
    int paints = 0, parts = 0;
    for (u32 seed = 1; seed < 40; ++seed) {
        GetBattleRandom().Init(99);
        app.random.Init(seed);
        cMTRand expect;
        expect.Init(seed);
        const u32 roll = expect.GetRand() % 1000;
        BB_PartsItem item;
        item.Set(&at, 0, &still, 0, nullptr, 0, 6000, 1000, 1.0f);
        item.OnHitRobot(&at, &stranger);
        ASSERT_EQ(item.Taken, 0);  // left lying for the players
        const size_t owned = app.partInventory.parts.size();
        std::memset(app.partInventory.robots[4].colourOwned, 0, 10);
        item.OnHitRobot(&at, &player);
        item.OnHitRobot(&at, &player);
        EXPECT_EQ(item.Counter, item.Life);
        const std::string line = app.chatLog.GetHead()->next->text;
        if (roll < 200) {
            ++paints;
            const u32 n = expect.GetRand() % 10;
            for (u32 k = 0; k < 10; ++k) EXPECT_EQ(app.partInventory.robots[4].colourOwned[k], k == n ? 1 : 0);
            EXPECT_EQ(line, "获得涂装 [" + std::to_string(n + 1) + "号]     ");
        } else {
            ++parts;
            EXPECT_EQ(app.partInventory.parts.size(), owned + 1);
            EXPECT_EQ(line.rfind("获得 ", 0), 0u);
        }
        EXPECT_EQ(GetBattleRandom().GetRand(), [] { cMTRand b; b.Init(99); return b.GetRand(); }());
    }
    EXPECT_GT(paints, 0);
    EXPECT_GT(parts, 0);
    BB_PartsItem::mayTake = nullptr;
}
