// The battle's frame procedures: the process pass of every task, then, when
// the clock lets the frame be drawn, the draw and sprite passes once for each
// active view (or once per eye in stereo), and the present.
#include "app/core/AppClock.h"
#include "app/scene/NoticeBoard.h"
#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "app/scene/Camera.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/TitleScene.h"
#include "battle/BattleObject.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/RoomMessages.h"
#include "battle/stage/BattleMap.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/core/MessageBox.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"

namespace {

constexpr float kFieldOfView = 1.0471799f;
constexpr float kNearPlane = 0.1f;
constexpr float kFarPlane = 10000.0f;
constexpr u32 kKeepAliveMs = 3000;
constexpr Vec3 kNormalLightDir{0.3f, -0.7f, 0.5f};
constexpr Vec3 kStereoLightDir{0.3f, -0.7f, 0.2f};

ColorF ColourFromArgb(u32 c)
{
    return {static_cast<float>((c >> 16) & 255) / 255.0f, static_cast<float>((c >> 8) & 255) / 255.0f,
            static_cast<float>(c & 255) / 255.0f, static_cast<float>(c >> 24) / 255.0f};
}

void SetBattleLight(const CGameScene& scene, const Vec3& direction)
{
    GetGraphicsDevice()->SetDirectionalLight(0, direction, ColourFromArgb(scene.battleMap.lightColor),
                                             ColourFromArgb(scene.battleMap.ambientColor), ColorF{1, 1, 1, 1});
}

// Every effect wrapper gets the light's direction (not the light record) and
// the eye.
void SetEffectLighting(const CGameScene& scene)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    const Vec3 eye = scene.Eye();
    const Vec4 eyePos{eye.x, eye.y, eye.z, 0.0f};
    const float dir[3] = {gd->light.direction.x, gd->light.direction.y, gd->light.direction.z};
    for (ShaderBase* effect : gd->effects)
        if (effect) effect->SetLighting(dir, &eyePos);
}

void SetLinearSampling(plat::GfxDevice* device)
{
    device->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterLinear);
    device->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterLinear);
    device->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterLinear);
}

void SetProjection(float aspect)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::MatrixPerspectiveFovLH(&gd->projection, kFieldOfView, aspect, kNearPlane, kFarPlane);
    gd->device->SetTransform(plat::GfxTransform::Projection, gd->projection);
}

// Begins the shared sprite; on success runs every task's sprite pass.
void SpritePass(CGameScene& scene, const plat::GfxViewport* viewport)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite || !plat::Succeeded(gd->sprite->Begin(plat::SpriteAlphaBlend))) return;
    gd->device->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterPoint);
    gd->device->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterPoint);
    gd->device->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterNone);
    if (viewport) gd->device->SetViewport(*viewport);
    RunTaskSprites(scene.tasks);
    gd->sprite->End();
}

void PresentTo(plat::Window* window)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (gd->device->Present(window) == plat::GfxResult::DeviceLost) gd->deviceLost = 1;
}

}  // namespace

i32 CGameScene::RunProcessPass()
{
    return RunTaskProcs(tasks);
}

void CGameScene::DrawViews()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* device = gd->device;
    // Without a device nothing is drawn; the battle itself never depends on
    // the draw passes.
    if (!device) return;
    if (plat::Succeeded(device->BeginScene())) {
        device->SetViewport(fullView.viewport);
        device->Clear(plat::ClearTarget | plat::ClearZBuffer, battleMap.fogColor, 1.0f, 0);
        device->EndScene();
    }
    for (i32 i = 0; i < kRenderViewCount; ++i)
        if (views[i].active) lastActiveView = static_cast<u32>(i);
    for (i32 i = 0; i < kRenderViewCount; ++i) {
        RenderView& view = views[i];
        if (!view.active) continue;
        if (!plat::Succeeded(device->BeginScene())) continue;
        gd->RestoreRenderTarget();
        plat::GfxViewport kept;
        device->GetViewport(&kept);
        currentView = &view;
        device->SetViewport(view.viewport);
        // The display's layout fills this view, whatever its share of the window.
        SetLayoutView(&view.viewport);
        SetBattleLight(*this, kNormalLightDir);
        SetEffectLighting(*this);
        SetLinearSampling(device);
        SetProjection(static_cast<float>(view.viewport.width) / static_cast<float>(view.viewport.height));
        SetAlphaBlend();
        RunTaskDraws(tasks);
        gd->RestoreRenderTarget();
        SpritePass(*this, &view.viewport);
        device->SetViewport(kept);
        device->EndScene();
    }
    SetLayoutView(nullptr);
    DrawNotices();
    PresentTo(nullptr);
}

i32 CGameScene::Proc_Normal()
{
    RoomState& room = GetRoomState();
    if (room.BothConnected()) {
        const u32 now = AppClockNow();
        if (now - keepAliveTime > kKeepAliveMs) {
            keepAliveTime = now;
            // Stamped on the wall clock its echo is read with, whatever the frames' clock.
            SendPing();
        }
    }
    if (RunProcessPass() == kTaskSceneReplaced) return kTaskSceneReplaced;
    if (GetApplication()->frameDrawn) DrawViews();
    if (!paused) ++battleFrame;
    return 0;
}

