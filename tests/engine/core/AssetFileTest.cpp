#include "engine/core/AssetFile.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace {

constexpr u32 kKey = 0x11223344u;  // little-endian bytes 44 33 22 11

std::vector<u8> Pattern(u32 n) {
    std::vector<u8> v(n);
    for (u32 i = 0; i < n; ++i) v[i] = u8(0xA0 + i);
    return v;
}

// The bytes XorWords should give: scrambled words first, plain tail.
std::vector<u8> Expected(u32 n, u32 scrambledWords) {
    std::vector<u8> v = Pattern(n);
    const u8 k[4] = {0x44, 0x33, 0x22, 0x11};
    for (u32 i = 0; i < scrambledWords * 4; ++i) v[i] ^= k[i % 4];
    return v;
}

TEST(XorWords, ScramblesEveryWordButTheTail) {
    struct Case {
        u32 size;
        u32 words;
    } cases[] = {{3, 0}, {4, 0}, {5, 1}, {10, 2}, {12, 2}, {13, 3}};
    for (const Case& c : cases) {
        std::vector<u8> data = Pattern(c.size);
        XorWords(data.data(), c.size, kKey);
        EXPECT_EQ(data, Expected(c.size, c.words)) << "size " << c.size;
    }
}

TEST(XorWords, TwiceRestoresTheBytes) {
    for (u32 n = 0; n < 40; ++n) {
        std::vector<u8> data = Pattern(n);
        XorWords(data.data(), n, AssetKey);
        if (n > 4) {
            EXPECT_NE(data, Pattern(n)) << n;
        }
        XorWords(data.data(), n, AssetKey);
        EXPECT_EQ(data, Pattern(n)) << n;
    }
    XorWords(nullptr, 100, kKey);  // nothing to do, no crash
    EXPECT_NE(AssetKey, 0u);
    EXPECT_NE(MeshKey, 0u);
    EXPECT_NE(AssetKey, MeshKey);
}

TEST(FileBuffer, LoadsWholeFilesAndUnscramblesThem) {
    TempFolder tmp;
    std::vector<u8> plain = Pattern(10);
    std::vector<u8> stored = plain;
    XorWords(stored.data(), 10, AssetKey);
    ASSERT_TRUE(tmp.Write("Tex.png", std::string(stored.begin(), stored.end())));

    FileBuffer buf;
    ASSERT_EQ(buf.Load((tmp / "tex.PNG").c_str()), 1);
    ASSERT_EQ(buf.size, 10u);
    EXPECT_EQ(buf.cursor, buf.data);
    buf.XorWords(AssetKey);
    EXPECT_EQ(std::vector<u8>(buf.data, buf.data + buf.size), plain);
}

TEST(FileBuffer, EmptyFileLoadsAsNothingAndMissingFileFails) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("empty", ""));
    ASSERT_TRUE(tmp.Write("full", "12345678"));
    FileBuffer buf;
    ASSERT_EQ(buf.Load((tmp / "full").c_str()), 1);
    EXPECT_EQ(buf.size, 8u);

    EXPECT_EQ(buf.Load((tmp / "empty").c_str()), 1);
    EXPECT_EQ(buf.data, nullptr);
    EXPECT_EQ(buf.size, 0u);

    ASSERT_EQ(buf.Load((tmp / "full").c_str()), 1);
    // A failed load leaves nothing of the previous file behind.
    EXPECT_EQ(buf.Load((tmp / "missing").c_str()), 0);
    EXPECT_EQ(buf.data, nullptr);
    EXPECT_EQ(buf.cursor, nullptr);
    EXPECT_EQ(buf.size, 0u);
    buf.XorWords(AssetKey);  // harmless on an empty buffer
}

TEST(FileBuffer, ShortReadIsAFailure) {
    // Kernel attribute files claim a page of size but deliver a few bytes.
    const char* path = "/sys/kernel/mm/transparent_hugepage/enabled";
    FileHandle probe;
    if (!probe.OpenRead(path) || probe.Size() == 0) GTEST_SKIP() << "no short-read file here";
    probe.Close();
    FileBuffer buf;
    EXPECT_EQ(buf.Load(path), 0);
    EXPECT_EQ(buf.data, nullptr);
    EXPECT_EQ(buf.size, 0u);
}

TEST(FileHandle, WritesReadsAndReportsCounts) {
    TempFolder tmp;
    const std::string path = tmp / "Save.dat";
    FileHandle out;
    ASSERT_EQ(out.OpenWrite(path.c_str()), 1);
    EXPECT_EQ(out.Write("NPSD", 4), 4u);
    EXPECT_EQ(out.Write("abc", 3), 3u);

    // Held for writing without sharing: a reader is refused until it closes.
    FileHandle in;
    EXPECT_EQ(in.OpenRead(path.c_str()), 0);
    out.Close();
    ASSERT_EQ(in.OpenRead(path.c_str()), 1);
    EXPECT_EQ(in.Size(), 7u);
    char buf[16] = {};
    EXPECT_EQ(in.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "NPSD");
    EXPECT_EQ(in.Read(buf, 16), 3u);
    EXPECT_EQ(in.Read(buf, 16), 0u);
    in.Close();

    EXPECT_EQ(in.Read(buf, 4), FileIoError);
    EXPECT_EQ(in.Write(buf, 4), FileIoError);
    EXPECT_EQ(in.OpenRead((tmp / "none").c_str()), 0);
    EXPECT_FALSE(in.IsOpen());
}

}  // namespace
