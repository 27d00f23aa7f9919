#include "platform/input/Mouse.h"

#include <SDL2/SDL.h>

#include "platform/gfx/NativeWindow.h"

namespace plat {

namespace {
bool g_scripted = false;
i32 g_scriptX = 0, g_scriptY = 0;
bool g_scriptLeft = false;
}  // namespace

namespace {
bool g_cursorShown = true;
}  // namespace

void ShowSystemCursor(bool shown)
{
    g_cursorShown = shown;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

bool SystemCursorShown() { return g_cursorShown; }

void MoveCursorToClient(const Window* owner, i32 x, i32 y)
{
    if (g_scripted) {
        g_scriptX = x;
        g_scriptY = y;
        return;
    }
    SDL_Window* window = NativeOf(owner);
    if (!window || !SDL_WasInit(SDL_INIT_VIDEO)) return;
    SDL_WarpMouseInWindow(window, x, y);
}

void SetScriptedMouse(i32 x, i32 y, bool leftDown)
{
    g_scripted = true;
    g_scriptX = x;
    g_scriptY = y;
    g_scriptLeft = leftDown;
}

bool GetCursorClientPos(const Window* owner, i32& x, i32& y)
{
    if (g_scripted) {
        x = g_scriptX;
        y = g_scriptY;
        return true;
    }
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
    if (g_scripted) return button == 0 && g_scriptLeft;
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
