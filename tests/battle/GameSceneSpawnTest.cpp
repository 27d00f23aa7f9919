#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "engine/core/MTRand.h"
#include "robot/RobotStateRecord.h"
#include "app/player/PilotRegistry.h"
#include "battle/GameScene.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/tasks/RadioCutIn.h"
#include "battle/stage/BattleMap.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "support/BattleRunner.h"

namespace {

Mat4 At(f32 x, f32 y, f32 z, f32 zx = 0.0f, f32 zz = 1.0f)
{
    Mat4 m;
    m.m[2][0] = zx;
    m.m[2][2] = zz;
    m.m[0][0] = zz;
    m.m[0][2] = -zx;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

// Runs one robot's defeat to the end of its down time.
i32 DefeatAndWait(CRobot_Normal* robot)
{
    robot->state = kRobotStateDestroyed;
    robot->defeatFrame = 0;
    i32 result = 0;
    for (i32 f = 0; f < 32 + 180 && result == 0; ++f) result = robot->Run();
    return result;
}

using Records = std::vector<std::vector<u8>>;

// What lockstep compares: every unit's place, vitals and gauges, and how many
// weapons and effects are in flight.
u64 BattleHash(CGameScene& scene)
{
    u64 h = 1469598103934665603ull;
    auto mix = [&h](const void* p, size_t n) {
        for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<const u8*>(p)[i]) * 1099511628211ull;
    };
    for (BB_Base* o = scene.unitList.GetHead()->next; o != scene.unitList.GetTail(); o = o->next) {
        if (o->GetKind() != kKindRobot) continue;
        const auto* r = static_cast<CRobot_Normal*>(o);
        mix(&r->worldMatrix, sizeof r->worldMatrix);
        mix(&r->velocity, sizeof r->velocity);
        for (i32 v : {r->hp, r->state, r->boostGauge, r->chargeGauge, r->airborne}) mix(&v, sizeof v);
        mix(&r->energy, sizeof r->energy);
    }
    for (CList<BB_Base>* list : {&scene.weaponList, &scene.effectList, &scene.itemList}) {
        u32 n = 0;
        for (BB_Base* o = list->GetHead()->next; o != list->GetTail(); o = o->next) ++n;
        mix(&n, sizeof n);
    }
    return h;
}

// Scripted input that walks, jumps, turns and shoots.
RobotInput ScriptedInput(u32 frame, i32 slot)
{
    RobotInput in;
    static const u8 directions[] = {8, 9, 6, 3, 2, 1, 4, 7, 5};
    in.direction = directions[(frame / 23 + static_cast<u32>(slot) * 4) % 9];
    in.buttons[0] = frame % 97 < 6;               // jump
    in.buttons[1] = (frame + slot * 13) % 41 < 3;  // shot
    in.buttons[5] = (frame + slot * 7) % 61 < 2;   // sub 1
    return in;
}

// One copy of a battle: scripted input for `frames`, an optional nudge half
// way, then (with records) the online repair from those records and `after`
// more frames. Returns the per-frame hashes after the repair; `own` receives
// this copy's records at the repair frame. `fromStart` leaves the robots to
// the start's fade, which lets them act at its end (frame 128), rather than
// letting them act from the first frame.
std::vector<u64> RunCopy(bool nudge, const Records* from, Records* own, u64* hashAtRepair, u32 frames = 240,
                         bool fromStart = false)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    CApplication& app = *GetApplication();
    const u32 after = 240;
    for (i32 i = 0; i < 2; ++i) {
        auto* r = static_cast<CRobot_Normal*>(scene.robotTable[i]);
        r->controlMode = kControlNetwork;
        r->spawnControlMode = kControlNetwork;
    }
    auto feed = [&](u32 frame) {
        for (i32 i = 0; i < 2; ++i) {
            scene.robotTable[i]->receivedInput = ScriptedInput(frame, i);
            if (!fromStart) scene.robotTable[i]->inputEnabled = 1;
        }
    };
    for (u32 f = 0; f < frames; ++f) {
        feed(f);
        runner.RunFrames(1);
        if (nudge && f == frames / 2) {
            auto* r = static_cast<CRobot_Normal*>(scene.robotTable[1]);
            r->worldMatrix.m[3][0] += 3.0f;
            r->hp -= 40;
            (void)GetBattleRandom().GetRand();
        }
    }
    *hashAtRepair = BattleHash(scene);
    own->clear();
    for (i32 i = 0; i < 2; ++i) {
        u8 bytes[kRobotStateBytes];
        EXPECT_TRUE(WriteRobotState(*static_cast<CRobot_Normal*>(scene.robotTable[i]), bytes));
        own->emplace_back(bytes, bytes + sizeof bytes);
    }
    // The battle clock travels with the records; the frames count afresh.
    own->emplace_back(reinterpret_cast<const u8*>(&scene.battleTime),
                      reinterpret_cast<const u8*>(&scene.battleTime) + sizeof scene.battleTime);
    const Records& use = from ? *from : *own;
    for (i32 i = 0; i < 2; ++i) app.players[i].resyncRecord = use[i];
    std::memcpy(&scene.battleTime, use[2].data(), sizeof scene.battleTime);
    scene.battleFrame = 0;
    for (i32 t = 0; t < kTeamArraySize; ++t) {
        GetRoomState().hostStateBlock[t] = scene.teamUnits[t];
        GetRoomState().hostStateBlock[kTeamArraySize + t] = scene.teamScores[t];
        GetRoomState().hostStateBlock[2 * kTeamArraySize + t] = scene.teamCosts[t];
    }
    GetRoomState().hostStateTaken = 1;
    EXPECT_EQ(scene.RebuildRobotsAfterResync(), 0);
    std::vector<u64> hashes;
    // Every copy gets the same input after the repair, wherever it stood.
    for (u32 f = 240; f < 240 + after; ++f) {
        feed(f);
        runner.RunFrames(1);
        hashes.push_back(BattleHash(scene));
    }
    for (i32 i = 0; i < 2; ++i) app.players[i].resyncRecord.clear();
    return hashes;
}

}  // namespace

