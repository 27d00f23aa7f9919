#include "weapon/effects/MagicCircle.h"

#include <algorithm>
#include <vector>

#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/Beam.h"
#include "weapon/Bullet.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr f32 kHalfDiagonal = 0.7071059942f;

f32 Fraction() { return static_cast<f32>(BattleUnit()); }

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

// A knocked-down robot (action 3 or 6) no longer keeps its circles.
bool OwnerDown(const BB_Base* owner)
{
    const auto* r = dynamic_cast<const CRobot_Normal*>(owner);
    return r && (r->situation == kSituationHit || r->situation == kSituationDown);
}

void AlertTarget(BB_Base* target, BB_Base* source)
{
    auto* r = dynamic_cast<CRobot_Base*>(target);
    if (!r) return;
    if (LockAlertNode* node = r->lockAlertList.NewNode(1)) {
        node->kind = 1;
        node->source = source;
        node->framesLeft = 4;
    }
}

LZ_HiLaser2* CircleLaser(const Mat4& from, f32 width, i32 texture, BB_Base* owner, BB_Base* target, i32 damage,
                         i32 down, i32 segments, u32 team, i32 life)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    auto* laser = NewObject<LZ_HiLaser2>(w.weapons, 1);
    if (!laser) return nullptr;
    laser->SetEx({.start = &from, .width = width, .maxPoints = 200, .blendMode = 1, .texture = w.Texture(texture),
                  .colour = kWhite},
                 {.speed = 1.5f, .turnRate = 0.0f, .life = life},
                 {.owner = owner, .target = target, .damage = damage, .downValue = down, .knockback = 0.0f,
                  .hitFlags = 3, .rehitInterval = 5, .testSegments = segments, .team = i32(team)},
                 0, nullptr, 0);
    laser->TrailFlag = 0;
    laser->TrailFactor = 2.0f;
    return laser;
}

void Flash(const Vec3& at, i32 texture)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* flash = NewObject<BB_ExplodeBeam>(w.effects, 1)) flash->Set(&at, 1.5f, 1, w.Texture(texture), kWhite);
}

}  // namespace

// ---- BBMagicCir ----

i32 BBMagicCir::Draw() { return DrawInOwnMatrix(*this, Quad.Width() * kHalfDiagonal); }

void BBMagicCir::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                     BB_Base* owner, BB_Base* target, f32 sizeLimit, f32 spin, u32 team, u32 firstFrame)
{
    Quad.InitSquare(size, colour);
    Mat4 flat;
    plat::MatrixRotationX(&flat, 90.0f * plat::kDegToRad);
    plat::MatrixMultiply(&World, &flat, &World);
    Place(position, blendMode, texture);
    Owner = owner;
    Target = target;
    SizeLimit = sizeLimit;
    Spin = spin;
    Team = team;
    Counter = firstFrame;
    Pulse = 1;
    CheckOwnerDown = 1;
    Hunt = 0;
}

void BBMagicCir::ChooseTarget()
{
    if (!Target) {
        if (Hunt == 0) {
            if (const auto* r = dynamic_cast<const CRobot_Normal*>(Owner)) Target = r->target;
        } else if (CList<BB_Base>* robots = CurrentWeaponWorld().robots; robots && robots->GetHead()) {
            std::vector<BB_Base*> enemies;
            for (BB_Base* o = robots->GetHead()->next; o && o != robots->GetTail(); o = o->next) {
                const auto* r = dynamic_cast<const CRobot_Base*>(o);
                if (r && !ObjectGone(r) && u32(r->team) != Team) enemies.push_back(o);
            }
            if (!enemies.empty()) Target = enemies[BattleDraw() % u32(enemies.size())];
        }
    }
    if (ObjectGone(Target)) Target = nullptr;
}

