#include "support/RoomServer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/net/NetQueue.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/Time.h"

namespace {

constexpr u32 kLoopbackIp = 0x7F000001u;

void Put16(std::vector<u8>& m, size_t at, u16 v) { PutU16(m.data() + at, v); }
void Put32(std::vector<u8>& m, size_t at, u32 v) { PutU32(m.data() + at, v); }

}  // namespace

struct RoomServer::Conn {
    plat::SocketId socket = plat::InvalidSocket;
    bool data = false;
    int slot = -1;
    std::vector<u8> in;
};

struct RoomServer::Room {
    struct Seat {
        bool used = false;
        bool human = false;
        char name[24] = {};
        u32 robot = 0, team = 0, inBattle = 0, slotState = 0, rank = 0, id = 0;
        u8 ready = 0;
        i32 nextKeyFrame = 0;  // the first frame its key states have not covered
        // The leave frame the clients get: the last frame covered, after which
        // they go on without this participant.
        i32 LastKeyFrame() const { return nextKeyFrame > 0 ? nextKeyFrame - 1 : 0; }
    };
    u32 index = 0;
    RoomConfig config;
    plat::SocketId gameListener = plat::InvalidSocket, dataListener = plat::InvalidSocket;
    u16 gamePort = 0, dataPort = 0;
    std::vector<Conn*> conns;
    Seat seats[10];
    u8 settings[37] = {};
    bool running = false;
    u32 startValue = 0;
    u32 nextId = 1000;
    std::vector<std::vector<u8>> log;
};

RoomServer::RoomServer(u32 rooms, const RoomConfig& config, u16 gameBase, u16 dataBase) : born_(plat::TimeGetTime())
{
    rooms = std::clamp<u32>(rooms, 1, 5);
    listening_ = true;
    for (u32 r = 0; r < rooms; ++r) {
        auto* room = new Room;
        room->index = r;
        room->config = config;
        room->config.capacity = std::clamp<u32>(config.capacity, 1, 10);
        room->gamePort = gameBase ? u16(gameBase + r) : 0;
        room->dataPort = dataBase ? u16(dataBase + r) : 0;
        room->gameListener = plat::NetListenTcp(kLoopbackIp, &room->gamePort, 16);
        room->dataListener = plat::NetListenTcp(kLoopbackIp, &room->dataPort, 16);
        if (room->gameListener == plat::InvalidSocket || room->dataListener == plat::InvalidSocket) listening_ = false;
        // Room settings: one frame per key state, delay 2, chat on, random
        // stage, rates 1, 5 minutes, default music.
        room->settings[0] = 4;
        PutU32(room->settings + 1, 1);
        PutU32(room->settings + 5, 2);
        room->settings[9] = 1;
        PutI32(room->settings + 10, -1);
        PutF32(room->settings + 14, 1.0f);
        PutF32(room->settings + 18, 1.0f);
        PutU32(room->settings + 22, 5);
        PutF32(room->settings + 28, 1.0f);
        PutU32(room->settings + 32, u32(-1));
        rooms_.push_back(room);
    }
    thread_ = std::thread([this] { Run(); });
}

RoomServer::~RoomServer()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (Room* room : rooms_) {
        for (Conn* c : room->conns) {
            plat::NetClose(c->socket);
            delete c;
        }
        plat::NetClose(room->gameListener);
        plat::NetClose(room->dataListener);
        delete room;
    }
}

u16 RoomServer::GamePort(u32 room) const { return room < rooms_.size() ? rooms_[room]->gamePort : 0; }
u16 RoomServer::DataPort(u32 room) const { return room < rooms_.size() ? rooms_[room]->dataPort : 0; }

void RoomServer::ForceRepair(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (room < rooms_.size()) ToRoom(*rooms_[room], {10, 0, 0});
}

u32 RoomServer::Participants(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (room >= rooms_.size()) return 0;
    u32 n = 0;
    for (const auto& s : rooms_[room]->seats) n += s.used && s.human;
    return n;
}

bool RoomServer::BattleRunning(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    return room < rooms_.size() && rooms_[room]->running;
}

u32 RoomServer::StartValue(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    return room < rooms_.size() ? rooms_[room]->startValue : 0;
}

std::vector<std::vector<u8>> RoomServer::Received(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    return room < rooms_.size() ? rooms_[room]->log : std::vector<std::vector<u8>>{};
}

void RoomServer::Run()
{
    const u32 lifetime = rooms_.empty() ? 0 : rooms_[0]->config.lifetimeMs;
    while (!stop_ && (lifetime == 0 || plat::TimeGetTime() - born_ < lifetime)) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            for (Room* room : rooms_) Step(*room);
        }
        plat::Sleep(1);
    }
}

