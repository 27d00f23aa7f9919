#pragma once
// Wind rings, streaks and bows of special moves.
#include "battle/BattleObject.h"

class BB_WindRing : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour, f32 growth,
                     i16 alphaStep);

    // Set by a creator after Set when the ring is to ride along.
    BB_Base* Followed = nullptr;
    const Mat4* FollowedMatrix = nullptr;
    f32 Growth = 0.0f;
    i16 AlphaStep = 0;
};

// A ring turned to face a direction; drawn in its own matrix.
class BB_WindRing2 : public BB_WindRing {
public:
    i32 Draw() override;
    virtual void SetEx(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                       const Vec3* direction, f32 growth, i16 alphaStep);
};

// A ring at a random angle that drifts; two battle draws (x turn, then y turn).
class BB_WindRing3 : public BB_WindRing {
public:
    i32 Run() override;
    virtual void SetEx(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                       u32 colour);

    Vec3 Velocity;
    i32 Counter = 0;
};

class BB_WindLine : public BB_Standard {
public:
    i32 Run() override;
    i32 Draw() override;
    virtual void Set(const Vec3* position, f32 width, f32 length, const Vec3* direction, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour);

    Vec3 Direction;
    f32 Radius = 0.0f;
};

class BB_WindBow : public BB_Standard {
public:
    i32 Run() override;
    i32 Draw() override;
    virtual void Set(const Mat4* matrix, f32 width, f32 height, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     BB_Base* followed, const Mat4* followedMatrix, i32 life);

    BB_Base* Followed = nullptr;
    const Mat4* FollowedMatrix = nullptr;
    i32 Life = 0;
    f32 Radius = 0.0f;
};

// Draws a billboard in its own matrix, without turning it to the camera.
i32 DrawInOwnMatrix(BB_Standard& b, f32 radius);
