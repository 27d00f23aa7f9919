// Entry point of the game executable: the one file that sees every tier.
// Each tier above the application shell exports one RegisterXxxHooks() from
// its own Hooks.h (battle/Hooks.h, frontend/Hooks.h, online/Hooks.h) that
// fills its part of the table in app/Hooks.h: the title menu's scenes, the
// demonstration battle, the story objects, the network dispatchers. They are
// called here, lowest tier first, before the program starts; a hook left
// unset keeps the behaviour written beside it.
#include "app/core/Startup.h"
#include "frontend/Hooks.h"
#include "online/Hooks.h"

int main()
{
    RegisterFrontendHooks();
    RegisterOnlineHooks();
    return GameMain();
}
