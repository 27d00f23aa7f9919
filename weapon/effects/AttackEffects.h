#pragma once
// Damaging billboards: the grenade and its blast, and the sword beams. They
// hurt only from the scene's attack-effect list. Their collision pass and
// the grenade's flight come with the damaging billboards themselves.
#include "weapon/Laser.h"
#include "weapon/WeaponBase.h"

// The bounce of the grenade and the pick-ups off a push vector: reflected,
// slowed to 0.7 and stopped below 0.02. Nothing for a missing or zero push.
void BounceVelocity(Vec3& velocity, const Vec3* push);

// Detonates when its fuse runs out or at once after touching a robot.
class BB_Grenade : public BB_AtkStandard {
public:
    i32 Run() override;
    i32 OnHitRobot(const Vec3* point, BB_Base* robot) override;
    i32 OnHitMap(const Vec3* push) override;
    i32 GetDamageType() const override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, u32 fuse, BB_Base* owner, const BillboardHit& hit, i32 blastDamage, f32 blastSize);

    Vec3 Velocity;
    i32 Counter = 0;
    u32 Fuse = 0;
    BB_Base* Owner = nullptr;
    BB_Base* HitOwner() const override { return Owner; }
    i32 BlastDamage = 0;
    f32 BlastSize = 0.0f;
};

// Hurts only in the hit pass of its first frame.
class BB_GrenadeExplode : public BB_AtkStandard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, BB_Base* owner, const BillboardHit& hit);

    Vec3 Velocity;
    i32 Counter = 0;
    BB_Base* Owner = nullptr;
    BB_Base* HitOwner() const override { return Owner; }
};

// What both sword beams follow and carry: the robot they belong to and the
// matrix they ride on, their team and life, the value a robot they meet is
// handed, and the passes before they may hit the same robot again.
struct SwordBeamLink {
    i32 team = 0;
    u32 life = 0;
    BB_Base* owner = nullptr;
    const Mat4* followedMatrix = nullptr;
    u32 value = 0;
    i32 rehitInterval = 0;
};

// The visible blade of light that follows a robot's arm.
class BB_SwordBeam : public BB_AtkStandard {
public:
    BB_SwordBeam();
    ~BB_SwordBeam() override;

    i32 Run() override;
    i32 Draw() override;
    i32 GetKind() const override;
    virtual void Set(const Vec3* position, f32 fullLength, f32 length, i32 blendMode, plat::GfxTexture* texture,
                     plat::GfxTexture* trailTexture, u32 colour, const SwordBeamLink& link);

    CLaser Trail;
    Vec3 Direction;
    Mat4 PrevWorld;
    f32 FullLength = 0.0f;
    f32 Length = 0.0f;
    i32 Life = 0;
    BB_Base* Owner = nullptr;
    BB_Base* HitOwner() const override { return Owner; }
    const Mat4* FollowedMatrix = nullptr;
    u32 Value = 0;
    i32 Hold = 0;  // non-zero: the robot holds the blade still (its hit-stop frames)
};

// The invisible damaging blade; ends with its owner.
class BB_SwordBeamAtk : public BB_SwordBeam {
public:
    i32 Run() override;
    // Never seen: the visible blade is a separate BB_SwordBeam.
    i32 Draw() override { return 0; }
    // Robots only; the hit countdown stands still while the blade is held.
    i32 HitTestPass() override;
    virtual void SetEx(const Vec3* position, f32 length, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                       const SwordBeamLink& link, const i32 values[10]);

    i32 Values[10] = {};
};
