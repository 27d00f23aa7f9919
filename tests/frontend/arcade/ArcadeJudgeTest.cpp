// Arcade stages on real battles: the story places the players (player 2
// with player 1's parts, no allies then), the judge's win waits 300 frames
// and the complete picture leaves by itself for the interlude screen; a loss
// offers the continue (ignored for 61 frames), which halves the score and
// repeats the stage, or the ranking entry, list and title.
#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "app/player/PartInventory.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/hud/OverlayTasks.h"
#include "frontend/arcade/ArcadeJudge.h"
#include "frontend/arcade/NormalBattleScene.h"
#include "frontend/arcade/Story.h"
#include "app/scene/RankingInput.h"
#include "app/scene/RankingList.h"
#include "platform/input/Keyboard.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"
#include "support/SaveFolderFixture.h"

namespace {

template <class T>
T* FindTask(CList<TCB>& list)
{
    for (TCB* t = list.GetHead()->next; t && t != list.GetTail(); t = t->next)
        if (auto* found = dynamic_cast<T*>(t)) return found;
    return nullptr;
}

void PressEnter(GMTCB_Judge_NormalBattleMode* judge, i32* result)
{
    CApplication& app = *GetApplication();
    app.input.keyTable[plat::vk::Return] = 0x80;
    *result = judge->Proc();
    app.input.keyTable[plat::vk::Return] = 0;
    app.IsKeyRepeat(plat::vk::Return, 0);
}

// Deletes whatever scene a judge switched to.
void DropScene()
{
    CApplication& app = *GetApplication();
    BaseScene* scene = app.currentScene;
    app.currentScene = nullptr;
    delete scene;
}

// A battle of the story's stage in hand with one or two players.
BattleRunnerOptions StageOptions(bool twoPlayers)
{
    BattleRunnerOptions o;
    o.mode = GameMode::Arcade;
    o.stage = GetApplication()->gameSettings.stage;
    o.slotState[0] = 1;
    o.robot[0] = 0;
    o.team[0] = 0;
    o.slotState[1] = twoPlayers ? 1 : 0;
    o.robot[1] = 2;
    o.team[1] = 0;
    return o;
}

struct StoryScope {
    CStoryBase* story;
    explicit StoryScope(CStoryBase* s) : story(s)
    {
        GetApplication()->currentStory = s;
        BattleHooks hooks = GetBattleHooks();
        hooks.setupArcadeStage = [](CGameScene* scene) { GetApplication()->currentStory->SetupBattle(scene); };
        RegisterBattleHooks(hooks);
    }
    ~StoryScope()
    {
        CApplication& app = *GetApplication();
        delete app.currentStory;
        app.currentStory = nullptr;
        BattleHooks hooks = GetBattleHooks();
        hooks.setupArcadeStage = nullptr;
        RegisterBattleHooks(hooks);
    }
};

// The arcade screen saves the parts when it goes: into a folder of the test's own.
class ArcadeJudgeTest : public SaveFolderTest {};

}  // namespace

TEST_F(ArcadeJudgeTest, SecondPlayerTakesPlayerOnesPartsAndTheAlliesPlace)
{
    CApplication& app = *GetApplication();
    app.partInventory.Reset();
    CGameItem_PowerUp* part = app.partInventory.AddNewPart();
    ASSERT_NE(part, nullptr);
    app.partInventory.robots[0].partIds[0] = static_cast<i32>(part->partId);
    StoryScope scope(new CStory01());
    scope.story->difficulty = 1;
    scope.story->NextStage();
    scope.story->NextStage();  // stage 2: two enemies and an ally
    {
        BattleRunner runner(StageOptions(true));
        CGameScene& scene = *runner.Scene();
        CRobot_Normal* one = static_cast<CRobot_Normal*>(scene.robotTable[0]);
        CRobot_Normal* two = static_cast<CRobot_Normal*>(scene.robotTable[1]);
        ASSERT_NE(one, nullptr);
        ASSERT_NE(two, nullptr);
        ASSERT_NE(two->Part(0), nullptr);
        ASSERT_NE(one->Part(0), nullptr);
        EXPECT_EQ(two->Part(0)->partId, part->partId);
        EXPECT_EQ(one->Part(0)->partId, part->partId);
        EXPECT_EQ(two->padNumber, 1);
        EXPECT_EQ(scene.robotTable[2], nullptr) << "no ally beside a second player";
        ASSERT_NE(scene.robotTable[4], nullptr);
        EXPECT_EQ(scene.robotTable[4]->team, 1);
        EXPECT_EQ(static_cast<CRobot_Normal*>(scene.robotTable[4])->aiLevel, 4) << "base 7 on Normal";
        EXPECT_EQ(scene.robotTable[4]->restBody, 0) << "b0";
        EXPECT_NE(FindTask<GMTCB_Judge_NormalBattleMode>(scene.tasks), nullptr);
    }
    {
        BattleRunner runner(StageOptions(false));
        CGameScene& scene = *runner.Scene();
        ASSERT_NE(scene.robotTable[1], nullptr);
        EXPECT_EQ(scene.robotTable[1]->team, 0) << "the ally in slot 1";
        EXPECT_EQ(static_cast<CRobot_Normal*>(scene.robotTable[1])->aiLevel, 4);
    }
    app.partInventory.Reset();
}

