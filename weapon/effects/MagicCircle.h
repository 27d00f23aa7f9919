#pragma once
// Magic circles, the fire and light elements that orbit a robot, and the
// fire that runs along the ground.
#include "battle/BattleObject.h"

// A flat circle that turns toward a target and fires lasers. Its counter is
// unsigned: a start "below zero" wraps round and is a delay, spent invisible
// in the fade-out range until the counter comes round to 0.
class BBMagicCir : public BB_Standard {
public:
    i32 Run() override;
    // In its own matrix: it lies flat.
    i32 Draw() override;
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     BB_Base* owner, BB_Base* target, f32 sizeLimit, f32 spin, u32 team, u32 firstFrame);

    static constexpr u32 kFadeFrame = 1700;
    static constexpr u32 kEndFrame = 1901;

    f32 Spin = 0.0f;
    f32 SizeLimit = 0.0f;
    i32 Pulse = 1;  // +1 while the alpha rises, -1 while it falls
    BB_Base* Owner = nullptr;
    BB_Base* Target = nullptr;
    u32 Counter = 0;
    u32 Team = 0;
    u8 CheckOwnerDown = 1;  // fade out when the owner is knocked down
    u8 Hunt = 0;            // choose its own target among the enemies

private:
    void ChooseTarget();
    void Attack();
};

// A circle in the weapon list that fades in, holds and fades out.
class BB_MagicCircleEffect : public BB_Standard {
public:
    i32 Run() override;
    i32 Draw() override;
    virtual void Set(const Mat4* matrix, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour, f32 spin,
                     u32 countdown, u32 flags, BB_Base* owner);

    static constexpr u32 kEndWithOwner = 1;  // flags: cut the hold short when the owner is down or gone

    f32 Spin = 0.0f;
    i32 Countdown = 0;  // hold frames left
    u32 Flags = 0;
    BB_Base* Owner = nullptr;
    i32 Alpha = 0;
    u8 State = 0;  // 0 fade in, 1 hold, 2 fade out
};

// A fire or light element: orbits its robot, attacks on its own, and either
// fades out (Finish) or attacks once and ends (Launch). Its phase is a stored
// member-function pointer.
class BB_BaseMaterial : public BB_Standard {
public:
    using Phase = i32 (BB_BaseMaterial::*)();

    i32 Run() override;
    virtual void Launch() = 0;
    // Asks the element to fade out and end.
    void Finish() { Finished = 1; }

    u8 Finished = 0;
    f32 Frame = 0.0f;
    Vec3 Direction;  // the orbit offset from the robot's aim point
    BB_Base* Owner = nullptr;
    i32 Counter = 0;
    f32 Angle = 0.0f;
    u8 Launched = 0;
    Phase phase = nullptr;

protected:
    // Drops a gone owner; true when the element is to fade from now on.
    bool CheckOwner();
    // Velocity toward the orbit point around the owner, then the move.
    void Orbit();
    // The element's matrix turned toward the owner's target, if it has one.
    Mat4 AimedMatrix() const;
    BB_Base* OwnerTarget() const;
};

class BB_FireMaterial : public BB_BaseMaterial {
public:
    i32 Draw() override;
    void Launch() override { Launched = 1; }
    // A direction index outside 0..3 finishes the element at once.
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     i16 directionIndex, BB_Base* owner);

    i32 StartPhase();
    i32 AttackPhase();
    i32 FadePhase();
};

class BB_LightMaterial : public BB_BaseMaterial {
public:
    i32 Draw() override;
    void Launch() override { Launched = 1; }
    // A direction index outside 0..2 finishes the element at once.
    virtual void Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     i16 directionIndex, u32 spare, BB_Base* owner);

    i32 StartPhase();
    i32 AttackPhase();
    i32 FadePhase();

    i32 LaunchDelay = 20;

private:
    void Pulse();
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