TEST(GameSceneSpawn, RepairRebuildsTwoDivergedCopiesIntoTheSameBattle)
{
    Records host, other;
    u64 hostAtRepair = 0, otherAtRepair = 0;
    const std::vector<u64> a = RunCopy(false, nullptr, &host, &hostAtRepair);
    const std::vector<u64> b = RunCopy(true, &host, &other, &otherAtRepair);
    // The nudge really split the copies, and the repair joined them again.
    ASSERT_NE(hostAtRepair, otherAtRepair);
    ASSERT_NE(host, other);
    ASSERT_EQ(a.size(), b.size());
    for (size_t f = 0; f < a.size(); ++f) ASSERT_EQ(a[f], b[f]) << "frame " << f << " after the repair";
    // The battle went on moving after the repair.
    EXPECT_NE(a.front(), a.back());

    // Clients reach a repair a few frames apart: one on either side of the
    // frame where the start lets the robots act, the host on either side.
    for (const auto& [hostFrames, otherFrames] : {std::pair{124u, 131u}, std::pair{131u, 124u}}) {
        const std::vector<u64> h = RunCopy(false, nullptr, &host, &hostAtRepair, hostFrames, true);
        const std::vector<u64> o = RunCopy(false, &host, &other, &otherAtRepair, otherFrames, true);
        ASSERT_EQ(h.size(), o.size());
        for (size_t f = 0; f < h.size(); ++f)
            ASSERT_EQ(h[f], o[f]) << "frame " << f << " after a repair the host reached at " << hostFrames
                                  << " and another at " << otherFrames;
        EXPECT_NE(h.front(), h.back()) << "the robots never acted after the repair";
    }
}

