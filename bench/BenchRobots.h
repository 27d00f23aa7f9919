#pragma once
// The drawn-battle benchmarks' scene: robots of the first two sample types
// in a ring on the stage, the first standing in the watched slot, and a
// camera looking down on them.
#include "battle/GameScene.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/model/HodModel.h"
#include "platform/math/DetMath.h"
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
        if (i == 0) scene->robotTable[slot] = robot;
    }
    Matrix camera;
    camera.m[3][0] = 1500.0f;
    camera.m[3][1] = 8.0f;
    camera.m[3][2] = 1518.0f;
    camera.MatrixLookAtPoint(Vec3(1500.0f, 1.0f, 1500.0f), Vec3(0, 1, 0));
    scene->camera.world = camera;
    scene->camera.Apply();
    return true;
}
