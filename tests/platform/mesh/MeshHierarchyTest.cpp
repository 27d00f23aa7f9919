#include "platform/mesh/MeshHierarchy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"

using namespace plat;

namespace {

// Builds plain records and counts what is alive, so leaks and double frees show.
class CountingAllocator : public AllocateHierarchy {
public:
    int frames = 0, containers = 0;
    int failContainerAfter = -1;  // refuse the n-th container when >= 0
    int containersMade = 0;

    Result CreateFrame(const char* name, MeshFrame** out) override
    {
        auto* f = new MeshFrame();
        if (name) {
            f->Name = new char[std::strlen(name) + 1];
            std::strcpy(f->Name, name);
        }
        ++frames;
        *out = f;
        return ResultOk;
    }
    Result CreateMeshContainer(const char* name, const MeshContainerData* data, const XMaterial* materials,
                               const void*, u32 numMaterials, const u32* adjacency,
                               const std::shared_ptr<SkinInfo>& skin, MeshContainer** out) override
    {
        if (failContainerAfter >= 0 && containersMade++ >= failContainerAfter) return ResultOutOfMemory;
        auto* c = new MeshContainer();
        if (name) {
            c->Name = new char[std::strlen(name) + 1];
            std::strcpy(c->Name, name);
        }
        c->MeshData = *data;
        c->NumMaterials = numMaterials;
        c->pMaterials = new XMaterial[numMaterials ? numMaterials : 1];
        for (u32 i = 0; i < numMaterials; ++i) c->pMaterials[i] = materials[i];
        const u32 n = data->pMesh->GetNumFaces() * 3;
        c->pAdjacency = new u32[n];
        std::memcpy(c->pAdjacency, adjacency, n * 4);
        c->pSkinInfo = skin;
        ++containers;
        *out = c;
        return ResultOk;
    }
    Result DestroyFrame(MeshFrame* f) override
    {
        delete[] f->Name;
        delete f;
        --frames;
        return ResultOk;
    }
    Result DestroyMeshContainer(MeshContainer* c) override
    {
        delete[] c->Name;
        delete[] c->pMaterials;
        delete[] c->pAdjacency;
        delete c;
        --containers;
        return ResultOk;
    }
};

struct LoadedSkin {
    CountingAllocator alloc;
    MeshFrame* root = nullptr;
    std::shared_ptr<AnimationController> controller;
    ~LoadedSkin() { FrameDestroy(root, &alloc); }
};

void LoadSkin(LoadedSkin& s)
{
    std::string err;
    ASSERT_EQ(LoadMeshHierarchyFromX("Quillon/Mesh/Skin.x", MeshManaged, &s.alloc, &s.root, &s.controller, &err),
              ResultOk)
        << err;
}

TEST(MeshHierarchy, SkinFileBuildsFramesContainerAndSkin)
{
    LoadedSkin s;
    LoadSkin(s);
    ASSERT_TRUE(s.root);
    EXPECT_STREQ(s.root->Name, "Root");
    EXPECT_EQ(s.alloc.frames, 3);
    EXPECT_EQ(s.alloc.containers, 1);
    MeshFrame* bone2 = FrameFind(s.root, "Bone2");
    ASSERT_TRUE(bone2);
    EXPECT_FLOAT_EQ(bone2->TransformationMatrix.m[3][1], 2.0f);
    EXPECT_EQ(FrameFind(s.root, "Bone1")->pFrameFirstChild, bone2);
    EXPECT_EQ(FrameFind(s.root, "Nobody"), nullptr);
    EXPECT_EQ(FrameFind(s.root, nullptr), nullptr);

    MeshContainer* c = s.root->pMeshContainer;
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->Name, "Column");
    EXPECT_EQ(c->MeshData.pMesh->GetNumVertices(), 16u);
    ASSERT_TRUE(c->pSkinInfo);
    const SkinInfo& skin = *c->pSkinInfo;
    ASSERT_EQ(skin.GetNumBones(), 2u);
    EXPECT_STREQ(skin.GetBoneName(1), "Bone2");
    EXPECT_EQ(skin.GetBoneName(2), nullptr);
    EXPECT_FLOAT_EQ(skin.GetBoneOffsetMatrix(1)->m[3][1], -2.0f);
    EXPECT_EQ(skin.GetNumBoneInfluences(0), 8u);
    EXPECT_EQ(skin.GetMaxVertexInfluences(), 2u);
    u32 faceInfl = 0;
    ASSERT_EQ(skin.GetMaxFaceInfluences(c->MeshData.pMesh.get(), &faceInfl), ResultOk);
    EXPECT_EQ(faceInfl, 2u);
}

