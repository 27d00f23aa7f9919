#include "weapon/ThrowWeapon.h"

#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/Bullet.h"
#include "weapon/Fannel.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }
void SetRow(Mat4& m, int r, const Vec3& v)
{
    m.m[r][0] = v.x;
    m.m[r][1] = v.y;
    m.m[r][2] = v.z;
}
f32 Unit() { return static_cast<f32>(BattleUnit()); }

CRobot_Base* AsUnit(BB_Base* object)
{
    if (!object) return nullptr;
    const i32 kind = object->GetKind();
    return kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip ? static_cast<CRobot_Base*>(object)
                                                                             : nullptr;
}

void Move(Matrix& flight, f32 speed)
{
    Mat4 t, out;
    plat::MatrixTranslation(&t, 0.0f, 0.0f, speed);
    plat::MatrixMultiply(&out, &t, &flight);
    flight = out;
}

// 20 degrees about the drawn part's own Z axis; its position stays.
void Spin(Mat4& m)
{
    Mat4 r, out;
    plat::MatrixRotationZ(&r, 20.0f * 0.017453f);
    plat::MatrixMultiply(&out, &r, &m);
    m = out;
}

// Weak homing on the way out; a target left behind is dropped for good.
void HomeOutbound(Matrix& flight, BB_Base*& target, f32 turnLimit)
{
    if (!target || turnLimit == 0.0f) return;
    const Mat4* aim = target->GetTargetMatrix();
    if (!aim) return;
    Vec3 d = Row(*aim, 3) - Row(flight, 3);
    plat::Vec3Normalize(&d, &d);
    flight.MatrixTurnToDirectionLimited(d, turnLimit);
    const Vec3 z = Row(flight, 2);
    if (plat::Vec3Dot(&d, &z) < 0.0f) target = nullptr;
}

void ReportThreat(BB_Base* target, const Vec3& position)
{
    CRobot_Base* unit = AsUnit(target);
    const Mat4* aim = target ? target->GetTargetMatrix() : nullptr;
    if (!unit || !aim) return;
    const Vec3 o = position - Row(*aim, 3);
    if (plat::Vec3Length(&unit->nearestThreat) > plat::Vec3Length(&o)) unit->nearestThreat = o;
}

void AlertTarget(BB_Base* target, BB_Base* source)
{
    CRobot_Base* unit = AsUnit(target);
    if (!unit || !unit->lockAlertList.GetHead()) return;
    if (LockAlertNode* alert = unit->lockAlertList.NewNode(1)) {
        alert->kind = 3;
        alert->source = source;
        alert->framesLeft = 1;
    }
}

}  // namespace

// ---- LZ_ShieldThrow ----------------------------------------------------------

i32 LZ_ShieldThrow::GetDamageType() const { return 1; }

void LZ_ShieldThrow::Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit)
{
    SetTrail(trail.start, trail.width, 3, trail.blendMode, nullptr, trail.colour);
    SpinMatrix = Laser.World;
    SetHits(hit);
    HitMask = kHitRobots | kHitStage | kHitWeapons;
    Speed = flight.speed;
    TurnLimit = flight.turnRate;
    OutboundFrames = flight.life;
}

void LZ_ShieldThrow::SetEx(HodNode* node, i32, i32, MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet)
{
    ShieldNode = node;
    SetModelNodeHidden(node, 1);
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    if (node) SpinMatrix = node->world;
    State = 0;
    ColourSet = colourSet;
}

void LZ_ShieldThrow::GiveBackNode()
{
    SetModelNodeHidden(ShieldNode, 0);
    ShieldNode = nullptr;
    ColourSet = nullptr;
}

i32 LZ_ShieldThrow::Run()
{
    if (Owner && ObjectGone(Owner)) {
        // The robot still exists this frame; later it may not.
        GiveBackNode();
        Owner = nullptr;
    }
    if (Target && ObjectGone(Target)) Target = nullptr;

    if (State == 0) {
        Move(Laser.World, Speed);
        HomeOutbound(Laser.World, Target, TurnLimit);
        SetRow(SpinMatrix, 3, Position());
        Spin(SpinMatrix);
        ReportThreat(Target, Position());
        AlertTarget(Target, this);
        if (--OutboundFrames > 0) {
            Laser.AddPoint(Position());
            QueueMeshDraw(this);
        } else {
            State = 1;
        }
        return 0;
    }
    if (State == 1) {
        if (!Owner || ++ReturnFrames > kMaxReturnFrames) {
            HitMask = 0;
            OutboundFrames = 0;
            GiveBackNode();
            return 2;
        }
        Move(Laser.World, Speed);
        if (const Mat4* aim = Owner->GetTargetMatrix()) {
            Vec3 d = Row(*aim, 3) - Position();
            if (plat::Vec3Length(&d) < 0.5f) {
                State = 2;
                DockProgress = 0.0f;
                DockStartMatrix = SpinMatrix;
            }
            plat::Vec3Normalize(&d, &d);
            Laser.World.MatrixTurnToDirection(d);
        }
        SetRow(SpinMatrix, 3, Position());
        Spin(SpinMatrix);
        Laser.AddPoint(Position());
        QueueMeshDraw(this);
        AlertTarget(Target, this);
        return 0;
    }
    if (State == 2) {
        HitMask = 0;
        if (!Owner) {
            OutboundFrames = 0;
            GiveBackNode();
            return 1;
        }
        const Mat4& home = ShieldNode ? ShieldNode->world : DockStartMatrix;
        Quat from, to, q;
        plat::QuaternionRotationMatrix(&from, &DockStartMatrix);
        plat::QuaternionRotationMatrix(&to, &home);
        plat::QuaternionSlerp(&q, &from, &to, DockProgress);
        const Vec3 p0 = Row(SpinMatrix, 3);
        const Vec3 p = p0 + (Row(home, 3) - p0) * DockProgress;
        plat::MatrixRotationQuaternion(&SpinMatrix, &q);
        SetRow(SpinMatrix, 3, p);
        Laser.AddPoint(Position());
        QueueMeshDraw(this);
        DockProgress += 0.05f;
        if (DockProgress > 1.0f) Owner = nullptr;
        return 0;
    }
    return 0;
}

