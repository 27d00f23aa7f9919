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

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/core/ByteOrder.h"
#include "platform/core/Time.h"
#include "platform/net/Socket.h"
#include "roomserver/RoomServer.h"
#include "roomserver/ServerOptions.h"

namespace {

constexpr u32 kLoopback = 0x7F000001u;
// How long a wait for what must come may last: only a hang gets that far,
// never a busy machine.
constexpr u32 kHangMs = 60000;
// A ping slower than this means a server that stopped serving the others,
// not one that serves them on a busy machine.
constexpr u32 kStalledMs = 5000;

// A non-blocking socket bound to a loopback address of its own: the game
// never picks its side's address, so the test makes it here.
plat::SocketId SocketFrom(u32 ip)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ip);
    if (s >= 0 && ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return plat::InvalidSocket;
    }
    return s;
}

// One raw TCP connection speaking the frame format: a u32 total length,
// itself included, then the message.
class Wire {
public:
    // From another loopback address when `from` is given, as another host.
    explicit Wire(u16 port, u32 from = 0)
    {
        socket_ = from ? SocketFrom(from) : plat::NetOpenTcp();
        plat::NetConnect(socket_, kLoopback, port);
        plat::NetWaitWritable(socket_, kHangMs);
        // As the game's own connections: no small message waits for an acknowledgement.
        plat::NetSetNoDelay(socket_, true);
    }
    ~Wire() { Close(); }
    Wire(const Wire&) = delete;
    Wire& operator=(const Wire&) = delete;

    void Close()
    {
        plat::NetClose(socket_);
        socket_ = plat::InvalidSocket;
    }
    bool SendRaw(const u8* p, size_t n)
    {
        const u32 start = plat::TimeGetTime();
        while (n > 0 && plat::TimeGetTime() - start < kHangMs) {
            plat::NetError err = plat::NetOk;
            const i32 sent = plat::NetSend(socket_, p, u32(n), &err);
            if (sent > 0) {
                p += sent;
                n -= size_t(sent);
            } else if (sent < 0 && err != plat::NetWouldBlock) {
                return false;
            } else {
                plat::NetWaitWritable(socket_, 20);
            }
        }
        return n == 0;
    }
    bool Send(const std::vector<u8>& m)
    {
        std::vector<u8> frame(4 + m.size());
        PutU32(frame.data(), u32(frame.size()));
        std::copy(m.begin(), m.end(), frame.begin() + 4);
        return SendRaw(frame.data(), frame.size());
    }
    // Takes in what has arrived; false once the server has closed.
    bool Pump()
    {
        u8 buffer[65536];
        for (;;) {
            plat::NetError err = plat::NetOk;
            const i32 n = plat::NetRecv(socket_, buffer, sizeof buffer, &err);
            if (n > 0) {
                in_.insert(in_.end(), buffer, buffer + n);
                continue;
            }
            if (n < 0 && err == plat::NetWouldBlock) break;
            closed_ = true;
            break;
        }
        size_t at = 0;
        while (in_.size() - at >= 4 && in_.size() - at >= GetU32(in_.data() + at)) {
            const u32 total = GetU32(in_.data() + at);
            got.emplace_back(in_.begin() + std::ptrdiff_t(at + 4), in_.begin() + std::ptrdiff_t(at + total));
            at += total;
        }
        in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(at));
        return !closed_;
    }
    // The first message with that identifier within ms (the others stay in
    // `got`), or an empty one.
    std::vector<u8> Await(u8 id, u32 ms = kHangMs)
    {
        const u32 start = plat::TimeGetTime();
        do {
            Pump();
            for (size_t i = 0; i < got.size(); ++i)
                if (got[i][0] == id) {
                    std::vector<u8> m = got[i];
                    got.erase(got.begin() + std::ptrdiff_t(i));
                    return m;
                }
            plat::Sleep(1);
        } while (plat::TimeGetTime() - start < ms);
        return {};
    }
    bool Closed() const { return closed_; }

    std::vector<std::vector<u8>> got;

