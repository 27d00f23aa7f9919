#pragma once
// Little-endian field writers and the 16-bit mono WAVE wrapper that every
// sample data writer shares.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

inline void PutU32(std::string& s, u32 v)
{
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void PutI16(std::string& s, i16 v)
{
    const u16 u = static_cast<u16>(v);
    s.push_back(static_cast<char>(u & 0xFF));
    s.push_back(static_cast<char>(u >> 8));
}
inline void PutF32(std::string& s, f32 f)
{
    u32 v;
    std::memcpy(&v, &f, 4);
    PutU32(s, v);
}
inline void PutVec3(std::string& s, const Vec3& v)
{
    PutF32(s, v.x);
    PutF32(s, v.y);
    PutF32(s, v.z);
}
inline void PutQuat(std::string& s, const Quat& q)
{
    PutF32(s, q.x);
    PutF32(s, q.y);
    PutF32(s, q.z);
    PutF32(s, q.w);
}
inline void PutMatrix(std::string& s, const Mat4& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) PutF32(s, m.m[r][c]);
}

// Samples in -1..1 as a 16-bit mono PCM WAVE file.
inline std::string WaveFile(const std::vector<float>& samples, u32 rate)
{
    std::string s;
    auto u16le = [&](u16 v) { s.push_back(char(v)); s.push_back(char(v >> 8)); };
    const u32 bytes = u32(samples.size() * 2);
    s += "RIFF";
    PutU32(s, 36 + bytes);
    s += "WAVEfmt ";
    PutU32(s, 16);
    u16le(1);
    u16le(1);
    PutU32(s, rate);
    PutU32(s, rate * 2);
    u16le(2);
    u16le(16);
    s += "data";
    PutU32(s, bytes);
    for (float v : samples) u16le(u16(i16(std::lround(std::clamp(v, -1.0f, 1.0f) * 32000.0f))));
    return s;
}
