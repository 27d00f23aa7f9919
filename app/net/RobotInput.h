#pragma once
// One robot's input for one frame, as the robot reads it and as a key-state
// message carries it.
#include "platform/core/Types.h"

// A numeric-keypad direction (5 neutral) and nine button bytes (jump, shot,
// saber, guard, target change, sub 1, sub 2, sub 3, start). Copied whole and
// sent as it is.
struct RobotInput {
    u8 direction = 5;
    u8 buttons[9] = {};
    void Clear()
    {
        direction = 5;
        for (u8& b : buttons) b = 0;
    }
};
static_assert(sizeof(RobotInput) == 10, "the input record travels as ten bytes");
