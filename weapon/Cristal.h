#pragma once
// Crystals: spinning meshes a robot drops that float near it, each colour
// with its own job (shoot the lock target, feed energy, heal, drop more
// crystals), until their life runs out or enemy weapons shoot them down.
#include "engine/core/FixedArray.h"
#include "weapon/WeaponBase.h"

// The colours by their number in a robot's mesh table.
enum CrystalColour : i32 {
    kCrystalRed = 0,
    kCrystalBlue = 1,
    kCrystalGreen = 2,
    kCrystalGold = 3,
    kCrystalSilver = 4,
    kCrystalHeal = 5,
    kCrystalColours = 6,
};

class CRobot_Base;
class CRobot_Normal;

class LZ_Cristal : public LZ_Standard {
public:
    // The trail only gives the hit tests their segments; it is never drawn.
    i32 Draw() override;
    i32 GetDamageType() const override;
    i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal) override;
    i32 OnHitByWeapon(const Vec3* contact) override;
    virtual void Set(const Mat4* start, i32 blendMode, u32 colour, BB_Base* owner, BB_Base* target, i32 team,
                     i16 durability, MeshObject* mesh, u8 shaderMode, i32 life, i32 fireChance);

    i32 CrystalState = 0;  // 0 orbit, 1 approach, 2 act
    i32 Life = 0;
    i32 FireChance = 0;
    i32 Age = 0;
    i32 StateTimer = 0;
    Vec3 OrbitOffset;
    Vec3 Velocity;

protected:
    // The frame every colour shares; 0 to stay, 2 to be deleted.
    i32 RunAs(CrystalColour colour);

private:
    void Orbit(CrystalColour colour);
    void Approach(CrystalColour colour);
    void Act(CrystalColour colour);
    void Decide(CrystalColour colour);
    void Shoot(CrystalColour colour);
    void SpawnChild();
    void Benefit(CrystalColour colour);
    bool OwnerMayAct() const;
    BB_Base* OwnerLockTarget() const;
};

class LZ_Cristal_Red : public LZ_Cristal {
public:
    i32 Run() override { return RunAs(kCrystalRed); }
};
class LZ_Cristal_Blue : public LZ_Cristal {
public:
    i32 Run() override { return RunAs(kCrystalBlue); }
};
class LZ_Cristal_Green : public LZ_Cristal {
public:
    i32 Run() override { return RunAs(kCrystalGreen); }
};
class LZ_Cristal_Gold : public LZ_Cristal {
public:
    i32 Run() override { return RunAs(kCrystalGold); }
};
class LZ_Cristal_Heal : public LZ_Cristal {
public:
    i32 Run() override { return RunAs(kCrystalHeal); }
};

class LZ_Cristal_Silver : public LZ_Cristal {
public:
    LZ_Cristal_Silver();
    ~LZ_Cristal_Silver() override;
    i32 Run() override { return RunAs(kCrystalSilver); }

    // Mesh and render mode of each colour's children, by colour number.
    CFixedArray<MeshObject*> SpawnMeshes;  // 20
    CFixedArray<u8> SpawnShaderModes;      // 20
};

// The colour of a drop from a roll 0..99, with its durability and life.
struct CrystalKind {
    CrystalColour colour;
    i16 durability;
    i32 life;
};
CrystalKind CrystalKindForRoll(u32 roll);

// A new crystal of that kind in the weapon list, initialised; a Silver one
// gets the spawn tables given (null: none). Null when it cannot be made.
LZ_Cristal* MakeCrystal(const CrystalKind& kind, const Mat4* start, BB_Base* owner, BB_Base* target, i32 team,
                        MeshObject* mesh, u8 shaderMode, MeshObject* const* spawnMeshes,
                        const u8* spawnShaderModes, i32 spawnCount);

// Hands every crystal of `robot` in the weapon list to a live teammate from
// the first (at most 10) entries of the robot table, one battle draw each.
void PassCrystalsToTeammates(CRobot_Normal& robot, CRobot_Base* const* table, i32 count, CList<BB_Base>* weapons);
