#include "app/core/Startup.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/core/Application.h"
#include "app/scene/BaseScene.h"
#include "app/core/Config.h"
#include "app/core/MainLoop.h"
#include "app/core/ScreenShot.h"
#include "app/player/PilotRegistry.h"
#include "app/player/SaveFolder.h"
#include "app/core/SettingsDialog.h"
#include "app/core/TestSwitches.h"
#include "app/scene/TitleScene.h"
#include "engine/core/AssetFile.h"
#include "engine/core/Direct3DRegistry.h"
#include "engine/graphics/DisplaySettings.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/input/InputManager.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "engine/graphics/TextureCache.h"
#include "engine/graphics/WindowSize.h"
#include "platform/input/Events.h"
#include "platform/input/InputScript.h"
#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"
#include "platform/core/SingleInstance.h"
#include "platform/core/System.h"
#include "platform/gfx/TextureFile.h"
#include "platform/core/Time.h"
#include "platform/gfx/Window.h"

namespace {

// The windows live as long as the program; the application object only
// points at them.
struct Windows {
    std::unique_ptr<plat::Window> main, leftEye, rightEye;
};
Windows& GetWindows()
{
    static Windows windows;
    return windows;
}

void SetFolder(FolderList& list, u32 index, const char* name)
{
    std::snprintf(list.names[index], sizeof list.names[index], "%s", name);
}

// Shared pictures: their own size, one level, managed, no filtering.
void LoadSharedPicture(TextureHandle& handle, const char* name, plat::GfxFormat format)
{
    handle.LoadScrambled(name, plat::kGfxFromFile, plat::kGfxFromFile, 1, 0, format, plat::GfxPool::Managed,
                         plat::ImageFilterNone, plat::ImageFilterNone, 0, nullptr, AssetKey);
}

void OnDeviceLost(int)
{
    GetTextureCache()->ReleaseAll();
    ReleaseTextRenderTarget();
}

void OnDeviceReset(int)
{
    const CApplication& app = *GetApplication();
    CreateTextRenderTarget(app.video.screenWidth, app.video.screenHeight);
}

// An eye window of the cross-eyed stereo view, placed at x.
std::unique_ptr<plat::Window> MakeEyeWindow(const char* title, i32 x, const CApplication& app)
{
    std::unique_ptr<plat::Window> w = plat::Window::Create(title, x, 0, 640, 480, plat::Window::Hidden);
    if (!w) return w;
    ResizeWindowClient(w.get(), app.video.screenWidth, app.video.screenHeight);
    w->Show();
    return w;
}

}  // namespace

void FillFolderLists(CApplication& app)
{
    // The opponents of the arcade stages: the robots that ship with the game.
    app.robotFolders.count = 22;
    for (u32 i = 0; i < 22; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "robo/robo%02u", i + 1);
        SetFolder(app.robotFolders, i, name);
    }
    app.shipFolders.count = 2;
    SetFolder(app.shipFolders, 0, "robo/senkan00");
    SetFolder(app.shipFolders, 1, "robo/senkan01");
    static const char* const stages[9] = {"war/City",  "war/In",    "war/City2", "war/City3",  "war/In2",
                                          "war/moon",  "war/City4", "war/City5", "war/Skyland"};
    app.stageFolders.count = 9;
    app.secondStageFolders.count = 9;
    for (u32 i = 0; i < 9; ++i) {
        SetFolder(app.stageFolders, i, stages[i]);
        SetFolder(app.secondStageFolders, i, stages[i]);
    }
}

