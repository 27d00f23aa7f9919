#pragma once
// Hit flashes, spark streaks and rings: quads that grow or shrink and fade.
#include "battle/BattleObject.h"

class BB_ExplodeBeam : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour);
};

// A flash that rides along with another object while that one lives.
class BB_ExplodeBeam2 : public BB_ExplodeBeam {
public:
    i32 Run() override;
    virtual void SetEx(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                       BB_Base* followed, u8 follow);

    BB_Base* Followed = nullptr;
    u8 Follow = 0;
    Vec3 Offset;
};

class BB_EffectBeam : public BB_Standard {
public:
    i32 Run() override;
    i32 Draw() override;
    // The quad is rolled by a random angle below rollRange degrees (one draw).
    virtual void Set(const Vec3* position, f32 width, f32 length, const Vec3* velocity, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, f32 rollRange);

    Vec3 Velocity;
    Vec3 Direction;
    f32 Radius = 0.0f;
};

class BB_Circle : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     u16 alphaStep, f32 growth, BB_Base* followed);

    i32 Counter = 0;
    BB_Base* Followed = nullptr;
    u16 AlphaStep = 0;
    f32 Growth = 0.0f;
};
