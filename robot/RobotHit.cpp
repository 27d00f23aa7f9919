// The robot's collision side: pushes between robots, the stage under and
// around it, and what damaging billboards, weapon trails and blades do to it.
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "app/core/Application.h"
#include "app/player/GameItem.h"
#include "battle/stage/MapCollision.h"
#include "engine/core/MTRand.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/MeshObject.h"
#include "engine/model/HodModel.h"
#include "platform/core/TextCodec.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/LineEffect.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Flash.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/SwordEffect.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr i32 kFlagHitWithoutDamage = 0x01;
constexpr i32 kFlagReflectable = 0x02;
constexpr i32 kFlagHitsOwner = 0x04;
constexpr i32 kFlagHeavy = 0x08;
constexpr i32 kFlagUnguardable = 0x10;
constexpr i32 kFlagRelease = 0x20;
constexpr i32 kFlagNoReaction = 0x40;
constexpr i32 kChargeGaugeMax = 10000;
constexpr i32 kKillLineBytes = 256;
constexpr i32 kGuardFlashTexture = 34;
constexpr i32 kGuardSparkTexture = 26;
constexpr i32 kGuardSound = 12;
constexpr i32 kGuardedBladeRehit = 10;

f32 Unit() { return static_cast<f32>(BattleUnit()); }

Vec3 Translation(const Mat4& m) { return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]); }
Vec3 AxisZ(const Mat4& m) { return Vec3(m.m[2][0], m.m[2][1], m.m[2][2]); }

Vec3 Normal(const Vec3& v)
{
    Vec3 n;
    plat::Vec3Normalize(&n, &v);
    return n;
}

// Float to int32 toward zero; out-of-range products stop at the limits and a
// NaN counts as nothing, so no hit can overflow.
i32 TruncToI32(f64 v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<i32>(v);
}

i32 AddClamped(i32 value, i64 amount, i32 lo, i32 hi)
{
    const i64 sum = static_cast<i64>(value) + amount;
    return sum > hi ? hi : (sum < lo ? lo : static_cast<i32>(sum));
}

i32 SaturatedI32(i64 v) { return v > 2147483647 ? 2147483647 : (v < -2147483647 - 1 ? -2147483647 - 1 : i32(v)); }

void SetImpactByFlags(i32& impactKind, u32 flags)
{
    if (flags & kFlagHeavy) impactKind = 3;
    else if (flags & kFlagHitWithoutDamage) impactKind = 2;
    else if (!(flags & kFlagNoReaction)) impactKind = 1;
}

// The pushed robot's side of a push, read once for a whole pass over the
// robots: a push moves only the robots' root matrices, never what this reads.
struct PushSide {
    CRobot_Normal* robot;
    Vec3 body;
    bool pushable;
};

PushSide SideOf(CRobot_Normal& robot)
{
    const bool pushable = !robot.heldBy && robot.state == kRobotStateLive && robot.frameBodyD;
    return {&robot, pushable ? Translation(robot.frameBodyD->world) : Vec3(), pushable};
}

// A robot's answer to another robot: the two bodies, where they overlap, are
// pushed apart on the ground plane, half the overlap each.
[[gnu::always_inline]] inline void PushApart(CRobot_Normal& self, const PushSide& other)
{
    // Where GetTargetMatrix points: the body frame.
    if (!other.pushable || self.heldBy || &self == other.robot || self.state != kRobotStateLive || !self.frameBodyD)
        return;
    const Vec3 d = other.body - Translation(self.frameBodyD->world);
    const f32 rs = other.robot->bodyRadius + self.bodyRadius;
    if (!(plat::Vec3Dot(&d, &d) < rs * rs)) return;
    const f32 s = (rs - plat::Vec3Length(&d)) / 2.0f;
    const Vec3 n = Normal(d);
    other.robot->worldMatrix.m[3][0] += n.x * s;
    other.robot->worldMatrix.m[3][2] += n.z * s;
    self.worldMatrix.m[3][0] -= n.x * s;
    self.worldMatrix.m[3][2] -= n.z * s;
}

}  // namespace

