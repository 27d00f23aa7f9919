// A robot's frame: the life-state dispatch of Run, the full update of a live
// robot and the destruction sequence that turns it into a wreck.
#include <climits>
#include <cmath>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "battle/GameScene.h"
#include "battle/hud/KillMessage.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/tasks/RadioCutIn.h"
#include "robot/Robot.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Smoke.h"

namespace {

// Battle draws as a fraction of the generator's 32-bit range.
f32 BattleFraction() { return static_cast<f32>(static_cast<double>(GetBattleRandom().GetRand()) / 4294967296.0); }

// The destruction's blasts use the scene's explosion sheet.
constexpr i32 kExplodeTexture = 3;

void SmallBlast(const Vec3& at, const Vec3& drift)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* e = NewObject<BB_Explode4>(w.effects, 3))
        e->Set(&at, 5.0f, &drift, 0, w.Texture(kExplodeTexture), 0xFFFFFFFFu);
}

void LargeBlast(const Vec3& at, const Vec3& drift)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* e = NewObject<BB_Explode2>(w.effects, 4)) {
        e->Set(&at, 6.0f, &drift, 0, w.Texture(kExplodeTexture), 0xFFFFFFFFu);
        e->Counter = 40;
    }
}

void Debris(const Vec3& at, const Vec3& direction)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* piece = NewObject<BB_BP>(w.effects, 1)) piece->Set(&at, 1.0f, &direction, 0, nullptr, 0xFFFFFFFFu, 200);
}

// The robot's pilot slot; null without a pilot or with an index no slot has.
PilotSlot* PilotOf(const CRobot_Normal& robot)
{
    // Online a robot's pilot is its participant's slot, filled by the room,
    // whatever number of pilot folders this machine has: only the table bounds it.
    PilotRegistry* pilots = GetPilotRegistry();
    if (!pilots || robot.pilotIndex < 0 || robot.pilotIndex >= MaxPilots) return nullptr;
    return &pilots->slots[robot.pilotIndex];
}

Vec3 RobotPosition(const CRobot_Normal& robot)
{
    return {robot.worldMatrix.m[3][0], robot.worldMatrix.m[3][1], robot.worldMatrix.m[3][2]};
}

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
    // The scene frees a finished weapon a few frames after it finishes; every
    // robot lets go of its finished blades in each of its frames, whatever its
    // state, so none ever holds one that is gone. (A robot that is down skips
    // its frame update, where the blades are otherwise looked after.)
    ForgetFinishedWeapons();
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

