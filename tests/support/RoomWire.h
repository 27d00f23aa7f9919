#pragma once
// A room client spoken by hand over loopback, for the room server's tests
// and for a hostile peer beside real games: raw frames on raw sockets, the
// client messages by identifier, and a player logged in on both connections.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/core/ByteOrder.h"
#include "platform/core/Time.h"
#include "platform/net/Socket.h"
#include "roomserver/RoomServer.h"

namespace roomwire {

inline constexpr u32 kLoopback = 0x7F000001u;
// How long a wait for what must come may last: only a hang gets that far,
// never a busy machine.
inline constexpr u32 kHangMs = 60000;
// A ping slower than this means a server that stopped serving the others,
// not one that serves them on a busy machine.
inline constexpr u32 kStalledMs = 5000;

// A non-blocking socket bound to a loopback address of its own: the game
// never picks its side's address, so the test makes it here.
inline plat::SocketId SocketFrom(u32 ip)
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
    // From another loopback address when `from` is given, as another host;
    // a small receive buffer (set before the connection, so the window is
    // made for it) stands for a slow line with a reader that paces itself.
    explicit Wire(u16 port, u32 from = 0, i32 receiveBuffer = 0)
    {
        socket_ = from ? SocketFrom(from) : plat::NetOpenTcp();
        if (receiveBuffer > 0)
            ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
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
    // Takes in what has arrived, up to `most` bytes; false once the server
    // has closed.
    bool Pump(size_t most = ~size_t(0))
    {
        u8 buffer[65536];
        while (most > 0) {
            plat::NetError err = plat::NetOk;
            const i32 n = plat::NetRecv(socket_, buffer, u32(std::min(most, sizeof buffer)), &err);
            if (n > 0) {
                in_.insert(in_.end(), buffer, buffer + n);
                most -= size_t(n);
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

inline std::vector<u8> Msg(u8 id, size_t size, std::initializer_list<std::pair<size_t, u32>> words = {},
                    std::initializer_list<std::pair<size_t, u8>> bytes = {})
{
    std::vector<u8> m(size, 0);
    if (size > 0) m[0] = id;
    for (auto [at, v] : words) PutU32(m.data() + at, v);
    for (auto [at, v] : bytes) m[at] = v;
    return m;
}

inline std::vector<u8> Slot16(u8 id, size_t size, u16 slot)
{
    std::vector<u8> m = Msg(id, size);
    PutU16(m.data() + 1, slot);
    return m;
}

inline std::vector<u8> PlayerSlot(u16 slot, u32 robot, u32 team, u32 state, u32 rank)
{
    std::vector<u8> m = Msg(1, 43, {{27, robot}, {31, team}, {35, state}, {39, rank}});
    PutU16(m.data() + 1, slot);
    std::memcpy(m.data() + 3, "Mallory", 7);
    return m;
}

inline std::vector<u8> Settings(u32 delay, f32 hp, u32 minutes, u8 voice)
{
    std::vector<u8> m = Msg(4, 37, {{1, 1}, {5, delay}, {10, u32(-1)}, {22, minutes}, {32, u32(-1)}}, {{26, voice}});
    PutF32(m.data() + 14, hp);
    PutF32(m.data() + 18, 1.0f);
    PutF32(m.data() + 28, 1.0f);
    return m;
}

inline std::vector<u8> Chunk(u16 kind, u32 n, u32 claimed)
{
    std::vector<u8> m = Msg(16, 7 + n, {{3, claimed}});
    PutU16(m.data() + 1, kind);
    return m;
}

// A player with both connections, logged in and paired.
struct Client {
    std::unique_ptr<Wire> game, data;
    u16 slot = 0xFFFF;

    Client(const RoomServer& server, const char* name, u32 from = 0, i32 gameReceiveBuffer = 0)
    {
        game = std::make_unique<Wire>(server.GamePort(0), from, gameReceiveBuffer);
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


// A player's seat in a battle, played by hand beside real games: it loads at
// once, and for every frame the game in slot `echoOf` sends it sends its own
// key state for that frame with that game's check byte (so no drift shows)
// and keys of its own that walk its robot about. In a repair it confirms
// once the named host's team block and a snapshot of every robot in
// `robotSlots` came. Its hooks do whatever else a test wants of it.
class Fighter {
public:
    static constexpr u16 kNone = 0xFFFF;

    Fighter(Client& client, u16 echoOf, u16 robotSlots) : client_(client), echoOf_(echoOf), robotSlots_(robotSlots) {}

    u16 Slot() const { return client_.slot; }
    void Ready() { client_.game->Send(Msg(8, 5, {{1, 1}})); }
    // Its own row on another team (100: a spectator's).
    void Team(u32 team) { client_.game->Send(PlayerSlot(client_.slot, 3, team, 1, 0)); }
    void Loaded() { client_.game->Send(Msg(10, 2)); }
    // Naming no suspect: any fighter may ask, whoever it blames.
    void AskRepair() { client_.game->Send(Msg(19, 2, {}, {{1, 0xFF}})); }
    // 0: the host's set was taken; 1: it was refused.
    void SendConfirmation(u8 verdict = 0) { client_.game->Send(Msg(7, 2, {}, {{1, verdict}})); }
    // Anything at all, on either of its connections.
    void SendAny(const std::vector<u8>& m, bool onData = false) { (onData ? client_.data : client_.game)->Send(m); }
    void Leave()
    {
        client_.data->Send(Msg(9, 2));
        left = true;
    }
    void SendKeyState(u32 frame, u16 keys, u8 check, u8 count)
    {
        std::vector<u8> m = Msg(14, 9, {{1, frame}}, {{7, check}, {8, count}});
        PutU16(m.data() + 5, keys);
        client_.data->Send(m);
    }
    // The repair's team block (three arrays of 21 words) and robot snapshots
    // with the slot alone filled in, as the host would send them.
    void SendHostBlock(const std::vector<std::pair<size_t, u32>>& words)
    {
        std::vector<u8> m = Msg(6, 253);
        for (auto [at, v] : words) PutU32(m.data() + 1 + 4 * at, v);
        client_.game->Send(m);
    }
    void SendSnapshot(u16 slot) { client_.game->Send(Slot16(5, 20012, slot)); }

    // Takes in what came and answers it; false once the server closed.
    bool Step()
    {
        const u32 now = plat::TimeGetTime();
        if (now - lastPing_ > 2000) {
            lastPing_ = now;
            client_.data->Send(Msg(12, 2));
        }
        const bool open = client_.game->Pump() && client_.data->Pump();
        client_.data->got.clear();
        std::vector<std::vector<u8>> got;
        got.swap(client_.game->got);
        for (const std::vector<u8>& m : got) Take(m);
        if (onTick) onTick(*this);
        return open && !Closed();
    }
    bool Closed() const { return client_.game->Closed() || client_.data->Closed(); }

    // What it saw: the start, the echoed game's run and last frame in it,
    // the frames it echoed over the battle, the repair words and the
    // current repair's host, and who went back to the room or left.
    bool started = false, left = false, inRepair = false, confirmed = false;
    u32 run = 0, echoed = 0, words = 0;
    i64 frame = -1;
    u16 host = kNone, returned = 0;
    std::function<void(Fighter&)> onStart, onFrame, onWord, onTick;

private:
    void Take(const std::vector<u8>& m)
    {
        switch (m[0]) {
        case 7:
            if (m.size() < 5 || started) return;
            started = true;
            if (onStart) onStart(*this);
            Loaded();
            return;
        case 4:
        case 9:
            if (m.size() >= 3) {
                const u16 slot = GetU16(m.data() + 1);
                if (slot == client_.slot) left = true;
                if (slot < 16) returned = u16(returned | (1u << slot));
            }
            return;
        case 10: {
            if (m.size() < 7) return;
            const u16 named = GetU16(m.data() + 1);
            const u32 wordRun = GetU32(m.data() + 3);
            // A new repair, or a new host for this one: a new set to wait for.
            if (!inRepair || wordRun != wordRun_ || named != host) {
                hostBlock_ = false;
                snapshots_ = 0;
                confirmed = false;
            }
            inRepair = true;
            wordRun_ = wordRun;
            host = named;
            ++words;
            if (onWord) onWord(*this);
            return;
        }
        case 11:
            if (m.size() >= 20014 && GetU16(m.data() + 20012) == host && GetU16(m.data() + 1) < 16)
                snapshots_ = u16(snapshots_ | (1u << GetU16(m.data() + 1)));
            MaybeConfirm();
            return;
        case 12:
            if (m.size() >= 255 && GetU16(m.data() + 253) == host) hostBlock_ = true;
            MaybeConfirm();
            return;
        case 15: {
            if (m.size() < 10 || m[1] != echoOf_) return;
            const u32 f = GetU32(m.data() + 2);
            // The echoed game's frames start again from 0 with each repair.
            if (i64(f) <= frame) {
                ++run;
                inRepair = false;
                newRunDue_ = false;
            }
            frame = f;
            // Once it confirmed, its own next key state is its new run's first.
            if (left || newRunDue_) return;
            static constexpr u16 kWalk[4] = {0x2, 0x1, 0x8, 0x4};
            SendKeyState(f, kWalk[(f / 40) % 4], m[8], m[9]);
            ++echoed;
            if (onFrame) onFrame(*this);
            return;
        }
        default: return;
        }
    }
    void MaybeConfirm()
    {
        if (!inRepair || confirmed || left || !hostBlock_ || (snapshots_ & robotSlots_) != robotSlots_) return;
        confirmed = true;
        newRunDue_ = true;
        SendConfirmation();
    }

    Client& client_;
    u16 echoOf_, robotSlots_;
    u32 lastPing_ = 0, wordRun_ = 0;
    bool hostBlock_ = false, newRunDue_ = false;
    u16 snapshots_ = 0;
};

}  // namespace roomwire
