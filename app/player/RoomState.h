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
    // The rows whose block the named host's set has brought so far.
    u16 setBlocks = 0;
    // A whole set of a repair's data is in: the host's team arrays and a
    // block for every row of `repairSlots`; every later host's data is
    // ignored until the battle ends the repair or a new host is named.
    u8 repairDataComplete = 0;
    // Words taken for the repair under way: a new one names a new host for
    // the same run, and the battle starts the repair's data over.
    u32 repairWords = 0;
    // A game start came and its battle is not set up yet: a repair word
    // meanwhile belongs to that battle, and its set-up keeps it.
    u8 gameStarting = 0;
    // This client asked to go back to the room; a return of its own slot it
    // did not ask for is the server sending it back.
    u8 returnAsked = 0;
    // Repairs this battle has completed, kept by the battle: the server's
    // word names the run it repairs.
    u32 run = 0;
    // The server's word for the repair of `run` has come, naming its host:
    // only then, and only from that host, is repair data taken.
    u8 repairAnnounced = 0;
    u16 repairHostSlot = 0;
    // The host's team arrays: 0 none yet, 1 taken, 2 out of range (every
    // client then refuses the whole set alike).
    u8 hostStateTaken = 0;

    bool BothConnected() const { return gameConnected && dataConnected; }
};

RoomState& GetRoomState();

struct PlayerEntry;

// A repair rebuilds every client from one host's data. Whoever finds a drift
// asks the server; the server's word opens the repair on every client and
// names its host, and it reaches each client before any of that host's
// data, whatever frame the client's own battle is at. Only the named host's
// data is taken, the first set that is whole in relay order (its team
// arrays and a block for every robot of the battle). Deciding this as
// the messages come, never by when a frame runs, keeps every client on the
// same set however late its frames run. Data outside a repair, from another
// sender, or after the set was whole is ignored; a word naming a new host
// for the same run drops the set, whole or not.
// Every block of a repair and its whole-set marks: none may stand in for a
// later repair's.
void ForgetRepairData(RoomState& room, PlayerEntry* players, i32 count);
// A game starts: no repair, no word, no data of an earlier battle.
void ResetRepair(RoomState& room, PlayerEntry* players, i32 count);
void TakeRepairWord(RoomState& room, PlayerEntry* players, i32 count, u16 host, u32 run);
void TakeHostStateBlock(RoomState& room, PlayerEntry* players, i32 count, const u8* words, u32 sender);
void TakeRobotSnapshot(RoomState& room, PlayerEntry* players, i32 count, const u8* block, u32 size, u32 sender);
