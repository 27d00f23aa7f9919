#include "battle/tasks/RenderPasses.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <type_traits>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/Shaders.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/WeaponBase.h"

namespace {

plat::GfxDevice* Device() { return GetGraphicsDevice()->device; }

void SetState(plat::GfxRenderState state, u32 value)
{
    if (plat::GfxDevice* device = Device()) device->SetRenderState(state, value);
}

void SetMipBias(f32 bias)
{
    if (plat::GfxDevice* device = Device())
        device->SetSamplerState(0, plat::GfxSamplerState::MipMapLodBias, plat::GfxFloatBits(bias));
}

void SetCurrentViewport(const CGameScene& scene)
{
    plat::GfxDevice* device = Device();
    if (device && scene.currentView) device->SetViewport(scene.currentView->viewport);
}

bool ShadowsOn(const CGameScene& scene) { return scene.shadowOn != 0; }

bool HdrOn() { return GetApplication()->video.hdr != 0 && GetApplication()->video.disableShader == 0; }

// The scene's shadow range: how far from the camera the shadow map reaches.
float ShadowRange()
{
    const u8 setting = GetApplication()->video.shadow;
    return setting == 3 ? 80.0f : setting == 4 ? 160.0f : 40.0f;
}

// Grid position under a world point, truncating toward zero like every
// other grid lookup; the camera may stand outside the grid.
void CellOf(const BattleMap& map, const Vec3& p, i32* column, i32* row)
{
    const f32 size = map.cellSize > 0.0f ? map.cellSize : 1.0f;
    // Far off (or not a number) is outside the grid; the cast would overflow.
    auto cell = [](f32 v) { return v > -1e6f && v < 1e6f ? static_cast<i32>(v) : -1; };
    *column = cell(p.x / size);
    *row = cell(p.z / size);
}

// Every unit of the robot list that is a robot or a ship and is not
// skipped, with the pass given.
template <class Pass>
void ForEachUnit(CGameScene& scene, Pass pass)
{
    CList<BB_Base>& list = scene.unitList;
    if (!list.GetHead()) return;
    for (BB_Base* o = list.GetHead()->next; o && o != list.GetTail(); o = o->next) {
        if (o->Removed) continue;
        const i32 kind = o->GetKind();
        if (kind >= kKindRobotBase && kind <= kKindShip) pass(static_cast<CRobot_Base*>(o));
    }
}

void DrawList(CList<BB_Base>& list)
{
    if (!list.GetHead()) return;
    for (BB_Base* o = list.GetHead()->next; o && o != list.GetTail(); o = o->next)
        if (!o->Removed) o->Draw();
}

template <class Pass>
void ForEachXFile(CGameScene& scene, Pass pass)
{
    CList<LazerXDrawNode>& list = scene.laserDrawList;
    if (!list.GetHead()) return;
    for (LazerXDrawNode* n = list.GetHead()->next; n && n != list.GetTail(); n = n->next)
        if (auto* weapon = dynamic_cast<LZ_Basic*>(n->object)) pass(weapon);
}

// The near and far distances of the scene's frustum, put back when the
// pass that narrowed them ends.
class FrustumRange {
public:
    explicit FrustumRange(ViewFrustum& f) : f_(f), near_(f.nearDist), far_(f.farDist) {}
    ~FrustumRange()
    {
        f_.nearDist = near_;
        f_.farDist = far_;
    }
    FrustumRange(const FrustumRange&) = delete;
    FrustumRange& operator=(const FrustumRange&) = delete;

private:
    ViewFrustum& f_;
    f32 near_, far_;
};

void SetAlphaTest(bool on)
{
    if (on)
        SetAlphaTestState(1, 200, plat::CmpGreaterEqual);
    else
        SetAlphaTestState(0, 200, plat::CmpGreaterEqual);
}

}  // namespace

void SetAlphaTestState(u32 enable, u32 reference, u32 function)
{
    SetState(plat::GfxRenderState::AlphaTestEnable, enable);
    SetState(plat::GfxRenderState::AlphaRef, reference);
    SetState(plat::GfxRenderState::AlphaFunc, function);
}

CRobot_Base* WatchedRobot(const CGameScene& scene)
{
    if (!scene.currentView) return nullptr;
    const u32 slot = scene.currentView->player;
    if (slot >= static_cast<u32>(scene.robotTable.GetCount())) return nullptr;
    return scene.robotTable[static_cast<i32>(slot)];
}

