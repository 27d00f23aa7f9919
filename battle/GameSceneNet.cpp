// The online battle in lockstep: every client simulates every robot from the
// same generator start and the same inputs; only inputs travel, stamped with
// their frame and a check byte that shows when the simulations drifted apart,
// which a repair from the host's robot records puts right.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/core/MainLoop.h"
#include "app/player/RoomState.h"
#include "battle/BattleHash.h"
#include "battle/GameScene.h"
#include "battle/RoomMessages.h"
#include "engine/core/FrameRate.h"
#include "engine/sound/SoundManager.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/FileSystem.h"
#include "platform/core/TextCodec.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"
#include "robot/Robot.h"
#include "robot/RobotStateRecord.h"

namespace {

constexpr i32 kParticipants = 10;
constexpr u32 kKeepAliveMs = 3000;
constexpr size_t kSnapshotHeader = 11;  // slot, robot id, linked id, a zero byte
// After the robot's record a block's bytes are free: ours carry the host's
// time left, behind a mark, since the clients reached the repair at frames a
// few apart and a time battle must end at one frame on all of them.
constexpr size_t kSnapshotTimeAt = kSnapshotHeader + kRobotStateBytes;
constexpr u32 kSnapshotTimeMark = 0x454D4954u;
constexpr u32 kChatLineBytes = 60;
// How long a battle waits for a participant's input or a repair's data
// before giving up, and how long the start waits for the others' loading.
constexpr u32 kInputWaitLimitMs = 30000;
constexpr u32 kLoadWaitLimitMs = 120000;
// The server opens this many repairs in a battle; past them a drift found is
// told to it (naming the robot found different) and the battle plays on,
// once a second at most, until the server sends the drifting fighter back.
constexpr u32 kRepairsPerBattle = 6;
constexpr i32 kDriftTellFrames = 60;
constexpr u8 kNoSuspect = 0xFF;

CApplication& App() { return *GetApplication(); }

PlayerEntry* Participant(i32 slot)
{
    CApplication& app = App();
    return slot >= 0 && slot < app.players.GetCount() ? &app.players[slot] : nullptr;
}

PlayerEntry& Own() { return App().players[i32(GetRoomState().ownSlot) < PlayerEntryCount ? i32(GetRoomState().ownSlot) : 0]; }

bool IsSpectator(const CRobot_Base* r) { return r->displayTeam == 100; }

// A key-state message of n repeats covers n frames; a setting of 0 would
// leave every other client waiting for ever. Every client keeps the interval
// its battle started with: one changed mid-battle on some would cut the
// frames into different messages and make the clients disagree.
u32 SendInterval(const CGameScene& scene) { return std::max(1u, scene.battleSettings.roomSetting & 0xFFu); }

// Test switches of the online battle. QUILLON_TEST_HASH_LOG=1 writes every
// simulated frame's fingerprint to BattleHash.log beside the executable, so
// two clients' logs show whether they simulated the same battle, and each
// robot's bodies and HP as a run begins;
// QUILLON_TEST_DESYNC_FRAME=n makes this client drift at frame n of its first
// run (one more draw of the battle generator, one point less HP for its robot),
// which the check bytes must catch and a repair put right.
// QUILLON_TEST_RETURN_AT_BATTLE=n makes this client go back to the room at the
// first frame of its n-th online battle, before it sent any key state;
// QUILLON_TEST_QUIT_IN_REPAIR=rs ends the game, as if it were killed, when its
// r-th repair reaches state s.
struct NetTestSwitches {
    plat::FileId log = plat::InvalidFile;
    bool checked = false;
    i32 desyncFrame = -1;
    i32 returnAtBattle = -1;
    i32 quitInRepair = -1;
    i32 battles = 0;
    i32 repairs = 0;
    // Repairs so far: the frame count starts again after each.
    u32 run = 0;
};

NetTestSwitches& Switches()
{
    static NetTestSwitches s;
    if (!s.checked) {
        s.checked = true;
        s.desyncFrame = GetTestSwitches().desyncFrame;
        s.returnAtBattle = GetTestSwitches().returnAtBattle;
        s.quitInRepair = GetTestSwitches().quitInRepair;
        if (GetTestSwitches().hashLog)
            s.log = plat::OpenFile((plat::GetExecutableDirectory() + "/BattleHash.log").c_str(), plat::FileMode::Write);
    }
    return s;
}

void LogBattleFrame(CGameScene& scene, u32 frame)
{
    NetTestSwitches& s = Switches();
    if (s.log == plat::InvalidFile) return;
    std::string line = "run " + std::to_string(s.run) + " " + FormatBattleHash(frame, HashBattle(scene)) + "\n";
    // A run's first frame also tells how each participant's robot started.
    for (i32 i = 0; frame == 0 && i < kParticipants; ++i) {
        const CRobot_Base* r = scene.robotTable[i];
        if (!r) continue;
        line += "run " + std::to_string(s.run) + " robot " + std::to_string(i) + " bodies " +
                std::to_string(r->restBody) + " hp " + std::to_string(r->hp) + " of " + std::to_string(r->hpMax) +
                " type " + r->typeName + "\n";
    }
    plat::WriteFile(s.log, line.data(), line.size());
}

void DriftForTest(u32 frame, CRobot_Base* mine)
{
    NetTestSwitches& s = Switches();
    if (s.run != 0 || s.desyncFrame < 0 || static_cast<u32>(s.desyncFrame) != frame) return;
    s.desyncFrame = -1;
    GetBattleRandom().GetRand();
    if (mine && mine->hp > 1) --mine->hp;
}

// What the battle's outcome rests on, folded into the check byte beside the
// generator's draw: the units, weapons and items as the lockstep hash sees
// them, every robot's bodies left, the team arrays and the time battle's
// clock. The draw alone tells clients apart only when their simulations drew
// a different number of times; after a repair every generator restarts
// alike, so two clients holding different robots drew alike for thousands
// of frames.
u8 StateCheck(CGameScene& scene)
{
    u64 h = HashBattle(scene).value;
    auto mix = [&h](u64 v) { h = (h ^ v) * 1099511628211ull; };
    for (i32 i = 0; i < kRobotTableSize; ++i)
        if (const CRobot_Base* r = scene.robotTable[i]) mix(u64(u32(r->restBody)) << 8 | u64(i));
    for (i32 t = 0; t < kTeamArraySize; ++t) {
        mix(scene.teamUnits[t]);
        mix(scene.teamScores[t]);
        mix(scene.teamCosts[t]);
    }
    // Every rule's clock counts the frames run, the same on every client;
    // the short-battle rule and the time battle's end read it.
    mix(scene.battleTime);
    h ^= h >> 32;
    h ^= h >> 16;
    h ^= h >> 8;
    return static_cast<u8>(h);
}

// The battle's clock in the repair host's set: carried by the first of its
// robot blocks that holds one, null when none does.
const u8* RepairSetTime()
{
    const RoomState& room = GetRoomState();
    CApplication& app = App();
    for (i32 i = 0; i < kParticipants && i < app.players.GetCount(); ++i) {
        const std::vector<u8>& block = app.players[i].snapshot;
        if ((room.repairSlots & (1u << i)) && block.size() >= kSnapshotTimeAt + 8 &&
            GetU32(block.data() + kSnapshotTimeAt) == kSnapshotTimeMark)
            return block.data() + kSnapshotTimeAt + 4;
    }
    return nullptr;
}

void CloseChatLine(CGameScene& scene)
{
    CApplication& app = App();
    app.lineEditor.Clear();
    app.lineEditor.SetCaret(0);
    app.lineEditor.SetOpenStatus(false);
    scene.chatInputActive = 0;
}

}  // namespace

