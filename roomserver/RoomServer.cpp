#include "roomserver/RoomServer.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "platform/core/ByteOrder.h"
#include "platform/core/System.h"
#include "platform/core/Time.h"
#include "roomserver/BulkStore.h"

namespace {

constexpr u32 kFrameHeader = 4;           // u32 total length, itself included
constexpr u32 kReadPerTurn = 64u << 10;   // bytes read from one connection per turn
constexpr u32 kLargestMessage = 7 + 204800; // a pilot picture chunk just under its cap
// Before its seat, a connection sends only a login, its seat's name, a ping
// or a room query: a longer frame is not a client's, and is not waited for.
constexpr u32 kLargestBeforeSeat = 37;
// Freed buffers worth giving back to the system, and how often to ask.
constexpr u64 kTrimAfterBytes = 1u << 20;
constexpr u32 kTrimEveryMs = 1000;
constexpr u32 kLoggedDropsPerConn = 20;
constexpr u32 kAcceptsPerTurn = 16;
constexpr u32 kMaxConnsPerRoom = 256;
constexpr size_t kKeptMessages = 20000;
constexpr u32 kMaxRank = 30;
// Bulk relays the server holds in memory over all rooms; the rest waits
// for its readers in a temporary file.
constexpr u64 kBulkInMemory = 16u << 20;
// Bytes of a bulk relay read from the file at a time for one reader.
constexpr u32 kStageBytes = 64u << 10;
// Bytes the system holds unsent per connection: an urgent message waits
// behind no more than these and the bulk frame being sent.
constexpr u32 kUnsentBytes = 64u << 10;
// How long an idle turn waits: the timeouts need no finer step.
constexpr u32 kIdleWaitMs = 50;
// A battle's repairs: at most this many (the room's config sets how long a
// host's set and the verdicts on it are waited for); a host replaced this
// often leaves the battle. A fighter's key state may run this
// many frames ahead of the slowest other fighter's, well inside the queue
// every client keeps per fighter.
constexpr u32 kRepairsPerBattle = 6;
constexpr u8 kHostReplacedLimit = 2;
constexpr i32 kKeyLeadFrames = 300;

// Messages a reader gets ahead of the bulk relays waiting for it: they
// change no row and no battle, so their order against those does not matter.
bool Urgent(u8 id) { return id == 16 || id == 17 || id == 19; }

void Put16(std::vector<u8>& m, size_t at, u16 v) { PutU16(m.data() + at, v); }
void Put32(std::vector<u8>& m, size_t at, u32 v) { PutU32(m.data() + at, v); }

bool ValidRobot(u32 robot)
{
    const i32 r = i32(robot);
    return r == -1 || (r >= 0 && r < 100) || (r >= 1000 && r < 1100);
}

bool ValidTeam(u32 team) { return team <= 9 || team == 50 || team == 100; }

constexpr u32 kRandomTeam = 50;
constexpr u32 kSpectatorTeam = 100;
constexpr u8 kRuleInterception = 2;

// A rate a hair outside its range (a float step: 0.2f - 0.1f is 0.0999999)
// is the bound, as the clients' own clamp makes it; further out it is wrong.
constexpr f32 kRateTolerance = 0.001f;

bool RateIn(u8* p, f32 low, f32 high)
{
    const f32 v = GetF32(p);
    if (!std::isfinite(v) || v < low - kRateTolerance || v > high + kRateTolerance) return false;
    PutF32(p, std::clamp(v, low, high));
    return true;
}

// The room settings the room's buttons can make; rates are brought into
// their ranges in place.
bool ValidSettings(u8* p)
{
    const u32 interval = GetU32(p + 1), delay = GetU32(p + 5), time = GetU32(p + 22);
    const i32 stage = GetI32(p + 10), music = GetI32(p + 32);
    return interval >= 1 && interval <= 60 && delay >= 1 && delay <= 20 && p[9] <= 1 && stage >= -1 && stage < 100 &&
           RateIn(p + 14, 0.05f, 10.0f) && RateIn(p + 18, 0.01f, 10.0f) && time >= 5 && time <= 60 && p[26] <= 2 &&
           p[27] <= 1 && RateIn(p + 28, 0.1f, 10.0f) && music >= -2 && music < 1000 && p[36] <= 1;
}

std::string AddressText(u32 ip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
    return text;
}

// The file kinds a pilot upload may carry, each under its sender's cap.
bool ValidFileChunk(u16 kind, u32 n)
{
    if (kind < 50) return n < 51200;
    if (kind >= 100 && kind < 150) return n < 204800;
    if (kind >= 200 && kind < 210) return n < 51200;
    if (kind >= 300 && kind < 310) return n < 102400 && n % 4 == 0;
    if (kind == 999) return n == 8;
    return false;
}

// Identifier, total size (0: checked by its handler) and whether it
// belongs on the data connection, for every message a client may send.
struct MessageRule {
    u32 size;
    bool data;
    bool known;
};

MessageRule RuleOf(u8 id)
{
    switch (id) {
    case 0: return {37, false, true};
    case 1: return {43, false, true};
    case 2: return {4, false, true};
    case 3: return {7, false, true};
    case 4: return {37, false, true};
    case 5: return {20012, false, true};
    case 6: return {253, false, true};
    case 7: return {2, false, true};
    case 8: return {5, false, true};
    case 9: return {2, true, true};
    case 10: return {2, false, true};
    case 11: return {4, true, true};
    case 12: return {2, true, true};
    case 13: return {2, true, true};
    case 14: return {9, true, true};
    case 15: return {105, true, true};
    case 16: return {0, false, true};
    case 17: return {4, false, true};
    case 18: return {3, true, true};
    case 19: return {2, false, true};
    case 20: return {426, false, true};
    default: return {0, false, false};
    }
}

// What a real client sends at most, doubled, of each kind of message that
// makes the server relay something: a burst and a steady rate per second.
// What is over is dropped, so one sender cannot bury the room's readers.
struct RateRule {
    u8 id;
    u32 burst;
    u32 perSecond;
};
constexpr RateRule kRates[] = {
    {1, 20, 5},       // rows: a click each, the host's computer rows
    {2, 8, 2},        // colour set: one per ready
    {3, 8, 1},        // rank level: one per battle
    {4, 20, 5},       // settings: a click each
    {5, 40, 20},      // robot snapshots: one per robot in a repair
    {6, 10, 4},       // host block: one per repair
    {7, 10, 4},       // repair data complete: one per repair
    {8, 8, 2},        // ready and its cancel, two seconds apart
    {9, 8, 2},        // back to the room: one per battle
    {10, 8, 2},       // battle loaded: one per battle
    {11, 8, 1},       // ping reports: one every 3 s
    // Key states: one per battle frame, 60 a second in a game paced by its
    // clock; a scripted game runs its frames unpaced, ten times as fast.
    {14, 20000, 6000},
    {15, 20, 2},      // chat: a line per Enter
    {16, 240, 120},   // file chunks: one per frame while uploading
    {17, 20, 5},      // radio: a key press each
    {19, 10, 4},      // repair requests: one per drift found
    {20, 8, 4},       // equipped parts: four per ready
};
constexpr u32 kRateKinds = sizeof kRates / sizeof kRates[0];
// A ready upload is at most about 14 MB (50 pictures, 50 voices, tables).
constexpr u32 kUploadBurstBytes = 28u << 20;
constexpr u32 kUploadBytesPerSecond = 7u << 20;

// A leaky bucket, in thousandths of a message (or byte).
struct RateBucket {
    u64 level = 0;
    u32 last = 0;
    bool Take(u32 burst, u32 perSecond, u32 cost, u32 now)
    {
        const u64 drained = u64(now - last) * perSecond;
        level = level > drained ? level - drained : 0;
        last = now;
        if (level + u64(cost) * 1000 > u64(burst) * 1000) return false;
        level += u64(cost) * 1000;
        return true;
    }
};

}  // namespace

