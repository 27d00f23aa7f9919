#pragma once
// The pause menus: Escape in a battle opens the menu of the game mode, a
// darkened screen with a pulsing cursor bar, the items and a line describing
// the selected one. Offline menus stop the battle while open; the online menu
// leaves it running. Each menu is one task driving its child display tasks
// through a stored state procedure.
#include <string>

#include "battle/tasks/GMTCB.h"
#include "platform/core/Types.h"

class BaseScene;
class CGameScene;
class GMTCB_DrawPS_Black;
class GMTCB_DrawPS_Beta;
class GMTCB_DrawSP_DispString2;

inline constexpr i32 kPauseItemsMax = 5;

// What choosing an item does.
enum class PauseAction : u8 {
    Resume,
    Photo,
    MousePhoto,
    LeaveToCharaSelect,
    LeaveToVsRoom,
    TitleDisconnect,
    TitleEndStory,
    LeaveToRoom,
    TitleFromOnline,
};

// The record every pause menu shares.
class PauseMenuTask : public TCB {
public:
    using State = i32 (PauseMenuTask::*)();

    PauseMenuTask();
    // A menu deleted with its scene gives the system cursor back.
    ~PauseMenuTask() override;
    i32 Proc() override { return state ? (this->*state)() : kTaskKeep; }

    // States.
    i32 MenuState();
    i32 PhotoState();
    i32 MousePhotoState();
    i32 LeaveState();
    i32 ClosedState();

    // The battle is decided: the menu and its photo modes go before the
    // result shows, as if resumed, and nothing it offers can be chosen.
    void CloseForBattleEnd();

    CGameScene* scene = nullptr;
    i32 count = 0;
    i32 fadeLevel = 0;
    GMTCB_DrawPS_Black* fade = nullptr;
    GMTCB_DrawPS_Beta* bar = nullptr;
    GMTCB_DrawSP_DispString2* items[kPauseItemsMax] = {};
    std::string help[kPauseItemsMax];
    PauseAction actions[kPauseItemsMax] = {};
    GMTCB_DrawSP_DispString2* helpLine = nullptr;
    i32 cursor = 0;
    i32 phase = 0;
    State state = nullptr;
    u8 online = 0;       // photo modes hide the cockpit; leaving costs experience
    u8 cursorHidden = 0;
    u8 chatHookTaken = 0;  // the battle's chat line waits while the menu is open
    // Where a leave state goes.
    BaseScene* (*leaveTo)() = nullptr;

private:
    i32 Resume();
    void Hide(bool hidden);
    i32 Choose(PauseAction action);
    void LeavePenalty();
    void ShowCursorAgain();
};

class GMTCB_Proc_Pause_SurvivalMode : public BattleTask<GMTCB_Proc_Pause_SurvivalMode, PauseMenuTask> {};
class GMTCB_Proc_Pause_NormalMode : public BattleTask<GMTCB_Proc_Pause_NormalMode, PauseMenuTask> {};
class GMTCB_Proc_Pause_PracticeMode : public BattleTask<GMTCB_Proc_Pause_PracticeMode, PauseMenuTask> {};
class GMTCB_Proc_Pause_LocalBattleMode : public BattleTask<GMTCB_Proc_Pause_LocalBattleMode, PauseMenuTask> {};
class GMTCB_Proc_Pause_OnlineMode : public BattleTask<GMTCB_Proc_Pause_OnlineMode, PauseMenuTask> {};

// The four layouts, built on a new menu task with the scene.
void BuildPauseMenu_Battle(PauseMenuTask* menu, CGameScene* scene);
void BuildPauseMenu_Arcade(PauseMenuTask* menu, CGameScene* scene);
void BuildPauseMenu_Local(PauseMenuTask* menu, CGameScene* scene);
void BuildPauseMenu_Online(PauseMenuTask* menu, CGameScene* scene);

// Closes every pause menu open in the scene; the judges call it as they
// decide, so no menu is drawn over a result or takes its keys.
void ClosePauseMenus(CGameScene& scene);

// Leaving an online battle after two minutes of game clock costs a player
// (not a spectator) 10,000 experience.
bool LeavingCostsExperience(u32 clockFrames, i32 displayTeam);
