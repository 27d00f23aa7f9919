#pragma once
// Conjured swords: appear at a weapon point and fly off on their own. Their
// flight comes with the weapons themselves.
#include "weapon/WeaponBase.h"

class RobotColorData;

class LZ_Sword : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    virtual void Set(const Mat4* start, plat::GfxTexture* texture, i32 mode, BB_Base* owner, BB_Base* target,
                     i32 damage, i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments,
                     i32 team, i32 startFrame);
    virtual void SetEx(MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet);

    i32 State = 0;
    Vec3 Velocity;
    Mat4 Matrices[3];
    Vec3 Spin;
    i32 Mode = 0;
    i32 Counter = 0;
    RobotColorData* ColourSet = nullptr;
};

class LZ_Sword2 : public LZ_Sword {
public:
    f32 Values[6] = {};
};
