// The room's working task: the pads' steps over the four panels, the rules,
// the stage, and the start of the local battle.
#include <cmath>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/SelectInterface.h"
#include "frontend/vsroom/VSRoomScene.h"
#include "frontend/vsroom/VSRoomTasks.h"

namespace {

enum PadButton : u32 { Left = 0, Up = 1, Right = 2, Down = 3, Decide = 12, Cancel = 13 };

constexpr u32 kStepRepeatMs = 1000;
constexpr u32 kRateRepeatMs = 100;
// Phases 1 and 2 ignore input for their first 31 passes.
constexpr i32 kPhaseQuietPasses = 30;
constexpr i32 kSlidePasses = 500;

CApplication& App() { return *GetApplication(); }

bool Pressed(i32 pad, u32 button, u32 interval)
{
    return App().IsPadButtonRepeat(u32(pad), button, interval) != 0;
}

i32 Wrap(i32 value, i32 count) { return value < 0 ? count - 1 : value >= count ? 0 : value; }

}  // namespace

void StepControlRight(i32& slotState, i32& level)
{
    if (slotState == 2) {
        if (++level > 10) {
            slotState = 0;
            level = 0;
        }
    } else if (slotState == 0) {
        slotState = 1;
    } else {
        slotState = 2;
        level = 1;
    }
}

void StepControlLeft(i32& slotState, i32& level)
{
    if (slotState == 2) {
        if (--level < 1) {
            slotState = 1;
            level = 0;
        }
    } else if (slotState == 1) {
        slotState = 0;
        level = 10;
    } else {
        slotState = 2;
        level = 10;
    }
}

f32 StepRate(f32 rate, i32 direction)
{
    // Stored as single precision before the bounds are tested, so the
    // bounds are reached exactly.
    f32 next = direction < 0 ? rate - 0.1f : rate + 0.1f;
    if (next < VSRoomRateMin) next = VSRoomRateMin;
    if (next > VSRoomRateMax) next = VSRoomRateMax;
    return next;
}

VSTCB::VSTCB() : scene(SceneInstance<CVSRoomScene>()) {}

VSTCB_System* VSTCB_System::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<VSTCB_System>(list, priority);
}

VSTCB_Normal* VSTCB_Normal::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<VSTCB_Normal>(list, priority);
}

VSTCB_Normal::VSTCB_Normal()
{
    rows[0] = {0, 0, 200, 680};
    rows[1] = {0, 24, 200, 174};
    rows[2] = {0, 224, 200, 374};
    rows[3] = {0, 400, 200, 424};
    rows[4] = {0, 616, 200, 640};
    rows[5] = {0, 656, 200, 680};
    ruleNames[0] = "生存战    ";
    ruleNames[1] = "战力战      ";
    stepTable[VSStepSlot] = &VSTCB_Normal::Step_Slot;
    stepTable[VSStepRobot] = &VSTCB_Normal::Step_Robot;
    stepTable[VSStepPilot] = &VSTCB_Normal::Step_Pilot;
    stepTable[VSStepTeam] = &VSTCB_Normal::Step_Team;
    stepTable[VSStepControl] = &VSTCB_Normal::Step_Control;
    stepTable[VSStepReady] = &VSTCB_Normal::Step_Ready;
    for (Step& s : stepProc) s = stepTable[VSStepSlot];
}

void VSTCB_Normal::GoToStep(i32 pad, i32 n)
{
    scene->step[pad] = n;
    stepProc[pad] = stepTable[n];
}

void VSTCB_Normal::MoveSteps(i32 pad, i32 up, i32 down, bool moves, bool cancelFirst, i32 decide)
{
    // Every button is read each pass, acting or not, so its repeat timer sees
    // the release; where two act in one pass the later test sets the step.
    const auto go = [&](u32 button, i32 n, bool acts) {
        if (Pressed(pad, button, kStepRepeatMs) && acts) GoToStep(pad, n);
    };
    go(Up, up, moves);
    go(Down, down, moves);
    if (cancelFirst) go(Cancel, VSStepSlot, true);
    if (decide >= 0) go(Decide, decide, moves);
    if (!cancelFirst) go(Cancel, VSStepSlot, true);
}

