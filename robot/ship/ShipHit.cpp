// The battleship as a solid body: weapons, damaging billboards and blades
// against its hit mesh, robots riding and repaired on its deck, ships pushing
// each other apart, and the stage pushing it out.
#include <cfloat>

#include "battle/GameScene.h"
#include "battle/stage/MapCollision.h"
#include "engine/core/Queue.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/MeshObject.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/ship/Ship.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Spark.h"

namespace {

constexpr u32 kFlagHitWithoutDamage = 0x01;
constexpr u32 kFlagHitsOwner = 0x04;
constexpr i32 kChargeGaugeMax = 10000;
constexpr i32 kBeamHitTexture = 10;
constexpr i32 kSparkTexture = 26;
constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr f32 kDegrees = 0.017453f;

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

Vec3 Unit(const Vec3& v)
{
    Vec3 n;
    plat::Vec3Normalize(&n, &v);
    return n;
}

i32 Saturate(i64 v) { return v > 2147483647 ? 2147483647 : (v < -2147483647 - 1 ? -2147483647 - 1 : i32(v)); }

f32 DrawIn(f32 lo, f32 hi) { return lo + static_cast<f32>(BattleUnit()) * (hi - lo); }

CRobot_Base* AsUnit(BB_Base* o)
{
    if (!o) return nullptr;
    const i32 k = o->GetKind();
    return k == kKindRobotBase || k == kKindRobot || k == kKindShip ? static_cast<CRobot_Base*>(o) : nullptr;
}

}  // namespace

bool CShip::TakeHit(i32 enemyLoss, i32 friendlyLoss, i32 otherTeam, BB_Base* owner, i32 scoreGain, i32 chargeGain)
{
    CRobot_Base* o = AsUnit(owner);
    if (otherTeam == team) {
        hp = Saturate(static_cast<i64>(hp) - friendlyLoss);
    } else {
        hp = Saturate(static_cast<i64>(hp) - enemyLoss);
        if (o) {
            o->score = Saturate(static_cast<i64>(o->score) + scoreGain);
            if (o->GetKind() == kKindRobot) {
                auto* r = static_cast<CRobot_Normal*>(o);
                const i64 g = static_cast<i64>(r->chargeGauge) + chargeGain;
                r->chargeGauge = g > kChargeGaugeMax ? kChargeGaugeMax : Saturate(g);
            }
        }
    }
    if (hp >= 1) return false;
    if (o) {
        o->score = Saturate(static_cast<i64>(o->score) + (modelData ? modelData->score : 0));
        ++o->kills;
    }
    hp = 0;
    Defeat();
    return true;
}

i32 CShip::HitTestPass()
{
    const WeaponWorld& world = CurrentWeaponWorld();
    if (CList<BB_Base>* units = world.robots; units && units->GetHead())
        for (BB_Base* n = units->GetHead()->next; n && n != units->GetTail(); n = n->next)
            if (!n->Removed) n->HitTestObject(this);
    if (!world.map) return 0;
    const Vec3 b = BodyPosition();
    Vec3 push;
    if (!CollideSphereWithMap(*world.map, b.x, b.y, b.z, hitRadius, nullptr, nullptr, &push)) return 0;
    AddMatrixTranslation(&worldMatrix, &push);
    // Resting on the ground, stopped and holding down: slow repairs.
    if (frameCounter % 3 == 0 && speed < 0.001f && speed > -0.001f && input.direction == 2) {
        if (hp < hpMax) ++hp;
        energy = energy + 5 > energyMax ? energyMax : (energy + 5 < 0 ? 0 : energy + 5);
    }
    return 0;
}

i32 CShip::HitTestObject(BB_Base* other)
{
    if (!other || other == this) return 0;
    switch (other->GetKind()) {
    case kKindWeapon:
        if (state == kRobotStateLive) HitByWeapon(static_cast<LZ_Standard*>(other));
        break;
    case kKindBillboard:
        if (state == kRobotStateLive)
            if (auto* b = dynamic_cast<BB_AtkStandard*>(other)) HitByBillboard(b);
        break;
    case kKindSwordBeam:
        if (state == kRobotStateLive)
            if (auto* blade = dynamic_cast<BB_SwordBeamAtk*>(other)) HitByBlade(blade);
        break;
    case kKindRobot:
        if (state == kRobotStateLive || state == kRobotStateDestroyed) CarryRobot(static_cast<CRobot_Normal*>(other));
        break;
    case kKindShip:
        PushShip(static_cast<CShip*>(other));
        break;
    default:
        break;
    }
    return 0;
}

