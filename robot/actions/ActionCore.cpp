// Entering actions and the per-frame posture step every state runs first.
#include <cmath>

#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr f32 kRadToDeg = 57.2957763671875f;
constexpr f32 kDegToRad = 0.017453f;

Vec3 Normalised(const Vec3& v)
{
    Vec3 out;
    plat::Vec3Normalize(&out, &v);
    return out;
}

}  // namespace

Vec3* Vec3Assign(Vec3* out, const Vec3* in)
{
    *out = *in;
    return out;
}

bool CRobot_Normal::HasScript(i32 action) const
{
    return modelData && modelData->ScriptTable(action) != nullptr;
}

u32 CRobot_Normal::LayerAnime(i32 layer) const
{
    const CHierarchyObject& m = layer == 0 ? static_cast<const CHierarchyObject&>(lowerModel) : upperModel;
    return m.currentTrack < kHierarchyTracks ? m.tracks[m.currentTrack].anime : 0;
}

void CRobot_Normal::SwitchLayerAnime(i32 layer, u32 anime, f32 blend)
{
    CHierarchyObject& m = layer == 0 ? static_cast<CHierarchyObject&>(lowerModel) : upperModel;
    if (!m.root || m.currentTrack >= kHierarchyTracks) return;
    const AnimeTrackSlot t = m.tracks[m.currentTrack];
    m.ChangeAnime(anime, 0.0f, blend, t.speed, 1.0f, t.frame, t.loop);
}

void CRobot_Normal::StartLayerAction(i32 channel, u32 script, u32 anime, f32 blend)
{
    CHierarchyObject& m = channel == 0 ? static_cast<CHierarchyObject&>(lowerModel) : upperModel;
    ScriptEntry* table = modelData ? modelData->ScriptTable(static_cast<i32>(script)) : nullptr;
    const i32 started = table ? SetScript(table, 0, channel) : 0;
    if (!started && m.root)
        m.ChangeAnime(anime, 0.0f, blend, scriptContext.speed[channel], 1.0f, 0.0f,
                      static_cast<u32>(scriptContext.loop[channel]));
}

void CRobot_Normal::SetAction(u32 n, f32 blend, i32 restart, i32 startFrame, f32 decay, i32 wholeBody,
                              StateProc next)
{
    const u32 a = altActionSet == 1 ? n + kAltActionOffset : n;
    ScriptEntry* table = modelData ? modelData->ScriptTable(static_cast<i32>(a)) : nullptr;
    if (!table && modelData) table = modelData->ScriptTable(static_cast<i32>(n));
    const i32 layers = wholeBody ? 2 : 1;
    for (i32 c = 0; c < layers; ++c) {
        CHierarchyObject& m = c == 0 ? static_cast<CHierarchyObject&>(lowerModel) : upperModel;
        const i32 started = table ? SetScript(table, 0, c) : 0;
        if (!started && m.root) {
            const f32 frame =
                restart || m.currentTrack >= kHierarchyTracks ? 0.0f : m.tracks[m.currentTrack].frame;
            m.ChangeAnime(a, 0.0f, blend, scriptContext.speed[c], 1.0f, frame,
                          static_cast<u32>(scriptContext.loop[c]));
        }
        if (c == 0) {
            stateProc = next;
            moveDecay = decay;
            actionFrame = startFrame;
        }
        layerEnded[c] = 0;
    }
    if (wholeBody) {
        subStateProc = nullptr;
        attackKind = 0;
    }
}

void CRobot_Normal::StepActionStates()
{
    if (stateProc) (this->*stateProc)();
    if (subStateProc) (this->*subStateProc)();
}

Vec3 CRobot_Normal::GetMoveDirection(i32 d) const
{
    Vec3 v;
    switch (d) {
    case 8: v = forward; break;
    case 2: v = -forward; break;
    case 6: v = side; break;
    case 4: v = -side; break;
    case 7: v = forward - side; break;
    case 9: v = forward + side; break;
    case 1: v = -forward - side; break;
    case 3: v = side - forward; break;
    default: return Vec3();
    }
    v.y = 0.0f;
    return Normalised(v);
}

