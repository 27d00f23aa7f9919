#include "weapon/Bullet.h"

#include "app/core/Application.h"
#include "engine/graphics/MatrixHelpers.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Smoke.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr f32 kDegrees = 0.017453f;

f32 R() { return static_cast<f32>(BattleUnit()); }

CRobot_Base* AsRobot(BB_Base* object)
{
    if (!object) return nullptr;
    const i32 kind = object->GetKind();
    if (kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip) return static_cast<CRobot_Base*>(object);
    return nullptr;
}

Vec3 AimPoint(const Mat4& m) { return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]); }

// Turned in its own frame by whole degrees of yaw, then pitch.
Mat4 Turned(const Mat4& m, f32 yawDegrees, f32 pitchDegrees)
{
    Mat4 ry, rx, t, out;
    plat::MatrixRotationY(&ry, yawDegrees * kDegrees);
    plat::MatrixRotationX(&rx, pitchDegrees * kDegrees);
    plat::MatrixMultiply(&t, &ry, &rx);
    plat::MatrixMultiply(&out, &t, &m);
    return out;
}

// One battle draw as whole degrees -15 to 15.
f32 SpreadDegrees() { return static_cast<f32>(static_cast<i32>(BattleDraw() % 31u) - 15); }

void Burner(LZ_Basic& shot, f32 a, f32 b, f32 ball)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 p = shot.Position();
    const Vec3 still;
    if (auto* flame = NewObject<BB_Burner>(w.effects, 1))
        flame->Set(&p, a, b, 1, w.Texture(8), 0x80FFFFFFu, &shot, &shot.Laser.World, 0);
    if (auto* glow = NewObject<BB_BurnerBall>(w.effects, 1))
        glow->Set(&p, ball, &still, 1, w.Texture(9), 0xFFFFFFFFu, &shot, &shot.Laser.World, 4);
}

void Smoke(LZ_Bullet& shot, f32 size, u16 alphaStep)
{
    const f32 x = R() * 0.02f - 0.01f;
    const f32 y = R() * 0.02f - 0.01f;
    const f32 z = R() * 0.02f - 0.01f;
    const Vec3 v = Vec3(x, y, z) - shot.Forward() * 0.1f;
    const Vec3 p = shot.Position();
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* puff = NewObject<BB_MSmoke>(w.effects, 1))
        puff->Set(&p, size, &v, 0, w.Texture(17), 0xFFFFFFFFu, alphaStep);
}

// The burst of the shells: a long-lived explosion sheet. Draws its length, then its size.
void ShellBurst(const Vec3& point, const Vec3& velocity, f32 sizeBase, f32 sizeRange)
{
    const f32 ra = R();
    const f32 size = sizeBase + R() * sizeRange;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* e = NewObject<BB_Explode5>(w.effects, 3))
        e->SetEx(&point, size, &velocity, 0, w.Texture(3), 0xFFFFFFFFu, 18, 2.0f + ra, 0.96f, 0);
}

// Five low bursts thrown mostly upward (shell and carrier hits).
void GroundBursts(const Vec3& point, i32 count)
{
    for (i32 i = 0; i < count; ++i) {
        const f32 x = R() * 0.04f - 0.02f;
        const f32 y = R() * 0.17f;
        const f32 z = R() * 0.04f - 0.02f;
        VisualBurst(point, Vec3(x, y, z), 3.0f + R() * 7.0f);
    }
}

// One centre burst and `count` sparks along (sign 1) or against (-1) the flight.
void ShellBursts(const LZ_Bullet& shell, const Vec3& point, i32 count, f32 sizeBase, f32 sizeRange, f32 sBase,
                 f32 sRange, f32 sign)
{
    Vec3 f = shell.Forward();
    plat::Vec3Normalize(&f, &f);
    ShellBurst(point, Vec3(), sizeBase, sizeRange);
    for (i32 i = 0; i < count; ++i) {
        const f32 x = R() * 0.04f - 0.02f;
        const f32 y = R() * 0.04f - 0.02f;
        const f32 z = R() * 0.04f - 0.02f;
        const f32 s = sBase + R() * sRange;
        ShellBurst(point, Vec3(x, y, z) + f * (s * sign), sizeBase, sizeRange);
    }
}

