#pragma once
// The two connections of a room: the game connection (CRoboClient) and the
// data connection (CDataClient), and the online state their one dispatcher
// writes. The room status, login result and start flag live here; what the
// battle reads (own slot, rule, repair state, start value, ping time, host
// state block) lives in the application's RoomState, the participants in
// the PlayerEntry records.
#include "engine/net/Client.h"
#include "platform/core/Types.h"

inline constexpr u32 kRoomCount = 5;
inline constexpr u32 kRoomStatusSize = 459;
inline constexpr u16 kDefaultGamePort = 2362;
inline constexpr u16 kDefaultDataPort = 3362;

// What one received key-state list may hold per participant: about ten
// seconds of frames; a flood beyond it is dropped, not queued.
inline constexpr i32 kKeyQueueLimit = 600;

enum LoginResultCode : u32 {
    kLoginWaiting = 0,
    kLoginAccepted = 1,
    kLoginRoomFull = 2,
    kLoginRoomInGame = 3,
    kLoginVersionMismatch = 4,
};

class NetClientPair;
class PlayerEntry;
class PilotRegistry;
struct GameSettings;
struct RoomState;

// Where a pair's dispatcher writes. The game's pair writes the
// application's state; a test may give a second pair state of its own.
struct OnlineTargets {
    RoomState* room = nullptr;
    PlayerEntry* players = nullptr; // PlayerEntryCount records
    GameSettings* settings = nullptr;
    PilotRegistry* pilots = nullptr;
    // Adds a line to the chat log.
    void (*addChatLine)(const char* text, u32 colour) = nullptr;
};
// The application's state (null members while there is no application).
OnlineTargets ApplicationTargets();

class CRoboClient : public CClient {
public:
    ~CRoboClient() override;
    u32 OnEvent(u32 userValue, u32 code, void* info) override;
    // Applies one server message (identifier, the bytes after it). Short,
    // unknown or out-of-range messages change nothing. Online play's
    // (online/protocol/), like the data connection's below.
    void DispatchMessage(u16 id, const u8* body, u32 size);

    u32 loginResult = kLoginWaiting;
    u8 gameStartFlag = 0;
    NetClientPair* pair = nullptr;
};

class CDataClient : public CClient {
public:
    ~CDataClient() override;
    u32 OnEvent(u32 userValue, u32 code, void* info) override;
    // Whatever arrives here is the game client's to apply.
    void DispatchMessage(u16 id, const u8* body, u32 size);

    NetClientPair* pair = nullptr;
};

class NetClientPair {
public:
    // Writes into `targets`; the default is the application's state.
    explicit NetClientPair(const OnlineTargets& targets = ApplicationTargets());
    NetClientPair(const NetClientPair&) = delete;
    NetClientPair& operator=(const NetClientPair&) = delete;

    OnlineTargets targets;
    CRoboClient game;
    CDataClient data;
    // Per room: 0 not asked, 1 queried, 2 received.
    u8 roomStatusFlag[kRoomCount] = {};
    // Room-status records as received, their texts cut to whole, terminated
    // characters.
    u8 roomStatus[kRoomCount][kRoomStatusSize] = {};

    // The login's choices: the ID (at most 23 bytes), the server, the robot
    // record (0..99, 1000 random, -1 none), the pilot and the room entered.
    char playerName[24] = {};
    char serverAddress[256] = {};
    i32 robotChoice = -1;
    i32 pilotChoice = 0;
    u32 currentRoom = 0;
    // Room r listens on these plus r (tests move them off the default ports).
    u16 gamePortBase = kDefaultGamePort;
    u16 dataPortBase = kDefaultDataPort;

    // Both connections closed.
    void DisconnectBoth();
    bool BothConnected() const { return game.IsConnected() && data.IsConnected(); }
};

// The pair, made on first use (null only when memory runs out).
NetClientPair* GetOnlineClients();

// Room-status record fields.
struct RoomStatusView {
    i8 room = 0;
    i8 rule = 0;
    i8 players = 0;
    const char* names[10] = {};
    const char* title = nullptr;
    u32 capacity = 0;
    u8 languageFlag = 0;
    u8 chatAllowed = 0;
};
RoomStatusView ViewRoomStatus(const u8 record[kRoomStatusSize]);
