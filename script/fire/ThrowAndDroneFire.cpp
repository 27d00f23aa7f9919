// The procedures that put something other than a beam, missile or shell into
// play: drones (5), grenades (7), the bouncing ball (8), the trap laser (15),
// bombs (16), crystals (22, 59), the thrown shield and sword (29, 31) and the
// conjured swords (32, 33).
#include <algorithm>

#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/fire/FireSteps.h"
#include "weapon/Beam.h"
#include "weapon/Bomb.h"
#include "weapon/Cristal.h"
#include "weapon/Fannel.h"
#include "weapon/ObjectFactory.h"
#include "weapon/Sword.h"
#include "weapon/ThrowWeapon.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/SwordEffect.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;
// A charge so high that it would drop more crystals than this is held here.
constexpr i64 kMaxCrystalsPerDrop = 32;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

HodNode* WeaponPointNode(const CRobot_Normal& robot, i32 point)
{
    if (point < 0 || point >= kWeaponPointCount || point >= robot.weaponPointNodes.GetCount()) return nullptr;
    return robot.weaponPointNodes[point];
}

// Entry k of the type's mesh table; null for an index that names none.
MeshObject* TypeMesh(CRobot_Normal& robot, i32 k)
{
    if (!robot.modelData || k < 0 || k >= robot.modelData->extraMeshes.GetCount()) return nullptr;
    return robot.modelData->extraMeshes[k].get();
}

u8 TypeMeshFlag(const CRobot_Normal& robot, i32 k)
{
    if (!robot.modelData || k < 0 || k >= robot.modelData->extraMeshFlags.GetCount()) return 0;
    return robot.modelData->extraMeshFlags[k];
}

f32 Unit() { return static_cast<f32>(BattleUnit()); }

// What both thrown weapons start from: the part they leave from, their mesh,
// the shot's start aimed at the target, the homing and the charge scale.
struct ThrowShot {
    HodNode* node = nullptr;
    MeshObject* mesh = nullptr;
    ShotStart start;
    f32 homing = 0.0f;
    f32 power = 1.0f;
    f32 scale = 1.0f;
    i32 charge = 0;
};

bool BeginThrow(CRobot_Normal& robot, const i32* args, f32 homingFactor, ThrowShot& t)
{
    if (!args) return false;
    t.node = WeaponPointNode(robot, args[3]);
    t.mesh = TypeMesh(robot, args[2]);
    if (!t.node || !t.mesh) return false;
    if (!BeginShot(robot, args, &t.start)) return false;
    AimAtTarget(robot, &t.start);
    t.homing = HomingStrength(t.start, homingFactor);
    t.power = PowerUpFactor(robot);
    t.charge = robot.chargeLevel;
    t.scale = t.charge == 0 ? 1.0f : 1.0f + 0.2f * static_cast<f32>(t.charge);
    return true;
}

}  // namespace

void CRobot_Normal::FireProc05Fannel(const i32* args)
{
    if (!args) return;
    HodNode* bay = WeaponPointNode(*this, args[0]);
    // One bay holds one drone: while its part is hidden the drone is out.
    if (!bay || bay->hidden == 1) return;
    MeshObject* mesh = TypeMesh(*this, args[2]);
    if (!mesh) return;
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const i32 n = chargeLevel;
    const WeaponWorld& w = CurrentWeaponWorld();
    auto* drone = NewObject<LZ_Fannel>(w.weapons, 1);
    if (drone) {
        drone->Set({.start = &start.launch, .width = 0.05f, .maxPoints = 15, .blendMode = 1, .texture = w.Texture(19),
                    .colour = kWhite},
                   0.6f, 8.0f, this, target, team,
                   {.durability = 1, .mesh = mesh, .shaderMode = TypeMeshFlag(*this, args[2])});
        drone->TrailFlag = 0;
        drone->TrailFactor = 1.0f;
    }
    const i32 countdown = 200 + static_cast<i32>(BattleDraw() % 21);
    if (drone)
        drone->SetEx(bay, n == 0 ? 0 : n - 1, countdown, static_cast<i8>(args[3] & 0xFF), &colorSet);
    if (n != 0) MakeSparks(*this, 4);
}

