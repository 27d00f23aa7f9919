#include "weapon/Cristal.h"

#include <algorithm>

#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/Beam.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Smoke.h"
#include "weapon/effects/Spark.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr i32 kSpawnEntries = 20;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }
f32 Unit() { return static_cast<f32>(BattleUnit()); }

// What a shooter's roll in orbit is taken modulo; the roll succeeds at or
// below FireChance.
u32 RollRange(CrystalColour c)
{
    switch (c) {
    case kCrystalRed: return 1000;
    case kCrystalBlue: return 500;
    case kCrystalGreen: return 800;
    default: return 300;
    }
}

bool Succeeds(u32 roll, i32 chance) { return static_cast<i64>(roll) <= chance; }

}  // namespace

CrystalKind CrystalKindForRoll(u32 roll)
{
    roll %= 100;
    if (roll < 50) return {kCrystalRed, 150, 3000};
    if (roll < 85) return {kCrystalBlue, 200, 3000};
    if (roll < 95) return {kCrystalGreen, 250, 3000};
    if (roll < 98) return {kCrystalGold, 500, 3000};
    if (roll == 98) return {kCrystalSilver, 1000, 4000};
    return {kCrystalHeal, 1000, 4000};
}

LZ_Cristal* MakeCrystal(const CrystalKind& kind, const Mat4* start, BB_Base* owner, BB_Base* target, i32 team,
                        MeshObject* mesh, u8 shaderMode, MeshObject* const* spawnMeshes,
                        const u8* spawnShaderModes, i32 spawnCount)
{
    CList<BB_Base>* list = CurrentWeaponWorld().weapons;
    LZ_Cristal* crystal = nullptr;
    LZ_Cristal_Silver* silver = nullptr;
    switch (kind.colour) {
    case kCrystalRed: crystal = NewObject<LZ_Cristal_Red>(list, 1); break;
    case kCrystalBlue: crystal = NewObject<LZ_Cristal_Blue>(list, 1); break;
    case kCrystalGreen: crystal = NewObject<LZ_Cristal_Green>(list, 1); break;
    case kCrystalGold: crystal = NewObject<LZ_Cristal_Gold>(list, 1); break;
    case kCrystalSilver: crystal = silver = NewObject<LZ_Cristal_Silver>(list, 1); break;
    default: crystal = NewObject<LZ_Cristal_Heal>(list, 1); break;
    }
    if (!crystal) return nullptr;
    crystal->Set(start, 1, kWhite, owner, target, team, kind.durability, mesh, shaderMode, kind.life, 0);
    if (silver) {
        const i32 n = std::min(spawnCount, kSpawnEntries);
        for (i32 i = 0; i < n; ++i) {
            silver->SpawnMeshes[i] = spawnMeshes ? spawnMeshes[i] : nullptr;
            silver->SpawnShaderModes[i] = spawnShaderModes ? spawnShaderModes[i] : 0;
        }
    }
    return crystal;
}

i32 LZ_Cristal::Draw() { return 0; }
i32 LZ_Cristal::GetDamageType() const { return 1; }

void LZ_Cristal::Set(const Mat4* start, i32 blendMode, u32 colour, BB_Base* owner, BB_Base* target, i32 team,
                     i16 durability, MeshObject* mesh, u8 shaderMode, i32 life, i32 fireChance)
{
    SetTrail(start, 0.05f, 3, blendMode, nullptr, colour);
    SetHits({.owner = owner, .target = target, .testSegments = 1, .team = team});
    Durability = durability;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    Life = life;
    FireChance = fireChance;
    HitMask = kHitStage | kHitByWeapons;
    Age = 0;
    CrystalState = 0;
    StateTimer = 0;
    Velocity = Vec3();
    OrbitOffset = Vec3();
}

BB_Base* LZ_Cristal::OwnerLockTarget() const
{
    if (!Owner || !IsUnitKind(Owner->GetKind())) return nullptr;
    return static_cast<CRobot_Base*>(Owner)->lockTarget;
}

bool LZ_Cristal::OwnerMayAct() const
{
    if (!Owner || Owner->GetKind() != kKindRobot) return true;
    const i32 s = static_cast<const CRobot_Normal*>(Owner)->situation;
    if (s == kSituationNeutral || s == kSituationFiring) return true;
    return BattleDraw() % 10 == 0;
}