void CRobot_Normal::ForgetFinishedWeapons()
{
    if (!attachedWeapons.IsCreated()) return;
    for (BB_Base*& weapon : attachedWeapons)
        if (weapon && weapon->Removed) weapon = nullptr;
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
    const i32 line = pendingRadioLine;
    if (!((line >= 0 && line < 50) || line == 999)) return;
    radioText[sizeof radioText - 1] = '\0';
    PilotSlot* pilot = PilotOf(*this);
    CGameScene* scene = FindGameScene();
    if (!pilot || !scene || !scene->tasks.GetHead()) return;
    const char* text = radioText[0] ? radioText : line < RadioTextCount ? pilot->radioTexts[line] : "";
    SoundObject* voice = line < PilotSoundCount && !pilot->sounds[line].IsEmpty() ? &pilot->sounds[line] : nullptr;
    if (line != 999 && !voice && !text[0]) return;
    const bool spoken = line < PilotAnimationCount && !pilot->animations[line].empty();
    const bool plain = pilot->pictureSource == 1 || line >= RadioTextCount;

    // A cut-in of this robot still showing is restarted where it stands.
    GMTCB_Proc_MusenFaceDisp* cutIn = nullptr;
    for (TCB* t = scene->tasks.GetHead()->next; t && t != scene->tasks.GetTail(); t = t->next) {
        if (t->priority != 10000) continue;
        auto* found = dynamic_cast<GMTCB_Proc_MusenFaceDisp*>(t);
        if (found && found->speaker == this) {
            cutIn = found;
            break;
        }
    }
    f32 x, y;
    if (cutIn) {
        cutIn->phase = 3;
        x = cutIn->face ? cutIn->face->x : 512.0f;
        y = cutIn->face ? cutIn->face->y : 386.0f;
    } else {
        if (!plain && !spoken) return;
        cutIn = GMTCB_Proc_MusenFaceDisp::Create(&scene->tasks, 10000);
        if (!cutIn) return;
        // The boxes take the screen's corners in turn, jittered by the
        // application's generator: presentation never draws the battle's.
        static constexpr f32 kSigns[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
        const i32 corner = scene->radioCorner;
        scene->radioCorner = (corner + 1) % 4;
        cMTRand& random = GetApplication()->random;
        x = 512.0f + kSigns[corner][0] * static_cast<f32>(280 + random.GetRand() % 51);
        y = 386.0f + kSigns[corner][1] * static_cast<f32>(220 + random.GetRand() % 61);
    }
    if (plain)
        cutIn->StartText(&pilot->pictures[0], x, y, voice, typeName, text, this);
    else if (spoken)
        cutIn->StartAnimation(pilot, static_cast<u32>(line), x, y, typeName, text, this);
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
        ShowStreakMessage(this, row.code);
        break;
    }
    for (const StreakRow& row : kLossRows) {
        if (lossStreak < row.threshold || (lossRewardBits & row.bit)) continue;
        lossRewardBits |= row.bit;
        pendingRewards.push_back(row.code);
        ShowStreakMessage(this, row.code);
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
    if (killVoicePending == 1) {
        CGameScene* scene = FindGameScene();
        PilotSlot* pilot = PilotOf(*this);
        if (pilot && scene) {
            const Vec3 eye = scene->Eye(), at = RobotPosition(*this);
            const f32 dx = eye.x - at.x, dy = eye.y - at.y, dz = eye.z - at.z;
            if (IsWatched() || std::sqrt(dx * dx + dy * dy + dz * dz) < 40.0f) pilot->PlayDestroyVoice();
        }
    }
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
    if (f == 20) PlayBattleSound(kSoundExplodeM, RobotPosition(*this));
    if (f >= 1 && f <= 30 && f % 3 == 0) {
        // Offsets, then drifts, each drawn x, y, z.
        Vec3 at = body, drift;
        at.x += BattleFraction() * 0.8f - 0.4f;
        at.y += BattleFraction() * 0.8f - 0.4f;
        at.z += BattleFraction() * 0.8f - 0.4f;
        drift.x = BattleFraction() * 0.02f - 0.01f;
        drift.y = BattleFraction() * 0.02f - 0.01f;
        drift.z = BattleFraction() * 0.02f - 0.01f;
        SmallBlast(at, drift);
    } else if (f == 31) {
        LargeBlast(body, Vec3{});
        for (i32 i = 0; i < 4; ++i) {
            Vec3 at = body, drift;
            at.x += BattleFraction() * 4.4f - 2.2f;
            at.y += BattleFraction() * 3.4f - 1.2f;
            at.z += BattleFraction() * 4.4f - 2.2f;
            drift.x = BattleFraction() * 0.1f - 0.05f;
            drift.y = BattleFraction() * 0.05f;
            drift.z = BattleFraction() * 0.1f - 0.05f;
            LargeBlast(at, drift);
        }
        for (i32 i = 0; i < 5; ++i) {
            Vec3 dir;
            dir.x = BattleFraction() * 0.56f - 0.28f;
            dir.y = BattleFraction() * 0.25f;
            dir.z = BattleFraction() * 0.56f - 0.28f;
            const Vec3 at{body.x + dir.x * 5.0f, body.y + dir.y * 5.0f, body.z + dir.z * 5.0f};
            Debris(at, dir);
        }
        if (scene) {
            const Vec3 eye = scene->Eye();
            const f32 dx = eye.x - worldMatrix.m[3][0], dy = eye.y - worldMatrix.m[3][1],
                      dz = eye.z - worldMatrix.m[3][2];
            const f32 distance = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (PilotSlot* pilot = PilotOf(*this); pilot && (IsWatched() || distance < 40.0f)) pilot->PlayDieVoice();
            PlayBattleSound(kSoundExplodeL, RobotPosition(*this));
            if (loopSound) loopSound->Stop();
            loopSound = nullptr;
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
