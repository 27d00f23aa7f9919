// Robot and ship placement (the unit list, object ids, start points and type
// loading; each unit fills itself from its type), the search by object id and
// the mode rules given to robots.
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/player/PlayerEntry.h"
#include "app/player/RoomState.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "robot/RobotStateRecord.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "battle/tasks/SystemTasks.h"
#include "engine/core/VectorFunctions.h"
#include "platform/math/DetMath.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "weapon/ObjectFactory.h"

f32 CGameScene::StartPointYaw(const Mat4& point)
{
    const Vec3 f{0.0f, 0.0f, 1.0f};
    const Vec3 z{point.m[2][0], point.m[2][1], point.m[2][2]};
    f32 yaw = plat::DetAcos(Vec3DotClamped(f, z)) * 57.3f;
    if (Vec3Cross(f, z).y < 0.0f) yaw = -yaw;
    return yaw;
}

CRobot_Normal* CGameScene::SpawnRobot(i32 type, f32 x, f32 y, f32 z, f32 hpScale, i32 team, u8 controlMode,
                                      i32 colorSet, f32 yawDeg, const CGameItemBase* const* parts)
{
    if (type < 0 || type >= robotTypes.GetCount()) return nullptr;
    CRobot_Normal* robot = NewObject<CRobot_Normal>(&unitList, static_cast<u32>(team + 1));
    if (!robot) return nullptr;
    robot->objectId = robotCounter;
    ++robotCounter;
    if (robotCounter == 0xFFFFFFFFu) robotCounter = 0;
    const RobotSpawn spawn{type, x, y, z, hpScale, team, controlMode, colorSet, yawDeg, parts};
    if (SetupRobot(robot, spawn, false) < 0) {
        // A type that does not load gives no robot rather than an empty one.
        unitList.Erase(robot);
        return nullptr;
    }
    return robot;
}

void CGameScene::SetupTacticalRobot(CRobot_Normal* robot)
{
    robot->tacticalRules = 1;
    CRobot_Normal::PlaceAtRandomPoint(robot);
    CRobot_Normal::DefeatProc_DropSpawnToGround(robot);
    for (i32 i = 0; i < 3; ++i) robot->worldMatrix.m[3][i] = robot->spawnPos[i];
    robot->prevWorldMatrix = robot->worldMatrix;
    robot->RePose();
    // A robot with fewer bodies fights each of them with less HP.
    robot->spawnHpScale = static_cast<f32>(robot->spawnHpScale * ((robot->restBody + 1) / 5.0));
    if (robot->modelData) {
        robot->hpMax = robot->StartingHp(robot->modelData->hp, robot->spawnHpScale);
        robot->hp = robot->hpMax;
    }
}

CRobot_Normal* CGameScene::SpawnRobotAtStartPoint(i32 type, i32 mode, f32 hpScale, i32 team, u8 controlMode,
                                                  i32 colorSet, const CGameItemBase* const* parts)
{
    Mat4 point = Mat4::Identity();
    if (mode == 0 && team >= 0 && team < 10)
        point = battleMap.NextTeamStartPoint(team);
    else if (mode == 1)
        point = battleMap.PickRandomStartPoint();
    return SpawnRobot(type, point.m[3][0], point.m[3][1], point.m[3][2], hpScale, team, controlMode, colorSet,
                      StartPointYaw(point), parts);
}

CRobot_Normal* CGameScene::SpawnRobotAtTeamStart(i32 type, f32 hpScale, i32 team, u8 controlMode, i32 colorSet,
                                                 const CGameItemBase* const* parts)
{
    return SpawnRobotAtStartPoint(type, 0, hpScale, team, controlMode, colorSet, parts);
}

i32 CGameScene::SetupRobot(CRobot_Normal* robot, const RobotSpawn& spawn, bool worker)
{
    const i32 type = spawn.type;
    if (!robot || type < 0 || type >= robotTypes.GetCount()) return -1;
    RobotModelData& data = robotTypes[type];
    const bool started = worker ? StartTypeLoader(type) && WaitTypeLoaded(type) : LoadRobotType(type);
    const bool loaded = started && data.loaded.load(std::memory_order_acquire);
    if (!loaded) {
        // A robot missing from the start is no battle; one joining later is
        // only left out.
        if (settingUp) {
            char text[128];
            std::snprintf(text, sizeof text, "Robot type %d could not be loaded.", type);
            FailSetup(text);
        }
        return -1;
    }
    return robot->Spawn(data, spawn);
}

