#include "platform/gfx/WindowControl.h"

#include <SDL2/SDL.h>

namespace plat {

void ResizeWindowClient(SDL_Window* window, i32 width, i32 height)
{
    if (!window || width <= 0 || height <= 0) return;
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_SetWindowSize(window, width, height); // SDL sizes the client area
    SDL_SetWindowPosition(window, x, y);
}

void GetClientSize(SDL_Window* window, i32& width, i32& height)
{
    width = height = 0;
    if (!window) return;
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) return;
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    width = w;
    height = h;
}

void ShowWindow(SDL_Window* window)
{
    if (window) SDL_ShowWindow(window);
}

void SetWindowTitle(SDL_Window* window, const char* title)
{
    if (window && title) SDL_SetWindowTitle(window, title);
}

}  // namespace plat