TEST(MeshHierarchy, AnimationSetKeepsKeysAndSplitsMatrixKeys)
{
    LoadedSkin s;
    LoadSkin(s);
    ASSERT_TRUE(s.controller);
    ASSERT_EQ(s.controller->GetNumAnimationSets(), 1u);
    EXPECT_EQ(s.controller->GetMaxNumAnimationOutputs(), 3u);
    std::shared_ptr<KeyframedAnimationSet> set;
    ASSERT_EQ(s.controller->GetAnimationSet(0, &set), ResultOk);
    EXPECT_STREQ(set->GetName(), "Wave");
    EXPECT_DOUBLE_EQ(set->GetSourceTicksPerSecond(), 4800.0);
    EXPECT_DOUBLE_EQ(set->GetPeriod(), 1.0);
    u32 bone2 = 0, bone1 = 0;
    ASSERT_EQ(set->GetAnimationIndexByName("Bone2", &bone2), ResultOk);
    ASSERT_EQ(set->GetAnimationIndexByName("Bone1", &bone1), ResultOk);
    EXPECT_EQ(set->GetAnimationIndexByName("Root", &bone1), ResultNotFound);
    set->GetAnimationIndexByName("Bone1", &bone1);

    ASSERT_EQ(set->GetNumRotationKeys(bone2), 3u);
    std::vector<KeyQuaternion> rot(3);
    ASSERT_EQ(set->GetRotationKeys(bone2, rot), ResultOk);
    EXPECT_FLOAT_EQ(rot[1].Time, 2400.0f);
    EXPECT_NEAR(rot[1].Value.w, 0.707107f, 1e-6f);
    EXPECT_NEAR(rot[1].Value.z, -0.707107f, 1e-6f);
    std::vector<KeyQuaternion> tooSmall(2);
    EXPECT_EQ(set->GetRotationKeys(bone2, tooSmall), ResultInvalidCall);

    // Matrix keys of Bone1: scale 2 and a lift of 1 at the last key, no turn.
    ASSERT_EQ(set->GetNumScaleKeys(bone1), 2u);
    std::vector<KeyVector3> scale(2), trans(2);
    std::vector<KeyQuaternion> turn(2);
    set->GetScaleKeys(bone1, scale);
    set->GetTranslationKeys(bone1, trans);
    set->GetRotationKeys(bone1, turn);
    EXPECT_EQ(scale[1].Value, Vec3(2, 2, 2));
    EXPECT_EQ(trans[1].Value, Vec3(0, 1, 0));
    // Stored as the file convention: negating w gives the frame's rotation.
    Quat q(turn[1].Value.x, turn[1].Value.y, turn[1].Value.z, -turn[1].Value.w);
    Mat4 r;
    MatrixRotationQuaternion(&r, &q);
    EXPECT_NEAR(r.m[0][0], 1.0f, 1e-6f);
    EXPECT_NEAR(r.m[1][1], 1.0f, 1e-6f);

    bool enabled = false;
    s.controller->GetTrackEnable(0, &enabled);
    EXPECT_TRUE(enabled);
}

