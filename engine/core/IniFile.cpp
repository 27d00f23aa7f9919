#include "engine/core/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/Ini.h"

int ReadIniString(const char* file, const char* section, const char* key, char* out, u32 size) {
    if (out == nullptr) return 0;
    std::memset(out, 0, size);
    if (size == 0) return 1;
    // Never more than the caller's buffer, even when it is below the usual 256.
    const u32 limit = size < IniValueSize ? size : IniValueSize;
    plat::GetProfileString(section, key, "", out, limit, file);
    return 1;
}

i32 ReadIniInt(const char* file, const char* section, const char* key) {
    char value[IniValueSize];
    ReadIniString(file, section, key, value, sizeof(value));
    errno = 0;
    const long n = std::strtol(value, nullptr, 10);
    // Out-of-range text saturates instead of wrapping into a surprise.
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return i32(n);
}

void WriteIniString(const char* file, const char* section, const char* key, const char* value) {
    plat::WriteProfileString(section, key, value, file);
}

void WriteIniInt(const char* file, const char* section, const char* key, i32 value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", value);
    WriteIniString(file, section, key, text);
}
