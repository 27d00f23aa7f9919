#include "app/player/RoomState.h"

#include "app/player/PlayerEntry.h"
#include "platform/core/ByteOrder.h"

RoomState& GetRoomState()
{
    static RoomState state;
    return state;
}

// Repair data counts only inside a repair: every client hears the request
// before any host's block, and a block outside one (a fighter's forgery, or
// a late host's after the set was whole) must never stand in for the next
// repair's.
void TakeHostStateBlock(RoomState& room, PlayerEntry* players, i32 count, const u8* words)
{
    if (room.repairState == 0 || room.repairDataComplete) return;
    for (u32 i = 0; i < 63; ++i) room.hostStateBlock[i] = GetU32(words + 4 * i);
    for (i32 i = 0; i < count; ++i)
        if (players[i].snapshotState == 1) {
            players[i].snapshotState = 0;
            players[i].snapshot.clear();
        }
}

void TakeRobotSnapshot(RoomState& room, PlayerEntry* players, i32 count, const u8* block, u32 size)
{
    const u32 slot = GetU16(block);
    if (room.repairState == 0 || room.repairDataComplete || slot >= u32(count) || size < RobotSnapshotSize) return;
    PlayerEntry& e = players[slot];
    e.snapshot.assign(block, block + RobotSnapshotSize);
    // A confirmation never comes before the data it confirms is whole.
    if (e.snapshotState == 0) e.snapshotState = 1;
    if (room.repairSlots == 0) return;
    for (i32 i = 0; i < 10 && i < count; ++i)
        if ((room.repairSlots & (1u << i)) && players[i].snapshotState == 0) return;
    room.repairDataComplete = 1;
}
