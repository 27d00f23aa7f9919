#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "battle/tasks/RenderPasses.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"

namespace {

// A battle on the first sample stage drawn on the recording device, with one
// building left in the map so that every map draw the recorder sees is its.
class RenderPasses : public ::testing::Test {
protected:
    void SetUp() override
    {
        runner = std::make_unique<BattleRunner>(BattleRunnerOptions{});
        CreateShaderWrappers(1024, 768, 2);
        scene = runner->Scene();
        ASSERT_NE(scene, nullptr);
        // The wrappers came after the set-up looked for a shadow map.
        scene->shadowOn = GetShaderShadowMap()->shadowSize != 0 ? 1 : 0;
        runner->RunFrames(2);
        device = GetGraphicsDevice()->device;
        map = &scene->battleMap;
        ASSERT_TRUE(map->cells);
        for (i32 row = 0; row < map->gridDepth && !building; ++row)
            for (i32 column = 0; column < map->gridWidth && !building; ++column) {
                MapCell* cell = map->GetCell(column, row);
                for (CMapObjNode* o = cell->objects.GetHead()->next; o != cell->objects.GetTail(); o = o->next)
                    if (o->partIndex == 1) {
                        building = o;
                        buildingCell = cell;
                    }
            }
        ASSERT_NE(building, nullptr) << "the sample stage has buildings";
        for (i32 row = 0; row < map->gridDepth; ++row)
            for (i32 column = 0; column < map->gridWidth; ++column)
                for (auto& group : map->GetCell(column, row)->drawGroups) group.clear();
        buildingCell->drawGroups[1].push_back(building);
        building->SetInt(kMapVarCullMode, 0);
        building->SetInt(kMapVarCamAlpha, 0);
        building->SetInt(kMapVarShadowDrawFlag, 0);
        building->SetInt(kMapVarDrawMode, 0);
        // The robot the view watches: only its place matters here.
        ASSERT_NE(scene->currentView, nullptr);
        watchedSlot = static_cast<i32>(scene->currentView->player);
        ASSERT_LT(watchedSlot, scene->robotTable.GetCount());
        kept = scene->robotTable[watchedSlot];
        scene->robotTable[watchedSlot] = &watched;
        robot = WatchedRobot(*scene);
        ASSERT_EQ(robot, &watched);
    }
    void TearDown() override
    {
        if (scene && watchedSlot >= 0) scene->robotTable[watchedSlot] = kept;
        runner.reset();
        ReleaseShaderWrappers();
        GetApplication()->video.hdr = 0;
    }

    // The camera looking down +z from `distance` before the building's front face.
    void CameraBefore(f32 distance, f32 side = 0.0f)
    {
        Mat4& w = scene->camera.world;
        w = Mat4::Identity();
        w.m[3][0] = (building->drawMin.x + building->drawMax.x) * 0.5f + side;
        w.m[3][1] = 12.0f;
        w.m[3][2] = building->drawMin.z - distance;
        scene->camera.Apply();
        scene->frustum.Build(60.0f, 4.0f / 3.0f, 0.1f, 1000.0f, &w);
    }
    void PlaceRobot(f32 x, f32 y, f32 z)
    {
        Mat4* m = robot->GetMatrix();
        m->m[3][0] = x;
        m->m[3][1] = y;
        m->m[3][2] = z;
    }
    size_t Draws() const { return runner->Recorder()->CallsStartingWith("DrawIndexedPrimitive").size(); }
    template <class Pass>
    size_t DrawsOf()
    {
        runner->Recorder()->ClearCalls();
        Pass pass;
        pass.Draw();
        return Draws();
    }
    u32 State(plat::GfxRenderState s) const
    {
        u32 v = 0;
        device->GetRenderState(s, &v);
        return v;
    }
    i32 AlphaEntries() const
    {
        i32 n = 0;
        for (MapAlphaObjNode* a = map->alphaList.GetHead()->next; a != map->alphaList.GetTail(); a = a->next) ++n;
        return n;
    }

