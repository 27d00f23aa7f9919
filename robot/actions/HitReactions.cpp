// What a robot does after a hit: the choice between a light hit, knock-back
// and knock-down, lying down and getting up, the escapes bought from the
// charge gauge and the state of a robot held by another.
#include "engine/core/VectorFunctions.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Spark.h"

namespace {

constexpr i32 kEscapeSparkTexture = 7;
constexpr i32 kDustTexture = 11;
constexpr f32 kRadToDeg = 57.2957763671875f;

f32 Spread() { return static_cast<f32>(BattleUnit()) * 0.6f - 0.3f; }

}  // namespace

void CRobot_Normal::ChooseHitReaction()
{
    if (heldBy || (hitStop != 0 && situation == kSituationHit)) return;
    if (impactKind == 0) return;
    const bool dropped = impactKind == 4 || (impactValue < 200 && impactKind != 2 && impactKind != 3);
    if (!dropped) {
        const bool heavy = impactValue >= 401 || impactKind == 3 || hp <= 0 ||
                           stateProc == &CRobot_Normal::HitKnockBackState || stateProc == &CRobot_Normal::DownState;
        u32 anime = airborne == 1 ? kActionHitLightAir : kActionHitLight;
        StateProc next = &CRobot_Normal::HitLightState;
        if (heavy) {
            anime = kActionHitHeavy;
            next = impactValue >= 401 ? &CRobot_Normal::HitKnockDownState : &CRobot_Normal::HitKnockBackState;
        }
        aimQuats[0] = Quat();
        for (i32 c = 0; c < kScriptMainChannels; ++c) {
            CHierarchyObject& m = c == 0 ? static_cast<CHierarchyObject&>(lowerModel) : upperModel;
            // Without a table for the reaction the channel restarts its own.
            ScriptEntry* table = modelData ? modelData->ScriptTable(static_cast<i32>(anime)) : nullptr;
            SetScript(table, 0, c);
            if (m.root)
                m.PlayAnimation(anime, m.currentTrack, scriptContext.speed[c], 1.0f, 0.0f,
                                static_cast<u32>(scriptContext.loop[c]), 0);
        }
        stateProc = next;
        actionFrame = 0;
        moveDecay = 0.9f;
        attackKind = 0;
        layerEnded[0] = layerEnded[1] = 0;
        subStateProc = nullptr;
        situation = kSituationHit;
        StopLoopSound();
        if (holding) {
            holding->heldBy = nullptr;
            holding = nullptr;
        }
    }
    impactKind = 0;
}

bool CRobot_Normal::TryEscape(i32 cost, bool toGuard)
{
    const i32 first = toGuard ? kInSaber : kInShot;
    const i32 second = toGuard ? kInGuard : kInSaber;
    if (Pressed(first) != 1 || Pressed(second) != 1 || chargeGauge < cost) return false;
    buttonLatch[first] = 1;
    buttonLatch[second] = 1;
    const i32 action = toGuard ? kActionGuard : kActionEscapeDash;
    if (!HasScript(action)) return false;
    if (toGuard)
        SetAction(kActionGuard, 3.0f, kRestartAnime, 0, 0.8f, kWholeBody, &CRobot_Normal::StateGuard);
    else
        SetAction(kActionEscapeDash, 3.0f, kRestartAnime, 0, 1.0f, kWholeBody, &CRobot_Normal::EscapeDashState);
    chargeGauge -= cost;
    hitImmunity = toGuard ? 6 : 3;
    const WeaponWorld& world = CurrentWeaponWorld();
    const Vec3 at = frameUpperBody ? Vec3(frameUpperBody->world.m[3][0], frameUpperBody->world.m[3][1],
                                          frameUpperBody->world.m[3][2])
                                   : Vec3(worldMatrix.m[3][0], worldMatrix.m[3][1], worldMatrix.m[3][2]);
    for (i32 i = 0; i < 30; ++i) {
        Vec3 v;
        v.x = Spread() * 0.5f;
        v.y = Spread() * 0.5f;
        v.z = Spread() * 0.5f;
        if (BB_Tiri* spark = NewObject<BB_Tiri>(world.effects, 1))
            spark->Set(&at, 0.1f, 0.1f, 2.5f, 0.0f, &v, 1, world.Texture(kEscapeSparkTexture), 0xFFFFFFFFu, 255);
    }
    UpdatePosture(0.0f);
    return true;
}

