// One client of an online battle against a loopback that relays like the
// room server: the start waits for every player, inputs apply input-delay
// frames late and one message covers its repeat count of frames, a check
// byte that disagrees starts a repair from the host's robot records, and
// the battle goes on from frame 0 once every client has all data.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "app/player/PlayerEntry.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "engine/core/MTRand.h"
#include "platform/core/Time.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"
#include "support/SentMessages.h"

namespace {

u32 g_messages = 0;
bool g_remoteDisagrees = false;
std::vector<u32> g_snapshotSlots;  // the host's robot blocks, in the order sent
i32 g_snapshotSender = -1;         // whose blocks this client's sends stand for; -1 its own

void Relay(u32 slot, const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    PlayerEntry& e = GetApplication()->players[i32(slot)];
    for (u32 f = frame; f < frame + repeat; ++f) {
        auto* k = CreateInListFront<KEYRECVLIST>(&e.keyQueue, 1);
        k->frame = f;
        std::memcpy(k->input, input, 10);
        k->check = check;
    }
}

// The server relays each key state to every client, the sender's own
// included; the other player's client sends the same frames.
void SendKeys(const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    ++g_messages;
    Relay(0, input, check, frame, repeat);
    Relay(1, input, g_remoteDisagrees ? u8(check + 1) : check, frame, repeat);
}

// The relay comes straight back, as the server sends it to every client.
void StoreSnapshot(const u8* block, u32 size)
{
    g_snapshotSlots.push_back(block[0]);
    std::vector<u8> relayed(block, block + size);
    relayed.resize(RobotSnapshotSize);
    const u32 sender = g_snapshotSender >= 0 ? u32(g_snapshotSender) : GetRoomState().ownSlot;
    TakeRobotSnapshot(GetRoomState(), &GetApplication()->players[0], GetApplication()->players.GetCount(),
                      relayed.data(), RobotSnapshotSize, sender);
}

void TakeHostBlock(const u8* words, u32 sender)
{
    TakeHostStateBlock(GetRoomState(), &GetApplication()->players[0], GetApplication()->players.GetCount(), words,
                       sender);
}

void StoreHostBlock(const u8* words)
{
    TakeHostBlock(words, g_snapshotSender >= 0 ? u32(g_snapshotSender) : GetRoomState().ownSlot);
}

// Another client's host block of the scene's team arrays, as relayed.
void HostBlockOf(const CGameScene& scene, u32 sender)
{
    u8 words[252];
    for (i32 t = 0; t < 21; ++t) {
        PutU32(words + 4 * t, scene.teamUnits[t]);
        PutU32(words + 84 + 4 * t, scene.teamScores[t]);
        PutU32(words + 168 + 4 * t, scene.teamCosts[t]);
    }
    TakeHostBlock(words, sender);
}

// The server's word: the repair of the current run is open, with its host.
void Word(u16 host)
{
    TakeRepairWord(GetRoomState(), &GetApplication()->players[0], GetApplication()->players.GetCount(), host,
                   GetRoomState().run);
}

void AllReceived()
{
    for (i32 i = 0; i < 2; ++i) GetApplication()->players[i].snapshotState = 2;
}

// The check bytes this client sent.
std::vector<u8> g_checks;
void KeepCheck(const u8*, u8 check, u32, u8) { g_checks.push_back(check); }

bool LastChatHas(const char* text)
{
    CList<ChatNode>& log = GetApplication()->chatLog;
    return log.GetCount() > 0 && log.GetHead()->next->text.find(text) != std::string::npos;
}

}  // namespace