void BBMagicCir::Attack()
{
    i32 alpha = Quad.Alpha();
    if (Pulse > 0) {
        if (++alpha > 100) Pulse = -1;
    } else if (--alpha < 50) {
        Pulse = 1;
    }
    Quad.SetAlpha(u8(std::clamp(alpha, 0, 255)));
    if (!Target || !Owner) return;
    if (BattleDraw() % 1000 == 0 && !OwnerDown(Owner)) {
        CircleLaser(World, 1.0f, 29, Owner, Target, 20, 20, 200, Team, 80);
        Flash(Position(), 10);
    }
    if (Counter % 10 == 0) {
        // A random point of the circle: along its x axis, then its y axis.
        const f32 halfWidth = Quad.Width() / 2.0f;
        const f32 halfHeight = (Quad.corners[1].y - Quad.corners[0].y) / 2.0f;
        const f32 ux = Fraction(), uy = Fraction();
        const Vec3 at = Position() + Row(World, 0) * (halfWidth * ux * 0.707f) + Row(World, 1) * (halfHeight * uy * 0.707f);
        Mat4 from = World;
        from.m[3][0] = at.x;
        from.m[3][1] = at.y;
        from.m[3][2] = at.z;
        CircleLaser(from, 0.5f, 27, Owner, Target, 5, 5, 1, Team, 30);
        Flash(at, 9);
    }
}

i32 BBMagicCir::Run()
{
    if (Owner && (ObjectGone(Owner) || (CheckOwnerDown && OwnerDown(Owner)))) {
        Owner = nullptr;
        Target = nullptr;
        Counter = kFadeFrame;
    }
    ChooseTarget();
    TurnLocal(World, plat::MatrixRotationZ, Spin);
    if (Target) {
        if (const Mat4* aim = Target->GetTargetMatrix()) World.MatrixTurnToDirectionLimited(Row(*aim, 3) - Position(), 0.3f);
    }
    if (Counter < 300) {
        Quad.SetSquare(std::min(Quad.Width() * 1.1f, SizeLimit));
        Quad.SetAlpha(u8(std::min(Quad.Alpha() + 2, 120)));
    } else if (Counter < kFadeFrame) {
        Attack();
        if (Target) AlertTarget(Target, this);
    } else if (Counter < 1900) {
        Quad.SetAlpha(u8(std::max(Quad.Alpha() - 2, 0)));
    }
    // Equality, not "at least": a delayed circle's counter lies far above the end.
    return ++Counter == kEndFrame ? 2 : 0;
}

// ---- BB_MagicCircleEffect ----

i32 BB_MagicCircleEffect::Draw() { return DrawInOwnMatrix(*this, Quad.Width() * kHalfDiagonal); }

void BB_MagicCircleEffect::Set(const Mat4* matrix, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                               f32 spin, u32 countdown, u32 flags, BB_Base* owner)
{
    if (matrix) World = *matrix;
    Quad.InitSquare(size, colour);
    Place(nullptr, blendMode, texture);
    Spin = spin;
    Countdown = i32(std::min<u32>(countdown, 0x7FFFFFFFu));
    Flags = flags;
    Owner = owner;
    Alpha = 0;
    State = 0;
    Quad.SetAlpha(0);
}

i32 BB_MagicCircleEffect::Run()
{
    if (ObjectGone(Owner)) Owner = nullptr;
    if (State == 0) {
        Alpha += 10;
        if (Alpha > 192) {
            Alpha = 192;
            State = 1;
        }
        Quad.SetAlpha(u8(Alpha));
    } else if (State == 1) {
        if (Flags & kEndWithOwner) {
            const auto* r = dynamic_cast<const CRobot_Normal*>(Owner);
            if (!Owner || (r && r->situation == kSituationHit)) Countdown = 0;
        }
        if (--Countdown < 1) {
            State = 2;
            Countdown = 0;
        }
    } else {
        Alpha -= 10;
        if (Alpha < 0) {
            Alpha = 0;
            Quad.SetAlpha(0);
            return 2;
        }
        Quad.SetAlpha(u8(Alpha));
    }
    TurnLocal(World, plat::MatrixRotationZ, Spin);
    return 0;
}

