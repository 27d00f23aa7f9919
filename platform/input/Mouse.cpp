#include "platform/input/Mouse.h"

#include <SDL2/SDL.h>

#include "platform/gfx/NativeWindow.h"

namespace plat {

bool GetCursorClientPos(const Window* owner, i32& x, i32& y)
{
    SDL_Window* window = NativeOf(owner);
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    int mx = 0, my = 0;
    if (!window || SDL_GetMouseFocus() == window) {
        SDL_GetMouseState(&mx, &my);
    } else {
        int wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&mx, &my);
        SDL_GetWindowPosition(window, &wx, &wy);
        mx -= wx;
        my -= wy;
    }
    x = mx;
    y = my;
    return true;
}

bool IsMouseButtonDown(i32 button)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const u32 state = SDL_GetMouseState(nullptr, nullptr);
    switch (button) {
    case 0: return (state & SDL_BUTTON_LMASK) != 0;
    case 1: return (state & SDL_BUTTON_RMASK) != 0;
    case 2: return (state & SDL_BUTTON_MMASK) != 0;
    default: return false;
    }
}

}  // namespace plat