// ---- fog ---------------------------------------------------------------------

void BattleFog(const CGameScene& scene, const Vec3& watched, f32* start, f32* end, u32* colour)
{
    const BattleMap& map = scene.battleMap;
    const f32 r = static_cast<f32>(map.viewRadius);
    // A robot off the grid stands in no water.
    const MapCell* cell = const_cast<BattleMap&>(map).CellAt(watched.x, watched.z);
    if (cell && scene.camera.world.m[3][1] < cell->waterY) {
        *start = 0.0f;
        *end = r * 5.0f;
        *colour = kUnderwaterFogColour;
    } else {
        *start = r * map.cellSize * 0.6f;
        *end = r * map.cellSize;
        *colour = map.fogColor;
    }
}

void GMTCB_SetFog::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    CRobot_Base* robot = WatchedRobot(*scene);
    if (!robot) return;
    const Mat4* m = robot->GetMatrix();
    if (!m) return;
    f32 start = 0.0f, end = 0.0f;
    u32 colour = 0;
    BattleFog(*scene, Vec3(m->m[3][0], m->m[3][1], m->m[3][2]), &start, &end, &colour);
    GetGraphicsDevice()->SetVertexFog(start, end, colour);
    SetEffectFog(start, end, colour);
}

void SetEffectFog(f32 start, f32 end, u32 colour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    // The effects take the fog as factor = x + y * distance; a stage seen
    // from nowhere (radius 0) has no range to fade over and gets none.
    const f32 span = end - start;
    const float fog[2] = {span > 0.0f ? end / span : 1.0f, span > 0.0f ? -1.0f / span : 0.0f};
    const float fogColour[4] = {static_cast<f32>((colour >> 16) & 0xFF) / 255.0f,
                                static_cast<f32>((colour >> 8) & 0xFF) / 255.0f,
                                static_cast<f32>(colour & 0xFF) / 255.0f, 1.0f};
    for (ShaderBase* effect : gd->effects) {
        if (!effect) continue;
        effect->SetFog(fog);
        if (effect->effect) effect->effect->SetValue("FogColor", fogColour, sizeof fogColour);
    }
}

// ---- shadow map --------------------------------------------------------------

void GMTCB_BeginSHADOWState::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !ShadowsOn(*scene)) return;
    const CApplication& app = *GetApplication();
    GetShaderShadowMap()->BeginShadowPass(scene->camera.world, scene->camera.view,
                                          static_cast<f32>(app.video.screenWidth),
                                          static_cast<f32>(app.video.screenHeight), 45.0f, 0.1f, ShadowRange(),
                                          scene->battleMap.lightDir);
    SetState(plat::GfxRenderState::CullMode, plat::CullCW);
}

void GMTCB_DrawCharaShadow::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !ShadowsOn(*scene)) return;
    ForEachUnit(*scene, [](CRobot_Base* r) { r->DrawShadow(); });
}

void GMTCB_DrawMapShadow::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !ShadowsOn(*scene)) return;
    BattleMap& map = scene->battleMap;
    Shader_ShadowMap* sh = GetShaderShadowMap();
    if (!sh->effect || !map.cells) return;
    i32 cx = 0, cz = 0;
    CellOf(map, scene->Eye(), &cx, &cz);
    ViewFrustum& frustum = scene->frustum;
    FrustumRange keep(frustum);
    frustum.nearDist = -5.0f;
    frustum.farDist = 30.0f;
    for (i32 g = 0; g < kMapDrawGroups; ++g) {
        for (i32 row = cz - 2; row <= cz + 2; ++row) {
            for (i32 column = cx - 2; column <= cx + 2; ++column) {
                MapCell* cell = map.GetCell(column, row);
                if (!cell || cell->drawGroups[g].empty()) continue;
                if (frustum.TestBox(cell->drawMin, cell->drawMax) == -1) continue;
                for (CMapObjNode* o : cell->drawGroups[g]) {
                    const i32 shadowFlag = o->GetInt(kMapVarShadowFlag);
                    if (shadowFlag == 0) continue;
                    sh->effect->SetTechnique(shadowFlag == 1 ? sh->hShadowMap : sh->hShadowMapAlphaTest);
                    if (o->partIndex >= map.parts.GetCount()) continue;
                    MapPartData& part = map.parts[o->partIndex];
                    if (!part.drawMesh || o->GetInt(kMapVarFlag) == 2) continue;
                    if (frustum.TestBox(o->drawMin, o->drawMax) == -1) continue;
                    sh->SetWorldMatrix(&o->matrix);
                    sh->SetWorld(&o->matrix);
                    if (part.materialSource < 0) {
                        part.drawMesh->DrawShader(sh);
                    } else if (part.materialSource < map.parts.GetCount()) {
                        MeshObject* source = map.parts[part.materialSource].drawMesh.get();
                        if (source) part.drawMesh->DrawMeshObjectShader(sh, source);
                    }
                }
            }
        }
    }
}