CShip* CGameScene::SpawnShip(i32 type, f32 x, f32 y, f32 z, f32 hpScale, i32 team, u8 controlMode, i32 colorSet,
                             f32 yawDeg)
{
    if (type < 0 || type >= shipTypes.GetCount()) return nullptr;
    RobotModelData& data = shipTypes[type];
    if (!data.hierarchy.root && !LoadShipType(type)) return nullptr;
    CShip* ship = NewObject<CShip>(&unitList, static_cast<u32>(team + 1));
    if (!ship) return nullptr;
    if (!ship->Spawn(data, RobotSpawn{type, x, y, z, hpScale, team, controlMode, colorSet, yawDeg, nullptr})) {
        unitList.Erase(ship);
        return nullptr;
    }
    // Ships draw their ids from the robots' counter: a synchronised target id
    // must name one unit, never a ship and a robot alike.
    ship->objectId = robotCounter;
    ++robotCounter;
    if (robotCounter == 0xFFFFFFFFu) robotCounter = 0;
    return ship;
}

bool CGameScene::LoadShipType(i32 type)
{
    const CApplication& app = *GetApplication();
    if (type < 0 || type >= shipTypes.GetCount() || static_cast<u32>(type) >= app.shipFolders.count ||
        type >= static_cast<i32>(sizeof app.shipFolders.names / sizeof app.shipFolders.names[0]))
        return false;
    char folder[sizeof app.shipFolders.names[0] + 1] = {};
    std::memcpy(folder, app.shipFolders.names[type], sizeof app.shipFolders.names[0]);
    if (folder[0] == '\0') return false;
    const std::string path = std::string(app.startupDir) + "/" + folder;
    RobotModelData& data = shipTypes[type];
    // Ships load on the main thread alone: no loader lock, no loaded flag.
    const std::string previous = plat::GetCurrentDirectory();
    if (!plat::SetCurrentDirectory(path.c_str())) return false;
    data.hierarchy.CreateRoot();
    if (data.hitMesh.LoadScrambledWithTextures((path + "/hit.x").c_str(), MeshObject::NoTextures, AssetKey,
                                               nullptr)) {
        data.hitMesh.ComputeBounds();
        data.hitMesh.BuildCollisionTriangles();
    }
    data.LoadScriptSpt((path + "/Script.spt").c_str(), AssetKey);
    bool ok = data.LoadScriptAni((path + "/Script.ani").c_str()) != 0;
    plat::SetCurrentDirectory(previous.c_str());
    // A ship's weapons, turrets and hit tests use these frames unchecked:
    // a folder without them is refused here, once, with the reason.
    const char* why = "";
    if (ok && !CShip::CheckType(data, &why)) {
        ReportRobotTypeProblem(why, folder);
        ok = false;
    }
    if (!ok) {
        data.Release();
        data.Reset();
    }
    return ok;
}

BB_Base* CGameScene::FindRobotById(u32 id)
{
    BB_Base* head = unitList.GetHead();
    if (!head) return nullptr;
    for (BB_Base* node = head->next; node && node->priority != kListTailPriority; node = node->next) {
        const i32 kind = node->GetKind();
        if ((kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip) &&
            static_cast<CRobot_Base*>(node)->objectId == id)
            return node;
    }
    return nullptr;
}

