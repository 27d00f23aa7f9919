// The gun procedures: bullets (6, 11), cannon shells (9, 18, 26) and the
// fireball (20). All turn the launch toward the locked target, each its own way.
#include <algorithm>

#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/fire/FireSteps.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr i32 kBulletTexture = 15;
constexpr i32 kShellTexture = 6;
constexpr u32 kWhite = 0xFFFFFFFFu;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

// Charged bullets push their robot back along its facing.
void Recoil(CRobot_Normal& robot, f32 c) { robot.velocity -= robot.facing * c; }

BB_Base* AimedTarget(const CRobot_Normal& robot) { return robot.aimOff ? nullptr : robot.target; }

void Ring(const Vec3& at)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* ring = NewObject<BB_WindRing>(w.effects, 1)) ring->Set(&at, 1.0f, 1, w.Texture(36), kWhite, 0.3f, -24);
}

// Both cannons fire one shell at a base speed from the script; a charged
// shell flies faster, hits harder and cannot be struck down.
template <class Shell>
void FireShell(CRobot_Normal& robot, const i32* args, f32 (*baseSpeed)(const i32*))
{
    ShotStart start;
    if (!BeginShot(robot, args, &start)) return;
    const Vec3 muzzle = Row(start.launch, 3);
    AimAtTarget(robot, &start);
    const ScriptContext& c = robot.scriptContext;
    const f32 f = PowerUpFactor(robot);
    const i32 n = robot.chargeLevel;
    const f32 m = static_cast<f32>(n - 1);
    const f32 pow = static_cast<f32>(c.attackPower);
    const bool charged = n != 0;
    const f32 speed = baseSpeed(args);
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* shell = NewObject<Shell>(w.weapons, 1))
        shell->SetEx(&start.launch, 0.3f, 5, charged ? speed + 0.2f * m : speed, 0.0f, 1, w.Texture(kShellTexture),
                     kWhite, &robot, robot.target, ShotDamage(charged ? pow + 0.1f * m : pow, 1.0f, f), c.attackDownF,
                     c.attackForce, static_cast<u32>(c.attackFlag), 10, 1, robot.team, 180, charged ? 32767 : 1,
                     nullptr, 0);
    if (charged) MakeSparks(robot, 30);
    Ring(muzzle);
    PlayShotSound(3, muzzle);
}

// A spread of whole degrees -k..k from one battle draw; a negative spread is none.
f32 SpreadDraw(i32 k)
{
    const u64 range = 2u * static_cast<u64>(std::max(k, 0)) + 1u;
    return static_cast<f32>(static_cast<i64>(BattleDraw() % range) - std::max(k, 0));
}

}  // namespace

void CRobot_Normal::FireProc06Bullet(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 muzzle = Row(start.launch, 3);
    AimAtTarget(*this, &start);
    const ScriptContext& c = scriptContext;
    const f32 h = start.hasTarget && start.targetDistance < 100.0f ? (1.0f - start.targetDistance / 100.0f) * 0.4f
                                                                    : 0.0f;
    const f32 turn = std::max(h + static_cast<f32>(args[5]) / 100.0f, 0.0f);
    const f32 f = PowerUpFactor(*this);
    const i32 n = chargeLevel;
    const f32 pow = static_cast<f32>(c.attackPower);
    f32 speed = static_cast<f32>(args[3]) / 100.0f + 0.9f;
    i32 damage = ShotDamage(pow, 1.0f, f);
    i32 down = c.attackDownF;
    if (n != 0) {
        speed += 0.1f * static_cast<f32>(n);
        damage = ShotDamage(pow + 0.4f * static_cast<f32>(n), 1.0f, f);
        down = static_cast<i32>(static_cast<i64>(c.attackDownF) * n);
    }
    // A trail of at least one point, however the script sizes it.
    const i32 points = static_cast<i32>(std::clamp<i64>(static_cast<i64>(args[4]) + 3, 1, 0x7FFFFFFF));
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* bullet = NewObject<LZ_Bullet>(w.weapons, 1)) {
        bullet->Set(&start.launch, static_cast<f32>(args[2]) / 100.0f + 0.05f, points, speed, turn, 1,
                    w.Texture(kBulletTexture), kWhite, this, AimedTarget(*this), damage, down, c.attackForce,
                    static_cast<u32>(c.attackFlag), 10, 1, team, 300);
        if (n != 0) {
            bullet->TrailFlag = 0;
            bullet->TrailFactor = 1.0f;
        }
    }
    if (n != 0) {
        MakeSparks(*this, 7);
        Recoil(*this, 0.02f);
    }
    MakeMuzzleFlash(muzzle, 0.05f, 22);
    PlayShotSound(13, Row(start.launch, 3));
}

