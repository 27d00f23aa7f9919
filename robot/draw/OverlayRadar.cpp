// The radar in the top right corner: frame, stage walls and lock lines in the
// 3D pass, blips in the sprite pass.
#include <cmath>

#include "app/core/Application.h"
#include "app/scene/SceneDevice.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/draw/Overlay.h"

namespace {

constexpr f32 kRadarX = 908.0f, kRadarY = 110.0f;
constexpr i32 kRadarPicture = 10;  // "l.png"; the blip is its corner (201, 0)-(206, 5)

Vec3 Translation(const Mat4& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }

bool CanDraw()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    return gd->device && gd->sprite && FindGameScene();
}

}  // namespace

RadarPoint ProjectToRadar(const CRobot_Normal& watcher, const Vec3& point)
{
    Vec3 f{watcher.forward.x, 0.0f, watcher.forward.z};
    if (plat::Vec3LengthSq(&f) > 0.0f) plat::Vec3Normalize(&f, &f);
    const Vec3 origin = watcher.frameBodyD ? Translation(watcher.frameBodyD->world) : Translation(watcher.worldMatrix);
    const Vec3 d = point - origin;
    RadarPoint p;
    p.ahead = plat::Vec3Dot(&f, &d);
    p.right = plat::Vec3Dot(&watcher.side, &d);
    return p;
}

void CRobot_Normal::DrawRadar()
{
    if (!CanDraw()) return;
    CGameScene& scene = *FindGameScene();
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* device = gd->device;
    device->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterPoint);
    device->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterPoint);
    device->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterNone);
    plat::GfxViewport saved;
    device->GetViewport(&saved);
    const f32 sx = static_cast<f32>(saved.width) / 1024.0f, sy = static_cast<f32>(saved.height) / 768.0f;
    plat::GfxViewport radar;
    radar.x = saved.x + static_cast<u32>(sx * 808.0f);
    radar.y = saved.y + static_cast<u32>(sy * 10.0f);
    radar.width = static_cast<u32>(sx * 200.0f);
    radar.height = static_cast<u32>(sy * 200.0f);
    device->SetViewport(radar);
    const f32 x0 = static_cast<f32>(saved.x), y0 = static_cast<f32>(saved.y);
    if (scene.interfaceTextures.IsCreated()) {
        TextureHandle& frame = scene.interfaceTextures[kRadarPicture];
        if (frame.texture)
            frame.DrawScreenQuadUV(x0 + sx * 808.0f, y0 + sy * 10.0f, sx * 200.0f, sy * 200.0f, 0.0f, 0.0f, 200.0f,
                                   200.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    }
    auto at = [&](const RadarPoint& p, f32 inset, f32* x, f32* y) {
        *x = x0 + (kRadarX + p.right - inset) * sx;
        *y = y0 + (kRadarY - p.ahead - inset) * sy;
    };
    if (const MeshObject* walls = scene.battleMap.areaHitMesh; walls && walls->triangles) {
        // The wall mesh is centred on the stage's middle.
        const Vec3 shift{1500.0f, 0.0f, 1500.0f};
        for (u32 i = 0; i < walls->faceCount; ++i) {
            const CollisionTriangle& t = walls->triangles[i];
            if (t.normal.y < -0.01f || t.normal.y > 0.01f) continue;
            f32 x[3], y[3];
            const Vec3 corners[3] = {t.P0, t.P1, t.P2};
            for (i32 k = 0; k < 3; ++k) at(ProjectToRadar(*this, corners[k] + shift), 2.0f, &x[k], &y[k]);
            for (i32 k = 0; k < 3; ++k)
                gd->DrawLine2DGradient(x[k], y[k], x[(k + 1) % 3], y[(k + 1) % 3], 0xFFFF0000u, 0xFFFF0000u);
        }
    }
    CList<BB_Base>& units = scene.unitList;
    for (BB_Base* o = units.GetHead()->next; o && o != units.GetTail(); o = o->next) {
        if (!IsUnit(o)) continue;
        auto* unit = static_cast<CRobot_Base*>(o);
        if (unit->state != kRobotStateLive || !unit->lockTarget) continue;
        if (tacticalRules == 1 &&
            (unit->GetKind() != kKindRobot || static_cast<CRobot_Normal*>(unit)->attackKind == 0))
            continue;
        const Mat4* from = unit->GetTargetMatrix();
        const Mat4* to = unit->lockTarget->GetTargetMatrix();
        if (!from || !to) continue;
        f32 ax, ay, bx, by;
        at(ProjectToRadar(*this, Translation(*from)), 0.0f, &ax, &ay);
        at(ProjectToRadar(*this, Translation(*to)), 0.0f, &bx, &by);
        const u32 colour = CApplication::GetColor(unit->displayTeam);
        gd->DrawLine2DGradient(ax, ay, bx, by, colour, (colour & 0x00FFFFFFu) | 0x40000000u);
    }
    device->SetViewport(saved);
    device->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterLinear);
    device->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterLinear);
    device->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterLinear);
}

void CRobot_Normal::DrawRadarMarkers()
{
    if (!CanDraw()) return;
    CGameScene& scene = *FindGameScene();
    if (!scene.interfaceTextures.IsCreated() || !scene.interfaceTextures[kRadarPicture].texture) return;
    GraphicsDevice* gd = GetGraphicsDevice();
    // The blips sit on the frame the 3D pass drew in this view.
    const Mat4 screen = LayoutToScreen();
    plat::GfxTexture* picture = scene.interfaceTextures[kRadarPicture].texture;
    const plat::GfxRect blip{201, 0, 206, 5};
    CList<BB_Base>& units = scene.unitList;
    for (BB_Base* o = units.GetHead()->next; o && o != units.GetTail(); o = o->next) {
        if (!IsUnit(o)) continue;
        auto* unit = static_cast<CRobot_Base*>(o);
        if (unit->state != kRobotStateLive) continue;
        const bool friendly = unit->team == team;
        // Under tactical rules an enemy shows only while it attacks.
        if (tacticalRules == 1 && !friendly &&
            (unit->GetKind() != kKindRobot || static_cast<CRobot_Normal*>(unit)->attackKind == 0))
            continue;
        const Mat4* point = unit->GetTargetMatrix();
        if (!point) continue;
        const RadarPoint p = ProjectToRadar(*this, Translation(*point));
        if (!p.Inside()) continue;
        Mat4 m, placed;
        if (friendly) {
            plat::MatrixScaling(&m, 1.5f, 1.5f, 1.0f);
            m.m[3][0] = kRadarX + p.right - 3.0f;
            m.m[3][1] = kRadarY - p.ahead - 3.0f;
            plat::MatrixMultiply(&placed, &m, &screen);
            gd->sprite->SetTransform(placed);
            gd->sprite->Draw(picture, &blip, nullptr, nullptr, 0x80FFFFFFu);
        }
        plat::MatrixTranslation(&m, kRadarX + p.right - 2.0f, kRadarY - p.ahead - 2.0f, 0.0f);
        plat::MatrixMultiply(&placed, &m, &screen);
        gd->sprite->SetTransform(placed);
        gd->sprite->Draw(picture, &blip, nullptr, nullptr, CApplication::GetColor(unit->displayTeam));
    }
}
