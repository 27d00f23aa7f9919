#pragma once
// Sets up a battle headless (the recording graphics device, a window that is
// never shown) and runs its frames back to back on a fake clock, as fast as
// the machine allows. Used by the battle tests and the benchmarks.
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

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
    // Participants 0..3: slot state (0 empty, 1 player, 2 computer), robot
    // type, team and computer level.
    i32 slotState[4] = {1, 2, 0, 0};
    i32 robot[4] = {0, 1, -1, -1};  // -1: no robot
    i32 team[4] = {0, 1, 0, 1};
    i32 level[4] = {0, 0, 0, 0};
    // Folder holding the sample data; empty: the current directory.
    const char* runFolder = "";
    // Draw on OpenGL (a hidden offscreen window) instead of the recorder,
    // for tests that look at the pictures.
    bool openGL = false;
    // Keep the recorder's log of draw calls (off: the calls run unrecorded,
    // for runs that only look at the battle).
    bool recordCalls = true;
    // Run the draw passes (off: each frame runs as one the game skips
    // drawing, for runs that only look at the battle).
    bool draw = true;
    // The battle generator's seed, so a battle can be run again.
    u32 seed = 1;
    // Computer robots added after the mode's own (robot-table slots 4 on),
    // each at its team's next start point with the local battle's rules.
    struct Extra {
        i32 type = 0;
        i32 team = 0;
        i32 level = 0;
    };
    std::vector<Extra> extra;
    // Runs once the participants are filled in, right before the set-up:
    // what the room would have left behind (parts, pilots, settings).
    std::function<void()> beforeSetUp;
};

// A recorded pad for the local player's robot: from `frame` on (frames
// counted from 1), the direction and buttons (bit b = input byte b + 1) held.
struct RecordedInput {
    u32 frame = 0;
    u8 direction = 5;
    u16 buttons = 0;
};

// A battle of computer robots. A local battle puts up to eight types on teams
// of their own (the first four in the battle's slots, the rest added after the
// set-up), their levels taken in turn from `levels`; the team battle keeps
// the set-up's own robots and takes only the first type for slot 0. With
// `player` slot 0 is the local player's, for recorded input.
BattleRunnerOptions MakeBattleOptions(GameMode mode, u32 stage, const std::vector<i32>& types,
                                      const std::vector<i32>& levels, bool player);

// The most seconds any `window` frames in a row took, from each frame's own
// time (all of them when there are fewer); 0 for none.
double SlowestWindow(const std::vector<double>& frameSeconds, size_t window);

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
    // Frames run so far.
    u32 FramesRun() const { return framesRun_; }
    // Holds the keys of robot-table slot 0's robot as the script says,
    // before each frame (entries in frame order).
    void PlayInput(std::vector<RecordedInput> script) { script_ = std::move(script); }
    // Ends the battle (the scene's release and destructor), as a scene switch does.
    void EndBattle();

    plat::GfxRecorderDevice* Recorder() const;
    // The fake clock's time in ms.
    static u32 Now();
    static void Advance(u32 ms);

private:
    void HoldRecordedKeys();

    std::unique_ptr<plat::Window> window_;
    bool draw_ = true;
    u32 framesRun_ = 0;
    std::vector<RecordedInput> script_;
};

// "1,2,3" as numbers, up to the first that is none (the runners' list options).
inline std::vector<i32> ParseIntList(const char* text)
{
    std::vector<i32> out;
    while (text && *text) {
        char* end = nullptr;
        const long v = std::strtol(text, &end, 10);
        if (end == text) break;
        out.push_back(static_cast<i32>(v));
        text = *end == ',' ? end + 1 : end;
    }
    return out;
}
