#pragma once
// The per-mode tasks the set-up creates: the judge of each mode, which
// decides when the battle is over, shows the result, records it and leaves,
// and the online rules' clock, score and result-table tasks.
#include "battle/tasks/GMTCB.h"
#include "engine/graphics/TextureManager.h"

class BaseScene;
class CGameScene;
class CRobot_Base;
class GMTCB_DrawPS_Picture;
class GMTCB_DrawSP_DispString2;
class GMTCB_DrawSP_ScoreResultDisp;
class TCB_ExpGet;
class TCB_RankingInput;
class TCB_RankingList;

inline constexpr const char* kWonPicture = "Quillon/Complete.png";
inline constexpr const char* kLostPicture = "Quillon/failed.png";
// Frames a judge waits for the server's echo of its return to the room.
inline constexpr i32 kJudgeReturnWaitFrames = 60 + 20 * 60;

// What every judge holds, and the steps they share.
class GMTCB_JudgeBase : public GMTCB {
public:
    CGameScene* scene = nullptr;
    GMTCB_DrawPS_Picture* picture = nullptr;
    GMTCB_DrawSP_ScoreResultDisp* table = nullptr;
    TCB_ExpGet* expGet = nullptr;
    GMTCB_DrawSP_DispString2* notice = nullptr;
    TCB_RankingInput* rankingInput = nullptr;
    TCB_RankingList* rankingList = nullptr;
    f32 rankingX = 0.0f;
    i32 counter = 0;
    u8 won = 0;
    // Online: frames the result screens still wait for Enter (-1: none
    // counting), and the line that shows the seconds.
    i32 returnFramesLeft = -1;
    GMTCB_DrawSP_DispString2* countdown = nullptr;
    u8 decidedOnline = 0;
    u8 resultSaved = 0;
    u8 closing = 0;

    i32 Proc_Disconnected();
    // The window closes on a decided online result: the result steps on as
    // Enter steps it, until the experience Enter would have brought is
    // saved. Nothing for a spectator, a lost connection or a result saved.
    void SaveResultOnClose();

protected:
    // The battle is decided: any pause menu closes and the result follows.
    void EndBattle();
    void ShowPicture(const char* file);
    void DecideOffline(bool hasWon);
    void DecideOnline(bool hasWon);
    void FadePicture();
    void RemovePicture();
    void StopUnits();
    i32 SwitchTo(BaseScene* (*getter)());
    i32 GoTitle();
    static void ClearEscape();
    static bool EnterHeld();
    // Enter, or the window closing on the result (which takes every step).
    bool EnterPressed(u32 intervalMs) const;
    // Online: false (and the judge now shows the lost connection) when
    // either connection is gone.
    bool ConnectionHolds();
    CRobot_Base* PlayerRobot() const;
    CRobot_Base* OwnRobot() const;
    bool OwnIsSpectator() const;
    bool BattleTooShort() const;
    void StartExp(i32 experience, u32 mode);
    // The experience notice confirmed: finished and the profile saved (a
    // failed save is shown). False while the player has not confirmed.
    bool ExpSaved();
    // The online result screens' own way back to the room: the countdown
    // starts with the table and runs through the experience notice.
    void StartReturnCountdown();
    // One frame of the countdown; true once the time is up.
    bool ReturnCountdownOver();
    void StopReturnCountdown();
    // ExpSaved, the notice confirmed by the countdown when its time is up.
    bool ExpSavedOrTimeUp();
    void ShowNotice(const char* text);
    // The team rules' steps from the decision to the experience.
    i32 DecideLastTeam(i32 living, i32 last, Phase showResult);
    i32 ShowResultUntilEnter(Phase resultTable);
    i32 ResultTableUntilEnter(Phase expSave, Phase returnToRoom);
    // Waits for the server's echo of the return, then the room; gives up
    // for the title when it never comes.
    i32 WaitForRoom(bool fadeFirst, bool checkConnection);
};

template <class D>
class JudgeTask : public GMTCB_JudgeBase {
public:
    static D* Create(CList<TCB>* list, u32 priority) { return CreateBattleTask<D>(list, priority); }
};

// The scene's judges save a decided online result as the window closes.
void SaveResultOnClose(CGameScene& scene);

class GMTCB_Judge_SurvivalMode : public JudgeTask<GMTCB_Judge_SurvivalMode> {
public:
    GMTCB_Judge_SurvivalMode() { SetPhase(&GMTCB_Judge_SurvivalMode::Proc_Watch); }
    i32 Proc_Watch();
    i32 Proc_RankingInput();
    i32 Proc_RankingList();
    i32 ShowRankingList();
};

