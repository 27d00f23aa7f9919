#pragma once
// The beam family: homing beams, lightning beams and the lasers. A beam flies
// along its own forward axis, may turn toward its target at a limited rate,
// lives a number of frames and then fades by thinning its trail.
#include "engine/core/FixedArray.h"
#include "weapon/WeaponBase.h"

class LZ_Beam : public LZ_Standard {
public:
    // 0 while alive, 2 once the fade has ended.
    i32 Run() override;
    // Beams are never hit by other weapons.
    i32 HitTestObject(BB_Base* tester) override;
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnReflect(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    // Returns the first trail point.
    virtual LASERNODE* Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                     i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                     i32 life, u8 stopOnHit);

    f32 Speed = 0.0f;
    f32 TurnRate = 0.0f;
    i32 Life = 0;
    u8 StopOnHit = 0;

protected:
    // Forget a gone owner or target, then fly and home; dropBehind lets a
    // target that fell behind go.
    void Fly(bool dropBehind);
    // Tell the target where the beam is coming from.
    void WarnTarget();
    // Count the life down: the new trail point while alive, else the fade.
    i32 Age(const Vec3& point);
    // The flash, 40 streaks and 20 sparks of a hit (260 battle draws).
    void HitBurst(const Vec3& at, f32 sparkSize, f32 sparkLength);
};

// Flies straight; its trail zigzags around the path.
class LZ_ThunderBeam : public LZ_Beam {
public:
    i32 Run() override;
};

// Homes with a weakening turn rate and never lets its target go.
class LZ_Beam2 : public LZ_Beam {
public:
    i32 Run() override;
};

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

// A short line that only touches the stage: trail not drawn, no damage. It
// puffs smoke where it meets a wall.
class LZ_LineSmokeOut : public LZ_Beam {
public:
    i32 Run() override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    virtual void SetEx(const Mat4* start, const Vec3* velocity);

    Vec3 Velocity;
};
