#pragma once
// Pick-ups lying on the stage: they fall, spin and bounce, and the robot
// whose hit test touches them takes them. Neither does damage.
#include "weapon/WeaponBase.h"

class CRobot_Normal;

class BB_SummonItem : public BB_AtkStandard {
public:
    i32 Run() override;
    // In its own matrix, as a magic circle.
    i32 Draw() override;
    // Calls computer-controlled allies for the robot that touched it.
    i32 OnHitRobot(const Vec3* point, BB_Base* robot) override;
    i32 OnHitMap(const Vec3* push) override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, u32 life, i32 team);

    // Makes one called unit; the battle scene's SpawnRobot unless a test installs its own.
    using SpawnFn = CRobot_Normal* (*)(i32 type, const Vec3& at, f32 hpScale, i32 team, i32 colourSet);
    static inline SpawnFn spawnUnit = nullptr;

    i32 Counter = 0;
    Vec3 Velocity;
    i32 Life = 0;
    u8 Taken = 0;  // one robot takes it, however many touch it in one pass
};

class BB_PartsItem : public BB_AtkStandard {
public:
    i32 Run() override;
    // The mesh, lit, then the effect pass's render state back.
    i32 Draw() override;
    // A new part or paint, rolled on the application's generator.
    i32 OnHitRobot(const Vec3* point, BB_Base* robot) override;
    i32 OnHitMap(const Vec3* push) override;
    virtual void Set(const Vec3* position, u32 unused, const Vec3* velocity, i32 blendMode, MeshObject* mesh,
                     u32 unused2, i32 life, i32 team, f32 strength);

    // Whether a robot may take parts: the players of table slots 0 and 1 in
    // a battle; a test may install its own rule.
    using TakerFn = bool (*)(const BB_Base* robot);
    static inline TakerFn mayTake = nullptr;

    MeshObject* Mesh = nullptr;  // not owned
    i32 Counter = 0;
    Vec3 Velocity;
    i32 Life = 0;
    f32 Strength = 0.0f;
    u8 Taken = 0;
};

// Creates the pick-ups the robots' defeat and destroy rules drop (their item hook).
void DropBattleItem(CRobot_Normal* robot, i32 kind, const Vec3& at, const Vec3& velocity, i32 life, f32 value);
