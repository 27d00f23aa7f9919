#pragma once
// Kill and streak messages across the middle of the watched robot's screen,
// and the shadowed text they are drawn with.
#include "battle/tasks/GMTCB.h"
#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"

class CRobot_Base;
class CRobot_Normal;
class TextCacheEntry;

class GMTCB_DrawSP_KillMessage : public BattleTask<GMTCB_DrawSP_KillMessage> {
public:
    // Both lines (cut on a whole character), the life in frames and the
    // robot whose screen shows it; alpha starts opaque.
    void Set(const char* first, const char* second, i32 frames, CRobot_Base* robot);
    i32 Proc() override;
    void DrawSP() override;

    u32 visible = 1;
    char line1[256] = {};
    char line2[256] = {};
    i32 framesLeft = 0;
    i32 alpha = 0;
    CRobot_Base* ownerRobot = nullptr;  // whose screen shows it
    f32 offset[3] = {};
};

// A streak reward's announcement: a one-line kill message a hundred units
// lower, shown to the robot that earned it.
void ShowRewardMessage(CRobot_Normal* robot, const char* message);

// A kill or loss streak's announcement (its reward code): what it earned,
// shown to the robot that earned it.
void ShowStreakMessage(CRobot_Normal* robot, i32 code);

// Text in layout space drawn twice: first offset in the shadow colour, then
// the same cache entry in place in the main colour.
TextCacheEntry* DrawShadowText(i32 font, f32 x, f32 y, const char* text, i32 count, const plat::GfxRect* rect,
                               u32 format, u32 colour, f32 shadowX, f32 shadowY, u32 shadowColour);