void GMTCB_EndSHADOWState::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !ShadowsOn(*scene)) return;
    GetShaderShadowMap()->EndShadowPass();
    SetState(plat::GfxRenderState::CullMode, plat::CullCCW);
    SetCurrentViewport(*scene);
}

// ---- sky, robots, map ----------------------------------------------------------

namespace {

// The device states the sky is drawn under wherever it is drawn.
constexpr plat::GfxRenderState kSkyStates[] = {
    plat::GfxRenderState::AlphaBlendEnable, plat::GfxRenderState::SrcBlend, plat::GfxRenderState::DestBlend,
    plat::GfxRenderState::BlendOp,          plat::GfxRenderState::ZEnable,  plat::GfxRenderState::ZFunc,
    plat::GfxRenderState::CullMode,
};
static_assert(std::size(kSkyStates) == std::extent_v<decltype(CGameScene::skyStates)>);

void DrawSky(CGameScene& scene)
{
    SetState(plat::GfxRenderState::Lighting, 0);
    SetState(plat::GfxRenderState::FogEnable, 0);
    scene.battleMap.sky.SetWorld();
    scene.battleMap.sky.Draw();
    SetState(plat::GfxRenderState::Lighting, 1);
    SetState(plat::GfxRenderState::FogEnable, 1);
}

// Draws a waiting sky under the states the sky pass saw, then puts back
// the states the pass in progress had.
void DrawPendingSky(CGameScene& scene)
{
    if (!scene.skyPending) return;
    scene.skyPending = false;
    plat::GfxDevice* device = Device();
    if (!device) return;
    using RS = plat::GfxRenderState;
    constexpr RS kTouched[] = {RS::AlphaTestEnable, RS::Lighting, RS::FogEnable, RS::ZWriteEnable};
    u32 kept[std::size(kSkyStates) + std::size(kTouched)];
    u32 n = 0;
    for (RS s : kSkyStates) kept[n++] = device->RenderState(s);
    for (RS s : kTouched) kept[n++] = device->RenderState(s);
    u32 bias = 0;
    device->GetSamplerState(0, plat::GfxSamplerState::MipMapLodBias, &bias);
    for (u32 i = 0; i < std::size(kSkyStates); ++i) SetState(kSkyStates[i], scene.skyStates[i]);
    SetState(RS::AlphaTestEnable, 0);
    SetState(RS::ZWriteEnable, 1);
    SetMipBias(0.0f);
    DrawSky(scene);
    n = 0;
    for (RS s : kSkyStates) SetState(s, kept[n++]);
    for (RS s : kTouched) SetState(s, kept[n++]);
    device->SetSamplerState(0, plat::GfxSamplerState::MipMapLodBias, bias);
}

// Before a draw that would not hide the sky wholly behind it, the sky goes
// first, as the pass order has it. drawsOpaque is asked only while the sky
// waits.
template <class Opaque>
void SkyBefore(CGameScene& scene, Opaque drawsOpaque)
{
    if (scene.skyPending && !(drawsOpaque() && DrawStateHidesBehind(Device()))) DrawPendingSky(scene);
}

}  // namespace

void GMTCB_DrawSkyDome::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    // Most of the sky ends up behind the ground: when the sky and the draws
    // before it are opaque, drawing it after them gives the same picture and
    // skips the pixels they cover.
    scene->skyPending = false;
    const MeshObject* mesh = scene->battleMap.sky.mesh;
    plat::GfxDevice* device = Device();
    if (mesh && mesh->DrawsOpaque() && DrawStateHidesBehind(device)) {
        for (u32 i = 0; i < std::size(kSkyStates); ++i) scene->skyStates[i] = device->RenderState(kSkyStates[i]);
        scene->skyPending = true;
        SetState(plat::GfxRenderState::Lighting, 1);
        SetState(plat::GfxRenderState::FogEnable, 1);
        return;
    }
    DrawSky(*scene);
}

