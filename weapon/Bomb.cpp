#include "weapon/Bomb.h"

#include "weapon/Bullet.h"

i32 LZ_Bomb::Run() { return 1; }
i32 LZ_Bomb::GetDamageType() const { return 1; }

void LZ_Bomb::Set(const Mat4* start, f32 width, i32 maxPoints, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                  BB_Base* owner, BB_Base* target, i32 damage, i32 downValue, f32 knockback, u32 hitFlags,
                  i32 rehitInterval, i32 testSegments, i32 team, i16 durability, MeshObject* mesh, u8 shaderMode,
                  const Vec3* velocity)
{
    SetTrail(start, width, maxPoints, blendMode, texture, colour);
    SetHits(owner, target, damage, downValue, knockback, hitFlags, rehitInterval, testSegments, team);
    Durability = durability;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    if (velocity) Velocity = *velocity;
    HitMask = kHitRobots | kHitStage;
}
