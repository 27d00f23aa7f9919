#pragma once
// What the game does to a window once it exists: exact client size, title,
// showing it, and reading its client size.
#include "platform/core/Types.h"

struct SDL_Window;

namespace plat {

// Gives the window a client area of exactly width x height, keeping its
// position (the frame is the window manager's and never counts).
void ResizeWindowClient(SDL_Window* window, i32 width, i32 height);
// Client area in pixels; 0 x 0 for a null or minimised window.
void GetClientSize(SDL_Window* window, i32& width, i32& height);
void ShowWindow(SDL_Window* window);
void SetWindowTitle(SDL_Window* window, const char* title);

}  // namespace plat