struct RoomServer::Conn {
    u32 id = 0;
    u32 room = 0;
    plat::SocketId socket = plat::InvalidSocket;
    bool data = false;
    u32 peer = 0; // the address it came from
    int slot = -1;
    u32 opened = 0;
    u32 loggedDrops = 0;
    // Input: bytes from inStart on are not handled yet.
    std::vector<u8> in;
    size_t inStart = 0;
    // Output: whole frames, sent from outStart on.
    std::vector<u8> out;
    size_t outStart = 0;
    // Bulk relays and what must follow them, after `out`; the first has
    // laterSent bytes gone. laterOwn: bytes of the ones held for this
    // reader alone; laterShared: of the shared bulk relays.
    std::deque<std::shared_ptr<const BulkFrame>> later;
    u32 laterSent = 0;
    u64 laterOwn = 0, laterShared = 0;
    // The next bytes of a bulk relay kept in the file, from stageStart on.
    std::vector<u8> stage;
    size_t stageStart = 0;
    u32 lastTaken = 0;  // when it last took bytes, or had none waiting
    bool readable = true, writable = true;  // as the last wait found it
    bool Waiting() const { return outStart < out.size() || !later.empty(); }
    void DropOutput()
    {
        out.clear();
        outStart = 0;
        later.clear();
        laterSent = 0;
        laterOwn = laterShared = 0;
        stage.clear();
        stageStart = 0;
    }
};

struct RoomServer::Room {
    struct Seat {
        bool used = false;
        bool human = false;
        char name[24] = {};
        u32 robot = 0, team = 0, inBattle = 0, slotState = 0, rank = 0, id = 0;
        u8 ready = 0;
        Conn* game = nullptr;
        Conn* data = nullptr;
        u32 lastHeard = 0;           // when a frame last came from either connection
        RateBucket rates[kRateKinds];
        RateBucket uploadBytes;
        // Within its kind's rate; the message counts against it.
        bool WithinRate(u8 id, u32 size, u32 now, u32 scale)
        {
            for (u32 k = 0; k < kRateKinds; ++k)
                if (kRates[k].id == id) {
                    if (id == 16 &&
                        !uploadBytes.Take(kUploadBurstBytes * scale, kUploadBytesPerSecond * scale, size, now))
                        return false;
                    return rates[k].Take(kRates[k].burst * scale, kRates[k].perSecond * scale, 1, now);
                }
            return true;
        }
        i32 nextKeyFrame = 0;        // the first frame of its run its key states have not covered
        bool awaitingNewRun = false; // confirmed a repair; its new run starts with frame 0
        bool loaded = false;         // its battle is set up
        u8 hostReplaced = 0;         // times it was replaced as a repair's host this battle
        u16 namedBy = 0;             // fighters that found it drifting after the repairs were spent
        bool holding = false;        // behind another fighter's key states, since holdingSince
        u32 holdingSince = 0;
        // The frame its next key state must be for.
        i32 NextKey() const { return awaitingNewRun ? 0 : nextKeyFrame; }
        // The leave frame the clients get: the last frame covered, -1 for none.
        i32 LastKeyFrame() const { return nextKeyFrame - 1; }
    };
    u32 index = 0;
    RoomConfig config;
    plat::SocketId gameListener = plat::InvalidSocket, dataListener = plat::InvalidSocket;
    u16 gamePort = 0, dataPort = 0;
    std::vector<Conn*> conns;
    Seat seats[10];
    u8 settings[37] = {};
    bool running = false;
    bool starting = false; // a start's relays may cut off a slow reader
    u16 battleSlots = 0; // the rows whose robots are in the battle
    // A repair, opened by the first fighter that found a drift (or forced):
    // its word reaches every fighter ahead of any repair data, only the
    // named host's data is relayed, and it ends with every fighter's
    // confirmation.
    bool repairing = false;
    int repairHost = -1;
    u16 repairConfirmed = 0; // fighters that took the host's set
    u16 repairRefused = 0;   // fighters that found a part of it out of range
    u32 repairs = 0; // completed this battle: the run the next one repairs
    u32 repairsOpened = 0;
    // What of the host's set has been relayed: the team arrays, and the
    // rows whose robot it brought a block for. It holds one for every row of
    // the battle (a spectator's robot stands in it too).
    bool setBlock = false;
    u16 setSnapshots = 0;
    u32 hostNamedAt = 0, setWholeAt = 0;
    bool SetWhole() const { return setBlock && (setSnapshots & battleSlots) == battleSlots; }
    // Every player of the battle reported its game set up.
    bool AllLoaded() const
    {
        for (const Seat& s : seats)
            if (s.used && s.human && s.inBattle && !s.loaded) return false;
        return true;
    }
    u32 startValue = 0;
    u32 nextId = 1000;
    std::vector<std::vector<u8>> log;
    bool gameWaiting = true, dataWaiting = true;  // a listener has a connection to take
};

