// The beam procedures: homing beams, spread beams, decaying beams, scatter
// beams, lightning beams and the continuous laser.
#include <cstdio>

#include "battle/FireStats.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "script/ScriptCommand.h"
#include "script/fire/FireSteps.h"
#include "weapon/Beam.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr u32 kOpaqueWhite = 0xFFFFFFFFu;
constexpr i32 kBeamSound = 0;
constexpr i32 kRehitFrames = 10;
constexpr i32 kBeamLife = 300;

Vec3 Place(const Mat4& m) { return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]); }

// The hit values a beam takes from the robot's attack settings.
struct BeamHits {
    i32 damage = 0;
    i32 down = 0;
    f32 force = 0.0f;
};

BeamHits RobotHits(const CRobot_Normal& robot, i32 damage)
{
    return BeamHits{damage, robot.scriptContext.attackDownF, robot.scriptContext.attackForce};
}

template <class T>
T* LaunchBeam(CRobot_Normal& robot, const Mat4& m, f32 width, i32 points, f32 speed, f32 turn, i32 texture,
              BB_Base* target, const BeamHits& hits, i32 segments, u8 stopOnHit)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    T* beam = NewObject<T>(w.weapons, 1);
    if (!beam) return nullptr;
    beam->Set({.start = &m, .width = width, .maxPoints = points, .blendMode = 1, .texture = w.Texture(texture),
               .colour = kOpaqueWhite},
              {.speed = speed, .turnRate = turn, .life = kBeamLife},
              {.owner = &robot, .target = target, .damage = hits.damage, .downValue = hits.down,
               .knockback = hits.force, .hitFlags = u32(robot.scriptContext.attackFlag), .rehitInterval = kRehitFrames,
               .testSegments = segments, .team = robot.team},
              stopOnHit);
    return beam;
}

void Recoil(CRobot_Normal& robot) { robot.velocity += robot.facing * -0.005f; }

// The weapon point turned about its own Y axis by a random whole turn's fraction.
Mat4 RandomlyTurned(const Mat4& w)
{
    Mat4 r, m;
    plat::MatrixRotationY(&r, f32(BattleUnit()) * 360.0f * kDegreesToRadians);
    plat::MatrixMultiply(&m, &r, &w);
    return m;
}

Mat4 Turned(Mat4* (*first)(Mat4*, float), f32 a, Mat4* (*second)(Mat4*, float), f32 b, const Mat4& w)
{
    Mat4 r1, r2, m;
    first(&r1, a * kDegreesToRadians);
    second(&r2, b * kDegreesToRadians);
    plat::MatrixMultiply(&m, &r1, &r2);
    plat::MatrixMultiply(&m, &m, &w);
    return m;
}

// The homing beams of procedures 1 and 14, which differ in weapon and a few values.
template <class T>
void FireHomingBeam(CRobot_Normal& robot, const i32* args, f32 homing, i32 segments, bool lightning)
{
    ShotStart s;
    if (!BeginShot(robot, args, &s)) return;
    const Vec3 muzzle = Place(s.launch);
    AimAtTarget(robot, &s);
    const f32 h = HomingStrength(s, homing);
    const f32 turn = (1.0f + f32(args[5]) * 0.01f) * h;
    BB_Base* target = robot.aimOff ? nullptr : robot.target;
    const f32 f = PowerUpFactor(robot);
    const f32 pow = f32(robot.scriptContext.attackPower);
    const i32 n = robot.chargeLevel;
    const f32 width = f32(args[4]) / 100.0f, speed = f32(args[3]) / 100.0f;
    const u8 stop = lightning ? 0 : u8(args[7] & 0xFF);
    T* beam = nullptr;
    if (n == 0) {
        beam = LaunchBeam<T>(robot, s.launch, width, args[2], speed, turn, args[6], target,
                             RobotHits(robot, ShotDamage(pow, 1.0f, f)), segments, stop);
        if (beam) beam->TrailFlag = lightning ? 0 : 3;
    } else {
        const i32 damage = lightning ? ShotDamage(pow + 0.4f * f32(n), 1.0f, f) : ShotDamage(pow, 1.0f + 0.4f * f32(n), f);
        BeamHits hits = RobotHits(robot, damage);
        hits.down = robot.scriptContext.attackDownF * n;
        beam = LaunchBeam<T>(robot, s.launch, width + width * 0.5f * f32(n),
                             ScriptTruncate(f32(args[2]) + f32(args[2]) * 0.3f * f32(n)), speed + speed * 0.1f * f32(n), turn,
                             args[6], target, hits, segments, stop);
        if (beam) beam->TrailFlag = 0;
    }
    if (beam) beam->TrailFactor = 1.0f;
    if (n != 0) MakeSparks(robot, 1);
    MakeMuzzleFlash(muzzle, lightning ? 1.5f : 0.75f, 10);
    PlayShotSound(kBeamSound, Place(s.launch));
}

}  // namespace