i32 CRobot_Base::SumMeleeAttackBonus() const { return SumItemBonus(BonusMeleeAttack); }
i32 CRobot_Base::SumBeamDefenceBonus() const { return SumItemBonus(BonusBeamDefence); }
i32 CRobot_Base::SumPhysicalDefenceBonus() const { return SumItemBonus(BonusSolidDefence); }
i32 CRobot_Base::SumMeleeDefenceBonus() const { return SumItemBonus(BonusMeleeDefence); }

f32 CRobot_Normal::DefenceFactor(i32 damageType) const
{
    i32 sum = 0;
    if (damageType == 0) sum = SumBeamDefenceBonus();
    else if (damageType == 1) sum = SumPhysicalDefenceBonus();
    const f32 factor = 1.0f - static_cast<f32>(sum) * 0.01f;
    return factor < 0.0f ? 0.0f : factor;
}

const Mat4* CRobot_Normal::GuardMatrix() const
{
    // A script may raise the guard word on a type without a shield frame:
    // there is nothing to guard with then.
    if (scriptContext.shieldGuard == 0 || !frameShield) return nullptr;
    return &frameShield->world;
}

void CRobot_Normal::ReleaseAndLevel(BB_Base* owner)
{
    if (auto* holder = dynamic_cast<CRobot_Base*>(owner)) holder->holding = nullptr;
    heldBy = nullptr;
    LevelUpright();
}

void CRobot_Normal::LevelUpright()
{
    Vec3 f(worldMatrix.m[2][0], 0.0f, worldMatrix.m[2][2]);
    f = Normal(f);
    if (f.x == 0.0f && f.y == 0.0f && f.z == 0.0f) {
        // Pre-multiplied by a quarter turn about X: row 1 becomes row 2, row 2 becomes -row 1.
        Mat4 m = worldMatrix;
        for (i32 c = 0; c < 4; ++c) {
            m.m[1][c] = worldMatrix.m[2][c];
            m.m[2][c] = -worldMatrix.m[1][c];
        }
        worldMatrix = m;
        return;
    }
    Matrix m(worldMatrix);
    m.MatrixLookDirection(f, Vec3(0.0f, 1.0f, 0.0f));
    worldMatrix = m;
}