RoomServer::RoomServer(u32 rooms, const RoomConfig& config, u16 gameBase, u16 dataBase)
    : log_(config.log), store_(std::make_unique<BulkStore>(kBulkInMemory)), born_(plat::TimeGetTime())
{
    // Random squads and start values differ from one server start to the next.
    seed_ = u32(std::chrono::system_clock::now().time_since_epoch().count()) ^ (born_ * 2654435761u);
    rooms = std::clamp<u32>(rooms, 1, 5);
    listening_ = true;
    for (u32 r = 0; r < rooms; ++r) {
        auto* room = new Room;
        room->index = r;
        room->config = config;
        room->config.capacity = std::clamp<u32>(config.capacity, 1, 10);
        room->gamePort = gameBase ? u16(gameBase + r) : 0;
        room->dataPort = dataBase ? u16(dataBase + r) : 0;
        room->gameListener = plat::NetListenTcp(config.listenIp, &room->gamePort, 64);
        room->dataListener = plat::NetListenTcp(config.listenIp, &room->dataPort, 64);
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
    // Giving memory back walks the whole heap: on a thread of its own, so
    // the rooms are never kept waiting for it.
    trimmer_ = std::thread([this] {
        while (!stop_) {
            if (trimWanted_.exchange(false)) plat::ReleaseFreeMemory();
            plat::Sleep(100);
        }
    });
}

RoomServer::~RoomServer()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (trimmer_.joinable()) trimmer_.join();
    TellUnlogged(true);
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

void RoomServer::Log(const char* format, ...)
{
    if (!log_ || rooms_.empty()) return;
    // A client that reconnects or misbehaves without end gets its allowance
    // of lines, then one line telling how many more there were.
    const RoomConfig& config = rooms_[0]->config;
    const u32 now = plat::TimeGetTime();
    Address& a = addresses_[logPeer_];
    if (now - a.windowStart >= config.logWindowMs) {
        if (a.unlogged > 0) TellUnlogged(logPeer_, a, now);
        a.windowStart = now;
        a.lines = 0;
    }
    if (a.lines >= config.logLinesPerAddress) {
        ++a.unlogged;
        return;
    }
    ++a.lines;
    va_list args;
    va_start(args, format);
    std::vfprintf(log_, format, args);
    va_end(args);
    std::fputc('\n', log_);
    std::fflush(log_);
}

void RoomServer::TellUnlogged(u32 ip, Address& a, u32 now)
{
    if (log_) {
        std::fprintf(log_, "address %s: %u more lines about its connections not logged in %u s\n",
                     AddressText(ip).c_str(), a.unlogged, (now - a.windowStart) / 1000);
        std::fflush(log_);
    }
    a.unlogged = 0;
    a.windowStart = now;
    a.lines = 0;
}

// Tells every address whose allowance window is over (or all, at the end)
// how many lines it went without, and forgets the addresses that are done.
void RoomServer::TellUnlogged(bool all)
{
    if (rooms_.empty()) return;
    const u32 now = plat::TimeGetTime(), window = rooms_[0]->config.logWindowMs;
    for (auto it = addresses_.begin(); it != addresses_.end();) {
        Address& a = it->second;
        const bool over = all || now - a.windowStart >= window;
        if (over && a.unlogged > 0) TellUnlogged(it->first, a, now);
        if (over && a.open == 0 && a.unlogged == 0) it = addresses_.erase(it);
        else ++it;
    }
}

u16 RoomServer::GamePort(u32 room) const { return room < rooms_.size() ? rooms_[room]->gamePort : 0; }
u16 RoomServer::DataPort(u32 room) const { return room < rooms_.size() ? rooms_[room]->dataPort : 0; }

void RoomServer::ForceRepair(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (room < rooms_.size()) OpenRepair(*rooms_[room]);
}

// A player fighting in the running battle: only these host, confirm and
// ask for repairs.
bool RoomServer::Fighter(const Room& room, int slot)
{
    if (slot < 0 || slot >= 10) return false;
    const Room::Seat& s = room.seats[slot];
    return room.running && s.used && s.human && s.inBattle && s.team != kSpectatorTeam &&
           (room.battleSlots & (1u << slot));
}

u16 RoomServer::Fighters(const Room& room)
{
    u16 mask = 0;
    for (int i = 0; i < 10; ++i)
        if (Fighter(room, i)) mask = u16(mask | (1u << i));
    return mask;
}

void RoomServer::OpenRepair(Room& room)
{
    // Every fighter that finds the same drift asks: the first opens it.
    if (!room.running || room.repairing) return;
    room.repairing = true;
    ++room.repairsOpened;
    NameHost(room, -1);
}

// Names the first fighter after `after` (in row order, round the table) the
// host of the repair of this run, in a word every fighter hears before any
// of its data; a word naming a new host for the same run drops every client's
// set and verdicts, so all take the new host's set alike.
void RoomServer::NameHost(Room& room, int after)
{
    room.repairHost = -1;
    room.repairConfirmed = 0;
    room.repairRefused = 0;
    room.setBlock = false;
    room.setSnapshots = 0;
    room.hostNamedAt = plat::TimeGetTime();
    for (int k = 1; k <= 10 && room.repairHost < 0; ++k) {
        const int i = ((after < 0 ? -1 : after) + k + 10) % 10;
        if (Fighter(room, i)) room.repairHost = i;
    }
    if (room.repairHost < 0) {
        room.repairing = false;
        return;
    }
    std::vector<u8> word(7, 0);
    word[0] = 10;
    Put16(word, 1, u16(room.repairHost));
    Put32(word, 3, room.repairs);
    ToFighters(room, word);
    Log("room %u: repair of run %u hosted by slot %d", room.index, room.repairs, room.repairHost);
}

// The host's set never came whole, or was refused: the next fighter hosts
// the same run; a host replaced twice in a battle leaves it.
void RoomServer::ReplaceHost(Room& room)
{
    const int host = room.repairHost;
    if (host < 0) return;
    if (Fighter(room, host) && ++room.seats[host].hostReplaced >= kHostReplacedLimit) {
        Log("room %u: slot %d failed as a repair's host too often", room.index, host);
        room.setBlock = false;  // its set is void: its going names the next host
        return DropFromBattle(room, host);
    }
    NameHost(room, host);
}

void RoomServer::RepairSeatGone(Room& room, int slot)
{
    if (!room.repairing) return;
    room.repairConfirmed = u16(room.repairConfirmed & ~(1u << slot));
    room.repairRefused = u16(room.repairRefused & ~(1u << slot));
    // A whole set relayed before its host left stands.
    if (slot == room.repairHost && !room.SetWhole()) NameHost(room, slot);
    else MaybeEndRepair(room);
}

// Once every fighter has given its verdict on the whole set: all took it,
// and the repair is over; a majority took it, and those that refused it
// leave the battle (they would play on from another state); otherwise the
// set is dropped everywhere and the next host sends one.
void RoomServer::MaybeEndRepair(Room& room)
{
    if (!room.repairing || !room.SetWhole()) return;
    const u16 fighters = Fighters(room);
    const u16 refused = u16(room.repairRefused & fighters), taken = u16(room.repairConfirmed & fighters);
    if ((refused | taken) != fighters) return;
    if (refused == 0) {
        room.repairing = false;
        room.repairHost = -1;
        ++room.repairs;
        Log("room %u: repair done", room.index);
        return;
    }
    if (2 * std::popcount(taken) > std::popcount(fighters)) {
        for (int i = 0; i < 10; ++i)
            if (refused & (1u << i)) {
                Log("room %u: slot %d refused a set the others took", room.index, i);
                DropFromBattle(room, i);
            }
        return;
    }
    Log("room %u: the set of slot %d was refused", room.index, room.repairHost);
    ReplaceHost(room);
}

// Bounded waits of a repair: for the host's whole set, then for every
// fighter's verdict on it (one that gives none leaves the battle).
void RoomServer::RepairTimers(Room& room)
{
    if (!room.repairing) return;
    const u32 now = plat::TimeGetTime();
    if (!room.SetWhole()) {
        if (now - room.hostNamedAt > room.config.repairSetWaitMs) {
            Log("room %u: the set of slot %d was not whole in time", room.index, room.repairHost);
            ReplaceHost(room);
        }
        return;
    }
    if (now - room.setWholeAt <= room.config.repairVerdictWaitMs) return;
    const u16 silent = u16(Fighters(room) & ~(room.repairConfirmed | room.repairRefused));
    for (int i = 0; i < 10 && room.repairing; ++i)
        if (silent & (1u << i)) {
            Log("room %u: slot %d never confirmed the repair", room.index, i);
            DropFromBattle(room, i);
        }
}

// A fighter that stays connected (its pings keep its seat) but sends no key
// state for its next frame while another's are ahead holds every other
// game. Past the bound it goes back to the room, and the others let it go
// after its last covered frame, all at the same one. Not while a game still
// loads or a repair runs (each has its waits), nor when all are level:
// then nobody is held.
void RoomServer::KeyStateTimers(Room& room)
{
    const u16 fighters = Fighters(room);
    const bool watched =
        room.running && !room.repairing && room.config.battleSilenceMs > 0 && room.AllLoaded();
    i32 fastest = -1;
    for (int i = 0; i < 10; ++i)
        if (fighters & (1u << i)) fastest = std::max(fastest, room.seats[i].NextKey());
    const u32 now = plat::TimeGetTime();
    for (int i = 0; i < 10; ++i) {
        Room::Seat& s = room.seats[i];
        if (!watched || !(fighters & (1u << i)) || s.NextKey() >= fastest) {
            s.holding = false;
            continue;
        }
        if (!s.holding) {
            s.holding = true;
            s.holdingSince = now;
        } else if (now - s.holdingSince > room.config.battleSilenceMs) {
            Log("room %u: slot %d held the battle at frame %d", room.index, i, s.NextKey());
            DropFromBattle(room, i);
        }
    }
}

// A fighter leaves the battle as if it had gone back to the room: the
// others let it go after the last frame its key states covered.
void RoomServer::DropFromBattle(Room& room, int slot)
{
    Room::Seat& me = room.seats[slot];
    if (!room.running || !me.used || !me.inBattle) return;
    std::vector<u8> out(7, 0);
    out[0] = 9;
    Put16(out, 1, u16(slot));
    // The last frame its keys covered, -1 for none: the others take it
    // out of their waits from the next.
    Put32(out, 3, u32(me.LastKeyFrame()));
    me.inBattle = 0;
    me.ready = 0;
    // The room hears it too: its clients count the player back with them.
    ToRoom(room, out);
    RepairSeatGone(room, slot);
    MaybeEnd(room);
    // What the room did meanwhile never reached it: it gets every row
    // (a computer row removed meanwhile as empty) and the settings.
    if (me.game) {
        for (u32 i = 0; i < room.config.capacity; ++i) SendTo(*me.game, EntryMessage(room, int(i)));
        SendTo(*me.game, SettingsMessage(room));
    }
}

u32 RoomServer::Participants(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (room >= rooms_.size()) return 0;
    u32 n = 0;
    for (const auto& s : rooms_[room]->seats) n += s.used && s.human;
    return n;
}

u32 RoomServer::SeatsUsed(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (room >= rooms_.size()) return 0;
    u32 n = 0;
    for (const auto& s : rooms_[room]->seats) n += s.used;
    return n;
}

u32 RoomServer::Connections(u32 room)
{
    std::lock_guard<std::mutex> hold(lock_);
    return room < rooms_.size() ? u32(rooms_[room]->conns.size()) : 0;
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

u64 RoomServer::Dropped()
{
    std::lock_guard<std::mutex> hold(lock_);
    return dropped_;
}

u64 RoomServer::BufferedBytes()
{
    std::lock_guard<std::mutex> hold(lock_);
    u64 n = store_->MemoryBytes();
    for (Room* room : rooms_)
        for (Conn* c : room->conns) n += c->in.capacity() + c->out.capacity() + c->laterOwn + c->stage.capacity();
    return n;
}

u64 RoomServer::Turns()
{
    std::lock_guard<std::mutex> hold(lock_);
    return turns_;
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
            ++turns_;
            for (Room* room : rooms_) Step(*room);
            for (Room* room : rooms_) RepairTimers(*room);
            for (Room* room : rooms_) KeyStateTimers(*room);
            if (plat::TimeGetTime() - lastTell_ >= 1000) {
                lastTell_ = plat::TimeGetTime();
                TellUnlogged(false);
            }
            freedBytes_ += store_->TakeFreed();
            // The allocator keeps what large buffers freed unless asked: a
            // server that held many of them goes back near its starting size.
            if (freedBytes_ >= kTrimAfterBytes && plat::TimeGetTime() - lastTrim_ >= kTrimEveryMs) {
                lastTrim_ = plat::TimeGetTime();
                freedBytes_ = 0;
                trimWanted_ = true;
            }
        }
        Wait();
    }
}

