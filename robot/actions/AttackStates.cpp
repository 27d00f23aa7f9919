// Buttons that start attacks, the attack starters and the whole-body attack,
// dash-slash and saber-combo states.
#include <cmath>

#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"

namespace {

constexpr i32 kSubActions[3] = {kActionSub1, kActionSub2, kActionSub3};

}  // namespace

i32 CRobot_Normal::ButtonHandlers(i32 wholeBody, i32 direction)
{
    if (ShotButton(wholeBody)) return 1;
    if (SaberButton(direction)) return 1;
    for (i32 k = 0; k < 3; ++k)
        if (SubButton(k)) return 1;
    return GuardButton();
}

i32 CRobot_Normal::ShotButton(i32 wholeBody)
{
    if (!Pressed(kInShot)) {
        buttonLatch[kInShot] = 0;
        if (attackKind != 0) return 0;
        const i32 hold = buttonHold[kInShot];
        if (hold >= kChargeFrames && chargeGauge >= kChargeStep) {
            StartShot(wholeBody);
            TakeCharge(hold);
            return 1;
        }
        return 0;
    }
    if (attackKind != 0 || buttonLatch[kInShot]) return 0;
    buttonLatch[kInShot] = 1;
    if (timers5[0] != 0) return 0;
    StartShot(wholeBody);
    return 1;
}

void CRobot_Normal::TakeCharge(i32 hold)
{
    const i32 byHold = hold / kChargeFrames;
    const i32 byGauge = chargeGauge / kChargeStep;
    chargeLevel = byHold < byGauge ? byHold : byGauge;
    chargeGauge -= chargeLevel * kChargeStep;
}

i32 CRobot_Normal::SaberButton(i32 direction)
{
    if (!Pressed(kInSaber)) {
        buttonLatch[kInSaber] = 0;
        return 0;
    }
    if (attackKind != 0 || buttonLatch[kInSaber]) return 0;
    buttonLatch[kInSaber] = 1;
    if (timers5[1] != 0) return 0;
    chargeLevel = 0;
    StartSaber(direction, 1);
    return 1;
}

i32 CRobot_Normal::SubButton(i32 which)
{
    const i32 b = kInSub1 + which;
    const u32 action = static_cast<u32>(kSubActions[which]);
    if (!Pressed(b)) {
        buttonLatch[b] = 0;
        if (attackKind != 0) return 0;
        const i32 hold = buttonHold[b];
        if (hold >= kChargeFrames && chargeGauge >= kChargeStep) {
            StartSubAttack(action);
            TakeCharge(hold);
            return 1;
        }
        return 0;
    }
    if (attackKind != 0 || buttonLatch[b]) return 0;
    buttonLatch[b] = 1;
    if (timers5[2 + which] != 0 || !HasScript(static_cast<i32>(action))) return 0;
    StartSubAttack(action);
    return 1;
}

i32 CRobot_Normal::GuardButton()
{
    if (guardCooldown >= 1) {
        buttonLatch[kInGuard] = 0;
        return 0;
    }
    if (!Pressed(kInGuard)) {
        buttonLatch[kInGuard] = 0;
        return 0;
    }
    if (attackKind != 0 || buttonLatch[kInGuard]) return 0;
    buttonLatch[kInGuard] = 1;
    if (boostGauge < 10 || !HasScript(kActionGuard) || !frameShield || frameShield->hidden != 0) return 0;
    SetAction(kActionGuard, 3.0f, kRestartAnime, 0, 0.8f, kWholeBody, &CRobot_Normal::StateGuard);
    attackKind = 2;
    return 1;
}

f32 CRobot_Normal::FacingDot(Vec3* cross) const
{
    Vec3 body(worldMatrix.m[2][0], worldMatrix.m[2][1], worldMatrix.m[2][2]);
    plat::Vec3Normalize(&body, &body);
    if (cross) plat::Vec3Cross(cross, &forward, &body);
    return plat::Vec3Dot(&forward, &body);
}

void CRobot_Normal::StartTurningShot()
{
    StartLayerAction(0, kActionTurningShot, kActionTurningShot, 5.0f);
    StartLayerAction(1, kActionTurningShot, kActionTurningShot, 5.0f);
    actionFrame = 0;
    moveDecay = 0.98f;
    stateProc = &CRobot_Normal::StateWholeBodyAttack;
    attackKind = 2;
    layerEnded[0] = 0;
    layerEnded[1] = 0;
    chargeLevel = 0;
}

