#pragma once
// The system clipboard as UTF-8 text. Before the video system starts (tests,
// tools) a clipboard private to the program stands in.
#include <string>

namespace plat {

bool HasClipboardText();
// Empty when there is none.
std::string GetClipboardText();
bool SetClipboardText(const char* text);

}  // namespace plat
