// Each mode's robots, callbacks, tasks and views, offline and online.
#include <cstdio>

#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/player/PartInventory.h"
#include "app/player/PilotRegistry.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/TimeDisplay.h"
#include "battle/stage/BattleMap.h"
#include "battle/tasks/ModeTasks.h"
#include "platform/core/MessageBox.h"
#include "platform/input/Keyboard.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"

namespace {

// The mode tasks judge and count for the scene that made them.
template <class T>
void BindScene(T* task, CGameScene* scene)
{
    if (task) task->scene = scene;
}


u32 RobotTypeCount()
{
    const u32 n = GetApplication()->robotFolders.count;
    return n < static_cast<u32>(kRobotTypeCount) ? n : static_cast<u32>(kRobotTypeCount);
}

i32 RandomType(cMTRand& random)
{
    const u32 count = RobotTypeCount();
    return count ? static_cast<i32>(random.GetRand() % count) : 0;
}

i32 RandomPilot(cMTRand& random)
{
    PilotRegistry& pilots = *GetPilotRegistry();
    if (pilots.count <= 0) return -1;
    const i32 pilot = static_cast<i32>(random.GetRand() % static_cast<u32>(pilots.count));
    if (pilots.slots[pilot].name[0] == '\0') pilots.LoadPilot(pilot);
    return pilot;
}

// The ten part ids fitted to a robot type, as the player owns them.
void FittedParts(i32 type, CGameItemBase* out[10])
{
    PartInventory& inventory = GetApplication()->partInventory;
    for (i32 i = 0; i < 10; ++i) {
        out[i] = nullptr;
        if (type >= 0 && type < static_cast<i32>(RobotRecordCount))
            out[i] = inventory.FindPart(inventory.robots[type].partIds[i]);
    }
}

// Offline modes have no slot states: a participant with a robot number takes part.
bool HasRobot(const PlayerEntry& entry) { return entry.robot >= 0; }

// Levels stay within 0..10: the computer player and the drops divide by 11 - level.
void SetLevel(CRobot_Normal* robot, i32 level)
{
    if (robot) robot->aiLevel = level < 0 ? 0 : level > 10 ? 10 : level;
}

void SetPilot(CRobot_Normal* robot, i32 pilot)
{
    if (!robot) return;
    robot->pilotIndex = pilot;
    if (pilot >= 0) GetPilotRegistry()->LoadPilot(pilot);
}

}  // namespace

i32 BoundRobotType(i32 robot)
{
    const u32 count = RobotTypeCount();
    if (count == 0 || robot < 0) return 0;
    u32 type = static_cast<u32>(robot);
    if (type >= 1000) type %= 1000;
    return static_cast<i32>(type % count);
}

void CGameScene::PreloadRandomType()
{
    nextRandomType = RandomType(GetBattleRandom());
    if (!StartTypeLoader(nextRandomType) || !WaitTypeLoaded(nextRandomType)) {
        char text[128];
        std::snprintf(text, sizeof text, "Robot type %d could not be loaded.", nextRandomType);
        std::snprintf(notice, sizeof notice, "%s", text);
        plat::ReportError("Quillon", text);
    }
}

