#pragma once
// What weapons, effects, items and fire procedures reach of the battle: the
// scene's lists, stage, camera, view volume, effect textures, camera shake,
// robot table, meshes and the calling-in of units. In a battle it is the
// scene's; a test may install a world of its own.
#include "engine/core/SizePool.h"
#include "engine/core/TaskList.h"
#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "weapon/WeaponBase.h"

class CGameScene;
class CRobot_Base;
class CRobot_Normal;
class MeshObject;
class ViewFrustum;

// A weapon to draw as a mesh this frame; weapons re-add themselves in Run,
// so thousands a second come and go: pooled.
class LazerXDrawNode : public CListNode<LazerXDrawNode>, public SizePooled {
public:
    BB_Base* object = nullptr;
};

struct WeaponWorld {
    CList<BB_Base>* robots = nullptr;
    CList<BB_Base>* weapons = nullptr;
    CList<BB_Base>* effects = nullptr;
    CList<BB_Base>* attackEffects = nullptr;
    CList<LazerXDrawNode>* meshDraws = nullptr;  // meshes drawn this frame
    BattleMap* map = nullptr;
    Mat4 camera;                              // its translation row is the eye
    const ViewFrustum* frustum = nullptr;     // null: everything is in view
    plat::GfxTexture* const* textures = nullptr;  // effect textures by number
    i32 textureCount = 0;
    // Without a table: the battle scene's own effect textures, read when
    // asked; and what the members below reach (nothing without a scene).
    CGameScene* scene = nullptr;
    i32* cameraShake = nullptr;

    Vec3 Eye() const { return Vec3(camera.m[3][0], camera.m[3][1], camera.m[3][2]); }
    // Effect texture n; null outside the table.
    plat::GfxTexture* Texture(i32 n) const;
    WeaponArena Arena() const { return WeaponArena{weapons, robots, map}; }
    // The robot table (the players in slots 0 and 1; null entries for none):
    // its first entry and its size, null and 0 without a scene.
    CRobot_Base* const* RobotTable() const;
    i32 RobotCount() const;
    // A computer-controlled unit called into the battle at `at`; null when
    // none came.
    CRobot_Normal* CallUnit(i32 type, const Vec3& at, f32 hpScale, i32 team, i32 colourSet) const;
    // The scene's mesh n (the pick-ups' looks); null outside them.
    MeshObject* SceneMesh(i32 n) const;
};

// The installed test world, else the battle scene's (an empty world without one).
const WeaponWorld& CurrentWeaponWorld();
// Installs a world (null returns to the scene's). For tests and tools.
void SetWeaponWorld(const WeaponWorld* world);

inline WeaponArena CurrentWeaponArena() { return CurrentWeaponWorld().Arena(); }
inline Vec3 WeaponCameraEye() { return CurrentWeaponWorld().Eye(); }

// Sounds and camera shake measure from the eye.
inline constexpr f32 kSoundRange = 100.0f;
// Whether a sound at p is near enough to the eye to be heard.
bool WithinSoundRange(const Vec3& p);
// Plays battle sound k in 3D at p when p is within kSoundRange of the eye and
// the sound table holds more than k sounds. true when it was started.
bool PlayBattleSound(i32 k, const Vec3& p);
