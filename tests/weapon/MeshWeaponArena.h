#pragma once
// A weapon world with live stand-in robots for the mesh weapons' tests.
#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/WeaponScene.h"

struct MeshWeaponArena {
    CList<BB_Base> weapons, effects, attacks;
    CList<LazerXDrawNode> meshes;
    i32 shake = 0;
    WeaponWorld world;
    explicit MeshWeaponArena(u32 seed = 7)
    {
        world.weapons = &weapons;
        world.effects = &effects;
        world.attackEffects = &attacks;
        world.meshDraws = &meshes;
        world.cameraShake = &shake;
        world.camera.m[3][0] = 1000.0f;  // far away: silent, no shake
        SetWeaponWorld(&world);
        GetBattleRandom().Init(seed);
    }
    ~MeshWeaponArena()
    {
        weapons.Init();
        SetWeaponWorld(nullptr);
    }
    // Objects of type T in a list.
    template <class T>
    static int Count(const CList<BB_Base>& list)
    {
        int n = 0;
        for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next) n += dynamic_cast<T*>(o) != nullptr;
        return n;
    }
};

// A live robot whose aim point sits at `at`.
struct StandInRobot {
    CRobot_Normal robot;
    HodNode* body = new HodNode;
    explicit StandInRobot(const Vec3& at, i32 team = 0)
    {
        robot.frameBodyD = body;
        robot.state = kRobotStateLive;
        robot.team = team;
        if (!robot.lockAlertList.GetHead()) robot.lockAlertList.Init();
        robot.nearestThreat = Vec3(1000, 0, 0);
        Move(at);
    }
    ~StandInRobot()
    {
        robot.frameBodyD = nullptr;
        body->FreeTree(true);
    }
    void Move(const Vec3& at)
    {
        body->world.m[3][0] = at.x;
        body->world.m[3][1] = at.y;
        body->world.m[3][2] = at.z;
    }
    Vec3 Aim() const { return Vec3(body->world.m[3][0], body->world.m[3][1], body->world.m[3][2]); }
};

inline Mat4 TranslationTo(const Vec3& p)
{
    Mat4 m;
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
    return m;
}

// Battle draws taken since the generator was started from `seed` (takes one more).
inline int DrawsSinceSeed(u32 seed)
{
    const u32 next = GetBattleRandom().GetRand();
    cMTRand r;
    r.Init(seed);
    for (int n = 0; n < 100000; ++n)
        if (r.GetRand() == next) return n;
    return -1;
}
