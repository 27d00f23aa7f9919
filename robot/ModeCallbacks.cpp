// The rules that differ between battle modes, as callbacks on a robot's three
// lists: replacement, next bodies, random opponents, team counters and
// costs, item drops, spawn placement and health regeneration.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "robot/Robot.h"
#include "weapon/items/Items.h"

namespace {

CGameScene* Scene() { return FindGameScene(); }

// Index of the robot's team counters; -1 for a spectator or a bad team.
i32 CheckedTeam(const CRobot_Normal* robot)
{
    return robot->displayTeam >= 0 && robot->displayTeam < kTeamArraySize ? robot->displayTeam : -1;
}

u32 RobotTypeCount()
{
    const u32 n = GetApplication()->robotFolders.count;
    return n < static_cast<u32>(kRobotTypeCount) ? n : static_cast<u32>(kRobotTypeCount);
}

i32 ClampLevel(i32 level) { return level < 0 ? 0 : level > 10 ? 10 : level; }

// Computer robots cost 70 %, taken with the single-precision 0.7 in a wider
// product so 100 costs 69 on every machine (a float product rounds to 70).
i32 ComputerCost(const CRobot_Normal* robot, i32 cost)
{
    if (robot->controlMode != kControlComputer) return cost;
    return static_cast<i32>(static_cast<double>(cost) * static_cast<double>(0.7f));
}

// The cost a robot's loss takes from its team.
i32 BodyCost(const CRobot_Normal* robot) { return ComputerCost(robot, (5 - robot->restBody) * 100); }

f32 Distance(const Vec3& a, const f32* b)
{
    const f32 dx = a.x - b[0], dy = a.y - b[1], dz = a.z - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

Vec3 RobotPosition(const CRobot_Normal* robot)
{
    return {robot->worldMatrix.m[3][0], robot->worldMatrix.m[3][1], robot->worldMatrix.m[3][2]};
}

void PlayRebirthVoice(const CRobot_Normal* old)
{
    CGameScene* scene = Scene();
    if (!scene || old->pilotIndex < 0) return;
    const Vec3 at = RobotPosition(old);
    const f32 eye[3] = {scene->Eye().x, scene->Eye().y, scene->Eye().z};
    if (!old->IsWatched() && Distance(at, eye) >= 40.0f) return;
    PilotRegistry* pilots = GetPilotRegistry();
    if (pilots && old->pilotIndex < MaxPilots)
        pilots->slots[old->pilotIndex].PlayRebirthVoice();
}

// Waits for the preloaded random type; false when it could not be loaded.
bool WaitPreloadedType(CGameScene* scene)
{
    const i32 type = scene->nextRandomType;
    return type >= 0 && type < kRobotTypeCount && scene->WaitTypeLoaded(type);
}

void PreloadNextRandomType(CGameScene* scene)
{
    const u32 count = RobotTypeCount();
    if (count == 0) return;
    scene->nextRandomType = static_cast<i32>((GetBattleRandom().GetRand() % (count * 100)) / 100);
    scene->StartTypeLoader(scene->nextRandomType);
}

enum CopyFlags : u32 {
    kCopyPad = 1,
    kCopyPilot = 2,  // pilotIndex and displayName
    kCopyLevel = 4,
};

// The common core: a new robot from the old one's spawn data, carrying its
// rules, score and links, stored in the old one's table entry. Null when the
// type could not be spawned (the old robot then stays in the table).
CRobot_Normal* Replace(CRobot_Normal* old, i32 type, i32 colorSet, f32 hpScale, u32 copy)
{
    CGameScene* scene = Scene();
    if (!scene) return nullptr;
    CRobot_Normal* robot =
        scene->SpawnRobot(type, old->spawnPos[0], old->spawnPos[1], old->spawnPos[2], hpScale, old->spawnTeam,
                          static_cast<u8>(old->spawnControlMode), colorSet, old->spawnAngle, old->PartList().data());
    if (!robot) return nullptr;
    robot->DestroyProcList = old->DestroyProcList;
    robot->DefeatProcList = old->DefeatProcList;
    robot->FrameProcList = old->FrameProcList;
    robot->score = old->score;
    robot->kills = old->kills;
    if (copy & kCopyLevel) robot->aiLevel = ClampLevel(old->aiLevel);
    robot->chargeGauge = old->chargeGauge;
    robot->boostGaugeMax = old->boostGaugeMax;
    robot->boostGauge = old->boostGaugeMax;
    if (copy & kCopyPilot) {
        robot->pilotIndex = old->pilotIndex;
        std::memcpy(robot->displayName, old->displayName, sizeof robot->displayName);
    }
    if (copy & kCopyPad) robot->padNumber = old->padNumber;
    robot->linkedRobots = old->linkedRobots;
    robot->linkedObjects = old->linkedObjects;
    robot->killRewardBits = old->killRewardBits;
    robot->lossRewardBits = old->lossRewardBits;
    robot->lossStreak = old->lossStreak;
    robot->inputEnabled = 1;
    for (CRobot_Base*& entry : scene->robotTable)
        if (entry == old) {
            entry = robot;
            break;
        }
    return robot;
}

CRobot_Normal* StandardReplace(CRobot_Normal* old, i32 restBody, f32 hpScale, i32 immunity)
{
    CRobot_Normal* robot =
        Replace(old, old->spawnType, old->spawnColorSet, hpScale, kCopyPad | kCopyPilot | kCopyLevel);
    if (!robot) return nullptr;
    PlayRebirthVoice(old);
    robot->restBody = restBody;
    if (immunity) robot->hitImmunity = immunity;
    return robot;
}

i32 Replaced(const CRobot_Normal* robot) { return robot ? 2 : 0; }

// An online player with nothing left: out, and the camera moves on.
void NetOut(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    if (!scene) return;
    const i32 team = CheckedTeam(robot);
    if (team >= 0) scene->teamUnits[team] = static_cast<u32>(static_cast<i32>(scene->teamUnits[team]) - 1);
    const u32 own = scene->playerSlot;
    if (own >= static_cast<u32>(kRobotTableSize) || scene->robotTable[static_cast<i32>(own)] != robot) return;
    robot->state = kRobotStateOut;
    for (i32 i = 0; i < kRobotTableSize; ++i)
        if (scene->robotTable[i] && scene->robotTable[i]->state == kRobotStateLive) {
            if (scene->currentView) scene->currentView->player = static_cast<u32>(i);
            if (scene->views.IsCreated()) scene->views[0].player = static_cast<u32>(i);
            break;
        }
}

// -1 when the team has no cost left, else 2 replaced or 0 not.
i32 TeamCostReplace(CRobot_Normal* robot, i32 immunity, CRobot_Normal** replaced)
{
    CGameScene* scene = Scene();
    const i32 team = CheckedTeam(robot);
    if (!scene || team < 0) return 0;
    const i32 cost = BodyCost(robot);
    const i32 left = static_cast<i32>(scene->teamCosts[team]);
    if (left <= 0) return -1;
    const f32 ratio = cost > 0 && left < cost ? static_cast<f32>(left) / static_cast<f32>(cost) : 1.0f;
    *replaced = StandardReplace(robot, robot->restBody, robot->spawnHpScale * ratio, immunity);
    return Replaced(*replaced);
}

void DropItem(CRobot_Normal* robot, i32 kind, bool withVelocity, f32 value)
{
    const Mat4& m = robot->frameBodyD ? robot->frameBodyD->world : robot->worldMatrix;
    const Vec3 at{m.m[3][0], m.m[3][1], m.m[3][2]};
    Vec3 velocity;
    if (withVelocity) {
        velocity.x = static_cast<f32>(GetBattleRandom().GetRand() / 4294967296.0 * 0.1 - 0.05);
        velocity.y = 0.05f;
        velocity.z = static_cast<f32>(GetBattleRandom().GetRand() / 4294967296.0 * 0.1 - 0.05);
    }
    const i32 life = static_cast<i32>(GetBattleRandom().GetRand() % 601) + 6000;
    DropBattleItem(robot, kind, at, velocity, life, value);
}

// The arcade story's difficulty (0..2) while one runs, else -1.
f32 StoryDifficulty() { return static_cast<f32>(CRobot_Normal::storyDifficulty); }

}  // namespace

void AppendWholeCharacters(char* text, size_t capacity, const char* suffix)
{
    if (capacity == 0) return;
    text[capacity - 1] = '\0';
    size_t length = std::strlen(text);
    for (const char* s = suffix; *s && length + 1 < capacity; ++s) text[length++] = *s;
    text[length] = '\0';
    // Never leave half a character at the end.
    size_t end = length;
    while (end > 0 && (static_cast<u8>(text[end - 1]) & 0xC0) == 0x80) --end;
    if (end > 0) {
        const u8 lead = static_cast<u8>(text[end - 1]);
        const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (length - (end - 1) < need) text[end - 1] = '\0';
    }
}

i32 CRobot_Normal::DefeatProc_Respawn(CRobot_Normal* robot)
{
    return Replaced(StandardReplace(robot, robot->restBody, robot->spawnHpScale, 0));
}

i32 CRobot_Normal::DefeatProc_RandomOpponent(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    if (!scene || !WaitPreloadedType(scene)) return 0;
    CRobot_Normal* next = Replace(robot, scene->nextRandomType, robot->spawnColorSet, robot->spawnHpScale, kCopyLevel);
    if (!next) return 0;
    next->pilotIndex = robot->pilotIndex;
    PlayRebirthVoice(robot);
    PreloadNextRandomType(scene);
    return 2;
}

i32 CRobot_Normal::DefeatProc_SurvivalNextOpponent(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    if (!scene || !WaitPreloadedType(scene)) return 0;
    const i32 colorSet = static_cast<i32>(GetBattleRandom().GetRand() % 4);
    CRobot_Normal* next = Replace(robot, scene->nextRandomType, colorSet, robot->spawnHpScale, 0);
    if (!next) return 0;
    cMTRand& menu = GetApplication()->random;
    PilotRegistry* pilots = GetPilotRegistry();
    if (menu.GetRand() % 1000 < 500 && pilots && pilots->count > 0) {
        const i32 i = static_cast<i32>((menu.GetRand() % (static_cast<u32>(pilots->count) * 100)) / 100);
        if (i < MaxPilots) {
            if (pilots->slots[i].name[0] == '\0') pilots->LoadPilot(i);
            if (pilots->slots[i].name[0] != '\0') {
                next->pilotIndex = i;
                std::snprintf(next->displayName, sizeof next->displayName, "%s", pilots->slots[i].name);
            }
        }
    }
    next->aiLevel = ClampLevel(robot->aiLevel + 1);
    char level[16];
    std::snprintf(level, sizeof level, ":Lv%d", next->aiLevel);
    AppendWholeCharacters(next->displayName, sizeof next->displayName, level);
    PreloadNextRandomType(scene);
    return 2;
}

i32 CRobot_Normal::DefeatProc_NextBody(CRobot_Normal* robot)
{
    if (robot->restBody < 1) return 0;
    return Replaced(StandardReplace(robot, robot->restBody - 1, robot->spawnHpScale, 0));
}

i32 CRobot_Normal::DefeatProc_NextBodyImmune(CRobot_Normal* robot)
{
    if (robot->restBody < 1) return 0;
    return Replaced(StandardReplace(robot, robot->restBody - 1, robot->spawnHpScale, 60));
}

i32 CRobot_Normal::DefeatProc_TeamCostRespawn(CRobot_Normal* robot)
{
    CRobot_Normal* next = nullptr;
    const i32 result = TeamCostReplace(robot, 0, &next);
    return result < 0 ? 0 : result;
}

i32 CRobot_Normal::DefeatProc_NetNextBody(CRobot_Normal* robot)
{
    if (robot->restBody >= 1) return Replaced(StandardReplace(robot, robot->restBody - 1, robot->spawnHpScale, 60));
    NetOut(robot);
    return 0;
}

i32 CRobot_Normal::DefeatProc_NetRespawn(CRobot_Normal* robot)
{
    return Replaced(StandardReplace(robot, robot->restBody, robot->spawnHpScale, 60));
}

i32 CRobot_Normal::DefeatProc_NetTeamCostRespawn(CRobot_Normal* robot)
{
    CRobot_Normal* next = nullptr;
    const i32 result = TeamCostReplace(robot, 60, &next);
    if (result < 0) {
        NetOut(robot);
        return 0;
    }
    if (next) next->tacticalRules = robot->tacticalRules;
    return result;
}

i32 CRobot_Normal::DefeatProc_TeamRestCount(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    const i32 team = CheckedTeam(robot);
    if (scene && team >= 0) scene->teamUnits[team] = static_cast<u32>(static_cast<i32>(scene->teamUnits[team]) - 1);
    return 0;
}

i32 CRobot_Normal::DefeatProc_RandomStartPoint(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    if (!scene) return 0;
    const Mat4 at = scene->battleMap.PickRandomStartPoint();
    for (i32 i = 0; i < 3; ++i) robot->spawnPos[i] = at.m[3][i];
    return 0;
}

i32 CRobot_Normal::PlaceAtRandomPoint(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    if (!scene) return 0;
    const Mat4 at = scene->battleMap.PickRandomStartPoint();
    for (i32 i = 0; i < 3; ++i) {
        robot->spawnPos[i] = at.m[3][i];
        robot->worldMatrix.m[3][i] = at.m[3][i];
    }
    robot->prevWorldMatrix = robot->worldMatrix;
    return 0;
}

i32 CRobot_Normal::DefeatProc_DropSpawnToGround(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    if (!scene) return 0;
    const Vec3 from{robot->spawnPos[0], robot->spawnPos[1] + 1.0f, robot->spawnPos[2]};
    const Vec3 to{from.x, from.y - 100000.0f, from.z};
    f32 distance = 0.0f;
    if (scene->HitTestMapSegment(&from, &to, &distance, nullptr)) robot->spawnPos[1] = from.y - distance;
    return 0;
}

i32 CRobot_Normal::DefeatProc_DropSummonItem(CRobot_Normal* robot)
{
    const Mat4& m = robot->frameBodyD ? robot->frameBodyD->world : robot->worldMatrix;
    const Vec3 at{m.m[3][0], m.m[3][1], m.m[3][2]};
    const i32 life = static_cast<i32>(GetBattleRandom().GetRand() % 601) + 6000;
    DropBattleItem(robot, kItemSummon, at, Vec3{}, life, 0.0f);
    robot->ForgetInRobotTable();
    return 2;
}

i32 CRobot_Normal::DestroyProc_TeamCostPenalty(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    const i32 team = CheckedTeam(robot);
    if (scene && team >= 0)
        scene->teamCosts[team] = static_cast<u32>(static_cast<i32>(scene->teamCosts[team]) - BodyCost(robot));
    return 0;
}

i32 CRobot_Normal::DestroyProc_NetTeamCostPenalty(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    const i32 team = CheckedTeam(robot);
    const i32 cost = ComputerCost(robot, static_cast<i32>(static_cast<f32>(5 - robot->restBody) * 0.5f + 0.5f) * 100);
    if (scene && team >= 0) scene->teamCosts[team] = static_cast<u32>(static_cast<i32>(scene->teamCosts[team]) - cost);
    return 0;
}

i32 CRobot_Normal::DestroyProc_DropPartsChance(CRobot_Normal* robot)
{
    robot->aiLevel = ClampLevel(robot->aiLevel);
    const u32 roll = GetBattleRandom().GetRand() % static_cast<u32>((11 - robot->aiLevel) * 50);
    if (roll > 80) return 0;
    const f32 difficulty = StoryDifficulty();
    DropItem(robot, kItemParts, true, difficulty < 0.0f ? 1.0f : 2.0f * difficulty);
    return 0;
}

i32 CRobot_Normal::DestroyProc_DropParts(CRobot_Normal* robot)
{
    const f32 difficulty = StoryDifficulty();
    DropItem(robot, kItemParts2, true, difficulty < 0.0f ? 1.0f : 50.0f * difficulty);
    return 0;
}

i32 CRobot_Normal::FrameProc_RegenerateHp(CRobot_Normal* robot)
{
    CGameScene* scene = Scene();
    const u32 frame = scene ? scene->frameCount : 0;
    if (robot->hp < robot->regenLastHp) robot->regenDelay = 300;
    if (robot->regenDelay < 1) {
        if (frame % 3 == 0 && robot->hp < robot->hpMax) ++robot->hp;
    } else {
        --robot->regenDelay;
    }
    robot->regenLastHp = robot->hp;
    return 0;
}