void CRobot_Normal::StartUpperShot()
{
    StartLayerAction(1, kActionUpperShot, kActionUpperShot, 5.0f);
    attackKind = 1;
    subStateProc = &CRobot_Normal::UpperAttackEnd;
    layerEnded[1] = 0;
}

void CRobot_Normal::StartShot(i32 wholeBody)
{
    hitImmunity = 0;
    if (altActionSet == 1 && HasScript(kActionUpperShot)) {
        StartUpperShot();
        const u32 lower = LayerAnime(0);
        if (lower >= kAltActionOffset) SwitchLayerAnime(0, lower - kAltActionOffset, 10.0f);
        return;
    }
    Vec3 cross;
    const f32 c = FacingDot(&cross);
    if (c < -0.1f) {
        StartTurningShot();
        return;
    }
    const u32 anime = c >= 0.707f ? kActionShot : (cross.y <= 0.0f ? kActionShotRight : kActionShotLeft);
    if (wholeBody) StartLayerAction(0, kActionShot, anime, 10.0f);
    StartLayerAction(1, kActionShot, anime, 10.0f);
    layerEnded[1] = 0;
    attackKind = 1;
    subStateProc = &CRobot_Normal::ShotEnd;
    chargeLevel = 0;
}

void CRobot_Normal::StartManoeuvreShot()
{
    if (altActionSet == 1 && HasScript(kActionUpperShot)) {
        StartUpperShot();
    } else if (manoeuvreShotMode == 0) {
        Vec3 cross;
        const f32 c = FacingDot(&cross);
        if (c < -0.1f) {
            StartTurningShot();
            return;
        }
        const u32 anime = c >= 0.707f ? kActionManoeuvreShot
                                       : (cross.y <= 0.0f ? kActionManoeuvreShotRight : kActionManoeuvreShotLeft);
        StartLayerAction(1, kActionManoeuvreShot, anime, 10.0f);
        subStateProc = &CRobot_Normal::ManoeuvreShotEnd;
        attackKind = 1;
    } else {
        if (!HasScript(kActionManoeuvreShot2)) return;
        StartLayerAction(1, kActionManoeuvreShot2, kActionManoeuvreShot2, 10.0f);
        attackKind = 1;
        subStateProc = &CRobot_Normal::ManoeuvreShotEnd2;
    }
    layerEnded[1] = 0;
    chargeLevel = 0;
}

void CRobot_Normal::StartSaber(i32 direction, i32 wholeBody)
{
    if (altActionSet == 0 && HasScript(kActionUpperSlash)) {
        StartLayerAction(1, kActionUpperSlash, kActionUpperSlash, 5.0f);
        attackKind = 1;
        subStateProc = &CRobot_Normal::UpperAttackEnd;
        layerEnded[1] = 0;
        const u32 lower = LayerAnime(0);
        if (lower < kAltActionOffset) SwitchLayerAnime(0, lower + kAltActionOffset, 10.0f);
        return;
    }
    u32 action = kActionSaber;
    f32 decay = 0.9f;
    StateProc next = &CRobot_Normal::StateSaberCombo;
    if ((direction == 7 || direction == 8 || direction == 9) && HasScript(kActionDashSlash)) {
        action = kActionDashSlash;
        decay = 1.0f;
        next = &CRobot_Normal::StateDashSlash;
    } else {
        if (direction == 4 && HasScript(kActionSaberLeft)) action = kActionSaberLeft;
        if (direction == 6 && HasScript(kActionSaberRight)) action = kActionSaberRight;
        if (direction == 2 && HasScript(kActionSaberBack)) action = kActionSaberBack;
        comboStep = 1;
    }
    if (wholeBody) StartLayerAction(0, action, action, 2.0f);
    StartLayerAction(1, action, action, 2.0f);
    stateProc = next;
    moveDecay = decay;
    actionFrame = 0;
    layerEnded[0] = layerEnded[1] = 0;
    comboCount = 0;
    hitImmunity = 0;
    attackKind = 2;
    subStateProc = nullptr;
    plat::Vec3Normalize(&facing, &forward);
}

void CRobot_Normal::StartSubAttack(u32 action)
{
    StartLayerAction(0, action, action, 5.0f);
    StartLayerAction(1, action, action, 5.0f);
    actionFrame = 0;
    hitImmunity = 0;
    moveDecay = 0.95f;
    stateProc = &CRobot_Normal::StateWholeBodyAttack;
    attackKind = 2;
    layerEnded[0] = layerEnded[1] = 0;
    subStateProc = nullptr;
    chargeLevel = 0;
}

