#include <gtest/gtest.h>

#include <cmath>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/camera/RobotCamera.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"

namespace {

Vec3 Row(const Mat4& m, i32 r) { return {m.m[r][0], m.m[r][1], m.m[r][2]}; }
f32 Length(Vec3 v) { return plat::Vec3Length(&v); }
Vec3 Unit(Vec3 v)
{
    plat::Vec3Normalize(&v, &v);
    return v;
}
void ExpectNear(const Vec3& a, const Vec3& b, const char* what)
{
    EXPECT_NEAR(a.x, b.x, 2e-3f) << what;
    EXPECT_NEAR(a.y, b.y, 2e-3f) << what;
    EXPECT_NEAR(a.z, b.z, 2e-3f) << what;
}

struct CameraBattle {
    BattleRunner runner{BattleRunnerOptions{}};
    CGameScene& scene = *runner.Scene();
    CRobot_Normal& robot = *static_cast<CRobot_Normal*>(scene.robotTable[0]);

    CameraBattle()
    {
        scene.currentView = &scene.views[0];
        robot.worldMatrix = Mat4::Identity();
        robot.worldMatrix.m[3][0] = 10.0f;
        robot.worldMatrix.m[3][1] = 2.0f;
        robot.worldMatrix.m[3][2] = -4.0f;
        robot.aimVector = Vec3(0.0f, 0.0f, 20.0f);
        robot.bodyRadius = 0.7f;
        robot.stateProc = nullptr;
        scene.cameraShake = 0;
    }
    Vec3 Target() { return Row(*robot.GetTargetMatrix(), 3); }
    Vec3 Eye() { return Row(scene.camera.world, 3); }
};

}  // namespace

// Each robot-camera effect and spectator mode puts the camera where the
// robot's script or the spectator asks, and none draws the battle generator.
TEST(RobotCamera, ModesAndEffectsPlaceTheCameraWithoutTouchingTheBattleGenerator)
{
    CameraBattle b;
    ASSERT_NE(b.robot.GetTargetMatrix(), nullptr);
    const u64 draws = GetBattleRandom().GetDrawCount();
    const Vec3 p(10.0f, 2.0f, -4.0f);

    // Effects 1 and 2: beside the target point, looking at it.
    for (i8 effect : {1, 2}) {
        b.robot.scriptContext.camEffect = effect;
        b.robot.UpdateCamera();
        const Vec3 t = b.Target();
        const Vec3 eye = t + Vec3(effect == 1 ? 5.0f : -5.0f, 0.0f, 3.0f);
        ExpectNear(b.Eye(), eye, "side camera position");
        ExpectNear(Row(b.scene.camera.world, 2), Unit(t - eye), "side camera looks at the target");
    }
    // Effect 3: seven units out, 25 degrees above the target point.
    b.robot.scriptContext.camEffect = 3;
    b.robot.UpdateCamera();
    EXPECT_NEAR(Length(b.Eye() - b.Target()), 7.0f, 1e-3f);
    EXPECT_NEAR(b.Eye().y - b.Target().y, 7.0f * std::sin(0.4363f), 1e-3f);

    // Effects 4 and 5: the script's offset turned with the camera, or added after.
    b.robot.scriptFloats[0] = 90.0f;  // pitch
    b.robot.scriptFloats[3] = 10.0f;  // distance
    b.robot.scriptFloats[5] = 2.0f;   // offset y
    b.robot.scriptContext.camEffect = 4;
    b.robot.UpdateCamera();
    ExpectNear(b.Eye(), p + Vec3(0.0f, 10.0f, 2.0f), "offset turned with the camera");
    b.robot.scriptContext.camEffect = 5;
    b.robot.UpdateCamera();
    ExpectNear(b.Eye(), p + Vec3(0.0f, 12.0f, 0.0f), "offset added after");

    // The follow camera: behind and above along the lowered arm, risen by the body.
    b.robot.scriptContext.camEffect = 0;
    b.robot.UpdateCamera();
    const Vec3 v = Unit(Vec3(0.0f, -6.0f, 20.0f));
    const Vec3 up = Row(b.scene.camera.world, 1);
    ExpectNear(Row(b.scene.camera.world, 2), v, "follow camera looks along the arm");
    ExpectNear(b.Eye(), p - v * 4.0f + Vec3(0.0f, 0.77f, 0.0f) + up * 0.91f, "follow camera position");
    // A straight-down arm cannot use the world's up.
    b.robot.aimVector = Vec3(0.0f, -100.0f, 0.0f);
    b.robot.UpdateCamera();
    EXPECT_NEAR(std::fabs(Row(b.scene.camera.world, 2).y), 1.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(Row(b.scene.camera.world, 1).z), 1.0f, 1e-4f);

    // Speed lines while dashing: five effects, drawn from the application's generator.
    const u32 effectsBefore = b.scene.effectList.GetCount();
    b.robot.stateProc = &CRobot_Normal::StateDash;
    b.robot.UpdateCamera();
    EXPECT_EQ(b.scene.effectList.GetCount(), effectsBefore + 5);
    b.robot.stateProc = nullptr;

    // The spectator orbits, switching between themselves with the
    // application's generator.
    b.scene.cameraMode = 3;
    bool sawWide = false, sawClose = false;
    for (i32 i = 0; i < 4000 && !(sawWide && sawClose && b.scene.cameraMode == 2); ++i) {
        const u32 mode = b.scene.cameraMode;
        b.robot.UpdateCamera();
        const Vec3 d = b.Eye() - p;
        if (mode == 3) {
            EXPECT_NEAR(Length(d), 20.0f, 1e-3f);
            sawWide = true;
        } else if (mode == 4) {
            EXPECT_NEAR(Length(d - Vec3(0.0f, 1.8f, 0.0f)), 8.0f, 1e-3f);
            sawClose = true;
        }
    }
    EXPECT_TRUE(sawWide && sawClose);
    EXPECT_EQ(b.scene.cameraMode, 2u);
    EXPECT_EQ(GetBattleRandom().GetDrawCount(), draws);
}

