#include <gtest/gtest.h>

#include <string>

#include "engine/core/FixedArray.h"

namespace {
int g_alive = 0;
struct Tracked {
    Tracked() { ++g_alive; }
    ~Tracked() { --g_alive; }
    int index = -1;
};
} // namespace

TEST(FixedArray, CreateRefusesNonPositiveCountsAndKeepsExistingData)
{
    CFixedArray<u32> a;
    a.Create(0);
    EXPECT_FALSE(a.IsCreated());
    EXPECT_EQ(a.GetCount(), 0);
    a.Create(-1);
    EXPECT_FALSE(a.IsCreated());
    EXPECT_EQ(a.GetCount(), 0);

    a.Create(3);
    ASSERT_TRUE(a.IsCreated());
    u32* before = a.Data();
    a.Create(5);
    EXPECT_EQ(a.Data(), before);
    EXPECT_EQ(a.GetCount(), 3);
}

TEST(FixedArray, ReleaseDestroysElementsAndEmptiesTheHolder)
{
    g_alive = 0;
    {
        CFixedArray<Tracked> a;
        a.Release(); // harmless when empty
        EXPECT_EQ(a.GetCount(), 0);
        a.Create(4);
        EXPECT_EQ(g_alive, 4);
        EXPECT_EQ(a[3].index, -1);
        a.Release();
        EXPECT_EQ(g_alive, 0);
        EXPECT_EQ(a.GetCount(), 0);
        EXPECT_EQ(a.Data(), nullptr);
        a.Create(2); // usable again after Release
        EXPECT_EQ(g_alive, 2);
    }
    EXPECT_EQ(g_alive, 0);

    CFixedArray<std::string> names;
    names.Create(2);
    names[0] = "a long enough name to live on the heap";
    EXPECT_TRUE(names[1].empty());
}

TEST(FixedArray, FillWorksByteWise)
{
    CFixedArray<u16> words;
    words.Create(6);
    words.Fill(1);
    for (u16 w : words) EXPECT_EQ(w, 0x0101);
    words.Fill(u16{0x12AB});
    for (u16 w : words) EXPECT_EQ(w, 0xABAB);

    CFixedArray<u8> bytes;
    bytes.Fill(7); // nothing to fill yet
    bytes.Create(3);
    bytes.Fill(u8{0xFF});
    for (u8 b : bytes) EXPECT_EQ(b, 0xFF);
}
