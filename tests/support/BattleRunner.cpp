#include "support/BattleRunner.h"

#include <cstdio>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "battle/GameScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"

namespace {

u32 fakeNow = 100000;

u32 FakeNow() { return fakeNow; }
void FakeSleep(u32 ms) { fakeNow += ms; }

}  // namespace

u32 BattleRunner::Now() { return fakeNow; }
void BattleRunner::Advance(u32 ms) { fakeNow += ms; }

BattleRunner::BattleRunner(const BattleRunnerOptions& options)
{
    SetAppClock({FakeNow, FakeSleep});
    plat::SetGfxBackend(options.openGL ? plat::GfxBackend::OpenGL : plat::GfxBackend::Recorder);
    window_ = plat::Window::Create("battle", 0, 0, 1024, 768,
                                   options.openGL ? plat::Window::Hidden : plat::Window::Headless);
    GetGraphicsDevice()->Create(window_.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false);

    CApplication& app = *GetApplication();
    const std::string folder = options.runFolder[0] ? options.runFolder : plat::GetCurrentDirectory();
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", folder.c_str());
    FillFolderLists(app);
    app.video.screenWidth = 1024;
    app.video.screenHeight = 768;
    app.video.screenScaleX = 1.0f;
    app.video.screenScaleY = 1.0f;
    app.video.maxFrameSkip = options.maxFrameSkip;
    app.video.robotQuality = 100;
    app.closeRequest = 0;
    app.quit = 0;
    app.frameDrawn = 1; // the first frame is drawn
    GameSettings& settings = app.gameSettings;
    settings.gameMode = options.mode;
    settings.modeOption = options.modeOption;
    settings.stage = options.stage;
    settings.localRule = options.localRule;
    settings.hpRate = 1.0f;
    settings.energyRate = 1.0f;
    for (i32 i = 0; i < app.players.GetCount(); ++i) {
        PlayerEntry& entry = app.players[i];
        entry.Reset();
        if (i < 4) {
            entry.slotState = options.slotState[i];
            entry.robot = options.robot[i];
            entry.team = options.team[i];
            entry.pilot = -1;
        }
    }
    app.currentScene = GetGameScene();
}

BattleRunner::~BattleRunner()
{
    EndBattle();
    GetGraphicsDevice()->Release();
    window_.reset();
    SetAppClock({});
}

CGameScene* BattleRunner::Scene() const { return FindGameScene(); }

plat::GfxRecorderDevice* BattleRunner::Recorder() const { return plat::AsRecorder(GetGraphicsDevice()->device); }

u32 BattleRunner::RunFrames(u32 count)
{
    CApplication& app = *GetApplication();
    for (u32 i = 0; i < count; ++i) {
        CGameScene* scene = FindGameScene();
        if (!scene || app.currentScene != scene) return i;
        if (fakeNow - scene->clockOrigin < scene->nextDue) fakeNow = scene->clockOrigin + scene->nextDue;
        // Only the last frame's drawing stays recorded.
        if (plat::GfxRecorderDevice* rec = Recorder()) rec->ClearCalls();
        scene->Frame();
        // A scene that went away ran its last frame.
        if (FindGameScene() != scene) return i + 1;
    }
    return count;
}

void BattleRunner::EndBattle()
{
    CApplication& app = *GetApplication();
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    if (app.currentScene == scene) app.currentScene = nullptr;
    delete scene;
}
