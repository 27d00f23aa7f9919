// The stream laser of the beam family.
#include <bit>
#include <cmath>

#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/Beam.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"

namespace {

constexpr i32 kBeamHitSound = 7;
constexpr i32 kReflectSound = 16;
constexpr i32 kLightningTexture = 4;
constexpr i32 kMuzzleTexture = 9;
constexpr f32 kShakeRadius = 7.0f;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

f32 Unit() { return f32(BattleUnit()); }

Vec3 Normal(const Vec3& v)
{
    Vec3 n;
    plat::Vec3Normalize(&n, &v);
    return n;
}

CRobot_Base* AsRobot(BB_Base* object)
{
    if (!object) return nullptr;
    const i32 kind = object->GetKind();
    if (kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip) return static_cast<CRobot_Base*>(object);
    return nullptr;
}

// The far end's direction turned toward `to` by at most maxDegrees.
Vec3 TurnToward(const Vec3& direction, const Vec3& to, f32 maxDegrees)
{
    f32 c = plat::Vec3Dot(&direction, &to);
    if (c > 1.0f) c = 1.0f;
    if (c < -1.0f) c = -1.0f;
    if (!(c > -1.0f && c < 1.0f)) return direction;
    f32 degrees = plat::DetAcos(c) * 57.29578f;
    if (degrees > maxDegrees) degrees = maxDegrees;
    Vec3 axis;
    plat::Vec3Cross(&axis, &direction, &to);
    if (plat::Vec3LengthSq(&axis) == 0.0f)
        axis = Vec3(0.0f, 1.0f, 0.0f);
    else
        axis = Normal(axis);
    Mat4 turn;
    plat::MatrixRotationAxis(&turn, &axis, degrees * kDegreesToRadians);
    Vec3 out;
    plat::Vec3TransformNormal(&out, &direction, &turn);
    return Normal(out);
}

}  // namespace

LZ_HiLaser2::LZ_HiLaser2() { StreamParams.Create(10); }

LZ_HiLaser2::~LZ_HiLaser2()
{
    if (ReflectedLaser) ReflectedLaser->ReflectedFrom = nullptr;
    if (ReflectedFrom) {
        ReflectedFrom->ReflectedLaser = nullptr;
        ReflectedFrom->Reflector = nullptr;
    }
    StreamParams.Release();
}

LASERNODE* LZ_HiLaser2::SetEx(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit,
                              i32 stopWithOwner, const Mat4* anchor, u8 smokeTrail)
{
    SetTrail(trail);
    SetHits(hit);
    Speed = flight.speed;
    TurnRate = flight.turnRate;
    Life = flight.life;
    StopWithOwner = stopWithOwner;
    Anchor = anchor;
    SmokeTrail = smokeTrail;
    BaseWidth = trail.width;
    HitMask = kHitRobots | kHitStage | kHitWeapons;
    EndReflection();
    ReflectHold = EffectCooldown = ShakeFrames = 0;
    StreamMode = 0;
    StreamParams.Fill(0);
    LASERNODE* first = Laser.Newest();
    if (first) first->Heading = Row(Laser.World, 2);
    return first;
}

void LZ_HiLaser2::EndReflection()
{
    if (ReflectedLaser) {
        ReflectedLaser->Life = 0;
        ReflectedLaser->ReflectedFrom = nullptr;
    }
    ReflectedLaser = nullptr;
    Reflector = nullptr;
}

void LZ_HiLaser2::MoveStream()
{
    const WeaponWorld& w = CurrentWeaponWorld();
    const Mat4* aim = Target ? Target->GetTargetMatrix() : nullptr;
    const f32 amplitude = std::bit_cast<f32>(StreamParams[0]);
    Vec3 before;  // where the point ahead was before this frame's move
    i32 i = 0;
    for (LASERNODE* p = Laser.Newest(); p; p = Laser.Older(p), ++i) {
        const Vec3 was = p->Position;
        if (TurnRate != 0.0f) {
            if (i == 0) {
                if (aim) p->Heading = TurnToward(p->Heading, Normal(Row(*aim, 3) - p->Position), TurnRate);
                p->Position += p->Heading * Speed;
            } else {
                p->Position = before;
            }
        } else if (StreamMode == 1) {
            const f32 x = Unit() * 2.0f * amplitude - amplitude;
            const f32 y = Unit() * 2.0f * amplitude - amplitude;
            const f32 z = Unit() * 2.0f * amplitude - amplitude;
            p->Position += Normal(p->Heading + Vec3(x, y, z)) * Speed;
        } else {
            p->Position += p->Heading * Speed;
        }
        before = was;
        if (i % 6 == 0 && Life % 3 == 0) {
            Mat4 m;
            plat::MatrixTranslation(&m, p->Position.x, p->Position.y, p->Position.z);
            if (LZ_ThunderEffect* bolt = NewObject<LZ_ThunderEffect>(w.weapons, 1))
                bolt->Set(&m, 0.03f, 4, StreamMode == 1 ? 1.0f : 0.1f, 1, w.Texture(kLightningTexture), 0xFFFFFFFFu,
                          &p->Heading, Width * 1.2f, 5);
        }
    }
}

void LZ_HiLaser2::ShakeCamera()
{
    if (ShakeFrames <= 0) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (Life % 2 == 0 && w.cameraShake) {
        const Vec3 d = Position() - w.Eye();
        const f32 e = plat::Vec3Length(&d);
        if (e < kShakeRadius && f32(*w.cameraShake) < (kShakeRadius - e) * 3.0f)
            *w.cameraShake = i32(kShakeRadius - e) * 3;
    }
    --ShakeFrames;
}

