#include "weapon/Bomb.h"

#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"

namespace {
f32 R() { return static_cast<f32>(BattleUnit()); }
}  // namespace

i32 LZ_Bomb::Run()
{
    BurstsThisFrame = 0;
    if (ObjectGone(Owner)) Owner = nullptr;
    Laser.World.m[3][0] += Velocity.x;
    Laser.World.m[3][1] += Velocity.y;
    Laser.World.m[3][2] += Velocity.z;
    Velocity *= 0.98f;
    Velocity.y -= 0.01f;
    if (Velocity.y <= -0.3f) Velocity.y = -0.3f;
    // Armed against other weapons only once clear of the launcher.
    if (Counter == 10) HitMask |= kHitRobots | kHitWeapons | kHitByWeapons;
    Counter += 1;
    if (Counter > 500) {
        HitMask = 0;
        return 1;
    }
    Laser.AddPoint(Position());
    QueueMeshDraw(this);
    return 0;
}

i32 LZ_Bomb::GetDamageType() const { return 1; }

void LZ_Bomb::Set(const WeaponTrail& trail, const WeaponHit& hit, const WeaponBody& body, const Vec3* velocity)
{
    SetTrail(trail);
    SetHits(hit);
    SetBody(*this, body);
    if (velocity) Velocity = *velocity;
    Counter = 0;
    HitMask = kHitRobots | kHitStage;
}

i32 LZ_Bomb::OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base*) { return OnHitMap(point, segment, nullptr); }
i32 LZ_Bomb::OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base*, const Mat4*)
{
    return OnHitMap(point, segment, nullptr);
}
i32 LZ_Bomb::OnHitWeapon(const Vec3* contact) { return OnHitMap(contact, nullptr, nullptr); }
i32 LZ_Bomb::OnHitByWeapon(const Vec3* contact) { return OnHitMap(contact, nullptr, nullptr); }

i32 LZ_Bomb::OnHitMap(const Vec3* point, LASERNODE*, const Vec3*)
{
    if (!point) return 0;
    Counter = 0;
    if (BurstsThisFrame++ >= kMaxBurstsPerFrame) return 0;
    BlastBursts(*point, 1.0f);
    const f32 x = (R() * 0.1f - 0.05f) * 0.5f;
    const f32 y = R() * 0.17f * 0.5f;
    const f32 z = (R() * 0.1f - 0.05f) * 0.5f;
    const Vec3 v(x, y, z);
    const WeaponWorld& w = CurrentWeaponWorld();
    // The blast is the same whatever the bomb's own damage.
    if (auto* blast = NewObject<BB_GrenadeExplode>(w.attackEffects, 3))
        blast->Set(point, 7.5f, &v, 0, w.Texture(3), 0xFFFFFFFFu, Owner,
                   {.hitRadius = 1.5f, .damage = kBlastDamage, .downValue = 401, .knockback = 0.6f, .hitFlags = 16,
                    .team = Team});
    const f32 d = DistanceToEye(*point);
    if (d <= kSoundRange) PlayBattleSound(4, *point);
    ShakeCamera(d, 1.5f);
    return 0;
}