void GMTCB_DrawChara::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    SetMipBias(-1.0f);
    ForEachUnit(*scene, [scene](CRobot_Base* r) {
        SkyBefore(*scene, [r] { return r->DrawsOpaque(); });
        r->Draw();
    });
    SetMipBias(0.0f);
}

namespace {

// One map object of the colour pass, after its culling.
void DrawMapObject(CGameScene& scene, BattleMap& map, CMapObjNode* o, MapPartData& part, bool nearCamera)
{
    Shader_ShadowMap* sh = GetShaderShadowMap();
    const bool shadowed = nearCamera && ShadowsOn(scene) && sh->effect && o->GetInt(kMapVarShadowDrawFlag) != 0;
    if (part.materialSource < 0) {
        const i32 drawMode = o->GetInt(kMapVarDrawMode);
        if (shadowed) {
            sh->SetWorldMatrix(&o->matrix);
            if (drawMode == 0) {
                sh->SetWorld(&o->matrix);
                part.drawMesh->DrawShader(sh);
            } else if (drawMode == 1) {
                static_cast<const Matrix&>(static_cast<const Mat4&>(o->matrix)).SetBillboardWorld(scene.camera.world);
                part.drawMesh->Draw();
            }
        } else if (drawMode == 0) {
            static_cast<const Matrix&>(static_cast<const Mat4&>(o->matrix)).SetWorldTransform();
            part.drawMesh->Draw();
        } else if (drawMode == 1) {
            static_cast<const Matrix&>(static_cast<const Mat4&>(o->matrix)).SetBillboardWorld(scene.camera.world);
            part.drawMesh->Draw();
        }
        return;
    }
    if (part.materialSource >= map.parts.GetCount()) return;
    MeshObject* source = map.parts[part.materialSource].drawMesh.get();
    if (!source) return;
    if (shadowed) {
        sh->SetWorldMatrix(&o->matrix);
        sh->SetWorld(&o->matrix);
        part.drawMesh->DrawMeshObjectShader(sh, source);
    } else {
        static_cast<const Matrix&>(static_cast<const Mat4&>(o->matrix)).SetWorldTransform();
        part.drawMesh->DrawMeshObject(source);
    }
}

bool MapObjectDrawsOpaque(BattleMap& map, const MapPartData& part)
{
    if (part.materialSource < 0) return part.drawMesh->DrawsOpaque();
    if (part.materialSource >= map.parts.GetCount()) return true;
    const MeshObject* source = map.parts[part.materialSource].drawMesh.get();
    return !source || part.drawMesh->DrawsOpaque(source);
}

// Whether the object stands between the watched robot and the camera: the
// ray from the robot to the camera meets its mesh nearer than the camera.
bool HidesWatchedRobot(const CMapObjNode* o, MeshObject* mesh, const Vec3& robot, const Vec3& eye)
{
    Vec3 dir(eye.x - robot.x, eye.y - robot.y, eye.z - robot.z);
    const f32 distance = plat::Vec3Length(&dir);
    if (distance <= 0.0f) return false;
    plat::Vec3Normalize(&dir, &dir);
    Vec3 localOrigin, localDir;
    plat::Vec3TransformCoord(&localOrigin, &robot, &o->inverse);
    plat::Vec3TransformNormal(&localDir, &dir, &o->inverse);
    f32 hit = 0.0f;
    u32 face = 0;
    return mesh->IntersectRay(&localOrigin, &localDir, &hit, &face) && hit < distance;
}

}  // namespace

