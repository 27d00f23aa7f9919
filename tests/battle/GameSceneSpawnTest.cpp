#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
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

}  // namespace

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
