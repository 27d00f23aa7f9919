#include "platform/core/Ini.h"

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace {

std::string Get(const std::string& file, const char* section, const char* key,
                const char* def = "", u32 size = 256) {
    char out[512];
    plat::GetProfileString(section, key, def, out, size, file.c_str());
    return out;
}

TEST(Ini, WrittenValuesReadBackWhateverTheCaseOfNames) {
    TempFolder tmp;
    const std::string file = tmp / "Config.ini";
    ASSERT_TRUE(plat::WriteProfileString("Window", "w", "1024", file.c_str()));
    ASSERT_TRUE(plat::WriteProfileString("GameSetting", "JOY_ジャンプ", "3", file.c_str()));
    ASSERT_TRUE(plat::WriteProfileString("WINDOW", "H", "768", file.c_str()));
    ASSERT_TRUE(plat::WriteProfileString("window", "W", "800", file.c_str()));

    EXPECT_EQ(Get(file, "window", "W"), "800");
    EXPECT_EQ(Get(file, "Window", "h"), "768");
    EXPECT_EQ(Get(file, "gamesetting", "joy_ジャンプ"), "3");
    EXPECT_EQ(tmp.Read("Config.ini"), "[Window]\nw=800\nH=768\n[GameSetting]\nJOY_ジャンプ=3\n");
}

TEST(Ini, MissingFileSectionOrKeyGivesTheDefault) {
    TempFolder tmp;
    const std::string file = tmp / "a.ini";
    EXPECT_EQ(Get(file, "S", "k", "fallback"), "fallback");
    EXPECT_EQ(plat::GetProfileInt("S", "k", 42, file.c_str()), 42);
    ASSERT_TRUE(tmp.Write("a.ini", "[S]\nother=1\n[T]\nk=2\n"));
    EXPECT_EQ(Get(file, "S", "k", "fallback"), "fallback");
    EXPECT_EQ(Get(file, "U", "k", nullptr), "");
    EXPECT_EQ(Get(file, "T", "k"), "2");
}

TEST(Ini, ReadingTrimsBlanksQuotesAndSkipsComments) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("a.ini",
                          "\xEF\xBB\xBF[ Server ]\r\n"
                          ";name=commented\r\n"
                          "  name = \"  spaced  \"  \r\n"
                          "host=  example  \r\n"
                          "host=second\r\n"
                          "[Server]\r\nlate=1\r\n"));
    const std::string file = tmp / "a.ini";
    EXPECT_EQ(Get(file, "server", "name"), "  spaced  ");
    EXPECT_EQ(Get(file, "server", "host"), "example");  // first entry wins
    EXPECT_EQ(Get(file, "server", ";name", "none"), "none");
    EXPECT_EQ(Get(file, "server", "late", "none"), "none");  // only the first section counts
}

TEST(Ini, ReadingCutsLongValuesWithoutSplittingACharacter) {
    TempFolder tmp;
    const std::string value = std::string(254, 'a') + "あい";
    const std::string file = tmp / "a.ini";
    ASSERT_TRUE(plat::WriteProfileString("S", "k", value.c_str(), file.c_str()));
    char out[256];
    std::memset(out, 'x', sizeof(out));
    EXPECT_EQ(plat::GetProfileString("S", "k", "", out, sizeof(out), file.c_str()), 254u);
    EXPECT_EQ(std::string(out), std::string(254, 'a'));

    EXPECT_EQ(Get(file, "S", "k", "", 257), std::string(254, 'a'));
    EXPECT_EQ(Get(file, "S", "k", "", 258), std::string(254, 'a') + "あ");
    EXPECT_EQ(Get(file, "S", "k", "", 1), "");
    EXPECT_EQ(Get(file, "S", "missing", "日本", 4), "日");
}

TEST(Ini, IntegersReadTheLeadingNumberElseTheDefault) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("n.ini", "[N]\na=12abc\nb=-5\nc=abc\nd=\ne=  7\nf=0x1F\ng=+3\nh=-\n"));
    const std::string file = tmp / "n.ini";
    auto get = [&](const char* key) { return plat::GetProfileInt("N", key, 99, file.c_str()); };
    EXPECT_EQ(get("a"), 12);
    EXPECT_EQ(get("b"), -5);
    EXPECT_EQ(get("c"), 99);
    EXPECT_EQ(get("d"), 99);
    EXPECT_EQ(get("e"), 7);
    EXPECT_EQ(get("f"), 31);
    EXPECT_EQ(get("g"), 3);
    EXPECT_EQ(get("h"), 99);
    EXPECT_EQ(get("zz"), 99);
}

TEST(Ini, WritingKeepsEverythingElseAsItWas) {
    TempFolder tmp;
    const std::string written =
        "; settings\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny = 2\r\n\r\n; tail comment\r\n";
    ASSERT_TRUE(tmp.Write("k.ini", written));
    const std::string file = tmp / "k.ini";

    ASSERT_TRUE(plat::WriteProfileString("b", "Y", "20", file.c_str()));
    ASSERT_TRUE(plat::WriteProfileString("A", "z", "3", file.c_str()));
    ASSERT_TRUE(plat::WriteProfileString("C", "w", "4", file.c_str()));
    EXPECT_EQ(tmp.Read("k.ini"),
              "; settings\r\n[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=20\r\n\r\n; tail comment\r\n"
              "[C]\r\nw=4\r\n");
}

