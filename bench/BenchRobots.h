#pragma once
// The drawn-battle benchmarks' scene: robots of the first two sample types
// in a ring on the stage, the first standing in the watched slot, whose
// camera the view follows, and the stage's sky.
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "engine/model/HodModel.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"

// False when a sample type does not load (the ring is then short).
inline bool PlaceRobotRing(CGameScene* scene, i32 count, i32 slot)
{
    for (i32 i = 0; i < count; ++i) {
        const i32 type = i & 1;
        if (!scene->LoadRobotType(type)) return false;
        RobotModelData& data = scene->robotTypes[type];
        auto* robot = CreateInList<CRobot_Normal>(&scene->unitList, 1);
        robot->modelData = &data;
        data.hierarchy.CopyTo(&robot->lowerModel);
        robot->frameBodyD = robot->lowerModel.FindNode(kNodeBodyD);
        robot->colorSet.CopyFrom(data.colorSets[i % 10]);
        robot->state = kRobotStateLive;
        robot->boundRadius = 2.0f;
        const f32 turn = 6.2831853f * static_cast<f32>(i) / static_cast<f32>(count);
        robot->worldMatrix = Mat4::Identity();
        robot->worldMatrix.m[3][0] = 1500.0f + 8.0f * plat::DetCos(turn);
        robot->worldMatrix.m[3][2] = 1500.0f + 8.0f * plat::DetSin(turn);
        robot->lowerModel.UpdateMatrices(&robot->worldMatrix);
        // The view follows the first robot's camera: aimed at the ring's
        // middle, it looks over that robot's shoulder across the ring.
        robot->aimVector = Vec3(-8.0f * plat::DetCos(turn), 0.0f, -8.0f * plat::DetSin(turn));
        if (i == 0) scene->robotTable[slot] = robot;
    }
    // The sky as a running battle places it around the eye, which stays
    // within a dozen units of the ring's middle.
    Mat4 sky;
    plat::MatrixScaling(&sky, 350.0f, 350.0f, 350.0f);
    sky.m[3][0] = 1500.0f;
    sky.m[3][1] = -20.0f;
    sky.m[3][2] = 1500.0f;
    scene->battleMap.sky.world = sky;
    return true;
}
