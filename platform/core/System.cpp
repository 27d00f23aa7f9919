#include "platform/core/System.h"

#include <cstdlib>
#include <cstdint>
#include <cstring>

#include <malloc.h>

namespace plat {
namespace {

const char* FirstSet(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return nullptr;
}

std::string FolderFromEnv(const char* xdgName, const char* homeRelative) {
    const char* xdg = std::getenv(xdgName);
    // The XDG rules ignore relative paths.
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + homeRelative;
    return {};
}

}  // namespace

u16 GetSystemLanguage() {
    const char* locale = FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"});
    if (locale == nullptr) return LanguageEnglish;
    if (std::strncmp(locale, "ja", 2) == 0) return LanguageJapanese;
    if (std::strncmp(locale, "zh", 2) == 0) return LanguageChinese;
    return LanguageEnglish;
}

std::string GetLocalAppDataFolder() { return FolderFromEnv("XDG_DATA_HOME", "/.local/share"); }

std::string GetConfigFolder() { return FolderFromEnv("XDG_CONFIG_HOME", "/.config"); }

i32 GetTestSwitch(const char* name, i32 fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') return fallback;
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (*end != '\0' || n < INT32_MIN || n > INT32_MAX) return fallback;
    return static_cast<i32>(n);
}

std::string GetTestSwitchText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void ReleaseFreeMemory() { malloc_trim(0); }

}  // namespace plat
