#pragma once
// The bomb: dropped with a velocity, hits robots and the stage.
#include "weapon/WeaponBase.h"

class LZ_Bomb : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    virtual void Set(const Mat4* start, f32 width, i32 maxPoints, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, BB_Base* owner, BB_Base* target, i32 damage, i32 downValue, f32 knockback,
                     u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team, i16 durability, MeshObject* mesh,
                     u8 shaderMode, const Vec3* velocity);

    Vec3 Velocity;
};
