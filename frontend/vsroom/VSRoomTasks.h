#pragma once
// The tasks of the local versus room: an empty system task and the working
// task that runs the three phases (players, rules, stage) and draws them.
#include <string>

#include "engine/core/TaskList.h"
#include "platform/gfx/Gfx.h"
#include "platform/core/Types.h"

class CVSRoomScene;

// A task of the room; it finds the room through the scene's getter.
class VSTCB : public TCB {
public:
    VSTCB();
    CVSRoomScene* scene = nullptr;
};

class VSTCB_System : public VSTCB {
public:
    static VSTCB_System* Create(CList<TCB>* list, u32 priority);
};

enum VSRoomPhase : i32 { VSPhasePlayers = 0, VSPhaseRules = 1, VSPhaseStage = 2 };
enum VSRoomStep : i32 { VSStepSlot = 0, VSStepRobot, VSStepPilot, VSStepTeam, VSStepControl, VSStepReady };
inline constexpr i32 VSRoomRuleRows = 5;
// Rates run from 0.1 to 10.0; the energy rate's top means unlimited.
inline constexpr f32 VSRoomRateMin = 0.1f;
inline constexpr f32 VSRoomRateMax = 10.0f;

class VSTCB_Normal : public VSTCB {
public:
    // One pad's step: (the slot the pad edits, the pad); -1 when it replaced the scene.
    using Step = i32 (VSTCB_Normal::*)(i32 slot, i32 pad);

    VSTCB_Normal();
    static VSTCB_Normal* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    void DrawSP() override;

    i32 Step_Slot(i32 slot, i32 pad);
    i32 Step_Robot(i32 slot, i32 pad);
    i32 Step_Pilot(i32 slot, i32 pad);
    i32 Step_Team(i32 slot, i32 pad);
    i32 Step_Control(i32 slot, i32 pad);
    i32 Step_Ready(i32 slot, i32 pad);

    // Whether the player phase may end: every taken slot marked ready and at
    // least one slot taken.
    bool AllReady() const;
    // The start of the battle: choices into the participants and the
    // application, then the battle scene. -1.
    i32 StartBattle();

    i32 slideCounter = 0;
    i32 slideAlpha = 0;
    i32 phaseTimer = 0;
    i32 phase = VSPhasePlayers;
    plat::GfxRect rows[6];
    i32 ruleCursor = 0;
    i32 ruleChoice = 0;
    i32 ruleValues[2] = {0, 1};
    std::string ruleNames[2];
    f32 hpRate = 1.0f;
    f32 energyRate = 1.0f;
    f32 costRate = 1.0f;
    i8 spawnType = 0;
    Step stepProc[4] = {};
    Step stepTable[10] = {};

private:
    i32 PlayerPhase();
    i32 RulePhase();
    i32 StagePhase();
    void GoToStep(i32 pad, i32 n);
    // The moves the editing steps share: up and down (and decide, to the
    // ready step unless decide is -1) while moves holds, cancel back to the
    // slot step, tested before decide where cancelFirst says so.
    void MoveSteps(i32 pad, i32 up, i32 down, bool moves, bool cancelFirst, i32 decide = VSStepReady);
    void DrawPlayers();
    void DrawRules();
    void DrawStage();
};

// The control cycle of a slot: right runs empty, player, computer level 1
// .. 10, empty; left the other way round.
void StepControlRight(i32& slotState, i32& level);
void StepControlLeft(i32& slotState, i32& level);
// A rate moved by a tenth, kept within 0.1 .. 10.0.
f32 StepRate(f32 rate, i32 direction);
