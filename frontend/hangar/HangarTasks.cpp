#include "frontend/hangar/HangarTasks.h"

#include <algorithm>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "battle/tasks/RenderPasses.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/Shaders.h"
#include "frontend/hangar/HangarScene.h"
#include "platform/math/Math.h"
#include "robot/RobotType.h"

namespace {

constexpr i32 KeyF4 = 0x73, KeyF5 = 0x74;
// Once per press: a key held down fires again only after this long.
constexpr u32 OncePerPress = 100000;
constexpr u32 FadePriority = 100;

void SetState(plat::GfxRenderState state, u32 value)
{
    if (plat::GfxDevice* d = GetGraphicsDevice()->device) d->SetRenderState(state, value);
}

}  // namespace

const HangarShot HangarShots[HangarShotCount] = {
    {{1.5f, 1.6f, 1.0f}, 180.0f, {-0.002f, 0.0f, 0.0f}, 1200},
    {{-1.5f, 3.0f, 2.0f}, 180.0f, {0.0f, -0.002f, 0.0f}, 1200},
    {{0.0f, 0.1f, 3.0f}, 180.0f, {0.0f, 0.0f, 0.0f}, 700},
    {{2.0f, 0.1f, 0.0f}, 0.0f, {-0.001f, 0.0012f, 0.001f}, 1200},
    {{-2.0f, 0.1f, 3.0f}, 180.0f, {0.002f, 0.0f, 0.0f}, 1200},
    {{-1.5f, 1.42f, -0.87f}, 90.0f, {0.001f, 0.0f, 0.0f}, 2400},
};

HGTCB::HGTCB() : scene(SceneInstance<CHangarScene>()) {}

// ---- fade ----------------------------------------------------------------------

HGTCB_FadeInOut* HGTCB_FadeInOut::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_FadeInOut>(list, priority);
}

i32 HGTCB_FadeInOut::Proc()
{
    if (phase == 0) {
        level += 200;
        if (level < FullLevel) return kTaskKeep;
        level = FullLevel;
        phase = 1;
    }
    level -= 100;
    if (level >= 0) return kTaskKeep;
    level = 0;
    return kTaskRemove;
}

void HGTCB_FadeInOut::Draw()
{
    const CApplication& app = *GetApplication();
    const u32 a = u32(level / 100) & 0xFF;
    GetGraphicsDevice()->DrawScreenQuad(0.0f, 0.0f, f32(app.video.screenWidth), f32(app.video.screenHeight), a << 24);
}

// ---- camera --------------------------------------------------------------------

HGTCB_Camera* HGTCB_Camera::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Camera>(list, priority);
}

Vec3 HGTCB_Camera::Target(i32 s, i32 f)
{
    switch (s) {
    case 0: return Vec3(0.0f, 1.6f, 0.0f);
    case 1: return Vec3(0.0f, 1.0f, 0.0f);
    case 2: return Vec3(0.0f, 0.1f + f32(f) / 800.0f, 0.0f);
    case 3: return Vec3(0.0f, std::min(0.1f + f32(f) / 600.0f, 1.5f), 0.0f);
    default: return Vec3(0.0f, 1.5f, 0.0f);
    }
}

void HGTCB_Camera::Restart()
{
    shot = 0;
    frameInShot = 0;
    fade = nullptr;
}

void HGTCB_Camera::Draw()
{
    if (!scene) return;
    // The next shot starts behind the fully dark screen of its fade; the
    // fade clears on its own afterwards.
    if (fade && fade->phase == 1) {
        shot = (shot + 1) % HangarShotCount;
        frameInShot = 0;
        fade = nullptr;
        return;
    }
    const HangarShot& s = HangarShots[shot];
    Matrix& world = static_cast<Matrix&>(scene->camera.world);
    if (frameInShot == 0) {
        Mat4 turn, at;
        plat::MatrixRotationY(&turn, s.angleDegrees * kDegreesToRadians);
        plat::MatrixTranslation(&at, s.start[0], s.start[1], s.start[2]);
        plat::MatrixMultiply(&world, &turn, &at);
    }
    world.m[3][0] += s.drift[0];
    world.m[3][1] += s.drift[1];
    world.m[3][2] += s.drift[2];
    world.MatrixLookAtPoint(Target(shot, frameInShot), Vec3(0.0f, 1.0f, 0.0f));
    scene->camera.Apply();
    if (++frameInShot != s.length) return;
    fade = HGTCB_FadeInOut::Create(owner, FadePriority);
    if (!fade) {
        // No fade to hide the cut behind: cut at once.
        shot = (shot + 1) % HangarShotCount;
        frameInShot = 0;
    }
}

