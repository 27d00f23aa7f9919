#include "frontend/arcade/Story.h"

#include <cstdio>
#include <cstring>

#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/player/PartInventory.h"
#include "app/player/PilotRegistry.h"
#include "battle/GameScene.h"
#include "battle/hud/TimeDisplay.h"
#include "frontend/arcade/ArcadeJudge.h"
#include "platform/core/TextCodec.h"
#include "robot/Robot.h"

namespace {

constexpr i16 N = -1;                  // no pilot
constexpr i16 R = kStoryRandomPilot;   // a random pilot

StoryRobot E(i16 type, i8 colour, i8 base, i16 pilot, u8 noBodies = 0, u8 normalAndHard = 0)
{
    return {type, colour, base, pilot, noBodies, normalAndHard};
}
StoryRobot NH(i16 type, i8 colour, i8 base, i16 pilot) { return E(type, colour, base, pilot, 0, 1); }
StoryRobot A(i16 type, i8 level, i16 pilot, u8 noBodies = 0) { return {type, 0, level, pilot, noBodies, 0}; }

constexpr StoryBossRoll kBonus{StoryBoss::Bonus, 10};
// The fifth story opens with a Sentinel alone, whose fireballs and magic
// circles outhit the first robot's beams: at the usual rate a plain player
// beat it only about 40 % of the time on Easy, at this rate about 80 %.
constexpr f32 kSentinelEasyHpRate = 0.2f;
constexpr u8 kBodies = 0, kCost = 1;

struct BossLook {
    i32 type;
    f32 hpRate;
    i32 colour;
    i32 level;
    i32 drops;
    bool always;  // drops every time rather than by chance
    const char* name;
};

const BossLook& LookOf(StoryBoss boss)
{
    static const BossLook kLooks[] = {
        {1, 1.0f, 6, 1, 14, false, "超级 Goldfinch"},
        {8, 2.0f, 8, 10, 2, true, "超级 Bastion"},
        {10, 2.0f, 9, 10, 2, true, "超级 Tempest"},
        {12, 2.0f, 6, 10, 3, true, "超级 Warden"},
        {20, 2.0f, 9, 10, 3, true, "超级 Leviathan"},
        {21, 2.0f, 7, 10, 3, true, "超级 Nightjar"},
    };
    const u32 i = static_cast<u32>(boss) == 0 ? 0 : static_cast<u32>(boss) - 1;
    return kLooks[i < std::size(kLooks) ? i : 0];
}

bool TypeInstalled(i32 type)
{
    const CApplication& app = *GetApplication();
    return type >= 0 && static_cast<u32>(type) < app.robotFolders.count && type < kRobotTypeCount;
}

// A story robot whose folder is not installed is left out and named on
// the battle's notice line (the battle is not stopped for a box).
void ReportMissingType(CGameScene* scene, i32 type)
{
    char line[96];
    std::snprintf(line, sizeof line, "Robot type %d is not installed.", type);
    std::snprintf(scene->notice, sizeof scene->notice, "%s", line);
}

void AppendReward(char (&text)[1024], const char* line) { AppendWholeCharacters(text, sizeof text, line); }

// The level and pilot steps both set-ups share. A random pilot without any
// pilot folder is none rather than a division by zero.
void LevelAndPilot(CRobot_Normal* robot, i32 level, i32 pilot)
{
    // The computer player and the drop roll divide by 11 - level.
    robot->aiLevel = level < 0 ? 0 : level > 10 ? 10 : level;
    PilotRegistry& pilots = *GetPilotRegistry();
    i32 index = pilot;
    if (pilot == kStoryRandomPilot)
        index = pilots.count > 0 ? static_cast<i32>(GetApplication()->random.GetRand() % static_cast<u32>(pilots.count))
                                 : -1;
    if (index < 0 || index >= pilots.count || index >= MaxPilots) return;
    PilotSlot& slot = pilots.slots[index];
    if (slot.name[0] == '\0') pilots.LoadPilot(index);
    plat::Utf8CopyTruncated(robot->displayName, sizeof robot->displayName, slot.name);
    robot->pilotIndex = index;
}

}  // namespace

const char* const kStoryFinalTitle = "-最 后 关 卡 -";

std::string StoryStageTitle(i32 number) { return "- 关 卡 " + std::to_string(number) + " -"; }

i32 StoryLevelOffset(i32 difficulty)
{
    if (difficulty <= 0) return -5;
    if (difficulty == 1) return -3;
    return 0;
}