void CRobot_Normal::LatchHitButtons()
{
    for (i32 b : {kInShot, kInSaber, kInGuard}) buttonLatch[b] = Pressed(b) == 1 ? 1 : 0;
}

f32 CRobot_Normal::TurnTowardView(bool strict) const
{
    Vec3 t(forward.x, 0.0f, forward.z);
    plat::Vec3Normalize(&t, &t);
    Vec3 f(worldMatrix.m[2][0], worldMatrix.m[2][1], worldMatrix.m[2][2]);
    f32 c = Vec3DotClamped(f, t);
    if (!(c < 1.0f)) return 0.0f;
    if (strict && c <= -1.0f) return 0.0f;
    Vec3 axis = Vec3Cross(f, t);
    if (Vec3Length(axis) == 0.0f) {
        if (strict) return 0.0f;
        axis = Vec3(0.0f, 1.0f, 0.0f);
        c = 0.0f;
    } else {
        plat::Vec3Normalize(&axis, &axis);
    }
    f32 angle = plat::DetAcos(c) * kRadToDeg;
    if (angle > 30.0f) angle = 30.0f;
    Mat4 turn;
    plat::MatrixRotationAxis(&turn, &axis, angle * 0.017453f);
    Vec3 turned;
    plat::Vec3TransformNormal(&turned, &f, &turn);
    plat::Vec3Normalize(&turned, &turned);
    return TurnToward(turned, 360.0f);
}

void CRobot_Normal::HitLightState()
{
    comboQueued = 0;
    situation = kSituationHit;
    AddEnergy(2.0f);
    if (layerEnded[0] == 1) {
        layerEnded[0] = 0;
        if (airborne != 1)
            SetAction(kActionIdle, 0.1f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateIdle);
        else
            SetAction(kActionFall, 0.1f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateFall);
        UpdatePosture(0.0f);
        buttonLatch[kInGuard] = 0;
        return;
    }
    if (hitImmunity == 0 && (TryEscape(6000, true) || TryEscape(4000, false))) return;
    LatchHitButtons();
    UpdatePosture(0.0f);
    ++actionFrame;
}

void CRobot_Normal::HitKnockBackState()
{
    comboQueued = 0;
    situation = kSituationHit;
    AddEnergy(2.0f);
    if (layerEnded[0] == 1) {
        layerEnded[0] = 0;
        SetAction(kActionIdle, 0.1f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateIdle);
        UpdatePosture(0.0f);
        buttonLatch[kInGuard] = 0;
        return;
    }
    if (hitImmunity == 0 && (TryEscape(6000, true) || TryEscape(4000, false))) return;
    LatchHitButtons();
    if (actionFrame > 10 && (airborne == 0 || airborne == 2)) {
        SetAction(kActionDown, 2.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::DownState);
        UpdatePosture(0.0f);
        return;
    }
    UpdatePosture(0.0f);
    ++actionFrame;
}

void CRobot_Normal::HitKnockDownState()
{
    comboQueued = 0;
    situation = kSituationHit;
    impactValue = 0;
    hitImmunity = 30;
    AddEnergy(2.0f);
    if (layerEnded[0] == 1) {
        layerEnded[0] = 0;
        SetAction(kActionIdle, 0.1f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateIdle);
        UpdatePosture(0.0f);
        return;
    }
    LatchHitButtons();
    if (actionFrame > 10 && airborne != 1) {
        hitImmunity = 180;
        SetAction(kActionDown, 2.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::DownState);
        UpdatePosture(0.0f);
        return;
    }
    UpdatePosture(0.0f);
    ++actionFrame;
}

