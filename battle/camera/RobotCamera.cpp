#include "battle/camera/RobotCamera.h"

#include <cmath>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/MatrixHelpers.h"
#include "platform/input/Keyboard.h"
#include "platform/input/Mouse.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/ObjectFactory.h"
#include "weapon/effects/Wind.h"

namespace {

struct FreeCameras {
    bool flyStarted = false;
    Vec3 flyOffset{0.0f, 0.0f, -5.0f};
    f32 flyPitch = 0.0f, flyYaw = 0.0f;
    bool lookStarted = false;
};
FreeCameras& Free()
{
    static FreeCameras free;
    return free;
}

Vec3 Position(const Mat4& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }
Vec3 Axis(const Mat4& m, i32 row) { return {m.m[row][0], m.m[row][1], m.m[row][2]}; }
void SetPosition(Mat4* m, const Vec3& p)
{
    m->m[3][0] = p.x;
    m->m[3][1] = p.y;
    m->m[3][2] = p.z;
}
Mat4 Mul(const Mat4& a, const Mat4& b)
{
    Mat4 out;
    plat::MatrixMultiply(&out, &a, &b);
    return out;
}
Mat4 Translation(const Vec3& v)
{
    Mat4 m;
    plat::MatrixTranslation(&m, v.x, v.y, v.z);
    return m;
}
Mat4 RotX(f32 radians)
{
    Mat4 m;
    plat::MatrixRotationX(&m, radians);
    return m;
}
Mat4 RotY(f32 radians)
{
    Mat4 m;
    plat::MatrixRotationY(&m, radians);
    return m;
}
Mat4 RotZ(f32 radians)
{
    Mat4 m;
    plat::MatrixRotationZ(&m, radians);
    return m;
}
Vec3 Normalised(const Vec3& v)
{
    Vec3 out;
    plat::Vec3Normalize(&out, &v);
    return out;
}

bool KeyHeld(i32 key) { return (GetApplication()->input.keyTable[key & 0xFF] & 0x80) != 0; }

// A circle about a point: `radius` behind, 25 degrees down, turning with the
// running frame counter (degreesPerFrame may be negative).
Mat4 Orbit(const Vec3& centre, f32 radius, f32 degreesPerFrame, u32 frame)
{
    const f32 yaw = static_cast<f32>(frame % 1080u) * degreesPerFrame * kDegreesToRadians;
    Mat4 m = Mul(Mul(Translation({0.0f, 0.0f, -radius}), RotX(0.4363f)), RotY(yaw));
    SetPosition(&m, Position(m) + centre);
    return m;
}

}  // namespace

void RotateMatrixYInPlace(Mat4* m, float degrees)
{
    const Vec3 keep = Position(*m);
    SetPosition(m, Vec3());
    *m = Mul(*m, RotY(degrees * kDegreesToRadians));
    SetPosition(m, keep);
}

void StepCameraShake(Mat4* camera, i32* counter, i32* phase)
{
    const i32 n = *counter;
    if (n <= 0) return;
    if (n % 3 == 0) *phase = *phase ? 0 : 1;
    const f32 rise = static_cast<f32>(n) / 200.0f;
    camera->m[3][1] += *phase == 0 ? rise : -rise;
    *counter = n - 1;
}

void ResetFreeCameras() { Free() = FreeCameras(); }

