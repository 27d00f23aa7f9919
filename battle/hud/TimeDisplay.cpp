#include "battle/hud/TimeDisplay.h"

#include <cstdio>

#include "app/core/Application.h"
#include "app/scene/DigitDraw.h"
#include "app/scene/SceneDevice.h"
#include "battle/GameScene.h"
#include "battle/hud/HudTasks.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"

void FormatBattleTime(char* out, u32 size, i32 frames)
{
    std::snprintf(out, size, "%03d", frames / 60);
}

i32 GMTCB_Proc_TimeAdd::Proc()
{
    CGameScene* scene = FindGameScene();
    // An online battle's clock stands while it waits for a late input, so
    // every client counts the same frames however long each one waited.
    if (scene && scene->battleEnd == 0 && scene->paused != kPausedWaitingOnline) ++scene->battleTime;
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

i32 GMTCB_DrawSP_TeamCostDisp::Proc()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->teamsPresent.IsCreated()) return kTaskKeep;
    for (i32 t = 0; t < 4; ++t) {
        const f32 r = TeamCostShare(*scene, t);
        // The shown share catches up a hundredth a frame.
        if (shown[t] > r) shown[t] = shown[t] - 0.01f < r ? r : shown[t] - 0.01f;
        else if (shown[t] < r) shown[t] = shown[t] + 0.01f > r ? r : shown[t] + 0.01f;
    }
    return kTaskKeep;
}

f32 TeamCostShare(const CGameScene& scene, i32 team)
{
    const BattleSettings& settings = scene.battleSettings;
    const f32 full = static_cast<f32>(settings.costLimit) * settings.costRate;
    // A room without a cost (zero base or rate) shows an empty gauge.
    if (!(full > 0.0f) || team < 0 || team >= scene.teamCosts.GetCount()) return 0.0f;
    const f32 r = static_cast<f32>(static_cast<i32>(scene.teamCosts[team])) / full;
    return r < 0.0f ? 0.0f : r;
}

f32 TeamCostFlash(f32 shownShare, f32 share, u32 frame)
{
    u32 speed = 0;
    if (shownShare <= 0.2f) speed = 40;
    else if (share <= 0.4f) speed = 20;
    else if (share <= 0.6f) speed = 10;
    if (!speed) return 1.0f;
    return (plat::DetSin(static_cast<f32>((frame * speed) % 360u) * 0.017453f) + 1.0f) * 0.5f;
}

void GMTCB_DrawSP_TeamCostDisp::DrawSP()
{
    CGameScene* scene = FindGameScene();
    GraphicsDevice* gd = GetGraphicsDevice();
    // Like the rest of the display, hidden while the battle stands still.
    if (!scene || PausedForPlayer(*scene) || !gd->sprite) return;
    if (!scene->interfaceTextures.IsCreated() || !scene->teamsPresent.IsCreated()) return;
    const TextureHandle& gauge = scene->interfaceTextures[29];
    const TextureHandle& back = scene->interfaceTextures[30];
    if (!gauge.texture || gauge.sourceRect.Width() <= 0 || gauge.sourceRect.Height() <= 0) return;
    const Mat4 layout = LayoutToScreen();
    for (i32 t = 0; t < 4; ++t) {
        if (!scene->teamsPresent[t]) continue;
        Mat4 scale, move, m;
        plat::MatrixScaling(&scale, 380.0f / static_cast<f32>(gauge.sourceRect.Width()),
                            24.0f / static_cast<f32>(gauge.sourceRect.Height()), 1.0f);
        plat::MatrixTranslation(&move, 412.0f, 13.0f + 26.0f * static_cast<f32>(t), 0.0f);
        plat::MatrixMultiply(&m, &scale, &move);
        plat::MatrixMultiply(&spriteMatrix, &m, &layout);
        gd->sprite->SetTransform(spriteMatrix);
        const f32 f = TeamCostFlash(shown[t], TeamCostShare(*scene, t), scene->battleFrame);
        const u32 red = static_cast<u32>((1.0f - f) * 255.0f) & 0xFFu;
        if (back.texture) gd->sprite->Draw(back.texture, &back.sourceRect, nullptr, nullptr, 0x80000000u | red << 16);
        plat::GfxRect cut = gauge.sourceRect;
        cut.right = static_cast<i32>(static_cast<f32>(cut.right) * shown[t]);
        gd->sprite->Draw(gauge.texture, &cut, nullptr, nullptr, CApplication::GetColor(t));
    }
}