void CRobot_Normal::ApplyHitDamage(i32 base, f32 sameTeamMultiplier, f32 factor, i32 objectTeam, BB_Base* owner,
                                   HitSource source)
{
    auto* o = dynamic_cast<CRobot_Base*>(owner);
    auto* oNormal = dynamic_cast<CRobot_Normal*>(owner);
    const i32 killValue =
        modelData ? TruncToI32(static_cast<f32>(modelData->score) * spawnHpScale) : 0;
    if (team == objectTeam) {
        const i32 d = TruncToI32(static_cast<f32>(base) * sameTeamMultiplier * factor);
        hp = SaturatedI32(static_cast<i64>(hp) - d);
        if (o) {
            o->score = SaturatedI32(static_cast<i64>(o->score) - d);
            if (hp <= 0) o->score = SaturatedI32(static_cast<i64>(o->score) - killValue);
        }
    } else {
        const i32 d = TruncToI32(static_cast<f32>(base) * factor);
        hp = SaturatedI32(static_cast<i64>(hp) - d);
        // Healing never drains the gauge below empty.
        const i64 gain = source == HitSource::Blade
                             ? TruncToI32(8.0 * static_cast<f64>(d) * static_cast<f64>(oNormal ? oNormal->chargeGiveRate : 1.0f))
                             : 8LL * d;
        chargeGauge = AddClamped(chargeGauge, gain, 0, kChargeGaugeMax);
        if (o) {
            const i64 k = source == HitSource::Blade ? 3 : 2;
            o->score = SaturatedI32(o->score + k * d);
            score = SaturatedI32(score - k * d);
            if (oNormal && owner->GetKind() == kKindRobot) {
                const i64 m = source == HitSource::Billboard ? 2 : 3;
                oNormal->chargeGauge = AddClamped(oNormal->chargeGauge, m * d, 0, kChargeGaugeMax);
            }
            if (hp <= 0) {
                o->score = SaturatedI32(static_cast<i64>(o->score) + killValue);
                score = SaturatedI32(static_cast<i64>(score) - killValue);
                ++o->kills;
                o->killVoicePending = 1;
                if (streakFlag != 0) ++o->killStreak;
            }
        }
    }
    if (hp > hpMax) hp = hpMax;
    if (hp <= 0) {
        hp = 0;
        Defeat();
        if (o) {
            // Two long names are cut on a whole character, never inside one.
            char attacker[kKillLineBytes], victim[kKillLineBytes], line[kKillLineBytes];
            plat::Utf8CopyTruncated(attacker, sizeof attacker, o->displayName);
            plat::Utf8CopyTruncated(victim, sizeof victim, displayName);
            char full[3 * kKillLineBytes];
            std::snprintf(full, sizeof full, "[%s]\xE5\x87\xBB\xE6\xAF\x81\xE5\xAF\xB9\xE6\x89\x8B[%s]", attacker,
                          victim);
            plat::Utf8CopyTruncated(line, sizeof line, full);
            if (CApplication* app = GetApplication()) app->AddChatLine(line, CApplication::GetColor(o->displayTeam));
        }
    }
}

i32 CRobot_Normal::HitTestPass()
{
    const WeaponWorld& world = CurrentWeaponWorld();
    groundDistance = FLT_MAX;
    CList<BB_Base>* robots = world.robots;
    if (robots && robots->GetHead()) {
        // Anything but a robot may move or change this one: read again after it.
        PushSide side = SideOf(*this);
        for (BB_Base* r = robots->GetHead()->next; r && r != robots->GetTail(); r = r->next) {
            if (r->Removed) continue;
            // What CRobot_Normal::HitTestObject does with a robot, without
            // the calls: each pair of robots meets twice in every pass.
            if (r->GetKind() == kKindRobot) {
                PushApart(*static_cast<CRobot_Normal*>(r), side);
            } else {
                r->HitTestObject(this);
                side = SideOf(*this);
            }
        }
    }
    Mat4* body = frameBodyD ? &frameBodyD->world : nullptr;
    if (tacticalRules == 1 && body && robots && robots->GetHead()) {
        for (BB_Base* r = robots->GetHead()->next; r && r != robots->GetTail(); r = r->next) {
            if (r == this || r->Removed || r->GetKind() != kKindRobot) continue;
            auto* other = static_cast<CRobot_Normal*>(r);
            Mat4* t = other->GetTargetMatrix();
            if (state != kRobotStateLive || other->state != kRobotStateLive || !t || other->team != team) continue;
            const Vec3 d = Translation(*t) - Translation(*body);
            if (plat::Vec3Dot(&d, &d) < 25.0f) {
                AddBoostGauge(1);
                AddEnergy(1.0f);
            }
        }
    }
    if (!world.map) return 0;
    BattleMap& map = *world.map;
    // Walls between where the robot was and where it is now.
    {
        const Vec3 s = Translation(worldMatrix) + Vec3(0.0f, 1.0f, 0.0f);
        const Vec3 e = Translation(prevWorldMatrix) + Vec3(0.0f, 1.0f, 0.0f);
        f32 t = FLT_MAX;
        if (HitTestMapSegmentWithin(map, &s, &e, &t, nullptr)) {
            const Vec3 v = e - s;
            const f32 len = plat::Vec3Length(&v);
            if (len > t) {
                const Vec3 move = Normal(v) * (len - t + bodyRadius);
                AddMatrixTranslation(&worldMatrix, &move);
            }
        }
    }
    // The ground below.
    {
        const Vec3 s = Translation(worldMatrix) + Vec3(0.0f, 1.0f, 0.0f);
        const Vec3 e = s + Vec3(0.0f, -3.0f, 0.0f);
        f32 t = FLT_MAX;
        HitTestMapSegment(map, &s, &e, &t, nullptr);
        if (t - 1.0f < groundDistance) groundDistance = t - 1.0f;
    }
    const f32 g = groundDistance;
    const f32 vy = velocity.y;
    if (airborne == 1) {
        if (g <= 0.0f) {
            worldMatrix.m[3][1] -= g;
            if (vy <= 0.0f) {
                airborne = 2;
                velocity.y = 0.0f;
            }
        } else {
            airborne = 1;
        }
    } else if (g - 0.5f >= 0.0f || vy > 0.0f) {
        airborne = 1;
    } else if (g <= 0.0f) {
        worldMatrix.m[3][1] -= g;
        velocity.y = 0.0f;
        airborne = 0;
    }
    Vec3 push;
    if (CollideSphereWithMap(map, worldMatrix.m[3][0], worldMatrix.m[3][1] + 1.3f, worldMatrix.m[3][2], bodyRadius,
                             nullptr, nullptr, &push)) {
        AddMatrixTranslation(&worldMatrix, &push);
        wallContact = 1;
    }
    return 0;
}

