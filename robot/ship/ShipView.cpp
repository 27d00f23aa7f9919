// What the player of a battleship sees: the ship camera (chase, free and the
// demonstration cycle, with the camera shake) and the ship's overlays (lock-on
// marker, warning arrows, gauges, cooldown bars, score). Presentation only:
// its chance draws come from the application's generator.
#include <cstdio>

#include "app/core/Application.h"
#include "app/scene/DigitDraw.h"
#include "battle/GameScene.h"
#include "engine/core/MTRand.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "engine/graphics/TextureManager.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/ship/Ship.h"

namespace {

constexpr f32 kDegrees = 0.017453f;
// Entries of the scene's interface texture table.
constexpr i32 kTexLock2 = 1, kTexEnergyGauge = 2, kTexGeneratorGauge = 3, kTexHp = 4, kTexLock = 6;
constexpr i32 kTexArrowLeft = 11, kTexArrowUp = 12, kTexArrowRight = 13, kTexArrowDown = 14;
constexpr i32 kTexEnergyGauge2 = 15, kTexWindow = 17, kTexExtW = 22;
constexpr u32 kYellow = 0xFFFFFF00u, kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kWhite = 0xFFFFFFFFu;
constexpr u32 kPanel = 0xC8FFFFFFu;


bool KeyHeld(const CApplication& app, u8 key) { return (app.input.keyTable[key] & 0x80) != 0; }

// A camera at `eye` looking along `v`, with up (0, 1, 0) unless v is nearly vertical.
Mat4 LookAlong(const Vec3& eye, const Vec3& v)
{
    const Vec3 up = (v.y > 0.9848f || v.y < -0.9848f) ? Vec3(0.0f, 0.0f, 1.0f) : Vec3(0.0f, 1.0f, 0.0f);
    Vec3 x = Vec3Cross(up, v);
    plat::Vec3Normalize(&x, &x);
    const Vec3 y = Vec3Cross(v, x);
    Mat4 m;
    m.m[0][0] = x.x, m.m[0][1] = x.y, m.m[0][2] = x.z;
    m.m[1][0] = y.x, m.m[1][1] = y.y, m.m[1][2] = y.z;
    m.m[2][0] = v.x, m.m[2][1] = v.y, m.m[2][2] = v.z;
    m.m[3][0] = eye.x, m.m[3][1] = eye.y, m.m[3][2] = eye.z;
    return m;
}

Mat4 Orbit(f32 r, f32 degreesPerFrame, u32 frame, const Vec3& at)
{
    Mat4 m, t, rx, ry, tmp;
    plat::MatrixTranslation(&t, 0.0f, 0.0f, -r);
    plat::MatrixRotationX(&rx, 0.4363f);
    plat::MatrixRotationY(&ry, static_cast<f32>(frame % 1080u) * degreesPerFrame * kDegrees);
    plat::MatrixMultiply(&tmp, &t, &rx);
    plat::MatrixMultiply(&m, &tmp, &ry);
    m.m[3][0] += at.x;
    m.m[3][1] += at.y;
    m.m[3][2] += at.z;
    return m;
}

// A sprite at layout (x, y) scaled by (sx, sy), then the window's scale.
void Sprite(const TextureHandle& t, const plat::GfxRect* src, f32 x, f32 y, u32 colour, f32 sx = 1.0f, f32 sy = 1.0f)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!t.texture || !gd || !gd->sprite) return;
    const CApplication& app = *GetApplication();
    Mat4 m;
    plat::MatrixScaling(&m, sx * app.video.screenScaleX, sy * app.video.screenScaleY, 1.0f);
    m.m[3][0] = x * app.video.screenScaleX;
    m.m[3][1] = y * app.video.screenScaleY;
    gd->sprite->SetTransform(m);
    gd->sprite->Draw(t.texture, src ? src : &t.sourceRect, nullptr, nullptr, colour);
}

// A plain bar w x h at layout (x, y).
void Bar(f32 x, f32 y, f32 w, f32 h, u32 colour)
{
    const TextureHandle& dot = GetApplication()->sharedTextures[0];
    const i32 dw = dot.sourceRect.Width(), dh = dot.sourceRect.Height();
    if (dw <= 0 || dh <= 0 || w <= 0.0f) return;
    Sprite(dot, nullptr, x, y, colour, w / static_cast<f32>(dw), h / static_cast<f32>(dh));
}

// A gauge frame and its fill, which shrinks from the top as `f` (the spent share) grows.
void Gauge(const TextureHandle& frame, const TextureHandle& fill, f32 x, f32 spent)
{
    const f32 f = spent > 1.0f ? 1.0f : spent;
    Sprite(frame, nullptr, x, 100.0f, kPanel);
    const plat::GfxRect src{0, static_cast<i32>(600.0f * f), 28, 600};
    Sprite(fill, &src, x + 2.0f, 600.0f * f + 115.0f, kPanel);
}