f32 CRobot_Normal::TurnToward(const Vec3& v, f32 maxDegrees) const
{
    if (plat::Vec3LengthSq(&v) == 0.0f) return 0.0f;
    Mat4 inverse;
    float det = 0.0f;
    plat::MatrixInverse(&inverse, &det, &worldMatrix);
    Vec3 local;
    plat::Vec3TransformNormal(&local, &v, &inverse);
    local = Normalised(local);
    const f32 x = local.x < -1.0f ? -1.0f : (local.x > 1.0f ? 1.0f : local.x);
    f32 angle = plat::DetAsin(x) * kRadToDeg;
    if (local.z < 0.0f) {
        // Behind: always the full rate, to the right when exactly behind.
        if (angle > 0.0f) angle += 90.0f;
        else if (angle < 0.0f) angle -= 90.0f;
        else angle = 180.0f;
    }
    if (angle > maxDegrees) angle = maxDegrees;
    if (angle < -maxDegrees) angle = -maxDegrees;
    return angle;
}

void CRobot_Normal::UpdatePosture(f32 extraYaw)
{
    velocity += acceleration;
    if (gravityOn == 1 && velocity.y > -kFallSpeedLimit) velocity.y -= kGravity;
    const f32 friction = airborne == 1 ? kAirFriction : kGroundFriction;
    velocity.x *= friction;
    velocity.z *= friction;
    velocity *= speedFactor;
    if (hitImmunity > 0) --hitImmunity;
    if (guardCooldown > 0) --guardCooldown;
    if (guardHitTimer > 0) --guardHitTimer;

    // Upright.
    Vec3 up(worldMatrix.m[1][0], worldMatrix.m[1][1], worldMatrix.m[1][2]);
    if (!(up == Vec3(0.0f, 1.0f, 0.0f))) {
        Vec3 z(worldMatrix.m[2][0], 0.0f, worldMatrix.m[2][2]);
        const Vec3 pos(worldMatrix.m[3][0], worldMatrix.m[3][1], worldMatrix.m[3][2]);
        if (plat::Vec3LengthSq(&z) == 0.0f) {
            Mat4 turn;
            plat::MatrixRotationX(&turn, 90.0f * kDegToRad);
            Mat4 out;
            plat::MatrixMultiply(&out, &turn, &worldMatrix);
            worldMatrix = out;
        } else {
            z = Normalised(z);
            const Vec3 y(0.0f, 1.0f, 0.0f);
            Vec3 x;
            plat::Vec3Cross(&x, &y, &z);
            worldMatrix = Mat4::Identity();
            worldMatrix.m[0][0] = x.x; worldMatrix.m[0][1] = x.y; worldMatrix.m[0][2] = x.z;
            worldMatrix.m[2][0] = z.x; worldMatrix.m[2][1] = z.y; worldMatrix.m[2][2] = z.z;
            worldMatrix.m[3][0] = pos.x; worldMatrix.m[3][1] = pos.y; worldMatrix.m[3][2] = pos.z;
        }
    }

    const Vec3 flatForward(forward.x, 0.0f, forward.z);
    const f32 yaw = extraYaw + TurnToward(flatForward, turnRate);

    scriptMotion *= moveDecay;
    facing += side * scriptMotion.x;
    facing = Normalised(facing);
    if (yaw != 0.0f) {
        const Vec3 pos(worldMatrix.m[3][0], worldMatrix.m[3][1], worldMatrix.m[3][2]);
        Mat4 turn;
        plat::MatrixRotationY(&turn, yaw * kDegToRad);
        Mat4 out;
        plat::MatrixMultiply(&out, &turn, &worldMatrix);
        worldMatrix = out;
        worldMatrix.m[3][0] = pos.x; worldMatrix.m[3][1] = pos.y; worldMatrix.m[3][2] = pos.z;
    }
    const Vec3 move = facing * scriptMotion.z + velocity;
    worldMatrix.m[3][0] += move.x;
    worldMatrix.m[3][1] += move.y;
    worldMatrix.m[3][2] += move.z;

    if (worldMatrix.m[3][1] < kFallOutHeight) {
        worldMatrix.m[3][0] = spawnPos[0];
        worldMatrix.m[3][1] = spawnPos[1];
        worldMatrix.m[3][2] = spawnPos[2];
        prevWorldMatrix = worldMatrix;
    }

    bodyRoll *= kTiltDecay;
    bodyPitch *= kTiltDecay;
    PoseLayers();
}

