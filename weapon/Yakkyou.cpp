#include "weapon/Yakkyou.h"

#include "engine/graphics/MatrixHelpers.h"
#include "platform/math/Math.h"
#include "weapon/Bullet.h"

namespace {

f32 Fraction() { return static_cast<f32>(BattleUnit()); }

void SetTranslation(Mat4& m, const Vec3& p)
{
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
}

}  // namespace

i32 LZ_Yakkyou::GetDamageType() const { return 1; }

void LZ_Yakkyou::Set(const Mat4* start, MeshObject* mesh, u8 shaderMode, const Vec3* velocity)
{
    if (start) DrawMatrix = *start;
    SetTrail(start, 0.0f, 2, 2, nullptr, 0);
    SetHits({.testSegments = 1});
    HitMask = kHitStage;
    Counter = 0;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    if (velocity) Velocity = *velocity;
    SpinX = Fraction() * 20.0f - 10.0f;
    SpinY = Fraction() * 20.0f - 10.0f;
}

i32 LZ_Yakkyou::Run()
{
    Velocity.y -= 0.002f;
    AddMatrixTranslation(&Laser.World, &Velocity);
    const Vec3 at = Position();
    SetTranslation(DrawMatrix, at);
    Mat4 r;
    plat::MatrixRotationX(&r, SpinX * 0.017453f);
    plat::MatrixMultiply(&DrawMatrix, &r, &DrawMatrix);
    plat::MatrixRotationY(&r, SpinY * 0.017453f);
    plat::MatrixMultiply(&DrawMatrix, &r, &DrawMatrix);
    QueueMeshDraw(this);
    Laser.AddPoint(at);
    return ++Counter < kLifeFrames + 1 ? 0 : 2;
}

i32 LZ_Yakkyou::OnHitMap(const Vec3* point, LASERNODE*, const Vec3* normal)
{
    if (!normal || !point || Laser.Count < 2) return 0;
    if (LASERNODE* oldest = Laser.Oldest()) oldest->Position = *point - Velocity * 0.01f;
    SetTranslation(Laser.World, *point);
    SetTranslation(DrawMatrix, *point);
    const Vec3 n = *normal;
    const Vec3 back = -n;
    const f32 d = plat::Vec3Dot(&back, &Velocity);
    Velocity = Velocity + n * (2.0f * d);
    AddMatrixTranslation(&Laser.World, &Velocity);
    Velocity *= Fraction() * 0.2f + 0.2f;
    Matrix upright(DrawMatrix);
    upright.MatrixLookDirection(Vec3(DrawMatrix.m[2][0], DrawMatrix.m[2][1], DrawMatrix.m[2][2]), Vec3(0, 1, 0));
    DrawMatrix = upright;
    const f32 s = plat::Vec3Length(&Velocity);
    SpinX = Fraction() * (2000.0f * s) - 1000.0f * s;
    SpinY = Fraction() * (2000.0f * s) - 1000.0f * s;
    return 0;
}

// The shared mesh passes draw at the weapon's world matrix; the casing lends
// them its tumbling matrix for the call.
i32 LZ_Yakkyou::DrawXFile()
{
    const Mat4 world = Laser.World;
    Laser.World = DrawMatrix;
    LZ_Basic::DrawXFile();
    Laser.World = world;
    return 0;
}

i32 LZ_Yakkyou::DrawXFileHDR()
{
    const Mat4 world = Laser.World;
    Laser.World = DrawMatrix;
    LZ_Basic::DrawXFileHDR();
    Laser.World = world;
    return 0;
}