i32 CGameScene::Proc_Stereo()
{
    ++battleFrame;
    if (RunProcessPass() == kTaskSceneReplaced) return kTaskSceneReplaced;
    // Keypad 4 narrows the eyes, 5 resets them, 6 widens them.
    if (plat::IsKeyDown(plat::vk::Numpad0 + 4)) {
        stereoSeparation -= 0.01f;
        if (stereoSeparation < 0.01f) stereoSeparation = 0.01f;
    }
    if (plat::IsKeyDown(plat::vk::Numpad0 + 5)) stereoSeparation = 0.1f;
    if (plat::IsKeyDown(plat::vk::Numpad0 + 6)) stereoSeparation += 0.01f;
    const Mat4 kept = camera.world;
    CApplication& app = *GetApplication();
    if (!app.frameDrawn) return 0;
    GraphicsDevice* gd = GetGraphicsDevice();
    for (int eye = 0; eye < 2; ++eye) {
        const float side = eye == 0 ? 1.0f : -1.0f;
        Mat4 shift, turn, tmp;
        plat::MatrixTranslation(&shift, side * stereoSeparation, 0.0f, 0.0f);
        plat::MatrixRotationY(&turn, side * stereoAngle * 0.017453f);
        plat::MatrixMultiply(&tmp, &shift, &kept);
        plat::MatrixMultiply(&camera.world, &turn, &tmp);
        camera.Apply();
        ProjectUnitsToScreen();
        plat::GfxDevice* device = gd->device;
        if (!device) return 0;
        if (plat::Succeeded(device->BeginScene())) {
            gd->RestoreRenderTarget();
            device->Clear(plat::ClearTarget | plat::ClearZBuffer, battleMap.fogColor, 1.0f, 0);
            SetBattleLight(*this, kStereoLightDir);
            SetEffectLighting(*this);
            SetLinearSampling(device);
            SetProjection(1.3333334f);
            SetAlphaBlend();
            const RenderView* view = currentView ? currentView : &views[0];
            frustum.Build(60.0f,
                          static_cast<float>(static_cast<double>(view->viewport.width) /
                                             static_cast<double>(view->viewport.height)),
                          kNearPlane, StageFarDistance(), &camera.world);
            RunTaskDraws(tasks);
            gd->RestoreRenderTarget();
            SpritePass(*this, nullptr);
            device->EndScene();
        }
        PresentTo(eye == 0 ? app.leftEyeWindow : app.rightEyeWindow);
    }
    return 0;
}

// How long a battle waits for the server to echo its return to the room.
constexpr u32 kReturnToRoomWaitMs = 20000;

i32 CGameScene::Proc_ReturnToRoom()
{
    CApplication& app = *GetApplication();
    const i32 slot = playerSlot < u32(app.players.GetCount()) ? i32(playerSlot) : 0;
    const u32 now = AppClockNow();
    if (!returnWaiting) {
        returnWaiting = true;
        returnWaitStart = now;
    }
    if (!app.players[slot].ReturnedToRoom()) {
        if (now - returnWaitStart < kReturnToRoomWaitMs) return 0;
        // The server never echoed: leave for the title rather than wait forever.
        plat::ReportError("通信エラー", "部屋に戻れませんでした");
        DisconnectNetClients();
        SwitchScene(app, GetTitleSceneAsBase);
        return kTaskSceneReplaced;
    }
    SwitchScene(app, GetBattleHooks().roomScene ? GetBattleHooks().roomScene : GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}

// How long the notice of a failed set-up stays before the player goes back.
constexpr u32 kSetupNoticeFrames = 240;

i32 CGameScene::Proc_SetupFailed()
{
    CApplication& app = *GetApplication();
    if (++setupFailedFrames > kSetupNoticeFrames) {
        BaseScene* (*back)() = GetTitleSceneAsBase;
        const BattleHooks& hooks = GetBattleHooks();
        switch (battleSettings.gameMode) {
        case GameMode::Online:
            // As leaving from the pause menu: the room hears of it.
            SendReturnToRoom();
            if (playerSlot < static_cast<u32>(app.players.GetCount()))
                app.players[static_cast<i32>(playerSlot)].inBattle = 0;
            if (hooks.roomScene) back = hooks.roomScene;
            break;
        case GameMode::LocalBattle:
            if (hooks.vsRoomScene) back = hooks.vsRoomScene;
            break;
        default:
            if (hooks.charaSelectScene) back = hooks.charaSelectScene;
            break;
        }
        SwitchScene(app, back);
        return kTaskSceneReplaced;
    }
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* device = gd->device;
    if (!app.frameDrawn || !device || !plat::Succeeded(device->BeginScene())) return 0;
    device->SetViewport(fullView.viewport);
    device->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF000000u, 1.0f, 0);
    if (gd->sprite && plat::Succeeded(gd->sprite->Begin(plat::SpriteAlphaBlend))) {
        const plat::GfxRect screen{0, 0, 1024, 768};
        DrawTextAt(2, 0.0f, 360.0f, notice, -1, &screen, plat::TextCenter, 0xFFFFFFFFu);
        gd->sprite->End();
    }
    device->EndScene();
    PresentTo(nullptr);
    return 0;
}

float CGameScene::StageFarDistance() const
{
    return static_cast<float>(battleMap.viewRadius) * battleMap.cellSize;
}

void CGameScene::ProjectUnitsToScreen()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    for (BB_Base* o = unitList.GetHead()->next; o && o != unitList.GetTail(); o = o->next) {
        Mat4* target = o->GetTargetMatrix();
        if (!target) continue;
        Vec3 screen;
        gd->ProjectToScreen(&screen, target, &camera.view, &gd->projection);
        const i32 kind = o->GetKind();
        if (kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip)
            static_cast<CRobot_Base*>(o)->screenPos = screen;
    }
}
