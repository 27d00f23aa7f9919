#include <filesystem>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/hud/TimeDisplay.h"
#include "battle/stage/BattleMap.h"
#include "battle/tasks/ModeTasks.h"
#include "battle/tasks/RenderPasses.h"
#include "battle/tasks/SystemTasks.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/core/Time.h"
#include "platform/input/Events.h"
#include "platform/input/Keyboard.h"
#include "platform/gfx/GfxRecorder.h"
#include "robot/RobotType.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "support/BattleRunner.h"
#include "support/SceneExits.h"
#include "support/SkinnedXFile.h"
#include "support/TempFolder.h"

namespace {

std::vector<const std::type_info*> TaskTypes(CGameScene& scene)
{
    std::vector<const std::type_info*> out;
    for (TCB* t = scene.tasks.GetHead()->next; t != scene.tasks.GetTail(); t = t->next) out.push_back(&typeid(*t));
    return out;
}

template <class T>
i32 CountTasks(CGameScene& scene)
{
    i32 n = 0;
    for (TCB* t = scene.tasks.GetHead()->next; t != scene.tasks.GetTail(); t = t->next) n += typeid(*t) == typeid(T);
    return n;
}

// A battle object that finishes with a given result in a given frame and
// reports its run calls and its deletion.
struct ScriptedObject : BB_Base {
    i32 finishFrame = 0;
    i32 result = 0;
    i32 runs = 0;
    i32* deletedInFrame = nullptr;
    i32* frame = nullptr;
    ~ScriptedObject() override
    {
        if (deletedInFrame) *deletedInFrame = *frame;
    }
    i32 Run() override
    {
        ++runs;
        return *frame == finishFrame ? result : 0;
    }
};

// Counts the frames of a battle and lets objects ask which one runs.
struct FrameCounterTask : TCB {
    i32* frame = nullptr;
    i32 Proc() override
    {
        ++*frame;
        return kTaskKeep;
    }
};

i32 arcadeCalls = 0;

}  // namespace

