#pragma once
// Explosion sprites: an 8 x 8 sheet played through while the blast drifts,
// bright (additive) at first, then plain.
#include "battle/BattleObject.h"

class BB_Explode : public BB_Standard {
public:
    i32 Run() override;
    // Culled by its size rather than its quad.
    i32 Draw() override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour);

    Vec3 Velocity;
    i32 Counter = 0;
    f32 Size = 0.0f;

protected:
    // Counter + 2 (additive) below `bright`, else + 1 (plain); true once it
    // reaches `end`, else shows cell counter / perCell.
    bool Ramp(i32 bright, i32 end, i32 perCell);
};

class BB_Explode2 : public BB_Explode {
public:
    i32 Run() override;
};

class BB_Explode3 : public BB_Explode2 {
public:
    i32 Run() override;
};

class BB_Explode4 : public BB_Explode2 {
public:
    i32 Run() override;
};

class BB_Explode5 : public BB_Explode2 {
public:
    i32 Run() override;
    virtual void SetEx(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                       u32 colour, u16 additiveCells, f32 framesPerCell, f32 velocityFactor, i32 firstFrame);

    u16 AdditiveCells = 0;
    f32 FramesPerCell = 1.0f;
    f32 VelocityFactor = 1.0f;
};

class BB_ExplodeMissile : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     i32 firstFrame);

    i32 Counter = 0;
};
