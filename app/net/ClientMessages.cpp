#include "app/net/ClientMessages.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/net/Client.h"
#include "platform/core/ByteOrder.h"
#include "app/net/RobotInput.h"

namespace {

OutgoingTap g_tap = nullptr;
void* g_tapArg = nullptr;

// Queues one built message. A message the client refuses to queue (no
// memory, too long) leaves the connection out of step with its peers, so it
// ends the connection as a drop would; with no socket it is simply dropped.
void Post(const u8* message, u32 size, CClient* client, void (*done)(u32) = nullptr, u32 doneArg = 0)
{
    if (g_tap) g_tap(message, size, g_tapArg);
    if (!client) return;
    NetMessage m;
    m.length = size;
    m.data = message;
    m.callback = done;
    m.callbackArg = doneArg;
    if (client->Send(m, 1) == CClient::SendRefused) client->Disconnect();
}

void Post(const std::vector<u8>& message, CClient* client) { Post(message.data(), u32(message.size()), client); }

// A fixed 24-byte name block: the bytes of the name up to its end, the rest 0.
void PutName(u8* p, const char* name)
{
    if (!name) return;
    for (int i = 0; i < 24 && name[i]; ++i) p[i] = u8(name[i]);
}

// A message of its id and one byte, 0 in the ones that carry nothing.
void PostByte(u8 id, u8 value, CClient* client)
{
    const u8 m[2] = {id, value};
    Post(m, 2, client);
}

void PostEmpty(u8 id, CClient* client) { PostByte(id, 0, client); }

}  // namespace

void SetOutgoingTap(OutgoingTap tap, void* arg)
{
    g_tap = tap;
    g_tapArg = arg;
}

void WriteRoomSettings(const RoomSettingsRecord& s, u8 out[kRoomSettingsSize])
{
    std::memset(out, 0, kRoomSettingsSize);
    out[0] = kMsgRoomSettings;
    PutU32(out + 1, s.inputInterval);
    PutU32(out + 5, s.netDelay);
    out[9] = s.chatEnabled;
    PutI32(out + 10, s.stageNo);
    PutF32(out + 14, s.hpRate);
    PutF32(out + 18, s.geneRate);
    PutU32(out + 22, s.gameTime);
    out[26] = s.voiceMode;
    out[27] = s.itemEnabled;
    PutF32(out + 28, s.costRate);
    PutU32(out + 32, s.bgmNo);
    out[36] = s.popType;
}

RoomSettingsRecord ReadRoomSettings(const u8 in[kRoomSettingsSize])
{
    RoomSettingsRecord s;
    s.inputInterval = GetU32(in + 1);
    s.netDelay = GetU32(in + 5);
    s.chatEnabled = in[9];
    s.stageNo = GetI32(in + 10);
    s.hpRate = GetF32(in + 14);
    s.geneRate = GetF32(in + 18);
    s.gameTime = GetU32(in + 22);
    s.voiceMode = in[26];
    s.itemEnabled = in[27];
    s.costRate = GetF32(in + 28);
    s.bgmNo = GetU32(in + 32);
    s.popType = in[36];
    return s;
}

namespace {
f32 ClampRate(f32 v, f32 lo, f32 hi)
{
    if (!std::isfinite(v) || v < lo) return lo;
    return v > hi ? hi : v;
}
}  // namespace

void ClampRoomSettings(RoomSettingsRecord& s)
{
    // The low byte is how many frames one key state covers: never 0.
    if ((s.inputInterval & 0xFF) == 0) s.inputInterval = (s.inputInterval & ~0xFFu) | 1u;
    if (s.netDelay < 1) s.netDelay = 1;
    if (s.netDelay > 20) s.netDelay = 20;
    if (s.stageNo < -1) s.stageNo = -1;
    s.hpRate = ClampRate(s.hpRate, 0.05f, 10.0f);
    s.geneRate = ClampRate(s.geneRate, 0.1f, 10.0f);
    s.costRate = ClampRate(s.costRate, 0.1f, 10.0f);
    if (s.gameTime < 5) s.gameTime = 5;
    if (s.gameTime > 60) s.gameTime = 60;
    if (s.voiceMode > 2) s.voiceMode = 0;
    if (s.itemEnabled > 1) s.itemEnabled = 0;
    if (s.popType > 1) s.popType = 0;
    // -2 random music, -1 the default, 0.. a user file (checked when played).
    if (i32(s.bgmNo) < -2) s.bgmNo = u32(-2);
}

