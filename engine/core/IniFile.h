#pragma once
// Settings files ("Config.ini", "server.ini", ...) read and written by
// section and key. Every function fails quietly: an unreadable value reads
// as empty or 0.
#include "platform/core/Ini.h"
#include "platform/core/Types.h"

// Size of the value buffers every caller passes.
inline constexpr u32 IniValueSize = 256;

// Clears size bytes of out and reads the value into it (at most
// IniValueSize bytes with the zero, never more than size); a missing key or
// file gives "". Returns 1 when out is not null, else 0.
int ReadIniString(const char* file, const char* section, const char* key, char* out, u32 size);
// The value's leading number like atoi ("12abc" is 12); a missing key is 0.
i32 ReadIniInt(const char* file, const char* section, const char* key);
// The same from a file parsed once, for callers that read many keys.
int ReadIniString(const plat::ParsedIni& ini, const char* section, const char* key, char* out, u32 size);
i32 ReadIniInt(const plat::ParsedIni& ini, const char* section, const char* key);
void WriteIniString(const char* file, const char* section, const char* key, const char* value);
// Writes value in decimal ("-5").
void WriteIniInt(const char* file, const char* section, const char* key, i32 value);
