// The states of a robot on its feet and in the air: idle, walk, jump, boosted
// rise, fall, landing, brake and the boost dash.
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "weapon/WeaponBase.h"

namespace {

f32 Between(f32 lo, f32 hi) { return lo + (hi - lo) * static_cast<f32>(BattleUnit()); }

}  // namespace

bool CRobot_Normal::FreshPress(i32 b)
{
    if (!Pressed(b)) {
        buttonLatch[b] = 0;
        return false;
    }
    if (buttonLatch[b]) return false;
    buttonLatch[b] = 1;
    return true;
}

bool CRobot_Normal::DashTapped() const
{
    if (!commandProgress.IsCreated()) return false;
    for (i32 s = 0; s < 4; ++s)
        if (commandProgress[s].doneTimer > 0) return true;
    return false;
}

bool CRobot_Normal::JumpTapped() const
{
    return commandProgress.IsCreated() && commandProgress[kCmdJumpTap].doneTimer >= 1;
}

void CRobot_Normal::ClearJumpTapProgress()
{
    if (!commandProgress.IsCreated()) return;
    CommandProgress& p = commandProgress[kCmdJumpTap];
    p.timer = p.step = p.directionMatched = p.buttonsMatched = 0;
}

void CRobot_Normal::TurnViewByDirection(i32 d)
{
    f32 angle = 0.0f;
    switch (d) {
    case 4: angle = -0.017453f; break;
    case 7: angle = -0.0087265f; break;
    case 1: angle = -0.0261795f; break;
    case 6: angle = 0.017453f; break;
    case 9: angle = 0.0087265f; break;
    case 3: angle = 0.0261795f; break;
    default: return;
    }
    Mat4 turn;
    plat::MatrixRotationY(&turn, angle);
    Vec3 v;
    plat::Vec3TransformNormal(&v, &forward, &turn);
    forward = v;
    plat::Vec3TransformNormal(&v, &aimVector, &turn);
    aimVector = v;
    plat::Vec3TransformNormal(&v, &side, &turn);
    side = v;
}

void CRobot_Normal::StateIdle()
{
    speedFactor = 1.0f;
    situation = kSituationNeutral;
    DecayImpact();
    AddBoostGauge(boostRegen);
    AddEnergy(4.0f);
    layerEnded[0] = 0;
    const i32 d = input.direction;
    if (d == 5) {
        if (Pressed(kInJump) && attackKind == 0) {
            SetAction(kActionJumpStart, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateJumpStart);
        } else if (airborne) {
            SetAction(kActionFall, 20.0f, kRestartAnime, 0, 0.99f, attackKind == 0, &CRobot_Normal::StateFall);
            attackKind = 0;
        } else if (!ButtonHandlers(1, d)) {
            ++actionFrame;
        }
    } else {
        facing = GetMoveDirection(d);
        if (DashTapped() && boostGauge > 0)
            StartDash(d, attackKind == 0);
        else
            SetAction(kActionWalk, 5.0f, kRestartAnime, 0, 1.0f, attackKind == 0, &CRobot_Normal::StateWalk);
    }
    UpdatePosture(0.0f);
}

void CRobot_Normal::StateWalk()
{
    speedFactor = 1.0f;
    situation = kSituationWalk;
    DecayImpact();
    AddBoostGauge(boostRegen);
    AddEnergy(2.0f);
    const i32 d = input.direction;
    if (d == 5) {
        SetAction(kActionIdle, 5.0f, kRestartAnime, 0, 0.8f, attackKind == 0, &CRobot_Normal::StateIdle);
        UpdatePosture(0.0f);
        return;
    }
    if (!lockTarget) TurnViewByDirection(d);
    facing = GetMoveDirection(d);
    const f32 yaw = TurnToward(facing, attackKind ? 2.0f : 12.0f);
    if (Pressed(kInJump) && attackKind == 0) {
        SetAction(kActionJumpStart, 5.0f, kRestartAnime, 0, 1.0f, kWholeBody, &CRobot_Normal::StateJumpStart);
    } else if (airborne) {
        SetAction(kActionFall, 20.0f, kRestartAnime, 0, 0.99f, kWholeBody, &CRobot_Normal::StateFall);
        attackKind = 0;
    } else if (!ButtonHandlers(0, d)) {
        ++actionFrame;
    }
    UpdatePosture(yaw);
}

