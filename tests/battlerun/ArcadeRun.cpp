// quillon_arcaderun: fights the first stage of the arcade's stories headless,
// the player's robot flown by the computer player at a low level, once per
// seed and difficulty, and prints how often the stage was won. It tells
// whether a plain player gets through Easy's first stage while Hard's stays
// hard. For tuning the stories, not for players.
//
//   quillon_arcaderun [--stories 0,1,2,3,4] [--difficulties 0,1,2] [--robot T]
//                     [--level L] [--seeds N] [--first-seed S] [--frames N]
//                     [--run-folder DIR] [--verbose 1]
//
// A stage neither won nor lost within the frames counts as not won.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/FileSystem.h"
#include "support/ArcadeStageRun.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: quillon_arcaderun [--stories a,b,..] [--difficulties a,b,..] [--robot T] [--level L]\n"
                         "                         [--seeds N] [--first-seed S] [--frames N] [--run-folder DIR]"
                         " [--verbose 1]\n");
    return 2;
}

const char* const kDifficulty[3] = {"Easy", "Normal", "Hard"};

}  // namespace

int main(int argc, char** argv)
{
    std::vector<i32> stories = {0, 1, 2, 3, 4}, difficulties = {0, 1, 2};
    i32 robot = 0, level = 2;
    u32 seeds = 20, firstSeed = 1, frames = 5 * 60 * 60;
    bool verbose = false;
    std::string runFolder = QUILLON_RUN_DIR;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v) return Usage();
        if (!std::strcmp(a, "--stories")) stories = ParseIntList(v);
        else if (!std::strcmp(a, "--difficulties")) difficulties = ParseIntList(v);
        else if (!std::strcmp(a, "--robot")) robot = std::atoi(v);
        else if (!std::strcmp(a, "--level")) level = std::atoi(v);
        else if (!std::strcmp(a, "--seeds")) seeds = static_cast<u32>(std::strtoul(v, nullptr, 10));
        else if (!std::strcmp(a, "--first-seed")) firstSeed = static_cast<u32>(std::strtoul(v, nullptr, 10));
        else if (!std::strcmp(a, "--frames")) frames = static_cast<u32>(std::strtoul(v, nullptr, 10));
        else if (!std::strcmp(a, "--run-folder")) runFolder = v;
        else if (!std::strcmp(a, "--verbose")) verbose = std::atoi(v) != 0;
        else return Usage();
        ++i;
    }
    for (i32 s : stories)
        if (s < 0 || s >= kStoryCount) return Usage();
    for (i32 d : difficulties)
        if (d < 0 || d > 2) return Usage();
    if (level < 1 || level > 10 || seeds == 0) return Usage();

    plat::SetCurrentDirectory(runFolder.c_str());
    std::printf("robot %d flown at level %d, %u seeds from %u, at most %u frames a stage\n", robot, level, seeds,
                firstSeed, frames);
    bool failed = false;
    for (i32 d : difficulties) {
        u32 wonAll = 0, lostAll = 0, runAll = 0;
        for (i32 s : stories) {
            u32 won = 0, lost = 0, wonFrames = 0;
            for (u32 k = 0; k < seeds; ++k) {
                const StageRun run =
                    RunArcadeFirstStage(static_cast<u32>(s), d, robot, level, firstSeed + k, frames, runFolder.c_str());
                if (run.outcome == StageOutcome::NoBattle) {
                    std::fprintf(stderr, "quillon_arcaderun: story %d gave no battle\n", s + 1);
                    failed = true;
                    break;
                }
                won += run.outcome == StageOutcome::Won;
                lost += run.outcome == StageOutcome::Lost;
                if (run.outcome == StageOutcome::Won) wonFrames += run.frames;
                if (verbose)
                    std::printf("  %s story %d seed %u: %s at frame %u (%s)\n", kDifficulty[d], s + 1,
                                firstSeed + k,
                                run.outcome == StageOutcome::Won    ? "won"
                                : run.outcome == StageOutcome::Lost ? "lost"
                                                                    : "undecided",
                                run.frames, run.robots.c_str());
            }
            std::printf("%-6s story %d: won %2u of %u, lost %2u, undecided %2u, mean win %.0f s\n", kDifficulty[d],
                        s + 1, won, seeds, lost, seeds - won - lost, won ? wonFrames / 60.0 / won : 0.0);
            wonAll += won;
            lostAll += lost;
            runAll += seeds;
        }
        std::printf("%-6s all stories: won %u of %u (%.0f %%), lost %u\n", kDifficulty[d], wonAll, runAll,
                    runAll ? 100.0 * wonAll / runAll : 0.0, lostAll);
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
