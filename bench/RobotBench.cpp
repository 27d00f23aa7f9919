// Loading one sample robot type from its folder: hulls, settings, model with
// its keys and action scripts, colour sets and face.
#include <benchmark/benchmark.h>

#include "platform/core/Thread.h"
#include "robot/RobotType.h"

namespace {

void BM_LoadOneRobotType(benchmark::State& state)
{
    plat::CriticalSection lock;
    const char* folder = state.range(0) == 0 ? "robo/robo01" : "robo/robo02";
    for (auto _ : state) {
        RobotModelData data;
        if (LoadRobotTypeFolder(data, QUILLON_RUN_DIR, folder, lock, 100) != 1) {
            state.SkipWithError("the sample robot types are missing: build the run folder first");
            return;
        }
        benchmark::DoNotOptimize(data.hierarchy.nodeCount);
    }
    state.SetLabel(state.range(0) == 0 ? "HOD model, Ver.1 keys" : "HD2 model, Ver.2 keys");
}
BENCHMARK(BM_LoadOneRobotType)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