void SoundAndShake(i32 sound, const Vec3& soundAt, f32 distance, f32 factor)
{
    if (distance <= kSoundRange) PlayBattleSound(sound, soundAt);
    ShakeCamera(distance, factor);
}

// Burning debris thrown out around a missile's blast, then its sound and shake.
void DebrisAndBang(const Vec3& at, i32 pieces)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    for (i32 i = 0; i < pieces; ++i) {
        const f32 x = R() * 0.56f - 0.28f;
        const f32 y = R() * 0.25f;
        const f32 z = R() * 0.56f - 0.28f;
        const Vec3 v(x, y, z);
        const Vec3 from = at + v * 5.0f;
        if (auto* piece = NewObject<BB_BP>(w.effects, 1)) piece->Set(&from, 1.0f, &v, 0, nullptr, 0xFFFFFFFFu, 200);
    }
    SoundAndShake(4, at, DistanceToEye(at), 1.5f);
}

}  // namespace

void SetBody(LZ_Standard& weapon, const WeaponBody& body)
{
    weapon.Durability = body.durability;
    weapon.Mesh = body.mesh;
    weapon.ShaderMode = AllowedShaderMode(body.shaderMode);
}

i8 AllowedShaderMode(u8 requested)
{
    return GetApplication()->video.disableShader ? 0 : static_cast<i8>(requested);
}

void VisualBurst(const Vec3& point, const Vec3& velocity, f32 size)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* e = NewObject<BB_GrenadeExplode>(w.effects, 3))
        e->Set(&point, size, &velocity, 0, w.Texture(3), 0xFFFFFFFFu, nullptr, {});
}

// Doubling (scale 2) is exact in floating point, so a doubled burst draws
// exactly the values the doubled constants would.
void BlastBursts(const Vec3& point, f32 scale)
{
    for (i32 i = 0; i < 8; ++i) {
        {
            const f32 x = scale * (R() * 0.04f - 0.02f);
            const f32 y = scale * (R() * 0.17f);
            const f32 z = scale * (R() * 0.04f - 0.02f);
            VisualBurst(point, Vec3(x, y, z), scale * (3.0f + R() * 7.0f));
        }
        const f32 x = scale * (R() * 0.1f - 0.05f);
        const f32 y = scale * (R() * 0.01f);
        const f32 z = scale * (R() * 0.1f - 0.05f);
        VisualBurst(point, Vec3(x, y, z), scale * (3.0f + R() * 7.0f));
    }
}

f32 DistanceToEye(const Vec3& p)
{
    const Vec3 d = p - WeaponCameraEye();
    return plat::Vec3Length(&d);
}

void ShakeCamera(f32 distance, f32 factor)
{
    i32* shake = CurrentWeaponWorld().cameraShake;
    if (!shake || !(distance <= 30.0f)) return;
    const f32 length = (30.0f - distance) * factor;
    if (static_cast<f32>(*shake) < length) *shake = static_cast<i32>(length);
}

void QueueMeshDraw(BB_Base* weapon)
{
    CList<LazerXDrawNode>* list = CurrentWeaponWorld().meshDraws;
    if (!list) return;
    if (LazerXDrawNode* node = list->NewNodeFront(1)) node->object = weapon;
}

// ---- the shared flight steps ----

void LZ_Bullet::DropGonePartners()
{
    if (ObjectGone(Owner)) Owner = nullptr;
    if (ObjectGone(Target)) Target = nullptr;
}

void LZ_Bullet::Advance()
{
    Mat4 t, out;
    plat::MatrixTranslation(&t, 0.0f, 0.0f, Speed);
    plat::MatrixMultiply(&out, &t, &Laser.World);
    Laser.World = out;
}

void LZ_Bullet::Home(bool giveUp)
{
    if (!Target || TurnRate == 0.0f) return;
    const Mat4* aim = Target->GetTargetMatrix();
    if (!aim) return;
    Vec3 d = AimPoint(*aim) - Position();
    plat::Vec3Normalize(&d, &d);
    Matrix m(Laser.World);
    m.MatrixTurnToDirectionLimited(d, TurnRate);
    Laser.World = m;
    const Vec3 f = Forward();
    if (giveUp && plat::Vec3Dot(&d, &f) < 0.0f) Target = nullptr;
}

