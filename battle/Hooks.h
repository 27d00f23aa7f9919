#pragma once
// Calls from the battle up into online play (its message senders and its
// client pair) and into the front-end (the arcade story's stage set-up, the
// survival ranking, the local versus room).
// Those tiers register their functions at start-up through
// RegisterBattleHooks; until then each call does the safe nothing written
// beside it, which is also what an offline battle needs.
#include "platform/core/Types.h"

class BaseScene;
class CGameScene;
class RankingTable;
class TCB;
template <class T>
class CList;

struct BattleHooks {
    // The arcade story builds its stage's robots, callbacks and judge.
    // Unset: the battle has no robots and no judge.
    void (*setupArcadeStage)(CGameScene* scene) = nullptr;
    // The online room, where a battle returns. Unset: the title.
    BaseScene* (*roomScene)() = nullptr;
    // The character selection, where the pause menu leaves an offline
    // battle for. Unset: the title.
    BaseScene* (*charaSelectScene)() = nullptr;
    // The local versus room, where a local battle returns. Unset: the title.
    BaseScene* (*vsRoomScene)() = nullptr;
    // The survival ranking: the name entry of a new row (robot type, score,
    // kills) into the table, closed by finishRankingInput, then the list
    // sliding in from x. Unset: no entry is made (null task).
    TCB* (*startRankingInput)(CList<TCB>* list, RankingTable* table, i32 robotType, i32 score, i32 kills) = nullptr;
    void (*finishRankingInput)(TCB* input) = nullptr;
    TCB* (*startRankingList)(CList<TCB>* list, RankingTable* table, float x, const char* title) = nullptr;
    void (*setRankingListX)(TCB* rankingList, float x) = nullptr;
    // Whether both network clients are still connected. Unset: they are.
    bool (*clientsConnected)() = nullptr;
    // Both network clients disconnected (game connection first). Unset: nothing.
    void (*disconnectClients)() = nullptr;

    // Online message senders. Unset: nothing is sent.
    void (*sendSceneLoaded)() = nullptr;
    void (*sendKeyState)(const u8 input[10], u8 check, u32 frame, u8 repeat) = nullptr;
    void (*sendPing)() = nullptr;
    void (*sendPingReport)(u8 status, u16 ownPing) = nullptr;
    void (*sendRobotSnapshot)(const u8* block, u32 size) = nullptr;
    void (*sendHostStateBlock)(const u32 words[63]) = nullptr;
    void (*sendAllDataReceived)() = nullptr;
    void (*sendReturnToRoom)() = nullptr;
    void (*sendChatMessage)(u16 slot, u8 flag, const char* text, u32 length) = nullptr;
    void (*sendRadioVoice)(u16 voice, u8 flag) = nullptr;
    void (*sendPlayerLevel)(u16 ownSlot, u32 rankLevel) = nullptr;
};

BattleHooks& GetBattleHooks();
// Installs every hook of the given record (null members clear theirs).
void RegisterBattleHooks(const BattleHooks& hooks);

// Safe wrappers the battle calls.
void SetupArcadeStage(CGameScene* scene);
TCB* StartRankingInput(CList<TCB>* list, RankingTable* table, i32 robotType, i32 score, i32 kills);
void FinishRankingInput(TCB* input);
TCB* StartRankingList(CList<TCB>* list, RankingTable* table, float x, const char* title);
void SetRankingListX(TCB* rankingList, float x);
void DisconnectNetClients();
bool NetClientsConnected();
void SendSceneLoaded();
void SendKeyState(const u8 input[10], u8 check, u32 frame, u8 repeat);
void SendPing();
void SendPingReport(u8 status, u16 ownPing);
void SendRobotSnapshot(const u8* block, u32 size);
void SendHostStateBlock(const u32 words[63]);
void SendAllDataReceived();
void SendReturnToRoom();
void SendChatMessage(u16 slot, u8 flag, const char* text, u32 length);
void SendRadioVoice(u16 voice, u8 flag);
void SendPlayerLevel(u16 ownSlot, u32 rankLevel);
