#include "app/scene/BaseScene.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/AppClock.h"
#include "app/core/Application.h"

namespace {

std::vector<std::string> gLog;

// A fake clock: tasks advance it to stand for work done in the frame.
u32 gNow = 1000;
std::vector<u32> gSleeps;
u32 FakeNow() { return gNow; }
void FakeSleep(u32 ms)
{
    gSleeps.push_back(ms);
    gNow += ms;
}

class ClockGuard {
public:
    ClockGuard()
    {
        gNow = 1000;
        gSleeps.clear();
        SetAppClock({FakeNow, FakeSleep});
    }
    ~ClockGuard() { SetAppClock({}); }
};

class LoggingTask : public TCB {
public:
    LoggingTask(std::string n, i32 (*proc)() = nullptr, u32 work = 0)
        : name(std::move(n)), procFn(proc), workMs(work) {}
    ~LoggingTask() override { gLog.push_back(name + " deleted"); }
    i32 Proc() override
    {
        gLog.push_back(name + " proc");
        gNow += workMs;
        return procFn ? procFn() : 0;
    }
    void Draw() override { gLog.push_back(name + " draw"); }
    void DrawSP() override { gLog.push_back(name + " sprite"); }

    std::string name;
    i32 (*procFn)();
    u32 workMs;
};

class SceneB;

class SceneA : public MenuScene {
public:
    SceneA() { gLog.push_back("A built"); }
    ~SceneA() override
    {
        gLog.push_back("A release");
        tasks.DeleteAll();
        SceneInstance<SceneA>() = nullptr;
        gLog.push_back("A gone");
    }
    void Init() { gLog.push_back("A init"); }
};

class SceneB : public MenuScene {
public:
    SceneB() { gLog.push_back("B built"); }
    ~SceneB() override
    {
        tasks.DeleteAll();
        SceneInstance<SceneB>() = nullptr;
        gLog.push_back("B gone");
    }
    void Init() { gLog.push_back("B init"); }
};

// Like character selection: hands -1 on after a replacement.
class PassingScene : public MenuScene {
public:
    ~PassingScene() override
    {
        tasks.DeleteAll();
        SceneInstance<PassingScene>() = nullptr;
    }
    void Init() {}

protected:
    bool PassesReplacementOn() const override { return true; }
};

i32 SwitchToB()
{
    SwitchSceneTo<SceneB>();
    return kTaskSceneReplaced;
}

class SceneFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        gLog.clear();
        app.currentScene = nullptr;
        app.closeRequest = 0;
        app.quit = 0;
    }
    void TearDown() override
    {
        delete app.currentScene;
        app.currentScene = nullptr;
        app.quit = 0;
        app.closeRequest = 0;
    }
    CApplication& app = *GetApplication();
    ClockGuard clock;
};

TEST_F(SceneFixture, SwitchDeletesTheOldSceneBeforeTheNewOneIsSetUp)
{
    SwitchSceneTo<SceneA>();
    ASSERT_EQ(app.currentScene, SceneInstance<SceneA>());
    gLog.clear();
    SwitchSceneTo<SceneB>();
    const std::vector<std::string> expected = {"A release", "A gone", "B built", "B init"};
    EXPECT_EQ(gLog, expected);
    EXPECT_EQ(SceneInstance<SceneA>(), nullptr);
    EXPECT_EQ(app.currentScene, SceneInstance<SceneB>());
}

TEST_F(SceneFixture, SwitchingToTheCurrentClassBuildsAFreshScene)
{
    SwitchSceneTo<SceneA>();
    gLog.clear();
    SwitchSceneTo<SceneA>();
    const std::vector<std::string> expected = {"A release", "A gone", "A built", "A init"};
    EXPECT_EQ(gLog, expected);
    EXPECT_NE(SceneInstance<SceneA>(), nullptr);
    EXPECT_EQ(app.currentScene, SceneInstance<SceneA>());
}

TEST_F(SceneFixture, GetterBuildsAndSetsUpOnlyOnce)
{
    SceneA* first = GetSceneInstance<SceneA>();
    SceneA* again = GetSceneInstance<SceneA>();
    EXPECT_EQ(first, again);
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "A init"), 1);
    app.currentScene = first;
}

TEST_F(SceneFixture, ATaskThatReplacesTheSceneStopsTheWalkAndAllDrawing)
{
    SceneA* a = SwitchSceneTo<SceneA>();
    CreateInList<LoggingTask>(&a->Tasks(), 5, "first");
    CreateInList<LoggingTask>(&a->Tasks(), 10, "switcher", SwitchToB);
    CreateInList<LoggingTask>(&a->Tasks(), 20, "later");
    gLog.clear();
    EXPECT_EQ(a->Frame(), 0u);
    const std::vector<std::string> expected = {"first proc", "switcher proc", "A release",
                                               "first deleted", "switcher deleted", "later deleted",
                                               "A gone", "B built", "B init"};
    EXPECT_EQ(gLog, expected);
    EXPECT_TRUE(gSleeps.empty()) << "a replaced scene returns without sleeping";
    EXPECT_EQ(app.currentScene, SceneInstance<SceneB>());
}

TEST_F(SceneFixture, ScenesThatPassTheReplacementOnReturnMinusOne)
{
    PassingScene* p = SwitchSceneTo<PassingScene>();
    CreateInList<LoggingTask>(&p->Tasks(), 10, "switcher", SwitchToB);
    EXPECT_EQ(p->Frame(), static_cast<u32>(-1));
}

TEST_F(SceneFixture, MenuFramesArePacedToSixteenMilliseconds)
{
    SceneA* a = SwitchSceneTo<SceneA>();
    LoggingTask* t = CreateInList<LoggingTask>(&a->Tasks(), 10, "work", nullptr, 5u);
    const u32 start = gNow;
    a->Frame();
    ASSERT_EQ(gSleeps.size(), 1u);
    EXPECT_EQ(gSleeps[0], 11u);
    EXPECT_EQ(gNow - start, 16u);

    t->workMs = 16;
    a->Frame();
    t->workMs = 40;
    a->Frame();
    ASSERT_EQ(gSleeps.size(), 3u);
    EXPECT_EQ(gSleeps[1], 0u);
    EXPECT_EQ(gSleeps[2], 0u);

    // Each frame runs the process pass, then the draw pass, then sprites.
    gLog.clear();
    t->workMs = 0;
    a->Frame();
    const std::vector<std::string> expected = {"work proc", "work draw", "work sprite"};
    EXPECT_EQ(gLog, expected);
}

TEST_F(SceneFixture, CloseRequestSetsTheQuitFlagAndRunsNoTask)
{
    SceneA* a = SwitchSceneTo<SceneA>();
    CreateInList<LoggingTask>(&a->Tasks(), 10, "work");
    gLog.clear();
    app.closeRequest = 1;
    EXPECT_EQ(a->Frame(), 0u);
    EXPECT_EQ(app.quit, 1u);
    EXPECT_TRUE(gLog.empty());
    EXPECT_TRUE(gSleeps.empty());
}

TEST_F(SceneFixture, ResultOneRemovesTheTaskAndTheWalkGoesOn)
{
    SceneA* a = SwitchSceneTo<SceneA>();
    CreateInList<LoggingTask>(&a->Tasks(), 10, "once", [] { return 1; });
    CreateInList<LoggingTask>(&a->Tasks(), 20, "stays");
    gLog.clear();
    a->Frame();
    a->Frame();
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "once proc"), 1);
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "stays proc"), 2);
    EXPECT_EQ(a->Tasks().GetCount(), 1u);
}

}  // namespace