// Until a listener or a connection has something, or the idle step is over.
// Only the serving thread adds or removes connections, so the answers fall
// on the connections that were asked about.
void RoomServer::Wait()
{
    std::unique_lock<std::mutex> hold(lock_);
    waits_.clear();
    for (Room* room : rooms_) {
        waits_.push_back({room->gameListener, true});
        waits_.push_back({room->dataListener, true});
        for (Conn* c : room->conns) waits_.push_back({c->socket, true, c->Waiting()});
    }
    hold.unlock();
    if (plat::NetPoll(waits_.data(), u32(waits_.size()), kIdleWaitMs) < 0) {
        // Nothing told: every socket is tried once more after a rest.
        plat::Sleep(1);
        for (auto& w : waits_) w.readable = w.writable = true;
    }
    hold.lock();
    size_t i = 0;
    for (Room* room : rooms_) {
        room->gameWaiting = waits_[i++].readable;
        room->dataWaiting = waits_[i++].readable;
        for (Conn* c : room->conns) {
            // One with nothing to send was not asked about: its next send is tried.
            c->readable = waits_[i].readable;
            c->writable = !waits_[i].write || waits_[i].writable;
            ++i;
        }
    }
}

void RoomServer::Accept(Room& room, plat::SocketId listener, bool data)
{
    for (u32 i = 0; i < kAcceptsPerTurn; ++i) {
        u32 peer = 0;
        const plat::SocketId s = plat::NetAccept(listener, &peer);
        if (s == plat::InvalidSocket) return;
        logPeer_ = peer;
        // One host cannot fill the rooms: its connections over its share are
        // let go at once, and the others' keep being answered.
        Address& from = addresses_[peer];
        if (from.open >= room.config.connectionsPerAddress) {
            Log("room %u: connection from %s refused, it holds %u already", room.index, AddressText(peer).c_str(),
                from.open);
            plat::NetClose(s);
            continue;
        }
        if (room.conns.size() >= kMaxConnsPerRoom) {
            Log("room %u: connection refused, %u open already", room.index, kMaxConnsPerRoom);
            plat::NetClose(s);
            continue;
        }
        // Relays are small and each is awaited by a lockstep frame: none
        // waits on the acknowledgement of the one before.
        plat::NetSetNoDelay(s, true);
        // A link cut without a word is found by the system too. The server's
        // own rules (seat timeout, taking nothing) let a player go, not the
        // system's: its wait for acknowledgements is longer.
        plat::NetSetKeepAlive(s, true, room.config.seatTimeoutMs + 15000u);
        // Bulk relays wait here, not in the system, so a ping can pass them.
        plat::NetSetUnsentLimit(s, kUnsentBytes);
        auto* c = new Conn;
        c->id = nextConnId_++;
        c->room = room.index;
        c->socket = s;
        c->data = data;
        c->peer = peer;
        ++from.open;
        c->opened = c->lastTaken = plat::TimeGetTime();
        room.conns.push_back(c);
        Log("room %u: connection %u from %s opened on the %s port", room.index, c->id, AddressText(peer).c_str(),
            data ? "data" : "game");
    }
}

bool RoomServer::Step(Room& room)
{
    if (room.gameListener != plat::InvalidSocket && room.gameWaiting) Accept(room, room.gameListener, false);
    if (room.dataListener != plat::InvalidSocket && room.dataWaiting) Accept(room, room.dataListener, true);
    room.gameWaiting = room.dataWaiting = false;
    bool busy = false;
    const u32 now = plat::TimeGetTime();
    // Relays may add connections' work but never connections, so an index walk is safe.
    for (size_t i = 0; i < room.conns.size(); ++i) {
        Conn& c = *room.conns[i];
        if (c.socket == plat::InvalidSocket) continue;
        logPeer_ = c.peer;
        // Seats are freed on every path: a player whose data connection
        // never came is let go too.
        const bool unpaired = c.slot < 0 || (!c.data && !room.seats[c.slot].data);
        if (unpaired && now - c.opened > room.config.loginTimeoutMs) {
            Close(room, c, "no login in time");
            continue;
        }
        // A player whose link went quiet (cut with no close, or a client
        // that hangs) holds the seat no longer: the ready need not wait.
        if (!c.data && c.slot >= 0 && i32(now - room.seats[c.slot].lastHeard) > i32(room.config.seatTimeoutMs)) {
            Close(room, c, "nothing heard in time");
            continue;
        }
        // A reader that takes nothing at all, however little it is sent.
        if (c.Waiting() && i32(now - c.lastTaken) > i32(room.config.seatTimeoutMs)) {
            Close(room, c, "took nothing in time");
            continue;
        }
        if (!c.readable) continue;
        c.readable = false;
        busy |= Read(room, c);
    }
    for (Conn* c : room.conns)
        if (c->socket != plat::InvalidSocket) Flush(*c);
    room.conns.erase(std::remove_if(room.conns.begin(), room.conns.end(),
                                    [this](Conn* c) {
                                        if (c->socket != plat::InvalidSocket) return false;
                                        --addresses_[c->peer].open;
                                        Freed(c->in);
                                        Freed(c->out);
                                        delete c;
                                        return true;
                                    }),
                     room.conns.end());
    return busy;
}


