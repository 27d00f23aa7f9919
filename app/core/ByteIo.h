#pragma once
// Little-endian field access for the save files and part records.
#include <cstring>

#include "platform/core/TextCodec.h"
#include "platform/core/Types.h"

inline void PutU16(u8* p, u16 v)
{
    p[0] = u8(v);
    p[1] = u8(v >> 8);
}
inline void PutU32(u8* p, u32 v)
{
    p[0] = u8(v);
    p[1] = u8(v >> 8);
    p[2] = u8(v >> 16);
    p[3] = u8(v >> 24);
}
inline u16 GetU16(const u8* p) { return u16(p[0] | (p[1] << 8)); }
inline u32 GetU32(const u8* p)
{
    return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

// Cuts a multi-byte character that the end of the text splits.
inline void TrimSplitCharacter(char* s)
{
    const size_t n = std::strlen(s);
    size_t i = n;
    for (int k = 0; i > 0 && k < 3 && plat::IsUtf8Continuation(u8(s[i - 1])); ++k) --i;
    if (i == 0) return;
    const size_t lead = i - 1;
    const size_t length = plat::Utf8SequenceLength(u8(s[lead]));
    if (length > 1 && lead + length > n) s[lead] = '\0';
}

// Copies a fixed text field read from outside and makes it safe: always
// terminated, never ending inside a UTF-8 character.
inline void ReadFixedText(char* field, const u8* src, size_t size)
{
    std::memcpy(field, src, size);
    field[size - 1] = '\0';
    TrimSplitCharacter(field);
}
