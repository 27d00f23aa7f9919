#pragma once
// INI settings files, read and written the way the game's settings code
// expects: sections and keys match without regard to ASCII case, a missing
// file, section or key reads as the default, and a write keeps every other
// line of the file. Files are UTF-8 text; writes replace the file whole
// through a temporary file, so it is never left half written.
#include <cstddef>

#include "platform/core/Types.h"

namespace plat {

// Copies the value of key (or defaultValue, null meaning "") into out of
// size bytes, cut so no UTF-8 character is split, always zero-terminated.
// Surrounding blanks and one pair of enclosing quotes are dropped. Returns
// the bytes copied, without the zero.
u32 GetProfileString(const char* section, const char* key, const char* defaultValue,
                     char* out, u32 size, const char* file);

// The leading number of key's value (blanks, sign, decimal or 0x hex
// digits); defaultValue when the key is missing or does not start with a
// number.
i32 GetProfileInt(const char* section, const char* key, i32 defaultValue, const char* file);

// Sets key in section to value, creating the file, section or key as needed.
// false when the file cannot be written.
bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* file);

}  // namespace plat