// Every offline mode builds the standard task set in its fixed order, adds
// its own tasks, runs headless through the start sequence and releases
// everything (the sanitizers check nothing is left).
TEST(GameSceneTest, EveryOfflineModeSetsUpRunsAndReleases)
{
    const std::vector<const std::type_info*> standard = {
        &typeid(GMTCB_Proc_GameStartDisp), &typeid(GMTCB_GameStart),       &typeid(GMTCB_Camera),
        &typeid(GMTCB_SetFog),             &typeid(GMTCB_BeginSHADOWState), &typeid(GMTCB_DrawCharaShadow),
        &typeid(GMTCB_DrawMapShadow),      &typeid(GMTCB_EndSHADOWState),  &typeid(GMTCB_DrawSkyDome),
        &typeid(GMTCB_DrawChara),          &typeid(GMTCB_DrawMap),         &typeid(GMTCB_DrawLaserXFile),
        &typeid(GMTCB_BeginHDRState),      &typeid(GMTCB_DrawCharaHDR),    &typeid(GMTCB_DrawLaserXFileHDR),
        &typeid(GMTCB_EndHDRState),        &typeid(GMTCB_DrawAreaWall),    &typeid(GMTCB_DrawBeginStateBB),
        &typeid(GMTCB_DrawBB),             &typeid(GMTCB_DrawLaser),       &typeid(GMTCB_DrawEndStateBB),
        &typeid(GMTCB_DrawAlphaBuild),     &typeid(GMTCB_DrawHDRTex),      &typeid(GMTCB_DrawSP_Interface),
        &typeid(GMTCB_DrawSP_CharaInfo),
    };
    struct Case {
        GameMode mode;
        u32 localRule;
        const std::type_info* judge;
        i32 views;
    };
    const Case cases[] = {
        {GameMode::Arcade, 0, nullptr, 1},
        {GameMode::Survival, 0, &typeid(GMTCB_Judge_SurvivalMode), 1},
        {GameMode::Practice, 0, &typeid(GMTCB_DrawSP_PracticeDisp), 1},
        {GameMode::Team, 0, &typeid(GMTCB_Judge_TeamBattleMode), 1},
        {GameMode::Fleet, 0, &typeid(GMTCB_Judge_BlitzTacticsMode), 1},
        {GameMode::LocalBattle, 0, &typeid(GMTCB_Judge_LocalBattle_RestBody), 2},
        {GameMode::LocalBattle, 1, &typeid(GMTCB_DrawSP_TeamCostDisp), 2},
    };
    BattleHooks hooks;
    hooks.setupArcadeStage = [](CGameScene*) { ++arcadeCalls; };
    RegisterBattleHooks(hooks);
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        BattleRunnerOptions options;
        options.mode = c.mode;
        options.localRule = c.localRule;
        options.slotState[1] = c.mode == GameMode::LocalBattle ? 1 : 2;
        // The selection gives survival's ally a robot and leaves its slot state empty.
        if (c.mode == GameMode::Survival) options.slotState[1] = 0;
        arcadeCalls = 0;
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        EXPECT_EQ(GetRoomState().inBattle, 1u);
        EXPECT_EQ(scene.notice[0], '\0') << scene.notice;
        EXPECT_NE(scene.battleMap.gridWidth, 0) << "the sample stage is loaded";
        ASSERT_GT(scene.battleMap.parts.GetCount(), 0);
        EXPECT_NE(scene.battleMap.parts[0].drawMesh, nullptr) << "stage meshes load from the stage's own folder";

        // Priority 1 passes in creation order, the mode's tasks after them,
        // then the keys, objects, hits, listener and the high overlays.
        std::vector<const std::type_info*> types = TaskTypes(scene);
        ASSERT_GE(types.size(), standard.size() + 5);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(*types[i], *standard[i]) << i;
        // The start banner's picture (199) and cover (200) sit between.
        size_t k = 3;
        for (size_t i = 3; i < standard.size(); ++i) {
            while (k < types.size() && *types[k] != *standard[i]) ++k;
            EXPECT_LT(k, types.size()) << standard[i]->name();
        }
        EXPECT_EQ(CountTasks<GMTCB_SystemKey>(scene), 1);
        EXPECT_EQ(CountTasks<GMTCB_ObjectRun>(scene), 1);
        EXPECT_EQ(CountTasks<GMTCB_HitTestRun>(scene), 1);
        EXPECT_EQ(CountTasks<GMTCB_Listener>(scene), 1);
        EXPECT_EQ(CountTasks<GMTCB_DrawSP_Ladar>(scene), 1);
        if (c.judge) {
            i32 n = 0;
            for (const std::type_info* t : types) n += *t == *c.judge;
            EXPECT_EQ(n, 1);
        }
        EXPECT_EQ(arcadeCalls, c.mode == GameMode::Arcade ? 1 : 0);
        if (c.mode == GameMode::Survival) {
            EXPECT_NE(scene.robotTable[1], nullptr) << "the ally";
        }
        i32 active = 0;
        for (const RenderView& v : scene.views) active += v.active ? 1 : 0;
        EXPECT_EQ(active, c.views);
        if (c.views == 2) {
            EXPECT_EQ(scene.views[0].viewport.width, 512u);
            EXPECT_EQ(scene.views[1].viewport.x, 512u);
            EXPECT_EQ(scene.positionalSound, 0u);
        }
        EXPECT_TRUE(scene.meshes[kMeshItem].DrawnMesh() != nullptr);
        EXPECT_TRUE(scene.effectTextures[11].texture != nullptr);
        EXPECT_TRUE(scene.effectTextures[5].texture == nullptr);

        // The cover fades for 128 frames, the banner shows for 139.
        EXPECT_EQ(runner.RunFrames(127), 127u);
        EXPECT_EQ(CountTasks<GMTCB_GameStart>(scene), 1);
        runner.RunFrames(1);
        EXPECT_EQ(CountTasks<GMTCB_GameStart>(scene), 0);
        EXPECT_EQ(CountTasks<GMTCB_DrawPS_Black>(scene), 0);
        runner.RunFrames(12);
        EXPECT_EQ(CountTasks<GMTCB_Proc_GameStartDisp>(scene), 0);
        EXPECT_EQ(CountTasks<GMTCB_DrawPS_Picture>(scene), 0);
        EXPECT_EQ(scene.battleFrame, 140u);
        const bool timed = c.mode != GameMode::Arcade;
        EXPECT_EQ(scene.battleTime, timed ? 140u : 0u);
        runner.EndBattle();
        EXPECT_EQ(FindGameScene(), nullptr);
        EXPECT_EQ(GetRoomState().inBattle, 0u);
    }
    RegisterBattleHooks({});
}

