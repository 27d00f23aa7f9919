// The battleship's weapons, its computer control and its robot launcher.
#include <algorithm>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/MTRand.h"
#include "engine/core/VectorFunctions.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/ship/Ship.h"
#include "weapon/Beam.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"

namespace {

constexpr i32 kBeamTexture = 0;
constexpr i32 kMissileTexture = 6;
constexpr i32 kBeamHitTexture = 10;
constexpr i32 kBulletTexture = 15;
constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr f32 kDegrees = 0.017453f;
// "[護衛兵]": the escort's name tag.
constexpr const char* kEscortTag = "[\xE8\xAD\xB7\xE8\xA1\x9B\xE5\x85\xB5]";

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }
u32 NextDraw() { return GetBattleRandom().GetRand(); }
bool OneIn(u32 n) { return NextDraw() % n == 0; }

// The shot leaves the point turned about its own X axis by a, then about Y by b.
Mat4 Turned(f32 aDeg, f32 bDeg, const Mat4& point)
{
    Mat4 ry, rx, t, m;
    plat::MatrixRotationY(&ry, bDeg * kDegrees);
    plat::MatrixRotationX(&rx, aDeg * kDegrees);
    plat::MatrixMultiply(&t, &ry, &rx);
    plat::MatrixMultiply(&m, &t, &point);
    return m;
}

}  // namespace

void CShip::FireMainCannon(i32 point)
{
    if (point < 0 || point >= kShipWeaponPoints || !weaponFrames[point] || energy < 100) return;
    energy -= 100;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Mat4& m = weaponFrames[point]->world;
    const Vec3 at = Row(m, 3);
    if (auto* flash = NewObject<BB_ExplodeBeam>(w.effects, 1))
        flash->Set(&at, 0.75f, 1, w.Texture(kBeamHitTexture), kWhite);
    if (auto* beam = NewObject<LZ_Beam>(w.weapons, 1))
        beam->Set({.start = &m, .width = 0.4f, .maxPoints = 20, .blendMode = 1, .texture = w.Texture(kBeamTexture),
                   .colour = kWhite},
                  {.speed = 1.0f, .turnRate = 0.05f, .life = 300},
                  {.owner = this, .target = lockTarget, .damage = 120, .downValue = 120, .knockback = 0.05f,
                   .hitFlags = 3, .rehitInterval = 10, .testSegments = 1, .team = team},
                  0);
    PlayBattleSound(kSoundShot, at);
}

void CShip::FireGun(i32 point)
{
    if (point < 0 || point >= kShipWeaponPoints || !weaponFrames[point] || energy < 10) return;
    energy -= 10;
    const f32 a = static_cast<f32>(BattleUnit()) * 2.0f - 1.0f;
    const f32 b = static_cast<f32>(BattleUnit()) * 2.0f - 1.0f;
    const Mat4 m = Turned(a, b, weaponFrames[point]->world);
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* bullet = NewObject<LZ_Bullet>(w.weapons, 1))
        bullet->Set({.start = &m, .width = 0.05f, .maxPoints = 2, .blendMode = 1, .texture = w.Texture(kBulletTexture),
                     .colour = kWhite},
                    {.speed = 1.2f, .turnRate = 0.0f, .life = 180},
                    {.owner = this, .target = lockTarget, .damage = 5, .downValue = 10, .knockback = 0.0f,
                     .hitFlags = 0, .rehitInterval = 10, .testSegments = 1, .team = team});
}

void CShip::FireMissile(i32 point, MeshObject* missileRecord)
{
    if (point < 0 || point >= kShipWeaponPoints || !weaponFrames[point] || energy < 40) return;
    energy -= 40;
    // b, then a, then the speed.
    const f32 b = static_cast<f32>(static_cast<i32>(NextDraw() % 31u) - 15);
    const f32 a = static_cast<f32>(static_cast<i32>(NextDraw() % 31u) - 15);
    const f32 speed = 0.4f + static_cast<f32>(BattleUnit()) * 0.1f;
    const Mat4 m = Turned(a, b, weaponFrames[point]->world);
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* missile = NewObject<LZ_Missile>(w.weapons, 1))
        missile->SetEx({.start = &m, .width = 0.1f, .maxPoints = 30, .blendMode = 0,
                        .texture = w.Texture(kMissileTexture), .colour = kWhite},
                       {.speed = speed, .turnRate = 0.7f, .life = 600},
                       {.owner = this, .target = lockTarget, .damage = 40, .downValue = 60, .knockback = 0.05f,
                        .hitFlags = 0, .rehitInterval = 10, .testSegments = 1, .team = team},
                       {.durability = 1, .mesh = missileRecord, .shaderMode = 0});
}