void LZ_Bullet::ReportThreat()
{
    CRobot_Base* robot = AsRobot(Target);
    if (!robot) return;
    const Mat4* aim = Target->GetTargetMatrix();
    if (!aim) return;
    const Vec3 v = Position() - AimPoint(*aim);
    if (plat::Vec3Length(&v) < plat::Vec3Length(&robot->nearestThreat)) robot->nearestThreat = v;
}

void LZ_Bullet::AddLockAlert()
{
    CRobot_Base* robot = AsRobot(Target);
    if (!robot) return;
    if (LockAlertNode* node = robot->lockAlertList.NewNode(1)) {
        node->kind = 3;
        node->source = this;
        node->framesLeft = 1;
    }
}

void LZ_Bullet::FadeOut()
{
    Speed = 0.0f;
    HitMask = 0;
    if (Laser.Count > 0) Laser.RemovePoint();
}

// ---- bullet ----

i32 LZ_Bullet::Run()
{
    DropGonePartners();
    Advance();
    Home(true);
    ReportThreat();
    Life -= 1;
    if (Life > 0) {
        Laser.AddPoint(Position());
        AddLockAlert();
        return 0;
    }
    HitMask = 0;
    Life = 0;
    Width -= 0.01f;
    return Width < 0.01f ? 2 : 0;
}

i32 LZ_Bullet::GetDamageType() const { return 1; }

void LZ_Bullet::Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit)
{
    SetTrail(trail);
    SetHits(hit);
    Speed = flight.speed;
    TurnRate = flight.turnRate;
    Life = flight.life;
    HitMask = kHitRobots | kHitStage | kHitWeapons | kHitByWeapons;
}

void LZ_Bullet::SetEx(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit,
                      const WeaponBody& body)
{
    Set(trail, flight, hit);
    SetBody(*this, body);
}

i32 LZ_Bullet::OnHitRobot(const Vec3* point, LASERNODE*, BB_Base*)
{
    if (!point) return 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    {
        const f32 x = R() * 0.004f - 0.002f;
        const f32 y = R() * 0.004f - 0.002f;
        const f32 z = R() * 0.004f - 0.002f;
        const Vec3 v(x, y, z);
        if (auto* e = NewObject<BB_Explode>(w.effects, 2)) e->Set(point, 0.5f, &v, 1, w.Texture(2), 0xFFFFFFFFu);
    }
    for (i32 i = 0; i < 5; ++i) {
        const f32 x = R() * 0.2f - 0.1f;
        const f32 y = R() * 0.2f - 0.1f;
        const f32 z = R() * 0.2f - 0.1f;
        const Vec3 v(x, y, z);
        const f32 a = R() * 360.0f;
        const f32 s = R() * 1.25f + 0.25f;
        if (auto* e = NewObject<BB_EffectBeam>(w.effects, 1))
            e->Set(point, 0.025f, s, &v, 1, w.Texture(21), 0xFFFFFFFFu, a);
    }
    for (i32 i = 0; i < 3; ++i) {
        const f32 x = (R() * 0.6f - 0.3f) * 0.5f;
        const f32 y = (R() * 0.6f - 0.3f) * 0.5f;
        const f32 z = (R() * 0.6f - 0.3f) * 0.5f;
        const Vec3 v(x, y, z);
        if (auto* e = NewObject<BB_Tiri2>(w.effects, 1))
            e->Set(point, 0.015f, 0.015f, 0.3f, 0.0f, &v, 1, w.Texture(26), 0xFFFFFFFFu, 255);
    }
    PlayBattleSound(15, *point);
    Life = 0;
    return 0;
}

i32 LZ_Bullet::OnHitGuard(const Vec3* point, LASERNODE*, BB_Base*, const Mat4* guard)
{
    if (!point) return 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* e = NewObject<BB_ExplodeBeam>(w.effects, 1)) e->Set(point, 1.0f, 1, w.Texture(22), 0xFFFFFFFFu);
    const Mat4 base = guard ? *guard : Laser.World;
    for (i32 i = 0; i < 5; ++i) {
        const f32 k = static_cast<f32>(BattleDraw() % 360u);
        Mat4 ry, rx, t, m;
        plat::MatrixRotationY(&ry, k * kDegrees);
        plat::MatrixRotationX(&rx, 90.0f * kDegrees);
        plat::MatrixMultiply(&t, &ry, &rx);
        plat::MatrixMultiply(&m, &t, &base);
        const f32 width = R() * 0.04f + 0.01f;
        if (auto* spark = NewObject<LZ_LineEffect>(w.weapons, 1)) {
            spark->Set(&m, width, 20, 0.5f, 1, w.Texture(21), 0xFFFFFFFFu, 8);
            spark->TrailFlag = 0;
            spark->TrailFactor = 1.0f;
        }
    }
    if (WithinSoundRange(*point)) PlayBattleSound(7, Position());
    Life = 0;
    return 0;
}

