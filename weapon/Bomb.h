#pragma once
// The bomb: dropped with a velocity, slows, falls to a terminal speed and
// bursts into a damaging blast at every contact, flying on.
#include "weapon/WeaponBase.h"

class LZ_Bomb : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    // Every kind of hit bursts the same way.
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitWeapon(const Vec3* contact) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
    virtual void Set(const WeaponTrail& trail, const WeaponHit& hit, const WeaponBody& body, const Vec3* velocity);

    // Struck again and again, a bomb bursts at most this often a frame, so it
    // cannot flood the effect lists.
    static constexpr i32 kMaxBurstsPerFrame = 2;
    static constexpr i32 kBlastDamage = 120;

    Vec3 Velocity;
    i32 Counter = 0;  // frames since the launch or the last burst
    i32 BurstsThisFrame = 0;
};
