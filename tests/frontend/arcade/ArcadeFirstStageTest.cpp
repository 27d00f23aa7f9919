// The first stage of every story fought for real, the player's robot (the
// first robot a new player is offered) flown by the computer player at a low
// level: whichever story a new player draws, Easy's first stage is cleared in
// 7 of its 10 fights here at least; Hard's, fought on every other one of the
// same seeds, 3 times fewer than Easy's on those seeds over the five stories.
// The seeds are fixed, so the outcome is the same on every run;
// quillon_arcaderun gives the rates over many seeds.
#include <gtest/gtest.h>

#include "support/ArcadeStageRun.h"
#include "support/SaveFolderFixture.h"

namespace {

class ArcadeFirstStageTest : public SaveFolderTest {};

TEST_F(ArcadeFirstStageTest, APlainPilotClearsEveryStoryOnEasyAndHardStaysHarder)
{
    constexpr u32 kFirstSeed = 11, kSeeds = 10, kFrames = 5 * 60 * 60;
    u32 easy[kStoryCount] = {};
    u32 easyOnHardSeeds = 0, hard = 0;
    for (u32 story = 0; story < kStoryCount; ++story)
        for (u32 k = 0; k < kSeeds; ++k)
            for (i32 difficulty : {0, 2}) {
                const bool hardSeed = k % 2 == 0;
                if (difficulty == 2 && !hardSeed) continue;
                const StageRun run = RunArcadeFirstStage(story, difficulty, 0, 2, kFirstSeed + k, kFrames);
                ASSERT_NE(run.outcome, StageOutcome::NoBattle) << "story " << story + 1;
                if (run.outcome != StageOutcome::Won) continue;
                if (difficulty == 2) {
                    ++hard;
                    continue;
                }
                ++easy[story];
                if (hardSeed) ++easyOnHardSeeds;
            }
    for (u32 story = 0; story < kStoryCount; ++story)
        EXPECT_GE(easy[story], 7u) << "Easy story " << story + 1 << " won " << easy[story] << " of " << kSeeds;
    EXPECT_LE(hard + 3, easyOnHardSeeds) << "Hard won " << hard << " of " << kStoryCount * kSeeds / 2 << ", Easy "
                                         << easyOnHardSeeds << " on the same seeds";
}

}  // namespace
