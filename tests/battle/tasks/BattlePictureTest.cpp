#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/stage/BattleMap.h"
#include "battle/tasks/RenderPasses.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/Shaders.h"
#include "engine/graphics/TextureManager.h"
#include "engine/model/HodModel.h"
#include "platform/gfx/Image.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "support/BattleRunner.h"
#include "weapon/Beam.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/effects/Flash.h"

namespace {

constexpr i32 kWidth = 1024, kHeight = 768;

plat::GfxRef<plat::GfxTexture> WhiteTexture(u8 alpha = 0xFF)
{
    plat::GfxRef<plat::GfxTexture> t;
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    if (device->CreateTexture(4, 4, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed, t.put()) !=
        plat::GfxResult::Ok)
        return t;
    plat::GfxLockedRect lr;
    if (t->LockRect(0, &lr, nullptr, 0) == plat::GfxResult::Ok) {
        for (int y = 0; y < 4; ++y) {
            u8* row = static_cast<u8*>(lr.bits) + y * lr.pitch;
            std::memset(row, 0xFF, 16);
            for (int x = 0; x < 4; ++x) row[x * 4 + 3] = alpha;
        }
        t->UnlockRect(0);
    }
    return t;
}

u32 Luma(u32 c) { return (((c >> 16) & 0xFF) * 3 + ((c >> 8) & 0xFF) * 6 + (c & 0xFF)) / 10; }

// One picture of a battle on the OpenGL device, drawn by the battle's own
// frame drawing with a fixed camera (the robot camera does not move it).
class BattlePicture {
public:
    explicit BattlePicture(u32 stage)
    {
        CApplication& app = *GetApplication();
        app.video.hdr = 1;
        app.video.shadow = 2;
        app.video.farLevel = 3;
        app.video.disableShader = 0;
        BattleRunnerOptions options;
        options.stage = stage;
        options.openGL = true;
        runner = std::make_unique<BattleRunner>(options);
        scene = runner->Scene();
        if (!scene) return;
        CreateShaderWrappers(kWidth, kHeight, 2);
        // The key-driven camera with no key held keeps the camera where
        // LookAt puts it; the head-up display stays off the pictures.
        scene->cameraMode = 1;
        scene->hudHideBits = 3;
        scene->shadowOn = GetShaderShadowMap()->shadowSize != 0 ? 1 : 0;
        watchedSlot = static_cast<i32>(scene->currentView->player);
        kept = scene->robotTable[watchedSlot];
    }
    ~BattlePicture()
    {
        if (scene) scene->robotTable[watchedSlot] = kept;
        runner.reset();
        ReleaseShaderWrappers();
        GetApplication()->video.hdr = 0;
    }

