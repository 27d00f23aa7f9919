#include "battle/RoomMessages.h"

#include <cstring>

#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "app/net/RobotInput.h"
#include "app/player/RoomState.h"
#include "platform/core/Time.h"

namespace {

CClient* Game()
{
    NetClientPair* pair = GetOnlineClients();
    return pair ? &pair->game : nullptr;
}

CClient* Data()
{
    NetClientPair* pair = GetOnlineClients();
    return pair ? &pair->data : nullptr;
}

}  // namespace

void SendSceneLoaded() { SendSceneLoaded(Game()); }

void SendKeyState(const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    RobotInput in;
    in.direction = input[0];
    std::memcpy(in.buttons, input + 1, 9);
    SendKeyState(&in, check, frame, repeat, Data());
}

void SendPing()
{
    SendPing(Data());
    GetRoomState().pingSendTime = plat::TimeGetTime();
}

void SendPingReport(u8 status, u16 ownPing) { SendPingReport(status, ownPing, Data()); }

void SendRobotSnapshot(const u8* block, u32 size)
{
    u8 full[kSnapshotBlockSize] = {};
    if (block) std::memcpy(full, block, size < kSnapshotBlockSize ? size : kSnapshotBlockSize);
    SendRobotSnapshot(full, Game());
}

void SendHostStateBlock(const u32 words[63]) { SendHostStateBlock(words, Game()); }
void SendAllDataReceived(u8 verdict) { SendAllDataReceived(verdict, Game()); }
void SendRepairRequest(u8 suspect) { SendRepairRequest(suspect, Game()); }
void SendReturnToRoom()
{
    GetRoomState().returnAsked = 1;
    SendReturnToRoom(Data());
}

void SendChatMessage(u16 slot, u8 flag, const char* text, u32 length)
{
    SendChatMessage(slot, flag, text, u8(length >= kChatTextBytes ? kChatTextBytes : length), Data());
}

void SendRadioVoice(u16 voice, u8 flag) { SendRadioVoice(voice, flag, Game()); }
void SendPlayerLevel(u16 ownSlot, u32 rankLevel) { SendPlayerLevel(ownSlot, rankLevel, Game()); }