i32 CGameScene::RebuildRobotsAfterResync()
{
    CApplication& app = *GetApplication();
    for (i32 i = 0; i < kRobotTableSize && i < app.players.GetCount(); ++i) {
        PlayerEntry& entry = app.players[i];
        if (robotTable[i]) entry.keyQueue.Init();
        entry.receivedFrames = 0;
        entry.frameMarker = -1;
    }
    // The battle never draws from the C library's generator; only ours restarts.
    GetBattleRandom().Init(1, 624);

    // Robots already handed to the deletion queue go now; everything else
    // in flight (weapons, effects, items) is dropped with its lists.
    for (const BB_DelNode& n : deleteQueue)
        if (n.list == &unitList && n.object) unitList.Erase(n.object);
    deleteQueue.clear();
    weaponList.Init();
    laserDrawList.Init();
    effectList.Init();
    itemList.Init();
    otherList.Init();

    i32 refused = 0;
    BB_Base* head = unitList.GetHead();
    for (BB_Base* node = head ? head->next : nullptr; node && node->priority != kListTailPriority; node = node->next) {
        const i32 kind = node->GetKind();
        if (!IsUnitKind(kind)) continue;
        auto* unit = static_cast<CRobot_Base*>(node);
        // Nothing may keep pointing at the weapons that just went.
        unit->lockAlertList.Init();
        // Each client reached the repair at its own frame, holding whatever
        // input came last; every one restarts from none until new input comes.
        unit->receivedInput.Clear();
        if (kind != kKindRobot) continue;
        auto* robot = static_cast<CRobot_Normal*>(unit);
        for (BB_Base*& w : robot->attachedWeapons) w = nullptr;
        robot->linkedObjects.clear();
        i32 slot = -1;
        for (i32 i = 0; i < kRobotTableSize; ++i)
            if (robotTable[i] == robot) {
                slot = i;
                break;
            }
        if (slot < 0 || slot >= app.players.GetCount()) continue;
        const PlayerEntry& entry = app.players[slot];
        RobotState s;
        if (ReadRobotState(entry.resyncRecord.data(), entry.resyncRecord.size(), s) != nullptr) {
            ++refused;
            continue;
        }
        RebuildRobot(robot, s, entry.syncTarget);
    }

    // The start's fade counts the frames each client ran, and clients reach a
    // repair a few frames apart: one may have let the robots act already and
    // another not, while the host's records say either. The start ends here
    // on every client alike, and every living unit acts from the new run's
    // first frame.
    if (tasks.GetHead())
        for (TCB* t = tasks.GetHead()->next; t && t != tasks.GetTail(); t = t->next)
            if (auto* start = dynamic_cast<GMTCB_GameStart*>(t)) start->Cut(*this);
    for (BB_Base* node = head ? head->next : nullptr; node && node->priority != kListTailPriority; node = node->next)
        if (IsUnit(node) && static_cast<CRobot_Base*>(node)->state == kRobotStateLive)
            static_cast<CRobot_Base*>(node)->inputEnabled = 1;

    battleMap.ResetMapObjects();
    const RoomState& room = GetRoomState();
    // The host's block holds the members left, the scores and the costs of
    // the 21 teams, in that order; a damaged one leaves every client its own.
    static_assert(sizeof room.hostStateBlock / sizeof room.hostStateBlock[0] == 3 * kTeamArraySize);
    for (i32 t = 0; t < kTeamArraySize && room.hostStateTaken == 1; ++t) {
        teamUnits[t] = room.hostStateBlock[t];
        teamScores[t] = room.hostStateBlock[kTeamArraySize + t];
        teamCosts[t] = room.hostStateBlock[2 * kTeamArraySize + t];
    }
    return refused;
}