private:
    plat::SocketId socket_ = plat::InvalidSocket;
    std::vector<u8> in_;
    bool closed_ = false;
};

std::vector<u8> Msg(u8 id, size_t size, std::initializer_list<std::pair<size_t, u32>> words = {},
                    std::initializer_list<std::pair<size_t, u8>> bytes = {})
{
    std::vector<u8> m(size, 0);
    if (size > 0) m[0] = id;
    for (auto [at, v] : words) PutU32(m.data() + at, v);
    for (auto [at, v] : bytes) m[at] = v;
    return m;
}

std::vector<u8> Slot16(u8 id, size_t size, u16 slot)
{
    std::vector<u8> m = Msg(id, size);
    PutU16(m.data() + 1, slot);
    return m;
}

std::vector<u8> PlayerSlot(u16 slot, u32 robot, u32 team, u32 state, u32 rank)
{
    std::vector<u8> m = Msg(1, 43, {{27, robot}, {31, team}, {35, state}, {39, rank}});
    PutU16(m.data() + 1, slot);
    std::memcpy(m.data() + 3, "Mallory", 7);
    return m;
}

std::vector<u8> Settings(u32 delay, f32 hp, u32 minutes, u8 voice)
{
    std::vector<u8> m = Msg(4, 37, {{1, 1}, {5, delay}, {10, u32(-1)}, {22, minutes}, {32, u32(-1)}}, {{26, voice}});
    PutF32(m.data() + 14, hp);
    PutF32(m.data() + 18, 1.0f);
    PutF32(m.data() + 28, 1.0f);
    return m;
}

std::vector<u8> Chunk(u16 kind, u32 n, u32 claimed)
{
    std::vector<u8> m = Msg(16, 7 + n, {{3, claimed}});
    PutU16(m.data() + 1, kind);
    return m;
}

// A player with both connections, logged in and paired.
struct Client {
    std::unique_ptr<Wire> game, data;
    u16 slot = 0xFFFF;

    Client(const RoomServer& server, const char* name, u32 from = 0)
    {
        game = std::make_unique<Wire>(server.GamePort(0), from);
        data = std::make_unique<Wire>(server.DataPort(0), from);
        std::vector<u8> login = Msg(0, 37, {{25, 3}, {29, 1}, {33, RoomServer::kVersion}});
        std::memcpy(login.data() + 1, name, std::strlen(name));
        game->Send(login);
        const std::vector<u8> accepted = game->Await(0);
        if (accepted.size() < 28) return;
        slot = GetU16(accepted.data() + 25);
        data->Send(Slot16(18, 3, slot));
        // The echo comes after the acknowledgement is handled.
        data->Send(Msg(12, 2));
        if (data->Await(17).empty()) slot = 0xFFFF;
    }
    bool Seated() const { return slot != 0xFFFF; }
    // Round trip of a ping on the data connection, in ms.
    u32 PingMs()
    {
        const auto start = std::chrono::steady_clock::now();
        data->Send(Msg(12, 2));
        if (data->Await(17).empty()) return 99999;
        return u32(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                       .count());
    }
};

bool WaitUntil(const std::function<bool()>& done, u32 ms = kHangMs)
{
    const u32 start = plat::TimeGetTime();
    while (!done()) {
        if (plat::TimeGetTime() - start > ms) return false;
        plat::Sleep(2);
    }
    return true;
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
        sender.data->Send(Msg(11, 4, {}, {{1, 0}, {2, 42}}));
        const std::vector<u8> marker = observer.game->Await(16);
        ASSERT_FALSE(marker.empty()) << c.what << ": the server stopped relaying";
        for (const auto& m : observer.game->got) ADD_FAILURE() << c.what << " relayed message " << int(m[0]);
        observer.game->got.clear();
        EXPECT_FALSE(sender.game->Await(16).empty()) << c.what;
        sender.game->got.clear();
    }
}

