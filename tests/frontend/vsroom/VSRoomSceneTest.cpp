// The local versus room on the recording device with the sample data: four
// pads walking their steps over the panels, the control cycle, the ready
// check, the rules' rates, the stage phase's cancel and the start of the
// battle writing every participant.
#include "frontend/vsroom/VSRoomScene.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/RecordingGraphics.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/SelectInterface.h"
#include "frontend/vsroom/VSRoomTasks.h"
#include "platform/core/FileSystem.h"
#include "support/SceneExits.h"

namespace {

u32 gNow = 0;
u32 FakeNow() { return gNow; }

template <int Id>
using Exit = ExitScene<Id>;
BaseScene* GetBattle() { return GetBattleExit(); }
BaseScene* GetTitle() { return GetTitleExit(); }

constexpr i32 X = -99;  // not checked

// One press and what the pad's slot looks like after it.
struct Press {
    i32 pad;
    char key;  // L U R D S(decide) C(cancel)
    i32 slot, slotState, level, robot, pilot, team, padStep;
    const char* why;
};

class VSRoomSceneTest : public testing::Test {
protected:
    void SetUp() override
    {
        gNow = 1000000;
        SetAppClock({FakeNow, [](u32) {}});
        UseRunFolder(app);
        GetVSRoomExits() = {GetBattle, GetTitle};
        Exit<0>::arrivals = Exit<1>::arrivals = 0;
        app.gameSettings.gameMode = GameMode::LocalBattle;
        app.gameSettings.modeOption = 1;
        app.gameSettings.chat = 1;
        // As the title enters the room.
        app.currentScene = GetVSRoomScene();
        CVSRoomScene::ResetPlayers();
        app.players[2].slotState = 0;
        app.players[3].slotState = 0;
    }
    void TearDown() override
    {
        delete app.currentScene;
        app.currentScene = nullptr;
        for (auto& pad : app.input.padState)
            for (u32& w : pad) w = 0;
        SetAppClock({});
    }
    CVSRoomScene* Room() { return dynamic_cast<CVSRoomScene*>(app.currentScene); }
    VSTCB_Normal* Task()
    {
        CList<TCB>& list = Room()->Tasks();
        for (TCB* t = list.GetHead()->next; t != list.GetTail(); t = t->next)
            if (auto* n = dynamic_cast<VSTCB_Normal*>(t)) return n;
        return nullptr;
    }
    void Frame(int n = 1)
    {
        for (int i = 0; i < n && app.currentScene; ++i) {
            gNow += 16;
            app.currentScene->Frame();
        }
    }
    void Hit(i32 pad, char key)
    {
        const u32 button = key == 'L' ? 0 : key == 'U' ? 1 : key == 'R' ? 2 : key == 'D' ? 3 : key == 'S' ? 12 : 13;
        app.input.padState[pad][button] = 1;
        Frame();
        app.input.padState[pad][button] = 0;
        Frame();  // released, so the next press acts at once
    }

