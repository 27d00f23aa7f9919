#pragma once
// Millisecond clock and sleeping.
#include "platform/core/Types.h"

namespace plat {

// Milliseconds on a monotonic clock; wraps after about 49.7 days, so compare
// times by unsigned difference.
u32 TimeGetTime();
// Suspends the calling thread for at least ms milliseconds (0 yields).
void Sleep(u32 ms);
// Asks for a fine timer resolution while the program runs. Sleeps here are
// already fine-grained, so these only record the request.
void BeginTimerPeriod(u32 ms);
void EndTimerPeriod(u32 ms);

}  // namespace plat