void RoomServer::Step(Room& room)
{
    for (plat::SocketId listener : {room.gameListener, room.dataListener}) {
        if (listener == plat::InvalidSocket) continue;
        while (plat::NetWaitReadable(listener, 0) > 0) {
            const plat::SocketId s = plat::NetAccept(listener);
            if (s == plat::InvalidSocket) break;
            auto* c = new Conn;
            c->socket = s;
            c->data = listener == room.dataListener;
            room.conns.push_back(c);
        }
    }
    for (size_t i = 0; i < room.conns.size(); ++i) {
        Conn& c = *room.conns[i];
        if (c.socket == plat::InvalidSocket) continue;
        u8 buffer[65536];
        bool closed = false;
        while (plat::NetWaitReadable(c.socket, 0) > 0) {
            plat::NetError err = plat::NetOk;
            const i32 n = plat::NetRecv(c.socket, buffer, sizeof buffer, &err);
            if (n > 0) {
                c.in.insert(c.in.end(), buffer, buffer + n);
                continue;
            }
            if (n < 0 && err == plat::NetWouldBlock) break;
            closed = true;
            break;
        }
        // Whole frames: the u32 total length (itself included), then the message.
        while (c.in.size() >= FrameHeaderSize) {
            const u32 total = GetU32(c.in.data());
            if (total <= FrameHeaderSize || total > MaxFrameLength) {
                closed = true;
                break;
            }
            if (c.in.size() < total) break;
            std::vector<u8> m(c.in.begin() + FrameHeaderSize, c.in.begin() + total);
            c.in.erase(c.in.begin(), c.in.begin() + total);
            room.log.push_back(m);
            Handle(room, c, m);
        }
        if (closed) Drop(room, c);
    }
    room.conns.erase(std::remove_if(room.conns.begin(), room.conns.end(),
                                    [](Conn* c) {
                                        if (c->socket != plat::InvalidSocket) return false;
                                        delete c;
                                        return true;
                                    }),
                     room.conns.end());
}

void RoomServer::SendTo(Conn& conn, const std::vector<u8>& m)
{
    if (conn.socket == plat::InvalidSocket) return;
    std::vector<u8> frame(FrameHeaderSize + m.size());
    PutU32(frame.data(), u32(frame.size()));
    std::copy(m.begin(), m.end(), frame.begin() + FrameHeaderSize);
    const u8* p = frame.data();
    u32 n = u32(frame.size());
    const u32 start = plat::TimeGetTime();
    while (n > 0 && plat::TimeGetTime() - start < 5000) {
        plat::NetError err = plat::NetOk;
        const i32 sent = plat::NetSend(conn.socket, p, n, &err);
        if (sent > 0) {
            p += sent;
            n -= u32(sent);
        } else if (sent < 0 && err != plat::NetWouldBlock) {
            break;
        } else {
            plat::NetWaitWritable(conn.socket, 100);
        }
    }
}

// Relays go out on the game connections of the room's players.
void RoomServer::ToRoom(Room& room, const std::vector<u8>& m, int onlyTeam)
{
    for (Conn* c : room.conns) {
        if (c->data || c->slot < 0) continue;
        if (onlyTeam >= 0 && room.seats[c->slot].team != u32(onlyTeam)) continue;
        SendTo(*c, m);
    }
}

std::vector<u8> RoomServer::EntryMessage(const Room& room, int slot) const
{
    const Room::Seat& s = room.seats[slot];
    std::vector<u8> m(52, 0);
    m[0] = 1;
    std::memcpy(m.data() + 1, s.name, 24);
    Put16(m, 25, u16(slot));
    Put32(m, 27, s.robot);
    Put32(m, 31, s.team);
    Put32(m, 35, s.inBattle);
    Put32(m, 39, s.used ? s.slotState : 0);
    m[43] = s.ready;
    Put32(m, 44, s.rank);
    Put32(m, 48, s.id);
    return m;
}

std::vector<u8> RoomServer::StatusRecord(const Room& room) const
{
    std::vector<u8> m(1 + 459, 0);
    m[0] = 18;
    m[1] = u8(room.index);
    m[2] = room.config.rule;
    int players = 0;
    for (u32 i = 0; i < room.config.capacity; ++i) {
        const Room::Seat& s = room.seats[i];
        if (!s.used || !s.human) continue;
        std::memcpy(m.data() + 4 + 25 * players, s.name, 24);
        ++players;
    }
    m[3] = u8(players);
    std::strncpy(reinterpret_cast<char*>(m.data() + 254), room.config.title, 199);
    Put32(m, 454, room.config.capacity);
    m[458] = 1;
    m[459] = room.settings[9];
    return m;
}

