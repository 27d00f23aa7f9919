#pragma once
// Every call from the application shell up into the tiers above it (the
// battle, the front-end, online play), as one table. Each upper tier fills
// its part from one RegisterXxxHooks() function (battle/Hooks.h,
// frontend/Hooks.h, online/Hooks.h) that app/main/Main.cpp calls before the
// game starts. Until then every hook does the safe nothing written beside it.
#include "platform/core/Types.h"

class BaseScene;
class CStoryBase;    // an arcade story run
class NetClientPair; // the game and data connections of online play
struct RECVQUEUE;    // engine/net/NetQueue.h

using SceneGetter = BaseScene* (*)();

inline constexpr i32 TitleMenuEntries = 9;

// One title-menu entry. An entry whose scene getter is unset stays on the
// title: the decide sound plays and the idle count starts again.
struct TitleMenuHook {
    SceneGetter scene = nullptr;
    // After the new scene is installed (the versus-practice flag, the VS
    // room's player reset).
    void (*afterSwitch)() = nullptr;
};

// What the front-end and the battle give the title scene.
struct TitleHooks {
    TitleMenuHook entries[TitleMenuEntries];
    // The arcade's story stage object of index 0..4 (arcade entry only).
    CStoryBase* (*newStory)(u32 index) = nullptr;
    // The battle scene's getter, for the demonstration battle. Unset: the
    // title stays.
    SceneGetter demoBattle = nullptr;
};

// Online play's two connections: their receive queues and dispatchers
// (identifier byte, the bytes after it). Unset: no network step.
struct NetworkHooks {
    RECVQUEUE* (*popGame)() = nullptr;
    RECVQUEUE* (*popData)() = nullptr;
    void (*dispatchGame)(u8 id, const u8* body, u32 size) = nullptr;
    void (*dispatchData)(u8 id, const u8* body, u32 size) = nullptr;
};

struct AppHooks {
    TitleHooks title;
    NetworkHooks network;
    // Getter of the online client pair (created on first use by online
    // play). Unset: null.
    NetClientPair* (*getNetClientPair)() = nullptr;
    // Deletes an arcade story object through its deleting destructor.
    // Unset: the story is leaked rather than deleted through a wrong type.
    void (*deleteStory)(CStoryBase* story) = nullptr;
};

AppHooks& GetAppHooks();

// Safe wrappers used by the shell.
NetClientPair* GetNetClientPair();
void DeleteStory(CStoryBase* story);
