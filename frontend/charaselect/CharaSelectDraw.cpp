// What the selection draws: the background with the orbiting preview, its
// glow, and the 2D panels of each step.
#include <cstdio>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "app/scene/SharedPictures.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SelectInterface.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "frontend/charaselect/CharaSelectScene.h"
#include "frontend/charaselect/CharaSelectTasks.h"
#include "platform/gfx/Font.h"
#include "platform/math/Math.h"
#include "robot/RobotType.h"

namespace {

CCharaSelectScene& Scene() { return *SceneInstance<CCharaSelectScene>(); }

void SetState(plat::GfxRenderState state, u32 value)
{
    if (plat::GfxDevice* d = GetGraphicsDevice()->device) d->SetRenderState(state, value);
}

bool HdrOn() { return GetApplication()->video.hdr != 0; }

f32 BackWidth() { return f32(GetApplication()->video.screenWidth); }
f32 BackHeight() { return f32(GetApplication()->video.screenHeight); }

void DrawAt(TextureHandle& picture, f32 x, f32 y, const plat::GfxRect* source = nullptr)
{
    if (!picture.texture) return;
    SetSpriteAt(x, y);
    GetGraphicsDevice()->sprite->Draw(picture.texture, source ? source : &picture.sourceRect, nullptr, nullptr,
                                      0xFFFFFFFFu);
}

void DrawHeading(TextureHandle& picture)
{
    DrawAt(picture, f32(512 - picture.sourceRect.Width() / 2), 10.0f);
}

// "dot.png" over the whole back buffer in black at alpha 200.
void Dim()
{
    FillLayoutRect(Scene().pictures[CharaPictureDot].texture, 0.0f, 0.0f, 1024.0f, 768.0f, 0xC8000000u);
    SetAlphaBlend();
}

void Text(i32 font, const char* text, const plat::GfxRect& rect, u32 format, u32 colour)
{
    DrawTextAt(font, 0.0f, 0.0f, text, -1, &rect, format, colour);
}

}  // namespace

void CCTCB_DrawPS_Black::DrawSP()
{
    if (CCharaSelectScene* scene = SceneInstance<CCharaSelectScene>())
        FillLayoutRect(scene->pictures[CharaPictureDot].texture, 0.0f, 0.0f, 1024.0f, 768.0f, (level & 0xFF) << 24);
}

CCTCB_Draw_Robot* CCTCB_Draw_Robot::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_Draw_Robot>(list, priority);
}
CCTCB_BeginHDRState* CCTCB_BeginHDRState::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_BeginHDRState>(list, priority);
}
CCTCB_Draw_RobotHDR* CCTCB_Draw_RobotHDR::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_Draw_RobotHDR>(list, priority);
}
CCTCB_EndHDRState* CCTCB_EndHDRState::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_EndHDRState>(list, priority);
}
CCTCB_DrawSP_All* CCTCB_DrawSP_All::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_DrawSP_All>(list, priority);
}

void CCTCB_Draw_Robot::Draw()
{
    CCharaSelectScene& scene = Scene();
    SetState(plat::GfxRenderState::FogEnable, 0);
    SetState(plat::GfxRenderState::ZWriteEnable, 0);
    TextureHandle& back = GetSharedPicture(SharedPicture::Back);
    if (back.texture) back.DrawScreenQuadUV(0.0f, 0.0f, BackWidth(), BackHeight(), 0.0f, 0.0f, 1024.0f, 768.0f, 1, 1, 1, 1);
    SetState(plat::GfxRenderState::ZWriteEnable, 1);
    RobotModelData* model = scene.previewModel;
    if (model && model->hierarchy.root && model->colorSets.GetCount() > 0)
        model->DrawMesh(&model->hierarchy, &model->colorSets[0]);
    SetState(plat::GfxRenderState::FogEnable, 1);
}

void CCTCB_BeginHDRState::Draw()
{
    CCharaSelectScene& scene = Scene();
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!HdrOn() || !d || !scene.bloomTarget.texture) return;
    scene.bloomTarget.SetAsRenderTarget();
    d->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);
    d->SetTexture(0, nullptr);
    SetState(plat::GfxRenderState::AlphaBlendEnable, 0);
    SetState(plat::GfxRenderState::ZWriteEnable, 0);
}

void CCTCB_Draw_RobotHDR::Draw()
{
    CCharaSelectScene& scene = Scene();
    RobotModelData* model = scene.previewModel;
    if (!HdrOn() || !scene.bloomTarget.texture || !model || !model->hierarchy.root ||
        model->colorSets.GetCount() <= 0)
        return;
    SetState(plat::GfxRenderState::FogEnable, 0);
    model->DrawMeshHDR(&model->hierarchy, &model->colorSets[0]);
    SetState(plat::GfxRenderState::FogEnable, 1);
}

