#pragma once
// The spent shell casing a gun throws out: falls, tumbles, bounces off the
// stage and is gone after 300 frames. It neither hurts nor can be hurt; its
// two-point trail is only the segment the stage test needs.
#include "weapon/WeaponBase.h"

class LZ_Yakkyou : public LZ_Standard {
public:
    i32 Run() override;
    // The trail is never shown.
    i32 Draw() override { return 0; }
    // The mesh in its tumbling draw matrix.
    i32 DrawXFile() override;
    i32 DrawXFileHDR() override;
    i32 GetDamageType() const override;
    // The bounce: reflected, damped to 20-40 % and set spinning anew.
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    // Two spins drawn from the battle generator, x then y.
    virtual void Set(const Mat4* start, MeshObject* mesh, u8 shaderMode, const Vec3* velocity);

    static constexpr i32 kLifeFrames = 300;

    Mat4 DrawMatrix;
    Vec3 Velocity;
    f32 SpinX = 0.0f;
    f32 SpinY = 0.0f;
    i32 Counter = 0;
};
