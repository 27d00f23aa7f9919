// The arcade stories: how many stages each plays at each difficulty and what
// they are called, which robots a stage brings with the boss rolls drawn from
// a seeded generator, the clear reward, and the folders a story needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "app/player/PartInventory.h"
#include "frontend/arcade/ArcadeJudge.h"
#include "frontend/arcade/Story.h"
#include "engine/core/MTRand.h"

namespace {

struct Played {
    std::vector<i32> maps;
    std::vector<i32> kinds;
    std::vector<std::string> titles;
};

Played PlayThrough(u32 index, i32 difficulty)
{
    std::unique_ptr<CStoryBase> story(NewStory(index));
    story->difficulty = difficulty;
    Played out;
    for (i32 call = 0; call < 10; ++call) {
        story->NextStage();
        if (story->stage == kStoryCleared) break;
        out.maps.push_back(static_cast<i32>(GetApplication()->gameSettings.stage));
        out.kinds.push_back(story->battleKind);
        out.titles.push_back(story->title);
    }
    return out;
}

size_t Count(const std::vector<StoryOrder>& roster, StoryOrder::Role role)
{
    size_t n = 0;
    for (const StoryOrder& o : roster) n += o.role == role ? 1 : 0;
    return n;
}

}  // namespace

TEST(StoryTest, EachStoryPlaysItsStagesPerDifficultyWithTheirTitles)
{
    // Stages played on Easy, Normal, Hard: the last one is Hard only.
    const size_t stages[kStoryCount][3] = {{5, 5, 6}, {4, 4, 5}, {4, 4, 5}, {5, 5, 6}, {5, 5, 6}};
    for (u32 s = 0; s < kStoryCount; ++s)
        for (i32 d = 0; d < 3; ++d) {
            const Played p = PlayThrough(s, d);
            ASSERT_EQ(p.maps.size(), stages[s][d]) << "story " << s << " difficulty " << d;
            EXPECT_EQ(p.titles.back(), kStoryFinalTitle) << "story " << s << " difficulty " << d;
            for (size_t i = 0; i + 1 < p.titles.size(); ++i) EXPECT_EQ(p.titles[i], StoryStageTitle(i32(i) + 1));
        }
    const Played easy = PlayThrough(1, 0), hard = PlayThrough(1, 2);
    EXPECT_EQ(easy.maps, (std::vector<i32>{1, 0, 3, 2}));
    EXPECT_EQ(easy.kinds, (std::vector<i32>{1, 0, 1, 0}));
    EXPECT_EQ(hard.titles[3], "- 关 卡 4 -");
    EXPECT_EQ(hard.maps.back(), 5);
    EXPECT_EQ(PlayThrough(2, 1).kinds, (std::vector<i32>{1, 1, 1, 1})) << "every stage of the third story is a cost stage";
}

