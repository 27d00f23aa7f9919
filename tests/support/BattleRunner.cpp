#include "support/BattleRunner.h"

#include <algorithm>
#include <cstdio>

#include "app/core/AppClock.h"
#include "app/core/Config.h"
#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "app/core/TestSwitches.h"
#include "battle/GameScene.h"
#include "robot/Robot.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"

namespace {

u32 fakeNow = 100000;
u32 FakeNow() { return fakeNow; }
void FakeSleep(u32 ms) { fakeNow += ms; }

}  // namespace

BattleRunnerOptions MakeBattleOptions(GameMode mode, u32 stage, const std::vector<i32>& types,
                                      const std::vector<i32>& levels, bool player)
{
    BattleRunnerOptions o;
    o.mode = mode;
    o.stage = stage;
    auto level = [&](size_t i) { return levels.empty() ? 10 : levels[i % levels.size()]; };
    for (i32 i = 0; i < 4; ++i) {
        o.slotState[i] = 0;
        o.robot[i] = -1;
        o.team[i] = i;
    }
    if (mode != GameMode::LocalBattle) {
        o.slotState[0] = 1;
        o.robot[0] = types.empty() ? 0 : types[0];
        return o;
    }
    for (size_t i = 0; i < types.size() && i < 8; ++i) {
        if (i < 4) {
            o.slotState[i] = player && i == 0 ? 1 : 2;
            o.robot[i] = types[i];
            o.level[i] = level(i);
        } else {
            o.extra.push_back({types[i], static_cast<i32>(i), level(i)});
        }
    }
    return o;
}

double SlowestWindow(const std::vector<double>& frameSeconds, size_t window)
{
    window = std::min(window, frameSeconds.size());
    double sum = 0.0, worst = 0.0;
    for (size_t i = 0; i < frameSeconds.size(); ++i) {
        sum += frameSeconds[i];
        if (i >= window) sum -= frameSeconds[i - window];
        if (i + 1 >= window && sum > worst) worst = sum;
    }
    return worst;
}

u32 BattleRunner::Now() { return fakeNow; }
void BattleRunner::Advance(u32 ms) { fakeNow += ms; }

BattleRunner::BattleRunner(const BattleRunnerOptions& options)
{
    draw_ = options.draw;
    SetAppClock({FakeNow, FakeSleep});
    plat::SetGfxBackend(options.openGL ? plat::GfxBackend::OpenGL : plat::GfxBackend::Recorder);
    window_ = plat::Window::Create("battle", 0, 0, 1024, 768,
                                   options.openGL ? plat::Window::Hidden : plat::Window::Headless);
    GetGraphicsDevice()->Create(window_.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false);
    if (plat::GfxRecorderDevice* rec = Recorder()) rec->SetRecording(options.recordCalls);

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
    // The keyboard layout a recorded pilot presses, as a fresh install has it.
    if (!app.input.padKeyMap.IsCreated()) app.input.padKeyMap.Create(PadKeyMapSize);
    for (i32 k = 0; k < 12 && k < app.input.padKeyMap.GetCount(); ++k) app.input.padKeyMap[k] = DefaultPadKeys[k];
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
            entry.computerLevel = options.level[i];
            entry.pilot = -1;
        }
    }
    // The runner drives the battle as a test: its seed replays it.
    TestSwitches switches;
    switches.battleSeed = options.seed;
    SetTestSwitches(switches);
    if (options.beforeSetUp) options.beforeSetUp();
    CGameScene* scene = GetGameScene();
    app.currentScene = scene;
    if (!scene) return;
    i32 slot = 4;
    for (const BattleRunnerOptions::Extra& e : options.extra) {
        if (slot >= kRobotTableSize) break;
        const i32 type = BoundRobotType(e.type);
        CRobot_Normal* r = scene->SpawnRobotAtStartPoint(type, 0, 1.0f, e.team, kControlComputer, e.team % 10, nullptr);
        if (!r) continue;
        r->aiLevel = e.level;
        r->boostGaugeMax = r->boostGauge = scene->robotTypes[type].generator;
        scene->robotTable[slot++] = r;
        scene->AttachModeCallbacks(r, BattleRole::LocalNextBody);
    }
}

BattleRunner::~BattleRunner()
{
    EndBattle();
    GetGraphicsDevice()->Release();
    window_.reset();
    SetAppClock({});
    SetTestSwitches({});
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
        ++framesRun_;
        HoldRecordedKeys();
        if (!draw_) app.frameDrawn = 0;
        scene->Frame();
        // A scene that went away ran its last frame.
        if (FindGameScene() != scene) return i + 1;
    }
    return count;
}

void BattleRunner::HoldRecordedKeys()
{
    if (script_.empty()) return;
    CGameScene* scene = FindGameScene();
    CRobot_Base* robot = scene && scene->robotTable.IsCreated() ? scene->robotTable[0] : nullptr;
    if (!robot) return;
    const RecordedInput* now = nullptr;
    for (const RecordedInput& step : script_)
        if (step.frame <= framesRun_) now = &step;
    u8* keys = GetApplication()->input.keyTable;
    for (u8 code : robot->keyCodes) keys[code] = 0;
    if (!now) return;
    const u8 d = now->direction;
    // Keypad direction to the four direction keys (left, up, right, down).
    if (d == 1 || d == 4 || d == 7) keys[robot->keyCodes[0]] = 0x80;
    if (d == 7 || d == 8 || d == 9) keys[robot->keyCodes[1]] = 0x80;
    if (d == 3 || d == 6 || d == 9) keys[robot->keyCodes[2]] = 0x80;
    if (d == 1 || d == 2 || d == 3) keys[robot->keyCodes[3]] = 0x80;
    for (i32 b = 0; b < 8; ++b)
        if (now->buttons & (1u << b)) keys[robot->keyCodes[4 + b]] = 0x80;
}

void BattleRunner::EndBattle()
{
    CApplication& app = *GetApplication();
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    if (app.currentScene == scene) app.currentScene = nullptr;
    delete scene;
}