    std::unique_ptr<BattleRunner> runner;
    CGameScene* scene = nullptr;
    plat::GfxDevice* device = nullptr;
    BattleMap* map = nullptr;
    CMapObjNode* building = nullptr;
    MapCell* buildingCell = nullptr;
    CRobot_Base* robot = nullptr;
    CRobot_Normal watched;
    CRobot_Base* kept = nullptr;
    i32 watchedSlot = -1;
};

}  // namespace

// Objects vanish past their own distance, scaled by the view radius, and
// whole cells past the radius itself; boxes and spheres cull alike.
TEST_F(RenderPasses, MapObjectsAreCulledByTheirDistanceAndTheViewRadius)
{
    PlaceRobot(0, 0, 0);
    const struct {
        i32 radius;
        i32 cullMode;
        f32 cullFar, distance;
        bool drawn;
    } cases[] = {
        {5, 0, 150.0f, 140.0f, true}, {5, 0, 150.0f, 160.0f, false}, {1, 0, 150.0f, 25.0f, true},
        {1, 0, 150.0f, 35.0f, false}, {5, 0, 60.0f, 100.0f, false},  {5, 0, 300.0f, 140.0f, true},
        {5, 1, 150.0f, 120.0f, true}, {5, 1, 100.0f, 130.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "R " << c.radius << " cull " << c.cullMode << " far " << c.cullFar
                                        << " at " << c.distance);
        map->viewRadius = c.radius;
        building->SetInt(kMapVarCullMode, c.cullMode);
        building->SetFloat(kMapVarCullFar, c.cullFar);
        CameraBefore(c.distance);
        const f32 far = scene->frustum.farDist;
        EXPECT_EQ(DrawsOf<GMTCB_DrawMap>() > 0, c.drawn);
        EXPECT_EQ(scene->frustum.farDist, far) << "far distance restored";
        EXPECT_EQ(State(plat::GfxRenderState::AlphaTestEnable), 0u);
    }
    // Out of the view to the side: culled whatever its distance.
    map->viewRadius = 5;
    building->SetInt(kMapVarCullMode, 0);
    CameraBefore(20.0f, 200.0f);
    EXPECT_EQ(DrawsOf<GMTCB_DrawMap>(), 0u);
}

// A building between the watched robot and the camera is kept for the
// transparent pass; once it hides nothing it is drawn in the map pass again.
TEST_F(RenderPasses, ObjectHidingTheWatchedRobotIsDrawnHalfTransparentAfterTheEffects)
{
    map->viewRadius = 5;
    building->SetInt(kMapVarCamAlpha, 1);
    building->SetFloat(kMapVarCullFar, 300.0f);
    CameraBefore(20.0f);
    const f32 x = (building->drawMin.x + building->drawMax.x) * 0.5f;
    PlaceRobot(x, 12.0f, building->drawMax.z + 10.0f);
    EXPECT_EQ(DrawsOf<GMTCB_DrawMap>(), 0u);
    ASSERT_EQ(AlphaEntries(), 1);
    EXPECT_EQ(map->alphaList.GetHead()->next->object, building);
    runner->Recorder()->ClearCalls();
    GMTCB_DrawAlphaBuild alpha;
    alpha.Draw();
    EXPECT_GT(Draws(), 0u);
    EXPECT_EQ(State(plat::GfxRenderState::AlphaTestEnable), 0u);

    PlaceRobot(x + 60.0f, 12.0f, building->drawMax.z + 10.0f);
    EXPECT_GT(DrawsOf<GMTCB_DrawMap>(), 0u);
    EXPECT_EQ(AlphaEntries(), 0);
}

