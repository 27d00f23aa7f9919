// The room server against hostile clients on loopback: every malformed or
// misrouted message is dropped and relays nothing, random frames on both
// connections change nothing they may not, seats are all free once the
// clients are gone, and floods, bursts and clients that never read leave
// the others answered within 100 ms with the buffers bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "platform/core/ByteOrder.h"
#include "platform/core/Time.h"
#include "platform/net/Socket.h"
#include "roomserver/RoomServer.h"
#include "roomserver/ServerOptions.h"
#include "support/RoomSeats.h"
#include "support/RoomWire.h"

namespace {

using namespace roomwire;

bool WaitUntil(const std::function<bool()>& done, u32 ms = kHangMs)
{
    const u32 start = plat::TimeGetTime();
    while (!done()) {
        if (plat::TimeGetTime() - start > ms) return false;
        plat::Sleep(2);
    }
    return true;
}

// A ping report from `sender` reached `observer`: what came to it before
// the report is all the server relayed of what was sent before it.
bool MarkerRelayed(Client& sender, Client& observer)
{
    sender.data->Send(Msg(11, 4, {}, {{1, 0}, {2, 42}}));
    return !observer.game->Await(16).empty();
}

// Keeps `heard` pinging, as their games do, until `listener` gets a message
// `id` or `ms` have passed: that message, or nothing.
std::vector<u8> AwaitWhileHeard(Client& listener, u8 id, const std::vector<Client*>& heard, u32 ms, u32 step = 100)
{
    std::vector<u8> m;
    for (const u32 start = plat::TimeGetTime(); m.empty() && plat::TimeGetTime() - start < ms;) {
        for (Client* c : heard) KeepHeard(*c);
        m = listener.game->Await(id, step);
    }
    return m;
}

// Seats each of `all` on its team (100: a spectator) as a robot player and
// starts the battle; every one of them hears the start.
template <size_t N>
void StartBattle(Client* const (&all)[N], const u32 (&teams)[N])
{
    for (size_t i = 0; i < N; ++i) {
        ASSERT_TRUE(all[i]->Seated());
        all[i]->game->Send(PlayerSlot(all[i]->slot, 1000, teams[i], 1, 0));
    }
    for (Client* k : all) k->game->Send(Msg(8, 5, {{1, 1}}));
    for (Client* k : all) ASSERT_FALSE(k->game->Await(7).empty()) << "the game never started";
    for (Client* k : all) k->game->got.clear();
}

// `observer` hears that `who` went back from the battle to the room.
void ExpectSentBack(Client& observer, Client& who)
{
    const std::vector<u8> gone = observer.game->Await(9, 10000);
    ASSERT_EQ(gone.size(), 7u) << who.slot << " stayed in the battle";
    EXPECT_EQ(GetU16(gone.data() + 1), who.slot);
}

struct Hostile {
    const char* what;
    bool onData;
    std::vector<u8> message;
};

// Sends each message, which must be dropped, then a ping report that is
// relayed: the observer must get that and nothing before it.
void ExpectAllDropped(RoomServer& server, Client& sender, Client& observer, const std::vector<Hostile>& cases)
{
    for (const Hostile& c : cases) {
        const u64 before = server.Dropped();
        (c.onData ? sender.data : sender.game)->Send(c.message);
        EXPECT_TRUE(WaitUntil([&] { return server.Dropped() == before + 1; })) << c.what << " was not dropped";
        ASSERT_TRUE(MarkerRelayed(sender, observer)) << c.what << ": the server stopped relaying";
        for (const auto& m : observer.game->got) ADD_FAILURE() << c.what << " relayed message " << int(m[0]);
        observer.game->got.clear();
        EXPECT_FALSE(sender.game->Await(16).empty()) << c.what;
        sender.game->got.clear();
    }
}

}  // namespace

