#pragma once
// Four floats side by side, for testing four boxes or triangles at once with
// each lane doing the one-at-a-time test's own operations in its order.
#include <cstddef>
#include <cstring>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

namespace plat {

typedef float Four __attribute__((vector_size(16)));
typedef i32 FourMask __attribute__((vector_size(16)));

inline Four Lanes(const float* v)
{
    Four f;
    std::memcpy(&f, v, sizeof f);
    return f;
}

inline Four Spread(float v) { return Four{v, v, v, v}; }

// Bit i for lane i set, for masks that comparisons make (each lane all
// ones or all zeros): then a lane's sign bit is the lane, and one
// instruction gathers the four.
inline u32 LaneBits(FourMask m)
{
#if defined(__SSE__)
    return u32(_mm_movemask_ps(__m128(m)));
#else
    const FourMask bits = m & FourMask{1, 2, 4, 8};
    return u32(bits[0] | bits[1] | bits[2] | bits[3]);
#endif
}

// The lanes whose box meets [lo, hi] on every axis (lo <= max, hi >= min),
// by bits. mins and maxs point at the x lanes; each next axis lies stride
// floats on.
inline u32 FourBoxesMeet(const Vec3& lo, const Vec3& hi, const float* mins, const float* maxs, std::size_t stride)
{
    return LaneBits((Spread(lo.x) <= Lanes(maxs)) & (Spread(hi.x) >= Lanes(mins)) &
                    (Spread(lo.y) <= Lanes(maxs + stride)) & (Spread(hi.y) >= Lanes(mins + stride)) &
                    (Spread(lo.z) <= Lanes(maxs + 2 * stride)) & (Spread(hi.z) >= Lanes(mins + 2 * stride)));
}

}  // namespace plat
