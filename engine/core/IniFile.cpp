#include "engine/core/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Clears size bytes of out and has read fill at most IniValueSize of them.
template <typename Read>
int ReadInto(char* out, u32 size, Read read) {
    if (out == nullptr) return 0;
    std::memset(out, 0, size);
    if (size == 0) return 1;
    // Never more than the caller's buffer, even when it is below the usual 256.
    read(out, size < IniValueSize ? size : IniValueSize);
    return 1;
}

i32 LeadingInt(const char* value) {
    errno = 0;
    const long n = std::strtol(value, nullptr, 10);
    // Out-of-range text saturates instead of wrapping into a surprise.
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return i32(n);
}

}  // namespace

int ReadIniString(const char* file, const char* section, const char* key, char* out, u32 size) {
    return ReadInto(out, size, [&](char* to, u32 limit) { plat::GetProfileString(section, key, "", to, limit, file); });
}

int ReadIniString(const plat::ParsedIni& ini, const char* section, const char* key, char* out, u32 size) {
    return ReadInto(out, size, [&](char* to, u32 limit) { ini.GetString(section, key, "", to, limit); });
}

i32 ReadIniInt(const char* file, const char* section, const char* key) {
    char value[IniValueSize];
    ReadIniString(file, section, key, value, sizeof(value));
    return LeadingInt(value);
}

i32 ReadIniInt(const plat::ParsedIni& ini, const char* section, const char* key) {
    char value[IniValueSize];
    ReadIniString(ini, section, key, value, sizeof(value));
    return LeadingInt(value);
}

void WriteIniString(const char* file, const char* section, const char* key, const char* value) {
    plat::WriteProfileString(section, key, value, file);
}

void WriteIniInt(const char* file, const char* section, const char* key, i32 value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", value);
    WriteIniString(file, section, key, text);
}
