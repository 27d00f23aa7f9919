#pragma once
// The arcade mode's stories: a run of four to six battles. A story decides
// stage by stage the map, the rule (remaining bodies or team cost), the
// title shown before the battle and which robots fight, and hands out the
// parts (and perhaps a new robot) when its last stage is cleared.
#include <string>
#include <vector>

#include "platform/core/Types.h"

class CGameScene;
class CRobot_Normal;
class cMTRand;

inline constexpr i32 kStoryCleared = 999;
inline constexpr i32 kStoryRandomPilot = 999;
inline constexpr i32 kStoryMaxStages = 6;
inline constexpr i32 kStoryCount = 5;
// The HP rate of every robot of a stage but the bosses (and an Easy enemy
// given a rate of its own below).
inline constexpr f32 kStoryHpRate = 0.5f;

enum class StoryBoss : u8 { None, Bonus, Type8, Type10, Type12, Type20, Type21 };

// One robot of a stage table: enemies carry their base level (the
// difficulty's offset is added), allies their level as it stands.
struct StoryRobot {
    i16 type;
    i8 colour;
    i8 level;
    i16 pilot;        // -1 none, 999 a random pilot
    u8 noBodies;      // remaining bodies set to 0 after the set-up
    u8 normalAndHard; // left out on Easy
};

struct StoryBossRoll {
    StoryBoss boss;
    u8 oneIn;  // 10 or 20
};

struct StoryStage {
    i8 map;
    u8 battleKind;  // 0 remaining bodies, 1 team cost
    u8 hardOnly;
    std::vector<StoryRobot> enemies;
    std::vector<StoryBossRoll> bosses;  // rolled in this order
    u8 bossReplaces;                    // a rolled boss takes the only enemy's place
    std::vector<StoryRobot> allies;
    // The enemies' HP rate on Easy. A first stage's lone enemy that outguns
    // the first robot offered fights with less, so that a new player clears
    // the first stage whichever story is drawn.
    f32 easyEnemyHpRate = kStoryHpRate;
};

// What the set-up places, in order, once the rolls are made.
struct StoryOrder {
    enum Role : u8 { Enemy, Boss, Ally } role;
    StoryRobot robot;  // level final (offset applied)
    StoryBoss boss = StoryBoss::None;
};

// A stage's robots for a difficulty: the boss rolls are drawn from the
// generator first, in table order; a second human player removes the allies.
std::vector<StoryOrder> StageRoster(const StoryStage& stage, i32 difficulty, bool twoPlayers, cMTRand& random);

// Level offset of the enemies: Easy -5, Normal -3, Hard 0.
i32 StoryLevelOffset(i32 difficulty);

// The stage title texts.
extern const char* const kStoryFinalTitle;
std::string StoryStageTitle(i32 number);

class CStoryBase {
public:
    CStoryBase();
    virtual ~CStoryBase();
    CStoryBase(const CStoryBase&) = delete;
    CStoryBase& operator=(const CStoryBase&) = delete;

    // Advances to the next stage and fills in its map, rule and title;
    // stage becomes 999 past the last stage (or at a Hard-only stage below Hard).
    virtual void NextStage() = 0;
    // Places every robot of the stage in hand and creates the mode tasks.
    virtual void SetupBattle(CGameScene* scene) = 0;
    // The clear reward: parts by difficulty, the clear flag, a new robot.
    virtual void GiveClearReward();

    // The bodies-rule and cost-rule set-up of every robot a story spawns.
    void SetupStoryRobot(CRobot_Normal* robot, i32 level, i32 pilot, i32 drops);
    void SetupTeamRobot(CRobot_Normal* robot, i32 level, i32 pilot, i32 drops);

    CRobot_Normal* SpawnBonusBoss();
    CRobot_Normal* SpawnBossType8();
    CRobot_Normal* SpawnBossType10();
    CRobot_Normal* SpawnBossType12();
    CRobot_Normal* SpawnBossType20();
    CRobot_Normal* SpawnBossType21();

    // The stage table of this story (six entries at most).
    virtual const std::vector<StoryStage>& Stages() const = 0;

    i32 stage = 0;
    i32 continues = 0;
    i32 difficulty = 0;
    i32 battleKind = 0;
    std::string title;
    char rewardText[1024] = {};
    i32 unlockedRobot = -1;

protected:
    // The steps every story shares, driven by its table.
    void NextStageFromTable();
    void SetupBattleFromTable(CGameScene* scene);
    CRobot_Normal* SpawnBoss(StoryBoss boss);

    CGameScene* scene_ = nullptr;  // during SetupBattle only
};

class CStoryBaseAdd : public CStoryBase {};

#define QUILLON_STORY_CLASS(Name)                                               \
    class Name final : public CStoryBaseAdd {                                   \
    public:                                                                     \
        void NextStage() override { NextStageFromTable(); }                     \
        void SetupBattle(CGameScene* scene) override { SetupBattleFromTable(scene); } \
        const std::vector<StoryStage>& Stages() const override;                 \
    };
QUILLON_STORY_CLASS(CStory01)
QUILLON_STORY_CLASS(CStory02)
QUILLON_STORY_CLASS(CStory03)
QUILLON_STORY_CLASS(CStory04)
QUILLON_STORY_CLASS(CStory05)
// Two short stages of one enemy each, for scripted runs (a test switch
// picks it; the title never does).
QUILLON_STORY_CLASS(CStoryScripted)
#undef QUILLON_STORY_CLASS

// Story 0..4 (CStory01..CStory05); null past the end.
CStoryBase* NewStory(u32 index);
// QUILLON_TEST_STORY=0..4 picks that story in place of the title's draw,
// 5 the scripted runs' short one; otherwise NewStory(index).
CStoryBase* NewStoryOrTestStory(u32 index);

// The robot types and maps a story names that the installed folders do not
// hold, as one line each (empty when everything is there).
std::vector<std::string> MissingStoryFolders(const CStoryBase& story, u32 robotFolders, u32 stageFolders);