TEST(GameSceneSpawn, StartPointsYawIdsAndVitals)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    BattleMap& map = scene.battleMap;
    map.teamStarts[2] = {At(10, 0, 20), At(30, 0, 40, -1.0f, 0.0f)};
    map.teamCursors[2] = 0;
    std::vector<f32> xs;
    std::vector<f32> yaws;
    for (i32 i = 0; i < 3; ++i) {
        CRobot_Normal* r = scene.SpawnRobotAtTeamStart(0, 1.0f, 2, kControlComputer, 0, nullptr);
        ASSERT_NE(r, nullptr);
        xs.push_back(r->worldMatrix.m[3][0]);
        yaws.push_back(r->spawnAngle);
        EXPECT_EQ(r->state, kRobotStateLive);
        EXPECT_EQ(r->inputEnabled, 0);
        EXPECT_EQ(r->priority, 3u);
        EXPECT_EQ(r->boostGauge, r->boostGaugeMax);
    }
    EXPECT_EQ(xs, (std::vector<f32>{10, 30, 10}));
    EXPECT_FLOAT_EQ(yaws[0], 0.0f);
    EXPECT_NEAR(yaws[1], -90.0066f, 1e-3f);

    // No team list and no free list: the fallback point; a team outside 0..9 the origin.
    map.teamStarts[5].clear();
    map.freeStarts.clear();
    CRobot_Normal* fallback = scene.SpawnRobotAtStartPoint(0, 0, 1.0f, 5, kControlComputer, 0, nullptr);
    EXPECT_EQ(fallback->worldMatrix.m[3][0], 1500.0f);
    EXPECT_EQ(fallback->worldMatrix.m[3][1], 20.0f);
    CRobot_Normal* random = scene.SpawnRobotAtStartPoint(0, 1, 1.0f, 1, kControlComputer, 0, nullptr);
    EXPECT_EQ(random->worldMatrix.m[3][2], 1500.0f);
    CRobot_Normal* outside = scene.SpawnRobotAtStartPoint(0, 0, 1.0f, 12, kControlComputer, 0, nullptr);
    EXPECT_EQ(outside->worldMatrix.m[3][0], 0.0f);

    // Ids count up and wrap past the last value.
    scene.robotCounter = 0xFFFFFFFEu;
    CRobot_Normal* last = scene.SpawnRobot(0, 0, 0, 0, 0.75f, 0, kControlComputer, 0, 0, nullptr);
    EXPECT_EQ(last->objectId, 0xFFFFFFFEu);
    EXPECT_EQ(scene.robotCounter, 0u);
    EXPECT_EQ(scene.FindRobotById(0xFFFFFFFEu), last);
    EXPECT_EQ(scene.FindRobotById(0xABCDEFu), nullptr);
    EXPECT_EQ(last->hpMax, static_cast<i32>(static_cast<f32>(scene.robotTypes[0].hp) * 0.75f));
    EXPECT_EQ(scene.SpawnRobot(-1, 0, 0, 0, 1, 0, 0, 0, 0, nullptr), nullptr);
    // A ship type with no folder gives no ship, and no id is spent on it.
    EXPECT_EQ(scene.SpawnShip(19, 0, 0, 0, 1.0f, 0, kControlComputer, 0, 0.0f), nullptr);
    EXPECT_EQ(scene.SpawnShip(-1, 0, 0, 0, 1.0f, 0, kControlComputer, 0, 0.0f), nullptr);
    EXPECT_EQ(scene.robotCounter, 0u);

    // A robot and a ship brought in alike come live with the same team,
    // control, scaled HP and respawn record; the ship's id follows the robot's.
    CRobot_Normal* robot = scene.SpawnRobot(0, 1, 2, 3, 0.5f, 4, kControlNetwork, 2, 30.0f, nullptr);
    CShip* ship = scene.SpawnShip(1, 1, 2, 3, 0.5f, 4, kControlNetwork, 2, 30.0f);
    ASSERT_NE(robot, nullptr);
    ASSERT_NE(ship, nullptr);
    EXPECT_EQ(ship->objectId, robot->objectId + 1);
    const std::pair<CRobot_Base*, const RobotModelData*> units[] = {{robot, &scene.robotTypes[0]},
                                                                    {ship, &scene.shipTypes[1]}};
    for (const auto& [unit, type] : units) {
        EXPECT_EQ(unit->state, kRobotStateLive);
        EXPECT_EQ(unit->inputEnabled, 0);
        EXPECT_EQ(unit->team, 4);
        EXPECT_EQ(unit->displayTeam, 4);
        EXPECT_EQ(unit->controlMode, kControlNetwork);
        EXPECT_STREQ(unit->typeName, type->name);
        EXPECT_EQ(unit->hpMax, static_cast<i32>(static_cast<f32>(type->hp) * 0.5f));
        EXPECT_EQ(unit->hp, unit->hpMax);
        EXPECT_EQ(unit->spawnType, unit == robot ? 0 : 1);
        EXPECT_EQ(unit->spawnControlMode, kControlNetwork);
        EXPECT_EQ(unit->spawnTeam, 4);
        EXPECT_EQ((std::vector<f32>(unit->spawnPos, unit->spawnPos + 3)), (std::vector<f32>{1, 2, 3}));
        EXPECT_EQ(unit->spawnAngle, 30.0f);
        EXPECT_EQ(unit->spawnColorSet, 2);
        EXPECT_EQ(unit->spawnHpScale, 0.5f);
    }
}

