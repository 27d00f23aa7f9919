#pragma once
// The tasks of the character selection: the black fades, the selection
// state machine with the orbiting preview camera, the mode starters, and
// the draw passes (background and preview, its glow, the 2D panels).
#include "app/scene/BaseScene.h"
#include "engine/core/TaskList.h"
#include "platform/core/Types.h"

class CCharaSelectScene;

// A task of the selection: Proc, Draw and DrawSP do nothing by default.
class CCTCB : public TCB {};

// The black cover over the whole screen; alpha is the low byte of level.
class CCTCB_DrawPS_Black : public TCB {
public:
    static constexpr u32 Finished = 0xFFFFFFFFu;
    static CCTCB_DrawPS_Black* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override { return level == Finished ? kTaskRemove : kTaskKeep; }
    void DrawSP() override;

    u32 level = 0;
};

// The fade-in of the scene: 43 frames from black, then the robot step.
class CCTCB_Proc_CharaSelStart : public CCTCB {
public:
    static CCTCB_Proc_CharaSelStart* Create(CList<TCB>* list, u32 priority);
    void Start();
    i32 Proc() override;

    i32 counter = 0;
    CCTCB_DrawPS_Black* fade = nullptr;
};

// The selection state machine: camera, preview reload, keys per step.
class CCTCB_Proc_SystemKey : public CCTCB {
public:
    using Step = i32 (CCTCB_Proc_SystemKey::*)();
    static CCTCB_Proc_SystemKey* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;

    i32 Step_Robot();
    i32 Step_Pilot();
    i32 Step_Stage();
    i32 Step_Music();
    i32 Step_None() { return kTaskKeep; }

private:
    // Starts the mode's fade-out task (priority 1); the decision sound with it.
    void StartMode(class CCTCB_Starter* starter, bool decideSound);
};

// Fades the screen out over 43 frames, then starts what it stands for.
class CCTCB_Starter : public CCTCB {
public:
    void StartFadeOut();
    i32 Proc() override;
    // The start itself, after the fade: its Proc result.
    virtual i32 Launch() = 0;

    i32 counter = 0;
    CCTCB_DrawPS_Black* fade = nullptr;
};

class CCTCB_GoTitle : public CCTCB_Starter {
public:
    static CCTCB_GoTitle* Create(CList<TCB>* list, u32 priority);
    i32 Launch() override;
};
class CCTCB_GoNormal : public CCTCB_Starter {
public:
    static CCTCB_GoNormal* Create(CList<TCB>* list, u32 priority);
    i32 Launch() override;
};
class CCTCB_GoBlitzTactics : public CCTCB_Starter {
public:
    static CCTCB_GoBlitzTactics* Create(CList<TCB>* list, u32 priority);
    i32 Launch() override;
};
class CCTCB_GoSurvival : public CCTCB_Starter {
public:
    static CCTCB_GoSurvival* Create(CList<TCB>* list, u32 priority);
    i32 Launch() override;
};
class CCTCB_GoPractice : public CCTCB_Starter {
public:
    static CCTCB_GoPractice* Create(CList<TCB>* list, u32 priority);
    i32 Launch() override;
};
class CCTCB_GoTeamBattle : public CCTCB_Starter {
public:
    static CCTCB_GoTeamBattle* Create(CList<TCB>* list, u32 priority);
    i32 Launch() override;
};

// Draw passes, all at priority 10.
class CCTCB_Draw_Robot : public CCTCB {
public:
    static CCTCB_Draw_Robot* Create(CList<TCB>* list, u32 priority);
    void Draw() override;
};
class CCTCB_BeginHDRState : public TCB {
public:
    static CCTCB_BeginHDRState* Create(CList<TCB>* list, u32 priority);
    void Draw() override;
};
class CCTCB_Draw_RobotHDR : public CCTCB {
public:
    static CCTCB_Draw_RobotHDR* Create(CList<TCB>* list, u32 priority);
    void Draw() override;
};
class CCTCB_EndHDRState : public TCB {
public:
    static CCTCB_EndHDRState* Create(CList<TCB>* list, u32 priority);
    void Draw() override;
};
class CCTCB_DrawSP_All : public CCTCB {
public:
    static CCTCB_DrawSP_All* Create(CList<TCB>* list, u32 priority);
    void DrawSP() override;
};

// Where the starters go; tests put their own scenes here.
struct CharaSelectExits {
    SceneGetter battle = nullptr;  // the battle scene
    SceneGetter title = nullptr;   // the title scene
};
CharaSelectExits& GetCharaSelectExits();
