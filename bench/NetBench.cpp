// The online battle's frame in lockstep on loopback, in one process: this
// client's key states go through a relay that hands every frame's record to
// both players, as the room server does, with the other client's copy of the
// same input and check byte, so each frame waits for, matches and applies two
// players' inputs. Two players and two computer robots; "realtime" is the
// multiple of 60 frames a second.
#include <benchmark/benchmark.h>

#include <cstring>

#include "app/core/Application.h"
#include "app/player/PlayerEntry.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "engine/core/TaskList.h"
#include "platform/core/FileSystem.h"
#include "support/BattleRunner.h"
#include "support/SentMessages.h"

namespace {

void Relay(const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    for (i32 slot = 0; slot < 2; ++slot) {
        PlayerEntry& e = GetApplication()->players[slot];
        for (u32 f = frame; f < frame + repeat; ++f) {
            auto* k = CreateInListFront<KEYRECVLIST>(&e.keyQueue, 1);
            if (!k) return;
            k->frame = f;
            std::memcpy(k->input, input, 10);
            k->check = check;
        }
    }
}

void BM_OnlineLockstepFrame(benchmark::State& state)
{
    plat::SetCurrentDirectory(QUILLON_RUN_DIR);
    SentMessages server;
    server.keyState = Relay;
    RoomState& room = ConnectedRoom(0);
    GetApplication()->gameSettings.roomSetting = 1;

    BattleRunnerOptions options;
    options.mode = GameMode::Online;
    options.runFolder = QUILLON_RUN_DIR;
    const i32 slots[4] = {1, 1, 2, 2}, teams[4] = {0, 0, 1, 1}, levels[4] = {0, 0, 10, 10};
    for (i32 i = 0; i < 4; ++i) {
        options.slotState[i] = slots[i];
        options.team[i] = teams[i];
        options.level[i] = levels[i];
        options.robot[i] = i;
    }
    {
        BattleRunner runner(options);
        CGameScene* scene = runner.Scene();
        if (!scene) {
            state.SkipWithError("no battle scene");
        } else {
            for (i32 i = 0; i < 2; ++i) GetApplication()->players[i].sceneLoaded = 1;
            runner.RunFrames(1);
            if (scene->frameProc != &CGameScene::Proc_NetBattle) state.SkipWithError("the lockstep never started");
        }
        for (auto _ : state)
            if (runner.RunFrames(1) != 1 || room.repairState != 0 || scene->inputWaiting) {
                state.SkipWithError("the battle ended, waited or disagreed");
                break;
            }
        state.SetItemsProcessed(state.iterations());
        state.counters["realtime"] =
            benchmark::Counter(static_cast<double>(state.iterations()) / 60.0, benchmark::Counter::kIsRate);
    }
    room = RoomState();
    GetApplication()->gameSettings.roomSetting = 0;
}
BENCHMARK(BM_OnlineLockstepFrame)->Iterations(1800)->Unit(benchmark::kMicrosecond);

}  // namespace
