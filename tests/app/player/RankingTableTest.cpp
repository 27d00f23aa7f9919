#include "app/player/RankingTable.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/SaveFolderFixture.h"
#include "app/core/ByteIo.h"

namespace {

RankingTable DefaultTable(const char* file = "score_ac_e.dat")
{
    RankingTable table;
    table.SetDefaults();
    table.SetFileName(file);
    return table;
}

const u8 kName[3] = {1, 2, 3};

}  // namespace

TEST(RankingTable, DefaultsDescendFrom30000To3000)
{
    RankingTable table = DefaultTable();
    for (u32 i = 0; i < 10; ++i) {
        EXPECT_EQ(table.entries[i].score, i32((10 - i) * 3000));
        EXPECT_EQ(table.entries[i].name[0], 0);
        EXPECT_EQ(table.entries[i].count, 0u);
    }
}

TEST(RankingTable, InsertPlacesBelowEqualScoresAndDropsTheTenth)
{
    RankingTable table = DefaultTable();
    EXPECT_EQ(table.Insert(kName, 30001, 7, 4), 0);
    EXPECT_EQ(table.entries[0].score, 30001);
    EXPECT_EQ(table.entries[0].count, 7u);
    EXPECT_EQ(table.entries[0].robotType, 4u);
    EXPECT_EQ(table.entries[9].score, 6000); // 3000 fell out

    table = DefaultTable();
    EXPECT_EQ(table.Insert(kName, 30000, 0, 0), 1);
    table = DefaultTable();
    EXPECT_EQ(table.Insert(kName, 18000, 0, 0), 5); // equal to the fifth: sixth place
    EXPECT_EQ(table.entries[4].score, 18000);
    EXPECT_EQ(table.entries[5].name[2], 3);
    EXPECT_EQ(table.entries[6].score, 15000);
    for (u32 i = 1; i < 10; ++i) EXPECT_GE(table.entries[i - 1].score, table.entries[i].score);
}

TEST(RankingTable, ScoresThatDoNotReachTheTableChangeNothing)
{
    for (i32 score : {3000, 2999, 0, -5, INT32_MIN}) {
        RankingTable table = DefaultTable();
        u8 before[RankingFileSize], after[RankingFileSize];
        table.WriteImage(before);
        EXPECT_EQ(table.Insert(kName, score, 1, 1), 10) << score;
        table.WriteImage(after);
        EXPECT_EQ(std::memcmp(before, after, RankingFileSize), 0) << score;
    }
    RankingTable equal = DefaultTable();
    for (RankingEntry& e : equal.entries) e.score = 500;
    EXPECT_EQ(equal.Insert(kName, 500, 0, 0), 10);
}

TEST(RankingTable, InsertLeavesEachSpareByteInPlace)
{
    RankingTable table = DefaultTable();
    for (u32 i = 0; i < 10; ++i) table.entries[i].spare = u8(0xA0 + i);
    table.Insert(kName, 29000, 0, 0);
    for (u32 i = 0; i < 10; ++i) EXPECT_EQ(table.entries[i].spare, 0xA0 + i);
}

class RankingFile : public SaveFolderTest {};

TEST_F(RankingFile, SavedTableIsExactly160LittleEndianBytesAndReadsBack)
{
    RankingTable table = DefaultTable("score_sv.dat");
    table.Insert(kName, 0x01020304, 0x7B0C, 21);
    table.entries[3].spare = 0x5C;
    ASSERT_EQ(table.Save(), 1);
    const std::string bytes = ReadSave("score_sv.dat");
    ASSERT_EQ(bytes.size(), 160u);
    const u8* p = reinterpret_cast<const u8*>(bytes.data());
    EXPECT_EQ(std::memcmp(p, kName, 3), 0);
    EXPECT_EQ(GetU32(p + 4), 0x01020304u);
    EXPECT_EQ(GetU32(p + 8), 0x7B0Cu);
    EXPECT_EQ(GetU32(p + 12), 21u);
    EXPECT_EQ(p[16 * 3 + 3], 0x5C);
    EXPECT_EQ(GetU32(p + 16 * 9 + 4), 6000u);

    RankingTable loaded = DefaultTable("score_sv.dat");
    ASSERT_EQ(loaded.Load(), 1);
    u8 a[RankingFileSize], b[RankingFileSize];
    table.WriteImage(a);
    loaded.WriteImage(b);
    EXPECT_EQ(std::memcmp(a, b, RankingFileSize), 0);
}