void CRobot_Normal::FireProc01Beam(const i32* args) { FireHomingBeam<LZ_Beam>(*this, args, 0.4f, 1, false); }

void CRobot_Normal::FireProc14ThunderBeam(const i32* args)
{
    FireHomingBeam<LZ_ThunderBeam>(*this, args, 0.35f, 3, true);
}

void CRobot_Normal::FireProc02Beam(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    const f32 f = PowerUpFactor(*this);
    const f32 pow = f32(scriptContext.attackPower);
    const i32 n = chargeLevel;
    if (n == 0) {
        LaunchBeam<LZ_Beam>(*this, s.launch, 0.2f, 40, 0.6f, 0.4f, 16, target, RobotHits(*this, ShotDamage(pow, 1, f)),
                            1, 0);
    } else {
        const f32 m = f32(n - 1);
        LaunchBeam<LZ_Beam>(*this, s.launch, 0.2f + 0.1f * m, 40, 1.0f + 0.1f * m, 0.4f + 0.05f * m, 16, target,
                            RobotHits(*this, ShotDamage(pow, 1.0f + 0.2f * m, f)), 1, 0);
        MakeSparks(*this, 5);
        Recoil(*this);
    }
    MakeMuzzleFlash(Place(s.launch), 0.5f, 9);
}

void CRobot_Normal::FireProc12Beam(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    const f32 a = f32(BattleUnit() * 20.0 - 10.0);
    const f32 b = f32(BattleUnit() * 20.0 - 10.0);
    const Mat4 m = Turned(plat::MatrixRotationY, a, plat::MatrixRotationX, b, s.launch);
    const f32 f = PowerUpFactor(*this);
    const f32 pow = f32(scriptContext.attackPower);
    const i32 n = chargeLevel;
    LZ_Beam* beam = nullptr;
    if (n == 0) {
        beam = LaunchBeam<LZ_Beam>(*this, m, 0.3f, 10, 1.0f, 0.4f, 24, target,
                                   RobotHits(*this, ShotDamage(pow, 1, f)), 1, 0);
    } else {
        beam = LaunchBeam<LZ_Beam>(*this, m, 0.3f, 10 + 5 * n, 1.0f + 0.1f * f32(n), 0.4f, 24, target,
                                   RobotHits(*this, ShotDamage(pow + 0.4f * f32(n), 1, f)), 1, 0);
    }
    if (beam) {
        beam->TrailFlag = 0;
        beam->TrailFactor = 1.0f;
    }
    if (n != 0) {
        MakeSparks(*this, 5);
        Recoil(*this);
    }
    MakeMuzzleFlash(Place(s.launch), 0.1f, 9);
}

