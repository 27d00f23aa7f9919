#pragma once
// Sizing a window so its client area has an exact size, whatever its frame.
#include "platform/core/Types.h"

namespace plat {
class Window;
}

// Keeps the window's position; a null window or a size below 1 is ignored.
void ResizeWindowClient(plat::Window* window, i32 width, i32 height);