// Finished objects stay in their list, not run but readable, for the grace
// frames of their result, and are freed by the object task on schedule.
TEST(GameSceneTest, FinishedObjectsAreFreedOnSchedule)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    i32 frame = 0;
    auto* counter = CreateInList<FrameCounterTask>(&scene.tasks, 1);
    counter->frame = &frame;
    struct Case {
        i32 result;
        i32 deletedAfter; // frames after the finishing frame
    };
    const Case cases[] = {{1, 2}, {2, 3}, {5, 6}, {-3, 2}};
    std::vector<ScriptedObject*> objects;
    std::vector<i32> deleted(std::size(cases), -1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        CList<BB_Base>& list = i % 2 ? scene.weaponList : scene.effectList;
        auto* o = CreateInList<ScriptedObject>(&list, 1);
        o->finishFrame = 10;
        o->result = cases[i].result;
        o->frame = &frame;
        o->deletedInFrame = &deleted[i];
        objects.push_back(o);
    }
    auto* keeper = CreateInList<ScriptedObject>(&scene.unitList, 1);
    keeper->frame = &frame;
    runner.RunFrames(11);
    for (ScriptedObject* o : objects) {
        EXPECT_EQ(o->Removed, 1);
        EXPECT_EQ(o->runs, 10);
    }
    runner.RunFrames(10);
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(deleted[i], 10 + cases[i].deletedAfter) << i;
    EXPECT_EQ(keeper->runs, 21);
    EXPECT_EQ(keeper->Removed, 0);
    EXPECT_EQ(scene.deleteQueue.size(), 0u);

    // Paused: nothing runs, nothing is freed, the battle frame holds.
    keeper->finishFrame = frame + 1;
    keeper->result = 1;
    scene.paused = 1;
    const u32 held = scene.battleFrame;
    runner.RunFrames(5);
    EXPECT_EQ(keeper->runs, 21);
    EXPECT_EQ(scene.battleFrame, held);
}

// The clock makes a frame due every 1000/60 ms from its origin; late frames
// are not drawn until the skip limit, then the clock re-bases; a procedure
// asking for a fresh clock re-bases at once.
struct ClockScene : CGameScene {
    std::vector<i32> results; // per call; past the end 0
    u32 work = 0;             // ms each call takes
    size_t calls = 0;
    i32 Scripted()
    {
        BattleRunner::Advance(work);
        return calls < results.size() ? results[calls++] : (++calls, 0);
    }
};

TEST(GameSceneTest, FrameClockDrawsSkipsAndReBases)
{
    SetAppClock({[] { return BattleRunner::Now(); }, [](u32 ms) { BattleRunner::Advance(ms); }});
    CApplication& app = *GetApplication();
    ClockScene scene;
    scene.frameProc = static_cast<CGameScene::FrameProc>(&ClockScene::Scripted);
    auto start = [&] {
        scene.clockOrigin = BattleRunner::Now();
        scene.frameCount = 0;
        scene.nextDue = 0;
        BattleSkipCounter() = 0;
    };

    // On time, and exactly due: each call runs one frame and draws it.
    app.video.maxFrameSkip = 3;
    start();
    scene.Frame();
    EXPECT_EQ(scene.frameCount, 1u);
    EXPECT_EQ(scene.nextDue, 16u);
    EXPECT_EQ(app.frameDrawn, 1u);
    BattleRunner::Advance(scene.clockOrigin + 15 - BattleRunner::Now());
    scene.Frame(); // 1 ms early: sleeps
    EXPECT_EQ(scene.frameCount, 1u);
    scene.Frame(); // exactly due
    EXPECT_EQ(scene.frameCount, 2u);
    EXPECT_EQ(app.frameDrawn, 1u);

    // Late: not drawn while the skip counter is below the limit; the third
    // late frame re-bases to the end of that frame and is drawn.
    BattleRunner::Advance(scene.clockOrigin + scene.nextDue - BattleRunner::Now());
    scene.work = 40;
    const u32 origin = scene.clockOrigin;
    scene.Frame();
    EXPECT_EQ(scene.frameCount, 3u);
    EXPECT_EQ(app.frameDrawn, 0u);
    EXPECT_EQ(BattleSkipCounter(), 1u);
    scene.Frame();
    EXPECT_EQ(BattleSkipCounter(), 2u);
    EXPECT_EQ(scene.clockOrigin, origin);
    scene.Frame();
    EXPECT_EQ(BattleSkipCounter(), 0u);
    EXPECT_EQ(scene.frameCount, 0u);
    EXPECT_EQ(scene.clockOrigin, scene.lastFrameEnd);
    EXPECT_EQ(app.frameDrawn, 1u);

    // Limit 0: every late frame re-bases and is drawn.
    app.video.maxFrameSkip = 0;
    scene.Frame();
    EXPECT_EQ(scene.frameCount, 0u);
    EXPECT_EQ(app.frameDrawn, 1u);

    // Result 1 re-bases to now; the count wraps before the procedure runs.
    scene.work = 0;
    scene.results.assign(scene.calls + 1, 0);
    scene.results.back() = 1;
    scene.frameCount = 0xFFFFFFFEu;
    scene.nextDue = 0;
    scene.clockOrigin = BattleRunner::Now();
    scene.Frame();
    EXPECT_EQ(scene.frameCount, 0u);
    EXPECT_EQ(scene.clockOrigin, scene.lastFrameEnd);
    scene.frameCount = 0xFFFFFFFFu;
    scene.Frame();
    EXPECT_EQ(scene.frameCount, 0u) << "0xFFFFFFFF wraps to 0";
    SetAppClock({});
}

