#pragma once
// One participant of a room or battle; the application holds 20.
#include <array>
#include <vector>

#include "engine/core/TaskList.h"
#include "platform/core/Types.h"

class CGameItem_PowerUp;

inline constexpr i32 PlayerEntryCount = 20;
inline constexpr u32 RobotSnapshotSize = 20011;

// One key state received for a participant (online lockstep).
class KEYRECVLIST : public CListNode<KEYRECVLIST> {
public:
    u32 frame = 0;
    u8 input[10] = {}; // the robot input record: direction byte, nine buttons
    u8 check = 0;      // one draw of the sender's battle generator
    u8 applied = 0;
};

class PlayerEntry {
public:
    PlayerEntry();
    ~PlayerEntry();
    PlayerEntry(const PlayerEntry&) = delete;
    PlayerEntry& operator=(const PlayerEntry&) = delete;

    // Every field back to its empty value; owned parts deleted, keys emptied.
    void Reset();
    // First unapplied key record of that frame, or null.
    KEYRECVLIST* FindKeyRecord(u32 frame);

    u32 idNumber = 0;
    char name[24] = {};
    i32 slotState = 0; // 0 empty, 1 player, 2 computer player
    i32 robot = 0;     // robot type; 1000 + n a random robot of type n; -1 none
    i32 team = 0;      // 0..9 squads, 50 random squad, 100 spectator
    i32 computerLevel = 0;
    i32 pilot = 0;
    i32 colorSet = 0;
    u8 readyState = 0; // 0 not ready, 1 ready, 2 sending pilot data
    // A peer's relayed radio line or chat text for its robot (-1 none): the
    // one pending line of a participant; the own keys ask the robot directly.
    i32 pendingRadio = -1;
    char pendingRadioText[100] = {};
    char chatText[100] = {};
    i32 chatTimer = 0;
    i32 leaveFrame = -100;
    // Set when the server reports the participant gone while a battle runs;
    // `leaveRun` is how many repairs it had confirmed then, so every client
    // reads the leave frame in the same run of the battle.
    u8 departed = 0;
    u32 leaveRun = 0;
    u32 confirmedRuns = 0;
    // The last frame the key states of one gone back to the room covered,
    // -1 for none; `returnRun` is how many repairs it had confirmed then.
    // -100 while it has not gone back.
    i32 returnMarker = -100;
    u32 returnRun = 0;
    bool ReturnedToRoom() const { return returnMarker >= -1; }
    u32 rankLevel = 0;
    u32 joined = 0;
    u32 inBattle = 0;
    u8 sceneLoaded = 0;
    u8 snapshotState = 0; // 1 snapshot received, 2 all data confirmed
    // Set by a repair: this participant's key states belong to the abandoned
    // run until its new run's frame 0 arrives.
    u8 awaitingNewRun = 0;
    u8 peerFps = 0;
    u32 peerPing = 0;
    u32 ping = 0;
    u32 receivedFrames = 0;
    i32 frameMarker = -1;
    i32 waitCounter = 0;
    i32 syncTarget = -1;
    i32 arcadeScore = 0;
    CList<KEYRECVLIST> keyQueue;
    CGameItem_PowerUp* parts[10] = {};
    std::vector<u8> snapshot; // RobotSnapshotSize bytes once received
    // The host's robot state record for this slot, received for an online
    // repair; the battle rebuilds the slot's robot from it.
    std::vector<u8> resyncRecord;
    // Key states of a new run that came before the confirmation they follow
    // (the two connections keep no order between them), held until it comes.
    std::vector<std::array<u8, 9>> heldKeyStates;
};
