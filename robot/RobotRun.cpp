// A robot's frame: the life-state dispatch of Run, the full update of a live
// robot and the destruction sequence that turns it into a wreck.
#include <climits>
#include <cmath>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "robot/Robot.h"
#include "weapon/effects/AttackEffects.h"

namespace {

// Battle draws as a fraction of the generator's 32-bit range.
f32 BattleFraction() { return static_cast<f32>(static_cast<double>(GetBattleRandom().GetRand()) / 4294967296.0); }

Vec3 BodyPosition(const CRobot_Normal& robot)
{
    const Mat4& m = robot.frameBodyD ? robot.frameBodyD->world : robot.worldMatrix;
    return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

struct StreakRow {
    i32 threshold;
    i32 bit;
    i32 code;
};
constexpr StreakRow kKillRows[] = {{2, 0x2, 2},     {3, 0x4, 3},     {4, 0x8, 4},
                                   {5, 0x10, 5},    {6, 0x20, 6},    {7, 0x40, 7},
                                   {8, 0x80, 8},    {9, 0x100, 9},   {10, 0x200, 10}};
constexpr StreakRow kLossRows[] = {{5, 0x10, 10005}, {9, 0x100, 10009}};

// The robot-table index the camera follows.
u32& WatchedIndex(CGameScene& scene)
{
    if (scene.currentView) return scene.currentView->player;
    if (scene.views.IsCreated()) return scene.views[0].player;
    return scene.fullView.player;
}

}  // namespace

bool CRobot_Normal::IsWatched() const
{
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->robotTable.IsCreated()) return false;
    const u32 watched = WatchedIndex(*scene);
    return watched < static_cast<u32>(kRobotTableSize) && scene->robotTable[static_cast<i32>(watched)] == this;
}

void CRobot_Base::AgeLockAlerts()
{
    LockAlertNode* head = lockAlertList.GetHead();
    if (!head) return;
    for (LockAlertNode* node = head->next; node && node->priority != kListTailPriority;)
        node = --node->framesLeft <= 0 ? lockAlertList.Erase(node) : node->next;
}

i32 CRobot_Normal::Run()
{
    // Score and kills of called units flow to their caller.
    for (size_t i = 0; i < linkedRobots.size();) {
        CRobot_Base* linked = linkedRobots[i];
        score += linked->score;
        kills = static_cast<i16>(kills + linked->kills);
        linked->score = 0;
        linked->kills = 0;
        if (linked->state != kRobotStateLive)
            linkedRobots.erase(linkedRobots.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    if (pendingRadioLine != -1) ShowRadioLine();
    pendingRadioLine = -1;
    if (chatLineTimer > 0) --chatLineTimer;
    for (RobotCallback proc : std::vector<RobotCallback>(FrameProcList)) proc(this);

    i32 result = 0;
    switch (state) {
    case kRobotStateLive:
        result = RobotFrameUpdate();
        break;
    case kRobotStateDestroyed:
        if (defeatFrame == 30)
            for (RobotCallback proc : std::vector<RobotCallback>(DestroyProcList)) proc(this);
        RobotFrameUpdate();
        result = DestructionSequence();
        break;
    case kRobotStateDown:
        lockTarget = nullptr;
        if (++defeatFrame != 180) break;
        state = kRobotStateNone;
        if (DefeatProcList.empty()) {
            // Nobody replaces the wreck: it leaves the table with the list.
            ForgetInRobotTable();
            result = 2;
            break;
        }
        for (RobotCallback proc : std::vector<RobotCallback>(DefeatProcList)) {
            const i32 r = proc(this);
            if (r > result) result = r;
        }
        if (result == 2) ForgetInRobotTable();
        break;
    case kRobotStateOut:
        Spectate();
        break;
    default:
        break;
    }
    AgeLockAlerts();
    return result;
}

void CRobot_Normal::ForgetInRobotTable()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->robotTable.IsCreated()) return;
    for (CRobot_Base*& entry : scene->robotTable)
        if (entry == this) entry = nullptr;
}

