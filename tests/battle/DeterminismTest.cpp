#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "engine/core/MTRand.h"
#include "battle/GameScene.h"
#include "robot/Robot.h"
#include "robot/RobotStateRecord.h"
#include "robot/actions/ActionCore.h"
#include "support/BattleHash.h"
#include "support/BattleRunner.h"

namespace {

// The sanitizer build runs about ten times slower: it plays a shorter battle.
#if defined(__SANITIZE_ADDRESS__)
constexpr u32 kFrames = 300;
#else
constexpr u32 kFrames = 3600;
#endif
constexpr u32 kEvery = 30;
constexpr i32 kSampleStages = 9;
constexpr i32 kSampleTypes = 22;

// What every robot-table slot did over a battle (a slot's robot may be
// replaced when it is destroyed).
struct SlotLog {
    bool seen = false, moved = false, attacked = false, hit = false, fellOut = false, finite = true;
    Vec3 start;
};

struct Played {
    std::vector<std::string> lines;
    std::vector<SlotLog> slots = std::vector<SlotLog>(kRobotTableSize);
};

Played Play(const BattleRunnerOptions& options, u32 frames, const std::vector<RecordedInput>& script = {})
{
    Played out;
    BattleRunner runner(options);
    runner.PlayInput(script);
    for (u32 f = 1; f <= frames; ++f) {
        if (runner.RunFrames(1) != 1 || !runner.Scene()) {
            out.lines.push_back("ended at " + std::to_string(f));
            break;
        }
        CGameScene& scene = *runner.Scene();
        if (f % kEvery == 0) out.lines.push_back(FormatBattleHash(f, HashBattle(scene)));
        for (i32 i = 0; i < kRobotTableSize; ++i) {
            CRobot_Base* base = scene.robotTable[i];
            if (!base || base->GetKind() != kKindRobot) continue;
            auto* r = static_cast<CRobot_Normal*>(base);
            SlotLog& log = out.slots[static_cast<size_t>(i)];
            const Vec3 at(r->worldMatrix.m[3][0], r->worldMatrix.m[3][1], r->worldMatrix.m[3][2]);
            if (!log.seen) log.start = at;
            log.seen = true;
            log.moved |= std::abs(at.x - log.start.x) + std::abs(at.z - log.start.z) > 1.0f;
            log.attacked |= r->attackKind != 0;
            // A guarded hit costs no HP but is a hit all the same.
            log.hit |= r->hp < r->hpMax || r->state != kRobotStateLive || r->guardHitTimer > 0 || r->impactKind != 0;
            log.fellOut |= at.y < kFallOutHeight;
            for (const auto& row : r->worldMatrix.m)
                for (f32 v : row) log.finite &= std::isfinite(v);
        }
    }
    return out;
}

// Eight computer robots of mixed levels; the types turn over from stage to
// stage so every sample type fights somewhere.
BattleRunnerOptions EightRobots(i32 stage)
{
    std::vector<i32> types, levels;
    for (i32 i = 0; i < 8; ++i) {
        types.push_back((stage * 8 + i) % kSampleTypes);
        levels.push_back((stage + i * 3) % 11);
    }
    BattleRunnerOptions o = MakeBattleOptions(GameMode::LocalBattle, static_cast<u32>(stage), types, levels, false);
    o.seed = 1000u + static_cast<u32>(stage);
    o.runFolder = QUILLON_RUN_DIR;
    o.recordCalls = false;
    return o;
}

}  // namespace

TEST(Determinism, EightComputerRobotsOnEveryStagePlayTheSameBattleTwice)
{
    for (i32 stage = 0; stage < kSampleStages; ++stage) {
        const BattleRunnerOptions options = EightRobots(stage);
        const Played a = Play(options, kFrames);
        const Played b = Play(options, kFrames);
        ASSERT_EQ(a.lines.size(), kFrames / kEvery) << "stage " << stage;
        for (size_t i = 0; i < a.lines.size(); ++i)
            ASSERT_EQ(a.lines[i], b.lines[i]) << "stage " << stage << ": first difference";
        for (i32 slot = 0; slot < 8; ++slot) {
            EXPECT_FALSE(a.slots[static_cast<size_t>(slot)].fellOut) << "stage " << stage << " slot " << slot;
            EXPECT_TRUE(a.slots[static_cast<size_t>(slot)].finite) << "stage " << stage << " slot " << slot;
        }
    }
}

TEST(Determinism, InTheEightRobotBattleEveryRobotMovesAttacksAndIsHit)
{
    BattleRunnerOptions options = EightRobots(0);
    options.seed = 5;
    const Played run = Play(options, 3600);
    for (i32 slot = 0; slot < 8; ++slot) {
        const SlotLog& log = run.slots[static_cast<size_t>(slot)];
        ASSERT_TRUE(log.seen) << slot;
        EXPECT_TRUE(log.hit) << slot;
        if ((slot * 3) % 11 == 0) continue;  // level 0 stands still by design
        EXPECT_TRUE(log.moved) << slot;
        EXPECT_TRUE(log.attacked) << slot;
    }
}

