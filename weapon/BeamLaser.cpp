// The continuous laser and the trap laser of the beam family.
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/Beam.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr i32 kBeamHitSound = 7;
constexpr i32 kGuardSparkTexture = 0;
// The reflection half-turn is a hair short of pi, as the game always had it.
constexpr f32 kHalfTurn = 3.14154f;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

void PlaceAt(Mat4& m, const Vec3& p)
{
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
}

// Whether the laser's owner is a robot being hit (or defeated).
bool OwnerBeingHit(const BB_Base* owner)
{
    return owner && owner->GetKind() == kKindRobot &&
           static_cast<const CRobot_Normal*>(owner)->situation == kSituationHit;
}

CRobot_Base* AsRobot(BB_Base* object)
{
    if (!object) return nullptr;
    const i32 kind = object->GetKind();
    if (kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip) return static_cast<CRobot_Base*>(object);
    return nullptr;
}

}  // namespace

LASERNODE* LZ_HiLaser::SetEx(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit,
                             i32 stopWithOwner)
{
    SetTrail(trail);
    SetHits(hit);
    Speed = flight.speed;
    TurnRate = flight.turnRate;
    Life = flight.life;
    StopWithOwner = stopWithOwner;
    BaseWidth = trail.width;
    HoldFrames = 0;
    HitMask = kHitRobots | kHitStage | kHitWeapons;
    return Laser.Newest();
}

void LZ_HiLaser::Lead()
{
    if (Owner) {
        if (StopWithOwner != 0 && OwnerBeingHit(Owner)) Life = 0;
        if (ObjectGone(Owner)) Owner = nullptr;
    }
    if (ObjectGone(Target)) Target = nullptr;
    if (Laser.Count < kGrowthLimit && HoldFrames == 0) {
        Mat4 step;
        plat::MatrixTranslation(&step, 0.0f, 0.0f, Speed);
        plat::MatrixMultiply(&Laser.World, &step, &Laser.World);
    }
}

void LZ_HiLaser::Steer()
{
    if (Target && TurnRate != 0.0f) {
        if (const Mat4* aim = Target->GetTargetMatrix()) {
            const Vec3 to = Row(*aim, 3) - Position();
            Vec3 d;
            plat::Vec3Normalize(&d, &to);
            Laser.World.MatrixTurnToDirectionLimited(d, TurnRate);
        }
    }
    WarnTarget();
    if (HoldFrames > 0) --HoldFrames;
}

i32 LZ_HiLaser::Run()
{
    Lead();
    Steer();
    --Life;
    if (Life > 0) {
        if (Laser.Count < kGrowthLimit && HoldFrames == 0) Laser.AddPoint(Position());
        Width += BaseWidth * 0.15f;
        if (Width > BaseWidth) Width = BaseWidth * 0.7f;
        AlertTarget();
        return 0;
    }
    HitMask = 0;
    Width -= BaseWidth * 0.05f;
    return Width < 0.01f ? 2 : 0;
}

void LZ_HiLaser::HoldAt(LASERNODE* segment)
{
    segment->Mark = kMarkRemoveNewerStop;
    PlaceAt(Laser.World, segment->Position);
    HoldFrames = RehitInterval;
}

i32 LZ_HiLaser::OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3*)
{
    if (!segment) return 0;
    HoldAt(segment);
    const Vec3 at = point ? *point : Position();
    HitBurst(at, 0.015f, 0.3f, 10, 10);
    PlayBattleSound(kBeamHitSound, at);
    // Life stays: after the hold the head strikes the wall again.
    return 0;
}

i32 LZ_HiLaser::OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base*, const Mat4* guard)
{
    if (!segment) return 0;
    HoldAt(segment);
    const Vec3 at = point ? *point : Position();
    HitFlash(at);
    if (guard) GuardSparks(*guard, 10, CurrentWeaponWorld().Texture(kGuardSparkTexture));
    HitSparks(at, 0.015f, 0.3f, 2);
    // Heard when the guard is near the camera, from the laser's head.
    if (WithinSoundRange(at)) PlayBattleSound(kBeamHitSound, Position());
    return 0;
}

i32 LZ_HiLaser::OnReflect(const Vec3* point, LASERNODE* segment, BB_Base* robot)
{
    CRobot_Base* reflector = AsRobot(robot);
    if (!segment || !reflector) return 0;
    const Vec3 at = point ? *point : Position();
    segment->Mark = kMarkRemoveNewerStop;
    PlaceAt(Laser.World, at);
    HoldFrames = 0;
    Team = reflector->team;
    BB_Base* aimAt = reflector->lockTarget;
    if (const Mat4* aim = aimAt ? aimAt->GetTargetMatrix() : nullptr) {
        Laser.World.MatrixLookAtPoint(Row(*aim, 3), Vec3(0.0f, 1.0f, 0.0f));
    } else {
        Mat4 turn;
        plat::MatrixRotationY(&turn, kHalfTurn);
        PlaceAt(Laser.World, Vec3());
        plat::MatrixMultiply(&Laser.World, &turn, &Laser.World);
        PlaceAt(Laser.World, at);
    }
    // The beam bends at the reflection and grows on from there once the cut
    // has taken the part beyond it.
    Laser.InsertPoint(at, segment, 0);
    Laser.InsertPoint(at, segment, 0);
    return 0;
}

i32 LZ_TrapLaser::Run()
{
    Lead();
    if (Laser.Count < kChainPoints) {
        Mat4 curl;
        plat::MatrixRotationX(&curl, 5.0f * kDegreesToRadians);
        plat::MatrixMultiply(&Laser.World, &curl, &Laser.World);
    }
    Steer();
    --Life;
    if (Life < 1) {
        // Still hitting while it fades.
        Width -= 0.01f;
        return Width < 0.01f ? 1 : 0;
    }
    if (HoldFrames == 0) {
        if (Laser.Count >= kChainPoints) {
            if (LASERNODE* head = Laser.Newest()) head->Position = Position();
        } else {
            Laser.AddPoint(Position());
        }
    }
    Width += 0.04f;
    if (Width > BaseWidth) Width = BaseWidth * 0.7f;
    return 0;
}

i32 LZ_TrapLaser::OnHitMap(const Vec3*, LASERNODE*, const Vec3*) { return 0; }
i32 LZ_TrapLaser::OnReflect(const Vec3*, LASERNODE*, BB_Base*) { return 0; }
i32 LZ_TrapLaser::SetOption(i32) { return 0; }
