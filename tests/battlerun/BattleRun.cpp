// quillon_battlerun: runs a battle headless and undrawn, as fast as it goes, and prints a
// fingerprint of the battle state every K frames, one stable line each, so two
// runs can be compared with diff. For tests and benchmarks, not for players.
//
//   quillon_battlerun [--mode local|team|fleet] [--stage N] [--types 0,5,9,...]
//                     [--levels 10,3,...] [--seed S] [--frames N] [--every K]
//                     [--input FILE] [--run-folder DIR]
//
// Local battles take up to 8 robots (the types list): 1 to 4 fill the
// battle's slots, the rest join after the set-up; every robot is a computer
// player on a team of its own unless --input gives slot 0 to a recorded
// player (lines "frame direction buttons", buttons a bit mask of bytes 1..8).
// Team battles keep their set-up's robots; fleet battles are the demonstration
// fleet battle, ships and robots all under computer control.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "battle/GameScene.h"
#include "platform/core/FileSystem.h"
#include "support/BattleHash.h"
#include "support/BattleRunner.h"

namespace {

bool ReadInputScript(const char* path, std::vector<RecordedInput>& out)
{
    FILE* f = std::fopen(path, "r");
    if (!f) return false;
    unsigned frame = 0, direction = 0, buttons = 0;
    while (std::fscanf(f, "%u %u %u", &frame, &direction, &buttons) == 3) {
        if (direction < 1 || direction > 9) direction = 5;
        out.push_back({frame, static_cast<u8>(direction), static_cast<u16>(buttons & 0xFF)});
    }
    std::fclose(f);
    return true;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: quillon_battlerun [--mode local|team|fleet] [--stage N] [--types a,b,..] [--levels a,b,..]\n"
                 "                         [--seed S] [--frames N] [--every K] [--input FILE] [--run-folder DIR]\n");
    return 2;
}

// The thread's own processor time: on a busy machine the wall clock also
// counts the time other work had the core.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = "local";
    u32 stage = 0, seed = 1, frames = 3600, every = 60;
    std::vector<i32> types = {0, 1, 2, 3, 4, 5, 6, 7};
    std::vector<i32> levels = {10, 8, 6, 4, 2, 1, 5, 10};
    const char* inputPath = nullptr;
    std::string runFolder = QUILLON_RUN_DIR;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v) return Usage();
        if (!std::strcmp(a, "--mode")) mode = v;
        else if (!std::strcmp(a, "--stage")) stage = static_cast<u32>(std::strtoul(v, nullptr, 10));
        else if (!std::strcmp(a, "--types")) types = ParseIntList(v);
        else if (!std::strcmp(a, "--levels")) levels = ParseIntList(v);
        else if (!std::strcmp(a, "--seed")) seed = static_cast<u32>(std::strtoul(v, nullptr, 10));
        else if (!std::strcmp(a, "--frames")) frames = static_cast<u32>(std::strtoul(v, nullptr, 10));
        else if (!std::strcmp(a, "--every")) every = static_cast<u32>(std::strtoul(v, nullptr, 10));
        else if (!std::strcmp(a, "--input")) inputPath = v;
        else if (!std::strcmp(a, "--run-folder")) runFolder = v;
        else return Usage();
        ++i;
    }
    if (every == 0 || types.empty() || types.size() > 8 || (mode != "local" && mode != "team" && mode != "fleet"))
        return Usage();
    std::vector<RecordedInput> script;
    if (inputPath && !ReadInputScript(inputPath, script)) {
        std::fprintf(stderr, "quillon_battlerun: cannot read %s\n", inputPath);
        return 1;
    }

    plat::SetCurrentDirectory(runFolder.c_str());
    const GameMode gameMode = mode == "team"    ? GameMode::Team
                              : mode == "fleet" ? GameMode::Fleet
                                                : GameMode::LocalBattle;
    BattleRunnerOptions options = MakeBattleOptions(gameMode, stage, types, levels, inputPath != nullptr);
    // The fleet battle's demonstration: every robot and ship under computer control.
    if (gameMode == GameMode::Fleet && !inputPath) options.modeOption = 1;
    options.seed = seed;
    options.recordCalls = false;
    options.draw = false;
    options.runFolder = runFolder.c_str();
    BattleRunner runner(options);
    if (!runner.Scene()) {
        std::fprintf(stderr, "quillon_battlerun: no battle\n");
        return 1;
    }
    if (runner.Scene()->setupFailed) {
        std::fprintf(stderr, "quillon_battlerun: no battle: %s\n", runner.Scene()->notice);
        return 1;
    }
    runner.PlayInput(script);
    // Each frame's own time (hashing left out), for the slowest ten seconds.
    std::vector<double> frameSeconds, frameCpuSeconds;
    frameSeconds.reserve(frames);
    frameCpuSeconds.reserve(frames);
    const auto start = std::chrono::steady_clock::now();
    for (u32 f = 1; f <= frames; ++f) {
        const auto frameStart = std::chrono::steady_clock::now();
        const double cpuStart = ThreadSeconds();
        if (runner.RunFrames(1) != 1 || !runner.Scene()) {
            std::printf("ended at frame %u\n", f);
            break;
        }
        frameSeconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - frameStart).count());
        frameCpuSeconds.push_back(ThreadSeconds() - cpuStart);
        if (f % every == 0) std::printf("%s\n", FormatBattleHash(f, HashBattle(*runner.Scene())).c_str());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A battle that ended early played fewer frames than were asked for.
    const size_t played = frameSeconds.size();
    // Timing goes to stderr, so the hash lines stay comparable.
    std::fprintf(stderr, "%zu frames in %.3f s: %.1f frames/s, %.1f x real time\n", played, seconds,
                 seconds > 0 ? played / seconds : 0.0, seconds > 0 ? played / seconds / 60.0 : 0.0);
    // The slowest 600 frames in a row (ten seconds of play), or all of a shorter run.
    const size_t window = std::min<size_t>(600, frameSeconds.size());
    if (const double worst = SlowestWindow(frameSeconds, window); worst > 0)
        std::fprintf(stderr, "slowest %zu frames in %.3f s: %.1f x real time\n", window, worst,
                     static_cast<double>(window) / worst / 60.0);
    double cpu = 0.0;
    for (double t : frameCpuSeconds) cpu += t;
    if (const double worst = SlowestWindow(frameCpuSeconds, window); worst > 0 && cpu > 0)
        std::fprintf(stderr, "processor time: %.1f x real time, slowest %zu frames %.1f x real time\n",
                     frameCpuSeconds.size() / cpu / 60.0, window, static_cast<double>(window) / worst / 60.0);
    return 0;
}