void GMTCB_DrawMap::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    // The sky waits no longer than this pass: what follows may blend over it.
    struct SkyAtEnd {
        CGameScene& scene;
        ~SkyAtEnd() { DrawPendingSky(scene); }
    } skyAtEnd{*scene};
    BattleMap& map = scene->battleMap;
    if (!map.cells) return;
    i32 cx = 0, cz = 0;
    const Vec3 eye = scene->Eye();
    CellOf(map, eye, &cx, &cz);
    SetMipBias(scene->mapDetailBias);
    // Last frame's transparent objects go; the list itself stays.
    if (!map.alphaList.GetHead()) map.alphaList.Init();
    while (map.alphaList.GetHead()->next != map.alphaList.GetTail()) map.alphaList.Erase(map.alphaList.GetHead()->next);
    if (ShadowsOn(*scene)) GetShaderShadowMap()->BeginSceneTechnique(0.001f, 0.3f);

    // The box spanned by the watched robot and the camera: only cells
    // whose hit boxes reach into it can hide the robot.
    Vec3 robot = eye;
    if (CRobot_Base* watched = WatchedRobot(*scene)) {
        if (const Mat4* m = watched->GetMatrix()) robot = Vec3(m->m[3][0], m->m[3][1], m->m[3][2]);
    }
    const Vec3 occluderMin(std::min(robot.x, eye.x), std::min(robot.y, eye.y), std::min(robot.z, eye.z));
    const Vec3 occluderMax(std::max(robot.x, eye.x), std::max(robot.y, eye.y), std::max(robot.z, eye.z));
    const i32 r = map.viewRadius;
    const f32 k = static_cast<f32>(r) / 5.0f;
    ViewFrustum& frustum = scene->frustum;
    FrustumRange keep(frustum);
    const f32 cellFar = static_cast<f32>(r) * map.cellSize;

    for (i32 g = 0; g < kMapDrawGroups; ++g) {
        for (i32 row = cz - (r + 1); row <= cz + r + 1; ++row) {
            for (i32 column = cx - (r + 1); column <= cx + r + 1; ++column) {
                MapCell* cell = map.GetCell(column, row);
                if (!cell) {
                    SetState(plat::GfxRenderState::Lighting, 1);
                    SetState(plat::GfxRenderState::ZWriteEnable, 1);
                    continue;
                }
                if (cell->drawGroups[g].empty()) continue;
                frustum.farDist = cellFar;
                if (frustum.TestBox(cell->drawMin, cell->drawMax) == -1) {
                    SetState(plat::GfxRenderState::Lighting, 1);
                    SetState(plat::GfxRenderState::ZWriteEnable, 1);
                    continue;
                }
                const bool nearCamera = std::abs(cx - column) <= 1 && std::abs(cz - row) <= 1;
                for (CMapObjNode* o : cell->drawGroups[g]) {
                    if (o->partIndex >= map.parts.GetCount()) continue;
                    MapPartData& part = map.parts[o->partIndex];
                    if (!part.drawMesh || o->GetInt(kMapVarFlag) == 2) continue;
                    frustum.farDist = o->GetFloat(kMapVarCullFar) * k;
                    bool visible;
                    if (o->GetInt(kMapVarCullMode) == 0) {
                        visible = frustum.TestBox(o->drawMin, o->drawMax) != -1;
                    } else {
                        const MeshObject& m = *part.drawMesh;
                        visible = frustum.TestSphere(o->matrix.m[3][0] + m.sphereCentre.x,
                                                     o->matrix.m[3][1] + m.sphereCentre.y,
                                                     o->matrix.m[3][2] + m.sphereCentre.z, m.sphereRadius) == 1;
                    }
                    if (!visible) continue;
                    if (o->GetInt(kMapVarCamAlpha) == 1 &&
                        BoxesOverlap(cell->hitMin, cell->hitMax, occluderMin, occluderMax) &&
                        HidesWatchedRobot(o, part.drawMesh.get(), robot, eye)) {
                        if (MapAlphaObjNode* a = map.alphaList.NewNodeFront(1)) {
                            a->column = column;
                            a->row = row;
                            a->cell = cell;
                            a->object = o;
                            continue;
                        }
                    }
                    SetAlphaTest(o->GetInt(kMapVarAlphaTestFlag) == 1);
                    const i32 light = o->GetInt(kMapVarLightEnable);
                    if (light == 0 || light == 1) SetState(plat::GfxRenderState::Lighting, static_cast<u32>(light));
                    const i32 zwrite = o->GetInt(kMapVarZWriteEnable);
                    if (zwrite == 0 || zwrite == 1)
                        SetState(plat::GfxRenderState::ZWriteEnable, static_cast<u32>(zwrite));
                    SkyBefore(*scene, [&map, &part] { return MapObjectDrawsOpaque(map, part); });
                    DrawMapObject(*scene, map, o, part, nearCamera);
                }
                SetState(plat::GfxRenderState::Lighting, 1);
                SetState(plat::GfxRenderState::ZWriteEnable, 1);
            }
        }
    }
    SetAlphaTest(false);
    SetMipBias(0.0f);
}