// Every malformed or misrouted message of the room and of the battle is
// dropped and relays nothing; random frames on both connections leave the
// other player's row alone; losing either connection frees the seat with
// the right leave frame; and every seat is free once everyone is gone.
TEST(RoomServer, DropsHostileMessagesAndFreesEverySeat)
{
    RoomServerConfig config = FourSeatRoom();
    config.relayAllowance = 20;  // a ping report marks the end of each case
    RoomServer server(1, config);
    ASSERT_TRUE(server.Listening());
    Client owner(server, "Owner");
    Client mallory(server, "Mallory");
    ASSERT_TRUE(owner.Seated() && mallory.Seated());
    ASSERT_EQ(owner.slot, 0);
    const u16 me = mallory.slot, other = owner.slot;
    owner.game->Await(1, 200);
    owner.game->got.clear();
    mallory.game->got.clear();

    const std::vector<Hostile> inRoom = {
        {"login on the data connection", true, Msg(0, 37, {{33, RoomServer::kVersion}})},
        {"a second login", false, Msg(0, 37, {{33, RoomServer::kVersion}})},
        {"a second login acknowledgement", true, Slot16(18, 3, me)},
        {"repair request in the room", false, Msg(19, 2)},
        {"unknown identifier 200", true, Msg(200, 9)},
        {"chat in another's name", true, Slot16(15, 105, other)},
        {"chat of 100 bytes", true, [&] { auto m = Slot16(15, 105, me); m[3] = 100; return m; }()},
        {"chat on the game connection", false, Slot16(15, 105, me)},
        {"chat one byte short", true, Slot16(15, 104, me)},
        {"colour set for another", false, Slot16(2, 4, other)},
        {"colour set 10", false, [&] { auto m = Slot16(2, 4, me); m[3] = 10; return m; }()},
        {"level 31", false, [&] { auto m = Slot16(3, 7, me); PutU32(m.data() + 3, 31); return m; }()},
        {"level for another", false, Slot16(3, 7, other)},
        {"own row made a computer", false, PlayerSlot(me, 3, 1, 2, 1)},
        {"own row in state 7", false, PlayerSlot(me, 3, 1, 7, 1)},
        {"another player's row", false, PlayerSlot(other, 3, 1, 1, 1)},
        {"a computer row from a guest", false, PlayerSlot(3, 3, 1, 2, 1)},
        {"robot 500", false, PlayerSlot(me, 500, 1, 1, 1)},
        {"team 11", false, PlayerSlot(me, 3, 11, 1, 1)},
        {"slot beyond the room", false, PlayerSlot(7, 3, 1, 2, 1)},
        {"network delay 40", false, Settings(40, 1.0f, 5, 0)},
        {"hp rate not a number", false, Settings(2, std::nanf(""), 5, 0)},
        {"61 minutes", false, Settings(2, 1.0f, 61, 0)},
        {"voice mode 3", false, Settings(2, 1.0f, 5, 3)},
        {"settings one byte short", false, Msg(4, 36)},
        {"ready of 9 bytes", false, Msg(8, 9, {{1, 1}})},
        {"ready 2", false, Msg(8, 5, {{1, 2}})},
        {"key state on the game connection", false, Msg(14, 9, {}, {{8, 1}})},
        {"key state in the room", true, Msg(14, 9, {}, {{8, 1}})},
        {"scene loaded in the room", false, Msg(10, 2)},
        {"snapshot in the room", false, Msg(5, 20012)},
        {"host block in the room", false, Msg(6, 253)},
        {"all data in the room", false, Msg(7, 2)},
        {"return to the room from the room", true, Msg(9, 2)},
        {"radio in the room", false, Msg(17, 4)},
        {"file kind 50", false, Chunk(50, 16, 16)},
        {"picture at its cap", false, Chunk(100, 204800, 204800)},
        {"chunk longer than it says", false, Chunk(200, 100, 99)},
        {"control chunk of 4", false, Chunk(999, 4, 4)},
        {"animation not in words", false, Chunk(300, 6, 6)},
        {"part index 4", false, [] { auto m = Msg(20, 426, {{3, 1}, {7, 414}}); PutU16(m.data() + 1, 4); return m; }()},
        {"part of kind 2", false, Msg(20, 426, {{3, 2}, {7, 414}})},
        {"part of 413 bytes", false, Msg(20, 426, {{3, 1}, {7, 413}})},
        {"frame rate 61", true, Msg(11, 4, {}, {{1, 61}})},
        {"ping on the game connection", false, Msg(12, 2)},
    };
    ExpectAllDropped(server, mallory, owner, inRoom);
    EXPECT_EQ(server.SeatsUsed(0), 2u) << "no computer row came from a guest";

    // Random frames on both connections, mostly of a real message's size:
    // the owner's row never changes and the server keeps answering.
    std::mt19937 random(52);
    const u8 ids[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 21, 99};
    const u32 sizes[] = {37, 43, 4, 7, 37, 20012, 253, 2, 5, 2, 2, 4, 2, 2, 9, 105, 23, 4, 3, 426, 3, 1};
    for (int i = 0; i < 3000; ++i) {
        const size_t pick = random() % sizeof ids;
        std::vector<u8> m(random() % 4 ? sizes[pick] : 1 + random() % 64);
        for (u8& b : m) b = u8(random() % 4 ? random() % 3 : random());
        m[0] = ids[pick];
        if (m[0] == 8) continue;  // a ready would only start a game
        (random() % 2 ? mallory.data : mallory.game)->Send(m);
        if (i % 500 == 0) {
            EXPECT_LT(owner.PingMs(), kStalledMs);
        }
    }
    EXPECT_LT(owner.PingMs(), kStalledMs);
    owner.game->Pump();
    for (const auto& m : owner.game->got)
        if (m[0] == 1 && m.size() >= 27) {
            EXPECT_NE(GetU16(m.data() + 25), other) << "the owner's row was changed";
        }
    owner.game->got.clear();
    EXPECT_EQ(server.SeatsUsed(0), 2u);

    // A frame longer than any message cuts the sender off, seat and all.
    const u8 huge[8] = {0, 0, 0, 0x7F, 1, 0, 0, 0};
    mallory.game->SendRaw(huge, sizeof huge);
    EXPECT_TRUE(WaitUntil([&] { return server.SeatsUsed(0) == 1; }));
    EXPECT_FALSE(owner.game->Await(4).empty()) << "no departure reported";

    // Idle and half-open connections take no seat and go when closed.
    {
        std::vector<std::unique_ptr<Wire>> idle;
        for (int i = 0; i < 8; ++i) idle.push_back(std::make_unique<Wire>(i % 2 ? server.DataPort(0) : server.GamePort(0)));
        idle[1]->Send(Msg(0, 37, {{33, RoomServer::kVersion}}));  // a login on the data port
        idle[3]->Send(Slot16(18, 3, 5));                             // a seat that is nobody's
        EXPECT_TRUE(WaitUntil([&] { return server.Connections(0) >= 10 && server.Dropped() > 0; }));
        EXPECT_EQ(server.SeatsUsed(0), 1u);
    }
    EXPECT_TRUE(WaitUntil([&] { return server.Connections(0) == 2; }));

    // The battle: a guest's battle messages out of line are dropped too.
    Client guest(server, "Guest");
    ASSERT_TRUE(guest.Seated());
    const u16 g = guest.slot;
    owner.game->Send(Msg(8, 5, {{1, 1}}));
    guest.game->Send(Msg(8, 5, {{1, 1}}));
    ASSERT_FALSE(owner.game->Await(7).empty()) << "the game never started";
    ASSERT_FALSE(guest.game->Await(7).empty());
    EXPECT_TRUE(server.BattleRunning(0));
    owner.game->got.clear();
    guest.game->got.clear();
    const std::vector<Hostile> inBattle = {
        {"key state covering no frame", true, Msg(14, 9)},
        {"key state with unused key bits", true, Msg(14, 9, {}, {{5, 0x10}, {8, 1}})},
        {"key state on the game connection", false, Msg(14, 9, {}, {{8, 1}})},
        {"snapshot of an empty row", false, Slot16(5, 20012, 5)},
        {"snapshot one byte short", false, Slot16(5, 20011, g)},
        {"radio voice 10", false, Slot16(17, 4, 10)},
        {"own row in battle", false, PlayerSlot(g, 3, 1, 1, 1)},
        {"ready in battle", false, Msg(8, 5, {{1, 1}})},
        {"settings in battle", false, Settings(2, 1.0f, 5, 0)},
        {"upload in battle", false, Chunk(200, 100, 100)},
        {"return on the game connection", false, Msg(9, 2)},
        {"snapshot outside a repair", false, Slot16(5, 20012, g)},
        {"host block outside a repair", false, Msg(6, 253)},
        {"all data outside a repair", false, Msg(7, 2)},
    };
    ExpectAllDropped(server, guest, owner, inBattle);

    // Both games are set up.
    for (Client* c : {&owner, &guest}) c->game->Send(Msg(10, 2));
    for (Client* c : {&owner, &guest}) {
        for (int n = 0; n < 2; ++n) ASSERT_FALSE(c->game->Await(8).empty());
        c->game->got.clear();
    }
    // The guest found a drift: the server's word opens the repair on both,
    // naming the owner, the first fighter, as its host. Only the owner's
    // data is relayed, stamped with its sender; a guest's forged set is not.
    guest.game->Send(Msg(19, 2));
    for (Client* c : {&owner, &guest}) {
        const std::vector<u8> word = c->game->Await(10);
        ASSERT_EQ(word.size(), 7u);
        EXPECT_EQ(GetU16(word.data() + 1), other);
        EXPECT_EQ(GetU32(word.data() + 3), 0u) << "the run it repairs";
        c->game->got.clear();
    }
    const std::vector<Hostile> inRepair = {
        {"snapshot from a fighter not the host", false, Slot16(5, 20012, g)},
        {"host block from a fighter not the host", false, Msg(6, 253)},
    };
    ExpectAllDropped(server, guest, owner, inRepair);
    owner.game->Send(Msg(6, 253, {{1, 0x01020304u}}));
    owner.game->Send(Slot16(5, 20012, other));
    owner.game->Send(Slot16(5, 20012, g));
    for (u8 id : {12, 11, 11}) {
        const std::vector<u8> relayed = guest.game->Await(id);
        ASSERT_EQ(relayed.size(), id == 12 ? 255u : 20014u);
        EXPECT_EQ(GetU16(relayed.data() + relayed.size() - 2), other) << "the sender of " << int(id);
    }
    guest.game->got.clear();
    // Each confirms once; with both the repair is over, and its host's data
    // is refused again.
    for (Client* c : {&owner, &guest}) c->game->Send(Msg(7, 2));
    for (Client* c : {&owner, &guest}) {
        ASSERT_FALSE(c->game->Await(13).empty());
        ASSERT_FALSE(c->game->Await(13).empty());
        c->game->got.clear();
    }
    ExpectAllDropped(server, owner, guest, {{"the host's snapshot after the repair", false, Slot16(5, 20012, g)}});

    // Losing only the data connection removes the player: the owner hears
    // it left having covered no frame, and the battle goes on for the owner.
    guest.data->Close();
    const std::vector<u8> left = owner.game->Await(4);
    ASSERT_EQ(left.size(), 7u);
    EXPECT_EQ(GetU16(left.data() + 1), g);
    EXPECT_EQ(GetI32(left.data() + 3), -1);
    EXPECT_TRUE(WaitUntil([&] { return guest.game->Pump() == false; })) << "its game connection stayed open";
    EXPECT_EQ(server.SeatsUsed(0), 1u);
    EXPECT_TRUE(server.BattleRunning(0));

    owner.game->Close();
    EXPECT_TRUE(WaitUntil([&] { return server.SeatsUsed(0) == 0 && server.Connections(0) <= 1; }));
    EXPECT_FALSE(server.BattleRunning(0));
}

