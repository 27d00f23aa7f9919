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
    virtual LASERNODE* Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit, u8 stopOnHit);

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
    // A lock-on alert for the target this frame.
    void AlertTarget();
    // The flash, streaks (five draws each) and sparks (three draws each) of a
    // hit: 40 and 20 for a beam, 260 battle draws.
    void HitBurst(const Vec3& at, f32 sparkSize, f32 sparkLength, i32 streaks = 40, i32 sparks = 20);
    void HitFlash(const Vec3& at);
    void HitStreaks(const Vec3& at, i32 count);
    void HitSparks(const Vec3& at, f32 size, f32 length, i32 count);
    // Spark lines from a guard: two draws each.
    void GuardSparks(const Mat4& guard, i32 count, plat::GfxTexture* texture);
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

// A laser whose head advances from the muzzle, the trail being the whole
// beam. A wall or a guard cuts it at the hit and holds the head there for a
// while, so it keeps striking the same spot; its width pulses.
class LZ_HiLaser : public LZ_Beam {
public:
    // 0 while alive, 2 once the fade has ended.
    i32 Run() override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnReflect(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    // The beam's values, then stopWithOwner: end once the owner is hit.
    // Returns the first trail point.
    virtual LASERNODE* SetEx(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit,
                             i32 stopWithOwner);

    // The beam stops growing at this many points.
    static constexpr i32 kGrowthLimit = 200;

    i32 HoldFrames = 0;
    f32 BaseWidth = 0.0f;
    i32 StopWithOwner = 0;

protected:
    // Owner and target checks, then the head's advance unless held or full.
    void Lead();
    // Turns toward the target (never dropping it) and warns it.
    void Steer();
    // Cut at the trail point and hold the head there.
    void HoldAt(LASERNODE* segment);
};

// Curls for its first points, then drags a fixed chain of seven behind its
// head; it keeps hitting while it fades and ignores walls and reflections.
class LZ_TrapLaser : public LZ_HiLaser {
public:
    // 0 while alive, 1 once the fade has ended.
    i32 Run() override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnReflect(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    // Changes nothing.
    virtual i32 SetOption(i32 value);

    static constexpr i32 kChainPoints = 7;
};

// A laser fired as a stream: each frame a point leaves the muzzle and every
// point travels on along its own direction. The far end may home (the chain
// retracing its path) or the stream may wave. Walls and guards cut it; a
// reflecting robot sends a second stream on for as long as it reflects.
// Trail order: the newest end of the trail is the far end, new points join
// at the oldest (muzzle) end, so tested segments count from the far end.
class LZ_HiLaser2 : public LZ_Beam {
public:
    LZ_HiLaser2();
    ~LZ_HiLaser2() override;
    // 0 while alive, 2 once the fade has ended.
    i32 Run() override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnReflect(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    // anchor: a matrix the muzzle follows every frame (null: none).
    // Returns the first trail point.
    virtual LASERNODE* SetEx(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit,
                             i32 stopWithOwner, const Mat4* anchor, u8 smokeTrail);

    static constexpr i32 kEffectCooldown = 3;
    static constexpr i32 kReflectHold = 3;

    f32 BaseWidth = 0.0f;
    i32 StopWithOwner = 0;
    const Mat4* Anchor = nullptr;
    LZ_HiLaser2* ReflectedLaser = nullptr;
    BB_Base* Reflector = nullptr;
    i32 ReflectHold = 0;
    i32 EffectCooldown = 0;
    i32 ShakeFrames = 0;
    u8 SmokeTrail = 0;
    u8 StreamMode = 0;              // 0 straight, 1 waving
    CFixedArray<u32> StreamParams;  // 10; entry 0 (as f32) is the wave amplitude

private:
    // Ends the reflected stream (its Life 0) and forgets it and the reflector.
    void EndReflection();
    void MoveStream();
    void ShakeCamera();
    // The parent whose ReflectedLaser this stream is: either one going away
    // tells the other, so neither follows a destroyed stream.
    LZ_HiLaser2* ReflectedFrom = nullptr;
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
