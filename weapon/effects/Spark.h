#pragma once
// Sparks and embers: small quads flying off a hit or a muzzle and fading.
#include "battle/BattleObject.h"

class BB_Tiri : public BB_Standard {
public:
    i32 Run() override;
    // Turned about its flight direction towards the eye.
    i32 Draw() override;
    virtual void Set(const Vec3* position, f32 left, f32 right, f32 top, f32 bottom, const Vec3* velocity,
                     i32 blendMode, plat::GfxTexture* texture, u32 colour, u16 alpha);

    Vec3 Velocity;
    Vec3 PrevVelocity;
    u16 Alpha = 0;
    f32 Radius = 0.0f;

protected:
    // The quad white at the current alpha, which then drops by 8;
    // true once it is used up.
    bool Dim();
};

// Falls as it flies.
class BB_Tiri2 : public BB_Tiri {
public:
    i32 Run() override;
};

// Flies straight at a fixed speed for a few frames without fading.
class BB_Tiri3 : public BB_Tiri {
public:
    i32 Run() override;
    virtual void SetEx(const Vec3* position, f32 left, f32 right, f32 top, f32 bottom, const Vec3* direction,
                       f32 speed, i32 blendMode, plat::GfxTexture* texture, u32 colour, i16 life);

    i16 Life = 0;
    f32 Speed = 0.0f;
};

// Embers that rise, sway and fade.
class BB_Hinoko : public BB_Standard {
public:
    i32 Run() override;
    i32 Draw() override;
    virtual void Set(const Mat4* matrix, f32 size, f32 speed, i32 blendMode, plat::GfxTexture* texture, u32 colour);

    f32 RiseSpeed = 0.0f;
    u16 Alpha = 0;
    i32 Counter = 0;
    f32 Roll = 0.0f;
    i32 Sway = 0;
};