TEST(StoryTest, RostersTakeTheDifficultyTheSecondPlayerAndSeededBossRolls)
{
    CStory01 one;
    CStory05 five;
    cMTRand random;
    random.Init(7);
    // Stage 5: the third enemy comes from Normal on; levels are base - 5, - 3, - 0.
    const StoryStage& s5 = one.Stages()[4];
    auto easy = StageRoster(s5, 0, false, random);
    auto hard = StageRoster(s5, 2, false, random);
    ASSERT_EQ(Count(easy, StoryOrder::Enemy), 2u);
    ASSERT_EQ(Count(hard, StoryOrder::Enemy), 3u);
    EXPECT_EQ(easy[0].robot.level, 5);
    EXPECT_EQ(StageRoster(s5, 1, false, random)[0].robot.level, 7);
    EXPECT_EQ(hard[2].robot.type, 2);
    EXPECT_EQ(hard[2].robot.level, 8);
    EXPECT_EQ(hard.back().role, StoryOrder::Ally);
    EXPECT_EQ(hard.back().robot.level, 7) << "allies keep their level";
    // The last stage of the fifth story: three allies, none with a second player.
    EXPECT_EQ(Count(StageRoster(five.Stages()[5], 2, false, random), StoryOrder::Ally), 3u);
    EXPECT_EQ(Count(StageRoster(five.Stages()[5], 2, true, random), StoryOrder::Ally), 0u);

    // Stage 1: a bonus boss rolled 1 in 10 replaces the only enemy; the
    // third story's first stage rolls its two bosses in turn.
    bool seen[2] = {};
    for (u32 seed = 1; seed < 200; ++seed) {
        cMTRand a, twin;
        a.Init(seed);
        twin.Init(seed);
        const bool boss = twin.GetRand() % 10 == 0;
        const auto roster = StageRoster(one.Stages()[0], 1, false, a);
        ASSERT_EQ(roster.size(), 1u);
        EXPECT_EQ(roster[0].role, boss ? StoryOrder::Boss : StoryOrder::Enemy) << seed;
        if (boss) {
            EXPECT_EQ(roster[0].boss, StoryBoss::Bonus);
        }
        EXPECT_EQ(a.GetRand(), twin.GetRand()) << "one draw per roll";
        seen[boss] = true;

        CStory03 three;
        a.Init(seed);
        twin.Init(seed);
        const bool bonus = twin.GetRand() % 10 == 0, ten = twin.GetRand() % 20 == 0;
        const auto both = StageRoster(three.Stages()[0], 0, false, a);
        EXPECT_EQ(Count(both, StoryOrder::Enemy), 2u) << "an added boss replaces nobody";
        EXPECT_EQ(Count(both, StoryOrder::Boss), size_t(bonus) + size_t(ten));
    }
    EXPECT_TRUE(seen[0] && seen[1]);
}

TEST(StoryTest, ClearRewardGivesPartsByDifficultyAndStopsAtAFullInventory)
{
    CApplication& app = *GetApplication();
    PartInventory& inventory = app.partInventory;
    app.players[0].robot = 3;
    auto lines = [](const char* text) {
        size_t n = 0;
        for (const char* p = text; (p = std::strstr(p, "Get Item:")); ++p) ++n;
        return n;
    };
    const size_t expected[3] = {2, 5, 10};
    for (i32 d = 0; d < 3; ++d) {
        inventory.Reset();
        const size_t before = inventory.parts.size();
        CStory02 story;
        story.difficulty = d;
        story.GiveClearReward();
        EXPECT_EQ(inventory.parts.size() - before, expected[d]);
        EXPECT_EQ(lines(story.rewardText), expected[d]);
        EXPECT_EQ(inventory.stageFlags[3], 1);
    }
    // Hard with 995 parts owned: five more, then the full line once.
    inventory.Reset();
    while (inventory.parts.size() < 995) ASSERT_NE(inventory.AddNewPart(), nullptr);
    CStory04 story;
    story.difficulty = 2;
    story.GiveClearReward();
    EXPECT_EQ(inventory.parts.size(), 1000u);
    EXPECT_EQ(lines(story.rewardText), 5u);
    const std::string text = story.rewardText;
    EXPECT_EQ(text.find("无法获得更多的装备"), text.rfind("无法获得更多的装备"));
    EXPECT_NE(text.find("无法获得更多的装备"), std::string::npos);
    inventory.Reset();

    EXPECT_EQ(HalveScore(1001), 500);
    EXPECT_EQ(HalveScore(-3), -1);
}

TEST(StoryTest, MissingRobotsAndMapsAreNamedOnce)
{
    CStory05 five;
    const auto all = MissingStoryFolders(five, 22, 9);
    EXPECT_TRUE(all.empty());
    const auto missing = MissingStoryFolders(five, 14, 6);
    auto has = [&](const std::string& line) { return std::count(missing.begin(), missing.end(), line); };
    EXPECT_EQ(has("stage map 6"), 1);
    EXPECT_EQ(has("stage map 8"), 1);
    EXPECT_EQ(has("stage map 5"), 0);
    EXPECT_EQ(has("robot type 20"), 1) << "an enemy and a boss of type 20, named once";
    EXPECT_EQ(has("robot type 21"), 1);
    EXPECT_EQ(has("robot type 13"), 0);
}