void CRobot_Normal::StateJumpStart()
{
    situation = kSituationAirborne;
    DecayImpact();
    AddEnergy(1.0f);
    if (layerEnded[0]) {
        layerEnded[0] = 0;
        SetAction(kActionRise, 5.0f, kRestartAnime, 0, 1.0f, attackKind == 0, &CRobot_Normal::StateJumpRise);
    } else {
        ++actionFrame;
    }
    UpdatePosture(0.0f);
}

void CRobot_Normal::StateJumpRise()
{
    situation = kSituationAirborne;
    DecayImpact();
    AddEnergy(1.0f);
    if (actionFrame > 10) ClearJumpTapProgress();
    if (velocity.y > kClimbLimit) velocity.y = kClimbLimit;
    SpendBoost(5);
    if (actionFrame >= 10) stateProc = &CRobot_Normal::StateBoostRise;
    if ((actionFrame < 11 || airborne) && airborne != 2) {
        if (!ButtonHandlers(0, input.direction)) ++actionFrame;
    } else {
        SetAction(kActionLanding, 8.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateLanding);
    }
    UpdatePosture(0.0f);
}

void CRobot_Normal::EnterAirManoeuvre()
{
    if (attackKind == 1) {
        SpendBoost(modelData ? modelData->generator / 10 : 0);
        speedFactor = 1.3f;
    }
    if (commandProgress.IsCreated()) commandProgress[kCmdJumpTap].doneTimer = 0;
    SetAction(kActionManoeuvre1, 3.0f, kRestartAnime, 0, 1.0f, kWholeBody, &CRobot_Normal::StateManoeuvre1);
    attackKind = 0;
    subStateProc = nullptr;
}

void CRobot_Normal::StateBoostRise()
{
    situation = kSituationAirborne;
    DecayImpact();
    AddEnergy(1.0f);
    if (actionFrame > 10) ClearJumpTapProgress();
    if (JumpTapped() && boostGauge >= 1 && airborne) {
        EnterAirManoeuvre();
        UpdatePosture(0.0f);
        return;
    }
    if (actionFrame < 10) velocity.y = 0.0f;
    else if (velocity.y > kClimbLimit) velocity.y = kClimbLimit;
    SpendBoost(5);
    const i32 d = input.direction;
    f32 yaw = 0.0f;
    if (Pressed(kInJump) && boostGauge > 0) {
        if (d != 5) {
            if (!lockTarget) TurnViewByDirection(d);
            facing = GetMoveDirection(d);
            yaw = TurnToward(facing, attackKind ? 2.0f : 14.0f);
            ScriptEntry* steer = modelData ? modelData->ScriptTable(kActionBoostSteer) : nullptr;
            if (steer) {
                if (channelTable[0] != steer) SetScript(steer, 0, 0);
                if (attackKind == 0 && channelTable[1] != steer) SetScript(steer, 0, 1);
            }
            if (DashTapped() && boostGauge >= 80) {
                SpendBoost(80);
                StartDash(d, attackKind == 0);
                UpdatePosture(yaw);
                return;
            }
        }
    } else if (actionFrame >= 5) {
        SetAction(kActionFall, 15.0f, kRestartAnime, 0, 0.99f, kWholeBody, &CRobot_Normal::StateFall);
        UpdatePosture(0.0f);
        return;
    }
    if ((airborne || actionFrame < 11) && ButtonHandlers(0, d)) {
        UpdatePosture(yaw);
        return;
    }
    ++actionFrame;
    UpdatePosture(yaw);
}

