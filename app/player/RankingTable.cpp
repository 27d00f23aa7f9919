#include "app/player/RankingTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/core/ByteIo.h"
#include "app/player/SaveFolder.h"

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

void RankingTable::ReadImage(const u8* data, u32 size)
{
    // A short file replaces only the bytes it holds.
    u8 image[RankingFileSize];
    WriteImage(image);
    // An empty file reads as no data at all (and may come with no buffer).
    if (data != nullptr && size > 0) std::memcpy(image, data, std::min(size, RankingFileSize));
    for (u32 i = 0; i < RankingEntryCount; ++i) {
        const u8* p = image + i * RankingEntrySize;
        std::memcpy(entries[i].name, p, 3);
        entries[i].spare = p[3];
        entries[i].score = i32(GetU32(p + 4));
        entries[i].count = GetU32(p + 8);
        entries[i].robotType = GetU32(p + 12);
    }
}

int RankingTable::Save() const
{
    u8 image[RankingFileSize];
    WriteImage(image);
    return WriteSaveFile(fileName, image, RankingFileSize) ? 1 : 0;
}

int RankingTable::Load()
{
    std::vector<u8> bytes;
    if (!ReadSaveFile(fileName, bytes, RankingFileSize)) return 0;
    ReadImage(bytes.data(), u32(bytes.size()));
    return 1;
}
