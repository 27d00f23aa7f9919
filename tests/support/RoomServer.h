#pragma once
// A room server for online tests, on 127.0.0.1: rooms with a game and a
// data port each (free ports unless a base is given), the room-status
// record, login with its refusals, the participant table, the relays and
// answers the client relies on, ready and game start, leave frames, and a
// forced repair. It runs on a thread of its own, answers only what it is
// sent (never first on a fresh connection) and stops itself after
// its lifetime so a broken test cannot hang on it.
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/Types.h"
#include "platform/net/Socket.h"

struct RoomServerConfig {
    u8 rule = 0;      // 0..4
    u32 capacity = 4; // 1..10
    const char* title = "Test room";
    // The server stops itself after this long; 0 runs until it is destroyed.
    u32 lifetimeMs = 120000;
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
    // What the test may check on the server's side.
    u32 Participants(u32 room);
    bool BattleRunning(u32 room);
    u32 StartValue(u32 room);
    // Every message the room received (identifier first), in order.
    std::vector<std::vector<u8>> Received(u32 room);

private:
    struct Conn;
    struct Room;

    void Run();
    void Step(Room& room);
    void Handle(Room& room, Conn& conn, const std::vector<u8>& m);
    void Login(Room& room, Conn& conn, const std::vector<u8>& m);
    void Drop(Room& room, Conn& conn);
    void SendTo(Conn& conn, const std::vector<u8>& m);
    void ToRoom(Room& room, const std::vector<u8>& m, int onlyTeam = -1);
    std::vector<u8> EntryMessage(const Room& room, int slot) const;
    std::vector<u8> StatusRecord(const Room& room) const;
    void MaybeStart(Room& room);

    std::vector<Room*> rooms_;
    bool listening_ = false;
    std::mutex lock_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    u32 born_ = 0;
    u32 seed_ = 12345;
};
