#pragma once
// The settings of the next battle, held by the application object.
#include "app/core/MyBgmList.h"
#include "platform/core/Types.h"

// The game mode of the next battle, in title-menu order; the values reach the
// network, so they stay fixed.
enum class GameMode : u32 {
    Arcade = 0,
    Survival = 1,
    Practice = 2,
    Team = 3,
    Fleet = 4,
    Hangar = 5,
    LocalBattle = 6,
    Online = 7,
    Ranking = 8,
};

// Every setting of the next battle but its music list, as plain values: a
// battle keeps a copy of those it started with, whatever the room changes
// for the next one meanwhile.
struct BattleSettings {
    GameMode gameMode = GameMode::Arcade;
    // 1 marks the title's demonstration battle.
    u32 modeOption = 0;
    // Stage folder index; 0xFFFFFFFF picks one at random.
    u32 stage = 0;
    // Local battle: 0 remaining bodies, 1 team cost.
    u32 localRule = 0;
    // First room-settings word; its low byte repeats online key states.
    u32 roomSetting = 0;
    // Online input delay 1..20.
    u32 netDelay = 0;
    u8 chat = 0;
    u8 voiceMode = 0;
    f32 hpRate = 0.0f;
    f32 energyRate = 0.0f;
    // Minutes; a battle lasts timeLimit * 3600 frames.
    u32 timeLimit = 0;
    i32 costLimit = 700;
    f32 costRate = 1.0f;
    u8 popType = 0;
    // The room's music setting as the server keeps it (online).
    u32 bgmNo = 0;
    u8 item = 0;
};

struct GameSettings : BattleSettings {
    // The user music list; its selectedBgm is the battle's music choice.
    MyBgmList bgmList;
};
