#include "weapon/effects/Spark.h"

#include <algorithm>

#include "platform/math/Math.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"

void BB_Tiri::Set(const Vec3* position, f32 left, f32 right, f32 top, f32 bottom, const Vec3* velocity,
                  i32 blendMode, plat::GfxTexture* texture, u32 colour, u16 alpha)
{
    Quad.InitRect(left, right, top, bottom, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    PrevVelocity = Velocity;
    Alpha = alpha;
    Radius = std::max({left, right, top, bottom});
}

bool BB_Tiri::Dim()
{
    Quad.colour = (u32(Alpha) << 24) | 0xFFFFFFu;
    Alpha = Alpha > 8 ? u16(Alpha - 8) : 0;
    return Alpha == 0;
}

i32 BB_Tiri::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    PrevVelocity = Velocity;
    Velocity *= 0.9f;
    return Dim() ? 1 : 0;
}

i32 BB_Tiri::Draw()
{
    Vec3 axis;
    plat::Vec3Normalize(&axis, &PrevVelocity);
    return DrawAlong(axis, Radius);
}

i32 BB_Tiri2::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    PrevVelocity = Velocity;
    Velocity.y -= 0.005f;
    Velocity *= 0.95f;
    return Dim() ? 1 : 0;
}

void BB_Tiri3::SetEx(const Vec3* position, f32 left, f32 right, f32 top, f32 bottom, const Vec3* direction,
                     f32 speed, i32 blendMode, plat::GfxTexture* texture, u32 colour, i16 life)
{
    Set(position, left, right, top, bottom, nullptr, blendMode, texture, colour, 255);
    if (direction) plat::Vec3Normalize(&Velocity, direction);
    PrevVelocity = Velocity;
    Speed = speed;
    Life = life;
}

i32 BB_Tiri3::Run()
{
    const Vec3 step = Velocity * Speed;
    AddMatrixTranslation(&World, &step);
    PrevVelocity = Velocity;
    --Life;
    return Life < 1 ? 1 : 0;
}

void BB_Hinoko::Set(const Mat4* matrix, f32 size, f32 speed, i32 blendMode, plat::GfxTexture* texture, u32 colour)
{
    if (matrix) World = *matrix;
    Quad.InitSize(size, size / 2, colour);
    Place(nullptr, blendMode, texture);
    RiseSpeed = speed;
    // Draw order: x, then y, then z, then the sway.
    TurnLocal(World, plat::MatrixRotationX, f32(BattleUnit() * 20.0 - 10.0));
    TurnLocal(World, plat::MatrixRotationY, f32(BattleUnit() * 20.0 - 10.0));
    TurnLocal(World, plat::MatrixRotationZ, f32(BattleDraw() % 360));
    Alpha = 255;
    Counter = 0;
    Sway = i32(BattleDraw() % 13) - 6;
}

i32 BB_Hinoko::Run()
{
    Mat4 t;
    plat::MatrixTranslation(&t, 0.0f, 0.0f, RiseSpeed);
    plat::MatrixMultiply(&World, &t, &World);
    RiseSpeed += plat::DetSin(f32(Counter) / 5.0f) * RiseSpeed / 100.0f;
    const f32 turn = plat::DetSin(f32(Counter) / 10.0f) * 0.02f * 57.3f;
    TurnLocal(World, plat::MatrixRotationX, turn);
    TurnLocal(World, plat::MatrixRotationY, turn);
    Quad.colour = (u32(Alpha) << 24) | 0xFFFFFFu;
    Roll += 5.0f;
    ++Counter;
    if (Counter >= 31) {
        Alpha = Alpha > 4 ? u16(Alpha - 4) : 0;
        if (Alpha == 0) return 1;
    }
    return 0;
}

i32 BB_Hinoko::Draw()
{
    if (!PrepareDraw(Quad.Width() * 0.7071059942f)) return 0;
    World.SetBillboardWorldRotZ(CurrentWeaponWorld().camera, Roll);
    if (Quad.texture) Quad.Draw();
    return 0;
}
