#include "battle/BattleObject.h"

#include "app/scene/Camera.h"
#include "engine/graphics/ViewFrustum.h"
#include "weapon/WeaponScene.h"

namespace {

// What a bare battle object hands out as its matrices: valid for the whole run.
Mat4* SharedIdentity()
{
    static Mat4 identity;
    identity = Mat4::Identity();
    return &identity;
}

}  // namespace

i32 BB_Base::Run() { return 0; }
i32 BB_Base::Draw() { return 0; }
i32 BB_Base::HitTestPass() { return 0; }
i32 BB_Base::HitTestObject(BB_Base*) { return 0; }
i32 BB_Base::GetKind() const { return kKindBase; }
Mat4* BB_Base::GetTargetMatrix() { return SharedIdentity(); }
Mat4* BB_Base::GetMatrix() { return SharedIdentity(); }

i32 BB_Standard::Draw() { return DrawFacing(Quad.Width() * 0.7071059942f); }

namespace {

// Culls and sets the blending; false when nothing is to be drawn.
bool PrepareBillboard(const Mat4& world, i32 blendMode, f32 radius)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (w.frustum && !w.frustum->TestSphere(world.m[3][0], world.m[3][1], world.m[3][2], radius)) return false;
    if (blendMode == 0)
        SetAlphaBlend();
    else if (blendMode == 1)
        SetAddBlend();
    else
        return false;
    return true;
}

}  // namespace

bool BB_Standard::PrepareDraw(f32 radius) const { return PrepareBillboard(World, BlendMode, radius); }

i32 BB_Standard::DrawFacing(f32 radius)
{
    if (!PrepareBillboard(World, BlendMode, radius)) return 0;
    World.SetBillboardWorld(CurrentWeaponWorld().camera);
    if (Quad.texture) Quad.Draw();
    return 0;
}

i32 BB_Standard::DrawAlong(const Vec3& axis, f32 radius)
{
    if (!PrepareBillboard(World, BlendMode, radius)) return 0;
    World.SetAxisBillboardWorld(CurrentWeaponWorld().camera, axis);
    if (Quad.texture) Quad.Draw();
    return 0;
}

void BB_Standard::Place(const Vec3* position, i32 blendMode, plat::GfxTexture* texture)
{
    Quad.texture = texture;
    BlendMode = blendMode;
    if (position) AddMatrixTranslation(&World, position);
}

i32 BB_Standard::GetKind() const { return kKindBillboard; }
Mat4* BB_Standard::GetTargetMatrix() { return &World; }
Mat4* BB_Standard::GetMatrix() { return &World; }

void BB_GSmoke::Set(const Vec3* position, f32 side, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                    u32 colour, i16 alphaStep, f32 growth)
{
    Quad.InitSquare(side, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    AlphaStep = alphaStep;
    Growth = growth;
}

i32 BB_GSmoke::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    Velocity *= 0.95f;
    Quad.Grow(Growth);
    return Quad.FadeAlpha(AlphaStep) ? 0 : 1;
}
