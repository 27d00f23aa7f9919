#include "weapon/effects/Smoke.h"

#include <algorithm>

#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Explode.h"

void BB_MSmoke::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                    u32 colour, u16 alphaStep)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    AlphaStep = alphaStep;
}

i32 BB_MSmoke::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    Velocity *= 0.99f;
    Quad.Grow(0.01f);
    return Quad.FadeAlpha(static_cast<i16>(AlphaStep)) ? 0 : 1;
}

void BB_BP::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                u32 colour, i32 life)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Size = size;
    Life = life;
}

i32 BB_BP::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    Velocity.x *= 0.99f;
    Velocity.z *= 0.99f;
    Velocity.y = std::max(Velocity.y - 0.002f, -0.4f);
    if (Life % 2 == 0) {
        const WeaponWorld& w = CurrentWeaponWorld();
        const f32 vx = f32(BattleUnit() * 0.02 - 0.01);
        const f32 vz = f32(BattleUnit() * 0.02 - 0.01);
        if (BB_Explode3* puff = NewObject<BB_Explode3>(w.effects, 2)) {
            const Vec3 at = Position(), v(vx, 0.0f, vz);
            puff->Set(&at, Size, &v, 1, w.Texture(2), 0x80FFFFFFu);
        }
    }
    --Life;
    return Life < 1 ? 1 : 0;
}
