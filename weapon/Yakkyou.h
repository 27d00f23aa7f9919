#pragma once
// The spent shell casing a gun throws out: falls, tumbles, bounces. Its
// flight comes with the casing itself.
#include "weapon/WeaponBase.h"

class LZ_Yakkyou : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    // Two spins drawn from the battle generator, x then y.
    virtual void Set(const Mat4* start, MeshObject* mesh, u8 shaderMode, const Vec3* velocity);

    Mat4 DrawMatrix;
    Vec3 Velocity;
    f32 SpinX = 0.0f;
    f32 SpinY = 0.0f;
    i32 Counter = 0;
};
