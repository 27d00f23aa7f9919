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
    u32 repairState = 0;   // 0..3; the server's start message sets 1, the set-up 0
    u32 inBattle = 0;      // set by the battle set-up, cleared by its release
    u32 battleStartValue = 0; // the battle generator's start value, from the game start
    u32 pingSendTime = 0;  // when the last ping went out on the data connection
    u32 hostStateBlock[63] = {}; // the repairing host's team arrays, as received
    // Rows 0..9 whose robot a repair's data holds a block for; set by the battle.
    u16 repairSlots = 0;
    // A whole set of a repair's data is in: every later host's data is
    // ignored until the battle ends the repair.
    u8 repairDataComplete = 0;

    bool BothConnected() const { return gameConnected && dataConnected; }
};

RoomState& GetRoomState();

struct PlayerEntry;

// A repair rebuilds every client from one host's data: the first set that is
// whole in the order the server relayed it, which is the same order on every
// client. A host's team arrays begin its set; blocks of a host lost before
// its set was whole are dropped by its successor's team arrays. Deciding this
// as the messages come, never by when a frame runs, keeps every client on
// the same set however late its frames run.
void TakeHostStateBlock(RoomState& room, PlayerEntry* players, i32 count, const u8* words);
void TakeRobotSnapshot(RoomState& room, PlayerEntry* players, i32 count, const u8* block, u32 size);
