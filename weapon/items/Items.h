#pragma once
// Pick-ups lying on the stage; taking them comes with the pick-ups themselves.
#include "weapon/WeaponBase.h"

class BB_SummonItem : public BB_AtkStandard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, u32 life, i32 team);

    i32 Counter = 0;
    Vec3 Velocity;
    i32 Life = 0;
};

class BB_PartsItem : public BB_AtkStandard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, u32 unused, const Vec3* velocity, i32 blendMode, MeshObject* mesh,
                     u32 unused2, i32 life, i32 team, f32 strength);

    MeshObject* Mesh = nullptr;  // not owned
    i32 Counter = 0;
    Vec3 Velocity;
    i32 Life = 0;
    f32 Strength = 0.0f;
};
