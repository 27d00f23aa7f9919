#pragma once
// The program's one loop on the main thread: window events are handled as
// they come; when none waits, one idle pass runs (network, input, mouse,
// text-cache aging, the current scene's frame, the screenshot key). After
// the loop the program shuts down.
#include "platform/core/Types.h"

class CApplication;
struct NetworkHooks;

namespace plat {
struct Event;
}

// Window-message numbers the text-input handler receives.
inline constexpr u32 MessageKeyDown = 0x0100;
inline constexpr u32 MessageChar = 0x0102;

// Time one pass may spend handing arrived messages to the dispatchers: what
// came is taken in as it comes, and a burst still leaves the frame its time.
inline constexpr u32 NetworkBudgetMs = 4;
// A pad axis beyond this reads as a direction.
inline constexpr i32 PadAxisThreshold = 300;
inline constexpr u32 ScreenShotRepeatMs = 10000;

// Runs until a scene sets the quit flag or a quit event arrives, then shuts
// down. The exit code: the quit event's, else 0.
i32 MainLoop(CApplication& app);

// The window procedure: text entry, wheel, activation, close request.
void AppWndProc(CApplication& app, const plat::Event& event);
// One idle pass; false when the quit flag ended it.
bool IdlePass(CApplication& app);

// Parts of the idle pass.
void RunNetworkSteps(const NetworkHooks& hooks);
void PollKeyboard(CApplication& app, i32 pad);
void PollPads(CApplication& app);
void UpdateMouse(CApplication& app);
// Client pixels to the 1024 x 768 virtual screen, whatever the window size;
// false (x, y untouched) for an empty client area or an unset scale.
bool MapCursorToScreen(const CApplication& app, i32 clientWidth, i32 clientHeight, i32 cursorX,
                       i32 cursorY, i32& x, i32& y);

// Releases what start-up created, in reverse order (after the loop).
void ShutdownApplication(CApplication& app);
