#include "engine/core/MTRand.h"

#include <new>

namespace {
constexpr u64 kStartMultiplier = 6364136223846793005ull;
constexpr u64 kMatrix = 0xB5026F5AA96619E9ull;
constexpr u64 kUpperMask = 0xFFFFFFFF80000000ull;
constexpr u64 kLowerMask = 0x7FFFFFFFull;
constexpr u64 kArrayMultiplier1 = 1664525ull;
constexpr u64 kArrayMultiplier2 = 1566083941ull;
constexpr u32 kArrayStart = 0x45EB69ABu;
constexpr u32 kDefaultWords[4] = {0x45678168u, 0x78920ABCu, 0xAB456DE5u, 0xC102854Au};

// The array rule reads w[1] and the twist w[i + 1], so fewer than two words
// cannot work; such sizes fall back to the standard one.
u32 EffectiveSize(u32 size)
{
    return size < 2 ? cMTRand::kDefaultSize : size;
}
} // namespace

cMTRand::~cMTRand()
{
    delete[] state;
}

bool cMTRand::Allocate(u32 n)
{
    // Reinitialising with the same size keeps the words; a larger size must
    // not write past the old allocation.
    if (state && allocated >= n) return true;
    delete[] state;
    allocated = 0;
    state = new (std::nothrow) u64[n];
    if (!state) return false;
    allocated = n;
    return true;
}

void cMTRand::Init(u32 start, u32 sz)
{
    pos = 0;
    draws = 0;
    size = EffectiveSize(sz);
    second = size / 2 + size / 32;
    if (!Allocate(size)) return;
    u64* w = state;
    w[0] = start;
    for (u32 i = 1; i < size; ++i) w[i] = kStartMultiplier * (w[i - 1] ^ (w[i - 1] >> 62)) + i;
}

void cMTRand::InitByArray(u32 sz, const u32* words, u32 count)
{
    pos = 0;
    draws = 0;
    if (!state) Init(kArrayStart, sz);
    if (!state) return;
    if (!words || count == 0) {
        words = kDefaultWords;
        count = 4;
    }
    u64* w = state;
    const u32 n = size;
    u32 i = 1;
    u32 j = 0;
    for (u32 k = (n > count ? n : count); k > 0; --k) {
        w[i] = (w[i] ^ ((w[i - 1] ^ (w[i - 1] >> 62)) * kArrayMultiplier1)) + words[j] + j;
        ++i;
        ++j;
        if (j >= count) j = 0;
        if (i >= n) {
            w[0] = w[n - 1];
            i = 1;
        }
    }
    for (u32 k = n - 1; k > 0; --k) {
        w[i] = (w[i] ^ ((w[i - 1] ^ (w[i - 1] >> 62)) * kArrayMultiplier2)) - i;
        ++i;
        if (i >= n) {
            w[0] = w[n - 1];
            i = 1;
        }
    }
    w[0] = 0x8000000000000000ull;
}

// In place and in ascending order: late words read already twisted ones.
void cMTRand::Twist()
{
    u64* w = state;
    const u32 n = size;
    const u32 m = second;
    // Split where the two reads wrap, so no word pays for a division. The
    // matrix goes in by a mask, not a branch: the low bit is a coin toss that
    // no branch predictor guesses. Each word is read as the lower half of
    // one step and the upper half of the next, so it is loaded once.
    auto mix = [](u64 upper, u64 lower, u64 far) {
        const u64 x = (upper & kUpperMask) | (lower & kLowerMask);
        return far ^ (x >> 1) ^ (kMatrix & (0 - (x & 1)));
    };
    if (n == 0) return;
    const u32 m0 = m % n;
    const u32 split = n - 1 < n - m0 ? n - 1 : n - m0;
    u64 current = w[0];
    u32 i = 0;
    for (; i < split; ++i) {
        const u64 next = w[i + 1];
        w[i] = mix(current, next, w[i + m0]);
        current = next;
    }
    for (; i + 1 < n; ++i) {
        const u64 next = w[i + 1];
        w[i] = mix(current, next, w[i + m0 - n]);
        current = next;
    }
    w[n - 1] = mix(current, w[0], w[(n - 1 + m0) % n]);
}

u64 cMTRand::NextAfterTwist()
{
    if (!state) InitByArray(kDefaultSize, nullptr, 4);
    if (!state) return 0;
    ++draws;
    ++pos;
    if (pos >= size) {
        pos = 0;
        Twist();
    }
    return state[pos];
}
