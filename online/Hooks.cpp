#include "online/Hooks.h"

#include "app/Hooks.h"
#include "app/core/GameSettings.h"
#include "app/player/RoomState.h"
#include "battle/Hooks.h"
#include "online/login/LoginScene.h"
#include "app/net/NetClientPair.h"
#include "online/room/RoomScene.h"

namespace {

CRoboClient* Game()
{
    NetClientPair* pair = GetOnlineClients();
    return pair ? &pair->game : nullptr;
}

CDataClient* Data()
{
    NetClientPair* pair = GetOnlineClients();
    return pair ? &pair->data : nullptr;
}

// Called once per pass at least: the battle learns from the room state
// whether both connections still hold.
RECVQUEUE* PopGame()
{
    NetClientPair* pair = GetOnlineClients();
    RoomState& room = GetRoomState();
    room.gameConnected = pair && pair->game.IsConnected() ? 1 : 0;
    room.dataConnected = pair && pair->data.IsConnected() ? 1 : 0;
    return Game() ? Game()->PopReceived() : nullptr;
}
RECVQUEUE* PopData() { return Data() ? Data()->PopReceived() : nullptr; }
void DispatchGame(u8 id, const u8* body, u32 size)
{
    if (CRoboClient* c = Game()) c->DispatchMessage(id, body, size);
}
void DispatchData(u8 id, const u8* body, u32 size)
{
    if (CDataClient* c = Data()) c->DispatchMessage(id, body, size);
}

void Disconnect()
{
    if (CRoboClient* c = Game()) c->Disconnect();
    if (CDataClient* c = Data()) c->Disconnect();
}

}  // namespace

void RegisterOnlineHooks()
{
    AppHooks& app = GetAppHooks();
    app.network.popGame = PopGame;
    app.network.popData = PopData;
    app.network.dispatchGame = DispatchGame;
    app.network.dispatchData = DispatchData;
    app.getNetClientPair = GetOnlineClients;
    app.title.entries[i32(GameMode::Online)].scene = GetLoginSceneAsBase;

    BattleHooks battle = GetBattleHooks();
    battle.disconnectClients = Disconnect;
    battle.clientsConnected = [] {
        NetClientPair* pair = GetOnlineClients();
        return pair && pair->BothConnected();
    };
    battle.roomScene = GetRoomSceneAsBase;
    RegisterBattleHooks(battle);
}
