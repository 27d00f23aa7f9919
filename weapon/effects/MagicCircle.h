#pragma once
// Magic circles, and the fire and light elements that orbit a robot. Their
// behaviour comes with the special moves that make them; until then they
// finish on their first run.
#include "battle/BattleObject.h"

// A circle that turns toward a target and fires lasers.
class BBMagicCir : public BB_Standard {
public:
    i32 Run() override;
    // In its own matrix: it lies flat.
    i32 Draw() override;
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     BB_Base* owner, BB_Base* target, f32 sizeLimit, f32 spin, u32 team, u32 firstFrame);

    f32 Spin = 0.0f;
    f32 SizeLimit = 0.0f;
    i32 Pulse = 1;
    BB_Base* Owner = nullptr;
    BB_Base* Target = nullptr;
    i32 Counter = 0;
    u32 Team = 0;
    u8 CheckOwnerDown = 1;
    u8 Hunt = 0;
};

// A circle in the weapon list that fades in, holds and fades out.
class BB_MagicCircleEffect : public BB_Standard {
public:
    i32 Run() override;
    i32 Draw() override;
    virtual void Set(const Mat4* matrix, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour, f32 spin,
                     u32 countdown, u32 flags, BB_Base* owner);

    f32 Spin = 0.0f;
    u32 Countdown = 0;
    u32 Flags = 0;
    BB_Base* Owner = nullptr;
    i32 Alpha = 0;
    u8 State = 0;
};

class BB_BaseMaterial : public BB_Standard {
public:
    // Asks the element to fade out and end.
    void Finish(i32 value) { Finished = 1, FinishValue = value; }

    u8 Finished = 0;
    i32 FinishValue = 0;
    f32 Frame = 0.0f;
    Vec3 Direction;
    BB_Base* Owner = nullptr;
    i32 Counter = 0;
    u32 Value = 0;
};

class BB_FireMaterial : public BB_BaseMaterial {
public:
    i32 Run() override;
    // A direction index outside 0..3 finishes the element at once.
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     i16 directionIndex, u32 value);
};

class BB_LightMaterial : public BB_BaseMaterial {
public:
    i32 Run() override;
    // A direction index outside 0..2 finishes the element at once.
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     i16 directionIndex, u32 value, u32 value2);

    u32 Value2 = 0;
};

// Fire running along the ground, burning what it meets.
class BB_FireRun : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, const Vec3* velocity, BB_Base* owner);

    Vec3 Velocity;
    BB_Base* Owner = nullptr;
    i32 Counter = 0;
};
