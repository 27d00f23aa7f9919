// Prints one hash of the bits of the deterministic trigonometry and of the
// battle's rotation and interpolation functions over a sweep of inputs. The
// build compiles this twice, for the generic x86-64 target and with
// -march=native, and a test compares the two hashes: lockstep battles need
// the same bits on every client's processor.
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"

#include <bit>
#include <cstdint>
#include <cstdio>

namespace {

uint64_t gHash = 0xCBF29CE484222325ull;  // FNV-1a

void Mix(float v)
{
    uint32_t bits = std::bit_cast<uint32_t>(v);
    if (v != v) bits = 0x7FC00000u;  // NaN payloads are not part of the contract
    for (int i = 0; i < 4; ++i) {
        gHash ^= (bits >> (8 * i)) & 0xFFu;
        gHash *= 0x100000001B3ull;
    }
}

void Mix(const Mat4& m)
{
    for (const auto& row : m.m)
        for (float v : row) Mix(v);
}

}  // namespace

int main()
{
    using namespace plat;
    // Every 613th float bit pattern, both signs.
    for (uint32_t bits = 0; bits < 0x7F800000u; bits += 613) {
        for (int sign = 0; sign < 2; ++sign) {
            const float x = std::bit_cast<float>(bits | (sign ? 0x80000000u : 0u));
            Mix(DetSin(x));
            Mix(DetCos(x));
            Mix(DetTan(x));
            if (bits <= 0x3F800000u) {
                Mix(DetAsin(x));
                Mix(DetAcos(x));
            }
        }
    }
    uint32_t state = 987654321u;
    for (int i = 0; i < 2000000; ++i) {
        state = state * 1664525u + 1013904223u;
        const float y = std::bit_cast<float>(state & 0xFF7FFFFFu);
        state = state * 1664525u + 1013904223u;
        const float x = std::bit_cast<float>(state & 0xFF7FFFFFu);
        Mix(DetAtan2(y, x));
    }
    for (int i = -20000; i <= 20000; ++i) {
        const float a = static_cast<float>(i) * 0.0137f;
        Mat4 m;
        Mix(*MatrixRotationX(&m, a));
        Mix(*MatrixRotationY(&m, a));
        Mix(*MatrixRotationZ(&m, a));
        const Vec3 axis(1.0f, static_cast<float>(i % 7), -2.0f);
        Mix(*MatrixRotationAxis(&m, &axis, a));
        Mat4 inv;
        if (MatrixInverse(&inv, nullptr, &m)) Mix(inv);
        Quat q0(0, 0, 0, 1), q1;
        QuaternionRotationMatrix(&q1, &m);
        Quat s;
        QuaternionSlerp(&s, &q0, &q1, static_cast<float>(i & 255) / 255.0f);
        Mix(s.x);
        Mix(s.y);
        Mix(s.z);
        Mix(s.w);
    }
    std::printf("%016llx\n", static_cast<unsigned long long>(gHash));
    return 0;
}