f32 Share(i32 value, i32 max) { return max > 0 ? static_cast<f32>(value) / static_cast<f32>(max) : 0.0f; }

}  // namespace

void CShip::UpdateCamera()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    CApplication& app = *GetApplication();
    CCamera& camera = scene->camera;
    const Vec3 body = BodyPosition();
    const Vec3 w = Position();
    auto chase = [&](const Vec3& from, f32 back, f32 rise) {
        Vec3 v = aimOffset;
        v.y -= Vec3Length(aimOffset) / 4.0f + 1.0f;
        plat::Vec3Normalize(&v, &v);
        camera.world = LookAlong(from - v * back, v);
        camera.world.m[3][1] += rise;
    };
    switch (scene->cameraMode) {
    case 0:
        if (scene->freeCameraMode == 0) {
            chase(body, 30.0f, 5.8f);
        } else {
            if (KeyHeld(app, 'A')) freeCameraOffset.x -= 0.03f;
            if (KeyHeld(app, 'D')) freeCameraOffset.x += 0.03f;
            if (KeyHeld(app, 'W')) freeCameraOffset.y += 0.03f;
            if (KeyHeld(app, 'S')) freeCameraOffset.y -= 0.03f;
            if (KeyHeld(app, 'Z')) freeCameraOffset.z += 0.03f;
            if (KeyHeld(app, 'X')) freeCameraOffset.z -= 0.03f;
            if (KeyHeld(app, 0x26)) freeCameraPitch -= 1.0f;
            if (KeyHeld(app, 0x28)) freeCameraPitch += 1.0f;
            if (KeyHeld(app, 0x25)) freeCameraYaw -= 1.0f;
            if (KeyHeld(app, 0x27)) freeCameraYaw += 1.0f;
            Mat4 t, rx, ry, tmp;
            plat::MatrixTranslation(&t, freeCameraOffset.x, freeCameraOffset.y, freeCameraOffset.z);
            plat::MatrixRotationX(&rx, freeCameraPitch * kDegrees);
            plat::MatrixRotationY(&ry, freeCameraYaw * kDegrees);
            plat::MatrixMultiply(&tmp, &t, &rx);
            plat::MatrixMultiply(&camera.world, &tmp, &ry);
            camera.world.m[3][0] += body.x;
            camera.world.m[3][1] += body.y;
            camera.world.m[3][2] += body.z;
        }
        break;
    case 1: {
        // Free flight on the ship's own keys: left, up, right, down, jump,
        // shot, saber, guard, target change, sub 1.
        Vec3 move;
        if (KeyHeld(app, keyCodes[0])) move.x -= 0.3f;
        if (KeyHeld(app, keyCodes[2])) move.x += 0.3f;
        if (KeyHeld(app, keyCodes[1])) move.z += 0.3f;
        if (KeyHeld(app, keyCodes[3])) move.z -= 0.3f;
        if (KeyHeld(app, keyCodes[4])) move.y += 0.3f;
        if (KeyHeld(app, keyCodes[5])) move.y -= 0.3f;
        f32 yaw = 0.0f, pitch = 0.0f;
        if (KeyHeld(app, keyCodes[6])) yaw -= 1.0f;
        if (KeyHeld(app, keyCodes[7])) yaw += 1.0f;
        if (KeyHeld(app, keyCodes[8])) pitch -= 1.0f;
        if (KeyHeld(app, keyCodes[9])) pitch += 1.0f;
        Mat4 t, rx, ry, tmp, out;
        plat::MatrixTranslation(&t, move.x, move.y, move.z);
        plat::MatrixRotationY(&ry, yaw * kDegrees);
        plat::MatrixRotationX(&rx, pitch * kDegrees);
        plat::MatrixMultiply(&tmp, &rx, &ry);
        plat::MatrixMultiply(&out, &tmp, &t);
        plat::MatrixMultiply(&tmp, &out, &camera.world);
        camera.world = tmp;
        break;
    }
    case 2:
        chase(w, 5.0f, 1.8f);
        if (app.random.GetRand() % 800u == 0) scene->cameraMode = 3;
        break;
    case 3:
        camera.world = Orbit(20.0f, 0.3333f, scene->frameCount, w);
        if (app.random.GetRand() % 200u == 0) scene->cameraMode = 4;
        break;
    case 4:
        camera.world = Orbit(8.0f, -0.3333f, scene->frameCount, w);
        camera.world.m[3][1] += 1.8f;
        if (app.random.GetRand() % 200u == 0) {
            scene->cameraMode = 2;
            const u32 slot = app.random.GetRand() % 4u;
            if (slot < static_cast<u32>(scene->views.GetCount()) && scene->currentView &&
                static_cast<i32>(slot) < scene->robotTable.GetCount() && scene->robotTable[static_cast<i32>(slot)])
                scene->currentView->player = slot;
        }
        break;
    default:
        break;
    }
    if (scene->cameraShake > 0) {
        if (scene->cameraShake % 3 == 0) shakeFlip = shakeFlip ? 0 : 1;
        const f32 s = static_cast<f32>(scene->cameraShake) / 200.0f;
        camera.world.m[3][1] += shakeFlip ? s : -s;
        --scene->cameraShake;
    }
    camera.Apply();
}

