#pragma once
// Spark bursts of blade hits, and the ball that sprays beams.
#include "battle/BattleObject.h"

// One burst at a hit point, all in its first run.
class BB_SwordEffect : public BB_Standard {
public:
    i32 Run() override;
    // direction: the way the blade went; soundFlag 0 plays the hit sound.
    virtual void Set(const Vec3* direction, const Vec3* hitPoint, i32 soundFlag);

    Vec3 Direction;
    Vec3 HitPoint;
    i32 SoundFlag = 0;
};

// The burst that stays on a blade while it cuts, for `count` frames.
class BB_SwordEffect3 : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(BB_Base* owner, const Mat4* followedMatrix, const Vec3* direction, u32 count, f32 scale,
                     u32 soundFlag);

    Vec3 Direction;
    i32 Count = 0;
    f32 Scale = 1.0f;
    u32 SoundFlag = 0;
    u8 Active = 0;
    BB_Base* Owner = nullptr;
    const Mat4* FollowedMatrix = nullptr;
};

class BB_CrasyBall : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, BB_Base* owner, u32 level, u8 thunder, i32 team);

    Vec3 Velocity;
    BB_Base* Owner = nullptr;
    i32 Counter = 0;
    u32 Level = 0;
    u8 Thunder = 0;
    i32 Team = 0;
};
