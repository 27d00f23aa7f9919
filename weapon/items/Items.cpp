#include "weapon/items/Items.h"

#include <algorithm>

i32 BB_SummonItem::Run() { return 1; }

void BB_SummonItem::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                        u32 colour, u32 life, i32 team)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Life = i32(std::min<u32>(life, 0x7FFFFFFFu));
    Team = team;
    Counter = 0;
    Damage = 0;
    RehitInterval = 10;
    HitMask = kHitRobots | kHitStage;
    HitRadius = 1.0f;
}

i32 BB_PartsItem::Run() { return 1; }

void BB_PartsItem::Set(const Vec3* position, u32, const Vec3* velocity, i32 blendMode, MeshObject* mesh, u32, i32 life,
                       i32 team, f32 strength)
{
    if (position) AddMatrixTranslation(&World, position);
    BlendMode = blendMode;
    if (velocity) Velocity = *velocity;
    Mesh = mesh;
    Life = life;
    Team = team;
    Strength = strength;
    Counter = 0;
    Damage = 0;
    RehitInterval = 10;
    HitMask = kHitRobots | kHitStage;
    HitRadius = 1.0f;
}
