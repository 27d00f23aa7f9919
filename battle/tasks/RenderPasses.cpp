#include "battle/tasks/RenderPasses.h"

#include "app/scene/Camera.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "engine/graphics/GraphicsDevice.h"

namespace {

void SetState(plat::GfxRenderState state, u32 value)
{
    if (plat::GfxDevice* device = GetGraphicsDevice()->device) device->SetRenderState(state, value);
}

}  // namespace

void GMTCB_DrawSkyDome::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    SetState(plat::GfxRenderState::Lighting, 0);
    SetState(plat::GfxRenderState::FogEnable, 0);
    scene->battleMap.sky.SetWorld();
    scene->battleMap.sky.Draw();
    SetState(plat::GfxRenderState::Lighting, 1);
    SetState(plat::GfxRenderState::FogEnable, 1);
}

void GMTCB_DrawBeginStateBB::Draw()
{
    SetState(plat::GfxRenderState::Lighting, 0);
    SetState(plat::GfxRenderState::FogEnable, 0);
    SetState(plat::GfxRenderState::ZWriteEnable, 0);
    SetState(plat::GfxRenderState::CullMode, plat::CullNone);
}

void GMTCB_DrawEndStateBB::Draw()
{
    SetState(plat::GfxRenderState::Lighting, 1);
    SetState(plat::GfxRenderState::FogEnable, 1);
    SetState(plat::GfxRenderState::ZWriteEnable, 1);
    SetAlphaBlend();
    SetState(plat::GfxRenderState::CullMode, plat::CullCCW);
}
