#include "app/net/NetClientPair.h"

#include <new>

#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/player/PilotRegistry.h"
#include "app/player/RoomState.h"
#include "platform/core/ByteOrder.h"

OnlineTargets ApplicationTargets()
{
    OnlineTargets t;
    t.room = &GetRoomState();
    t.pilots = GetPilotRegistry();
    if (CApplication* app = GetApplication()) {
        if (app->players.GetCount() >= PlayerEntryCount) t.players = &app->players[0];
        t.settings = &app->gameSettings;
        t.addChatLine = [](const char* text, u32 colour) { GetApplication()->AddChatLine(text, colour); };
    }
    return t;
}

NetClientPair::NetClientPair(const OnlineTargets& t) : targets(t)
{
    game.pair = this;
    data.pair = this;
    // Scripted games move off the default ports (the data ports 1000 above
    // the game ports), so two online tests can run side by side.
    const i32 base = GetTestSwitches().portBase;
    if (base > 0 && base + 1000 + 10 < 65536) {
        gamePortBase = static_cast<u16>(base);
        dataPortBase = static_cast<u16>(base + 1000);
    }
}

CRoboClient::~CRoboClient() { Disconnect(); }

u32 CRoboClient::OnEvent(u32, u32, void*) { return 0; }

CDataClient::~CDataClient() { Disconnect(); }

u32 CDataClient::OnEvent(u32 userValue, u32 code, void* info)
{
    return pair ? pair->game.OnEvent(userValue, code, info) : 0;
}

void NetClientPair::DisconnectBoth()
{
    game.Disconnect();
    data.Disconnect();
}

NetClientPair* GetOnlineClients()
{
    // Never destroyed: the network threads may outlive every other object at exit.
    static NetClientPair* pair = new (std::nothrow) NetClientPair();
    return pair;
}

RoomStatusView ViewRoomStatus(const u8 record[kRoomStatusSize])
{
    RoomStatusView v;
    v.room = i8(record[0]);
    v.rule = i8(record[1]);
    v.players = i8(record[2]);
    for (int i = 0; i < 10; ++i) v.names[i] = reinterpret_cast<const char*>(record + 3 + 25 * i);
    v.title = reinterpret_cast<const char*>(record + 253);
    v.capacity = GetU32(record + 453);
    v.languageFlag = record[457];
    v.chatAllowed = record[458];
    return v;
}