void CRobot_Normal::PoseLayers()
{
    if (!lowerModel.root) return;
    // The upper body is posed separately under the turned body node.
    HodNode* joint = frameBodyD;
    const u8 keptMode = joint ? joint->linkMode : 0;
    if (joint) joint->linkMode = 2;
    lowerModel.ApplyAnime(&worldMatrix);
    if (joint) joint->linkMode = keptMode;
    if (!joint) return;

    // Body aim: pitch toward the view while the scripts ask for it.
    const f32 limitDown = scriptContext.bodyLock[0][0];
    const f32 limitUp = scriptContext.bodyLock[0][1];
    const bool aimOn = scriptContext.bodyLockOn[0] != 0 && limitDown < 999.0f;
    if (aimOn) {
        Vec3 flat(forward.x, 0.0f, forward.z);
        flat = Normalised(flat);
        f32 c = plat::Vec3Dot(&forward, &flat);
        c = c > 1.0f ? 1.0f : (c < -1.0f ? -1.0f : c);
        f32 angle = plat::DetAcos(c) * kRadToDeg * bodyAimWeight;
        if (forward.y < 0.0f) {
            if (angle > limitDown) angle = limitDown;
        } else {
            if (angle > limitUp) angle = limitUp;
            angle = -angle;
        }
        Mat4 r;
        plat::MatrixRotationAxis(&r, &side, angle * kDegToRad);
        plat::QuaternionRotationMatrix(&aimQuats[0], &r);
        bodyAimWeight = bodyAimWeight + 0.1f > 1.0f ? 1.0f : bodyAimWeight + 0.1f;
    } else {
        bodyAimWeight = bodyAimWeight - 0.1f < 0.0f ? 0.0f : bodyAimWeight - 0.1f;
        if (bodyAimWeight == 0.0f) aimQuats[0] = Quat();
    }
    Quat q;
    const Quat identity;
    plat::QuaternionSlerp(&q, &identity, &aimQuats[0], aimOn ? 1.0f : bodyAimWeight);
    Mat4 rot;
    plat::MatrixRotationQuaternion(&rot, &q);
    Mat4& w = joint->world;
    const Vec3 pos(w.m[3][0], w.m[3][1], w.m[3][2]);
    w.m[3][0] = w.m[3][1] = w.m[3][2] = 0.0f;
    Mat4 out;
    plat::MatrixMultiply(&out, &w, &rot);
    const Vec3 fwdAxis(out.m[2][0], out.m[2][1], out.m[2][2]);
    const Vec3 sideAxis(out.m[0][0], out.m[0][1], out.m[0][2]);
    Mat4 roll, pitch, tmp;
    plat::MatrixRotationAxis(&roll, &fwdAxis, bodyRoll * kDegToRad);
    plat::MatrixRotationAxis(&pitch, &sideAxis, bodyPitch * kDegToRad);
    plat::MatrixMultiply(&tmp, &out, &roll);
    plat::MatrixMultiply(&w, &tmp, &pitch);
    w.m[3][0] = pos.x; w.m[3][1] = pos.y; w.m[3][2] = pos.z;
    if (upperModel.root) upperModel.ApplyAnime(&w);
}

Vec3 CRobot_Normal::BodyNodePosition() const
{
    const Mat4& m = frameBodyD ? frameBodyD->world : worldMatrix;
    return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]);
}

void CRobot_Normal::RePose()
{
    velocity = Vec3();
    PoseLayers();
}

void CRobot_Normal::SpendBoost(i32 amount)
{
    boostGauge -= amount;
    if (boostGauge < 0) boostGauge = 0;
    if (boostGauge > boostGaugeMax) boostGauge = boostGaugeMax;
}

void CRobot_Normal::RaiseSmoke(const Vec3& position, f32 size, const Vec3& drift, u32 colour)
{
    const WeaponWorld& world = CurrentWeaponWorld();
    if (!world.effects) return;
    BB_GSmoke* smoke = CreateInListFront<BB_GSmoke>(world.effects, 1);
    if (!smoke) return;
    smoke->Set(&position, size, &drift, 0, world.Texture(kSmokeTexture), colour, -4, 0.005f);
}
