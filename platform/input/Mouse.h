#pragma once
// The mouse cursor and buttons, read at call time.
#include "platform/core/Types.h"

namespace plat {

class Window;

// Cursor position in window's client pixels (it may lie outside the client
// area). false when no video system is running.
bool GetCursorClientPos(const Window* window, i32& x, i32& y);
// button: 0 left, 1 right, 2 middle.
bool IsMouseButtonDown(i32 button);

// Shows or hides the system cursor over the game's windows.
void ShowSystemCursor(bool shown);
// Puts the cursor at a point of the window's client area (nothing without a
// running video system or window).
void MoveCursorToClient(const Window* window, i32 x, i32 y);
// Whether the system cursor is shown (true until hidden).
bool SystemCursorShown();

// Input scripts (tests) drive the cursor and the left button through this;
// once set, the two readers above report it instead of the real mouse.
void SetScriptedMouse(i32 x, i32 y, bool leftDown);

}  // namespace plat
