#include "weapon/Sword.h"

#include <algorithm>

#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/Bullet.h"
#include "weapon/Fannel.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Smoke.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/SwordEffect.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr i32 kBladeTexture = 21;
constexpr i32 kGuardTexture = 22;
constexpr i32 kSparkTexture = 26;
constexpr i32 kLightTexture = 32;
constexpr i32 kHitSound = 7;
constexpr i32 kShotButton = 2;  // input byte of the shot button

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }
void SetRow(Mat4& m, int r, const Vec3& v)
{
    m.m[r][0] = v.x;
    m.m[r][1] = v.y;
    m.m[r][2] = v.z;
}
f32 Unit() { return static_cast<f32>(BattleUnit()); }
f32 Uniform(f32 a, f32 b) { return a + Unit() * (b - a); }

// Back out of the hit inside a cone around -Z: a, b, then the speed.
Vec3 SparkDirection(const Mat4& blade, f32 slow, f32 fast)
{
    const f32 a = Uniform(-0.3f, 0.3f);
    const f32 b = Uniform(-0.3f, 0.3f);
    const f32 s = Uniform(slow, fast);
    Vec3 d = -Row(blade, 2) + Row(blade, 0) * a + Row(blade, 1) * b;
    plat::Vec3Normalize(&d, &d);
    return d * s;
}

Mat4 Times(const Mat4& a, const Mat4& b)
{
    Mat4 out;
    plat::MatrixMultiply(&out, &a, &b);
    return out;
}

Mat4 RotationX(f32 degrees)
{
    Mat4 m;
    plat::MatrixRotationX(&m, degrees * 0.017453f);
    return m;
}
Mat4 RotationY(f32 degrees)
{
    Mat4 m;
    plat::MatrixRotationY(&m, degrees * 0.017453f);
    return m;
}
Mat4 RotationZ(f32 degrees)
{
    Mat4 m;
    plat::MatrixRotationZ(&m, degrees * 0.017453f);
    return m;
}
Mat4 Translation(f32 x, f32 y, f32 z)
{
    Mat4 m;
    plat::MatrixTranslation(&m, x, y, z);
    return m;
}

CRobot_Base* AsUnit(BB_Base* object)
{
    if (!object) return nullptr;
    const i32 kind = object->GetKind();
    return kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip ? static_cast<CRobot_Base*>(object)
                                                                             : nullptr;
}

}  // namespace

void BladeHitSound(const Vec3& at, const Vec3& soundAt)
{
    if (WithinSoundRange(at)) PlayBattleSound(kHitSound, soundAt);
}

void BladeSparkBurst(const Vec3& at, const Mat4& blade)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    for (int i = 0; i < 20; ++i) {
        const Vec3 d = SparkDirection(blade, 0.05f, 0.2f);
        // The streak draws its own roll angle, so the length comes first.
        const f32 length = Uniform(0.2f, 1.0f);
        if (auto* streak = NewObject<BB_EffectBeam>(w.effects, 1))
            streak->Set(&at, 0.02f, length, &d, 1, w.Texture(kSparkTexture), kWhite, 360.0f);
        else
            BattleDraw();
    }
    for (int i = 0; i < 20; ++i) {
        const Vec3 d = SparkDirection(blade, 0.03f, 0.1f);
        if (auto* spark = NewObject<BB_Tiri2>(w.effects, 1))
            spark->Set(&at, 0.015f, 0.015f, 0.3f, 0.0f, &d, 1, w.Texture(kSparkTexture), kWhite, 255);
    }
}

void BladeGuardEffects(const Vec3& at, const Mat4& guard, const Vec3& soundAt)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* flash = NewObject<BB_ExplodeBeam>(w.effects, 1)) flash->Set(&at, 1.0f, 1, w.Texture(kGuardTexture), kWhite);
    for (int i = 0; i < 5; ++i) {
        const f32 k = static_cast<f32>(BattleDraw() % 360);
        const Mat4 m = Times(Times(RotationY(k), RotationX(90.0f)), guard);
        const f32 width = Uniform(0.01f, 0.05f);
        if (auto* streak = NewObject<LZ_LineEffect>(w.weapons, 1)) {
            streak->Set(&m, width, 20, 0.5f, 1, w.Texture(kBladeTexture), kWhite, 8);
            streak->TrailFlag = 0;
            streak->TrailFactor = 1.0f;
        }
    }
    BladeHitSound(at, soundAt);
}

