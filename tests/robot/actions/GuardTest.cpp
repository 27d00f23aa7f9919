#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/hud/KillMessage.h"
#include "engine/core/MTRand.h"
#include "engine/model/HierarchyObject.h"
#include "engine/model/HodModel.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "script/ScriptCommand.h"
#include "support/BattleRunner.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/MagicCircle.h"

namespace {

constexpr i32 kInSub3 = kInSub1 + 2;
constexpr u32 kShot = 1u << kInShot, kSaber = 1u << kInSaber, kGuard = 1u << kInGuard, kSub3 = 1u << kInSub3;

struct ScriptedType {
    RobotModelData data;
    ScriptedType()
    {
        for (i32 a : {6, 19, 21}) {
            data.scriptTables[a] = new ScriptEntry[1];
            data.scriptTables[a][0].wait = 999999999;
            data.scriptEntryCounts[a] = 1;
        }
    }
};

template <class T>
std::vector<T*> Objects(CList<BB_Base>& list)
{
    std::vector<T*> out;
    for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next)
        if (auto* t = dynamic_cast<T*>(o)) out.push_back(t);
    return out;
}

u32 DrawsSince(u32 seed)
{
    const u32 next = GetBattleRandom().GetRand();
    cMTRand reference;
    reference.Init(seed);
    for (u32 n = 0; n < 100; ++n)
        if (reference.GetRand() == next) return n;
    return 999;
}

// The first lines of the kill messages on the battle's screens, oldest first.
std::vector<std::string> KillMessages(CGameScene& scene)
{
    std::vector<std::string> out;
    for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
        if (auto* k = dynamic_cast<GMTCB_DrawSP_KillMessage*>(t)) out.emplace_back(k->line1);
    return out;
}

// A live robot with a shield on a type that can guard, in a world of its own.
struct Guarder {
    ScriptedType type;
    CList<BB_Base> robots, weapons, effects;
    WeaponWorld world;
    CHierarchyObject frames;
    CRobot_Normal& r;
    Guarder() : r(*NewObject<CRobot_Normal>(&robots, 1))
    {
        world.robots = &robots;
        world.weapons = &weapons;
        world.effects = &effects;
        SetWeaponWorld(&world);
        r.Reset();
        r.modelData = &type.data;
        r.state = kRobotStateLive;
        r.boostGaugeMax = 100000;
        r.boostGauge = 100000;
        r.energyMax = 1000;
        r.frameShield = frames.CreateRoot();
        r.worldMatrix.m[3][1] = 10.0f;
        r.gravityOn = 0;
    }
    ~Guarder()
    {
        weapons.DeleteAll();
        effects.DeleteAll();
        robots.DeleteAll();
        frames.Release();
        SetWeaponWorld(nullptr);
    }
    void Frame(u32 held, u8 direction = 5)
    {
        r.input.Clear();
        r.input.direction = direction;
        for (i32 b = 1; b < kInputBytes; ++b)
            if (held & (1u << b)) r.input.buttons[b - 1] = 1;
        r.StepActionStates();
    }
    void StartGuard()
    {
        r.stateProc = &CRobot_Normal::StateIdle;
        r.input.Clear();
        r.input.buttons[kInGuard - 1] = 1;
        ASSERT_EQ(r.GuardButton(), 1);
        ASSERT_TRUE(r.stateProc == &CRobot_Normal::StateGuard);
    }
    CRobot_Normal* AddUnit(i32 team, i32 state)
    {
        CRobot_Normal* u = NewObject<CRobot_Normal>(&robots, 1);
        u->Reset();
        u->team = team;
        u->state = state;
        return u;
    }
};

}  // namespace

TEST(Guard, TheShieldCostsBoostAndHoldsWhileABlockedHitRuns)
{
    // 12 boost: the guard starts (10 or more), pays 5 a frame and ends on its third.
    Guarder g;
    g.r.boostGauge = 12;
    g.StartGuard();
    EXPECT_EQ(g.r.attackKind, 2);
    g.Frame(kGuard);
    g.Frame(kGuard);
    EXPECT_EQ(g.r.boostGauge, 2);
    EXPECT_EQ(g.r.situation, 4);
    g.Frame(kGuard);
    EXPECT_TRUE(g.r.stateProc == &CRobot_Normal::StateGuardRelease);
    EXPECT_EQ(g.r.guardCooldown, 9);
    // Held through the cooldown, the guard comes back as soon as it ends.
    int frames = 0;
    while (g.r.stateProc != &CRobot_Normal::StateGuard && frames < 50) {
        g.Frame(kGuard);
        ++frames;
    }
    EXPECT_EQ(frames, 10);

    // Letting go while a blocked hit's 20 frames run keeps guarding and paying.
    Guarder held;
    held.StartGuard();
    held.r.guardHitTimer = 20;
    for (int i = 0; i < 20; ++i) held.Frame(0);
    EXPECT_TRUE(held.r.stateProc == &CRobot_Normal::StateGuard);
    held.Frame(0);
    EXPECT_TRUE(held.r.stateProc == &CRobot_Normal::StateGuardRelease);
    EXPECT_EQ(held.r.boostGauge, 100000 - 5 * 21);

    // Released in the air: a short guard falls from frame 60, a long one from 0.
    for (const int guarded : {29, 30}) {
        Guarder air;
        air.StartGuard();
        air.r.airborne = 1;
        air.r.actionFrame = guarded;
        air.Frame(0);
        EXPECT_TRUE(air.r.stateProc == &CRobot_Normal::StateFall);
        EXPECT_EQ(air.r.actionFrame, guarded < 30 ? 60 : 0) << guarded;
    }
}

