#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/core/GameSettings.h"
#include "app/player/GameItem.h"
#include "app/player/PilotRegistry.h"
#include "app/player/PlayerEntry.h"
#include "app/player/RoomState.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "platform/core/Time.h"
#include "platform/gfx/Image.h"
#include "online/room/RoomButtons.h"
#include "robot/Robot.h"
#include "support/RecordingGraphics.h"
#include "roomserver/RoomServer.h"

namespace {

constexpr const char* kHost = "127.0.0.1";

// One headless participant: the game's two connections and dispatcher,
// writing into state of its own.
struct Player {
    RoomState room;
    PlayerEntry players[PlayerEntryCount];
    GameSettings settings;
    std::vector<std::string> chat;
    std::unique_ptr<NetClientPair> pair;

    explicit Player(PilotRegistry* pilots)
    {
        OnlineTargets t;
        t.room = &room;
        t.players = players;
        t.settings = &settings;
        t.pilots = pilots;
        pair = std::make_unique<NetClientPair>(t);
    }
    bool Connect(const RoomServer& server)
    {
        return pair->game.Connect(kHost, server.GamePort(0), 0) == CClient::ConnectOk &&
               pair->data.Connect(kHost, server.DataPort(0), 1) == CClient::ConnectOk;
    }
    void Pump()
    {
        for (CClient* c : {static_cast<CClient*>(&pair->game), static_cast<CClient*>(&pair->data)}) {
            while (RECVQUEUE* m = c->PopReceived()) {
                if (m->payload && m->size > 0) pair->game.DispatchMessage(m->payload[0], m->payload + 1, m->size - 1);
                delete m;
            }
        }
    }
    u32 Slot() const { return room.ownSlot; }
};

// The bound only guards a hang: a busy machine never takes that long.
bool Until(std::initializer_list<Player*> players, const std::function<bool()>& done, u32 ms = 60000)
{
    const u32 start = plat::TimeGetTime();
    while (plat::TimeGetTime() - start < ms) {
        for (Player* p : players) p->Pump();
        if (done()) return true;
        plat::Sleep(2);
    }
    return false;
}

std::vector<u8> SmallPng()
{
    std::vector<u32> pixels(16 * 16, 0xFF3366CCu);
    std::vector<u8> png;
    EXPECT_TRUE(plat::EncodePng(pixels.data(), 16, 16, false, &png));
    return png;
}

}  // namespace

