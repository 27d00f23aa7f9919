#pragma once
// Every message the client sends the room server: one identifier byte and a
// packed little-endian layout, queued on the game or data connection. Each
// encoder builds the message in a zero-filled buffer of its exact size and
// hands it to CClient::Send, which keeps its own copy.
#include "platform/core/Types.h"

class CClient;
struct RobotInput;

enum ClientMessageId : u8 {
    kMsgLogin = 0,
    kMsgPlayerSlot = 1,
    kMsgColorSet = 2,
    kMsgPlayerLevel = 3,
    kMsgRoomSettings = 4,
    kMsgRobotSnapshot = 5,
    kMsgHostStateBlock = 6,
    kMsgAllDataReceived = 7,
    kMsgReady = 8,
    kMsgReturnToRoom = 9,
    kMsgSceneLoaded = 10,
    kMsgPingReport = 11,
    kMsgPing = 12,
    kMsgRoomStatusQuery = 13,
    kMsgKeyState = 14,
    kMsgChatMessage = 15,
    kMsgFileChunk = 16,
    kMsgRadioVoice = 17,
    kMsgLoginAck = 18,
    kMsgRepairRequest = 19,
    kMsgEquippedPart = 20,
};

inline constexpr u32 kClientVersion = 20040;
inline constexpr u32 kLoginSize = 37;
inline constexpr u32 kPlayerSlotSize = 43;
inline constexpr u32 kRoomSettingsSize = 37;
inline constexpr u32 kSnapshotBlockSize = 20011;
inline constexpr u32 kHostStateWords = 63;
inline constexpr u32 kKeyStateSize = 9;
inline constexpr u32 kChatMessageSize = 105;
inline constexpr u32 kChatTextBytes = 99;
inline constexpr u32 kEquippedPartSize = 426;

// File kinds of a file chunk and the caps both ends keep (a chunk travels
// only when it is strictly smaller than its cap).
inline constexpr u16 kFileKindControl = 999;
inline constexpr u32 kCapFace = 102400;
inline constexpr u32 kCapAnimation = 102400;
inline constexpr u32 kCapScriptPicture = 204800;
inline constexpr u32 kCapVoice = 51200;
inline constexpr u32 kCapTextLine = 51200;
inline constexpr u32 kCapControl = 100;

// The twelve room settings, in message order.
struct RoomSettingsRecord {
    u32 inputInterval = 1;
    u32 netDelay = 1;
    u8 chatEnabled = 1;
    i32 stageNo = -1;
    f32 hpRate = 1.0f;
    f32 geneRate = 1.0f;
    u32 gameTime = 5;
    u8 voiceMode = 0;
    u8 itemEnabled = 0;
    f32 costRate = 1.0f;
    u32 bgmNo = 0;
    u8 popType = 0;
};
void WriteRoomSettings(const RoomSettingsRecord& s, u8 out[kRoomSettingsSize]);
RoomSettingsRecord ReadRoomSettings(const u8 in[kRoomSettingsSize]);
// Keeps every setting inside what the room's buttons can choose, so a
// hostile record cannot stall or break a battle (the key repeat never 0).
void ClampRoomSettings(RoomSettingsRecord& s);

// Key bits of a ten-byte input record: bits 0-3 left, up, right, down;
// bits 15..7 the button bytes 1..9 that are exactly 1.
u16 EncodeKeyBits(const u8 input[10]);
void DecodeKeyBits(u16 bits, u8 out[10]);

void SendLogin(const char* name, u32 robot, u32 rankLevel, u32 version, CClient* client);
void SendPlayerSlot(u16 slot, const char* name, u32 robot, u32 team, u32 slotState, u32 rankLevel, CClient* client);
void SendColorSet(u16 ownSlot, u8 colorSet, CClient* client);
void SendPlayerLevel(u16 ownSlot, u32 rankLevel, CClient* client);
void SendRoomSettings(u32 inputInterval, u32 netDelay, u8 chatEnabled, i32 stageNo, f32 hpRate, f32 geneRate,
                      u32 gameTime, u8 voiceMode, u8 itemEnabled, f32 costRate, u32 bgmNo, u8 popType,
                      CClient* client);
void SendRobotSnapshot(const u8* block, CClient* client);
void SendHostStateBlock(const u32* words, CClient* client);
// The verdict on a repair host's whole set: 0 taken, 1 a part of it out of range.
void SendAllDataReceived(u8 verdict, CClient* client);
// A drift was found: the server opens the repair on every client. The suspect
// is the row whose check byte stood against the others' (0xFF: none told).
void SendRepairRequest(u8 suspect, CClient* client);
void SendReady(u32 ready, CClient* client);
void SendReturnToRoom(CClient* client);
void SendSceneLoaded(CClient* client);
void SendPingReport(u8 frameRate, u16 ping, CClient* client);
void SendPing(CClient* client);
void SendRoomStatusQuery(CClient* client);
void SendKeyState(const RobotInput* input, u8 random, u32 frame, u8 frameCount, CClient* client);
void SendChatMessage(u16 slot, u8 flag, const char* text, u8 length, CClient* client);
// Sends nothing unless n < cap. Callers pace uploads over frames (one chunk
// per frame); nothing sleeps on the main thread.
void SendFileChunk(u16 kind, u32 n, const void* data, u32 cap, CClient* client, void (*done)(u32), u32 doneArg);
void SendRadioVoice(u16 voice, u8 flag, CClient* client);
void SendLoginAck(u16 ownSlot, CClient* client);
void SendEquippedPart(u16 partIndex, u32 itemKind, u32 n, const void* data, CClient* client);

// Test hook: sees every encoded message (identifier first) before it is
// queued, whether or not a connection is up.
using OutgoingTap = void (*)(const u8* message, u32 size, void* arg);
void SetOutgoingTap(OutgoingTap tap, void* arg);