int InitAfterSettings(CApplication& app)
{
    // The robot quality is the one the settings left (Config.ini's PMQuality).
    app.video.robotQuality = UsableRobotQuality(app.video.robotQuality);
    plat::Sleep(100);
    app.video.screenScaleX = static_cast<f32>(app.video.screenWidth) / 1024.0f;
    app.video.screenScaleY = static_cast<f32>(app.video.screenHeight) / 768.0f;
    DisplaySettings& display = GetDisplaySettings();
    display.fastFont = app.video.fastFont;
    display.screenWidth = app.video.screenWidth;
    display.screenHeight = app.video.screenHeight;
    display.screenScaleX = app.video.screenScaleX;
    display.screenScaleY = app.video.screenScaleY;

    FillFolderLists(app);
    GetPilotRegistry()->ScanFolders(app.startupDir);

    // The window is made at 640 x 480 and then given the configured client size.
    Windows& windows = GetWindows();
    windows.main = plat::Window::Create(WindowTitle, 0, 0, 640, 480, plat::Window::Hidden);
    app.mainWindow = windows.main.get();
    ResizeWindowClient(app.mainWindow, app.video.screenWidth, app.video.screenHeight);

    GraphicsDevice* gd = GetGraphicsDevice();
    if (!app.mainWindow || !gd->Create(app.mainWindow, static_cast<u32>(app.video.screenWidth),
                                       static_cast<u32>(app.video.screenHeight), plat::GfxFormat::X8R8G8B8,
                                       app.video.fullScreen != 0)) {
        plat::ShowMessageBox(app.mainWindow, "DirectGraphics初期化ミス", "");
        gd->Release();
        return 0;
    }
    gd->SetDefaultRenderStates();

    SoundManager& sound = GetSoundManager();
    if (!sound.Init(app.mainWindow)) {
        plat::ShowMessageBox(app.mainWindow, "DirectSound初期化失敗", "エラー");
        sound.Release();
    }

    LoadSharedPicture(app.sharedTextures[0], "Quillon/dot.png", plat::GfxFormat::X8R8G8B8);
    LoadSharedPicture(app.sharedTextures[1], "Quillon/back.png", plat::GfxFormat::X8R8G8B8);
    LoadSharedPicture(app.sharedTextures[2], "Quillon/back_red.png", plat::GfxFormat::X8R8G8B8);
    LoadSharedPicture(app.sharedTextures[3], "Quillon/digifont.png", plat::kGfxFormatFromFile);
    app.captureTexture.CreateBlank(static_cast<u32>(app.video.screenWidth), static_cast<u32>(app.video.screenHeight), 1, 0,
                                   plat::GfxFormat::R8G8B8, plat::GfxPool::Managed);
    CreateTextRenderTarget(app.video.screenWidth, app.video.screenHeight);
    gd->SetVertexFog(1.0f, 150.0f, 0xFFC2D6F0u);

    static const struct {
        const char* face;
        i32 height;
    } fonts[9] = {{"黑体", 12}, {"黑体", 24}, {"黑体", 48}, {"黑体", 64}, {"黑体", 18}, {"黑体", 36},
                  {"ＭＳ　ゴシック", 12}, {"ＭＳ　ゴシック", 16}, {"ＭＳ　ゴシック", 18}};
    for (int slot = 0; slot < 9; ++slot) gd->CreateFont(slot, fonts[slot].face, fonts[slot].height);

    app.lineEditor.OpenContext();
    gd->lostCallbacks[2] = OnDeviceLost;
    gd->resetCallbacks[2] = OnDeviceReset;

    CreateShaderWrappers(app.video.screenWidth, app.video.screenHeight, app.video.shadow);
    // A missing cube map leaves reflections without their environment.
    plat::CreateCubeTextureFromFile(gd->device, "Quillon/CubeMap.dds", &app.cubeMap);

    app.mainWindow->Show();
    plat::BeginTimerPeriod(1);

    static const int rankingOrder[4] = {3, 0, 1, 2};  // survival, then arcade easy, normal, hard
    for (int i : rankingOrder) app.rankingTables[i].Load();
    app.partInventory.Load("vant-D");

    app.quit = 0;
    app.currentScene = GetTitleScene();

    if (app.video.stereo) {
        windows.leftEye = MakeEyeWindow("左側ウィンドウ(右目で見る)", 0, app);
        app.leftEyeWindow = windows.leftEye.get();
        // The right eye sits beside the left one; window frames belong to the
        // window manager here and take no room of their own.
        windows.rightEye = MakeEyeWindow("右側ウィンドウ(左目で見る)用", app.video.screenWidth, app);
        app.rightEyeWindow = windows.rightEye.get();
    }
    return 1;
}

