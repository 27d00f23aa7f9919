// The first stage of every story fought for real, the player's robot (the
// first robot a new player is offered) flown by the computer player at a low
// level: whichever story a new player draws, Easy's first stage is cleared in
// 7 of its 10 fights here at least, and Hard's, on the same seeds, 10 times
// fewer than Easy's over the five stories at least. The seeds are fixed, so
// the outcome is the same on every run; quillon_arcaderun gives the rates
// over many seeds.
#include <gtest/gtest.h>

#include "support/ArcadeStageRun.h"
#include "support/SaveFolderFixture.h"

namespace {

class ArcadeFirstStageTest : public SaveFolderTest {};

TEST_F(ArcadeFirstStageTest, APlainPilotClearsEveryStoryOnEasyAndHardStaysHarder)
{
    constexpr u32 kFirstSeed = 11, kSeeds = 10, kFrames = 5 * 60 * 60;
    u32 won[3][kStoryCount] = {};
    for (i32 difficulty : {0, 2})
        for (u32 story = 0; story < kStoryCount; ++story)
            for (u32 seed = kFirstSeed; seed < kFirstSeed + kSeeds; ++seed) {
                const StageRun run = RunArcadeFirstStage(story, difficulty, 0, 2, seed, kFrames);
                ASSERT_NE(run.outcome, StageOutcome::NoBattle) << "story " << story + 1;
                if (run.outcome == StageOutcome::Won) ++won[difficulty][story];
            }
    u32 easy = 0, hard = 0;
    for (u32 story = 0; story < kStoryCount; ++story) {
        EXPECT_GE(won[0][story], 7u) << "Easy story " << story + 1 << " won " << won[0][story] << " of " << kSeeds;
        easy += won[0][story];
        hard += won[2][story];
    }
    EXPECT_LE(hard + 10, easy) << "Hard won " << hard << " of " << kStoryCount * kSeeds << ", Easy " << easy;
}

}  // namespace
