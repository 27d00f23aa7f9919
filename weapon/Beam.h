#pragma once
// The beam family: homing beams, lightning beams and the lasers. Their flight
// and hit reactions come with the beam weapons themselves; until then a beam
// finishes on its first run.
#include "engine/core/FixedArray.h"
#include "weapon/WeaponBase.h"

class LZ_Beam : public LZ_Standard {
public:
    i32 Run() override;
    // Beams are never hit by other weapons.
    i32 HitTestObject(BB_Base* tester) override;
    virtual void Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                     i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                     i32 life, u8 stopOnHit);

    f32 Speed = 0.0f;
    f32 TurnRate = 0.0f;
    i32 Life = 0;
    u8 StopOnHit = 0;
};

class LZ_ThunderBeam : public LZ_Beam {};
class LZ_Beam2 : public LZ_Beam {};

class LZ_HiLaser : public LZ_Beam {
public:
    virtual void SetEx(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                       plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                       i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                       i32 life, u32 value);

    u32 Value = 0;
};

class LZ_TrapLaser : public LZ_HiLaser {
public:
    // Changes nothing.
    virtual i32 SetOption(i32 value);
};

class LZ_HiLaser2 : public LZ_Beam {
public:
    LZ_HiLaser2();
    ~LZ_HiLaser2() override;
    // anchor: a matrix the laser follows every frame (null: none).
    virtual void SetEx(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                       plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                       i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                       i32 life, i32 stopWithOwner, const Mat4* anchor, u8 smokeTrail);

    CFixedArray<u32> StreamParams;  // 10
    i32 StopWithOwner = 0;
    const Mat4* Anchor = nullptr;
    u8 SmokeTrail = 0;
};

// A short line that only touches the stage: trail not drawn, no damage.
class LZ_LineSmokeOut : public LZ_Beam {
public:
    virtual void SetEx(const Mat4* start, const Vec3* velocity);

    Vec3 Velocity;
};
