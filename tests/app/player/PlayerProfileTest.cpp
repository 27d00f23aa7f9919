#include "app/player/PlayerProfile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/SaveFolderFixture.h"
#include "app/core/Application.h"
#include "app/core/ByteIo.h"
#include "engine/core/AssetFile.h"
#include "platform/core/TextCodec.h"

namespace {

bool EndsOnWholeCharacter(const char* s)
{
    return plat::Utf8TruncatedLength(s, std::strlen(s)) == std::strlen(s);
}

std::string Image(const PlayerProfile& p, u32 word)
{
    std::string bytes(ProfileFileSize, '\0');
    p.WriteImage(reinterpret_cast<u8*>(bytes.data()), word);
    return bytes;
}

}  // namespace

TEST(Rank, ThresholdsGrowByTwentyThousandMoreEachStep)
{
    EXPECT_EQ(RankThreshold(0), 30000u);
    EXPECT_EQ(RankThreshold(1), 60000u);
    EXPECT_EQ(RankThreshold(2), 110000u);
    EXPECT_EQ(RankThreshold(28), 8430000u);
    EXPECT_EQ(RankThreshold(29), 9020000u);
    EXPECT_EQ(RankThreshold(30), 0xFFFFFFFFu);
    for (u32 k = 2; k < 30; ++k)
        EXPECT_EQ((RankThreshold(k) - RankThreshold(k - 1)) - (RankThreshold(k - 1) - RankThreshold(k - 2)), 20000u);
    EXPECT_EQ(RankForExp(0), 0u);
    EXPECT_EQ(RankForExp(30000), 0u);
    EXPECT_EQ(RankForExp(30001), 1u);
    EXPECT_EQ(RankForExp(9020000), 29u);
    EXPECT_EQ(RankForExp(9020001), 30u);
    EXPECT_EQ(RankForExp(0x7FFFFFFF), 30u);
}

TEST(Rank, TitlesAreUtf8AndTopOutAtMarshal)
{
    char title[RankTitleBufferSize];
    GetRankTitle(0, title, sizeof title);
    EXPECT_STREQ(title, "训练兵");
    GetRankTitle(9, title, sizeof title);
    EXPECT_STREQ(title, "上尉");
    GetRankTitle(17, title, sizeof title);
    EXPECT_STREQ(title, "元帅");
    GetRankTitle(30, title, sizeof title);
    EXPECT_STREQ(title, "元帅");
    GetRankTitle(0xFFFFFFFF, title, sizeof title);
    EXPECT_STREQ(title, "元帅");
}

