#include "battle/Hooks.h"

BattleHooks& GetBattleHooks()
{
    static BattleHooks hooks;
    return hooks;
}

void RegisterBattleHooks(const BattleHooks& hooks)
{
    GetBattleHooks() = hooks;
}

void SetupArcadeStage(CGameScene* scene)
{
    if (auto f = GetBattleHooks().setupArcadeStage) f(scene);
}

TCB* StartRankingInput(CList<TCB>* list, RankingTable* table, i32 robotType, i32 score, i32 kills)
{
    auto f = GetBattleHooks().startRankingInput;
    return f ? f(list, table, robotType, score, kills) : nullptr;
}

void FinishRankingInput(TCB* input)
{
    if (auto f = GetBattleHooks().finishRankingInput; f && input) f(input);
}

TCB* StartRankingList(CList<TCB>* list, RankingTable* table, float x, const char* title)
{
    auto f = GetBattleHooks().startRankingList;
    return f ? f(list, table, x, title) : nullptr;
}

void SetRankingListX(TCB* rankingList, float x)
{
    if (auto f = GetBattleHooks().setRankingListX; f && rankingList) f(rankingList, x);
}

bool NetClientsConnected()
{
    auto f = GetBattleHooks().clientsConnected;
    return f ? f() : true;
}

void DisconnectNetClients()
{
    if (auto f = GetBattleHooks().disconnectClients) f();
}

void SendSceneLoaded()
{
    if (auto f = GetBattleHooks().sendSceneLoaded) f();
}

void SendKeyState(const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    if (auto f = GetBattleHooks().sendKeyState) f(input, check, frame, repeat);
}

void SendPing()
{
    if (auto f = GetBattleHooks().sendPing) f();
}

void SendPingReport(u8 status, u16 ownPing)
{
    if (auto f = GetBattleHooks().sendPingReport) f(status, ownPing);
}

void SendRobotSnapshot(const u8* block, u32 size)
{
    if (auto f = GetBattleHooks().sendRobotSnapshot) f(block, size);
}

void SendHostStateBlock(const u32 words[63])
{
    if (auto f = GetBattleHooks().sendHostStateBlock) f(words);
}

void SendAllDataReceived()
{
    if (auto f = GetBattleHooks().sendAllDataReceived) f();
}

void SendReturnToRoom()
{
    if (auto f = GetBattleHooks().sendReturnToRoom) f();
}

void SendChatMessage(u16 slot, u8 flag, const char* text, u32 length)
{
    if (auto f = GetBattleHooks().sendChatMessage) f(slot, flag, text, length);
}

void SendRadioVoice(u16 voice, u8 flag)
{
    if (auto f = GetBattleHooks().sendRadioVoice) f(voice, flag);
}

void SendPlayerLevel(u16 ownSlot, u32 rankLevel)
{
    if (auto f = GetBattleHooks().sendPlayerLevel) f(ownSlot, rankLevel);
}