std::vector<StoryOrder> StageRoster(const StoryStage& stage, i32 difficulty, bool twoPlayers, cMTRand& random)
{
    bool rolled[4] = {};
    bool anyBoss = false;
    for (size_t i = 0; i < stage.bosses.size() && i < 4; ++i) {
        rolled[i] = random.GetRand() % stage.bosses[i].oneIn == 0;
        anyBoss = anyBoss || rolled[i];
    }
    std::vector<StoryOrder> out;
    const i32 offset = StoryLevelOffset(difficulty);
    const bool replaced = stage.bossReplaces && anyBoss;
    for (const StoryRobot& enemy : stage.enemies) {
        if (enemy.normalAndHard && difficulty < 1) continue;
        if (replaced) break;
        StoryRobot r = enemy;
        r.level = static_cast<i8>(enemy.level + offset);
        out.push_back({StoryOrder::Enemy, r, StoryBoss::None});
    }
    for (size_t i = 0; i < stage.bosses.size() && i < 4; ++i)
        if (rolled[i]) out.push_back({StoryOrder::Boss, StoryRobot{}, stage.bosses[i].boss});
    if (!twoPlayers)
        for (const StoryRobot& ally : stage.allies) out.push_back({StoryOrder::Ally, ally, StoryBoss::None});
    return out;
}

// ---- the story object --------------------------------------------------------------

CStoryBase::CStoryBase() = default;
// The robots' part drops read the difficulty only while a story runs.
CStoryBase::~CStoryBase() { CRobot_Normal::storyDifficulty = -1; }

void CStoryBase::NextStageFromTable()
{
    ++stage;
    const std::vector<StoryStage>& stages = Stages();
    if (stage < 1 || stage > static_cast<i32>(stages.size())) {
        stage = kStoryCleared;
        return;
    }
    const StoryStage& s = stages[static_cast<size_t>(stage - 1)];
    if (s.hardOnly && difficulty != 2) {
        stage = kStoryCleared;
        return;
    }
    CApplication& app = *GetApplication();
    app.gameSettings.stage = static_cast<u32>(s.map);
    battleKind = s.battleKind;
    const bool nextHardOnly = stage < static_cast<i32>(stages.size()) && stages[static_cast<size_t>(stage)].hardOnly;
    const bool last = stage == static_cast<i32>(stages.size());
    if (s.hardOnly || last || (nextHardOnly && difficulty != 2)) title = kStoryFinalTitle;
    else title = StoryStageTitle(stage);
}

void CStoryBase::SetupStoryRobot(CRobot_Normal* robot, i32 level, i32 pilot, i32 drops)
{
    if (!robot) return;
    robot->DefeatProcList.push_back(&CRobot_Normal::DefeatProc_NextBody);
    for (i32 i = 0; i < drops; ++i) robot->DestroyProcList.push_back(&CRobot_Normal::DestroyProc_DropPartsChance);
    LevelAndPilot(robot, level, pilot);
}

void CStoryBase::SetupTeamRobot(CRobot_Normal* robot, i32 level, i32 pilot, i32 drops)
{
    if (!robot) return;
    robot->DefeatProcList.push_back(&CRobot_Normal::DefeatProc_TeamCostRespawn);
    robot->DestroyProcList.push_back(&CRobot_Normal::DestroyProc_TeamCostPenalty);
    for (i32 i = 0; i < drops; ++i) robot->DestroyProcList.push_back(&CRobot_Normal::DestroyProc_DropPartsChance);
    if (scene_ && robot->team >= 0 && robot->team < static_cast<i32>(scene_->teamUnits.GetCount()))
        ++scene_->teamUnits[robot->team];
    LevelAndPilot(robot, level, pilot);
}

CRobot_Normal* CStoryBase::SpawnBoss(StoryBoss boss)
{
    if (!scene_ || boss == StoryBoss::None) return nullptr;
    const BossLook& look = LookOf(boss);
    if (!TypeInstalled(look.type)) {
        ReportMissingType(scene_, look.type);
        return nullptr;
    }
    CRobot_Normal* robot =
        scene_->SpawnRobotAtTeamStart(look.type, look.hpRate, 1, kControlComputer, look.colour, nullptr);
    if (!robot) return nullptr;
    robot->DefeatProcList.push_back(&CRobot_Normal::DefeatProc_NextBody);
    for (i32 i = 0; i < look.drops; ++i)
        robot->DestroyProcList.push_back(look.always ? &CRobot_Normal::DestroyProc_DropParts
                                                     : &CRobot_Normal::DestroyProc_DropPartsChance);
    plat::Utf8CopyTruncated(robot->displayName, sizeof robot->displayName, look.name);
    robot->aiLevel = look.level;
    robot->pilotIndex = -1;
    robot->restBody = 0;
    return robot;
}

