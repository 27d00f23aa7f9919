#pragma once
// Conjured swords: appear at a weapon point and fly off on their own. A
// blade that meets a robot sticks in it and rides along, one that meets the
// stage sticks in the ground, one that meets a raised guard breaks up; a
// stuck blade breaks up after a while, and every blade breaks up when its
// owner is gone.
#include "weapon/WeaponBase.h"

class RobotColorData;

class LZ_Sword : public LZ_Standard {
public:
    // 0 to stay, 1 when finished.
    i32 Run() override;
    // Both draw the blade matrix in the colour set's colours; the glow pass of
    // a shaded blade is its full reflective look.
    i32 DrawXFile() override;
    i32 DrawXFileHDR() override;
    i32 GetDamageType() const override;
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    virtual void Set(const Mat4* start, plat::GfxTexture* texture, const WeaponHit& hit);
    virtual void SetEx(MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet);

    // A launched blade that meets nothing vanishes after flying this long.
    static constexpr i32 kMaxFlightFrames = 600;

    i32 State = 0;  // 0 spinning, 5 flying, 3 in the ground, 4 in a robot, 999 breaking up
    Vec3 SpawnPosition;
    Mat4 SpinMatrix;
    Mat4 BladeMatrix;  // drawn with; the blade points along its Z row
    RobotColorData* ColourSet = nullptr;
    BB_Base* StuckRobot = nullptr;
    Mat4 RelativeMatrix;  // the blade in the frame of the stuck robot's aim matrix
    f32 SpinX = 0.0f;
    f32 SpinY = 0.0f;
    i32 StateCounter = 0;
    i32 LaunchDelay = 0;

protected:
    // What the blade hands its hit flash and whether a hit shakes the camera.
    virtual f32 HitStrength() const { return -0.7f; }
    virtual bool ShakesOnHit() const { return true; }
    // Frames a blade stays stuck in the ground and in a robot.
    virtual i32 GroundFrames() const { return 300; }
    virtual i32 RobotFrames() const { return 480; }
    // Owner gone: breaking up; target gone: forgotten.
    void CheckOwner();
    // States 3, 4 and 999 of every blade; -1 for any other state.
    i32 RunStuckOrBreaking();
    // A fading wind ring at the blade; riding on it when follow is set
    // (behind the blade in its own list when behind is set).
    void WindRing(bool follow, bool behind);
    Vec3 BladePosition() const { return Vec3(BladeMatrix.m[3][0], BladeMatrix.m[3][1], BladeMatrix.m[3][2]); }
};

// Waits beside its owner until the owner holds the shot button, then homes
// on the owner's target.
class LZ_Sword2 : public LZ_Sword {
public:
    i32 Run() override;
    void Set(const Mat4* start, plat::GfxTexture* texture, const WeaponHit& hit) override;

    f32 SpinZ = 0.0f;
    Vec3 Offset;  // waiting: the hover point's offset; homing: the wobble
    f32 Speed = 0.0f;
    f32 TurnLimit = 0.0f;

protected:
    f32 HitStrength() const override { return -0.5f; }
    bool ShakesOnHit() const override { return false; }
};

// The blade effects the sword family and the thrown shield share.
// Sparks out of a blade hit against the blade's direction (row 2 of blade).
void BladeSparkBurst(const Vec3& at, const Mat4& blade);
// The flash and five guard streaks of a blocked blade, and the hit sound
// (heard from the guard point, played at soundAt).
void BladeGuardEffects(const Vec3& at, const Mat4& guard, const Vec3& soundAt);
// The hit sound, heard from `at` and played at soundAt.
void BladeHitSound(const Vec3& at, const Vec3& soundAt);