// One room of four seats that lives as long as the test.
RoomServerConfig FourSeatRoom()
{
    RoomServerConfig config;
    config.capacity = 4;
    config.lifetimeMs = 0;
    return config;
}

}  // namespace

// Every malformed or misrouted message of the room and of the battle is
// dropped and relays nothing; random frames on both connections leave the
// other player's row alone; losing either connection frees the seat with
// the right leave frame; and every seat is free once everyone is gone.
TEST(RoomServer, DropsHostileMessagesAndFreesEverySeat)
{
    RoomServer server(1, FourSeatRoom());
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
        {"unknown identifier 19", false, Msg(19, 2)},
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
    };
    ExpectAllDropped(server, guest, owner, inBattle);

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

// A million tiny frames, a player flooding pings it never reads and a player
// that never reads the room's relays: the others' pings stay under 100 ms,
// the readers that fall behind are cut off, and the buffers stay bounded.
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

    // 3. A player that never reads while the owner chats flat out.
    {
        Client sleeper(server, "Sleeper");
        ASSERT_TRUE(sleeper.Seated());
        std::vector<u8> line = Slot16(15, 105, owner.slot);
        line[3] = 99;
        std::memset(line.data() + 5, 'x', 99);
        const u32 start = plat::TimeGetTime();
        while (server.Participants(0) == 2 && plat::TimeGetTime() - start < 120000) {
            for (int i = 0; i < 200; ++i) owner.data->Send(line);
            worstPing = std::max(worstPing, owner.PingMs());
            worstBuffered = std::max(worstBuffered, server.BufferedBytes());
            owner.game->Pump();
            owner.game->got.clear();
        }
        EXPECT_EQ(server.Participants(0), 1u) << "the sleeper was never cut off";
    }
    EXPECT_LT(worstPing, kStalledMs) << "while one player did not read";
    EXPECT_LT(worstBuffered, kMemoryBound);
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
        std::vector<u8> line = Slot16(15, 105, bob);
        line[3] = 5;
        std::memcpy(line.data() + 5, "mine!", 5);
        stranger.Send(line);
        stranger.Send(Slot16(18, 3, bob));
        EXPECT_TRUE(WaitUntil([&] { return server.Dropped() >= before + 3; })) << "the stranger took the seat";
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
    };
    const std::vector<Case> cases = {
        {{"--rooms", "6"}, 2},        {{"--capacity", "0"}, 2}, {{"--capacity", "99"}, 2},
        {{"--capacity", "11"}, 2},    {{"--rule", "9"}, 2},     {{"--rule", "-1"}, 2},
        {{"--rule", "x"}, 2},         {{"--seconds", "-1"}, 2}, {{"--capacity"}, 2},
        {{"--capacity", "10", "--rule", "4", "--rooms", "1"}, -1},
    };
    FILE* errors = std::tmpfile();
    ASSERT_NE(errors, nullptr);
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"quillon_roomserver"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ServerOptions options;
        EXPECT_EQ(ParseServerOptions(int(argv.size()), argv.data(), &options, errors), c.code) << c.args[0];
        if (c.code < 0) {
            EXPECT_EQ(options.config.capacity, 10u);
            EXPECT_EQ(options.config.rule, 4);
            EXPECT_EQ(options.rooms, 1);
        }
    }
    std::fclose(errors);

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
    };
    const Case cases[] = {
        {"alone", 0, 0, -1, -1, false, 1},
        {"alone in the time rule", 1, 0, -1, -1, false, 1},
        {"two in one squad", 0, 3, 3, -1, false, 1},
        {"one fighting, one watching", 3, 0, 100, -1, false, 1},
        {"alone against a computer", 0, 0, -1, 1, true, 1},
        {"two in two squads", 4, 0, 1, -1, true, 1},
        {"alone defending in the interception rule", 2, 0, -1, -1, true, 1},
        {"alone, not in the defending squad", 2, 4, -1, -1, false, 1},
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