class GMTCB_Judge_TeamBattleMode : public JudgeTask<GMTCB_Judge_TeamBattleMode> {
public:
    GMTCB_Judge_TeamBattleMode() { SetPhase(&GMTCB_Judge_TeamBattleMode::Proc_Watch); }
    i32 Proc_Watch();
    // Shared with the blitz judge.
    i32 Proc_Result();
};

class GMTCB_Judge_BlitzTacticsMode : public JudgeTask<GMTCB_Judge_BlitzTacticsMode> {
public:
    GMTCB_Judge_BlitzTacticsMode() { SetPhase(&GMTCB_Judge_BlitzTacticsMode::Proc_Watch); }
    i32 Proc_Watch();
};

class GMTCB_Judge_LocalBattle_RestBody : public JudgeTask<GMTCB_Judge_LocalBattle_RestBody> {
public:
    GMTCB_Judge_LocalBattle_RestBody() { SetPhase(&GMTCB_Judge_LocalBattle_RestBody::Proc_Watch); }
    i32 Proc_Watch();
    i32 Proc_Result();
};

class GMTCB_Judge_NetTeamSurvival : public JudgeTask<GMTCB_Judge_NetTeamSurvival> {
public:
    GMTCB_Judge_NetTeamSurvival() { SetPhase(&GMTCB_Judge_NetTeamSurvival::Proc_Watch); }
    i32 Proc_Watch();
    i32 Proc_ShowResult();
    i32 Proc_ResultTable();
    i32 Proc_ExpSave();
    // Shared with the team-cost judge.
    i32 Proc_ReturnToRoom();
};

class GMTCB_Judge_NetTimeSurvival : public JudgeTask<GMTCB_Judge_NetTimeSurvival> {
public:
    GMTCB_Judge_NetTimeSurvival() { SetPhase(&GMTCB_Judge_NetTimeSurvival::Proc_Watch); }
    i32 Proc_Watch();
    i32 Proc_ShowResult();
    i32 Proc_ResultTable();
    i32 Proc_ExpSave();
    i32 Proc_ReturnToRoom();
};

class GMTCB_Judge_NetGeigekisen : public JudgeTask<GMTCB_Judge_NetGeigekisen> {
public:
    GMTCB_Judge_NetGeigekisen() { SetPhase(&GMTCB_Judge_NetGeigekisen::Proc_Watch); }
    i32 Proc_Watch();
    i32 Proc_ShowResult();
    i32 Proc_ResultTable();
    i32 Proc_ExpSave();
    i32 Proc_ReturnToRoom();
    // Every 600 battle frames a wave of computer robots joins team 1.
    void SpawnWave();
    u32 lastWaveFrame = 0xFFFFFFFFu;
};

class GMTCB_Judge_NetTeamCost : public JudgeTask<GMTCB_Judge_NetTeamCost> {
public:
    GMTCB_Judge_NetTeamCost() { SetPhase(&GMTCB_Judge_NetTeamCost::Proc_Watch); }
    i32 Proc_Watch();
    i32 Proc_ShowResult();
    i32 Proc_ResultTable();
    i32 Proc_ExpSave();
};

// Counts the time-survival clock down while the battle runs.
class GMTCB_Proc_TimeDec : public BattleTask<GMTCB_Proc_TimeDec> {
public:
    i32 Proc() override;
    CGameScene* scene = nullptr;
};

// Every present team's score, in columns of ten.
class GMTCB_DrawPS_AllTeamScore : public BattleTask<GMTCB_DrawPS_AllTeamScore> {
public:
    void DrawSP() override;
    CGameScene* scene = nullptr;
};

// One row of the online result table.
struct ScoreResultRow {
    u16 slot = 0;
    i32 face = -1;
    char name[256] = {};
    i32 kills = 0;
    i32 score = 0;
    u32 valid = 0;
    u32 colour = 0;
};

// The online result table: every participant's kills and score, best first.
class GMTCB_DrawSP_ScoreResultDisp : public BattleTask<GMTCB_DrawSP_ScoreResultDisp> {
public:
    ~GMTCB_DrawSP_ScoreResultDisp() override;
    void DrawSP() override;
    // Fills the rows from the robot table (spectators and empty slots give
    // empty rows), sorts them by score with equal scores in slot order, and
    // loads the background and the faces shown.
    void Fill(CGameScene& scene);

    i32 show = 0;
    ScoreResultRow rows[11];  // the eleventh is the spare of the exchanges
    TextureHandle background;
    TextureHandle faces[100];
    u32 ownSlot = 0;
};