i32 LZ_Bullet::OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3*)
{
    return OnHitRobot(point, segment, nullptr);
}

i32 LZ_Bullet::OnHitWeapon(const Vec3* contact) { return OnHitRobot(contact, nullptr, nullptr); }
i32 LZ_Bullet::OnHitByWeapon(const Vec3* contact) { return OnHitRobot(contact, nullptr, nullptr); }

// ---- missiles ----

i32 LZ_Missile::Run()
{
    DropGonePartners();
    Advance();
    Home(false);
    ReportThreat();
    Life -= 1;
    if (Life < 1) {
        FadeOut();
        return Laser.Count == 0 && Life < -19 ? 2 : 0;
    }
    Laser.AddPoint(Position());
    if (Life % 4 == 1) Burner(*this, 0.35f, 0.7f, 0.2f);
    QueueMeshDraw(this);
    AddLockAlert();
    return 0;
}

// Every kind of hit explodes the missile the same way.
i32 LZ_Missile::OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base*)
{
    return OnHitMap(point, segment, nullptr);
}
i32 LZ_Missile::OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base*, const Mat4*)
{
    return OnHitMap(point, segment, nullptr);
}
i32 LZ_Missile::OnHitWeapon(const Vec3* contact) { return OnHitMap(contact, nullptr, nullptr); }
i32 LZ_Missile::OnHitByWeapon(const Vec3* contact) { return OnHitMap(contact, nullptr, nullptr); }

i32 LZ_Missile::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point || Life <= 0) return 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* e = NewObject<BB_ExplodeMissile>(w.effects, 2)) e->Set(point, 4.0f, 1, w.Texture(3), 0xFFFFFFFFu, 0);
    PlayBattleSound(3, *point);
    Life = 0;
    return 0;
}

i32 LZ_Missile2::Run()
{
    DropGonePartners();
    Advance();
    Home(false);
    ReportThreat();
    Speed -= 0.002f;
    if (Speed < 0.04f) Speed = 0.04f;
    Life += 1;
    if (Life < 110) {
        Laser.AddPoint(Position());
        if (Life % 4 == 1) Burner(*this, 0.6f, 1.2f, 0.3f);
        QueueMeshDraw(this);
        AddLockAlert();
    } else if (Life <= 140) {
        QueueMeshDraw(this);
        AddLockAlert();
    } else if (Life <= 210) {
        if (Life % 2 == 0) {
            // Draw order yaw, pitch, speed, whether or not the warhead could be made.
            const f32 yaw = SpreadDegrees();
            const f32 pitch = SpreadDegrees();
            const Mat4 m = Turned(Laser.World, yaw, pitch);
            LZ_Missile* warhead = NewObject<LZ_Missile>(CurrentWeaponWorld().weapons, 1);
            const f32 speed = 0.5f + R() * 0.2f;
            if (warhead)
                warhead->SetEx({.start = &m, .width = 0.1f, .maxPoints = 20, .blendMode = 0,
                                .texture = CurrentWeaponWorld().Texture(6), .colour = 0x80FFFFFFu},
                               {.speed = speed, .turnRate = 0.3f, .life = 300},
                               {.owner = Owner, .target = Target, .damage = WarheadDamage, .downValue = DownValue,
                                .knockback = Knockback, .hitFlags = HitFlags, .rehitInterval = 10, .testSegments = 1,
                                .team = Team},
                               {.durability = 1, .mesh = WarheadMesh, .shaderMode = 0});
        }
        if (Laser.Count > 0) Laser.RemovePoint();
        AddLockAlert();
    } else {
        FadeOut();
        if (Laser.Count == 0 && Life >= 320) return 2;
    }
    return 0;
}

i32 LZ_Missile2::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point || Life >= 300) return 0;
    GroundBursts(*point, 5);
    PlayBattleSound(3, *point);
    Life = 300;
    return 0;
}

