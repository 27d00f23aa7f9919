#pragma once
// The judge of an arcade stage: a win shows the complete picture and goes
// back to the interlude screen for the next stage; a loss shows the failed
// picture and asks whether to continue (the stage again, the score halved)
// or to give up (the ranking name entry, the list, the title).
#include "battle/tasks/ModeTasks.h"

class GMTCB_Normal_Continue;

class GMTCB_Judge_NormalBattleMode : public JudgeTask<GMTCB_Judge_NormalBattleMode> {
public:
    GMTCB_Judge_NormalBattleMode() { SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_Judging); }

    i32 Phase_Judging();
    i32 Phase_Cleared();
    i32 Phase_ClearWait();
    i32 Phase_Failed();
    i32 Phase_Continue();
    i32 Phase_ToInterlude();
    i32 Phase_RankingEntry();
    i32 Phase_RankingList();
    i32 Phase_ToTitle();

    GMTCB_Normal_Continue* continueTask = nullptr;
    i32 forcedFrames = 0;

private:
    // Scripted runs only: decides the stage by force (see the .cpp).
    void DecideByTestSwitch();
    // Robot slots 0 and 1 carry their scores into the player entries.
    void CopyScores();
    bool SecondSlotHeld() const;
};

// The continue prompt over the lost battle.
class GMTCB_Normal_Continue : public BattleTask<GMTCB_Normal_Continue> {
public:
    i32 Proc() override;
    void DrawSP() override;

    i32 result = 0;   // 0 undecided, 1 continue, 2 give up
    i32 cursor = 0;   // 0 continue, 1 give up
    i32 finished = 0; // 1 removes the task
    i32 enabled = 1;
};

// Signed halving, truncating toward zero (1001 -> 500, -3 -> -1).
inline i32 HalveScore(i32 score) { return score / 2; }

// The ranking list's title of an arcade difficulty.
const char* ArcadeRankingTitle(i32 difficulty);
