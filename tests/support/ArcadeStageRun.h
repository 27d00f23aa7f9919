#pragma once
// An arcade story's first stage fought headless, the player's robot flown by
// the computer player at a level of its own, until the stage's judge decides
// it or the frames run out. For the arcade's tuning runs and its check.
#include "app/core/Application.h"
#include "app/player/PartInventory.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "frontend/arcade/ArcadeJudge.h"
#include "frontend/arcade/Story.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"

#include <cstdio>
#include <string>

// A player's loss in a cost stage takes the whole body cost; a computer's
// takes 70 % of it. The flown player's robot pays the rest after the penalty.
inline i32 PlayersFullBodyCost(CRobot_Normal* robot)
{
    CGameScene* scene = FindGameScene();
    if (!scene || robot->team != 0) return 0;
    const i32 full = (5 - robot->restBody) * 100;
    scene->teamCosts[0] = static_cast<u32>(static_cast<i32>(scene->teamCosts[0]) -
                                           (full - static_cast<i32>(static_cast<double>(full) * 0.7f)));
    return 0;
}

enum class StageOutcome { Won, Lost, Undecided, NoBattle };

struct StageRun {
    StageOutcome outcome = StageOutcome::NoBattle;
    u32 frames = 0;
    // Each robot of the stage at the end: side, type, health and bodies left.
    std::string robots;
};

inline StageRun RunArcadeFirstStage(u32 story, i32 difficulty, i32 robot, i32 level, u32 seed, u32 maxFrames,
                                    const char* runFolder = "")
{
    CApplication& app = *GetApplication();
    // A new player's: no parts fitted.
    app.partInventory.Reset();
    CStoryBase* current = NewStory(story);
    if (!current) return {};
    current->difficulty = difficulty;
    app.currentStory = current;
    const BattleHooks saved = GetBattleHooks();
    BattleHooks hooks = saved;
    hooks.setupArcadeStage = [](CGameScene* scene) { GetApplication()->currentStory->SetupBattle(scene); };
    RegisterBattleHooks(hooks);
    current->NextStage();

    BattleRunnerOptions o;
    o.mode = GameMode::Arcade;
    o.stage = app.gameSettings.stage;
    for (i32 i = 0; i < 4; ++i) o.slotState[i] = 0, o.robot[i] = -1, o.team[i] = 0;
    o.slotState[0] = 1;
    o.robot[0] = robot;
    o.seed = seed;
    o.recordCalls = false;
    o.draw = false;
    o.runFolder = runFolder;
    StageRun out;
    {
        BattleRunner runner(o);
        CGameScene* scene = runner.Scene();
        auto* own = scene && !scene->setupFailed ? dynamic_cast<CRobot_Normal*>(scene->robotTable[0]) : nullptr;
        GMTCB_Judge_NormalBattleMode* judge = nullptr;
        if (scene)
            for (TCB* t = scene->tasks.GetHead()->next; t && t != scene->tasks.GetTail(); t = t->next)
                if (auto* j = dynamic_cast<GMTCB_Judge_NormalBattleMode*>(t)) judge = j;
        if (own && judge) {
            // Its next bodies are spawned the same way.
            own->controlMode = own->spawnControlMode = kControlComputer;
            own->aiLevel = level;
            if (current->battleKind == 1) own->DestroyProcList.push_back(&PlayersFullBodyCost);
            out.outcome = StageOutcome::Undecided;
            using J = GMTCB_Judge_NormalBattleMode;
            while (out.frames < maxFrames && runner.RunFrames(1) == 1) {
                ++out.frames;
                if (judge->InPhase(&J::Phase_Cleared) || judge->InPhase(&J::Phase_ClearWait)) {
                    out.outcome = StageOutcome::Won;
                    break;
                }
                if (judge->InPhase(&J::Phase_Failed)) {
                    out.outcome = StageOutcome::Lost;
                    break;
                }
            }
            for (i32 i = 0; i < scene->robotTable.GetCount(); ++i)
                if (const CRobot_Base* r = scene->robotTable[i]) {
                    char line[96];
                    std::snprintf(line, sizeof line, "%s%s %d: %d/%d +%d", out.robots.empty() ? "" : ", ",
                                  i == 0 ? "own" : r->team == 0 ? "ally" : "enemy", r->typeIndex, r->hp, r->hpMax,
                                  r->restBody);
                    out.robots += line;
                }
        }
    }
    RegisterBattleHooks(saved);
    app.currentStory = nullptr;
    delete current;
    return out;
}
