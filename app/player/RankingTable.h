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

class RankingTable {
public:
    // Zeroes the entries and lays the default scores 30000 down to 3000.
    void SetDefaults();
    void SetFileName(const char* fileName);

    // Place 0..9 that the new entry took, or 10 when it is not ranked.
    i32 Insert(const u8 newName[3], i32 score, u32 count, u32 robotType);
    // 1 when the file was written safely, 0 otherwise.
    int Save() const;
    // 1 when the file was read; a missing file leaves the table as it is.
    int Load();

    void WriteImage(u8 out[RankingFileSize]) const;
    // A short image replaces only the bytes it holds.
    void ReadImage(const u8* data, u32 size);

    RankingEntry entries[RankingEntryCount];
    char fileName[256] = {};
};