// Every robot of the table, a spectator's too: it stands in the battle and
// in its hash, and clients that reached the repair at frames apart hold it
// as it was at their own frame.
u16 CGameScene::RepairSlots() const
{
    u16 slots = 0;
    for (i32 i = 0; i < kParticipants; ++i)
        if (robotTable[i]) slots = u16(slots | (1u << i));
    return slots;
}

void CGameScene::NetPrologue(bool keepAlive)
{
    frameRate = std::min(UpdateFrameRate(), 60u);
    RoomState& room = GetRoomState();
    room.repairSlots = RepairSlots();
    PlayerEntry& own = Own();
    if (own.team == 100) return;
    if (keepAlive) {
        const u32 now = AppClockNow();
        if (now - keepAliveTime > kKeepAliveMs) {
            keepAliveTime = now;
            // Stamped on the wall clock its echo is read with, whatever the frames' clock.
            SendPing();
        }
    }
    // Once per battle frame, though a waiting battle stays on one frame.
    if (battleFrame % 180 == 0 && lastPingReportFrame != battleFrame) {
        lastPingReportFrame = battleFrame;
        SendPingReport(static_cast<u8>(frameRate), static_cast<u16>(own.ping));
    }
}

void CGameScene::HandPendingRadio()
{
    for (i32 i = 0; i < kParticipants; ++i) {
        PlayerEntry* e = Participant(i);
        CRobot_Base* r = robotTable[i];
        if (!e || !r || e->pendingRadio == -1) continue;
        r->pendingRadioLine = e->pendingRadio;
        plat::Utf8CopyTruncated(r->radioText, sizeof r->radioText, e->pendingRadioText);
        e->pendingRadio = -1;
        std::memset(e->pendingRadioText, 0, sizeof e->pendingRadioText);
    }
}

