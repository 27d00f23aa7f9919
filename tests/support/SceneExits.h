#pragma once
// What a front-end scene under test stands on: the run folder's lists and
// pilots, and stand-in scenes it leaves for, each counting its arrivals.
#include <cstdio>

#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/BaseScene.h"
#include "platform/core/FileSystem.h"

// The test runs in the run folder: its robots, stages and pilots, an empty
// part inventory.
inline void UseRunFolder(CApplication& app)
{
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", plat::GetCurrentDirectory().c_str());
    FillFolderLists(app);
    app.partInventory.Reset();
    GetPilotRegistry()->ScanFolders(app.startupDir);
}

template <int Id>
class ExitScene : public MenuScene {
public:
    ~ExitScene() override { SceneInstance<ExitScene>() = nullptr; }
    void Init() { ++arrivals; }
    static inline int arrivals = 0;
};

inline BaseScene* GetBattleExit() { return GetSceneInstance<ExitScene<0>>(); }
inline BaseScene* GetTitleExit() { return GetSceneInstance<ExitScene<1>>(); }