// The frame's lighting hands every effect wrapper the light's direction,
// and each view draws with its own viewport and aspect.
struct LightProbe : ShaderBase {
    std::vector<Vec3> directions;
    void Reload() override {}
    void SetWorld(const Mat4*) override {}
    void SetMaterial(const plat::GfxMaterial*, TextureHandle*) override {}
    void SetLighting(const float* dir, const Vec4*) override { directions.push_back({dir[0], dir[1], dir[2]}); }
};

TEST(GameSceneTest, DrawnViewsLightEffectsWithTheLightDirection)
{
    BattleRunnerOptions options;
    options.mode = GameMode::LocalBattle;
    options.slotState[1] = 1;
    BattleRunner runner(options);
    LightProbe probe;
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->effects.push_back(&probe);
    runner.RunFrames(1);
    gd->effects.pop_back();
    // Two views, each lit once by the frame and once by the camera task.
    ASSERT_EQ(probe.directions.size(), 4u);
    const Vec3 d = probe.directions[0];
    EXPECT_NEAR(d.x, 0.3f / 0.9110434f, 1e-4f);
    EXPECT_NEAR(d.y, -0.7f / 0.9110434f, 1e-4f);
    EXPECT_NEAR(d.z, 0.5f / 0.9110434f, 1e-4f);
    EXPECT_EQ(runner.Recorder()->PresentCount(), 1u);
}

// Robot types load on worker threads through full paths; the wait ends
// with the loader, never between the type's loaded flag and the loader's
// end (a loader started for a type loaded already sets no flag at all: the
// flag is there before the loader has even begun); a refused type ends the
// wait at once, and release joins every loader first.
TEST(GameSceneTest, TypeLoadersAreWaitedForAndJoined)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    for (int again = 0; again < 2; ++again) {
        ASSERT_TRUE(scene.StartTypeLoader(3));
        EXPECT_TRUE(scene.WaitTypeLoaded(3));
        EXPECT_FALSE(scene.TypesLoading()) << again;
    }
    EXPECT_EQ(scene.robotTypes[3].loaded.load(), 1u);
    ASSERT_TRUE(scene.StartTypeLoader(45)); // no such folder
    EXPECT_FALSE(scene.WaitTypeLoaded(45));
    ASSERT_TRUE(scene.StartTypeLoader(4));
    runner.EndBattle(); // while type 4 may still be loading
    EXPECT_EQ(FindGameScene(), nullptr);
}

// A participant's robot number always names a type that exists.
TEST(GameSceneTest, RobotNumbersAreBoundToExistingTypes)
{
    BattleRunner runner({});
    const i32 count = static_cast<i32>(GetApplication()->robotFolders.count);
    const struct {
        i32 robot, type;
    } cases[] = {{0, 0}, {5, 5}, {1005, 5}, {count, 0}, {1000 + count + 1, 1}, {999999, 999 % count}, {-1, 0}};
    for (const auto& c : cases) EXPECT_EQ(BoundRobotType(c.robot), c.type) << c.robot;
}

