#pragma once
// The keyboard and up to 16 game controllers found at start-up, of which
// the application reads the first four. Created once before the settings
// dialog, read every pass of the main loop, released at shutdown.
#include <string>

#include "platform/input/Gamepad.h"
#include "platform/core/Types.h"

// One pad read: axes in -1000..1000 and 128 button bytes (bit 7 = held).
using JoyState = plat::PadState;

class InputManager {
public:
    static constexpr i32 MaxPads = 16;

    // 1 on success; 0 after a failure, which has been shown in a box owned
    // by window (may be null: no window exists yet at start-up).
    i32 Init(void* window);
    // 0 when slot index holds no pad; otherwise refreshes state (an
    // unplugged pad leaves it as it was) and returns 1.
    i32 ReadJoystick(JoyState& state, i32 index);
    void Release();

    i32 GetPadCount() const { return padCount; }
    bool IsPadPresent(i32 index) const;
    // Device name for the key dialog's player list.
    std::string GetPadName(i32 index) const;

private:
    bool initialised = false;
    i32 padCount = 0;
    u32 padPresent[MaxPads] = {};
};

InputManager* GetInputManager();
