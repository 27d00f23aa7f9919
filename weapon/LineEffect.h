#pragma once
// Line effects: trails that only show (spark lines, lightning, tethers).
// They are never hit-tested. Their flight comes with the effects themselves.
#include "weapon/WeaponBase.h"

class LZ_LineEffect : public LZ_Basic {
public:
    i32 Run() override;
    virtual void Set(const Mat4* start, f32 width, u32 maxPoints, f32 speed, u32 blendMode,
                     plat::GfxTexture* texture, u32 colour, u32 life);

    f32 Speed = 0.0f;
    i32 Life = 0;
};

class LZ_LineEffect2 : public LZ_LineEffect {};

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

// A two-point line between two matrices kept by someone else, until the
// value behind endFlag turns non-zero.
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
