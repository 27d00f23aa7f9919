// One battle frame of effects: 2,000 live billboard effects and 200 light
// trails run and drawn, on the recording device (the game's own cost) and on
// OpenGL (Mesa's software renderer where there is no GPU).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/graphics/GraphicsDevice.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"
#include "platform/math/DetMath.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Smoke.h"
#include "weapon/effects/Spark.h"

namespace {

constexpr int kEffects = 2000;
constexpr int kTrails = 200;
constexpr int kTrailPoints = 40;

// A fresh effect in the list: smoke, sparks and flashes in turn.
void Spawn(CList<BB_Base>& effects, plat::GfxTexture* texture, int i)
{
    const Vec3 at(f32(i % 50) - 25.0f, f32((i / 50) % 40) - 20.0f, 40.0f + f32(i % 7));
    const Vec3 v(0.01f * f32(i % 5 - 2), 0.02f, 0.0f);
    switch (i % 3) {
    case 0:
        if (auto* e = NewObject<BB_MSmoke>(&effects, 1)) e->Set(&at, 1.0f, &v, 0, texture, 0xFFFFFFFFu, 0xFFFF);
        break;
    case 1:
        if (auto* e = NewObject<BB_Tiri2>(&effects, 1))
            e->Set(&at, 0.1f, 0.1f, 2.5f, 0.0f, &v, 1, texture, 0xFFFFFFFFu, 255);
        break;
    default:
        if (auto* e = NewObject<BB_ExplodeBeam>(&effects, 1)) e->Set(&at, 0.5f, 1, texture, 0xFFFFFFFFu);
        break;
    }
}

void RunFrames(benchmark::State& state, plat::GfxBackend backend)
{
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
        plat::GfxRef<plat::GfxTexture> texture;
        gd->device->CreateTexture(8, 8, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed, texture.put());
        plat::GfxTexture* textures[1] = {texture.get()};
        WeaponWorld world;
        world.textures = textures;
        world.textureCount = 1;
        SetWeaponWorld(&world);

        CList<BB_Base> effects;
        int spawned = 0;
        for (; spawned < kEffects; ++spawned) Spawn(effects, texture.get(), spawned);
        std::vector<std::unique_ptr<LZ_Basic>> trails;
        for (int t = 0; t < kTrails; ++t) {
            auto trail = std::make_unique<LZ_Basic>();
            trail->Laser.MaxPoints = kTrailPoints;
            trail->Laser.Texture = texture.get();
            trail->Width = 0.1f;
            trail->BlendMode = 1;
            trail->Colour = 0xFFFFFFFFu;
            trails.push_back(std::move(trail));
        }
        int frame = 0;
        std::vector<u32> pixel;
        const plat::GfxRect corner{0, 0, 1, 1};
        for (auto _ : state) {
            plat::GfxDevice* d = gd->device;
            d->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF000000u, 1.0f, 0);
            d->BeginScene();
            // Run: finished effects leave and new ones take their places.
            for (BB_Base* e = effects.GetHead()->next; e != effects.GetTail();) {
                e = e->Run() ? effects.Erase(e) : e->next;
            }
            while (int(effects.GetCount()) < kEffects) Spawn(effects, texture.get(), spawned++);
            for (int t = 0; t < kTrails; ++t) {
                const f32 x = f32(t % 20) * 2.0f - 20.0f, y = f32(t / 20) * 2.0f - 10.0f;
                trails[size_t(t)]->Laser.AddPoint(Vec3(x + plat::DetSin(f32(frame + t) * 0.2f), y, 30.0f + f32(frame % 40) * 0.2f));
            }
            // Draw.
            for (auto& trail : trails) trail->DrawTrail(Vec3());
            for (BB_Base* e = effects.GetHead()->next; e != effects.GetTail(); e = e->next) e->Draw();
            d->EndScene();
            d->Present(nullptr);
            d->ReadPixels(gd->backBuffer, &corner, &pixel);
            if (auto* rec = plat::AsRecorder(d)) rec->ClearCalls();
            ++frame;
        }
        state.SetItemsProcessed(state.iterations() * (kEffects + kTrails));
        SetWeaponWorld(nullptr);
        trails.clear();
        effects.DeleteAll();
    }
    gd->Release();
}

void BM_WeaponFrameRecorder(benchmark::State& state) { RunFrames(state, plat::GfxBackend::Recorder); }
void BM_WeaponFrameOpenGL(benchmark::State& state) { RunFrames(state, plat::GfxBackend::OpenGL); }

}  // namespace

BENCHMARK(BM_WeaponFrameRecorder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeaponFrameOpenGL)->Unit(benchmark::kMillisecond);
