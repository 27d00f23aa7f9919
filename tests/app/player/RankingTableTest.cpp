#include "app/player/RankingTable.h"

#include <cstring>
#include <string>

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
    table.Insert(kName, 0x01020304, 0x0A0B0C0D, 21);
    table.entries[3].spare = 0x5C;
    ASSERT_EQ(table.Save(), 1);
    const std::string bytes = ReadSave("score_sv.dat");
    ASSERT_EQ(bytes.size(), 160u);
    const u8* p = reinterpret_cast<const u8*>(bytes.data());
    EXPECT_EQ(std::memcmp(p, kName, 3), 0);
    EXPECT_EQ(GetU32(p + 4), 0x01020304u);
    EXPECT_EQ(GetU32(p + 8), 0x0A0B0C0Du);
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

TEST_F(RankingFile, MissingShortAndLongFilesLoadOnlyWhatTheyHold)
{
    RankingTable table = DefaultTable("score_ac_h.dat");
    EXPECT_EQ(table.Load(), 0);
    EXPECT_EQ(table.entries[0].score, 30000);

    // An empty file holds nothing to replace.
    ASSERT_TRUE(WriteSave("score_ac_h.dat", ""));
    ASSERT_EQ(table.Load(), 1);
    EXPECT_EQ(table.entries[0].score, 30000);

    // 20 bytes: the first entry and the name bytes of the second.
    std::string shortFile(20, '\0');
    PutU32(reinterpret_cast<u8*>(shortFile.data()) + 4, 99);
    shortFile[16] = 9;
    ASSERT_TRUE(WriteSave("score_ac_h.dat", shortFile));
    ASSERT_EQ(table.Load(), 1);
    EXPECT_EQ(table.entries[0].score, 99);
    EXPECT_EQ(table.entries[1].name[0], 9);
    EXPECT_EQ(table.entries[1].score, 27000);

    std::string longFile(400, '\x01');
    ASSERT_TRUE(WriteSave("score_ac_h.dat", longFile));
    ASSERT_EQ(table.Load(), 1);
    EXPECT_EQ(table.entries[9].score, 0x01010101);
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
