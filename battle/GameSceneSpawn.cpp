// Robot and ship placement, the set-up that binds a robot to its type, the
// search by object id and the mode rules given to robots.
#include <cstring>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "engine/core/VectorFunctions.h"
#include "platform/core/MessageBox.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "weapon/ObjectFactory.h"

namespace {

// Set-up reports a node the type names but its model lacks; null shows a box.
void (*g_missingNodeHook)(const char* name, const char* caption) = nullptr;

void ReportMissingNode(const char* name, const char* caption)
{
    if (g_missingNodeHook)
        g_missingNodeHook(name, caption);
    else
        plat::ReportError(caption, name);
}

HodNode* FindNamed(CHierarchyObject& model, const char* name, const char* caption)
{
    if (!name || name[0] == '\0') return nullptr;
    HodNode* node = model.FindNode(name);
    if (!node) ReportMissingNode(name, caption);
    return node;
}

}  // namespace

void CGameScene::SetMissingNodeHook(void (*hook)(const char* name, const char* caption)) { g_missingNodeHook = hook; }

f32 CGameScene::StartPointYaw(const Mat4& point)
{
    const Vec3 f{0.0f, 0.0f, 1.0f};
    const Vec3 z{point.m[2][0], point.m[2][1], point.m[2][2]};
    f32 yaw = plat::DetAcos(Vec3DotClamped(f, z)) * 57.3f;
    if (Vec3Cross(f, z).y < 0.0f) yaw = -yaw;
    return yaw;
}

CRobot_Normal* CGameScene::SpawnRobot(i32 type, f32 x, f32 y, f32 z, f32 hpScale, i32 team, u8 controlMode,
                                      i32 colorSet, f32 yawDeg, CGameItemBase* const* parts)
{
    if (type < 0 || type >= robotTypes.GetCount()) return nullptr;
    CRobot_Normal* robot = NewObject<CRobot_Normal>(&unitList, static_cast<u32>(team + 1));
    if (!robot) return nullptr;
    robot->objectId = robotCounter;
    ++robotCounter;
    if (robotCounter == 0xFFFFFFFFu) robotCounter = 0;
    if (SetupRobot(robot, type, x, y, z, hpScale, team, controlMode, colorSet, yawDeg, parts, false) < 0) {
        // A type that does not load gives no robot rather than an empty one.
        unitList.Erase(robot);
        return nullptr;
    }
    return robot;
}

CRobot_Normal* CGameScene::SpawnRobotAtStartPoint(i32 type, i32 mode, f32 hpScale, i32 team, u8 controlMode,
                                                  i32 colorSet, CGameItemBase* const* parts)
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
                                                 CGameItemBase* const* parts)
{
    return SpawnRobotAtStartPoint(type, 0, hpScale, team, controlMode, colorSet, parts);
}

