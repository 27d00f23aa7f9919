#pragma once
// Sets up a battle headless (the recording graphics device, a window that is
// never shown) and runs its frames back to back on a fake clock, as fast as
// the machine allows. Used by the battle tests and the benchmarks.
#include <memory>

#include "app/core/GameSettings.h"
#include "platform/core/Types.h"

class CGameScene;
namespace plat {
class Window;
class GfxRecorderDevice;
}

struct BattleRunnerOptions {
    GameMode mode = GameMode::Survival;
    u32 modeOption = 0;
    u32 stage = 0;
    u32 localRule = 0;
    u32 maxFrameSkip = 0;
    // Participants 0..3: slot state (0 empty, 1 player, 2 computer) and robot type.
    i32 slotState[4] = {1, 2, 0, 0};
    i32 robot[4] = {0, 1, 0, 0};
    i32 team[4] = {0, 1, 0, 1};
    // Folder holding the sample data; empty: the current directory.
    const char* runFolder = "";
    // Draw on OpenGL (a hidden offscreen window) instead of the recorder,
    // for tests that look at the pictures.
    bool openGL = false;
};

class BattleRunner {
public:
    explicit BattleRunner(const BattleRunnerOptions& options);
    ~BattleRunner();
    BattleRunner(const BattleRunner&) = delete;
    BattleRunner& operator=(const BattleRunner&) = delete;

    CGameScene* Scene() const;
    // Runs frames through the scene's clock, each one due when it is called.
    // Returns how many ran before the scene went away (a task replaced it).
    u32 RunFrames(u32 count);
    // Ends the battle (the scene's release and destructor), as a scene switch does.
    void EndBattle();

    plat::GfxRecorderDevice* Recorder() const;
    // The fake clock's time in ms.
    static u32 Now();
    static void Advance(u32 ms);

private:
    std::unique_ptr<plat::Window> window_;
};