void GMTCB_DrawAlphaBuild::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    BattleMap& map = scene->battleMap;
    CList<MapAlphaObjNode>& list = map.alphaList;
    if (!list.GetHead()) return;
    Shader_ShadowMap* sh = GetShaderShadowMap();
    const bool shadows = ShadowsOn(*scene) && sh->effect;
    if (shadows) sh->BeginSceneTechnique(0.001f, 0.3f);
    SetState(plat::GfxRenderState::AlphaBlendEnable, 1);
    for (MapAlphaObjNode* a = list.GetHead()->next; a && a != list.GetTail(); a = a->next) {
        CMapObjNode* o = a->object;
        if (!o || o->partIndex >= map.parts.GetCount()) continue;
        MapPartData& part = map.parts[o->partIndex];
        if (!part.drawMesh) continue;
        MeshObject* source = part.drawMesh.get();
        if (part.materialSource >= 0) {
            source = part.materialSource < map.parts.GetCount() ? map.parts[part.materialSource].drawMesh.get()
                                                                : nullptr;
            if (!source) continue;
        }
        SetAlphaTest(o->GetInt(kMapVarAlphaTestFlag) == 1);
        if (shadows && o->GetInt(kMapVarShadowDrawFlag) != 0) {
            sh->SetWorldMatrix(&o->matrix);
            sh->SetWorld(&o->matrix);
            part.drawMesh->DrawMeshObjectShaderAlpha(sh, source, 0.5f);
        } else {
            static_cast<const Matrix&>(static_cast<const Mat4&>(o->matrix)).SetWorldTransform();
            part.drawMesh->DrawMeshObjectAlpha(source, 0.5f);
        }
    }
    SetAlphaTest(false);
}

// ---- X-file weapons ------------------------------------------------------------

void GMTCB_DrawLaserXFile::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    ForEachXFile(*scene, [](LZ_Basic* w) { w->DrawXFile(); });
}

// ---- glow ----------------------------------------------------------------------

namespace {

// The frustum's far distance while the glow pass narrows it; set by the
// pass's begin task and put back by its end task (main thread only).
struct {
    bool active = false;
    f32 far = 0.0f;
} hdrPass;

}  // namespace

void GMTCB_BeginHDRState::Draw()
{
    CGameScene* scene = FindGameScene();
    plat::GfxDevice* device = Device();
    if (!scene || !device || !HdrOn() || !scene->hdrTarget.surface) return;
    device->SetRenderTarget(0, scene->hdrTarget.surface);
    SetCurrentViewport(*scene);
    device->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);
    device->SetTexture(0, nullptr);
    SetState(plat::GfxRenderState::AlphaBlendEnable, 0);
    SetState(plat::GfxRenderState::ZWriteEnable, 0);
    // Only what is near enough to glow is drawn into the glow picture.
    hdrPass.active = true;
    hdrPass.far = scene->frustum.farDist;
    scene->frustum.farDist = 30.0f;
}

void GMTCB_DrawCharaHDR::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !HdrOn()) return;
    ForEachUnit(*scene, [](CRobot_Base* r) { r->DrawHDR(); });
}

void GMTCB_DrawLaserXFileHDR::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !HdrOn()) return;
    ForEachXFile(*scene, [](LZ_Basic* w) { w->DrawXFileHDR(); });
}

void GMTCB_EndHDRState::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !HdrOn() || !hdrPass.active) return;
    hdrPass.active = false;
    scene->frustum.farDist = hdrPass.far;
    GetGraphicsDevice()->RestoreRenderTarget();
    const plat::GfxViewport& vp = scene->currentView->viewport;
    GetShaderBloom()->DrawBloom(&scene->hdrTarget, static_cast<f32>(vp.x), static_cast<f32>(vp.y),
                                static_cast<f32>(vp.width), static_cast<f32>(vp.height));
    SetCurrentViewport(*scene);
    SetState(plat::GfxRenderState::AlphaBlendEnable, 1);
}

