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

// One icon per body the watched robot has left.
class GMTCB_DrawSP_PlayerRestDisp : public BattleTask<GMTCB_DrawSP_PlayerRestDisp> {
public:
    void DrawSP() override;
};

// One gauge per team in use: what is left of the team's cost, the back
// flashing red faster as it runs out.
class GMTCB_DrawSP_TeamCostDisp : public BattleTask<GMTCB_DrawSP_TeamCostDisp> {
public:
    GMTCB_DrawSP_TeamCostDisp();
    i32 Proc() override;
    void DrawSP() override;
    Mat4 spriteMatrix;
    f32 shown[21];
};

class CGameScene;
// What is left of a team's cost as a share of the room's full cost (0 when
// the room sets no cost); not capped at 1.
f32 TeamCostShare(const CGameScene& scene, i32 team);
// The back's brightness factor: 1 steady, else a pulse faster as the cost
// runs low.
f32 TeamCostFlash(f32 shownShare, f32 share, u32 frame);

// The text of the time display for a frame count (seconds, at least three digits).
void FormatBattleTime(char* out, u32 size, i32 frames);