TEST(Guard, ShotStartsTheGuardAttackAndSaberASlash)
{
    Guarder g;
    g.StartGuard();
    g.Frame(kGuard | kShot);
    ASSERT_TRUE(g.r.stateProc == &CRobot_Normal::StateGuardAttack);
    for (int i = 0; i < 4; ++i) g.Frame(kGuard | kShot);
    EXPECT_EQ(g.r.situation, 11);
    EXPECT_EQ(g.r.boostGauge, 100000 - 5 - 25 * 4);  // the guard frame paid 5
    EXPECT_EQ(g.r.guardCooldown, 119);  // held at 120 while it runs
    g.r.layerEnded[0] = 1;
    g.Frame(0);
    EXPECT_TRUE(g.r.stateProc == &CRobot_Normal::StateBrake);
    for (int i = 0; i < 100; ++i) g.Frame(0);
    EXPECT_EQ(g.r.guardCooldown, 19);

    // Without a guard-attack script the press is used up and the guard stays.
    Guarder none;
    none.type.data.FreeScriptTable(21);
    none.StartGuard();
    none.Frame(kGuard | kShot);
    EXPECT_TRUE(none.r.stateProc == &CRobot_Normal::StateGuard);
    EXPECT_EQ(none.r.buttonLatch[kInShot], 1);
    none.Frame(kGuard | kShot);
    EXPECT_TRUE(none.r.stateProc == &CRobot_Normal::StateGuard);

    // Saber slashes out of the guard whatever its cooldowns.
    Guarder slash;
    slash.StartGuard();
    slash.r.timers5[1] = 50;
    slash.Frame(kGuard | kSaber);
    EXPECT_TRUE(slash.r.stateProc == &CRobot_Normal::StateSaberCombo);
}

TEST(Guard, RewardsAreCalledInOldestFirst)
{
    Guarder g;
    CRobot_Normal* enemyA = g.AddUnit(1, kRobotStateLive);
    CRobot_Normal* enemyB = g.AddUnit(2, kRobotStateLive);
    g.AddUnit(0, kRobotStateLive);       // a team-mate
    g.AddUnit(1, kRobotStateDestroyed);  // a wreck
    g.r.team = 0;
    g.r.pendingRewards = {2, 3, 5, 4, 6, 77};
    g.StartGuard();
    auto press = [&] {
        GetBattleRandom().Init(9);
        const i32 frame = g.r.actionFrame;
        g.Frame(kGuard | kSub3);
        EXPECT_EQ(g.r.actionFrame, frame);  // the call-in frame counts nothing
        const u32 draws = DrawsSince(9);
        g.Frame(kGuard);
        return draws;
    };
    auto isEnemy = [&](BB_Base* t) { return t == enemyA || t == enemyB; };

    EXPECT_EQ(press(), 1u);  // the cannon picks one of the two live enemies
    auto cannons = Objects<LZ_Canon2>(g.weapons);
    ASSERT_EQ(cannons.size(), 1u);
    EXPECT_TRUE(isEnemy(cannons[0]->Target));
    EXPECT_EQ(cannons[0]->Damage, 200);
    EXPECT_EQ(cannons[0]->DownValue, 401);
    EXPECT_EQ(cannons[0]->HitFlags, 8u);
    EXPECT_EQ(cannons[0]->Owner, &g.r);
    EXPECT_NEAR(cannons[0]->Position().y, 310.0f, 1e-3f);

    EXPECT_EQ(press(), 1u);
    EXPECT_EQ(Objects<LZ_Missile3>(g.weapons).size(), 1u);
    EXPECT_EQ(press(), 3u);  // one enemy drawn for each of three missiles
    const auto missiles = Objects<LZ_Missile3>(g.weapons);
    ASSERT_EQ(missiles.size(), 4u);
    std::vector<f32> heights;
    for (LZ_Missile3* m : missiles) {
        EXPECT_TRUE(isEnemy(m->Target));
        EXPECT_EQ(m->Damage, 400);
        EXPECT_EQ(m->Lifetime, 1000);
        EXPECT_EQ(m->Spare, 5.0f);
        heights.push_back(m->Position().y);
    }
    // Newest first in the list: 140, 120, 100, then the single one at 100.
    EXPECT_EQ(heights, (std::vector<f32>{150.0f, 130.0f, 110.0f, 110.0f}));

    EXPECT_EQ(press(), 0u);
    const auto circles = Objects<BBMagicCir>(g.effects);
    ASSERT_EQ(circles.size(), 3u);
    for (BBMagicCir* c : circles) {
        EXPECT_EQ(c->CheckOwnerDown, 0);
        EXPECT_EQ(c->Hunt, 1);
        EXPECT_EQ(c->Owner, &g.r);
    }

    press();  // a reinforcement: nobody to spawn it outside a battle
    press();  // an unknown code goes without a trace
    EXPECT_TRUE(g.r.pendingRewards.empty());
    press();  // nothing left: nothing happens
    EXPECT_TRUE(g.r.stateProc == &CRobot_Normal::StateGuard);

    // With nobody to aim at the cannon fires straight down without a draw.
    enemyA->state = enemyB->state = kRobotStateDown;
    g.r.pendingRewards = {2};
    EXPECT_EQ(press(), 0u);
    EXPECT_EQ(Objects<LZ_Canon2>(g.weapons).front()->Target, nullptr);
}

