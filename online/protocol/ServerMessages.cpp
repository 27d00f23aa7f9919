// The dispatcher of every server message. Each message is untrusted: it is
// applied only when it is as long as its layout and every slot, index,
// count and text in it is in range; anything else changes nothing.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "app/core/Application.h"
#include "app/player/GameItem.h"
#include "app/player/PilotRegistry.h"
#include "app/player/PlayerEntry.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/TextCodec.h"
#include "platform/core/Time.h"
#include "platform/gfx/TextureFile.h"

namespace {

constexpr u32 kMaxPilotPictureEdge = 1024;





enum ServerMessageId : u16 {
    kSrvLoginAccepted = 0,
    kSrvPlayerEntry = 1,
    kSrvColorSet = 2,
    kSrvPlayerLevel = 3,
    kSrvPlayerLeft = 4,
    kSrvLoginRefused = 5,
    kSrvRoomSettings = 6,
    kSrvGameStart = 7,
    kSrvSceneLoaded = 8,
    kSrvReturnToRoom = 9,
    kSrvRepairRequest = 10,
    kSrvRobotSnapshot = 11,
    kSrvHostStateBlock = 12,
    kSrvAllDataReceived = 13,
    kSrvKeyState = 15,
    kSrvPingReport = 16,
    kSrvPingEcho = 17,
    kSrvRoomStatus = 18,
    kSrvChatLine = 19,
    kSrvFileData = 20,
    kSrvRadioCall = 21,
    kSrvEquippedPart = 22,
};

// Bytes after the identifier each message needs; 0 for none.
u32 BodySize(u16 id)
{
    switch (id) {
    case kSrvLoginAccepted: return 27;
    case kSrvPlayerEntry: return 51;
    case kSrvColorSet: return 3;
    case kSrvPlayerLevel: return 6;
    case kSrvPlayerLeft: return 6;
    case kSrvLoginRefused: return 6;
    case kSrvRoomSettings: return kRoomSettingsSize - 1;
    case kSrvGameStart: return 4;
    case kSrvSceneLoaded: return 2;
    case kSrvReturnToRoom: return 6;
    case kSrvRepairRequest: return 6;
    // Repair data ends with the slot of the fighter that sent it.
    case kSrvRobotSnapshot: return kSnapshotBlockSize + 2;
    case kSrvHostStateBlock: return 4 * kHostStateWords + 2;
    case kSrvAllDataReceived: return 2;
    case kSrvKeyState: return 9;
    case kSrvPingReport: return 5;
    case kSrvPingEcho: return 0;
    case kSrvRoomStatus: return kRoomStatusSize;
    case kSrvChatLine: return 4;
    case kSrvFileData: return 8;
    case kSrvRadioCall: return 4;
    case kSrvEquippedPart: return 426;
    default: return 0;
    }
}

PlayerEntry* Entry(const OnlineTargets& t, u32 slot)
{
    return t.players && slot < u32(PlayerEntryCount) ? &t.players[slot] : nullptr;
}

PilotSlot* Pilot(const OnlineTargets& t, u32 slot)
{
    return t.pilots && slot < u32(MaxPilots) ? &t.pilots->slots[slot] : nullptr;
}

void AddChat(const OnlineTargets& t, const char* text, u32 colour)
{
    if (t.addChatLine) t.addChatLine(text, colour);
}

// Copies a text of at most `n` bytes (terminated or not) into dst, cut on a
// whole character and always terminated.
void CopyText(char* dst, size_t dstSize, const u8* src, size_t n)
{
    std::string text(reinterpret_cast<const char*>(src), strnlen(reinterpret_cast<const char*>(src), n));
    // A sender's fixed field may end part-way into a character: drop that part.
    size_t lead = text.size();
    while (lead > 0 && text.size() - lead < 3 && plat::IsUtf8Continuation(u8(text[lead - 1]))) --lead;
    if (lead > 0 && plat::Utf8SequenceLength(u8(text[lead - 1])) > text.size() - lead + 1) text.resize(lead - 1);
    plat::Utf8CopyTruncated(dst, dstSize, text.c_str());
}

// Rewrites a fixed text field of a record in place: cut on a whole
// character inside the field, zero-filled behind.
void TerminateField(u8* field, size_t n)
{
    char text[256] = {};
    CopyText(text, n < sizeof text ? n : sizeof text, field, n);
    std::memset(field, 0, n);
    std::memcpy(field, text, std::strlen(text));
}

bool ValidRobot(u32 robot)
{
    const i32 r = i32(robot);
    return r == -1 || (r >= 0 && r < 100) || (r >= 1000 && r < 1100);
}

bool ValidTeam(u32 team) { return team <= 9 || team == 50 || team == 100; }

void AddEnterLeaveLine(const OnlineTargets& t, const char* format, const char* name, u32 colour)
{
    char line[160];
    std::snprintf(line, sizeof line, format, name);
    AddChat(t, line, colour);
}

void ApplyPlayerEntry(const OnlineTargets& t, const u8* b)
{
    PlayerEntry* e = Entry(t, GetU16(b + 24));
    const u32 robot = GetU32(b + 26), team = GetU32(b + 30), inBattle = GetU32(b + 34), state = GetU32(b + 38);
    const u8 ready = b[42];
    const u32 rank = GetU32(b + 43);
    if (!e || !ValidRobot(robot) || !ValidTeam(team) || state > 2 || ready > 2 || inBattle > 1 ||
        rank > MaxRankLevel)
        return;
    CopyText(e->name, sizeof e->name, b, 24);
    if (e->joined == 0 && state == 1) AddEnterLeaveLine(t, "---%s 进入房间---", e->name, 0xFF00FF64u);
    if (state == 1) e->joined = 1;
    e->inBattle = inBattle;
    e->robot = i32(robot);
    e->team = i32(team);
    e->slotState = i32(state);
    e->readyState = ready;
    e->rankLevel = rank;
    e->idNumber = GetU32(b + 47);
}

void ApplyPlayerLeft(const OnlineTargets& t, const u8* b)
{
    const u32 slot = GetU16(b);
    PlayerEntry* e = Entry(t, slot);
    if (!e) return;
    const PlayerEntry* own = t.room ? Entry(t, t.room->ownSlot) : nullptr;
    if (own && own->inBattle != 0) {
        // The battle removes the participant when it reaches that frame of
        // the run it had confirmed; the room clears the row afterwards.
        e->leaveFrame = GetI32(b + 2);
        e->leaveRun = e->confirmedRuns;
        e->departed = 1;
        e->heldKeyStates.clear();
    } else {
        e->joined = 0;
        e->slotState = 0;
    }
    AddEnterLeaveLine(t, "---%s 退出房间---      ", e->name, 0xFFFF0064u);
    if (PilotSlot* pilot = Pilot(t, slot)) pilot->Clear();
}

void ApplyRoomSettings(const OnlineTargets& t, const u8* b)
{
    if (!t.settings) return;
    u8 record[kRoomSettingsSize];
    record[0] = kMsgRoomSettings;
    std::memcpy(record + 1, b, kRoomSettingsSize - 1);
    RoomSettingsRecord s = ReadRoomSettings(record);
    ClampRoomSettings(s);
    GameSettings& g = *t.settings;
    g.roomSetting = s.inputInterval;
    g.netDelay = s.netDelay;
    g.chat = s.chatEnabled;
    g.stage = u32(s.stageNo);
    g.hpRate = s.hpRate;
    g.energyRate = s.geneRate;
    g.timeLimit = s.gameTime;
    g.voiceMode = s.voiceMode;
    g.item = s.itemEnabled;
    g.costRate = s.costRate;
    g.bgmNo = s.bgmNo;
    g.popType = s.popType;
}

void ApplyKeyState(const OnlineTargets& t, const u8* b)
{
    PlayerEntry* e = Entry(t, b[0]);
    if (!e) return;
    // Key states belong to a battle this player is in: one already back in
    // the room keeps none, or its next battle would find its queues full of
    // the last one's frames.
    const PlayerEntry* own = t.room ? Entry(t, t.room->ownSlot) : nullptr;
    if (!own || own->inBattle == 0) return;
    // In a repair, what a participant sent before it had all data belongs to
    // the abandoned run; the frames count from 0 again, so it would pass for
    // the new run's input. A participant's new run begins with its frame 0,
    // and everything before that is dropped. Key states and the confirmation
    // may come on different connections: a new run's key states that arrive
    // before their confirmation are held until it comes, never dropped.
    const u32 frame = GetU32(b + 1);
    const bool confirmed = !(t.room && t.room->repairState != 0 && e->snapshotState != 2);
    if (!confirmed) {
        if (e->awaitingNewRun && (frame == 0 || !e->heldKeyStates.empty()) &&
            e->heldKeyStates.size() < size_t(kKeyQueueLimit)) {
            std::array<u8, 9> held;
            std::memcpy(held.data(), b, held.size());
            e->heldKeyStates.push_back(held);
        }
        return;
    }
    if (e->awaitingNewRun) {
        if (frame != 0) return;
        e->awaitingNewRun = 0;
    }
    u8 input[10];
    DecodeKeyBits(GetU16(b + 5), input);
    const u8 check = b[7];
    const u32 count = b[8];
    // A record is applied input-delay frames after its own; those whose
    // frame has been applied already can never be used again.
    const CGameScene* scene = FindGameScene();
    const u32 delay = t.room ? t.room->inputDelay : 0;
    const u32 applied = scene && scene->battleFrame >= delay ? scene->battleFrame - delay : 0;
    for (u32 i = 0; i < count; ++i) {
        const u32 f = frame + i;
        if (f < frame || f < applied) continue;
        if (e->keyQueue.GetCount() >= kKeyQueueLimit) break;
        KEYRECVLIST* node = CreateInListFront<KEYRECVLIST>(&e->keyQueue, 1);
        if (!node) break;
        node->frame = f;
        std::memcpy(node->input, input, sizeof input);
        node->check = check;
        node->applied = 0;
    }
}

void ApplyAllDataReceived(const OnlineTargets& t, const u8* b)
{
    PlayerEntry* e = Entry(t, GetU16(b));
    if (!e) return;
    e->snapshotState = 2;
    // The run it confirmed is the one repaired, however many hosts' sets
    // that took.
    e->confirmedRuns = t.room ? t.room->run + 1 : e->confirmedRuns + 1;
    std::vector<std::array<u8, 9>> held;
    held.swap(e->heldKeyStates);
    for (const auto& k : held) ApplyKeyState(t, k.data());
}

void ApplyRoomStatus(NetClientPair* pair, const u8* b)
{
    const i8 r = i8(b[0]);
    if (!pair || r < 0 || r >= i8(kRoomCount)) return;
    u8* record = pair->roomStatus[r];
    std::memcpy(record, b, kRoomStatusSize);
    for (int i = 0; i < 10; ++i) TerminateField(record + 3 + 25 * i, 25);
    TerminateField(record + 253, 200);
    // Rule, head count and capacity index the login scene's tables.
    if (record[1] > 4) record[1] = 0;
    const u32 capacity = GetU32(record + 453);
    PutU32(record + 453, capacity < 1 ? 1 : (capacity > 10 ? 10 : capacity));
    if (i8(record[2]) < 0) record[2] = 0;
    if (record[2] > GetU32(record + 453)) record[2] = u8(GetU32(record + 453));
    pair->roomStatusFlag[r] = 2;
}

void AddChatMessage(const OnlineTargets& t, const char* name, const char* text, u32 colour)
{
    std::string line = name;
    line += ":";
    line += text;
    AddChat(t, line.c_str(), colour);
}

void ApplyChatLine(const OnlineTargets& t, const u8* b, u32 size)
{
    char text[100];
    CopyText(text, sizeof text, b + 4, size - 4);
    const i8 kind = i8(b[2]);
    if (kind == 10) {
        AddChat(t, text, 0xFF00FF00u);
        return;
    }
    PlayerEntry* e = Entry(t, GetU16(b));
    if (!e) return;
    std::memcpy(e->chatText, text, sizeof text);
    e->chatTimer = 600;
    e->pendingRadio = 999;
    std::memcpy(e->pendingRadioText, text, sizeof text);
    if (kind == 0) AddChatMessage(t, e->name, text, 0xFFFFFFFFu);
    else if (kind == 1) AddChatMessage(t, e->name, text, 0xFFFF00FFu);
}

// What tells a peer's refused voice (kinds 0..49) or picture (100..149) in
// the chat, on the main thread once the worker has refused it: one line
// per upload, however many of its files are refused.
VoiceRefusalTell RefusalTeller(const OnlineTargets& t, PilotSlot& pilot, u16 slot, u32 kind)
{
    const PlayerEntry* e = Entry(t, slot);
    const std::string name = e ? e->name : "";
    return [t, &pilot, name, kind](VoiceRefusal refusal) {
        if (pilot.voiceRefusalTold || refusal == VoiceRefusal::Unreadable) return;
        pilot.voiceRefusalTold = true;
        const bool picture = kind >= 100;
        const char* what = picture ? "图片" : "语音";
        const u32 number = picture ? kind - 100 : kind;
        char line[200];
        if (refusal == VoiceRefusal::TooLong)
            std::snprintf(line, sizeof line, "---%s 的语音%u被拒收  语音不能超过%u秒---", name.c_str(), number,
                          kMaxVoiceSeconds);
        else if (refusal == VoiceRefusal::OverBudget)
            std::snprintf(line, sizeof line, "---%s 的%s%u被拒收  %s总量不能超过%uMB---", name.c_str(), what, number,
                          what, u32((picture ? PilotPictureBudget : PilotVoiceBudget) >> 20));
        else
            std::snprintf(line, sizeof line, "---%s 的%s%u被拒收  无法解码---", name.c_str(), what, number);
        AddChat(t, line, 0xFFFF0000u);
    };
}

void ApplyFileData(const OnlineTargets& t, const u8* b, u32 size)
{
    PilotSlot* pilot = Pilot(t, GetU16(b));
    const u32 kind = GetU16(b + 2);
    const u32 n = GetU32(b + 4);
    if (!pilot || Entry(t, GetU16(b)) == nullptr || n > size - 8) return;
    const u8* data = b + 8;
    if (kind >= 100 && kind < 100 + u32(PilotPictureCount)) {
        if (!(n < kCapScriptPicture)) return;
        // Decoded in the helper on the worker, within the pilot's picture
        // budget: nothing of it is read here.
        pilot->TakePicture(i32(kind - 100), data, n, RefusalTeller(t, *pilot, GetU16(b), kind));
        pilot->uploadReceived += n;
    } else if (kind >= 200 && kind < 200 + u32(RadioTextCount)) {
        if (!(n < kCapTextLine)) return;
        CopyText(pilot->radioTexts[kind - 200], sizeof pilot->radioTexts[0], data, n);
    } else if (kind >= 300 && kind < 300 + u32(PilotAnimationCount)) {
        // Whole words only, within the sender's cap.
        if (!(n < kCapAnimation) || n % 4 != 0) return;
        std::vector<AnimationFrame>& frames = pilot->animations[kind - 300];
        frames.assign(n / 4, AnimationFrame{});
        for (u32 i = 0; i < n / 4; ++i) {
            const u32 w = GetU32(data + 4 * i);
            frames[i].duration = u16(w & 0xFFFF);
            frames[i].picture = u8(w >> 16);
            frames[i].voice = u8(w >> 24);
        }
        pilot->pictureSource = 2;
    } else if (kind == kFileKindControl) {
        if (n < 8 || !(n < kCapControl)) return;
        const u32 step = GetU32(data);
        if (step == 0) {
            pilot->uploadTotal = i32(GetU32(data + 4));
            pilot->uploadReceived = 0;
            pilot->voiceRefusalTold = false;
        } else if (step == 1) {
            pilot->uploadTotal = -1;
        }
    } else if (kind < u32(PilotSoundCount)) {
        // A room that sends no voices takes none either.
        if (!(n < kCapVoice) || (t.settings != nullptr && t.settings->voiceMode == 0)) return;
        // Decoded in the helper on the worker: no temporary file, no frame
        // held up, and no more samples than a pilot may keep.
        pilot->TakeVoice(i32(kind), data, n, 0, RefusalTeller(t, *pilot, GetU16(b), kind));
        pilot->uploadReceived += n;
    }
}

void ApplyEquippedPart(const OnlineTargets& t, const u8* b)
{
    const u32 slot = GetU16(b), index = GetU16(b + 2), kind = GetU32(b + 4);
    PlayerEntry* e = Entry(t, slot);
    if (!e || slot >= 10 || kind != 1 || index >= 10) return;
    auto* part = new (std::nothrow) CGameItem_PowerUp(0xFFFFFFFFu);
    if (!part) return;
    part->ReadWireRecord(b + 12);
    delete e->parts[index];
    e->parts[index] = part;
}

}  // namespace

