#pragma once
// Game controllers through one fixed button table, whatever the make:
//   0 A, 1 B, 2 X, 3 Y, 4 left shoulder, 5 right shoulder, 6 left trigger,
//   7 right trigger, 8 Back, 9 Start, 10 left stick, 11 right stick,
//   12 Guide, 13 D-pad up, 14 down, 15 left, 16 right, 17 misc.
// Axes run -1000..1000 (Y grows downward); the D-pad also drives X and Y so
// a pad without a stick can still steer.
#include <string>

#include "platform/core/Types.h"

namespace plat {

inline constexpr i32 MaxPads = 16;
inline constexpr i32 PadButtonSlots = 128;
inline constexpr i32 PadAxisRange = 1000;

enum PadButton : i32 {
    PadA = 0, PadB, PadX, PadY, PadLeftShoulder, PadRightShoulder, PadLeftTrigger,
    PadRightTrigger, PadBack, PadStart, PadLeftStick, PadRightStick, PadGuide,
    PadDpadUp, PadDpadDown, PadDpadLeft, PadDpadRight, PadMisc, PadButtonCount
};

// One read of a pad: stick axes, triggers on z (right minus left), right
// stick on rx/ry, and button bytes with bit 7 set while held.
struct PadState {
    i32 x = 0, y = 0, z = 0;
    i32 rx = 0, ry = 0, rz = 0;
    u8 buttons[PadButtonSlots] = {};
};

// Starts the controller subsystem; false when it cannot start.
bool InitGamepads();
// Opens the pads attached now (controllers, and joysticks the system has no
// mapping for), in the system's order, up to max; returns how many. Slot i
// of ReadPad is the i-th opened pad.
i32 OpenPads(i32 max);
// Name of an opened pad ("" when the slot is empty).
std::string GetPadName(i32 slot);
// Fills state from the pad's latest input (the event pump refreshes it).
// false when the slot holds no pad or the pad is unplugged; state is then
// left as it was. A pad plugged back in is found again for its old slot.
bool ReadPad(i32 slot, PadState& state);
// Closes every opened pad.
void ClosePads();

}  // namespace plat
