// Whole battles headless, one undrawn frame per iteration (the simulation
// alone, as a frame the game skips drawing): the empty battle (the battle's own tasks only), eight computer robots and
// the full team battle, with the multiple of real time (60 frames a second)
// as the "realtime" counter; the drawing alone of a frame with robots on
// OpenGL; eight robots fighting and the team battle, run and drawn on
// OpenGL; and whole battles timed frame by frame for their slowest stretch.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/Shaders.h"
#include "engine/model/HodModel.h"
#include "platform/core/FileSystem.h"
#include "platform/math/DetMath.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/ScriptCommand.h"
#include "bench/BenchRobots.h"
#include "support/BattleRunner.h"

namespace {

// The battles measured both undrawn and drawn: eight computer robots of
// mixed levels, and the team battle with all the robots its set-up makes.
BattleRunnerOptions EightRobotBattle()
{
    return MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1, 2, 3, 4, 5, 6, 7}, {10, 8, 6, 4, 2, 1, 5, 10}, false);
}
BattleRunnerOptions TeamBattle() { return MakeBattleOptions(GameMode::Team, 0, {0}, {}, false); }

// One battle frame an iteration; "realtime" is the multiple of real time.
void TimeFrames(benchmark::State& state, BattleRunner& runner)
{
    for (auto _ : state)
        if (runner.RunFrames(1) != 1) {
            state.SkipWithError("the battle ended");
            break;
        }
    state.SetItemsProcessed(state.iterations());
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / 60.0, benchmark::Counter::kIsRate);
}

void RunBattle(benchmark::State& state, BattleRunnerOptions options)
{
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    options.runFolder = QUILLON_RUN_DIR;
    options.recordCalls = false;
    options.draw = false;
    BattleRunner runner(options);
    if (!runner.Scene()) {
        state.SkipWithError("no battle scene");
        return;
    }
    TimeFrames(state, runner);
}

void BM_EmptyBattleFrame(benchmark::State& state)
{
    BattleRunnerOptions options;
    options.mode = GameMode::Practice;
    options.slotState[1] = 0;
    RunBattle(state, options);
}
BENCHMARK(BM_EmptyBattleFrame);

// A minute of eight computer robots of mixed levels.
void BM_EightRobotBattleFrame(benchmark::State& state)
{
    RunBattle(state, EightRobotBattle());
}
BENCHMARK(BM_EightRobotBattleFrame)->Iterations(3600)->Unit(benchmark::kMicrosecond);

// Half a minute of the team battle with all the robots its set-up makes.
void BM_TeamBattleFrame(benchmark::State& state)
{
    RunBattle(state, TeamBattle());
}
BENCHMARK(BM_TeamBattleFrame)->Iterations(1800)->Unit(benchmark::kMicrosecond);

// Eight computer robots of which four carry a hostile script: the first
// entry of every animation of their types re-runs itself every frame and
// holds more work than a frame allows, of one kind per argument:
//   0 none (the same battle as it comes),
//   1 skips: an ELSE before twelve thousand more,
//   2 runs: true IFs around pose starts and sums, twelve thousand commands,
//   3 starts: an entry that starts its own animation again on both layers,
//   4 fire: a fire procedure that makes seven wind lines, with every command.
// Each such robot stops at its allowance every frame; the frame time says
// what the allowance costs.
std::string Repeated(const char* text, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
}

void MakeHostile(RobotModelData& type, int kind)
{
    for (i32 a = 0; a < type.scriptTables.GetCount(); ++a) {
        ScriptEntry* table = type.scriptTables[a];
        if (!table || type.scriptEntryCounts[a] < 2) continue;
        std::string text = "ExecScriptEveryTime(0); AnimeLoop=1;";
        if (kind == 1)
            text += "ELSE;" + Repeated("ELSE;", 12000) + "ENDIF;";
        else if (kind == 2)
            text += Repeated("IF(@float[100],<,1.5); GoPoseIndex(-1,0); @int[101]+=3; ELSE; ENDIF;", 2400);
        else if (kind == 3)
            text += "@int[101]+=1; ChangeAnime(" + std::to_string(a) + ",0.5,2);";
        else
            text += Repeated("RunProc(0,53,0);", 12000);
        for (RobotScriptBase* c : table[0].commands) delete c;
        table[0].commands.clear();
        table[0].wait = 0;
        type.ParseScriptLine(text.c_str(), a, 0);
    }
}

void BM_HostileScriptBattleFrame(benchmark::State& state)
{
    SetScriptMessageHook([](const char*, const char*) {});
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    BattleRunnerOptions options = EightRobotBattle();
    options.runFolder = QUILLON_RUN_DIR;
    options.recordCalls = false;
    options.draw = false;
    BattleRunner runner(options);
    CGameScene* scene = runner.Scene();
    if (!scene || runner.RunFrames(150) != 150) {
        state.SkipWithError("no battle scene");
        return;
    }
    const int kind = static_cast<int>(state.range(0));
    if (kind != 0)
        for (i32 t = 0; t < 4; ++t) MakeHostile(scene->robotTypes[t], kind);
    TimeFrames(state, runner);
    runner.EndBattle();
    SetScriptMessageHook(nullptr);
}
BENCHMARK(BM_HostileScriptBattleFrame)->DenseRange(0, 4)->Iterations(1800)->Unit(benchmark::kMicrosecond);

