#pragma once
// Burner flames and their glow, fixed to a part of a robot, ship or missile.
#include "battle/BattleObject.h"

class MeshObject;

// A flame jet on a followed matrix; lives 11 frames. A null followed object
// never ends it early; a finished one ends it at once.
class BB_Burner : public BB_Standard {
public:
    i32 Run() override;
    // In its own matrix, drawn four times round its axis.
    i32 Draw() override;
    virtual void Set(const Vec3* position, f32 width, f32 length, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, BB_Base* followed, const Mat4* followedMatrix, u32 flip);

    const Mat4* FollowedMatrix = nullptr;
    i32 Counter = 0;
    f32 Width = 0.0f;
    u32 Flip = 0;
    f32 Radius = 0.0f;
    BB_Base* Followed = nullptr;
};

class BB_BurnerBall : public BB_Standard {
public:
    i32 Run() override;
    virtual void Set(const Vec3* position, f32 size, const Vec3* offset, i32 blendMode, plat::GfxTexture* texture,
                     u32 colour, BB_Base* parent, const Mat4* parentMatrix, i32 life);

    Vec3 Offset;
    i32 Life = 0;
    BB_Base* Parent = nullptr;
    const Mat4* ParentMatrix = nullptr;
};

// A fire mesh with an animated sheet texture, on a followed matrix.
class BB_FireAnimeX : public BB_Standard {
public:
    i32 Run() override;
    i32 Draw() override;
    virtual void Set(const Mat4* matrix, i32 columns, i32 rows, f32 speed, i32 blendMode, plat::GfxTexture* texture,
                     MeshObject* mesh, BB_Base* followed, const Mat4* followedMatrix);

    BB_Base* Followed = nullptr;
    const Mat4* FollowedMatrix = nullptr;
    i32 Counter = 0;
    f32 Speed = 0.0f;
    plat::GfxTexture* Texture = nullptr;
    MeshObject* Mesh = nullptr;  // not owned
    Mat4 TextureMatrix;
    i32 CellCount = 1;
    i32 Columns = 1;
    i32 Rows = 1;
    f32 CellWidth = 1.0f;
    f32 CellHeight = 1.0f;
    f32 Cell = 0.0f;
    f32 Wobble = 0.0f;
    f32 Angle = 0.0f;
};