void RoomServer::Login(Room& room, Conn& conn, const std::vector<u8>& m)
{
    std::vector<u8> refuse(7, 0);
    refuse[0] = 5;
    if (m.size() < 37 || conn.slot >= 0) return;
    if (GetU32(m.data() + 33) != kVersion) {
        Put32(refuse, 3, 2);
        SendTo(conn, refuse);
        return;
    }
    if (room.running) {
        Put32(refuse, 3, 1);
        SendTo(conn, refuse);
        return;
    }
    int slot = -1;
    for (u32 i = 0; i < room.config.capacity && slot < 0; ++i)
        if (!room.seats[i].used) slot = int(i);
    if (slot < 0) {
        Put32(refuse, 3, 0);
        SendTo(conn, refuse);
        return;
    }
    Room::Seat& s = room.seats[slot];
    s = Room::Seat{};
    s.used = s.human = true;
    std::memcpy(s.name, m.data() + 1, 24);
    s.robot = GetU32(m.data() + 25);
    s.rank = GetU32(m.data() + 29);
    s.team = u32(slot) % (room.config.rule >= 3 ? 2 : 10);
    s.slotState = 1;
    s.id = room.nextId++;
    conn.slot = slot;
    std::vector<u8> accepted(28, 0);
    Put16(accepted, 25, u16(slot));
    accepted[27] = room.config.rule;
    SendTo(conn, accepted);
    for (int i = 0; i < 10; ++i)
        if (room.seats[i].used && i != slot) SendTo(conn, EntryMessage(room, i));
    ToRoom(room, EntryMessage(room, slot));
    std::vector<u8> settings(room.settings, room.settings + 37);
    settings[0] = 6;
    SendTo(conn, settings);
}

void RoomServer::MaybeStart(Room& room)
{
    int humans = 0;
    for (const auto& s : room.seats) {
        if (!s.used || !s.human) continue;
        if (s.ready != 1) return;
        ++humans;
    }
    if (humans == 0) return;
    // The random squad becomes a real one here, once for everybody.
    const u32 squads = room.config.rule >= 3 ? 2 : 10;
    for (int i = 0; i < 10; ++i) {
        Room::Seat& s = room.seats[i];
        if (!s.used) continue;
        if (s.team == 50) {
            seed_ = seed_ * 1103515245u + 12345u;
            s.team = (seed_ >> 16) % squads;
        }
        s.inBattle = 1;
        s.nextKeyFrame = 0;
        ToRoom(room, EntryMessage(room, i));
    }
    room.running = true;
    seed_ = seed_ * 1103515245u + 12345u;
    room.startValue = (seed_ >> 8) | 1u;
    std::vector<u8> start(5, 0);
    start[0] = 7;
    Put32(start, 1, room.startValue);
    ToRoom(room, start);
}

void RoomServer::Drop(Room& room, Conn& conn)
{
    plat::NetClose(conn.socket);
    conn.socket = plat::InvalidSocket;
    if (conn.data || conn.slot < 0) return;
    const int slot = conn.slot;
    Room::Seat& s = room.seats[slot];
    // The participant stays in everybody's battle up to the last frame its
    // key states covered.
    const i32 frame = room.running ? s.LastKeyFrame() : 0;
    s = Room::Seat{};
    for (Conn* c : room.conns)
        if (c->slot == slot && c->socket != plat::InvalidSocket) {
            plat::NetClose(c->socket);
            c->socket = plat::InvalidSocket;
        }
    std::vector<u8> left(7, 0);
    left[0] = 4;
    Put16(left, 1, u16(slot));
    Put32(left, 3, u32(frame));
    ToRoom(room, left);
    bool anyone = false;
    for (const auto& seat : room.seats) anyone |= seat.used && seat.human && seat.inBattle;
    if (!anyone) room.running = false;
}