void CGameScene::PlaceModeRobots(GameMode gameMode)
{
    CApplication& app = *GetApplication();
    const u32 option = battleSettings.modeOption;
    cMTRand& random = GetBattleRandom();
    PlayerEntry& player = app.players[0];
    const i32 playerType = BoundRobotType(player.robot);
    CGameItemBase* parts[10];
    FittedParts(playerType, parts);

    // The player's robot: the demonstration battle hands it to the computer.
    auto spawnPlayer = [&](i32 team) -> CRobot_Normal* {
        CRobot_Normal* robot = nullptr;
        if (option == 1) {
            cameraMode = 2;
            robot = SpawnRobotAtStartPoint(playerType, 0, 1.0f, team, kControlComputer, player.colorSet, nullptr);
            SetLevel(robot, 10);
        } else {
            robot = SpawnRobotAtStartPoint(playerType, 0, 1.0f, team, kControlLocal, player.colorSet, parts);
            SetPilot(robot, player.pilot);
        }
        return robot;
    };

    if (gameMode == GameMode::Survival) {
        CRobot_Normal* robot = spawnPlayer(0);
        robotTable[0] = robot;
        AttachModeCallbacks(robot, BattleRole::SurvivalPlayer);
        for (i32 i = 1; i < 4; ++i) {
            PlayerEntry& entry = app.players[i];
            if (!HasRobot(entry)) continue;
            const bool ally = i == 1;
            const i32 level = ally || option == 1 || plat::IsKeyDown(plat::vk::Right) ? 10 : 1;
            CRobot_Normal* other = SpawnRobotAtStartPoint(BoundRobotType(entry.robot), 0, ally ? 0.3f : 0.4f,
                                                          ally ? 0 : 1, kControlComputer, entry.colorSet, nullptr);
            SetLevel(other, level);
            robotTable[i] = other;
            AttachModeCallbacks(other, BattleRole::SurvivalOpponent);
        }
        BindScene(GMTCB_Judge_SurvivalMode::Create(&tasks, 1), this);
        GMTCB_Proc_TimeAdd::Create(&tasks, 1);
        GMTCB_DrawSP_PlayerRestDisp::Create(&tasks, 100);
        GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
        PreloadRandomType();
    } else if (gameMode == GameMode::Practice) {
        CRobot_Normal* robot = SpawnRobotAtStartPoint(playerType, 0, 1.0f, 0, kControlLocal, player.colorSet, parts);
        SetPilot(robot, player.pilot);
        robotTable[0] = robot;
        AttachModeCallbacks(robot, BattleRole::Respawn);
        PlayerEntry& entry = app.players[1];
        if (HasRobot(entry)) {
            CRobot_Normal* opponent = SpawnRobotAtStartPoint(BoundRobotType(entry.robot), 0, 1.0f, 1,
                                                             kControlComputer, entry.colorSet, nullptr);
            SetLevel(opponent, 0);
            robotTable[1] = opponent;
            AttachModeCallbacks(opponent, BattleRole::PracticeOpponent);
        }
        GMTCB_Proc_TimeAdd::Create(&tasks, 1);
        GMTCB_DrawSP_PracticeDisp::Create(&tasks, 20000);
        PreloadRandomType();
    } else if (gameMode == GameMode::Team) {
        CRobot_Normal* robot = spawnPlayer(0);
        robotTable[0] = robot;
        auto join = [&](CRobot_Normal* r, i32 team) {
            ++teamUnits[team];
            AttachModeCallbacks(r, BattleRole::TeamUnitDown);
        };
        join(robot, 0);
        // Scripted games decide a team battle within seconds with a smaller squad.
        const i32 squad = GetTestSwitches().squad;
        // Random squads draw their type, then their pilot.
        for (i32 team = 0; team < 2; ++team)
            for (i32 i = 0; i < 8 && i < squad; ++i) {
                const i32 type = RandomType(random);
                const i32 pilot = RandomPilot(random);
                CRobot_Normal* r = SpawnRobotAtStartPoint(type, 0, 1.0f, team, kControlComputer, team, nullptr);
                SetLevel(r, team == 0 ? 7 : 10);
                if (r) r->pilotIndex = pilot;
                join(r, team);
            }
        for (i32 team = 0; team < 2; ++team)
            for (i32 i = 0; i < 11 && 8 + i < squad; ++i) {
                CRobot_Normal* r = SpawnRobotAtStartPoint(0, 0, 1.0f, team, kControlComputer, team, nullptr);
                SetLevel(r, team == 0 ? 7 : 10);
                join(r, team);
            }
        GMTCB_Proc_TimeAdd::Create(&tasks, 1);
        BindScene(GMTCB_Judge_TeamBattleMode::Create(&tasks, 1), this);
        GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
    } else if (gameMode == GameMode::Fleet) {
        CRobot_Normal* robot = nullptr;
        if (option == 1) {
            cameraMode = 2;
            robot = SpawnRobot(playerType, 1354.0f, 28.0f, 1846.3f, 1.0f, 0, kControlComputer, player.colorSet,
                               180.0f, nullptr);
        } else {
            robot = SpawnRobot(playerType, 1354.0f, 28.0f, 1846.0f, 1.0f, 0, kControlLocal, player.colorSet, 180.0f,
                               parts);
            SetPilot(robot, player.pilot);
        }
        SetLevel(robot, 10);
        robotTable[0] = robot;
        AttachModeCallbacks(robot, BattleRole::Respawn);
        CRobot_Normal* rival =
            SpawnRobot(BoundRobotType(7), 1445.0f, 28.0f, 1146.0f, 1.0f, 1, kControlComputer, 2, 0.0f, nullptr);
        SetLevel(rival, 10);
        AttachModeCallbacks(rival, BattleRole::Respawn);
        PreloadRandomType();
        CShip* escorts[2] = {SpawnShip(1, 1354.0f, 18.0f, 1846.0f, 2.0f, 0, kControlComputer, 0, 180.0f), nullptr};
        team0Flagship = SpawnShip(1, 1353.0f, 18.0f, 1697.0f, 2.0f, 0, kControlComputer, 0, 180.0f);
        escorts[1] = SpawnShip(1, 1445.0f, 18.0f, 1146.0f, 1.0f, 1, kControlComputer, 1, 0.0f);
        team1Flagship = SpawnShip(1, 1444.0f, 18.0f, 1333.0f, 1.0f, 1, kControlComputer, 1, 0.0f);
        // Every ship launches robots of the preloaded type; each team's
        // flagship holds its ground while the other ship attacks.
        for (CShip* ship : {escorts[0], team0Flagship, escorts[1], team1Flagship}) {
            if (!ship) continue;
            ship->aiLevel = 10;
            ship->aiMode = ship == team0Flagship || ship == team1Flagship ? 1 : 0;
            ship->launchProc = &CShip::LaunchRobotProc;
        }
        GMTCB_Proc_TimeAdd::Create(&tasks, 1);
        BindScene(GMTCB_Judge_BlitzTacticsMode::Create(&tasks, 1), this);
        GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
    }
}