void CRobot_Normal::FireProc07Grenade(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 p = Row(start.launch, 3);
    const ScriptContext& c = scriptContext;
    const f32 f = PowerUpFactor(*this);
    const i32 n = chargeLevel;
    const bool charged = n > 0;
    const f32 m = static_cast<f32>(n - 1);
    const f32 a = charged ? 0.4f + 0.1f * m : 0.4f;
    const f32 b = charged ? 0.6f + 0.1f * m : 0.6f;
    const i32 damage = ShotDamage(static_cast<f32>(c.attackPower), 1.0f, f);
    const WeaponWorld& w = CurrentWeaponWorld();
    for (i32 i = 0; i < (charged ? n : 1); ++i) {
        const f32 s = Unit() * 0.6f - 0.3f;
        Vec3 d = facing + side * s;
        d.y += 0.3f;
        plat::Vec3Normalize(&d, &d);
        const f32 speed = Unit() * 0.1f + 0.3f;
        const Vec3 v = d * speed;
        const u32 fuse = 150 + BattleDraw() % 101;
        if (auto* grenade = NewObject<BB_Grenade>(w.attackEffects, 1)) {
            grenade->Set(&p, 0.4f, &v, 1, w.Texture(9), kWhite, fuse, this,
                         {.hitRadius = a, .damage = 0, .downValue = c.attackDownF, .knockback = c.attackForce,
                          .hitFlags = static_cast<u32>(c.attackFlag), .team = team},
                         damage, b);
            // Not its thrower's for the first 20 frames.
            if (BBHITNODE* record = grenade->HitList.NewNodeFront(1)) {
                record->HitObject = this;
                record->Countdown = 20;
            }
        }
        if (charged) MakeSparks(*this, 1);
    }
}

void CRobot_Normal::FireProc08CrasyBall(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 p = Row(start.launch, 3);
    Vec3 d = facing + Vec3(0.0f, 0.5f, 0.0f);
    plat::Vec3Normalize(&d, &d);
    const Vec3 v = d * 0.1f;
    const WeaponWorld& w = CurrentWeaponWorld();
    const u8 sideRoll = static_cast<u8>(BattleDraw() % 2);
    if (auto* ball = NewObject<BB_CrasyBall>(w.effects, 1))
        ball->Set(&p, 0.4f, &v, 1, w.Texture(10), kWhite, this, static_cast<u32>(std::max(chargeLevel, 0)), sideRoll,
                  team);
    if (chargeLevel > 0) MakeSparks(*this, 30);
}

void CRobot_Normal::FireProc15TrapLaser(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 p = Row(start.launch, 3);
    const ScriptContext& c = scriptContext;
    const i32 n = chargeLevel;
    const i32 life = n != 0 ? 600 + 200 * (n - 1) : 600;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* laser = NewObject<LZ_TrapLaser>(w.weapons, 1)) {
        laser->SetEx({.start = &start.launch, .width = 0.3f, .maxPoints = 200, .blendMode = 1, .texture = w.Texture(7),
                      .colour = kWhite},
                     {.speed = 5.0f, .turnRate = 0.0f, .life = life},
                     {.owner = this, .target = nullptr, .damage = c.attackPower, .downValue = c.attackDownF,
                      .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 10,
                      .testSegments = 5, .team = team},
                     0);
        laser->TrailFlag = 0;
        laser->TrailFactor = 1.0f;
    }
    MakeMuzzleFlash(p, 1.5f, 10);
    if (n != 0) MakeSparks(*this, 10);
}

void CRobot_Normal::FireProc16Bomb(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 p = Row(start.launch, 3);
    const ScriptContext& c = scriptContext;
    const Vec3 v = Row(start.launch, 2) * 0.3f;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* bomb = NewObject<LZ_Bomb>(w.weapons, 1)) {
        bomb->Set({.start = &start.launch, .width = 0.1f, .maxPoints = 3, .blendMode = 0, .texture = w.Texture(6),
                   .colour = kWhite},
                  {.owner = this, .target = target,
                   .damage = ShotDamage(static_cast<f32>(c.attackPower), 1.0f, PowerUpFactor(*this)),
                   .downValue = c.attackDownF, .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag),
                   .rehitInterval = 10, .testSegments = 1, .team = team},
                  {.durability = 1, .mesh = TypeMesh(*this, 1), .shaderMode = 0}, &v);
        bomb->TrailFlag = 0;
        bomb->TrailFactor = 1.0f;
    }
    PlayShotSound(14, p);
}

