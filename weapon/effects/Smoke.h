#pragma once
// Smoke puffs and burning debris.
#include "battle/BattleObject.h"

class BB_MSmoke : public BB_Standard {
public:
    i32 Run() override;
    // The alpha step is added in 16 bits: 0xFFFE fades by 2 a frame.
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, u16 alphaStep);

    Vec3 Velocity;
    u16 AlphaStep = 0;
};

// A burning piece that falls and leaves flames on every other frame.
class BB_BP : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, i32 life);

    Vec3 Velocity;
    i32 Life = 0;
    f32 Size = 0.0f;
};
