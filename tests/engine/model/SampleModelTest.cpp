// The sample models of the run folder (written by the sample data maker):
// loading, key files, blending, timed events, swing nodes and skinned parts.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "engine/core/AssetFile.h"
#include "engine/model/HierarchyObject.h"
#include "engine/graphics/MeshObject.h"
#include "engine/model/SkinObject.h"
#include "engine/model/SkinXMesh.h"

namespace {

int LoadKeys(CHierarchyObject& model, const std::string& file, u32 anime, u32 key, bool ver2)
{
    FileHandle f;
    if (!f.OpenRead(file.c_str())) return 0;
    return ver2 ? model.LoadDataToTable_Ver2(&f, anime, key) : model.LoadDataToTable_Ver1(&f, anime, key);
}

class SampleHod : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(model.LoadHod("Quillon/Model/Sample.hod", 0, 0, nullptr), 1);
        // The walk, and the same keys backwards as a second animation.
        ASSERT_EQ(model.AllocAnimeKeys(0, 4), 1);
        ASSERT_EQ(model.AllocAnimeKeys(1, 4), 1);
        for (u32 k = 0; k < 4; ++k) {
            const std::string file = "Quillon/Model/Sample_Walk" + std::to_string(k) + ".hod";
            ASSERT_EQ(LoadKeys(model, file, 0, k, false), 1);
            ASSERT_EQ(LoadKeys(model, file, 1, 3 - k, false), 1);
        }
        body = model.FindNode("Quillon/Model/Body.x");
        ASSERT_NE(body, nullptr);
    }
    void TearDown() override { model.Release(); }
    void Frame()
    {
        const Mat4 world;
        model.RebaseClock();
        model.AdvanceAnime(1.0f);
        model.ApplyAnime(&world);
    }
    f32 BodyY() const { return body->world.m[3][1]; }

    CHierarchyObject model;
    HodNode* body = nullptr;
};

TEST_F(SampleHod, LoadsWithTexturesOnlyOnThePaletteRoot)
{
    EXPECT_EQ(model.nodeCount, 4u);
    ASSERT_NE(model.root->mesh, nullptr);
    EXPECT_EQ(model.root->mesh->materialCount, 2u);
    EXPECT_GT(model.root->mesh->faceCount, 0u);
    EXPECT_GT(body->mesh->faceCount, 0u);
    EXPECT_GT(body->mesh->sphereRadius, 0.0f);  // bounds computed after loading
    HodNode* head = model.FindNode("Quillon/Model/Head.x");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->level, 2u);
    EXPECT_EQ(head->parent, body);
}

TEST_F(SampleHod, WalksBlendsIntoASecondAnimationOnTime)
{
    model.PlayAnimation(0, 0, 1.0f, 1.0f, 0.0f, 1, 1);
    model.ApplyAnime(nullptr);
    EXPECT_FLOAT_EQ(BodyY(), 1.0f);
    model.AdvanceAnime(1.0f);
    model.ApplyAnime(nullptr);
    EXPECT_FLOAT_EQ(BodyY(), 1.25f);  // key 1: 1 + 0.25 sin(90 degrees)

    // Start the backwards walk in 5 frames, blending over 10.
    model.RebaseClock();
    model.ChangeAnime(1, 5.0f, 10.0f, 1.0f, 1.0f, 0.0f, 1);
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_EQ(model.tracks[0].weight, 1.0f);  // nothing before its time
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_EQ(model.activeCount, 2u);
    EXPECT_NEAR(model.tracks[1].weight, 0.4f, 1e-5f);
    for (int i = 0; i < 7; ++i) Frame();
    EXPECT_EQ(model.tracks[0].enabled, 0u);
    EXPECT_EQ(model.activeCount, 1u);
    EXPECT_EQ(model.events.GetCount(), 0u);
}

class SampleHd2 : public ::testing::Test {
protected:
    void SetUp() override
    {
        FileHandle f;
        ASSERT_EQ(f.OpenRead("Quillon/Model/Skinned.hd2"), 1);
        ASSERT_EQ(model.ReadHd2(&f, 0, 0, nullptr), 1);
        ASSERT_EQ(model.AllocAnimeKeys(0, 3), 1);
        for (u32 k = 0; k < 3; ++k)
            ASSERT_EQ(LoadKeys(model, "Quillon/Model/Skinned_Sway" + std::to_string(k) + ".hd2", 0, k, true), 1);
        model.nodeCallback = AimNodeCallback;
        model.nodeCallbackArg = &model;
        HodNode::CreatePoseCacheTree(model.root);
        HodNode::StoreAimLimitsTree(model.root);
        column = model.FindNode("Quillon/Model/Column.sx");
        tail = model.FindNode("Quillon/Model/Tail.x");
        ASSERT_NE(column, nullptr);
        ASSERT_NE(tail, nullptr);
    }
    void TearDown() override { model.Release(); }

    CHierarchyObjectEx model;
    HodNode* column = nullptr;
    HodNode* tail = nullptr;
};

TEST_F(SampleHd2, TheColumnIsSkinnedAndItsPartsSitOnItsBones)
{
    EXPECT_EQ(column->skinned, 1);
    ASSERT_NE(column->skinMesh, nullptr);
    ASSERT_NE(column->skinObject, nullptr);
    EXPECT_EQ(column->skinMesh->allFrames.size(), 3u);
    EXPECT_EQ(column->skinMesh->animations.size(), 1u);
    HodNode* bone2 = model.FindNode("Bone2");
    ASSERT_NE(bone2->skinNode, nullptr);
    EXPECT_EQ(bone2->world.m[3][1], 2.0f);
    EXPECT_EQ(tail->linkMode, kHodLinkCallback);
    EXPECT_EQ(tail->poseCache->maxAngle, 30.0f);
}

TEST_F(SampleHd2, SwaysOnVer2KeysAndTheTailSwingsBehindAMove)
{
    model.PlayAnimation(0, 0, 0.5f, 1.0f, 0.0f, 1, 1);
    Mat4 world;
    for (int i = 0; i < 3; ++i) {
        model.AdvanceAnime(1.0f);
        model.ApplyAnime(&world);
    }
    EXPECT_NE(column->local.m[0][1], 0.0f);  // turned about z by the sway
    const Vec3 restZ(tail->local.m[2][0], tail->local.m[2][1], tail->local.m[2][2]);
    world.m[3][0] = 0.5f;  // a sudden step sideways
    model.AdvanceAnime(1.0f);
    model.ApplyAnime(&world);
    const Vec3 z(tail->local.m[2][0], tail->local.m[2][1], tail->local.m[2][2]);
    EXPECT_GT(std::fabs(z.x - restZ.x), 0.01f);
    EXPECT_NEAR(tail->world.m[3][0], 0.5f, 1e-5f);
}

}  // namespace