// The shake flips direction every third step and shrinks by 1/200 a step;
// a decided battle does not shake.
TEST(RobotCamera, ShakeAlternatesAndDiesDown)
{
    Mat4 camera = Mat4::Identity();
    i32 counter = 9, phase = 0;
    const f32 expected[] = {-0.045f, -0.04f, -0.035f, 0.03f, 0.025f, 0.02f, -0.015f, -0.01f, -0.005f};
    for (f32 step : expected) {
        const f32 before = camera.m[3][1];
        StepCameraShake(&camera, &counter, &phase);
        EXPECT_NEAR(camera.m[3][1] - before, step, 1e-6f);
    }
    EXPECT_EQ(counter, 0);
    StepCameraShake(&camera, &counter, &phase);
    EXPECT_EQ(counter, 0);

    CameraBattle b;
    b.scene.cameraShake = 30;
    b.scene.battleEnd = 1;
    b.robot.UpdateCamera();
    EXPECT_EQ(b.scene.cameraShake, 30);
    b.scene.battleEnd = 0;
    b.robot.UpdateCamera();
    EXPECT_EQ(b.scene.cameraShake, 29);
}

// The mouse-look turn keeps the camera where it is.
TEST(RobotCamera, TurningAboutYKeepsThePosition)
{
    Mat4 m = Mat4::Identity();
    m.m[3][0] = 3.0f;
    m.m[3][2] = 7.0f;
    RotateMatrixYInPlace(&m, 90.0f);
    EXPECT_EQ(Row(m, 3), Vec3(3.0f, 0.0f, 7.0f));
    EXPECT_NEAR(std::fabs(Row(m, 2).x), 1.0f, 1e-4f);
}