void GMTCB_DrawHDRTex::Draw()
{
    CGameScene* scene = FindGameScene();
    plat::GfxDevice* device = Device();
    if (!scene || !device || !HdrOn() || !scene->currentView) return;
    if (scene->currentView != &scene->views[static_cast<i32>(scene->lastActiveView)]) return;
    TextureHandle* glow = GetShaderBloom()->BloomResult();
    if (!glow || !glow->texture) return;
    const plat::GfxViewport& full = scene->fullView.viewport;
    device->SetViewport(full);
    DrawGlowResult(static_cast<f32>(full.x), static_cast<f32>(full.y), static_cast<f32>(full.width),
                   static_cast<f32>(full.height));
    SetCurrentViewport(*scene);
}

void DrawGlowResult(f32 x, f32 y, f32 width, f32 height)
{
    TextureHandle* glow = GetShaderBloom()->BloomResult();
    plat::GfxDevice* device = Device();
    if (!glow || !glow->texture || !device) return;
    SetState(plat::GfxRenderState::FogEnable, 0);
    SetAddBlend();
    // The glow lies over everything already: a depth test would pass at
    // every pixel and only cost the fill.
    u32 depthTest = 1;
    device->GetRenderState(plat::GfxRenderState::ZEnable, &depthTest);
    SetState(plat::GfxRenderState::ZEnable, 0);
    glow->DrawScreenQuad(x, y, width, height, 1.0f, 1.0f, 1.0f, 1.0f);
    SetState(plat::GfxRenderState::ZEnable, depthTest);
    device->SetTexture(0, nullptr);
    SetAlphaBlend();
    SetState(plat::GfxRenderState::FogEnable, 1);
}

// ---- area wall -----------------------------------------------------------------

void GMTCB_DrawAreaWall::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || scene->battleEnd != 0 || (scene->displayFlags & 4) != 0) return;
    // A stage without a boundary mesh has no wall to draw.
    MeshObject* wall = scene->battleMap.areaHitMesh;
    if (!wall) return;
    SetState(plat::GfxRenderState::Lighting, 0);
    SetState(plat::GfxRenderState::FogEnable, 0);
    SetState(plat::GfxRenderState::ZWriteEnable, 0);
    // Both faces of the wall show; whatever culling was set comes back after.
    u32 cull = plat::CullCCW;
    if (plat::GfxDevice* d = Device()) d->GetRenderState(plat::GfxRenderState::CullMode, &cull);
    SetState(plat::GfxRenderState::CullMode, plat::CullNone);
    // The wall's texture runs up it with the scene's fast phase.
    plat::GfxDevice* device = Device();
    if (device) {
        Mat4 scroll = Mat4::Identity();
        scroll.m[2][1] = scene->animPhase[2];
        device->SetTransform(plat::GfxTransform::Texture0, scroll);
        device->SetTextureStageState(0, plat::GfxStageState::TextureTransformFlags, plat::TtfCount2);
    }
    SetAddBlend();
    Matrix world;
    world.m[3][0] = kMapAreaOrigin;
    world.m[3][2] = kMapAreaOrigin;
    world.SetWorldTransform();
    wall->Draw();
    SetAlphaBlend();
    if (device) device->SetTextureStageState(0, plat::GfxStageState::TextureTransformFlags, plat::TtfDisable);
    SetState(plat::GfxRenderState::CullMode, cull);
    SetState(plat::GfxRenderState::ZWriteEnable, 1);
    SetState(plat::GfxRenderState::Lighting, 1);
    SetState(plat::GfxRenderState::FogEnable, 1);
}

// ---- effects and weapons -------------------------------------------------------

void GMTCB_DrawBeginStateBB::Draw()
{
    SetState(plat::GfxRenderState::Lighting, 0);
    SetState(plat::GfxRenderState::FogEnable, 0);
    SetState(plat::GfxRenderState::ZWriteEnable, 0);
    SetState(plat::GfxRenderState::CullMode, plat::CullNone);
}

void GMTCB_DrawBB::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    DrawList(scene->effectList);
    DrawList(scene->itemList);
}

void GMTCB_DrawLaser::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return;
    DrawList(scene->weaponList);
}

void GMTCB_DrawEndStateBB::Draw()
{
    SetState(plat::GfxRenderState::Lighting, 1);
    SetState(plat::GfxRenderState::FogEnable, 1);
    SetState(plat::GfxRenderState::ZWriteEnable, 1);
    SetAlphaBlend();
    SetState(plat::GfxRenderState::CullMode, plat::CullCCW);
}
