#pragma once
// The battle clock and the running figures of an offline battle: time,
// remaining bodies and team costs.
#include "battle/tasks/GMTCB.h"
#include "platform/math/MathTypes.h"

// Counts battle frames until a judge ends the battle.
class GMTCB_Proc_TimeAdd : public BattleTask<GMTCB_Proc_TimeAdd> {
public:
    i32 Proc() override;
};

// The battle time in whole seconds ("%03d").
class GMTCB_DrawSP_GameTimeDisp : public BattleTask<GMTCB_DrawSP_GameTimeDisp> {
public:
    void DrawSP() override;
};

class GMTCB_DrawSP_PlayerRestDisp : public BattleTask<GMTCB_DrawSP_PlayerRestDisp> {};

class GMTCB_DrawSP_TeamCostDisp : public BattleTask<GMTCB_DrawSP_TeamCostDisp> {
public:
    GMTCB_DrawSP_TeamCostDisp();
    Mat4 spriteMatrix;
    f32 shown[21];
};

// The text of the time display for a frame count (seconds, at least three digits).
void FormatBattleTime(char* out, u32 size, i32 frames);
