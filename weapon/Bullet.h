#pragma once
// Bullets, shells, fireballs and missiles: physical shots that other weapons
// can hit. They fly and home along their own forward axis, leave a trail and
// burst at what they touch.
#include "weapon/WeaponBase.h"

class LZ_Bullet : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitWeapon(const Vec3* contact) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
    virtual void Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit);
    // Set and then the body. Shared by the shells, the fireball and the missiles.
    virtual void SetEx(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit,
                       const WeaponBody& body);

    // Flight steps the whole family shares.
    void DropGonePartners();
    void Advance();
    // Turns toward the target; with giveUp, drops a target left behind.
    void Home(bool giveUp);
    void ReportThreat();
    void AddLockAlert();
    // Speed 0, no more hits, the trail shrinks from its oldest end.
    void FadeOut();
    Vec3 Forward() const { return Vec3(Laser.World.m[2][0], Laser.World.m[2][1], Laser.World.m[2][2]); }

    f32 Speed = 0.0f;
    f32 TurnRate = 0.0f;
    i32 Life = 0;  // the frame counter of the shells and missiles
};

// Bursts on its first hit (or its durability's end) and gives up a target it passed.
class LZ_Canon : public LZ_Bullet {
public:
    i32 Run() override;
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitWeapon(const Vec3* contact) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
};

// Pierces: bursts at every hit and flies on until its counter runs out.
class LZ_Canon2 : public LZ_Canon {
public:
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitWeapon(const Vec3* contact) override;
};

// Fireballs cannot be hit by other weapons and ignore the weapons they strike.
class LZ_FireBall : public LZ_Canon {
public:
    i32 Run() override;
    i32 HitTestObject(BB_Base* tester) override;
    i32 OnHitWeapon(const Vec3* contact) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
};

// Every kind of hit ends in OnHitMap.
class LZ_Missile : public LZ_Bullet {
public:
    i32 Run() override;
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitWeapon(const Vec3* contact) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
};

// The carrier: coasts, then releases 35 warheads with its own mesh and damage.
class LZ_Missile2 : public LZ_Missile {
public:
    i32 Run() override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    virtual i32 SetOption(MeshObject* warheadMesh, i32 warheadDamage);

    // Harmless and without a mesh until SetOption gives them values.
    i32 WarheadDamage = 0;
    MeshObject* WarheadMesh = nullptr;  // not owned
};

// Thrown out first (launch velocity), then ignites and homes.
class LZ_Missile3 : public LZ_Missile {
public:
    i32 Run() override;
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitWeapon(const Vec3* contact) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
    virtual i32 SetOption(const Vec3* launchVelocity);
    virtual void Explode(const Vec3* point);

    // The counter value at which the flight ends.
    virtual i32 EndOfFlight() const { return Lifetime; }
    // A weapon struck again and again explodes at most this often a frame, so
    // one missile cannot flood the effect lists.
    static constexpr i32 kMaxExplosionsPerFrame = 2;

    Vec3 LaunchVelocity;
    i32 Lifetime = 500;
    f32 Spare = 3.0f;  // the blast radius
    i32 ExplosionsThisFrame = 0;

protected:
    bool MayExplode() { return ExplosionsThisFrame++ < kMaxExplosionsPerFrame; }
};

// Three frames of push-out, a fixed life of 500 and no damaging blast.
class LZ_Missile4 : public LZ_Missile3 {
public:
    i32 Run() override;
    void Explode(const Vec3* point) override;
    i32 EndOfFlight() const override { return 500; }
};

// Applies the render mode a creator asks for only while shaders are enabled.
i8 AllowedShaderMode(u8 requested);
// Durability, mesh and the allowed render mode of a weapon with a body.
void SetBody(LZ_Standard& weapon, const WeaponBody& body);

// Shared blast pieces of the shots and the bomb.
// A picture-only explosion in the effect list: velocity drawn x, y, z, then the size.
void VisualBurst(const Vec3& point, const Vec3& velocity, f32 size);
// Eight pairs of picture-only bursts, one thrown up and one spread low, at
// `scale` times the bomb's speeds and sizes.
void BlastBursts(const Vec3& point, f32 scale);
// Raises the camera shake for a blast d from the eye (never shortens one).
void ShakeCamera(f32 distance, f32 factor);
f32 DistanceToEye(const Vec3& p);
// Lists a weapon for this frame's mesh pass.
void QueueMeshDraw(BB_Base* weapon);
