#pragma once
// The millisecond clock of the application shell (key repeats, menu
// pacing). Tests install a fake one; unset members use the system clock,
// or under an input script the script's game time (one frame per pass of
// the main loop, and sleeps that return at once).
#include "platform/core/Types.h"

struct AppClock {
    u32 (*now)() = nullptr;
    void (*sleep)(u32 ms) = nullptr;
};

void SetAppClock(const AppClock& clock);
u32 AppClockNow();
// The time work really takes (a frame's budget for network messages): the
// wall clock even under an input script, whose game time stands still
// within a pass.
u32 AppWorkClockNow();
void AppClockSleep(u32 ms);
