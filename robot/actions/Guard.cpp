// The guard: the shield held up at a boost cost a frame, and what follows
// it (release, guard attack, a saber, a called-in reward).
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"

namespace {

constexpr i32 kInSub3 = kInSub1 + 2;

}  // namespace

void CRobot_Normal::StateGuard()
{
    situation = kSituationGuard;
    const i32 d0 = input.direction;
    if (scriptContext.move[2] > 0.1f) scriptContext.move[2] = 0.1f;
    DecayImpact();
    // Paid without the parts' bonus: only gains are scaled.
    SpendBoost(5);
    AddEnergy(1.0f);
    const f32 yaw = actionFrame < 6 ? TurnTowardView(false) : 0.0f;
    // A blocked hit keeps the shield up for its whole timer.
    if ((layerEnded[0] == 1 || boostGauge == 0 || !Pressed(kInGuard)) && guardHitTimer == 0) {
        layerEnded[0] = 0;
        if (airborne == 0) {
            SetAction(kActionBrake, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateGuardRelease);
        } else {
            const i32 n = actionFrame;
            SetAction(kActionFall, 5.0f, kRestartAnime, 60, 0.99f, kWholeBody, &CRobot_Normal::StateFall);
            if (n >= 30) actionFrame = 0;
        }
        guardCooldown = 10;
        UpdatePosture(yaw);
        return;
    }
    if (Pressed(kInShot)) {
        if (!buttonLatch[kInShot]) {
            buttonLatch[kInShot] = 1;
            if (HasScript(kActionGuardAttack))
                SetAction(kActionGuardAttack, 3.0f, kRestartAnime, 0, 1.0f, kWholeBody,
                          &CRobot_Normal::StateGuardAttack);
            UpdatePosture(yaw);
            return;
        }
    } else {
        buttonLatch[kInShot] = 0;
    }
    if (Pressed(kInSaber)) {
        if (!buttonLatch[kInSaber]) {
            buttonLatch[kInSaber] = 1;
            chargeLevel = 0;
            StartSaber(d0, 1);
            UpdatePosture(yaw);
            return;
        }
    } else {
        buttonLatch[kInSaber] = 0;
    }
    if (Pressed(kInSub3)) {
        if (!buttonLatch[kInSub3]) {
            buttonLatch[kInSub3] = 1;
            if (!pendingRewards.empty()) {
                const i32 code = pendingRewards.front();
                pendingRewards.erase(pendingRewards.begin());
                CarryOutReward(code);
            }
            return;
        }
    } else {
        buttonLatch[kInSub3] = 0;
    }
    UpdatePosture(yaw);
    ++actionFrame;
}

void CRobot_Normal::StateGuardRelease()
{
    situation = kSituationNeutral;
    const i32 d0 = input.direction;
    DecayImpact();
    AddBoostGauge(boostRegen);
    AddEnergy(3.0f);
    if (d0 != 5) {
        stateProc = &CRobot_Normal::StateIdle;
        StateIdle();
        UpdatePosture(0.0f);
        return;
    }
    if (airborne == 1) {
        SetAction(kActionFall, 3.0f, kRestartAnime, 0, 0.99f, kWholeBody, &CRobot_Normal::StateFall);
        UpdatePosture(0.0f);
        return;
    }
    if (layerEnded[0] == 1) {
        layerEnded[0] = 0;
        SetAction(kActionIdle, 3.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateIdle);
        UpdatePosture(0.0f);
        return;
    }
    if (ButtonHandlers(1, d0)) {
        UpdatePosture(0.0f);
        return;
    }
    UpdatePosture(0.0f);
    ++actionFrame;
}

void CRobot_Normal::StateGuardAttack()
{
    situation = kSituationGuardAttack;
    DecayImpact();
    SpendBoost(25);
    // Held every frame, so the cooldown runs from the attack's end.
    guardCooldown = 120;
    const f32 yaw = actionFrame < 6 ? TurnTowardView(true) : 0.0f;
    facing = forward;
    if (layerEnded[0] == 1 || boostGauge == 0) {
        layerEnded[0] = 0;
        if (airborne != 1)
            SetAction(kActionLanding, 2.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateBrake);
        else
            SetAction(kActionFall, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateFall);
        UpdatePosture(yaw);
        return;
    }
    UpdatePosture(yaw);
    ++actionFrame;
}