void CRobot_Normal::UpdateCamera()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    CCamera& camera = scene->camera;
    CApplication& app = *GetApplication();
    const Mat4* targetMatrix = GetTargetMatrix();
    const Vec3 target = targetMatrix ? Position(*targetMatrix) : Position(worldMatrix);
    const Vec3 position = Position(worldMatrix);
    const u32 frame = scene->battleFrame;

    auto lookFrom = [&](const Vec3& eye) {
        Matrix m;
        SetPosition(&m, eye);
        m.MatrixLookAtPoint(target, Vec3(0.0f, 1.0f, 0.0f));
        return static_cast<Mat4>(m);
    };
    auto scripted = [&](bool offsetInFront) {
        const f32 pitch = scriptFloats[0] * kDegreesToRadians, yaw = scriptFloats[1] * kDegreesToRadians;
        const f32 roll = scriptFloats[2] * kDegreesToRadians, distance = scriptFloats[3];
        const Vec3 offset{scriptFloats[4], scriptFloats[5], scriptFloats[6]};
        Mat4 local = Mul(Mul(Mul(Translation({0.0f, 0.0f, -distance}), RotX(pitch)), RotY(yaw)), RotZ(roll));
        if (offsetInFront)
            local = Mul(Translation(offset), local);
        else
            SetPosition(&local, Position(local) + offset);
        return Mul(local, worldMatrix);
    };
    auto follow = [&]() {
        Vec3 v = aimVector;
        const f32 length = plat::Vec3Length(&v);
        v.y -= length / 4.0f + 1.0f;
        v = Normalised(v);
        Matrix m;
        SetPosition(&m, position - v * 4.0f);
        v = Normalised(v);
        const Vec3 up = std::fabs(Vec3DotClamped(v, Vec3(0.0f, 1.0f, 0.0f))) > 0.9848f ? Vec3(0.0f, 0.0f, 1.0f)
                                                                                      : Vec3(0.0f, 1.0f, 0.0f);
        m.MatrixLookDirection(v, up);
        m.m[3][1] += bodyRadius * 1.1f;
        Mat4 out = Mul(Translation({0.0f, bodyRadius * 1.3f, 0.0f}), m);
        const bool fast = stateProc == &CRobot_Normal::StateDash || stateProc == &CRobot_Normal::StateDashSlash ||
                          stateProc == &CRobot_Normal::EscapeDashState ||
                          stateProc == &CRobot_Normal::StateGuardAttack ||
                          stateProc == &CRobot_Normal::StateManoeuvre1 || stateProc == &CRobot_Normal::StateManoeuvre2;
        if (scene->battleEnd == 0 && fast && frameBodyD) {
            // Speed lines are scenery: their offsets come from the
            // application's generator, never the battle's.
            const Vec3 at = Position(frameBodyD->world);
            plat::GfxTexture* line = scene->effectTextures.IsCreated() ? scene->effectTextures[6].texture : nullptr;
            for (i32 i = 0; i < 5; ++i) {
                Vec3 p = at;
                p.x += static_cast<f32>(static_cast<double>(app.random.GetRand()) / 4294967296.0 * 10.0 - 5.0);
                p.y += static_cast<f32>(static_cast<double>(app.random.GetRand()) / 4294967296.0 * 10.0 - 5.0);
                p.z += static_cast<f32>(static_cast<double>(app.random.GetRand()) / 4294967296.0 * 10.0 - 5.0);
                if (auto* wind = NewObject<BB_WindLine>(&scene->effectList, 1))
                    wind->Set(&p, 0.01f, 4.0f, &velocity, 1, line, 0xA8FFFFFFu);
            }
        }
        return out;
    };
    auto robotCamera = [&](u8 effect) {
        switch (effect) {
        case 1: return lookFrom(target + Axis(worldMatrix, 0) * 5.0f + Axis(worldMatrix, 2) * 3.0f);
        case 2: return lookFrom(target - Axis(worldMatrix, 0) * 5.0f + Axis(worldMatrix, 2) * 3.0f);
        case 3: return Orbit(target, 7.0f, 0.3333f, frame);
        case 4: return scripted(true);
        case 5: return scripted(false);
        default: return follow();
        }
    };
    // The spectator cameras pick their next view with the application's
    // generator: which robot a viewer watches must not move the battle's.
    auto watch = [&](u32 index) {
        if (index < static_cast<u32>(kRobotTableSize) && scene->robotTable.IsCreated() &&
            scene->robotTable[static_cast<i32>(index)] && scene->currentView)
            scene->currentView->player = index;
    };
    const u8 effect = static_cast<u8>(scriptContext.camEffect);

    switch (scene->cameraMode) {
    case 0:
        if (scene->freeCameraMode == 1) {
            FreeCameras& f = Free();
            const f32 s = KeyHeld(plat::vk::Shift) ? 2.0f : 1.0f;
            if (KeyHeld('A')) f.flyOffset.x -= 0.03f * s;
            if (KeyHeld('D')) f.flyOffset.x += 0.03f * s;
            if (KeyHeld('W')) f.flyOffset.y += 0.03f * s;
            if (KeyHeld('S')) f.flyOffset.y -= 0.03f * s;
            if (KeyHeld('Z')) f.flyOffset.z += 0.03f * s;
            if (KeyHeld('X')) f.flyOffset.z -= 0.03f * s;
            if (KeyHeld(plat::vk::Left)) f.flyYaw += s;
            if (KeyHeld(plat::vk::Right)) f.flyYaw -= s;
            if (KeyHeld(plat::vk::Up)) f.flyPitch += s;
            if (KeyHeld(plat::vk::Down)) f.flyPitch -= s;
            if (KeyHeld('R')) {
                f.flyOffset = Vec3(0.0f, 0.0f, -5.0f);
                f.flyPitch = f.flyYaw = 0.0f;
            }
            Mat4 m = Mul(Mul(Translation(f.flyOffset), RotX(f.flyPitch * kDegreesToRadians)),
                         RotY(f.flyYaw * kDegreesToRadians));
            SetPosition(&m, Position(m) + target);
            camera.world = m;
        } else if (scene->freeCameraMode == 2) {
            FreeCameras& f = Free();
            if (!f.lookStarted) {
                f.lookStarted = true;
                camera.world = Mat4::Identity();
                SetPosition(&camera.world, target + Vec3(0.0f, 0.0f, -5.0f));
            }
            const bool shift = KeyHeld(plat::vk::Shift);
            const f32 speed = shift ? 0.4f : 0.1f, factor = shift ? 0.6f : 0.4f;
            // The cursor's offset from the window's centre turns the view;
            // the cursor goes back to the centre for the next frame.
            f32 dx = 0.0f, dy = 0.0f;
            const i32 cx = app.video.screenWidth / 2, cy = app.video.screenHeight / 2;
            i32 x = 0, y = 0;
            if (plat::GetCursorClientPos(app.mainWindow, x, y)) {
                dx = static_cast<f32>(x - cx);
                dy = static_cast<f32>(y - cy);
                plat::MoveCursorToClient(app.mainWindow, cx, cy);
            }
            auto flat = [&](i32 row) {
                Vec3 a = Axis(camera.world, row);
                a.y = 0.0f;
                return plat::Vec3LengthSq(&a) > 0.0f ? Normalised(a) : Vec3();
            };
            Vec3 move;
            if (KeyHeld('A')) move -= flat(0) * speed;
            if (KeyHeld('D')) move += flat(0) * speed;
            if (KeyHeld('W')) move += flat(2) * speed;
            if (KeyHeld('S')) move -= flat(2) * speed;
            if (app.input.mouseButtons[0] & 2u) move.y += speed;
            if (app.input.mouseButtons[1] & 2u) move.y -= speed;
            SetPosition(&camera.world, Position(camera.world) + move);
            RotateMatrixYInPlace(&camera.world, dx * 0.4f * factor);
            camera.world = Mul(RotX(dy * 0.4f * factor * kDegreesToRadians), camera.world);
        } else {
            camera.world = robotCamera(effect);
        }
        break;
    case 1: {
        auto held = [&](i32 code) { return KeyHeld(keyCodes[code]); };
        Vec3 move;
        f32 yaw = 0.0f, pitch = 0.0f;
        if (held(0)) move.x -= 0.3f;
        if (held(2)) move.x += 0.3f;
        if (held(1)) move.z += 0.3f;
        if (held(3)) move.z -= 0.3f;
        if (held(4)) move.y += 0.3f;
        if (held(5)) move.y -= 0.3f;
        if (held(6)) yaw += 1.0f;
        if (held(7)) yaw -= 1.0f;
        if (held(8)) pitch += 1.0f;
        if (held(9)) pitch -= 1.0f;
        Mat4 step = Mul(RotX(pitch * kDegreesToRadians), RotY(yaw * kDegreesToRadians));
        SetPosition(&step, Position(step) + move);
        camera.world = Mul(step, camera.second);
        break;
    }
    case 2:
        camera.world = effect == 1 ? Orbit(target, 7.0f, 0.3333f, frame) : robotCamera(0);
        if (app.random.GetRand() % 800u == 0) watch((app.random.GetRand() % 400u) / 100u);
        break;
    case 3:
        camera.world = Orbit(position, 20.0f, 0.3333f, frame);
        if (app.random.GetRand() % 200u == 0) scene->cameraMode = 4;
        break;
    case 4:
        camera.world = Orbit(position, 8.0f, -0.3333f, frame);
        camera.world.m[3][1] += 1.8f;
        if (app.random.GetRand() % 200u == 0) {
            scene->cameraMode = 2;
            watch(app.random.GetRand() % 4u);
        }
        break;
    default: break;
    }
    if (scene->battleEnd == 0) StepCameraShake(&camera.world, &scene->cameraShake, &scene->cameraShakePhase);
    camera.Apply();
}
