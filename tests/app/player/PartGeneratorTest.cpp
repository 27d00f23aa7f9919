#include "app/player/PartGenerator.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "app/player/GameItem.h"

namespace {

cMTRand& AppRandom() { return GetApplication()->random; }

int CountLines(const char* text)
{
    int n = 0;
    for (const char* p = text; *p; ++p) n += *p == '\n';
    return n;
}

int NonZeroBonuses(const CGameItem_PowerUp& part)
{
    int n = 0;
    for (int k = 0; k < 9; ++k) n += part.bonus[k] > 0;
    return n;
}

struct Recorded {
    const char* name;
    i32 grade;
    u32 colour;
    i16 bonus[10];
};

}  // namespace

TEST(PartGenerator, SeededGeneratorReproducesTheRecordedParts)
{
    const Recorded expected[] = {
        {"D级/装甲部件    ", 1, 0xFFFFFFFF, {0, 0, 5, 5, 0, 0, 0, 0, 0, 0}},
        {"A级/装甲部件    ", 4, 0xFF00FF00, {0, 0, 0, 0, 20, 0, 0, 0, 0, 0}},
        {"S级/弹药夹", 5, 0xFFFFFF00, {18, 20, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"D级/弹药夹", 1, 0xFFFFFFFF, {0, 5, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"B级/装甲部件    ", 3, 0xFF565EE9, {0, 0, 14, 11, 0, 0, 0, 0, 0, 0}},
        {"S级/动力部件", 7, 0xFFFFFF00, {0, 0, 17, 17, 16, 14, 12, 14, 14, 0}},
        {"D级/推进部件    ", 1, 0xFFFFFFFF, {0, 0, 0, 0, 0, 5, 0, 0, 0, 0}},
        {"S级/弹药夹", 5, 0xFFFFFF00, {18, 17, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"S级/引擎部件      ", 6, 0xFFFFFF00, {0, 0, 0, 0, 0, 24, 24, 28, 29, 0}},
    };
    const f32 chances[3] = {1.0f, 40.0f, 300.0f};
    AppRandom().Init(20240601);
    for (int i = 0; i < 9; ++i) {
        CGameItem_PowerUp part{u32(i)};
        part.Randomize(chances[i % 3]);
        EXPECT_STREQ(part.name, expected[i].name) << i;
        EXPECT_EQ(part.grade, expected[i].grade) << i;
        EXPECT_EQ(part.colour, expected[i].colour) << i;
        for (int k = 0; k < 10; ++k) EXPECT_EQ(part.bonus[k], expected[i].bonus[k]) << i << "," << k;
    }
    EXPECT_EQ(AppRandom().GetRand(), 387482052u); // nothing more was drawn
}

TEST(PartGenerator, ArmourDrawsRollSplitThenItsBonusesInOrder)
{
    // Rebuild the armour rule from a twin generator, for every grade and split.
    for (u32 seed = 1; seed <= 200; ++seed) {
        const f32 chance = f32(seed % 5) * 3.0f;
        cMTRand twin;
        twin.Init(seed);
        AppRandom().Init(seed);
        CGameItem_PowerUp part(0);
        part.MakeArmour(chance);

        const u32 roll = twin.GetRand() % 10000;
        const u32 split = twin.GetRand() % 1000;
        i16 want[3] = {};
        const f32 r = f32(roll);
        auto draw = [&](i32 base) { return i16(i32(twin.GetRand() % 5) + base); };
        i32 grade;
        if (chance * 50 > r) {
            grade = 5;
            for (i16& w : want) w = draw(16);
        } else if (chance * 1000 > r) {
            grade = chance * 150 > r ? 4 : chance * 800 > r ? 3 : 2;
            const i32 high = grade == 4 ? 16 : grade == 3 ? 11 : 6;
            if (split < 333) {
                want[0] = draw(high);
                want[1] = draw(high);
            } else if (split < 666) {
                want[2] = draw(high);
            } else if (grade == 2) {
                want[0] = want[1] = want[2] = 5;
            } else {
                for (i16& w : want) w = draw(high - 5);
            }
        } else {
            grade = 1;
            if (split < 500) want[0] = want[1] = 5;
            else want[2] = 5;
        }
        EXPECT_EQ(part.grade, grade) << seed;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(part.bonus[2 + k], want[k]) << seed;
        EXPECT_EQ(AppRandom().GetRand(), twin.GetRand()) << seed;
    }
}

TEST(PartGenerator, ThresholdChancesGiveOnlyTheirGrades)
{
    AppRandom().Init(99);
    for (int i = 0; i < 300; ++i) {
        CGameItem_PowerUp low(0), high(0);
        low.MakeThruster(0.0f);
        EXPECT_EQ(low.grade, 1);
        EXPECT_EQ(low.colour, 0xFFFFFFFFu);
        high.MakeRanged(200.0f);
        EXPECT_EQ(high.grade, 5);
        EXPECT_EQ(high.colour, 0xFFFFFF00u);
        EXPECT_GE(high.bonus[0], 16);
        EXPECT_LE(high.bonus[1], 20);
    }
}

TEST(PartGenerator, LowDefenceArmourTextHasHeaderAndTwoLines)
{
    // Find a start value whose split falls below 500.
    u32 seed = 1;
    for (;; ++seed) {
        cMTRand twin;
        twin.Init(seed);
        twin.GetRand();
        if (twin.GetRand() % 1000 < 500) break;
    }
    AppRandom().Init(seed);
    CGameItem_PowerUp part(0);
    part.MakeArmour(0.0f);
    EXPECT_STREQ(part.name, "D级/装甲部件    ");
    EXPECT_STREQ(part.description, "防御能力强化部件      \n\n 光束防御力 + 5  \n 实弹防御力 + 5");
    EXPECT_EQ(part.bonus[4], 0);
}

TEST(PartGenerator, FixedMakersStayInTheirRanges)
{
    AppRandom().Init(5);
    for (int i = 0; i < 300; ++i) {
        CGameItem_PowerUp four(0), five(0);
        four.MakeSpecial4();
        EXPECT_GE(four.bonus[4], 13);
        EXPECT_LE(four.bonus[4], 20);
        EXPECT_EQ(four.grade, 6);
        five.MakeSpecial5();
        for (int k : {5, 6, 7, 8}) {
            EXPECT_GE(five.bonus[k], 20);
            EXPECT_LE(five.bonus[k], 30);
        }
        EXPECT_STREQ(five.name, "S级/引擎部件      ");
    }
}

TEST(PartGenerator, EveryGeneratedTextFitsWhole)
{
    AppRandom().Init(321);
    int fixedSeen = 0;
    for (int i = 0; i < 3000; ++i) {
        CGameItem_PowerUp part(0);
        part.Randomize(f32(i % 60));
        if (part.grade <= 5) {
            for (int k = 0; k < 9; ++k) EXPECT_LE(part.bonus[k], 20);
        }
        fixedSeen += part.grade >= 6;
        EXPECT_EQ(part.bonus[9], 0);
        // Header line plus one line per bonus: nothing was cut off.
        EXPECT_EQ(CountLines(part.description), 1 + NonZeroBonuses(part));
        EXPECT_NE(std::strchr(part.name, '/'), nullptr);
    }
    EXPECT_GT(fixedSeen, 0);
}
