#include "online/Hooks.h"

#include <cstring>

#include "app/Hooks.h"
#include "app/core/GameSettings.h"
#include "app/player/RoomState.h"
#include "battle/Hooks.h"
#include "online/login/LoginScene.h"
#include "online/protocol/ClientMessages.h"
#include "online/protocol/NetClientPair.h"
#include "online/room/RoomScene.h"
#include "platform/core/Time.h"
#include "robot/Robot.h"

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

void KeyState(const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    RobotInput in;
    in.direction = input[0];
    std::memcpy(in.buttons, input + 1, 9);
    SendKeyState(&in, check, frame, repeat, Data());
}

void Ping()
{
    SendPing(Data());
    GetRoomState().pingSendTime = plat::TimeGetTime();
}

void Snapshot(const u8* block, u32 size)
{
    u8 full[kSnapshotBlockSize] = {};
    if (block) std::memcpy(full, block, size < kSnapshotBlockSize ? size : kSnapshotBlockSize);
    SendRobotSnapshot(full, Game());
}

void Chat(u16 slot, u8 flag, const char* text, u32 length)
{
    SendChatMessage(slot, flag, text, u8(length >= kChatTextBytes ? kChatTextBytes : length), Data());
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
    battle.sendSceneLoaded = [] { SendSceneLoaded(Game()); };
    battle.sendKeyState = KeyState;
    battle.sendPing = Ping;
    battle.sendPingReport = [](u8 status, u16 ownPing) { SendPingReport(status, ownPing, Data()); };
    battle.sendRobotSnapshot = Snapshot;
    battle.sendHostStateBlock = [](const u32 words[63]) { SendHostStateBlock(words, Game()); };
    battle.sendAllDataReceived = [] { SendAllDataReceived(Game()); };
    battle.sendReturnToRoom = [] { SendReturnToRoom(Data()); };
    battle.sendChatMessage = Chat;
    battle.sendRadioVoice = [](u16 voice, u8 flag) { SendRadioVoice(voice, flag, Game()); };
    battle.sendPlayerLevel = [](u16 ownSlot, u32 rank) { SendPlayerLevel(ownSlot, rank, Game()); };
    RegisterBattleHooks(battle);
}