void CGameScene::SetupLocalBattle()
{
    CApplication& app = *GetApplication();
    const BattleSettings& settings = battleSettings;
    cMTRand& random = GetBattleRandom();
    // Every entry costs its three draws, empty or not, so the sequence after
    // the placement does not depend on who takes part.
    for (i32 i = 0; i < 4; ++i) {
        (void)(random.GetRand() % 360);
        (void)random.GetRand();
        (void)random.GetRand();
    }
    i32 playerEntries[4];
    i32 players = 0;
    for (i32 i = 0; i < 4; ++i) {
        PlayerEntry& entry = app.players[i];
        if (entry.slotState == 0) continue;
        const bool computer = entry.slotState == 2;
        const i32 type = BoundRobotType(entry.robot);
        CRobot_Normal* robot =
            SpawnRobotAtStartPoint(type, settings.popType == 0 ? 0 : 1, settings.hpRate, entry.team,
                                   computer ? kControlComputer : kControlLocal, entry.colorSet, nullptr);
        robotTable[i] = robot;
        if (robot) {
            SetLevel(robot, computer ? entry.computerLevel : 0);
            // Players and computers alike fly the pilot chosen in the room:
            // its face in the pilot window, its radio. The set-up emptied
            // every pilot slot, so the chosen one is loaded (once).
            if (entry.pilot >= 0 && entry.pilot < MaxPilots && GetPilotRegistry()->slots[entry.pilot].name[0] != '\0')
                robot->pilotIndex = entry.pilot;
            else
                SetPilot(robot, entry.pilot);
            const i32 generator = robotTypes[type].generator;
            const i32 gauge = settings.energyRate >= 10.0f
                                  ? 999999999
                                  : static_cast<i32>(settings.energyRate * static_cast<f32>(generator));
            robot->boostGaugeMax = gauge;
            robot->boostGauge = gauge;
        }
        if (settings.localRule == 1 && entry.team >= 0 && entry.team < kTeamArraySize) {
            ++teamUnits[entry.team];
            teamsPresent[entry.team] = 1;
            teamCosts[entry.team] = static_cast<u32>(static_cast<f32>(settings.costLimit) * settings.costRate);
            AttachModeCallbacks(robot, BattleRole::LocalTeamCost);
        } else {
            AttachModeCallbacks(robot, BattleRole::LocalNextBody);
        }
        if (!computer) playerEntries[players++] = i;
    }
    const u32 W = static_cast<u32>(app.video.screenWidth);
    const u32 H = static_cast<u32>(app.video.screenHeight);
    auto setView = [&](i32 i, u32 x, u32 y, u32 w, u32 h) {
        views[i].active = 1;
        views[i].viewport = {x, y, w, h, 0.0f, 1.0f};
        views[i].player = static_cast<u32>(playerEntries[i]);
    };
    if (players == 0) {
        playerEntries[0] = 0;
        setView(0, 0, 0, W, H);
    } else if (players == 1) {
        setView(0, 0, 0, W, H);
    } else if (players == 2) {
        setView(0, 0, 0, W / 2, H);
        setView(1, W / 2, 0, W / 2, H);
    } else if (players == 3) {
        setView(0, 0, 0, W / 2, H / 2);
        setView(1, W / 2, 0, W / 2, H / 2);
        setView(2, W / 2 - W / 4, H / 2, W / 2, H / 2);
    } else {
        setView(0, 0, 0, W / 2, H / 2);
        setView(1, W / 2, 0, W / 2, H / 2);
        setView(2, 0, H / 2, W / 2, H / 2);
        setView(3, W / 2, H / 2, W / 2, H / 2);
    }
    if (players >= 2) positionalSound = 0;

    GMTCB_Proc_TimeAdd::Create(&tasks, 1);
    BindScene(GMTCB_Judge_LocalBattle_RestBody::Create(&tasks, 1), this);
    GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
    if (settings.localRule == 1) GMTCB_DrawSP_TeamCostDisp::Create(&tasks, 100);
    else GMTCB_DrawSP_PlayerRestDisp::Create(&tasks, 100);
    battleTime = 0;
}