u16 EncodeKeyBits(const u8 input[10])
{
    u16 bits = 0;
    for (int k = 1; k <= 9; ++k)
        if (input[k] == 1) bits |= u16(1u << (16 - k));
    const u8 d = input[0];
    if (d == 1 || d == 4 || d == 7) bits |= 0x1;
    if (d == 7 || d == 8 || d == 9) bits |= 0x2;
    if (d == 9 || d == 6 || d == 3) bits |= 0x4;
    if (d == 1 || d == 2 || d == 3) bits |= 0x8;
    return bits;
}

void DecodeKeyBits(u16 bits, u8 out[10])
{
    for (int k = 1; k <= 9; ++k) out[k] = (bits >> (16 - k)) & 1;
    const bool left = bits & 0x1, up = bits & 0x2, right = bits & 0x4, down = bits & 0x8;
    u8 d = 5;
    if (left) d = up ? 7 : (down ? 1 : 4);
    else if (right) d = up ? 9 : (down ? 3 : 6);
    else if (up) d = 8;
    else if (down) d = 2;
    out[0] = d;
}

void SendLogin(const char* name, u32 robot, u32 rankLevel, u32 version, CClient* client)
{
    u8 m[kLoginSize] = {};
    m[0] = kMsgLogin;
    PutName(m + 1, name);
    PutU32(m + 25, robot);
    PutU32(m + 29, rankLevel);
    PutU32(m + 33, version);
    Post(m, sizeof m, client);
}

void SendPlayerSlot(u16 slot, const char* name, u32 robot, u32 team, u32 slotState, u32 rankLevel, CClient* client)
{
    u8 m[kPlayerSlotSize] = {};
    m[0] = kMsgPlayerSlot;
    PutU16(m + 1, slot);
    PutName(m + 3, name);
    PutU32(m + 27, robot);
    PutU32(m + 31, team);
    PutU32(m + 35, slotState);
    PutU32(m + 39, rankLevel);
    Post(m, sizeof m, client);
}

void SendColorSet(u16 ownSlot, u8 colorSet, CClient* client)
{
    u8 m[4] = {kMsgColorSet};
    PutU16(m + 1, ownSlot);
    m[3] = colorSet;
    Post(m, sizeof m, client);
}

void SendPlayerLevel(u16 ownSlot, u32 rankLevel, CClient* client)
{
    u8 m[7] = {kMsgPlayerLevel};
    PutU16(m + 1, ownSlot);
    PutU32(m + 3, rankLevel);
    Post(m, sizeof m, client);
}

void SendRoomSettings(u32 inputInterval, u32 netDelay, u8 chatEnabled, i32 stageNo, f32 hpRate, f32 geneRate,
                      u32 gameTime, u8 voiceMode, u8 itemEnabled, f32 costRate, u32 bgmNo, u8 popType,
                      CClient* client)
{
    const RoomSettingsRecord s{inputInterval, netDelay, chatEnabled, stageNo, hpRate, geneRate,
                               gameTime, voiceMode, itemEnabled, costRate, bgmNo, popType};
    u8 m[kRoomSettingsSize];
    WriteRoomSettings(s, m);
    Post(m, sizeof m, client);
}

void SendRobotSnapshot(const u8* block, CClient* client)
{
    std::vector<u8> m(1 + kSnapshotBlockSize, 0);
    m[0] = kMsgRobotSnapshot;
    if (block) std::memcpy(m.data() + 1, block, kSnapshotBlockSize);
    Post(m, client);
}

