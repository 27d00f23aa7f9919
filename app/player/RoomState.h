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

    bool BothConnected() const { return gameConnected && dataConnected; }
};

RoomState& GetRoomState();
