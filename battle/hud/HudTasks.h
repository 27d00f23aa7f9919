#pragma once
// The standing head-up display tasks the set-up creates: they host the
// watched robot's cockpit overlay, radar and the labels over other robots.
// Elements whose drawing is not here yet draw nothing.
#include <string>
#include <vector>

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
// The chat line being typed, with the caret and the input method's
// composition.
class GMTCB_DrawSP_ChatInputStringDisp : public BattleTask<GMTCB_DrawSP_ChatInputStringDisp> {
public:
    void DrawSP() override;
};
// The newest ten chat lines in the lower right corner.
class GMTCB_DrawSP_ChatLogDisp : public BattleTask<GMTCB_DrawSP_ChatLogDisp> {
public:
    void DrawSP() override;
};
// Practice keys, shown and hidden with Tab.
class GMTCB_DrawSP_PracticeDisp : public BattleTask<GMTCB_DrawSP_PracticeDisp> {
public:
    GMTCB_DrawSP_PracticeDisp();
    i32 Proc() override;
    void DrawSP() override;
    u32 shown = 0;
    std::string help;
};
// Every player of an online battle by team, shown and hidden with Tab: name,
// robot, frame rate and ping, bodies left, parts and HP.
class GMTCB_DrawSP_NetDetailDisp : public BattleTask<GMTCB_DrawSP_NetDetailDisp> {
public:
    i32 Proc() override;
    void DrawSP() override;
    // Robot-table entries 0..9 by their team, spectators left out.
    void RebuildGroups(CGameScene& scene);
    u32 shown = 0;
    char lineBuffer[1024] = {};
    i32 frameCounter = 0;
    std::vector<std::vector<i32>> groups = std::vector<std::vector<i32>>(20);
};

// Whether the battle stands still for the player, a pause menu open or a
// judge's decision, so the display steps aside. Waiting online is not such
// a pause: the cockpit would blink off with every late packet.
bool PausedForPlayer(const CGameScene& scene);

// The robot the current view watches, or null.
CRobot_Base* WatchedRobot(CGameScene& scene);

// How many bytes of a chat line the label shows: at most `limit`, never
// ending inside a character.
i32 WholeCharacterBytes(const char* text, i32 limit);
