#include "weapon/effects/Wind.h"

#include <algorithm>

#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/Math.h"
#include "weapon/WeaponBase.h"

i32 DrawInOwnMatrix(BB_Standard& b, f32 radius)
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d || !b.PrepareDraw(radius)) return 0;
    d->SetTransform(plat::GfxTransform::World, b.World);
    if (b.Quad.texture) b.Quad.Draw();
    return 0;
}

void BB_WindRing::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                      f32 growth, i16 alphaStep)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    Growth = growth;
    AlphaStep = alphaStep;
}

i32 BB_WindRing::Run()
{
    if (ObjectGone(Followed)) Followed = nullptr;
    if (Followed && FollowedMatrix) World = *FollowedMatrix;
    Quad.SetSquare(Quad.Width() + Growth);
    return Quad.FadeAlpha(AlphaStep) ? 0 : 1;
}

void BB_WindRing2::SetEx(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                         const Vec3* direction, f32 growth, i16 alphaStep)
{
    Set(position, size, blendMode, texture, colour, growth, alphaStep);
    if (direction) World.MatrixLookDirection(*direction, Vec3(0, 1, 0));
}

i32 BB_WindRing2::Draw() { return DrawInOwnMatrix(*this, Quad.Width() * 0.7071059942f); }

void BB_WindRing3::SetEx(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode,
                         plat::GfxTexture* texture, u32 colour)
{
    Quad.InitSquare(size, colour);
    Mat4 r;
    plat::MatrixRotationX(&r, f32(BattleDraw() % 360) * plat::kDegToRad);
    plat::MatrixMultiply(&World, &World, &r);
    plat::MatrixRotationY(&r, f32(BattleDraw() % 360) * plat::kDegToRad);
    plat::MatrixMultiply(&World, &World, &r);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Counter = 0;
}

i32 BB_WindRing3::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    Quad.SetSquare(Quad.Width() * 1.1f);
    if (!Quad.FadeAlpha(-25)) return 1;
    Velocity *= 0.98f;
    ++Counter;
    return 0;
}

void BB_WindLine::Set(const Vec3* position, f32 width, f32 length, const Vec3* direction, i32 blendMode,
                      plat::GfxTexture* texture, u32 colour)
{
    Quad.InitRect(width / 2, width / 2, length, 0.0f, colour);
    Place(position, blendMode, texture);
    if (direction) plat::Vec3Normalize(&Direction, direction);
    Radius = std::max(width / 2, length);
}

i32 BB_WindLine::Run()
{
    const Vec3 back = Direction * -0.3f;
    AddMatrixTranslation(&World, &back);
    return Quad.FadeAlpha(-12) ? 0 : 1;
}

i32 BB_WindLine::Draw() { return DrawAlong(Direction, Radius); }

void BB_WindBow::Set(const Mat4* matrix, f32 width, f32 height, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     BB_Base* followed, const Mat4* followedMatrix, i32 life)
{
    if (matrix) World = *matrix;
    Quad.InitRect(width / 2, width / 2, height / 2, height / 2, colour);
    Place(nullptr, blendMode, texture);
    Followed = followed;
    FollowedMatrix = followedMatrix;
    Life = life;
    Radius = std::max(width, height) / 2;
}

i32 BB_WindBow::Run()
{
    if (ObjectGone(Followed)) {
        Followed = nullptr;
        return 1;
    }
    if (Followed && FollowedMatrix) World = *FollowedMatrix;
    --Life;
    return Life < 1 ? 1 : 0;
}

i32 BB_WindBow::Draw() { return DrawInOwnMatrix(*this, Radius); }
