#pragma once
// What the battle reads of the online room: written by online play's
// receive dispatchers, read (and a few words set) by the battle scene.
// Offline every field keeps its empty value.
#include "platform/core/Types.h"

struct RoomState {
    u8 gameConnected = 0;  // the game connection is up
    u8 dataConnected = 0;  // the data connection is up
    u32 ownSlot = 0;       // from the login reply
    u8 rule = 0;           // room battle rule 0..4
    u32 inputDelay = 0;    // frames
    u32 repairState = 0;   // 0..3; the server's word or a found drift sets 1, the set-up 0
    u32 inBattle = 0;      // set by the battle set-up, cleared by its release
    u32 battleStartValue = 0; // the battle generator's start value, from the game start
    u32 pingSendTime = 0;  // when the last ping went out on the data connection
    u32 hostStateBlock[63] = {}; // the repairing host's team arrays, as received
    // Rows 0..9 whose robot a repair's data holds a block for; set by the battle.
    u16 repairSlots = 0;
    // A whole set of a repair's data is in: every later host's data is
    // ignored until the battle ends the repair.
    u8 repairDataComplete = 0;
    // Repairs this battle has completed, kept by the battle: the server's
    // word names the run it repairs.
    u32 run = 0;
    // The server's word for the repair of `run` has come, naming its host:
    // only then, and only from that host, is repair data taken.
    u8 repairAnnounced = 0;
    u16 repairHostSlot = 0;
    // The host's team arrays: 0 none yet, 1 taken, 2 refused as damaged
    // (every client then keeps its own).
    u8 hostStateTaken = 0;

    bool BothConnected() const { return gameConnected && dataConnected; }
};

RoomState& GetRoomState();

struct PlayerEntry;

// A repair rebuilds every client from one host's data. Whoever finds a drift
// asks the server; the server's word opens the repair on every client and
// names its host, and it reaches each client before any of that host's
// data, whatever frame the client's own battle is at. Only the named host's
// data is taken, the first set that is whole in relay order; a word naming
// a successor (the host left) drops a set not yet whole. Deciding this as
// the messages come, never by when a frame runs, keeps every client on the
// same set however late its frames run. Data outside a repair, from another
// sender, or after the set was whole is ignored.
// Every block of a repair and its whole-set marks: none may stand in for a
// later repair's.
void ForgetRepairData(RoomState& room, PlayerEntry* players, i32 count);
void TakeRepairWord(RoomState& room, PlayerEntry* players, i32 count, u16 host, u32 run);
void TakeHostStateBlock(RoomState& room, PlayerEntry* players, i32 count, const u8* words, u32 sender);
void TakeRobotSnapshot(RoomState& room, PlayerEntry* players, i32 count, const u8* block, u32 size, u32 sender);