// A million tiny frames, a player flooding pings it never reads, a player
// that never reads the room's relays and connections that never log in
// holding long frames half sent: the others' pings stay under 100 ms, the
// readers that fall behind are cut off, the half frames are not waited for,
// and the buffers stay bounded.
TEST(RoomServer, StaysResponsiveUnderBurstFloodAndNonReader)
{
    RoomServer server(1, FourSeatRoom());
    ASSERT_TRUE(server.Listening());
    Client owner(server, "Owner");
    ASSERT_TRUE(owner.Seated());
    constexpr u64 kMemoryBound = 100ull << 20;
    u32 worstPing = 0;
    u64 worstBuffered = 0;
    auto watch = [&](const std::function<bool()>& done, u32 ms) {
        const u32 start = plat::TimeGetTime();
        while (!done() && plat::TimeGetTime() - start < ms) {
            worstPing = std::max(worstPing, owner.PingMs());
            worstBuffered = std::max(worstBuffered, server.BufferedBytes());
            owner.game->Pump();
            owner.game->got.clear();
            plat::Sleep(5);
        }
        return done();
    };

    // 1. A million five-byte frames (5 MB) in one burst on a bare connection.
    {
        Wire burst(server.DataPort(0));
        const u64 before = server.Dropped();
        std::atomic<bool> sent{false};
        std::thread sender([&] {
            std::vector<u8> block(5 * 10000);
            for (size_t i = 0; i < block.size(); i += 5) {
                PutU32(block.data() + i, 5);
                block[i + 4] = 12;
            }
            for (int k = 0; k < 100; ++k) burst.SendRaw(block.data(), block.size());
            sent = true;
        });
        EXPECT_TRUE(watch([&] { return server.Dropped() >= before + 1000000; }, 120000)) << "the burst was not read";
        sender.join();
        EXPECT_TRUE(sent);
    }
    EXPECT_LT(worstPing, kStalledMs) << "during the burst";

    // 2. A seated player floods pings and never reads the echoes.
    {
        Client flooder(server, "Flooder");
        ASSERT_TRUE(flooder.Seated());
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            std::vector<u8> block(6 * 4096);
            for (size_t i = 0; i < block.size(); i += 6) {
                PutU32(block.data() + i, 6);
                block[i + 4] = 12;
                block[i + 5] = 0;
            }
            while (!stop && flooder.data->SendRaw(block.data(), block.size())) {
            }
        });
        EXPECT_TRUE(watch([&] { return server.Participants(0) == 1; }, 120000)) << "the flooder was never cut off";
        stop = true;
        flooder.data->Close();
        sender.join();
    }
    EXPECT_LT(worstPing, kStalledMs) << "during the flood";

    // 3. A player that never reads while the owner uploads its pilot's
    // pictures, as fast as a real client may.
    {
        Client sleeper(server, "Sleeper");
        ASSERT_TRUE(sleeper.Seated());
        const u32 start = plat::TimeGetTime();
        for (u16 k = 0; server.Participants(0) == 2 && plat::TimeGetTime() - start < 120000; k = u16((k + 1) % 50)) {
            owner.game->Send(Chunk(u16(100 + k), 200000, 200000));
            worstPing = std::max(worstPing, owner.PingMs());
            worstBuffered = std::max(worstBuffered, server.BufferedBytes());
            owner.game->Pump();
            owner.game->got.clear();
        }
        EXPECT_EQ(server.Participants(0), 1u) << "the sleeper was never cut off";
        // The owner takes the rest of its own upload back.
        EXPECT_TRUE(WaitUntil([&] {
            owner.game->Pump();
            owner.game->got.clear();
            return server.BufferedBytes() < (1u << 20);
        }));
    }
    EXPECT_LT(worstPing, kStalledMs) << "while one player did not read";
    EXPECT_LT(worstBuffered, kMemoryBound);

    // 4. Connections from many addresses, never logged in, each holding a
    // picture-sized frame half sent: nobody before a seat sends more than a
    // login, so none is waited for and none holds memory.
    {
        std::vector<std::unique_ptr<Wire>> holders;
        std::vector<u8> half(100000, 0);
        PutU32(half.data(), 4 + 204800);
        half[4] = 16;
        u64 heldWorst = 0;
        for (u32 i = 0; i < 60; ++i) {
            holders.push_back(std::make_unique<Wire>(i % 2 ? server.DataPort(0) : server.GamePort(0), kLoopback + 10 + i % 20));
            holders.back()->SendRaw(half.data(), half.size());
            heldWorst = std::max(heldWorst, server.BufferedBytes());
        }
        EXPECT_TRUE(WaitUntil([&] { return server.Connections(0) == 2; }, 3000))
            << server.Connections(0) << " connections still held";
        heldWorst = std::max(heldWorst, server.BufferedBytes());
        std::printf("buffers held by 60 half-sent frames before a login: %llu bytes\n", (unsigned long long)heldWorst);
        EXPECT_LT(heldWorst, 2ull << 20);
    }
    EXPECT_FALSE(owner.game->Closed()) << "the reading player was cut off";
}

