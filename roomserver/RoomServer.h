#pragma once
// The room server: up to five rooms, each with a game and a data port. It
// seats players, keeps the participant table and the room settings, relays
// what the clients send to the room (a battle's messages to its fighters),
// starts the game when everybody is ready and the battle has an opponent
// (telling the room when it has none), and reports leave frames. Every
// message is checked before it is used (its size, its connection, the
// sender's own slot, its value ranges, and battle messages only in a
// battle); what does not fit is dropped with a log line. A data connection
// joins only a seat whose game connection came from the same address; one
// address holds a bounded number of connections and log lines.
// One thread serves every room and never blocks: it waits in one poll on
// every socket, sends are queued per connection, reads are bounded per turn,
// so no client stalls the others. Bulk relays (uploads, parts) are kept
// once for all their readers (in memory up to a bound, then in a temporary
// file) and go to each reader at its own pace, after the urgent messages
// (pings, chat, a ready) that may pass them; no reader holds another's
// relays nor their sender. A reader is let go when it takes nothing for
// the seat timeout, or falls too far behind. What one player can make
// the server relay is bounded per kind at about twice what a real client
// sends; the rest is dropped, so no sender can bury the readers. Room traffic
// (rows, settings, uploads, parts) never reaches a player in a battle: it
// gets the room's rows and settings when it comes back. A seated player the
// server has heard nothing from for a while is let go as a departure.
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/Types.h"
#include "platform/net/Socket.h"

class BulkStore;

struct RoomServerConfig {
    u8 rule = 0;      // 0..4
    u32 capacity = 4; // 1..10
    const char* title = "Test room";
    // The server stops itself after this long; 0 runs until it is destroyed.
    u32 lifetimeMs = 120000;
    // Address to listen on (host byte order): loopback unless told otherwise.
    u32 listenIp = 0x7F000001u;
    // Where the log lines go; null keeps the server quiet.
    FILE* log = nullptr;
    // Bytes a seated player's connection may have waiting to be sent, bulk
    // relays apart, before it is cut off; a connection without a seat gets a
    // sixteenth of it.
    u32 sendQueueLimit = 4u << 20;
    // A connection that has not logged in (or named its seat) by then is
    // closed: a real client does both within a moment of connecting, and a
    // room scan is over as soon.
    u32 loginTimeoutMs = 10000;
    // Connections one address may hold open at once, over all rooms: room
    // scans and a few players on one machine or behind one router, no more.
    u32 connectionsPerAddress = 32;
    // Log lines about one address's connections per window; what is over is
    // counted and told in one line when the window ends.
    u32 logLinesPerAddress = 120;
    u32 logWindowMs = 60000;
    // A seated player silent this long (its client's pings and ping reports
    // come every 3 s in the room and in a battle) is let go as a departure.
    u32 seatTimeoutMs = 45000;
    // Times the relay allowances (about twice what a real client sends of
    // each kind) one player gets; a test that sends many markers raises it.
    u32 relayAllowance = 1;
    // A repair's waits: for its host's whole set (then the next fighter
    // hosts), and for every fighter's verdict on it (then the silent leave).
    u32 repairSetWaitMs = 10000;
    u32 repairVerdictWaitMs = 15000;
    // A fighter of a loaded battle, outside a repair, whose key states stay
    // short of another's this long goes back to the room: it holds every
    // other game (which gives up after 30 s), though its pings keep its seat.
    u32 battleSilenceMs = 10000;
};

class RoomServer {
public:
    static constexpr u32 kVersion = 20040;
    using RoomConfig = RoomServerConfig;

    // `rooms` rooms (1..5). gameBase/dataBase 0: free ports; otherwise room
    // r listens on base + r.
    explicit RoomServer(u32 rooms = 1, const RoomConfig& config = RoomConfig{}, u16 gameBase = 0, u16 dataBase = 0);
    ~RoomServer();
    RoomServer(const RoomServer&) = delete;
    RoomServer& operator=(const RoomServer&) = delete;

    bool Listening() const { return listening_; }
    u16 GamePort(u32 room) const;
    u16 DataPort(u32 room) const;