// Two players log in, see each other, chat, change the settings, upload a
// pilot and parts, ready up and get one start; then a repair is forced, one
// player drops out of the battle at the frame its keys ran out, and late
// logins are refused.
TEST(RoomSession, TwoClientsMeetUploadReadyAndStart)
{
    RecordingGraphics graphics;  // uploaded pictures become textures
    RoomServer::RoomConfig config;
    config.capacity = 2;
    RoomServer server(1, config);
    ASSERT_TRUE(server.Listening());
    Player a(GetPilotRegistry()), b(nullptr);
    ASSERT_TRUE(a.Connect(server));
    ASSERT_TRUE(b.Connect(server));
    ASSERT_TRUE(Until({&a, &b}, [&] { return a.pair->game.IsConnected() && a.pair->data.IsConnected() &&
                                             b.pair->game.IsConnected() && b.pair->data.IsConnected(); }));

    // Before logging in the data connection answers the room scan.
    SendRoomStatusQuery(&a.pair->data);
    ASSERT_TRUE(Until({&a}, [&] { return a.pair->roomStatusFlag[0] == 2; }));
    EXPECT_STREQ(ViewRoomStatus(a.pair->roomStatus[0]).title, "Test room");
    EXPECT_EQ(ViewRoomStatus(a.pair->roomStatus[0]).capacity, 2u);

    SendLogin("Alice", 3, 5, kClientVersion, &a.pair->game);
    ASSERT_TRUE(Until({&a}, [&] { return a.pair->game.loginResult == kLoginAccepted; }));
    SendLogin("Bob", 1004, 9, kClientVersion, &b.pair->game);
    ASSERT_TRUE(Until({&a, &b}, [&] {
        return b.pair->game.loginResult == kLoginAccepted && a.players[b.Slot()].slotState == 1 &&
               b.players[a.Slot()].slotState == 1;
    }));
    EXPECT_NE(a.Slot(), b.Slot());
    EXPECT_STREQ(a.players[b.Slot()].name, "Bob");
    EXPECT_EQ(a.players[b.Slot()].robot, 1004);
    EXPECT_STREQ(b.players[a.Slot()].name, "Alice");
    EXPECT_EQ(server.Participants(0), 2u);

    // Chat comes back to the sender too; settings change only when the
    // server's copy arrives.
    a.chat.clear();
    SendChatMessage(u16(a.Slot()), 0, "good luck", 9, &a.pair->data);
    ASSERT_TRUE(Until({&a, &b}, [&] {
        return std::string(a.players[a.Slot()].chatText) == "good luck" &&
               std::string(b.players[a.Slot()].chatText) == "good luck";
    }));
    SendRoomSettings(2, 20, 1, 2, 3.0f, 1.5f, 10, 1, 1, 2.0f, 0, 1, &b.pair->game);
    ASSERT_TRUE(Until({&a, &b}, [&] { return a.settings.timeLimit == 10 && b.settings.timeLimit == 10; }));
    EXPECT_EQ(a.settings.netDelay, 20u);
    EXPECT_EQ(a.settings.hpRate, 3.0f);
    EXPECT_EQ(b.settings.stage, 2u);

    // Bob uploads a face, a radio line and a part, then both ready.
    PilotSlot& bobPilot = GetPilotRegistry()->slots[b.Slot()];
    bobPilot.Clear();
    const u8 begin[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    SendFileChunk(kFileKindControl, 8, begin, kCapControl, &b.pair->game, nullptr, 0);
    const std::vector<u8> png = SmallPng();
    SendFileChunk(100, u32(png.size()), png.data(), kCapFace, &b.pair->game, nullptr, 0);
    char line[100] = "Covering fire!";
    SendFileChunk(200, sizeof line, line, kCapTextLine, &b.pair->game, nullptr, 0);
    CGameItem_PowerUp part(9);
    std::strcpy(part.name, "Thruster");
    u8 record[PartWireRecordSize];
    part.WriteWireRecord(record);
    SendEquippedPart(0, 1, PartWireRecordSize, record, &b.pair->game);
    SendColorSet(u16(b.Slot()), 4, &b.pair->game);
    SendPlayerSlot(u16(b.Slot()), "Bob", 1004, 50, 1, 9, &b.pair->game);  // a random squad
    SendReady(1, &b.pair->game);
    ASSERT_TRUE(Until({&a, &b}, [&] { return a.players[b.Slot()].readyState == 1; }));
    EXPECT_FALSE(server.BattleRunning(0));
    // The face is decoded off the main thread and taken once a frame.
    EXPECT_TRUE(Until({&a, &b}, [&] {
        GetPilotRegistry()->TakeDecoded();
        return bobPilot.pictures[0].texture != nullptr;
    }, 60000));
    EXPECT_EQ(bobPilot.uploadReceived, png.size());
    EXPECT_STREQ(bobPilot.radioTexts[0], "Covering fire!");
    ASSERT_NE(a.players[b.Slot()].parts[0], nullptr);
    EXPECT_STREQ(a.players[b.Slot()].parts[0]->name, "Thruster");
    EXPECT_EQ(a.players[b.Slot()].colorSet, 4);

    SendReady(1, &a.pair->game);
    ASSERT_TRUE(Until({&a, &b}, [&] { return a.pair->game.gameStartFlag && b.pair->game.gameStartFlag; }));
    EXPECT_EQ(a.room.battleStartValue, b.room.battleStartValue);
    EXPECT_EQ(a.room.battleStartValue, server.StartValue(0));
    EXPECT_TRUE(server.BattleRunning(0));
    // Every client sees the same concrete squad before the battle starts.
    EXPECT_LT(a.players[b.Slot()].team, 10);
    EXPECT_EQ(a.players[b.Slot()].team, b.players[b.Slot()].team);

    // In battle: key states reach both, scene-loaded marks, a forced repair.
    RobotInput keys;
    keys.direction = 8;
    SendSceneLoaded(&a.pair->game);
    SendKeyState(&keys, 0x11, 0, 4, &b.pair->data);
    // Key states that reach a client in a repair belong to the abandoned run:
    // the repair is asked for once they are in.
    ASSERT_TRUE(Until({&a, &b}, [&] {
        return a.players[a.Slot()].sceneLoaded && a.players[b.Slot()].keyQueue.GetCount() == 4 &&
               b.players[b.Slot()].keyQueue.GetCount() == 4;
    }));
    server.ForceRepair(0);
    ASSERT_TRUE(Until({&a, &b}, [&] { return a.room.repairState == 1; }));
    EXPECT_EQ(a.players[b.Slot()].FindKeyRecord(3)->input[0], 8);

    // A late login is refused while the battle runs.
    Player late(nullptr);
    ASSERT_TRUE(late.Connect(server));
    ASSERT_TRUE(Until({&late}, [&] { return late.pair->game.IsConnected(); }));
    SendLogin("Late", 0, 0, kClientVersion, &late.pair->game);
    ASSERT_TRUE(Until({&late}, [&] { return late.pair->game.loginResult != kLoginWaiting; }));
    EXPECT_EQ(late.pair->game.loginResult, kLoginRoomInGame);
    SendLogin("Old", 0, 0, 19999, &late.pair->game);
    late.pair->game.loginResult = kLoginWaiting;
    ASSERT_TRUE(Until({&late}, [&] { return late.pair->game.loginResult != kLoginWaiting; }));
    EXPECT_EQ(late.pair->game.loginResult, kLoginVersionMismatch);
    // A message that cannot be queued ends the connection like a drop.
    std::vector<u8> huge(MaxFrameLength, 1);
    SendFileChunk(100, u32(huge.size()), huge.data(), u32(huge.size()) + 1, &late.pair->game, nullptr, 0);
    EXPECT_FALSE(late.pair->game.IsConnected());

    // Bob drops: Alice's battle keeps him up to the last frame he sent keys
    // for (frames 0..3), and goes on without him from the next.
    a.players[a.Slot()].inBattle = 1;
    b.pair->game.Disconnect();
    b.pair->data.Disconnect();
    ASSERT_TRUE(Until({&a}, [&] { return a.players[b.Slot()].leaveFrame == 3; }));
    EXPECT_EQ(GetPilotRegistry()->slots[b.Slot()].pictures[0].texture, nullptr);  // his pilot is cleared
}

// The cost-rate buttons of a room of the team rule against the room server:
// from 1.0 the left one steps down in tenths to 0.1 and from there wraps to
// 10.0; the right one wraps from 10.0 to 0.1. Each value is the server's.
TEST(RoomSession, CostRateButtonsReachBothEndsAndWrapThroughTheServer)
{
    RoomServer::RoomConfig config;
    config.rule = 3;
    RoomServer server(1, config);
    ASSERT_TRUE(server.Listening());
    NetClientPair& pair = *GetOnlineClients();
    GameSettings& g = GetApplication()->gameSettings;
    g.costRate = 5.0f;
    ASSERT_EQ(pair.game.Connect(kHost, server.GamePort(0), 0), CClient::ConnectOk);
    ASSERT_EQ(pair.data.Connect(kHost, server.DataPort(0), 1), CClient::ConnectOk);
    auto pump = [&] {
        for (CClient* c : {static_cast<CClient*>(&pair.game), static_cast<CClient*>(&pair.data)}) {
            while (RECVQUEUE* m = c->PopReceived()) {
                if (m->payload && m->size > 0) pair.game.DispatchMessage(m->payload[0], m->payload + 1, m->size - 1);
                delete m;
            }
        }
    };
    auto until = [&](const std::function<bool()>& done) {
        const u32 start = plat::TimeGetTime();
        while (plat::TimeGetTime() - start < 60000) {
            pump();
            if (done()) return true;
            plat::Sleep(2);
        }
        return false;
    };
    ASSERT_TRUE(until([&] { return pair.BothConnected(); }));
    pair.game.loginResult = kLoginWaiting;
    SendLogin("Alice", 3, 5, kClientVersion, &pair.game);
    ASSERT_TRUE(until([&] { return pair.game.loginResult == kLoginAccepted && g.costRate == 1.0f; }));

    CButton_CostRate_L left;
    CButton_CostRate_R right;
    std::vector<f32> seen;
    auto click = [&](ButtonBase& button) {
        const f32 before = g.costRate;
        button.OnClick();
        until([&] { return g.costRate != before; });
        seen.push_back(g.costRate);
    };
    for (int i = 0; i < 10; ++i) click(left);
    click(right);
    click(right);
    const std::vector<f32> expected = {0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f, 0.3f, 0.2f, 0.1f, 10.0f, 0.1f, 0.2f};
    EXPECT_EQ(seen, expected);
    pair.DisconnectBoth();
}
