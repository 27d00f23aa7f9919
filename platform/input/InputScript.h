#pragma once
// Scripted input for tests and demonstrations: timed key presses, pad
// buttons, text and window requests fed into SDL's event queue, so the game
// sees them exactly as real input. One step per line:
//
//   <ms> <kind> <arguments>
//
// ms counts the program's running time from the moment the script loads; a
// stall between two looks at the script (loading, a slow first frame) counts
// as at most 50 ms, so steps keep the spacing the game sees between them.
//
//   key NAME            press and release 100 ms later (NAME: "Z", "F12",
//                       "VK_SNAPSHOT", "Enter", "0x2C" ...)
//   keydown NAME / keyup NAME
//   text TEXT           typed UTF-8 text (the rest of the line)
//   compose CURSOR TEXT the input method's composition, cursor in characters;
//                       "compose 0" alone ends it
//   pad PAD BUTTON      press a pad button for 100 ms (button numbers of
//                       platform/input/Gamepad.h); paddown / padup PAD BUTTON
//   padaxis PAD AXIS V  AXIS is x, y, rx or ry; V in -1000..1000
//   wheel NOTCHES       mouse wheel
//   mouse X Y           moves the cursor to client pixel (X, Y)
//   click X Y           moves there and clicks the left button (100 ms)
//   button ID           a dialog control clicked
//   close               the window's close box
//   clipboard TEXT      puts TEXT on the clipboard
//   quit CODE           ends the main loop with CODE
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
// True when no script is loaded or every step has been fed.
bool InputScriptFinished();
// Whether this run is driven by a script (its steps stay counted once fed).
bool InputScriptLoaded();
void ClearInputScript();

}  // namespace plat
