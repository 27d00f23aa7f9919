#include "platform/input/TextInput.h"

#include <SDL2/SDL.h>

#include "platform/core/TextCodec.h"

namespace plat {

struct ImeContext {
    bool open = false;
    std::string composition;
    i32 cursor = 0; // bytes
};

namespace {
ImeContext gContext;
}

ImeContext* ImeGetContext()
{
    ImeSetOpenStatus(&gContext, true);
    return &gContext;
}

void ImeReleaseContext(ImeContext* context)
{
    if (!context) return;
    ImeSetOpenStatus(context, false);
}

void ImeSetOpenStatus(ImeContext* context, bool open)
{
    if (!context) return;
    context->open = open;
    if (!open) {
        context->composition.clear();
        context->cursor = 0;
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    if (open) SDL_StartTextInput();
    else SDL_StopTextInput();
}

bool ImeGetOpenStatus(const ImeContext* context) { return context && context->open; }

std::string ImeGetCompositionString(const ImeContext* context)
{
    return context ? context->composition : std::string();
}

i32 ImeGetCompositionCursor(const ImeContext* context) { return context ? context->cursor : 0; }

void ImeSetComposition(const char* text, i32 cursorChars)
{
    gContext.composition = text ? text : "";
    // The input method counts characters; the line editor measures bytes.
    const char* s = gContext.composition.c_str();
    i32 bytes = 0;
    for (i32 i = 0; i < cursorChars && s[bytes]; ++i)
        bytes += static_cast<i32>(Utf8CharLength(s + bytes));
    gContext.cursor = bytes;
}

}  // namespace plat