i32 VSTCB_Normal::Proc()
{
    if (!scene) return kTaskKeep;
    i32 result = kTaskKeep;
    if (phase == VSPhasePlayers) result = PlayerPhase();
    else if (phase == VSPhaseRules) result = RulePhase();
    else result = StagePhase();
    if (result == kTaskSceneReplaced) return result;
    const i32 robots = scene->RobotCount();
    if (++slideCounter >= robots * kSlidePasses) slideCounter = 0;
    return kTaskKeep;
}

bool VSTCB_Normal::AllReady() const
{
    bool anyone = false;
    for (i32 i = 0; i < VSRoomPads; ++i) {
        const i32 state = App().players[i].slotState;
        if (state != 0 && !scene->ready[i]) return false;
        if (state > 0) anyone = true;
    }
    return anyone;
}

i32 VSTCB_Normal::PlayerPhase()
{
    for (i32 pad = 0; pad < VSRoomPads; ++pad) {
        if (!scene->joined[pad]) {
            if (Pressed(pad, Decide, kStepRepeatMs)) {
                scene->joined[pad] = 1;
                GoToStep(pad, VSStepSlot);
            }
            continue;
        }
        if (!stepProc[pad]) continue;
        if ((this->*stepProc[pad])(scene->slotCursor[pad], pad) == kTaskSceneReplaced) return kTaskSceneReplaced;
    }
    if (AllReady()) {
        phase = VSPhaseRules;
        phaseTimer = 0;
        return kTaskKeep;
    }
    ++phaseTimer;
    return kTaskKeep;
}

i32 VSTCB_Normal::RulePhase()
{
    if (phaseTimer > kPhaseQuietPasses) {
        for (i32 pad = 0; pad < VSRoomPads; ++pad) {
            if (Pressed(pad, Up, kStepRepeatMs)) ruleCursor = ruleCursor == 0 ? VSRoomRuleRows - 1 : ruleCursor - 1;
            if (Pressed(pad, Down, kStepRepeatMs)) ruleCursor = ruleCursor == VSRoomRuleRows - 1 ? 0 : ruleCursor + 1;
            const u32 interval = ruleCursor == 0 ? kStepRepeatMs : kRateRepeatMs;
            for (const i32 direction : {-1, 1}) {
                if (!Pressed(pad, direction < 0 ? Left : Right, interval)) continue;
                switch (ruleCursor) {
                case 0: ruleChoice = Wrap(ruleChoice + direction, 2); break;
                case 1: hpRate = StepRate(hpRate, direction); break;
                case 2: energyRate = StepRate(energyRate, direction); break;
                case 3: costRate = StepRate(costRate, direction); break;
                default: spawnType = i8(Wrap(spawnType + direction, 2)); break;
                }
            }
            if (Pressed(pad, Decide, kStepRepeatMs)) {
                phase = VSPhaseStage;
                if (scene->stageRing) scene->stageRing->visible = 1;
                phaseTimer = 0;
                return kTaskKeep;
            }
            if (Pressed(pad, Cancel, kStepRepeatMs)) {
                phase = VSPhasePlayers;
                for (u8& r : scene->ready) r = 0;
                phaseTimer = 0;
                return kTaskKeep;
            }
        }
    }
    ++phaseTimer;
    return kTaskKeep;
}

i32 VSTCB_Normal::StagePhase()
{
    if (phaseTimer > kPhaseQuietPasses) {
        TCB_SelectInterface* ring = scene->stageRing;
        for (i32 pad = 0; pad < VSRoomPads; ++pad) {
            if (Pressed(pad, Left, kStepRepeatMs) && ring) ring->Move(-1);
            if (Pressed(pad, Right, kStepRepeatMs) && ring) ring->Move(1);
            // Without a stage there is nothing to fight on.
            if (Pressed(pad, Decide, kStepRepeatMs) && ring && ring->count > 0) return StartBattle();
            if (Pressed(pad, Cancel, kStepRepeatMs)) {
                phase = VSPhaseRules;
                // The mark at the cancelling pad's number, whichever slot it edits.
                scene->ready[pad] = 0;
                if (ring) ring->visible = 0;
                phaseTimer = 0;
                return kTaskKeep;
            }
        }
    }
    ++phaseTimer;
    return kTaskKeep;
}

// ---- the pads' steps -------------------------------------------------------------------