// A stranger on another address cannot take a newcomer's data connection nor
// speak in its name. One address holding thousands of idle connections keeps
// no more than its share, a player from elsewhere still logs in and is
// answered at once, and the idle ones go soon. A host reconnecting over and
// over writes its allowance of log lines and then one line of how many more.
TEST(RoomServer, StrangersTakeNoSeatAndOneHostFillsNeitherTheRoomNorTheLog)
{
    constexpr u32 kOther = 0x7F000002u, kFlooder = 0x7F000003u;
    FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    RoomServerConfig config = FourSeatRoom();
    config.loginTimeoutMs = 3000;
    config.log = log;
    {
        RoomServer server(1, config);
        ASSERT_TRUE(server.Listening());
        Client owner(server, "Owner");
        ASSERT_TRUE(owner.Seated());

        // Bob's game connection is seated in slot 1; the stranger, on another
        // address, names slot 1 on its data connection first and speaks as Bob.
        Wire bobGame(server.GamePort(0)), bobData(server.DataPort(0));
        Wire stranger(server.DataPort(0), kOther);
        std::vector<u8> login = Msg(0, 37, {{25, 3}, {29, 1}, {33, RoomServer::kVersion}});
        std::memcpy(login.data() + 1, "Bob", 3);
        bobGame.Send(login);
        const std::vector<u8> accepted = bobGame.Await(0);
        ASSERT_GE(accepted.size(), 28u);
        const u16 bob = GetU16(accepted.data() + 25);
        owner.game->Await(1, 200);
        owner.game->got.clear();
        const u64 before = server.Dropped();
        stranger.Send(Slot16(18, 3, bob));
        stranger.Send(Slot16(18, 3, bob));
        EXPECT_TRUE(WaitUntil([&] { return server.Dropped() >= before + 2; })) << "the stranger took the seat";
        // Speaking without a seat: a frame longer than a login ends it.
        std::vector<u8> line = Slot16(15, 105, bob);
        line[3] = 5;
        std::memcpy(line.data() + 5, "mine!", 5);
        stranger.Send(line);
        EXPECT_TRUE(WaitUntil([&] { return !stranger.Pump(); })) << "the stranger still speaks";
        // Bob's own data connection is his, and his line reaches the room.
        bobData.Send(Slot16(18, 3, bob));
        line[3] = 3;
        std::memcpy(line.data() + 5, "hi!", 3);
        bobData.Send(line);
        const std::vector<u8> heard = owner.game->Await(19);
        ASSERT_GE(heard.size(), 8u) << "Bob's line never came";
        EXPECT_EQ(std::string(heard.begin() + 5, heard.begin() + 8), "hi!");
        for (const auto& m : owner.game->got) EXPECT_NE(m[0], 19) << "the stranger spoke";
        owner.game->got.clear();

        // 3,000 connections from one address, never logged in.
        std::vector<plat::SocketId> idle;
        for (int i = 0; i < 3000; ++i) {
            const plat::SocketId s = plat::NetOpenTcp();
            plat::NetConnect(s, kLoopback, i % 2 ? server.DataPort(0) : server.GamePort(0));
            plat::NetWaitWritable(s, 1000);
            idle.push_back(s);
        }
        // The server is through them once a ping from this address is answered.
        EXPECT_LT(owner.PingMs(), kStalledMs);
        const u32 held = server.Connections(0) - 1;  // the stranger's
        std::printf("connections held by one address: %u of 3000 tried\n", held);
        EXPECT_LE(held, config.connectionsPerAddress);
        Client carol(server, "Carol", kOther);
        ASSERT_TRUE(carol.Seated()) << "a player from another address was shut out";
        const u32 ping = carol.PingMs();
        std::printf("a ping from another address while one holds its cap: %u ms\n", ping);
        EXPECT_LT(ping, kStalledMs);
        // The ones that never logged in go soon; the players stay.
        EXPECT_TRUE(WaitUntil([&] { return server.Connections(0) == 6; })) << server.Connections(0);
        for (plat::SocketId s : idle) plat::NetClose(s);

        // A host reconnecting 400 times flat out, each time with a message
        // that is dropped: three lines each, unbounded.
        for (int i = 0; i < 400; ++i) {
            Wire w(server.DataPort(0), kFlooder);
            w.Send(Msg(99, 3));
        }
        EXPECT_LT(owner.PingMs(), kStalledMs);
    }
    std::rewind(log);
    u32 lines = 0, flooderLines = 0, summaries = 0;
    char text[512];
    while (std::fgets(text, sizeof text, log)) {
        ++lines;
        flooderLines += std::strstr(text, "127.0.0.3") != nullptr;
        summaries += std::strstr(text, "not logged") != nullptr && std::strstr(text, "address 127.0.0.3") != nullptr;
    }
    std::fclose(log);
    std::printf("log lines: %u (%u naming the reconnecting host)\n", lines, flooderLines);
    // Within the minute: each address its allowance and a line for the rest.
    EXPECT_LE(lines, 3 * (config.logLinesPerAddress + 1));
    EXPECT_EQ(summaries, 1u);
}