// Reinforcements and rescues: each code brings its own type onto the caller's
// team as a weakened computer robot, and what it scores is the caller's.
TEST(Guard, CalledInRobotsJoinTheCallersTeamAndScoreForIt)
{
    const char* reinforcement = "[\xE6\x8F\xB4\xE8\xBB\x8D]";
    const char* rescue = "[\xE6\x95\x91\xE5\x8A\xA9\xE9\x9A\x8A]";
    const char* sortie = "\xE5\x87\xBA\xE6\x92\x83";
    const char* rescueSortie = "\xE7\xB7\x8A\xE6\x80\xA5\xE5\x87\xBA\xE6\x92\x83";
    struct Case {
        i32 code, type;
        f32 hpScale;
        const char* tag;
        const char* words;
    };
    const Case cases[] = {
        {6, 7, 0.2f, reinforcement, sortie},  {7, 20, 0.2f, reinforcement, sortie},
        {8, 16, 0.2f, reinforcement, sortie}, {9, 11, 0.2f, reinforcement, sortie},
        {10005, 1, 0.3f, rescue, rescueSortie}, {10009, 21, 0.3f, rescue, rescueSortie},
    };
    BattleRunner runner(MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1}, {0}, true));
    CGameScene* scene = runner.Scene();
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(runner.RunFrames(5), 5u);
    auto* caller = static_cast<CRobot_Normal*>(scene->robotTable[0]);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const size_t before = KillMessages(*scene).size();
        const size_t linked = caller->linkedRobots.size();
        const Mat4 at = caller->worldMatrix;
        caller->CarryOutReward(c.code);
        ASSERT_EQ(caller->linkedRobots.size(), linked + 1);
        auto* unit = dynamic_cast<CRobot_Normal*>(caller->linkedRobots.back());
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->typeIndex, c.type);
        EXPECT_EQ(unit->team, caller->team);
        EXPECT_EQ(unit->state, kRobotStateLive);
        EXPECT_EQ(unit->controlMode, kControlComputer);
        EXPECT_EQ(unit->aiLevel, 10);
        EXPECT_EQ(unit->tacticalRules, 0);
        EXPECT_EQ(unit->inputEnabled, 1);
        EXPECT_EQ(unit->streakFlag, 0);
        EXPECT_EQ(unit->hpMax, static_cast<i32>(static_cast<f32>(scene->robotTypes[c.type].hp) * c.hpScale));
        EXPECT_EQ(unit->worldMatrix.m[3][0], at.m[3][0]);
        EXPECT_EQ(unit->worldMatrix.m[3][1], at.m[3][1] + 3.0f);
        EXPECT_EQ(unit->worldMatrix.m[3][2], at.m[3][2]);
        EXPECT_EQ(std::string(unit->displayName), std::string(unit->typeName) + c.tag);
        ASSERT_EQ(KillMessages(*scene).size(), before + 1);
        EXPECT_EQ(KillMessages(*scene).back(), std::string(unit->typeName) + c.words);
    }

    // The called robots fight in the battle; their score and kills go to the caller.
    auto* helper = caller->linkedRobots.back();
    ASSERT_EQ(runner.RunFrames(30), 30u);
    EXPECT_EQ(helper->state, kRobotStateLive);
    const i32 score = caller->score;
    const i16 kills = caller->kills;
    helper->score += 70;
    helper->kills = static_cast<i16>(helper->kills + 1);
    ASSERT_EQ(runner.RunFrames(1), 1u);
    EXPECT_EQ(caller->score, score + 70);
    EXPECT_EQ(caller->kills, kills + 1);
    EXPECT_EQ(helper->score, 0);
    EXPECT_EQ(caller->linkedRobots.size(), 6u);

    // Every reward says so on the caller's screen; an unknown code says nothing.
    const size_t shown = KillMessages(*scene).size();
    caller->CarryOutReward(2);
    ASSERT_EQ(KillMessages(*scene).size(), shown + 1);
    EXPECT_EQ(KillMessages(*scene).back(), "\xE8\xA1\x9B\xE6\x98\x9F\xE8\xBB\x8C\xE9\x81\x93\xE7\xA0\xB2\xE7\x99\xBA\xE5\xB0\x84");
    caller->CarryOutReward(77);
    EXPECT_EQ(KillMessages(*scene).size(), shown + 1);
}
