#pragma once
// What a battle tells its room: the messages of online play, sent on the
// game's client pair (app/net/). Offline, with no connection, nothing goes out.
#include "platform/core/Types.h"

void SendSceneLoaded();
// A key-state record (direction, nine buttons) for frame and the repeat
// frames after it, with the battle's check byte.
void SendKeyState(const u8 input[10], u8 check, u32 frame, u8 repeat);
// A ping; its send time is kept for the answer.
void SendPing();
void SendPingReport(u8 status, u16 ownPing);
// A robot block of up to the snapshot size, the rest zero.
void SendRobotSnapshot(const u8* block, u32 size);
void SendHostStateBlock(const u32 words[63]);
// The verdict on the host's whole set: 0 taken, 1 refused as out of range.
void SendAllDataReceived(u8 verdict);
// This client found a drift; the server's word starts the repair. The
// suspect is the row whose check byte stood against the others'.
void SendRepairRequest(u8 suspect);
void SendReturnToRoom();
// Text of length bytes (cut to what a message holds).
void SendChatMessage(u16 slot, u8 flag, const char* text, u32 length);
void SendRadioVoice(u16 voice, u8 flag);
void SendPlayerLevel(u16 ownSlot, u32 rankLevel);
