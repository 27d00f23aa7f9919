// Text through the rendered-text cache on the OpenGL device (offscreen): a
// frame of 200 cached strings, as a busy menu or battle screen draws, and
// texts rendered into the cache for the first time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/DisplaySettings.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/gfx/Window.h"

namespace {

struct TextScreen {
    std::unique_ptr<plat::Window> window;
    GraphicsDevice* gd = nullptr;
    bool ready = false;

    TextScreen() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        plat::SetGfxBackend(plat::GfxBackend::OpenGL);
        window = plat::Window::Create("text bench", 0, 0, 1024, 768, plat::Window::Hidden);
        if (!window) return;
        gd = GetGraphicsDevice();
        if (!gd->Create(window.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false)) return;
        gd->CreateFont(1, "黑体", 24);
        gd->CreateFont(6, "ＭＳ　ゴシック", 12);
        GetDisplaySettings() = DisplaySettings{1, 1024, 768, 1.0f, 1.0f};
        ready = CreateTextRenderTarget(1024, 768) == 1 && gd->fonts[1] && gd->fonts[6];
    }
    ~TextScreen() {
        GetTextureCache()->Clear();
        ReleaseTextRenderTarget();
        if (gd) gd->Release();
    }
    void Begin() {
        gd->device->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);
        gd->device->BeginScene();
        gd->sprite->Begin(plat::SpriteAlphaBlend);
    }
    // Ends the frame and waits for the device to finish it.
    void End() {
        gd->sprite->End();
        gd->device->EndScene();
        plat::GfxRef<plat::GfxSurface> bb;
        gd->device->GetBackBuffer(bb.put());
        const plat::GfxRect one{0, 0, 1, 1};
        std::vector<u32> px;
        gd->device->ReadPixels(bb.get(), &one, &px);
    }
};

TextScreen& Screen() {
    static TextScreen screen;
    return screen;
}

const char* const kLines[] = {"ゲームは既に起動しています。", "按Ctrl+0创造1级AI", "Direct3Dの初期化に失敗。",
                              "按Ctrl+2创造靶机", "Quillon 1.000", "按Ctrl+5创造相同动作AI"};

void BM_DrawTwoHundredCachedStrings(benchmark::State& state) {
    TextScreen& s = Screen();
    if (!s.ready) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    std::vector<std::string> texts;
    for (int i = 0; i < 200; ++i) texts.push_back(std::string(kLines[i % 6]) + " " + std::to_string(i));
    TextureCache* cache = GetTextureCache();
    auto frame = [&] {
        s.Begin();
        for (int i = 0; i < 200; ++i) {
            const plat::GfxRect rc{(i % 4) * 256, (i / 4) * 15, 1024, 768};
            cache->DrawText(s.gd->fonts[6], texts[size_t(i)].c_str(), -1, &rc, 0, 0xFFFFFFFFu, 60, 0, 0);
        }
        s.End();
        cache->Age();
    };
    frame();  // renders every text once
    const u64 renders = cache->RenderCount();
    for (auto _ : state) frame();
    state.SetItemsProcessed(i64(state.iterations()) * 200);
    state.counters["renders"] = double(cache->RenderCount() - renders);
    cache->Clear();
}
BENCHMARK(BM_DrawTwoHundredCachedStrings)->Unit(benchmark::kMillisecond);

void BM_RenderNewStrings(benchmark::State& state) {
    TextScreen& s = Screen();
    if (!s.ready) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    TextureCache* cache = GetTextureCache();
    const int perFrame = int(state.range(0));
    u64 serial = 0;
    char text[128];
    for (auto _ : state) {
        s.Begin();
        for (int i = 0; i < perFrame; ++i) {
            std::snprintf(text, sizeof text, "%s %llu", kLines[serial % 6], static_cast<unsigned long long>(serial));
            ++serial;
            const plat::GfxRect rc{0, (i % 40) * 18, 1024, 768};
            cache->DrawText(s.gd->fonts[1], text, -1, &rc, plat::TextWordBreak, 0xFFFFFFFFu, 1, 0, 0);
        }
        s.End();
        cache->Age();  // lifetime 1: every text goes after its frame
    }
    state.SetItemsProcessed(i64(state.iterations()) * perFrame);
    cache->Clear();
}
BENCHMARK(BM_RenderNewStrings)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
