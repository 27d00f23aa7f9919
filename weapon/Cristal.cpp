#include "weapon/Cristal.h"

#include "weapon/Bullet.h"

i32 LZ_Cristal::Run() { return 1; }
i32 LZ_Cristal::GetDamageType() const { return 1; }

void LZ_Cristal::Set(const Mat4* start, i32 blendMode, u32 colour, BB_Base* owner, BB_Base* target, i32 team,
                     i16 durability, i32 life, MeshObject* mesh, u8 shaderMode, i32 fireChance)
{
    SetTrail(start, 0.0f, 2, blendMode, nullptr, colour);
    Owner = owner;
    Target = target;
    Team = team;
    Durability = durability;
    Life = life;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    FireChance = fireChance;
    HitMask = kHitStage | kHitByWeapons;
}

LZ_Cristal_Silver::LZ_Cristal_Silver()
{
    Words.Create(20);
    Words.Fill(0);
    Bytes.Create(20);
    Bytes.Fill(0);
}

LZ_Cristal_Silver::~LZ_Cristal_Silver()
{
    Bytes.Release();
    Words.Release();
}
