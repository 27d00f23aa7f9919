#pragma once
// The window events the game's window procedure handles, taken from SDL in
// arrival order. Key presses also keep the keyboard table of
// platform/input/Keyboard.h, and composition updates the input context of
// platform/input/TextInput.h, before the event is handed out.
#include "platform/core/Types.h"

namespace plat {

enum class EventKind : u8 {
    KeyDown,    // value: virtual key; repeat set for auto-repeat
    KeyUp,      // value: virtual key
    Char,       // value: one byte of typed UTF-8 text, or a control code
                // (8 Backspace, 9 Tab, 13 Enter, 27 Escape, Ctrl+letter 1..26)
    MouseWheel, // value: rotation, 120 per notch, positive away from the user
    Activate,   // value: 1 when the window was minimised, else 0
    Close,      // the user asked to close the window
    Command,    // value: a dialog control id (scripted clicks)
    Quit,       // value: exit code
};

// Sent as the key of a key-down while the input method composes, so a
// text field refreshes its composition.
inline constexpr i32 ProcessKey = 229;

struct Event {
    EventKind kind = EventKind::KeyDown;
    i32 value = 0;
    bool repeat = false;
};

// Starts SDL's event, video and controller systems (once) and, when the
// environment names one in QUILLON_INPUT_SCRIPT, loads the input script.
// false when SDL cannot start.
bool InitEvents();
void ShutdownEvents();

// Takes the next waiting event; false when none waits. Due scripted input
// enters SDL's queue first, so it arrives exactly as real input would.
bool PollEvent(Event& out);

// Queues a Quit event with an exit code.
void PostQuit(i32 exitCode);
// Queues a Command event (a dialog button pressed by a script).
void PostCommand(i32 controlId);

}  // namespace plat
