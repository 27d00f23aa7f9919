// Entry point of the game executable: configuration, the settings dialog,
// the main window and the main loop. The later start-up steps (device,
// sound, fonts, effects, saved data, the title scene) join here as their
// subsystems arrive.
#include <cstdio>
#include <memory>

#include "app/Application.h"
#include "app/BaseScene.h"
#include "app/MainLoop.h"
#include "app/SettingsDialog.h"
#include "engine/Direct3DRegistry.h"
#include "engine/GraphicsDevice.h"
#include "engine/InputManager.h"
#include "engine/WindowSize.h"
#include "platform/Events.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/System.h"
#include "platform/Time.h"
#include "platform/Window.h"

namespace {

// Stands in for the title scene: a cleared screen each frame.
class StartScene : public MenuScene {
public:
    ~StartScene() override
    {
        tasks.DeleteAll();
        SceneInstance<StartScene>() = nullptr;
    }
    void Init() {}
};

std::unique_ptr<plat::Window> gMainWindow;

// 1 when the main loop may run, 0 when the program must end.
int Init(CApplication& app)
{
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", plat::GetCurrentDirectory().c_str());
    app.language = plat::GetSystemLanguage();
    plat::InitEvents();
    app.LoadConfig();
    if (!GetInputManager()->Init(nullptr))
        plat::ShowMessageBox(nullptr, "DirectInput初期化失敗", "エラー");
    if (RunSettingsDialog(app, *GetInputManager()) == 1) {
        RestorePSGP();
        return 0;
    }
    app.robotQuality = 100;
    plat::Sleep(100);
    app.screenScaleX = static_cast<f32>(app.screenWidth) / 1024.0f;
    app.screenScaleY = static_cast<f32>(app.screenHeight) / 768.0f;

    gMainWindow = plat::Window::Create("Quillon 1.000                    ", 0, 0, 640, 480, 0);
    if (!gMainWindow) {
        RestorePSGP();
        return 0;
    }
    ResizeWindowClient(gMainWindow.get(), app.screenWidth, app.screenHeight);
    app.mainWindow = gMainWindow.get();
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->Create(gMainWindow.get(), static_cast<u32>(app.screenWidth),
                    static_cast<u32>(app.screenHeight), plat::GfxFormat::X8R8G8B8, app.fullScreen != 0)) {
        gd->Release();
        app.mainWindow = nullptr;
        gMainWindow.reset();
        RestorePSGP();
        return 0;
    }
    gd->SetDefaultRenderStates();
    app.lineEditor.OpenContext();
    gMainWindow->Show();
    plat::BeginTimerPeriod(1);
    app.quit = 0;
    SwitchSceneTo<StartScene>();
    return 1;
}

}  // namespace

int main()
{
    DisablePSGP();
    CApplication& app = *GetApplication();
    if (!Init(app)) return 0;
    const int code = MainLoop(app);
    app.mainWindow = nullptr;
    gMainWindow.reset();
    return code;
}