TEST(GameSceneSpawn, ModeRulesReplaceChargeTeamCostsAndRegenerate)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    CRobot_Normal* player = scene.SpawnRobot(0, 5, 0, 5, 1.0f, 0, kControlLocal, 0, 0, nullptr);
    CRobot_Normal* computer = scene.SpawnRobot(0, 9, 0, 9, 1.0f, 1, kControlComputer, 0, 0, nullptr);
    scene.robotTable[6] = player;
    scene.robotTable[7] = computer;
    for (CRobot_Normal* r : {player, computer}) {
        r->restBody = 4;
        r->boostGaugeMax = 777;
        r->score = 12;
        scene.AttachModeCallbacks(r, BattleRole::LocalTeamCost);
    }
    scene.teamCosts[0] = 50;
    scene.teamCosts[1] = 1000;
    // The destroy rule takes the cost first: 100 for the player, 69 for the computer.
    EXPECT_EQ(DefeatAndWait(computer), 2);
    EXPECT_EQ(scene.teamCosts[1], 1000u - 69u);
    CRobot_Normal* next = static_cast<CRobot_Normal*>(scene.robotTable[7]);
    ASSERT_NE(next, computer);
    EXPECT_EQ(next->score, 12);
    EXPECT_EQ(next->boostGauge, 777);
    EXPECT_EQ(next->inputEnabled, 1);
    EXPECT_EQ(next->DefeatProcList.size(), 1u);  // the rule stays in force
    EXPECT_EQ(next->DestroyProcList.size(), 1u);

    scene.teamCosts[0] = 150;  // 50 left after the penalty: half the HP
    EXPECT_EQ(DefeatAndWait(player), 2);
    CRobot_Normal* reborn = static_cast<CRobot_Normal*>(scene.robotTable[6]);
    EXPECT_EQ(reborn->hpMax, static_cast<i32>(static_cast<f32>(scene.robotTypes[0].hp) * 0.5f));

    // No cost left: the wreck stays, nothing replaces it.
    scene.teamCosts[0] = 0;
    EXPECT_EQ(DefeatAndWait(reborn), 0);
    EXPECT_EQ(scene.robotTable[6], reborn);

    // Health comes back one point every third frame after 300 quiet frames.
    CRobot_Normal* healer = scene.SpawnRobot(0, 0, 0, 0, 1.0f, 0, kControlComputer, 0, 0, nullptr);
    healer->FrameProcList.push_back(&CRobot_Normal::FrameProc_RegenerateHp);
    healer->regenLastHp = healer->hp;
    healer->hp -= 100;
    const i32 hit = healer->hp;
    for (i32 f = 0; f < 300; ++f) {
        CRobot_Normal::FrameProc_RegenerateHp(healer);
        ++scene.frameCount;
    }
    EXPECT_EQ(healer->hp, hit);
    for (i32 f = 0; f < 60; ++f) {
        CRobot_Normal::FrameProc_RegenerateHp(healer);
        ++scene.frameCount;
    }
    EXPECT_EQ(healer->hp, hit + 20);

    // A spectator's team and a level out of range touch nothing they should not.
    healer->displayTeam = static_cast<i32>(kSpectatorTeam);
    EXPECT_EQ(CRobot_Normal::DestroyProc_TeamCostPenalty(healer), 0);
    EXPECT_EQ(CRobot_Normal::DefeatProc_TeamRestCount(healer), 0);
    healer->aiLevel = 11;
    EXPECT_EQ(CRobot_Normal::DestroyProc_DropPartsChance(healer), 0);
    EXPECT_EQ(healer->aiLevel, 10);

    char name[8] = "ab";
    AppendWholeCharacters(name, sizeof name, "\xE6\x8F\xB4\xE8\xBB\x8D");  // two 3-byte characters
    EXPECT_EQ(std::string(name), "ab\xE6\x8F\xB4");
}