void CRobot_Normal::StateFall()
{
    situation = kSituationAirborne;
    DecayImpact();
    AddBoostGauge(boostRegen);
    AddEnergy(1.0f);
    if (actionFrame < 31 && boostGauge > 0 && velocity.y < 0.05f) velocity.y += 0.012f;
    const i32 d = input.direction;
    if (JumpTapped() && boostGauge >= 1 && airborne) {
        EnterAirManoeuvre();
    } else if (d != 5 && DashTapped() && actionFrame > 7 && boostGauge >= 80) {
        SpendBoost(80);
        facing = GetMoveDirection(d);
        StartDash(d, attackKind == 0);
    } else if (Pressed(kInJump) && boostGauge >= 80 && actionFrame > 10) {
        SpendBoost(80);
        SetAction(kActionRise, 2.0f, kRestartAnime, 0, 1.0f, attackKind == 0, &CRobot_Normal::StateBoostRise);
    } else if (airborne && airborne != 2) {
        if (!ButtonHandlers(0, d)) ++actionFrame;
    } else {
        SetAction(kActionLanding, 8.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateLanding);
    }
    UpdatePosture(0.0f);
}

void CRobot_Normal::StateLanding()
{
    situation = kSituationLanding;
    DecayImpact();
    AddBoostGauge(boostRegen);
    AddEnergy(3.0f);
    if (actionFrame == 0) {
        const Vec3 at(worldMatrix.m[3][0], worldMatrix.m[3][1], worldMatrix.m[3][2]);
        for (i32 i = 0; i < 20; ++i) {
            // Offsets first, then the drift, each in x, y, z order.
            Vec3 p = at;
            p.x += Between(-1.2f, 1.2f);
            p.z += Between(-1.2f, 1.2f);
            Vec3 drift;
            drift.x = Between(-0.08f, 0.08f);
            drift.y = Between(0.0f, 0.03f);
            drift.z = Between(-0.08f, 0.08f);
            RaiseSmoke(p, 2.0f, drift, 0xC8FFFFFFu);
        }
    }
    if (layerEnded[0]) {
        layerEnded[0] = 0;
        SetAction(kActionIdle, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateIdle);
        buttonLatch[kInGuard] = 0;
    } else if (!airborne) {
        if (Pressed(kInGuard) && !buttonLatch[kInGuard] && guardCooldown < 1 && boostGauge >= 10 &&
            attackKind == 0 && HasScript(kActionGuard) && chargeGauge >= 2000) {
            buttonLatch[kInGuard] = 1;
            chargeGauge -= 2000;
            SetAction(kActionGuard, 3.0f, kRestartAnime, 0, 0.8f, kWholeBody, &CRobot_Normal::StateGuard);
            comboCount = 0;
        } else {
            ++actionFrame;
        }
    } else {
        SetAction(kActionFall, 20.0f, kRestartAnime, 0, 0.99f, kWholeBody, &CRobot_Normal::StateFall);
    }
    UpdatePosture(0.0f);
}

void CRobot_Normal::StateBrake()
{
    situation = kSituationLanding;
    DecayImpact();
    AddBoostGauge(boostRegen);
    AddEnergy(3.0f);
    const i32 d = input.direction;
    if (actionFrame > 10) {
        if (d != 5) {
            facing = GetMoveDirection(d);
            if (DashTapped() && boostGauge > 0)
                StartDash(d, attackKind == 0);
            else
                SetAction(kActionWalk, 5.0f, kRestartAnime, 0, 1.0f, attackKind == 0, &CRobot_Normal::StateWalk);
            UpdatePosture(0.0f);
            return;
        }
        if (ButtonHandlers(1, d)) {
            UpdatePosture(0.0f);
            return;
        }
    }
    if (airborne) {
        SetAction(kActionFall, 20.0f, kRestartAnime, 0, 0.99f, kWholeBody, &CRobot_Normal::StateFall);
    } else if (layerEnded[0]) {
        layerEnded[0] = 0;
        SetAction(kActionIdle, 3.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateIdle);
    } else {
        ++actionFrame;
    }
    UpdatePosture(0.0f);
}

void CRobot_Normal::DashSmoke(f32 spread, f32 rise, f32 size)
{
    Vec3 p(worldMatrix.m[3][0], worldMatrix.m[3][1] - groundDistance, worldMatrix.m[3][2]);
    p.x += Between(-spread, spread);
    p.z += Between(-spread, spread);
    Vec3 drift;
    drift.x = Between(-0.04f, 0.04f);
    drift.y = Between(0.0f, rise);
    drift.z = Between(-0.04f, 0.04f);
    RaiseSmoke(p, size, drift, 0xFFFFFFFFu);
}