i32 LZ_Missile2::SetOption(MeshObject* warheadMesh, i32 warheadDamage)
{
    WarheadMesh = warheadMesh;
    WarheadDamage = warheadDamage;
    return 0;
}

i32 LZ_Missile3::SetOption(const Vec3* launchVelocity)
{
    if (launchVelocity) LaunchVelocity = *launchVelocity;
    return 0;
}

i32 LZ_Missile3::Run()
{
    ExplosionsThisFrame = 0;
    DropGonePartners();
    if (Life < 30) {
        Laser.World.m[3][0] += LaunchVelocity.x;
        Laser.World.m[3][1] += LaunchVelocity.y;
        Laser.World.m[3][2] += LaunchVelocity.z;
        LaunchVelocity.y -= 0.006f;
        if (Life == 29) PlayBattleSound(14, Position());
    } else {
        Advance();
        if (Life > 50) Home(false);
        Speed += 0.003f;
        if (Speed > 0.7f) Speed = 0.7f;
        Smoke(*this, 0.4f, 0xFFFEu);
    }
    ReportThreat();
    Life += 1;
    if (Life > Lifetime) {
        FadeOut();
        if (Laser.Count == 0 && Life >= Lifetime + 20) return 2;
        return 0;
    }
    Laser.AddPoint(Position());
    if (Life > 29 && Life % 4 == 1) Burner(*this, 0.6667f, 2.0f, 1.0f);
    QueueMeshDraw(this);
    AddLockAlert();
    return 0;
}

i32 LZ_Missile3::OnHitRobot(const Vec3* point, LASERNODE*, BB_Base*)
{
    if (!point || Life >= EndOfFlight()) return 0;
    Explode(point);
    Life = EndOfFlight();
    return 0;
}
i32 LZ_Missile3::OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4*)
{
    return LZ_Missile3::OnHitRobot(point, segment, robot);
}
i32 LZ_Missile3::OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3*)
{
    return LZ_Missile3::OnHitRobot(point, segment, nullptr);
}

// A missile with durability left explodes and flies on.
i32 LZ_Missile3::OnHitWeapon(const Vec3* contact)
{
    if (!contact || Life >= EndOfFlight()) return 0;
    Explode(contact);
    if (Durability < 1) Life = EndOfFlight();
    return 0;
}
i32 LZ_Missile3::OnHitByWeapon(const Vec3* contact) { return OnHitWeapon(contact); }

void LZ_Missile3::Explode(const Vec3* point)
{
    if (!MayExplode()) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    BlastBursts(*point, 2.0f);
    {
        const f32 x = R() * 0.1f - 0.05f;
        const f32 y = R() * 0.17f;
        const f32 z = R() * 0.1f - 0.05f;
        const Vec3 v(x, y, z);
        if (auto* blast = NewObject<BB_GrenadeExplode>(w.attackEffects, 3))
            blast->Set(point, 15.0f, &v, 0, w.Texture(3), 0xFFFFFFFFu, Owner,
                       {.hitRadius = Spare, .damage = Damage / 4, .downValue = 401, .knockback = 0.6f, .hitFlags = 16,
                        .team = Team});
    }
    DebrisAndBang(Position(), 5);
}

i32 LZ_Missile4::Run()
{
    ExplosionsThisFrame = 0;
    DropGonePartners();
    if (Life < 3) {
        Laser.World.m[3][0] += LaunchVelocity.x;
        Laser.World.m[3][1] += LaunchVelocity.y;
        Laser.World.m[3][2] += LaunchVelocity.z;
        if (Life == 2) PlayBattleSound(14, Position());
    } else {
        Advance();
        if (Life > 50) Home(false);
        Speed += 0.003f;
        if (Speed > 0.7f) Speed = 0.7f;
        Smoke(*this, 0.2f, 0xFFFCu);
    }
    ReportThreat();
    Life += 1;
    if (Life >= 501) {
        FadeOut();
        if (Laser.Count == 0 && Life > 519) return 2;
        return 0;
    }
    Laser.AddPoint(Position());
    if (Life > 2 && Life % 4 == 1) Burner(*this, 0.6667f, 1.0f, 0.5f);
    QueueMeshDraw(this);
    AddLockAlert();
    return 0;
}

