#include "weapon/WeaponScene.h"

#include <algorithm>

#include "battle/GameScene.h"
#include "engine/sound/SoundManager.h"
#include "platform/math/Math.h"

namespace {

const WeaponWorld*& Installed()
{
    static const WeaponWorld* world = nullptr;
    return world;
}

// Rebuilt on every call from the scene: its members may change between battles.
WeaponWorld& SceneWorld()
{
    static WeaponWorld world;
    return world;
}

plat::GfxTexture* g_sceneTextures[kBattleTextureCount];

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
    CGameScene* scene = FindGameScene();
    if (!scene) return w;
    w.robots = &scene->unitList;
    w.weapons = &scene->weaponList;
    w.effects = &scene->effectList;
    w.attackEffects = &scene->itemList;
    w.meshDraws = &scene->laserDrawList;
    w.map = &scene->battleMap;
    w.camera = scene->camera.world;
    w.frustum = &scene->frustum;
    const i32 n = std::min(scene->effectTextures.GetCount(), kBattleTextureCount);
    for (i32 i = 0; i < n; ++i) g_sceneTextures[i] = scene->effectTextures[i].texture;
    w.textures = g_sceneTextures;
    w.textureCount = n;
    w.cameraShake = &scene->cameraShake;
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
