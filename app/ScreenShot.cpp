#include "app/ScreenShot.h"

#include <cstdio>

#include "app/Application.h"
#include "platform/FileSystem.h"

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
    // TODO(graphics device): read back buffer 0 and save it as PNG at name.
    ++gTaken;
}

int ScreenShotsTaken() { return gTaken; }
