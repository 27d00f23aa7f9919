#include "app/player/PartInventory.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "app/core/Application.h"
#include "app/core/ByteIo.h"
#include "app/player/SaveFolder.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"

namespace {

constexpr u8 InventoryMagic[3] = {'Q', 'K', 'F'};
constexpr u32 InventoryBodyOffset = 7;
constexpr u32 PartCountOffset = 3 + 4 + RobotRecordCount * RobotRecordSize;
constexpr u32 InventoryMaxSize = InventoryFixedSize + u32(MaxPartId) * PartFileRecordSize;

void WriteRobot(u8* p, const RobotRecord& r)
{
    p[0] = r.available;
    std::memcpy(p + 1, r.colourOwned, 10);
    p[11] = r.reserved;
    PutU32(p + 12, r.chosenColour);
    for (int i = 0; i < 10; ++i) PutU32(p + 16 + 4 * i, u32(r.partIds[i]));
}

void ReadRobot(const u8* p, RobotRecord& r)
{
    r.available = p[0];
    std::memcpy(r.colourOwned, p + 1, 10);
    r.reserved = p[11];
    r.chosenColour = GetU32(p + 12);
    for (int i = 0; i < 10; ++i) r.partIds[i] = i32(GetU32(p + 16 + 4 * i));
}

// Pairs of cleared stages and the robot they make available, in the order
// they are tried.
struct StageReward {
    i32 flags[3];
    i32 robot;
};
constexpr StageReward StageRewards[] = {
    {{0, -1, -1}, 1},   {{1, -1, -1}, 2},   {{2, -1, -1}, 3},   {{3, -1, -1}, 17},
    {{4, -1, -1}, 5},   {{5, -1, -1}, 6},   {{7, -1, -1}, 11},  {{9, -1, -1}, 10},
    {{6, 11, 10}, 8},   {{12, -1, -1}, 14}, {{13, -1, -1}, 15}, {{14, 15, -1}, 16},
    {{16, -1, -1}, 20}, {{20, -1, -1}, 21}, {{8, -1, -1}, 18},  {{18, -1, -1}, 19},
};

constexpr i32 StartingRobots[] = {0, 4, 7, 9, 12, 13};

}  // namespace

void PartInventory::Reset()
{
    for (RobotRecord& r : robots) {
        const u8 keep = r.reserved;
        r = RobotRecord{};
        r.reserved = keep;
        r.colourOwned[0] = 1;
    }
    FreeParts();
    profile.Clear();
    std::memset(stageFlags, 0, sizeof stageFlags);
    std::memset(block, 0, sizeof block);
    for (i32 robot : StartingRobots) robots[robot].available = 1;
    if (CGameItem_PowerUp* none = AddNewPart()) none->SetText("没有装备", "");
}

void PartInventory::FreeParts()
{
    for (CGameItem_PowerUp* part : parts) delete part;
    parts.clear();
}

i32 PartInventory::GrantStageReward()
{
    for (const StageReward& reward : StageRewards) {
        bool cleared = true;
        for (i32 flag : reward.flags)
            if (flag >= 0 && stageFlags[flag] != 1) cleared = false;
        if (cleared && !robots[reward.robot].available) {
            robots[reward.robot].available = 1;
            return reward.robot;
        }
    }
    return -1;
}

CGameItem_PowerUp* PartInventory::AddNewPart()
{
    bool used[MaxPartId] = {};
    for (const CGameItem_PowerUp* part : parts)
        if (part->partId < u32(MaxPartId)) used[part->partId] = true;
    for (i32 id = 0; id < MaxPartId; ++id) {
        if (used[id]) continue;
        auto* part = new CGameItem_PowerUp(u32(id));
        parts.push_back(part);
        return part;
    }
    return nullptr;
}

CGameItem_PowerUp* PartInventory::FindPart(i32 partId)
{
    for (CGameItem_PowerUp* part : parts)
        if (part->partId == u32(partId)) return part;
    return nullptr;
}

i32 PartInventory::IndexOfPart(i32 partId) const
{
    for (size_t i = 0; i < parts.size(); ++i)
        if (parts[i]->partId == u32(partId)) return i32(i);
    return -1;
}