void CRobot_Normal::FireProc22DropCrystals(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const i64 n = chargeLevel;
    const i64 count = n == 0 ? 1 : std::clamp<i64>(1 + static_cast<i64>(static_cast<double>(n - 1) * 1.5), 1,
                                                   kMaxCrystalsPerDrop);
    // Every colour's mesh goes with a Silver crystal, so its Silver and Heal
    // children are drawn too.
    MeshObject* meshes[kCrystalColours];
    u8 flags[kCrystalColours];
    for (i32 k = 0; k < kCrystalColours; ++k) {
        meshes[k] = TypeMesh(*this, k);
        flags[k] = TypeMeshFlag(*this, k);
    }
    const Vec3 p = Row(start.launch, 3);
    for (i64 i = 0; i < count; ++i) {
        Mat4 m;
        plat::MatrixTranslation(&m, p.x, p.y, p.z);
        const CrystalKind kind = CrystalKindForRoll(BattleDraw() % 100);
        MakeCrystal(kind, &m, this, target, team, meshes[kind.colour], flags[kind.colour], meshes, flags,
                    kCrystalColours);
    }
    if (n != 0) MakeSparks(*this, 4);
}

void CRobot_Normal::FireProc59PassCrystals(const i32*)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    PassCrystalsToTeammates(*this, w.RobotTable(), w.RobotCount(), w.weapons);
}

void CRobot_Normal::FireProc29ShieldThrow(const i32* args)
{
    ThrowShot t;
    if (!BeginThrow(*this, args, 0.75f, t)) return;
    const ScriptContext& c = scriptContext;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* shield = NewObject<LZ_ShieldThrow>(w.weapons, 1)) {
        shield->Set({.start = &t.start.launch, .width = 0.2f, .maxPoints = 30, .blendMode = 2, .texture = w.Texture(0),
                     .colour = kWhite},
                    {.speed = 0.5f, .turnRate = t.homing, .life = 30},
                    {.owner = this, .target = t.start.hasTarget ? target : nullptr,
                     .damage = ShotDamage(static_cast<f32>(c.attackPower), t.scale, t.power),
                     .downValue = c.attackDownF, .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag),
                     .rehitInterval = 5, .testSegments = 1, .team = team});
        shield->SetEx(t.node, 0, 0, t.mesh, 0, &colorSet);
    }
    if (t.charge != 0) MakeSparks(*this, 1);
}

void CRobot_Normal::FireProc31SwordThrow(const i32* args)
{
    ThrowShot t;
    if (!BeginThrow(*this, args, 0.35f, t)) return;
    const ScriptContext& c = scriptContext;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* sword = NewObject<LZ_SwordThrow>(w.weapons, 1)) {
        sword->Set({.start = &t.start.launch, .width = 0.2f, .maxPoints = 3, .blendMode = 2, .texture = nullptr,
                    .colour = kWhite},
                   {.speed = 0.8f, .turnRate = t.homing, .life = t.charge == 0 ? 180 : 30},
                   {.owner = this, .target = t.start.hasTarget ? target : nullptr,
                    .damage = ShotDamage(static_cast<f32>(c.attackPower), t.scale, t.power), .downValue = c.attackDownF,
                    .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 5,
                    .testSegments = 1, .team = team});
        sword->SetEx(t.node, 0, 0, t.mesh, TypeMeshFlag(*this, args[2]), &colorSet);
    }
    if (t.charge != 0) MakeSparks(*this, 1);
}

template <class Blade>
static void ConjureBlade(CRobot_Normal& robot, const i32* args)
{
    if (!args) return;
    MeshObject* mesh = TypeMesh(robot, args[2]);
    if (!mesh) return;
    ShotStart start;
    if (!BeginShot(robot, args, &start)) return;
    const ScriptContext& c = robot.scriptContext;
    if (auto* blade = NewObject<Blade>(CurrentWeaponWorld().weapons, 1)) {
        blade->Set(&start.launch, nullptr,
                   {.owner = &robot, .target = robot.target, .damage = c.attackPower, .downValue = c.attackDownF,
                    .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 5,
                    .testSegments = 1, .team = robot.team});
        blade->SetEx(mesh, TypeMeshFlag(robot, args[2]), nullptr);
    }
}

void CRobot_Normal::FireProc32Sword(const i32* args) { ConjureBlade<LZ_Sword>(*this, args); }
void CRobot_Normal::FireProc33Sword2(const i32* args) { ConjureBlade<LZ_Sword2>(*this, args); }
