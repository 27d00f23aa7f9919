#pragma once
// The four best-ten tables (arcade easy, normal, hard and survival) and
// their 160-byte score files in the save folder.
#include "platform/core/Types.h"

struct RankingEntry {
    u8 name[3] = {};
    u8 spare = 0;
    i32 score = 0;
    u32 count = 0;
    u32 robotType = 0;
};

inline constexpr u32 RankingEntryCount = 10;
inline constexpr u32 RankingEntrySize = 16;
inline constexpr u32 RankingFileSize = RankingEntryCount * RankingEntrySize;
static_assert(RankingFileSize == 160);

// What play can put in an entry: names typed from the glyphs 0..31 of the
// ranking font, scores that fit the nine places the list shows (a felled
// robot's score goes below zero), counts a kill counter can reach, and the
// robot types the folder list can hold.
inline constexpr u8 RankingGlyphCount = 32;
inline constexpr i32 MinRankingScore = -99999999;
inline constexpr i32 MaxRankingScore = 999999999;
inline constexpr u32 MaxRankingCount = 0x7FFF;
inline constexpr u32 RankingRobotTypeCount = 50;

class RankingTable {
public:
    // Zeroes the entries and lays the default scores 30000 down to 3000.
    void SetDefaults();
    void SetFileName(const char* fileName);

    // Place 0..9 that the new entry took, or 10 when it is not ranked. A
    // score or count beyond what an entry holds is kept at its limit.
    i32 Insert(const u8 newName[3], i32 score, u32 count, u32 robotType);
    // 1 when the file was written safely, 0 otherwise.
    int Save() const;
    // 1 when the file was read; 0 when there is none; -1 when it is there
    // but unreadable or refused by ReadImage, and was set aside
    // (SetAsideKeptFile). 0 and -1 leave the table as it is.
    int Load();

    void WriteImage(u8 out[RankingFileSize]) const;
    // 1 when the image is 160 bytes of entries play can make: they replace
    // the table's, put in descending order of score should they be out of
    // it. 0 and the table unchanged otherwise.
    int ReadImage(const u8* data, u32 size);

    RankingEntry entries[RankingEntryCount];
    char fileName[256] = {};
};
