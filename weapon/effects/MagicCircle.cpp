#include "weapon/effects/MagicCircle.h"

#include "platform/math/Math.h"
#include "weapon/effects/Wind.h"

i32 BBMagicCir::Run() { return 1; }
i32 BBMagicCir::Draw() { return DrawInOwnMatrix(*this, Quad.Width() * 0.7071059942f); }

void BBMagicCir::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     BB_Base* owner, BB_Base* target, f32 sizeLimit, f32 spin, u32 team, u32 firstFrame)
{
    Quad.InitSquare(size, colour);
    Mat4 flat;
    plat::MatrixRotationX(&flat, 90.0f * plat::kDegToRad);
    plat::MatrixMultiply(&World, &flat, &World);
    Place(position, blendMode, texture);
    Owner = owner;
    Target = target;
    SizeLimit = sizeLimit;
    Spin = spin;
    Team = team;
    Counter = i32(firstFrame);
    CheckOwnerDown = 1;
    Hunt = 0;
}

i32 BB_MagicCircleEffect::Run() { return 1; }
i32 BB_MagicCircleEffect::Draw() { return DrawInOwnMatrix(*this, Quad.Width() * 0.7071059942f); }

void BB_MagicCircleEffect::Set(const Mat4* matrix, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                               f32 spin, u32 countdown, u32 flags, BB_Base* owner)
{
    if (matrix) World = *matrix;
    Quad.InitSquare(size, colour);
    Place(nullptr, blendMode, texture);
    Spin = spin;
    Countdown = countdown;
    Flags = flags;
    Owner = owner;
    Alpha = 0;
    State = 0;
    Quad.SetAlpha(0);
}

namespace {

void PlaceMaterial(BB_BaseMaterial& m, const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture,
                   u32 colour, u32 value)
{
    m.Quad.InitRect(size / 4, size / 4, size, 0.0f, colour);
    m.Place(position, blendMode, texture);
    m.Value = value;
    m.Counter = 0;
}

}  // namespace

i32 BB_FireMaterial::Run() { return 1; }

void BB_FireMaterial::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                          i16 directionIndex, u32 value)
{
    PlaceMaterial(*this, position, size, blendMode, texture, colour, value);
    Quad.SetSheet(4, 4);
    static const Vec3 kDirections[4] = {{0.6f, 0.3f, 0.0f}, {-0.6f, 0.3f, 0.0f}, {0.8f, -0.4f, 0.0f},
                                        {-0.8f, -0.4f, 0.0f}};
    if (directionIndex >= 0 && directionIndex < 4)
        Direction = kDirections[directionIndex];
    else
        Finished = 1;
}

i32 BB_LightMaterial::Run() { return 1; }

void BB_LightMaterial::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                           i16 directionIndex, u32 value, u32 value2)
{
    PlaceMaterial(*this, position, size, blendMode, texture, colour, value);
    Value2 = value2;
    Counter = 20;
    static const Vec3 kDirections[3] = {{1.0f, 0.1f, 0.0f}, {-1.0f, 0.1f, 0.0f}, {0.0f, 0.1f, 1.0f}};
    if (directionIndex >= 0 && directionIndex < 3)
        Direction = kDirections[directionIndex];
    else
        Finished = 1;
}

i32 BB_FireRun::Run() { return 1; }

void BB_FireRun::Set(const Vec3* position, const Vec3* velocity, BB_Base* owner)
{
    if (position) AddMatrixTranslation(&World, position);
    if (velocity) Velocity = *velocity;
    Owner = owner;
    BlendMode = 2;  // the fire shows through what it spawns
    Counter = 0;
}