TEST(Rank, TitleStaysInsideSmallBuffersAndKeepsWholeCharacters)
{
    // "训练兵" is three 3-byte characters.
    const struct {
        size_t size;
        const char* expected;
    } cases[] = {{1, ""}, {3, ""}, {4, "训"}, {6, "训"}, {7, "训练"}, {9, "训练"}, {10, "训练兵"}, {16, "训练兵"}};
    for (const auto& c : cases) {
        char buffer[20];
        std::memset(buffer, '#', sizeof buffer);
        GetRankTitle(0, buffer, c.size);
        EXPECT_STREQ(buffer, c.expected) << "size " << c.size;
        for (size_t i = c.size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "size " << c.size;
    }
    char untouched = '#';
    GetRankTitle(0, &untouched, 0);
    EXPECT_EQ(untouched, '#');
}

TEST(Rank, AddExpSaturatesInsteadOfWrapping)
{
    PlayerProfile p;
    EXPECT_EQ(p.AddExp(30001), 1u);
    EXPECT_EQ(p.AddExp(-100000), 0u);
    EXPECT_EQ(p.exp, 0u);

    p.exp = 0x7FFFFFF0;
    EXPECT_EQ(p.AddExp(0x100), 30u);
    EXPECT_EQ(p.exp, 0x7FFFFFFFu);
    p.AddExp(INT_MAX);
    EXPECT_EQ(p.exp, 0x7FFFFFFFu);
    p.AddExp(INT_MIN);
    EXPECT_EQ(p.exp, 0u);
    EXPECT_EQ(p.rankLevel, 0u);

    // An online battle's experience: the bonus and the own score summed
    // without overflow, never beyond what one battle gives or takes, from
    // a total of 500,000 (a forged score near the 32-bit ends once wiped
    // or maxed the total).
    struct Case {
        u32 start;
        i32 bonus, score;
        u32 after;
    };
    const Case cases[] = {
        {500000, 20000, 2147478648, 500000 + 20000 + MaxBattleScore},
        {500000, -10000, INT_MIN, 0},
        {500000, -10000, INT_MAX, 500000 - 10000 + MaxBattleScore},
        {500000, 20000, INT_MIN, 0},
        {500000, 0, INT_MAX, 500000 + MaxBattleScore},
        {500000, 20000, 1234, 521234},
        {500000, -10000, -5000, 485000},
        {20000000, -10000, INT_MIN, 20000000 - 10000 - MaxBattleScore},
        {0x7FFFFFF0, 20000, INT_MAX, 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        p.exp = c.start;
        p.AddExp(BattleExperience(c.bonus, c.score));
        EXPECT_EQ(p.exp, c.after) << c.bonus << " + " << c.score;
    }
}

TEST(ProfileImage, BodyIsScrambledExceptTheRankWord)
{
    PlayerProfile p;
    std::strcpy(p.name, "Ace");
    p.exp = 0x00112233;
    p.rankLevel = 7;
    const std::string plain = Image(p, 0);
    const u8* b = reinterpret_cast<const u8*>(plain.data());
    EXPECT_EQ(std::memcmp(b, "NPSD", 4), 0);
    EXPECT_EQ(std::memcmp(b + 8, "Ace", 4), 0);
    EXPECT_EQ(GetU32(b + 264), 0x00112233u);
    EXPECT_EQ(GetU32(b + 268), 7u);

    const std::string scrambled = Image(p, 0xA1B2C3D4);
    const u8* s = reinterpret_cast<const u8*>(scrambled.data());
    EXPECT_EQ(GetU32(s + 4), 0xA1B2C3D4u);
    EXPECT_EQ(GetU32(s + 8), GetU32(b + 8) ^ 0xA1B2C3D4u);
    EXPECT_EQ(GetU32(s + 264), 0x00112233u ^ 0xA1B2C3D4u);
    EXPECT_EQ(GetU32(s + 268), 7u);

    PlayerProfile back;
    ASSERT_EQ(back.ReadImage(s, ProfileFileSize), 1);
    EXPECT_STREQ(back.name, "Ace");
    EXPECT_EQ(back.exp, 0x00112233u);
    EXPECT_EQ(back.rankLevel, 7u);
}

TEST(ProfileImage, ShortForeignAndUnterminatedImagesAreHandledSafely)
{
    PlayerProfile p;
    std::strcpy(p.name, "Keep");
    p.exp = 5;
    std::string image = Image(p, 0x1234);

    PlayerProfile target;
    std::strcpy(target.name, "Mine");
    EXPECT_EQ(target.ReadImage(reinterpret_cast<const u8*>(image.data()), ProfileFileSize - 1), 0);
    image[0] = 'X';
    EXPECT_EQ(target.ReadImage(reinterpret_cast<const u8*>(image.data()), ProfileFileSize), 0);
    EXPECT_STREQ(target.name, "Mine");

    // Cut by a byte, with junk after it, or with any one bit of its header
    // flipped, a profile of 987,654 EXP is no profile: its name and EXP
    // would be noise.
    PlayerProfile ace;
    std::strcpy(ace.name, "Ace");
    ace.AddExp(987654);
    const std::string whole = Image(ace, 0x5A5A1234);
    std::vector<std::string> damaged = {whole.substr(0, ProfileFileSize - 1), whole + "junk"};
    for (int bit = 0; bit < 64; ++bit) {
        damaged.push_back(whole);
        damaged.back()[bit / 8] = char(damaged.back()[bit / 8] ^ (1 << (bit % 8)));
    }
    for (const std::string& bytes : damaged) {
        EXPECT_EQ(target.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size())), 0);
        EXPECT_STREQ(target.name, "Mine");
    }

    // A name block full of three-byte characters with no terminator.
    std::string full = Image(p, 0);
    for (int i = 0; i < 256; ++i) full[8 + i] = "\xE3\x81\x82"[i % 3];
    ASSERT_EQ(target.ReadImage(reinterpret_cast<const u8*>(full.data()), ProfileFileSize), 1);
    EXPECT_LT(std::strlen(target.name), 256u);
    EXPECT_TRUE(EndsOnWholeCharacter(target.name));

    // Names whose end splits a character lose exactly the broken tail, once:
    // saving and loading again keeps what the first load gave.
    const struct {
        const char* stored;
        const char* loaded;
    } cuts[] = {
        {"AB\xE3\x81\xE3", "AB"},
        {"A\xE3\x81\x82\xE3\x81", "A\xE3\x81\x82"},
        {"\xF0\x9F\x98", ""},
        {"x\xC3\xA9\xC3", "x\xC3\xA9"},
        {"ok\xF0\x9F\x98\x80", "ok\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cuts) {
        std::string bytes = Image(p, 0);
        std::fill(bytes.begin() + 8, bytes.begin() + 8 + 256, '\0');
        std::memcpy(bytes.data() + 8, c.stored, std::strlen(c.stored));
        PlayerProfile once;
        ASSERT_EQ(once.ReadImage(reinterpret_cast<const u8*>(bytes.data()), ProfileFileSize), 1);
        EXPECT_STREQ(once.name, c.loaded) << c.stored;
        const std::string again = Image(once, 0x55AA);
        PlayerProfile twice;
        ASSERT_EQ(twice.ReadImage(reinterpret_cast<const u8*>(again.data()), ProfileFileSize), 1);
        EXPECT_STREQ(twice.name, once.name) << c.stored;
    }
}

class ProfileFile : public SaveFolderTest {};

TEST_F(ProfileFile, EachSaveDrawsANewScrambleWordAndLoadsBack)
{
    PlayerProfile& p = GetApplication()->Profile();
    p.Clear();
    std::strcpy(p.name, "パイロット");
    p.AddExp(123456);
    ASSERT_EQ(p.Save(), 1);
    const std::string first = ReadSave("パイロット.psd");
    ASSERT_EQ(p.Save(), 1);
    const std::string second = ReadSave("パイロット.psd");
    ASSERT_EQ(first.size(), ProfileFileSize);
    EXPECT_NE(first.substr(4, 264), second.substr(4, 264));
    EXPECT_EQ(first.substr(268), second.substr(268));

    PlayerProfile loaded;
    ASSERT_EQ(loaded.Load("パイロット"), 1);
    EXPECT_STREQ(loaded.name, "パイロット");
    EXPECT_EQ(loaded.exp, 123456u);
    EXPECT_EQ(loaded.rankLevel, RankForExp(123456));
}

TEST_F(ProfileFile, CopyUnderAnotherNameCarriesTheStoredNameAndListsWithoutExtension)
{
    PlayerProfile p;
    std::strcpy(p.name, "Orig");
    WriteSave("Copy.psd", Image(p, 77));
    WriteSave("notes.txt", "x");
    ASSERT_TRUE(plat::CreateDirectory(SavePath("folder.psd").c_str()));

    PlayerProfile loaded;
    ASSERT_EQ(loaded.Load("Copy"), 1);
    EXPECT_STREQ(loaded.name, "Orig");

    std::vector<std::string> names{"stale"};
    ListPlayerProfiles(names);
    EXPECT_EQ(names, std::vector<std::string>{"Copy"});
    EXPECT_EQ(DeletePlayerProfile("Copy"), 1);
    ListPlayerProfiles(names);
    EXPECT_TRUE(names.empty());
}

TEST_F(ProfileFile, NamesThatAreNotPlainFileNamesAreRefused)
{
    PlayerProfile p;
    std::strcpy(p.name, "../escape");
    EXPECT_EQ(p.Save(), 0);
    EXPECT_FALSE(plat::PathExists((temp / "escape.psd").c_str()));
    p.name[0] = '\0';
    EXPECT_EQ(p.Save(), 0);
    EXPECT_EQ(p.Load("a/b"), 0);
    EXPECT_EQ(DeletePlayerProfile("../x"), 0);
}

TEST_F(ProfileFile, FailedSaveKeepsTheOldFile)
{
    PlayerProfile p;
    std::strcpy(p.name, "Safe");
    p.exp = 1000;
    ASSERT_EQ(p.Save(), 1);
    const std::string good = ReadSave("Safe.psd");
    p.exp = 2000;
    {
        FileSizeLimit full(100);
        EXPECT_EQ(p.Save(), 0);
    }
    EXPECT_EQ(ReadSave("Safe.psd"), good);
}

TEST_F(ProfileFile, CorruptAndTruncatedProfilesNeverCrashTheLoader)
{
    PlayerProfile p;
    std::strcpy(p.name, "Fuzz");
    p.exp = 4242;
    const std::string good = Image(p, 0xDEADBEEF);
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = good;
        switch (round % 3) {
        case 0: bytes.resize(rng() % (good.size() + 40)); break;
        case 1:
            for (int i = 0; i < 8; ++i) bytes[rng() % bytes.size()] = char(rng());
            break;
        default: bytes.append(rng() % 64, char(rng())); break;
        }
        PlayerProfile target;
        const int ok = target.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size()));
        if (ok) {
            EXPECT_LT(std::strlen(target.name), 256u);
            EXPECT_LE(target.exp, 0x7FFFFFFFu);
            EXPECT_LE(target.rankLevel, 30u);
            // Whatever loaded saves and loads back the same.
            const std::string again = Image(target, u32(rng()));
            PlayerProfile back;
            ASSERT_EQ(back.ReadImage(reinterpret_cast<const u8*>(again.data()), ProfileFileSize), 1);
            EXPECT_STREQ(back.name, target.name);
        }
        if (round % 25 == 0) { // through the file too
            WriteSave("Fuzz.psd", bytes);
            target.Load("Fuzz");
        }
    }
}
