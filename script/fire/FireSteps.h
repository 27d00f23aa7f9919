#pragma once
// The steps every fire procedure shares: the weapon point, the energy, the
// aim, the damage with its power-up factor, sparks, the muzzle flash and the
// shot's sound. A procedure runs them in this order and creates its weapons
// between the aim and the sparks.
#include "engine/graphics/MatrixHelpers.h"
#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

class CRobot_Normal;

inline constexpr i32 kWeaponPointCount = 50;
inline constexpr f32 kAimConeDegrees = 20.0f;
inline constexpr i32 kSparkTexture = 7;
inline constexpr i32 kFlashTexture = 10;

// Script arguments come from data files. Every one is held within
// +-kFireArgLimit before a procedure sees it (the sizes, speeds and counts of
// real robots stay far inside), so no arithmetic on it overflows; lifetimes
// are held to ten minutes, so no effect outlives a battle.
inline constexpr i32 kFireArgLimit = 1 << 20;
inline constexpr i32 kFireLifeLimit = 60 * 60 * 10;
// The one range check of script arguments: v held within lo..hi.
constexpr i32 FireArg(i32 v, i32 lo, i32 hi) { return v < lo ? lo : (v > hi ? hi : v); }
// A lifetime or frame count from a script: 0 .. kFireLifeLimit.
constexpr i32 FireLife(i32 v) { return FireArg(v, 0, kFireLifeLimit); }

struct ShotStart {
    Matrix launch;          // the weapon point's world matrix, aimed where the procedure aims
    f32 targetDistance = 0.0f;
    bool hasTarget = false;  // a target the robot may aim at (locked, aiming not switched off)
};

// The world matrix of weapon point `point`; false for an index outside
// 0..49 or a point the robot's type does not name.
bool WeaponPointMatrix(const CRobot_Normal& robot, i32 point, Mat4* out);

// Weapon point, then energy: false (nothing spent, nothing drawn) when the
// point is missing or the energy is short. A negative cost refills, but never
// past the robot's maximum.
bool BeginShot(CRobot_Normal& robot, const i32* args, ShotStart* start);

// Turns the launch matrix to the target when it lies within 20 degrees of
// where the weapon points; fills the target distance either way.
void AimAtTarget(const CRobot_Normal& robot, ShotStart* start);

// How hard a shot homes: a target within 100 of the muzzle the harder the
// nearer it is, `atMuzzle` at no distance; 0 without a target to aim at.
f32 HomingStrength(const ShotStart& start, f32 atMuzzle);

// 1 + the shooting bonus of the fitted parts in percent.
f32 PowerUpFactor(const CRobot_Normal& robot);
// AttackPow x scale x factor, truncated and held within the 32-bit range.
i32 ShotDamage(f32 attackPow, f32 scale, f32 factor);

// Sparks from the robot's body: three battle draws (x, y, z) each.
void MakeSparks(const CRobot_Normal& robot, i32 count);
// The flash at the weapon point (size 0.75 and texture 10 unless a procedure says otherwise).
void MakeMuzzleFlash(const Vec3& position, f32 size, i32 texture);
// Battle sound k at the launch position, only within 100 of the camera.
bool PlayShotSound(i32 k, const Vec3& position);