bool CGameScene::ExitDue(i32 lastFrame, u32 exitRun) const
{
    // It went before confirming the run this client is in or repairing
    // towards: it has no input in it, and every wait lets it go at once.
    const u32 run = GetRoomState().repairState != 0 ? netRun + 1 : netRun;
    if (exitRun < run) return true;
    if (GetRoomState().repairState != 0) return false;
    // Its key states covered the frames up to its last frame (-1: none).
    const i64 target = static_cast<i64>(battleFrame) - static_cast<i64>(GetRoomState().inputDelay);
    return target >= static_cast<i64>(lastFrame) + 1;
}

// The server sent this client back to the room (it failed as a repair's
// host, never confirmed one, or kept drifting): it goes, without asking again.
static bool SentBackByServer()
{
    return Own().ReturnedToRoom() && !GetRoomState().returnAsked;
}

bool CGameScene::DepartureDue(const PlayerEntry& e) const { return e.departed && ExitDue(e.leaveFrame, e.leaveRun); }

void CGameScene::ApplyDepartures()
{
    for (i32 i = 0; i < kRobotTableSize; ++i) {
        PlayerEntry* e = Participant(i);
        CRobot_Base* r = robotTable[i];
        if (!e || !r || !e->inBattle || r->controlMode != kControlNetwork) continue;
        if (DepartureDue(*e)) {
            e->slotState = 0;
            e->inBattle = 0;
            e->joined = 0;
            e->waitCounter = 0;
            plat::Utf8CopyTruncated(r->displayName, sizeof r->displayName, "--- 玩家已断开 ---        ");
            r->pilotIndex = -1;
            // Nobody steers it any more: it stops rather than keep the last input.
            r->receivedInput.Clear();
        } else if (e->ReturnedToRoom() && ExitDue(e->returnMarker, e->returnRun)) {
            e->inBattle = 0;
            plat::Utf8CopyTruncated(r->displayName, sizeof r->displayName, "--- 无人驾驶 ---    ");
            r->receivedInput.Clear();
        }
    }
}

bool CGameScene::GiveUpWaiting(bool waiting, u32 limitMs)
{
    if (!waiting) {
        inputWaiting = false;
        return false;
    }
    const u32 now = AppClockNow();
    if (!inputWaiting) {
        inputWaiting = true;
        inputWaitStart = now;
    }
    if (now - inputWaitStart <= limitMs) return false;
    // Going on alone would desync, so this client goes back to the room.
    inputWaiting = false;
    netWaiting = 0;
    App().AddChatLine("--- 等待超时 ---    ", 0xFFFF0064u);
    SendReturnToRoom();
    frameProc = &CGameScene::Proc_ReturnToRoom;
    return true;
}

