#pragma once
// Calls from the battle up into online play (its client pair) and into the
// front-end (the arcade story's stage set-up, the scenes a battle returns
// to). Those tiers register their functions at start-up through
// RegisterBattleHooks; until then each call does the safe nothing written
// beside it, which is also what an offline battle needs.
#include "platform/core/Types.h"

class BaseScene;
class CGameScene;

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
    // Whether both network clients are still connected. Unset: they are.
    bool (*clientsConnected)() = nullptr;
    // Both network clients disconnected (game connection first). Unset: nothing.
    void (*disconnectClients)() = nullptr;
};

BattleHooks& GetBattleHooks();
// Installs every hook of the given record (null members clear theirs).
void RegisterBattleHooks(const BattleHooks& hooks);

// Safe wrappers the battle calls.
void SetupArcadeStage(CGameScene* scene);
void DisconnectNetClients();
bool NetClientsConnected();