void CRoboClient::DispatchMessage(u16 id, const u8* b, u32 size)
{
    if (id == 14 || id > kSrvEquippedPart) return;
    if (size < BodySize(id) || (BodySize(id) > 0 && !b) || !pair || !pair->targets.room) return;
    const OnlineTargets& t = pair->targets;
    RoomState& room = *t.room;
    switch (id) {
    case kSrvLoginAccepted: {
        const u16 slot = GetU16(b + 24);
        if (slot >= PlayerEntryCount) return;
        room.ownSlot = slot;
        room.rule = b[26] <= 4 ? b[26] : 0;
        loginResult = kLoginAccepted;
        SendLoginAck(slot, &pair->data);
        break;
    }
    case kSrvPlayerEntry: ApplyPlayerEntry(t, b); break;
    case kSrvColorSet:
        if (PlayerEntry* e = Entry(t, GetU16(b)); e && i8(b[2]) >= 0 && i8(b[2]) < 10) e->colorSet = i8(b[2]);
        break;
    case kSrvPlayerLevel:
        if (PlayerEntry* e = Entry(t, GetU16(b)); e && GetU32(b + 2) <= MaxRankLevel) e->rankLevel = GetU32(b + 2);
        break;
    case kSrvPlayerLeft: ApplyPlayerLeft(t, b); break;
    case kSrvLoginRefused: {
        const u32 code = GetU32(b + 2);
        if (code <= 2) loginResult = kLoginRoomFull + code;
        break;
    }
    case kSrvRoomSettings: ApplyRoomSettings(t, b); break;
    case kSrvGameStart:
        gameStartFlag = 1;
        room.battleStartValue = GetU32(b);
        // Every battle starts from empty key queues: nothing of an earlier
        // one may stand for its frames or fill its queues.
        for (u32 i = 0; t.players && i < u32(PlayerEntryCount); ++i) {
            PlayerEntry& e = t.players[i];
            e.keyQueue.DeleteAll();
            e.keyQueue.Init();
            e.heldKeyStates.clear();
            e.awaitingNewRun = 0;
            e.confirmedRuns = 0;
        }
        if (t.players) ResetRepair(room, t.players, PlayerEntryCount);
        room.gameStarting = 1;
        break;
    case kSrvSceneLoaded:
        if (PlayerEntry* e = Entry(t, GetU16(b))) e->sceneLoaded = 1;
        break;
    case kSrvReturnToRoom:
        if (PlayerEntry* e = Entry(t, GetU16(b))) {
            // Read in the run it had confirmed, like a departure's frame.
            e->returnMarker = std::max(GetI32(b + 2), -1);
            e->returnRun = e->confirmedRuns;
        }
        break;
    case kSrvRepairRequest:
        // The server's word opens a repair (or names its next host); a
        // repair already under way is never started again half-way.
        if (t.players) TakeRepairWord(room, t.players, PlayerEntryCount, GetU16(b), GetU32(b + 2));
        break;
    case kSrvRobotSnapshot:
        if (t.players)
            TakeRobotSnapshot(room, t.players, PlayerEntryCount, b, kSnapshotBlockSize,
                              GetU16(b + kSnapshotBlockSize));
        break;
    case kSrvHostStateBlock:
        if (t.players) TakeHostStateBlock(room, t.players, PlayerEntryCount, b, GetU16(b + 4 * kHostStateWords));
        break;
    case kSrvAllDataReceived: ApplyAllDataReceived(t, b); break;
    case kSrvKeyState: ApplyKeyState(t, b); break;
    case kSrvPingReport:
        if (PlayerEntry* e = Entry(t, GetU16(b))) {
            e->peerFps = b[2];
            e->peerPing = GetU16(b + 3);
        }
        break;
    case kSrvPingEcho:
        if (PlayerEntry* e = Entry(t, room.ownSlot)) e->ping = plat::TimeGetTime() - room.pingSendTime;
        break;
    case kSrvRoomStatus: ApplyRoomStatus(pair, b); break;
    case kSrvChatLine: ApplyChatLine(t, b, size); break;
    case kSrvFileData: ApplyFileData(t, b, size); break;
    case kSrvRadioCall:
        // Radio lines are the ten digit keys.
        if (PlayerEntry* e = Entry(t, GetU16(b)); e && GetU16(b + 2) < 10) {
            e->pendingRadio = GetU16(b + 2);
            std::memset(e->pendingRadioText, 0, sizeof e->pendingRadioText);
        }
        break;
    case kSrvEquippedPart: ApplyEquippedPart(t, b); break;
    default: break;
    }
}