void CGameScene::SetupOnline()
{
    CApplication& app = *GetApplication();
    const BattleSettings& settings = battleSettings;
    RoomState& room = GetRoomState();
    cMTRand& random = GetBattleRandom();
    random.Init(room.battleStartValue);
    app.gameSettings.modeOption = 0;
    battleSettings.modeOption = 0;
    const u32 stageCount = app.secondStageFolders.count;
    u32 stage = settings.stage;
    if (stage == 0xFFFFFFFFu) stage = stageCount ? random.GetRand() % stageCount : 0;
    LoadStage(app.secondStageFolders, stage);
    // The room filled each player's slot with the pilot that player uploaded
    // (this player's own from its folder): their faces, radio texts and
    // voices are this battle's. Every other slot is emptied, so nobody gone
    // shows a face here.
    PilotRegistry& pilots = *GetPilotRegistry();
    for (i32 i = 0; i < MaxPilots; ++i)
        if (i >= 10 || app.players[i].slotState != 1) pilots.slots[i].Clear();

    const u32 rule = room.rule;
    // The room's free start points: a fallen robot comes back at a random one.
    startPointsRandom = settings.popType == 1 ? 1u : 0u;
    for (i32 i = 0; i < 10; ++i) {
        PlayerEntry& entry = app.players[i];
        if (entry.slotState == 0) continue;
        entry.inBattle = 1;
        (void)(random.GetRand() % 360);
        (void)random.GetRand();
        (void)random.GetRand();
        const i32 type = BoundRobotType(entry.robot);
        CGameItemBase* parts[10] = {};
        if (settings.item == 1)
            for (i32 p = 0; p < 10; ++p) parts[p] = entry.parts[p];
        const bool computer = entry.slotState == 2;
        CRobot_Normal* robot =
            SpawnRobotAtStartPoint(type, settings.popType == 0 ? 0 : 1, settings.hpRate, entry.team,
                                   computer ? kControlComputer : kControlNetwork, entry.colorSet, parts);
        robotTable[i] = robot;
        if (robot) {
            robot->padNumber = static_cast<i8>(i);
            if (computer) robot->aiLevel = 10;
            if (entry.team == static_cast<i32>(kSpectatorTeam)) robot->displayTeam = static_cast<i32>(kSpectatorTeam);
            const i32 generator = robotTypes[type].generator;
            const i32 gauge = settings.energyRate >= 10.0f
                                  ? 999999999
                                  : static_cast<i32>(settings.energyRate * static_cast<f32>(generator));
            robot->boostGaugeMax = gauge;
            robot->boostGauge = gauge;
            robot->pilotIndex = computer ? -1 : i;
            if (rule == 4) SetupTacticalRobot(robot);
        }
        AttachModeCallbacks(robot, static_cast<BattleRole>(static_cast<u32>(BattleRole::NetRule0) + (rule > 4 ? 0 : rule)));
        if (entry.team != static_cast<i32>(kSpectatorTeam) && entry.team >= 0 && entry.team < kTeamArraySize) {
            ++teamUnits[entry.team];
            teamsPresent[entry.team] = 1;
            teamCosts[entry.team] = static_cast<u32>(static_cast<f32>(settings.costLimit) * settings.costRate);
        }
    }
    playerSlot = room.ownSlot < static_cast<u32>(kRobotTableSize) ? room.ownSlot : 0;

    battleTime = 0;
    auto judgeScene = [this](auto* judge) { BindScene(judge, this); };
    switch (rule) {
        case 0:
            judgeScene(GMTCB_Judge_NetTeamSurvival::Create(&tasks, 1));
            GMTCB_Proc_TimeAdd::Create(&tasks, 1);
            GMTCB_DrawSP_PlayerRestDisp::Create(&tasks, 100);
            GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
            break;
        case 1:
            judgeScene(GMTCB_Judge_NetTimeSurvival::Create(&tasks, 1));
            BindScene(GMTCB_Proc_TimeDec::Create(&tasks, 1), this);
            BindScene(GMTCB_DrawPS_AllTeamScore::Create(&tasks, 100), this);
            GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
            battleTime = settings.timeLimit * 3600;
            break;
        case 2:
            GMTCB_Proc_TimeAdd::Create(&tasks, 1);
            judgeScene(GMTCB_Judge_NetGeigekisen::Create(&tasks, 1));
            GMTCB_DrawSP_PlayerRestDisp::Create(&tasks, 100);
            GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
            SpawnShip(1, 1500.0f, 18.0f, 1500.0f, 1.0f, 0, kControlComputer, 0, 0.0f);
            break;
        default:
            judgeScene(GMTCB_Judge_NetTeamCost::Create(&tasks, 1));
            GMTCB_Proc_TimeAdd::Create(&tasks, 1);
            GMTCB_DrawSP_TeamCostDisp::Create(&tasks, 100);
            GMTCB_DrawSP_GameTimeDisp::Create(&tasks, 100);
            break;
    }
    netDetailTask = GMTCB_DrawSP_NetDetailDisp::Create(&tasks, 201);

    frameProc = &CGameScene::Proc_NetWaitStart;
    // Without the room's chat option the battle takes no typed lines.
    GetApplication()->textInputHandler = settings.chat ? &CGameScene::ChatHook : nullptr;
    views[0].active = 1;
    views[0].viewport = {0, 0, static_cast<u32>(app.video.screenWidth), static_cast<u32>(app.video.screenHeight), 0.0f, 1.0f};
    views[0].player = playerSlot;
}
