#include "weapon/effects/SwordEffect.h"

#include "platform/math/Math.h"
#include "weapon/Beam.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Spark.h"

namespace {

constexpr i32 kSparkLineTexture = 26;
constexpr i32 kBurstTexture = 34;
constexpr i32 kBladeHitSound = 11;

Mat4 Rotation(Mat4* (*rotation)(Mat4*, float), f32 degrees)
{
    Mat4 r;
    rotation(&r, degrees * plat::kDegToRad);
    return r;
}

// Thin lines flying off the point in a cone round the direction.
void SparkLines(const WeaponWorld& w, const Vec3& direction, const Vec3& at, int count)
{
    for (int i = 0; i < count; ++i) {
        Matrix look;
        look.MatrixLookDirection(direction, Vec3(0, 1, 0));
        Mat4 m = Rotation(plat::MatrixRotationY, f32(BattleDraw() % 360));
        const Mat4 x90 = Rotation(plat::MatrixRotationX, 90.0f);
        plat::MatrixMultiply(&m, &m, &x90);
        plat::MatrixMultiply(&m, &m, &look);
        m.m[3][0] = at.x;
        m.m[3][1] = at.y;
        m.m[3][2] = at.z;
        const f32 width = f32(0.01 + BattleUnit() * 0.02);
        if (LZ_LineEffect2* line = NewObject<LZ_LineEffect2>(w.weapons, 1)) {
            line->Set(&m, width, 10, 0.5f, 1, w.Texture(kSparkLineTexture), 0xFFFFFFFFu, 8);
            line->TrailFlag = 0;
            line->TrailFactor = 1.0f;
        }
    }
}

void FallingSparks(const WeaponWorld& w, const Vec3& at, int count)
{
    for (int i = 0; i < count; ++i) {
        const f32 x = f32(BattleUnit() * 0.6 - 0.3);
        const f32 y = f32(BattleUnit() * 0.6 - 0.3);
        const f32 z = f32(BattleUnit() * 0.6 - 0.3);
        const Vec3 v(x, y, z);
        if (BB_Tiri2* s = NewObject<BB_Tiri2>(w.effects, 1))
            s->Set(&at, 0.01f, 0.01f, 0.1f, 0.0f, &v, 1, w.Texture(kSparkLineTexture), 0xFFFFFFFFu, 255);
    }
}

Vec3 Axis(const Mat4& m, int row)
{
    Vec3 v(m.m[row][0], m.m[row][1], m.m[row][2]), n;
    plat::Vec3Normalize(&n, &v);
    return n;
}

}  // namespace

void BB_SwordEffect::Set(const Vec3* direction, const Vec3* hitPoint, i32 soundFlag)
{
    if (direction) Direction = *direction;
    if (hitPoint) HitPoint = *hitPoint;
    SoundFlag = soundFlag;
    BlendMode = 2;  // shows nothing itself
}

i32 BB_SwordEffect::Run()
{
    const WeaponWorld& w = CurrentWeaponWorld();
    SparkLines(w, Direction, HitPoint, 20);
    if (BB_ExplodeBeam* flash = NewObject<BB_ExplodeBeam>(w.effects, 1))
        flash->Set(&HitPoint, 2.0f, 1, w.Texture(kBurstTexture), 0xFFFFFFFFu);
    FallingSparks(w, HitPoint, 40);
    if (SoundFlag == 0) PlayBattleSound(kBladeHitSound, HitPoint);
    return 1;
}

void BB_SwordEffect3::Set(BB_Base* owner, const Mat4* followedMatrix, const Vec3* direction, u32 count, f32 scale,
                          u32 soundFlag)
{
    Owner = owner;
    FollowedMatrix = followedMatrix;
    if (followedMatrix) World = *followedMatrix;
    if (direction) Direction = *direction;
    Count = i32(count);
    Scale = scale + 1.0f;
    SoundFlag = soundFlag;
    Active = 1;
    BlendMode = 2;
}

