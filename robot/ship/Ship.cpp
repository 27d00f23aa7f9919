// The battleship's life: construction, binding a ship type, the per-frame
// run (live update with lock-on and aim, the control procedure with sailing,
// weapon groups, turrets and burners), the sinking and the wreck.
#include "robot/ship/Ship.h"

#include <cstdio>
#include <cstring>

#include "battle/GameScene.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/ViewFrustum.h"
#include "engine/model/HodModel.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Smoke.h"

namespace {

constexpr i32 kExplodeTexture = 3;
constexpr i32 kBurnerTexture = 8;
constexpr i32 kBurnerBallTexture = 9;
constexpr f32 kDegrees = 0.017453f;
constexpr f32 kToDegrees = 57.3f;
constexpr i32 kUsedWeaponPoints = 16;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

Vec3 Unit(const Vec3& v)
{
    Vec3 n;
    plat::Vec3Normalize(&n, &v);
    return n;
}

f32 Draw01() { return static_cast<f32>(BattleUnit()); }
// A battle draw in [lo, hi).
f32 DrawIn(f32 lo, f32 hi) { return lo + Draw01() * (hi - lo); }

i32 Clamp(i32 v, i32 lo, i32 hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Turns a matrix about the world Y axis, keeping its translation.
void RotateMatrixYInPlace(Mat4& m, f32 degrees)
{
    const Vec3 t = Row(m, 3);
    m.m[3][0] = m.m[3][1] = m.m[3][2] = 0.0f;
    Mat4 r, out;
    plat::MatrixRotationY(&r, degrees * kDegrees);
    plat::MatrixMultiply(&out, &m, &r);
    m = out;
    m.m[3][0] = t.x;
    m.m[3][1] = t.y;
    m.m[3][2] = t.z;
}

// The units after `from` in list order, wrapping past the end, up to and
// excluding `from`; the first that `pick` accepts, or null.
template <class Pick>
CRobot_Base* WalkAfter(CList<BB_Base>* list, BB_Base* from, Pick pick)
{
    if (!list || !list->GetHead() || !from) return nullptr;
    BB_Base* tail = list->GetTail();
    BB_Base* n = from->next;
    for (i32 guard = 0; guard < 100000; ++guard) {
        if (!n || n == tail) n = list->GetHead()->next;
        if (!n || n == tail || n == from) return nullptr;
        if (!n->Removed && IsUnit(n) && pick(static_cast<CRobot_Base*>(n))) return static_cast<CRobot_Base*>(n);
        n = n->next;
    }
    return nullptr;
}

}  // namespace

CShip::CShip() { ResetShipState(); }

CShip::~CShip() { model.Release(); }

void CShip::ResetShipState()
{
    moveAxis = Vec3(0.0f, 0.0f, 1.0f);
    aimDir = Vec3(0.0f, 0.0f, 1.0f);
    aimOffset = Vec3(0.0f, 0.0f, 20.0f);
    aimSide = Vec3(1.0f, 0.0f, 0.0f);
    turnRate = Vec3();
    speed = 0.0f;
    std::memset(weaponCooldown, 0, sizeof weaponCooldown);
    modelData = nullptr;
    lockReleased = 0;
    lockDistance = 0.0f;
    frameBody = nullptr;
    for (i32 i = 0; i < kShipBurners; ++i) {
        burnerFrames[i] = nullptr;
        burnerSizes[i] = 0.0f;
    }
    for (HodNode*& f : weaponFrames) f = nullptr;
    for (i32 i = 0; i < kShipTurrets; ++i) turretYawFrames[i] = turretPitchFrames[i] = nullptr;
    gunSide = gunPairSide = boostLocked = 0;
    hitMesh = nullptr;
    cullRadius = 26.0f;
    hitRadius = 7.0f;
    frameCounter = deathFrame = 0;
    hudFade = 0.0f;
    boostGaugeMax = boostGauge = 0;
    boostRegen = 15;
    energy = energyMax = 0;
    shipType = 0;
    aiMode = aiLevel = aiRetreat = 0;
    controlProc = nullptr;
    launchProc = nullptr;
    defeatProc = nullptr;
}

bool CShip::CheckType(RobotModelData& type, const char** why)
{
    static char reason[160];
    auto refuse = [&](const char* text, const char* name) {
        std::snprintf(reason, sizeof reason, "%s%s%s", text, name ? ": " : "", name ? name : "");
        if (why) *why = reason;
        return false;
    };
    if (!type.hierarchy.root || !type.hierarchy.FindNode("body.x")) return refuse("the ship has no \"body.x\"", nullptr);
    if (!type.hitMesh.triangles || type.hitMesh.faceCount == 0) return refuse("the ship has no \"hit.x\"", nullptr);
    for (i32 i = 0; i < kUsedWeaponPoints; ++i) {
        const bool named = i < type.weaponPointKinds.GetCount() && i < type.weaponPointNames.GetCount() &&
                           type.weaponPointKinds[i] == 1 &&
                           type.hierarchy.FindNode(type.weaponPointNames[i].c_str()) != nullptr;
        if (!named) {
            char point[16];
            std::snprintf(point, sizeof point, "%d", i);
            return refuse("the ship lacks weapon point", point);
        }
    }
    for (i32 i = 0; i < kShipTurrets; ++i) {
        if (!type.batteryEnabled[i]) continue;
        if (!type.hierarchy.FindNode(type.batteryNodeNamesA[i])) return refuse("a turret has no frame", type.batteryNodeNamesA[i]);
        if (!type.hierarchy.FindNode(type.batteryNodeNamesB[i])) return refuse("a turret has no frame", type.batteryNodeNamesB[i]);
    }
    if (why) *why = "";
    return true;
}

bool CShip::BindType(RobotModelData* type, const char** why)
{
    const char* reason = "no ship type";
    if (!type || !CheckType(*type, &reason)) {
        if (why) *why = reason;
        return false;
    }
    model.Release();
    type->hierarchy.CopyTo(&model);
    modelData = type;
    controlProc = &CShip::ControlProc;
    frameBody = model.FindNode("body.x");
    for (i32 i = 0; i < kShipWeaponPoints && i < type->weaponPointKinds.GetCount(); ++i)
        if (type->weaponPointKinds[i] == 1) weaponFrames[i] = model.FindNode(type->weaponPointNames[i].c_str());
    for (i32 i = 0; i < kShipBurners && i < type->burnerNodeNames.GetCount(); ++i) {
        burnerFrames[i] = type->burnerNodeNames[i].empty() ? nullptr : model.FindNode(type->burnerNodeNames[i].c_str());
        burnerSizes[i] = type->burnerValues[i];
    }
    for (i32 i = 0; i < kShipTurrets; ++i) {
        if (!type->batteryEnabled[i]) continue;
        turretYawFrames[i] = model.FindNode(type->batteryNodeNamesA[i]);
        if (turretYawFrames[i]) model.SetNodeLinkMode(turretYawFrames[i], 1);
        turretPitchFrames[i] = model.FindNode(type->batteryNodeNamesB[i]);
    }
    hitMesh = &type->hitMesh;
    if (why) *why = "";
    return true;
}

void CShip::Place(f32 x, f32 y, f32 z, f32 yawDeg)
{
    Mat4 yaw;
    plat::MatrixRotationY(&yaw, yawDeg * kDegrees);
    worldMatrix = yaw;
    worldMatrix.m[3][0] += x;
    worldMatrix.m[3][1] += y;
    worldMatrix.m[3][2] += z;
    prevWorldMatrix = worldMatrix;
    // The aim starts along the ship's heading.
    plat::Vec3TransformNormal(&aimDir, &aimDir, &yaw);
    plat::Vec3TransformNormal(&aimOffset, &aimOffset, &yaw);
    plat::Vec3TransformNormal(&aimSide, &aimSide, &yaw);
    model.UpdateMatricesEx(&worldMatrix);
}

bool CShip::Spawn(RobotModelData& type, const RobotSpawn& spawn)
{
    Reset();
    ResetShipState();
    if (!BindType(&type, nullptr)) return false;
    Place(spawn.x, spawn.y, spawn.z, spawn.yawDeg);
    TakeSpawn(spawn, type);
    // A computer ship sees the whole stage.
    lockDistance = spawn.controlMode == kControlComputer ? 10000.0f : static_cast<f32>(type.lockDist);
    restBody = type.restBody;
    shipType = spawn.type;
    // No part bonus: ships carry no parts.
    boostGaugeMax = boostGauge = type.generator;
    energyMax = energy = type.energy;
    boostRegen = 15;
    return true;
}

Mat4* CShip::GetTargetMatrix() { return frameBody ? &frameBody->world : nullptr; }

Vec3 CShip::BodyPosition() const { return frameBody ? Row(frameBody->world, 3) : Position(); }

void CShip::Defeat()
{
    frameCounter = 0;
    state = kRobotStateDestroyed;
    deathFrame = 0;
    inputEnabled = 0;
}

i32 CShip::Run()
{
    // Homing shots keep adding alerts while they fly; they must age away.
    AgeLockAlerts();
    switch (state) {
    case kRobotStateLive:
        UpdateLive();
        return 0;
    case kRobotStateDestroyed:
        UpdateLive();
        UpdateDying();
        return 0;
    case kRobotStateDown:
        lockTarget = nullptr;
        if (++deathFrame >= kShipWreckFrames) {
            state = kRobotStateNone;
            return defeatProc ? defeatProc(this) : 2;
        }
        return 0;
    default:
        return 0;
    }
}

i32 CShip::Draw()
{
    if (state != kRobotStateLive && state != kRobotStateDestroyed) return 0;
    const Vec3 b = BodyPosition();
    const ViewFrustum* frustum = CurrentWeaponWorld().frustum;
    if (frustum && !frustum->TestSphere(b.x, b.y, b.z, cullRadius)) return 0;
    model.Draw();
    return 0;
}

bool CShip::DrawsOpaque() { return model.DrawsOpaque(); }

void CShip::UpdateLive()
{
    prevWorldMatrix = worldMatrix;
    switch (controlMode) {
    case kControlLocal:
        ClearInput();
        if (inputEnabled) ReadPilotInput(keyCodes);
        break;
    case kControlComputer:
        if (inputEnabled) ComputerControl();
        else ClearInput();
        break;
    case kControlNetwork:
        // A sinking ship coasts with neutral input whatever its peer sends.
        if (inputEnabled) input = receivedInput;
        else ClearInput();
        break;
    default:
        break;
    }
    for (i32& c : weaponCooldown)
        if (c > 0) --c;
    if (hudFade < 1.0f) hudFade += 0.1f;
    // A unit locked on sets an arrow each frame; it goes once the lock ends.
    for (i32 i = 0; i < 4; ++i) {
        if (statusTimers[i] > 0) --statusTimers[i];
        else statusFlags[i] = 0;
    }
    UpdateLockTarget();
    TurnAim();
    if (controlProc) controlProc(this);
    if (launchProc) launchProc(this);
}

void CShip::UpdateLockTarget()
{
    CList<BB_Base>* units = CurrentWeaponWorld().robots;
    const Mat4* own = GetTargetMatrix();
    auto within = [&](CRobot_Base* o, f32 range) {
        const Mat4* t = o->GetTargetMatrix();
        if (!t || !own) return false;
        const Vec3 d = Row(*t, 3) - Row(*own, 3);
        return Vec3Length(d) <= range;
    };
    u8& hold = buttonLatch[5];
    if (!input.buttons[4]) {
        hold = 0;
    } else if (hold == 0) {
        hold = 1;
        lockReleased = 0;
        const u8 d = input.direction;
        const f32 range = d >= 7 && d <= 9 ? lockDistance : (d >= 1 && d <= 3 ? 10.0f : 50.0f);
        if (lockTarget) {
            CRobot_Base* next = WalkAfter(units, lockTarget, [&](CRobot_Base* o) {
                return o->team != team && o->state == kRobotStateLive && within(o, range);
            });
            if (next) lockTarget = next;
        }
    } else {
        // Held: the counter stops at its top so a long hold never starts over.
        if (hold < 255) ++hold;
        if (hold == 20 && lockTarget) {
            CRobot_Base* next = WalkAfter(units, lockTarget, [&](CRobot_Base* o) {
                return o->lockTarget == this && o->state == kRobotStateLive;
            });
            if (next) lockTarget = next;
        }
        if (hold == 40) lockReleased = lockReleased ? 0 : 1;
    }
    if (!lockTarget && lockReleased == 0 && units && units->GetHead()) {
        for (BB_Base* n = units->GetHead()->next; n && n != units->GetTail(); n = n->next) {
            if (n == this || n->Removed || !IsUnit(n)) continue;
            auto* o = static_cast<CRobot_Base*>(n);
            if (o->team != team && o->state == kRobotStateLive && within(o, lockDistance)) {
                lockTarget = o;
                break;
            }
        }
    }
    if (lockReleased == 1 && lockTarget) {
        lockTarget = nullptr;
        ResetAim();
    }
    if (lockTarget) {
        const Mat4* t = lockTarget->GetTargetMatrix();
        const bool keep = t && own && (lockTarget->state == kRobotStateLive || lockTarget->state == kRobotStateDestroyed) &&
                          Vec3Length(Row(*t, 3) - Row(*own, 3)) <= lockDistance && !lockTarget->Removed;
        if (!keep) {
            lockTarget = nullptr;
            ResetAim();
        }
    }
}

void CShip::ResetAim()
{
    aimDir.y = 0.0f;
    if (aimDir.x == 0.0f && aimDir.z == 0.0f) aimDir.z = 1.0f;
    aimDir = Unit(aimDir);
    aimOffset = aimDir * 20.0f;
    aimSide = Vec3Cross(Vec3(0.0f, 1.0f, 0.0f), aimDir);
}

void CShip::TurnAim()
{
    const Mat4* own = GetTargetMatrix();
    const Mat4* t = lockTarget ? lockTarget->GetTargetMatrix() : nullptr;
    const Vec3 wanted = t && own ? Row(*t, 3) - Row(*own, 3) : Row(worldMatrix, 2) * 20.0f;
    const f32 length = Vec3Length(wanted);
    if (length > 0.0f) {
        const Vec3 u = wanted / length;
        const f32 dot = Vec3DotClamped(u, aimDir);
        if (dot < 0.9998f) {
            f32 angle = plat::DetAcos(dot) * kToDegrees;
            if (angle > 5.0f) angle = 5.0f;
            Vec3 axis = Vec3Cross(aimDir, wanted);
            // Straight behind: any vertical turn will do.
            if (Vec3Length(axis) == 0.0f) axis = Vec3(0.0f, 1.0f, 0.0f);
            Mat4 r;
            plat::MatrixRotationAxis(&r, &axis, angle * kDegrees);
            Vec3 turned;
            plat::Vec3TransformNormal(&turned, &aimDir, &r);
            aimDir = Unit(turned);
            aimOffset = aimDir * length;
        } else {
            aimDir = u;
            aimOffset = wanted;
        }
    }
    const Vec3 side = Vec3Cross(Vec3(0.0f, 1.0f, 0.0f), aimDir);
    aimSide = Vec3Length(side) == 0.0f ? Vec3(1.0f, side.y, side.z) : Unit(side);
}

void CShip::ControlProc(CShip* ship)
{
    CShip& s = *ship;
    s.energy = Clamp(s.energy + 3, 0, s.energyMax);
    const u8 d = s.input.direction;
    const u8* b = s.input.buttons;
    f32 climb = 0.0f;
    if (!s.boostLocked) {
        s.turnRate.y = (d == 1 || d == 4 || d == 7) ? -0.1f : ((d == 3 || d == 6 || d == 9) ? 0.1f : 0.0f);
        climb = (d >= 7 && d <= 9) ? 0.01f : ((d >= 1 && d <= 3) ? -0.01f : 0.0f);
        if (b[0]) s.speed = s.speed + 0.0004f > 0.15f ? 0.15f : s.speed + 0.0004f;
        if (b[1]) s.speed = s.speed - 0.0004f < -0.05f ? -0.05f : s.speed - 0.0004f;
        if (s.speed < 0.08f) {
            s.boostGauge = Clamp(s.boostGauge + s.boostRegen, 0, s.boostGaugeMax);
        } else {
            s.boostGauge += static_cast<i32>(s.speed * 10.0f * -6.0f);
            if (s.boostGauge <= 0) s.boostLocked = 1;
            s.boostGauge = Clamp(s.boostGauge, 0, s.boostGaugeMax);
        }
    } else {
        s.speed = s.speed - 0.0004f < 0.0f ? 0.0f : s.speed - 0.0004f;
        s.boostGauge = Clamp(s.boostGauge + s.boostRegen / 2, 0, s.boostGaugeMax);
        if (s.boostGauge >= s.boostGaugeMax) s.boostLocked = 0;
    }

    // Holding a button repeats its group whenever the cooldown allows.
    if (b[2] == 1 && s.weaponCooldown[0] == 0) {
        for (i32 p = 0; p < 4; ++p) s.FireMainCannon(p);
        s.weaponCooldown[0] = 300;
    }
    if (b[3] == 1 && s.weaponCooldown[1] == 0) {
        s.FireGun(s.gunSide == 1 ? 5 : 4);
        s.gunSide = s.gunSide ? 0 : 1;
        s.weaponCooldown[1] = 15;
    }
    if (b[5] == 1 && s.weaponCooldown[2] == 0) {
        s.FireGun(s.gunPairSide == 1 ? 9 : 8);
        s.FireGun(s.gunPairSide == 1 ? 11 : 10);
        s.gunPairSide = s.gunPairSide ? 0 : 1;
        s.weaponCooldown[2] = 15;
    }
    if (b[6] == 1 && s.weaponCooldown[3] == 0) {
        s.FireGun(s.gunPairSide == 1 ? 7 : 6);
        s.FireGun(s.gunPairSide == 1 ? 13 : 12);
        s.gunPairSide = s.gunPairSide ? 0 : 1;
        s.weaponCooldown[3] = 15;
    }
    if (b[7] == 1 && s.weaponCooldown[4] == 0) {
        MeshObject* missile = s.modelData && s.modelData->extraMeshes.GetCount() > 0 ? s.modelData->extraMeshes[0].get()
                                                                                     : nullptr;
        for (i32 i = 0; i < 20; ++i) {
            s.FireMissile(14, missile);
            s.FireMissile(15, missile);
        }
        s.weaponCooldown[4] = 400;
    }

    Mat4 step, moved;
    const Vec3 along = s.moveAxis * s.speed;
    plat::MatrixTranslation(&step, along.x, along.y, along.z);
    plat::MatrixMultiply(&moved, &step, &s.worldMatrix);
    s.worldMatrix = moved;
    s.worldMatrix.m[3][1] += climb;
    RotateMatrixYInPlace(s.worldMatrix, s.turnRate.y);
    s.model.UpdateMatricesEx(&s.worldMatrix);
    s.turnRate = s.turnRate * 0.97f;

    if (s.modelData)
        for (i32 i = 0; i < kShipTurrets; ++i) {
            if (!s.modelData->batteryEnabled[i]) continue;
            const RobotModelData& t = *s.modelData;
            s.AimTurret(s.turretYawFrames[i], t.batteryValues[0][i], t.batteryValues[1][i], s.turretPitchFrames[i],
                        t.batteryValues[2][i], t.batteryValues[3][i], t.batteryValues[4][i]);
        }
    const f32 thrust = s.speed * 10.0f < 0.0f ? 0.0f : s.speed * 10.0f;
    if (s.frameCounter % 4 == 0)
        for (i32 i = 0; i < kShipBurners; ++i)
            if (s.burnerFrames[i]) s.EmitBurner(i, s.burnerSizes[i] * thrust);
    ++s.frameCounter;
}

void CShip::AimTurret(HodNode* yawFrame, f32 yawRate, f32, HodNode* pitchFrame, f32 pitchRate, f32 pitchLow,
                      f32 pitchHigh)
{
    const Mat4* t = lockTarget ? lockTarget->GetTargetMatrix() : nullptr;
    if (!t || !yawFrame) return;
    auto local = [&](const HodNode* frame) {
        const Vec3 v = Row(*t, 3) - Row(frame->world, 3);
        const Vec3 x = Row(frame->world, 0), y = Row(frame->world, 1), z = Row(frame->world, 2);
        return Vec3(plat::Vec3Dot(&v, &x), plat::Vec3Dot(&v, &y), plat::Vec3Dot(&v, &z));
    };
    Vec3 v = local(yawFrame);
    v.y = 0.0f;
    v = Unit(v);
    const f32 c = v.z;
    if (c > -1.0f && c < 1.0f) {
        f32 angle = plat::DetAcos(c) * kToDegrees;
        if (angle > yawRate) angle = yawRate;
        const Vec3 axis = Vec3Cross(Vec3(0.0f, 0.0f, 1.0f), v);
        Mat4 r, out;
        plat::MatrixRotationY(&r, (axis.y > 0.0f ? angle : -angle) * kDegrees);
        plat::MatrixMultiply(&out, &r, &yawFrame->local);
        yawFrame->local = out;
    }
    if (c < 0.707106f || !pitchFrame) return;
    Vec3 w = local(pitchFrame);
    w.x = 0.0f;
    w = Unit(w);
    const f32 cp = w.z;
    if (!(cp > -1.0f && cp < 1.0f)) return;
    f32 angle = plat::DetAcos(cp) * kToDegrees;
    if (angle > pitchRate) angle = pitchRate;
    const Vec3 axis = Vec3Cross(Vec3(0.0f, 0.0f, 1.0f), w);
    const f32 p = pitchFrame->local.m[2][1];
    f32 turn = 0.0f;
    if (axis.x > 0.0f) {
        if (pitchLow <= p) turn = angle;
    } else if (p < pitchHigh) {
        turn = -angle;
    }
    if (turn == 0.0f) return;
    Mat4 r, out;
    plat::MatrixRotationX(&r, turn * kDegrees);
    plat::MatrixMultiply(&out, &r, &pitchFrame->local);
    pitchFrame->local = out;
}

void CShip::EmitBurner(i32 i, f32 size)
{
    if (i < 0 || i >= kShipBurners || !burnerFrames[i]) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Mat4* frame = &burnerFrames[i]->world;
    const Vec3 at = Row(*frame, 3);
    if (auto* flame = NewObject<BB_Burner>(w.effects, 1))
        flame->Set(&at, size / 2.0f, size, 1, w.Texture(kBurnerTexture), 0x80FFFFFFu, this, frame, 1);
    const Vec3 drift(0.0f, 0.0f, size / 8.0f);
    if (auto* ball = NewObject<BB_BurnerBall>(w.effects, 1))
        ball->Set(&at, size / 3.0f, &drift, 1, w.Texture(kBurnerBallTexture), 0xFFFFFFFFu, this, frame, 4);
}

void CShip::UpdateDying()
{
    inputEnabled = 0;
    ++deathFrame;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 body = BodyPosition();
    // Every blast draws its offset, then its drift, each in x, y, z order.
    if (deathFrame >= 1 && deathFrame <= 30) {
        if (deathFrame % 3 == 0) {
            Vec3 at;
            at.x = body.x + DrawIn(-0.4f, 0.4f);
            at.y = body.y + DrawIn(-0.4f, 0.4f);
            at.z = body.z + DrawIn(-0.4f, 0.4f);
            Vec3 v;
            v.x = DrawIn(-0.01f, 0.01f);
            v.y = DrawIn(-0.01f, 0.01f);
            v.z = DrawIn(-0.01f, 0.01f);
            if (auto* e = NewObject<BB_Explode4>(w.effects, 3))
                e->Set(&at, 5.0f, &v, 0, w.Texture(kExplodeTexture), 0xFFFFFFFFu);
        }
        if (deathFrame == 20) PlayBattleSound(kSoundExplodeM, Position());
    } else if (deathFrame == 31) {
        auto offset = [&] {
            Vec3 at;
            at.x = body.x + DrawIn(-3.0f, 3.0f);
            at.y = body.y + DrawIn(-1.0f, 3.0f);
            at.z = body.z + DrawIn(-3.0f, 3.0f);
            return at;
        };
        auto velocity = [] {
            Vec3 v;
            v.x = DrawIn(-0.28f, 0.28f);
            v.y = DrawIn(0.0f, 0.25f);
            v.z = DrawIn(-0.28f, 0.28f);
            return v;
        };
        const Vec3 still;
        for (i32 i = 0; i < 3; ++i) {
            const Vec3 at = offset();
            if (auto* e = NewObject<BB_Explode2>(w.effects, 4))
                e->Set(&at, 10.0f, &still, 0, w.Texture(kExplodeTexture), 0xFFFFFFFFu);
        }
        for (i32 i = 0; i < 10; ++i) {
            const Vec3 at = offset();
            const Vec3 v = velocity();
            if (auto* e = NewObject<BB_Explode2>(w.effects, 3))
                e->Set(&at, 4.0f, &v, 0, w.Texture(kExplodeTexture), 0xFFFFFFFFu);
        }
        for (i32 i = 0; i < 10; ++i) {
            const Vec3 v = velocity();
            const Vec3 at = body + v * 5.0f;
            if (auto* piece = NewObject<BB_BP>(w.effects, 1)) piece->Set(&at, 1.0f, &v, 0, nullptr, 0xFFFFFFFFu, 200);
        }
        PlayBattleSound(kSoundExplodeL, Position());
        if (w.cameraShake) {
            const f32 distance = Vec3Length(w.Eye() - Position());
            if (distance < 30.0f) {
                const i32 shake = static_cast<i32>((30.0f - distance) * 1.5f);
                if (*w.cameraShake < shake) *w.cameraShake = shake;
            }
        }
    } else if (deathFrame == kShipDyingFrames) {
        ClearInput();
        ResetReleasedHoldCounters();
        state = kRobotStateDown;
        deathFrame = 0;
    }
}
