// The stream-laser procedures (24, 25, 28): the script tunes width, speed,
// life, texture and homing, so one type can shape its laser line by line.
#include <bit>

#include "engine/model/HodModel.h"
#include "robot/Robot.h"
#include "script/fire/FireSteps.h"
#include "weapon/Beam.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr i32 kLaserSound = 0;
constexpr i32 kRehitFrames = 5;
constexpr i32 kTestedSegments = 200;
constexpr f32 kWaveAmplitude = 0.2f;

Vec3 Place(const Mat4& m) { return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]); }

// What the script's arguments and the charge make of one stream.
struct Stream {
    const Mat4* launch = nullptr;
    i32 points = 0;
    f32 chargeDamage = 0.0f;  // damage scale added per charge level
    i32 stopWithOwner = 0;
    const Mat4* anchor = nullptr;
    u8 smoke = 0;
};

LZ_HiLaser2* LaunchStream(CRobot_Normal& robot, const i32* args, const Stream& s)
{
    const i32 n = robot.chargeLevel;
    const f32 charge = f32(n) * 0.1f;
    const f32 width = f32(args[2]) / 100.0f + charge, speed = f32(args[3]) / 100.0f + charge;
    const f32 turn = f32(args[6]) / 100.0f;
    const ScriptContext& c = robot.scriptContext;
    const i32 damage = ShotDamage(f32(c.attackPower), 1.0f + s.chargeDamage * f32(n), PowerUpFactor(robot));
    const WeaponWorld& w = CurrentWeaponWorld();
    LZ_HiLaser2* laser = NewObject<LZ_HiLaser2>(w.weapons, 1);
    if (!laser) return nullptr;
    // A texture number outside the table leaves the laser untextured.
    laser->SetEx({.start = s.launch, .width = width, .maxPoints = s.points, .blendMode = 1,
                  .texture = w.Texture(args[5]), .colour = kWhite},
                 {.speed = speed, .turnRate = turn, .life = FireLife(args[4])},
                 {.owner = &robot, .target = robot.target, .damage = damage, .downValue = c.attackDownF,
                  .knockback = c.attackForce, .hitFlags = u32(c.attackFlag), .rehitInterval = kRehitFrames,
                  .testSegments = kTestedSegments, .team = robot.team},
                 s.stopWithOwner, s.anchor, s.smoke);
    laser->TrailFlag = 0;
    laser->TrailFactor = 2.0f;
    return laser;
}

// Charged lasers throw sparks and push their robot back.
void ChargedKick(CRobot_Normal& robot)
{
    if (robot.chargeLevel == 0) return;
    MakeSparks(robot, 30);
    robot.velocity -= robot.facing * 0.1f;
}

void Finish(const Vec3& muzzle)
{
    MakeMuzzleFlash(muzzle, 0.2f, 9);
    PlayShotSound(kLaserSound, muzzle);
}

}  // namespace

void CRobot_Normal::FireProc24HiLaser2(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    const Vec3 muzzle = Place(s.launch);
    AimAtTarget(*this, &s);
    Stream stream;
    stream.launch = &s.launch;
    stream.points = 200;
    stream.chargeDamage = 0.4f;
    stream.stopWithOwner = 1;
    stream.smoke = u8(args[7] & 0xFF);
    LaunchStream(*this, args, stream);
    ChargedKick(*this);
    Finish(muzzle);
}

void CRobot_Normal::FireProc25HiLaser2(const i32* args)
{
    // A hidden weapon point (a part put away) fires nothing and costs nothing.
    if (args && args[0] >= 0 && args[0] < weaponPointNodes.GetCount() && weaponPointNodes[args[0]] &&
        weaponPointNodes[args[0]]->hidden)
        return;
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    Stream stream;
    stream.launch = &s.launch;
    stream.points = 100;
    stream.chargeDamage = 0.2f;
    stream.stopWithOwner = 1;
    stream.anchor = &weaponPointNodes[args[0]]->world;
    stream.smoke = u8(args[8] & 0xFF);
    if (LZ_HiLaser2* laser = LaunchStream(*this, args, stream)) {
        laser->ShakeFrames = FireLife(args[7]);
        if (args[9] == 0) {
            laser->StreamMode = 0;
        } else if (args[9] == 1) {
            laser->StreamMode = 1;
            laser->StreamParams[0] = std::bit_cast<u32>(kWaveAmplitude);
        }
    }
    ChargedKick(*this);
    Finish(Place(s.launch));
}

void CRobot_Normal::FireProc28HiLaser2(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    Stream stream;
    stream.launch = &s.launch;
    stream.points = 20;
    stream.chargeDamage = 0.2f;
    stream.stopWithOwner = chargeLevel == 0 ? 0 : 1;
    stream.anchor = &weaponPointNodes[args[0]]->world;
    stream.smoke = u8(args[8] & 0xFF);
    if (LZ_HiLaser2* laser = LaunchStream(*this, args, stream)) laser->ShakeFrames = FireLife(args[7]);
    ChargedKick(*this);
    Finish(Place(s.launch));
}