// A run folder of links to the test's own, but for one file of its own
// (empty unless given) and the folders on the way to it.
struct RunFolderWithFile {
    TempFolder temp;
    explicit RunFolderWithFile(const std::string& emptied, const std::string& contents = "")
    {
        namespace fs = std::filesystem;
        const fs::path run = fs::current_path();
        // Every folder on the way to the file is a real one; the rest are links.
        fs::path made = temp.Path();
        fs::path from = run;
        for (const fs::path& part : fs::path(emptied)) {
            for (const auto& entry : fs::directory_iterator(from))
                if (entry.path().filename() != part) fs::create_symlink(entry.path(), made / entry.path().filename());
            made /= part;
            from /= part;
            if (from != run / emptied) fs::create_directory(made);
        }
        EXPECT_TRUE(temp.Write(emptied, contents));
    }
};

// No battle without its stage or its robots: the set-up ends with the notice
// on a screen of its own, and after a few seconds the player is back where
// the battle was chosen.
TEST(GameSceneTest, ABattleThatCannotBeSetUpShowsWhyAndGoesBack)
{
    BattleHooks hooks;
    hooks.charaSelectScene = []() -> BaseScene* { return GetSceneInstance<ExitScene<2>>(); };
    hooks.vsRoomScene = []() -> BaseScene* { return GetSceneInstance<ExitScene<3>>(); };
    RegisterBattleHooks(hooks);
    struct Case {
        const char* emptied;  // null: the real run folder
        u32 stage;
        GameMode mode;
        const char* said;
        int* arrivals;
    };
    const Case cases[] = {
        {nullptr, 40, GameMode::Survival, "stage", &ExitScene<2>::arrivals},
        {"war/City/map.mpd", 0, GameMode::LocalBattle, "City", &ExitScene<3>::arrivals},
        {"robo/robo01/Script.ani", 0, GameMode::Survival, "Robot type 0", &ExitScene<2>::arrivals},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        std::unique_ptr<RunFolderWithFile> folder;
        if (c.emptied) folder = std::make_unique<RunFolderWithFile>(c.emptied);
        BattleRunnerOptions options;
        options.mode = c.mode;
        options.stage = c.stage;
        const std::string run = folder ? folder->temp.Path() : std::string();
        options.runFolder = run.c_str();
        const int before = *c.arrivals;
        BattleRunner runner(options);
        CGameScene& scene = *runner.Scene();
        EXPECT_TRUE(scene.setupFailed);
        EXPECT_NE(std::string(scene.notice).find(c.said), std::string::npos) << scene.notice;
        // Frames pass on the notice alone: no battle runs behind it.
        EXPECT_EQ(runner.RunFrames(60), 60u);
        EXPECT_EQ(scene.battleFrame, 0u);
        EXPECT_LT(runner.RunFrames(400), 400u);
        EXPECT_EQ(FindGameScene(), nullptr);
        EXPECT_EQ(*c.arrivals, before + 1);
        BaseScene* back = GetApplication()->currentScene;
        GetApplication()->currentScene = nullptr;
        delete back;
    }
    RegisterBattleHooks(BattleHooks{});
}

// Runs the battle runner's battle of the eight first sample types from run,
// 30 frames undrawn, in a child process started afresh from this one, as the
// runner would; the processor seconds it took, stderr kept in said.
double BattleInAChild(const std::string& run, const std::string& said)
{
    const pid_t child = fork();
    if (child == 0) {
        const int err = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, 2);
        BattleRunnerOptions options = MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1, 2, 3, 4, 5, 6, 7},
                                                        {10, 8, 6, 4, 2, 1, 5, 10}, false);
        options.recordCalls = false;
        options.draw = false;
        options.runFolder = run.c_str();
        BattleRunner runner(options);
        const bool ran = runner.Scene() && !runner.Scene()->setupFailed && runner.RunFrames(30) == 30;
        _exit(ran ? 0 : 1);
    }
    int status = -1;
    rusage used{};
    EXPECT_EQ(wait4(child, &status, 0, &used), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Processor time, not the wall clock: a loaded machine slows both
    // battles' clocks unevenly, never their work.
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(used.ru_utime) + seconds(used.ru_stime);
}