TEST_F(ArcadeJudgeTest, WinWaitsThenLeavesLossContinuesHalvedOrRanks)
{
    CApplication& app = *GetApplication();
    StoryScope scope(new CStory01());
    CStoryBase& story = *scope.story;
    story.difficulty = 2;
    story.NextStage();
    ASSERT_EQ(story.battleKind, 0);
    {
        BattleRunner runner(StageOptions(false));
        CGameScene& scene = *runner.Scene();
        auto* judge = FindTask<GMTCB_Judge_NormalBattleMode>(scene.tasks);
        ASSERT_NE(judge, nullptr);
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        EXPECT_TRUE(judge->InPhase(&GMTCB_Judge_NormalBattleMode::Phase_Judging));
        for (i32 i = 4; i < 10; ++i)
            if (CRobot_Base* r = scene.robotTable[i]) {
                r->state = kRobotStateNone;
                r->restBody = 0;
            }
        scene.robotTable[0]->score = 777;
        judge->Proc();
        int frames = 0;
        while (!judge->picture && frames < 400) {
            judge->Proc();
            ++frames;
        }
        EXPECT_EQ(frames, 301) << "the win is shown 300 frames after the last enemy";
        EXPECT_EQ(scene.battleEnd, 1u);
        EXPECT_EQ(scene.robotTable[0]->inputEnabled, 0);
        frames = 0;
        while (judge->Proc() == kTaskKeep && frames < 400) ++frames;
        EXPECT_EQ(frames, 239) << "the complete picture leaves by itself";
        EXPECT_NE(GetNormalBattleScene(), nullptr);
        EXPECT_EQ(app.currentScene, static_cast<BaseScene*>(GetNormalBattleScene()));
        EXPECT_EQ(story.stage, 2) << "the interlude screen set up the next stage";
        DropScene();
    }
    EXPECT_EQ(app.players[0].arcadeScore, 777);

    for (const i32 choice : {1, 2}) {
        BattleRunner runner(StageOptions(false));
        CGameScene& scene = *runner.Scene();
        auto* judge = FindTask<GMTCB_Judge_NormalBattleMode>(scene.tasks);
        ASSERT_NE(judge, nullptr);
        CRobot_Base* player = scene.robotTable[0];
        player->score = 1001;
        player->state = kRobotStateDown;
        player->restBody = 0;
        judge->Proc();
        for (int i = 0; i < 10; ++i) judge->Proc();
        EXPECT_EQ(judge->picture, nullptr) << "ten frames before the failed picture";
        judge->Proc();
        ASSERT_NE(judge->picture, nullptr);
        i32 result = 0;
        PressEnter(judge, &result);
        ASSERT_TRUE(judge->InPhase(&GMTCB_Judge_NormalBattleMode::Phase_Continue));
        ASSERT_NE(judge->continueTask, nullptr);
        judge->continueTask->result = choice;
        for (int i = 0; i < 61; ++i) {
            EXPECT_EQ(judge->Proc(), kTaskKeep);
            EXPECT_EQ(judge->continueTask->enabled, 0);
        }
        const i32 stage = story.stage;
        if (choice == 1) {
            EXPECT_EQ(judge->Proc(), kTaskSceneReplaced);
            EXPECT_EQ(app.players[0].arcadeScore, 500);
            EXPECT_EQ(story.stage, stage - 1);
            EXPECT_EQ(story.continues, 1);
            int frames = 0;
            while (judge->Proc() == kTaskKeep && frames < 400) ++frames;
            EXPECT_EQ(frames, 120);
            EXPECT_EQ(story.stage, stage) << "the same stage again";
            DropScene();
            continue;
        }
        EXPECT_EQ(judge->Proc(), kTaskKeep);
        ASSERT_TRUE(judge->InPhase(&GMTCB_Judge_NormalBattleMode::Phase_RankingEntry));
        // The halved score misses the hard table: no entry screen claims a
        // record, the list follows at once.
        EXPECT_EQ(FindTask<TCB_DrawSP_RankingInput>(scene.tasks), nullptr);
        judge->Proc();
        auto* list = FindTask<TCB_RankingList>(scene.tasks);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->title, "[Arcade]\n Hard");
        for (int i = 0; i < 61; ++i) judge->Proc();
        EXPECT_EQ(list->x, 0.0f);
        PressEnter(judge, &result);
        ASSERT_TRUE(judge->InPhase(&GMTCB_Judge_NormalBattleMode::Phase_ToTitle));
        int frames = 0;
        while (judge->Proc() == kTaskKeep && frames < 400) ++frames;
        EXPECT_EQ(frames, 120);
        EXPECT_EQ(app.currentStory, nullptr);
        scope.story = nullptr;
        DropScene();
    }
}