// Fog follows the stage, turns blue under water, and a robot off the grid
// stands in no water.
TEST_F(RenderPasses, FogFollowsTheStageAndTheWaterUnderTheWatchedRobot)
{
    map->viewRadius = 4;
    CameraBefore(20.0f);
    auto fogEnd = [&] { return plat::GfxBitsFloat(State(plat::GfxRenderState::FogEnd)); };
    PlaceRobot(-500.0f, 0.0f, -500.0f);
    GMTCB_SetFog fog;
    fog.Draw();
    EXPECT_EQ(State(plat::GfxRenderState::FogColor), map->fogColor);
    EXPECT_EQ(fogEnd(), 4.0f * map->cellSize);
    EXPECT_EQ(plat::GfxBitsFloat(State(plat::GfxRenderState::FogStart)), 4.0f * map->cellSize * 0.6f);

    const f32 x = (building->drawMin.x + building->drawMax.x) * 0.5f;
    const f32 z = (building->drawMin.z + building->drawMax.z) * 0.5f;
    PlaceRobot(x, 0.0f, z);
    MapCell* cell = map->CellAt(x, z);
    ASSERT_NE(cell, nullptr);
    cell->waterY = 50.0f;  // the camera at height 12 is under it
    fog.Draw();
    EXPECT_EQ(State(plat::GfxRenderState::FogColor), kUnderwaterFogColour);
    EXPECT_EQ(fogEnd(), 20.0f);
    float got[2] = {};
    Shader_Basic* basic = GetShaderBasic();
    ASSERT_TRUE(basic->effect);
    basic->effect->GetFloatArray(basic->effect->GetParameterByName(nullptr, "vFog"), got, 2);
    EXPECT_FLOAT_EQ(got[0], 1.0f);
    EXPECT_FLOAT_EQ(got[1], -1.0f / 20.0f);
    cell->waterY = kMapNoWater;

    // A view radius of 0 has no range to fade over: no division by zero.
    map->viewRadius = 0;
    fog.Draw();
    basic->effect->GetFloatArray(basic->effect->GetParameterByName(nullptr, "vFog"), got, 2);
    EXPECT_FLOAT_EQ(got[0], 1.0f);
    EXPECT_FLOAT_EQ(got[1], 0.0f);
}

// The glow tasks change nothing while the glow is off; while it is on the
// bloom blurs through at most its four targets and every target is put back.
TEST_F(RenderPasses, GlowOffChangesNothingAndBloomStaysInItsTargets)
{
    GetApplication()->video.hdr = 0;
    CameraBefore(20.0f);
    runner->Recorder()->ClearCalls();
    GMTCB_BeginHDRState begin;
    GMTCB_DrawCharaHDR robots;
    GMTCB_DrawLaserXFileHDR weapons;
    GMTCB_EndHDRState end;
    GMTCB_DrawHDRTex composite;
    auto all = [&] {
        begin.Draw();
        robots.Draw();
        weapons.Draw();
        end.Draw();
        composite.Draw();
    };
    all();
    EXPECT_TRUE(runner->Recorder()->Calls().empty());

    GetApplication()->video.hdr = 1;
    Shader_Bloom* bloom = GetShaderBloom();
    ASSERT_TRUE(bloom->effect);
    bloom->bloomPassCount = 9;
    plat::GfxSurface* back = GetGraphicsDevice()->backBuffer;
    const f32 far = scene->frustum.farDist;
    begin.Draw();
    EXPECT_EQ(scene->frustum.farDist, 30.0f);
    robots.Draw();
    end.Draw();
    EXPECT_EQ(scene->frustum.farDist, far);
    EXPECT_LE(bloom->BlurPassCount(), 4u);
    EXPECT_EQ(bloom->BloomResult(), &bloom->bloomTargets[bloom->BlurPassCount() - 1]);
    composite.Draw();
    plat::GfxSurface* target = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &target), plat::GfxResult::Ok);
    EXPECT_EQ(target, back);
    target->Release();
    EXPECT_EQ(State(plat::GfxRenderState::ZWriteEnable), 1u);
    EXPECT_EQ(State(plat::GfxRenderState::FogEnable), 1u);
    bloom->bloomPassCount = 4;
}

