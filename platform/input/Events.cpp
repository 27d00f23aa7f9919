#include "platform/input/Events.h"
#include "platform/input/RawEvents.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"
#include "platform/input/TextInput.h"

namespace plat {
namespace {

bool gStarted = false;
u32 gUserEvent = 0; // SDL event type of Command and Quit
constexpr i32 kCodeCommand = 1;
constexpr i32 kCodeQuit = 2;
std::deque<Event> gPending; // one SDL event can make several of ours
RawEventObserver gObserver = nullptr;

void Push(EventKind kind, i32 value, bool repeat = false)
{
    gPending.push_back(Event{kind, value, repeat});
}

// The control codes a keyboard types on its own, as the window procedure
// expects them after key translation.
void PushControlChar(i32 virtualKey)
{
    switch (virtualKey) {
    case vk::Back: Push(EventKind::Char, 8); return;
    case vk::Tab: Push(EventKind::Char, 9); return;
    case vk::Return: Push(EventKind::Char, 13); return;
    case vk::Escape: Push(EventKind::Char, 27); return;
    default: break;
    }
    if (virtualKey >= 'A' && virtualKey <= 'Z' && IsKeyDown(vk::Control) && !IsKeyDown(vk::Menu))
        Push(EventKind::Char, virtualKey - 'A' + 1);
}

void Translate(const SDL_Event& e)
{
    if (gObserver) gObserver(e);
    switch (e.type) {
    case SDL_KEYDOWN: {
        const i32 code = VirtualKeyFromScancode(e.key.keysym.scancode);
        if (code == 0) return;
        SetKeyDown(code, true);
        Push(EventKind::KeyDown, code, e.key.repeat != 0);
        PushControlChar(code);
        return;
    }
    case SDL_KEYUP: {
        const i32 code = VirtualKeyFromScancode(e.key.keysym.scancode);
        if (code == 0) return;
        SetKeyDown(code, false);
        Push(EventKind::KeyUp, code);
        return;
    }
    case SDL_TEXTINPUT:
        for (const char* p = e.text.text; *p; ++p)
            Push(EventKind::Char, static_cast<u8>(*p));
        return;
    case SDL_TEXTEDITING:
        ImeSetComposition(e.edit.text, e.edit.start);
        Push(EventKind::KeyDown, ProcessKey);
        return;
#if SDL_VERSION_ATLEAST(2, 0, 22)
    case SDL_TEXTEDITING_EXT:
        ImeSetComposition(e.editExt.text, e.editExt.start);
        Push(EventKind::KeyDown, ProcessKey);
        return;
#endif
    case SDL_MOUSEWHEEL: {
        i32 y = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
        Push(EventKind::MouseWheel, y * 120);
        return;
    }
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_MINIMIZED: Push(EventKind::Activate, 1); return;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_FOCUS_GAINED: Push(EventKind::Activate, 0); return;
        case SDL_WINDOWEVENT_CLOSE: Push(EventKind::Close, 0); return;
        default: return;
        }
    case SDL_QUIT: Push(EventKind::Close, 0); return;
    default:
        if (gUserEvent != 0 && e.type == gUserEvent) {
            const i32 value = static_cast<i32>(reinterpret_cast<intptr_t>(e.user.data1));
            Push(e.user.code == kCodeQuit ? EventKind::Quit : EventKind::Command, value);
        }
        return;
    }
}

void PushUser(i32 code, i32 value)
{
    if (!gStarted && !InitEvents()) return;
    SDL_Event e{};
    e.type = gUserEvent;
    e.user.code = code;
    e.user.data1 = reinterpret_cast<void*>(static_cast<intptr_t>(value));
    SDL_PushEvent(&e);
}

}  // namespace

bool InitEvents()
{
    if (gStarted) return true;
    // SIGINT and SIGTERM end the process as usual instead of becoming a
    // close request, which a modal dialog may answer by staying open.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) return false;
    // Video may be missing (no display); events, pads and scripts still work.
    SDL_SetHint(SDL_HINT_IME_SHOW_UI, "1");
    SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
    // Pads are read whether or not a window has the focus, as the game's
    // input always was (and the dialogs' window may not have it).
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    gUserEvent = SDL_RegisterEvents(1);
    if (gUserEvent == static_cast<u32>(-1)) gUserEvent = 0;
    gStarted = true;
    if (const std::string path = InputScriptPath(); !path.empty()) {
        std::string error;
        if (!LoadInputScript(path.c_str(), &error))
            std::fprintf(stderr, "quillon: input script %s: %s\n", path.c_str(), error.c_str());
    }
    return true;
}

void ShutdownEvents()
{
    if (!gStarted) return;
    ClearInputScript();
    gPending.clear();
    gObserver = nullptr;
    gStarted = false;
}

bool PollEvent(Event& out)
{
    if (gPending.empty()) {
        if (!gStarted) return false;
        FeedInputScript();
        SDL_Event e;
        while (gPending.empty() && SDL_PollEvent(&e)) Translate(e);
        if (gPending.empty()) {
            NoteInputPass();
            return false;
        }
    }
    out = gPending.front();
    gPending.pop_front();
    return true;
}

void PostQuit(i32 exitCode) { PushUser(kCodeQuit, exitCode); }
void PostCommand(i32 controlId) { PushUser(kCodeCommand, controlId); }

void SetRawEventObserver(RawEventObserver observer) { gObserver = observer; }

}  // namespace plat
