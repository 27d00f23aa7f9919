// The sample robots' fire procedures, run from their own scripts in headless
// battles: each procedure meant for use (all but 17, which the game warns
// against) must be called, create what it fires, and the
// damaging ones must then touch a robot.
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "battle/FireStats.h"
#include "battle/GameScene.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "script/ScriptCommand.h"
#include "script/ScriptInterpreter.h"
#include "script/commands/ScrCommands.h"
#include "support/BattleRunner.h"
#include "weapon/Beam.h"
#include "weapon/Bomb.h"
#include "weapon/Bullet.h"
#include "weapon/Cristal.h"
#include "weapon/Fannel.h"
#include "weapon/LineEffect.h"
#include "weapon/Sword.h"
#include "weapon/ThrowWeapon.h"
#include "weapon/Yakkyou.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/MagicCircle.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/SwordEffect.h"
#include "weapon/effects/Wind.h"

namespace {

using Made = bool (*)(const BB_Base*);
template <class T>
bool Is(const BB_Base* o)
{
    return dynamic_cast<const T*>(o) != nullptr;
}

// Where the target stands while a shot flies: ahead of the weapon point, in
// the path of the flying weapon (for one that leaves in a random direction),
// or ahead with the shooter holding its shot button (what sends waiting
// weapons off).
enum class Stance { Ahead, InPath, ShotHeld };

// What each procedure's call must create (one object of each class listed),
// whether what it made must go on to touch a robot, and how near and how long
// the target waits for it.
struct Expect {
    std::vector<Made> made;
    bool hits;
    f32 range = 12.0f;
    u32 frames = 150;
    Stance stance = Stance::Ahead;
};
const std::map<i32, Expect>& Expected()
{
    static const std::map<i32, Expect> table = {
        {1, {{Is<LZ_Beam>}, true}},
        {2, {{Is<LZ_Beam>}, true}},
        {3, {{Is<LZ_Missile>}, true}},
        {4, {{Is<LZ_Missile2>}, true}},
        {5, {{Is<LZ_Fannel>}, true}},
        {6, {{Is<LZ_Bullet>}, true}},
        {7, {{Is<BB_Grenade>}, true}},
        {8, {{Is<BB_CrasyBall>}, true}},
        {9, {{Is<LZ_Canon>}, true}},
        {10, {{Is<LZ_Missile3>}, true, 1.5f}},  // hits while it is still thrown
        {11, {{Is<LZ_Bullet>}, true}},
        {12, {{Is<LZ_Beam>}, true, 6.0f}},
        {13, {{Is<LZ_Beam2>}, true}},
        {14, {{Is<LZ_ThunderBeam>}, true}},
        {15, {{Is<LZ_TrapLaser>}, true, 6.0f}},  // curls down
        {16, {{Is<LZ_Bomb>}, true, 2.5f}},  // falls
        {18, {{Is<LZ_Canon>}, true}},
        {19, {{Is<LZ_Missile4>}, true}},
        {20, {{Is<LZ_FireBall>}, true}},
        {21, {{Is<LZ_Beam2>}, true, 4.0f, 150, Stance::InPath}},  // leaves at a random angle
        {22, {{Is<LZ_Cristal>}, true, 12.0f, 600}},  // attacks on rare rolls
        {23, {{Is<BBMagicCir>}, true, 12.0f, 450}},  // attacks from its 300th frame
        {24, {{Is<LZ_HiLaser2>}, true}},
        {25, {{Is<LZ_HiLaser2>}, true}},
        {26, {{Is<LZ_Canon2>}, true}},
        {27, {{Is<BB_GrenadeExplode>}, true, 0.8f}},  // a blast of radius 0.7 at the muzzle
        {28, {{Is<LZ_HiLaser2>}, true}},
        {29, {{Is<LZ_ShieldThrow>}, true}},
        {30, {{Is<BB_FireMaterial>, Is<BB_LightMaterial>}, false}},
        {31, {{Is<LZ_SwordThrow>}, true}},
        {32, {{Is<LZ_Sword>}, true, 1.5f, 150, Stance::InPath}},  // flies off at a random angle
        {33, {{Is<LZ_Sword2>}, true, 12.0f, 150, Stance::ShotHeld}},
        {51, {{}, false}},  // part sets: the model changes, nothing is made
        {52, {{}, false}},
        {53, {{Is<BB_WindLine>}, false}},
        {54, {{Is<BB_WindRing2>}, false}},
        {55, {{Is<BB_SwordBeam>}, false}},
        {56, {{Is<BB_WindRing3>}, false}},
        {57, {{Is<BB_SwordBeamAtk>}, true, 1.5f}},
        {58, {{Is<BB_WindBow>}, false}},
        {59, {{}, false}},  // hands crystals over
        {60, {{Is<LZ_ThunderEffect>}, false}},
        {61, {{}, false}},  // acts on materials already made
        // Every selector but the camera shake makes something.
        {62,
         {{Is<BB_MagicCircleEffect>, Is<BB_WindRing>, Is<BB_Burner>, Is<BB_BurnerBall>, Is<LZ_LineEffect3>,
           Is<LZ_Yakkyou>, Is<BB_Hinoko>, Is<BB_FireAnimeX>},
          false}},
    };
    return table;
}

// Types 0..7 share one battle and 8..11 another; between them their scripts
// call every procedure above.
const std::vector<i32> kBattles[] = {{0, 1, 2, 3, 4, 5, 6, 7}, {8, 9, 10, 11}};
constexpr i32 kAttempts = 6;

// A script entry of the robot's type whose commands all fire `proc`, after
// at most the attack settings its shot hits with.
bool SetsAttack(const RobotScriptBase* c)
{
    const i32 t = c->GetType();
    return t == kScrAttackPow || t == kScrAttackDownF || t == kScrAttackForce || t == kScrAttackForceY;
}
const Scr_RunProc* FireOf(const ScriptEntry& entry)
{
    for (const RobotScriptBase* c : entry.commands)
        if (c->GetType() == kScrRunProc) return static_cast<const Scr_RunProc*>(c);
    return nullptr;
}
ScriptEntry* EntryFiring(const CRobot_Normal& robot, i32 proc)
{
    for (i32 anime = 0; anime < 200; ++anime) {
        ScriptEntry* table = ScriptTableOf(robot, anime);
        const i32 count = ScriptEntryCountOf(robot, table);
        for (i32 i = 0; table && i < count; ++i) {
            bool all = FireOf(table[i]) != nullptr;
            for (const RobotScriptBase* c : table[i].commands) {
                const auto* fire = c->GetType() == kScrRunProc ? static_cast<const Scr_RunProc*>(c) : nullptr;
                all = all && (fire ? fire->proc.index < 0 && fire->proc.value == proc : SetsAttack(c));
            }
            if (all) return &table[i];
        }
    }
    return nullptr;
}

i32 WeaponPointOf(const ScriptEntry& entry)
{
    const Scr_RunProc* fire = FireOf(entry);
    return fire->args[0].index < 0 ? fire->args[0].value : 0;
}

std::vector<CRobot_Normal*> Robots(CGameScene& scene)
{
    std::vector<CRobot_Normal*> robots;
    for (CRobot_Base* r : scene.robotTable)
        if (auto* robot = dynamic_cast<CRobot_Normal*>(r)) robots.push_back(robot);
    return robots;
}

std::set<BB_Base*> MadeBy(CGameScene& scene, i32 proc)
{
    std::set<BB_Base*> made;
    for (CList<BB_Base>* list : {&scene.weaponList, &scene.effectList, &scene.itemList})
        for (BB_Base* o = list->GetHead()->next; o != list->GetTail(); o = o->next)
            if (o->FireProc == proc && !o->Removed) made.insert(o);
    return made;
}

// Puts the target's aim point at `at`.
void AimPointTo(CRobot_Normal& target, const Vec3& at)
{
    const Mat4* aim = target.GetTargetMatrix();
    const Vec3 by(at.x - aim->m[3][0], at.y - aim->m[3][1], at.z - aim->m[3][2]);
    target.worldMatrix.m[3][0] += by.x;
    target.worldMatrix.m[3][1] += by.y;
    target.worldMatrix.m[3][2] += by.z;
}

// Stands the target `range` ahead of the shooter's weapon point, on the
// shooter's ground, both fresh.
void Face(CRobot_Normal& shooter, CRobot_Normal& target, i32 point, f32 range)
{
    const HodNode* node = point >= 0 && point < 50 ? shooter.weaponPointNodes[point] : nullptr;
    const Mat4& gun = node ? node->world : shooter.worldMatrix;
    Vec3 ahead(gun.m[2][0], 0.0f, gun.m[2][2]);
    plat::Vec3Normalize(&ahead, &ahead);
    target.worldMatrix.m[3][0] = gun.m[3][0] + ahead.x * range;
    target.worldMatrix.m[3][1] = shooter.worldMatrix.m[3][1];
    target.worldMatrix.m[3][2] = gun.m[3][2] + ahead.z * range;
    target.hp = target.hpMax;
    shooter.hp = shooter.hpMax;
    target.hitImmunity = 0;
}

// Holds the target where the procedure's stance wants it for one frame. In
// the path: once the weapon made by the call first moves, the target stands
// `range` ahead of it, and stays there.
struct PathWatch {
    BB_Base* weapon = nullptr;
    Vec3 last;
    bool placed = false;
    Vec3 spot;
};
void Stand(CGameScene& scene, CRobot_Normal& shooter, CRobot_Normal& target, i32 proc, const Expect& expect,
           PathWatch& s)
{
    if (expect.stance == Stance::ShotHeld) shooter.input.buttons[kInShot - 1] = 1;
    if (expect.stance != Stance::InPath || !s.weapon || !MadeBy(scene, proc).count(s.weapon)) return;
    const Mat4& m = *s.weapon->GetMatrix();
    const Vec3 at(m.m[3][0], m.m[3][1], m.m[3][2]);
    if (!s.placed && !(at == s.last)) {
        s.placed = true;
        s.spot = at + Vec3(m.m[2][0], m.m[2][1], m.m[2][2]) * expect.range;
    }
    s.last = at;
    if (s.placed) AimPointTo(target, s.spot);
}

}  // namespace