i32 CRobot_Normal::HitTestObject(BB_Base* object)
{
    if (!object) return 0;
    const i32 kind = object->GetKind();
    if (kind == kKindRobot) {
        PushApart(*this, SideOf(*static_cast<CRobot_Normal*>(object)));
        return 0;
    }
    if (state != kRobotStateLive || hitImmunity != 0) return 0;
    if (kind == kKindBillboard) {
        auto* b = object->AttackBillboard ? static_cast<BB_AtkStandard*>(object) : nullptr;
        if (!b || b->HasHit(this)) return 0;
        BB_Base* owner = b->HitOwner();
        if (!(b->HitFlags & kFlagHitsOwner) && owner == this) return 0;
        if (heldBy && owner != heldBy) return 0;
        return HitByBillboard(b, owner);
    }
    if (kind == kKindSwordBeam) {
        // Only the damaging blade cuts; the visible one is for show.
        auto* blade = dynamic_cast<BB_SwordBeamAtk*>(object);
        if (!blade || blade->HasHit(this) || blade->Owner == this) return 0;
        if (heldBy && blade->Owner != heldBy) return 0;
        return HitByBlade(blade);
    }
    if (kind == kKindWeapon) {
        auto* w = static_cast<LZ_Standard*>(object);
        // The trail's bounds first: most weapons pass far from most robots.
        if (WeaponPassFarFrom(w, Translation(worldMatrix), boundRadius) || w->HasHit(this)) return 0;
        if (!(w->HitFlags & kFlagHitsOwner) && w->Owner == this) return 0;
        if (heldBy && w->Owner != heldBy) return 0;
        return HitByWeapon(w);
    }
    return 0;
}

