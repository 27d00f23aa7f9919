#pragma once
// Faults met while the scenes run (a sound or picture that would not load)
// show for a few seconds in a strip at the foot of the screen, where a box
// would have stopped the game until someone answered it. A notice told
// again while still up starts its time afresh instead of showing twice;
// told again once it has gone, it shows again. Its time counts frames.
#include <string>
#include <vector>

#include "platform/core/Types.h"

// Frames a notice stays, and how many show at once (the newest).
inline constexpr i32 NoticeFrames = 360;
inline constexpr i32 NoticeLines = 4;

// Takes the notices raised since the last frame and draws those still due
// over the frame just drawn, in a scene of its own; call before presenting.
void DrawNotices();
// The notices due now, oldest first.
std::vector<std::string> ShownNotices();
