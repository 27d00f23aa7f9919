#pragma once
// Battle objects: everything in a battle besides the stage is a node of one of
// the scene's object lists, driven through the virtual operations of BB_Base
// in this order. Derived classes keep the order and append their own
// operations behind GetMatrix.
#include "battle/FireStats.h"
#include "engine/core/SizePool.h"
#include "engine/core/TaskList.h"
#include "engine/graphics/MatrixHelpers.h"
#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"

// What GetKind reports; hit tests dispatch on it.
enum BattleObjectKind : i32 {
    kKindBase = 0,
    kKindBillboard = 1,   // BB_Standard and its effects, damaging billboards, explosions
    kKindSwordBeam = 2,   // BB_SwordBeam, BB_SwordBeamAtk
    kKindLineEffect = 10, // LZ_Basic and the line effects: never treated as weapons
    kKindWeapon = 11,     // LZ_Standard and every weapon under it
    kKindRobotBase = 20,  // CRobot_Base
    kKindRobot = 21,      // CRobot_Normal
    kKindShip = 22,       // CShip
};

// Robots and ships: what fights, scores and is let act.
inline bool IsUnitKind(i32 kind) { return kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip; }

class BB_Base : public CListNode<BB_Base>, public SizePooled {
public:
    BB_Base() = default;
    ~BB_Base() override = default;

    // 0 while the object lives; any other value finishes it (the scene then
    // sets Removed and deletes the object a few frames later).
    virtual i32 Run();
    virtual i32 Draw();
    // The object's own collision pass over the scene.
    virtual i32 HitTestPass();
    // Tests this object against `other`, which is running its pass.
    virtual i32 HitTestObject(BB_Base* other);
    virtual i32 GetKind() const;
    // What homing weapons steer to; read only.
    virtual Mat4* GetTargetMatrix();
    // The world matrix; read only.
    virtual Mat4* GetMatrix();

    // Set by the scene once Run has finished the object; from then on it is
    // skipped by the run, hit-test and trail-draw passes. Safe to read for two
    // frames after it is set (the deletion is deferred that long).
    u8 Removed = 0;
    // The fire procedure this object came from (see battle/FireStats.h).
    u8 FireProc = CurrentFireProc();
    // Set by LZ_Standard's constructor: the weapon hit pass picks the weapons
    // other weapons can hit out of hundreds of objects every frame, quicker
    // than a dynamic_cast each.
    u8 StandardWeapon = 0;
    // Set by BB_AtkStandard's constructor, for the same reason: robots test
    // every attacking billboard near them each frame.
    u8 AttackBillboard = 0;
    // The object that came a few places after this one in the last run pass
    // of its list: the pass fetches it early. Only a hint, maybe stale.
    BB_Base* RunAhead = nullptr;
};

inline bool IsUnit(const BB_Base* o) { return IsUnitKind(o->GetKind()); }

// Adds the vector to the matrix's translation row; returns the matrix.
// Inline: most effects call it once a run.
inline Mat4* AddMatrixTranslation(Mat4* matrix, const Vec3* vector)
{
    matrix->m[3][0] += vector->x;
    matrix->m[3][1] += vector->y;
    matrix->m[3][2] += vector->z;
    return matrix;
}

// The camera-facing billboard every plain effect is built on.
class BB_Standard : public BB_Base {
public:
    BB_Standard() = default;
    ~BB_Standard() override = default;

    // Faces the camera at World's position; BlendMode 0 alpha, 1 additive,
    // anything else is not drawn.
    i32 Draw() override;
    i32 GetKind() const override;
    Mat4* GetTargetMatrix() override;
    Mat4* GetMatrix() override;

    // The draw with a given culling radius; DrawAlong turns the quad only
    // about an axis towards the eye instead of facing it fully.
    i32 DrawFacing(f32 radius);
    i32 DrawAlong(const Vec3& axis, f32 radius);
    // Culls by the radius and sets the blending; false when nothing is to be drawn.
    bool PrepareDraw(f32 radius) const;
    Vec3 Position() const { return Vec3(World.m[3][0], World.m[3][1], World.m[3][2]); }
    // Common start of the leaves' Set: texture, blend and a place (null stays at the origin).
    void Place(const Vec3* position, i32 blendMode, plat::GfxTexture* texture);

    BillboardQuad Quad;
    Matrix World;
    i32 BlendMode = 0;  // every leaf's Set gives it
};

// Ground smoke: drifts, slows, spreads and fades.
class BB_GSmoke : public BB_Standard {
public:
    BB_GSmoke() = default;
    ~BB_GSmoke() override = default;

    i32 Run() override;
    virtual void Set(const Vec3* position, f32 side, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, i16 alphaStep, f32 growth);

    Vec3 Velocity;
    i16 AlphaStep = 0;
    f32 Growth = 0.0f;
};
