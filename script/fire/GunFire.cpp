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

// What a shell procedure hands its shell besides the robot's attack values.
struct ShellSpec {
    f32 width;
    i32 points;
    f32 speed;
    f32 turn;
    i32 blendMode;
    plat::GfxTexture* texture;
    BB_Base* target;
    i16 chargedDurability;
    MeshObject* mesh;
};

// One shell with its ring and sound; a charged shell flies faster and hits
// harder by its charge level past the first, and comes with sparks.
template <class Shell>
void LaunchShell(CRobot_Normal& robot, const Mat4& launch, const ShellSpec& s)
{
    const ScriptContext& c = robot.scriptContext;
    const f32 f = PowerUpFactor(robot);
    const f32 m = static_cast<f32>(robot.chargeLevel - 1);
    const f32 pow = static_cast<f32>(c.attackPower);
    const bool charged = robot.chargeLevel != 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* shell = NewObject<Shell>(w.weapons, 1))
        shell->SetEx({.start = &launch, .width = s.width, .maxPoints = s.points, .blendMode = s.blendMode,
                      .texture = s.texture, .colour = kWhite},
                     {.speed = charged ? s.speed + 0.2f * m : s.speed, .turnRate = s.turn, .life = 180},
                     {.owner = &robot, .target = s.target,
                      .damage = ShotDamage(charged ? pow + 0.1f * m : pow, 1.0f, f), .downValue = c.attackDownF,
                      .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 10,
                      .testSegments = 1, .team = robot.team},
                     {.durability = charged ? s.chargedDurability : i16(1), .mesh = s.mesh, .shaderMode = 0});
    if (charged) MakeSparks(robot, 30);
    const Vec3 muzzle = Row(launch, 3);
    Ring(muzzle);
    PlayShotSound(3, muzzle);
}

// Both cannons fire one shell at a base speed from the script; a charged
// shell cannot be struck down.
template <class Shell>
void FireShell(CRobot_Normal& robot, const i32* args, f32 (*baseSpeed)(const i32*))
{
    ShotStart start;
    if (!BeginShot(robot, args, &start)) return;
    AimAtTarget(robot, &start);
    LaunchShell<Shell>(robot, start.launch,
                       {0.3f, 5, baseSpeed(args), 0.0f, 1, CurrentWeaponWorld().Texture(kShellTexture), robot.target,
                        32767, nullptr});
}

// A spread of whole degrees -k..k from one battle draw; a negative spread is none.
f32 SpreadDraw(i32 k)
{
    const u64 range = 2u * static_cast<u64>(std::max(k, 0)) + 1u;
    return static_cast<f32>(static_cast<i64>(BattleDraw() % range) - std::max(k, 0));
}

// The bullet of both guns: a charged one flies faster, hits and knocks down
// harder, and keeps its whole trail.
void LaunchBullet(CRobot_Normal& robot, const Mat4& launch, f32 width, i32 points, f32 speed, f32 turn)
{
    const ScriptContext& c = robot.scriptContext;
    const f32 f = PowerUpFactor(robot);
    const i32 n = robot.chargeLevel;
    const f32 pow = static_cast<f32>(c.attackPower);
    i32 damage = ShotDamage(pow, 1.0f, f);
    i32 down = c.attackDownF;
    if (n != 0) {
        speed += 0.1f * static_cast<f32>(n);
        damage = ShotDamage(pow + 0.4f * static_cast<f32>(n), 1.0f, f);
        down = static_cast<i32>(static_cast<i64>(c.attackDownF) * n);
    }
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* bullet = NewObject<LZ_Bullet>(w.weapons, 1)) {
        bullet->Set({.start = &launch, .width = width, .maxPoints = points, .blendMode = 1,
                     .texture = w.Texture(kBulletTexture), .colour = kWhite},
                    {.speed = speed, .turnRate = turn, .life = 300},
                    {.owner = &robot, .target = AimedTarget(robot), .damage = damage, .downValue = down,
                     .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 10,
                     .testSegments = 1, .team = robot.team});
        if (n != 0) {
            bullet->TrailFlag = 0;
            bullet->TrailFactor = 1.0f;
        }
    }
}

}  // namespace

void CRobot_Normal::FireProc06Bullet(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const Vec3 muzzle = Row(start.launch, 3);
    AimAtTarget(*this, &start);
    const f32 h = HomingStrength(start, 0.4f);
    const f32 turn = std::max(h + static_cast<f32>(args[5]) / 100.0f, 0.0f);
    // A trail of at least one point, however the script sizes it.
    const i32 points = static_cast<i32>(std::clamp<i64>(static_cast<i64>(args[4]) + 3, 1, 0x7FFFFFFF));
    LaunchBullet(*this, start.launch, static_cast<f32>(args[2]) / 100.0f + 0.05f, points,
                 static_cast<f32>(args[3]) / 100.0f + 0.9f, turn);
    const i32 n = chargeLevel;
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
    const i32 n = chargeLevel;
    const i32 points = n == 0 ? 3 : static_cast<i32>(std::clamp<i64>(static_cast<i64>(n) + 3, 1, 0x7FFFFFFF));
    LaunchBullet(*this, start.launch, 0.05f, points, 0.9f, 0.1f);
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
    AimAtTarget(*this, &start);
    const f32 h = HomingStrength(start, 0.55f);
    const f32 yaw = SpreadDraw(args[4]);
    const f32 pitch = SpreadDraw(args[4]);
    Mat4 ry, rx, t, launch;
    plat::MatrixRotationY(&ry, yaw * 0.017453f);
    plat::MatrixRotationX(&rx, pitch * 0.017453f);
    plat::MatrixMultiply(&t, &ry, &rx);
    plat::MatrixMultiply(&launch, &t, &start.launch);
    LaunchShell<LZ_Canon>(*this, launch,
                          {0.15f, 5, 0.8f, h, 1, CurrentWeaponWorld().Texture(kShellTexture), AimedTarget(*this), 1,
                           modelData->extraMeshes[args[2]].get()});
}

void CRobot_Normal::FireProc20FireBall(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    AimAtTarget(*this, &start);
    // Homes only on a target it could aim at, whether or not the aim turned it.
    const f32 h = HomingStrength(start, 0.46f);
    LaunchShell<LZ_FireBall>(*this, start.launch, {0.15f, 3, 0.7f, h, 2, nullptr, target, 1, nullptr});
}

void CRobot_Normal::FireProc26Canon2(const i32* args)
{
    FireShell<LZ_Canon2>(*this, args, [](const i32* a) { return static_cast<f32>(a[2]) * 0.01f; });
}
