#include "weapon/effects/Flash.h"

#include <algorithm>

#include "platform/math/Math.h"
#include "weapon/WeaponBase.h"

void BB_ExplodeBeam::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
}

i32 BB_ExplodeBeam::Run()
{
    Quad.Grow(0.08f);
    return Quad.FadeAlpha(-20) ? 0 : 1;
}

void BB_ExplodeBeam2::SetEx(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                            BB_Base* followed, u8 follow)
{
    Set(position, size, blendMode, texture, colour);
    Followed = followed;
    Follow = follow;
    if (followed && follow && !ObjectGone(followed)) {
        const Mat4* m = followed->GetMatrix();
        Offset = Position() - Vec3(m->m[3][0], m->m[3][1], m->m[3][2]);
    }
}

i32 BB_ExplodeBeam2::Run()
{
    if (ObjectGone(Followed)) Followed = nullptr;
    if (Followed && Follow) {
        World = *Followed->GetMatrix();
        AddMatrixTranslation(&World, &Offset);
    }
    Quad.Grow(-0.08f);
    return Quad.FadeAlpha(-20) ? 0 : 1;
}

void BB_EffectBeam::Set(const Vec3* position, f32 width, f32 length, const Vec3* velocity, i32 blendMode,
                        plat::GfxTexture* texture, u32 colour, f32 rollRange)
{
    Quad.InitRect(width / 2, width / 2, length, 0.0f, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    plat::Vec3Normalize(&Direction, &Velocity);
    Radius = std::max(width / 2, length);
    const f32 angle = f32(BattleUnit() * rollRange) * plat::kDegToRad;
    f32 s, c;
    plat::DetSinCos(angle, &s, &c);  // the very bits of DetSin and DetCos, one reduction
    for (QuadCorner& v : Quad.corners) {
        const f32 x = v.x, y = v.y;
        v.x = x * c - y * s;
        v.y = x * s + y * c;
    }
}

i32 BB_EffectBeam::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    return Quad.FadeAlpha(-13) ? 0 : 1;
}

i32 BB_EffectBeam::Draw() { return DrawAlong(Direction, Radius); }

void BB_Circle::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                    u16 alphaStep, f32 growth, BB_Base* followed)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    AlphaStep = alphaStep;
    Growth = growth;
    Followed = followed;
    Counter = 0;
}

i32 BB_Circle::Run()
{
    if (ObjectGone(Followed)) Followed = nullptr;
    if (Followed) {
        const Mat4* aim = Followed->GetTargetMatrix();
        for (int i = 0; i < 3; ++i) World.m[3][i] = aim->m[3][i];
    }
    ++Counter;
    Quad.Grow(Growth / 2);
    return Quad.FadeAlpha(static_cast<i16>(-static_cast<i16>(AlphaStep))) ? 0 : 1;
}
