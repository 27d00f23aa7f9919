// Start-up and the title on the sample data, on the OpenGL device of an
// offscreen window: the time from after the settings dialog to the first
// title frame on screen, and the cost of one title frame at 1024 x 768
// (goal: well under the 16 ms a menu frame may take).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "app/core/Startup.h"
#include "app/scene/TitleScene.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Gfx.h"

namespace {

// What the game has before its window: the run folder as start-up folder,
// the settings a 1024 x 768 player would choose.
CApplication& PrepareApplication()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    setenv("QUILLON_QUIET_BOXES", "1", 0);
    // The registry values go to a file of the benchmark's own.
    setenv("QUILLON_REGISTRY_FILE", "/tmp/quillon-bench-registry.ini", 0);
    plat::SetGfxBackend(plat::GfxBackend::OpenGL);
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    CApplication& app = *GetApplication();
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", QUILLON_RUN_DIR);
    app.video.screenWidth = 1024;
    app.video.screenHeight = 768;
    app.video.fastFont = 1;
    app.video.shadow = 2;
    app.volume.volumeBgm = app.volume.volumeSe = app.volume.volumeVoice = 80;
    return app;
}

void EndGame(CApplication& app)
{
    ShutdownApplication(app);
    DestroyWindows(app);
}

// Without the sample data the title loads and draws next to nothing, and
// both benchmarks would measure an empty scene.
bool HasSampleData(const CApplication& app)
{
    const auto* title = static_cast<const CTitleScene*>(app.currentScene);
    return title && title->meshes[TitleMeshSky].materialCount != 0;
}

void BM_StartToFirstTitleFrame(benchmark::State& state)
{
    CApplication& app = PrepareApplication();
    for (auto _ : state) {
        if (!InitAfterSettings(app)) {
            state.SkipWithError("start-up failed");
            EndGame(app);
            return;
        }
        static_cast<CTitleScene*>(app.currentScene)->Render();
        state.PauseTiming();
        if (!HasSampleData(app)) {
            state.SkipWithError("no sample data: build the run_folder target");
            EndGame(app);
            return;
        }
        EndGame(app);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartToFirstTitleFrame)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// One frame of the title with the earth, stars and menu drawn and presented;
// the logo and press-start phases are skipped so the menu is on screen.
void BM_TitleFrame(benchmark::State& state)
{
    CApplication& app = PrepareApplication();
    ShowLogoOnce = 0;
    if (!InitAfterSettings(app)) {
        state.SkipWithError("start-up failed");
        EndGame(app);
        return;
    }
    auto* title = static_cast<CTitleScene*>(app.currentScene);
    if (!HasSampleData(app)) {
        state.SkipWithError("no sample data: build the run_folder target");
        EndGame(app);
        return;
    }
    for (TCB* t = title->Tasks().GetHead()->next; t != title->Tasks().GetTail(); t = t->next)
        if (auto* normal = dynamic_cast<TTTCB_Normal*>(t)) {
            normal->phase = &TTTCB_Normal::Proc_Menu;
            normal->draw = &TTTCB_Normal::DrawSP_Menu;
        }
    for (int i = 0; i < 40; ++i) title->Render();  // the menu has slid in
    // The software rasteriser shades on its own threads, which the thread's
    // CPU time misses: the whole process's CPU per frame shows that work.
    timespec start{}, end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    for (auto _ : state) {
        title->Render();
        title->idle = 0;
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    const double processMs = double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
    state.counters["process_cpu_ms"] = processMs / double(state.iterations());
    EndGame(app);
}
BENCHMARK(BM_TitleFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