i32 LZ_Cristal::RunAs(CrystalColour colour)
{
    Mat4 spin, out;
    plat::MatrixRotationY(&spin, 0.034906f);
    plat::MatrixMultiply(&out, &spin, &Laser.World);
    Laser.World = out;

    if (Owner && ObjectGone(Owner)) {
        Owner = nullptr;
        Age = Life;
    }
    if (Target) {
        if (const Mat4* aim = Target->GetTargetMatrix(); aim && IsUnitKind(Target->GetKind())) {
            auto* unit = static_cast<CRobot_Base*>(Target);
            const Vec3 v = Position() - Row(*aim, 3);
            if (plat::Vec3Length(&v) < plat::Vec3Length(&unit->nearestThreat)) unit->nearestThreat = v;
        }
        if (ObjectGone(Target)) {
            Target = nullptr;
            CrystalState = 0;
            StateTimer = 0;
        }
    }

    switch (CrystalState) {
    case 0: Orbit(colour); break;
    case 1: Approach(colour); break;
    case 2: Act(colour); break;
    default: break;
    }

    ++Age;
    if (Age <= Life) {
        Laser.AddPoint(Position());
        if (Age % 6 == 0) {
            const f32 x = Unit() * 0.02f - 0.01f;
            const f32 y = Unit() * 0.02f - 0.01f;
            const f32 z = Unit() * 0.02f - 0.01f;
            const Vec3 v(x, y, z);
            const Vec3 p = Position();
            const WeaponWorld& w = CurrentWeaponWorld();
            if (auto* glitter = NewObject<BB_MSmoke>(w.effects, 1))
                glitter->Set(&p, 0.01f, &v, 1, w.Texture(32), kWhite, static_cast<u16>(-4));
        }
        QueueMeshDraw(this);
        return 0;
    }
    HitMask = 0;
    const bool shooter = colour == kCrystalRed || colour == kCrystalBlue || colour == kCrystalGreen;
    if (Laser.Count > 0)
        Laser.RemovePoint();
    else if (Age >= (shooter ? Life + 20 : Life))
        return 2;
    return 0;
}

void LZ_Cristal::Orbit(CrystalColour colour)
{
    if (!Owner) return;
    if (Age % 100 == 0) {
        const f32 x = Unit() * 3.0f - 1.5f;
        const f32 y = Unit() * 1.0f;
        const f32 z = Unit() * 3.0f - 1.5f;
        OrbitOffset = Vec3(x, y, z);
    }
    const Mat4* aim = Owner->GetTargetMatrix();
    const Vec3 q = (aim ? Row(*aim, 3) : Vec3()) + OrbitOffset;
    Vec3 to = q - Position();
    const f32 d = plat::Vec3Length(&to);
    const f32 s = std::clamp(d / 2.0f - 1.0f, -0.2f, 0.2f);
    plat::Vec3Normalize(&to, &to);
    Velocity = to * s;
    Decide(colour);
    AddMatrixTranslation(&Laser.World, &Velocity);
    Benefit(colour);
}

void LZ_Cristal::Decide(CrystalColour colour)
{
    switch (colour) {
    case kCrystalRed:
    case kCrystalBlue:
    case kCrystalGreen: {
        BB_Base* lock = OwnerLockTarget();
        if (Succeeds(BattleDraw() % RollRange(colour), FireChance) && lock) {
            if (OwnerMayAct()) {
                Target = lock;
                CrystalState = 1;
            }
        } else if (colour == kCrystalRed) {
            // Red alone has a second chance: firing from where it floats.
            if (Succeeds(BattleDraw() % 1000, FireChance) && lock && OwnerMayAct()) {
                Target = lock;
                CrystalState = 2;
                StateTimer = 0;
            }
        }
        break;
    }
    case kCrystalSilver:
        if (Succeeds(BattleDraw() % RollRange(colour), FireChance)) {
            Target = OwnerLockTarget();
            CrystalState = 2;
            StateTimer = 0;
        }
        break;
    default:
        break;
    }
}

