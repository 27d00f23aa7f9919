#pragma once
// Thrown shields and swords: a part of the robot thrown at the target that
// flies back. Their flight comes with the weapons themselves.
#include "weapon/WeaponBase.h"

class HodNode;
class RobotColorData;

class LZ_ThrowBase : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    virtual void Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnLimit, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                     i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                     i32 flightFrames);
    // The weapon point's node is hidden while the thrown part flies.
    virtual void SetEx(HodNode* node, i32 a, i32 b, MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet);

    i32 State = 0;
    f32 Speed = 0.0f;
    f32 TurnLimit = 0.0f;
    i32 FlightFrames = 0;
    HodNode* Node = nullptr;
    RobotColorData* ColourSet = nullptr;
    Mat4 Matrices[3];
};

class LZ_ShieldThrow : public LZ_ThrowBase {};
class LZ_SwordThrow : public LZ_ThrowBase {};