TEST(FireCoverageTest, SampleRobotsCallCreateAndHitWithEveryProcedure)
{
    std::set<i32> called, created, hit;
    bool bladeHeld = false;
    for (const std::vector<i32>& types : kBattles) {
        BattleRunner runner(MakeBattleOptions(GameMode::LocalBattle, 0, types, {1}, false));
        CGameScene& scene = *runner.Scene();
        ASSERT_EQ(runner.RunFrames(150), 150u);  // past the opening
        const std::vector<CRobot_Normal*> robots = Robots(scene);
        ASSERT_EQ(robots.size(), types.size());
        // Only the scripts run here fire: the computer players stand still,
        // their input left as the test sets it.
        for (CRobot_Normal* r : robots) {
            r->inputEnabled = 0;
            r->controlMode = kControlNetwork;
            r->input = RobotInput{};
        }
        for (size_t r = 0; r < robots.size(); ++r) {
            CRobot_Normal& shooter = *robots[r];
            CRobot_Normal& target = *robots[(r + 1) % robots.size()];
            for (const auto& [proc, expect] : Expected()) {
                auto done = [&, proc = proc, hits = expect.hits] {
                    return created.count(proc) && (!hits || hit.count(proc));
                };
                ScriptEntry* entry = EntryFiring(shooter, proc);
                if (!entry || done()) continue;
                SCOPED_TRACE("procedure " + std::to_string(proc) + ", type " + std::to_string(shooter.typeIndex));
                for (int attempt = 0; attempt < kAttempts && !done(); ++attempt) {
                    Face(shooter, target, WeaponPointOf(*entry), expect.range);
                    ASSERT_EQ(runner.RunFrames(1), 1u);  // the target's body follows
                    shooter.energy = f32(shooter.energyMax);
                    shooter.chargeLevel = 0;
                    shooter.target = &target;
                    shooter.lockTarget = &target;
                    shooter.aimOff = 0;
                    const u32 calls = BattleFireStats().calls[proc];
                    const std::set<BB_Base*> before = MadeBy(scene, proc);
                    shooter.RunScriptEntry(entry, shooter.scriptContext, 0);
                    if (BattleFireStats().calls[proc] > calls) called.insert(proc);
                    std::vector<BB_Base*> fresh;
                    for (BB_Base* o : MadeBy(scene, proc))
                        if (!before.count(o)) fresh.push_back(o);
                    bool all = true;
                    for (Made made : expect.made) {
                        bool found = false;
                        for (BB_Base* o : fresh) found = found || made(o);
                        all = all && found;
                    }
                    // The weapons spend energy; the effects never do.
                    const bool spent = shooter.energy < f32(shooter.energyMax);
                    if (all && (proc <= 33) == spent) created.insert(proc);
                    PathWatch stance;
                    for (BB_Base* o : fresh) {
                        if (!expect.made[0](o)) continue;
                        stance.weapon = o;
                        const Mat4& m = *o->GetMatrix();
                        stance.last = Vec3(m.m[3][0], m.m[3][1], m.m[3][2]);
                    }
                    if (!expect.hits) continue;
                    const u32 hits = BattleFireStats().hits[proc];
                    for (u32 f = 0; f < expect.frames && BattleFireStats().hits[proc] == hits; ++f) {
                        Stand(scene, shooter, target, proc, expect, stance);
                        ASSERT_EQ(runner.RunFrames(1), 1u);
                    }
                    shooter.input.buttons[kInShot - 1] = 0;
                    if (BattleFireStats().hits[proc] > hits) hit.insert(proc);
                }
            }
        }
        // A robot's sword beam stands still while a hit freezes the robot.
        for (CRobot_Normal* r : robots) {
            ScriptEntry* entry = EntryFiring(*r, 55);
            if (!entry || bladeHeld) continue;
            const std::set<BB_Base*> before = MadeBy(scene, 55);
            r->RunScriptEntry(entry, r->scriptContext, 0);
            BB_SwordBeam* beam = nullptr;
            for (BB_Base* o : MadeBy(scene, 55))
                if (!before.count(o)) beam = dynamic_cast<BB_SwordBeam*>(o);
            ASSERT_NE(beam, nullptr);
            ASSERT_EQ(runner.RunFrames(1), 1u);
            const i32 life = beam->Life;
            r->hitStop = 5;  // counted down before the blades see it: held for four frames
            ASSERT_EQ(runner.RunFrames(4), 4u);
            EXPECT_EQ(beam->Hold, 1);
            EXPECT_EQ(beam->Life, life);
            ASSERT_EQ(runner.RunFrames(1), 1u);
            EXPECT_EQ(beam->Hold, 0);
            EXPECT_EQ(beam->Life, life - 1);
            bladeHeld = true;
        }
    }
    EXPECT_TRUE(bladeHeld) << "no sword beam stood still through its robot's hit stop";
    for (const auto& [proc, expect] : Expected()) {
        EXPECT_TRUE(called.count(proc)) << "procedure " << proc << " never called";
        EXPECT_TRUE(created.count(proc)) << "procedure " << proc << " never made what it fires";
        if (expect.hits) {
            EXPECT_TRUE(hit.count(proc)) << "procedure " << proc << " never hit";
        }
    }
}
