// A unit filling itself at its spawn: what robots and ships share, and the
// robot's binding to its loaded type (models, nodes, gauges, start scripts).
#include <atomic>
#include <cstring>

#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "engine/model/HierarchyObject.h"
#include "platform/core/MessageBox.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"

namespace {

// A node the type names but its model lacks is reported, and the robot goes
// on without it.
HodNode* FindNamed(CHierarchyObject& model, const char* name, const char* caption)
{
    if (!name || name[0] == '\0') return nullptr;
    HodNode* node = model.FindNode(name);
    if (!node) plat::ReportError(caption, name);
    return node;
}

// Fewer remaining bodies for the player's side, so a scripted survival ends
// at the first fall.
i32 TestBodies(i32 bodies, i32 team)
{
    const i32 n = team == 0 ? GetTestSwitches().ownBodies : -1;
    return n >= 0 && n < bodies ? n : bodies;
}

}  // namespace

i32 CRobot_Base::StartingHp(i32 typeHp, f32 hpScale) const
{
    const i32 hp = static_cast<i32>(static_cast<f32>(typeHp) * hpScale);
    // Scripted games decide a battle in a few seconds by frail units: the
    // player's side (team 0), or the computer's robots and ships against it.
    i32 percent = 100;
    if (team == 0) percent = GetTestSwitches().ownHp;
    else if (controlMode == kControlComputer) percent = GetTestSwitches().enemyHp;
    if (percent < 1 || percent >= 100) return hp;
    const i32 scaled = static_cast<i32>(static_cast<i64>(hp) * percent / 100);
    return scaled > 0 ? scaled : 1;
}

void CRobot_Base::TakeSpawn(const RobotSpawn& spawn, const RobotModelData& type)
{
    typeIndex = spawn.type;
    state = kRobotStateLive;
    team = spawn.team;
    displayTeam = spawn.team;
    controlMode = spawn.controlMode;
    std::memcpy(displayName, type.name, sizeof displayName);
    std::memcpy(typeName, type.name, sizeof typeName);
    displayName[sizeof displayName - 1] = '\0';
    typeName[sizeof typeName - 1] = '\0';
    hpMax = StartingHp(type.hp, spawn.hpScale);
    hp = hpMax;
    // The battle start lets the unit act.
    inputEnabled = 0;
    const CFixedArray<u8>& keys = GetApplication()->input.padKeyMap;
    if (keys.IsCreated() && keys.GetCount() >= kRobotKeyCodes)
        for (i32 i = 0; i < kRobotKeyCodes; ++i) keyCodes[i] = keys[i];

    spawnType = spawn.type;
    spawnControlMode = spawn.controlMode;
    spawnTeam = spawn.team;
    spawnPos[0] = spawn.x;
    spawnPos[1] = spawn.y;
    spawnPos[2] = spawn.z;
    spawnAngle = spawn.yawDeg;
    spawnColorSet = spawn.colorSet;
    spawnHpScale = spawn.hpScale;
}