i32 CRobot_Normal::HitByBillboard(BB_AtkStandard* b, BB_Base* owner)
{
    if (!frameBodyD) return 0;
    const Vec3 p = b->Position();
    const Vec3 d = Translation(frameBodyD->world) - p;
    const Vec3 n = Normal(d);
    const f32 len = plat::Vec3Length(&d);
    if (!(len <= bodyRadius + b->HitRadius)) return 0;
    MarkWeaponPassChanged();
    const Mat4* guard = GuardMatrix();
    if (guard && !(b->HitFlags & kFlagUnguardable)) {
        const Vec3 g = Normal(AxisZ(*guard) * -1.0f);
        if (Vec3DotClamped(n, g) >= 0.1736f) {
            const Vec3 normal = AxisZ(*guard);
            b->OnHitMap(&normal);
            return 0;
        }
    }
    if (b->Damage > 0) {
        b->RecordHit(this);
        SetImpactByFlags(impactKind, b->HitFlags);
        velocity.x += n.x * b->Knockback;
        velocity.z += n.z * b->Knockback;
        impactValue = SaturatedI32(static_cast<i64>(impactValue) + b->DownValue);
        if ((b->HitFlags & kFlagRelease) && owner) ReleaseAndLevel(owner);
        ApplyHitDamage(b->Damage, 0.8f, DefenceFactor(b->GetDamageType()), b->Team, owner, HitSource::Billboard);
    }
    const Vec3 at = p + n * (len / 2.0f);
    CountFireHit(b->FireProc);
    b->OnHitRobot(&at, this);
    return 0;
}

i32 CRobot_Normal::HitByWeapon(LZ_Standard* w)
{
    // The caller has already passed over weapons whose whole trail is far.
    if (w->Laser.Count < 2) return 0;
    const Vec3 position = Translation(worldMatrix);
    const i32 limit = w->SegmentsToTest();
    // The body inverses and the defence are made only once a segment comes
    // near (nothing has changed by then): most weapons pass far from most
    // robots.
    f32 factor = 0.0f;
    Mat4 lowerInverse, upperInverse;
    bool lowerOk = false, upperOk = false, inverted = false;
    i32 tested = 0;
    for (LASERNODE* a = w->Laser.Newest(); a; a = w->Laser.Older(a)) {
        LASERNODE* bNode = w->Laser.Older(a);
        if (hitImmunity != 0 || !bNode || tested >= limit) break;
        // The segments the trail's bounds leave far could not pass the
        // distance test below.
        if (!WeaponPassSkipFar(w, tested, a, bNode, position, boundRadius)) break;
        ++tested;
        const Vec3 ab = a->Position - bNode->Position;
        const f32 segLen = plat::Vec3Length(&ab);
        const Vec3 mid = bNode->Position + ab / 2.0f;
        const Vec3 toMid = position - mid;
        if (!(plat::Vec3Length(&toMid) <= segLen / 2.0f + boundRadius)) continue;
        if (!inverted) {
            inverted = true;
            factor = DefenceFactor(w->GetDamageType());
            lowerOk = frameBodyD && plat::MatrixInverse(&lowerInverse, nullptr, &frameBodyD->world);
            upperOk = frameUpperBody && plat::MatrixInverse(&upperInverse, nullptr, &frameUpperBody->world);
        }
        const Vec3 dir = Normal(ab);
        f32 t = FLT_MAX;
        bool hit = false;
        auto rayAgainst = [&](MeshObject* mesh, const Mat4& inverse) {
            Vec3 o, u;
            plat::Vec3TransformCoord(&o, &bNode->Position, &inverse);
            plat::Vec3TransformNormal(&u, &dir, &inverse);
            u32 index = 0;
            f32 dist = FLT_MAX;
            if (mesh->IntersectRay(&o, &u, &dist, &index)) {
                t = dist;
                return true;
            }
            return false;
        };
        if (hitMeshRef && lowerOk) hit = rayAgainst(hitMeshRef, lowerInverse);
        if (!hit && hitUpMeshRef && upperOk) hit = rayAgainst(hitUpMeshRef, upperInverse);
        if (!hit || !(t < segLen)) continue;
        DropWeaponPassBounds();
        const Vec3 at = a->Position - dir * (segLen - t + 0.1f);
        if (const Mat4* guard = GuardMatrix()) {
            if (Vec3DotClamped(dir, Normal(AxisZ(*guard) * -1.0f)) >= 0.766f) {
                w->RecordHit(this);
                if (w->Damage > 0) {
                    velocity.x += dir.x * w->Knockback * 0.5f;
                    velocity.z += dir.z * w->Knockback * 0.5f;
                    if (airborne == 1) velocity.y += dir.y * w->Knockback * 0.5f;
                }
                guardHitTimer = 20;
                const Vec3 shield = Translation(*guard);
                CountFireHit(w->FireProc);
                w->OnHitGuard(&shield, a, this, guard);
                continue;
            }
        }
        // One draw per unguarded hit, whatever the weapon, so every client draws alike.
        const u32 roll = GetBattleRandom().GetRand() % 100;
        if (static_cast<i32>(roll) < scriptContext.laserReflect && (w->HitFlags & kFlagReflectable)) {
            w->RecordHit(this);
            AddBoostGauge(SaturatedI32(2LL * w->Damage));
            AddEnergy(2.0f * static_cast<f32>(w->Damage));
            const WeaponWorld& world = CurrentWeaponWorld();
            if (auto* ring = NewObject<BB_WindRing3>(world.effects, 1)) {
                const Vec3 still(0.0f, 0.0f, 0.0f);
                ring->SetEx(&at, 1.0f, &still, 1, world.Texture(1), 0xFFFFFFFFu);
            }
            guardHitTimer = 20;
            CountFireHit(w->FireProc);
            w->OnReflect(&at, a, this);
            continue;
        }
        if (w->Damage > 0 || (w->HitFlags & kFlagHitWithoutDamage)) {
            w->RecordHit(this);
            SetImpactByFlags(impactKind, w->HitFlags);
            if ((w->HitFlags & kFlagRelease) && w->Owner) ReleaseAndLevel(w->Owner);
            velocity.x += dir.x * w->Knockback;
            velocity.z += dir.z * w->Knockback;
            if (airborne == 1) velocity.y += dir.y * w->Knockback;
            impactValue = SaturatedI32(static_cast<i64>(impactValue) + w->DownValue);
            ApplyHitDamage(w->Damage, 0.4f, factor, w->Team, w->Owner, HitSource::Weapon);
        }
        CountFireHit(w->FireProc);
        w->OnHitRobot(&at, a, this);
    }
    return 0;
}

