#pragma once
// Crystals: mesh drones a robot drops that drift, work on their own and can
// be shot down.
#include "engine/core/FixedArray.h"
#include "weapon/WeaponBase.h"

class LZ_Cristal : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    virtual void Set(const Mat4* start, i32 blendMode, u32 colour, BB_Base* owner, BB_Base* target, i32 team,
                     i16 durability, i32 life, MeshObject* mesh, u8 shaderMode, i32 fireChance);

    Vec3 Velocity;
    Vec3 Drift;
    i32 Life = 0;
    i32 FireChance = 0;
};

class LZ_Cristal_Red : public LZ_Cristal {};
class LZ_Cristal_Blue : public LZ_Cristal {};
class LZ_Cristal_Green : public LZ_Cristal {};
class LZ_Cristal_Gold : public LZ_Cristal {};
class LZ_Cristal_Heal : public LZ_Cristal {};

class LZ_Cristal_Silver : public LZ_Cristal {
public:
    LZ_Cristal_Silver();
    ~LZ_Cristal_Silver() override;

    CFixedArray<u32> Words;  // 20, zero
    CFixedArray<u8> Bytes;   // 20, zero
};
