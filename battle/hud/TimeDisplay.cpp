#include "battle/hud/TimeDisplay.h"

#include <cstdio>

#include "app/core/Application.h"
#include "app/scene/DigitDraw.h"
#include "battle/GameScene.h"
#include "engine/graphics/GraphicsDevice.h"

void FormatBattleTime(char* out, u32 size, i32 frames)
{
    std::snprintf(out, size, "%03d", frames / 60);
}

i32 GMTCB_Proc_TimeAdd::Proc()
{
    CGameScene* scene = FindGameScene();
    if (scene && scene->battleEnd == 0) ++scene->battleTime;
    return kTaskKeep;
}

void GMTCB_DrawSP_GameTimeDisp::DrawSP()
{
    CGameScene* scene = FindGameScene();
    if (!scene || scene->battleEnd == 1 || (scene->hudHideBits & 1) || !GetGraphicsDevice()->sprite) return;
    FormatBattleTime(scene->timeText, sizeof scene->timeText, static_cast<i32>(scene->battleTime));
    DrawDigitString(*GetApplication(), scene->timeText, -1, 270.0f, 9.0f, 0.5f, -10, 0xC8FFFFFFu);
}

GMTCB_DrawSP_TeamCostDisp::GMTCB_DrawSP_TeamCostDisp()
{
    for (f32& s : shown) s = 1.0f;
}
