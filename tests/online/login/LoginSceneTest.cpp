#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "online/login/LoginScene.h"
#include "online/protocol/NetClientPair.h"
#include "platform/core/Time.h"
#include "platform/net/Socket.h"
#include "support/RoomServer.h"
#include "support/TempFolder.h"

TEST(PlayerIdCode, PairsOfDigitsPickLettersOfTheAlphabet)
{
    const std::pair<u32, const char*> cases[] = {
        {12345678, "mI4qsB"}, {0, "aaaaaa"}, {99999999, "LLLLLL"}, {61, "aaa9bg"}, {4294967295u, "GIkHHX"}};
    for (auto [number, code] : cases) {
        char out[7];
        PlayerIdCode(out, number);
        EXPECT_STREQ(out, code) << number;
    }
}

// The scan asks the five rooms one step per frame: a room that answers is
// offered, one that refuses and one that accepts but stays silent are not.
TEST(LoginScan, RoomsThatAnswerRefuseOrStaySilent)
{
    TempFolder temp;
    CApplication& app = *GetApplication();
    std::strncpy(app.startupDir, temp.Path().c_str(), sizeof app.startupDir - 1);
    NetClientPair& pair = *GetOnlineClients();
    // A free stretch of ports: room 0 served, 1 refused, 2 silent, 3 and 4 refused.
    std::unique_ptr<RoomServer> server;
    plat::SocketId silent = plat::InvalidSocket;
    for (u16 base = 42000; base < 60000 && !server; base += 97) {
        auto s = std::make_unique<RoomServer>(1, RoomServerConfig{}, base, u16(base + 1000));
        u16 silentPort = u16(base + 1002);
        if (!s->Listening()) continue;
        silent = plat::NetListenTcp(0x7F000001u, &silentPort, 4);
        if (silent == plat::InvalidSocket) continue;
        pair.gamePortBase = base;
        pair.dataPortBase = u16(base + 1000);
        server = std::move(s);
    }
    ASSERT_TRUE(server);
    std::strcpy(pair.serverAddress, "127.0.0.1");

    auto* scene = new CLoginScene();
    SceneInstance<CLoginScene>() = scene;
    LGTCB_Proc_Normal* task = LGTCB_Proc_Normal::Create(&scene->Tasks(), 10);
    task->StartScan();
    const u32 start = plat::TimeGetTime();
    u32 frames = 0;
    while (task->state != &LGTCB_Proc_Normal::Proc_RoomChoice && plat::TimeGetTime() - start < 15000) {
        task->Proc();
        ++frames;
        plat::Sleep(5);
    }
    EXPECT_EQ(task->state, &LGTCB_Proc_Normal::Proc_RoomChoice);
    EXPECT_GT(frames, 20u);  // many frames: the window kept running meanwhile
    EXPECT_EQ(pair.roomStatusFlag[0], 2);
    for (int r = 1; r < 5; ++r) EXPECT_EQ(pair.roomStatusFlag[r], 0) << r;
    EXPECT_STREQ(ViewRoomStatus(pair.roomStatus[0]).title, "Test room");
    EXPECT_FALSE(pair.data.IsConnected());

    delete scene;
    plat::NetClose(silent);
    pair.gamePortBase = kDefaultGamePort;
    pair.dataPortBase = kDefaultDataPort;
    app.startupDir[0] = 0;
}