// ---- LZ_Sword ----------------------------------------------------------------

i32 LZ_Sword::GetDamageType() const { return 1; }

void LZ_Sword::Set(const Mat4* start, plat::GfxTexture* texture, const WeaponHit& hit)
{
    const Mat4 spawn = start ? *start : Mat4();
    Laser.MaxPoints = 2;
    Laser.Texture = texture;
    Laser.World = spawn;
    BladeMatrix = spawn;
    SpawnPosition = Row(spawn, 3);
    const f32 ax = Unit() * 360.0f;
    const f32 ay = Unit() * 360.0f;
    SpinMatrix = Times(Times(Translation(0.0f, 0.0f, -1.8f), RotationX(ax)), RotationY(ay));
    Colour = kWhite;
    BlendMode = 2;
    SetHits(hit);
    HitMask = 0;
    StateCounter = 0;
    LaunchDelay = static_cast<i32>(BattleDraw() % 21) + 90;
    SpinX = Uniform(-10.0f, 10.0f);
    SpinY = Uniform(-10.0f, 10.0f);
    State = 0;
}

void LZ_Sword::SetEx(MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet)
{
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    ColourSet = colourSet;
}

void LZ_Sword::CheckOwner()
{
    if (Owner && ObjectGone(Owner)) {
        Owner = nullptr;
        // The colours were the owner's: it may be deleted soon.
        ColourSet = nullptr;
        State = 999;
    }
    if (Target && ObjectGone(Target)) Target = nullptr;
}

void LZ_Sword::WindRing(bool follow, bool behind)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    const f32 b = Uniform(0.02f, 0.1f);
    const f32 a = Unit() * 0.2f;
    const Vec3 p = BladePosition();
    BB_WindRing* ring = behind ? NewObjectAfter<BB_WindRing>(w.weapons, this) : NewObject<BB_WindRing>(w.effects, 1);
    if (!ring) return;
    ring->Set(&p, a, 1, w.Texture(kLightTexture), kWhite, b, -12);
    if (follow) {
        ring->Followed = this;
        ring->FollowedMatrix = &BladeMatrix;
    }
}

i32 LZ_Sword::RunStuckOrBreaking()
{
    switch (State) {
    case 3:
        HitMask = 0;
        if (++StateCounter > GroundFrames()) State = 999;
        QueueMeshDraw(this);
        return 0;
    case 4: {
        HitMask = 0;
        if (!StuckRobot) return 1;
        if (const Mat4* aim = StuckRobot->GetTargetMatrix()) BladeMatrix = Times(RelativeMatrix, *aim);
        if (ObjectGone(StuckRobot)) StuckRobot = nullptr;
        if (++StateCounter > RobotFrames()) State = 999;
        QueueMeshDraw(this);
        return 0;
    }
    case 999: {
        HitMask = 0;
        const WeaponWorld& w = CurrentWeaponWorld();
        const Vec3 axis = Row(BladeMatrix, 2);
        for (int i = 0; i < 10; ++i) {
            const f32 x = Unit() * 0.02f - 0.01f;
            const f32 y = Unit() * 0.02f - 0.01f;
            const f32 z = Unit() * 0.02f - 0.01f;
            const Vec3 v(x, y, z);
            const Vec3 p = BladePosition() + axis * (static_cast<f32>(i - 10) * 0.2f);
            if (auto* puff = NewObject<BB_MSmoke>(w.effects, 1))
                puff->Set(&p, 0.5f, &v, 1, w.Texture(kLightTexture), kWhite, static_cast<u16>(-4));
        }
        return 1;
    }
    default:
        return -1;
    }
}

