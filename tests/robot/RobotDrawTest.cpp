#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/graphics/Shaders.h"
#include "engine/model/HodModel.h"
#include "platform/core/Thread.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "tests/support/RecordingGraphics.h"

namespace {

struct DrawCase {
    const char* what;
    u8 disableShader;
    u8 shaderEnabled;
    u32 kind0, kind1;  // kinds of the first two materials; the rest stay 0
    bool hideHead;
};

class RobotDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateShaderWrappers(1024, 768, 2);
        ASSERT_TRUE(GetShaderReflection()->effect);
        ASSERT_TRUE(GetShaderShadowMap()->effect);
        ASSERT_EQ(LoadRobotTypeFolder(type, QUILLON_RUN_DIR, "robo/robo01", lock, 100), 1) << LastRobotTypeError();
        type.hierarchy.CopyTo(&model);
    }
    void TearDown() override
    {
        model.Release();
        ReleaseShaderWrappers();
        GetApplication()->video.disableShader = 0;
    }

    // Subsets of material i over the shown non-root nodes of the instance.
    u32 Subsets(u32 i) const
    {
        u32 n = 0;
        for (u32 j = 1; j < model.nodeCount; ++j) {
            const HodNode* node = model.nodeTable[j];
            n += !node->hidden && node->mesh && node->mesh->DrawnMesh() && node->mesh->materialCount > i;
        }
        return n;
    }
    size_t Draws() const { return graphics.Recorder()->CallsStartingWith("DrawIndexedPrimitive").size(); }

    RecordingGraphics graphics;
    plat::CriticalSection lock;
    RobotModelData type;
    CHierarchyObject model;
};

}  // namespace

TEST_F(RobotDraw, PassesDrawEachMaterialByItsKindAndRestoreTheRootMaterials)
{
    const DrawCase cases[] = {
        {"shaders off: everything fixed, no glow, no shadow", 1, 0, 1, 2, false},
        {"all fixed", 0, 0, 0, 0, false},
        {"material 0 reflective, material 1 hidden from colour and glow", 0, 0, 1, 2, false},
        {"whole model reflective", 0, 1, 2, 2, false},
        {"unknown whole-model flag draws nothing but the shadow", 0, 7, 0, 0, false},
        {"a hidden node is skipped by every pass", 0, 0, 0, 0, true},
    };
    MeshObject* root = model.nodeTable[0]->mesh;
    ASSERT_NE(root, nullptr);
    const u32 materials = root->materialCount;
    ASSERT_GE(materials, 2u);
    const plat::GfxMaterial* own = root->materials;
    HodNode* head = model.FindNode(kNodeHead);
    ASSERT_NE(head, nullptr);
    i32 headIndex = -1, bodyIndex = -1;
    for (u32 j = 1; j < model.nodeCount; ++j) {
        if (model.nodeTable[j] == head) headIndex = static_cast<i32>(j);
        if (model.nodeTable[j] == model.FindNode(kNodeBody)) bodyIndex = static_cast<i32>(j);
    }
    ASSERT_GT(headIndex, 0);
    ASSERT_GT(bodyIndex, 0);
    ASSERT_LT(headIndex, type.nodeMatricesA.GetCount());
    // A camera away from the origin, so world x view is no identity.
    GraphicsDevice* gd = GetGraphicsDevice();
    const Vec3 eye(3, 4, -10), at(0, 1, 0), up(0, 1, 0);
    plat::MatrixLookAtLH(&gd->view, &eye, &at, &up);
    plat::MatrixPerspectiveFovLH(&gd->projection, 0.8f, 4.0f / 3.0f, 1.0f, 500.0f);
    model.nodeTable[static_cast<u32>(headIndex)]->world.m[3][1] = 5.0f;
    Mat4 expectA;
    plat::MatrixMultiply(&expectA, &model.nodeTable[static_cast<u32>(bodyIndex)]->world, &gd->view);

    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.what);
        GetApplication()->video.disableShader = c.disableShader;
        model.SetNodeHidden(head, c.hideHead ? 1 : 0);
        RobotColorData& set = type.colorSets[0];
        set.shaderEnabled = c.shaderEnabled;
        for (i32 i = 0; i < set.materialShaderKinds.GetCount(); ++i) set.materialShaderKinds[i] = 0;
        set.materialShaderKinds[0] = c.kind0;
        set.materialShaderKinds[1] = c.kind1;

        u32 all = 0;
        for (u32 i = 0; i < materials; ++i) all += Subsets(i);
        ASSERT_GT(all, 0u);
        const bool on = c.disableShader == 0;
        u32 colour = 0, glow = 0;
        // The recorder sees fixed-function draws only; effect draws show in
        // the node matrices they leave in the type's scratch tables.
        if (!on) {
            colour = all;
        } else if (c.shaderEnabled == 0) {
            for (u32 i = 0; i < materials; ++i) {
                const u32 kind = i == 0 ? c.kind0 : i == 1 ? c.kind1 : 0;
                if (kind == 0) colour += Subsets(i);
            }
            glow = colour;
        }
        const bool reflects = on && (c.shaderEnabled == 1 || (c.shaderEnabled == 0 && c.kind0 == 1));
        for (i32 j = 0; j < type.nodeMatricesA.GetCount(); ++j) type.nodeMatricesA[j] = Mat4::Identity();

        graphics.Recorder()->ClearCalls();
        type.DrawMesh(&model, &set);
        EXPECT_EQ(Draws(), colour) << "colour";
        EXPECT_EQ(root->materials, own);
        EXPECT_EQ(type.nodeMatricesA[bodyIndex] == expectA, reflects) << "colour through the effect";
        for (i32 j = 0; j < type.nodeMatricesA.GetCount(); ++j) type.nodeMatricesA[j] = Mat4::Identity();
        graphics.Recorder()->ClearCalls();
        type.DrawMeshHDR(&model, &set);
        EXPECT_EQ(Draws(), glow) << "glow";
        EXPECT_EQ(root->materials, own);
        graphics.Recorder()->ClearCalls();
        type.DrawRobotMeshShadow(&model, &set);
        EXPECT_EQ(Draws(), 0u) << "shadow";
        EXPECT_EQ(type.nodeMatricesA[bodyIndex] == expectA, on) << "shadow through the effect";
        EXPECT_EQ(type.nodeMatricesA[headIndex] == Mat4::Identity(), c.hideHead || !on) << "head drawn";
        if (on) {
            EXPECT_EQ(GetShaderShadowMap()->effect->GetCurrentTechnique(), GetShaderShadowMap()->hShadowMap);
            // Fixed-function glow shows only the specular colour.
            EXPECT_EQ(type.hdrMaterials[materials - 1].diffuse.r, 0.0f);
            EXPECT_EQ(type.hdrMaterials[materials - 1].emissive.a, 1.0f);
        }
    }
}

