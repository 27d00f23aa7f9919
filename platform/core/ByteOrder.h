#pragma once
// Little-endian field access: the one byte order of every file and network
// record, whatever the machine's own. Callers check the bounds.
#include <cstring>

#include "platform/core/Types.h"

inline u16 GetU16(const u8* p) { return u16(p[0] | (p[1] << 8)); }
inline u32 GetU32(const u8* p)
{
    return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}
inline i16 GetI16(const u8* p) { return i16(GetU16(p)); }
inline i32 GetI32(const u8* p) { return i32(GetU32(p)); }
inline f32 GetF32(const u8* p)
{
    const u32 bits = GetU32(p);
    f32 f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

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
inline void PutI16(u8* p, i16 v) { PutU16(p, u16(v)); }
inline void PutI32(u8* p, i32 v) { PutU32(p, u32(v)); }
inline void PutF32(u8* p, f32 v)
{
    u32 bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutU32(p, bits);
}
