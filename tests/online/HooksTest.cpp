#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main/GameHooks.h"

// The game's own start-up leaves no upward call unset, and the check the game
// makes at start sees one that is.
TEST(GameHooks, StartUpRegistrationsSetEveryHook)
{
    const AppHooks savedApp = GetAppHooks();
    const BattleHooks savedBattle = GetBattleHooks();
    GetAppHooks() = AppHooks{};
    RegisterBattleHooks(BattleHooks{});
    EXPECT_FALSE(UnsetGameHooks().empty());

    RegisterGameHooks();
    EXPECT_EQ(UnsetGameHooks(), std::vector<std::string>{});

    BattleHooks without = GetBattleHooks();
    without.charaSelectScene = nullptr;
    RegisterBattleHooks(without);
    EXPECT_EQ(UnsetGameHooks(), std::vector<std::string>{"battle.charaSelectScene"});

    GetAppHooks() = savedApp;
    RegisterBattleHooks(savedBattle);
}
