#pragma once
// The weapon world of the weapon and fire-procedure tests: the scene lists a
// battle hands the weapons, a seeded battle generator, live stand-in robots
// to shoot at and an armed robot whose weapon points are plain nodes.
#include <string>
#include <typeinfo>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/MTRand.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"

struct WeaponRange {
    CList<BB_Base> robots, weapons, effects, attacks;
    CList<LazerXDrawNode> meshes;
    i32 shake = 0;
    WeaponWorld world;
    explicit WeaponRange(u32 seed = 7)
    {
        world.robots = &robots;
        world.weapons = &weapons;
        world.effects = &effects;
        world.attackEffects = &attacks;
        world.meshDraws = &meshes;
        world.cameraShake = &shake;
        world.camera.m[3][0] = 1000.0f;  // far away: silent, no shake
        SetWeaponWorld(&world);
        GetBattleRandom().Init(seed);
    }
    ~WeaponRange()
    {
        weapons.Init();
        SetWeaponWorld(nullptr);
    }
    WeaponRange(const WeaponRange&) = delete;
    WeaponRange& operator=(const WeaponRange&) = delete;
    void Clear()
    {
        weapons.Init();
        effects.Init();
        attacks.Init();
    }
    // Objects of type T in a list.
    template <class T>
    static int Count(const CList<BB_Base>& list)
    {
        int n = 0;
        for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next) n += dynamic_cast<T*>(o) != nullptr;
        return n;
    }
    // Class names of a list, head to tail.
    static std::vector<std::string> Names(const CList<BB_Base>& list)
    {
        std::vector<std::string> out;
        for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next) out.push_back(typeid(*o).name());
        return out;
    }
};

template <class T>
std::string ClassName()
{
    return typeid(T).name();
}

// A live robot whose aim point (its body node) and position sit at `at`.
struct StandInRobot {
    CRobot_Normal robot;
    HodNode* body = new HodNode;
    explicit StandInRobot(const Vec3& at, i32 team = 0)
    {
        robot.frameBodyD = body;
        robot.state = kRobotStateLive;
        robot.team = team;
        if (!robot.lockAlertList.GetHead()) robot.lockAlertList.Init();  // a reset does this in a battle
        robot.nearestThreat = Vec3(1000, 0, 0);
        Move(at);
    }
    ~StandInRobot()
    {
        robot.frameBodyD = nullptr;
        body->FreeTree(true);
    }
    StandInRobot(const StandInRobot&) = delete;
    StandInRobot& operator=(const StandInRobot&) = delete;
    void Move(const Vec3& at)
    {
        for (Mat4* m : {&body->world, &robot.worldMatrix}) {
            m->m[3][0] = at.x;
            m->m[3][1] = at.y;
            m->m[3][2] = at.z;
        }
    }
    Vec3 Aim() const { return Vec3(body->world.m[3][0], body->world.m[3][1], body->world.m[3][2]); }
};

// A robot that fires: its weapon points and body are nodes the test places,
// its model record an empty one the test may fill.
struct ArmedRobot {
    CRobot_Normal robot;
    RobotModelData model;
    std::vector<HodNode*> nodes;
    ArmedRobot() { robot.modelData = &model; }
    ~ArmedRobot()
    {
        for (i32 i = 0; i < robot.weaponPointNodes.GetCount(); ++i) robot.weaponPointNodes[i] = nullptr;
        robot.frameBodyD = nullptr;
        robot.modelData = nullptr;
        for (HodNode* n : nodes) n->FreeTree(true);
    }
    ArmedRobot(const ArmedRobot&) = delete;
    ArmedRobot& operator=(const ArmedRobot&) = delete;
    HodNode* NodeAt(const Vec3& at)
    {
        HodNode* n = new HodNode;
        n->world.m[3][0] = at.x;
        n->world.m[3][1] = at.y;
        n->world.m[3][2] = at.z;
        nodes.push_back(n);
        return n;
    }
    // Weapon point `index`, facing +z from `at`.
    HodNode* Point(i32 index, const Vec3& at) { return robot.weaponPointNodes[index] = NodeAt(at); }
    HodNode* Body(const Vec3& at) { return robot.frameBodyD = NodeAt(at); }
    void Fire(CRobot_Normal::FireProc p, std::vector<i32> args)
    {
        args.resize(10);
        (robot.*p)(args.data());
    }
};

inline Mat4 TranslationTo(const Vec3& p)
{
    Mat4 m;
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
    return m;
}

inline Vec3 Forward(const LZ_Basic& w) { return Vec3(w.Laser.World.m[2][0], w.Laser.World.m[2][1], w.Laser.World.m[2][2]); }

// Runs an object until Run reports the end; the number of the run that did, or -1.
inline int RunsToFinish(BB_Base& b, int limit = 5000)
{
    for (int n = 1; n <= limit; ++n)
        if (b.Run() != 0) return n;
    return -1;
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