void CRobot_Normal::FireProc11Bullet(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Mat4* aim = target && !aimOff ? target->GetTargetMatrix() : nullptr;
    if (aim) {
        const Vec3 from = Row(start.launch, 3);
        const Vec3 d = Row(*aim, 3) - from;
        const f32 dist = plat::Vec3Length(&d);
        // The error grows with the distance; drawn x, y, z.
        const f32 ex = static_cast<f32>(BattleUnit()) * (2.0f * dist / 50.0f) - dist / 50.0f;
        const f32 ey = static_cast<f32>(BattleUnit()) * (2.0f * dist / 50.0f) - dist / 50.0f;
        const f32 ez = static_cast<f32>(BattleUnit()) * (2.0f * dist / 50.0f) - dist / 50.0f;
        start.launch.MatrixLookDirection(d + Vec3(ex, ey, ez), Vec3(0, 1, 0));
    }
    const ScriptContext& c = scriptContext;
    const f32 f = PowerUpFactor(*this);
    const i32 n = chargeLevel;
    const f32 pow = static_cast<f32>(c.attackPower);
    i32 points = 3;
    f32 speed = 0.9f;
    i32 damage = ShotDamage(pow, 1.0f, f);
    i32 down = c.attackDownF;
    if (n != 0) {
        points = static_cast<i32>(std::clamp<i64>(static_cast<i64>(n) + 3, 1, 0x7FFFFFFF));
        speed += 0.1f * static_cast<f32>(n);
        damage = ShotDamage(pow + 0.4f * static_cast<f32>(n), 1.0f, f);
        down = static_cast<i32>(static_cast<i64>(c.attackDownF) * n);
    }
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* bullet = NewObject<LZ_Bullet>(w.weapons, 1)) {
        bullet->Set(&start.launch, 0.05f, points, speed, 0.1f, 1, w.Texture(kBulletTexture), kWhite, this,
                    AimedTarget(*this), damage, down, c.attackForce, static_cast<u32>(c.attackFlag), 10, 1, team, 300);
        if (n != 0) {
            bullet->TrailFlag = 0;
            bullet->TrailFactor = 1.0f;
        }
    }
    if (n != 0) {
        MakeSparks(*this, 5);
        Recoil(*this, 0.005f);
    }
    PlayShotSound(13, Row(start.launch, 3));
}

void CRobot_Normal::FireProc09Canon(const i32* args)
{
    FireShell<LZ_Canon>(*this, args, [](const i32*) { return 3.0f; });
}

void CRobot_Normal::FireProc18Canon(const i32* args)
{
    if (!args || !modelData || args[2] < 0 || args[2] >= modelData->extraMeshes.GetCount()) return;
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 muzzle = Row(start.launch, 3);
    AimAtTarget(*this, &start);
    const f32 h = start.hasTarget && start.targetDistance < 100.0f ? (1.0f - start.targetDistance / 100.0f) * 0.55f
                                                                    : 0.0f;
    const f32 yaw = SpreadDraw(args[4]);
    const f32 pitch = SpreadDraw(args[4]);
    Mat4 ry, rx, t, launch;
    plat::MatrixRotationY(&ry, yaw * 0.017453f);
    plat::MatrixRotationX(&rx, pitch * 0.017453f);
    plat::MatrixMultiply(&t, &ry, &rx);
    plat::MatrixMultiply(&launch, &t, &start.launch);
    const ScriptContext& c = scriptContext;
    const f32 f = PowerUpFactor(*this);
    const i32 n = chargeLevel;
    const f32 m = static_cast<f32>(n - 1);
    const f32 pow = static_cast<f32>(c.attackPower);
    const bool charged = n != 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* shell = NewObject<LZ_Canon>(w.weapons, 1))
        shell->SetEx(&launch, 0.15f, 5, charged ? 0.8f + 0.2f * m : 0.8f, h, 1, w.Texture(kShellTexture), kWhite,
                     this, AimedTarget(*this), ShotDamage(charged ? pow + 0.1f * m : pow, 1.0f, f), c.attackDownF,
                     c.attackForce, static_cast<u32>(c.attackFlag), 10, 1, team, 180, 1,
                     &modelData->extraMeshes[args[2]], 0);
    if (charged) MakeSparks(*this, 30);
    Ring(muzzle);
    PlayShotSound(3, muzzle);
}

void CRobot_Normal::FireProc20FireBall(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 muzzle = Row(start.launch, 3);
    AimAtTarget(*this, &start);
    // Homes only on a target it could aim at, whether or not the aim turned it.
    const f32 h = start.hasTarget && start.targetDistance < 100.0f ? (1.0f - start.targetDistance / 100.0f) * 0.46f
                                                                    : 0.0f;
    const ScriptContext& c = scriptContext;
    const f32 f = PowerUpFactor(*this);
    const i32 n = chargeLevel;
    const f32 m = static_cast<f32>(n - 1);
    const f32 pow = static_cast<f32>(c.attackPower);
    const bool charged = n != 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* ball = NewObject<LZ_FireBall>(w.weapons, 1))
        ball->SetEx(&start.launch, 0.15f, 3, charged ? 0.7f + 0.2f * m : 0.7f, h, 2, nullptr, kWhite, this, target,
                    ShotDamage(charged ? pow + 0.1f * m : pow, 1.0f, f), c.attackDownF, c.attackForce,
                    static_cast<u32>(c.attackFlag), 10, 1, team, 180, 1, nullptr, 0);
    if (charged) MakeSparks(*this, 30);
    Ring(muzzle);
    PlayShotSound(3, muzzle);
}

void CRobot_Normal::FireProc26Canon2(const i32* args)
{
    FireShell<LZ_Canon2>(*this, args, [](const i32* a) { return static_cast<f32>(a[2]) * 0.01f; });
}