    // Sends a repair request to everyone in the room.
    void ForceRepair(u32 room);
    // The room's state as the server keeps it.
    u32 Participants(u32 room);  // seated players
    u32 SeatsUsed(u32 room);     // seated players and computer rows
    u32 Connections(u32 room);
    bool BattleRunning(u32 room);
    u32 StartValue(u32 room);
    // Messages dropped as malformed or misrouted, over all rooms.
    u64 Dropped();
    // Bytes held in the connections' input and output buffers and the
    // rooms' bulk relays, over all rooms.
    u64 BufferedBytes();
    // Turns the serving thread has taken: an idle server takes few.
    u64 Turns();
    // The messages the room accepted (identifier first), in order; the
    // oldest are forgotten past a bound.
    std::vector<std::vector<u8>> Received(u32 room);

private:
    struct Conn;
    struct Room;

    void Run();
    bool Step(Room& room);
    void Accept(Room& room, plat::SocketId listener, bool data);
    bool Read(Room& room, Conn& conn);
    void Flush(Conn& conn);
    void Wait();
    void Handle(Room& room, Conn& conn, const u8* m, u32 size);
    void Login(Room& room, Conn& conn, const u8* m);
    void Close(Room& room, Conn& conn, const char* why);
    void DropMessage(Room& room, Conn& conn, const u8* m, u32 size, const char* why);
    // passBulk: it may go ahead of the bulk relays waiting for the reader,
    // when nothing else waits behind them.
    void SendTo(Conn& conn, const u8* m, u32 size, bool passBulk = false);
    void SendTo(Conn& conn, const std::vector<u8>& m) { SendTo(conn, m.data(), u32(m.size())); }
    // roomOnly: not to the players in a running battle.
    void ToRoom(Room& room, const std::vector<u8>& m, int onlyTeam = -1, bool roomOnly = false, bool passBulk = false);
    void ToFighters(Room& room, const std::vector<u8>& m);
    // A bulk relay to the players in the room, one copy for all of them.
    void ToRoomBulk(Room& room, const std::vector<u8>& m);
    // A repair's word, its host and its end (every fighter confirmed).
    static bool Fighter(const Room& room, int slot);
    static u16 Fighters(const Room& room);
    void OpenRepair(Room& room);
    void NameHost(Room& room, int after);
    void ReplaceHost(Room& room);
    void RepairSeatGone(Room& room, int slot);
    void MaybeEndRepair(Room& room);
    void RepairTimers(Room& room);
    // Sends back a fighter that holds the others without key states.
    void KeyStateTimers(Room& room);
    // Sends a fighter back to the room, as its own return would.
    void DropFromBattle(Room& room, int slot);
    std::vector<u8> EntryMessage(const Room& room, int slot) const;
    std::vector<u8> StatusRecord(const Room& room) const;
    static std::vector<u8> SettingsMessage(const Room& room);
    static bool Contested(const Room& room);
    void MaybeStart(Room& room);
    void MaybeEnd(Room& room);
    void Keep(Room& room, const u8* m, u32 size);
    // Log lines go against the address of the connection being served
    // (logPeer_), within its allowance.
    void Log(const char* format, ...);
    void TellUnlogged(bool all);

    std::vector<Room*> rooms_;
    std::vector<u8> scratch_;  // what one read takes in
    bool listening_ = false;
    FILE* log_ = nullptr;
    std::mutex lock_;
    std::atomic<bool> stop_{false};
    // The rooms' uploads and parts, one copy each for all their readers.
    std::unique_ptr<BulkStore> store_;
    std::thread thread_;
    u32 born_ = 0;
    u32 seed_ = 0;
    u64 dropped_ = 0;
    u64 turns_ = 0;
    std::vector<plat::NetPollEntry> waits_;
    // Capacity of large buffers freed since the allocator was last asked to
    // give free memory back to the system.
    u64 freedBytes_ = 0;
    u32 lastTrim_ = 0;
    std::atomic<bool> trimWanted_{false};
    std::thread trimmer_;
    void Freed(std::vector<u8>& buffer);
    u32 nextConnId_ = 1;
    struct Address {
        u32 open = 0;        // connections held now
        u32 windowStart = 0; // of the log allowance
        u32 lines = 0;       // logged in this window
        u32 unlogged = 0;    // over the allowance in this window
    };
    std::map<u32, Address> addresses_;
    u32 logPeer_ = 0;
    u32 lastTell_ = 0;
    void TellUnlogged(u32 ip, Address& a, u32 now);
};
