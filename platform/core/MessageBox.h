#pragma once
// Modal message boxes with one OK button.
//
// Without a display, or with QUILLON_QUIET_BOXES=1, the caption and text go
// to stderr and the call returns at once. Only the main thread shows boxes;
// on any other thread the message goes to stderr instead.
//
// Once the scenes run, nothing may stop the game for an answer: a box then
// goes to stderr and becomes a notice that the scenes draw over their frame.
// The same caption and text raised again while its notice is still on
// screen (a fault met every frame) prints nothing more: it only tells the
// screen to keep that notice up. Once the notice has left the screen, the
// same text is told again. What is on screen, and for how long, the scenes
// decide by their frames; they say which notices show through
// SetNoticesOnScreen.
#include <string>
#include <vector>

#include "platform/core/Types.h"

namespace plat {

class Window;

enum MessageBoxStyle : unsigned {
    MessageBoxPlain = 0,
    MessageBoxError = 1,    // error icon
    MessageBoxTopmost = 2,  // keep above other windows (best effort)
};

// Shows text with caption (both UTF-8), owned by owner (may be null), and
// waits for OK.
void ShowMessageBox(const Window* owner, const char* text, const char* caption,
                    unsigned style = MessageBoxPlain);

// Writes an error from any thread to stderr, never blocking.
void ReportError(const char* caption, const char* text);

// Whether boxes would print instead of showing (for tests and tools).
bool MessageBoxesAreQuiet();

// From true on, boxes turn into notices (see above).
void HoldBoxesAsNotices(bool hold);
bool BoxesAreHeldAsNotices();
// The notices raised since the last call, oldest first.
std::vector<std::string> TakeNotices();
// The notices the screen shows now (their texts as TakeNotices gave them).
void SetNoticesOnScreen(std::vector<std::string> shown);

}  // namespace plat
