#include "weapon/Beam.h"

#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Spark.h"

namespace {

constexpr f32 kFadeStep = 0.01f;
constexpr i32 kFlashTexture = 10;
constexpr i32 kSparkTexture = 14;
constexpr i32 kSmokeTexture = 17;
constexpr i32 kBeamHitSound = 7;
// The reflection half-turn is a hair short of pi, as the game always had it.
constexpr f32 kHalfTurn = 3.14154f;

f32 Unit() { return f32(BattleUnit()); }

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

CRobot_Base* AsRobot(BB_Base* object)
{
    if (!object) return nullptr;
    const i32 kind = object->GetKind();
    if (kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip) return static_cast<CRobot_Base*>(object);
    return nullptr;
}

}  // namespace

i32 LZ_Beam::HitTestObject(BB_Base*) { return 0; }

LASERNODE* LZ_Beam::Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit, u8 stopOnHit)
{
    SetTrail(trail);
    SetHits(hit);
    Speed = flight.speed;
    TurnRate = flight.turnRate;
    Life = flight.life;
    StopOnHit = stopOnHit;
    HitMask = kHitRobots | kHitStage | kHitWeapons;
    return Laser.Newest();
}

void LZ_Beam::Fly(bool dropBehind)
{
    if (ObjectGone(Owner)) Owner = nullptr;
    if (ObjectGone(Target)) Target = nullptr;
    Mat4 step;
    plat::MatrixTranslation(&step, 0.0f, 0.0f, Speed);
    plat::MatrixMultiply(&Laser.World, &step, &Laser.World);
    if (!Target || TurnRate == 0.0f) return;
    const Mat4* aim = Target->GetTargetMatrix();
    if (!aim) return;
    const Vec3 to = Row(*aim, 3) - Position();
    Vec3 d;
    plat::Vec3Normalize(&d, &to);
    Laser.World.MatrixTurnToDirectionLimited(d, TurnRate);
    const Vec3 forward = Row(Laser.World, 2);
    if (dropBehind && plat::Vec3Dot(&d, &forward) < 0.0f) Target = nullptr;
}

void LZ_Beam::WarnTarget()
{
    CRobot_Base* robot = AsRobot(Target);
    if (!robot) return;
    const Mat4* aim = Target->GetTargetMatrix();
    if (!aim) return;
    const Vec3 v = Position() - Row(*aim, 3);
    if (plat::Vec3Length(&robot->nearestThreat) > plat::Vec3Length(&v)) robot->nearestThreat = v;
}

i32 LZ_Beam::Age(const Vec3& point)
{
    --Life;
    if (Life > 0) {
        Laser.AddPoint(point);
        AlertTarget();
        return 0;
    }
    HitMask = 0;
    Life = 0;
    Width -= kFadeStep;
    return Width < kFadeStep ? 2 : 0;
}

void LZ_Beam::AlertTarget()
{
    CRobot_Base* robot = AsRobot(Target);
    if (!robot) return;
    if (LockAlertNode* alert = robot->lockAlertList.NewNode(1)) {
        alert->kind = 2;
        alert->source = this;
        alert->framesLeft = 1;
    }
}

i32 LZ_Beam::Run()
{
    Fly(true);
    WarnTarget();
    return Age(Position());
}

i32 LZ_ThunderBeam::Run()
{
    Fly(true);
    WarnTarget();
    // Only the drawn (and hit-tested) trail zigzags; the beam flies straight.
    Vec3 point = Position();
    if (Life - 1 > 0) {
        const f32 a = Unit() * 0.6f - 0.3f;
        const f32 b = Unit() * 0.6f - 0.3f;
        point += Row(Laser.World, 0) * a + Row(Laser.World, 1) * b;
    }
    return Age(point);
}

i32 LZ_Beam2::Run()
{
    Fly(false);
    WarnTarget();
    TurnRate *= 0.95f;
    if (TurnRate < 0.2f) TurnRate = 0.2f;
    return Age(Position());
}

void LZ_Beam::HitFlash(const Vec3& at)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (BB_ExplodeBeam* flash = NewObject<BB_ExplodeBeam>(w.effects, 1))
        flash->Set(&at, 2.0f, 1, w.Texture(kFlashTexture), 0xFFFFFFFFu);
}

void LZ_Beam::HitStreaks(const Vec3& at, i32 count)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    for (int i = 0; i < count; ++i) {
        const f32 x = Unit() * 0.4f - 0.2f;
        const f32 y = Unit() * 0.4f - 0.2f;
        const f32 z = Unit() * 0.4f - 0.2f;
        const Vec3 v(x, y, z);
        // The streak draws its own roll angle in its initialiser, so the
        // size is drawn before the angle.
        const f32 size = Unit() * 2.5f + 0.5f;
        if (BB_EffectBeam* streak = NewObject<BB_EffectBeam>(w.effects, 1))
            streak->Set(&at, 0.05f, size, &v, 1, w.Texture(kSparkTexture), 0xFFFFFFFFu, 360.0f);
        else
            BattleDraw();  // the angle is drawn all the same
    }
}

