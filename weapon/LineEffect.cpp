#include "weapon/LineEffect.h"

#include "engine/graphics/MatrixHelpers.h"
#include "platform/math/Math.h"

namespace {

Vec3 Translation(const Mat4* m) { return m ? Vec3(m->m[3][0], m->m[3][1], m->m[3][2]) : Vec3(); }

f32 Unit() { return f32(BattleUnit()); }

}  // namespace

i32 LZ_LineEffect::Streak(f32 curlDegrees, f32 thinning)
{
    Mat4 step;
    plat::MatrixTranslation(&step, 0.0f, 0.0f, Speed);
    plat::MatrixMultiply(&Laser.World, &step, &Laser.World);
    const f32 degrees = BendFrames >= 6 ? 2.0f : curlDegrees;
    plat::MatrixRotationX(&step, degrees * kDegreesToRadians);
    plat::MatrixMultiply(&Laser.World, &step, &Laser.World);
    --BendFrames;
    Laser.AddPoint(Position());
    if (BendFrames < 1) {
        Width -= thinning;
        if (Width < thinning) return 1;
    }
    return 0;
}

i32 LZ_LineEffect::Run() { return Streak(8.0f, 0.01f); }

i32 LZ_LineEffect2::Run() { return Streak(5.0f, 0.005f); }

void LZ_LineEffect::Set(const Mat4* start, f32 width, u32 maxPoints, f32 speed, u32 blendMode,
                        plat::GfxTexture* texture, u32 colour, u32 bendFrames)
{
    SetTrail(start, width, i32(maxPoints), i32(blendMode), texture, colour);
    Speed = speed;
    BendFrames = i32(bendFrames);
}

i32 LZ_ThunderEffect::Run()
{
    AddMatrixTranslation(&Laser.World, &Velocity);
    --Life;
    if (Life > 0) {
        const f32 a = Unit() * 2.0f * Jitter - Jitter;
        const f32 b = Unit() * 2.0f * Jitter - Jitter;
        const f32 c = Unit() * 2.0f * Jitter - Jitter;
        const Mat4& w = Laser.World;
        Vec3 p = Position();
        p += Vec3(w.m[0][0], w.m[0][1], w.m[0][2]) * a;
        p += Vec3(w.m[1][0], w.m[1][1], w.m[1][2]) * b;
        p += Vec3(w.m[2][0], w.m[2][1], w.m[2][2]) * c;
        Laser.AddPoint(p);
        return 0;
    }
    Life = 0;
    Width -= StartWidth / 10.0f;
    return Width < 0.001f ? 2 : 0;
}

void LZ_ThunderEffect::Set(const Mat4* start, f32 width, u32 maxPoints, f32 speed, i32 blendMode,
                           plat::GfxTexture* texture, u32 colour, const Vec3* direction, f32 jitter, u32 life)
{
    SetTrail(start, width, i32(maxPoints), blendMode, texture, colour);
    StartWidth = width;
    Vec3 d;
    if (direction) plat::Vec3Normalize(&d, direction);
    Velocity = d * speed;
    Jitter = jitter;
    Life = i32(life);
}

i32 LZ_LineEffect3::Run()
{
    if (ObjectGone(Owner) || !StartMatrix || !EndMatrix || !EndFlag) {
        StartMatrix = EndMatrix = nullptr;
        EndFlag = nullptr;
        return 1;
    }
    if (LASERNODE* newest = Laser.Newest()) newest->Position = Translation(StartMatrix);
    if (LASERNODE* oldest = Laser.Oldest()) oldest->Position = Translation(EndMatrix);
    ++Counter;
    return *EndFlag != 0 ? 1 : 0;
}

void LZ_LineEffect3::Set(BB_Base* owner, const Mat4* startMatrix, const Mat4* endMatrix, f32 width, i32 blendMode,
                         plat::GfxTexture* texture, u32 colour, const i32* endFlag)
{
    Owner = owner;
    StartMatrix = startMatrix;
    EndMatrix = endMatrix;
    EndFlag = endFlag;
    Laser.MaxPoints = 2;
    Laser.Texture = texture;
    Width = width;
    BlendMode = blendMode;
    Colour = colour;
    Counter = 0;
    Laser.AddPoint(Translation(startMatrix));
    Laser.AddPoint(Translation(endMatrix));
}
