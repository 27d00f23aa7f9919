#pragma once
// Scripted input for tests and demonstrations: timed key presses, pad
// buttons, text and window requests fed into SDL's event queue, so the game
// sees them exactly as real input. One step per line:
//
//   <ms> <kind> <arguments>
//
// ms counts game time from the moment the script loads. Under a script the
// game keeps no pace with the wall clock: each pass of the main loop is one
// frame, 1/60 s, however long it took, so a scripted game runs at the
// machine's speed and a slow machine plays the same frames, only later.
// A pass that only waited on other programs (InputScriptPassWaited) counts
// the real time it took instead, up to a frame.
//
//   key NAME            a tap: press, and release two main-loop passes and
//                       at least 34 ms later (NAME: "Z", "F12",
//                       "VK_SNAPSHOT", "Enter", "0x2C" ...)
//   keydown NAME / keyup NAME
//   text TEXT           typed UTF-8 text (the rest of the line)
//   compose CURSOR TEXT the input method's composition, cursor in characters;
//                       "compose 0" alone ends it
//   pad PAD BUTTON      tap a pad button, as a key (button numbers of
//                       platform/input/Gamepad.h); paddown / padup PAD BUTTON
//   padaxis PAD AXIS V  AXIS is x, y, rx or ry; V in -1000..1000
//   wheel NOTCHES       mouse wheel
//   mouse X Y           moves the cursor to client pixel (X, Y)
//   click X Y           moves there and taps the left button
//   button ID           a dialog control clicked
//   close               the window's close box
//   clipboard TEXT      puts TEXT on the clipboard
//   quit CODE           ends the main loop with CODE
//   wait KEY VALUE      holds the steps after it until the game has set its
//                       mark KEY to VALUE (SetScriptMark); they keep their
//                       spacing from the moment the wait ended. A wait gives
//                       up after three minutes of real time.
//
// Blank lines and lines starting with '#' are skipped.
#include <string>

#include "platform/core/Types.h"

namespace plat {

// Loads a script; the pads it names are attached as virtual controllers at
// once. false (with the reason in error) on an unreadable file or line.
bool LoadInputScript(const char* path, std::string* error = nullptr);
bool LoadInputScriptText(const std::string& text, std::string* error = nullptr);
// Feeds every step that is due; called by the event pump.
void FeedInputScript();
// The event pump found nothing more waiting: the main loop goes on to its
// frame, and game time steps on. Taps are held across passes, so every
// frame sees them.
void NoteInputPass();
// Game time in milliseconds since the script loaded (0 without one).
u32 InputScriptClock();
// The pass under way only waited on other programs (peers' inputs, the
// server's answer): under a script it rests a moment instead of spinning,
// and game time follows the real clock for it rather than stepping a
// frame, so limits on such waits keep their real length. A no-op without
// a script.
void InputScriptPassWaited();
// The game's state as scripts may wait for it ("scene" "room", ...); a
// no-op without a script.
void SetScriptMark(const char* key, const char* value);
// True when no script is loaded or every step has been fed.
bool InputScriptFinished();
// Whether this run is driven by a script (its steps stay counted once fed).
bool InputScriptLoaded();
// The script this run was started under ($QUILLON_INPUT_SCRIPT, loaded by
// InitEvents); empty for a player's run.
std::string InputScriptPath();
void ClearInputScript();

}  // namespace plat
