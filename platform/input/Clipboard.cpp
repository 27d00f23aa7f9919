#include "platform/input/Clipboard.h"

#include <SDL2/SDL.h>

namespace plat {
namespace {
std::string gLocal;
bool gLocalSet = false;

bool UseSystem() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }
}  // namespace

bool HasClipboardText()
{
    if (UseSystem()) return SDL_HasClipboardText() == SDL_TRUE;
    return gLocalSet && !gLocal.empty();
}

std::string GetClipboardText()
{
    if (!UseSystem()) return gLocalSet ? gLocal : std::string();
    char* text = SDL_GetClipboardText();
    if (!text) return {};
    std::string out(text);
    SDL_free(text);
    return out;
}

bool SetClipboardText(const char* text)
{
    if (!text) text = "";
    if (UseSystem()) return SDL_SetClipboardText(text) == 0;
    gLocal = text;
    gLocalSet = true;
    return true;
}

}  // namespace plat
