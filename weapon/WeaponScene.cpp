#include "weapon/WeaponScene.h"

#include <algorithm>

#include "battle/GameScene.h"
#include "engine/sound/SoundManager.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"

namespace {

const WeaponWorld*& Installed()
{
    static const WeaponWorld* world = nullptr;
    return world;
}

}  // namespace

plat::GfxTexture* WeaponWorld::Texture(i32 n) const
{
    if (n < 0 || n >= textureCount) return nullptr;
    if (textures) return textures[n];
    return scene ? scene->effectTextures[n].texture : nullptr;
}

CRobot_Base* const* WeaponWorld::RobotTable() const
{
    return scene && scene->robotTable.GetCount() > 0 ? &scene->robotTable[0] : nullptr;
}

i32 WeaponWorld::RobotCount() const { return RobotTable() ? scene->robotTable.GetCount() : 0; }

CRobot_Normal* WeaponWorld::CallUnit(i32 type, const Vec3& at, f32 hpScale, i32 team, i32 colourSet) const
{
    if (!scene) return nullptr;
    return scene->SpawnRobot(type, at.x, at.y, at.z, hpScale, team, kControlComputer, colourSet, 0.0f, nullptr);
}

MeshObject* WeaponWorld::SceneMesh(i32 n) const
{
    return scene && n >= 0 && scene->meshes.GetCount() > n ? &scene->meshes[n] : nullptr;
}

void SetWeaponWorld(const WeaponWorld* world) { Installed() = world; }

const WeaponWorld& CurrentWeaponWorld()
{
    if (Installed()) return *Installed();
    CGameScene* scene = FindGameScene();
    if (!scene) {
        static const WeaponWorld empty;
        return empty;
    }
    // The scene's own world: a new scene starts with an empty one, and what
    // it points at are the scene's members, which never move.
    WeaponWorld& w = scene->weaponWorld;
    if (!w.scene) {
        w.robots = &scene->unitList;
        w.weapons = &scene->weaponList;
        w.effects = &scene->effectList;
        w.attackEffects = &scene->itemList;
        w.meshDraws = &scene->laserDrawList;
        w.map = &scene->battleMap;
        w.frustum = &scene->frustum;
        // Called for every billboard drawn: the textures are looked up when
        // asked instead of copied here.
        w.scene = scene;
        w.cameraShake = &scene->cameraShake;
    }
    w.camera = scene->camera.world;
    w.textureCount = std::min(scene->effectTextures.GetCount(), kBattleTextureCount);
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
