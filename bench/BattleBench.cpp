// One battle frame with only the battle's own tasks (no robots), headless on
// the recording device, so later parts see what they add to a frame.
#include <benchmark/benchmark.h>

#include "battle/GameScene.h"
#include "platform/core/FileSystem.h"
#include "support/BattleRunner.h"

namespace {

void BM_EmptyBattleFrame(benchmark::State& state)
{
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    BattleRunnerOptions options;
    options.mode = GameMode::Practice;
    options.slotState[1] = 0;
    options.runFolder = QUILLON_RUN_DIR;
    BattleRunner runner(options);
    if (!runner.Scene()) {
        state.SkipWithError("no battle scene");
        return;
    }
    for (auto _ : state) runner.RunFrames(1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EmptyBattleFrame);

}  // namespace