// Options out of their ranges are refused like a sixth room, good ones are
// taken as given; and each server start draws its own start values.
TEST(RoomServer, OptionsOutOfRangeAreRefusedAndEachStartDrawsItsOwnValues)
{
    struct Case {
        std::vector<const char*> args;
        int code;
        const char* says = nullptr;  // what the refusal must name
    };
    const std::vector<Case> cases = {
        {{"--rooms", "6"}, 2, "--rooms 6 is out of range: 1..5"},
        {{"--capacity", "0"}, 2, "--capacity 0 is out of range: 2..10"},
        {{"--capacity", "99"}, 2},
        {{"--capacity", "11"}, 2, "--capacity 11 is out of range: 2..10"},
        {{"--rule", "9"}, 2, "--rule 9 is out of range: 0..4"},
        {{"--rule", "-1"}, 2},
        {{"--rule", "x"}, 2},
        {{"--seconds", "-1"}, 2, "--seconds -1 is out of range: 0..2592000"},
        {{"--capacity"}, 2},
        {{"--seconds", "4294968"}, 2},
        {{"--seconds", "99999999999999999999"}, 2},
        {{"--capacity", "1"}, 2, "--capacity 1 is out of range: 2..10 (1 only with --rule 2"},
        {{"--capacity", "1", "--rule", "4"}, 2, "--capacity 1 is out of range: 2..10"},
        {{"--capacity", "0", "--rule", "2"}, 2, "--capacity 0 is out of range: 1..10"},
        {{"--seat-timeout", "9"}, 2, "--seat-timeout 9 is out of range: 10..600"},
        {{"--seat-timeout", "601"}, 2},
        {{"--data-base", "65531"}, 2, "--data-base 65531 is out of range: 0..65530"},
        {{"--capacity", "1", "--rule", "2", "--seconds", "2592000"}, -1},
        {{"--capacity", "10", "--rule", "4", "--rooms", "1", "--seat-timeout", "30"}, -1},
    };
    for (const Case& c : cases) {
        FILE* errors = std::tmpfile();
        ASSERT_NE(errors, nullptr);
        std::vector<const char*> argv = {"quillon_roomserver"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ServerOptions options;
        EXPECT_EQ(ParseServerOptions(int(argv.size()), argv.data(), &options, errors), c.code) << c.args[0];
        if (c.code < 0 && c.args.size() > 6) {
            EXPECT_EQ(options.config.capacity, 10u);
            EXPECT_EQ(options.config.rule, 4);
            EXPECT_EQ(options.rooms, 1);
            EXPECT_EQ(options.config.seatTimeoutMs, 30000u);
        }
        if (c.says) {
            char said[512] = {};
            std::rewind(errors);
            said[std::fread(said, 1, sizeof said - 1, errors)] = 0;
            EXPECT_NE(std::strstr(said, c.says), nullptr) << c.args[0] << " " << c.args[1] << " said: " << said;
        }
        std::fclose(errors);
    }

    std::vector<u32> starts;
    for (int i = 0; i < 2; ++i) {
        RoomServer server(1, FourSeatRoom());
        Client owner(server, "Owner");
        ASSERT_TRUE(owner.Seated());
        owner.game->Send(PlayerSlot(1, 1000, 1, 2, 0));  // a computer to fight
        owner.game->Send(Msg(8, 5, {{1, 1}}));
        ASSERT_FALSE(owner.game->Await(7).empty());
        starts.push_back(server.StartValue(0));
        plat::Sleep(5);
    }
    EXPECT_NE(starts[0], starts[1]) << "two server starts drew the same start value";
}

// A battle decided on its first frame never starts: everyone is ready, but
// with nobody to fight the room waits and is told why. A computer row, a
// second squad or the interception rule's waves are an opponent; random
// squads are drawn so that one stays.
TEST(RoomServer, ReadyStartsABattleOnlyAgainstAnOpponent)
{
    struct Case {
        const char* what;
        u8 rule;
        u32 ownerTeam;
        int guestTeam;     // -1: alone
        int computerTeam;  // -1: no computer row
        bool starts;
        int tries;
        const char* line = nullptr;  // what the server says when nothing starts
    };
    const char* const wait = "没有对手，请等待其他玩家或电脑加入";
    const char* const move = "所有机体都在同一小队，请把一台机体换到其他小队";
    const Case cases[] = {
        {"alone", 0, 0, -1, -1, false, 1, wait},
        {"alone in the time rule", 1, 0, -1, -1, false, 1, wait},
        {"two in one squad", 0, 3, 3, -1, false, 1, move},
        {"alone with a computer in the own squad", 0, 0, -1, 0, false, 1, move},
        {"one fighting, one watching", 3, 0, 100, -1, false, 1, wait},
        {"alone against a computer", 0, 0, -1, 1, true, 1},
        {"two in two squads", 4, 0, 1, -1, true, 1},
        {"alone defending in the interception rule", 2, 0, -1, -1, true, 1},
        {"alone, not in the defending squad", 2, 4, -1, -1, false, 1, "破袭战需要小队 0 的机体防守"},
        // Half of the draws would put both in one of the two squads.
        {"two on random squads of the team rule", 3, 50, 50, -1, true, 6},
    };
    for (const Case& c : cases)
        for (int t = 0; t < c.tries; ++t) {
            RoomServerConfig config = FourSeatRoom();
            config.rule = c.rule;
            RoomServer server(1, config);
            Client owner(server, "Owner");
            ASSERT_TRUE(owner.Seated()) << c.what;
            std::unique_ptr<Client> guest;
            if (c.guestTeam >= 0) {
                guest = std::make_unique<Client>(server, "Guest");
                ASSERT_TRUE(guest->Seated()) << c.what;
                guest->game->Send(PlayerSlot(guest->slot, 1000, u32(c.guestTeam), 1, 0));
                guest->game->Send(Msg(8, 5, {{1, 1}}));
            }
            owner.game->Send(PlayerSlot(owner.slot, 1000, c.ownerTeam, 1, 0));
            if (c.computerTeam >= 0) owner.game->Send(PlayerSlot(3, 1000, u32(c.computerTeam), 2, 0));
            owner.game->Send(Msg(8, 5, {{1, 1}}));
            if (!c.starts) {
                const std::vector<u8> notice = owner.game->Await(19);
                ASSERT_GE(notice.size(), 6u) << c.what << ": nobody was told why nothing starts";
                EXPECT_EQ(notice[3], 10) << c.what << ": the notice is the server's own line";
                EXPECT_STREQ(reinterpret_cast<const char*>(notice.data() + 5), c.line) << c.what;
                EXPECT_TRUE(owner.game->Await(7, 300).empty()) << c.what << ": a battle without an opponent";
                EXPECT_FALSE(server.BattleRunning(0)) << c.what;
                continue;
            }
            ASSERT_FALSE(owner.game->Await(7).empty()) << c.what << ": the battle never started";
            // The rows as the battle takes them, random squads drawn.
            std::map<u16, u32> teams;
            for (const auto& m : owner.game->got)
                if (m[0] == 1 && m.size() == 52 && GetU32(m.data() + 35) == 1) teams[GetU16(m.data() + 25)] = GetU32(m.data() + 31);
            std::set<u32> squads;
            for (const auto& [slot, team] : teams) squads.insert(team);
            if (c.rule == 2) EXPECT_TRUE(squads.count(0)) << c.what;
            else EXPECT_GE(squads.size(), 2u) << c.what << ": one squad alone";
        }
}

// In a battle, room traffic (rows, readiness, colours, settings, uploads,
// parts) from one who went back to the room reaches the room only: a
// fighter's game gets none of it, so nothing can change its battle under
// it. Chat, ping reports and levels reach both; battle traffic the fighters
// only. A fighter coming back gets the rows and settings as they are now.
TEST(RoomServer, RoomTrafficNeverReachesAFighterWhoGetsTheRoomOnReturn)
{
    RoomServer server(1, FourSeatRoom());
    Client fighter(server, "Fighter"), reader(server, "Reader"), returner(server, "Returner"), marker(server, "Marker");
    ASSERT_TRUE(fighter.Seated() && reader.Seated() && returner.Seated() && marker.Seated());
    fighter.game->Send(PlayerSlot(fighter.slot, 3, 1, 1, 1));
    for (Client* c : {&fighter, &reader, &returner, &marker}) c->game->Send(Msg(8, 5, {{1, 1}}));
    ASSERT_FALSE(reader.game->Await(7).empty()) << "the battle never started";
    // Two go back to the room; the others fight on.
    for (Client* c : {&returner, &marker}) c->data->Send(Msg(9, 2));
    ASSERT_TRUE(WaitUntil([&] {
        int back = 0;
        for (const auto& m : server.Received(0)) back += m[0] == 9;
        return back == 2;
    }));
    ASSERT_TRUE(server.BattleRunning(0));
    for (Client* c : {&fighter, &reader, &returner, &marker}) {
        c->game->Pump();
        c->game->got.clear();
    }

    struct Case {
        const char* what;
        bool fromFighter;
        bool onData;
        std::vector<u8> message;
        u8 relay;         // what the readers may get
        bool toFighter;   // the reader in the battle
        bool toRoom;      // the marker, back in the room
    };
    const u16 f = fighter.slot, r = returner.slot;
    auto chat = [](u16 slot) {
        std::vector<u8> m = Slot16(15, 105, slot);
        m[3] = 2;
        m[5] = 'h', m[6] = 'i';
        return m;
    };
    const std::vector<Case> cases = {
        {"an equipped part from the room", false, false, Msg(20, 426, {{3, 1}, {7, 414}}), 22, false, true},
        {"a row from the room", false, false, PlayerSlot(r, 7, 1, 1, 1), 1, false, true},
        {"settings from the room", false, false, Settings(9, 2.0f, 7, 1), 6, false, true},
        {"a pilot's picture from the room", false, false, Chunk(100, 5000, 5000), 20, false, true},
        {"a colour set from the room", false, false, [&] { auto m = Slot16(2, 4, r); m[3] = 3; return m; }(), 2, false, true},
        {"ready from the room", false, false, Msg(8, 5, {{1, 1}}), 1, false, true},
        {"chat from the room", false, true, chat(r), 19, true, true},
        {"a ping report from the room", false, true, Msg(11, 4, {}, {{2, 9}}), 16, true, true},
        {"a level from the room", false, false, [&] { auto m = Slot16(3, 7, r); PutU32(m.data() + 3, 4); return m; }(), 3, true, true},
        {"a key state from the room", false, true, Msg(14, 9, {}, {{8, 1}}), 15, false, false},
        {"a key state from the battle", true, true, Msg(14, 9, {}, {{8, 1}}), 15, true, false},
        {"a radio call from the battle", true, false, Slot16(17, 4, 2), 21, true, false},
        {"chat from the battle", true, true, chat(f), 19, true, true},
        {"a ping report from the battle", true, true, Msg(11, 4, {}, {{1, 60}}), 16, true, true},
        {"an equipped part from the battle", true, false, Msg(20, 426, {{3, 1}, {7, 414}}), 22, false, false},
        {"settings from the battle", true, false, Settings(3, 1.0f, 5, 0), 6, false, false},
    };
    std::vector<u8> end = chat(marker.slot);
    end[5] = '#';
    for (const Case& c : cases) {
        Client& sender = c.fromFighter ? fighter : returner;
        const u64 dropped = server.Dropped();
        const size_t handled = server.Received(0).size();
        (c.onData ? sender.data : sender.game)->Send(c.message);
        ASSERT_TRUE(WaitUntil([&] { return server.Dropped() > dropped || server.Received(0).size() > handled; }))
            << c.what;
        // The marker's line comes after whatever the message made the server send.
        marker.data->Send(end);
        auto isEnd = [](const std::vector<u8>& m) { return m[0] == 19 && m.size() > 5 && m[5] == '#'; };
        for (auto [who, expected] : {std::pair{&reader, c.toFighter}, {&marker, c.toRoom}}) {
            ASSERT_TRUE(WaitUntil([&] {
                who->game->Pump();
                return std::any_of(who->game->got.begin(), who->game->got.end(), isEnd);
            })) << c.what << ": no end marker";
            int relays = 0;
            for (const auto& m : who->game->got) relays += m[0] == c.relay && !isEnd(m);
            EXPECT_EQ(relays, expected ? 1 : 0) << c.what << (who == &reader ? ", to the fighter" : ", to the room");
            who->game->got.clear();
        }
    }

    // The fighter comes back: it hears the returner's new row and the new
    // settings, as the room has them, without anyone sending them again.
    fighter.data->Send(Msg(9, 2));
    const std::vector<u8> settings = fighter.game->Await(6);
    ASSERT_EQ(settings.size(), 37u) << "no settings on return";
    EXPECT_EQ(GetU32(settings.data() + 5), 9u) << "the settings changed meanwhile";
    bool row = false;
    for (const auto& m : fighter.game->got)
        if (m[0] == 1 && m.size() == 52 && GetU16(m.data() + 25) == r) row = GetU32(m.data() + 27) == 7;
    EXPECT_TRUE(row) << "the returner's new robot never reached the fighter";
}

// One player floods each kind of message that makes the server relay, far
// beyond what a real client sends, while a player in the room reads nothing
// (as a game reading its share each frame would fall behind): the reader is
// never cut off, it gets at most about twice a real client's worth, the
// flood is dropped, and the flooder's own connection stays.
TEST(RoomServer, AFloodingSenderIsHeldToItsRateAndNoReaderIsCutOff)
{
    RoomServer server(1, FourSeatRoom());
    Client flooder(server, "Flooder"), reader(server, "Reader");
    ASSERT_TRUE(flooder.Seated() && reader.Seated());
    reader.game->Await(1, 200);
    reader.game->got.clear();
    struct Case {
        const char* what;
        bool onData;
        std::vector<u8> message;
        u8 relay;
        // What a real client sends at most: a burst, then per second.
        u32 realBurst, realPerSecond;
    };
    std::vector<u8> line = Slot16(15, 105, flooder.slot);
    line[3] = 99;
    std::memset(line.data() + 5, 'x', 99);
    const std::vector<Case> cases = {
        {"chat", true, line, 19, 10, 1},
        {"ping reports", true, Msg(11, 4), 16, 4, 1},
        {"settings", false, Settings(2, 1.0f, 5, 0), 6, 10, 3},
        {"rows", false, PlayerSlot(flooder.slot, 3, 1, 1, 1), 1, 10, 3},
        {"parts", false, Msg(20, 426, {{3, 1}, {7, 414}}), 22, 4, 2},
        {"text lines", false, Chunk(200, 100, 100), 20, 120, 60},
    };
    for (const Case& c : cases) {
        // Enough that the relays would bury the reader 1.5 times over.
        const u32 n = u32((6u << 20) / (c.message.size() + 8));
        std::vector<u8> block;
        for (u32 i = 0; i < n; ++i) {
            const size_t at = block.size();
            block.resize(at + 4 + c.message.size());
            PutU32(block.data() + at, u32(4 + c.message.size()));
            std::memcpy(block.data() + at + 4, c.message.data(), c.message.size());
        }
        const u64 dropped = server.Dropped();
        const size_t handled = server.Received(0).size();
        const u32 start = plat::TimeGetTime();
        ASSERT_TRUE((c.onData ? flooder.data : flooder.game)->SendRaw(block.data(), block.size())) << c.what;
        EXPECT_TRUE(WaitUntil([&] { return server.Dropped() - dropped + server.Received(0).size() - handled >= n; }, 60000))
            << c.what << ": the flood was not read";
        const u32 seconds = (plat::TimeGetTime() - start) / 1000 + 1;
        EXPECT_TRUE(reader.game->Pump()) << c.what << ": the reader was cut off";
        EXPECT_TRUE(flooder.game->Pump() && flooder.data->Pump()) << c.what << ": the flooder was cut off, not held back";
        u32 relays = 0;
        for (const auto& m : reader.game->got) relays += m[0] == c.relay;
        reader.game->got.clear();
        flooder.game->got.clear();
        std::printf("%s: %u sent, %u relayed in %u s\n", c.what, n, relays, seconds);
        EXPECT_GE(relays, 1u) << c.what;
        EXPECT_LE(relays, 2 * (c.realBurst + c.realPerSecond * seconds)) << c.what;
    }
}

// A pilot uploads its whole allowance at once while two players read the
// room on lines of 1,000 KB/s: both get every chunk in order at their own
// pace and neither is cut off; their pings, and the chat lines relayed to
// them on the line the upload fills, stay under a second; the server holds
// one copy, its memory bounded. An idle server of five rooms waits instead
// of turning.
TEST(RoomServer, AFullUploadReachesSlowReadersWholeAndNothingUrgentWaitsBehindIt)
{
    RoomServer server(5, FourSeatRoom());
    ASSERT_TRUE(server.Listening());
    {
        const u64 turns = server.Turns();
        const u32 start = plat::TimeGetTime();
        plat::Sleep(1000);
        const u64 taken = server.Turns() - turns;
        std::printf("an idle server took %llu turns in %u ms\n", (unsigned long long)taken, plat::TimeGetTime() - start);
        EXPECT_LE(taken, 10 + (plat::TimeGetTime() - start) / 20) << "the idle server turns without waiting";
    }
    constexpr u32 kChunks = 140, kChunkBytes = 200000, kBytesPerMs = 1000;
    Client pilot(server, "Pilot");
    std::vector<std::unique_ptr<Client>> readers;
    for (const char* name : {"Slow", "Slower"}) {
        readers.push_back(std::make_unique<Client>(server, name, 0, 64 << 10));
        ASSERT_TRUE(readers.back()->Seated());
    }
    ASSERT_TRUE(pilot.Seated());
    std::atomic<bool> stop{false};
    std::atomic<u32> worstChat{0};
    struct Tally {
        std::atomic<u32> chunks{0};
        std::atomic<bool> inOrder{true}, cut{false};
        std::atomic<u32> cutAfter{0};  // ms from the upload's start
    } tallies[2];
    const u32 start = plat::TimeGetTime();
    // Each reader takes its line's worth as time goes, never more.
    std::vector<std::thread> readingThreads;
    for (int r = 0; r < 2; ++r)
        readingThreads.emplace_back([&, r] {
            Wire& line = *readers[r]->game;
            u64 taken = 0;
            while (!stop && !tallies[r].cut) {
                const u64 due = u64(plat::TimeGetTime() - start) * kBytesPerMs;
                if (!line.Pump(size_t(std::min<u64>(due - std::min(due, taken), 1u << 20)))) {
                    tallies[r].cutAfter = plat::TimeGetTime() - start;
                    tallies[r].cut = true;
                }
                for (const auto& m : line.got) {
                    taken += m.size() + 4;
                    if (m[0] == 20 && m.size() == 9 + kChunkBytes) {
                        if (GetU16(m.data() + 3) != 100 + tallies[r].chunks % 50) tallies[r].inOrder = false;
                        ++tallies[r].chunks;
                    } else if (m[0] == 19 && m.size() > 6) {
                        const u32 sent = u32(std::strtoul(reinterpret_cast<const char*>(m.data() + 5), nullptr, 10));
                        const u32 late = plat::TimeGetTime() - sent;
                        if (late > worstChat) worstChat = late;
                    }
                }
                line.got.clear();
                plat::Sleep(5);
            }
        });
    // The pilot's own line is fast: it gets its upload back as it sends.
    readingThreads.emplace_back([&] {
        while (!stop) {
            pilot.game->Pump();
            pilot.game->got.clear();
            plat::Sleep(2);
        }
    });
    std::atomic<bool> uploaded{false};
    std::thread uploader([&] {
        for (u32 k = 0; k < kChunks && !stop; ++k) pilot.game->Send(Chunk(u16(100 + k % 50), kChunkBytes, kChunkBytes));
        uploaded = true;
    });
    u32 worstPing = 0, chatAt = 0;
    u64 worstBuffered = 0;
    auto done = [&] {
        for (const Tally& t : tallies)
            if (t.cut || t.chunks < kChunks) return t.cut.load();
        return true;
    };
    while (!done() && plat::TimeGetTime() - start < 180000) {
        for (int r = 0; r < 2; ++r)
            if (!tallies[r].cut) worstPing = std::max(worstPing, readers[r]->PingMs());
        pilot.PingMs();
        worstBuffered = std::max(worstBuffered, server.BufferedBytes());
        if (plat::TimeGetTime() - chatAt >= 600) {
            chatAt = plat::TimeGetTime();
            std::vector<u8> line = Slot16(15, 105, pilot.slot);
            const int n = std::snprintf(reinterpret_cast<char*>(line.data() + 5), 99, "%u", chatAt);
            line[3] = u8(n);
            pilot.data->Send(line);
        }
        plat::Sleep(100);
    }
    const u32 took = plat::TimeGetTime() - start;
    stop = true;
    uploader.join();
    for (auto& t : readingThreads) t.join();
    std::printf("%u chunks to two readers at %u KB/s in %u ms: %u and %u arrived, cut after %u and %u ms (0: "
                "never); worst ping %u ms, worst chat %u ms, at most %llu bytes buffered\n",
                kChunks, kBytesPerMs, took, tallies[0].chunks.load(), tallies[1].chunks.load(),
                tallies[0].cutAfter.load(), tallies[1].cutAfter.load(), worstPing, worstChat.load(),
                (unsigned long long)worstBuffered);
    EXPECT_TRUE(uploaded) << "the upload was never taken";
    for (const Tally& t : tallies) {
        EXPECT_FALSE(t.cut) << "a reader at its line's pace was cut off";
        EXPECT_EQ(t.chunks, kChunks);
        EXPECT_TRUE(t.inOrder);
    }
    EXPECT_LT(worstPing, 1000u);
    EXPECT_GT(worstChat, 0u) << "no chat line came through";
    EXPECT_LT(worstChat, 1000u) << "a chat line waited behind the upload";
    EXPECT_LT(worstBuffered, 40ull << 20) << "the room held the upload more than once";
    EXPECT_EQ(server.Participants(0), 3u);
}

// A seated player whose link went quiet (no close ever comes) is let go as a
// departure once nothing was heard from it for the seat timeout; one that
// keeps pinging stays.
TEST(RoomServer, ASilentPlayerIsLetGoAsADeparture)
{
    RoomServerConfig config = FourSeatRoom();
    config.seatTimeoutMs = 1500;
    RoomServer server(1, config);
    Client talker(server, "Talker"), silent(server, "Silent");
    ASSERT_TRUE(talker.Seated() && silent.Seated());
    const u32 start = plat::TimeGetTime();
    const std::vector<u8> left = AwaitWhileHeard(talker, 4, {&talker}, 30000, 50);
    ASSERT_EQ(left.size(), 7u) << "the silent player kept its seat";
    EXPECT_EQ(GetU16(left.data() + 1), silent.slot);
    EXPECT_GE(plat::TimeGetTime() - start, config.seatTimeoutMs - 100);
    EXPECT_TRUE(WaitUntil([&] { return !silent.game->Pump() && !silent.data->Pump(); })) << "its connections stayed";
    EXPECT_EQ(server.Participants(0), 1u) << "the talker was let go too";
}

namespace {

// A fighter's part of a repair set: the team arrays, or one robot's block.
std::vector<u8> HostBlock() { return Msg(6, 253); }
std::vector<u8> RobotBlock(u16 slot) { return Slot16(5, 20012, slot); }
std::vector<u8> Verdict(u8 refused) { return Msg(7, 2, {}, {{1, refused}}); }
std::vector<u8> Request(u8 suspect = 0xFF) { return Msg(19, 2, {}, {{1, suspect}}); }
std::vector<u8> Keys(u32 frame, u8 count) { return Msg(14, 9, {{1, frame}}, {{8, count}}); }

}  // namespace

// No room member can stall, split or endlessly repair a battle, as the
// server sees it: only a fighter opens a repair, once every game is set up;
// a confirmation counts only after the host's whole set went out; a set a
// majority refuses passes to the next host for the same run, one refused by
// a minority sends them back; a host whose set is not whole in time is
// replaced, and one replaced twice leaves the battle; key states go only
// for their sender's next frame and not far ahead of the others; and after
// the battle's repairs a fighter the others find drifting leaves.
TEST(RoomServer, NoMemberStallsSplitsOrEndlesslyRepairsABattle)
{
    RoomServerConfig config = FourSeatRoom();
    config.capacity = 5;
    config.repairSetWaitMs = 2000;
    config.repairVerdictWaitMs = 60000;
    RoomServer server(1, config);
    Client a(server, "Alice"), b(server, "Bob"), c(server, "Carol"), d(server, "Dave"), s(server, "Sam");
    Client* all[] = {&a, &b, &c, &d, &s};
    ASSERT_NO_FATAL_FAILURE(StartBattle(all, {0, 1, 0, 1, 100}));

    // Sent by `from`, dropped by the server.
    auto dropped = [&](Client& from, const std::vector<u8>& m, const char* what, bool data = false) {
        const u64 before = server.Dropped();
        (data ? from.data : from.game)->Send(m);
        EXPECT_TRUE(WaitUntil([&] { return server.Dropped() > before; })) << what << " was taken";
    };
    // The next repair word a client hears: its host and run.
    auto word = [&](Client& k) {
        const std::vector<u8> w = k.game->Await(10, 10000);
        return w.size() == 7 ? std::pair<int, int>(GetU16(w.data() + 1), int(GetU32(w.data() + 3)))
                             : std::pair<int, int>(-1, -1);
    };
    // A whole set, relayed before anyone gives a verdict on it, as a game
    // gives one only on the set it has.
    auto wholeSet = [&](Client& host) {
        host.game->Send(HostBlock());
        for (Client* k : all) host.game->Send(RobotBlock(k->slot));
        for (int n = 0; n < 5; ++n) ASSERT_FALSE(s.game->Await(11).empty());
    };
    auto expectNoWord = [&](const char* what) {
        // A ping report after it is relayed: nothing came before it.
        ASSERT_TRUE(MarkerRelayed(b, s));
        for (const auto& m : s.game->got) EXPECT_NE(m[0], 10) << what << " opened a repair";
        s.game->got.clear();
    };

    // While any game is still setting up, and from a spectator ever, a
    // request opens nothing: the word would reach a game still loading.
    dropped(a, Request(), "a request while nobody is loaded");
    for (Client* k : {&a, &b, &c, &s}) k->game->Send(Msg(10, 2));
    ASSERT_FALSE(d.game->Await(8).empty());
    dropped(b, Request(), "a request while one game still loads");
    d.game->Send(Msg(10, 2));
    dropped(s, Request(), "a spectator's request");
    expectNoWord("a request before every game was set up");

    // Key states go for their sender's next frame only, and not so far ahead
    // of the slowest fighter that the others' queues would fill.
    a.data->Send(Keys(0, 1));
    ASSERT_FALSE(b.game->Await(15).empty());
    dropped(a, Keys(5, 1), "a key state past its sender's next frame", true);
    dropped(a, Keys(0, 1), "a key state of a frame covered already", true);
    a.data->Send(Keys(1, 255));
    ASSERT_FALSE(b.game->Await(15).empty());
    dropped(a, Keys(256, 100), "a key state far ahead of the others", true);
    b.game->got.clear();

    // A repair: a confirmation before the host's whole set is dropped.
    c.game->Send(Request(u8(b.slot)));
    for (Client* k : all) EXPECT_EQ(word(*k), std::make_pair(int(a.slot), 0));
    dropped(b, Verdict(0), "a confirmation before any of the set");
    // A game that ran on into the frame the repair abandons sends its key
    // state: the others have the word already and would take it as the
    // repaired run's first.
    dropped(b, Keys(0, 1), "a key state of the run under repair", true);
    a.game->Send(HostBlock());
    for (Client* k : {&a, &b, &c}) a.game->Send(RobotBlock(k->slot));
    for (int n = 0; n < 3; ++n) ASSERT_FALSE(s.game->Await(11).empty());
    dropped(b, Verdict(0), "a confirmation before the set was whole");
    dropped(a, RobotBlock(a.slot), "a block twice in one set");
    a.game->Send(RobotBlock(d.slot));
    ASSERT_FALSE(s.game->Await(11).empty());
    // The spectator's robot stands in the battle too: the set holds its block.
    dropped(b, Verdict(0), "a confirmation before the spectator's robot's block");
    a.game->Send(RobotBlock(s.slot));
    ASSERT_FALSE(s.game->Await(11).empty());
    // Half refuse it: the next fighter hosts the same run.
    b.game->Send(Verdict(0));
    ASSERT_FALSE(s.game->Await(13).empty()) << "a confirmation after the whole set";
    c.game->Send(Verdict(1));
    d.game->Send(Verdict(1));
    a.game->Send(Verdict(0));
    for (Client* k : all) EXPECT_EQ(word(*k), std::make_pair(int(b.slot), 0)) << "the next host";
    // Its set is taken by all but one, which goes back to the room.
    wholeSet(b);
    for (Client* k : {&a, &b, &c}) k->game->Send(Verdict(0));
    d.game->Send(Verdict(1));
    ExpectSentBack(s, d);
    // The repair is over: the new run's first frame goes.
    b.data->Send(Keys(0, 1));
    ASSERT_FALSE(s.game->Await(15).empty()) << "the repaired run's first key state";

    // The next repair: its host sends part of a set and is replaced after
    // the wait; it was replaced once already, so it leaves the battle.
    b.game->Send(Request());
    EXPECT_EQ(word(s), std::make_pair(int(a.slot), 1));
    a.game->Send(HostBlock());
    a.game->Send(RobotBlock(a.slot));
    ASSERT_FALSE(s.game->Await(11).empty());
    ExpectSentBack(s, a);
    EXPECT_EQ(word(s), std::make_pair(int(b.slot), 1));
    wholeSet(b);
    dropped(a, Verdict(0), "a confirmation from one sent back to the room");
    for (Client* k : {&b, &c}) k->game->Send(Verdict(0));
    for (int n = 0; n < 2; ++n) ASSERT_FALSE(s.game->Await(13).empty());

    // Six repairs in a battle at most: then a request opens none, and the
    // fighter another finds drifting goes back to the room.
    for (int run = 2; run < 6; ++run) {
        c.game->Send(Request());
        ASSERT_EQ(word(s), std::make_pair(int(b.slot), run));
        wholeSet(b);
        for (Client* k : {&b, &c}) k->game->Send(Verdict(0));
        for (int n = 0; n < 2; ++n) ASSERT_FALSE(s.game->Await(13).empty());
    }
    dropped(c, Request(), "a request past the battle's repairs");
    expectNoWord("a request past the battle's repairs");
    c.game->Send(Request(u8(b.slot)));
    ExpectSentBack(s, b);
    EXPECT_TRUE(server.BattleRunning(0));
}

// A fighter that stays connected (its pings keep its seat) but sends no key
// state for its next frame while another's are ahead holds the other games:
// past the bound it goes back to the room at its last covered frame, and the
// other plays on. Not while a game still loads, nor while the fighters are
// level, nor a spectator, who sends none.
TEST(RoomServer, AFighterHoldingTheOthersWithoutKeyStatesGoesBack)
{
    RoomServerConfig config = FourSeatRoom();
    config.battleSilenceMs = 1500;
    RoomServer server(1, config);
    Client a(server, "Alice"), b(server, "Bob"), s(server, "Sam");
    Client* all[] = {&a, &b, &s};
    ASSERT_NO_FATAL_FAILURE(StartBattle(all, {0, 1, 100}));

    // Everyone pings for twice the bound, as a game does; two ping reports
    // relayed after that (so the server's turns of that time are over) and
    // no return before them.
    auto nobodySentBack = [&](const char* what) {
        EXPECT_TRUE(AwaitWhileHeard(s, 9, {&a, &b, &s}, 2 * config.battleSilenceMs).empty()) << what;
        for (int n = 0; n < 2; ++n) ASSERT_TRUE(MarkerRelayed(a, s));
        for (const auto& m : s.game->got) EXPECT_NE(m[0], 9) << what;
        s.game->got.clear();
    };

    // Alice runs ahead while Bob's game still loads.
    a.data->Send(Keys(0, 20));
    ASSERT_FALSE(s.game->Await(15).empty());
    for (Client* k : {&a, &s}) k->game->Send(Msg(10, 2));
    nobodySentBack("a fighter went back while a game loaded");
    // Loaded and level with Alice: nobody is held.
    b.game->Send(Msg(10, 2));
    b.data->Send(Keys(0, 20));
    ASSERT_FALSE(s.game->Await(15).empty());
    nobodySentBack("a fighter went back while both were level");

    // Alice's key states go ahead; Bob keeps pinging but sends none. His
    // last key state is long past: the bound counts from when he held her.
    const u32 ahead = plat::TimeGetTime();
    a.data->Send(Keys(20, 5));
    ASSERT_FALSE(s.game->Await(15).empty());
    const std::vector<u8> gone = AwaitWhileHeard(s, 9, {&b}, 30000);
    ASSERT_EQ(gone.size(), 7u) << "the fighter holding the battle stayed in it";
    EXPECT_EQ(GetU16(gone.data() + 1), b.slot);
    EXPECT_EQ(GetI32(gone.data() + 3), 19) << "not at the last frame his key states covered";
    EXPECT_GE(plat::TimeGetTime() - ahead, config.battleSilenceMs - 50) << "sent back before the bound";
    ExpectSentBack(b, b);
    // Alice plays on alone.
    a.data->Send(Keys(25, 5));
    const std::vector<u8> keys = s.game->Await(15);
    ASSERT_EQ(keys.size(), 10u) << "Alice's key states stopped";
    EXPECT_EQ(keys[1], a.slot);
    EXPECT_EQ(GetU32(keys.data() + 2), 25u);
    for (const auto& m : s.game->got) EXPECT_NE(m[0], 9) << "another went back";
    EXPECT_TRUE(server.BattleRunning(0));
}