void CRobot_Normal::ShowRadioLine()
{
    // A line number from a peer indexes the pilot's tables only when it is one.
    if (pilotIndex < 0) return;
    if (!((pendingRadioLine >= 0 && pendingRadioLine < 50) || pendingRadioLine == 999)) return;
    radioText[sizeof radioText - 1] = '\0';
    if (radioHook) radioHook(this, pendingRadioLine, radioText);
}

void CRobot_Normal::Spectate()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->robotTable.IsCreated()) return;
    if (!IsWatched()) return;
    ClearInput();
    ReadPilotInput(GetApplication()->input.keyTable);
    auto live = [&](i32 i) {
        CRobot_Base* r = scene->robotTable[i];
        return r && r->state == kRobotStateLive;
    };
    u32& view = WatchedIndex(*scene);
    if (view >= static_cast<u32>(kRobotTableSize) || !live(static_cast<i32>(view))) {
        for (i32 i = 0; i < kRobotTableSize; ++i)
            if (live(i)) {
                view = static_cast<u32>(i);
                break;
            }
    }
    if (scene->cameraMode != 0 && !(GetApplication()->input.keyTable[0x11] & 0x80)) return;
    auto step = [&](i32 delta) {
        const i32 start = static_cast<i32>(view % kRobotTableSize);
        i32 i = start;
        do {
            i = (i + delta + kRobotTableSize) % kRobotTableSize;
        } while (i != start && !live(i));
        view = static_cast<u32>(i);
    };
    if (GetApplication()->IsKeyRepeat(keyCodes[0], 1000)) step(-1);
    if (GetApplication()->IsKeyRepeat(keyCodes[2], 1000)) step(+1);
}

void CRobot_Normal::AnnounceStreaks()
{
    for (const StreakRow& row : kKillRows) {
        if (killStreak < row.threshold || (killRewardBits & row.bit)) continue;
        killRewardBits |= row.bit;
        pendingRewards.push_back(row.code);
        if (announceHook) announceHook(this, row.code);
        break;
    }
    for (const StreakRow& row : kLossRows) {
        if (lossStreak < row.threshold || (lossRewardBits & row.bit)) continue;
        lossRewardBits |= row.bit;
        pendingRewards.push_back(row.code);
        if (announceHook) announceHook(this, row.code);
        break;
    }
}

i32 CRobot_Normal::RobotFrameUpdate()
{
    ResetScriptBudget();
    if (killStreak > 0) lossStreak = 0;
    if (tacticalRules == 1) AnnounceStreaks();
    if (lockFade < 1.0f) lockFade += 0.1f;
    if (lockTarget != lastLockTarget) {
        lastLockTarget = lockTarget;
        lockFade = 0.0f;
    }
    InputStep();
    killVoicePending = 0;
    for (i32 i = 0; i < 4; ++i) {
        if (statusTimers[i] > 0)
            --statusTimers[i];
        else
            statusFlags[i] = 0;
    }
    if (boostGaugeMax == 999999999) boostGauge = boostGaugeMax;
    CommandRecogniser();
    if (hitStop == 0) StepScriptChannels();
    if (impactProc) (this->*impactProc)();
    for (i32& t : timers5)
        if (t > 0) --t;
    chargeGauge += chargeRate;
    if (chargeGauge < 0) chargeGauge = 0;
    if (chargeGauge > 10000) chargeGauge = 10000;
    energy += energyRate;
    if (energy > static_cast<f32>(energyMax)) energy = static_cast<f32>(energyMax);
    if (aimProc) (this->*aimProc)();
    UpdateGrab();
    prevWorldMatrix = worldMatrix;
    if (hitStop == 0) {
        if (lowerModel.root) lowerModel.AdvanceAnime(1.0f);
        if (upperModel.root) upperModel.AdvanceAnime(1.0f);
        if (stateProc) (this->*stateProc)();
        if (subStateProc) (this->*subStateProc)();
    }
    ResetReleasedHoldCounters();
    if (hitStop > 0) --hitStop;
    if (attachedWeapons.IsCreated()) {
        for (BB_Base*& weapon : attachedWeapons) {
            if (!weapon) continue;
            if (weapon->Removed) {
                weapon = nullptr;
                continue;
            }
            // The robot's blades freeze with it in a hit stop and end with it.
            if (auto* beam = dynamic_cast<BB_SwordBeam*>(weapon)) {
                beam->Hold = hitStop;
                if (state != kRobotStateLive) beam->Life = 0;
            }
        }
    }
    return 0;
}