void CRobot_Normal::FireProc13Beam2(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    const f32 f = PowerUpFactor(*this);
    const f32 pow = f32(scriptContext.attackPower);
    const i32 n = chargeLevel;
    auto fire = [&](const Mat4& m, const BeamHits& hits) {
        if (LZ_Beam2* beam = LaunchBeam<LZ_Beam2>(*this, m, 0.3f, 30, 0.6f, 9.0f, 24, target, hits, 1, 0)) {
            beam->TrailFlag = 0;
            beam->TrailFactor = 1.0f;
        }
    };
    fire(s.launch, RobotHits(*this, ShotDamage(pow, 1, f)));
    if (n > 0) {
        const BeamHits side{ShotDamage(pow, 0.3f, f), i32(f32(scriptContext.attackDownF) * 0.1f),
                            scriptContext.attackForce * 0.2f};
        for (i32 i = 0; i < n; ++i) {
            const f32 c = f32(i32(BattleDraw() % 11) - 5);
            const f32 d = f32(i32(BattleDraw() % 11) - 5);
            fire(Turned(plat::MatrixRotationZ, c, plat::MatrixRotationX, d, s.launch), side);
        }
        MakeSparks(*this, 5);
        Recoil(*this);
    }
    MakeMuzzleFlash(Place(s.launch), 1.5f, 10);
}

void CRobot_Normal::FireProc21Beam2(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    const f32 f = PowerUpFactor(*this);
    const f32 pow = f32(scriptContext.attackPower);
    const i32 n = chargeLevel;
    auto fire = [&](f32 width, const BeamHits& hits) {
        const Mat4 m = RandomlyTurned(s.launch);
        if (LZ_Beam2* beam = LaunchBeam<LZ_Beam2>(*this, m, width, 30, 0.75f, 7.0f, 27, target, hits, 1, 0)) {
            beam->TrailFlag = 0;
            beam->TrailFactor = 1.0f;
        }
    };
    fire(0.2f, RobotHits(*this, ShotDamage(pow, 1, f)));
    if (n > 0) {
        const BeamHits extra{ShotDamage(pow, 0.3f, f), i32(f32(scriptContext.attackDownF) * 0.1f),
                             scriptContext.attackForce * 0.3f};
        for (i32 i = 0; i < n; ++i) fire(0.15f, extra);
        MakeSparks(*this, 5);
        Recoil(*this);
    }
    MakeMuzzleFlash(Place(s.launch), 0.5f, 9);
    PlayShotSound(kBeamSound, Place(s.launch));
}

void CRobot_Normal::FireProc17HiLaser(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    // The warning that this procedure is not meant for use: once a battle, on
    // stderr, never as a box (a box would stall a running battle).
    u8& warned = BattleFireStats().warned[17];
    if (!warned) {
        warned = 1;
        std::fprintf(stderr, "Fire procedure 17 is not meant for use: \"この関数はつかっちゃダメポ\"\n");
    }
    const f32 f = PowerUpFactor(*this);
    const f32 pow = f32(scriptContext.attackPower);
    const i32 n = chargeLevel;
    const WeaponWorld& w = CurrentWeaponWorld();
    const f32 m = f32(n - 1);
    const f32 speed = n == 0 ? 1.5f : 1.5f + 0.1f * m;
    const i32 damage = n == 0 ? ShotDamage(pow, 1, f) : ShotDamage(pow + 0.2f * m, 1, f);
    if (LZ_HiLaser* laser = NewObject<LZ_HiLaser>(w.weapons, 1)) {
        laser->SetEx({.start = &s.launch, .width = f32(args[2]) / 100.0f, .maxPoints = 200, .blendMode = 1,
                      .texture = w.Texture(args[3]), .colour = kOpaqueWhite},
                     {.speed = speed, .turnRate = 0.0f, .life = 80},
                     {.owner = this, .target = nullptr, .damage = damage, .downValue = scriptContext.attackDownF,
                      .knockback = scriptContext.attackForce, .hitFlags = u32(scriptContext.attackFlag),
                      .rehitInterval = 5, .testSegments = 200, .team = team},
                     1);
        laser->TrailFlag = 0;
        laser->TrailFactor = 2.0f;
    }
    if (n != 0) MakeSparks(*this, 10);
    MakeMuzzleFlash(Place(s.launch), 1.5f, 10);
    PlayShotSound(kBeamSound, Place(s.launch));
}