i32 CGameScene::Proc_NetWaitStart()
{
    if (!GetRoomState().BothConnected()) return Proc_Normal();
    NetPrologue(true);
    // A script's marks of an earlier battle say nothing of this one.
    plat::SetScriptMark("battle", "loading");
    plat::SetScriptMark("result", "none");
    bool all = true;
    for (i32 i = 0; i < kParticipants; ++i) {
        PlayerEntry* e = Participant(i);
        if (!e) continue;
        // One who left or went back to the room while the others load is
        // waited for no longer; the battle removes it at its last frame.
        if (e->inBattle && e->slotState == 1 && !e->sceneLoaded && !e->departed && !e->ReturnedToRoom()) {
            ++e->waitCounter;
            all = false;
        } else {
            e->waitCounter = 0;
        }
    }
    netWaiting = 1;
    if (all) {
        netWaiting = 0;
        inputWaiting = false;
        GetSoundManager().PlaySlot(kSoundMusic, 2, 1);
        plat::SetScriptMark("battle", "running");
        ++Switches().battles;
        frameProc = &CGameScene::Proc_NetBattle;
        return 0;
    }
    paused = kPausedWaitingOnline;
    if (GiveUpWaiting(true, kLoadWaitLimitMs)) return 1;
    return Proc_Normal() == kTaskSceneReplaced ? kTaskSceneReplaced : 0;
}

i32 CGameScene::Proc_NetBattle()
{
    RoomState& room = GetRoomState();
    if (!room.BothConnected()) return Proc_Normal();
    NetPrologue(false);
    HandPendingRadio();
    if (SentBackByServer()) {
        frameProc = &CGameScene::Proc_ReturnToRoom;
        return 1;
    }
    if (Switches().returnAtBattle == Switches().battles && sentInputFrame < 0 && netRun == 0) {
        Switches().returnAtBattle = -1;
        SendReturnToRoom();
        frameProc = &CGameScene::Proc_ReturnToRoom;
        return 1;
    }

    // Own input, once per battle frame: one draw of the battle generator as
    // the check byte, so clients whose simulations drew differently disagree.
    PlayerEntry& own = Own();
    const u32 ownSlot = room.ownSlot;
    CRobot_Base* mine = ownSlot < u32(kRobotTableSize) ? robotTable[ownSlot] : nullptr;
    // The draw depends only on being in the battle, never on whether this
    // client's robot exists, so every client's generator stays in step.
    if (sentInputFrame != static_cast<i32>(battleFrame) && own.inBattle) {
        if (mine) DriftForTest(battleFrame, mine);
        if (sendCountdown == 0) {
            if (mine) mine->ClearPendingInput();
            // Taken before the draw, at the same point of the frame on every client.
            const u8 state = StateCheck(*this);
            const u32 check = (GetBattleRandom().GetRand() % 256) ^ state;
            if (mine && !chatInputActive) mine->ReadKeysToPendingInput(App().input.keyTable);
            else if (mine) mine->pendingInput.direction = 5;
            if (mine && !IsSpectator(mine)) {
                u8 bytes[kInputBytes];
                std::memcpy(bytes, &mine->pendingInput, sizeof bytes);
                SendKeyState(bytes, static_cast<u8>(check % 256), battleFrame, static_cast<u8>(SendInterval(*this)));
            }
            sendCountdown = SendInterval(*this) - 1;
        } else {
            --sendCountdown;
        }
        sentInputFrame = static_cast<i32>(battleFrame);
    }

    ApplyDepartures();
    // A robot type still loading here holds this client as a late input would.
    i32 applied = TypesLoading() ? 0 : 1;
    if (applied && battleFrame >= room.inputDelay) applied = ApplyNetInputs();

    if (room.repairState == 0) {
        i32 result = 0;
        if (applied) {
            paused = 0;
            inputWaiting = false;
            for (i32 i = 0; i < App().players.GetCount(); ++i) App().players[i].waitCounter = 0;
        } else {
            // Someone's input is late: the battle waits and the clock re-bases.
            // Only the server's departure lets the others go on.
            paused = kPausedWaitingOnline;
            result = 1;
            if (GiveUpWaiting(true, kInputWaitLimitMs)) return 1;
        }
        const u32 frame = battleFrame;
        if (Proc_Normal() == kTaskSceneReplaced) return kTaskSceneReplaced;
        if (battleFrame != frame) LogBattleFrame(*this, frame);
        return result;
    }
    if (mine && IsSpectator(mine)) {
        frameProc = &CGameScene::Proc_ReturnToRoom;
        SendReturnToRoom();
    } else {
        ++Switches().repairs;
        inputWaiting = false;
        frameProc = &CGameScene::Proc_NetResync;
    }
    return 1;
}

