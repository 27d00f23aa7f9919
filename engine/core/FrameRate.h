#pragma once
// Frames-per-second counter for the battle display.
#include "platform/core/Types.h"

// Call once per frame. Returns the number of calls counted in the last
// window of at least one second; the first call already takes a reading.
u32 UpdateFrameRate();

// Test hooks: replace the millisecond clock (null restores the real one)
// and start counting afresh.
void SetFrameRateClock(u32 (*clock)());
void ResetFrameRate();