// A score file is its 160 bytes: an empty, short or long one is set aside
// as any damaged file is, and the table stays as it was.
TEST_F(RankingFile, MissingFilesLeaveTheTableAndFilesOfOtherSizesAreSetAside)
{
    RankingTable table = DefaultTable("score_ac_h.dat");
    EXPECT_EQ(table.Load(), 0);
    EXPECT_EQ(table.entries[0].score, 30000);

    std::string shortFile(20, '\0');
    PutU32(reinterpret_cast<u8*>(shortFile.data()) + 4, 99);
    const std::string sizes[] = {"", shortFile, std::string(161, '\0'), std::string(400, '\x01')};
    for (const std::string& bytes : sizes) {
        ASSERT_TRUE(WriteSave("score_ac_h.dat", bytes));
        EXPECT_EQ(table.Load(), -1) << bytes.size();
        EXPECT_EQ(table.entries[0].score, 30000) << bytes.size();
        EXPECT_EQ(table.entries[9].score, 3000) << bytes.size();
    }
    EXPECT_EQ(ReadSave("score_ac_h.dat.bad"), "");
    EXPECT_EQ(ReadSave("score_ac_h.dat.bad.1"), shortFile);
    EXPECT_EQ(ReadSave("score_ac_h.dat.bad.3"), sizes[3]);
}

TEST_F(RankingFile, FailedSaveKeepsTheOldFile)
{
    RankingTable table = DefaultTable("score_ac_n.dat");
    ASSERT_EQ(table.Save(), 1);
    const std::string good = ReadSave("score_ac_n.dat");
    table.Insert(kName, 50000, 0, 0);
    {
        FileSizeLimit full(40);
        EXPECT_EQ(table.Save(), 0);
    }
    EXPECT_EQ(ReadSave("score_ac_n.dat"), good);
}

