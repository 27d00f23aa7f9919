#pragma once
// The game's start-up registrations of every upward call (app/Hooks.h,
// battle/Hooks.h), and the check that none was left out: a hook left unset
// would quietly fall back to its safe nothing in front of the player.
#include <string>
#include <vector>

#include "app/Hooks.h"
#include "app/core/GameSettings.h"
#include "battle/Hooks.h"
#include "frontend/Hooks.h"
#include "online/Hooks.h"

// Lowest tier first.
inline void RegisterGameHooks()
{
    RegisterFrontendHooks();
    RegisterOnlineHooks();
}

// The names of the hooks still unset; empty when the game is fully wired.
inline std::vector<std::string> UnsetGameHooks()
{
    // A hook added to a table must be added here too.
    static_assert(sizeof(TitleHooks) == (2 * TitleMenuEntries + 2) * sizeof(void*));
    static_assert(sizeof(NetworkHooks) == 4 * sizeof(void*));
    static_assert(sizeof(AppHooks) == sizeof(TitleHooks) + sizeof(NetworkHooks) + 2 * sizeof(void*));
    static_assert(sizeof(BattleHooks) == 6 * sizeof(void*));

    std::vector<std::string> unset;
    auto need = [&](const void* hook, const char* name) {
        if (!hook) unset.emplace_back(name);
    };
#define QUILLON_NEED(table, member) need(reinterpret_cast<const void*>(table.member), #table "." #member)
    const AppHooks& app = GetAppHooks();
    for (i32 i = 0; i < TitleMenuEntries; ++i)
        if (!app.title.entries[i].scene) unset.push_back("app.title.entries[" + std::to_string(i) + "].scene");
    // Only the local versus room has work after its switch.
    QUILLON_NEED(app, title.entries[i32(GameMode::LocalBattle)].afterSwitch);
    QUILLON_NEED(app, title.newStory);
    QUILLON_NEED(app, title.demoBattle);
    QUILLON_NEED(app, network.popGame);
    QUILLON_NEED(app, network.popData);
    QUILLON_NEED(app, network.dispatchGame);
    QUILLON_NEED(app, network.dispatchData);
    QUILLON_NEED(app, getNetClientPair);
    QUILLON_NEED(app, deleteStory);
    const BattleHooks& battle = GetBattleHooks();
    QUILLON_NEED(battle, setupArcadeStage);
    QUILLON_NEED(battle, roomScene);
    QUILLON_NEED(battle, charaSelectScene);
    QUILLON_NEED(battle, vsRoomScene);
    QUILLON_NEED(battle, clientsConnected);
    QUILLON_NEED(battle, disconnectClients);
#undef QUILLON_NEED
    return unset;
}