void CRobot_Normal::EndWholeBodyAttack(f32 fallDecay)
{
    layerEnded[0] = 0;
    attackKind = 0;
    if (airborne)
        SetAction(kActionFall, 5.0f, kRestartAnime, 0, fallDecay, kWholeBody, &CRobot_Normal::StateFall);
    else
        SetAction(kActionBrake, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateBrake);
}

void CRobot_Normal::StateWholeBodyAttack()
{
    situation = kSituationFiring;
    DecayImpact();
    AddEnergy(1.0f);
    f32 yaw = 0.0f;
    if (!layerEnded[0]) {
        if (input.direction == 4) yaw = -attackTurnRate;
        if (input.direction == 6) yaw = attackTurnRate;
        ++actionFrame;
    } else {
        EndWholeBodyAttack(0.99f);
    }
    UpdatePosture(yaw);
}

void CRobot_Normal::StateDashSlash()
{
    situation = kSituationDashSlash;
    DecayImpact();
    SpendBoost(5);
    const f32 speed = plat::Vec3Length(&velocity) + std::fabs(scriptContext.move[2]);
    if (actionFrame % 2 == 0 && speed > kFastSpeed && groundDistance < 0.1f) DashSmoke(0.1f, 0.04f, 1.4f);
    Mat4* aim = lockTarget ? lockTarget->GetTargetMatrix() : nullptr;
    if (aim) {
        const Vec3 to = Vec3(aim->m[3][0], aim->m[3][1], aim->m[3][2]) - BodyNodePosition();
        if (plat::Vec3Length(&to) < 3.5f) layerEnded[0] = 1;
    }
    if ((layerEnded[0] || boostGauge <= 0) && actionFrame > 5) {
        StartLayerAction(0, kActionDashSlashStrike, kActionDashSlashStrike, 5.0f);
        StartLayerAction(1, kActionDashSlashStrike, kActionDashSlashStrike, 5.0f);
        actionFrame = 0;
        moveDecay = 0.9f;
        stateProc = &CRobot_Normal::StateSaberCombo;
        attackKind = 2;
        comboStep = 1;
        layerEnded[0] = layerEnded[1] = 0;
        StopLoopSound();
    } else {
        ++actionFrame;
    }
    UpdatePosture(0.0f);
}

bool CRobot_Normal::PayComboCancel()
{
    const i32 cost = comboTimer > 0 ? 500 : 1500;
    if (chargeGauge < cost) return false;
    chargeGauge -= cost;
    comboCount = 0;
    comboQueued = 0;
    return true;
}

void CRobot_Normal::StateSaberCombo()
{
    situation = kSituationSaber;
    DecayImpact();
    if (layerEnded[0]) {
        EndWholeBodyAttack(0.9f);
        UpdatePosture(0.0f);
        return;
    }
    if (!holding) {
        if (FreshPress(kInSaber)) comboQueued = 1;
        const i16 nextStep = scriptContext.swordCancel;
        if (comboQueued && nextStep != 0 && HasScript(nextStep)) {
            const u32 next = static_cast<u32>(nextStep);
            StartLayerAction(0, next, next, 3.0f);
            StartLayerAction(1, next, next, 3.0f);
            actionFrame = 0;
            moveDecay = comboCount < 1 ? 0.5f : 0.9f;
            layerEnded[0] = layerEnded[1] = 0;
            StopLoopSound();
            attackKind = 2;
            ++comboStep;
            comboQueued = 0;
        }
        if (FreshPress(kInGuard) && guardCooldown < 1 && boostGauge >= 10 && HasScript(kActionGuard) &&
            PayComboCancel()) {
            SetAction(kActionGuard, 3.0f, kRestartAnime, 0, 0.8f, kWholeBody, &CRobot_Normal::StateGuard);
            UpdatePosture(0.0f);
            return;
        }
        if (actionFrame > 15) {
            if (JumpTapped() && boostGauge >= 1 && PayComboCancel()) {
                EnterAirManoeuvre();
                UpdatePosture(0.0f);
                return;
            }
            const i32 d = input.direction;
            if (d != 5 && DashTapped() && boostGauge > 0 && PayComboCancel()) {
                facing = GetMoveDirection(d);
                StartDash(d, 1);
                UpdatePosture(0.0f);
                return;
            }
        }
    }
    ++actionFrame;
    UpdatePosture(0.0f);
}
