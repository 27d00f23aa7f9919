#include "weapon/Fannel.h"

#include "engine/graphics/MeshObject.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "weapon/Beam.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/Flash.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr f32 kHoverDistance = 10.0f;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }
void SetRow(Mat4& m, int r, const Vec3& v)
{
    m.m[r][0] = v.x;
    m.m[r][1] = v.y;
    m.m[r][2] = v.z;
}

CRobot_Base* AsUnit(BB_Base* object)
{
    if (!object) return nullptr;
    const i32 kind = object->GetKind();
    return kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip ? static_cast<CRobot_Base*>(object)
                                                                             : nullptr;
}

// A hop 0.4 along the drone's own right, up, left or down axis.
constexpr f32 kHops[4][2] = {{0.4f, 0.0f}, {0.0f, 0.4f}, {-0.4f, 0.0f}, {0.0f, -0.4f}};

}  // namespace

void SetModelNodeHidden(HodNode* node, u8 hidden)
{
    if (!node) return;
    node->hidden = hidden;
    for (HodNode* child : node->children) SetModelNodeHidden(child, hidden);
}

i32 DrawWeaponMeshAt(LZ_Basic& weapon, const Mat4& matrix, const RobotColorData* colours, bool glow)
{
    if (!weapon.Mesh) return 0;
    MeshObject* mesh = weapon.Mesh;
    // A colour set built for fewer materials than the mesh has would be read
    // past its end: such a mesh keeps its own colours.
    const bool swap = colours && colours->materials && colours->materialCount >= mesh->materialCount;
    plat::GfxMaterial* own = mesh->materials;
    if (swap) mesh->materials = colours->materials;
    const Matrix world = weapon.Laser.World;
    weapon.Laser.World = matrix;
    if (glow)
        weapon.LZ_Basic::DrawXFileHDR();
    else
        weapon.LZ_Basic::DrawXFile();
    weapon.Laser.World = world;
    mesh->materials = own;
    return 0;
}

i32 LZ_Fannel::GetDamageType() const { return 1; }

void LZ_Fannel::Set(const WeaponTrail& trail, f32 speed, f32 turnLimit, BB_Base* owner, BB_Base* target, i32 team,
                    const WeaponBody& body)
{
    SetTrail(trail);
    CruiseSpeed = speed;
    TurnLimit = turnLimit;
    SetHits({.owner = owner, .target = target, .testSegments = 1, .team = team});
    SetBody(*this, body);
    HitMask = kHitStage | kHitByWeapons;
    Age = 0;
    StateTimer = 0;
    State = -1;
    LaunchDistance = 0.05f;
    DockBlend = 0.0f;
    FollowPosition = Vec3();
}

void LZ_Fannel::SetEx(HodNode* bayNode, i32 shots, i32 firstDelay, i8 weaponKind, RobotColorData* colourSet)
{
    BayNode = bayNode;
    BayMatrix = bayNode ? &bayNode->world : nullptr;
    LaunchMatrix = BayMatrix ? *BayMatrix : Mat4();
    ShotsLeft = shots;
    FireCountdown = firstDelay;
    WeaponKind = weaponKind;
    ColourSet = colourSet;
    SetModelNodeHidden(bayNode, 1);
}

void LZ_Fannel::ReleaseOwner()
{
    SetModelNodeHidden(BayNode, 0);
    BayNode = nullptr;
    BayMatrix = nullptr;
    ColourSet = nullptr;
    Owner = nullptr;
    Age = kRetireAge;
}

void LZ_Fannel::ForwardMove()
{
    Mat4 t, out;
    plat::MatrixTranslation(&t, 0.0f, 0.0f, CruiseSpeed);
    plat::MatrixMultiply(&out, &t, &Laser.World);
    Laser.World = out;
}

void LZ_Fannel::Launch(const Mat4& bay)
{
    Mat4 t, out;
    plat::MatrixTranslation(&t, 0.0f, 0.0f, LaunchDistance);
    plat::MatrixMultiply(&out, &t, &bay);
    Laser.World = out;
    ++StateTimer;
    LaunchDistance = static_cast<f32>(LaunchDistance + 0.05 / (StateTimer * 0.3));
}