TEST(GameSceneSpawn, EachModeRuleMakesItsOwnNumberOfBattleDraws)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    scene.battleMap.freeStarts = {At(100, 5, 100), At(200, 5, 200)};
    auto robot = [&](i32 level, i32 rest) {
        CRobot_Normal* r = scene.SpawnRobot(0, 10, 0, 10, 1.0f, 0, kControlComputer, 0, 0, nullptr);
        r->aiLevel = level;
        r->restBody = rest;
        scene.robotTable[9] = r;
        return r;
    };
    struct Case {
        RobotCallback proc;
        i32 level, rest, draws, result;
    };
    const Case cases[] = {
        {&CRobot_Normal::FrameProc_RegenerateHp, 0, 1, 0, 0},
        {&CRobot_Normal::DestroyProc_TeamCostPenalty, 0, 1, 0, 0},
        {&CRobot_Normal::DestroyProc_NetTeamCostPenalty, 0, 1, 0, 0},
        {&CRobot_Normal::DestroyProc_DropParts, 0, 1, 3, 0},
        {&CRobot_Normal::DestroyProc_DropPartsChance, 10, 1, 4, 0},  // level 10 always drops
        {&CRobot_Normal::DefeatProc_DropSummonItem, 0, 1, 1, 2},
        {&CRobot_Normal::DefeatProc_RandomStartPoint, 0, 1, 1, 0},
        {&CRobot_Normal::PlaceAtRandomPoint, 0, 1, 1, 0},
        {&CRobot_Normal::DefeatProc_DropSpawnToGround, 0, 1, 0, 0},
        {&CRobot_Normal::DefeatProc_TeamRestCount, 0, 1, 0, 0},
        {&CRobot_Normal::DefeatProc_NextBody, 0, 0, 0, 0},
        {&CRobot_Normal::DefeatProc_NextBody, 0, 2, 0, 2},
        {&CRobot_Normal::DefeatProc_Respawn, 0, 1, 0, 2},
        {&CRobot_Normal::DefeatProc_RandomOpponent, 0, 1, 1, 2},
        {&CRobot_Normal::DefeatProc_SurvivalNextOpponent, 10, 1, 2, 2},
    };
    i32 index = 0;
    for (const Case& c : cases) {
        CRobot_Normal* r = robot(c.level, c.rest);
        GetBattleRandom().Init(99);
        cMTRand reference;
        reference.Init(99);
        EXPECT_EQ(c.proc(r), c.result) << index;
        const u32 next = GetBattleRandom().GetRand();
        i32 made = 0;
        while (made < 100 && reference.GetRand() != next) ++made;
        EXPECT_EQ(made, c.draws) << index;
        ++index;
    }
    // A survival opponent at level 10 stays at 10 with the level in its name.
    CRobot_Normal* last = static_cast<CRobot_Normal*>(scene.robotTable[9]);
    EXPECT_EQ(last->aiLevel, 10);
    const std::string name = last->displayName;
    EXPECT_EQ(name.substr(name.size() - 5), ":Lv10");
}

// Online, the tactical rule puts each robot on the ground at a random point
// with its HP scaled by its bodies (three bodies: 4/5, one: 2/5); the battle
// takes typed lines only with the room's chat option; with the room's free
// start points a fallen robot first draws a new start point.
TEST(GameSceneSpawn, OnlineSetUpFollowsTheRoomRuleAndChatOption)
{
    for (const u8 rule : {u8(4), u8(3), u8(1)}) {
        SCOPED_TRACE(int(rule));
        RoomState& room = GetRoomState();
        room = RoomState();
        room.rule = rule;
        room.ownSlot = 0;
        GetApplication()->gameSettings.chat = rule == 4 ? 1 : 0;
        GetApplication()->gameSettings.popType = rule == 1 ? 1 : 0;
        BattleRunnerOptions options;
        options.mode = GameMode::Online;
        options.slotState[0] = options.slotState[1] = 1;
        BattleRunner runner(options);  // Vanguard (800 HP, three bodies) and Bastion (1100, one)
        CGameScene& scene = *runner.Scene();
        auto* three = static_cast<CRobot_Normal*>(scene.robotTable[0]);
        auto* one = static_cast<CRobot_Normal*>(scene.robotTable[1]);
        ASSERT_TRUE(three && one);
        EXPECT_EQ(GetApplication()->textInputHandler == &CGameScene::ChatHook, rule == 4);
        EXPECT_EQ(scene.startPointsRandom, rule == 1 ? 1u : 0u);
        for (CRobot_Normal* r : {three, one})
            EXPECT_EQ(!r->DefeatProcList.empty() && r->DefeatProcList.front() == &CRobot_Normal::DefeatProc_RandomStartPoint,
                      rule == 1);
        if (rule == 1) continue;
        if (rule != 4) {
            EXPECT_EQ(three->hpMax, 800);
            EXPECT_EQ(one->hpMax, 1100);
            EXPECT_EQ(three->tacticalRules, 0);
            continue;
        }
        EXPECT_EQ(three->hpMax, 640);
        EXPECT_EQ(three->hp, 640);
        EXPECT_EQ(one->hpMax, 440);
        EXPECT_FLOAT_EQ(one->spawnHpScale, 0.4f);
        for (CRobot_Normal* r : {three, one}) {
            EXPECT_EQ(r->tacticalRules, 1);
            EXPECT_EQ(r->DefeatProcList, (std::vector<RobotCallback>{&CRobot_Normal::DefeatProc_DropSpawnToGround,
                                                                     &CRobot_Normal::DefeatProc_NetTeamCostRespawn}));
            // Standing where its spawn point is, on the ground.
            for (i32 i = 0; i < 3; ++i) EXPECT_EQ(r->worldMatrix.m[3][i], r->spawnPos[i]);
            const Vec3 from{r->spawnPos[0], r->spawnPos[1] + 1.0f, r->spawnPos[2]};
            const Vec3 to{from.x, from.y - 100000.0f, from.z};
            f32 distance = 0.0f;
            ASSERT_TRUE(scene.HitTestMapSegment(&from, &to, &distance, nullptr));
            EXPECT_NEAR(distance, 1.0f, 1e-3f);
        }
    }
    GetRoomState() = RoomState();
    GetApplication()->gameSettings.chat = 0;
    GetApplication()->gameSettings.popType = 0;
}