i32 LZ_Sword::Run()
{
    CheckOwner();
    if (State == 0) {
        SpinMatrix = Times(Times(SpinMatrix, RotationX(SpinX)), RotationY(SpinY));
        SpinX *= 0.96f;
        SpinY *= 0.96f;
        BladeMatrix = SpinMatrix;
        AddMatrixTranslation(&BladeMatrix, &SpawnPosition);
        if (++StateCounter > LaunchDelay) {
            State = 5;
            StateCounter = 0;
            Laser.AddPoint(BladePosition());
        }
        QueueMeshDraw(this);
        WindRing(false, false);
        return 0;
    }
    if (State == 5) {
        BladeMatrix = Times(Translation(0.0f, 0.0f, 0.25f), BladeMatrix);
        Laser.World = BladeMatrix;
        Laser.AddPoint(Position());
        QueueMeshDraw(this);
        if (StateCounter == 2) HitMask = kHitRobots | kHitStage;
        // A blade sent into open sky would fly and shed rings for ever.
        if (++StateCounter > kMaxFlightFrames) {
            HitMask = 0;
            return 1;
        }
        WindRing(false, false);
        return 0;
    }
    const i32 r = RunStuckOrBreaking();
    return r < 0 ? 0 : r;
}

i32 LZ_Sword::OnHitRobot(const Vec3* point, LASERNODE*, BB_Base* robot)
{
    if (!point) return 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Mat4* aim = robot ? robot->GetTargetMatrix() : nullptr;
    if (robot) {
        const Vec3 z = Row(BladeMatrix, 2);
        if (auto* flash = NewObject<BB_SwordEffect3>(w.effects, 1)) flash->Set(robot, aim, &z, 4, HitStrength(), 0);
    }
    BladeSparkBurst(*point, BladeMatrix);
    BladeHitSound(*point, *point);
    const Vec3 toEye = *point - w.Eye();
    const f32 d = plat::Vec3Length(&toEye);
    if (robot && aim) {
        Mat4 inverse;
        if (plat::MatrixInverse(&inverse, nullptr, aim)) {
            StuckRobot = robot;
            RelativeMatrix = Times(BladeMatrix, inverse);
            State = 4;
            StateCounter = 0;
        }
    }
    if (ShakesOnHit() && w.cameraShake && d <= 20.0f && static_cast<f32>(*w.cameraShake) < 20.0f - d)
        *w.cameraShake = static_cast<i32>(20.0f - d);
    return 0;
}

i32 LZ_Sword::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point) return 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* flash = NewObject<BB_ExplodeBeam>(w.effects, 1)) flash->Set(point, 1.0f, 1, w.Texture(kBladeTexture), kWhite);
    BladeSparkBurst(*point, BladeMatrix);
    BladeHitSound(*point, Position());
    SetRow(BladeMatrix, 3, *point);
    State = 3;
    StateCounter = 0;
    return 0;
}

i32 LZ_Sword::OnHitGuard(const Vec3* point, LASERNODE*, BB_Base*, const Mat4* guard)
{
    if (!point) return 0;
    const Mat4 g = guard ? *guard : Translation(point->x, point->y, point->z);
    BladeGuardEffects(*point, g, Position());
    SetRow(BladeMatrix, 3, *point);
    State = 999;
    return 0;
}

i32 LZ_Sword::DrawXFile() { return DrawWeaponMeshAt(*this, BladeMatrix, ColourSet, false); }

i32 LZ_Sword::DrawXFileHDR()
{
    if (ShaderMode == 1) return DrawWeaponMeshAt(*this, BladeMatrix, ColourSet, false);
    return DrawWeaponMeshAt(*this, BladeMatrix, nullptr, true);
}

// ---- LZ_Sword2 ---------------------------------------------------------------

