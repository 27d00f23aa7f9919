#pragma once
// The remote drone: a part of the robot that flies off, hovers round the
// target, fires and docks again.
#include "weapon/WeaponBase.h"

class HodNode;
class RobotColorData;

class LZ_Fannel : public LZ_Standard {
public:
    // 0 to stay, 2 once it has retired and its trail is gone.
    i32 Run() override;
    i32 DrawXFile() override;
    i32 GetDamageType() const override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
    // The drone itself does no damage; its shots do.
    virtual void Set(const WeaponTrail& trail, f32 speed, f32 turnLimit, BB_Base* owner, BB_Base* target, i32 team,
                     const WeaponBody& body);
    // The bay node of the owner's model becomes the drone: it is hidden (with
    // everything below it) while the drone is out.
    virtual void SetEx(HodNode* bayNode, i32 shots, i32 firstDelay, i8 weaponKind, RobotColorData* colourSet);

    // Frames counted by Age past this: the drone is retiring.
    static constexpr i32 kRetireAge = 1000;

    f32 LaunchDistance = 0.05f;
    Vec3 FollowPosition;
    f32 DockBlend = 0.0f;
    Mat4 DockStartMatrix;
    Mat4 LaunchMatrix;  // the bay as it was at the launch
    RobotColorData* ColourSet = nullptr;
    i32 State = -1;
    i32 Age = 0;
    i32 StateTimer = 0;
    i32 FireCountdown = 0;
    i32 ShotsLeft = 0;
    f32 CruiseSpeed = 0.0f;
    f32 TurnLimit = 0.0f;
    const Mat4* BayMatrix = nullptr;  // the live bay node's world matrix
    HodNode* BayNode = nullptr;
    i8 WeaponKind = 0;

private:
    void StepWithTarget(const Vec3& aim, const Vec3& dir, f32 dist);
    void StepWithoutTarget(const Vec3& owner);
    void Fire(const Vec3& dir);
    void Launch(const Mat4& bay);
    void ForwardMove();
    // The bay's matrix now: the live node's while there is one.
    const Mat4& Bay() const { return BayMatrix ? *BayMatrix : LaunchMatrix; }
    // The owner is gone: its model gets its bay back now, while the robot
    // still exists, and nothing of it is touched again.
    void ReleaseOwner();
};

// Hides or shows a model node and everything below it.
void SetModelNodeHidden(HodNode* node, u8 hidden);

// The mesh of a weapon drawn at `matrix` instead of its world matrix, in the
// normal pass (glow false) or the glow pass; with a colour set whose
// materials cover the mesh's, drawn in those colours, the mesh's own
// materials given back after the draw.
i32 DrawWeaponMeshAt(LZ_Basic& weapon, const Mat4& matrix, const RobotColorData* colours, bool glow);