TEST(MeshHierarchy, ClonedControllerSharesSetsAndKeepsItsOwnTracks)
{
    LoadedSkin s;
    LoadSkin(s);
    std::shared_ptr<AnimationController> clone;
    const AnimationController& c = *s.controller;
    ASSERT_EQ(c.CloneAnimationController(c.GetMaxNumAnimationOutputs(), c.GetMaxNumAnimationSets(),
                                         c.GetMaxNumTracks(), c.GetMaxNumEvents(), &clone),
              ResultOk);
    EXPECT_EQ(clone->GetMaxNumTracks(), c.GetMaxNumTracks());
    for (u32 t = 0; t < clone->GetMaxNumTracks(); ++t) clone->SetTrackEnable(t, false);
    bool enabled = true;
    clone->GetTrackEnable(0, &enabled);
    EXPECT_FALSE(enabled);
    s.controller->GetTrackEnable(0, &enabled);
    EXPECT_TRUE(enabled);
    std::shared_ptr<KeyframedAnimationSet> a, b;
    clone->GetAnimationSet(0, &a);
    s.controller->GetAnimationSet(0, &b);
    EXPECT_EQ(a, b);
    EXPECT_EQ(clone->SetTrackEnable(clone->GetMaxNumTracks(), true), ResultInvalidCall);
    EXPECT_EQ(c.CloneAnimationController(3, 0, 2, 0, &clone), ResultInvalidCall);
}

TEST(MeshHierarchy, AllocatorRefusalUndoesTheWholeLoad)
{
    CountingAllocator alloc;
    alloc.failContainerAfter = 0;
    MeshFrame* root = reinterpret_cast<MeshFrame*>(1);
    std::string err;
    EXPECT_LT(LoadMeshHierarchyFromX("Quillon/Mesh/Skin.x", MeshManaged, &alloc, &root, nullptr, &err), 0);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(alloc.frames, 0);
    EXPECT_EQ(alloc.containers, 0);
    EXPECT_NE(err.find("Column"), std::string::npos) << err;
}

TEST(MeshHierarchy, ScrambledCopyLoadsAfterUnscrambling)
{
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile("Quillon/Mesh/SkinS.x", bytes));
    CountingAllocator alloc;
    MeshFrame* root = nullptr;
    std::string err;
    EXPECT_LT(LoadMeshHierarchyFromXInMemory(bytes.data(), bytes.size(), MeshManaged, &alloc, &root, nullptr, &err), 0);
    EXPECT_NE(err.find("not an X file"), std::string::npos) << err;
}

// Skinned column: Bone1 holds rings 0 and 1 (half), Bone2 rings 1 (half), 2 and 3.
class SkinConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSkin(s);
        ASSERT_TRUE(s.root && s.root->pMeshContainer);
        c = s.root->pMeshContainer;
    }
    LoadedSkin s;
    MeshContainer* c = nullptr;
};