CGameItem_PowerUp* PartInventory::PartAt(i32 index) const
{
    return u32(index) < parts.size() ? parts[size_t(index)] : nullptr;
}

void PartInventory::UnequipPartAt(i32 index)
{
    if (const CGameItem_PowerUp* part = PartAt(index)) UnequipPartId(i32(part->partId));
}

void PartInventory::UnequipPartId(i32 partId)
{
    for (RobotRecord& robot : robots)
        for (i32& slot : robot.partIds)
            if (slot == partId) slot = 0;
}

void PartInventory::DestroyPartAt(i32 index)
{
    if (index <= 0 || u32(index) >= parts.size()) return;
    delete parts[size_t(index)];
    parts.erase(parts.begin() + index);
}

void PartInventory::SortPartsByName()
{
    // An exchange sort: parts of equal names may change places.
    const size_t n = parts.size();
    for (size_t i = 1; i + 1 < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (std::strncmp(parts[i]->name, parts[j]->name, sizeof parts[i]->name) > 0) std::swap(parts[i], parts[j]);
}

std::vector<u8> PartInventory::WriteImage(u32 scrambleWord) const
{
    // Every part takes its whole 442-byte record.
    std::vector<u8> image(InventoryFixedSize + parts.size() * PartFileRecordSize);
    u8* p = image.data();
    std::memcpy(p, InventoryMagic, 3);
    PutU32(p + 3, scrambleWord);
    p += 7;
    for (const RobotRecord& r : robots) {
        WriteRobot(p, r);
        p += RobotRecordSize;
    }
    PutU32(p, u32(parts.size()));
    p += 4;
    for (const CGameItem_PowerUp* part : parts) {
        part->WriteFileRecord(p);
        p += PartFileRecordSize;
    }
    std::memcpy(p, stageFlags, StageFlagCount);
    p += StageFlagCount;
    std::memcpy(p, block, InventoryBlockSize);
    XorWords(image.data() + InventoryBodyOffset, u32(image.size()) - InventoryBodyOffset, scrambleWord);
    return image;
}

int PartInventory::ReadImage(const u8* data, u32 size)
{
    if (!data || size < InventoryFixedSize || size > InventoryMaxSize) return 0;
    if (std::memcmp(data, InventoryMagic, 3) != 0) return 0;
    std::vector<u8> image(data, data + size);
    XorWords(image.data() + InventoryBodyOffset, size - InventoryBodyOffset, GetU32(data + 3));

    // The part count must agree with the file's size, ids must be in range
    // and unique, and every record must be of the one kind we know.
    const u32 count = GetU32(image.data() + PartCountOffset);
    if (count > u32(MaxPartId) || size != InventoryFixedSize + count * PartFileRecordSize) return 0;
    std::vector<std::unique_ptr<CGameItem_PowerUp>> loaded;
    loaded.reserve(count);
    bool used[MaxPartId] = {};
    const u8* p = image.data() + InventoryHeaderSize;
    for (u32 i = 0; i < count; ++i, p += PartFileRecordSize) {
        const u32 id = GetU32(p);
        if (id >= u32(MaxPartId) || used[id] || GetU32(p + 4) != 1) return 0;
        used[id] = true;
        auto part = std::make_unique<CGameItem_PowerUp>(id);
        part->ReadFileRecord(p);
        loaded.push_back(std::move(part));
    }

    const u8* r = image.data() + InventoryBodyOffset;
    for (RobotRecord& robot : robots) {
        ReadRobot(r, robot);
        r += RobotRecordSize;
    }
    FreeParts();
    for (auto& part : loaded) parts.push_back(part.release());
    std::memcpy(stageFlags, p, StageFlagCount);
    std::memcpy(block, p + StageFlagCount, InventoryBlockSize);
    return 1;
}

int PartInventory::Save(const char* fileName)
{
    const std::vector<u8> image = WriteImage(GetApplication()->random.GetRand());
    return WriteSaveFile(fileName, image.data(), u32(image.size())) ? 1 : 0;
}

int PartInventory::Load(const char* fileName)
{
    const int result = LoadSaveFile(fileName, InventoryMaxSize,
                                    [this](const u8* data, u32 size) { return ReadImage(data, size) == 1; });
    // Missing or refused: a first start's data, so the game plays on.
    if (result != KeptFileRead) Reset();
    return result;
}