void CGameScene::RebuildRobot(CRobot_Normal* robot, const RobotState& s, i32 syncTarget)
{
    const std::vector<RobotCallback> frame = robot->FrameProcList;
    const std::vector<RobotCallback> destroy = robot->DestroyProcList;
    const std::vector<RobotCallback> defeat = robot->DefeatProcList;
    const i8 pad = robot->padNumber;
    const auto parts = robot->PartList();

    SetupRobot(robot,
               RobotSpawn{robot->spawnType, s.world[12], s.world[13], s.world[14], robot->spawnHpScale,
                          robot->spawnTeam, static_cast<u8>(robot->spawnControlMode), robot->spawnColorSet,
                          robot->spawnAngle, parts.data()},
               false);
    std::memcpy(&robot->worldMatrix.m[0][0], s.world, sizeof s.world);
    robot->prevWorldMatrix = robot->worldMatrix;
    const u32 targetId = syncTarget != -1 ? static_cast<u32>(syncTarget) : s.lockTargetId;
    BB_Base* target = targetId != kRobotStateNoTarget ? FindRobotById(targetId) : nullptr;
    robot->lockTarget = target && target != robot ? static_cast<CRobot_Base*>(target) : nullptr;

    robot->padNumber = pad;
    robot->FrameProcList = frame;
    robot->DestroyProcList = destroy;
    robot->DefeatProcList = defeat;

    robot->score = s.score;
    robot->kills = s.kills;
    robot->tacticalRules = s.tacticalRules;
    robot->aiLevel = s.aiLevel;
    robot->chargeGauge = s.chargeGauge < 5000 ? 5000 : s.chargeGauge;
    robot->restBody = s.restBody;
    robot->hp = s.hp < robot->hpMax ? s.hp : robot->hpMax;
    std::memcpy(robot->displayName, s.displayName, sizeof robot->displayName);
    robot->boostGaugeMax = s.boostGaugeMax;
    robot->boostGauge = s.boostGaugeMax;
    for (i32 i = 0; i < 3; ++i) robot->spawnPos[i] = s.spawnPos[i];
    robot->inputEnabled = s.inputEnabled;
    robot->state = s.state;
    robot->pilotIndex = s.pilotIndex;
    if (robot->state == kRobotStateDestroyed) robot->Defeat();
    robot->forward = Vec3(s.forward[0], s.forward[1], s.forward[2]);
    robot->aimVector = Vec3(s.aimVector[0], s.aimVector[1], s.aimVector[2]);
    robot->side = Vec3(s.side[0], s.side[1], s.side[2]);
}

void CGameScene::AttachModeCallbacks(CRobot_Normal* robot, BattleRole role)
{
    if (!robot) return;
    auto defeat = [&](RobotCallback proc) { robot->DefeatProcList.push_back(proc); };
    auto destroy = [&](RobotCallback proc) { robot->DestroyProcList.push_back(proc); };
    const bool randomStart = role >= BattleRole::NetRule0 && startPointsRandom;
    if (randomStart) defeat(&CRobot_Normal::DefeatProc_RandomStartPoint);
    switch (role) {
    case BattleRole::SurvivalPlayer: defeat(&CRobot_Normal::DefeatProc_NextBodyImmune); break;
    case BattleRole::SurvivalOpponent: defeat(&CRobot_Normal::DefeatProc_SurvivalNextOpponent); break;
    case BattleRole::Respawn: defeat(&CRobot_Normal::DefeatProc_Respawn); break;
    case BattleRole::PracticeOpponent: defeat(&CRobot_Normal::DefeatProc_RandomOpponent); break;
    case BattleRole::TeamUnitDown: defeat(&CRobot_Normal::DefeatProc_TeamRestCount); break;
    case BattleRole::LocalNextBody: defeat(&CRobot_Normal::DefeatProc_NextBody); break;
    case BattleRole::LocalTeamCost:
        defeat(&CRobot_Normal::DefeatProc_TeamCostRespawn);
        destroy(&CRobot_Normal::DestroyProc_TeamCostPenalty);
        break;
    case BattleRole::NetRule0:
    case BattleRole::NetRule2: defeat(&CRobot_Normal::DefeatProc_NetNextBody); break;
    case BattleRole::NetRule1: defeat(&CRobot_Normal::DefeatProc_NetRespawn); break;
    case BattleRole::NetRule3:
        defeat(&CRobot_Normal::DefeatProc_NetTeamCostRespawn);
        destroy(&CRobot_Normal::DestroyProc_TeamCostPenalty);
        break;
    case BattleRole::NetRule4:
        defeat(&CRobot_Normal::DefeatProc_DropSpawnToGround);
        defeat(&CRobot_Normal::DefeatProc_NetTeamCostRespawn);
        destroy(&CRobot_Normal::DestroyProc_NetTeamCostPenalty);
        robot->FrameProcList.push_back(&CRobot_Normal::FrameProc_RegenerateHp);
        break;
    }
}

// The pause menus come with their own tasks; without one the battle never
// pauses, since nothing could resume it.
