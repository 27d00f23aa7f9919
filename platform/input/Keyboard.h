#pragma once
// The keyboard as the game sees it: US-layout virtual-key codes and a
// 256-entry state table whose high bit marks a held key. The table is kept
// by the event pump (platform/input/Events.h), so scripted and real key presses
// read the same.
#include "platform/core/Types.h"

namespace plat {

// Virtual-key codes the game names.
namespace vk {
inline constexpr i32 LButton = 0x01, RButton = 0x02, MButton = 0x04;
inline constexpr i32 Back = 0x08, Tab = 0x09, Return = 0x0D;
inline constexpr i32 Shift = 0x10, Control = 0x11, Menu = 0x12, Pause = 0x13, Capital = 0x14;
inline constexpr i32 Escape = 0x1B, Space = 0x20, Prior = 0x21, Next = 0x22;
inline constexpr i32 End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28;
inline constexpr i32 Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E;
inline constexpr i32 LWin = 0x5B, RWin = 0x5C, Apps = 0x5D;
inline constexpr i32 Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D;
inline constexpr i32 Decimal = 0x6E, Divide = 0x6F, F1 = 0x70;
inline constexpr i32 NumLock = 0x90, Scroll = 0x91;
inline constexpr i32 LShift = 0xA0, RShift = 0xA1, LControl = 0xA2, RControl = 0xA3;
inline constexpr i32 LMenu = 0xA4, RMenu = 0xA5;
inline constexpr i32 Oem1 = 0xBA, OemPlus = 0xBB, OemComma = 0xBC, OemMinus = 0xBD;
inline constexpr i32 OemPeriod = 0xBE, Oem2 = 0xBF, Oem3 = 0xC0, Oem4 = 0xDB, Oem5 = 0xDC;
inline constexpr i32 Oem6 = 0xDD, Oem7 = 0xDE, Oem102 = 0xE2;
}  // namespace vk

// SDL scancode to virtual key (0 for keys the game has no code for).
i32 VirtualKeyFromScancode(i32 scancode);
// Virtual key back to an SDL scancode (0 when none), for scripted presses.
i32 ScancodeFromVirtualKey(i32 virtualKey);
// "Z", "VK_SNAPSHOT", "F12", "Enter", "0x2C", "44" ... -> code; -1 if unknown.
i32 VirtualKeyFromName(const char* name);

// Copies the table: bit 7 set while the key is held. Mouse buttons read
// from the mouse at call time.
void GetKeyboardState(u8 table[256]);
// Whether a key (or mouse button) is held right now.
bool IsKeyDown(i32 virtualKey);

// Fed by the event pump; also sets and clears the combined Shift, Control
// and Alt codes.
void SetKeyDown(i32 virtualKey, bool down);
// Releases every key (focus lost, tests).
void ReleaseAllKeys();

}  // namespace plat
