#include "weapon/effects/Explode.h"

#include <algorithm>

namespace {

constexpr f32 kHalfDiagonal = 0.7071059942f;

// The shared counter ramp: false while the effect goes on.
bool RampCounter(BillboardQuad& quad, i32& blendMode, i32& counter, i32 bright, i32 end, i32 perCell)
{
    if (counter < bright) {
        blendMode = 1;
        counter += 2;
    } else {
        blendMode = 0;
        counter += 1;
    }
    if (counter >= end) return true;
    quad.SetCell(u32(counter / perCell));
    return false;
}

}  // namespace

void BB_Explode::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Quad.SetSheet(8, 8);
    Counter = 0;
    Size = size;
}

i32 BB_Explode::Draw() { return DrawFacing(Size * kHalfDiagonal); }

bool BB_Explode::Ramp(i32 bright, i32 end, i32 perCell)
{
    return RampCounter(Quad, BlendMode, Counter, bright, end, perCell);
}

i32 BB_Explode::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    BlendMode = Counter < 30 ? 1 : 0;
    ++Counter;
    if (Counter >= 64) return 1;
    Quad.SetCell(u32(Counter));
    return 0;
}

i32 BB_Explode2::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    if (Ramp(120, 256, 4)) return 1;
    Quad.SetSquare(f32(Counter) * 0.05f + Size);
    return 0;
}

i32 BB_Explode3::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    if (Ramp(60, 128, 2)) return 1;
    Quad.SetSquare(f32(Counter) * 0.015f + Size);
    return 0;
}

i32 BB_Explode4::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    return Ramp(120, 256, 4) ? 1 : 0;
}

void BB_Explode5::SetEx(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode,
                        plat::GfxTexture* texture, u32 colour, u16 additiveCells, f32 framesPerCell,
                        f32 velocityFactor, i32 firstFrame)
{
    Set(position, size, velocity, blendMode, texture, colour);
    AdditiveCells = additiveCells;
    // A cell shown for no frames at all would divide by zero below.
    FramesPerCell = framesPerCell > 0.0f ? framesPerCell : 1.0f;
    VelocityFactor = velocityFactor;
    Counter = firstFrame;
}

i32 BB_Explode5::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    Velocity *= VelocityFactor;
    ++Counter;
    if (f32(AdditiveCells) * FramesPerCell > f32(Counter)) {
        BlendMode = 1;
        Counter += 2;
    } else {
        BlendMode = 0;
        Counter += 1;
    }
    if (f32(Counter) >= FramesPerCell * 64.0f) return 1;
    Quad.SetSquare(f32(Counter) * 0.03f + Size);
    Quad.SetCell(u32(std::max(0.0f, f32(Counter) / FramesPerCell)));
    return 0;
}

void BB_ExplodeMissile::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                            i32 firstFrame)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    Quad.SetSheet(8, 8);
    Counter = firstFrame;
}

i32 BB_ExplodeMissile::Run() { return RampCounter(Quad, BlendMode, Counter, 60, 128, 2) ? 1 : 0; }
