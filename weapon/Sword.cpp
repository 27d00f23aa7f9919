#include "weapon/Sword.h"

#include "weapon/Bullet.h"

i32 LZ_Sword::Run() { return 1; }
i32 LZ_Sword::GetDamageType() const { return 1; }

void LZ_Sword::Set(const Mat4* start, plat::GfxTexture* texture, i32 mode, BB_Base* owner, BB_Base* target,
                   i32 damage, i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments,
                   i32 team, i32 startFrame)
{
    SetTrail(start, 0.0f, 2, 1, texture, 0xFFFFFFFFu);
    SetHits(owner, target, damage, downValue, knockback, hitFlags, rehitInterval, testSegments, team);
    Mode = mode;
    Counter = startFrame;
    HitMask = 0;  // the sword decides when it cuts
}

void LZ_Sword::SetEx(MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet)
{
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    ColourSet = colourSet;
}