void LZ_Beam::HitSparks(const Vec3& at, f32 size, f32 length, i32 count)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    for (int i = 0; i < count; ++i) {
        const f32 x = (Unit() * 0.6f - 0.3f) * 0.6f;
        const f32 y = (Unit() * 0.6f - 0.3f) * 0.6f;
        const f32 z = (Unit() * 0.6f - 0.3f) * 0.6f;
        const Vec3 v(x, y, z);
        if (BB_Tiri2* spark = NewObject<BB_Tiri2>(w.effects, 1))
            spark->Set(&at, size, size, length, 0.0f, &v, 1, w.Texture(kSparkTexture), 0xFFFFFFFFu, 255);
    }
}

void LZ_Beam::HitBurst(const Vec3& at, f32 sparkSize, f32 sparkLength, i32 streaks, i32 sparks)
{
    HitFlash(at);
    HitStreaks(at, streaks);
    HitSparks(at, sparkSize, sparkLength, sparks);
}

i32 LZ_Beam::OnHitRobot(const Vec3* point, LASERNODE*, BB_Base*)
{
    const Vec3 at = point ? *point : Position();
    HitBurst(at, 0.01f, 0.1f);
    PlayBattleSound(kBeamHitSound, at);
    if (StopOnHit == 1) Life = 0;
    return 0;
}

i32 LZ_Beam::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    const Vec3 at = point ? *point : Position();
    HitBurst(at, 0.015f, 0.3f);
    // Heard when the hit is near the camera, from the beam's own place.
    if (WithinSoundRange(at)) PlayBattleSound(kBeamHitSound, Position());
    Life = 0;
    return 0;
}

void LZ_Beam::GuardSparks(const Mat4& guard, i32 count, plat::GfxTexture* texture)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    for (int i = 0; i < count; ++i) {
        Mat4 m, x90;
        plat::MatrixRotationY(&m, f32(BattleDraw() % 360) * kDegreesToRadians);
        plat::MatrixRotationX(&x90, 90.0f * kDegreesToRadians);
        plat::MatrixMultiply(&m, &m, &x90);
        plat::MatrixMultiply(&m, &m, &guard);
        const f32 width = Unit() * 0.1f + 0.05f;
        if (LZ_LineEffect* spark = NewObject<LZ_LineEffect>(w.weapons, 1)) {
            spark->Set(&m, width, 20, 0.5f, 1, texture, 0xFFFFFFFFu, 8);
            spark->TrailFlag = 0;
            spark->TrailFactor = 1.0f;
        }
    }
}

i32 LZ_Beam::OnHitGuard(const Vec3*, LASERNODE* segment, BB_Base*, const Mat4* guard)
{
    if (!guard) {
        Life = 0;
        return 0;
    }
    if (segment) segment->Position = Row(*guard, 3);
    GuardSparks(*guard, 20, Laser.Texture);
    Life = 0;
    return 0;
}

i32 LZ_Beam::OnReflect(const Vec3* point, LASERNODE*, BB_Base* robot)
{
    CRobot_Base* reflector = AsRobot(robot);
    if (!reflector) return 0;
    Team = reflector->team;
    BB_Base* aimAt = reflector->lockTarget;
    if (Owner) Target = aimAt;
    const Mat4* aim = aimAt ? aimAt->GetTargetMatrix() : nullptr;
    if (aim) {
        Laser.World.MatrixLookAtPoint(Row(*aim, 3), Vec3(0.0f, 1.0f, 0.0f));
    } else if (!aimAt) {
        Mat4 turn;
        plat::MatrixRotationY(&turn, kHalfTurn);
        const Vec3 at = Position();
        Laser.World.m[3][0] = Laser.World.m[3][1] = Laser.World.m[3][2] = 0.0f;
        plat::MatrixMultiply(&Laser.World, &turn, &Laser.World);
        Laser.World.m[3][0] = at.x;
        Laser.World.m[3][1] = at.y;
        Laser.World.m[3][2] = at.z;
    }
    Owner = robot;
    Laser.AddPoint(point ? *point : Position());
    return 0;
}

i32 LZ_LineSmokeOut::Run()
{
    Laser.World.m[3][0] += Speed * Velocity.x;
    Laser.World.m[3][1] += Speed * Velocity.y;
    Laser.World.m[3][2] += Speed * Velocity.z;
    Laser.AddPoint(Position());
    --Life;
    return Life < 1 ? 1 : 0;
}

i32 LZ_LineSmokeOut::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point) return 0;
    const Vec3 forward = Row(Laser.World, 2), side = Row(Laser.World, 0);
    Vec3 v;
    plat::Vec3Normalize(&v, &forward);
    v = v * -0.4f;
    v += side * (Unit() * 0.4f - 0.2f);
    v.y += Unit() * 0.05f;
    const WeaponWorld& w = CurrentWeaponWorld();
    for (int i = 0; i < 3; ++i) {
        Vec3 p = *point + side * (Unit() - 0.5f);
        p.y += 0.2f;
        if (BB_GSmoke* smoke = NewObject<BB_GSmoke>(w.effects, 1))
            smoke->Set(&p, 1.0f, &v, 0, w.Texture(kSmokeTexture), 0x80FFFFFFu, -8, 0.01f);
    }
    Life = 0;
    return 0;
}

void LZ_LineSmokeOut::SetEx(const Mat4* start, const Vec3* velocity)
{
    SetTrail(start, 0.3f, 2, 2, nullptr, 0xFFFFFFFFu);
    HitMask = kHitStage;
    Damage = 0;
    TestSegments = 1;
    Speed = 1.0f;
    Life = 3;
    if (velocity) Velocity = *velocity;
}