// Damaged score files as they come: random bytes, bytes of a good table
// with some changed, and good entries out of order. What loads is always a
// table in descending order of entries play can make, which a good score
// can enter; a good table loads byte for byte; anything else is refused
// whole, the table unchanged, and through the file set aside with its bytes.
TEST_F(RankingFile, DamagedTablesAreRefusedWholeOrLoadInOrder)
{
    std::mt19937 rng(62);
    RankingTable good = DefaultTable("score_ac_n.dat");
    for (u32 i = 0; i < 6; ++i) {
        const u8 name[3] = {u8(rng() % 32), u8(rng() % 32), u8(rng() % 32)};
        good.Insert(name, i32(rng() % 200000) - 50000, rng() % 300, rng() % RankingRobotTypeCount);
    }
    for (u32 i = 0; i < 10; ++i) good.entries[i].spare = u8(rng());
    u8 goodImage[RankingFileSize];
    good.WriteImage(goodImage);

    int refused = 0, loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(reinterpret_cast<const char*>(goodImage), RankingFileSize);
        u8* b = reinterpret_cast<u8*>(bytes.data());
        switch (round % 4) {
        case 0: // the reported damage: random bytes
            for (char& c : bytes) c = char(rng());
            break;
        case 1: // a few bytes anywhere
            for (int i = 0; i < 1 + int(rng() % 3); ++i) b[rng() % RankingFileSize] = u8(rng());
            break;
        case 2: { // one field of one entry at a value near a limit
            u8* e = b + (rng() % 10) * RankingEntrySize;
            const u32 values[] = {0x7FFFFFFF, 0x80000000, u32(MaxRankingScore), u32(MaxRankingScore) + 1,
                                  u32(MinRankingScore), u32(MinRankingScore) - 1, MaxRankingCount,
                                  MaxRankingCount + 1, RankingRobotTypeCount - 1, RankingRobotTypeCount, 31, 32};
            const u32 v = values[rng() % std::size(values)];
            if (rng() % 4 == 0) e[rng() % 3] = u8(v);
            else PutU32(e + 4 + 4 * (rng() % 3), v);
            break;
        }
        default: // good entries shuffled
            for (u32 i = 9; i > 0; --i) {
                const u32 j = rng() % (i + 1);
                for (u32 k = 0; k < RankingEntrySize; ++k)
                    if (k != 3) std::swap(b[i * RankingEntrySize + k], b[j * RankingEntrySize + k]);
            }
            break;
        }
        RankingTable table = DefaultTable("score_ac_n.dat");
        u8 before[RankingFileSize], after[RankingFileSize];
        table.WriteImage(before);
        const int ok = table.ReadImage(b, RankingFileSize);
        table.WriteImage(after);
        if (!ok) {
            ++refused;
            ASSERT_EQ(std::memcmp(before, after, RankingFileSize), 0) << round;
            ASSERT_NE(round % 4, 3) << "good entries in any order load";
        } else {
            ++loaded;
            std::vector<std::string> in, out;
            for (u32 i = 0; i < 10; ++i) {
                const RankingEntry& e = table.entries[i];
                for (u8 c : e.name) ASSERT_LT(c, RankingGlyphCount) << round;
                ASSERT_GE(e.score, MinRankingScore) << round;
                ASSERT_LE(e.score, MaxRankingScore) << round;
                ASSERT_LE(e.count, MaxRankingCount) << round;
                ASSERT_LT(e.robotType, RankingRobotTypeCount) << round;
                if (i > 0) {
                    ASSERT_GE(table.entries[i - 1].score, e.score) << round;
                }
                ASSERT_EQ(after[i * RankingEntrySize + 3], b[i * RankingEntrySize + 3]) << "spares stay in place";
                in.push_back(bytes.substr(i * RankingEntrySize, 3) + bytes.substr(i * RankingEntrySize + 4, 12));
                out.push_back(std::string(reinterpret_cast<char*>(after) + i * RankingEntrySize, 3) +
                              std::string(reinterpret_cast<char*>(after) + i * RankingEntrySize + 4, 12));
            }
            std::sort(in.begin(), in.end());
            std::sort(out.begin(), out.end());
            ASSERT_EQ(in, out) << "the same entries, only reordered";
            if (round % 4 != 1 || std::memcmp(b, goodImage, RankingFileSize) == 0) {
                // A sorted table comes back as it was.
                RankingTable again = DefaultTable();
                ASSERT_EQ(again.ReadImage(after, RankingFileSize), 1);
                u8 twice[RankingFileSize];
                again.WriteImage(twice);
                ASSERT_EQ(std::memcmp(after, twice, RankingFileSize), 0) << round;
            }
            // Nothing sits out of reach: the best score play can make ranks
            // first, below only its equals.
            const i32 equals = i32(std::count_if(table.entries, table.entries + 10,
                                                 [](const RankingEntry& e) { return e.score == MaxRankingScore; }));
            ASSERT_EQ(table.Insert(kName, MaxRankingScore, 1, 1), equals) << round;
        }
        if (round % 50 == 0) { // through the file too
            ASSERT_TRUE(WriteSave("score_ac_n.dat", bytes));
            testing::internal::CaptureStderr();
            RankingTable fromFile = DefaultTable("score_ac_n.dat");
            const int result = fromFile.Load();
            const std::string told = testing::internal::GetCapturedStderr();
            ASSERT_EQ(result, ok ? 1 : -1) << round;
            if (!ok) {
                ASSERT_NE(told.find("score_ac_n.dat.bad"), std::string::npos) << told;
                ASSERT_EQ(ReadSave("score_ac_n.dat.bad"), bytes) << round;
                ASSERT_TRUE(plat::DeleteFile(SavePath("score_ac_n.dat.bad").c_str()));
            }
        }
    }
    // The good table itself, byte for byte.
    RankingTable table = DefaultTable();
    ASSERT_EQ(table.ReadImage(goodImage, RankingFileSize), 1);
    u8 back[RankingFileSize];
    table.WriteImage(back);
    EXPECT_EQ(std::memcmp(back, goodImage, RankingFileSize), 0);
    EXPECT_GT(refused, 1000);
    EXPECT_GT(loaded, 700);
}
