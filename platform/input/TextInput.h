#pragma once
// Text entry from the input method: switching it on and off, and the
// composition string it is building (mirrored from the event pump).
#include <string>

#include "platform/core/Types.h"

namespace plat {

struct ImeContext;

// The input context of the program's window (there is one for the whole
// program); never null. Opening it starts text input.
ImeContext* ImeGetContext();
void ImeReleaseContext(ImeContext* context);
// Input method on (characters and compositions arrive) or off.
void ImeSetOpenStatus(ImeContext* context, bool open);
bool ImeGetOpenStatus(const ImeContext* context);

// The current composition (UTF-8, empty when none) and its cursor as a byte
// offset into it.
std::string ImeGetCompositionString(const ImeContext* context);
i32 ImeGetCompositionCursor(const ImeContext* context);

// Fed by the event pump: the composition as the input method reports it,
// with the cursor counted in characters.
void ImeSetComposition(const char* text, i32 cursorChars);

}  // namespace plat