void CRobot_Normal::UpdateGrab()
{
    auto gone = [](CRobot_Base* r) { return r->state != kRobotStateLive || r->Removed; };
    if (holding && gone(holding)) {
        holding->heldBy = nullptr;
        holding = nullptr;
    }
    // A held robot runs the held state whatever it was doing.
    if (holding)
        if (auto* held = dynamic_cast<CRobot_Normal*>(holding)) held->stateProc = &CRobot_Normal::HeldState;
    if (heldBy && gone(heldBy)) {
        heldBy->holding = nullptr;
        heldBy = nullptr;
    }
}

i32 CRobot_Normal::DestructionSequence()
{
    inputEnabled = 0;
    const i32 f = ++defeatFrame;
    CGameScene* scene = FindGameScene();
    const Vec3 body = BodyPosition(*this);
    if (f >= 1 && f <= 30 && f % 3 == 0) {
        // Offsets, then drifts, each drawn x, y, z.
        Vec3 at = body, drift;
        at.x += BattleFraction() * 0.8f - 0.4f;
        at.y += BattleFraction() * 0.8f - 0.4f;
        at.z += BattleFraction() * 0.8f - 0.4f;
        drift.x = BattleFraction() * 0.02f - 0.01f;
        drift.y = BattleFraction() * 0.02f - 0.01f;
        drift.z = BattleFraction() * 0.02f - 0.01f;
        if (explosionHook) explosionHook(this, 4, at, drift, 5.0f);
    } else if (f == 31) {
        if (explosionHook) explosionHook(this, 2, body, Vec3{}, 6.0f);
        for (i32 i = 0; i < 4; ++i) {
            Vec3 at = body, drift;
            at.x += BattleFraction() * 4.4f - 2.2f;
            at.y += BattleFraction() * 3.4f - 1.2f;
            at.z += BattleFraction() * 4.4f - 2.2f;
            drift.x = BattleFraction() * 0.1f - 0.05f;
            drift.y = BattleFraction() * 0.05f;
            drift.z = BattleFraction() * 0.1f - 0.05f;
            if (explosionHook) explosionHook(this, 2, at, drift, 6.0f);
        }
        for (i32 i = 0; i < 5; ++i) {
            Vec3 dir;
            dir.x = BattleFraction() * 0.56f - 0.28f;
            dir.y = BattleFraction() * 0.25f;
            dir.z = BattleFraction() * 0.56f - 0.28f;
            const Vec3 at{body.x + dir.x * 5.0f, body.y + dir.y * 5.0f, body.z + dir.z * 5.0f};
            if (explosionHook) explosionHook(this, 0, at, dir, 200.0f);
        }
        if (scene) {
            const Vec3 eye = scene->Eye();
            const f32 dx = eye.x - worldMatrix.m[3][0], dy = eye.y - worldMatrix.m[3][1],
                      dz = eye.z - worldMatrix.m[3][2];
            const f32 distance = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (distance < 50.0f) {
                const i32 shake = static_cast<i32>((50.0f - distance) * 2.5f);
                if (shake > scene->cameraShake) scene->cameraShake = shake;
            }
        }
    } else if (f == 32) {
        ClearInput();
        ResetReleasedHoldCounters();
        state = kRobotStateDown;
        defeatFrame = 0;
    }
    return 0;
}