    // A robot of a type in one of its colour sets, standing at a point.
    CRobot_Normal* AddRobot(i32 type, i32 colour, const Vec3& at)
    {
        if (!scene->LoadRobotType(type)) return nullptr;
        RobotModelData& data = scene->robotTypes[type];
        auto* robot = CreateInList<CRobot_Normal>(&scene->unitList, 1);
        robot->modelData = &data;
        data.hierarchy.CopyTo(&robot->lowerModel);
        robot->frameBodyD = robot->lowerModel.FindNode(kNodeBodyD);
        robot->colorSet.CopyFrom(data.colorSets[colour]);
        robot->state = kRobotStateLive;
        robot->boundRadius = 2.0f;
        robot->worldMatrix = Mat4::Identity();
        robot->worldMatrix.m[3][0] = at.x;
        robot->worldMatrix.m[3][1] = at.y;
        robot->worldMatrix.m[3][2] = at.z;
        robot->lowerModel.UpdateMatrices(&robot->worldMatrix);
        if (!scene->robotTable[watchedSlot] || scene->robotTable[watchedSlot] == kept)
            scene->robotTable[watchedSlot] = robot;
        return robot;
    }
    void LookAt(const Vec3& eye, const Vec3& target)
    {
        Matrix camera;
        camera.m[3][0] = eye.x;
        camera.m[3][1] = eye.y;
        camera.m[3][2] = eye.z;
        camera.MatrixLookAtPoint(target, Vec3(0, 1, 0));
        scene->camera.world = camera;
        scene->camera.Apply();
        // The sky goes with the eye, as the object task keeps it.
        Mat4 sky;
        plat::MatrixScaling(&sky, 350.0f, 350.0f, 350.0f);
        sky.m[3][0] = eye.x;
        sky.m[3][1] = -20.0f;
        sky.m[3][2] = eye.z;
        scene->battleMap.sky.world = sky;
    }
    // Draws the frame and reads the back buffer; kept as name.png in the run folder.
    void Shoot(const std::string& name)
    {
        scene->DrawViews();
        GraphicsDevice* gd = GetGraphicsDevice();
        plat::GfxRect all{0, 0, kWidth, kHeight};
        pixels.clear();
        gd->device->ReadPixels(gd->backBuffer, &all, &pixels);
        if (pixels.size() == static_cast<size_t>(kWidth * kHeight))
            plat::SavePng((name + ".png").c_str(), pixels.data(), kWidth, kHeight, false);
    }
    u32 At(i32 x, i32 y) const
    {
        x = std::clamp(x, 0, kWidth - 1);
        y = std::clamp(y, 0, kHeight - 1);
        return pixels[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] & 0xFFFFFF;
    }
    // Where a world point lands on the screen.
    Vec3 Screen(const Vec3& p) const
    {
        Mat4 world = Mat4::Identity();
        world.m[3][0] = p.x;
        world.m[3][1] = p.y;
        world.m[3][2] = p.z;
        Vec3 out;
        GraphicsDevice* gd = GetGraphicsDevice();
        gd->ProjectToScreen(&out, &world, &gd->view, &gd->projection);
        return out;
    }
    // The body's shadow on flat ground at height groundY lies along the
    // light, darker than the lit ground at `lit`.
    void ExpectBodyShadow(const CRobot_Normal& robot, f32 groundY, const Vec3& lit) const
    {
        const Mat4& body = robot.frameBodyD->world;
        const Vec3 bodyAt(body.m[3][0], body.m[3][1], body.m[3][2]);
        Vec3 light = scene->battleMap.lightDir;
        plat::Vec3Normalize(&light, &light);
        ASSERT_LT(light.y, 0.0f);
        const f32 along = (bodyAt.y - groundY) / -light.y;
        const Vec3 shade = Screen(Vec3(bodyAt.x + light.x * along, groundY, bodyAt.z + light.z * along));
        const Vec3 ground = Screen(lit);
        const u32 shadowPixel = At(static_cast<i32>(shade.x), static_cast<i32>(shade.y));
        const u32 groundPixel = At(static_cast<i32>(ground.x), static_cast<i32>(ground.y));
        EXPECT_LT(Luma(shadowPixel) + 15, Luma(groundPixel)) << std::hex << shadowPixel << " " << groundPixel;
    }
    // The share of the top row showing the sky or the wall: not an
    // untextured white, not the clear colour through a gap.
    double SkyShare() const
    {
        const u32 fog = scene->battleMap.fogColor & 0xFFFFFF;
        i32 sky = 0;
        for (i32 x = 0; x < kWidth; ++x) {
            const u32 c = At(x, 1);
            i32 apart = 0;
            for (int shift = 0; shift < 24; shift += 8)
                apart = std::max(apart, std::abs(static_cast<i32>((c >> shift) & 0xFF) -
                                                 static_cast<i32>((fog >> shift) & 0xFF)));
            sky += c != 0xFFFFFFu && apart > 6;
        }
        return static_cast<double>(sky) / kWidth;
    }
    size_t Colours() const { return std::set<u32>(pixels.begin(), pixels.end()).size(); }

    std::unique_ptr<BattleRunner> runner;
    CGameScene* scene = nullptr;
    std::vector<u32> pixels;
    CRobot_Base* kept = nullptr;
    i32 watchedSlot = 0;
};

}  // namespace