void LZ_Cristal::Benefit(CrystalColour colour)
{
    if (colour != kCrystalGold && colour != kCrystalHeal) return;
    if (colour == kCrystalGold && Age % 60 == 0 && Owner && Owner->GetKind() == kKindRobot) {
        auto* robot = static_cast<CRobot_Normal*>(Owner);
        robot->AddEnergy(30.0f);
        robot->AddBoostGauge(50);
    }
    if (colour == kCrystalHeal && Age % 15 == 0)
        if (auto* robot = dynamic_cast<CRobot_Normal*>(Owner); robot && robot->hp > 0 && robot->hp < robot->hpMax)
            ++robot->hp;
    if (Age % 60 == 0) {
        const WeaponWorld& w = CurrentWeaponWorld();
        const Vec3 p = Position();
        if (auto* ring = NewObject<BB_Circle>(w.effects, 3)) ring->Set(&p, 0.0f, 1, w.Texture(34), kWhite, 3, 0.02f, this);
    }
}

void LZ_Cristal::Approach(CrystalColour colour)
{
    if (!Target) return;
    const Mat4* aim = Target->GetTargetMatrix();
    if (aim) {
        Vec3 p = Row(*aim, 3);
        if (colour == kCrystalBlue) p.y += 8.0f;
        Vec3 to = p - Position();
        const f32 d = plat::Vec3Length(&to);
        plat::Vec3Normalize(&to, &to);
        Velocity = to * 0.2f;
        const f32 range = colour == kCrystalGreen ? 40.0f : 7.0f;
        if (d < range) {
            CrystalState = 2;
            StateTimer = 0;
        }
        AddMatrixTranslation(&Laser.World, &Velocity);
    }
    if (Owner && Owner->GetKind() == kKindRobot) {
        const i32 s = static_cast<CRobot_Normal*>(Owner)->situation;
        if (s == kSituationHit || s == kSituationDown) {
            CrystalState = 0;
            StateTimer = 0;
        }
    }
    if (Target && IsUnitKind(Target->GetKind())) {
        auto* unit = static_cast<CRobot_Base*>(Target);
        if (unit->lockAlertList.GetHead())
            if (LockAlertNode* alert = unit->lockAlertList.NewNode(1)) {
                alert->kind = 4;
                alert->source = this;
                alert->framesLeft = 1;
            }
    }
}

void LZ_Cristal::Act(CrystalColour colour)
{
    if (StateTimer == 0) {
        const bool shooter = colour == kCrystalRed || colour == kCrystalBlue || colour == kCrystalGreen;
        if (shooter && Target)
            Shoot(colour);
        else if (colour == kCrystalSilver && Owner)
            SpawnChild();
    }
    if (++StateTimer > 59) {
        CrystalState = 0;
        StateTimer = 0;
    }
}

void LZ_Cristal::Shoot(CrystalColour colour)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    Matrix m = Laser.World;
    if (const Mat4* aim = Target->GetTargetMatrix()) m.MatrixLookAtPoint(Row(*aim, 3), Vec3(0, 1, 0));
    // The red and the blue beam hit alike and fly straight for 300 frames.
    const WeaponHit beamHit{.owner = Owner, .target = nullptr, .damage = 25, .downValue = 40, .knockback = 0.02f,
                            .hitFlags = 2, .rehitInterval = 10, .testSegments = 1, .team = Team};
    if (colour == kCrystalRed) {
        if (auto* beam = NewObject<LZ_Beam>(w.weapons, 1))
            beam->Set({.start = &m, .width = 0.15f, .maxPoints = 30, .blendMode = 1, .texture = w.Texture(0),
                       .colour = kWhite},
                      {.speed = 0.75f, .turnRate = 0.0f, .life = 300}, beamHit, 0);
    } else if (colour == kCrystalBlue) {
        if (auto* beam = NewObject<LZ_ThunderBeam>(w.weapons, 1)) {
            beam->Set({.start = &m, .width = 0.3f, .maxPoints = 30, .blendMode = 1, .texture = w.Texture(4),
                       .colour = kWhite},
                      {.speed = 1.0f, .turnRate = 0.0f, .life = 300}, beamHit, 0);
            beam->TrailFlag = 0;
            beam->TrailFactor = 1.0f;
        }
    } else if (auto* laser = NewObject<LZ_HiLaser2>(w.weapons, 1)) {
        laser->SetEx({.start = &m, .width = 0.28f, .maxPoints = 200, .blendMode = 1, .texture = w.Texture(29),
                      .colour = kWhite},
                     {.speed = 1.5f, .turnRate = 0.0f, .life = 40},
                     {.owner = Owner, .target = Target, .damage = 5, .downValue = 41, .knockback = 0.0f, .hitFlags = 3,
                      .rehitInterval = 5, .testSegments = 200, .team = Team},
                     0, nullptr, 0);
        laser->TrailFlag = 0;
        laser->TrailFactor = 2.0f;
    }
    const Vec3 p = Position();
    if (auto* flash = NewObject<BB_ExplodeBeam>(w.effects, 1)) flash->Set(&p, 1.5f, 1, w.Texture(10), kWhite);
    PlayBattleSound(0, p);
}

