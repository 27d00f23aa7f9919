#include "weapon/effects/AttackEffects.h"

#include <algorithm>
#include <cstring>

#include "engine/graphics/GraphicsDevice.h"
#include "weapon/WeaponScene.h"

i32 BB_Grenade::Run() { return 1; }
i32 BB_Grenade::GetDamageType() const { return 1; }

void BB_Grenade::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, u32 fuse, BB_Base* owner, f32 hitRadius, i32 damage, i32 downValue, f32 knockback,
                     u32 hitFlags, i32 team, i32 blastDamage, f32 blastSize)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Fuse = fuse;
    Owner = owner;
    HitRadius = hitRadius;
    Damage = damage;
    DownValue = downValue;
    Knockback = knockback;
    HitFlags = hitFlags;
    Team = team;
    BlastDamage = blastDamage;
    BlastSize = blastSize;
    Counter = 0;
    RehitInterval = 10;
    HitMask = kHitRobots | kHitStage;
}

i32 BB_GrenadeExplode::GetDamageType() const { return 1; }

void BB_GrenadeExplode::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode,
                            plat::GfxTexture* texture, u32 colour, BB_Base* owner, f32 hitRadius, i32 damage,
                            i32 downValue, f32 knockback, u32 hitFlags, i32 team)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    Quad.SetSheet(8, 8);
    if (velocity) Velocity = *velocity;
    Owner = owner;
    HitRadius = hitRadius;
    Damage = damage;
    DownValue = downValue;
    Knockback = knockback;
    HitFlags = hitFlags;
    Team = team;
    Counter = 0;
    RehitInterval = 10;
    HitMask = kHitRobots | kHitStage;
}

i32 BB_GrenadeExplode::Run()
{
    if (ObjectGone(Owner)) Owner = nullptr;
    AddMatrixTranslation(&World, &Velocity);
    if (Counter == 2) HitMask = 0;
    if (Counter < 60) {
        BlendMode = 1;
        Counter += 2;
    } else {
        BlendMode = 0;
        Counter += 1;
    }
    if (Counter >= 128) return 1;
    Quad.Grow(0.0075f);
    Quad.SetCell(u32(Counter / 2));
    return 0;
}

BB_SwordBeam::BB_SwordBeam() = default;

BB_SwordBeam::~BB_SwordBeam() { Trail.Clear(); }

i32 BB_SwordBeam::GetKind() const { return kKindSwordBeam; }

void BB_SwordBeam::Set(const Vec3* position, f32 fullLength, f32 length, i32 blendMode, plat::GfxTexture* texture,
                       plat::GfxTexture* trailTexture, u32 colour, i32 team, u32 life, BB_Base* owner,
                       const Mat4* followedMatrix, u32 value, u32 rehitInterval)
{
    Quad.InitRect(0.075f, 0.075f, length, 0.0f, colour);
    Place(position, blendMode, texture);
    FullLength = fullLength;
    Length = length;
    Trail.Texture = trailTexture;
    Trail.Clear();
    Trail.MaxPoints = 5;
    Team = team;
    Life = i32(std::min<u32>(life, 0x7FFFFFFFu));
    Owner = owner;
    FollowedMatrix = followedMatrix;
    Value = value;
    RehitInterval = i32(rehitInterval);
    Damage = 0;
    Knockback = 0.0f;
    DownValue = 0;
    HitFlags = 0;
    Hold = 0;
    HitMask = kHitRobots | kHitStage;
    HitRadius = 1.0f;
}

i32 BB_SwordBeam::Run()
{
    PrevWorld = World;
    if (Life < 999999999 && Hold == 0) --Life;
    if (Life < 1 || ObjectGone(Owner)) return 2;
    if (FollowedMatrix) {
        World = Mat4::Identity();
        for (int i = 0; i < 3; ++i) World.m[3][i] = FollowedMatrix->m[3][i];
        Direction = Vec3(FollowedMatrix->m[2][0], FollowedMatrix->m[2][1], FollowedMatrix->m[2][2]);
    }
    if (Length < FullLength) {
        Length = std::min(Length + 0.2f, FullLength);
        Quad.SetExtents(0.1f, 0.1f, Length, 0.0f);
    }
    f32 width = Quad.Width() + 0.02f;
    if (width > 0.15f) width = 0.1f;
    Quad.SetExtents(width / 2, width / 2, Length, 0.0f);
    if (Hold == 0 && FollowedMatrix) Trail.AddPointDir(Position(), Direction);
    return 0;
}

i32 BB_SwordBeam::Draw()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d || !PrepareDraw(Length)) return 0;
    World.SetAxisBillboardWorld(CurrentWeaponWorld().camera, Direction);
    if (Quad.texture) Quad.Draw();
    d->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterPoint);
    d->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterPoint);
    d->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterNone);
    Trail.DrawSmooth(d, Length, 0xFFFFFFFFu, 0xFFFFFFFFu);
    d->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterLinear);
    d->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterLinear);
    d->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterLinear);
    return 0;
}

void BB_SwordBeamAtk::SetEx(const Vec3* position, f32 length, i32 blendMode, plat::GfxTexture* texture, u32,
                            u32 colour, i32 team, u32 life, BB_Base* owner, const Mat4* followedMatrix, u32 value,
                            i32 rehitInterval, const i32 values[10])
{
    Set(position, length, length, blendMode, texture, nullptr, colour, team, life, owner, followedMatrix, value,
        u32(rehitInterval));
    if (values) std::memcpy(Values, values, sizeof(Values));
}

i32 BB_SwordBeamAtk::Run()
{
    PrevWorld = World;
    if (Hold == 0) --Life;
    if (Life < 1 || ObjectGone(Owner)) return 2;
    if (FollowedMatrix) {
        World = *FollowedMatrix;
        Direction = Vec3(FollowedMatrix->m[2][0], FollowedMatrix->m[2][1], FollowedMatrix->m[2][2]);
        if (Hold == 0) Trail.AddPointDir(Position(), Direction);
    }
    return 0;
}