    CApplication& app = *GetApplication();
    RecordingGraphics gfx;
};

TEST_F(VSRoomSceneTest, RobotPicturesLoadOnceWhenFirstShown)
{
    ASSERT_NE(Room(), nullptr);
    app.players[0].robot = 4;
    app.players[1].robot = 4;
    Frame(5);
    CVSRoomScene& room = *Room();
    const auto loaded = [&room] {
        std::vector<plat::GfxTexture*> held;
        for (i32 i = 0; i < room.RobotCount(); ++i) held.push_back(room.robotPictures[i].texture);
        return held;
    };
    const std::vector<plat::GfxTexture*> first = loaded();
    // The slide shows robot 0, both players robot 4; none of the other 20.
    for (i32 i = 0; i < room.RobotCount(); ++i) EXPECT_EQ(first[size_t(i)] != nullptr, i == 0 || i == 4) << i;
    Frame(20);
    EXPECT_EQ(loaded(), first) << "each picture is loaded once, not per frame";
}

TEST_F(VSRoomSceneTest, FourPadsWalkTheirStepsAndTheRoomWaitsForEveryTakenSlot)
{
    ASSERT_NE(Room(), nullptr);
    ASSERT_EQ(Room()->RobotCount(), 22);
    ASSERT_EQ(GetPilotRegistry()->count, 3);
    for (i32 i = 0; i < 4; ++i) {
        EXPECT_EQ(app.players[i].slotState, i < 2 ? 1 : 0);
        EXPECT_EQ(app.players[i].team, i % 2);
        EXPECT_EQ(app.players[i].pilot, 0);
    }
    app.players[0].robot = 0;
    app.players[1].robot = 13;
    // The usable sample robots are 0, 4, 7, 9, 12 and 13.
    const Press presses[] = {
        {1, 'R', 1, 1, X, 13, 0, 1, 0, "pad 1 has not joined: nothing"},
        {1, 'S', 1, 1, X, 13, 0, 1, 0, "decide joins it on slot 1"},
        {0, 'S', 0, 1, X, 0, 0, 0, 1, "a taken slot starts at its robot"},
        {0, 'R', 0, 1, X, 4, 0, 0, 1, "robots 1..3 are not usable"},
        {0, 'L', 0, 1, X, 0, 0, 0, 1, ""},
        {0, 'L', 0, 1, X, 13, 0, 0, 1, "wraps backwards onto the last usable"},
        {0, 'D', 0, 1, X, 13, 0, 0, 2, "down to the pilot"},
        {0, 'L', 0, 1, X, 13, 2, 0, 2, "pilots wrap"},
        {0, 'D', 0, 1, X, 13, 2, 0, 3, ""},
        {0, 'L', 0, 1, X, 13, 2, 3, 3, "teams wrap"},
        {0, 'D', 0, 1, X, 13, 2, 3, 4, "the control row"},
        {0, 'R', 0, 2, 1, 13, 2, 3, 4, "a player becomes computer level 1"},
        {0, 'L', 0, 1, 0, 13, 2, 3, 4, "and back"},
        {0, 'S', 0, 1, 0, 13, 2, 3, 5, "decide goes to ready"},
        {0, 'S', 0, 1, 0, 13, 2, 3, 5, "marked"},
        {1, 'R', 2, 0, X, X, X, X, 0, "pad 1 moves to the empty slot 2"},
        {1, 'S', 2, 0, X, X, X, X, 4, "an empty slot starts at its control row"},
        {1, 'D', 2, 0, X, X, X, X, 4, "down does nothing while it is empty"},
        {1, 'L', 2, 2, 10, X, X, X, 4, "left makes a computer of level 10"},
        {1, 'R', 2, 0, 0, X, X, X, 4, "right past 10 empties it again"},
        {1, 'L', 2, 2, 10, X, X, X, 4, ""},
        {1, 'D', 2, 2, 10, X, X, X, 5, ""},
        {1, 'S', 2, 2, 10, X, X, X, 5, "the computer slot needs its mark too"},
        {1, 'C', 2, 2, 10, X, X, X, 0, "cancel goes back to the slot step"},
        {1, 'L', 1, 1, X, 13, 0, 1, 0, "pad 1 returns to slot 1, still unready"},
        {1, 'S', 1, 1, X, 13, 0, 1, 1, ""},
        {1, 'U', 1, 1, X, 13, 0, 1, 5, "up from the robot goes to ready"},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(testing::Message() << "pad " << p.pad << " " << p.key << ": " << p.why);
        Hit(p.pad, p.key);
        ASSERT_NE(Room(), nullptr);
        const PlayerEntry& e = app.players[p.slot];
        EXPECT_EQ(Room()->slotCursor[p.pad], p.slot);
        EXPECT_EQ(e.slotState, p.slotState);
        if (p.level != X) {
            EXPECT_EQ(e.computerLevel, p.level);
        }
        if (p.robot != X) {
            EXPECT_EQ(e.robot, p.robot);
        }
        if (p.pilot != X) {
            EXPECT_EQ(e.pilot, p.pilot);
        }
        if (p.team != X) {
            EXPECT_EQ(e.team, p.team);
        }
        EXPECT_EQ(Room()->step[p.pad], p.padStep);
        EXPECT_EQ(Task()->phase, VSPhasePlayers) << "slot 1 is taken and not ready";
    }
    // The last mark: slots 0..2 ready, slot 3 empty, so the rules come up.
    Hit(1, 'S');
    EXPECT_EQ(Task()->phase, VSPhaseRules);

    // The control cycle in full, both ways.
    i32 state = 0, level = 0;
    const i32 rightCycle[][2] = {{1, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}, {2, 8}, {2, 9}, {2, 10}, {0, 0}};
    for (const auto& want : rightCycle) {
        StepControlRight(state, level);
        EXPECT_EQ(state, want[0]);
        if (state != 1) {
            EXPECT_EQ(level, want[1]);
        }
    }
    const i32 leftCycle[][2] = {{2, 10}, {2, 9}, {2, 8}, {2, 7}, {2, 6}, {2, 5}, {2, 4}, {2, 3}, {2, 2}, {2, 1}, {1, 0}, {0, 10}};
    for (const auto& want : leftCycle) {
        StepControlLeft(state, level);
        EXPECT_EQ(state, want[0]);
        EXPECT_EQ(level, want[1]);
    }

    // A room of four empty slots never passes the check.
    for (i32 i = 0; i < 4; ++i) {
        app.players[i].slotState = 0;
        Room()->ready[i] = 1;
    }
    EXPECT_FALSE(Task()->AllReady());
    app.players[3].slotState = 2;
    EXPECT_TRUE(Task()->AllReady()) << "a room of one computer may start";
}

TEST_F(VSRoomSceneTest, NoUsableRobotOrPilotLeavesTheChoiceAlone)
{
    for (auto& r : app.partInventory.robots) r.available = 0;
    PilotRegistry& pilots = *GetPilotRegistry();
    const i32 pilotCount = pilots.count;
    pilots.count = 0;
    app.players[0].robot = 5;
    Hit(0, 'S');
    Hit(0, 'R');
    Hit(0, 'L');
    EXPECT_EQ(app.players[0].robot, 5);
    Hit(0, 'D');
    Hit(0, 'L');
    EXPECT_EQ(app.players[0].pilot, 0) << "never -1";
    Hit(0, 'R');
    EXPECT_EQ(app.players[0].pilot, 0);
    pilots.count = pilotCount;
    // Cancel twice: the slot step, then out to the title.
    Hit(0, 'C');
    Hit(0, 'C');
    EXPECT_EQ(Room(), nullptr);
    EXPECT_EQ(Exit<1>::arrivals, 1);
}

TEST_F(VSRoomSceneTest, RatesClampAndTheStageCancelClearsTheCancellingPadsMarkThenTheStartWritesEveryone)
{
    // Rates moved by tenths stop exactly at the bounds.
    f32 down = 1.0f, up = 1.0f;
    for (int i = 0; i < 30; ++i) down = StepRate(down, -1);
    for (int i = 0; i < 200; ++i) up = StepRate(up, 1);
    EXPECT_EQ(down, 0.1f);
    EXPECT_EQ(up, 10.0f);

    // Four slots: two players, two computers on the four teams; all ready.
    app.players[2].slotState = 2;
    app.players[2].computerLevel = 4;
    app.players[2].team = 2;
    app.players[3].slotState = 2;
    app.players[3].computerLevel = 7;
    app.players[3].team = 3;
    for (i32 i = 0; i < 4; ++i) {
        app.players[i].robot = i == 3 ? 12 : i * 4;
        app.players[i].pilot = i % 3;
        app.players[i].colorSet = 77;
    }
    // Pad 2 joins and edits slot 0; the marks go in by pad 0.
    Hit(2, 'S');
    Room()->slotCursor[2] = 0;
    for (u8& r : Room()->ready) r = 1;
    Frame();
    ASSERT_EQ(Task()->phase, VSPhaseRules);
    Hit(0, 'R');
    EXPECT_EQ(Task()->ruleChoice, 0) << "the first 31 passes take no input";
    Frame(30);
    Hit(0, 'R');
    EXPECT_EQ(Task()->ruleChoice, 1);
    Hit(3, 'D');  // any pad may set the rules
    for (int i = 0; i < 12; ++i) Hit(1, 'L');
    EXPECT_EQ(Task()->hpRate, 0.1f);
    Hit(0, 'D');
    for (int i = 0; i < 95; ++i) Hit(0, 'R');
    EXPECT_EQ(Task()->energyRate, 10.0f);
    Hit(0, 'D');
    Hit(0, 'R');
    Hit(0, 'D');
    Hit(0, 'L');
    EXPECT_EQ(Task()->spawnType, 1);
    EXPECT_EQ(Task()->ruleCursor, 4);

    Hit(1, 'S');
    ASSERT_EQ(Task()->phase, VSPhaseStage);
    EXPECT_EQ(Room()->stageRing->visible, 1);
    Frame(31);
    Hit(2, 'C');
    EXPECT_EQ(Task()->phase, VSPhaseRules);
    EXPECT_EQ(Room()->stageRing->visible, 0);
    const u8 marks[4] = {1, 1, 0, 1};
    for (i32 i = 0; i < 4; ++i) EXPECT_EQ(Room()->ready[i], marks[i]) << "only the mark at the pad's number, " << i;
    Frame(31);
    Hit(0, 'S');
    Frame(31);
    Hit(3, 'L');
    Hit(3, 'L');
    const i32 stage = Room()->stageRing->target;
    EXPECT_EQ(stage, Room()->StageCount() - 2) << "the ring wraps";
    Hit(3, 'S');
    ASSERT_EQ(Room(), nullptr);
    EXPECT_EQ(Exit<0>::arrivals, 1);

    for (i32 i = 0; i < 4; ++i) EXPECT_EQ(app.players[i].colorSet, app.players[i].team);
    EXPECT_EQ(app.players[0].robot, 0);
    EXPECT_EQ(app.players[3].robot, 12);
    EXPECT_EQ(app.players[2].computerLevel, 4);
    const GameSettings& s = app.gameSettings;
    EXPECT_EQ(s.gameMode, GameMode::LocalBattle);
    EXPECT_EQ(s.modeOption, 0u);
    EXPECT_EQ(s.chat, 0);
    EXPECT_EQ(s.localRule, 1u);
    EXPECT_EQ(s.stage, u32(stage));
    EXPECT_EQ(s.hpRate, 0.1f);
    EXPECT_EQ(s.energyRate, 10.0f);
    EXPECT_FLOAT_EQ(s.costRate, 1.1f);
    EXPECT_EQ(s.popType, 1);
    EXPECT_TRUE(s.bgmList.entries.empty());
}

}  // namespace