i32 CGameScene::ApplyNetInputs()
{
    CApplication& app = App();
    const u32 target = battleFrame - GetRoomState().inputDelay;
    KEYRECVLIST* records[kRobotTableSize] = {};
    bool ready = true;
    for (i32 i = 0; i < kRobotTableSize && i < app.players.GetCount(); ++i) {
        CRobot_Base* r = robotTable[i];
        PlayerEntry& e = app.players[i];
        if (!r || !e.inBattle || r->controlMode != kControlNetwork || r->displayTeam == 100) continue;
        records[i] = e.FindKeyRecord(target);
        if (!records[i]) {
            ++e.waitCounter;
            ready = false;
        }
    }
    if (!ready) return 0;
    // The check byte most robots carry is the reference (the first robot's
    // on a tie); the first robot against it is the one found drifting.
    i32 reference = -1, votes = 0;
    for (i32 i = 0; i < kRobotTableSize; ++i) {
        if (!records[i]) continue;
        i32 n = 0;
        for (i32 j = 0; j < kRobotTableSize; ++j) n += records[j] && records[j]->check == records[i]->check;
        if (n > votes) reference = records[i]->check, votes = n;
    }
    i32 suspect = -1;
    for (i32 i = 0; i < kRobotTableSize && suspect < 0; ++i)
        if (records[i] && records[i]->check != reference) suspect = i;
    if (suspect >= 0) {
        RoomState& room = GetRoomState();
        const bool spent = netRun >= kRepairsPerBattle;
        const bool tell = !spent || static_cast<i32>(battleFrame) - lastDriftTold >= kDriftTellFrames ||
                          static_cast<i32>(battleFrame) < lastDriftTold;
        if (room.repairState == 0 && tell) {
            // The server's word opens the repair on every client, ahead of
            // any of its data, however far behind or ahead a client runs.
            // Past the battle's repairs it sends the drifting fighter back
            // instead, and this client plays on.
            if (!spent) room.repairState = 1;
            lastDriftTold = static_cast<i32>(battleFrame);
            SendRepairRequest(suspect < kParticipants ? static_cast<u8>(suspect) : kNoSuspect);
            plat::Utf8CopyTruncated(noticeText, sizeof noticeText,
                                    (std::string(robotTable[suspect]->displayName) + "数据同步错误").c_str());
            app.AddChatLine(noticeText, 0xFFFF0064u);
        }
    }
    for (i32 i = 0; i < kRobotTableSize; ++i) {
        KEYRECVLIST* k = records[i];
        if (!k) continue;
        CRobot_Base* r = robotTable[i];
        r->receivedInput.direction = k->input[0];
        std::memcpy(r->receivedInput.buttons, k->input + 1, sizeof r->receivedInput.buttons);
        app.players[i].keyQueue.Erase(k);
    }
    return 1;
}

void CGameScene::SendRobotSnapshotOf(u32 slot, CRobot_Base* robot)
{
    std::vector<u8> block(kSnapshotTimeAt + 8, 0);
    PutU16(block.data(), static_cast<u16>(slot));
    PutU32(block.data() + 2, robot->objectId);
    const u32 link = robot->lockTarget ? robot->lockTarget->objectId : kRobotStateNoTarget;
    PutU32(block.data() + 6, link);
    PutU32(block.data() + kSnapshotTimeAt, kSnapshotTimeMark);
    PutU32(block.data() + kSnapshotTimeAt + 4, battleTime);
    u8 state[kRobotStateBytes] = {};
    // A robot the record cannot carry still sends its block (zeroed), so
    // the others' repair completes; they keep their own copy of it.
    if (robot->GetKind() == kKindRobot && WriteRobotState(*static_cast<CRobot_Normal*>(robot), state))
        std::memcpy(block.data() + kSnapshotHeader, state, sizeof state);
    SendRobotSnapshot(block.data(), static_cast<u32>(block.size()));
}

