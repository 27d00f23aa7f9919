#include "engine/core/IniFile.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace {

TEST(IniFile, StringsAndIntegersRoundTrip) {
    TempFolder tmp;
    const std::string file = tmp / "Config.ini";
    WriteIniString(file.c_str(), "Window", "Title", "Quillon");
    WriteIniInt(file.c_str(), "GameSetting", "VolumeBGM", -5);
    WriteIniInt(file.c_str(), "gamesetting", "Shadow", 3);

    char out[IniValueSize];
    EXPECT_EQ(ReadIniString(file.c_str(), "window", "title", out, sizeof(out)), 1);
    EXPECT_STREQ(out, "Quillon");
    EXPECT_EQ(ReadIniInt(file.c_str(), "GameSetting", "VolumeBGM"), -5);
    EXPECT_EQ(ReadIniInt(file.c_str(), "GameSetting", "shadow"), 3);
    EXPECT_NE(tmp.Read("Config.ini").find("VolumeBGM=-5"), std::string::npos);
}

TEST(IniFile, MissingValuesReadAsEmptyAndZero) {
    TempFolder tmp;
    const std::string file = tmp / "server.ini";
    char out[IniValueSize];
    std::memset(out, 'x', sizeof(out));
    EXPECT_EQ(ReadIniString(file.c_str(), "S", "k", out, sizeof(out)), 1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(ReadIniInt(file.c_str(), "S", "k"), 0);
    EXPECT_EQ(ReadIniString(file.c_str(), "S", "k", nullptr, 256), 0);
}

TEST(IniFile, IntegersReadLikeAtoi) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("n.ini", "[N]\na=12abc\nb=abc\nc=99999999999\nd=-99999999999\n"));
    const std::string file = tmp / "n.ini";
    EXPECT_EQ(ReadIniInt(file.c_str(), "N", "a"), 12);
    EXPECT_EQ(ReadIniInt(file.c_str(), "N", "b"), 0);
    EXPECT_EQ(ReadIniInt(file.c_str(), "N", "c"), 2147483647);
    EXPECT_EQ(ReadIniInt(file.c_str(), "N", "d"), -2147483647 - 1);
}

TEST(IniFile, SmallBufferIsNeverOverrun) {
    TempFolder tmp;
    const std::string file = tmp / "a.ini";
    WriteIniString(file.c_str(), "S", "name", "abcdefghijklmnop");
    char buf[16];
    std::memset(buf, '#', sizeof(buf));
    ASSERT_EQ(ReadIniString(file.c_str(), "S", "name", buf, 8), 1);
    EXPECT_STREQ(buf, "abcdefg");
    for (int i = 8; i < 16; ++i) EXPECT_EQ(buf[i], '#') << i;
}

}  // namespace
