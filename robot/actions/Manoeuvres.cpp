// The two air manoeuvres and the callbacks that close shots and upper-body
// attacks and hand the upper layer back.
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "weapon/WeaponBase.h"

namespace {

constexpr f32 kRadToDeg = 57.2957763671875f;
constexpr f32 kDegToRad = 0.017453f;
constexpr i32 kManoeuvreSubChannel = 9;

Vec3 RotateAbout(const Vec3& v, const Vec3& axis, f32 degrees)
{
    Mat4 r;
    plat::MatrixRotationAxis(&r, &axis, degrees * kDegToRad);
    Vec3 out;
    plat::Vec3TransformNormal(&out, &v, &r);
    plat::Vec3Normalize(&out, &out);
    return out;
}

f32 DotClamped(const Vec3& a, const Vec3& b)
{
    const f32 c = plat::Vec3Dot(&a, &b);
    return c > 1.0f ? 1.0f : (c < -1.0f ? -1.0f : c);
}

}  // namespace

Vec3 CRobot_Normal::ManoeuvreCommon(i32 d0)
{
    situation = kSituationManoeuvre;
    ClearJumpTapProgress();
    DecayImpact();
    if (groundDistance < 2.0f && actionFrame % 2 == 0) {
        // Drift first, then the offsets: x, y, z each.
        Vec3 drift;
        drift.x = static_cast<f32>(0.1 * BattleUnit() - 0.05);
        drift.y = static_cast<f32>(0.04 * BattleUnit());
        drift.z = static_cast<f32>(0.1 * BattleUnit() - 0.05);
        Vec3 p(worldMatrix.m[3][0], worldMatrix.m[3][1] - groundDistance, worldMatrix.m[3][2]);
        p.x += static_cast<f32>(0.2 * BattleUnit() - 0.1);
        p.z += static_cast<f32>(0.2 * BattleUnit() - 0.1);
        RaiseSmoke(p, 1.4f, drift, 0xFFFFFFFFu);
    }
    SpendBoost(5);
    AddEnergy(1.0f);
    if (!lockTarget) TurnViewByDirection(d0);
    switch (d0) {
    case 8: return forward;
    case 2: return -forward;
    case 6: return side;
    case 4: return -side;
    case 9: return forward + side;
    case 7: return forward - side;
    case 3: return side - forward;
    case 1: return -forward - side;
    case 5: return facing;
    default: return Vec3();
    }
}

void CRobot_Normal::CloseManoeuvre(u32 closing, f32 closingBlend, f32 fallBlend)
{
    layerEnded[0] = 0;
    if (HasScript(static_cast<i32>(closing)))
        SetAction(closing, closingBlend, kRestartAnime, 15, 0.98f, kWholeBody, &CRobot_Normal::StateFall);
    else
        SetAction(kActionFall, fallBlend, kRestartAnime, 15, 0.98f, kWholeBody, &CRobot_Normal::StateFall);
    attackKind = 0;
    subStateProc = nullptr;
}

i32 CRobot_Normal::ManoeuvreShotRule()
{
    if (Pressed(kInShot) && actionFrame > 5) {
        if (!buttonLatch[kInShot]) {
            buttonLatch[kInShot] = 1;
            if (attackKind == 0 && timers5[0] == 0) StartManoeuvreShot();
        }
        return 1;
    }
    buttonLatch[kInShot] = 0;
    const i32 hold = buttonHold[kInShot];
    if (hold >= kChargeFrames && chargeGauge >= kChargeStep && attackKind == 0) {
        StartManoeuvreShot();
        TakeCharge(hold);
        return 1;
    }
    return 0;
}

void CRobot_Normal::ManoeuvreSubRule(u32 firstTable)
{
    for (i32 k = 0; k < 3; ++k) {
        const i32 b = kInSub1 + k;
        if (!(Pressed(b) && actionFrame > 5)) {
            buttonLatch[b] = 0;
            continue;
        }
        if (buttonLatch[b]) continue;
        buttonLatch[b] = 1;
        if (attackKind != 0 || timers5[2 + k] != 0) continue;
        chargeLevel = 0;
        ScriptEntry* table = modelData ? modelData->ScriptTable(static_cast<i32>(firstTable) + k) : nullptr;
        if (subActive.IsCreated() && subActive.GetCount() > kManoeuvreSubChannel &&
            subActive[kManoeuvreSubChannel] == 0 && table) {
            subActive[kManoeuvreSubChannel] = 1;
            SetSubScript(table, 0, kManoeuvreSubChannel);
        }
    }
}

