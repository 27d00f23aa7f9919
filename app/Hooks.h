#pragma once
// Calls from the application shell up into the front-end and online play.
// Those layers register their functions at start-up; until then each hook
// does the safe nothing written beside it.

class NetClientPair; // the game and data connections of online play
class CStoryBase;    // an arcade story run

struct AppHooks {
    // Getter of the online client pair (created on first use by online
    // play). Unset: null, and the main loop has no network step.
    NetClientPair* (*getNetClientPair)() = nullptr;
    // Deletes an arcade story object through its deleting destructor.
    // Unset: the story is leaked rather than deleted through a wrong type.
    void (*deleteStory)(CStoryBase* story) = nullptr;
};

AppHooks& GetAppHooks();

// Safe wrappers used by the shell.
NetClientPair* GetNetClientPair();
void DeleteStory(CStoryBase* story);