CRobot_Normal* CStoryBase::SpawnBonusBoss() { return SpawnBoss(StoryBoss::Bonus); }
CRobot_Normal* CStoryBase::SpawnBossType8() { return SpawnBoss(StoryBoss::Type8); }
CRobot_Normal* CStoryBase::SpawnBossType10() { return SpawnBoss(StoryBoss::Type10); }
CRobot_Normal* CStoryBase::SpawnBossType12() { return SpawnBoss(StoryBoss::Type12); }
CRobot_Normal* CStoryBase::SpawnBossType20() { return SpawnBoss(StoryBoss::Type20); }
CRobot_Normal* CStoryBase::SpawnBossType21() { return SpawnBoss(StoryBoss::Type21); }

void CStoryBase::SetupBattleFromTable(CGameScene* scene)
{
    const std::vector<StoryStage>& stages = Stages();
    if (!scene || stage < 1 || stage > static_cast<i32>(stages.size())) return;
    scene_ = scene;
    CApplication& app = *GetApplication();
    CRobot_Normal::storyDifficulty = difficulty;
    const StoryStage& table = stages[static_cast<size_t>(stage - 1)];
    const bool cost = battleKind == 1;
    const u32 teamCost = static_cast<u32>(app.gameSettings.costLimit);
    auto setUp = [&](CRobot_Normal* robot, i32 level, i32 pilot, i32 drops) {
        if (cost) SetupTeamRobot(robot, level, pilot, drops);
        else SetupStoryRobot(robot, level, pilot, drops);
    };

    // Player 1's fitted parts go to player 2 as well.
    CGameItemBase* parts[10] = {};
    const i32 playerType = app.players[0].robot;
    if (playerType >= 0 && playerType < static_cast<i32>(RobotRecordCount))
        for (i32 i = 0; i < 10; ++i)
            parts[i] = app.partInventory.FindPart(app.partInventory.robots[playerType].partIds[i]);

    if (cost) {
        scene->teamCosts[0] = teamCost;
        scene->teamsPresent[0] = 1;
    }
    const bool twoPlayers = app.players[1].slotState == 1;
    for (i32 p = 0; p < (twoPlayers ? 2 : 1); ++p) {
        PlayerEntry& entry = app.players[p];
        if (!TypeInstalled(entry.robot)) {
            ReportMissingType(scene, entry.robot);
            continue;
        }
        CRobot_Normal* robot =
            scene->SpawnRobotAtTeamStart(entry.robot, kStoryHpRate, entry.team, kControlLocal, entry.colorSet, parts);
        if (!robot) continue;
        setUp(robot, 0, entry.pilot, 0);
        robot->score = entry.arcadeScore;
        robot->padNumber = static_cast<i8>(p);
        scene->robotTable[p] = robot;
    }

    if (cost) {
        scene->teamCosts[1] = teamCost;
        scene->teamsPresent[1] = 1;
    }
    i32 enemySlot = 4, allySlot = 1;
    for (const StoryOrder& order : StageRoster(table, difficulty, twoPlayers, GetBattleRandom())) {
        CRobot_Normal* robot = nullptr;
        if (order.role == StoryOrder::Boss) {
            robot = SpawnBoss(order.boss);
        } else if (!TypeInstalled(order.robot.type)) {
            ReportMissingType(scene, order.robot.type);
        } else if (order.role == StoryOrder::Enemy) {
            const f32 hpRate = difficulty <= 0 ? table.easyEnemyHpRate : kStoryHpRate;
            robot = scene->SpawnRobotAtTeamStart(order.robot.type, hpRate, 1, kControlComputer, order.robot.colour,
                                                 nullptr);
            setUp(robot, order.robot.level, order.robot.pilot, 1);
        } else {
            robot = scene->SpawnRobotAtTeamStart(order.robot.type, kStoryHpRate, 0, kControlComputer, 0, nullptr);
            setUp(robot, order.robot.level, order.robot.pilot, 0);
        }
        if (!robot) continue;
        if (order.robot.noBodies) robot->restBody = 0;
        i32& slot = order.role == StoryOrder::Ally ? allySlot : enemySlot;
        if (slot < scene->robotTable.GetCount() && (order.role != StoryOrder::Ally || slot < 4))
            scene->robotTable[slot++] = robot;
    }

    if (!cost) scene->battleTime = 0;
    if (auto* judge = GMTCB_Judge_NormalBattleMode::Create(&scene->tasks, 1)) judge->scene = scene;
    GMTCB_Proc_TimeAdd::Create(&scene->tasks, 1);
    if (cost) {
        GMTCB_DrawSP_GameTimeDisp::Create(&scene->tasks, 100);
        GMTCB_DrawSP_TeamCostDisp::Create(&scene->tasks, 100);
    } else {
        GMTCB_DrawSP_PlayerRestDisp::Create(&scene->tasks, 100);
        GMTCB_DrawSP_GameTimeDisp::Create(&scene->tasks, 100);
    }
    scene_ = nullptr;
}

