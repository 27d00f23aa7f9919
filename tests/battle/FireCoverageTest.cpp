// The sample robots' fire procedures, run from their own scripts in headless
// battles: each procedure in the table must fire and then touch a robot.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "battle/FireStats.h"
#include "battle/GameScene.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "script/ScriptCommand.h"
#include "script/ScriptInterpreter.h"
#include "script/commands/ScrCommands.h"
#include "support/BattleRunner.h"

namespace {

// The procedures checked here.
const i32 kCheckedProcs[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                             17, 18, 19, 20, 21, 22, 24, 25, 26, 28, 29, 31, 32, 33};
// The robot types of each battle: between them their scripts call every
// procedure above.
const i32 kBattles[][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}};
constexpr i32 kAttempts = 4;
constexpr u32 kFramesPerAttempt = 150;
constexpr f32 kRange = 12.0f;

// A script entry of the robot's type whose only command fires `proc`.
ScriptEntry* EntryFiring(const CRobot_Normal& robot, i32 proc)
{
    for (i32 anime = 0; anime < 200; ++anime) {
        ScriptEntry* table = ScriptTableOf(robot, anime);
        const i32 count = ScriptEntryCountOf(robot, table);
        for (i32 i = 0; table && i < count; ++i) {
            const std::vector<RobotScriptBase*>& commands = table[i].commands;
            if (commands.size() != 1 || commands[0]->GetType() != kScrRunProc) continue;
            const auto* fire = static_cast<const Scr_RunProc*>(commands[0]);
            if (fire->proc.index < 0 && fire->proc.value == proc) return &table[i];
        }
    }
    return nullptr;
}

std::vector<CRobot_Normal*> Robots(CGameScene& scene)
{
    std::vector<CRobot_Normal*> robots;
    for (BB_Base* o = scene.unitList.GetHead()->next; o != scene.unitList.GetTail(); o = o->next)
        if (o->GetKind() == kKindRobot) robots.push_back(static_cast<CRobot_Normal*>(o));
    return robots;
}

// Stands the target kRange ahead of the shooter's first weapon point, level
// with the shooter, both fresh.
void Face(CRobot_Normal& shooter, CRobot_Normal& target)
{
    const Mat4& gun = shooter.weaponPointNodes[0]->world;
    Vec3 ahead(gun.m[2][0], 0.0f, gun.m[2][2]);
    plat::Vec3Normalize(&ahead, &ahead);
    target.worldMatrix.m[3][0] = shooter.worldMatrix.m[3][0] + ahead.x * kRange;
    target.worldMatrix.m[3][1] = shooter.worldMatrix.m[3][1];
    target.worldMatrix.m[3][2] = shooter.worldMatrix.m[3][2] + ahead.z * kRange;
    target.hp = target.hpMax;
    shooter.hp = shooter.hpMax;
    target.hitImmunity = 0;
}

}  // namespace

// Waits for battles to spawn their robots (the set-up places none yet); then
// drop the DISABLED_ mark and tune the table's rows until it passes.
TEST(FireCoverageTest, DISABLED_SampleRobotsFireAndHitWithEveryProcedure)
{
    std::set<i32> fired, hit;
    for (const auto& types : kBattles) {
        BattleRunnerOptions options;
        options.mode = GameMode::Team;
        for (int s = 0; s < 4; ++s) {
            options.slotState[s] = s == 0 ? 1 : 2;
            options.robot[s] = types[s];
            options.team[s] = s % 2;
        }
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        ASSERT_EQ(runner.RunFrames(150), 150u);  // past the opening
        const std::vector<CRobot_Normal*> robots = Robots(scene);
        ASSERT_EQ(robots.size(), 4u);
        for (size_t r = 0; r < robots.size(); ++r) {
            CRobot_Normal& shooter = *robots[r];
            CRobot_Normal& target = *robots[(r + 1) % robots.size()];
            for (i32 proc : kCheckedProcs) {
                ScriptEntry* entry = EntryFiring(shooter, proc);
                if (!entry || hit.count(proc)) continue;
                SCOPED_TRACE("procedure " + std::to_string(proc) + ", type " + std::to_string(shooter.typeIndex));
                for (int attempt = 0; attempt < kAttempts && !hit.count(proc); ++attempt) {
                    Face(shooter, target);
                    ASSERT_EQ(runner.RunFrames(1), 1u);  // the target's body follows
                    shooter.energy = f32(shooter.energyMax);
                    shooter.chargeLevel = 0;
                    shooter.target = &target;
                    shooter.aimOff = 0;
                    const u32 calls = BattleFireStats().calls[proc];
                    shooter.RunScriptEntry(entry, shooter.scriptContext, 0);
                    // Called, and the energy spent: the shot left.
                    if (BattleFireStats().calls[proc] > calls && shooter.energy < f32(shooter.energyMax))
                        fired.insert(proc);
                    const u32 hits = BattleFireStats().hits[proc];
                    for (u32 f = 0; f < kFramesPerAttempt && BattleFireStats().hits[proc] == hits; ++f)
                        ASSERT_EQ(runner.RunFrames(1), 1u);
                    if (BattleFireStats().hits[proc] > hits) hit.insert(proc);
                }
            }
        }
    }
    for (i32 proc : kCheckedProcs) {
        EXPECT_TRUE(fired.count(proc)) << "procedure " << proc << " never fired";
        EXPECT_TRUE(hit.count(proc)) << "procedure " << proc << " never hit";
    }
}