void CShip::HitByWeapon(LZ_Standard* w)
{
    if (w->HasHit(this) || (w->Owner == this && !(w->HitFlags & kFlagHitsOwner))) return;
    if (w->Laser.Count < 2 || !frameBody || !hitMesh) return;
    Mat4 inverse;
    if (!plat::MatrixInverse(&inverse, nullptr, &frameBody->world)) return;
    const Vec3 body = BodyPosition();
    const i32 limit = w->SegmentsToTest();
    i32 tested = 0;
    for (LASERNODE* a = w->Laser.Newest(); a && tested < limit; a = w->Laser.Older(a)) {
        LASERNODE* b = w->Laser.Older(a);
        if (!b) break;
        ++tested;
        const Vec3 span = a->Position - b->Position;
        const f32 length = Vec3Length(span);
        if (length <= 0.0f) continue;
        const Vec3 n = span / length;
        const Vec3 mid = b->Position + span / 2.0f;
        if (!(Vec3Length(body - mid) <= length / 2.0f + cullRadius)) continue;
        Vec3 o, u;
        plat::Vec3TransformCoord(&o, &b->Position, &inverse);
        plat::Vec3TransformNormal(&u, &n, &inverse);
        f32 t = FLT_MAX;
        u32 face = 0;
        if (!hitMesh->IntersectRay(&o, &u, &t, &face) || !(t < length)) continue;
        MarkWeaponPassChanged();
        // A sunk ship takes no more from the rest of the trail.
        if (state == kRobotStateLive && (w->Damage > 0 || (w->HitFlags & kFlagHitWithoutDamage))) {
            w->RecordHit(this);
            TakeHit(w->Damage, static_cast<i32>(static_cast<f32>(w->Damage) * 0.4f), w->Team, w->Owner, w->Damage,
                    w->Damage / 2);
        }
        const Vec3 contact = a->Position - n * (length - t + 0.1f);
        Vec3 normal(0.0f, 1.0f, 0.0f);
        if (hitMesh->triangles && face < hitMesh->faceCount) {
            Vec3 turned;
            plat::Vec3TransformNormal(&turned, &hitMesh->triangles[face].normal, &frameBody->world);
            normal = Unit(turned);
        }
        w->OnHitMap(&contact, a, &normal);
    }
}

void CShip::HitByBillboard(BB_AtkStandard* b)
{
    if (b->HasHit(this)) return;
    const Vec3 centre = b->Position();
    const Vec3 d = BodyPosition() - centre;
    const f32 distance = Vec3Length(d);
    if (!(distance <= hitRadius + b->HitRadius)) return;
    MarkWeaponPassChanged();
    if (b->Damage > 0) {
        b->RecordHit(this);
        TakeHit(b->Damage, static_cast<i32>(static_cast<f32>(b->Damage) * 0.4f), b->Team, b->HitOwner(), b->Damage,
                b->Damage);
    }
    const Vec3 contact = centre + Unit(d) * (distance / 2.0f);
    b->OnHitRobot(&contact, this);
}

void CShip::HitByBlade(BB_SwordBeamAtk* blade)
{
    if (blade->Owner == this || blade->HasHit(this) || !frameBody || !hitMesh) return;
    const Vec3 q0 = Row(blade->World, 3);
    const Vec3 q2 = Row(blade->PrevWorld, 3);
    const Vec3 quad[4] = {q0, q0 + Row(blade->World, 2) * blade->Length, q2,
                          q2 + Row(blade->PrevWorld, 2) * blade->Length};
    Vec3 h;
    if (!HitTestQuadAgainstMesh(quad, hitMesh, &frameBody->world, &h)) return;
    MarkWeaponPassChanged();
    blade->RecordHit(this);
    const WeaponWorld& world = CurrentWeaponWorld();
    if (blade->Owner && blade->Owner->GetKind() == kKindRobot) {
        auto* o = static_cast<CRobot_Normal*>(blade->Owner);
        o->hitStop = static_cast<i32>(blade->Value);
        ++o->comboCount;
        o->comboTimer = 10;
        PlayBattleSound(kSoundBeamHit2, h);
        const i32 a = o->scriptContext.attackPower;
        TakeHit(Saturate(3LL * a), static_cast<i32>(static_cast<f32>(3LL * a) * 0.2f), o->team, o,
                static_cast<i32>(static_cast<f32>(a) * 0.5f), a / 2);
        // Sparks fly out round the owner's facing: a yaw draw, then a width draw each.
        Vec3 z = Unit(o->facing);
        if (Vec3Length(z) == 0.0f) z = Vec3(0.0f, 0.0f, 1.0f);
        Vec3 x = Vec3Cross(Vec3(0.0f, 1.0f, 0.0f), z);
        x = Vec3Length(x) == 0.0f ? Vec3(1.0f, 0.0f, 0.0f) : Unit(x);
        const Vec3 y = Vec3Cross(z, x);
        Mat4 look;
        look.m[0][0] = x.x, look.m[0][1] = x.y, look.m[0][2] = x.z;
        look.m[1][0] = y.x, look.m[1][1] = y.y, look.m[1][2] = y.z;
        look.m[2][0] = z.x, look.m[2][1] = z.y, look.m[2][2] = z.z;
        look.m[3][0] = h.x, look.m[3][1] = h.y, look.m[3][2] = h.z;
        for (i32 i = 0; i < 20; ++i) {
            Mat4 yaw, tip, turned, m;
            plat::MatrixRotationY(&yaw, static_cast<f32>(BattleDraw() % 360u) * kDegrees);
            plat::MatrixRotationX(&tip, 90.0f * kDegrees);
            plat::MatrixMultiply(&turned, &yaw, &tip);
            plat::MatrixMultiply(&m, &turned, &look);
            const f32 width = 0.01f + DrawIn(0.0f, 0.02f);
            if (auto* line = NewObject<LZ_LineEffect2>(world.weapons, 1)) {
                line->Set(&m, width, 10, 0.5f, 1, world.Texture(kSparkTexture), kWhite, 8);
                line->TrailFlag = 0;
                line->TrailFactor = 1.0f;
            }
        }
    }
    if (auto* flash = NewObject<BB_ExplodeBeam>(world.effects, 1))
        flash->Set(&h, 2.0f, 1, world.Texture(kBeamHitTexture), kWhite);
    for (i32 i = 0; i < 40; ++i) {
        Vec3 v;
        v.x = DrawIn(-0.3f, 0.3f);
        v.y = DrawIn(-0.3f, 0.3f);
        v.z = DrawIn(-0.3f, 0.3f);
        if (auto* spark = NewObject<BB_Tiri2>(world.effects, 1))
            spark->Set(&h, 0.01f, 0.01f, 0.1f, 0.0f, &v, 1, world.Texture(kSparkTexture), kWhite, 255);
    }
}