void CStoryBase::GiveClearReward()
{
    CApplication& app = *GetApplication();
    PartInventory& inventory = app.partInventory;
    std::memset(rewardText, 0, sizeof rewardText);
    const i32 count = difficulty <= 0 ? 2 : difficulty == 1 ? 5 : 10;
    for (i32 i = 0; i < count; ++i) {
        CGameItem_PowerUp* part = inventory.AddNewPart();
        if (!part) {
            AppendReward(rewardText, "无法获得更多的装备                ");
            break;
        }
        part->Randomize(static_cast<f32>(difficulty) * 2.0f);
        char line[96];
        std::snprintf(line, sizeof line, "Get Item:%s\n", part->name);
        AppendReward(rewardText, line);
    }
    const i32 type = app.players[0].robot;
    if (type >= 0 && static_cast<u32>(type) < StageFlagCount) inventory.stageFlags[type] = 1;
    unlockedRobot = inventory.GrantStageReward();
}

// ---- the five stories --------------------------------------------------------------

const std::vector<StoryStage>& CStory01::Stages() const
{
    static const std::vector<StoryStage> k = {
        {0, kBodies, 0, {E(1, 1, 7, N, 1)}, {kBonus}, 1, {}},
        {1, kBodies, 0, {E(4, 1, 7, N, 1), E(5, 1, 7, N, 1)}, {}, 0, {A(3, 4, N, 1)}},
        {2, kCost, 0, {E(4, 1, 8, N), E(7, 1, 10, R)}, {kBonus}, 0, {A(3, 5, N)}},
        {3, kCost, 0, {E(10, 1, 10, R), E(9, 1, 10, N)}, {{StoryBoss::Type8, 20}}, 0, {A(15, 6, N)}},
        {5, kBodies, 0, {E(11, 1, 10, R), E(12, 1, 10, R), NH(2, 1, 8, N)}, {}, 0, {A(9, 7, N)}},
        {5, kBodies, 1, {E(13, 0, 10, R), E(14, 0, 10, N), E(15, 0, 10, N), E(16, 0, 10, R)}, {kBonus}, 0,
         {A(4, 10, N)}},
    };
    return k;
}

const std::vector<StoryStage>& CStory02::Stages() const
{
    static const std::vector<StoryStage> k = {
        {1, kCost, 0, {E(1, 1, 7, N), E(2, 1, 7, N)}, {kBonus}, 0, {A(13, 4, N)}},
        {0, kBodies, 0, {E(4, 1, 8, R, 1), E(5, 1, 8, R)}, {{StoryBoss::Type12, 20}}, 0, {A(13, 4, R, 1)}},
        {3, kCost, 0, {E(7, 0, 9, R), E(7, 1, 9, R), NH(7, 2, 9, R)}, {kBonus}, 0, {A(13, 6, R)}},
        {2, kBodies, 0, {E(6, 1, 10, R), E(6, 2, 10, R), NH(6, 3, 10, R)}, {}, 0, {A(15, 5, R)}},
        {5, kBodies, 1, {E(11, 1, 10, R), E(10, 1, 10, R), E(9, 1, 10, R)}, {kBonus}, 0, {A(16, 7, R)}},
    };
    return k;
}

const std::vector<StoryStage>& CStory03::Stages() const
{
    static const std::vector<StoryStage> k = {
        {5, kCost, 0, {E(3, 1, 7, N), E(3, 1, 7, N)}, {kBonus, {StoryBoss::Type10, 20}}, 0, {A(13, 4, N)}},
        {3, kCost, 0, {E(13, 1, 8, R), E(16, 1, 8, R)}, {}, 0, {A(13, 4, R)}},
        {1, kCost, 0, {E(14, 0, 9, R), E(14, 1, 9, R), NH(14, 2, 9, R)}, {kBonus}, 0, {A(8, 6, R)}},
        {1, kCost, 0, {E(15, 1, 10, R), E(15, 2, 10, R), NH(15, 3, 10, R)}, {}, 0, {A(8, 10, R)}},
        {0, kCost, 1, {E(0, 1, 7, R), E(0, 1, 7, R), E(0, 1, 7, R), E(0, 1, 7, R), E(0, 1, 7, R)}, {kBonus}, 0,
         {A(16, 8, R)}},
    };
    return k;
}

