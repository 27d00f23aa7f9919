#include "app/core/AppClock.h"

#include "platform/core/Time.h"

namespace {
AppClock gClock;
}

void SetAppClock(const AppClock& clock) { gClock = clock; }

u32 AppClockNow() { return gClock.now ? gClock.now() : plat::TimeGetTime(); }

void AppClockSleep(u32 ms)
{
    if (gClock.sleep) gClock.sleep(ms);
    else plat::Sleep(ms);
}