// ---- fire and light elements ----

i32 BB_BaseMaterial::Run() { return phase ? (this->*phase)() : 2; }

bool BB_BaseMaterial::CheckOwner()
{
    if (ObjectGone(Owner)) {
        Owner = nullptr;
        Finished = 1;
    }
    return Finished != 0;
}

BB_Base* BB_BaseMaterial::OwnerTarget() const
{
    const auto* r = dynamic_cast<const CRobot_Normal*>(Owner);
    return r && !ObjectGone(r->target) ? r->target : nullptr;
}

void BB_BaseMaterial::Orbit()
{
    if (!Owner) return;
    const Mat4* aim = Owner->GetTargetMatrix();
    if (!aim) return;
    const f32 a = f32(Counter) * 3.0f * plat::kDegToRad;
    const Vec3 bent(Direction.x + plat::DetSin(a) * 0.05f, Direction.y + plat::DetCos(a) * 0.05f, Direction.z);
    Vec3 turned;
    plat::Vec3TransformNormal(&turned, &bent, aim);
    const Vec3 goal = Row(*aim, 3) + turned;
    const Vec3 d = goal - Position();
    const f32 distance = plat::Vec3Length(&d);
    if (!(distance > 0.0f)) return;
    const Vec3 velocity = d / distance * (distance / 5.0f);
    AddMatrixTranslation(&World, &velocity);
}

Mat4 BB_BaseMaterial::AimedMatrix() const
{
    Matrix m(World);
    if (BB_Base* t = OwnerTarget())
        if (const Mat4* aim = t->GetTargetMatrix()) m.MatrixLookAtPoint(Row(*aim, 3), Vec3(0, 1, 0));
    return m;
}

namespace {

void PlaceMaterial(BB_BaseMaterial& m, const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture,
                   u32 colour, BB_Base* owner)
{
    m.Quad.InitRect(size / 4, size / 4, size, 0.0f, colour);
    m.Place(position, blendMode, texture);
    m.Owner = owner;
    m.Counter = 0;
    m.Angle = 0.0f;
    m.Launched = 0;
}

}  // namespace

// Fire.

void BB_FireMaterial::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                          i16 directionIndex, BB_Base* owner)
{
    PlaceMaterial(*this, position, size, blendMode, texture, colour, owner);
    Quad.SetSheet(4, 4);
    phase = static_cast<Phase>(&BB_FireMaterial::StartPhase);
    static const Vec3 kDirections[4] = {{0.6f, 0.3f, 0.0f}, {-0.6f, 0.3f, 0.0f}, {0.8f, -0.4f, 0.0f},
                                        {-0.8f, -0.4f, 0.0f}};
    if (directionIndex >= 0 && directionIndex < 4)
        Direction = kDirections[directionIndex];
    else
        Finished = 1;
}

i32 BB_FireMaterial::StartPhase()
{
    if (CheckOwner()) {
        Counter = 0;
        phase = static_cast<Phase>(&BB_FireMaterial::FadePhase);
        return FadePhase();
    }
    Quad.AdvanceCell(0.5f, true);
    Angle += 1.0f;
    if (++Counter > 60) {
        Counter = 0;
        phase = static_cast<Phase>(&BB_FireMaterial::AttackPhase);
    }
    return 0;
}

