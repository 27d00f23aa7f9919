#include "weapon/WeaponScene.h"

#include "engine/sound/SoundManager.h"
#include "platform/math/Math.h"

namespace {

const WeaponWorld*& Installed()
{
    static const WeaponWorld* world = nullptr;
    return world;
}

WeaponWorld& SceneWorld()
{
    static WeaponWorld world;
    return world;
}

}  // namespace

plat::GfxTexture* WeaponWorld::Texture(i32 n) const
{
    if (!textures || n < 0 || n >= textureCount) return nullptr;
    return textures[n];
}

void SetWeaponWorld(const WeaponWorld* world) { Installed() = world; }

const WeaponWorld& CurrentWeaponWorld()
{
    if (Installed()) return *Installed();
    WeaponWorld& w = SceneWorld();
    w = WeaponWorld{};
    return w;
}

bool WithinSoundRange(const Vec3& p)
{
    const Vec3 d = p - WeaponCameraEye();
    return plat::Vec3Length(&d) <= kSoundRange;
}

bool PlayBattleSound(i32 k, const Vec3& p)
{
    if (!WithinSoundRange(p)) return false;
    SoundManager& sm = GetSoundManager();
    if (k < 0 || sm.GetSoundCount() <= k) return false;
    SoundObject* s = sm.GetSound(k);
    return s && s->Play3D(p.x, p.y, p.z, 0, 0) != nullptr;
}