void CCTCB_EndHDRState::Draw()
{
    CCharaSelectScene& scene = Scene();
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!HdrOn() || !gd->device || !scene.bloomTarget.texture) return;
    gd->RestoreRenderTarget();
    GetShaderBloom()->DrawBloom(&scene.bloomTarget, 0.0f, 0.0f, f32(scene.bloomTarget.sourceRect.Width()),
                                f32(scene.bloomTarget.sourceRect.Height()));
    SetState(plat::GfxRenderState::FogEnable, 0);
    SetAddBlend();
    if (TextureHandle* glow = GetShaderBloom()->BloomResult(); glow && glow->texture)
        glow->DrawScreenQuad(0.0f, 0.0f, BackWidth(), BackHeight(), 1, 1, 1, 1);
    gd->device->SetTexture(0, nullptr);
    SetAlphaBlend();
    SetState(plat::GfxRenderState::FogEnable, 1);
}

void CCTCB_DrawSP_All::DrawSP()
{
    CCharaSelectScene& scene = Scene();
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite) return;
    const plat::GfxRect screen{0, 0, 1024, 768};
    switch (scene.state) {
    case CharaStateRobot: {
        if (scene.robotRing) scene.robotRing->visible = 1;
        char player[32];
        std::snprintf(player, sizeof player, " 玩 家 %d", scene.playerIndex + 1);
        Text(1, player, screen, plat::TextLeft, 0xFFFFFFFFu);
        DrawHeading(scene.pictures[CharaPictureRobotHeading]);
        const CharaSelectEntry* entry = scene.SelectedEntry();
        if (!entry) break;
        // The name outlined: four offset copies, then the face colour.
        Text(2, entry->name, {-2, 518, 1022, 768}, plat::TextCenter, 0xFFFFFFFFu);
        Text(2, entry->name, {2, 518, 1026, 768}, plat::TextCenter, 0xFF808080u);
        Text(2, entry->name, {0, 516, 1024, 766}, plat::TextCenter, 0xFFFFFFFFu);
        Text(2, entry->name, {0, 520, 1024, 770}, plat::TextCenter, 0xFF808080u);
        Text(2, entry->name, {0, 518, 1024, 768}, plat::TextCenter, 0xFF3B80FFu);
        if (plat::Font* font = gd->fonts[1]) {
            char lines[5][128];
            i32 widest = 0;
            for (i32 k = 0; k < 5; ++k) {
                std::snprintf(lines[k], sizeof lines[k], "武器%d : %s", k + 1, entry->weapon[k]);
                const i32 w = font->GetTextExtent(lines[k], -1).cx;
                if (w > widest) widest = w;
            }
            // The list lies over the ring's cards, pale ones among them: a
            // dark backing and a black copy 2 pixels down and right, as the
            // other screens cast, keep the white lines readable.
            FillLayoutRect(scene.pictures[CharaPictureDot].texture, 4.0f, 563.0f,
                           f32((widest < 1000 ? widest : 1000) + 14), 24.0f * 5 + 8.0f, 0xB4000000u);
            SetAlphaBlend();
            SetSpriteAt(0.0f, 0.0f);
            for (i32 k = 0; k < 5; ++k) {
                const char* line = lines[k];
                plat::GfxRect shadow{12, 568 + 24 * k, 1026, 770};
                font->DrawText(gd->sprite, line, -1, &shadow, plat::TextLeft, 0xFF000000u);
                plat::GfxRect at{10, 566 + 24 * k, 1024, 768};
                font->DrawText(gd->sprite, line, -1, &at, plat::TextLeft, 0xFFFFFFFFu);
            }
        }
        break;
    }
    case CharaStatePilot: {
        Dim();
        const PilotRegistry& pilots = *GetPilotRegistry();
        const i32 p = scene.pilotRing ? scene.pilotRing->target : -1;
        if (p >= 0 && p < pilots.count) Text(2, pilots.slots[p].name, {0, 668, 1024, 768}, plat::TextCenter, 0xFFFFFFFFu);
        DrawHeading(scene.pictures[CharaPicturePilotHeading]);
        break;
    }
    case CharaStateStage: {
        Dim();
        const plat::GfxRect large{0, 0, 640, 480};
        DrawAt(scene.pictures[CharaPicturePilotHeading], 192.0f, 104.0f, &large);
        DrawHeading(scene.pictures[CharaPictureStageHeading]);
        break;
    }
    case CharaStateMusic:
        Dim();
        DrawHeading(scene.pictures[CharaPictureMusicHeading]);
        break;
    default:
        break;
    }
}
