#include "weapon/effects/AttackEffects.h"

#include <algorithm>
#include <cstring>

#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/Math.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr i32 kBlastTexture = 3;
constexpr i32 kBlastSound = 14;

f32 Fraction() { return static_cast<f32>(BattleUnit()); }

void OfferToRobots(BB_Base* billboard)
{
    CList<BB_Base>* robots = CurrentWeaponWorld().robots;
    if (!robots || !robots->GetHead()) return;
    for (BB_Base* r = robots->GetHead()->next; r && r != robots->GetTail(); r = r->next)
        if (!r->Removed) r->HitTestObject(billboard);
}

}  // namespace

void BounceVelocity(Vec3& velocity, const Vec3* push)
{
    if (!push) return;
    const f32 length = plat::Vec3Length(push);
    if (!(length > 0.0f)) return;
    const Vec3 n = -*push / length;
    velocity = (velocity - n * (2.0f * plat::Vec3Dot(&velocity, &n))) * 0.7f;
    if (plat::Vec3Length(&velocity) < 0.02f) velocity = Vec3();
}

// ---- grenade ----

i32 BB_Grenade::GetDamageType() const { return 1; }

i32 BB_Grenade::Run()
{
    if (ObjectGone(Owner)) Owner = nullptr;
    AddMatrixTranslation(&World, &Velocity);
    Velocity.y -= 0.01f;
    Quad.Grow(0.075f);
    if (Quad.Width() > BlastSize) Quad.SetSquare(0.1f);
    if (++Counter <= i32(std::min<u32>(Fuse, 0x7FFFFFFFu))) return 0;

    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 at = Position();
    {
        // Draw order x, y, z.
        Vec3 v;
        v.x = Fraction() * 0.1f - 0.05f;
        v.y = Fraction() * 0.17f;
        v.z = Fraction() * 0.1f - 0.05f;
        if (auto* blast = NewObjectLast<BB_GrenadeExplode>(w.attackEffects, 3))
            blast->Set(&at, 10.0f, &v, 0, w.Texture(kBlastTexture), 0xFFFFFFFFu, Owner,
                       {.hitRadius = BlastSize * 5.0f, .damage = BlastDamage, .downValue = DownValue,
                        .knockback = Knockback, .hitFlags = HitFlags, .team = Team});
    }
    for (i32 i = 0; i < 5; ++i) {
        // Velocity x, y, z, then position x, z, then the size.
        Vec3 v;
        v.x = Fraction() * 0.04f - 0.02f;
        v.y = Fraction() * 0.17f;
        v.z = Fraction() * 0.04f - 0.02f;
        Vec3 p = at;
        p.x += 2.0f * Fraction() - 1.0f;
        p.z += 2.0f * Fraction() - 1.0f;
        const f32 size = (Fraction() * 7.0f + 3.0f) * BlastSize;
        if (auto* smoke = NewObject<BB_GrenadeExplode>(w.effects, 3))
            smoke->Set(&p, size, &v, 0, w.Texture(kBlastTexture), 0xFFFFFFFFu, nullptr, {});
    }
    const f32 d = DistanceToEye(at);
    if (d <= kSoundRange) PlayBattleSound(kBlastSound, at);
    ShakeCamera(d, 1.5f);
    return 1;
}

i32 BB_Grenade::OnHitRobot(const Vec3* point, BB_Base*)
{
    // Stuck where it touched: the next Run sets it off.
    World = Mat4::Identity();
    if (point) AddMatrixTranslation(&World, point);
    Velocity = Vec3();
    Counter = i32(std::min<u32>(Fuse, 0x7FFFFFFFu));
    return 0;
}

i32 BB_Grenade::OnHitMap(const Vec3* push)
{
    BounceVelocity(Velocity, push);
    return 0;
}

void BB_Grenade::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, u32 fuse, BB_Base* owner, const BillboardHit& hit, i32 blastDamage, f32 blastSize)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Fuse = fuse;
    Owner = owner;
    SetHits(hit);
    BlastDamage = blastDamage;
    BlastSize = blastSize;
    Counter = 0;
}

i32 BB_GrenadeExplode::GetDamageType() const { return 1; }

void BB_GrenadeExplode::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode,
                            plat::GfxTexture* texture, u32 colour, BB_Base* owner, const BillboardHit& hit)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    Quad.SetSheet(8, 8);
    if (velocity) Velocity = *velocity;
    Owner = owner;
    SetHits(hit);
    Counter = 0;
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
                       plat::GfxTexture* trailTexture, u32 colour, const SwordBeamLink& link)
{
    Quad.InitRect(0.075f, 0.075f, length, 0.0f, colour);
    Place(position, blendMode, texture);
    FullLength = fullLength;
    Length = length;
    Trail.Texture = trailTexture;
    Trail.Clear();
    Trail.MaxPoints = 5;
    Life = i32(std::min<u32>(link.life, 0x7FFFFFFFu));
    Owner = link.owner;
    FollowedMatrix = link.followedMatrix;
    Value = link.value;
    SetHits({.hitRadius = 1.0f, .team = link.team});
    RehitInterval = link.rehitInterval;
    Hold = 0;
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

void BB_SwordBeamAtk::SetEx(const Vec3* position, f32 length, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                            const SwordBeamLink& link, const i32 values[10])
{
    Set(position, length, length, blendMode, texture, nullptr, colour, link);
    if (values) std::memcpy(Values, values, sizeof(Values));
}

i32 BB_SwordBeamAtk::HitTestPass()
{
    // A held blade keeps what it hit blocked until it moves again.
    if (Hold == 0) UpdateHitNodes();
    if (HitMask & kHitRobots) OfferToRobots(this);
    return 0;
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