void CRobot_Normal::StateManoeuvre1()
{
    const i32 d0 = input.direction;
    Vec3 v = ManoeuvreCommon(d0);
    if (plat::Vec3Length(&aimVector) > 30.0f) v.y = 0.0f;
    plat::Vec3Normalize(&v, &v);
    const f32 c = DotClamped(facing, v);
    Vec3 axis;
    plat::Vec3Cross(&axis, &facing, &v);
    if (c > -1.0f && c < 1.0f && plat::Vec3LengthSq(&axis) > 0.0f) {
        plat::Vec3Normalize(&axis, &axis);
        const f32 limit = actionFrame < 10 ? 15.0f : 2.5f - 2.0f * c;
        const f32 angle = plat::DetAcos(c) * kRadToDeg;
        facing = RotateAbout(facing, axis, angle < limit ? angle : limit);
    }
    const f32 yaw = TurnToward(facing, 360.0f);

    const bool letGo = !Pressed(kInJump) && d0 == 5 && actionFrame > 30 && attackKind == 0;
    if (layerEnded[0] == 1 || letGo || boostGauge <= 0) {
        CloseManoeuvre(kActionManoeuvre1End, 10.0f, 20.0f);
        UpdatePosture(yaw);
        return;
    }
    if (ManoeuvreShotRule()) {
        UpdatePosture(yaw);
        return;
    }
    if (FreshPress(kInSaber)) {
        if (attackKind == 0 && timers5[1] == 0) {
            chargeLevel = 0;
            StartSaber(d0, 1);
            UpdatePosture(yaw);
            return;
        }
    }
    if (Pressed(kInGuard) && actionFrame > 5) {
        if (!buttonLatch[kInGuard]) {
            buttonLatch[kInGuard] = 1;
            if (attackKind == 0 && HasScript(kActionManoeuvre2)) {
                SetAction(kActionManoeuvre2, 3.0f, kRestartAnime, 0, 1.0f, kWholeBody, &CRobot_Normal::StateManoeuvre2);
                aimQuats[0] = Quat();
                attackKind = 0;
                subStateProc = nullptr;
                UpdatePosture(yaw);
            }
        }
    } else {
        buttonLatch[kInGuard] = 0;
    }
    ManoeuvreSubRule(kActionManoeuvreSub1);
    UpdatePosture(yaw);
    ++actionFrame;
}

void CRobot_Normal::StateManoeuvre2()
{
    const i32 d0 = input.direction;
    Vec3 v = ManoeuvreCommon(d0);
    v.y = 0.0f;
    plat::Vec3Normalize(&v, &v);
    v.y = -bodyPitch / 50.0f;
    plat::Vec3Normalize(&v, &v);
    f32 bankAxis = 0.0f;
    f32 c = DotClamped(facing, v);
    if (c < 1.0f) {
        Vec3 axis;
        plat::Vec3Cross(&axis, &facing, &v);
        if (plat::Vec3LengthSq(&axis) == 0.0f) {
            axis = Vec3(0.0f, 1.0f, 0.0f);
            c = 0.0f;
        }
        bankAxis = axis.y;
        const f32 angle = plat::DetAcos(c) * kRadToDeg;
        facing = RotateAbout(facing, axis, angle < 2.0f ? angle : 2.0f);
    }
    const f32 yaw = TurnToward(facing, 360.0f);

    const bool letGo =
        !Pressed(kInGuard) && !Pressed(kInJump) && d0 == 5 && actionFrame > 30 && attackKind == 0;
    if (layerEnded[0] == 1 || letGo || boostGauge <= 0) {
        CloseManoeuvre(kActionManoeuvre2End, 10.0f, 15.0f);
        aimQuats[0] = Quat();
        bodyRoll = 0.0f;
        bodyPitch = 0.0f;
        UpdatePosture(yaw);
        return;
    }
    if (Pressed(kInGuard)) {
        bodyPitch += 2.0f;
        if (bodyRoll > 30.0f) bodyRoll = 30.0f;
    }
    if (Pressed(kInJump)) {
        bodyPitch -= 2.0f;
        if (bodyRoll < -30.0f) bodyRoll = -30.0f;
    }
    if (actionFrame >= 10) {
        if (bankAxis < -0.1f) bodyRoll = bodyRoll + 2.5f > 60.0f ? 60.0f : bodyRoll + 2.5f;
        if (bankAxis > 0.1f) bodyRoll = bodyRoll - 2.5f < -60.0f ? -60.0f : bodyRoll - 2.5f;
    }
    if (actionFrame >= 20) {
        if (ManoeuvreShotRule()) {
            UpdatePosture(yaw);
            return;
        }
        ManoeuvreSubRule(kActionManoeuvre2Sub1);
    }
    UpdatePosture(yaw);
    ++actionFrame;
}