TEST(NetLockstep, DelayRepeatDisagreementAndRepair)
{
    SentMessages server;
    server.keyState = SendKeys;
    server.robotSnapshot = StoreSnapshot;
    server.hostStateBlock = StoreHostBlock;
    server.allDataReceived = AllReceived;
    server.repairRequest = [] { Word(0); };
    RoomState& room = ConnectedRoom(0, 3);
    GetApplication()->gameSettings.roomSetting = 2;  // one message every two frames
    g_messages = 0;
    g_remoteDisagrees = false;
    g_snapshotSlots.clear();

    BattleRunnerOptions options;
    options.mode = GameMode::Online;
    options.slotState[0] = options.slotState[1] = 1;
    options.slotState[2] = 2;  // and a computer's robot
    options.robot[2] = 2;
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    CApplication& app = *GetApplication();
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetWaitStart);
    ASSERT_NE(scene.robotTable[1], nullptr);
    ASSERT_EQ(scene.robotTable[1]->controlMode, kControlNetwork);

    // Player 1 is still loading: nothing runs, and the wait is counted.
    app.players[0].sceneLoaded = 1;
    runner.RunFrames(5);
    EXPECT_EQ(scene.battleFrame, 0u);
    EXPECT_GE(app.players[1].waitCounter, 5);
    EXPECT_EQ(scene.netWaiting, 1);
    app.players[1].sceneLoaded = 1;
    runner.RunFrames(1);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    EXPECT_EQ(scene.netWaiting, 0);

    // Frames 0..2 run on the initial inputs; from frame 3 each applies the
    // records of three frames before. Messages go out every other frame.
    runner.RunFrames(20);
    EXPECT_EQ(scene.battleFrame, 20u);
    EXPECT_EQ(g_messages, 10u);
    EXPECT_EQ(room.repairState, 0u);
    for (i32 i = 0; i < 2; ++i) EXPECT_EQ(app.players[i].FindKeyRecord(16), nullptr) << "applied and erased";
    EXPECT_NE(app.players[0].FindKeyRecord(17), nullptr) << "waiting for frame 20";
    // The keep-alive ping went out stamped on the clock its echo is read
    // with, not the frames' own: the own ping stays a real figure.
    EXPECT_LT(plat::TimeGetTime() - room.pingSendTime, 60000u) << "a ping stamped on another clock";

    // A client that lost its own records waits, the clock standing still.
    app.players[1].keyQueue.DeleteAll();
    app.players[1].keyQueue.Init();
    runner.RunFrames(4);
    EXPECT_EQ(scene.battleFrame, 20u);
    EXPECT_GE(app.players[1].waitCounter, 4);
    for (u32 f = 17; f < 24; ++f) {
        const u8 neutral[10] = {5};
        Relay(1, neutral, app.players[0].FindKeyRecord(f) ? app.players[0].FindKeyRecord(f)->check : 0, f, 1);
    }
    runner.RunFrames(2);
    EXPECT_GT(scene.battleFrame, 20u);
    EXPECT_FALSE(scene.inputWaiting);

    // A robot type still loading on this client holds the battle, however
    // long it takes, and nothing of the frame's inputs is used up meanwhile.
    {
        std::atomic<bool> locked{false}, release{false};
        std::thread slowDisk([&] {
            scene.loaderLock.Enter();
            locked = true;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            scene.loaderLock.Leave();
        });
        while (!locked) std::this_thread::yield();
        ASSERT_TRUE(scene.StartTypeLoader(4));
        const u32 held = scene.battleFrame;
        runner.RunFrames(6);
        EXPECT_TRUE(scene.TypesLoading());
        EXPECT_EQ(scene.battleFrame, held);
        EXPECT_NE(app.players[0].FindKeyRecord(held - room.inputDelay), nullptr);
        release = true;
        slowDisk.join();
        EXPECT_TRUE(scene.WaitTypeLoaded(4));
        EXPECT_FALSE(scene.TypesLoading());
        for (u32 f = held; f < held + 8; ++f) {
            const u8 neutral[10] = {5};
            if (!app.players[1].FindKeyRecord(f) && app.players[0].FindKeyRecord(f))
                Relay(1, neutral, app.players[0].FindKeyRecord(f)->check, f, 1);
        }
        runner.RunFrames(2);
        EXPECT_GT(scene.battleFrame, held);
    }

    // The other client's simulation drew differently: the check bytes of a
    // frame disagree, the chat says whose, and the repair runs to its end.
    // The battle's time comes with the host's data, whatever this client counted.
    g_remoteDisagrees = true;
    for (int i = 0; i < 12 && room.repairState == 0; ++i) runner.RunFrames(1);
    ASSERT_NE(room.repairState, 0u);
    EXPECT_TRUE(LastChatHas("数据同步错误"));
    g_remoteDisagrees = false;
    for (int i = 0; i < 4 && room.repairState != 2; ++i) runner.RunFrames(1);
    ASSERT_EQ(room.repairState, 2u);
    const u32 sent = scene.battleTime;
    scene.battleTime = sent + 77;
    for (int i = 0; i < 8 && !(scene.frameProc == &CGameScene::Proc_NetBattle && room.repairState == 0); ++i)
        runner.RunFrames(1);
    // (It goes on counting the frames the repair took since.)
    EXPECT_GE(scene.battleTime, sent);
    EXPECT_LT(scene.battleTime, sent + 77);
    EXPECT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    EXPECT_EQ(room.repairState, 0u);
    EXPECT_TRUE(LastChatHas("同步错误修复完毕"));
    // Every robot's block went, the computer's too, and no block outlives
    // its repair.
    EXPECT_EQ(g_snapshotSlots, (std::vector<u32>{0, 1, 2}));
    for (i32 i = 0; i < 3; ++i) EXPECT_TRUE(app.players[i].snapshot.empty());
    EXPECT_EQ(scene.battleFrame, 0u) << "the battle starts again from frame 0";
    runner.RunFrames(10);
    EXPECT_EQ(scene.battleFrame, 10u);
    EXPECT_EQ(room.repairState, 0u);

    // A player whose input never comes does not hold the battle for ever:
    // after its time this client goes back to the room.
    app.players[1].keyQueue.DeleteAll();
    app.players[1].keyQueue.Init();
    runner.RunFrames(2);
    ASSERT_TRUE(scene.inputWaiting);
    // Held like this nothing is simulated, yet a client whose own robot is
    // gone still draws its check byte for each input it sends.
    CRobot_Base* own = scene.robotTable[0];
    scene.robotTable[0] = nullptr;
    scene.sentInputFrame = -1;
    scene.sendCountdown = 0;
    const u64 drawn = GetBattleRandom().GetDrawCount();
    runner.RunFrames(1);
    EXPECT_EQ(GetBattleRandom().GetDrawCount(), drawn + 1);
    scene.robotTable[0] = own;
    scene.inputWaitStart -= 30001;
    runner.RunFrames(1);
    EXPECT_TRUE(scene.frameProc == &CGameScene::Proc_ReturnToRoom);

    room = RoomState();
    GetApplication()->gameSettings.roomSetting = 0;
}