void LZ_Sword2::Set(const Mat4* start, plat::GfxTexture* texture, const WeaponHit& hit)
{
    const Mat4 spawn = start ? *start : Mat4();
    Laser.MaxPoints = 2;
    Laser.Texture = texture;
    Laser.World = spawn;
    SetRow(BladeMatrix, 3, Row(spawn, 3));
    BladeMatrix = Times(RotationX(-90.0f), BladeMatrix);
    // Drawn as the launched sword draws its spin and delay, so both kinds
    // take the same share of the battle sequence.
    Unit();
    Unit();
    BattleDraw();
    Colour = kWhite;
    BlendMode = 2;
    SetHits(hit);
    HitMask = 0;
    StateCounter = 0;
    Speed = 0.0f;
    TurnLimit = 0.0f;
    SpinZ = 3.0f + 2.0f * Unit();
    State = 0;
}

i32 LZ_Sword2::Run()
{
    CheckOwner();
    if (State == 0) {
        if (!Owner) return 0;
        if (StateCounter % 200 == 0) {
            const f32 x = Uniform(-1.5f, 1.5f);
            const f32 y = Uniform(0.0f, 0.5f);
            const f32 z = Uniform(-1.5f, 1.5f);
            Offset = Vec3(x, y, z);
            if (plat::Vec3Length(&Offset) < 1.0f) plat::Vec3Normalize(&Offset, &Offset);
        }
        const Mat4* aim = Owner->GetTargetMatrix();
        const Vec3 h = aim ? Row(*aim, 3) + Offset : Vec3();
        Vec3 v = h - Position();
        const f32 length = plat::Vec3Length(&v);
        plat::Vec3Normalize(&v, &v);
        v *= length / 10.0f;
        AddMatrixTranslation(&Laser.World, &v);
        SetRow(BladeMatrix, 3, Position());
        BladeMatrix = Times(RotationZ(SpinZ), BladeMatrix);
        if (++StateCounter > 3600) State = 999;
        QueueMeshDraw(this);
        if (StateCounter % 4 == 0) WindRing(true, true);
        if (Owner->GetKind() == kKindRobot && static_cast<CRobot_Normal*>(Owner)->Pressed(kShotButton)) {
            const auto* robot = static_cast<CRobot_Normal*>(Owner);
            Target = robot->target ? robot->target : robot->lockTarget;
            State = 1;
            StateCounter = 300;
            HitMask = kHitRobots | kHitStage;
            Speed = Uniform(-0.1f, 0.1f);
            TurnLimit = 3.0f;
        }
        return 0;
    }
    if (State == 1) {
        Laser.World = Times(Translation(0.0f, 0.0f, Speed), Laser.World);
        Speed = std::min(Speed + 0.005f, 0.8f);
        TurnLimit = std::max(TurnLimit - 0.02f, 0.5f);
        const Mat4* aim = Target ? Target->GetTargetMatrix() : nullptr;
        if (aim && TurnLimit != 0.0f) {
            Vec3 a = Row(*aim, 3) - Position();
            if (StateCounter % 20 == 0) {
                const f32 scale = plat::Vec3Length(&a) * 0.02f;
                const f32 x = 2.0f * Unit() - 1.0f;
                const f32 y = 2.0f * Unit() - 1.0f;
                const f32 z = 2.0f * Unit() - 1.0f;
                Offset = Vec3(x, y, z) * scale;
            }
            a += Offset;
            plat::Vec3Normalize(&a, &a);
            Laser.World.MatrixTurnToDirectionLimited(a, TurnLimit);
        }
        BladeMatrix = Laser.World;
        if (CRobot_Base* unit = AsUnit(Target)) {
            if (aim) {
                const Vec3 r = Position() - Row(*aim, 3);
                if (plat::Vec3Length(&r) < plat::Vec3Length(&unit->nearestThreat)) unit->nearestThreat = r;
            }
            if (unit->lockAlertList.GetHead())
                if (LockAlertNode* alert = unit->lockAlertList.NewNode(1)) {
                    alert->kind = 3;
                    alert->source = this;
                    alert->framesLeft = 1;
                }
        }
        if (--StateCounter <= 0) {
            HitMask = 0;
            StateCounter = 0;
            return 1;
        }
        Laser.AddPoint(Position());
        QueueMeshDraw(this);
        if (StateCounter % 2 == 0) WindRing(true, true);
        return 0;
    }
    const i32 r = RunStuckOrBreaking();
    return r < 0 ? 0 : r;
}