void CRobot_Normal::UpperAttackEnd()
{
    const u32 lower = LayerAnime(0);
    if (altActionSet == 0 && lower == kAltActionOffset + kActionIdle) SwitchLayerAnime(0, kActionIdle, 10.0f);
    if (altActionSet == 1 && lower == kActionIdle) SwitchLayerAnime(0, kAltActionOffset + kActionIdle, 10.0f);
    if (layerEnded[1] != 1) return;
    layerEnded[1] = 0;
    u32 n = LayerAnime(0);
    if (n <= kActionEscapeDash && altActionSet == 1) n += kAltActionOffset;
    if (n >= kAltActionOffset && n <= kAltActionOffset + kActionEscapeDash && altActionSet == 0) n -= kAltActionOffset;
    const i32 started = channelTable[0] ? SetScript(channelTable[0], 0, 1) : 0;
    if (!started && upperModel.root) {
        const f32 frame = lowerModel.currentTrack < kHierarchyTracks ? lowerModel.tracks[lowerModel.currentTrack].frame
                                                                    : 0.0f;
        upperModel.ChangeAnime(n, 0.0f, 10.0f, scriptContext.speed[1], 1.0f, frame,
                               static_cast<u32>(scriptContext.loop[1]));
    }
    attackKind = 0;
    subStateProc = nullptr;
}

void CRobot_Normal::ShotEndCommon(u32 a0, u32 a1, u32 a2, f32 aimBlend, f32 lowerBlend, f32 upperBlend,
                                  bool clearGuard)
{
    Vec3 t(forward.x, 0.0f, forward.z);
    plat::Vec3Normalize(&t, &t);
    Vec3 b(worldMatrix.m[2][0], worldMatrix.m[2][1], worldMatrix.m[2][2]);
    plat::Vec3Normalize(&b, &b);
    const f32 c = DotClamped(t, b);
    if (c >= -0.1f) {
        Vec3 x;
        plat::Vec3Cross(&x, &t, &b);
        const u32 wanted = c >= 0.707f ? a0 : (x.y > 0.0f ? a1 : a2);
        if (LayerAnime(1) != wanted) SwitchLayerAnime(1, wanted, aimBlend);
    }
    if (layerEnded[1] != 1) return;
    layerEnded[1] = 0;
    if (clearGuard) buttonLatch[kInGuard] = 0;
    ScriptEntry* lowerTable = channelTable[0];
    if (modelData && lowerTable &&
        (lowerTable == modelData->ScriptTable(static_cast<i32>(a0)) ||
         lowerTable == modelData->ScriptTable(static_cast<i32>(a1)) ||
         lowerTable == modelData->ScriptTable(static_cast<i32>(a2)))) {
        // A whole-body shot: the legs go back to standing.
        if (ScriptEntry* stand = modelData->ScriptTable(kActionIdle)) SetScript(stand, 0, 0);
        SwitchLayerAnime(0, kActionIdle, lowerBlend);
        if (lowerModel.currentTrack < kHierarchyTracks)
            lowerModel.tracks[lowerModel.currentTrack].speed = scriptContext.speed[0];
    }
    if (channelTable[0]) SetScript(channelTable[0], channelIndex[0], 1);
    if (upperModel.root && lowerModel.currentTrack < kHierarchyTracks) {
        const AnimeTrackSlot& lt = lowerModel.tracks[lowerModel.currentTrack];
        upperModel.ChangeAnime(lt.anime, 0.0f, upperBlend, lt.speed, 1.0f, lt.frame, lt.loop);
    }
    attackKind = 0;
    subStateProc = nullptr;
}

void CRobot_Normal::ShotEnd()
{
    situation = kSituationFiring;
    ShotEndCommon(kActionShot, kActionShotLeft, kActionShotRight, 20.0f, 10.0f, 20.0f, true);
}

void CRobot_Normal::ManoeuvreShotEnd()
{
    if (manoeuvreShotMode == 0) {
        ShotEndCommon(kActionManoeuvreShot, kActionManoeuvreShotLeft, kActionManoeuvreShotRight, 10.0f, 5.0f, 10.0f,
                      true);
        return;
    }
    if (layerEnded[1] != 1) return;
    if (channelTable[0]) SetScript(channelTable[0], channelIndex[0], 1);
    attackKind = 0;
    subStateProc = nullptr;
    layerEnded[1] = 0;
}

void CRobot_Normal::ManoeuvreShotEnd2()
{
    if (manoeuvreShotMode == 0) {
        ShotEndCommon(kActionManoeuvreShot2, kActionManoeuvreShot2Left, kActionManoeuvreShot2Right, 10.0f, 5.0f, 10.0f,
                      false);
        return;
    }
    if (layerEnded[1] != 1) return;
    if (channelTable[0]) SetScript(channelTable[0], channelIndex[0], 1);
    SwitchLayerAnime(1, LayerAnime(0), 10.0f);
    attackKind = 0;
    subStateProc = nullptr;
    layerEnded[1] = 0;
}