i32 VSTCB_Normal::Step_Slot(i32 slot, i32 pad)
{
    if (Pressed(pad, Right, kStepRepeatMs)) scene->slotCursor[pad] = (scene->slotCursor[pad] + 1) % VSRoomPads;
    if (Pressed(pad, Left, kStepRepeatMs))
        scene->slotCursor[pad] = (scene->slotCursor[pad] + VSRoomPads - 1) % VSRoomPads;
    if (Pressed(pad, Decide, kStepRepeatMs))
        GoToStep(pad, App().players[slot].slotState == 0 ? VSStepControl : VSStepRobot);
    if (Pressed(pad, Cancel, kStepRepeatMs)) {
        SwitchScene(App(), GetVSRoomExits().title);
        return kTaskSceneReplaced;
    }
    return kTaskKeep;
}

i32 VSTCB_Normal::Step_Robot(i32 slot, i32 pad)
{
    PlayerEntry& entry = App().players[slot];
    const i32 robots = scene->RobotCount();
    const PartInventory& inventory = App().partInventory;
    for (const i32 direction : {1, -1}) {
        if (!Pressed(pad, direction > 0 ? Right : Left, kStepRepeatMs) || robots <= 0) continue;
        // One round of the list at most: with no usable robot the choice stays.
        i32 robot = entry.robot;
        for (i32 tries = 0; tries < robots; ++tries) {
            robot = Wrap(robot + direction, robots);
            if (u32(robot) < RobotRecordCount && inventory.robots[robot].available) {
                entry.robot = robot;
                break;
            }
        }
    }
    MoveSteps(pad, VSStepReady, VSStepPilot, true, true);
    return kTaskKeep;
}

i32 VSTCB_Normal::Step_Pilot(i32 slot, i32 pad)
{
    PlayerEntry& entry = App().players[slot];
    const i32 pilots = GetPilotRegistry()->count;
    for (const i32 direction : {1, -1}) {
        if (!Pressed(pad, direction > 0 ? Right : Left, kStepRepeatMs)) continue;
        // With no pilot folders the choice stays on the first, never -1.
        entry.pilot = pilots > 0 ? Wrap(entry.pilot + direction, pilots) : 0;
    }
    MoveSteps(pad, VSStepRobot, VSStepTeam, true, false);
    return kTaskKeep;
}

i32 VSTCB_Normal::Step_Team(i32 slot, i32 pad)
{
    PlayerEntry& entry = App().players[slot];
    if (Pressed(pad, Right, kStepRepeatMs)) entry.team = Wrap(entry.team + 1, 4);
    if (Pressed(pad, Left, kStepRepeatMs)) entry.team = Wrap(entry.team - 1, 4);
    MoveSteps(pad, VSStepPilot, VSStepControl, true, false);
    return kTaskKeep;
}

i32 VSTCB_Normal::Step_Control(i32 slot, i32 pad)
{
    PlayerEntry& entry = App().players[slot];
    if (Pressed(pad, Right, kStepRepeatMs)) StepControlRight(entry.slotState, entry.computerLevel);
    if (Pressed(pad, Left, kStepRepeatMs)) StepControlLeft(entry.slotState, entry.computerLevel);
    MoveSteps(pad, VSStepTeam, VSStepReady, entry.slotState != 0, false);
    return kTaskKeep;
}

i32 VSTCB_Normal::Step_Ready(i32 slot, i32 pad)
{
    if (Pressed(pad, Decide, kStepRepeatMs)) scene->ready[slot] = scene->ready[slot] ? 0 : 1;
    MoveSteps(pad, VSStepControl, VSStepRobot, true, false, -1);
    return kTaskKeep;
}

i32 VSTCB_Normal::StartBattle()
{
    CApplication& app = App();
    for (i32 i = 0; i < VSRoomPads; ++i) app.players[i].colorSet = app.players[i].team;
    GameSettings& settings = app.gameSettings;
    settings.modeOption = 0;
    settings.chat = 0;
    settings.localRule = u32(ruleValues[ruleChoice]);
    settings.bgmList.Clear();
    settings.stage = scene->stageRing ? u32(scene->stageRing->target) : 0;
    settings.hpRate = hpRate;
    settings.energyRate = energyRate;
    settings.costRate = costRate;
    settings.popType = u8(spawnType);
    SwitchScene(app, GetVSRoomExits().battle);
    return kTaskSceneReplaced;
}
