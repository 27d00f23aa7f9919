#pragma once
// The battleship: a large unit in the robot list that cruises along its own
// heading, turns its turrets on its target, fires five weapon groups from
// named points of its model, carries and repairs friendly robots on its deck,
// may launch computer robots, and sinks as a wreck when destroyed. It has no
// scripts and no animations; it answers the same virtual operations as a robot.
#include "robot/Robot.h"

class MeshObject;

inline constexpr i32 kShipWeaponGroups = 5;
inline constexpr i32 kShipBurners = 20;
inline constexpr i32 kShipWeaponPoints = 50;
inline constexpr i32 kShipTurrets = 20;
inline constexpr i32 kShipLaunchPeriod = 1300;
inline constexpr i32 kShipWreckFrames = 180;
inline constexpr i32 kShipDyingFrames = 90;

class CShip : public CRobot_Base {
public:
    using ShipProc = void (*)(CShip* ship);
    using ShipDefeatProc = i32 (*)(CShip* ship);

    CShip();
    ~CShip() override;

    i32 Run() override;
    i32 Draw() override;
    bool DrawsOpaque() override;
    i32 HitTestPass() override;
    i32 HitTestObject(BB_Base* other) override;
    i32 GetKind() const override { return kKindShip; }
    Mat4* GetTargetMatrix() override;
    Mat4* GetMatrix() override { return &worldMatrix; }
    void DrawInterface() override;
    void DrawLockOn() override;
    void UpdateCamera() override;
    void Defeat() override;

    // Clears everything the ship adds to the base part (the constructor and
    // the spawn run it).
    void ResetShipState();
    // Binds a loaded ship type: the model copy and its named frames. false
    // (nothing bound) when the type lacks "body.x", "hit.x", a weapon point
    // 0..15 or a frame of a used turret; the reason is in *why.
    bool BindType(RobotModelData* type, const char** why);
    // The checks BindType makes, for the type loader to refuse a bad folder.
    static bool CheckType(RobotModelData& type, const char** why);
    // World matrix at (x, y, z) turned by the yaw; the aim turns with it.
    void Place(f32 x, f32 y, f32 z, f32 yawDeg);
    // Resets the ship and binds it to its loaded type, live at the spawn
    // point; false (nothing bound) when BindType refuses the type.
    bool Spawn(RobotModelData& type, const RobotSpawn& spawn);

    // ---- the frame ----
    void UpdateLive();
    void UpdateDying();
    void UpdateLockTarget();
    void ResetAim();
    void TurnAim();
    static void ControlProc(CShip* ship);
    static void LaunchRobotProc(CShip* ship);
    void ComputerControl();
    void AimTurret(HodNode* yawFrame, f32 yawRate, f32 spare, HodNode* pitchFrame, f32 pitchRate, f32 pitchLow,
                   f32 pitchHigh);
    void EmitBurner(i32 i, f32 size);

    // ---- weapons; each spends its energy first and makes nothing without it ----
    void FireMainCannon(i32 point);
    void FireGun(i32 point);
    void FireMissile(i32 point, MeshObject* missileRecord);

    // ---- hits ----
    // One accepted hit: a friendly one costs friendlyLoss, an enemy one
    // enemyLoss and scores scoreGain for the owner (and chargeGain on a
    // robot's gauge). A hit that sinks the ship gives the owner the type's
    // "Score" and a kill. true when it sank the ship.
    bool TakeHit(i32 enemyLoss, i32 friendlyLoss, i32 otherTeam, BB_Base* owner, i32 scoreGain, i32 chargeGain);
    void HitByWeapon(LZ_Standard* weapon);
    void HitByBillboard(BB_AtkStandard* billboard);
    void HitByBlade(BB_SwordBeamAtk* blade);
    void CarryRobot(CRobot_Normal* robot);
    void PushShip(CShip* other);

    Vec3 BodyPosition() const;
    Vec3 Position() const { return Vec3(worldMatrix.m[3][0], worldMatrix.m[3][1], worldMatrix.m[3][2]); }

    Mat4 prevWorldMatrix;
    CHierarchyObjectEx model;
    Mat4 worldMatrix;  // the model's root; its translation row is the ship's position
    Vec3 moveAxis;
    Vec3 aimDir;
    Vec3 aimOffset;
    Vec3 aimSide;
    Vec3 turnRate;  // pitch, yaw, roll in degrees a frame
    f32 speed = 0.0f;
    i32 weaponCooldown[kShipWeaponGroups] = {};  // frames left per weapon group
    RobotModelData* modelData = nullptr;
    u8 lockReleased = 0;
    f32 lockDistance = 0.0f;
    HodNode* frameBody = nullptr;
    HodNode* burnerFrames[kShipBurners] = {};
    f32 burnerSizes[kShipBurners] = {};
    HodNode* weaponFrames[kShipWeaponPoints] = {};
    HodNode* turretYawFrames[kShipTurrets] = {};
    HodNode* turretPitchFrames[kShipTurrets] = {};
    u8 gunSide = 0;
    u8 gunPairSide = 0;
    u8 boostLocked = 0;
    MeshObject* hitMesh = nullptr;
    f32 cullRadius = 26.0f;
    f32 hitRadius = 7.0f;
    i32 frameCounter = 0;
    i32 deathFrame = 0;
    f32 hudFade = 0.0f;
    i32 boostGaugeMax = 0;
    i32 boostGauge = 0;
    i32 boostRegen = 15;
    i32 energy = 0;
    i32 energyMax = 0;
    i32 shipType = 0;
    i32 aiMode = 0;   // 0 attacker, 1 holder
    i32 aiLevel = 0;  // half of it refills the energy each frame under computer control
    i32 aiRetreat = 0;
    ShipProc controlProc = nullptr;
    ShipProc launchProc = nullptr;
    ShipDefeatProc defeatProc = nullptr;

    // Free-camera state of the ship camera (presentation only).
    Vec3 freeCameraOffset{0.0f, 0.0f, -5.0f};
    f32 freeCameraPitch = 0.0f;
    f32 freeCameraYaw = 0.0f;
    u8 shakeFlip = 0;
};