// The battle's chat line: Enter opens it, the robot then gets a neutral
// stick, the line keeps at most 60 bytes, Enter on an empty line just closes.
TEST(NetLockstep, ChatLineOpensLimitsAndCloses)
{
    BattleRunner runner({});
    CGameScene& scene = *runner.Scene();
    CApplication& app = *GetApplication();
    static std::string sent;
    sent.clear();
    SentMessages server;
    server.chatMessage = [](u16, u8, const char* text, u32 length) { sent.assign(text, length); };
    CGameScene::ChatHook(MessageKeyDown, 13, 0);
    EXPECT_EQ(scene.chatInputActive, 1u);
    for (int i = 0; i < 70; ++i) CGameScene::ChatHook(MessageChar, 'a', 0);
    EXPECT_EQ(app.lineEditor.GetLength(), 60);
    CGameScene::ChatHook(MessageKeyDown, 13, 0);
    EXPECT_EQ(sent, std::string(60, 'a'));
    EXPECT_EQ(scene.chatInputActive, 0u);
    CGameScene::ChatHook(MessageKeyDown, 13, 0);
    sent.clear();
    CGameScene::ChatHook(MessageKeyDown, 13, 0);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(scene.chatInputActive, 0u);
}

namespace {

// A server for four players whose own is slot 1: every key state reaches
// all, the others send the same frames while they are present.
u8 g_present = 0;

void SendKeysOfPresent(const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    for (u32 slot = 0; slot < 4; ++slot)
        if (g_present & (1u << slot)) Relay(slot, input, check, frame, repeat);
}

void Confirm(i32 slot)
{
    PlayerEntry& e = GetApplication()->players[slot];
    e.snapshotState = 2;
    ++e.confirmedRuns;
}

// What the client records when the server reports a participant gone.
void Leave(i32 slot, i32 frame)
{
    PlayerEntry& e = GetApplication()->players[slot];
    e.leaveFrame = frame;
    e.leaveRun = e.confirmedRuns;
    e.departed = 1;
    g_present &= u8(~(1u << slot));
}

}  // namespace

