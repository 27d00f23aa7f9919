#include "weapon/LineEffect.h"

#include "platform/math/Math.h"

namespace {

Vec3 Translation(const Mat4* m) { return m ? Vec3(m->m[3][0], m->m[3][1], m->m[3][2]) : Vec3(); }

}  // namespace

i32 LZ_LineEffect::Run() { return 1; }

void LZ_LineEffect::Set(const Mat4* start, f32 width, u32 maxPoints, f32 speed, u32 blendMode,
                        plat::GfxTexture* texture, u32 colour, u32 life)
{
    SetTrail(start, width, i32(maxPoints), i32(blendMode), texture, colour);
    Speed = speed;
    Life = i32(life);
}

i32 LZ_ThunderEffect::Run() { return 1; }

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

// Until tethers move, one lasts while its end flag stays clear.
i32 LZ_LineEffect3::Run()
{
    ++Counter;
    if (ObjectGone(Owner)) return 1;
    return (!EndFlag || *EndFlag != 0) ? 1 : 0;
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
