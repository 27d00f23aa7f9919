#include "script/fire/FireSteps.h"

#include <algorithm>
#include <cmath>

#include "app/player/GameItem.h"
#include "engine/core/VectorFunctions.h"
#include "engine/model/HodModel.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Spark.h"

namespace {

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

}  // namespace

bool WeaponPointMatrix(const CRobot_Normal& robot, i32 point, Mat4* out)
{
    if (point < 0 || point >= kWeaponPointCount || point >= robot.weaponPointNodes.GetCount()) return false;
    const HodNode* node = robot.weaponPointNodes[point];
    if (!node) return false;
    *out = node->world;
    return true;
}

bool BeginShot(CRobot_Normal& robot, const i32* args, ShotStart* start)
{
    if (!args || !start) return false;
    Mat4 m;
    if (!WeaponPointMatrix(robot, args[0], &m)) return false;
    const f32 cost = static_cast<f32>(args[1]);
    if (robot.energy < cost) return false;
    f32 left = robot.energy - cost;
    if (left < 0.0f) left = 0.0f;
    // A refill (negative cost) may pass the maximum: the robot's next update
    // brings the energy back down to it.
    robot.energy = left;
    start->launch = Matrix(m);
    start->targetDistance = 0.0f;
    start->hasTarget = false;
    return true;
}

void AimAtTarget(const CRobot_Normal& robot, ShotStart* start)
{
    if (!robot.target || robot.aimOff) return;
    const Mat4* t = robot.target->GetTargetMatrix();
    if (!t) return;
    const Vec3 d = Row(*t, 3) - Row(start->launch, 3);
    start->hasTarget = true;
    start->targetDistance = plat::Vec3Length(&d);
    Vec3 u;
    plat::Vec3Normalize(&u, &d);
    const f32 c = std::clamp(Vec3DotClamped(u, Row(start->launch, 2)), -1.0f, 1.0f);
    const f32 angle = plat::DetAcos(c) * 57.295776f;
    if (angle <= kAimConeDegrees) start->launch.MatrixLookDirection(d, Vec3(0, 1, 0));
}

f32 HomingStrength(const ShotStart& start, f32 atMuzzle)
{
    return start.hasTarget && start.targetDistance < 100.0f ? (1.0f - start.targetDistance / 100.0f) * atMuzzle : 0.0f;
}

f32 PowerUpFactor(const CRobot_Normal& robot)
{
    return 1.0f + static_cast<f32>(robot.SumItemBonus(BonusShootAttack)) * 0.01f;
}

i32 ShotDamage(f32 attackPow, f32 scale, f32 factor)
{
    const f32 d = attackPow * scale * factor;
    // Out of range (or not a number) would be undefined; hold it at the ends.
    if (!(d > -2147483648.0f)) return std::isnan(d) ? 0 : INT32_MIN;
    if (d >= 2147483648.0f) return INT32_MAX;
    return static_cast<i32>(d);
}

void MakeSparks(const CRobot_Normal& robot, i32 count)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 at = robot.frameUpperBody ? Row(robot.frameUpperBody->world, 3) : Row(robot.worldMatrix, 3);
    for (i32 i = 0; i < count; ++i) {
        // Draw order x, y, z: the battle generator must advance alike on every client.
        const f32 x = f32((BattleUnit() * 0.6 - 0.3) * 0.5);
        const f32 y = f32((BattleUnit() * 0.6 - 0.3) * 0.5);
        const f32 z = f32((BattleUnit() * 0.6 - 0.3) * 0.5);
        const Vec3 v(x, y, z);
        if (BB_Tiri* spark = NewObject<BB_Tiri>(w.effects, 1))
            spark->Set(&at, 0.1f, 0.1f, 2.5f, 0.0f, &v, 1, w.Texture(kSparkTexture), 0xFFFFFFFFu, 255);
    }
}

void MakeMuzzleFlash(const Vec3& position, f32 size, i32 texture)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (BB_ExplodeBeam* flash = NewObject<BB_ExplodeBeam>(w.effects, 1))
        flash->Set(&position, size, 1, w.Texture(texture), 0xFFFFFFFFu);
}

bool PlayShotSound(i32 k, const Vec3& position) { return PlayBattleSound(k, position); }