void CRobot_Normal::DownState()
{
    situation = kSituationDown;
    if (actionFrame % 2 == 0 && impactValue > 0) --impactValue;
    AddBoostGauge(boostRegen);
    AddEnergy(3.0f);
    if (actionFrame == 0) {
        const WeaponWorld& world = CurrentWeaponWorld();
        const Vec3 at(worldMatrix.m[3][0], worldMatrix.m[3][1], worldMatrix.m[3][2]);
        for (i32 i = 0; i < 20; ++i) {
            Vec3 v, p = at;
            v.x = static_cast<f32>(BattleUnit()) * 0.16f - 0.08f;
            v.y = static_cast<f32>(BattleUnit()) * 0.04f;
            v.z = static_cast<f32>(BattleUnit()) * 0.16f - 0.08f;
            p.x += static_cast<f32>(BattleUnit()) * 2.4f - 1.2f;
            p.z += static_cast<f32>(BattleUnit()) * 2.4f - 1.2f;
            if (BB_GSmoke* dust = NewObject<BB_GSmoke>(world.effects, 1))
                dust->Set(&p, 2.0f, &v, 0, world.Texture(kDustTexture), 0xFFFFFFFFu, -4, 0.005f);
        }
        if (world.cameraShake) {
            const Vec3 to = at - world.Eye();
            const f32 d = plat::Vec3Length(&to);
            if (d <= 15.0f && static_cast<f32>(*world.cameraShake) < (15.0f - d) * 3.0f)
                *world.cameraShake = (15 - static_cast<i32>(d)) * 3;
        }
    }
    if (layerEnded[0] == 1 || (actionFrame >= 60 && input.direction != 5)) {
        layerEnded[0] = 0;
        SetAction(kActionGetUp, 2.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::GetUpState);
        buttonLatch[kInShot] = 0;
        UpdatePosture(0.0f);
        return;
    }
    if (actionFrame < 8 && hitImmunity == 0) {
        for (i32 b : {kInShot, kInSaber}) {
            if (Pressed(b) != 1) {
                buttonLatch[b] = 0;
                continue;
            }
            if (buttonLatch[b]) continue;
            buttonLatch[b] = 1;
            SetAction(kActionQuickRecovery, 2.0f, kRestartAnime, 0, 0.9f, kWholeBody,
                      &CRobot_Normal::QuickRecoveryState);
            UpdatePosture(0.0f);
            return;
        }
    }
    if (TryEscape(2000, false)) return;
    for (i32 b : {kInShot, kInSaber}) buttonLatch[b] = Pressed(b) == 1 ? 1 : 0;
    UpdatePosture(0.0f);
    ++actionFrame;
}

void CRobot_Normal::GetUpState()
{
    situation = kSituationDown;
    AddBoostGauge(boostRegen);
    AddEnergy(2.0f);
    DecayImpact();
    hitImmunity = 30;
    if (layerEnded[0] == 1) {
        layerEnded[0] = 0;
        SetAction(kActionIdle, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateIdle);
        hitImmunity = 90;
        UpdatePosture(0.0f);
        buttonLatch[kInGuard] = 0;
        return;
    }
    UpdatePosture(0.0f);
    ++actionFrame;
}

void CRobot_Normal::QuickRecoveryState()
{
    situation = kSituationNeutral;
    hitImmunity = 5;
    if (layerEnded[0] == 1) {
        layerEnded[0] = 0;
        SetAction(kActionFall, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateFall);
        UpdatePosture(0.0f);
        return;
    }
    velocity.y += 0.01f;
    const i32 guarded = GuardButton();
    UpdatePosture(0.0f);
    if (!guarded) ++actionFrame;
}

void CRobot_Normal::EscapeDashState()
{
    situation = kSituationDash;
    impactValue = 0;
    SpendBoost(5);
    const f32 turn = actionFrame < 6 ? TurnTowardView(true) : 0.0f;
    facing = forward;
    if (layerEnded[0] != 1 && boostGauge != 0) {
        UpdatePosture(turn);
        ++actionFrame;
        return;
    }
    layerEnded[0] = 0;
    if (airborne != 0)
        SetAction(kActionFall, 5.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateFall);
    else
        SetAction(kActionLanding, 2.0f, kRestartAnime, 0, 0.9f, kWholeBody, &CRobot_Normal::StateBrake);
    UpdatePosture(turn);
}

void CRobot_Normal::HeldState()
{
    if (hitImmunity > 0) {
        // The next counted hit after the hold knocks the robot down.
        hitImmunity = 0;
        impactValue = 400;
    }
    if (heldBy && heldBy->holding != this) heldBy = nullptr;
    impactKind = 0;
    if (!heldBy) {
        LevelUpright();
        SetAction(kActionIdle, 5.0f, kRestartAnime, 0, 0.8f, kWholeBody, &CRobot_Normal::StateIdle);
    }
    RePose();
}