// The shadow map is drawn into and let go of; the wall of the stage is
// drawn on both faces and culling comes back as it was; no wall, no draw.
TEST_F(RenderPasses, ShadowAndWallPassesPutTheirStatesBack)
{
    ASSERT_TRUE(scene->shadowOn);
    CameraBefore(20.0f);
    Shader_ShadowMap* shadow = GetShaderShadowMap();
    plat::GfxSurface* back = GetGraphicsDevice()->backBuffer;
    GMTCB_BeginSHADOWState begin;
    begin.Draw();
    // Only depth is drawn: no colour target, the map's texture as the depth.
    plat::GfxSurface* target = nullptr;
    EXPECT_EQ(device->GetRenderTarget(0, &target), plat::GfxResult::NotAvailable);
    EXPECT_EQ(target, nullptr);
    ASSERT_EQ(device->GetDepthStencilSurface(&target), plat::GfxResult::Ok);
    EXPECT_EQ(target, shadow->shadowTarget.surface);
    target->Release();
    EXPECT_EQ(State(plat::GfxRenderState::CullMode), static_cast<u32>(plat::CullCW));
    // Effect draws do not reach the recorder; the light matrices the
    // building was drawn with do.
    shadow->lightWVPB = Mat4::Identity();
    GMTCB_DrawMapShadow mapShadow;
    mapShadow.Draw();
    Mat4 expect;
    plat::MatrixMultiply(&expect, &building->matrix, &shadow->lightViewProj);
    plat::MatrixMultiply(&expect, &expect, &shadow->texBias);
    EXPECT_TRUE(shadow->lightWVPB == expect) << "the building casts a shadow";
    GMTCB_EndSHADOWState end;
    end.Draw();
    ASSERT_EQ(device->GetRenderTarget(0, &target), plat::GfxResult::Ok);
    EXPECT_EQ(target, back);
    target->Release();
    EXPECT_EQ(State(plat::GfxRenderState::CullMode), static_cast<u32>(plat::CullCCW));
    EXPECT_EQ(State(plat::GfxRenderState::AlphaBlendEnable), 1u);

    ASSERT_NE(map->areaHitMesh, nullptr);
    device->SetRenderState(plat::GfxRenderState::CullMode, plat::CullCW);
    scene->animPhase[2] = 0.25f;
    EXPECT_GT(DrawsOf<GMTCB_DrawAreaWall>(), 0u);
    EXPECT_EQ(State(plat::GfxRenderState::CullMode), static_cast<u32>(plat::CullCW));
    // The wall was drawn with its texture moved along v by the phase, and
    // the move is off again for whatever draws next.
    const std::vector<std::string> calls = runner->Recorder()->CallTexts();
    const auto on = std::find(calls.begin(), calls.end(), "SetTextureStageState 0 TextureTransformFlags 2");
    const auto draw = std::find_if(calls.begin(), calls.end(),
                                   [](const std::string& c) { return c.rfind("DrawIndexedPrimitive", 0) == 0; });
    EXPECT_LT(on, draw);
    EXPECT_LT(draw, std::find(calls.begin(), calls.end(), "SetTextureStageState 0 TextureTransformFlags 0"));
    Mat4 moved;
    ASSERT_EQ(device->GetTransform(plat::GfxTransform::Texture0, &moved), plat::GfxResult::Ok);
    EXPECT_EQ(moved.m[2][1], 0.25f);
    EXPECT_EQ(moved.m[1][1], 1.0f);
    EXPECT_EQ(State(plat::GfxRenderState::Lighting), 1u);
    MeshObject* wall = map->areaHitMesh;
    map->areaHitMesh = nullptr;
    EXPECT_EQ(DrawsOf<GMTCB_DrawAreaWall>(), 0u);
    map->areaHitMesh = wall;
    scene->battleEnd = 1;
    EXPECT_EQ(DrawsOf<GMTCB_DrawAreaWall>(), 0u);
    scene->battleEnd = 0;
}