TEST_F(RobotDraw, RobotsOutOfViewOrNotAliveAreNotDrawn)
{
    CRobot_Normal robot;
    robot.modelData = &type;
    type.hierarchy.CopyTo(&robot.lowerModel);
    robot.frameBodyD = robot.lowerModel.FindNode(kNodeBodyD);
    ASSERT_NE(robot.frameBodyD, nullptr);
    robot.colorSet.CopyFrom(type.colorSets[0]);
    robot.boundRadius = 2.0f;
    // No battle, no camera: nothing is drawn, and no battle is started by asking.
    robot.state = kRobotStateLive;
    robot.frameBodyD->world.m[3][2] = 20.0f;
    EXPECT_EQ(robot.Draw(), 0);
    EXPECT_EQ(Draws(), 0u);
    EXPECT_EQ(FindGameScene(), nullptr);

    // The battle goes before the graphics it loaded its textures into.
    struct SceneGuard {
        CGameScene* scene = GetGameScene();
        ~SceneGuard() { delete scene; }
    } battle;
    ASSERT_NE(battle.scene, nullptr);
    // A camera at the origin looking down +z.
    Mat4 camera;
    battle.scene->frustum.Build(60.0f, 4.0f / 3.0f, 1.0f, 500.0f, &camera);

    struct {
        i32 state;
        f32 z;
        bool drawn;
    } const cases[] = {{kRobotStateLive, 20, true}, {kRobotStateDestroyed, 20, true}, {kRobotStateNone, 20, false},
                       {kRobotStateDown, 20, false}, {kRobotStateOut, 20, false}, {kRobotStateLive, -20, false},
                       {kRobotStateLive, 600, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.state << " at z " << c.z);
        robot.state = c.state;
        robot.frameBodyD->world.m[3][2] = c.z;
        graphics.Recorder()->ClearCalls();
        EXPECT_EQ(robot.Draw(), 0);
        EXPECT_EQ(robot.DrawHDR(), 0);
        EXPECT_EQ(robot.DrawShadow(), 0);
        EXPECT_EQ(Draws() > 0, c.drawn);
    }
    robot.lowerModel.Release();
}

// A body of more than 20 materials is refused at load, but a pass given one
// all the same stays inside its 20-entry glow table and gives the root its
// own list back.
TEST_F(RobotDraw, OversizedRootMeshStaysInsideTheGlowTable)
{
    MeshObject* root = model.nodeTable[0]->mesh;
    ASSERT_NE(root, nullptr);
    constexpr u32 kMany = kRobotColorMaterials + 5;
    std::vector<plat::GfxMaterial> materials(kMany);
    std::vector<TextureHandle*> textures(kMany, nullptr);
    for (u32 i = 0; i < kMany; ++i) materials[i].specular = ColorF{1, 1, 1, 1};
    plat::GfxMaterial* ownMaterials = root->materials;
    TextureHandle** ownTextures = root->textures;
    const u32 ownCount = root->materialCount;
    root->materials = materials.data();
    root->textures = textures.data();
    root->materialCount = kMany;
    RobotColorData& set = type.colorSets[0];
    for (u8 shader : {u8(0), u8(1)}) {
        set.shaderEnabled = shader;
        type.DrawMeshHDR(&model, &set);
        type.DrawMesh(&model, &set);
        type.DrawRobotMeshShadow(&model, &set);
        EXPECT_EQ(root->materials, materials.data());
    }
    EXPECT_EQ(type.hdrMaterials[kRobotColorMaterials - 1].specular.r, 1.0f);
    root->materials = ownMaterials;
    root->textures = ownTextures;
    root->materialCount = ownCount;
}