void CRobot_Normal::StartDash(i32 direction, i32 wholeBody)
{
    dashDirection = static_cast<u8>(direction);
    const Vec3 front(worldMatrix.m[2][0], worldMatrix.m[2][1], worldMatrix.m[2][2]);
    const Vec3 right(worldMatrix.m[0][0], worldMatrix.m[0][1], worldMatrix.m[0][2]);
    // Body axes: 0 front, 1 left, 2 right, 3 back, with their dash actions.
    const Vec3 axes[4] = {front, -right, right, -front};
    const u32 actions[4] = {kActionDashForward, kActionDashLeft, kActionDashRight, kActionDashBack};
    const u8 animSets[4] = {1, 0, 2, 3};
    i32 order[4] = {0, 3, 1, 2};
    if (direction == 4) { order[0] = 1; order[1] = 2; order[2] = 0; order[3] = 3; }
    if (direction == 6) { order[0] = 2; order[1] = 1; order[2] = 0; order[3] = 3; }
    if (direction == 2) { order[0] = 3; order[1] = 0; order[2] = 1; order[3] = 2; }
    const u8 slots[4] = {1, 3, 0, 2};
    Vec3 f;
    plat::Vec3Normalize(&f, &facing);
    for (i32 k = 0; k < 4; ++k) {
        const i32 a = order[k];
        if (plat::Vec3Dot(&f, &axes[a]) < 0.7f) continue;
        dashAnimSet = animSets[a];
        dashSlot = slots[k];
        SetAction(actions[a], 5.0f, kRestartAnime, 0, 1.0f, wholeBody, &CRobot_Normal::StateDash);
        return;
    }
}

void CRobot_Normal::StateDash()
{
    situation = kSituationDash;
    DecayImpact();
    AddEnergy(1.0f);
    boostGauge -= 4;
    if (boostGauge < 0) {
        boostGauge = 0;
        actionFrame = 61;
    }
    if (actionFrame % 2 == 0 && groundDistance < 0.1f) DashSmoke(0.1f, 0.04f, 1.4f);
    const i32 d = input.direction;
    if (actionFrame > 15 && !(d == dashDirection && actionFrame < 61)) {
        if (airborne)
            SetAction(kActionFall, 10.0f, kRestartAnime, 0, 0.95f, kWholeBody, &CRobot_Normal::StateFall);
        else if (attackKind == 0)
            SetAction(kActionBrake, 8.0f, kRestartAnime, 0, 0.92f, kWholeBody, &CRobot_Normal::StateBrake);
        else
            SetAction(kActionLanding, 8.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateLanding);
        UpdatePosture(0.0f);
        return;
    }
    if (Pressed(kInJump) && attackKind == 0 && boostGauge >= 80) {
        SpendBoost(80);
        StopLoopSound();
        if (groundDistance < 0.1f)
            SetAction(kActionJumpStart, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateJumpStart);
        else
            SetAction(kActionRise, 2.0f, kRestartAnime, 0, 1.0f, kWholeBody, &CRobot_Normal::StateBoostRise);
        UpdatePosture(0.0f);
        return;
    }
    Vec3 steer = GetMoveDirection(dashDirection) + forward * 0.3f;
    Mat4* aim = lockTarget ? lockTarget->GetTargetMatrix() : nullptr;
    if (aim) {
        const Vec3 body = BodyNodePosition();
        const Vec3 to = Vec3(aim->m[3][0], aim->m[3][1], aim->m[3][2]) - body;
        const f32 distance = plat::Vec3Length(&to);
        if (distance <= 6.0f) steer -= forward * (6.0f - distance < 0.4f ? 6.0f - distance : 0.4f);
    }
    if (airborne != 1) steer.y = 0.0f;
    plat::Vec3Normalize(&facing, &steer);
    f32 yaw = 0.0f;
    if (!ButtonHandlers(0, d)) {
        ++actionFrame;
        yaw = TurnToward(facing, kDashTurn);
    }
    UpdatePosture(yaw);
}