void CShip::DrawInterface()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->interfaceTextures.IsCreated()) return;
    CApplication& app = *GetApplication();
    const auto& tex = scene->interfaceTextures;
    DrawLockOn();
    struct Arrow {
        i32 texture;
        f32 x, y;
    };
    static const Arrow arrows[4] = {{kTexArrowLeft, 0.0f, 352.0f},
                                    {kTexArrowUp, 480.0f, 0.0f},
                                    {kTexArrowRight, 960.0f, 352.0f},
                                    {kTexArrowDown, 480.0f, 704.0f}};
    for (i32 i = 0; i < 4; ++i)
        if (statusFlags[i]) Sprite(tex[arrows[i].texture], nullptr, arrows[i].x, arrows[i].y, statusFlags[i] == 1 ? kYellow : kRed);
    Gauge(tex[kTexGeneratorGauge], tex[kTexEnergyGauge], 30.0f, 1.0f - Share(boostGauge, boostGaugeMax));
    Gauge(tex[kTexGeneratorGauge], tex[kTexEnergyGauge2], 70.0f, 1.0f - Share(energy, energyMax));
    const plat::GfxRect hpSource{0, 0, 313, 129};
    Sprite(tex[kTexHp], &hpSource, 8.0f, 638.0f, kWhite);
    DrawNumber(app, hp, 154.0f, 650.0f, 1.0f, -10, 0xC8FF742Fu);
    Sprite(tex[kTexExtW], nullptr, 196.0f, 742.0f, kWhite);
    struct Cooldown {
        i32 group;
        f32 x, y;
    };
    static const Cooldown bars[4] = {{0, 32.0f, 737.0f}, {2, 32.0f, 759.0f}, {3, 119.0f, 737.0f}, {4, 119.0f, 759.0f}};
    for (const Cooldown& c : bars) {
        Bar(c.x, c.y, 50.0f, 4.0f, kYellow);
        Bar(c.x, c.y, static_cast<f32>(weaponCooldown[c.group]) / 20.0f, 4.0f, kRed);
    }
    const plat::GfxRect windowSource{0, 0, 256, 90};
    Sprite(tex[kTexWindow], &windowSource, 10.0f, 10.0f, kWhite);
    char text[32];
    std::snprintf(text, sizeof text, "%02d", static_cast<i32>(kills));
    DrawDigitString(app, text, -1, 18.0f, 34.0f, 0.8f, -10, kPanel);
    std::snprintf(text, sizeof text, "%09d", score);
    DrawDigitString(app, text, -1, 90.0f, 34.0f, 0.5f, -10, kPanel);
}

void CShip::DrawLockOn()
{
    CGameScene* scene = FindGameScene();
    if (!lockTarget || lockTarget->screenPos.z <= 0.0f || !scene || !scene->interfaceTextures.IsCreated()) return;
    CApplication& app = *GetApplication();
    const auto& tex = scene->interfaceTextures;
    const f32 x = lockTarget->screenPos.x, y = lockTarget->screenPos.y;
    u32 colour = kRed;
    if (lockTarget->GetKind() == kKindRobot && static_cast<CRobot_Normal*>(lockTarget)->hitImmunity != 0) colour = kYellow;
    Sprite(tex[kTexLock], nullptr, x - 64.0f * hudFade, y - 64.0f * hudFade, colour, hudFade, hudFade);
    if (hudFade < 1.0f) {
        const f32 ring = 6.0f - 5.0f * hudFade;
        Sprite(tex[kTexLock2], nullptr, x - 64.0f * ring, y - 64.0f * ring, colour, ring, ring);
    }
    GraphicsDevice* gd = GetGraphicsDevice();
    TextureCache* cache = GetTextureCache();
    if (gd && cache) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2fm", static_cast<double>(Vec3Length(aimOffset) * 10.0f));
        const i32 ix = static_cast<i32>(x), iy = static_cast<i32>(y);
        const plat::GfxRect distanceRect{ix + 36, iy + 10, 1024, 768};
        cache->DrawTextDefault(gd->fonts[0], text, -1, &distanceRect, 0, kGreen);
        const plat::GfxRect nameRect{ix - 16, iy - 55, app.video.screenWidth, app.video.screenHeight};
        cache->DrawTextDefault(gd->fonts[0], lockTarget->displayName, -1, &nameRect, 0, kWhite);
    }
    Bar(x - 16.0f, y - 40.0f, 100.0f, 4.0f, kRed);
    Bar(x - 16.0f, y - 40.0f, lockTarget->HpFraction() * 100.0f, 4.0f, kGreen);
}