TEST(Determinism, TheTeamBattlePlaysTheSameBattleTwice)
{
    BattleRunnerOptions team = MakeBattleOptions(GameMode::Team, 0, {3}, {}, false);
    team.seed = 77;
    team.runFolder = QUILLON_RUN_DIR;
    team.recordCalls = false;
    const u32 frames = kFrames / 2;
    const Played a = Play(team, frames);
    EXPECT_EQ(a.lines, Play(team, frames).lines);
    ASSERT_FALSE(a.lines.empty());
    EXPECT_NE(a.lines.back().find("units 39"), std::string::npos) << a.lines.back();
}

namespace {

struct Repair {
    std::vector<std::vector<u8>> records;  // per robot-table slot, empty when none
    u32 team[3][kTeamArraySize] = {};
};

// One copy of the eight-robot battle: optionally nudged at `nudgeAt`, then at
// `repairAt` rebuilt as the online repair does from `from` (this copy's own
// records when null), then `after` frames. Returns the hash lines after the
// repair; `own` receives this copy's records at the repair frame.
std::vector<std::string> RepairedCopy(u32 nudgeAt, u32 repairAt, u32 after, const Repair* from, Repair& own,
                                      bool nudge)
{
    BattleRunner runner(EightRobots(0));
    CGameScene& scene = *runner.Scene();
    // Slot 0 plays from the network; its inputs arrive only after the battle
    // has started, and again only some frames after a repair.
    auto* remote = static_cast<CRobot_Normal*>(scene.robotTable[0]);
    remote->controlMode = remote->spawnControlMode = kControlNetwork;
    CApplication& app = *GetApplication();
    runner.RunFrames(nudgeAt);
    if (nudge) {
        auto* r = static_cast<CRobot_Normal*>(scene.robotTable[2]);
        r->worldMatrix.m[3][0] += 4.0f;
        r->hp -= std::min(r->hp, 50);  // a robot already down keeps 0
        (void)GetBattleRandom().GetRand();
    }
    runner.RunFrames(repairAt - nudgeAt);
    // What the remote pilot sent last: walking and firing on the copy that
    // repairs later, nothing on the other.
    if (nudge) {
        remote->receivedInput.direction = 8;
        remote->receivedInput.buttons[0] = 1;
    }
    own.records.assign(kRobotTableSize, {});
    for (i32 i = 0; i < kRobotTableSize; ++i) {
        CRobot_Base* base = scene.robotTable[i];
        if (!base || base->GetKind() != kKindRobot) continue;
        u8 bytes[kRobotStateBytes];
        EXPECT_TRUE(WriteRobotState(*static_cast<CRobot_Normal*>(base), bytes));
        own.records[static_cast<size_t>(i)].assign(bytes, bytes + sizeof bytes);
    }
    for (i32 t = 0; t < kTeamArraySize; ++t) {
        own.team[0][t] = scene.teamUnits[t];
        own.team[1][t] = scene.teamScores[t];
        own.team[2][t] = scene.teamCosts[t];
    }
    const Repair& use = from ? *from : own;
    for (i32 i = 0; i < kRobotTableSize; ++i) app.players[i].resyncRecord = use.records[static_cast<size_t>(i)];
    for (i32 part = 0; part < 3; ++part)
        for (i32 t = 0; t < kTeamArraySize; ++t) GetRoomState().hostStateBlock[part * kTeamArraySize + t] = use.team[part][t];
    GetRoomState().hostStateTaken = 1;
    EXPECT_EQ(scene.RebuildRobotsAfterResync(), 0);
    std::vector<std::string> lines;
    for (u32 f = 1; f <= after && runner.RunFrames(1) == 1; ++f) lines.push_back(FormatBattleHash(f, HashBattle(scene)));
    for (i32 i = 0; i < kRobotTableSize; ++i) app.players[i].resyncRecord.clear();
    return lines;
}

}  // namespace

TEST(Determinism, ARepairedEightRobotBattleJoinsTheUnperturbedOneFromALaterFrame)
{
    const u32 nudgeAt = kFrames / 2, repairAt = nudgeAt + 100, after = kFrames / 4;
    Repair host, other;
    const std::vector<std::string> a = RepairedCopy(nudgeAt, repairAt, after, nullptr, host, false);
    // A repair the server asks for reaches each client at its own frame.
    const std::vector<std::string> b = RepairedCopy(nudgeAt, repairAt + 7, after, &host, other, true);
    // The nudge split the battles, and the repair joined them again.
    ASSERT_NE(host.records, other.records);
    ASSERT_EQ(a.size(), after);
    ASSERT_EQ(b.size(), after);
    for (size_t f = 0; f < a.size(); ++f) ASSERT_EQ(a[f], b[f]) << "frame " << f + 1 << " after the repair";
}