void CShip::ComputerControl()
{
    const f32 d = Vec3Length(aimOffset);
    energy = std::clamp(energy + aiLevel / 2, 0, energyMax);
    u8* b = input.buttons;
    auto release = [&] {
        for (i32 i = 2; i < 8; ++i) b[i] = 0;
    };
    // The firing rules both modes share; each draw only when the rule before it holds.
    auto fire = [&] {
        if (d <= 100.0f) {
            if (OneIn(100) && energy >= 3000) b[2] = 1;
            bool guns = false;
            if (energy >= 6000) guns = true;
            else if (energy >= 5000) guns = d <= 50.0f || OneIn(5);
            else if (energy >= 3000) guns = OneIn(50);
            if (guns) b[3] = b[5] = b[6] = 1;
        }
        if (d >= 50.0f && d <= 100.0f && energy >= 3000 && OneIn(50)) b[7] = 1;
        if (OneIn(300)) b[4] = 1;
    };
    auto withdraw = [&] {
        b[0] = b[1] = 0;
        if (speed > 0.001f) b[1] = 1;
        if (speed < -0.001f) b[0] = 1;
        input.direction = 2;
        if (OneIn(2000)) aiRetreat = 0;
    };
    const i64 h10 = static_cast<i64>(hp) * 10, max = hpMax;
    if (aiMode == 0) {
        release();
        if (!lockTarget) return;
        fire();
        if (h10 <= max * 4) {
            if (OneIn(500)) aiRetreat = 1;
        } else if (h10 <= max * 6) {
            if (OneIn(1000)) aiRetreat = 1;
        } else if (h10 <= max * 8) {
            if (OneIn(2000)) aiRetreat = 1;
        }
        if (aiRetreat == 0) {
            b[0] = speed < 0.08f ? 1 : 0;
            b[1] = speed > 0.08f ? 1 : 0;
            // Far: head for the target; near: turn the broadside to it.
            Vec3 v = d >= 100.0f ? aimDir : aimSide;
            v.y = 0.0f;
            Vec3 n;
            plat::Vec3Normalize(&n, &v);
            const Vec3 s = Vec3Cross(Row(worldMatrix, 2), n);
            input.direction = s.y > 0.0f ? 6 : (s.y < 0.0f ? 4 : 5);
            if (worldMatrix.m[3][1] < 20.0f) input.direction = 8;
        } else {
            withdraw();
        }
        return;
    }
    input.direction = 5;
    release();
    if (lockTarget) fire();
    if (aiRetreat == 0) {
        if (static_cast<i64>(hp) * 2 <= max && OneIn(1000)) aiRetreat = 1;
        b[1] = speed > 0.08f ? 1 : 0;
        if (worldMatrix.m[3][1] < 20.0f) input.direction = 8;
    } else {
        withdraw();
    }
}

void CShip::LaunchRobotProc(CShip* ship)
{
    if (ship->frameCounter % kShipLaunchPeriod != 0) return;
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    const u32 types = std::min<u32>(GetApplication()->robotFolders.count, static_cast<u32>(kRobotTypeCount));
    if (types == 0) return;
    const i32 type = scene->nextRandomType;
    // A type that failed to load costs this launch only.
    const bool ready = scene->WaitTypeLoaded(type);
    const bool escort = OneIn(100);
    const Vec3 p = ship->Position();
    // The ship's team picks the robots' colours, within the type's ten sets.
    const i32 colours = std::clamp(ship->team, 0, kRobotColorSets - 1);
    CRobot_Normal* robot = ready ? scene->SpawnRobot(type, p.x, p.y + 10.0f, p.z, escort ? 1.5f : 0.2f, ship->team,
                                                     kControlComputer, colours, 180.0f, nullptr)
                                 : nullptr;
    if (robot) {
        robot->DefeatProcList.push_back(&CRobot_Normal::DefeatProc_DropSummonItem);
        robot->aiLevel = escort || ship->team != 0 ? 10 : 5;
        robot->inputEnabled = 1;
        if (escort) AppendWholeCharacters(robot->displayName, sizeof robot->displayName, kEscortTag);
    }
    scene->nextRandomType = static_cast<i32>((NextDraw() % (types * 100u)) / 100u);
    scene->StartTypeLoader(scene->nextRandomType);
}