i32 LZ_Fannel::Run()
{
    if (Owner && ObjectGone(Owner)) ReleaseOwner();
    if (Target) {
        Mat4* aim = Target->GetTargetMatrix();
        if (!aim) {
            State = 12;
            Target = nullptr;
        }
    }
    if (Target) {
        const Vec3 a = Row(*Target->GetTargetMatrix(), 3);
        if (CRobot_Base* unit = AsUnit(Target)) {
            const Vec3 v = Position() - a;
            if (plat::Vec3Length(&v) < plat::Vec3Length(&unit->nearestThreat)) unit->nearestThreat = v;
            if (unit->lockAlertList.GetHead())
                if (LockAlertNode* alert = unit->lockAlertList.NewNode(1)) {
                    alert->kind = 4;
                    alert->source = this;
                    alert->framesLeft = 1;
                }
        }
        Vec3 dir = a - Position();
        const f32 dist = plat::Vec3Length(&dir);
        plat::Vec3Normalize(&dir, &dir);
        --FireCountdown;
        if (ObjectGone(Target)) {
            State = 12;
            Target = nullptr;
            return 0;
        }
        StepWithTarget(a, dir, dist);
    } else if (Owner) {
        if (Mat4* own = Owner->GetTargetMatrix())
            StepWithoutTarget(Row(*own, 3));
        else
            ReleaseOwner();
    }

    ++Age;
    if (Age <= kRetireAge) {
        Laser.AddPoint(Position());
        if (Age % 4 == 1) {
            const WeaponWorld& w = CurrentWeaponWorld();
            const Vec3 p = Position();
            if (auto* flame = NewObject<BB_Burner>(w.effects, 1))
                flame->Set(&p, 0.35f, 0.7f, 1, w.Texture(8), 0x80FFFFFFu, this, &Laser.World, 0);
            const Vec3 still;
            if (auto* glow = NewObject<BB_BurnerBall>(w.effects, 1))
                glow->Set(&p, 0.2f, &still, 1, w.Texture(9), kWhite, this, &Laser.World, 4);
        }
        QueueMeshDraw(this);
        return 0;
    }
    HitMask = 0;
    if (Age == kRetireAge + 1) SetModelNodeHidden(BayNode, 0);
    if (Laser.Count > 0)
        Laser.RemovePoint();
    else if (Age >= kRetireAge + 20)
        return 2;
    return 0;
}

void LZ_Fannel::StepWithTarget(const Vec3& aim, const Vec3& dir, f32 dist)
{
    switch (State) {
    case -1:
        Launch(LaunchMatrix);
        if (StateTimer >= 30) {
            State = 0;
            StateTimer = 0;
        }
        break;
    case 0:
        ForwardMove();
        Laser.World.MatrixTurnToDirectionLimited(dir, TurnLimit);
        if (dist < kHoverDistance) {
            FollowPosition = aim;
            State = 1;
            StateTimer = 0;
        }
        if (FireCountdown < 1) {
            State = 10;
            StateTimer = 0;
        }
        break;
    case 1: {
        const Vec3 delta = aim - FollowPosition;
        Laser.World.MatrixTurnToDirectionLimited(dir, TurnLimit);
        AddMatrixTranslation(&Laser.World, &delta);
        if (dist < kHoverDistance) {
            const Vec3 back = -dir * (kHoverDistance - dist);
            AddMatrixTranslation(&Laser.World, &back);
        }
        FollowPosition = aim;
        if (BattleDraw() % 30 == 0) {
            State = 2 + static_cast<i32>(BattleDraw() % 4);
            StateTimer = 0;
        }
        if (FireCountdown < 1) {
            State = 10;
            StateTimer = 0;
        }
        break;
    }
    case 2:
    case 3:
    case 4:
    case 5: {
        Mat4 t, out;
        plat::MatrixTranslation(&t, kHops[State - 2][0], kHops[State - 2][1], 0.0f);
        plat::MatrixMultiply(&out, &t, &Laser.World);
        Laser.World = out;
        if (Laser.World.m[3][1] <= aim.y) Laser.World.m[3][1] = aim.y;
        if (++StateTimer >= 20) {
            State = 0;
            StateTimer = 0;
        }
        break;
    }
    case 10:
        Fire(dir);
        break;
    default:
        break;
    }
}

