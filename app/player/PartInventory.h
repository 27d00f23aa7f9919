#pragma once
// The player's progress beside the profile: available robots with their
// fitted parts, the owned equipment parts and the cleared story stages,
// saved as the scrambled "vant-D" file in the save folder.
#include <vector>

#include "app/player/GameItem.h"
#include "app/player/PlayerProfile.h"
#include "platform/core/Types.h"

// One robot type's record, 56 bytes in the file.
struct RobotRecord {
    u8 available = 0;        // the player may use the robot
    u8 colourOwned[10] = {}; // colour sets 0..9 owned
    u8 reserved = 0;         // kept as it is, even by a reset
    u32 chosenColour = 0;    // colour set chosen; the room sends its low byte
    i32 partIds[10] = {};    // fitted part ids, 0 = the no-equipment part
};
inline constexpr u32 RobotRecordSize = 56;
inline constexpr u32 RobotRecordCount = 100;
inline constexpr u32 StageFlagCount = 500;
inline constexpr u32 InventoryBlockSize = 400;
// File layout: "QKF", scramble word, robots, part count, parts, flags, block.
inline constexpr u32 InventoryHeaderSize = 3 + 4 + RobotRecordCount * RobotRecordSize + 4;
inline constexpr u32 InventoryFixedSize = InventoryHeaderSize + StageFlagCount + InventoryBlockSize;
static_assert(InventoryHeaderSize == 5611);
static_assert(InventoryFixedSize == 6511);

class PartInventory {
public:
    PartInventory() = default;
    ~PartInventory() { FreeParts(); }
    PartInventory(const PartInventory&) = delete;
    PartInventory& operator=(const PartInventory&) = delete;

    // The default data of a first start: six robots and the no-equipment part.
    void Reset();
    // 1 when the file was written safely, 0 otherwise (the old file stays).
    int Save(const char* fileName);
    // 1 when a valid file was read; 0 when there is none; -1 when it is
    // there but unreadable or refused, and was set aside (SetAsideKeptFile).
    // 0 and -1 leave the default data in memory so that the game plays.
    int Load(const char* fileName);
    void FreeParts();
    // The robot number newly made available by the cleared stages, or -1.
    i32 GrantStageReward();

    // A new empty part with the lowest free id, owned here; null when full.
    CGameItem_PowerUp* AddNewPart();
    CGameItem_PowerUp* FindPart(i32 partId);
    // Index of the first part with the id in the owned list, -1 when none.
    i32 IndexOfPart(i32 partId) const;
    // The part at the index, null outside the list.
    CGameItem_PowerUp* PartAt(i32 index) const;
    // Takes the part at the index off every robot.
    void UnequipPartAt(i32 index);
    // Empties every slot holding the id in every robot record, used or
    // not: ids are reused, and a later part with this id must not appear
    // fitted to a robot unlocked afterwards.
    void UnequipPartId(i32 partId);
    // Frees the part at the index (1 or more: the no-equipment part stays);
    // later parts move down.
    void DestroyPartAt(i32 index);
    // Parts 1 onwards by name, bytes compared unsigned; part 0 stays first.
    void SortPartsByName();

    // The file image with the given scramble word.
    std::vector<u8> WriteImage(u32 scrambleWord) const;
    // 1 and the records replaced when the image is a valid inventory;
    // 0 and nothing changed otherwise.
    int ReadImage(const u8* data, u32 size);

    RobotRecord robots[RobotRecordCount];
    std::vector<CGameItem_PowerUp*> parts;
    PlayerProfile profile;
    u8 stageFlags[StageFlagCount] = {};
    u8 block[InventoryBlockSize] = {};
};