i32 CRobot_Normal::Spawn(RobotModelData& type, const RobotSpawn& spawn)
{
    const u32 id = objectId;
    // Copied before the reset: a rebuild hands the robot its own parts.
    PartSet given = CopyParts(spawn.parts);
    ReleaseModel();
    Reset();
    objectId = id;
    parts = std::move(given);

    scriptTables = type.scriptTables.Data();
    type.hierarchy.CopyTo(&lowerModel);
    lowerModel.nodeCallback = &AimNodeCallback;
    lowerModel.nodeCallbackArg = &lowerModel;
    upperModel.root = lowerModel.root;
    upperModel.nodeCallback = &AimNodeCallback;
    upperModel.nodeCallbackArg = &upperModel;
    stateProc = standingState ? standingState : &CRobot_Normal::StateIdle;
    subStateProc = nullptr;
    modelData = &type;

    for (CHierarchyObject* model : {static_cast<CHierarchyObject*>(&lowerModel), &upperModel}) {
        model->ClearTrackEvents();
        model->PlayAnimation(kActionIdle, 0, 0.1f, 1.0f, 0.0f, 0, 1);
    }

    Mat4 yaw;
    plat::MatrixRotationY(&yaw, spawn.yawDeg * 0.017453f);
    worldMatrix = yaw;
    worldMatrix.m[3][0] += spawn.x;
    worldMatrix.m[3][1] += spawn.y;
    worldMatrix.m[3][2] += spawn.z;
    lowerModel.UpdateMatrices(&worldMatrix);
    prevWorldMatrix = worldMatrix;

    if (HodNode* root = lowerModel.root) {
        HodNode::FreePoseCacheTree(root);
        HodNode::CreatePoseCacheTree(root);
        HodNode::StoreAimLimitsTree(root);
    }

    const char* caption = type.name;
    frameBodyD = lowerModel.FindNode("Body_d.x");
    frameUpperBody = upperModel.FindNode("Body.x");
    frameHead = upperModel.FindNode("Head.x");
    frameShield = upperModel.FindNode("Shield_point.x");
    for (i32 i = 0; i < kRobotAttackArms && i < attackArmNodes.GetCount(); ++i)
        attackArmNodes[i] = upperModel.FindNode(type.attackArmNodeNames[i]);
    for (i32 i = 0; i < kRobotGunNodes && i < gunNodes.GetCount(); ++i)
        gunNodes[i] = FindNamed(lowerModel, type.gunNodeNames[i], caption);
    for (i32 i = 0; i < kRobotSwordNodes && i < swordNodes.GetCount(); ++i)
        swordNodes[i] = FindNamed(lowerModel, type.swordNodeNames[i], caption);
    for (i32 i = 0; i < type.weaponPointNames.GetCount() && i < weaponPointNodes.GetCount(); ++i)
        weaponPointNodes[i] = FindNamed(lowerModel, type.weaponPointNames[i].c_str(), caption);
    for (i32 i = 0; i < 20; ++i) {
        if (i < type.burnerNodeNames.GetCount() && i < burnerNodes.GetCount()) {
            burnerNodes[i] = FindNamed(lowerModel, type.burnerNodeNames[i].c_str(), caption);
            if (burnerNodes[i] && i < type.burnerValues.GetCount()) burnerNodeValues[i] = type.burnerValues[i];
        }
        if (i < type.etcPointNames.GetCount() && i < etcPointNodes.GetCount())
            etcPointNodes[i] = FindNamed(lowerModel, type.etcPointNames[i].c_str(), caption);
    }
    for (HodNode* sword : swordNodes)
        if (sword) lowerModel.SetNodeHidden(sword, 1);

    TakeSpawn(spawn, type);
    speedFactor = 0.9f;
    lockDistance = static_cast<f32>(type.lockDist);
    restBody = TestBodies(type.restBody, spawn.team);
    bodyRadius = 0.7f;
    boundRadius = 2.0f;
    hitMeshRef = &type.hitMesh;
    hitUpMeshRef = &type.hitUpMesh;
    boostGaugeMax = static_cast<i32>((static_cast<f32>(SumItemBonus(BonusThrustMax)) * 0.01f + 1.0f) *
                                     static_cast<f32>(type.generator));
    boostGauge = boostGaugeMax;
    energyMax = static_cast<i32>((static_cast<f32>(SumItemBonus(BonusWeaponMax)) * 0.01f + 1.0f) *
                                 static_cast<f32>(type.energy));
    energy = static_cast<f32>(energyMax);
    boostRegen = 24;

    if (type.colorSets.IsCreated() && spawn.colorSet >= 0 && spawn.colorSet < type.colorSets.GetCount())
        colorSet.CopyFrom(type.colorSets[spawn.colorSet]);
    if (GetApplication()->video.disableShader) colorSet.shaderEnabled = 0;

    for (Vec3* v : {&forward, &aimVector, &side}) {
        const Vec3 in = *v;
        plat::Vec3TransformNormal(v, &in, &yaw);
    }

    lowerModel.ApplyAnime(&worldMatrix);
    if (frameBodyD && frameUpperBody) upperModel.ApplyAnimeFrom(frameUpperBody, &frameBodyD->world);

    delete[] lowerNodes;
    lowerNodes = nullptr;
    lowerNodeCount = frameBodyD ? lowerModel.CollectNodes(frameBodyD, &lowerNodes) : 0;
    lowerNodeMatricesA.Release();
    lowerNodeMatricesB.Release();
    if (lowerNodeCount) {
        lowerNodeMatricesA.Create(static_cast<i32>(lowerNodeCount));
        lowerNodeMatricesB.Create(static_cast<i32>(lowerNodeCount));  // identity matrices
    }

    // The start scripts: every entry of the start action up to its end mark, then idle on both channels.
    i32 result = 0;
    if (ScriptEntry* start = type.ScriptTable(kActionStart)) {
        const i32 count = type.scriptEntryCounts.IsCreated() ? type.scriptEntryCounts[kActionStart] : 0;
        for (i32 n = 0; n < count; ++n) {
            result = SetScript(start, n, 0);
            if (channelWait[0] == kScriptEndMark) break;
        }
    }
    if (ScriptEntry* idle = type.ScriptTable(kActionIdle)) {
        result = SetScript(idle, 0, 0);
        result = SetScript(idle, 0, 1);
    }
    return result;
}
