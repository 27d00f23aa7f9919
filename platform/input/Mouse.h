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

}  // namespace plat
