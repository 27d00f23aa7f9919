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
    room.setBlocks = 0;
    room.repairDataComplete = 0;
    room.hostStateTaken = 0;
}

void ResetRepair(RoomState& room, PlayerEntry* players, i32 count)
{
    ForgetRepairData(room, players, count);
    room.repairState = 0;
    room.repairSlots = 0;
    room.run = 0;
    room.repairAnnounced = 0;
    room.repairHostSlot = 0;
    room.repairWords = 0;
    room.returnAsked = 0;
}

void TakeRepairWord(RoomState& room, PlayerEntry* players, i32 count, u16 host, u32 run)
{
    if (host >= 10) return;
    if (room.repairAnnounced && run == room.run) {
        // A new host for the same run (the last one left, sent no whole set
        // in time, or its set was refused): every client drops the set and
        // the verdicts it had, whole or not, and takes the new host's. A
        // confirmation of the dropped set confirmed no run, and one who left
        // or was sent back since (its frame read in that run) leaves at the
        // start of the run this repair opens, as on a client that heard of
        // its going after this word.
        for (i32 i = 0; i < count; ++i) {
            PlayerEntry& e = players[i];
            if (e.confirmedRuns > room.run) e.confirmedRuns = room.run;
            if (e.departed && e.leaveRun > room.run) e.leaveRun = room.run;
            if (e.ReturnedToRoom() && e.returnRun > room.run) e.returnRun = room.run;
        }
        ForgetRepairData(room, players, count);
        room.repairHostSlot = host;
        ++room.repairWords;
        return;
    }
    if (room.repairAnnounced && room.repairState == 3 && run == room.run + 1) {
        // The server asks for the next repair only once it relayed every
        // confirmation of this one, so this one is over, whatever frame the
        // battle is at; its data makes room for the next one's.
        ForgetRepairData(room, players, count);
        room.run = run;
        room.repairHostSlot = host;
        ++room.repairWords;
        return;
    }
    if (room.repairAnnounced || run != room.run) return;
    // Kept whatever this client is doing, setting its battle up included:
    // the battle enters the repair as soon as it runs.
    room.repairAnnounced = 1;
    room.repairHostSlot = host;
    room.hostStateTaken = 0;
    ++room.repairWords;
    if (room.repairState == 0) room.repairState = 1;
}

namespace {
void MarkWholeSet(RoomState& room)
{
    if (room.repairSlots != 0 && room.hostStateTaken != 0 && (room.setBlocks & room.repairSlots) == room.repairSlots)
        room.repairDataComplete = 1;
}
}  // namespace

void TakeHostStateBlock(RoomState& room, PlayerEntry*, i32, const u8* words, u32 sender)
{
    if (!room.repairAnnounced || sender != room.repairHostSlot || room.repairDataComplete) return;
    // A block out of range is damaged: the whole set is refused alike on
    // every client, and the server names the next host.
    room.hostStateTaken = TeamArraysInRange(words) ? 1 : 2;
    if (room.hostStateTaken == 1)
        for (u32 i = 0; i < 63; ++i) room.hostStateBlock[i] = GetU32(words + 4 * i);
    MarkWholeSet(room);
}

void TakeRobotSnapshot(RoomState& room, PlayerEntry* players, i32 count, const u8* block, u32 size, u32 sender)
{
    const u32 slot = GetU16(block);
    if (!room.repairAnnounced || sender != room.repairHostSlot || room.repairDataComplete || slot >= 10 ||
        slot >= u32(count) || size < RobotSnapshotSize)
        return;
    // One block per robot of the battle, each once: a confirmation that
    // came already says nothing of what this client holds.
    const u16 bit = u16(1u << slot);
    if (!(room.repairSlots & bit) || (room.setBlocks & bit)) return;
    players[slot].snapshot.assign(block, block + RobotSnapshotSize);
    room.setBlocks = u16(room.setBlocks | bit);
    MarkWholeSet(room);
}
