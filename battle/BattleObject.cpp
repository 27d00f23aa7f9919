#include "battle/BattleObject.h"

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

Mat4* AddMatrixTranslation(Mat4* matrix, const Vec3* vector)
{
    matrix->m[3][0] += vector->x;
    matrix->m[3][1] += vector->y;
    matrix->m[3][2] += vector->z;
    return matrix;
}

BB_Standard::BB_Standard() = default;

BB_Standard::~BB_Standard()
{
    if (OwnedResource) OwnedResource->Release();
}

i32 BB_Standard::Draw() { return 0; }
i32 BB_Standard::GetKind() const { return kKindBillboard; }
Mat4* BB_Standard::GetTargetMatrix() { return &World; }
Mat4* BB_Standard::GetMatrix() { return &World; }

void BB_GSmoke::Set(const Vec3* position, f32 side, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                    u32 colour, i16 alphaStep, f32 growth)
{
    Quad.texture = texture;
    Quad.InitSquare(side, colour);
    if (position) AddMatrixTranslation(&World, position);
    BlendMode = blendMode;
    if (velocity) Velocity = *velocity;
    AlphaStep = alphaStep;
    Growth = growth;
}

i32 BB_GSmoke::Run() { return 1; }
