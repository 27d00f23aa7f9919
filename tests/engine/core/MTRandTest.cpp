#include <gtest/gtest.h>

#include <vector>

#include "engine/core/MTRand.h"

namespace {
std::vector<u32> Draw(cMTRand& r, int n)
{
    std::vector<u32> out;
    for (int i = 0; i < n; ++i) out.push_back(r.GetRand());
    return out;
}
} // namespace

TEST(MTRand, StartValueOneGivesTheKnownSequenceAcrossTheFirstTwist)
{
    cMTRand r;
    r.Init(1, 624);
    const std::vector<u32> seq = Draw(r, 624);
    EXPECT_EQ(seq[0], 104377487u);
    EXPECT_EQ(seq[1], 1661330385u);
    EXPECT_EQ(seq[2], 2501388690u);
    EXPECT_EQ(seq[623], 275330196u);
}

TEST(MTRand, SizeZeroMeansTheStandardSize)
{
    cMTRand a, b;
    a.Init(77, 0);
    b.Init(77, 624);
    EXPECT_EQ(a.GetSize(), 624u);
    EXPECT_EQ(a.GetSecond(), 331u);
    EXPECT_EQ(Draw(a, 1400), Draw(b, 1400));
}

TEST(MTRand, SameStartValueGivesSameSequenceAndReinitRestartsIt)
{
    cMTRand a, b;
    a.Init(123456, 624);
    b.Init(123456, 624);
    const std::vector<u32> first = Draw(a, 1300);
    EXPECT_EQ(first, Draw(b, 1300));
    a.Init(123456, 624);
    EXPECT_EQ(Draw(a, 1300), first);

    cMTRand c;
    c.Init(123457, 624);
    EXPECT_NE(Draw(c, 4), std::vector<u32>(first.begin(), first.begin() + 4));
}

TEST(MTRand, DrawingBeforeInitSeedsFromTheDefaultArrayOnce)
{
    cMTRand lazy;
    const std::vector<u32> got = Draw(lazy, 700);

    cMTRand explicitInit;
    explicitInit.InitByArray(624, nullptr, 4);
    EXPECT_EQ(Draw(explicitInit, 700), got);

    const u32 defaults[4] = {0x45678168u, 0x78920ABCu, 0xAB456DE5u, 0xC102854Au};
    cMTRand fromWords;
    fromWords.InitByArray(624, defaults, 4);
    EXPECT_EQ(Draw(fromWords, 700), got);

    // The array rule sets the first word to the top bit, and the first draw
    // returns the second word untwisted, so it differs from plain Init.
    cMTRand plain;
    plain.Init(0x45EB69ABu, 624);
    EXPECT_NE(Draw(plain, 3), std::vector<u32>(got.begin(), got.begin() + 3));
}

TEST(MTRand, GrowingTheSizeOnReinitStaysInsideTheState)
{
    cMTRand grown;
    grown.Init(9, 100);
    Draw(grown, 150);
    grown.Init(9, 624);
    cMTRand fresh;
    fresh.Init(9, 624);
    EXPECT_EQ(Draw(grown, 1300), Draw(fresh, 1300));
}

TEST(MTRand, TinySizesFallBackToTheStandardSize)
{
    cMTRand one, standard;
    one.Init(3, 1);
    standard.Init(3, 624);
    EXPECT_EQ(Draw(one, 700), Draw(standard, 700));
    cMTRand arr;
    arr.InitByArray(1, nullptr, 0);
    EXPECT_EQ(arr.GetSize(), 624u);
}

// Draws several twists deep, for state sizes whose second index wraps at
// different points, against values the generator has always given: a battle
// replayed on another build must draw the same numbers.
TEST(MTRand, SequencesStayTheSameSeveralTwistsDeepForEverySize)
{
    struct Case {
        u32 start, size, draw700, draw1499, draw2499;
    };
    const Case cases[] = {
        {1, 624, 3302480743u, 2111062615u, 1942698860u},  {5, 2, 3747953938u, 3806789070u, 708330331u},
        {7, 3, 2216514698u, 2359525153u, 1687318042u},    {11, 17, 1841903794u, 194887187u, 3245943988u},
        {13, 100, 1014546324u, 1094476578u, 3448856337u}, {21, 1000, 1002323391u, 1282323214u, 4230233112u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        cMTRand r;
        r.Init(c.start, c.size);
        const std::vector<u32> seq = Draw(r, 2500);
        EXPECT_EQ(seq[700], c.draw700);
        EXPECT_EQ(seq[1499], c.draw1499);
        EXPECT_EQ(seq[2499], c.draw2499);
    }
}

// The twist written the plain way, word by word with wrapping indices: the
// generator's own twist must give the same words however it is arranged.
class PlainTwister {
public:
    PlainTwister(u32 start, u32 size) : w(size), m(size / 2 + size / 32)
    {
        w[0] = start;
        for (u32 i = 1; i < size; ++i) w[i] = 6364136223846793005ull * (w[i - 1] ^ (w[i - 1] >> 62)) + i;
    }
    u32 Next()
    {
        const u32 n = static_cast<u32>(w.size());
        if (++pos >= n) {
            pos = 0;
            for (u32 i = 0; i < n; ++i) {
                const u64 x = (w[i] & 0xFFFFFFFF80000000ull) | (w[(i + 1) % n] & 0x7FFFFFFFull);
                u64 y = w[(i + m) % n] ^ (x >> 1);
                if (x & 1) y ^= 0xB5026F5AA96619E9ull;
                w[i] = y;
            }
        }
        u32 y = static_cast<u32>(w[pos]);
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }

private:
    std::vector<u64> w;
    u32 m;
    u32 pos = 0;
};

TEST(MTRand, MillionsOfDrawsMatchThePlainTwist)
{
    const u32 sizes[] = {624, 2, 3, 17, 32, 33, 100, 1000};
    for (u32 size : sizes) {
        SCOPED_TRACE(size);
        cMTRand r;
        r.Init(size * 7919u + 1, size);
        PlainTwister plain(size * 7919u + 1, size);
        u32 mismatches = 0;
        for (u32 i = 0; i < 1000000; ++i) mismatches += r.GetRand() != plain.Next();
        EXPECT_EQ(mismatches, 0u);
    }
}
