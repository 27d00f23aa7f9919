#pragma once
// The game's only random source: a Mersenne-Twister variant with 64-bit state
// words twisted by the 64-bit rule, 624 words, second index N/2 + N/32, and
// 32-bit tempering of the low half. Online clients must draw identical
// sequences from the same start value, so every step is fixed to the bit.
#include "platform/core/Types.h"

class cMTRand {
public:
    static constexpr u32 kDefaultSize = 624;

    constexpr cMTRand() = default;
    cMTRand(const cMTRand&) = delete;
    cMTRand& operator=(const cMTRand&) = delete;
    virtual ~cMTRand();

    // Size 0 means 624.
    void Init(u32 start, u32 size = kDefaultSize);
    // A null array (or an empty one) means the built-in four-word array.
    void InitByArray(u32 size, const u32* words, u32 count);
    // Next raw state word; 0 forever when the state could not be allocated.
    // Inline up to the end of the twisted words: battles draw millions.
    u64 Next64()
    {
        if (state && pos + 1 < size) {
            ++draws;
            return state[++pos];
        }
        return NextAfterTwist();
    }
    // Next 32-bit random number.
    u32 GetRand()
    {
        u32 y = static_cast<u32>(Next64());
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }

    u32 GetSize() const { return size; }
    u32 GetSecond() const { return second; }
    // Numbers drawn since the last initialisation; lockstep checks compare it.
    u64 GetDrawCount() const { return draws; }

private:
    bool Allocate(u32 n);
    void Twist();
    // Next64 once the words are used up (or were never made).
    u64 NextAfterTwist();

    u64* state = nullptr;
    u32 size = 0;
    u32 second = 0;
    u32 pos = 0;
    u32 allocated = 0;
    u64 draws = 0;
};