i32 CRobot_Normal::HitByBlade(BB_SwordBeamAtk* blade)
{
    const Vec3 q0 = Translation(blade->World);
    const Vec3 q2 = Translation(blade->PrevWorld);
    const Vec3 quad[4] = {q0, q0 + AxisZ(blade->World) * blade->Length, q2,
                          q2 + AxisZ(blade->PrevWorld) * blade->Length};
    Vec3 h;
    bool hit = false;
    if (hitMeshRef && frameBodyD) hit = HitTestQuadAgainstMesh(quad, hitMeshRef, &frameBodyD->world, &h) != 0;
    if (!hit && hitUpMeshRef && frameUpperBody)
        hit = HitTestQuadAgainstMesh(quad, hitUpMeshRef, &frameUpperBody->world, &h) != 0;
    if (!hit) return 0;
    MarkWeaponPassChanged();
    CountFireHit(blade->FireProc);
    BB_Base* owner = blade->Owner;
    if (const Mat4* guard = GuardMatrix()) {
        const Mat4* from = owner ? owner->GetTargetMatrix() : nullptr;
        const Mat4* self = GetTargetMatrix();
        if (from && self) {
            const Vec3 d = Normal(Translation(*from) - Translation(*self));
            if (Vec3DotClamped(d, AxisZ(*guard)) >= 0.5f) {
                BladeGuarded(blade);
                return 0;
            }
        }
    }
    blade->RecordHit(this);
    if (!owner || owner->GetKind() != kKindRobot) return 0;
    auto* o = static_cast<CRobot_Normal*>(owner);
    const ScriptContext& attack = o->scriptContext;
    o->lastMeleeTarget = this;
    o->hitStop = hitStop = static_cast<i32>(blade->Value);
    SetImpactByFlags(impactKind, static_cast<u32>(attack.attackFlag));
    impactValue = SaturatedI32(static_cast<i64>(impactValue) + attack.attackDownF);
    if (attack.attackFlag & kFlagRelease) ReleaseAndLevel(o);
    velocity = o->forward * attack.attackForce;
    if (attack.attackForceY != 0.0f) {
        velocity += Normal(Vec3Cross(o->forward, o->side)) * attack.attackForceY;
        AddMatrixTranslation(&worldMatrix, &velocity);
    }
    ++o->comboCount;
    o->comboTimer = 20;
    // Both bonuses come from the robot that is cut.
    const f32 atk = 1.0f + static_cast<f32>(SumMeleeAttackBonus()) * 0.01f;
    f32 def = 1.0f - static_cast<f32>(SumMeleeDefenceBonus()) * 0.01f;
    if (def < 0.0f) def = 0.0f;
    ApplyHitDamage(attack.attackPower, 0.2f, atk * def, o->team, o, HitSource::Blade);
    const WeaponWorld& world = CurrentWeaponWorld();
    const i32 effectKind = blade->Values[0];
    if (effectKind == 0) {
        if (auto* e = NewObject<BB_SwordEffect3>(world.effects, 1))
            e->Set(this, GetTargetMatrix(), &o->forward, static_cast<u32>(blade->Values[1]),
                   static_cast<f32>(blade->Values[2]) / 100.0f, static_cast<u32>(blade->Values[3]));
    } else if (effectKind == 1) {
        if (auto* e = NewObject<BB_SwordEffect>(world.effects, 1)) e->Set(&o->forward, &h, blade->Values[3]);
    }
    return 0;
}

