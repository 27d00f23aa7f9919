#pragma once
// What the program sends its room, seen before any connection: each message
// decoded back into the call that sent it, for tests that stand in for the
// server. Listening lasts as long as the object.
#include <cstring>

#include "app/net/ClientMessages.h"
#include "app/player/RoomState.h"
#include "platform/core/ByteOrder.h"

struct SentMessages {
    void (*sceneLoaded)() = nullptr;
    void (*keyState)(const u8 input[10], u8 check, u32 frame, u8 repeat) = nullptr;
    void (*robotSnapshot)(const u8* block, u32 size) = nullptr;
    void (*allDataReceived)() = nullptr;
    void (*repairRequest)() = nullptr;
    // The same messages with what they carry: the host's team arrays as
    // sent (252 bytes), a set's verdict, a request's suspect row.
    void (*hostStateBlock)(const u8* words) = nullptr;
    void (*verdict)(u8 refused) = nullptr;
    void (*suspect)(u8 slot) = nullptr;
    void (*chatMessage)(u16 slot, u8 flag, const char* text, u32 length) = nullptr;

    SentMessages() { SetOutgoingTap(&SentMessages::Heard, this); }
    ~SentMessages() { SetOutgoingTap(nullptr, nullptr); }
    SentMessages(const SentMessages&) = delete;
    SentMessages& operator=(const SentMessages&) = delete;

private:
    static void Heard(const u8* m, u32 size, void* arg)
    {
        const SentMessages& s = *static_cast<const SentMessages*>(arg);
        switch (m[0]) {
        case kMsgSceneLoaded:
            if (s.sceneLoaded) s.sceneLoaded();
            break;
        case kMsgKeyState:
            if (s.keyState && size == kKeyStateSize) {
                u8 input[10];
                DecodeKeyBits(GetU16(m + 5), input);
                s.keyState(input, m[7], GetU32(m + 1), m[8]);
            }
            break;
        case kMsgRobotSnapshot:
            if (s.robotSnapshot) s.robotSnapshot(m + 1, size - 1);
            break;
        case kMsgHostStateBlock:
            if (s.hostStateBlock && size == 253) s.hostStateBlock(m + 1);
            break;
        case kMsgAllDataReceived:
            if (s.verdict) s.verdict(m[1]);
            if (s.allDataReceived) s.allDataReceived();
            break;
        case kMsgRepairRequest:
            if (s.suspect) s.suspect(m[1]);
            if (s.repairRequest) s.repairRequest();
            break;
        case kMsgChatMessage:
            if (s.chatMessage && size == kChatMessageSize)
                s.chatMessage(GetU16(m + 1), m[4], reinterpret_cast<const char*>(m + 5), m[3]);
            break;
        default:
            break;
        }
    }
};

// The room as a battle finds it once logged in, both connections up: all a
// test standing in for the server needs before the battle talks to it.
inline RoomState& ConnectedRoom(u32 ownSlot, u32 inputDelay = 2)
{
    RoomState& room = GetRoomState();
    room = RoomState();
    room.gameConnected = room.dataConnected = 1;
    room.inputDelay = inputDelay;
    room.ownSlot = ownSlot;
    return room;
}