TEST_F(SkinConversion, IndexedBlendingPacksPaletteIndicesAndWeights)
{
    std::shared_ptr<Mesh> blended;
    std::vector<BoneCombination> table;
    u32 influences = 0, groups = 0;
    const u32 faces = c->MeshData.pMesh->GetNumFaces();
    std::vector<u32> adjOut(faces * 3);
    ASSERT_EQ(c->pSkinInfo->ConvertToIndexedBlendedMesh(c->MeshData.pMesh.get(), MeshManaged, 26,
                                                        {c->pAdjacency, faces * 3}, adjOut, nullptr, nullptr,
                                                        &influences, &groups, &table, &blended),
              ResultOk);
    EXPECT_EQ(influences, 2u);
    ASSERT_EQ(groups, 1u);
    ASSERT_EQ(table[0].BoneId.size(), 26u);
    EXPECT_EQ(table[0].BoneId[0], 0u);
    EXPECT_EQ(table[0].BoneId[1], 1u);
    EXPECT_EQ(table[0].BoneId[2], NoIndex);
    EXPECT_EQ(blended->GetFVF() & FvfPositionMask, FvfXyzB2);
    EXPECT_TRUE(blended->GetFVF() & FvfLastBetaUByte4);
    // Layout: position, one weight, packed indices, normal, uv.
    const u32 stride = blended->GetNumBytesPerVertex();
    EXPECT_EQ(stride, 12u + 4 + 4 + 12 + 8);
    for (u32 v = 0; v < blended->GetNumVertices(); ++v) {
        Vec3 p;
        float w;
        u8 idx[4];
        std::memcpy(&p, blended->VertexData() + v * stride, 12);
        std::memcpy(&w, blended->VertexData() + v * stride + 12, 4);
        std::memcpy(idx, blended->VertexData() + v * stride + 16, 4);
        if (p.y == 2.0f) {
            EXPECT_FLOAT_EQ(w, 0.5f);
        } else if (p.y > 2.0f) {
            EXPECT_EQ(idx[0], 1u);
            EXPECT_FLOAT_EQ(w, 1.0f);
        } else {
            EXPECT_EQ(idx[0], 0u);
        }
    }
    // A palette smaller than the bones of one face cannot hold it.
    EXPECT_EQ(c->pSkinInfo->ConvertToIndexedBlendedMesh(c->MeshData.pMesh.get(), MeshManaged, 1, {}, {}, nullptr,
                                                        nullptr, &influences, &groups, &table, &blended),
              ResultFail);
    EXPECT_FALSE(blended);
}

TEST_F(SkinConversion, NonIndexedBlendingGroupsFacesByTheirBones)
{
    std::shared_ptr<Mesh> blended;
    std::vector<BoneCombination> table;
    u32 faceInfluences = 0, groups = 0;
    ASSERT_EQ(c->pSkinInfo->ConvertToBlendedMesh(c->MeshData.pMesh.get(), MeshManaged, {}, {}, nullptr, nullptr,
                                                 &faceInfluences, &groups, &table, &blended),
              ResultOk);
    EXPECT_EQ(faceInfluences, 2u);
    EXPECT_EQ(blended->GetFVF() & FvfPositionMask, FvfXyzB1);
    u32 faces = 0;
    for (const BoneCombination& bc : table) {
        EXPECT_EQ(bc.BoneId.size(), 2u);
        faces += bc.FaceCount;
        for (u32 f = bc.FaceStart; f < bc.FaceStart + bc.FaceCount; ++f) {
            for (u32 k = 0; k < 3; ++k) {
                const u32 v = blended->IndexData()[f * 3 + k];
                EXPECT_GE(v, bc.VertexStart);
                EXPECT_LT(v, bc.VertexStart + bc.VertexCount);
            }
        }
    }
    EXPECT_EQ(faces, blended->GetNumFaces());
}

TEST_F(SkinConversion, SoftwareSkinningBlendsPositionsByWeight)
{
    const Mesh& src = *c->MeshData.pMesh;
    std::shared_ptr<Mesh> dst;
    ASSERT_EQ(src.CloneMeshFVF(MeshManaged, src.GetFVF(), &dst), ResultOk);
    std::vector<Mat4> bones(2);
    MatrixTranslation(&bones[1], 1.0f, 0.0f, 0.0f);
    ASSERT_EQ(c->pSkinInfo->UpdateSkinnedMesh(bones, {}, &src, dst.get()), ResultOk);
    const u32 stride = dst->GetNumBytesPerVertex();
    for (u32 v = 0; v < dst->GetNumVertices(); ++v) {
        Vec3 a, b;
        std::memcpy(&a, src.VertexData() + v * stride, 12);
        std::memcpy(&b, dst->VertexData() + v * stride, 12);
        const float expected = a.y == 0.0f ? 0.0f : (a.y == 2.0f ? 0.5f : 1.0f);
        EXPECT_NEAR(b.x - a.x, expected, 1e-6f) << "vertex " << v;
    }
    std::vector<Mat4> oneBone(1);
    EXPECT_EQ(c->pSkinInfo->UpdateSkinnedMesh(oneBone, {}, &src, dst.get()), ResultInvalidCall);
}

}  // namespace
