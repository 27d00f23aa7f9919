#include "app/Hooks.h"

AppHooks& GetAppHooks()
{
    static AppHooks hooks;
    return hooks;
}

NetClientPair* GetNetClientPair()
{
    const AppHooks& hooks = GetAppHooks();
    return hooks.getNetClientPair ? hooks.getNetClientPair() : nullptr;
}

void DeleteStory(CStoryBase* story)
{
    if (!story) return;
    if (const AppHooks& hooks = GetAppHooks(); hooks.deleteStory) hooks.deleteStory(story);
}
