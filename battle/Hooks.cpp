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

bool NetClientsConnected()
{
    auto f = GetBattleHooks().clientsConnected;
    return f ? f() : true;
}

void DisconnectNetClients()
{
    if (auto f = GetBattleHooks().disconnectClients) f();
}
