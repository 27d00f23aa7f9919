#include "platform/core/Time.h"

#include <atomic>
#include <chrono>
#include <thread>

#include <time.h>

namespace plat {
namespace {
std::atomic<u32> g_timerPeriodRequests{0};
}

u32 TimeGetTime() {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    // Truncation to 32 bits is the intended wrap-around.
    return u32(u64(now.tv_sec) * 1000u + u64(now.tv_nsec) / 1000000u);
}

void Sleep(u32 ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BeginTimerPeriod(u32) { ++g_timerPeriodRequests; }

void EndTimerPeriod(u32) {
    u32 n = g_timerPeriodRequests.load();
    while (n > 0 && !g_timerPeriodRequests.compare_exchange_weak(n, n - 1)) {
    }
}

}  // namespace plat
