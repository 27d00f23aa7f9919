#pragma once
// Thrown shields and swords: a part of the robot thrown at the target. The
// shield flies out spinning, comes back and docks on the robot's shield part;
// the sword flies on and sticks in what it meets.
#include "weapon/Sword.h"
#include "weapon/WeaponBase.h"

class HodNode;
class RobotColorData;

class LZ_ShieldThrow : public LZ_Standard {
public:
    // 0 to stay; 2 finished on the way back, 1 finished docking.
    i32 Run() override;
    i32 DrawXFile() override;
    i32 DrawXFileHDR() override;
    i32 GetDamageType() const override;
    i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot) override;
    i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard) override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    // The flight's life is the outbound frames; the trail keeps 3 points
    // and no texture whatever is asked.
    virtual void Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit);
    // The shield node of the thrower's model is hidden (with everything below
    // it) while the shield flies.
    virtual void SetEx(HodNode* node, i32 unused1, i32 unused2, MeshObject* mesh, u8 shaderMode,
                       RobotColorData* colourSet);

    // A shield that cannot reach its thrower gives up after this many frames
    // of return flight, and bursts on the stage at most this often on the way.
    static constexpr i32 kMaxReturnFrames = 600;
    static constexpr i32 kMaxReturnBursts = 3;

    Mat4 DockStartMatrix;
    f32 DockProgress = 0.0f;
    i32 State = 0;  // 0 outbound, 1 return, 2 docking
    Mat4 SpinMatrix;  // drawn with
    RobotColorData* ColourSet = nullptr;
    f32 Speed = 0.0f;
    f32 TurnLimit = 0.0f;
    i32 OutboundFrames = 0;
    HodNode* ShieldNode = nullptr;
    i32 ReturnFrames = 0;
    i32 ReturnBursts = 0;

private:
    // The thrower gets its shield part back and nothing of it is touched again.
    void GiveBackNode();
    void Burst(const Vec3& at, f32 a, f32 b, f32 c, const Vec3& soundAt);
};

class LZ_SwordThrow : public LZ_Sword {
public:
    using LZ_Sword::Set;
    using LZ_Sword::SetEx;
    i32 Run() override;
    // The flight's life is the frames it flies before it vanishes unstuck.
    virtual void Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit);
    // The blade starts at the sword node's pose; the node stays visible.
    virtual void SetEx(HodNode* node, i32 unused1, i32 unused2, MeshObject* mesh, u8 shaderMode,
                       RobotColorData* colourSet);

    f32 Speed = 0.0f;
    f32 TurnLimit = 0.0f;

protected:
    f32 HitStrength() const override { return -0.3f; }
    bool ShakesOnHit() const override { return false; }
    i32 GroundFrames() const override { return 600; }
    i32 RobotFrames() const override { return 600; }
};
