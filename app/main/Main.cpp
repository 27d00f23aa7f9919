// Entry point of the game executable: the one file that sees every tier.
// Each tier above the application shell exports one RegisterXxxHooks() from
// its own Hooks.h (battle/Hooks.h, frontend/Hooks.h, online/Hooks.h) that
// fills its part of the table in app/Hooks.h: the title menu's scenes, the
// demonstration battle, the story objects, the network dispatchers. They are
// called here, lowest tier first, before the program starts; a game built
// with one of them missing stops at once rather than play without it.
#include "app/core/Startup.h"
#include "app/main/GameHooks.h"
#include "platform/core/MessageBox.h"

int main()
{
    RegisterGameHooks();
    const std::vector<std::string> unset = UnsetGameHooks();
    for (const std::string& name : unset)
        plat::ReportError("Quillon", ("The game was built without " + name + ".").c_str());
    if (!unset.empty()) return 1;
    return GameMain();
}
