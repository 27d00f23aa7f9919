#pragma once
// Modal message boxes with one OK button.
//
// Without a display, or with QUILLON_QUIET_BOXES=1, the caption and text go
// to stderr and the call returns at once. Only the main thread shows boxes;
// on any other thread the message goes to stderr instead.
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

}  // namespace plat