// The host's whole set is refused when any part of it is out of a battle's
// range: the team arrays, a robot's record, the time. Every client judges
// the same bytes alike, so all drop it together and tell the server, which
// names the next host; none keeps its own copy of a part.
bool CGameScene::RepairSetInRange() const
{
    const RoomState& room = GetRoomState();
    if (room.hostStateTaken != 1) return false;
    CApplication& app = *GetApplication();
    for (i32 i = 0; i < kParticipants && i < app.players.GetCount(); ++i) {
        if (!(room.repairSlots & (1u << i))) continue;
        const std::vector<u8>& block = app.players[i].snapshot;
        if (block.size() < kSnapshotTimeAt + 8) return false;
        const CRobot_Base* r = robotTable[i];
        RobotState s;
        if (r && r->GetKind() == kKindRobot &&
            ReadRobotState(block.data() + kSnapshotHeader, kRobotStateBytes, s) != nullptr)
            return false;
    }
    const u8* time = RepairSetTime();
    const u32 timeLimit = room.rule == 1 ? battleSettings.timeLimit * 3600 : 0x7FFFFFFFu;
    return time == nullptr || GetU32(time) <= timeLimit;
}

i32 CGameScene::Proc_NetResync()
{
    RoomState& room = GetRoomState();
    if (!room.BothConnected()) return Proc_Normal();
    NetPrologue(true);
    HandPendingRadio();
    if (SentBackByServer()) {
        frameProc = &CGameScene::Proc_ReturnToRoom;
        return 1;
    }
    ApplyDepartures();
    CApplication& app = App();
    auto networked = [&](i32 i) {
        const CRobot_Base* r = robotTable[i];
        return r && i < app.players.GetCount() && app.players[i].inBattle && r->controlMode == kControlNetwork &&
               !IsSpectator(r);
    };
    // The server names the host, and a new one for the same run when the
    // host left, sent no whole set in time or its set was refused: each word
    // starts the repair's data over, on every client alike.
    auto takeWord = [&] {
        repairWordsSeen = room.repairWords;
        repairSetRefused = false;
        inputWaiting = false;
        repairHost = room.repairHostSlot;
        if (static_cast<u32>(repairHost) != playerSlot) return;
        u32 words[3 * kTeamArraySize];
        for (i32 t = 0; t < kTeamArraySize; ++t) {
            words[t] = teamUnits[t];
            words[kTeamArraySize + t] = teamScores[t];
            words[2 * kTeamArraySize + t] = teamCosts[t];
        }
        SendHostStateBlock(words);
        const u16 slots = RepairSlots();
        for (i32 i = 0; i < kParticipants; ++i)
            if (slots & (1u << i)) SendRobotSnapshotOf(static_cast<u32>(i), robotTable[i]);
    };
    // The server's word for the next repair comes only after every
    // confirmation of this one: then this one is over too.
    const bool next = room.repairState == 3 && room.run != netRun;
    if (room.repairState == 1) {
        battleFrame = 0;
        sentInputFrame = -1;
        sendCountdown = 0;
        netWaiting = 1;
        for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].awaitingNewRun = 1;
        // A client that found the drift itself waits for the server's word.
        if (room.repairAnnounced) {
            takeWord();
            room.repairState = 2;
        }
    } else if (!next && room.repairWords != repairWordsSeen) {
        takeWord();
        room.repairState = 2;
    } else if (room.repairState == 2) {
        for (i32 i = 0; i < kRobotTableSize; ++i) {
            if (!networked(i)) continue;
            PlayerEntry& e = app.players[i];
            e.waitCounter = i < kParticipants && (room.setBlocks & (1u << i)) ? 0 : e.waitCounter + 1;
        }
        if (room.repairDataComplete && !repairSetRefused) {
            if (!RepairSetInRange()) {
                // Nothing of it is used; the server's next word names another host.
                repairSetRefused = true;
                SendAllDataReceived(1);
            } else {
                // The host's blocks become the records the robots are rebuilt from.
                for (i32 i = 0; i < kRobotTableSize && i < app.players.GetCount(); ++i) {
                    PlayerEntry& e = app.players[i];
                    e.resyncRecord.clear();
                    e.syncTarget = -1;
                    if (e.snapshot.size() < kSnapshotHeader + kRobotStateBytes) continue;
                    e.resyncRecord.assign(e.snapshot.begin() + kSnapshotHeader,
                                          e.snapshot.begin() + kSnapshotHeader + kRobotStateBytes);
                    const u32 link = GetU32(e.snapshot.data() + 6);
                    e.syncTarget = link == kRobotStateNoTarget ? -1 : static_cast<i32>(link);
                }
                if (const u8* time = RepairSetTime()) battleTime = GetU32(time);
                RebuildRobotsAfterResync();
                SendAllDataReceived(0);
                room.repairState = 3;
            }
        }
    } else if (room.repairState == 3) {
        bool all = true;
        for (i32 i = 0; i < kRobotTableSize; ++i)
            if (networked(i) && app.players[i].snapshotState != 2) all = false;
        if (all || next) {
            // A block of this repair must never stand in for one a later
            // repair misses; the next one's word already made room for its own.
            if (!next) {
                ForgetRepairData(room, &app.players[0], app.players.GetCount());
                room.repairAnnounced = 0;
            }
            repairHost = -1;
            inputWaiting = false;
            ++netRun;
            room.run = netRun;
            ++Switches().run;
            app.AddChatLine("--- 同步错误修复完毕 ---    ", 0xFF00FF64u);
            if (next) {
                ++Switches().repairs;
                room.repairState = 1;
            } else {
                room.repairState = 0;
                netWaiting = 0;
                frameProc = &CGameScene::Proc_NetBattle;
            }
        }
    }
    if (Switches().quitInRepair >= 0 && Switches().quitInRepair == Switches().repairs * 10 + i32(room.repairState))
        app.quit = 1;
    paused = kPausedWaitingOnline;
    if (room.repairState != 0 && GiveUpWaiting(true, kInputWaitLimitMs)) return 1;
    return Proc_Normal() == kTaskSceneReplaced ? kTaskSceneReplaced : 0;
}

