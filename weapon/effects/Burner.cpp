#include "weapon/effects/Burner.h"

#include <algorithm>

#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshObject.h"
#include "platform/math/Math.h"
#include "weapon/WeaponBase.h"

namespace {

// The burner's quarter turn about x, one way or the other: the same two
// matrices every frame, so they are made once, by the same call as before.
const Mat4& QuarterTurnX(bool flip)
{
    auto turn = [](f32 degrees) {
        Mat4 r;
        plat::MatrixRotationX(&r, degrees * plat::kDegToRad);
        return r;
    };
    static const Mat4 turns[2] = {turn(-90.0f), turn(90.0f)};
    return turns[flip ? 1 : 0];
}

}  // namespace

void BB_Burner::Set(const Vec3* position, f32 width, f32 length, i32 blendMode, plat::GfxTexture* texture,
                    u32 colour, BB_Base* followed, const Mat4* followedMatrix, u32 flip)
{
    Quad.InitRect(width / 2, width / 2, length, 0.0f, colour);
    Place(position, blendMode, texture);
    Width = width;
    Followed = followed;
    FollowedMatrix = followedMatrix;
    Flip = flip;
    Radius = std::max(width / 2, length);
    Counter = 0;
}

i32 BB_Burner::Run()
{
    if (Followed && Followed->Removed) return 1;
    if (FollowedMatrix) World = *FollowedMatrix;
    plat::MatrixMultiply(&World, &QuarterTurnX(Flip != 0), &World);
    Quad.GrowX(-Width / 15, -Width / 15);
    ++Counter;
    return Counter >= 11 ? 1 : 0;
}

i32 BB_Burner::Draw()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d || !PrepareDraw(Radius) || !Quad.texture) return 0;
    Mat4 m = World;
    const f32 turns[4] = {0.0f, 90.0f, 45.0f, 90.0f};
    for (f32 t : turns) {
        TurnLocal(m, plat::MatrixRotationY, t);
        d->SetTransform(plat::GfxTransform::World, m);
        Quad.Draw();
    }
    return 0;
}

void BB_BurnerBall::Set(const Vec3* position, f32 size, const Vec3* offset, i32 blendMode, plat::GfxTexture* texture,
                        u32 colour, BB_Base* parent, const Mat4* parentMatrix, i32 life)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (offset) Offset = *offset;
    Parent = parent;
    ParentMatrix = parentMatrix;
    Life = life;
}

i32 BB_BurnerBall::Run()
{
    if (ObjectGone(Parent)) return 1;
    if (ParentMatrix) {
        Mat4 t;
        plat::MatrixTranslation(&t, Offset.x, Offset.y, Offset.z);
        plat::MatrixMultiply(&World, &t, ParentMatrix);
    }
    Quad.ScaleX(0.95f);
    Quad.ScaleY(0.95f);
    --Life;
    return Life < 0 ? 1 : 0;
}

void BB_FireAnimeX::Set(const Mat4* matrix, i32 columns, i32 rows, f32 speed, i32 blendMode,
                        plat::GfxTexture* texture, MeshObject* mesh, BB_Base* followed, const Mat4* followedMatrix)
{
    if (matrix) World = *matrix;
    BlendMode = blendMode;
    Columns = std::max(columns, 1);
    Rows = std::max(rows, 1);
    CellCount = Columns * Rows;
    CellWidth = 1.0f / f32(Columns);
    CellHeight = 1.0f / f32(Rows);
    Speed = speed;
    Texture = texture;
    Mesh = mesh;
    Followed = followed;
    FollowedMatrix = followedMatrix;
    Counter = 0;
    Cell = 0.0f;
}

i32 BB_FireAnimeX::Run()
{
    // A fire on something that is gone goes with it.
    if (ObjectGone(Followed)) return 1;
    if (Followed && FollowedMatrix) World = *FollowedMatrix;
    Wobble += plat::DetSin(f32(Counter) * 70.0f * plat::kDegToRad) * 0.1f;
    Mat4 s;
    plat::MatrixScaling(&s, 1.0f + Wobble, 1.0f + Wobble, 1.0f);
    plat::MatrixMultiply(&World, &s, &World);
    TurnLocal(World, plat::MatrixRotationZ, Angle);
    Angle += 6.0f;
    if (Angle >= 360.0f) Angle -= 360.0f;
    Cell += Speed;
    if (Cell >= f32(CellCount - 1)) Cell = 0.0f;
    const i32 cell = i32(Cell);
    TextureMatrix = Mat4::Identity();
    TextureMatrix.m[0][0] = CellWidth;
    TextureMatrix.m[1][1] = CellHeight;
    TextureMatrix.m[2][0] = f32(cell % Columns) * CellWidth;
    TextureMatrix.m[2][1] = f32(cell / Columns) * CellHeight;
    ++Counter;
    return 0;
}

i32 BB_FireAnimeX::Draw()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d || !Mesh || !PrepareDraw(0.0f)) return 0;
    d->SetTransform(plat::GfxTransform::World, World);
    d->SetSamplerState(0, plat::GfxSamplerState::AddressU, plat::AddressMirror);
    d->SetSamplerState(0, plat::GfxSamplerState::AddressV, plat::AddressMirror);
    Mesh->Draw();
    d->SetSamplerState(0, plat::GfxSamplerState::AddressU, plat::AddressWrap);
    d->SetSamplerState(0, plat::GfxSamplerState::AddressV, plat::AddressWrap);
    return 0;
}