void CRobot_Normal::BladeGuarded(BB_SwordBeamAtk* blade)
{
    const WeaponWorld& world = CurrentWeaponWorld();
    const Mat4& shield = frameShield->world;
    const Vec3 s = Translation(shield);
    blade->RecordHit(this, kGuardedBladeRehit);
    if (auto* flash = NewObject<BB_ExplodeBeam>(world.effects, 1))
        flash->Set(&s, 2.0f, 1, world.Texture(kGuardFlashTexture), 0xFFFFFFFFu);
    for (i32 i = 0; i < 10; ++i) {
        const f32 a = static_cast<f32>(BattleDraw() % 360);
        const f32 w = 0.02f + Unit() * 0.02f;
        Mat4 yaw, tip, turned, m;
        plat::MatrixRotationY(&yaw, a * 0.017453f);
        plat::MatrixRotationX(&tip, 90.0f * 0.017453f);
        plat::MatrixMultiply(&turned, &yaw, &tip);
        plat::MatrixMultiply(&m, &turned, &shield);
        if (auto* line = NewObject<LZ_LineEffect2>(world.weapons, 1)) {
            line->Set(&m, w, 20, 0.3f, 1, world.Texture(kGuardSparkTexture), 0xFFFFFFFFu, 8);
            line->TrailFlag = 0;
            line->TrailFactor = 1.0f;
        }
    }
    for (i32 i = 0; i < 60; ++i) {
        Vec3 v;
        v.x = Unit() * 0.6f - 0.3f;
        v.y = Unit() * 0.6f - 0.3f;
        v.z = Unit() * 0.6f - 0.3f;
        if (auto* spark = NewObject<BB_Tiri2>(world.effects, 1))
            spark->Set(&s, 0.015f, 0.015f, 0.3f, 0.0f, &v, 1, world.Texture(kGuardSparkTexture), 0xFFFFFFFFu, 255);
    }
    if (blade->Owner && blade->Owner->GetKind() == kKindRobot && scriptContext.shieldGuard == 1) {
        auto* o = static_cast<CRobot_Normal*>(blade->Owner);
        o->impactKind = 2;
        o->velocity += AxisZ(shield) * 0.05f;
        guardHitTimer = 20;
    }
    PlayBattleSound(kGuardSound, s);
}
