// Two real games, Alice and Bob on one team, fight an online battle beside
// Mallory, a fighter played by hand on the wire, who keeps in step with
// them (her key states carry Alice's check bytes) and does one kind of harm
// to the repair or the lockstep. Whatever she does, Alice and Bob must play
// on from one identical state after every repair and end with a result:
// once her harm is done she goes back to the room, and from frame 400 of a
// run her robot, played by nobody, falls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/core/ByteOrder.h"
#include "platform/core/Time.h"
#include "roomserver/RoomServer.h"
#include "support/GameProcess.h"
#include "support/OnlineGames.h"
#include "support/PlayFolder.h"
#include "support/RoomWire.h"

namespace {

using roomwire::Fighter;

// Alice and Bob hold a direction at a time, round and round, so their
// robots (and any copy of them a game keeps from another frame) never
// stand still.
std::string Wander(int from, int to)
{
    static const char* const kKeys[] = {"Up", "Left", "Down", "Right"};
    std::string s;
    for (int t = from, i = 0; t < to; t += 1500, ++i) {
        s += ScriptStep(t, std::string("keydown ") + kKeys[i % 4]);
        s += ScriptStep(t + 1400, std::string("keyup ") + kKeys[i % 4]);
    }
    return s;
}

struct HostileBattle {
    u16 port = 0;
    // Mallory logs in first: her row is the room's first, so every repair
    // names her its host. Otherwise Alice's is, then Bob's, then Mallory's.
    bool malloryHosts = false;
    // Sam, a spectator (team 100), sits in the room too.
    bool spectator = false;
    // Bob's game drifts at this frame of its first run (-1: never).
    int bobDrift = -1;
    // Sets Mallory's (and Sam's) hooks; `done` says when her harm is over
    // and she may go back to the room.
    std::function<void(Fighter& mallory, Fighter* sam)> harm;
    std::function<bool(const Fighter& mallory)> done;
};

struct BattleOutcome {
    std::optional<HashLog> alice, bob;
    std::string story;
};

// Plays the battle to both results (or both games back in the room, or a
// hang) and checks what must hold whatever Mallory did: both won, and in
// every run both games simulated the same frames (in Bob's drifted run only
// up to his drift).
BattleOutcome RunHostileBattle(const HostileBattle& plan)
{
    BattleOutcome out;
    PlayFolder alice("Alice"), bob("Bob");
    RoomServerConfig config{0, 4, "Hostile room", 0};
    FILE* serverLog = std::fopen((alice.temp / "server.txt").c_str(), "w");
    config.log = serverLog;
    // Mallory is stepped only once both games sit in the room: a slow start
    // on a loaded machine must not cost her the seat she took before them.
    config.seatTimeoutMs = 600000;
    auto server = std::make_unique<RoomServer>(1, config, plan.port, u16(plan.port + 1000));
    EXPECT_TRUE(server->Listening()) << "the hostile battle's room ports are taken";
    const std::string members = "wait members " + std::to_string(plan.spectator ? 4 : 3);
    std::string a = LoginSteps() + ScriptStep(37500, members), b = LoginSteps() + ScriptStep(37500, members);
    // Bob's team, one to the left: Alice's. His row is the second or the
    // third, each 42 pixels below the one before.
    const u32 first = plan.malloryHosts ? 1 : 0;
    b += ScriptStep(38000, "click 882 " + std::to_string(100 + 42 * first));
    b += ScriptStep(41000, "key F1");
    a += ScriptStep(42000, "key F1");
    for (std::string* s : {&a, &b}) *s += ScriptStep(47500, "wait battle running") + Wander(48000, 900000);
    EXPECT_TRUE(alice.temp.Write("play.script", a));
    EXPECT_TRUE(bob.temp.Write("play.script", b));
    const std::string port = "QUILLON_TEST_PORT_BASE=" + std::to_string(plan.port);
    const std::vector<std::string> env = {"QUILLON_TEST_HASH_LOG=1", "QUILLON_TEST_FALL_FRAME=400", port};
    std::vector<std::string> bobEnv = env;
    if (plan.bobDrift >= 0) bobEnv.push_back("QUILLON_TEST_DESYNC_FRAME=" + std::to_string(plan.bobDrift));

    std::optional<roomwire::Client> mallory, sam;
    if (plan.malloryHosts) {
        mallory.emplace(*server, "Mallory");
        EXPECT_TRUE(mallory->Seated());
    }
    GameProcess pa(alice.exe, alice.run, alice.Env(env), alice.temp / "err.txt");
    EXPECT_TRUE(pa.Started() && Seated(*server, first + 1)) << alice.temp.Read("err.txt");
    GameProcess pb(bob.exe, bob.run, bob.Env(bobEnv), bob.temp / "err.txt");
    EXPECT_TRUE(pb.Started() && Seated(*server, first + 2)) << bob.temp.Read("err.txt");
    if (!plan.malloryHosts) mallory.emplace(*server, "Mallory");
    EXPECT_TRUE(mallory->Seated());
    // Without the three of them no battle comes: say so now, not after the hang limit.
    if (::testing::Test::HasFailure()) {
        server.reset();
        std::fclose(serverLog);
        out.alice.emplace(alice.run + "/BattleHash.log");
        out.bob.emplace(bob.run + "/BattleHash.log");
        out.story = alice.temp.Read("err.txt") + bob.temp.Read("err.txt");
        return out;
    }
    const u16 aliceSlot = u16(first), bobSlot = u16(first + 1);
    u16 robots = u16(1u << aliceSlot | 1u << bobSlot | 1u << mallory->slot);
    std::optional<Fighter> s;
    if (plan.spectator) {
        sam.emplace(*server, "Sam");
        EXPECT_TRUE(sam->Seated());
        // It echoes nobody and never confirms. Its robot stands in the
        // battle too: a repair's set holds a block for it.
        s.emplace(*sam, Fighter::kNone, 0xFFFF);
        s->Team(100);
        s->Ready();
        robots = u16(robots | 1u << sam->slot);
    }
    Fighter m(*mallory, aliceSlot, robots);
    // Six frames of input delay: each game may run up to six frames ahead of
    // the other, so a repair's word finds them at frames apart, as it finds
    // players across a real network.
    mallory->game->Send(roomwire::Settings(6, 1.0f, 5, 0));
    m.Ready();
    plan.harm(m, s ? &*s : nullptr);

    const std::string logA = alice.run + "/BattleHash.log", logB = bob.run + "/BattleHash.log";
    const u16 both = u16(1u << aliceSlot | 1u << bobSlot);
    const u32 start = plat::TimeGetTime();
    u32 lastRead = 0;
    bool mOpen = true, sOpen = true;
    // The frame of the last run Alice had reached when Mallory left.
    i64 leftAt = -1;
    std::string ended = "a hang";
    // Generous: two games on a loaded machine; only a hang gets that far.
    while (plat::TimeGetTime() - start < 480000) {
        if (mOpen) mOpen = m.Step();
        if (s && sOpen) sOpen = s->Step();
        if (mOpen && !m.left && plan.done(m)) m.Leave();
        if (plat::TimeGetTime() - lastRead > 500) {
            lastRead = plat::TimeGetTime();
            ended = "both results";
            if (!HashLog(logA).result.empty() && !HashLog(logB).result.empty()) break;
            // Both went back to the room without one: nothing more comes.
            ended = "both back in the room";
            if ((m.returned & both) == both) break;
            ended = "a game's end";
            if (!pa.Running() || !pb.Running()) break;
            // No run goes on long once Mallory left: her robot, played by
            // nobody, falls from frame 400 of the run on. A scripted battle
            // runs faster than the wall clock, so a run may be thousands of
            // frames in already when she leaves: counted from there.
            ended = "a battle that outran its end";
            const HashLog h(logA);
            if (m.left && leftAt < 0) leftAt = h.runs > 0 ? h.Last(h.runs - 1) : 0;
            if (m.left && h.Last(h.runs - 1) > std::max<i64>(leftAt, 400) + 3000) break;
            ended = "a hang";
        }
        plat::Sleep(1);
    }
    out.alice.emplace(logA);
    out.bob.emplace(logB);
    server.reset();
    std::fclose(serverLog);

    const HashLog &la = *out.alice, &lb = *out.bob;
    out.story = "\nThe battle ended in " + ended + " after " + std::to_string((plat::TimeGetTime() - start) / 1000) +
                " s.\nMallory: " + std::to_string(m.words) + " repair words, " + std::to_string(m.echoed) +
                " frames echoed, Alice's run " + std::to_string(m.run) + (m.left ? ", left" : "");
    for (const auto& [name, h, folder] : {std::tuple{"Alice", &la, &alice}, {"Bob", &lb, &bob}}) {
        out.story += std::string("\n") + name + ": runs";
        for (int run = 0; run < h->runs; ++run) out.story += " " + std::to_string(h->Last(run) + 1);
        out.story += " result '" + h->result + "'\n" + folder->temp.Read("err.txt");
    }
    std::ifstream log(alice.temp / "server.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (line.find("over its rate") == std::string::npos) lines.push_back(line);
    out.story += "\nserver:";
    for (size_t i = lines.size() > 40 ? lines.size() - 40 : 0; i < lines.size(); ++i) out.story += "\n" + lines[i];

    EXPECT_EQ(la.result, "won") << "Alice's battle never ended in her win" << out.story;
    EXPECT_EQ(lb.result, "won") << "Bob's battle never ended in his win" << out.story;
    EXPECT_EQ(la.runs, lb.runs) << out.story;
    for (int run = 0; run < std::max(la.runs, lb.runs); ++run) {
        int at = -1;
        const auto [common, differ] = Compare(la, lb, run, &at);
        if (run == 0 && plan.bobDrift >= 0 && differ > 0) {
            EXPECT_GE(at, plan.bobDrift) << "Alice and Bob split before Bob's drift" << out.story;
        } else {
            EXPECT_EQ(differ, 0) << "Alice and Bob split in run " << run << " from frame " << at << out.story;
        }
        // The last run decided the battle: Mallory's robot fell at its frame 400.
        if (run + 1 == la.runs) {
            EXPECT_GE(common, 400) << out.story;
        }
    }
    return out;
}

// Mallory counts what she did and the frames she echoed since.
struct Count {
    int times = 0;
    u32 since = 0;  // echoed frames at the last time
    u32 lastMs = 0;
    void Did(const Fighter& f)
    {
        ++times;
        since = f.echoed;
        lastMs = plat::TimeGetTime();
    }
    // Not in a repair, and `frames` frames echoed since the last time.
    bool Settled(const Fighter& f, u32 frames) const { return !f.inRepair && f.echoed >= since + frames; }
};

// Mallory asks for a repair five times, each 60 frames after the last one
// was over.
std::function<void(Fighter&)> FiveRequests(std::shared_ptr<Count> asks)
{
    return [asks](Fighter& f) {
        if (asks->times < 5 && asks->Settled(f, 60)) {
            f.AskRepair();
            asks->Did(f);
        }
    };
}

}  // namespace

// Five times Mallory, not the host, asks for a repair and confirms it as
// soon as the word comes, before the host's set (and again once it is whole,
// as an honest game would).
TEST(OnlineEndToEnd, AnEarlyConfirmationSplitsNoGames)
{
    auto asks = std::make_shared<Count>();
    HostileBattle plan;
    plan.port = 2612;
    plan.harm = [asks](Fighter& mallory, Fighter*) {
        mallory.onFrame = FiveRequests(asks);
        mallory.onWord = [](Fighter& f) {
            if (f.host != f.Slot()) f.SendConfirmation();
        };
    };
    plan.done = [asks](const Fighter& f) { return asks->times == 5 && asks->Settled(f, 150); };
    const BattleOutcome out = RunHostileBattle(plan);
    EXPECT_GE(out.alice->runs, 2) << "no repair was made" << out.story;
}

// Mallory is every repair's host. Five times she asks for one and sends a
// set whose team block holds a score near 2^31 and whose robot records are
// all blank: every part of it is refused, while Alice and Bob entered the
// repair at their own frames.
TEST(OnlineEndToEnd, ARefusedRepairSetSplitsNoGames)
{
    auto asks = std::make_shared<Count>();
    auto forged = std::make_shared<u32>(0);
    HostileBattle plan;
    plan.port = 2622;
    plan.malloryHosts = true;
    plan.harm = [asks, forged](Fighter& mallory, Fighter*) {
        mallory.onFrame = FiveRequests(asks);
        mallory.onWord = [forged](Fighter& f) {
            if (f.host != f.Slot() || *forged == f.words) return;
            *forged = f.words;
            f.SendHostBlock({{21, 0x7FFFFFF0u}});
            for (u16 slot = 0; slot < 3; ++slot) f.SendSnapshot(slot);
        };
    };
    plan.done = [asks](const Fighter& f) { return asks->times == 5 && asks->Settled(f, 150); };
    const BattleOutcome out = RunHostileBattle(plan);
    EXPECT_GE(out.alice->runs, 2) << "no repair was made" << out.story;
}

// Mallory is the repair's host, asks for one and sends her team block and
// one of the three robot snapshots, never the rest.
TEST(OnlineEndToEnd, AHostThatSendsPartOfItsSetEndsNoBattle)
{
    auto asks = std::make_shared<Count>();
    HostileBattle plan;
    plan.port = 2632;
    plan.malloryHosts = true;
    plan.harm = [asks](Fighter& mallory, Fighter*) {
        mallory.onFrame = [asks](Fighter& f) {
            if (asks->times == 0 && f.echoed >= 100) {
                f.AskRepair();
                asks->Did(f);
            }
        };
        mallory.onWord = [sent = false](Fighter& f) mutable {
            if (f.host != f.Slot() || sent) return;
            sent = true;
            f.SendHostBlock({});
            f.SendSnapshot(f.Slot());
        };
    };
    plan.done = [](const Fighter& f) { return f.run >= 1 && !f.inRepair && f.frame >= 150; };
    const BattleOutcome out = RunHostileBattle(plan);
    EXPECT_GE(out.alice->runs, 2) << "the repair never ended" << out.story;
}

// At frame 100 Mallory sends key states for frames a hundred thousand
// ahead of her own, then keeps in step as before.
TEST(OnlineEndToEnd, FarAheadKeyStatesStallNoBattle)
{
    auto sent = std::make_shared<Count>();
    HostileBattle plan;
    plan.port = 2642;
    plan.harm = [sent](Fighter& mallory, Fighter*) {
        mallory.onFrame = [sent](Fighter& f) {
            if (sent->times > 0 || f.echoed < 100) return;
            for (u32 k = 0; k < 4; ++k) f.SendKeyState(u32(f.frame) + 100000 + 255 * k, 0x2, 0, 255);
            sent->Did(f);
        };
    };
    plan.done = [sent](const Fighter& f) { return sent->times > 0 && sent->Settled(f, 150); };
    RunHostileBattle(plan);
}

// From frame 100 on Mallory asks for a repair ten times a second for twenty
// seconds, confirming each repair as an honest game would. The repairs stay
// few (ten at most) and the battle goes on to its result.
TEST(OnlineEndToEnd, EndlessRepairRequestsKeepNoBattleRepairing)
{
    auto asks = std::make_shared<Count>();
    auto spree = std::make_shared<u32>(0);  // when the requests began
    HostileBattle plan;
    plan.port = 2652;
    plan.harm = [asks, spree](Fighter& mallory, Fighter*) {
        mallory.onTick = [asks, spree](Fighter& f) {
            if (f.left || f.echoed < 100) return;
            const u32 now = plat::TimeGetTime();
            if (*spree == 0) *spree = now;
            if (now - *spree < 20000 && now - asks->lastMs >= 100) {
                f.AskRepair();
                asks->Did(f);
            }
        };
    };
    plan.done = [asks, spree](const Fighter& f) {
        return *spree != 0 && plat::TimeGetTime() - *spree >= 20000 && asks->Settled(f, 150);
    };
    const BattleOutcome out = RunHostileBattle(plan);
    EXPECT_LE(out.alice->runs, 11) << "more than ten repairs" << out.story;
}

namespace {

// Every battle message the repair reads, as a member may send it at the
// wrong moment: each twice, every verdict and one out of range, requests
// blaming each row, a whole forged set, key states for frames not its next
// or with keys no pad has, and two on the wrong connection.
void SendEverything(Fighter& f)
{
    using roomwire::Msg;
    const u32 sent = u32(f.frame);  // its last key state's frame (-1 before any)
    for (int twice = 0; twice < 2; ++twice) {
        for (u8 verdict : {0, 1, 2}) f.SendConfirmation(verdict);
        for (u8 suspect : {0, 1, 2, 3, 0x7F, 0xFF}) f.SendAny(Msg(19, 2, {}, {{1, suspect}}));
        f.SendHostBlock({{21, 0x7FFFFFF0u}});
        for (u16 slot : {0, 1, 2, 3, 9, 0xFFFF}) f.SendSnapshot(slot);
        f.Loaded();
        f.SendKeyState(sent, 0x2, 0, 1);
        f.SendKeyState(sent + 8, 0x2, 0, 1);
        f.SendKeyState(sent + 1, 0x70, 0, 1);
        f.SendKeyState(sent + 1, 0x2, 0, 0);
        f.SendAny(Msg(14, 9));
        f.SendAny(Msg(7, 2), true);
    }
}

// Mallory, a fighter, and Sam, a spectator, send every battle message the
// repair reads, twice and out of turn: while the games load (a request
// then must neither be lost nor freeze the battle), at the first
// three repair words (Bob drifts at frame 120), once the first is over, and
// after they went back to the room. Alice and Bob play on from one state and
// win, whether Mallory is every repair's host or never one.
void RunEverythingOutOfTurn(u16 port, bool malloryHosts)
{
    struct Spree {
        Fighter* sam = nullptr;
        bool late = false, gone = false;
        u32 askedMs = 0, wordsThen = 0;
    };
    auto spree = std::make_shared<Spree>();
    HostileBattle plan;
    plan.port = port;
    plan.malloryHosts = malloryHosts;
    plan.spectator = true;
    plan.bobDrift = 120;
    plan.harm = [spree](Fighter& mallory, Fighter* sam) {
        spree->sam = sam;
        mallory.onStart = sam->onStart = SendEverything;
        mallory.onWord = sam->onWord = [](Fighter& f) {
            if (f.words <= 3) SendEverything(f);
        };
        mallory.onTick = [spree](Fighter& f) {
            // Once its repair is over: everything again, and a request of her own.
            if (!spree->late && f.run >= 1 && !f.inRepair && f.frame >= 60) {
                spree->late = true;
                spree->wordsThen = f.words;
                SendEverything(f);
                SendEverything(*spree->sam);
            }
            // Her requests may all have been over their rate: she asks on
            // until the next repair opens.
            if (spree->late && f.words == spree->wordsThen && plat::TimeGetTime() - spree->askedMs >= 500) {
                spree->askedMs = plat::TimeGetTime();
                f.AskRepair();
            }
            // Back in the room, both try it all again, and Sam leaves too.
            if (f.left && !spree->gone) {
                spree->gone = true;
                f.SendAny(roomwire::Msg(9, 2), true);
                SendEverything(f);
                SendEverything(*spree->sam);
                spree->sam->Leave();
                SendEverything(*spree->sam);
            }
        };
    };
    plan.done = [spree](const Fighter& f) { return spree->late && f.run >= 2 && !f.inRepair && f.frame >= 150; };
    const BattleOutcome out = RunHostileBattle(plan);
    EXPECT_GE(out.alice->runs, 2) << "Bob's drift was never repaired" << out.story;
}

}  // namespace

TEST(OnlineEndToEnd, RepairMessagesSentEarlyLateTwiceOrOutOfTurnSplitNoGames)
{
    RunEverythingOutOfTurn(2662, false);
}

TEST(OnlineEndToEnd, RepairMessagesSentEarlyLateTwiceOrOutOfTurnByTheHostSplitNoGames)
{
    RunEverythingOutOfTurn(2672, true);
}
