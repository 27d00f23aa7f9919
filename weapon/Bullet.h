#pragma once
// Bullets, shells, fireballs and missiles: physical shots that other weapons
// can hit. Their flight comes with the weapons themselves; until then a shot
// finishes on its first run.
#include "weapon/WeaponBase.h"

class LZ_Bullet : public LZ_Standard {
public:
    i32 Run() override;
    i32 GetDamageType() const override;
    virtual void Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                     plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                     i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                     i32 life);
    // Set and then durability, mesh and its render mode (kept only while
    // shaders are enabled). Shared by the shells, the fireball and the missiles.
    virtual void SetEx(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                       plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                       i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                       i32 life, i16 durability, MeshObject* mesh, u8 shaderMode);

    f32 Speed = 0.0f;
    f32 TurnRate = 0.0f;
    i32 Life = 0;
};

class LZ_Canon : public LZ_Bullet {};
class LZ_Canon2 : public LZ_Canon {};
// Fireballs cannot be hit by other weapons.
class LZ_FireBall : public LZ_Canon {
public:
    i32 HitTestObject(BB_Base* tester) override;
};

class LZ_Missile : public LZ_Bullet {};

// The carrier: two values handed on to the warheads it releases.
class LZ_Missile2 : public LZ_Missile {
public:
    virtual i32 SetOption(u32 first, u32 second);

    u32 OptionA = 0;
    u32 OptionB = 0;
};

// Thrown out first (launch velocity), then homing.
class LZ_Missile3 : public LZ_Missile {
public:
    virtual i32 SetOption(const Vec3* launchVelocity);

    Vec3 LaunchVelocity;
    i32 Lifetime = 500;
    f32 Spare = 3.0f;
};

class LZ_Missile4 : public LZ_Missile3 {};

// Applies the render mode a creator asks for only while shaders are enabled.
i8 AllowedShaderMode(u8 requested);
