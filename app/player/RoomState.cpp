#include "app/player/RoomState.h"

#include "app/player/PlayerEntry.h"
#include "app/player/PlayerProfile.h"
#include "platform/core/ByteOrder.h"

RoomState& GetRoomState()
{
    static RoomState state;
    return state;
}

namespace {

constexpr u32 kTeamWords = 21;
// More members than the robot table and its ships never stand in one team.
constexpr i32 kMaxTeamUnits = 64;

void DropPartialSet(PlayerEntry* players, i32 count)
{
    for (i32 i = 0; i < count; ++i)
        if (players[i].snapshotState == 1) {
            players[i].snapshotState = 0;
            players[i].snapshot.clear();
        }
}

// The members left, scores and costs of the 21 teams as a battle can have
// them; anything else is a damaged or forged block.
bool TeamArraysInRange(const u8* words)
{
    for (u32 t = 0; t < kTeamWords; ++t) {
        const i32 units = GetI32(words + 4 * t);
        const i64 score = GetI32(words + 4 * (kTeamWords + t));
        const i64 cost = GetI32(words + 4 * (2 * kTeamWords + t));
        if (units < 0 || units > kMaxTeamUnits) return false;
        if (score < -i64(kMaxTeamUnits) * MaxBattleScore || score > i64(kMaxTeamUnits) * MaxBattleScore) return false;
        if (cost < -MaxBattleScore || cost > MaxBattleScore) return false;
    }
    return true;
}

}  // namespace

void ForgetRepairData(RoomState& room, PlayerEntry* players, i32 count)
{
    for (i32 i = 0; i < count; ++i) {
        players[i].snapshotState = 0;
        players[i].snapshot.clear();
    }
    room.repairDataComplete = 0;
    room.hostStateTaken = 0;
}

void TakeRepairWord(RoomState& room, PlayerEntry* players, i32 count, u16 host, u32 run)
{
    if (host >= 10) return;
    if (room.repairAnnounced && run == room.run) {
        // The host left: its successor's set replaces one not yet whole.
        if (host != room.repairHostSlot && !room.repairDataComplete) DropPartialSet(players, count);
        room.repairHostSlot = host;
        return;
    }
    if (room.repairAnnounced && room.repairState == 3 && run == room.run + 1) {
        // The server asks for the next repair only once it relayed every
        // confirmation of this one, so this one is over, whatever frame the
        // battle is at; its data makes room for the next one's.
        ForgetRepairData(room, players, count);
        room.run = run;
        room.repairHostSlot = host;
        return;
    }
    if (room.repairAnnounced || run != room.run) return;
    room.repairAnnounced = 1;
    room.repairHostSlot = host;
    room.hostStateTaken = 0;
    if (room.repairState == 0) room.repairState = 1;
}

void TakeHostStateBlock(RoomState& room, PlayerEntry* players, i32 count, const u8* words, u32 sender)
{
    if (!room.repairAnnounced || sender != room.repairHostSlot || room.repairDataComplete) return;
    // A block out of range is damaged: the robots are rebuilt from the
    // host's records still, and every client keeps its own team arrays.
    room.hostStateTaken = TeamArraysInRange(words) ? 1 : 2;
    if (room.hostStateTaken == 1)
        for (u32 i = 0; i < 63; ++i) room.hostStateBlock[i] = GetU32(words + 4 * i);
    // The team arrays begin a host's set.
    DropPartialSet(players, count);
}

void TakeRobotSnapshot(RoomState& room, PlayerEntry* players, i32 count, const u8* block, u32 size, u32 sender)
{
    const u32 slot = GetU16(block);
    if (!room.repairAnnounced || sender != room.repairHostSlot || room.repairDataComplete || slot >= u32(count) ||
        size < RobotSnapshotSize)
        return;
    PlayerEntry& e = players[slot];
    e.snapshot.assign(block, block + RobotSnapshotSize);
    // A confirmation never comes before the data it confirms is whole.
    if (e.snapshotState == 0) e.snapshotState = 1;
    if (room.repairSlots == 0) return;
    for (i32 i = 0; i < 10 && i < count; ++i)
        if ((room.repairSlots & (1u << i)) && players[i].snapshotState == 0) return;
    room.repairDataComplete = 1;
}