i32 BB_FireMaterial::AttackPhase()
{
    if (CheckOwner()) {
        Counter = 0;
        phase = static_cast<Phase>(&BB_FireMaterial::FadePhase);
        return FadePhase();
    }
    Quad.AdvanceCell(0.5f, true);
    Angle += 1.0f;
    ++Counter;
    Orbit();
    const WeaponWorld& w = CurrentWeaponWorld();
    BB_Base* target = OwnerTarget();
    if (Launched == 1) {
        // Off along the ground at the target: x offset, then z.
        Mat4 m = AimedMatrix();
        m.m[3][0] += 2.0f * Fraction() - 1.0f;
        m.m[3][2] += 2.0f * Fraction() - 1.0f;
        const Vec3 at = Row(m, 3);
        const Vec3 velocity = Row(m, 2) * 0.6f;
        if (auto* run = NewObject<BB_FireRun>(w.effects, 3)) {
            run->Set(&at, &velocity, Owner);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) run->World.m[r][c] = m.m[r][c];
        }
        Finished = 1;
        return 0;
    }
    if (!target) return 0;
    const auto* robot = dynamic_cast<const CRobot_Normal*>(Owner);
    if (robot && robot->situation != kSituationFiring) return 0;
    if (BattleDraw() % 1000 >= 6) return 0;
    const Mat4 from = AimedMatrix();
    const i32 team = robot ? robot->team : 0;
    if (auto* ball = NewObject<LZ_FireBall>(w.weapons, 1))
        ball->SetEx({.start = &from, .width = 0.15f, .maxPoints = 3, .blendMode = 2, .texture = nullptr,
                     .colour = kWhite},
                    {.speed = 0.7f, .turnRate = 0.0f, .life = 180},
                    {.owner = Owner, .target = target, .damage = 30, .downValue = 100, .knockback = 0.1f, .hitFlags = 1,
                     .rehitInterval = 10, .testSegments = 1, .team = team},
                    {.durability = 1, .mesh = nullptr, .shaderMode = 0});
    return 0;
}

i32 BB_FireMaterial::FadePhase()
{
    Quad.AdvanceCell(0.5f, true);
    Angle += 1.0f;
    Quad.GrowX(-0.01f, -0.01f);
    Quad.GrowY(0.005f, 0.0f);
    return ++Counter >= 61 ? 2 : 0;
}

i32 BB_FireMaterial::Draw()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d || !PrepareDraw(Quad.Width() * kHalfDiagonal) || !Quad.texture) return 0;
    Mat4 m = World;
    TurnLocal(m, plat::MatrixRotationY, Angle);
    for (int i = 0; i < 3; ++i) {
        if (i > 0) TurnLocal(m, plat::MatrixRotationY, 60.0f);
        d->SetTransform(plat::GfxTransform::World, m);
        Quad.Draw();
    }
    return 0;
}

// Light.

void BB_LightMaterial::Set(const Vec3* position, f32 size, i32 blendMode, plat::GfxTexture* texture, u32 colour,
                           i16 directionIndex, u32, BB_Base* owner)
{
    PlaceMaterial(*this, position, size, blendMode, texture, colour, owner);
    LaunchDelay = 20;
    phase = static_cast<Phase>(&BB_LightMaterial::StartPhase);
    static const Vec3 kDirections[3] = {{1.0f, 0.1f, 0.0f}, {-1.0f, 0.1f, 0.0f}, {0.0f, 0.1f, 1.0f}};
    if (directionIndex >= 0 && directionIndex < 3)
        Direction = kDirections[directionIndex];
    else
        Finished = 1;
}

void BB_LightMaterial::Pulse()
{
    Quad.Grow(plat::DetCos(f32(Counter) * 120.0f * plat::kDegToRad) * 0.1f);
    Angle += 2.0f;
    ++Counter;
}

i32 BB_LightMaterial::StartPhase()
{
    if (CheckOwner()) {
        Counter = 0;
        phase = static_cast<Phase>(&BB_LightMaterial::FadePhase);
        return FadePhase();
    }
    Pulse();
    if (Counter > 60) phase = static_cast<Phase>(&BB_LightMaterial::AttackPhase);
    return 0;
}