int Init(CApplication& app)
{
    // A file-size limit must make a save fail, not end the game mid-write.
    plat::IgnoreFileSizeLimitSignal();
    // The game's data, settings and screenshots sit beside the executable,
    // whatever folder it was started from.
    std::string here = plat::GetExecutableDirectory();
    if (here.empty()) here = plat::GetCurrentDirectory();
    if (here.size() >= sizeof app.startupDir) {
        // Every data path is built from this folder: a cut one would read the wrong files.
        plat::ShowMessageBox(nullptr, "The game's folder path is too long.", "Tervalis", plat::MessageBoxError);
        return 0;
    }
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", here.c_str());
    // Data paths are relative; loader threads inherit this folder.
    plat::SetCurrentDirectory(app.startupDir);
    app.language = static_cast<u16>(plat::GetSystemLanguage() & 0x3FF);
    plat::InitEvents();

    // Writes a kill cut short (settings, screenshots, saves, the registry
    // store) leave temporary files; the settings dialog may already shoot.
    RemoveInterruptedWritesAtStartUp(app);
    app.LoadConfig();
    if (!GetInputManager()->Init(nullptr)) plat::ShowMessageBox(nullptr, "DirectInput初期化失敗", "エラー");
    if (RunSettingsDialog(app, *GetInputManager()) == 1) return 0;
    return InitAfterSettings(app);
}

void DestroyWindows(CApplication& app)
{
    app.mainWindow = app.leftEyeWindow = app.rightEyeWindow = nullptr;
    Windows& windows = GetWindows();
    windows.rightEye.reset();
    windows.leftEye.reset();
    windows.main.reset();
}

i32 GameMain()
{
    // Before the lock: a test run keeps its lock in a folder of its own.
    ReadTestSwitchesAtStartUp();
    if (plat::NoDisplayFound()) {
        // A window nobody can see would leave the settings dialog waiting for ever.
        plat::ShowMessageBox(nullptr,
                             "No display found: the game needs a desktop session (X11 or Wayland) to show its "
                             "window. Start it from the desktop, or over ssh with X forwarding (ssh -X); to run it "
                             "without a window on purpose (scripted runs), set SDL_VIDEODRIVER=offscreen.",
                             "Tervalis", plat::MessageBoxError);
        return 1;
    }
    DisablePSGP();
    // Held for the life of the process, as a named mutex would be.
    static plat::SingleInstanceLock instance;
    if (instance.Acquire(SingleInstanceName) == plat::InstanceResult::AlreadyRunning) {
        plat::ShowMessageBox(nullptr, "ゲームは既に起動しています。", "Tervalis",
                             plat::MessageBoxError | plat::MessageBoxTopmost);
        return 1;
    }
    CApplication& app = *GetApplication();
    if (!Init(app)) {
        RestorePSGP();
        DestroyWindows(app);
        return 0;
    }
    const i32 code = MainLoop(app);
    FinishScreenShots();
    if (plat::InputScriptLoaded()) {
        // A scripted run tells its driver what a player would have heard.
        const SoundManager& sound = GetSoundManager();
        char line[96];
        std::snprintf(line, sizeof line, "volumes BGM %d SE %d VOICE %d", sound.GetVolume(kVolumeSlotMusic),
                      sound.GetVolume(kVolumeSlotEffects), sound.GetVolume(kVolumeSlotVoices));
        plat::ReportError("run", line);
    }
    DestroyWindows(app);
    return code;
}