void LZ_Cristal::SpawnChild()
{
    auto* self = static_cast<LZ_Cristal_Silver*>(this);
    Mat4 m;
    plat::MatrixTranslation(&m, Position().x, Position().y, Position().z);
    const CrystalKind kind = CrystalKindForRoll(BattleDraw());
    // The child inherits the whole table, so Silver and Heal children of a
    // Silver crystal are drawn too.
    MakeCrystal(kind, &m, Owner, OwnerLockTarget(), Team, self->SpawnMeshes[kind.colour],
                self->SpawnShaderModes[kind.colour], &self->SpawnMeshes[0], &self->SpawnShaderModes[0], kSpawnEntries);
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 p = Position();
    if (auto* ring = NewObject<BB_Circle>(w.effects, 3)) ring->Set(&p, 0.0f, 1, w.Texture(34), kWhite, 3, 0.05f, this);
}

i32 LZ_Cristal::OnHitByWeapon(const Vec3* contact)
{
    if (!contact) return 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (Durability < 0) {
        HitMask = 0;
        if (auto* blast = NewObject<BB_ExplodeMissile>(w.effects, 2))
            blast->Set(contact, 4.0f, 1, w.Texture(2), kWhite, 0);
        PlayBattleSound(3, *contact);
        // Shot down means retiring now, whatever the colour's life.
        Age = Life;
        return 0;
    }
    for (int i = 0; i < 5; ++i) {
        const f32 x = (Unit() * 0.6f - 0.3f) * 0.5f;
        const f32 y = (Unit() * 0.6f - 0.3f) * 0.6f;
        const f32 z = (Unit() * 0.6f - 0.3f) * 0.5f;
        const Vec3 v(x, y, z);
        if (auto* spark = NewObject<BB_Tiri2>(w.effects, 1))
            spark->Set(contact, 0.015f, 0.015f, 0.3f, 0.0f, &v, 1, w.Texture(26), kWhite, 255);
    }
    return 0;
}

i32 LZ_Cristal::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!Target || !point) return 0;
    Laser.World.m[3][0] = point->x;
    Laser.World.m[3][1] = point->y;
    Laser.World.m[3][2] = point->z;
    CrystalState = 0;
    return 0;
}

void PassCrystalsToTeammates(CRobot_Normal& robot, CRobot_Base* const* table, i32 count, CList<BB_Base>* weapons)
{
    i32 candidates[10];
    i32 found = 0;
    for (i32 i = 0; i < count && i < 10; ++i) {
        const CRobot_Base* r = table[i];
        if (r && r != &robot && r->team == robot.team && r->state == kRobotStateLive) candidates[found++] = i;
    }
    if (found == 0 || !weapons || !weapons->GetHead()) return;
    for (BB_Base* o = weapons->GetHead()->next; o && o != weapons->GetTail(); o = o->next) {
        auto* crystal = dynamic_cast<LZ_Cristal*>(o);
        if (!crystal || crystal->Owner != &robot) continue;
        crystal->Owner = table[candidates[BattleDraw() % static_cast<u32>(found)]];
    }
}

LZ_Cristal_Silver::LZ_Cristal_Silver()
{
    SpawnMeshes.Create(kSpawnEntries);
    for (i32 i = 0; i < kSpawnEntries; ++i) SpawnMeshes[i] = nullptr;
    SpawnShaderModes.Create(kSpawnEntries);
    SpawnShaderModes.Fill(0);
}

LZ_Cristal_Silver::~LZ_Cristal_Silver()
{
    SpawnShaderModes.Release();
    SpawnMeshes.Release();
}