// ---- building and robot ----------------------------------------------------------

HGTCB_Normal* HGTCB_Normal::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Normal>(list, priority);
}

i32 HGTCB_Normal::Proc()
{
    CApplication& app = *GetApplication();
    if (app.IsKeyRepeat(KeyF4, OncePerPress)) app.video.hdr = app.video.hdr || app.video.disableShader ? 0 : 1;
    if (scene && app.IsKeyRepeat(KeyF5, OncePerPress))
        scene->shadowOn = scene->shadowOn || app.video.disableShader || app.video.shadow == 0 ? 0 : 1;
    if (scene)
        if (RobotModelData* model = scene->ShownModel(); model && model->hierarchy.root)
            model->hierarchy.ApplyAnime(&model->hierarchy.baseMatrix);
    return kTaskKeep;
}

void HGTCB_Normal::Draw()
{
    if (!scene) return;
    CApplication& app = *GetApplication();
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->SetTableFog(0.5f, 12.0f, 0xFFFFFFFFu);
    SetEffectFog(0.5f, 12.0f, 0xFFFFFFFFu);

    RobotModelData* model = scene->ShownModel();
    const bool robotShown = model && model->hierarchy.root && model->colorSets.GetCount() > 0;
    const i32 colourSet = std::min(scene->ShownColourSet(), robotShown ? model->colorSets.GetCount() - 1 : 0);
    Shader_ShadowMap* sh = GetShaderShadowMap();
    MeshObject* building = scene->building.mesh;
    MeshObject* caster = scene->shadowCaster.mesh;
    if (scene->shadowOn && sh->effect &&
        sh->BeginFixedLightPass(1.0f, 30.0f, Vec3(-1.0f, 5.0f, 2.0f), Vec3(0.3f, -1.0f, -0.5f), 6.0f)) {
        if (caster) {
            sh->SetWorldMatrix(&scene->shadowCaster.world);
            sh->SetWorld(&scene->shadowCaster.world);
            caster->DrawShader(sh);
        }
        if (robotShown) model->DrawRobotMeshShadow(&model->hierarchy, &model->colorSets[colourSet]);
        sh->EndShadowPass();
        sh->BeginSceneTechnique(0.0002f, 0.3f);
        if (building) {
            sh->SetWorldMatrix(&scene->building.world);
            sh->SetWorld(&scene->building.world);
            building->DrawShader(sh);
        }
    } else if (building) {
        static_cast<const Matrix&>(scene->building.world).SetWorldTransform();
        building->Draw();
    }

    SetState(plat::GfxRenderState::FogEnable, 0);
    if (robotShown) model->DrawMesh(&model->hierarchy, &model->colorSets[colourSet]);
    SetState(plat::GfxRenderState::FogEnable, 1);

    // The glow: the robot's bright parts alone, blurred and added on top.
    TextureHandle& glow = scene->glowTarget;
    plat::GfxDevice* d = gd->device;
    if (!app.video.hdr || !d || !glow.texture) return;
    glow.SetAsRenderTarget();
    d->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);
    d->SetTexture(0, nullptr);
    SetState(plat::GfxRenderState::AlphaBlendEnable, 0);
    SetState(plat::GfxRenderState::ZWriteEnable, 0);
    if (robotShown) {
        SetState(plat::GfxRenderState::FogEnable, 0);
        model->DrawMeshHDR(&model->hierarchy, &model->colorSets[colourSet]);
        SetState(plat::GfxRenderState::FogEnable, 1);
    }
    gd->RestoreRenderTarget();
    GetShaderBloom()->DrawBloom(&glow, 0.0f, 0.0f, f32(glow.sourceRect.Width()), f32(glow.sourceRect.Height()));
    DrawGlowResult(0.0f, 0.0f, f32(app.video.screenWidth), f32(app.video.screenHeight));
    SetState(plat::GfxRenderState::AlphaBlendEnable, 1);
    SetState(plat::GfxRenderState::ZWriteEnable, 1);
}