// Every hit ends it, a weapon hit with durability left included.
void LZ_Missile4::Explode(const Vec3* point)
{
    Life = 500;
    if (!MayExplode()) return;
    BlastBursts(*point, 1.0f);
    DebrisAndBang(Position(), 3);
}

// ---- shells and fireballs ----

i32 LZ_Canon::Run()
{
    DropGonePartners();
    Advance();
    Home(true);
    ReportThreat();
    if (Life % 2 == 0) {
        const WeaponWorld& w = CurrentWeaponWorld();
        const Vec3 p = Position();
        const Vec3 drift = Forward() * 0.1f;
        if (auto* ring = NewObject<BB_WindRing3>(w.effects, 1))
            ring->SetEx(&p, 0.3f, &drift, 1, w.Texture(36), 0xFFFFFFFFu);
    }
    Life -= 1;
    if (Life < 1) {
        FadeOut();
        return Laser.Count == 0 ? 2 : 0;
    }
    Laser.AddPoint(Position());
    QueueMeshDraw(this);
    AddLockAlert();
    return 0;
}

i32 LZ_Canon::OnHitRobot(const Vec3* point, LASERNODE*, BB_Base*)
{
    if (!point) return 0;
    ShellBursts(*this, *point, 8, 3.0f, 7.0f, 0.05f, 0.95f, 1.0f);
    SoundAndShake(3, *point, DistanceToEye(Position()), 1.0f);
    Life = 0;
    return 0;
}
i32 LZ_Canon::OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base*, const Mat4*)
{
    return OnHitRobot(point, segment, nullptr);
}
i32 LZ_Canon::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point) return 0;
    GroundBursts(*point, 5);
    SoundAndShake(3, *point, DistanceToEye(*point), 1.0f);
    Life = 0;
    return 0;
}
// A shell with durability left bursts and flies on.
i32 LZ_Canon::OnHitWeapon(const Vec3* contact)
{
    if (!contact) return 0;
    GroundBursts(*contact, 5);
    const Vec3 own = Position();
    SoundAndShake(3, own, DistanceToEye(own), 1.0f);
    if (Durability < 1) Life = 0;
    return 0;
}
i32 LZ_Canon::OnHitByWeapon(const Vec3* contact) { return OnHitWeapon(contact); }

i32 LZ_Canon2::OnHitRobot(const Vec3* point, LASERNODE*, BB_Base*)
{
    if (!point) return 0;
    ShellBursts(*this, *point, 4, 0.5f, 2.5f, 0.01f, 0.19f, -1.0f);
    SoundAndShake(3, *point, DistanceToEye(Position()), 1.0f);
    return 0;
}
i32 LZ_Canon2::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point) return 0;
    ShellBursts(*this, *point, 4, 0.5f, 2.5f, 0.01f, 0.19f, -1.0f);
    SoundAndShake(3, *point, DistanceToEye(*point), 1.0f);
    return 0;
}
i32 LZ_Canon2::OnHitWeapon(const Vec3* contact)
{
    if (!contact) return 0;
    GroundBursts(*contact, 5);
    const Vec3 own = Position();
    SoundAndShake(3, own, DistanceToEye(own), 1.0f);
    return 0;
}

i32 LZ_FireBall::Run()
{
    DropGonePartners();
    Advance();
    Home(true);
    ReportThreat();
    {
        const WeaponWorld& w = CurrentWeaponWorld();
        const f32 x = R() * 0.04f - 0.02f;
        const f32 z = R() * 0.04f - 0.02f;
        const Vec3 v(x, 0.0f, z);
        const Vec3 p = Position();
        if (auto* flame = NewObjectLast<BB_Explode5>(w.effects, 2))
            flame->SetEx(&p, 0.7f, &v, 1, w.Texture(2), 0xFFFFFFFFu, 15, 1.0f, 0.99f, 10);
    }
    Life -= 1;
    if (Life < 1) {
        // A spent fireball flies on as a fading flame.
        HitMask = 0;
        if (Laser.Count > 0) Laser.RemovePoint();
        return Laser.Count == 0 ? 2 : 0;
    }
    Laser.AddPoint(Position());
    AddLockAlert();
    return 0;
}

i32 LZ_FireBall::HitTestObject(BB_Base*) { return 0; }
i32 LZ_FireBall::OnHitWeapon(const Vec3*) { return 0; }
i32 LZ_FireBall::OnHitByWeapon(const Vec3*) { return 0; }
