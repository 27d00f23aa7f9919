// The stage queries on the larger sample stage: 10,000 segment tests and
// 10,000 sphere push-outs spread over the playable square, the mix robots
// and weapons ask for in a busy frame and more.
#include <benchmark/benchmark.h>

#include <string>

#include "battle/stage/BattleMap.h"
#include "battle/stage/MapCollision.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"

namespace {

// Loaded once: the larger sample stage's folder from the run folder.
BattleMap& LargerStage()
{
    static BattleMap* map = [] {
        BattleMap::SetMessageHook([](const char*, const char*) {});
        const std::string saved = plat::GetCurrentDirectory();
        plat::SetCurrentDirectory((std::string(QUILLON_RUN_DIR) + "/war/City").c_str());
        auto* m = new BattleMap();
        m->LoadStageFile("map.mpd", AssetKey);
        plat::SetCurrentDirectory(saved.c_str());
        return m;
    }();
    return *map;
}

// Query points on a fixed lattice over the playable square (900..2100).
Vec3 Point(u32 i, f32 y)
{
    const f32 x = 900.0f + static_cast<f32>((i * 37u) % 1200u);
    const f32 z = 900.0f + static_cast<f32>((i * 91u) % 1200u);
    return {x, y, z};
}

void BM_TenThousandSegmentTests(benchmark::State& state)
{
    BattleMap& map = LargerStage();
    u32 hits = 0;
    for (auto _ : state) {
        for (u32 i = 0; i < 10000; ++i) {
            // Alternately a ground probe and a 20-unit shot across the stage.
            const Vec3 start = Point(i, 5.0f);
            const Vec3 end = i % 2 ? start + Vec3(20.0f, -1.0f, 7.0f) : start + Vec3(0.0f, -8.0f, 0.0f);
            float t = 0.0f;
            MapHitInfo info;
            hits += static_cast<u32>(HitTestMapSegment(map, &start, &end, &t, &info));
        }
    }
    benchmark::DoNotOptimize(hits);
    state.counters["hits"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TenThousandSegmentTests)->Unit(benchmark::kMillisecond);

void BM_TenThousandSpherePushOuts(benchmark::State& state)
{
    BattleMap& map = LargerStage();
    u32 contacts = 0;
    CList<MapHitInfo> hits;
    for (auto _ : state) {
        for (u32 i = 0; i < 10000; ++i) {
            // A robot's body sphere resting slightly into the ground.
            const Vec3 c = Point(i, 1.1f);
            Vec3 push;
            contacts += static_cast<u32>(CollideSphereWithMap(map, c.x, c.y, c.z, 1.3f, nullptr, &hits, &push));
            while (hits.GetHead()->next != hits.GetTail()) hits.Erase(hits.GetHead()->next);
        }
    }
    benchmark::DoNotOptimize(contacts);
    state.counters["contacts"] = static_cast<double>(contacts) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TenThousandSpherePushOuts)->Unit(benchmark::kMillisecond);

}  // namespace