// Every sample stage drawn with two robots in their colour sets under a
// fixed camera: the sky and stage show, the robots stand out from the
// ground, and each casts a shadow darker than the lit ground beside it.
// Stages with a pool are shot once more from under the water.
TEST(BattlePicture, EverySampleStageShowsItsRobotsTheirShadowsAndItsWater)
{
    const bool pools[9] = {false, true, false, true, true, false, false, false, true};
    const i32 halfCells[9] = {20, 15, 18, 16, 14, 15, 20, 17, 15};
    for (u32 stage = 0; stage < 9; ++stage) {
        SCOPED_TRACE(testing::Message() << "stage " << stage);
        BattlePicture shot(stage);
        ASSERT_NE(shot.scene, nullptr);
        ASSERT_GT(shot.scene->battleMap.gridWidth, 0);
        const Vec3 middle(1500.0f, 0.0f, 1500.0f);
        CRobot_Normal* first = shot.AddRobot(0, 0, middle);
        ASSERT_NE(first, nullptr);
        CRobot_Normal* second = shot.AddRobot(1, 1, Vec3(middle.x + 5.0f, 0.0f, middle.z - 3.0f));
        ASSERT_NE(second, nullptr);
        shot.LookAt(Vec3(middle.x + 2.0f, 6.0f, middle.z + 9.0f), Vec3(middle.x + 1.0f, 1.0f, middle.z));
        shot.Shoot("battle_stage_" + std::to_string(stage));
        ASSERT_EQ(shot.pixels.size(), static_cast<size_t>(kWidth * kHeight));
        EXPECT_GT(shot.Colours(), 200u) << "not a blank frame";
        EXPECT_GT(shot.SkyShare(), 0.5) << "the sky's own shade along the top";

        // The body against the ground a little in front of the robots.
        const Mat4& body = first->frameBodyD->world;
        const Vec3 bodyAt(body.m[3][0], body.m[3][1], body.m[3][2]);
        const Vec3 onScreen = shot.Screen(bodyAt);
        const Vec3 ground = shot.Screen(Vec3(middle.x - 3.0f, 0.0f, middle.z + 4.0f));
        const u32 robotPixel = shot.At(static_cast<i32>(onScreen.x), static_cast<i32>(onScreen.y));
        const u32 groundPixel = shot.At(static_cast<i32>(ground.x), static_cast<i32>(ground.y));
        EXPECT_NE(robotPixel, groundPixel) << std::hex << robotPixel;
        shot.ExpectBodyShadow(*first, 0.0f, Vec3(middle.x - 3.0f, 0.0f, middle.z + 4.0f));

        if (stage == 0) {
            // A red beam's trail across the view and a cyan flash beside the
            // robots, drawn by the weapon and effect passes.
            plat::GfxRef<plat::GfxTexture> white = WhiteTexture();
            ASSERT_TRUE(white);
            LZ_Beam* beam = NewObject<LZ_Beam>(&shot.scene->weaponList, 1);
            Mat4 start = Mat4::Identity();
            start.m[3][0] = middle.x - 6.0f;
            start.m[3][1] = 2.5f;
            start.m[3][2] = middle.z + 1.0f;
            beam->Set({.start = &start, .width = 0.25f, .maxPoints = 64, .blendMode = 0, .texture = white.get(),
                       .colour = 0xFFFF2020u},
                      {.life = 1}, {.testSegments = 1}, 0);
            for (int i = 1; i < 40; ++i)
                beam->Laser.AddPoint(Vec3(middle.x - 6.0f + 0.3f * static_cast<f32>(i),
                                          2.5f + 0.4f * plat::DetSin(0.5f * static_cast<f32>(i)), middle.z + 1.0f));
            BB_ExplodeBeam* flash = NewObject<BB_ExplodeBeam>(&shot.scene->effectList, 1);
            const Vec3 at(middle.x + 3.0f, 3.0f, middle.z - 1.0f);
            flash->Set(&at, 1.0f, 0, white.get(), 0xFF30FFFFu);
            shot.Shoot("battle_stage_0_beam");
            u32 red = 0, cyan = 0;
            for (u32 c : shot.pixels) {
                const u32 r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
                red += r > 200 && g < 100 && b < 100;
                cyan += r < 120 && g > 200 && b > 200;
            }
            EXPECT_GT(red, 500u) << "the beam's trail";
            EXPECT_GT(cyan, 200u) << "the flash";
            shot.scene->weaponList.DeleteAll();
            shot.scene->weaponList.Init();
            shot.scene->effectList.DeleteAll();
            shot.scene->effectList.Init();

            // A bright beam bolt (the battle's missile mesh drawn long, lit
            // brighter than white through the effects) across the view blooms:
            // just above and below it the frame is brighter with the glow
            // pass on than with it off.
            MeshObject& bolt = shot.scene->meshes[2];
            ASSERT_TRUE(bolt.materials && bolt.materialCount > 0);
            std::vector<plat::GfxMaterial> boltOwn(bolt.materials, bolt.materials + bolt.materialCount);
            for (u32 i = 0; i < bolt.materialCount; ++i) {
                bolt.materials[i].diffuse = ColorF(3.0f, 3.0f, 3.5f, 1.0f);
                bolt.materials[i].emissive = ColorF(1.6f, 1.6f, 1.9f, 1.0f);
            }
            LZ_Bullet* beamBolt = NewObject<LZ_Bullet>(&shot.scene->weaponList, 1);
            beamBolt->Mesh = &bolt;
            beamBolt->ShaderMode = 1;
            // The mesh's long axis (z) stretched three times along the world's x.
            Mat4& along = beamBolt->Laser.World;
            along = Mat4::Identity();
            along.m[0][0] = 0.0f, along.m[0][2] = -1.0f;
            along.m[2][0] = 3.0f, along.m[2][2] = 0.0f;
            const Vec3 boltAt(middle.x + 1.0f, 3.5f, middle.z - 2.0f);
            along.m[3][0] = boltAt.x, along.m[3][1] = boltAt.y, along.m[3][2] = boltAt.z;
            if (LazerXDrawNode* n = shot.scene->laserDrawList.NewNodeFront(1)) n->object = beamBolt;
            auto beside = [&] {
                u32 sum = 0;
                for (int k = -2; k <= 2; ++k)
                    for (f32 dy : {-0.3f, 0.3f}) {
                        const Vec3 p = shot.Screen(Vec3(boltAt.x + 0.8f * static_cast<f32>(k), boltAt.y + dy, boltAt.z));
                        sum += Luma(shot.At(static_cast<i32>(p.x), static_cast<i32>(p.y)));
                    }
                return sum;
            };
            shot.Shoot("battle_stage_0_beam_glow");
            const u32 boltGlowing = beside();
            GetApplication()->video.hdr = 0;
            shot.Shoot("battle_stage_0_beam_no_glow");
            GetApplication()->video.hdr = 1;
            EXPECT_GT(boltGlowing, beside() + 150) << "the bloom around the bright beam";
            const Vec3 onBolt = shot.Screen(boltAt), offBolt = shot.Screen(boltAt + Vec3(0.0f, 0.6f, 0.0f));
            EXPECT_GT(std::abs(static_cast<i32>(Luma(shot.At(static_cast<i32>(onBolt.x), static_cast<i32>(onBolt.y)))) -
                               static_cast<i32>(Luma(shot.At(static_cast<i32>(offBolt.x), static_cast<i32>(offBolt.y))))),
                      30)
                << "the bolt itself, drawn through the effects";
            std::copy(boltOwn.begin(), boltOwn.end(), bolt.materials);
            shot.scene->laserDrawList.Init();
            shot.scene->weaponList.DeleteAll();
            shot.scene->weaponList.Init();

            // A shining mesh weapon behind the robots (the stage's crate, all
            // specular) blooms: with the glow pass on, the frame just outside
            // its outline is brighter than with it off.
            MeshObject* crate = shot.scene->battleMap.parts[2].drawMesh.get();
            ASSERT_TRUE(crate && crate->materials && crate->materialCount > 0);
            const plat::GfxMaterial own = crate->materials[0];
            crate->materials[0].specular = ColorF(1.0f, 1.0f, 1.0f, 1.0f);
            crate->materials[0].power = 1.0f;
            LZ_Beam* shining = NewObject<LZ_Beam>(&shot.scene->weaponList, 1);
            shining->Mesh = crate;
            shining->Laser.World = Mat4::Identity();
            const Vec3 c(middle.x + 1.0f, -1.5f, middle.z - 10.0f);
            shining->Laser.World.m[3][0] = c.x;
            shining->Laser.World.m[3][1] = c.y;
            shining->Laser.World.m[3][2] = c.z;
            if (LazerXDrawNode* n = shot.scene->laserDrawList.NewNodeFront(1)) n->object = shining;
            f32 x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
            for (int k = 0; k < 8; ++k) {
                const Vec3 p = shot.Screen(Vec3(c.x + ((k & 1) ? 2.0f : -2.0f), c.y + ((k & 2) ? 4.0f : 0.0f),
                                                c.z + ((k & 4) ? 2.0f : -2.0f)));
                x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
            }
            // Around its lit top face.
            const Vec3 top = shot.Screen(Vec3(c.x, c.y + 4.0f, c.z));
            const i32 midX = static_cast<i32>((x0 + x1) / 2), topY = static_cast<i32>(top.y);
            auto around = [&] {
                return Luma(shot.At(static_cast<i32>(x0) - 6, topY)) + Luma(shot.At(static_cast<i32>(x1) + 6, topY)) +
                       Luma(shot.At(midX, static_cast<i32>(y0) - 6));
            };
            shot.Shoot("battle_stage_0_glow");
            const u32 glowing = around();
            GetApplication()->video.hdr = 0;
            shot.Shoot("battle_stage_0_no_glow");
            GetApplication()->video.hdr = 1;
            EXPECT_GT(glowing, around() + 60) << "the bloom around the shining weapon";
            crate->materials[0] = own;
            shot.scene->laserDrawList.Init();
            shot.scene->weaponList.DeleteAll();
            shot.scene->weaponList.Init();
        }
        if (!pools[stage]) continue;
        // Under the water of the pool in the far corner everything fades to
        // the water's blue within a few units; the robot stands on the pool's
        // floor with its shadow at its feet.
        const f32 pool = (50.0f + static_cast<f32>(halfCells[stage]) - 2.0f) * 30.0f, floor = -6.0f;
        first->worldMatrix.m[3][0] = pool;
        first->worldMatrix.m[3][1] = floor;
        first->worldMatrix.m[3][2] = pool;
        first->lowerModel.UpdateMatrices(&first->worldMatrix);
        second->state = kRobotStateNone;
        shot.LookAt(Vec3(pool + 1.0f, -3.0f, pool + 6.0f), Vec3(pool, -5.0f, pool - 30.0f));
        shot.Shoot("battle_stage_" + std::to_string(stage) + "_underwater");
        shot.ExpectBodyShadow(*first, floor, Vec3(pool + 1.5f, floor, pool + 0.5f));
        EXPECT_GT(shot.SkyShare(), 0.5) << "the sky above the water";
        u32 blue = 0;
        for (u32 c : shot.pixels) {
            const i32 r = static_cast<i32>((c >> 16) & 0xFF), g = static_cast<i32>((c >> 8) & 0xFF),
                      b = static_cast<i32>(c & 0xFF);
            blue += std::abs(r - 0x1D) < 12 && std::abs(g - 0x4E) < 12 && std::abs(b - 0x77) < 12;
        }
        EXPECT_GT(blue, static_cast<u32>(kWidth * kHeight / 10)) << "the water's blue fills the distance";
    }
}