void SendHostStateBlock(const u32* words, CClient* client)
{
    u8 m[1 + 4 * kHostStateWords] = {kMsgHostStateBlock};
    for (u32 i = 0; words && i < kHostStateWords; ++i) PutU32(m + 1 + 4 * i, words[i]);
    Post(m, sizeof m, client);
}

void SendAllDataReceived(u8 verdict, CClient* client) { PostByte(kMsgAllDataReceived, verdict, client); }
void SendRepairRequest(u8 suspect, CClient* client) { PostByte(kMsgRepairRequest, suspect, client); }

void SendReady(u32 ready, CClient* client)
{
    u8 m[5] = {kMsgReady};
    PutU32(m + 1, ready);
    Post(m, sizeof m, client);
}

void SendReturnToRoom(CClient* client) { PostEmpty(kMsgReturnToRoom, client); }
void SendSceneLoaded(CClient* client) { PostEmpty(kMsgSceneLoaded, client); }
void SendPing(CClient* client) { PostEmpty(kMsgPing, client); }
void SendRoomStatusQuery(CClient* client) { PostEmpty(kMsgRoomStatusQuery, client); }

void SendPingReport(u8 frameRate, u16 ping, CClient* client)
{
    u8 m[4] = {kMsgPingReport, frameRate};
    PutU16(m + 2, ping);
    Post(m, sizeof m, client);
}

void SendKeyState(const RobotInput* input, u8 random, u32 frame, u8 frameCount, CClient* client)
{
    u8 m[kKeyStateSize] = {kMsgKeyState};
    u8 raw[10] = {5};
    if (input) {
        raw[0] = input->direction;
        std::memcpy(raw + 1, input->buttons, 9);
    }
    PutU32(m + 1, frame);
    PutU16(m + 5, EncodeKeyBits(raw));
    m[7] = random;
    m[8] = frameCount;
    Post(m, sizeof m, client);
}

void SendChatMessage(u16 slot, u8 flag, const char* text, u8 length, CClient* client)
{
    u8 m[kChatMessageSize] = {kMsgChatMessage};
    PutU16(m + 1, slot);
    m[3] = length >= kChatTextBytes ? u8(kChatTextBytes) : length;
    m[4] = flag;
    // A bounded copy of the text: bytes after its end stay 0, byte 104 too.
    for (u32 i = 0; text && i < kChatTextBytes && text[i]; ++i) m[5 + i] = u8(text[i]);
    Post(m, sizeof m, client);
}

void SendFileChunk(u16 kind, u32 n, const void* data, u32 cap, CClient* client, void (*done)(u32), u32 doneArg)
{
    if (!(n < cap) || (n && !data)) return;
    std::vector<u8> m(7 + size_t(n), 0);
    m[0] = kMsgFileChunk;
    PutU16(m.data() + 1, kind);
    PutU32(m.data() + 3, n);
    if (n) std::memcpy(m.data() + 7, data, n);
    Post(m.data(), u32(m.size()), client, done, doneArg);
}

void SendRadioVoice(u16 voice, u8 flag, CClient* client)
{
    u8 m[4] = {kMsgRadioVoice};
    PutU16(m + 1, voice);
    m[3] = flag;
    Post(m, sizeof m, client);
}

void SendLoginAck(u16 ownSlot, CClient* client)
{
    u8 m[3] = {kMsgLoginAck};
    PutU16(m + 1, ownSlot);
    Post(m, sizeof m, client);
}

void SendEquippedPart(u16 partIndex, u32 itemKind, u32 n, const void* data, CClient* client)
{
    // The message is 12 + n bytes; its last byte is never written or read.
    if (n > 0x100000 || (n && !data)) return;
    std::vector<u8> m(12 + size_t(n), 0);
    m[0] = kMsgEquippedPart;
    PutU16(m.data() + 1, partIndex);
    PutU32(m.data() + 3, itemKind);
    PutU32(m.data() + 7, n);
    if (n) std::memcpy(m.data() + 11, data, n);
    Post(m, client);
}
