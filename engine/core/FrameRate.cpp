#include "engine/core/FrameRate.h"

#include "platform/core/Time.h"

namespace {
u32 (*g_clock)() = nullptr;
u32 g_last = 0;
u32 g_count = 0;
u32 g_rate = 0;

u32 Now() { return g_clock != nullptr ? g_clock() : plat::TimeGetTime(); }
}  // namespace

u32 UpdateFrameRate() {
    const u32 now = Now();
    ++g_count;
    if (now - g_last >= 1000) {
        g_last = Now();
        g_rate = g_count;
        g_count = 0;
    }
    return g_rate;
}

void SetFrameRateClock(u32 (*clock)()) { g_clock = clock; }

void ResetFrameRate() {
    g_last = 0;
    g_count = 0;
    g_rate = 0;
}