void CGameScene::LogNetResult(bool won)
{
    NetTestSwitches& s = Switches();
    if (s.log == plat::InvalidFile) return;
    const std::string line = "run " + std::to_string(s.run) + (won ? " result won\n" : " result lost\n");
    plat::WriteFile(s.log, line.data(), line.size());
}

void CGameScene::ChatHook(u32 message, u64 code, i64)
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    CApplication& app = App();
    ImeLineEditor& editor = app.lineEditor;
    if (!scene->chatInputActive) {
        if (message == MessageKeyDown && code == 13) {
            scene->chatInputActive = 1;
            editor.SetOpenStatus(true);
        }
        return;
    }
    if (message == MessageKeyDown && (code == 38 || code == 40)) return;
    if (message == MessageKeyDown && code == 13) {
        if (editor.IsComposing()) return;
        if (editor.GetCharCount() > 0) {
            const std::string& text = editor.GetText();
            const u8 ctrl = (app.input.keyTable[plat::vk::Control] & 0x80) ? 1 : 0;
            SendChatMessage(static_cast<u16>(scene->playerSlot), ctrl, text.c_str(), static_cast<u32>(text.size()));
        }
        CloseChatLine(*scene);
        return;
    }
    if (message == MessageKeyDown && code == 27) {
        CloseChatLine(*scene);
        return;
    }
    if (message == MessageChar) editor.OnChar(static_cast<i32>(code));
    else if (message == MessageKeyDown) editor.OnKeyDown(static_cast<i32>(code));
    // The line never holds more than its bytes; the backspace cuts whole characters.
    while (editor.GetLength() > static_cast<i32>(kChatLineBytes)) editor.OnChar(8);
}
