#include "app/core/AppClock.h"

#include "platform/core/Time.h"
#include "platform/input/InputScript.h"

namespace {
AppClock gClock;
}

void SetAppClock(const AppClock& clock) { gClock = clock; }

// A scripted game steps its own time one frame per pass and never waits
// for the wall clock.
u32 AppClockNow()
{
    if (gClock.now) return gClock.now();
    return plat::InputScriptLoaded() ? plat::InputScriptClock() : plat::TimeGetTime();
}

u32 AppWorkClockNow() { return gClock.now ? gClock.now() : plat::TimeGetTime(); }

void AppClockSleep(u32 ms)
{
    if (gClock.sleep) gClock.sleep(ms);
    else if (!plat::InputScriptLoaded()) plat::Sleep(ms);
}