void RoomServer::Handle(Room& room, Conn& conn, const std::vector<u8>& m)
{
    if (m.empty()) return;
    const u8 id = m[0];
    const u8* p = m.data();
    if (id == 0) return Login(room, conn, m);
    if (id == 13 && conn.data) return SendTo(conn, StatusRecord(room));
    if (id == 12 && conn.data) return SendTo(conn, {17, 0});
    if (id == 18 && conn.data && m.size() >= 3) {
        const u16 slot = GetU16(p + 1);
        if (slot < 10 && room.seats[slot].used && room.seats[slot].human) conn.slot = slot;
        return;
    }
    const int slot = conn.slot;
    if (slot < 0) return;
    Room::Seat& me = room.seats[slot];
    std::vector<u8> out;
    switch (id) {
    case 1: {
        if (m.size() < 43) return;
        const u16 target = GetU16(p + 1);
        // A player changes its own entry; slot 0 also the computer players.
        if (target >= room.config.capacity || (target != slot && (slot != 0 || room.seats[target].human))) return;
        Room::Seat& s = room.seats[target];
        std::memcpy(s.name, p + 3, 24);
        s.robot = GetU32(p + 27);
        const u32 team = GetU32(p + 31);
        if (team <= 9 || team == 50 || team == 100) s.team = team;
        s.slotState = std::min<u32>(GetU32(p + 35), 2);
        s.rank = GetU32(p + 39);
        if (target != slot) s.used = s.slotState != 0;
        return ToRoom(room, EntryMessage(room, target));
    }
    case 8:
        if (m.size() < 5) return;
        me.ready = GetU32(p + 1) == 1 ? 1 : 0;
        ToRoom(room, EntryMessage(room, slot));
        if (!room.running) MaybeStart(room);
        return;
    case 2:
        if (m.size() < 4) return;
        out = {2, 0, 0, p[3]};
        Put16(out, 1, u16(slot));
        return ToRoom(room, out);
    case 3:
        if (m.size() < 7) return;
        out.assign(7, 0);
        out[0] = 3;
        Put16(out, 1, u16(slot));
        Put32(out, 3, GetU32(p + 3));
        return ToRoom(room, out);
    case 4: {
        if (m.size() < 37) return;
        std::memcpy(room.settings, p, 37);
        room.settings[0] = 6;
        // Kept in what the room's buttons can choose.
        u32 interval = GetU32(room.settings + 1);
        if ((interval & 0xFF) == 0) PutU32(room.settings + 1, interval | 1);
        PutU32(room.settings + 5, std::clamp<u32>(GetU32(room.settings + 5), 1, 20));
        for (int at : {14, 18, 28}) {
            const f32 v = GetF32(room.settings + at);
            PutF32(room.settings + at, std::isfinite(v) ? std::clamp(v, 0.05f, 10.0f) : 1.0f);
        }
        PutU32(room.settings + 22, std::clamp<u32>(GetU32(room.settings + 22), 5, 60));
        ToRoom(room, std::vector<u8>(room.settings, room.settings + 37));
        room.settings[0] = 4;
        return;
    }
    case 5:
        if (m.size() < 20012) return;
        out = m;
        out[0] = 11;
        return ToRoom(room, out);
    case 6:
        if (m.size() < 253) return;
        out = m;
        out[0] = 12;
        return ToRoom(room, out);
    case 7:
    case 10:
        out = {u8(id == 7 ? 13 : 8), 0, 0};
        Put16(out, 1, u16(slot));
        return ToRoom(room, out);
    case 9: {
        out.assign(7, 0);
        out[0] = 9;
        Put16(out, 1, u16(slot));
        Put32(out, 3, u32(me.LastKeyFrame()));
        me.inBattle = 0;
        me.ready = 0;
        ToRoom(room, out);
        bool anyone = false;
        for (const auto& seat : room.seats) anyone |= seat.used && seat.human && seat.inBattle;
        if (!anyone) room.running = false;
        return;
    }
    case 11:
        if (m.size() < 4) return;
        out = {16, 0, 0, p[1], p[2], p[3]};
        Put16(out, 1, u16(slot));
        return ToRoom(room, out);
    case 14:
        if (m.size() < 9) return;
        out.assign(10, 0);
        out[0] = 15;
        out[1] = u8(slot);
        std::memcpy(out.data() + 2, p + 1, 8);
        // The latest, not the largest: a repair starts the frames again from 0.
        me.nextKeyFrame = i32(GetU32(p + 1) + p[8]);
        return ToRoom(room, out);
    case 15: {
        if (m.size() < 105) return;
        const u32 length = std::min<u32>(p[3], 99);
        out.assign(5 + length + 1, 0);
        out[0] = 19;
        Put16(out, 1, u16(slot));
        out[3] = p[4] ? 1 : 0;
        std::memcpy(out.data() + 5, p + 5, length);
        // A line sent with Ctrl goes to the sender's squad only.
        return ToRoom(room, out, p[4] ? int(me.team) : -1);
    }
    case 16: {
        if (m.size() < 7 || m.size() < 7 + size_t(GetU32(p + 3))) return;
        const u32 n = GetU32(p + 3);
        out.assign(9 + size_t(n), 0);
        out[0] = 20;
        Put16(out, 1, u16(slot));
        Put16(out, 3, GetU16(p + 1));
        Put32(out, 5, n);
        std::memcpy(out.data() + 9, p + 7, n);
        return ToRoom(room, out);
    }
    case 17:
        if (m.size() < 4) return;
        out = {21, 0, 0, p[1], p[2]};
        Put16(out, 1, u16(slot));
        return ToRoom(room, out);
    case 20:
        if (m.size() < 425) return;
        out.assign(428, 0);
        out[0] = 22;
        Put16(out, 1, u16(slot));
        std::memcpy(out.data() + 3, p + 1, 10);
        std::memcpy(out.data() + 13, p + 11, 414);
        return ToRoom(room, out);
    default: return;
    }
}
