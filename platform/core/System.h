#pragma once
// Questions about the user's system: language and well-known folders.
#include <string>

#include "platform/core/Types.h"

namespace plat {

// Primary language identifiers, as the game compares them.
inline constexpr u16 LanguageJapanese = 0x11;
inline constexpr u16 LanguageChinese = 0x04;
inline constexpr u16 LanguageEnglish = 0x09;

// The user's language from LC_ALL, LC_MESSAGES or LANG (first one set):
// LanguageJapanese for "ja...", LanguageChinese for "zh...", else
// LanguageEnglish.
u16 GetSystemLanguage();

// The per-user application-data folder: $XDG_DATA_HOME, else
// $HOME/.local/share. Empty when neither is known.
std::string GetLocalAppDataFolder();

// The per-user configuration folder: $XDG_CONFIG_HOME, else $HOME/.config.
// Empty when neither is known.
std::string GetConfigFolder();

// Asks the allocator to give the memory freed buffers left behind back to
// the system (a long-running server, after many large buffers went).
void ReleaseFreeMemory();

// A whole-number test switch from the environment, or fallback when it is
// unset or not a number. Only the game's record of test switches asks.
i32 GetTestSwitch(const char* name, i32 fallback);
// A text test switch from the environment; empty when unset.
std::string GetTestSwitchText(const char* name);

}  // namespace plat
