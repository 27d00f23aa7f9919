#include "app/scene/SceneDevice.h"

#include "app/core/Application.h"
#include "engine/graphics/GraphicsDevice.h"

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
        if (gd->sprite && plat::Succeeded(gd->sprite->Begin(plat::SpriteAlphaBlend))) {
            device->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterPoint);
            device->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterPoint);
            device->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterNone);
            if (spritePass) spritePass(ctx);
            gd->sprite->End();
        }
        device->EndScene();
    }
    // A failed begin-scene still presents.
    PresentTo(gd, nullptr);
    if (app.video.stereo) {
        if (app.leftEyeWindow) PresentTo(gd, app.leftEyeWindow);
        if (app.rightEyeWindow) PresentTo(gd, app.rightEyeWindow);
    }
    app.frameDrawn = 1;
}
