#pragma once
// Line effects: trails that only show (spark lines, lightning, tethers).
// They are never hit-tested.
#include "weapon/WeaponBase.h"

// A spark streak: flies forward, arcs gently, curls once BendFrames drops
// below 6 and thins out once it has run down.
class LZ_LineEffect : public LZ_Basic {
public:
    i32 Run() override;
    virtual void Set(const Mat4* start, f32 width, u32 maxPoints, f32 speed, u32 blendMode,
                     plat::GfxTexture* texture, u32 colour, u32 bendFrames);

    f32 Speed = 0.0f;
    i32 BendFrames = 0;

protected:
    i32 Streak(f32 curlDegrees, f32 thinning);
};

// A softer curl and a slower fade.
class LZ_LineEffect2 : public LZ_LineEffect {
public:
    i32 Run() override;
};

class LZ_ThunderEffect : public LZ_Basic {
public:
    i32 Run() override;
    virtual void Set(const Mat4* start, f32 width, u32 maxPoints, f32 speed, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, const Vec3* direction, f32 jitter, u32 life);

    i32 Life = 0;
    Vec3 Velocity;
    f32 Jitter = 0.0f;
    f32 StartWidth = 0.0f;
};

// A two-point line between two matrices kept by its owner robot, until the
// value behind endFlag turns non-zero or the robot goes (the pointers live
// in the robot, so they are let go with it).
class LZ_LineEffect3 : public LZ_Basic {
public:
    i32 Run() override;
    virtual void Set(BB_Base* owner, const Mat4* startMatrix, const Mat4* endMatrix, f32 width, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, const i32* endFlag);

    const Mat4* StartMatrix = nullptr;
    const Mat4* EndMatrix = nullptr;
    const i32* EndFlag = nullptr;
    i32 Counter = 0;
};