TEST(Ini, UntrustedTextCannotAddLinesOrBreakNames) {
    TempFolder tmp;
    const std::string file = tmp / "u.ini";
    ASSERT_TRUE(plat::WriteProfileString("S", "name", "evil\n[Other]\nk=1", file.c_str()));
    EXPECT_EQ(Get(file, "Other", "k", "none"), "none");
    EXPECT_EQ(Get(file, "S", "name"), "evil [Other] k=1");

    EXPECT_FALSE(plat::WriteProfileString("S", "a=b", "1", file.c_str()));
    EXPECT_FALSE(plat::WriteProfileString("S]", "a", "1", file.c_str()));
    EXPECT_FALSE(plat::WriteProfileString("S", "", "1", file.c_str()));
    EXPECT_FALSE(plat::WriteProfileString("S", nullptr, "1", file.c_str()));
    // A folder where the file should be cannot be written over.
    EXPECT_FALSE(plat::WriteProfileString("S", "a", "1", tmp.Path().c_str()));
}

// Mutated settings files: the file parsed once gives, key for key, what a
// single-key read of the same file gives, cut values and numbers included;
// values written at once leave what single writes leave.
TEST(Ini, ParsedOnceReadsAndWritesAtOnceDoWhatSingleOnesDoOnMutatedFiles) {
    TempFolder tmp;
    const std::string file = tmp / "f.ini";
    const std::string seed =
        "\xEF\xBB\xBF; top\r\nstray=0\r\n[Window]\r\nw=800\r\nH = 0x1F \r\nw=2\r\n[ GameSetting ]\n"
        "KEY_\xE5\xB7\xA6=\"37\"\nname='a b'\n=empty\n;k=3\n[window]\nw=9\n[]\nx=-12abc\nnoentry\n  [Tail\nk=  +5";
    const char* const names[] = {"Window", "window", "WINDOW", " Window", "GameSetting", "gamesetting", "", "Tail",
                                 "w", "W", "h", "H", "KEY_\xE5\xB7\xA6", "key_\xE5\xB7\xA6", "name", "x", "k",
                                 "stray", "missing"};
    const std::string alphabet = "[]=;\"' \t\r\nwWhHkx01-+\xE3\x81\x82";
    std::mt19937 rng(62);
    const auto pick = [&] { return names[rng() % (sizeof names / sizeof names[0])]; };
    for (int round = 0; round < 1500; ++round) {
        std::string text = seed;
        for (int edits = 1 + int(rng() % 6); edits > 0; --edits) {
            const size_t at = rng() % (text.size() + 1);
            const char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
                case 0: text.insert(at, 1, c); break;
                case 1: if (at < text.size()) text[at] = c; break;
                default: text.erase(at, 1 + rng() % 8); break;
            }
        }
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        const plat::ParsedIni ini(file.c_str());
        for (int q = 0; q < 20; ++q) {
            const char* section = pick();
            const char* key = pick();
            const u32 size = rng() % 2 ? 256 : 1 + rng() % 6;
            char once[256], single[256];
            std::memset(once, 'x', sizeof once);
            std::memset(single, 'y', sizeof single);
            const u32 a = ini.GetString(section, key, "def", once, size);
            const u32 b = plat::GetProfileString(section, key, "def", single, size, file.c_str());
            ASSERT_EQ(a, b) << text;
            ASSERT_STREQ(once, single) << "[" << section << "] " << key << " in\n" << text;
            ASSERT_EQ(ini.GetInt(section, key, 99), plat::GetProfileInt(section, key, 99, file.c_str())) << text;
        }
        // Many values written in one pass leave the text that writing them
        // one by one leaves; a name one write refuses refuses them all.
        if (round % 10 != 0) continue;  // a write waits for the disk
        std::vector<plat::IniValue> values;
        for (int n = 1 + int(rng() % 5); n > 0; --n)
            values.push_back({pick(), pick(), std::string(1, alphabet[rng() % alphabet.size()]) + "v"});
        const std::string single = tmp / "single.ini";
        std::ofstream(single, std::ios::binary | std::ios::trunc) << text;
        bool allWritten = true;
        for (const plat::IniValue& v : values)
            allWritten = plat::WriteProfileString(v.section.c_str(), v.key.c_str(), v.value.c_str(), single.c_str()) &&
                         allWritten;
        ASSERT_EQ(plat::WriteProfileStrings(values, file.c_str()), allWritten) << text;
        std::string once, oneByOne;
        plat::ReadWholeFile(file.c_str(), once);
        plat::ReadWholeFile(single.c_str(), oneByOne);
        ASSERT_EQ(once, allWritten ? oneByOne : text) << text;
    }
    const plat::ParsedIni missing((tmp / "none.ini").c_str());
    char out[8];
    EXPECT_EQ(missing.GetString("Window", "w", "d", out, sizeof out), 1u);
    EXPECT_EQ(missing.GetInt("Window", "w", 7), 7);
}

}  // namespace