const std::vector<StoryStage>& CStory04::Stages() const
{
    static const std::vector<StoryStage> k = {
        {3, kBodies, 0, {E(4, 1, 7, N, 1)}, {kBonus}, 1, {}},
        {6, kBodies, 0, {E(4, 1, 7, N, 1), E(17, 1, 7, N)}, {}, 0, {A(15, 4, N, 1)}},
        {7, kCost, 0, {E(18, 1, 10, N), E(17, 1, 8, R)}, {kBonus}, 0, {A(21, 5, N)}},
        {2, kCost, 0, {E(18, 1, 10, R), E(19, 1, 10, N), NH(6, 1, 8, N)}, {{StoryBoss::Type8, 20}}, 0,
         {A(21, 6, N)}},
        {1, kBodies, 0, {E(10, 1, 10, R), E(19, 1, 10, R), E(2, 1, 10, R), NH(8, 1, 8, N)}, {}, 0, {A(21, 7, N)}},
        {5, kBodies, 1, {E(17, 0, 10, R), E(2, 0, 10, N), E(19, 0, 10, N), E(18, 0, 10, R)}, {kBonus}, 0,
         {A(21, 10, N)}},
    };
    return k;
}

const std::vector<StoryStage>& CStory05::Stages() const
{
    static const std::vector<StoryStage> k = {
        {6, kBodies, 0, {E(13, 1, 7, N, 1)}, {kBonus}, 1, {}, kSentinelEasyHpRate},
        {5, kBodies, 0, {E(13, 1, 7, N, 1), E(14, 1, 7, N)}, {}, 0, {A(8, 4, N, 1)}},
        {1, kCost, 0, {E(15, 1, 10, N), E(16, 1, 8, R)}, {kBonus}, 0, {A(3, 5, N)}},
        {0, kCost, 0, {E(20, 8, 10, R), E(14, 1, 10, N), E(15, 1, 10, N)}, {{StoryBoss::Type21, 20}}, 0,
         {A(17, 6, N)}},
        {8, kBodies, 0, {E(13, 1, 10, R), E(16, 1, 10, R), E(21, 1, 10, R), NH(20, 8, 8, N)},
         {{StoryBoss::Type20, 20}}, 0, {A(17, 7, N)}},
        {8, kBodies, 1, {E(13, 0, 10, R), E(20, 0, 10, N), E(21, 0, 10, N), E(16, 0, 10, R), E(14, 0, 10, R)},
         {kBonus}, 0, {A(18, 10, N), A(19, 10, N), A(17, 10, N)}},
    };
    return k;
}

const std::vector<StoryStage>& CStoryScripted::Stages() const
{
    static const std::vector<StoryStage> k = {
        {0, kBodies, 0, {E(1, 1, 7, N, 1)}, {}, 0, {}},
        {1, kBodies, 0, {E(4, 1, 7, N, 1)}, {}, 0, {}},
    };
    return k;
}

CStoryBase* NewStory(u32 index)
{
    switch (index) {
    case 0: return new CStory01();
    case 1: return new CStory02();
    case 2: return new CStory03();
    case 3: return new CStory04();
    case 4: return new CStory05();
    default: return nullptr;
    }
}

CStoryBase* NewStoryOrTestStory(u32 index)
{
    const i32 forced = GetTestSwitches().story;
    if (forced == kStoryCount) return new CStoryScripted();
    return NewStory(forced >= 0 ? static_cast<u32>(forced) : index);
}

std::vector<std::string> MissingStoryFolders(const CStoryBase& story, u32 robotFolders, u32 stageFolders)
{
    std::vector<std::string> out;
    auto type = [&](i32 t) {
        if (t >= 0 && static_cast<u32>(t) < robotFolders) return;
        const std::string line = "robot type " + std::to_string(t);
        for (const std::string& seen : out)
            if (seen == line) return;
        out.push_back(line);
    };
    for (const StoryStage& s : story.Stages()) {
        if (s.map < 0 || static_cast<u32>(s.map) >= stageFolders) {
            const std::string line = "stage map " + std::to_string(s.map);
            bool seen = false;
            for (const std::string& l : out) seen = seen || l == line;
            if (!seen) out.push_back(line);
        }
        for (const StoryRobot& r : s.enemies) type(r.type);
        for (const StoryRobot& r : s.allies) type(r.type);
        for (const StoryBossRoll& b : s.bosses) type(LookOf(b.boss).type);
    }
    return out;
}