TEST(GameSceneSpawn, RobotsWithoutRulesLeaveTheTableAndPeerRadioLinesStayInRange)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    CRobot_Normal* r = scene.SpawnRobot(0, 10, 0, 10, 1.0f, 0, kControlComputer, 0, 0, nullptr);
    scene.robotTable[7] = r;
    scene.robotTable[8] = r;
    EXPECT_EQ(DefeatAndWait(r), 2);
    EXPECT_EQ(scene.robotTable[7], nullptr);
    EXPECT_EQ(scene.robotTable[8], nullptr);

    CRobot_Normal* talker = scene.SpawnRobot(0, 10, 0, 10, 1.0f, 0, kControlComputer, 0, 0, nullptr);
    PilotRegistry& pilots = *GetPilotRegistry();
    const i32 pilotCount = pilots.count;
    pilots.count = std::max(pilotCount, 1);
    talker->pilotIndex = 0;
    // Each shown line (re)starts the robot's one cut-in: its box opens again.
    auto cutIn = [&]() -> GMTCB_Proc_MusenFaceDisp* {
        for (TCB* t = scene.tasks.GetHead()->next; t != scene.tasks.GetTail(); t = t->next)
            if (auto* c = dynamic_cast<GMTCB_Proc_MusenFaceDisp*>(t)) return c;
        return nullptr;
    };
    std::vector<i32> shown;
    for (i32 line : {-5, 0, 49, 50, 998, 999, 1 << 30}) {
        if (GMTCB_Proc_MusenFaceDisp* c = cutIn()) c->phase = 2;
        std::snprintf(talker->radioText, sizeof talker->radioText, "line %d", line);
        talker->pendingRadioLine = line;
        talker->Run();
        EXPECT_EQ(talker->pendingRadioLine, -1);
        if (GMTCB_Proc_MusenFaceDisp* c = cutIn(); c && c->phase == 0) {
            shown.push_back(line);
            EXPECT_EQ(c->speaker, talker);
            EXPECT_STREQ(c->lineText->text, talker->radioText);
            // The first box sits in the lower right quarter, kept when restarted.
            EXPECT_GE(c->face->x, 512.0f + 280.0f);
            EXPECT_LE(c->face->x, 512.0f + 330.0f);
            EXPECT_GE(c->face->y, 386.0f + 220.0f);
            EXPECT_LE(c->face->y, 386.0f + 280.0f);
        }
    }
    talker->pilotIndex = -1;
    talker->pendingRadioLine = 3;
    cutIn()->phase = 2;
    talker->Run();
    EXPECT_EQ(cutIn()->phase, 2);
    pilots.count = pilotCount;
    EXPECT_EQ(shown, (std::vector<i32>{0, 49, 999}));
}
