#pragma once
// The remote drone: a part of the robot that flies off, fires and docks again.
#include "weapon/WeaponBase.h"

class HodNode;
class RobotColorData;

class LZ_Fannel : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    virtual void Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnLimit, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 team,
                     i16 durability, MeshObject* mesh, u8 shaderMode);
    // The bay node of the owner's model becomes the drone: it is hidden (with
    // everything below it) while the drone is out.
    virtual void SetEx(HodNode* bayNode, i32 shots, i32 firstDelay, i8 weaponKind, RobotColorData* colourSet);

    f32 Speed = 0.0f;
    f32 TurnLimit = 0.0f;
    f32 Spare = 0.0f;
    Mat4 HomeMatrixCopy;  // where the drone left from
    Mat4 WorkMatrix;
    HodNode* BayNode = nullptr;
    const Mat4* HomeMatrix = nullptr;
    i32 ShotsLeft = 0;
    i32 FireCountdown = 0;
    i8 WeaponKind = 0;
    RobotColorData* ColourSet = nullptr;
};

// Hides or shows a model node and everything below it.
void SetModelNodeHidden(HodNode* node, u8 hidden);