// One bounded read, then every whole frame in the buffer. True when bytes came.
bool RoomServer::Read(Room& room, Conn& c)
{
    scratch_.resize(kReadPerTurn);
    plat::NetError err = plat::NetOk;
    const i32 n = plat::NetRecv(c.socket, scratch_.data(), kReadPerTurn, &err);
    if (n == 0 || (n < 0 && err != plat::NetWouldBlock)) {
        Close(room, c, n == 0 ? "closed by the client" : "read error");
        return true;
    }
    if (n > 0) {
        if (c.inStart > 0) {
            // Only the unfinished frame's bytes move, once per turn.
            const size_t kept = c.in.size() - c.inStart;
            std::memmove(c.in.data(), c.in.data() + c.inStart, kept);
            c.in.resize(kept);
            c.inStart = 0;
        }
        c.in.insert(c.in.end(), scratch_.data(), scratch_.data() + n);
    }
    bool heard = false;
    while (c.socket != plat::InvalidSocket && c.in.size() - c.inStart >= kFrameHeader) {
        const u8* at = c.in.data() + c.inStart;
        const u32 total = GetU32(at);
        const u32 largest = c.slot < 0 ? kLargestBeforeSeat : kLargestMessage;
        if (total <= kFrameHeader || total > kFrameHeader + largest) {
            Close(room, c, "frame length out of range");
            break;
        }
        if (c.in.size() - c.inStart < total) break;
        c.inStart += total;
        const u64 dropped = dropped_;
        Handle(room, c, at + kFrameHeader, total - kFrameHeader);
        if (dropped_ == dropped) Keep(room, at + kFrameHeader, total - kFrameHeader);
        heard = true;
    }
    if (heard && c.slot >= 0) room.seats[c.slot].lastHeard = plat::TimeGetTime();
    if (c.inStart == c.in.size()) {
        c.in.clear();
        c.inStart = 0;
    }
    // An idle connection gives its buffer back.
    if (c.in.empty() && c.in.capacity() > (16u << 10)) Freed(c.in);
    return n > 0;
}

// The urgent frames first, then the bulk relays in order; a frame begun is
// finished before any other. A relay kept in the file is read a stage at a
// time, so a reader costs memory only for the stage it is being sent.
void RoomServer::Flush(Conn& c)
{
    const u32 now = plat::TimeGetTime();
    while (c.writable && c.Waiting()) {
        const bool bulk = c.laterSent > 0 || c.outStart == c.out.size();
        const BulkFrame* frame = bulk ? c.later.front().get() : nullptr;
        const u8* from = nullptr;
        size_t left = 0;
        if (!bulk) {
            from = c.out.data() + c.outStart;
            left = c.out.size() - c.outStart;
        } else if (frame->Memory()) {
            from = frame->Memory() + c.laterSent;
            left = frame->Size() - c.laterSent;
        } else {
            if (c.stageStart == c.stage.size()) {
                const u32 n = std::min(kStageBytes, frame->Size() - c.laterSent);
                c.stage.resize(n);
                c.stageStart = 0;
                if (!store_->Read(*frame, c.laterSent, c.stage.data(), n)) {
                    Log("room %u: connection %u: the relay file could not be read", c.room, c.id);
                    plat::NetShutdown(c.socket, plat::NetShut::Both);
                    c.DropOutput();
                    return;
                }
            }
            from = c.stage.data() + c.stageStart;
            left = c.stage.size() - c.stageStart;
        }
        plat::NetError err = plat::NetOk;
        const i32 sent = plat::NetSend(c.socket, from, u32(left), &err);
        if (sent > 0) {
            c.lastTaken = now;
            if (!bulk) {
                c.outStart += size_t(sent);
                continue;
            }
            if (!frame->Memory()) c.stageStart += size_t(sent);
            if ((c.laterSent += u32(sent)) == frame->Size()) {
                (frame->Shared() ? c.laterShared : c.laterOwn) -= frame->Size();
                c.later.pop_front();
                c.laterSent = 0;
                c.stage.clear();
                c.stageStart = 0;
            }
            continue;
        }
        if (sent < 0 && err == plat::NetWouldBlock) break;
        // A failed send ends the connection; the read side notices the close.
        plat::NetShutdown(c.socket, plat::NetShut::Both);
        c.DropOutput();
        return;
    }
    c.writable = false;
    if (!c.Waiting()) {
        c.lastTaken = now;
        if (c.stage.capacity() > 0) std::vector<u8>().swap(c.stage);
    }
    if (c.outStart == c.out.size()) {
        c.out.clear();
        c.outStart = 0;
        if (c.out.capacity() > (256u << 10)) Freed(c.out);
    } else if (c.outStart > c.out.size() / 2) {
        c.out.erase(c.out.begin(), c.out.begin() + std::ptrdiff_t(c.outStart));
        c.outStart = 0;
    }
}

void RoomServer::Freed(std::vector<u8>& buffer)
{
    freedBytes_ += buffer.capacity();
    std::vector<u8>().swap(buffer);
}

void RoomServer::SendTo(Conn& c, const u8* m, u32 size, bool passBulk)
{
    if (c.socket == plat::InvalidSocket) return;
    const u32 limit = c.slot >= 0 ? rooms_[0]->config.sendQueueLimit : rooms_[0]->config.sendQueueLimit / 16;
    if (c.out.size() - c.outStart + c.laterOwn + kFrameHeader + size > limit) {
        // A reader this far behind is cut off whole: it never gets half a frame
        // followed by another.
        c.DropOutput();
        Close(*rooms_[c.room], c, "too far behind in reading");
        return;
    }
    if (!c.Waiting()) c.lastTaken = plat::TimeGetTime();
    // What is not urgent keeps its place behind the bulk relays before it;
    // what may pass them passes only them, never a message queued behind them.
    if (!c.later.empty() && !Urgent(m[0]) && !(passBulk && c.laterOwn == 0)) {
        c.later.push_back(BulkStore::Own(m, size));
        c.laterOwn += kFrameHeader + size;
        return;
    }
    const size_t at = c.out.size();
    c.out.resize(at + kFrameHeader + size);
    PutU32(c.out.data() + at, kFrameHeader + size);
    std::memcpy(c.out.data() + at + kFrameHeader, m, size);
}

// Relays go out on the game connections of the room's players.
void RoomServer::ToRoom(Room& room, const std::vector<u8>& m, int onlyTeam, bool roomOnly, bool passBulk)
{
    for (size_t i = 0; i < room.conns.size(); ++i) {
        Conn* c = room.conns[i];
        if (c->data || c->slot < 0 || c->socket == plat::InvalidSocket) continue;
        if (onlyTeam >= 0 && room.seats[c->slot].team != u32(onlyTeam)) continue;
        if (roomOnly && room.running && room.seats[c->slot].inBattle) continue;
        SendTo(*c, m.data(), u32(m.size()), passBulk);
    }
}