i32 BB_LightMaterial::AttackPhase()
{
    if (CheckOwner()) {
        Counter = 0;
        phase = static_cast<Phase>(&BB_LightMaterial::FadePhase);
        return FadePhase();
    }
    const WeaponWorld& w = CurrentWeaponWorld();
    if (Launched) {
        if (--LaunchDelay < 1) {
            const Mat4 from = AimedMatrix();
            const auto* robot = dynamic_cast<const CRobot_Base*>(Owner);
            if (auto* laser = NewObject<LZ_HiLaser2>(w.weapons, 1)) {
                laser->SetEx({.start = &from, .width = 0.15f, .maxPoints = 100, .blendMode = 1,
                              .texture = w.Texture(27), .colour = kWhite},
                             {.speed = 1.3f, .turnRate = 0.0f, .life = 40},
                             {.owner = Owner, .target = OwnerTarget(), .damage = 10, .downValue = 11, .knockback = 0.0f,
                              .hitFlags = 1, .rehitInterval = 5, .testSegments = 100, .team = robot ? robot->team : 0},
                             0, nullptr, 0);
                laser->TrailFlag = 0;
                laser->TrailFactor = 2.0f;
            }
            Finished = 1;
        }
        return 0;
    }
    Orbit();
    // Its crackle: a direction drawn x, y, z.
    Vec3 dir;
    dir.x = 2.0f * Fraction() - 1.0f;
    dir.y = 2.0f * Fraction() - 1.0f;
    dir.z = 2.0f * Fraction() - 1.0f;
    if (auto* spark = NewObject<LZ_ThunderEffect>(w.weapons, 1))
        spark->Set(&World, 0.02f, 4, 0.1f, 1, w.Texture(4), kWhite, &dir, 0.1f, 5);
    Pulse();
    return 0;
}

i32 BB_LightMaterial::FadePhase()
{
    Quad.Grow(0.02f);
    const i32 alpha = Quad.Alpha() - 13;
    if (alpha < 0) {
        Quad.SetAlpha(0);
        BlendMode = 2;  // used up: hidden until it ends
    } else {
        Quad.SetAlpha(u8(alpha));
    }
    return ++Counter > 100 ? 2 : 0;
}

i32 BB_LightMaterial::Draw()
{
    if (!PrepareDraw(Quad.Width() * kHalfDiagonal) || !Quad.texture) return 0;
    World.SetBillboardWorldRotZ(CurrentWeaponWorld().camera, Angle);
    Quad.Draw();
    return 0;
}

// ---- BB_FireRun ----

void BB_FireRun::Set(const Vec3* position, const Vec3* velocity, BB_Base* owner)
{
    if (position) AddMatrixTranslation(&World, position);
    if (velocity) Velocity = *velocity;
    Owner = owner;
    BlendMode = 2;  // the fire shows through what it spawns
    Counter = 0;
}

i32 BB_FireRun::Run()
{
    AddMatrixTranslation(&World, &Velocity);
    if (ObjectGone(Owner)) Owner = nullptr;
    const Vec3 at = Position();
    if (Owner) {
        const WeaponWorld& w = CurrentWeaponWorld();
        Vec3 v;
        v.x = Fraction() * 0.02f - 0.01f;
        v.y = Fraction() * 0.06f;
        v.z = Fraction() * 0.02f - 0.01f;
        const auto* robot = dynamic_cast<const CRobot_Base*>(Owner);
        if (auto* burn = NewObjectLast<BB_GrenadeExplode>(w.attackEffects, 3))
            burn->Set(&at, 2.0f, &v, 0, w.Texture(3), kWhite, Owner,
                      {.hitRadius = 0.2f, .damage = 210, .downValue = 410, .knockback = 0.2f, .hitFlags = 8,
                       .team = robot ? robot->team : 0});
    }
    if (Counter % 3 == 0) {
        const f32 d = DistanceToEye(at);
        PlayBattleSound(14, at);
        ShakeCamera(d, 1.0f);
    }
    return ++Counter > 60 ? 2 : 0;
}
