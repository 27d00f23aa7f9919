#pragma once
// The standing head-up display tasks the set-up creates: they host the
// watched robot's cockpit overlay, radar and the labels over other robots.
// Elements whose drawing is not here yet draw nothing.
#include "battle/tasks/GMTCB.h"
#include "platform/core/Types.h"

class CGameScene;
class CRobot_Base;

class GMTCB_DrawSP_Interface : public BattleTask<GMTCB_DrawSP_Interface> {
public:
    void DrawSP() override;
};
class GMTCB_DrawSP_Ladar : public BattleTask<GMTCB_DrawSP_Ladar> {
public:
    void Draw() override;
    void DrawSP() override;
};
class GMTCB_DrawSP_CharaInfo : public BattleTask<GMTCB_DrawSP_CharaInfo> {
public:
    void DrawSP() override;
};
class GMTCB_DrawSP_ChatInputStringDisp : public BattleTask<GMTCB_DrawSP_ChatInputStringDisp> {};
class GMTCB_DrawSP_ChatLogDisp : public BattleTask<GMTCB_DrawSP_ChatLogDisp> {};
class GMTCB_DrawSP_PracticeDisp : public BattleTask<GMTCB_DrawSP_PracticeDisp> {};
class GMTCB_DrawSP_NetDetailDisp : public BattleTask<GMTCB_DrawSP_NetDetailDisp> {};

// The robot the current view watches, or null.
CRobot_Base* WatchedRobot(CGameScene& scene);

// How many bytes of a chat line the label shows: at most `limit`, never
// ending inside a character.
i32 WholeCharacterBytes(const char* text, i32 limit);
