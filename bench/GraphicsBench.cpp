// One 1024x768 frame of 1,000 textured screen quads: on OpenGL (Mesa's
// software renderer where there is no GPU, through SDL's offscreen driver)
// and on the recording device, which measures the layer's own cost; and the
// device calls of one battle frame, by kind.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/Shaders.h"
#include "engine/graphics/TextureManager.h"
#include "engine/model/HodModel.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"
#include "platform/math/DetMath.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "bench/BenchRobots.h"
#include "support/BattleRunner.h"

namespace {

constexpr int kQuads = 1000;

void DrawQuadFrame(GraphicsDevice* gd, TextureHandle& picture, int frame) {
    plat::GfxDevice* d = gd->device;
    d->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF203040u, 1.0f, 0);
    d->BeginScene();
    for (int i = 0; i < kQuads; ++i) {
        const float x = float((i * 37 + frame) % 992);
        const float y = float((i * 53) % 736);
        picture.DrawScreenQuad(x, y, 32.0f, 32.0f, 1.0f, 1.0f, 1.0f, 0.75f);
    }
    d->EndScene();
}

void RunFrames(benchmark::State& state, plat::GfxBackend backend) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QUILLON_QUIET_BOXES", "1", 0);
    plat::SetGfxBackend(backend);
    plat::SetGfxRecorderOptions({});
    const u32 flags = backend == plat::GfxBackend::Recorder ? plat::Window::Headless : plat::Window::Hidden;
    auto window = plat::Window::Create("bench", 0, 0, 1024, 768, flags);
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!window || !gd->Create(window.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false)) {
        state.SkipWithError("no graphics device");
        gd->Release();
        return;
    }
    gd->SetDefaultRenderStates();
    {
        TextureHandle picture;
        picture.CreateBlank(32, 32, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed);
        picture.Fill(0xFFC08040u);
        int frame = 0;
        std::vector<u32> pixel;
        const plat::GfxRect corner{0, 0, 1, 1};
        for (auto _ : state) {
            DrawQuadFrame(gd, picture, frame++);
            gd->device->Present(nullptr);
            // Reading a pixel waits until the frame is really drawn.
            gd->device->ReadPixels(gd->backBuffer, &corner, &pixel);
            if (auto* rec = plat::AsRecorder(gd->device)) rec->ClearCalls();
        }
        state.SetItemsProcessed(state.iterations() * kQuads);
    }
    gd->Release();
    plat::SetGfxBackend(plat::GfxBackend::OpenGL);
}

void BM_FrameOf1000TexturedQuadsOpenGL(benchmark::State& state) { RunFrames(state, plat::GfxBackend::OpenGL); }
BENCHMARK(BM_FrameOf1000TexturedQuadsOpenGL)->Unit(benchmark::kMillisecond);

void BM_FrameOf1000TexturedQuadsRecorded(benchmark::State& state) { RunFrames(state, plat::GfxBackend::Recorder); }
BENCHMARK(BM_FrameOf1000TexturedQuadsRecorded)->Unit(benchmark::kMillisecond);

// What one battle frame asks of the device, counted on the recording
// device: 8 robots of two types in a ring on the first stage with shadows,
// glow and fog, as the OpenGL battle benchmark draws them.
void BM_BattleFrameCalls(benchmark::State& state)
{
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    CApplication& app = *GetApplication();
    app.video.hdr = 1;
    app.video.shadow = 2;
    app.video.farLevel = 3;
    BattleRunnerOptions options;
    options.runFolder = QUILLON_RUN_DIR;
    BattleRunner runner(options);
    CGameScene* scene = runner.Scene();
    plat::GfxRecorderDevice* rec = plat::AsRecorder(GetGraphicsDevice()->device);
    if (!scene || !scene->currentView || !rec) {
        state.SkipWithError("no battle scene");
        return;
    }
    CreateShaderWrappers(1024, 768, 2);
    scene->shadowOn = GetShaderShadowMap()->shadowSize != 0 ? 1 : 0;
    const i32 slot = static_cast<i32>(scene->currentView->player);
    CRobot_Base* const kept = scene->robotTable[slot];
    PlaceRobotRing(scene, 8, slot);
    std::map<std::string, double> counts;
    for (auto _ : state) {
        rec->ClearCalls();
        scene->DrawViews();
        counts.clear();
        for (const plat::GfxRecordedCall& c : rec->Calls()) counts[c.text.substr(0, c.text.find(' '))] += 1;
    }
    for (const auto& [name, n] : counts) state.counters[name] = n;
    scene->robotTable[slot] = kept;
    runner.EndBattle();
    ReleaseShaderWrappers();
    app.video.hdr = 0;
}
BENCHMARK(BM_BattleFrameCalls)->Iterations(3);

}  // namespace
