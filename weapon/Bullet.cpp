#include "weapon/Bullet.h"

#include "app/core/Application.h"

i8 AllowedShaderMode(u8 requested)
{
    return GetApplication()->video.disableShader ? 0 : static_cast<i8>(requested);
}

i32 LZ_Bullet::Run() { return 1; }
i32 LZ_Bullet::GetDamageType() const { return 1; }

void LZ_Bullet::Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                    plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                    i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                    i32 life)
{
    SetTrail(start, width, maxPoints, blendMode, texture, colour);
    SetHits(owner, target, damage, downValue, knockback, hitFlags, rehitInterval, testSegments, team);
    Speed = speed;
    TurnRate = turnRate;
    Life = life;
    HitMask = kHitRobots | kHitStage | kHitWeapons | kHitByWeapons;
}

void LZ_Bullet::SetEx(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnRate, i32 blendMode,
                      plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                      i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                      i32 life, i16 durability, MeshObject* mesh, u8 shaderMode)
{
    Set(start, width, maxPoints, speed, turnRate, blendMode, texture, colour, owner, target, damage, downValue,
        knockback, hitFlags, rehitInterval, testSegments, team, life);
    Durability = durability;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
}

i32 LZ_FireBall::HitTestObject(BB_Base*) { return 0; }

i32 LZ_Missile2::SetOption(u32 first, u32 second)
{
    OptionA = first;
    OptionB = second;
    return 0;
}

i32 LZ_Missile3::SetOption(const Vec3* launchVelocity)
{
    if (launchVelocity) LaunchVelocity = *launchVelocity;
    return 0;
}