void CShip::CarryRobot(CRobot_Normal* r)
{
    if (!frameBody || !hitMesh) return;
    const Vec3 centre = BodyPosition() + hitMesh->sphereCentre;
    const Vec3 o = Row(r->worldMatrix, 3) + Vec3(0.0f, 1.0f, 0.0f);
    bool contact = false;
    if (Vec3Length(o - centre) <= hitMesh->sphereRadius + 3.0f) {
        const Vec3 down(0.0f, -1.0f, 0.0f);
        f32 t = FLT_MAX;
        if (!hitMesh->IntersectRayWorld(&o, &down, &t, nullptr, &frameBody->world)) t = FLT_MAX;
        if (t - 1.0f < r->groundDistance) {
            r->groundDistance = t - 1.0f;
            // The deck point under the robot where the ship held it last frame,
            // and where the ship holds it now: the robot moves with it.
            const Vec3 under = o + down * t;
            Mat4 inverse;
            if (r->actionVars[0] != 1 && plat::MatrixInverse(&inverse, nullptr, &prevWorldMatrix)) {
                Vec3 local, before, after;
                plat::Vec3TransformCoord(&local, &under, &inverse);
                plat::Vec3TransformCoord(&before, &local, &prevWorldMatrix);
                plat::Vec3TransformCoord(&after, &local, &worldMatrix);
                const Vec3 ride = after - before;
                AddMatrixTranslation(&r->worldMatrix, &ride);
            }
            contact = true;
        }
    }
    if (r->frameBodyD) {
        Vec3 p = Row(r->frameBodyD->world, 3);
        if (Vec3Length(p - centre) <= r->bodyRadius + hitMesh->sphereRadius) {
            CQueue<FaceQ> faces;
            f32 depth = 0.0f;
            Vec3 dir;
            Vec3 probe = p;
            if (hitMesh->CollideSphereWorld(&probe, r->bodyRadius, &depth, &dir, &faces, &frameBody->world)) {
                const Vec3 out = dir * depth;
                AddMatrixTranslation(&r->worldMatrix, &out);
                p += out;
                contact = true;
            }
            if (faces.GetCount() > 0) {
                probe = p;
                if (hitMesh->CollideSphere2World(&probe, r->bodyRadius, &depth, &dir, &faces, &frameBody->world)) {
                    const Vec3 out = dir * depth;
                    AddMatrixTranslation(&r->worldMatrix, &out);
                    contact = true;
                }
            }
        }
    }
    if (!contact || r->team != team || r->state != kRobotStateLive) return;
    if (r->situation == kSituationNeutral && frameCounter % 6 == 0 && r->hp < r->hpMax) ++r->hp;
    r->AddBoostGauge(5);
    r->AddEnergy(1.0f);
}

void CShip::PushShip(CShip* other)
{
    if (other->state != kRobotStateLive) return;
    const Mat4* t = other->GetTargetMatrix();
    if (!t) return;
    const Vec3 d = Row(*t, 3) - BodyPosition();
    const f32 distance = Vec3Length(d);
    const f32 reach = hitRadius + other->hitRadius;
    if (!(distance < reach) || distance <= 0.0f) return;
    const Vec3 half = d * ((reach - distance) / 2.0f / distance);
    const Vec3 back = half * -1.0f;
    AddMatrixTranslation(&other->worldMatrix, &half);
    AddMatrixTranslation(&worldMatrix, &back);
}