i32 CGameScene::SetupRobot(CRobot_Normal* robot, i32 type, f32 x, f32 y, f32 z, f32 hpScale, i32 team,
                           u8 controlMode, i32 colorSet, f32 yawDeg, CGameItemBase* const* parts, bool worker)
{
    if (!robot || type < 0 || type >= robotTypes.GetCount()) return -1;
    RobotModelData& data = robotTypes[type];
    if (worker) {
        if (!StartTypeLoader(type) || !WaitTypeLoaded(type, kTypeLoadLimitMs)) return -1;
    } else if (!LoadRobotType(type)) {
        return -1;
    }
    if (!data.loaded.load(std::memory_order_acquire)) return -1;

    const u32 id = robot->objectId;
    robot->ReleaseModel();
    robot->Reset();
    robot->objectId = id;

    robot->scriptTables = data.scriptTables.Data();
    data.hierarchy.CopyTo(&robot->lowerModel);
    robot->lowerModel.nodeCallback = &AimNodeCallback;
    robot->lowerModel.nodeCallbackArg = &robot->lowerModel;
    if (parts)
        for (i32 i = 0; i < kRobotParts; ++i) robot->parts[i] = parts[i];
    robot->upperModel.root = robot->lowerModel.root;
    robot->upperModel.nodeCallback = &AimNodeCallback;
    robot->upperModel.nodeCallbackArg = &robot->upperModel;
    robot->stateProc = CRobot_Normal::standingState;
    robot->subStateProc = nullptr;
    robot->modelData = &data;

    for (CHierarchyObject* model : {static_cast<CHierarchyObject*>(&robot->lowerModel), &robot->upperModel}) {
        model->ClearTrackEvents();
        model->PlayAnimation(0, 0, 0.1f, 1.0f, 0.0f, 0, 1);
    }

    Mat4 yaw;
    plat::MatrixRotationY(&yaw, yawDeg * 0.017453f);
    robot->worldMatrix = yaw;
    robot->worldMatrix.m[3][0] += x;
    robot->worldMatrix.m[3][1] += y;
    robot->worldMatrix.m[3][2] += z;
    robot->lowerModel.UpdateMatrices(&robot->worldMatrix);
    robot->prevWorldMatrix = robot->worldMatrix;

    if (HodNode* root = robot->lowerModel.root) {
        HodNode::FreePoseCacheTree(root);
        HodNode::CreatePoseCacheTree(root);
        HodNode::StoreAimLimitsTree(root);
    }

    const char* caption = data.name;
    robot->frameBodyD = robot->lowerModel.FindNode("Body_d.x");
    robot->frameUpperBody = robot->upperModel.FindNode("Body.x");
    robot->frameHead = robot->upperModel.FindNode("Head.x");
    robot->frameShield = robot->upperModel.FindNode("Shield_point.x");
    for (i32 i = 0; i < kRobotAttackArms && i < robot->attackArmNodes.GetCount(); ++i)
        robot->attackArmNodes[i] = robot->upperModel.FindNode(data.attackArmNodeNames[i]);
    for (i32 i = 0; i < kRobotGunNodes && i < robot->gunNodes.GetCount(); ++i)
        robot->gunNodes[i] = FindNamed(robot->lowerModel, data.gunNodeNames[i], caption);
    for (i32 i = 0; i < kRobotSwordNodes && i < robot->swordNodes.GetCount(); ++i)
        robot->swordNodes[i] = FindNamed(robot->lowerModel, data.swordNodeNames[i], caption);
    for (i32 i = 0; i < data.weaponPointNames.GetCount() && i < robot->weaponPointNodes.GetCount(); ++i)
        robot->weaponPointNodes[i] = FindNamed(robot->lowerModel, data.weaponPointNames[i].c_str(), caption);
    for (i32 i = 0; i < 20; ++i) {
        if (i < data.burnerNodeNames.GetCount() && i < robot->burnerNodes.GetCount()) {
            robot->burnerNodes[i] = FindNamed(robot->lowerModel, data.burnerNodeNames[i].c_str(), caption);
            if (robot->burnerNodes[i] && i < data.burnerValues.GetCount())
                robot->burnerNodeValues[i] = data.burnerValues[i];
        }
        if (i < data.etcPointNames.GetCount() && i < robot->etcPointNodes.GetCount())
            robot->etcPointNodes[i] = FindNamed(robot->lowerModel, data.etcPointNames[i].c_str(), caption);
    }
    for (HodNode* sword : robot->swordNodes)
        if (sword) robot->lowerModel.SetNodeHidden(sword, 1);

    robot->typeIndex = type;
    robot->state = kRobotStateLive;
    robot->team = team;
    robot->displayTeam = team;
    robot->speedFactor = 0.9f;
    robot->controlMode = controlMode;
    robot->lockDistance = static_cast<f32>(data.lockDist);
    robot->restBody = data.restBody;
    robot->bodyRadius = 0.7f;
    robot->boundRadius = 2.0f;
    robot->hitMeshRef = &data.hitMesh;
    robot->hitUpMeshRef = &data.hitUpMesh;
    std::memcpy(robot->displayName, data.name, sizeof robot->displayName);
    std::memcpy(robot->typeName, data.name, sizeof robot->typeName);
    robot->displayName[sizeof robot->displayName - 1] = '\0';
    robot->typeName[sizeof robot->typeName - 1] = '\0';

    robot->hpMax = static_cast<i32>(static_cast<f32>(data.hp) * hpScale);
    robot->hp = robot->hpMax;
    robot->boostGaugeMax = static_cast<i32>(
        (static_cast<f32>(robot->SumItemBonus(BonusThrustMax)) * 0.01f + 1.0f) * static_cast<f32>(data.generator));
    robot->boostGauge = robot->boostGaugeMax;
    robot->energyMax = static_cast<i32>(
        (static_cast<f32>(robot->SumItemBonus(BonusWeaponMax)) * 0.01f + 1.0f) * static_cast<f32>(data.energy));
    robot->energy = static_cast<f32>(robot->energyMax);
    robot->boostRegen = 24;
    robot->inputEnabled = 0;

    if (data.colorSets.IsCreated() && colorSet >= 0 && colorSet < data.colorSets.GetCount())
        robot->colorSet.CopyFrom(data.colorSets[colorSet]);
    if (GetApplication()->video.disableShader) robot->colorSet.shaderEnabled = 0;

    for (Vec3* v : {&robot->forward, &robot->aimVector, &robot->side}) {
        const Vec3 in = *v;
        plat::Vec3TransformNormal(v, &in, &yaw);
    }
    const CFixedArray<u8>& keys = GetApplication()->input.padKeyMap;
    if (keys.IsCreated() && keys.GetCount() >= kRobotKeyCodes)
        for (i32 i = 0; i < kRobotKeyCodes; ++i) robot->keyCodes[i] = keys[i];

    robot->spawnControlMode = controlMode;
    robot->spawnTeam = team;
    robot->spawnPos[0] = x;
    robot->spawnPos[1] = y;
    robot->spawnPos[2] = z;
    robot->spawnAngle = yawDeg;
    robot->spawnColorSet = colorSet;
    robot->spawnHpScale = hpScale;
    robot->spawnType = type;

    robot->lowerModel.ApplyAnime(&robot->worldMatrix);
    if (robot->frameBodyD && robot->frameUpperBody)
        robot->upperModel.ApplyAnimeFrom(robot->frameUpperBody, &robot->frameBodyD->world);

    delete[] robot->lowerNodes;
    robot->lowerNodes = nullptr;
    robot->lowerNodeCount = robot->frameBodyD ? robot->lowerModel.CollectNodes(robot->frameBodyD, &robot->lowerNodes) : 0;
    robot->lowerNodeMatricesA.Release();
    robot->lowerNodeMatricesB.Release();
    if (robot->lowerNodeCount) {
        robot->lowerNodeMatricesA.Create(static_cast<i32>(robot->lowerNodeCount));
        robot->lowerNodeMatricesB.Create(static_cast<i32>(robot->lowerNodeCount));  // identity matrices
    }

    // The start scripts: every entry of 190 up to its end mark, then 0 on both channels.
    i32 result = 0;
    constexpr i32 kStartScript = 190;
    if (ScriptEntry* start = data.ScriptTable(kStartScript)) {
        const i32 count = data.scriptEntryCounts.IsCreated() ? data.scriptEntryCounts[kStartScript] : 0;
        for (i32 n = 0; n < count; ++n) {
            result = robot->SetScript(start, n, 0);
            if (robot->channelWait[0] == kScriptEndMark) break;
        }
    }
    if (ScriptEntry* idle = data.ScriptTable(0)) {
        result = robot->SetScript(idle, 0, 0);
        result = robot->SetScript(idle, 0, 1);
    }
    return result;
}

CShip* CGameScene::SpawnShip(i32, f32, f32, f32, f32, i32, u8, i32, f32)
{
    return nullptr;
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
bool CGameScene::OpenPauseMenu() { return false; }
