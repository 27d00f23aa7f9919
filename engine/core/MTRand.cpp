#include "engine/core/MTRand.h"

#include <cstring>
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

namespace {
// Two state words in one vector register: plain integer work, so the bits
// are those of the one-word step.
using WordPair = u64 __attribute__((vector_size(16)));

WordPair LoadPair(const u64* p)
{
    WordPair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The matrix goes in by a mask, not a branch: the low bit is a coin toss that
// no branch predictor guesses. Works on one word or on a pair.
template <class T>
T Mix(T upper, T lower, T far)
{
    const T x = (upper & kUpperMask) | (lower & kLowerMask);
    return far ^ (x >> 1) ^ (kMatrix & (0 - (x & 1)));
}
} // namespace

// In place and in ascending order: late words read already twisted ones.
// Split where the far read wraps, so no word pays for a division. A pair
// steps two words at once wherever neither reads the other: the upper and
// lower reads lie at or ahead of the pair, and a far read behind it must be
// at least two words back, already written.
void cMTRand::Twist()
{
    u64* w = state;
    const u32 n = size;
    if (n == 0) return;
    const u32 m0 = second % n;
    const u32 split = n - 1 < n - m0 ? n - 1 : n - m0;
    auto pair = [w](u32 i, u32 far) {
        const WordPair out = Mix(LoadPair(w + i), LoadPair(w + i + 1), LoadPair(w + far));
        std::memcpy(w + i, &out, sizeof out);
    };
    auto one = [w](u32 i, u32 far) { w[i] = Mix(w[i], w[i + 1], w[far]); };
    u32 i = 0;
    for (; i + 2 <= split; i += 2) pair(i, i + m0);
    for (; i < split; ++i) one(i, i + m0);
    if (n - m0 >= 2)
        for (; i + 2 < n; i += 2) pair(i, i + m0 - n);
    for (; i + 1 < n; ++i) one(i, i + m0 - n);
    w[n - 1] = Mix(w[n - 1], w[0], w[(n - 1 + m0) % n]);
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
