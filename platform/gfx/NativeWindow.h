#pragma once
// Inside platform/ only: the SDL window behind our own window handle. Code
// above the platform layer holds plat::Window and never sees SDL.
#include "platform/gfx/Window.h"

struct SDL_Window;

namespace plat {

inline SDL_Window* ToSdl(SystemWindow* w) { return reinterpret_cast<SDL_Window*>(w); }
inline SystemWindow* FromSdl(SDL_Window* w) { return reinterpret_cast<SystemWindow*>(w); }
// Null for a null or headless window.
inline SDL_Window* NativeOf(const Window* w) { return w ? ToSdl(w->System()) : nullptr; }

}  // namespace plat