i32 LZ_HiLaser2::Run()
{
    if (Owner) {
        if (StopWithOwner != 0 && Owner->GetKind() == kKindRobot &&
            static_cast<const CRobot_Normal*>(Owner)->situation == kSituationHit)
            Life = 0;
        if (ObjectGone(Owner)) {
            // The stream ends with its owner.
            Owner = nullptr;
            Anchor = nullptr;
            Life = 0;
        }
    }
    if (Owner && Anchor) Laser.World = *Anchor;
    if (ObjectGone(Target)) Target = nullptr;
    CRobot_Base* warned = AsRobot(Target);
    const Mat4* aim = Target ? Target->GetTargetMatrix() : nullptr;
    if (warned && aim && Laser.Count >= 2) {
        const Vec3 v = Laser.Oldest()->Position - Row(*aim, 3);
        if (plat::Vec3Length(&warned->nearestThreat) > plat::Vec3Length(&v)) warned->nearestThreat = v;
    }
    --Life;
    if (Life < 1) {
        EndReflection();
        if (Width < BaseWidth / 2.0f) HitMask = 0;
        Width -= BaseWidth * 0.05f;
        return Width < 0.01f ? 2 : 0;
    }
    MoveStream();
    const Vec3 muzzle = Position();
    const Vec3 heading = Row(Laser.World, 2);
    LASERNODE* fresh = Laser.Oldest() ? Laser.InsertPoint(muzzle, Laser.Oldest(), 1) : Laser.AddPoint(muzzle);
    if (fresh) fresh->Heading = heading;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (Life % 5 == 0) {
        if (BB_ExplodeBeam* flash = NewObject<BB_ExplodeBeam>(w.effects, 1))
            flash->Set(&muzzle, 0.2f, 1, w.Texture(kMuzzleTexture), 0xFFFFFFFFu);
    }
    if (SmokeTrail != 0) {
        const Vec3 down(0.0f, -1.0f, 0.0f);
        if (LZ_LineSmokeOut* smoke = NewObject<LZ_LineSmokeOut>(w.weapons, 1)) smoke->SetEx(&Laser.World, &down);
    }
    Width += BaseWidth * 0.15f;
    if (Width > BaseWidth) Width = BaseWidth * 0.7f;
    if (ReflectHold > 0 && --ReflectHold == 0) EndReflection();
    if (EffectCooldown > 0) --EffectCooldown;
    ShakeCamera();
    AlertTarget();
    return 0;
}

i32 LZ_HiLaser2::OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3*)
{
    if (!segment) return 0;
    segment->Mark = kMarkRemoveNewerGoOn;
    if (EffectCooldown != 0) return 0;
    const Vec3 at = point ? *point : segment->Position;
    HitBurst(at, 0.015f, 0.3f, 3, 3);
    PlayBattleSound(kBeamHitSound, at);
    EffectCooldown = kEffectCooldown;
    return 0;
}

i32 LZ_HiLaser2::OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard)
{
    if (!segment) return 0;
    segment->Mark = kMarkRemoveNewerGoOn;
    // The guarding robot is tested again in the next pass.
    RemoveHitNode(robot);
    if (EffectCooldown != 0) return 0;
    const Vec3 at = point ? *point : segment->Position;
    HitFlash(at);
    if (guard) GuardSparks(*guard, 10, Laser.Texture);
    HitSparks(at, 0.015f, 0.3f, 2);
    PlayBattleSound(kBeamHitSound, at);
    EffectCooldown = kEffectCooldown;
    return 0;
}

i32 LZ_HiLaser2::OnReflect(const Vec3* point, LASERNODE* segment, BB_Base* robot)
{
    CRobot_Base* reflector = AsRobot(robot);
    if (!segment || !reflector) return 0;
    segment->Mark = kMarkRemoveNewerGoOn;
    RemoveHitNode(robot);
    ReflectHold = kReflectHold;
    const Vec3 at = point ? *point : segment->Position;
    if (Reflector != robot) {
        EndReflection();
        Reflector = robot;
        Matrix m;
        const Mat4* aim = reflector->lockTarget ? reflector->lockTarget->GetTargetMatrix() : nullptr;
        const Mat4* own = reflector->GetMatrix();
        const Vec3 direction = aim ? Row(*aim, 3) - at : (own ? Row(*own, 2) : Vec3(0.0f, 0.0f, 1.0f));
        m.MatrixLookDirection(direction, Vec3(0.0f, 1.0f, 0.0f));
        m.m[3][0] = at.x;
        m.m[3][1] = at.y;
        m.m[3][2] = at.z;
        const WeaponWorld& w = CurrentWeaponWorld();
        if (LZ_HiLaser2* child = NewObject<LZ_HiLaser2>(w.weapons, 1)) {
            child->SetEx({.start = &m, .width = Width, .maxPoints = Laser.MaxPoints, .blendMode = BlendMode,
                          .texture = Laser.Texture, .colour = 0xFFFFFFFFu},
                         {.speed = Speed, .turnRate = TurnRate, .life = Life},
                         {.owner = robot, .target = reflector->lockTarget, .damage = Damage, .downValue = DownValue,
                          .knockback = Knockback, .hitFlags = HitFlags, .rehitInterval = RehitInterval,
                          .testSegments = TestSegments, .team = reflector->team},
                         StopWithOwner, nullptr, SmokeTrail);
            child->TrailFlag = 0;
            child->TrailFactor = 2.0f;
            child->ReflectedFrom = this;
            child->FireProc = FireProc;  // made in the hit pass: its hits count for this stream's shot
            ReflectedLaser = child;
        }
    }
    if (EffectCooldown == 0) {
        PlayBattleSound(kReflectSound, at);
        EffectCooldown = kEffectCooldown;
    }
    return 0;
}
