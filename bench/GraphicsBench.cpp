// One 1024x768 frame of 1,000 textured screen quads: on OpenGL (Mesa's
// software renderer where there is no GPU, through SDL's offscreen driver)
// and on the recording device, which measures the layer's own cost.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureManager.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"

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

}  // namespace