void LZ_ShieldThrow::Burst(const Vec3& at, f32 a, f32 b, f32 c, const Vec3& soundAt)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* flash = NewObject<BB_ExplodeBeam>(w.effects, 1)) flash->Set(&at, 2.0f, 1, w.Texture(21), kWhite);
    for (int i = 0; i < 40; ++i) {
        const f32 x = Unit() * 0.4f - 0.2f;
        const f32 y = Unit() * 0.4f - 0.2f;
        const f32 z = Unit() * 0.4f - 0.2f;
        const Vec3 v(x, y, z);
        // The streak draws its own roll angle, so the length comes first.
        const f32 length = Unit() * 2.5f + 0.5f;
        if (auto* streak = NewObject<BB_EffectBeam>(w.effects, 1))
            streak->Set(&at, 0.05f, length, &v, 1, w.Texture(26), kWhite, 360.0f);
        else
            BattleDraw();
    }
    for (int i = 0; i < 20; ++i) {
        const f32 x = (Unit() * 0.6f - 0.3f) * 0.6f;
        const f32 y = (Unit() * 0.6f - 0.3f) * 0.6f;
        const f32 z = (Unit() * 0.6f - 0.3f) * 0.6f;
        const Vec3 v(x, y, z);
        if (auto* spark = NewObject<BB_Tiri2>(w.effects, 1))
            spark->Set(&at, a, b, c, 0.0f, &v, 1, w.Texture(26), kWhite, 255);
    }
    BladeHitSound(at, soundAt);
}

i32 LZ_ShieldThrow::OnHitRobot(const Vec3* point, LASERNODE*, BB_Base*)
{
    if (point) Burst(*point, 0.01f, 0.01f, 0.1f, *point);
    return 0;
}

i32 LZ_ShieldThrow::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point) return 0;
    // A way back that runs through the stage would burst on every frame.
    if (State != 1 || ReturnBursts++ < kMaxReturnBursts) Burst(*point, 0.015f, 0.015f, 0.3f, Position());
    State = 1;
    return 0;
}

i32 LZ_ShieldThrow::OnHitGuard(const Vec3* point, LASERNODE*, BB_Base*, const Mat4* guard)
{
    if (!point) return 0;
    Mat4 g;
    if (guard)
        g = *guard;
    else
        SetRow(g, 3, *point);
    BladeGuardEffects(*point, g, Position());
    State = 1;
    return 0;
}

i32 LZ_ShieldThrow::DrawXFile() { return DrawWeaponMeshAt(*this, SpinMatrix, ColourSet, false); }
i32 LZ_ShieldThrow::DrawXFileHDR() { return DrawWeaponMeshAt(*this, SpinMatrix, nullptr, true); }

// ---- LZ_SwordThrow -----------------------------------------------------------

void LZ_SwordThrow::Set(const WeaponTrail& trail, const WeaponFlight& flight, const WeaponHit& hit)
{
    SetTrail(trail);
    BladeMatrix = Laser.World;
    SetHits(hit);
    HitMask = kHitRobots | kHitStage | kHitWeapons;
    StuckRobot = nullptr;
    Speed = flight.speed;
    TurnLimit = flight.turnRate;
    StateCounter = flight.life;
    State = 0;
}

void LZ_SwordThrow::SetEx(HodNode* node, i32, i32, MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet)
{
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    if (node) BladeMatrix = node->world;
    State = 0;
    ColourSet = colourSet;
}

i32 LZ_SwordThrow::Run()
{
    CheckOwner();
    if (State == 0) {
        Move(Laser.World, Speed);
        HomeOutbound(Laser.World, Target, TurnLimit);
        SetRow(BladeMatrix, 3, Position());
        Spin(BladeMatrix);
        ReportThreat(Target, Position());
        AlertTarget(Target, this);
        if (--StateCounter < 1) {
            HitMask = 0;
            StateCounter = 0;
            return 1;
        }
        Laser.AddPoint(Position());
        QueueMeshDraw(this);
        WindRing(true, false);
        return 0;
    }
    const i32 r = RunStuckOrBreaking();
    return r < 0 ? 0 : r;
}
