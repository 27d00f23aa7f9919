#include "weapon/Beam.h"

i32 LZ_Beam::Run() { return 1; }
i32 LZ_Beam::HitTestObject(BB_Base*) { return 0; }

void LZ_Beam::Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                  plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage, i32 downValue,
                  f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team, i32 life,
                  u8 stopOnHit)
{
    SetTrail(start, width, maxPoints, blendMode, texture, colour);
    SetHits(owner, target, damage, downValue, knockback, hitFlags, rehitInterval, testSegments, team);
    Speed = speed;
    TurnRate = turnRate;
    Life = life;
    StopOnHit = stopOnHit;
    HitMask = kHitRobots | kHitStage | kHitWeapons;
}

void LZ_HiLaser::SetEx(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                       plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                       i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                       i32 life, u32 value)
{
    Set(start, width, maxPoints, speed, turnRate, blendMode, texture, colour, owner, target, damage, downValue,
        knockback, hitFlags, rehitInterval, testSegments, team, life, 0);
    Value = value;
}

i32 LZ_TrapLaser::SetOption(i32) { return 0; }

LZ_HiLaser2::LZ_HiLaser2() { StreamParams.Create(10); }

LZ_HiLaser2::~LZ_HiLaser2() { StreamParams.Release(); }

void LZ_HiLaser2::SetEx(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                        plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                        i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                        i32 life, i32 stopWithOwner, const Mat4* anchor, u8 smokeTrail)
{
    Set(start, width, maxPoints, speed, turnRate, blendMode, texture, colour, owner, target, damage, downValue,
        knockback, hitFlags, rehitInterval, testSegments, team, life, 0);
    StopWithOwner = stopWithOwner;
    Anchor = anchor;
    SmokeTrail = smokeTrail;
    StreamParams.Fill(0);
}

void LZ_LineSmokeOut::SetEx(const Mat4* start, const Vec3* velocity)
{
    SetTrail(start, 0.3f, 2, 2, nullptr, 0xFFFFFFFFu);
    HitMask = kHitStage;
    Damage = 0;
    TestSegments = 1;
    Speed = 1.0f;
    Life = 3;
    if (velocity) Velocity = *velocity;
}
