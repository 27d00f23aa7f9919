#include "app/scene/SceneDevice.h"

#include "app/scene/NoticeBoard.h"
#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/math/Math.h"

namespace {

// The split-screen view being drawn, if any.
struct {
    bool set = false;
    plat::GfxViewport view;
} g_layoutView;

}  // namespace

LayoutPlacement LayoutIn(const plat::GfxViewport& view)
{
    return {static_cast<f32>(view.x), static_cast<f32>(view.y), static_cast<f32>(view.width) / 1024.0f,
            static_cast<f32>(view.height) / 768.0f};
}

LayoutPlacement CurrentLayout()
{
    if (g_layoutView.set) return LayoutIn(g_layoutView.view);
    const CApplication& app = *GetApplication();
    return {0.0f, 0.0f, app.video.screenScaleX, app.video.screenScaleY};
}

Mat4 LayoutToScreen()
{
    const LayoutPlacement p = CurrentLayout();
    Mat4 m;
    plat::MatrixScaling(&m, p.scaleX, p.scaleY, 1.0f);
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    return m;
}

void SetLayoutView(const plat::GfxViewport* view)
{
    g_layoutView.set = view != nullptr;
    if (view) g_layoutView.view = *view;
}

void FillLayoutRect(plat::GfxTexture* dot, f32 x, f32 y, f32 width, f32 height, u32 argb)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite || !dot) return;
    Mat4 size, at, m;
    plat::MatrixScaling(&size, width, height, 1.0f);
    plat::MatrixTranslation(&at, x, y, 0.0f);
    const Mat4 screen = LayoutToScreen();
    plat::MatrixMultiply(&m, &size, &at);
    plat::MatrixMultiply(&m, &m, &screen);
    gd->sprite->SetTransform(m);
    const plat::GfxRect one{0, 0, 1, 1};
    gd->sprite->Draw(dot, &one, nullptr, nullptr, argb);
}

bool SceneDeviceReady()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->deviceLost) return true;
    if (gd->CheckDeviceLost()) return false;
    gd->deviceLost = 0;
    return true;
}

namespace {

void PresentTo(GraphicsDevice* gd, plat::Window* window)
{
    if (gd->device->Present(window) == plat::GfxResult::DeviceLost) gd->deviceLost = 1;
}

// The sprite pass with point filtering, so pictures keep their pixels.
void SpritePass(GraphicsDevice* gd, void (*spritePass)(void*), void* ctx)
{
    if (!spritePass || !gd->sprite || !plat::Succeeded(gd->sprite->Begin(plat::SpriteAlphaBlend))) return;
    gd->device->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterPoint);
    gd->device->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterPoint);
    gd->device->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterNone);
    if (spritePass) spritePass(ctx);
    gd->sprite->End();
}

}  // namespace

void SceneDrawFrame(void (*drawPass)(void*), void (*spritePass)(void*), void* ctx)
{
    CApplication& app = *GetApplication();
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* device = gd->device;
    if (!device) {
        // No device (tests, or start-up before the window): the passes still
        // run so tasks keep their timing, but nothing reaches a screen.
        if (drawPass) drawPass(ctx);
        if (spritePass) spritePass(ctx);
        app.frameDrawn = 0;
        return;
    }
    const bool begun = plat::Succeeded(device->BeginScene());
    if (begun) {
        device->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF000000u, 1.0f, 0);
        if (drawPass) drawPass(ctx);
        SpritePass(gd, spritePass, ctx);
        device->EndScene();
    }
    DrawNotices();
    // A failed begin-scene still presents.
    PresentTo(gd, nullptr);
    if (app.video.stereo) {
        if (app.leftEyeWindow) PresentTo(gd, app.leftEyeWindow);
        if (app.rightEyeWindow) PresentTo(gd, app.rightEyeWindow);
    }
    app.frameDrawn = 1;
}

void DrawSceneTasks(CList<TCB>& tasks, f32 fovY, f32 aspect, f32 zNear, f32 zFar)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* d = gd->device;
    d->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterLinear);
    d->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterLinear);
    d->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterLinear);
    plat::MatrixPerspectiveFovLH(&gd->projection, fovY, aspect, zNear, zFar);
    d->SetTransform(plat::GfxTransform::Projection, gd->projection);
    SetAlphaBlend();
    RunTaskDraws(tasks);
    SpritePass(gd, [](void* list) { RunTaskSprites(*static_cast<CList<TCB>*>(list)); }, &tasks);
}

void LightEffectsFromCamera(const Mat4& camera, const SceneLight& light)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->SetDirectionalLight(0, light.direction, light.diffuse, light.ambient, light.specular);
    const Vec4 eye(camera.m[3][0], camera.m[3][1], camera.m[3][2], 0.0f);
    for (ShaderBase* effect : gd->effects)
        if (effect) effect->SetLighting(&gd->light.direction.x, &eye);
}

void DrawSceneTasksFrame(CList<TCB>& tasks, const Mat4& camera, const SceneLight& light, f32 fovY, f32 aspect,
                         f32 zNear, f32 zFar)
{
    struct Frame {
        CList<TCB>& tasks;
        const Mat4& camera;
        const SceneLight& light;
        f32 fovY, aspect, zNear, zFar;
    } frame{tasks, camera, light, fovY, aspect, zNear, zFar};
    SceneDrawFrame(
        [](void* ctx) {
            const Frame& f = *static_cast<Frame*>(ctx);
            if (!GetGraphicsDevice()->device) {
                RunTaskDraws(f.tasks);
                RunTaskSprites(f.tasks);
                return;
            }
            LightEffectsFromCamera(f.camera, f.light);
            DrawSceneTasks(f.tasks, f.fovY, f.aspect, f.zNear, f.zFar);
        },
        nullptr, &frame);
}

f32 ScreenAspect()
{
    const CApplication& app = *GetApplication();
    return app.video.screenHeight > 0 ? f32(app.video.screenWidth) / f32(app.video.screenHeight) : 1.3333334f;
}

void SetSpriteLayout(const Mat4& layout)
{
    const CApplication* app = GetApplication();
    Mat4 screen, m;
    plat::MatrixScaling(&screen, app->video.screenScaleX, app->video.screenScaleY, 1.0f);
    plat::MatrixMultiply(&m, &layout, &screen);
    GetGraphicsDevice()->sprite->SetTransform(m);
}

void SetSpriteAt(f32 x, f32 y)
{
    Mat4 at;
    plat::MatrixTranslation(&at, x, y, 0.0f);
    SetSpriteLayout(at);
}