// One copy for every reader, each sent it at its own pace: nobody waits for
// a slower reader, and the sender is read on. A reader is held to what
// every seat's whole allowance makes at once; past that it is too far
// behind, and the file stays bounded however slow it is.
void RoomServer::ToRoomBulk(Room& room, const std::vector<u8>& m)
{
    std::shared_ptr<const BulkFrame> frame;
    const u64 most = u64(room.config.capacity) * kUploadBurstBytes * std::clamp(room.config.relayAllowance, 1u, 100u);
    for (size_t i = 0; i < room.conns.size(); ++i) {
        Conn* c = room.conns[i];
        if (c->data || c->slot < 0 || c->socket == plat::InvalidSocket) continue;
        if (room.running && room.seats[c->slot].inBattle) continue;
        if (!frame) frame = store_->Put(m.data(), u32(m.size()));
        if (c->laterShared + frame->Size() > most) {
            c->DropOutput();
            Close(room, *c, "too far behind in reading its uploads");
            continue;
        }
        if (!c->Waiting()) c->lastTaken = plat::TimeGetTime();
        c->later.push_back(frame);
        c->laterShared += frame->Size();
    }
}

// A battle's relays go to its fighters only: one back in the room has no use
// for them, and its client would hold them into its next battle.
void RoomServer::ToFighters(Room& room, const std::vector<u8>& m)
{
    if (!room.running) return;
    for (size_t i = 0; i < room.conns.size(); ++i) {
        Conn* c = room.conns[i];
        if (c->data || c->slot < 0 || c->socket == plat::InvalidSocket || !room.seats[c->slot].inBattle) continue;
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
    Put32(m, 27, s.used ? s.robot : 0);
    Put32(m, 31, s.used ? s.team : 0);
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

void RoomServer::Login(Room& room, Conn& conn, const u8* m)
{
    std::vector<u8> refuse(7, 0);
    refuse[0] = 5;
    if (GetU32(m + 33) != kVersion) {
        Put32(refuse, 3, 2);
        return SendTo(conn, refuse);
    }
    if (room.running) {
        Put32(refuse, 3, 1);
        return SendTo(conn, refuse);
    }
    int slot = -1;
    for (u32 i = 0; i < room.config.capacity && slot < 0; ++i)
        if (!room.seats[i].used) slot = int(i);
    if (slot < 0) {
        Put32(refuse, 3, 0);
        return SendTo(conn, refuse);
    }
    Room::Seat& s = room.seats[slot];
    s = Room::Seat{};
    s.used = s.human = true;
    std::memcpy(s.name, m + 1, 24);
    const u32 robot = GetU32(m + 25), rank = GetU32(m + 29);
    s.robot = ValidRobot(robot) ? robot : 1000;
    s.rank = std::min(rank, kMaxRank);
    s.team = u32(slot) % (room.config.rule >= 3 ? 2 : 10);
    s.slotState = 1;
    s.lastHeard = plat::TimeGetTime();
    s.id = room.nextId++;
    s.game = &conn;
    conn.slot = slot;
    Log("room %u: connection %u seated in slot %d", room.index, conn.id, slot);
    std::vector<u8> accepted(28, 0);
    Put16(accepted, 25, u16(slot));
    accepted[27] = room.config.rule;
    SendTo(conn, accepted);
    for (int i = 0; i < 10; ++i)
        if (room.seats[i].used && i != slot) SendTo(conn, EntryMessage(room, i));
    ToRoom(room, EntryMessage(room, slot));
    SendTo(conn, SettingsMessage(room));
}

std::vector<u8> RoomServer::SettingsMessage(const Room& room)
{
    std::vector<u8> m(room.settings, room.settings + 37);
    m[0] = 6;
    return m;
}

// Whether the seats' battle has something to decide: the interception
// rule needs a defender in squad 0 (the computer's waves are the other
// side), every other rule fighters in two squads. A random squad may still
// become either.
bool RoomServer::Contested(const Room& room)
{
    bool squad[10] = {};
    u32 squads = 0, randoms = 0;
    for (const Room::Seat& s : room.seats) {
        if (!s.used || s.team == kSpectatorTeam) continue;
        if (s.team == kRandomTeam) ++randoms;
        else if (s.team < 10 && !squad[s.team]) squad[s.team] = true, ++squads;
    }
    if (room.config.rule == kRuleInterception) return squad[0] || randoms > 0;
    return squads + randoms >= 2;
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
    // A battle without an opponent is decided on its first frame: the ready
    // wait for one, and are told why nothing starts.
    if (!Contested(room)) {
        // Fighters enough but all in one squad: the line says what to change.
        int fighters = 0;
        for (const auto& s : room.seats) fighters += s.used && s.team != kSpectatorTeam;
        const char* why = room.config.rule == kRuleInterception ? "破袭战需要小队 0 的机体防守"
                          : fighters >= 2                       ? "所有机体都在同一小队，请把一台机体换到其他小队"
                                                                : "没有对手，请等待其他玩家或电脑加入";
        std::vector<u8> notice(5 + std::strlen(why) + 1, 0);
        notice[0] = 19;
        notice[3] = 10;
        std::memcpy(notice.data() + 5, why, std::strlen(why));
        ToRoom(room, notice);
        Log("room %u: all ready, but no opponent", room.index);
        return;
    }
    room.starting = true;
    // The random squad becomes a real one here, once for everybody, and
    // still leaves the battle an opponent.
    const u32 squads = room.config.rule >= 3 ? 2 : 10;
    Room::Seat* lastRandom = nullptr;
    for (Room::Seat& s : room.seats) {
        if (!s.used || s.team != kRandomTeam) continue;
        seed_ = seed_ * 1103515245u + 12345u;
        s.team = (seed_ >> 16) % squads;
        lastRandom = &s;
    }
    if (lastRandom && !Contested(room)) {
        if (room.config.rule == kRuleInterception) lastRandom->team = 0;
        else lastRandom->team = (lastRandom->team + 1) % squads;
    }
    room.battleSlots = 0;
    for (int i = 0; i < 10; ++i) {
        Room::Seat& s = room.seats[i];
        if (!s.used) continue;
        s.inBattle = 1;
        s.nextKeyFrame = 0;
        s.awaitingNewRun = false;
        s.loaded = false;
        s.hostReplaced = 0;
        s.namedBy = 0;
        room.battleSlots |= u16(1u << i);
        ToRoom(room, EntryMessage(room, i));
    }
    room.running = true;
    room.repairing = false;
    room.repairs = 0;
    room.repairsOpened = 0;
    seed_ = seed_ * 1103515245u + 12345u;
    room.startValue = (seed_ >> 8) | 1u;
    std::vector<u8> start(5, 0);
    start[0] = 7;
    Put32(start, 1, room.startValue);
    ToRoom(room, start);
    room.starting = false;
    Log("room %u: game started", room.index);
}

void RoomServer::MaybeEnd(Room& room)
{
    if (!room.running) return;
    for (const auto& seat : room.seats)
        if (seat.used && seat.human && seat.inBattle) return;
    room.running = false;
    room.repairing = false;
    room.battleSlots = 0;
    // Computer rows come back from the battle with the last player.
    for (auto& seat : room.seats) seat.inBattle = 0;
    Log("room %u: game over", room.index);
}

// Closes a connection; a seated player's other connection goes with it, the
// seat is freed and the room learns the frame the player's keys covered.
void RoomServer::Close(Room& room, Conn& conn, const char* why)
{
    if (conn.socket == plat::InvalidSocket) return;
    Log("room %u: connection %u closed (%s)", room.index, conn.id, why);
    plat::NetClose(conn.socket);
    conn.socket = plat::InvalidSocket;
    conn.DropOutput();
    const int slot = conn.slot;
    if (slot < 0) return;
    Room::Seat& s = room.seats[slot];
    for (Conn* other : {s.game, s.data})
        if (other && other != &conn && other->socket != plat::InvalidSocket) {
            Log("room %u: connection %u closed with its partner", room.index, other->id);
            plat::NetClose(other->socket);
            other->socket = plat::InvalidSocket;
            other->DropOutput();
            other->slot = -1;
        }
    conn.slot = -1;
    // One who went back to the room keeps the frame its keys ran to, so a
    // client still short of it removes the player there and nowhere else.
    const bool inBattle = room.running && s.inBattle;
    const i32 frame = room.running && (room.battleSlots & (1u << slot)) ? s.LastKeyFrame() : 0;
    s = Room::Seat{};
    std::vector<u8> left(7, 0);
    left[0] = 4;
    Put16(left, 1, u16(slot));
    Put32(left, 3, u32(frame));
    ToRoom(room, left);
    Log("room %u: slot %d left%s", room.index, slot, inBattle ? " the battle" : "");
    if (inBattle) RepairSeatGone(room, slot);
    MaybeEnd(room);
    // The last who was not ready may be the one who left.
    if (!room.running && !room.starting) MaybeStart(room);
}

void RoomServer::Keep(Room& room, const u8* m, u32 size)
{
    if (room.log.size() >= kKeptMessages) room.log.erase(room.log.begin(), room.log.begin() + kKeptMessages / 2);
    // Large blocks (snapshots, uploads) are kept by their start only.
    room.log.emplace_back(m, m + (size > 512 ? 64 : size));
}

void RoomServer::DropMessage(Room& room, Conn& conn, const u8* m, u32 size, const char* why)
{
    ++dropped_;
    if (conn.loggedDrops < kLoggedDropsPerConn)
        Log("room %u: connection %u: message %u of %u bytes dropped (%s)", room.index, conn.id, size ? m[0] : 0u, size,
            why);
    else if (conn.loggedDrops == kLoggedDropsPerConn)
        Log("room %u: connection %u: further dropped messages are not logged", room.index, conn.id);
    ++conn.loggedDrops;
}

void RoomServer::Handle(Room& room, Conn& conn, const u8* m, u32 size)
{
    const u8 id = m[0];
    const MessageRule rule = RuleOf(id);
    if (!rule.known) return DropMessage(room, conn, m, size, "unknown message");
    if (rule.data != conn.data) return DropMessage(room, conn, m, size, "wrong connection");
    if (rule.size != 0 && size != rule.size) return DropMessage(room, conn, m, size, "wrong size");
    const u8* p = m;
    if (id == 0) {
        if (conn.slot >= 0) return DropMessage(room, conn, m, size, "already seated");
        return Login(room, conn, m);
    }
    if (id == 13) return SendTo(conn, StatusRecord(room));
    if (id == 12) return SendTo(conn, {17, 0});
    if (id == 18) {
        const u16 slot = GetU16(p + 1);
        if (conn.slot >= 0 || slot >= 10 || !room.seats[slot].used || !room.seats[slot].human ||
            room.seats[slot].data || !room.seats[slot].game)
            return DropMessage(room, conn, m, size, "no seat to join");
        // Only the seat's own player names it: its data connection comes
        // from where its game connection came.
        if (room.seats[slot].game->peer != conn.peer)
            return DropMessage(room, conn, m, size, "not from the seat's address");
        conn.slot = slot;
        room.seats[slot].data = &conn;
        Log("room %u: connection %u is slot %u's data connection", room.index, conn.id, slot);
        return;
    }
    const int slot = conn.slot;
    if (slot < 0) return DropMessage(room, conn, m, size, "not seated");
    Room::Seat& me = room.seats[slot];
    const bool fighting = room.running && me.inBattle;
    // Battle messages only from a player in the running battle; room
    // messages only from one who is not fighting.
    const bool battleOnly = id == 5 || id == 6 || id == 7 || id == 9 || id == 10 || id == 14 || id == 17 || id == 19;
    const bool roomOnly = id == 1 || id == 2 || id == 4 || id == 8 || id == 16 || id == 20;
    if (battleOnly && !fighting) return DropMessage(room, conn, m, size, "not in a battle");
    if (roomOnly && fighting) return DropMessage(room, conn, m, size, "in a battle");
    if (!me.WithinRate(id, size, plat::TimeGetTime(), std::clamp(room.config.relayAllowance, 1u, 100u))) return DropMessage(room, conn, m, size, "over its rate");
    // Room traffic stays in the room: a fighter's game gets none of it, so
    // nothing a peer sends can change a running battle.
    std::vector<u8> out;
    switch (id) {
    case 1: {
        const u16 target = GetU16(p + 1);
        const u32 robot = GetU32(p + 27), team = GetU32(p + 31), state = GetU32(p + 35), rank = GetU32(p + 39);
        int host = -1;
        for (int i = 0; i < 10 && host < 0; ++i)
            if (room.seats[i].used && room.seats[i].human) host = i;
        if (target >= room.config.capacity) return DropMessage(room, conn, m, size, "slot out of range");
        Room::Seat& s = room.seats[target];
        // A player changes its own row, which stays a player's; the host
        // also the computer rows.
        const bool own = target == slot && state == 1;
        const bool computer = target != slot && slot == host && !s.human && state != 1 && !s.inBattle;
        if (!own && !computer) return DropMessage(room, conn, m, size, "not the sender's row");
        if (!ValidRobot(robot) || !ValidTeam(team) || state > 2 || rank > kMaxRank)
            return DropMessage(room, conn, m, size, "value out of range");
        std::memcpy(s.name, p + 3, 24);
        s.robot = robot;
        s.team = team;
        s.slotState = state;
        s.rank = rank;
        if (!own) s.used = state != 0;
        ToRoom(room, EntryMessage(room, target), -1, true);
        if (!own && !s.used) s = Room::Seat{};
        return;
    }
    case 8: {
        const u32 ready = GetU32(p + 1);
        if (ready > 1) return DropMessage(room, conn, m, size, "value out of range");
        me.ready = u8(ready);
        // A ready is not kept waiting behind the uploads that come before it.
        ToRoom(room, EntryMessage(room, slot), -1, true, true);
        if (!room.running) MaybeStart(room);
        return;
    }
    case 2:
        if (GetU16(p + 1) != slot) return DropMessage(room, conn, m, size, "not the sender's slot");
        if (p[3] >= 10) return DropMessage(room, conn, m, size, "value out of range");
        out = {2, 0, 0, p[3]};
        Put16(out, 1, u16(slot));
        return ToRoom(room, out, -1, true);
    case 3:
        if (GetU16(p + 1) != slot) return DropMessage(room, conn, m, size, "not the sender's slot");
        if (GetU32(p + 3) > kMaxRank) return DropMessage(room, conn, m, size, "value out of range");
        out.assign(7, 0);
        out[0] = 3;
        Put16(out, 1, u16(slot));
        Put32(out, 3, GetU32(p + 3));
        me.rank = GetU32(p + 3);
        return ToRoom(room, out);
    case 4: {
        u8 settings[37];
        std::memcpy(settings, p, 37);
        if (!ValidSettings(settings)) return DropMessage(room, conn, m, size, "value out of range");
        std::memcpy(room.settings, settings, 37);
        return ToRoom(room, SettingsMessage(room), -1, true);
    }
    case 5:
    case 6: {
        // Repair data only inside a repair and only from its host: every
        // client rebuilds from one set, whoever else sends one. It carries
        // its sender, so a client can tell too.
        if (!room.repairing || slot != room.repairHost)
            return DropMessage(room, conn, m, size, "not the repair's host");
        // One set: the team arrays and one block per robot, each once.
        const u16 robot = GetU16(p + 1);
        if (id == 5 && (robot >= 10 || !(room.battleSlots & (1u << robot))))
            return DropMessage(room, conn, m, size, "no robot in that row");
        if (id == 6 ? room.setBlock : (room.setSnapshots & (1u << robot)) != 0)
            return DropMessage(room, conn, m, size, "already in the set");
        if (id == 6) room.setBlock = true;
        else room.setSnapshots = u16(room.setSnapshots | (1u << robot));
        if (room.SetWhole()) room.setWholeAt = plat::TimeGetTime();
        out.assign(m, m + size);
        out[0] = id == 5 ? 11 : 12;
        out.push_back(u8(slot));
        out.push_back(0);
        return ToFighters(room, out);
    }
    case 19: {
        // Only a fighter asks, and only once every player's battle is set
        // up: a word before that would reach a game still setting up.
        if (!Fighter(room, slot)) return DropMessage(room, conn, m, size, "not a fighter");
        if (!room.AllLoaded()) return DropMessage(room, conn, m, size, "a battle still loading");
        if (room.repairing) return;
        if (room.repairsOpened < kRepairsPerBattle) return OpenRepair(room);
        // The repairs are spent: the fighter the others keep finding
        // drifting (one other of two, two of more) leaves the battle.
        const int suspect = p[1];
        if (suspect == slot || !Fighter(room, suspect))
            return DropMessage(room, conn, m, size, "repairs spent");
        Room::Seat& s = room.seats[suspect];
        s.namedBy = u16(s.namedBy | (1u << slot));
        if (std::popcount(s.namedBy) >= std::min(2, std::popcount(Fighters(room)) - 1)) {
            Log("room %u: slot %d keeps drifting", room.index, suspect);
            DropFromBattle(room, suspect);
        }
        return;
    }
    case 7: {
        // One verdict per fighter on the host's whole set, counted only
        // once the server relayed it all: before that, no client has it.
        const u16 bit = u16(1u << slot);
        if (!room.repairing || !Fighter(room, slot) || !room.SetWhole() ||
            ((room.repairConfirmed | room.repairRefused) & bit))
            return DropMessage(room, conn, m, size, "no repair to confirm");
        if (p[1] > 1) return DropMessage(room, conn, m, size, "value out of range");
        if (p[1] == 1) {
            room.repairRefused = u16(room.repairRefused | bit);
            return MaybeEndRepair(room);
        }
        room.repairConfirmed = u16(room.repairConfirmed | bit);
        // Its repaired run starts again from frame 0.
        me.nextKeyFrame = 0;
        me.awaitingNewRun = true;
        out = {13, 0, 0};
        Put16(out, 1, u16(slot));
        ToFighters(room, out);
        return MaybeEndRepair(room);
    }
    case 10:
        me.loaded = true;
        out = {8, 0, 0};
        Put16(out, 1, u16(slot));
        return ToFighters(room, out);
    case 9:
        return DropFromBattle(room, slot);
    case 11:
        if (p[1] > 60) return DropMessage(room, conn, m, size, "value out of range");
        out = {16, 0, 0, p[1], p[2], p[3]};
        Put16(out, 1, u16(slot));
        return ToRoom(room, out);
    case 14: {
        const u32 frame = GetU32(p + 1);
        if (p[8] == 0 || (GetU16(p + 5) & 0x70) != 0 || frame > 0x7FFFFFFFu - 255 || me.team == 100)
            return DropMessage(room, conn, m, size, "value out of range");
        // A repair abandons the run its fighters were in: what one sends
        // before its confirmation is of that run. Relayed after the word, it
        // would reach the others as the new run's frames, held for its
        // confirmation and played in place of its real ones by any game that
        // gets there first.
        if (room.repairing && !(room.repairConfirmed & (1u << slot)))
            return DropMessage(room, conn, m, size, "a run under repair");
        // A key state is for its sender's next frame: its run's frame 0 after
        // a confirmation, else the frame its last one ended before, and never
        // far ahead of the slowest other fighter (every client's queue for
        // it would fill and drop the frames it must apply first).
        if (frame != u32(me.NextKey()))
            return DropMessage(room, conn, m, size, "not its next frame");
        i32 slowest = -1;
        for (int i = 0; i < 10; ++i)
            if (i != slot && Fighter(room, i) && (slowest < 0 || room.seats[i].NextKey() < slowest))
                slowest = room.seats[i].NextKey();
        if (slowest >= 0 && i64(frame) + p[8] > i64(slowest) + kKeyLeadFrames)
            return DropMessage(room, conn, m, size, "too far ahead");
        out.assign(10, 0);
        out[0] = 15;
        out[1] = u8(slot);
        std::memcpy(out.data() + 2, p + 1, 8);
        // The latest, not the largest: a repair starts the frames again
        // from 0, and a confirmed one's run has begun with this.
        me.awaitingNewRun = false;
        me.nextKeyFrame = i32(frame + p[8]);
        me.holding = false;
        return ToFighters(room, out);
    }
    case 15: {
        if (GetU16(p + 1) != slot) return DropMessage(room, conn, m, size, "not the sender's slot");
        if (p[3] > 99 || p[4] > 1) return DropMessage(room, conn, m, size, "value out of range");
        const u32 length = p[3];
        out.assign(5 + length + 1, 0);
        out[0] = 19;
        Put16(out, 1, u16(slot));
        out[3] = p[4];
        std::memcpy(out.data() + 5, p + 5, length);
        // A line sent with Ctrl goes to the sender's squad only.
        return ToRoom(room, out, p[4] ? int(me.team) : -1);
    }
    case 16: {
        if (size < 7 || size != 7 + u64(GetU32(p + 3))) return DropMessage(room, conn, m, size, "wrong size");
        const u16 kind = GetU16(p + 1);
        const u32 n = GetU32(p + 3);
        if (!ValidFileChunk(kind, n)) return DropMessage(room, conn, m, size, "value out of range");
        out.assign(9 + size_t(n), 0);
        out[0] = 20;
        Put16(out, 1, u16(slot));
        Put16(out, 3, kind);
        Put32(out, 5, n);
        std::memcpy(out.data() + 9, p + 7, n);
        return ToRoomBulk(room, out);
    }
    case 17:
        if (GetU16(p + 1) >= 10 || p[3] > 1) return DropMessage(room, conn, m, size, "value out of range");
        out = {21, 0, 0, p[1], p[2]};
        Put16(out, 1, u16(slot));
        return ToFighters(room, out);
    case 20:
        if (GetU16(p + 1) >= 4 || GetU32(p + 3) != 1 || GetU32(p + 7) != 414)
            return DropMessage(room, conn, m, size, "value out of range");
        out.assign(428, 0);
        out[0] = 22;
        Put16(out, 1, u16(slot));
        std::memcpy(out.data() + 3, p + 1, 10);
        std::memcpy(out.data() + 13, p + 11, 414);
        return ToRoomBulk(room, out);
    default: return DropMessage(room, conn, m, size, "unknown message");
    }
}