// Departures end every wait, at the same frame on every client: one who
// leaves while the others load, before its first key state (leave frame -1),
// while a repair waits for its confirmation, and a repair host that leaves
// before sending its data, whose role passes to the next player.
TEST(NetLockstep, DeparturesEndEveryWait)
{
    SentMessages server;
    server.keyState = SendKeysOfPresent;
    server.robotSnapshot = StoreSnapshot;
    server.hostStateBlock = StoreHostBlock;
    server.allDataReceived = [] { Confirm(1); };
    RoomState& room = ConnectedRoom(1);
    GetApplication()->gameSettings.roomSetting = 1;
    g_snapshotSlots.clear();
    g_present = 0x7;  // player 3 never sends a key state

    BattleRunnerOptions options;
    options.mode = GameMode::Online;
    for (i32 i = 0; i < 4; ++i) {
        options.slotState[i] = 1;
        options.robot[i] = i;
    }
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    CApplication& app = *GetApplication();
    ASSERT_EQ(scene.playerSlot, 1u);
    for (i32 i = 0; i < 3; ++i) app.players[i].sceneLoaded = 1;

    // Player 3 leaves while still loading, having covered no frame.
    runner.RunFrames(3);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetWaitStart);
    Leave(3, -1);
    runner.RunFrames(1);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    runner.RunFrames(10);
    EXPECT_EQ(scene.battleFrame, 10u) << "the battle never waited for the one who left";
    EXPECT_EQ(app.players[3].inBattle, 0u);
    EXPECT_NE(std::string(scene.robotTable[3]->displayName).find("玩家已断开"), std::string::npos);

    // A repair: host 0 sends the data, player 2 leaves before confirming it.
    Word(0);
    runner.RunFrames(2);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetResync);
    EXPECT_TRUE(g_snapshotSlots.empty()) << "slot 0 is the host";
    g_snapshotSender = 0;
    HostBlockOf(scene, 0);
    for (u32 slot = 0; slot < 4; ++slot) scene.SendRobotSnapshotOf(slot, scene.robotTable[slot]);
    g_snapshotSender = -1;
    g_snapshotSlots.clear();
    runner.RunFrames(2);
    EXPECT_EQ(room.repairState, 3u);
    Confirm(0);
    runner.RunFrames(3);
    EXPECT_EQ(room.repairState, 3u) << "waiting for player 2";
    Leave(2, 40);
    runner.RunFrames(1);
    EXPECT_EQ(room.repairState, 0u);
    EXPECT_EQ(scene.battleFrame, 0u);
    EXPECT_EQ(app.players[2].inBattle, 0u);
    EXPECT_EQ(scene.netRun, 1u);
    runner.RunFrames(6);
    EXPECT_EQ(scene.battleFrame, 6u);

    // The next repair's host, player 0, leaves before sending anything: the
    // server names this client, which sends every block, and the repair ends.
    Word(0);
    runner.RunFrames(3);
    EXPECT_EQ(room.repairState, 2u);
    EXPECT_TRUE(g_snapshotSlots.empty());
    Leave(0, 3);
    Word(1);
    for (int i = 0; i < 6 && room.repairState != 0; ++i) runner.RunFrames(1);
    EXPECT_FALSE(g_snapshotSlots.empty()) << "the next host sent the data";
    EXPECT_EQ(room.repairState, 0u);
    EXPECT_EQ(scene.battleFrame, 0u);
    EXPECT_EQ(app.players[0].inBattle, 0u);
    runner.RunFrames(6);
    EXPECT_EQ(scene.battleFrame, 6u);
    EXPECT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    EXPECT_FALSE(scene.inputWaiting);

    room = RoomState();
    GetApplication()->gameSettings.roomSetting = 0;
}

// The check byte covers what the battle's outcome rests on, not only how
// often the generator was drawn: after a repair every client restarts the
// generator alike, so two clients that hold a robot, a score or the time
// differently draw alike and must still disagree. The same state gives the
// same byte; any of them changed, another.
TEST(NetLockstep, TheCheckByteCoversTheBattlesState)
{
    SentMessages server;
    server.keyState = KeepCheck;
    RoomState& room = ConnectedRoom(0);
    room.rule = 1;  // the time battle: its clock counts frames run, down
    GetApplication()->gameSettings.roomSetting = 1;
    GetApplication()->gameSettings.timeLimit = 5;
    BattleRunnerOptions options;
    options.mode = GameMode::Online;
    options.slotState[0] = options.slotState[1] = 1;
    options.robot[1] = 2;
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    CApplication& app = *GetApplication();
    for (i32 i = 0; i < 2; ++i) app.players[i].sceneLoaded = 1;
    runner.RunFrames(6);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    CRobot_Base* other = scene.robotTable[1];
    ASSERT_NE(other, nullptr);

    // Nobody else's input comes: the battle holds its frame, and each try
    // below sends this frame's input again from the same generator.
    auto checkNow = [&] {
        g_checks.clear();
        GetBattleRandom().Init(77);
        scene.sentInputFrame = -1;
        scene.sendCountdown = 0;
        runner.RunFrames(1);
        return g_checks.size() == 1 ? i32(g_checks[0]) : -1;
    };
    const u32 frame = scene.battleFrame;
    const i32 base = checkNow();
    ASSERT_GE(base, 0);
    EXPECT_EQ(checkNow(), base) << "the same state gave another byte";
    struct Change {
        const char* what;
        std::function<void(i32)> apply;  // +1 changes, -1 puts back
    };
    // (A score goes last: the judge reads it as the battle goes on.)
    const Change changes[] = {
        {"a robot's health", [&](i32 d) { other->hp -= d; }},
        {"a robot's bodies left", [&](i32 d) { other->restBody += d; }},
        {"the battle's time", [&](i32 d) { scene.battleTime += u32(d * 60); }},
        {"a team's score", [&](i32 d) { scene.teamScores[1] += u32(d * 3); }},
    };
    for (const Change& c : changes) {
        c.apply(1);
        EXPECT_NE(checkNow(), base) << c.what << " went unseen";
        c.apply(-1);
        if (&c != &changes[3]) {
            EXPECT_EQ(checkNow(), base) << c.what;
        }
    }
    EXPECT_EQ(scene.battleFrame, frame);

    room = RoomState();
    GetApplication()->gameSettings.roomSetting = 0;
    GetApplication()->gameSettings.timeLimit = 0;
}