// A skinned part whose every vertex 9,999 bones move (999,900 weights, just
// under what a model may hold) is refused about as fast as its file is read:
// the battle runner's battle with it takes at most five times the sample's.
TEST(GameSceneTest, ASkinOfThousandsOfBonesPerVertexDoesNotStallTheBattle)
{
    // The second sample type's back part, skinned.
    std::string ani;
    ASSERT_TRUE(plat::ReadWholeFile("robo/robo02/Script.ani", ani));
    const std::string back("Back.x\0", 7);
    ASSERT_EQ(ani.find(back, ani.find(back) + 1), std::string::npos);
    ani.replace(ani.find(back), 7, "Back.sx");
    RunFolderWithFile folder("robo/robo02/Script.ani", ani);
    std::string crowd = skintest::ManyBonesPerVertexFile(100, 200, 9999);
    XorWords(crowd.data(), static_cast<u32>(crowd.size()), AssetKey);
    ASSERT_TRUE(folder.temp.Write("robo/robo02/Back.sx", crowd));

    const std::string said = folder.temp / "stderr.txt";
    const double sample = BattleInAChild(plat::GetCurrentDirectory(), said);
    const double crowded = BattleInAChild(folder.temp.Path(), said);
    EXPECT_LT(crowded, 5.0 * sample) << crowded << " s against " << sample << " s";
    // The skin was read and refused, not passed by.
    const std::string text = folder.temp.Read("stderr.txt");
    EXPECT_NE(text.find("Back.sx"), std::string::npos) << text;
}

// The fade back to the title keeps serving the window while it waits.
TEST(GameSceneTest, GoTitleWaitKeepsTheWindowServed)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    // A close asked for during the wait is taken then, not after it.
    ASSERT_TRUE(plat::InitEvents());
    plat::PostQuit(0);
    GetApplication()->quit = 0;
    GetGoTitleWait() = {30};
    auto* go = GMTCB_GoTitle::Create(&scene.tasks, 1);
    go->Start(&scene);
    const u32 before = plat::TimeGetTime();
    EXPECT_EQ(runner.RunFrames(60), 43u);
    EXPECT_GE(plat::TimeGetTime() - before, 30u);
    EXPECT_EQ(FindGameScene(), nullptr);
    EXPECT_EQ(GetApplication()->quit, 1);
    GetApplication()->quit = 0;
    GetGoTitleWait() = {};
    BaseScene* title = GetApplication()->currentScene;
    GetApplication()->currentScene = nullptr;
    delete title;
}

// Back from an online battle, the scene waits for the server to echo its
// return to the room, and gives up for the title when it never comes.
TEST(GameSceneTest, ReturnToRoomGivesUpForTheTitle)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    CApplication& app = *GetApplication();
    app.players[0].returnMarker = -100;
    scene.playerSlot = 0;
    EXPECT_EQ(scene.Proc_ReturnToRoom(), 0);
    scene.returnWaitStart -= 20001;
    EXPECT_EQ(scene.Proc_ReturnToRoom(), kTaskSceneReplaced);
    EXPECT_EQ(FindGameScene(), nullptr);
    ASSERT_NE(app.currentScene, nullptr);
    BaseScene* title = app.currentScene;
    app.currentScene = nullptr;
    delete title;
}

// Stereo draws every frame once per eye, advances the battle frame even when
// paused, and keypad 4 held for long narrows the eyes no further than 0.01.
TEST(GameSceneTest, StereoDrawsBothEyesAndBoundsTheSeparation)
{
    GetApplication()->video.stereo = 1;
    BattleRunner runner({});
    GetApplication()->video.stereo = 0;
    CGameScene& scene = *runner.Scene();
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_Stereo);
    runner.RunFrames(1);
    EXPECT_EQ(runner.Recorder()->PresentCount(), 2u);
    scene.paused = 1;
    const u32 frame = scene.battleFrame;
    plat::SetKeyDown(plat::vk::Numpad0 + 4, true);
    runner.RunFrames(20);
    plat::SetKeyDown(plat::vk::Numpad0 + 4, false);
    EXPECT_EQ(scene.battleFrame, frame + 20);
    EXPECT_FLOAT_EQ(scene.stereoSeparation, 0.01f);
}

// A lost device frees the HDR target and its reset makes it again; frames
// wait while the device stays lost.
TEST(GameSceneTest, DeviceLossRebuildsTheHdrTarget)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    ASSERT_NE(scene.hdrTarget.texture, nullptr);
    runner.Recorder()->SimulateLoss();
    runner.RunFrames(1);
    GraphicsDevice* gd = GetGraphicsDevice();
    EXPECT_EQ(gd->deviceLost, 1u);
    const u32 frames = scene.battleFrame;
    runner.RunFrames(2);
    EXPECT_EQ(scene.battleFrame, frames);
    runner.Recorder()->AllowReset();
    runner.RunFrames(1);
    EXPECT_EQ(gd->deviceLost, 0u);
    EXPECT_NE(scene.hdrTarget.texture, nullptr);
    EXPECT_EQ(scene.battleFrame, frames + 1);
}