// Whole two-minute battles where the fighting is thickest, every frame timed:
// "realtime" is the multiple of real time over the battle, "slowest10s" the
// multiple in its slowest ten seconds (600 frames in a row).
void RunTimedBattle(benchmark::State& state, BattleRunnerOptions options, u32 frames)
{
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    options.runFolder = QUILLON_RUN_DIR;
    options.recordCalls = false;
    options.draw = false;
    double total = 0.0, slowest = 0.0;
    for (auto _ : state) {
        BattleRunner runner(options);
        if (!runner.Scene()) {
            state.SkipWithError("no battle scene");
            return;
        }
        std::vector<double> frameSeconds;
        frameSeconds.reserve(frames);
        for (u32 f = 0; f < frames; ++f) {
            const auto start = std::chrono::steady_clock::now();
            if (runner.RunFrames(1) != 1) {
                state.SkipWithError("the battle ended");
                return;
            }
            frameSeconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        for (double t : frameSeconds) total += t;
        slowest = std::max(slowest, SlowestWindow(frameSeconds, 600));
    }
    const double played = static_cast<double>(frames) * static_cast<double>(state.iterations()) / 60.0;
    state.counters["realtime"] = total > 0.0 ? played / total : 0.0;
    state.counters["slowest10s"] = slowest > 0.0 ? 10.0 / slowest : 0.0;
}

// The slowest mix of eight robots on the first stage.
void BM_SlowestEightRobotBattle(benchmark::State& state)
{
    BattleRunnerOptions options = MakeBattleOptions(GameMode::LocalBattle, 0, {21, 3, 17, 0, 9, 12, 6, 19},
                                                    {10, 7, 4, 1, 9, 6, 3, 8}, false);
    options.seed = 21;
    RunTimedBattle(state, options, 7200);
}
BENCHMARK(BM_SlowestEightRobotBattle)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TeamBattleTimed(benchmark::State& state) { RunTimedBattle(state, TeamBattle(), 7200); }
BENCHMARK(BM_TeamBattleTimed)->Iterations(1)->Unit(benchmark::kMillisecond);

// The fleet battle's demonstration: ships and robots all under computer control.
void BM_FleetBattleTimed(benchmark::State& state)
{
    BattleRunnerOptions options = MakeBattleOptions(GameMode::Fleet, 0, {0}, {}, false);
    options.modeOption = 1;
    RunTimedBattle(state, options, 7200);
}
BENCHMARK(BM_FleetBattleTimed)->Iterations(1)->Unit(benchmark::kMillisecond);

// The drawing alone of one battle frame at 1024 x 768 on OpenGL with the
// default look (shadows, glow, fog): robots of two types stand in a ring in
// the middle of the first stage, seen over the first one's shoulder.
void BM_BattleFrameDrawn(benchmark::State& state)
{
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    CApplication& app = *GetApplication();
    app.video.hdr = 1;
    app.video.shadow = 2;
    app.video.farLevel = 3;
    BattleRunnerOptions options;
    options.runFolder = QUILLON_RUN_DIR;
    options.openGL = true;
    BattleRunner runner(options);
    CGameScene* scene = runner.Scene();
    if (!scene || !scene->currentView) {
        state.SkipWithError("no battle scene");
        return;
    }
    CreateShaderWrappers(1024, 768, 2);
    scene->shadowOn = GetShaderShadowMap()->shadowSize != 0 ? 1 : 0;
    const i32 slot = static_cast<i32>(scene->currentView->player);
    CRobot_Base* const kept = scene->robotTable[slot];
    const i32 count = static_cast<i32>(state.range(0));
    if (!PlaceRobotRing(scene, count, slot)) state.SkipWithError("robot type missing");
    for (auto _ : state) scene->DrawViews();
    state.SetItemsProcessed(state.iterations());
    scene->robotTable[slot] = kept;
    runner.EndBattle();
    ReleaseShaderWrappers();
    app.video.hdr = 0;
}
BENCHMARK(BM_BattleFrameDrawn)->Arg(8)->Arg(20)->Unit(benchmark::kMillisecond);

// A battle as it plays, every frame both run and drawn on OpenGL at
// 1024 x 768 with the default look: the robots its set-up makes, their
// weapons and effects, the sky, seen from the battle's own camera.
void RunDrawnBattle(benchmark::State& state, BattleRunnerOptions options)
{
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    CApplication& app = *GetApplication();
    app.video.hdr = 1;
    app.video.shadow = 2;
    app.video.farLevel = 3;
    options.runFolder = QUILLON_RUN_DIR;
    options.openGL = true;
    BattleRunner runner(options);
    CGameScene* scene = runner.Scene();
    if (!scene) {
        state.SkipWithError("no battle scene");
        return;
    }
    CreateShaderWrappers(1024, 768, 2);
    scene->shadowOn = GetShaderShadowMap()->shadowSize != 0 ? 1 : 0;
    for (auto _ : state) {
        app.frameDrawn = 1;
        if (runner.RunFrames(1) != 1) {
            state.SkipWithError("the battle ended");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    runner.EndBattle();
    ReleaseShaderWrappers();
    app.video.hdr = 0;
}

// Eight computer robots of mixed levels fighting.
void BM_EightRobotBattleFrameDrawn(benchmark::State& state)
{
    RunDrawnBattle(state, EightRobotBattle());
}
BENCHMARK(BM_EightRobotBattleFrameDrawn)->Iterations(600)->Unit(benchmark::kMillisecond);

// The team battle with all the robots its set-up makes.
void BM_TeamBattleFrameDrawn(benchmark::State& state)
{
    RunDrawnBattle(state, TeamBattle());
}
BENCHMARK(BM_TeamBattleFrameDrawn)->Iterations(600)->Unit(benchmark::kMillisecond);

}  // namespace
