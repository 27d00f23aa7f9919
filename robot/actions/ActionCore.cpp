// Entering actions and the per-frame posture step every state runs first.
#include <cmath>
#include <cstring>

#include "engine/sound/SoundManager.h"
#include "platform/audio/Audio.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/ObjectFactory.h"
#include "weapon/effects/Burner.h"

namespace {

constexpr f32 kRadToDeg = 57.2957763671875f;
constexpr f32 kDegToRad = 0.017453f;
// A first limit this large switches an aim off.
constexpr f32 kAimOff = 999.0f;

Vec3 Normalised(const Vec3& v)
{
    Vec3 out;
    plat::Vec3Normalize(&out, &v);
    return out;
}

// An aim let go whose weight has run out and whose quaternion is back at the
// identity: BlendedRotation then slerps the identity to itself, all +0 and 1,
// so its turn is the identity matrix exactly.
bool AimAtRest(bool on, f32 weight, const Quat& q)
{
    constexpr Quat kRest;
    return !on && weight == 0.0f && std::memcmp(&q, &kRest, sizeof q) == 0;
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
    StopLoopSound();
}

void CRobot_Normal::StopLoopSound()
{
    if (loopSound) loopSound->Stop();
    loopSound = nullptr;
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
    const f32* force = scriptContext.force;
    velocity += Vec3(force[0], force[1], force[2]);
    if (gravityOn == 1 && velocity.y > -kFallSpeedLimit) velocity.y -= kGravity;
    const f32 friction = airborne == 1 ? kAirFriction : kGroundFriction;
    velocity.x *= friction;
    velocity.z *= friction;
    velocity *= speedFactor;
    // A factor above 1 (the manoeuvre launched out of an attack) is a kick
    // spent on the frame it acts: kept, it would multiply the velocity, and
    // gravity's share of it, without bound until the robot lands.
    if (speedFactor > 1.0f) speedFactor = 1.0f;
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

    f32* motion = scriptContext.move;
    for (i32 i = 0; i < 3; ++i) motion[i] *= moveDecay;
    facing += side * motion[0];
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
    const Vec3 move = facing * motion[2] + velocity;
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

    if (actionFrame % 3 == 0 && burnerNodes.IsCreated()) {
        const i32 n = burnerNodes.GetCount() < kScriptBurnerSlots ? burnerNodes.GetCount() : kScriptBurnerSlots;
        for (i32 i = 0; i < n; ++i)
            if (burnerNodes[i] && scriptContext.burnerOn[i] != 0) EmitBurner(burnerNodes[i], scriptContext.burnerScale[i]);
    }
    WarnLockTarget();
}

void CRobot_Normal::EmitBurner(HodNode* node, f32 size)
{
    SoundManager& sounds = GetSoundManager();
    const Vec3 at(worldMatrix.m[3][0], worldMatrix.m[3][1], worldMatrix.m[3][2]);
    if (sounds.GetSoundCount() > kBurnerSound) {
        if (!loopSound || !loopSound->IsPlaying()) {
            if (SoundObject* burner = sounds.GetSound(kBurnerSound))
                loopSound = burner->Play3D(at.x, at.y, at.z, 0, 1);
        } else if (loopSound->voice != 0 && loopSound->positional) {
            plat::AudioVoiceSetPosition(loopSound->voice, at);
        }
    }
    const WeaponWorld& world = CurrentWeaponWorld();
    if (!world.effects) return;
    const Mat4* followed = &node->world;
    const Vec3 p(followed->m[3][0], followed->m[3][1], followed->m[3][2]);
    if (auto* flame = NewObject<BB_Burner>(world.effects, 1))
        flame->Set(&p, size / 2.0f, size, 1, world.Texture(kBurnerTexture), 0x80FFFFFFu, this, followed, 1);
    const Vec3 drift(0.0f, 0.0f, size / 8.0f);
    if (auto* glow = NewObject<BB_BurnerBall>(world.effects, 1))
        glow->Set(&p, size / 3.0f, &drift, 1, world.Texture(kBurnerGlowTexture), 0xFFFFFFFFu, this, followed, 4);
}

bool CRobot_Normal::PoseLowerLayer(const HodNode* placedLater)
{
    // The upper body keeps its own layer: the lower walk stops at it.
    HodNode* upper = frameUpperBody;
    const u8 keptMode = upper ? upper->linkMode : 0;
    if (upper) upper->linkMode = 2;
    const bool left = lowerModel.ApplyAnimeFrom(lowerModel.root, &worldMatrix, placedLater);
    if (upper) upper->linkMode = keptMode;
    return left;
}

void CRobot_Normal::PoseLayers()
{
    if (!lowerModel.root) return;
    // The body joint turns below and then places its children (but the upper
    // body) again, the chest likewise; the first walks mostly leave them, to
    // be animated as they are placed. Not when the upper body hangs deeper
    // below the joint: that placement reaches it and must not animate it by
    // the lower layer's tracks.
    HodNode* joint = frameBodyD;
    bool deeper = false;
    if (frameUpperBody && joint && frameUpperBody->parent != joint)
        for (const HodNode* n = frameUpperBody->parent; n; n = n->parent) deeper |= n == joint;
    const bool lowerLeft = PoseLowerLayer(deeper ? nullptr : joint);
    if (!joint) return;

    // Body aim: pitch toward the view while the scripts ask for it.
    const f32 bodyAngle = StepPitchAim(scriptContext.bodyLockOn[0], scriptContext.bodyLock[0], 0.0f,
                                       bodyAimWeight, aimQuats[0]);
    const bool bodyOn = scriptContext.bodyLockOn[0] != 0 && scriptContext.bodyLock[0][0] < kAimOff;
    Mat4& w = joint->world;
    const Vec3 pos(w.m[3][0], w.m[3][1], w.m[3][2]);
    w.m[3][0] = w.m[3][1] = w.m[3][2] = 0.0f;
    // At rest and untilted every turn is an identity (a zero angle's axis
    // turn too, its zeros of either sign), which keeps such a w bit for bit.
    if (!(AimAtRest(bodyOn, bodyAimWeight, aimQuats[0]) && bodyRoll == 0.0f && bodyPitch == 0.0f &&
          plat::MatrixKeptByIdentity(&w))) {
        Mat4 rot;
        BlendedRotation(aimQuats[0], bodyAimWeight, bodyOn, &rot);
        Mat4 out;
        plat::MatrixMultiply(&out, &w, &rot);
        const Vec3 fwdAxis(out.m[2][0], out.m[2][1], out.m[2][2]);
        const Vec3 sideAxis(out.m[0][0], out.m[0][1], out.m[0][2]);
        Mat4 roll, pitch, tmp;
        plat::MatrixRotationAxis(&roll, &fwdAxis, bodyRoll * kDegToRad);
        plat::MatrixRotationAxis(&pitch, &sideAxis, bodyPitch * kDegToRad);
        plat::MatrixMultiply(&tmp, &out, &roll);
        plat::MatrixMultiply(&w, &tmp, &pitch);
    }
    w.m[3][0] = pos.x; w.m[3][1] = pos.y; w.m[3][2] = pos.z;
    for (HodNode* child : joint->children)
        if (child && child != frameUpperBody) lowerModel.UpdateNodeMatricesEx(child, &w, lowerLeft);
    if (!frameUpperBody || !upperModel.root) return;
    AimChestAndArms(bodyAngle, upperModel.ApplyAnimeFrom(frameUpperBody, &w, frameUpperBody));
}

f32 CRobot_Normal::StepPitchAim(i8 flag, const f32 (&limits)[2], f32 taken, f32& weight, Quat& q) const
{
    // Signed pitch, positive down; 0 while the aim is off.
    if (flag == 0 || limits[0] >= kAimOff) {
        weight = weight - 0.1f < 0.0f ? 0.0f : weight - 0.1f;
        if (weight == 0.0f) q = Quat();
        return 0.0f;
    }
    Vec3 flat(forward.x, 0.0f, forward.z);
    flat = Normalised(flat);
    f32 c = plat::Vec3Dot(&forward, &flat);
    c = c > 1.0f ? 1.0f : (c < -1.0f ? -1.0f : c);
    f32 angle = plat::DetAcos(c) * kRadToDeg * weight;
    if (forward.y < 0.0f) {
        angle -= taken;
        if (angle > limits[0]) angle = limits[0];
    } else {
        angle = -angle - taken;
        if (angle < -limits[1]) angle = -limits[1];
    }
    Mat4 r;
    plat::MatrixRotationAxis(&r, &side, angle * kDegToRad);
    plat::QuaternionRotationMatrix(&q, &r);
    weight = weight + 0.1f > 1.0f ? 1.0f : weight + 0.1f;
    return angle;
}

void CRobot_Normal::BlendedRotation(const Quat& q, f32 weight, bool on, Mat4* out) const
{
    // While aiming the weight is already in the angle; letting go eases back.
    Quat blended;
    const Quat identity;
    plat::QuaternionSlerp(&blended, &identity, &q, on ? 1.0f : weight);
    plat::MatrixRotationQuaternion(out, &blended);
}

void CRobot_Normal::AimChestAndArms(f32 bodyAngle, bool chestLeft)
{
    if (HodNode* chest = frameUpperBody) {
        // Body and chest share the pitch: the chest takes what the body left.
        StepPitchAim(scriptContext.bodyLockOn[1], scriptContext.bodyLock[1], bodyAngle, chestAimWeight,
                     aimQuats[1]);
        const bool on = scriptContext.bodyLockOn[1] != 0 && scriptContext.bodyLock[1][0] < kAimOff;
        Mat4& w = chest->world;
        const Vec3 pos(w.m[3][0], w.m[3][1], w.m[3][2]);
        w.m[3][0] = w.m[3][1] = w.m[3][2] = 0.0f;
        if (!(AimAtRest(on, chestAimWeight, aimQuats[1]) && plat::MatrixKeptByIdentity(&w))) {
            Mat4 rot;
            BlendedRotation(aimQuats[1], chestAimWeight, on, &rot);
            Mat4 out;
            plat::MatrixMultiply(&out, &w, &rot);
            w = out;
        }
        w.m[3][0] = pos.x; w.m[3][1] = pos.y; w.m[3][2] = pos.z;
        for (HodNode* child : chest->children)
            if (child) upperModel.UpdateNodeMatricesEx(child, &w, chestLeft);
    }
    if (!attackArmNodes.IsCreated()) return;
    const Mat4* aim = lockTarget ? lockTarget->GetTargetMatrix() : nullptr;
    for (i32 k = 0; k < kRobotAttackArms && k < attackArmNodes.GetCount(); ++k) {
        HodNode* arm = attackArmNodes[k];
        if (!arm) continue;
        f32& weight = armAimWeight[k];
        Quat& q = aimQuats[2 + k];
        const f32* limits = scriptContext.armLock[k];
        const bool on = scriptContext.armLockOn[k] != 0 && limits[0] < kAimOff;
        Mat4 rot;
        if (on) {
            // The arm points its own +z at the target: yaw about its y axis,
            // then pitch about its x axis, each held within its limit.
            Mat4& w = arm->world;
            const Vec3 at(w.m[3][0], w.m[3][1], w.m[3][2]);
            Vec3 to = aim ? Vec3(aim->m[3][0], aim->m[3][1], aim->m[3][2]) - at : forward;
            Mat4 frame = w;
            frame.m[3][0] = frame.m[3][1] = frame.m[3][2] = 0.0f;
            Mat4 inverse;
            float det = 0.0f;
            plat::MatrixInverse(&inverse, &det, &frame);
            Vec3 local;
            plat::Vec3TransformNormal(&local, &to, &inverse);
            local = Normalised(local);
            const f32 h = std::sqrt(local.x * local.x + local.z * local.z);
            f32 yaw = 0.0f;
            if (h > 0.0f) {
                const f32 sx = local.x / h > 1.0f ? 1.0f : (local.x / h < -1.0f ? -1.0f : local.x / h);
                yaw = plat::DetAsin(sx) * kRadToDeg;
                if (local.z < 0.0f) yaw = (yaw >= 0.0f ? 180.0f : -180.0f) - yaw;
            }
            const f32 sy = local.y > 1.0f ? 1.0f : (local.y < -1.0f ? -1.0f : local.y);
            f32 pitch = -plat::DetAsin(sy) * kRadToDeg;
            yaw *= weight;
            pitch *= weight;
            yaw = yaw > limits[0] ? limits[0] : (yaw < -limits[0] ? -limits[0] : yaw);
            pitch = pitch > limits[1] ? limits[1] : (pitch < -limits[1] ? -limits[1] : pitch);
            Mat4 rx, ry;
            plat::MatrixRotationX(&rx, pitch * kDegToRad);
            plat::MatrixRotationY(&ry, yaw * kDegToRad);
            plat::MatrixMultiply(&rot, &rx, &ry);
            plat::QuaternionRotationMatrix(&q, &rot);
            weight = weight + 0.1f > 1.0f ? 1.0f : weight + 0.1f;
        } else {
            weight = weight - 0.1f < 0.0f ? 0.0f : weight - 0.1f;
            if (weight == 0.0f) q = Quat();
            // The identity turn keeps the arm's matrix, and placing its
            // children again would give what the chest's walk gave them.
            if (chestLeft && AimAtRest(false, weight, q) && plat::MatrixKeptByIdentity(&arm->world) &&
                PlacedByChestWalk(arm))
                continue;
            BlendedRotation(q, weight, false, &rot);
        }
        // In the arm's own axes: the turn comes before its world matrix.
        Mat4 out;
        plat::MatrixMultiply(&out, &rot, &arm->world);
        arm->world = out;
        for (HodNode* child : arm->children)
            if (child) upperModel.UpdateNodeMatricesEx(child, &arm->world);
    }
}

bool CRobot_Normal::PlacedByChestWalk(const HodNode* arm) const
{
    // The walk reached the arm: every node from it up to the chest animated
    // or fixed. With no callback node below the chest (the caller knows) the
    // walk met none below the arm either.
    const HodNode* node = arm;
    for (; node && node != frameUpperBody; node = node->parent)
        if (node->linkMode != kHodLinkAnimated && node->linkMode != kHodLinkFixed) return false;
    if (!node) return false;
    // And no other arm below it, turned since.
    for (const HodNode* other : attackArmNodes)
        for (const HodNode* up = other && other != arm ? other->parent : nullptr; up; up = up->parent)
            if (up == arm) return false;
    return true;
}

Vec3 CRobot_Normal::BodyNodePosition() const
{
    const Mat4& m = frameBodyD ? frameBodyD->world : worldMatrix;
    return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]);
}

void CRobot_Normal::RePose()
{
    velocity = Vec3();
    if (!lowerModel.root) return;
    PoseLowerLayer();
    if (frameBodyD && frameUpperBody && upperModel.root) upperModel.ApplyAnimeFrom(frameUpperBody, &frameBodyD->world);
    // The weapon mounts carry these into the held robot's frame.
    float det = 0.0f;
    if (frameBodyD) plat::MatrixInverse(&workMatrices[0], &det, &frameBodyD->world);
    if (frameUpperBody) plat::MatrixInverse(&workMatrices[1], &det, &frameUpperBody->world);
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
