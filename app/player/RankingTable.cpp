#include "app/player/RankingTable.h"

#include <algorithm>
#include <cstring>

#include "app/core/Application.h"
#include "app/core/ByteIo.h"
#include "app/player/SaveFolder.h"

// A robot type is an index into the folder list.
static_assert(RankingRobotTypeCount == sizeof(FolderList::names) / sizeof(FolderList::names[0]));

void RankingTable::SetDefaults()
{
    for (u32 i = 0; i < RankingEntryCount; ++i) {
        entries[i] = RankingEntry{};
        entries[i].score = i32((10 - i) * 3000);
    }
}

void RankingTable::SetFileName(const char* name)
{
    std::memset(fileName, 0, sizeof fileName);
    if (name) std::strncpy(fileName, name, sizeof fileName - 1);
}

i32 RankingTable::Insert(const u8 newName[3], i32 score, u32 count, u32 robotType)
{
    // Whatever play gives, the saved table must load again.
    score = std::clamp(score, MinRankingScore, MaxRankingScore);
    count = std::min(count, MaxRankingCount);
    u32 place = 0;
    while (place < RankingEntryCount && entries[place].score >= score) ++place;
    if (place == RankingEntryCount) return i32(RankingEntryCount);
    // Shift down from the bottom; each place keeps its own spare byte.
    for (u32 i = RankingEntryCount - 1; i > place; --i) {
        RankingEntry& to = entries[i];
        const RankingEntry& from = entries[i - 1];
        std::memcpy(to.name, from.name, 3);
        to.score = from.score;
        to.count = from.count;
        to.robotType = from.robotType;
    }
    RankingEntry& at = entries[place];
    std::memcpy(at.name, newName, 3);
    at.score = score;
    at.count = count;
    at.robotType = robotType;
    return i32(place);
}

void RankingTable::WriteImage(u8 out[RankingFileSize]) const
{
    for (u32 i = 0; i < RankingEntryCount; ++i) {
        u8* p = out + i * RankingEntrySize;
        std::memcpy(p, entries[i].name, 3);
        p[3] = entries[i].spare;
        PutU32(p + 4, u32(entries[i].score));
        PutU32(p + 8, entries[i].count);
        PutU32(p + 12, entries[i].robotType);
    }
}

int RankingTable::ReadImage(const u8* data, u32 size)
{
    if (data == nullptr || size != RankingFileSize) return 0;
    RankingEntry read[RankingEntryCount];
    for (u32 i = 0; i < RankingEntryCount; ++i) {
        const u8* p = data + i * RankingEntrySize;
        RankingEntry& e = read[i];
        std::memcpy(e.name, p, 3);
        e.spare = p[3];
        e.score = i32(GetU32(p + 4));
        e.count = GetU32(p + 8);
        e.robotType = GetU32(p + 12);
        // An entry no play makes is damage: its name would draw glyphs the
        // font lacks, its figures would spill out of their columns, and a
        // score above every real one could never be beaten.
        if (std::any_of(e.name, e.name + 3, [](u8 c) { return c >= RankingGlyphCount; }) ||
            e.score < MinRankingScore || e.score > MaxRankingScore || e.count > MaxRankingCount ||
            e.robotType >= RankingRobotTypeCount)
            return 0;
    }
    // Insert assumes descending scores. Entries move, each spare byte stays
    // with its place, as an insert leaves it.
    RankingEntry sorted[RankingEntryCount];
    std::copy(read, read + RankingEntryCount, sorted);
    std::stable_sort(sorted, sorted + RankingEntryCount,
                     [](const RankingEntry& a, const RankingEntry& b) { return a.score > b.score; });
    for (u32 i = 0; i < RankingEntryCount; ++i) {
        entries[i] = sorted[i];
        entries[i].spare = read[i].spare;
    }
    return 1;
}

int RankingTable::Save() const
{
    u8 image[RankingFileSize];
    WriteImage(image);
    return WriteSaveFile(fileName, image, RankingFileSize) ? 1 : 0;
}

int RankingTable::Load()
{
    return LoadSaveFile(fileName, RankingFileSize,
                        [this](const u8* data, u32 size) { return ReadImage(data, size) == 1; });
}