// The sky waits behind opaque robots and map objects and fills only what
// they leave empty; a stencil test that passes everything makes it draw
// first instead, as the pass order has it. Both pictures are the same to
// the byte, with everything opaque, with the robot's colours see-through
// and with the map's materials see-through (either draws the sky before
// itself, so the sky shows through it).
TEST(BattlePicture, TheSkyDrawnAfterOpaqueDrawsGivesThePictureOfTheSkyDrawnFirst)
{
    BattlePicture shot(0);
    ASSERT_NE(shot.scene, nullptr);
    const Vec3 middle(1500.0f, 0.0f, 1500.0f);
    CRobot_Normal* robot = shot.AddRobot(0, 0, middle);
    ASSERT_NE(robot, nullptr);
    shot.LookAt(Vec3(middle.x + 1.0f, 1.5f, middle.z + 7.0f), Vec3(middle.x, 3.0f, middle.z));
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    auto skyFirstToo = [&](const char* name) {
        shot.Shoot(std::string("battle_sky_late_") + name);
        const std::vector<u32> late = shot.pixels;
        device->SetRenderState(plat::GfxRenderState::StencilEnable, 1);
        device->SetRenderState(plat::GfxRenderState::StencilFunc, plat::CmpAlways);
        shot.Shoot(std::string("battle_sky_first_") + name);
        device->SetRenderState(plat::GfxRenderState::StencilEnable, 0);
        EXPECT_TRUE(late == shot.pixels) << name;
        return late;
    };
    const std::vector<u32> opaque = skyFirstToo("opaque");
    EXPECT_GT(shot.SkyShare(), 0.5);

    // The robot's materials take a half-transparent texture.
    MeshObject* root = robot->lowerModel.nodeTable[0]->mesh;
    ASSERT_TRUE(root && root->textures);
    plat::GfxRef<plat::GfxTexture> glass = WhiteTexture(0x80);
    ASSERT_TRUE(glass);
    TextureHandle glassHandle;  // holds a reference of its own
    glassHandle.texture = glass.get();
    glass->AddRef();
    std::vector<TextureHandle*> own(root->textures, root->textures + root->materialCount);
    std::fill(root->textures, root->textures + root->materialCount, &glassHandle);
    EXPECT_FALSE(skyFirstToo("robot_see_through") == opaque) << "the robot shows what lies behind it";
    std::copy(own.begin(), own.end(), root->textures);

    BattleMap& map = shot.scene->battleMap;
    for (i32 p = 0; p < map.parts.GetCount(); ++p)
        if (MeshObject* mesh = map.parts[p].drawMesh.get(); mesh && mesh != map.sky.mesh)
            for (u32 i = 0; i < mesh->materialCount; ++i) mesh->materials[i].diffuse.a = 0.5f;
    EXPECT_FALSE(skyFirstToo("map_see_through") == opaque) << "the ground shows the sky below the horizon";
}
