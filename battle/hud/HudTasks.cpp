#include "battle/hud/HudTasks.h"

#include <cstring>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"

namespace {

// The element shows: the battle is not paused and the hide bit is clear.
CRobot_Base* ShownWatched(u32 hideBit)
{
    CGameScene* scene = FindGameScene();
    if (!scene || scene->paused || (scene->hudHideBits & hideBit)) return nullptr;
    return WatchedRobot(*scene);
}

void SetLightingAndFog(u32 on)
{
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    if (!device) return;
    device->SetRenderState(plat::GfxRenderState::Lighting, on);
    device->SetRenderState(plat::GfxRenderState::FogEnable, on);
}

// A robot's chat line beside it, on a dark box that grows a row per 200
// pixels of text.
void DrawChatLabel(CRobot_Base* robot)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::Font* font = gd->fonts[0];
    const TextureHandle& dot = GetApplication()->sharedTextures[0];
    if (!font || !gd->sprite) return;
    const i32 bytes = WholeCharacterBytes(robot->chatLine, static_cast<i32>(sizeof robot->chatLine));
    char text[sizeof robot->chatLine + 1] = {};
    std::memcpy(text, robot->chatLine, static_cast<size_t>(bytes));
    const i32 x = static_cast<i32>(robot->screenPos.x), y = static_cast<i32>(robot->screenPos.y);
    const i32 width = font->GetTextExtent(text, bytes).cx;
    if (dot.texture && dot.sourceRect.Width() > 0 && dot.sourceRect.Height() > 0) {
        const f32 boxW = static_cast<f32>((width < 200 ? width : 200) + 2);
        const f32 boxH = static_cast<f32>((width / 200 + 1) * 12 + 2);
        Mat4 m;
        plat::MatrixScaling(&m, boxW / static_cast<f32>(dot.sourceRect.Width()),
                            boxH / static_cast<f32>(dot.sourceRect.Height()), 1.0f);
        m.m[3][0] = static_cast<f32>(x + 15);
        m.m[3][1] = static_cast<f32>(y - 11);
        gd->sprite->SetTransform(m);
        gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, nullptr, 0x80000000u);
    }
    gd->sprite->SetTransform(Mat4::Identity());
    const plat::GfxRect rect{x + 16, y - 10, x + 216, y + 62};
    GetTextureCache()->DrawText(font, text, -1, &rect, 0x10, 0xFFFFFFFFu, 60, 0, 0);
}

}  // namespace

CRobot_Base* WatchedRobot(CGameScene& scene)
{
    if (!scene.robotTable.IsCreated()) return nullptr;
    const u32 p = scene.currentView ? scene.currentView->player : scene.fullView.player;
    return p < static_cast<u32>(kRobotTableSize) ? scene.robotTable[static_cast<i32>(p)] : nullptr;
}

i32 WholeCharacterBytes(const char* text, i32 limit)
{
    i32 n = 0;
    while (n < limit && text[n]) ++n;
    if (n < limit || n == 0) return n;
    // Cut at the lead byte of the last character when it does not fit whole.
    i32 lead = n - 1;
    while (lead > 0 && (static_cast<u8>(text[lead]) & 0xC0u) == 0x80u) --lead;
    const u8 c = static_cast<u8>(text[lead]);
    const i32 length = c < 0x80u ? 1 : c >= 0xF0u ? 4 : c >= 0xE0u ? 3 : c >= 0xC0u ? 2 : 1;
    return lead + length <= n ? n : lead;
}

void GMTCB_DrawSP_Interface::DrawSP()
{
    if (CRobot_Base* robot = ShownWatched(1)) robot->DrawInterface();
}

void GMTCB_DrawSP_Ladar::Draw()
{
    CRobot_Base* robot = ShownWatched(1);
    if (!robot) return;
    SetLightingAndFog(0);
    robot->DrawRadar();
    SetLightingAndFog(1);
}

void GMTCB_DrawSP_Ladar::DrawSP()
{
    if (CRobot_Base* robot = ShownWatched(1)) robot->DrawRadarMarkers();
}

void GMTCB_DrawSP_CharaInfo::DrawSP()
{
    CGameScene* scene = FindGameScene();
    if (!scene || scene->paused || (scene->hudHideBits & 2)) return;
    CRobot_Base* watched = WatchedRobot(*scene);
    CList<BB_Base>& units = scene->unitList;
    for (BB_Base* o = units.GetHead()->next; o && o != units.GetTail(); o = o->next) {
        const i32 kind = o->GetKind();
        if (kind < kKindRobotBase || kind > kKindShip) continue;
        auto* robot = static_cast<CRobot_Base*>(o);
        if (watched && robot != watched && robot != watched->lockTarget) watched->DrawCharaInfo(robot);
        if (robot->chatLineTimer > 0 && robot->screenPos.z > 0.0f) DrawChatLabel(robot);
    }
}