i32 BB_SwordEffect3::Run()
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (ObjectGone(Owner)) {
        Owner = nullptr;
        FollowedMatrix = nullptr;
    }
    if (Owner && FollowedMatrix) World = *FollowedMatrix;
    const Vec3 at = Position();
    SparkLines(w, Direction, at, 3);
    if (Owner && Count % 2 == 0) {
        if (BB_ExplodeBeam2* flash = NewObject<BB_ExplodeBeam2>(w.effects, 1))
            flash->SetEx(&at, Scale * 2.0f, 1, w.Texture(kBurstTexture), 0xFFFFFFFFu, Owner, 1);
    }
    const Vec3 z = Axis(World, 2), x = Axis(World, 0);
    for (int i = 0; i < 10; ++i) {
        const f32 u1 = f32(BattleUnit()), u2 = f32(BattleUnit());
        const Vec3 raw = z * (2.0f * u1 - 1.0f) + x * (2.0f * u2 - 1.0f);
        Vec3 dir;
        plat::Vec3Normalize(&dir, &raw);
        if (!(plat::Vec3Length(&dir) > 0.1f)) continue;
        const f32 u3 = f32(BattleUnit()), u4 = f32(BattleUnit());
        const f32 side = (u4 * 0.08f + 0.04f) * Scale, tall = (2.0f * u3 + 1.0f) * Scale;
        if (BB_Tiri3* streak = NewObject<BB_Tiri3>(w.effects, 1))
            streak->SetEx(&at, side, side, tall, tall, &dir, Scale * 0.5f, 1, w.Texture(kSparkLineTexture),
                          0xFFFFFFFFu, 3);
    }
    FallingSparks(w, at, 4);
    if (Active && SoundFlag == 0) PlayBattleSound(kBladeHitSound, at);
    --Count;
    Active = 0;
    return Count < 1 ? 1 : 0;
}

void BB_CrasyBall::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                       u32 colour, BB_Base* owner, u32 level, u8 thunder, i32 team)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Owner = owner;
    Level = level;
    Thunder = thunder;
    Team = team;
    Counter = 0;
}

i32 BB_CrasyBall::Run()
{
    if (ObjectGone(Owner)) Owner = nullptr;
    if (Counter < 181) AddMatrixTranslation(&World, &Velocity);
    Quad.Grow(0.075f);
    if (Quad.Width() > 0.6f) Quad.SetSquare(0.1f);
    ++Counter;
    if (Counter >= 201 && Counter % 2 == 0) {
        const WeaponWorld& w = CurrentWeaponWorld();
        const f32 pitch = f32(BattleUnit() * 120.0 + 30.0), yaw = f32(BattleUnit() * 360.0);
        Mat4 m = Rotation(plat::MatrixRotationX, pitch);
        const Mat4 y = Rotation(plat::MatrixRotationY, yaw);
        plat::MatrixMultiply(&m, &m, &y);
        const Vec3 at = Position();
        m.m[3][0] = at.x;
        m.m[3][1] = at.y;
        m.m[3][2] = at.z;
        LZ_Beam* beam = Thunder ? NewObject<LZ_ThunderBeam>(w.weapons, 1) : NewObject<LZ_Beam>(w.weapons, 1);
        if (beam)
            beam->Set({.start = &m, .width = 0.15f, .maxPoints = 20, .blendMode = 1,
                       .texture = w.Texture(Thunder ? 4 : 0), .colour = 0xFFFFFFFFu},
                      {.speed = f32(Level) * 0.1f + 0.7f, .turnRate = 0.0f, .life = 300},
                      {.owner = Owner, .target = nullptr, .damage = i32(Level) * 10 + 120, .downValue = 50,
                       .knockback = 0.05f, .hitFlags = 2, .rehitInterval = 10, .testSegments = 1, .team = Team},
                      0);
    }
    return u32(Counter) > Level * 200 + 600 ? 1 : 0;
}
