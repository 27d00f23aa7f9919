// The missile procedures: salvos, the carrier and the thrown missiles. None
// aims the launch: the missiles steer themselves.
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/fire/FireSteps.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr i32 kMissileTexture = 6;
constexpr u32 kMissileColour = 0x80FFFFFFu;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

// Extra mesh k of the robot's type; null when the type has none there.
MeshObject* ExtraMesh(const CRobot_Normal& robot, i32 k)
{
    if (!robot.modelData || k < 0 || k >= robot.modelData->extraMeshes.GetCount()) return nullptr;
    return robot.modelData->extraMeshes[k].get();
}

bool NamesExtraMesh(const CRobot_Normal& robot, i32 k) { return ExtraMesh(robot, k) != nullptr; }

// One missile of the salvo: yaw, pitch, then speed are drawn.
void LaunchSalvoMissile(CRobot_Normal& robot, const Mat4& w, i32 damage, i32 down, f32 force)
{
    const ScriptContext& c = robot.scriptContext;
    const f32 yaw = static_cast<f32>(static_cast<i32>(BattleDraw() % 31u) - 15);
    const f32 pitch = static_cast<f32>(static_cast<i32>(BattleDraw() % 31u) - 15);
    Mat4 ry, rx, t, m;
    plat::MatrixRotationY(&ry, yaw * 0.017453f);
    plat::MatrixRotationX(&rx, pitch * 0.017453f);
    plat::MatrixMultiply(&t, &ry, &rx);
    plat::MatrixMultiply(&m, &t, &w);
    LZ_Missile* missile = NewObject<LZ_Missile>(CurrentWeaponWorld().weapons, 1);
    const f32 speed = 0.5f + static_cast<f32>(BattleUnit()) * 0.2f;
    if (missile)
        missile->SetEx({.start = &m, .width = 0.1f, .maxPoints = 60, .blendMode = 0,
                        .texture = CurrentWeaponWorld().Texture(kMissileTexture), .colour = kMissileColour},
                       {.speed = speed, .turnRate = 0.7f, .life = 300},
                       {.owner = &robot, .target = robot.target, .damage = damage, .downValue = down,
                        .knockback = force, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 10,
                        .testSegments = 1, .team = robot.team},
                       {.durability = 1, .mesh = ExtraMesh(robot, 0), .shaderMode = 0});
}

}  // namespace

void CRobot_Normal::FireProc03Missile(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const ScriptContext& c = scriptContext;
    const f32 f = PowerUpFactor(*this);
    const f32 pow = static_cast<f32>(c.attackPower);
    LaunchSalvoMissile(*this, start.launch, ShotDamage(pow, 1.0f, f), c.attackDownF, c.attackForce);
    for (i32 i = 1; i < chargeLevel; ++i)
        LaunchSalvoMissile(*this, start.launch, ShotDamage(pow, 0.3f, f),
                           static_cast<i32>(static_cast<f32>(c.attackDownF) * 0.1f), c.attackForce * 0.2f);
    if (chargeLevel > 0) MakeSparks(*this, 4);
}

void CRobot_Normal::FireProc04Missile2(const i32* args)
{
    ShotStart start;
    if (!BeginShot(*this, args, &start)) return;
    const ScriptContext& c = scriptContext;
    const f32 f = PowerUpFactor(*this);
    const i32 n = chargeLevel;
    const f32 m = static_cast<f32>(n - 1);
    const f32 pow = static_cast<f32>(c.attackPower);
    const f32 scale = n == 0 ? 1.0f : 1.0f + 0.5f * m;
    const i32 damage = ShotDamage(pow * 10.0f, scale, f);
    // The warheads' damage leaves out the power-up factor.
    const i32 warhead = n == 0 ? c.attackPower : ShotDamage(pow, scale, 1.0f);
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* carrier = NewObject<LZ_Missile2>(w.weapons, 1)) {
        carrier->SetEx({.start = &start.launch, .width = 0.1f, .maxPoints = 60, .blendMode = 0,
                        .texture = w.Texture(kMissileTexture), .colour = kMissileColour},
                       {.speed = 0.3f, .turnRate = 0.7f, .life = 0},
                       {.owner = this, .target = target, .damage = damage, .downValue = c.attackDownF,
                        .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 10,
                        .testSegments = 1, .team = team},
                       {.durability = 1, .mesh = ExtraMesh(*this, 1), .shaderMode = 0});
        carrier->SetOption(ExtraMesh(*this, 0), warhead);
    }
    if (n != 0) MakeSparks(*this, 1);
    PlayShotSound(14, Row(start.launch, 3));
}

namespace {

// Procedures 10 and 19: one thrown missile; false when the mesh argument names no mesh.
template <class T>
void FireThrownMissile(CRobot_Normal& robot, const i32* args, f32 width, f32 widthCharged, i32 durability,
                       f32 turn, i32 sparks)
{
    if (!args || !NamesExtraMesh(robot, args[2])) return;
    ShotStart start;
    if (!BeginShot(robot, args, &start)) return;
    const ScriptContext& c = robot.scriptContext;
    const f32 f = PowerUpFactor(robot);
    const i32 n = robot.chargeLevel;
    const f32 m = static_cast<f32>(n - 1);
    const f32 pow = static_cast<f32>(c.attackPower);
    const bool charged = n != 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* missile = NewObject<T>(w.weapons, 1)) {
        missile->SetEx({.start = &start.launch, .width = charged ? widthCharged : width, .maxPoints = 6, .blendMode = 0,
                        .texture = w.Texture(kMissileTexture), .colour = kMissileColour},
                       {.speed = 0.0f, .turnRate = charged ? 0.7f + 0.1f * m : turn, .life = 0},
                       {.owner = &robot, .target = robot.target,
                        .damage = ShotDamage(charged ? pow + 0.1f * m : pow, 1.0f, f), .downValue = c.attackDownF,
                        .knockback = c.attackForce, .hitFlags = static_cast<u32>(c.attackFlag), .rehitInterval = 10,
                        .testSegments = 1, .team = robot.team},
                       {.durability = static_cast<i16>(durability), .mesh = ExtraMesh(robot, args[2]),
                        .shaderMode = 0});
        const Vec3 launch = Row(start.launch, 2) * 0.1f;
        missile->SetOption(&launch);
    }
    if (charged) MakeSparks(robot, sparks);
    PlayShotSound(15, Row(start.launch, 3));
}

}  // namespace

void CRobot_Normal::FireProc10Missile3(const i32* args)
{
    FireThrownMissile<LZ_Missile3>(*this, args, 0.4f, 0.4f, 200, 0.7f, 1);
}

void CRobot_Normal::FireProc19Missile4(const i32* args)
{
    FireThrownMissile<LZ_Missile4>(*this, args, 0.1f, 0.4f, 100, 0.5f, 30);
}
