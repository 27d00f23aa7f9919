// The arcade screen after the last stage: GAME CLEAR hands out the parts and
// unlocks a robot, the name entry puts the run's score in the table of its
// difficulty, the list follows, then the new robot and the title. The
// parts are on disk from the moment they are given, and again on leaving.
#include <gtest/gtest.h>

#include <cstring>

#include "support/RecordingGraphics.h"
#include "support/SaveFolderFixture.h"
#include "support/TaskTestHelpers.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "app/player/PartInventory.h"
#include "app/scene/TitleScene.h"
#include "frontend/arcade/NormalBattleScene.h"
#include "frontend/arcade/Story.h"
#include "app/scene/RankingInput.h"
#include "app/scene/RankingList.h"
#include "platform/core/FileSystem.h"
#include "platform/input/Keyboard.h"

namespace {

u32 gNow = 0;

template <class T>
T* Find(CList<TCB>& list)
{
    for (TCB* t = list.GetHead()->next; t && t != list.GetTail(); t = t->next)
        if (auto* found = dynamic_cast<T*>(t)) return found;
    return nullptr;
}

// The parts file goes to a save folder of the test's own.
class NormalBattleSceneTest : public SaveFolderTest {};

}  // namespace

TEST_F(NormalBattleSceneTest, ClearRewardRankingNewRobotAndTitleWithThePartsSaved)
{
    RecordingGraphics gfx;
    gNow = 5000;
    SetAppClock({[] { return gNow; }, [](u32) {}});
    CApplication& app = *GetApplication();
    FillFolderLists(app);
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", plat::GetCurrentDirectory().c_str());
    app.partInventory.Reset();
    const size_t partsBefore = app.partInventory.parts.size();
    app.players[0].robot = 0;  // clearing with robot 0 unlocks robot 1
    app.players[0].arcadeScore = 41000;
    app.players[1].slotState = 0;
    app.rankingTables[1].SetDefaults();

    // The second story on Normal after its fourth stage: the next is Hard only.
    auto* story = new CStory02();
    story->difficulty = 1;
    story->stage = 4;
    app.currentStory = story;
    CNormalBattleScene* scene = GetNormalBattleScene();
    ASSERT_NE(scene, nullptr);
    app.currentScene = scene;
    NBTCB_Normal* task = Find<NBTCB_Normal>(scene->Tasks());
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(story->stage, kStoryCleared);

    i32 frames = 0;
    auto frame = [&] {
        gNow += 16;
        ++frames;
        return app.currentScene == scene ? static_cast<i32>(scene->Frame()) : -2;
    };
    auto enter = [&] {
        app.input.keyTable[plat::vk::Return] = 0x80;
        const i32 r = frame();
        app.input.keyTable[plat::vk::Return] = 0;
        app.IsKeyRepeat(plat::vk::Return, 0);
        return r;
    };
    frame();
    ASSERT_TRUE(task->phase == &NBTCB_Normal::Phase_Clear);
    EXPECT_EQ(app.partInventory.parts.size() - partsBefore, 5u) << "five parts on Normal";
    EXPECT_NE(std::strstr(task->rewardText, "Get Item:"), nullptr);
    EXPECT_EQ(task->unlockedRobot, 1);
    {
        // On disk as it is given, not only when the run is over.
        PartInventory given;
        ASSERT_EQ(given.Load("vant-D"), 1);
        EXPECT_EQ(given.parts.size(), app.partInventory.parts.size());
        EXPECT_EQ(given.stageFlags[0], 1);
        EXPECT_EQ(given.robots[1].available, 1);
    }

    enter();  // too early: GAME CLEAR holds for 60 frames
    EXPECT_TRUE(task->phase == &NBTCB_Normal::Phase_Clear);
    for (int i = 0; i < 60; ++i) frame();
    enter();
    ASSERT_TRUE(task->phase == &NBTCB_Normal::Phase_RankingEntry);
    EXPECT_EQ(app.rankingTables[1].entries[0].score, 41000) << "the run's score takes the first place";
    for (int i = 0; i < 31; ++i) frame();
    enter();
    ASSERT_TRUE(task->phase == &NBTCB_Normal::Phase_RankingList);
    TCB_RankingList* list = Find<TCB_RankingList>(scene->Tasks());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->title, "[Arcade]\n Normal");
    for (int i = 0; i < 60; ++i) frame();
    EXPECT_EQ(list->x, 0.0f);
    enter();
    ASSERT_TRUE(task->phase == &NBTCB_Normal::Phase_NewRobot) << "a robot was unlocked";
    for (int i = 0; i < 62; ++i) frame();
    EXPECT_EQ(enter(), -1);
    ASSERT_TRUE(task->phase == &NBTCB_Normal::Phase_ToTitle);
    frames = 0;
    while (frame() != -1 && frames < 200) {}
    EXPECT_EQ(frames, 61);
    EXPECT_EQ(app.currentStory, nullptr);
    EXPECT_EQ(SceneInstance<CNormalBattleScene>(), nullptr);

    // The title replaced the screen, whose release saved the parts.
    PartInventory onDisk;
    ASSERT_EQ(onDisk.Load("vant-D"), 1);
    EXPECT_EQ(onDisk.parts.size(), app.partInventory.parts.size());
    EXPECT_EQ(onDisk.stageFlags[0], 1);
    EXPECT_EQ(onDisk.robots[1].available, 1);
    BaseScene* title = app.currentScene;
    app.currentScene = nullptr;
    delete title;
    app.partInventory.Reset();
    SetAppClock({});
}