void LZ_Fannel::StepWithoutTarget(const Vec3& owner)
{
    switch (State) {
    case -1:
        Launch(Bay());
        if (StateTimer >= 30) {
            StateTimer = 0;
            FollowPosition = owner;
            State = 0;
        }
        break;
    case 0: {
        const Vec3 delta = owner - FollowPosition;
        AddMatrixTranslation(&Laser.World, &delta);
        FollowPosition = owner;
        if (CRobot_Base* unit = AsUnit(Owner); unit && unit->lockTarget) {
            Target = unit->lockTarget;
            State = 0;
            StateTimer = 0;
            Age = 0;
        }
        if (++StateTimer >= 300) {
            State = 13;
            DockBlend = 0.0f;
            DockStartMatrix = Laser.World;
            StateTimer = 0;
        }
        break;
    }
    case 11:
        if (++StateTimer >= 120) State = 12;
        break;
    case 12: {
        const Vec3 q = Row(Bay(), 3) + Row(Bay(), 2) * 1.0f;
        Vec3 v = q - Position();
        const f32 d = plat::Vec3Length(&v);
        plat::Vec3Normalize(&v, &v);
        ForwardMove();
        if (d > 5.0f)
            Laser.World.MatrixTurnToDirectionLimited(v, 10.0f);
        else
            Laser.World.MatrixTurnToDirection(v);
        if (d < 2.0f) {
            StateTimer = 0;
            CruiseSpeed = 0.1f;
            DockBlend = 0.0f;
            DockStartMatrix = Laser.World;
            State = 13;
        }
        break;
    }
    case 13: {
        Quat from, to, q;
        plat::QuaternionRotationMatrix(&from, &DockStartMatrix);
        plat::QuaternionRotationMatrix(&to, &Bay());
        plat::QuaternionSlerp(&q, &from, &to, DockBlend);
        const Vec3 p = Position() + (Row(Bay(), 3) - Position()) * DockBlend;
        Mat4 m;
        plat::MatrixRotationQuaternion(&m, &q);
        SetRow(m, 3, p);
        Laser.World = m;
        DockBlend += 0.02f;
        if (++StateTimer >= 50) {
            State = 14;
            Age = kRetireAge;
            Target = nullptr;
        }
        break;
    }
    default:
        break;
    }
}

void LZ_Fannel::Fire(const Vec3& dir)
{
    Laser.World.MatrixTurnToDirection(dir);
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 p = Position();
    if (WeaponKind == 0) {
        if (auto* beam = NewObject<LZ_Beam>(w.weapons, 1))
            beam->Set({.start = &Laser.World, .width = 0.15f, .maxPoints = 30, .blendMode = 1, .texture = w.Texture(0),
                       .colour = kWhite},
                      {.speed = 0.7f, .turnRate = 0.0f, .life = 300},
                      {.owner = Owner, .target = nullptr, .damage = 40, .downValue = 40, .knockback = 0.02f,
                       .hitFlags = 2, .rehitInterval = 10, .testSegments = 1, .team = Team},
                      0);
    } else if (WeaponKind == 1) {
        Matrix m = Laser.World;
        if (const Mat4* aim = Target ? Target->GetTargetMatrix() : nullptr)
            m.MatrixLookAtPoint(Row(*aim, 3), Vec3(0, 1, 0));
        if (auto* laser = NewObject<LZ_HiLaser2>(w.weapons, 1)) {
            laser->SetEx({.start = &m, .width = 0.28f, .maxPoints = 200, .blendMode = 1, .texture = w.Texture(29),
                          .colour = kWhite},
                         {.speed = 0.8f, .turnRate = 0.0f, .life = 60},
                         {.owner = Owner, .target = Target, .damage = 5, .downValue = 11, .knockback = 0.0f,
                          .hitFlags = 2, .rehitInterval = 5, .testSegments = 200, .team = Team},
                         0, nullptr, 0);
            laser->TrailFlag = 0;
            laser->TrailFactor = 2.0f;
        }
    }
    if (WeaponKind == 0 || WeaponKind == 1)
        if (auto* flash = NewObject<BB_ExplodeBeam>(w.effects, 1)) flash->Set(&p, 1.5f, 1, w.Texture(10), kWhite);
    PlayBattleSound(0, p);
    if (ShotsLeft < 1) {
        State = 11;
        Target = nullptr;
    } else {
        State = 2 + static_cast<i32>(BattleDraw() % 4);
        StateTimer = 0;
        FireCountdown = 60;
        --ShotsLeft;
        Age = 0;
    }
}

i32 LZ_Fannel::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!Target || !point) return 0;
    const Vec3 p = *point - Row(Laser.World, 2) * 1.0f;
    SetRow(Laser.World, 3, p);
    State = 2 + static_cast<i32>(BattleDraw() % 4);
    StateTimer = 0;
    return 0;
}

i32 LZ_Fannel::OnHitByWeapon(const Vec3* contact)
{
    if (Durability > 0 || !contact) return 0;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* blast = NewObject<BB_ExplodeMissile>(w.effects, 2)) blast->Set(contact, 4.0f, 1, w.Texture(2), kWhite, 0);
    PlayBattleSound(3, *contact);
    Age = kRetireAge;
    return 0;
}

i32 LZ_Fannel::DrawXFile() { return DrawWeaponMeshAt(*this, Laser.World, ColourSet, false); }
