// Eight robots of the sample types running their action scripts for 1,000
// frames, switching animations the way the action states do.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/ScriptCommand.h"

namespace {

constexpr int kRobots = 8;
constexpr int kFrames = 1000;

void Quiet(const char*, const char*) {}

std::unique_ptr<RobotModelData> LoadType(int type)
{
    char folder[256];
    std::snprintf(folder, sizeof folder, "%s/robo/robo%02d", QUILLON_RUN_DIR, type);
    auto data = std::make_unique<RobotModelData>();
    // The model names its meshes relative to the type's folder.
    const std::string back = plat::GetCurrentDirectory();
    plat::SetCurrentDirectory(folder);
    data->LoadScriptSpt("Script.spt", AssetKey);
    data->LoadScriptAni("Script.ani");
    plat::SetCurrentDirectory(back.c_str());
    return data;
}

void BM_EightRobotsRunScriptsForAThousandFrames(benchmark::State& state)
{
    SetScriptMessageHook(Quiet);
    std::vector<std::unique_ptr<RobotModelData>> types;
    for (int t = 1; t <= kRobots; ++t) types.push_back(LoadType(t));
    std::vector<std::unique_ptr<CRobot_Normal>> robots;
    std::vector<std::vector<i32>> animes(kRobots);
    for (int r = 0; r < kRobots; ++r) {
        auto robot = std::make_unique<CRobot_Normal>();
        robot->Reset();
        robot->modelData = types[r].get();
        robot->scriptTables = types[r]->scriptTables.Data();
        // Only the interpreter is measured: fire calls reach an empty procedure.
        for (auto& proc : robot->fireProcs) proc = &CRobot_Normal::FireProcNone;
        for (i32 a = 0; a < 200; ++a)
            if (types[r]->scriptTables[a]) animes[r].push_back(a);
        robots.push_back(std::move(robot));
    }
    for (auto _ : state) {
        for (int r = 0; r < kRobots; ++r) {
            robots[r]->SetScript(types[r]->scriptTables[0], 0, 0);
            robots[r]->SetScript(types[r]->scriptTables[0], 0, 1);
        }
        for (int frame = 0; frame < kFrames; ++frame) {
            for (int r = 0; r < kRobots; ++r) {
                CRobot_Normal& robot = *robots[r];
                // A new action every 40 frames, staggered across the robots.
                if ((frame + 5 * r) % 40 == 0 && !animes[r].empty()) {
                    const i32 a = animes[r][static_cast<size_t>(frame / 40 + r) % animes[r].size()];
                    robot.SetScript(types[r]->scriptTables[a], 0, 0);
                    robot.SetScript(types[r]->scriptTables[a], 0, 1);
                }
                robot.StepScriptChannels();
            }
        }
        benchmark::DoNotOptimize(robots[0]->scriptContext.move[0]);
    }
    state.SetItemsProcessed(state.iterations() * kRobots * kFrames);
    for (auto& t : types) t->Release();
}
BENCHMARK(BM_EightRobotsRunScriptsForAThousandFrames)->Unit(benchmark::kMillisecond);

} // namespace
