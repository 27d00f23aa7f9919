#include "engine/model/SkinXMesh.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/AssetFile.h"
#include "engine/model/SkinObject.h"
#include "platform/math/Math.h"
#include "support/SkinnedXFile.h"
#include "support/TempFolder.h"

namespace {

class SkinMeshes : public ::testing::Test {
protected:
    std::string Write(const skintest::Tube& tube, const std::string& name = "tube.x")
    {
        EXPECT_TRUE(folder_.Write(name, skintest::TubeFile(tube)));
        return folder_ / name;
    }
    static std::vector<std::string> FrameNames(const SkinXMesh& mesh)
    {
        std::vector<std::string> names;
        for (const SkinFrame* f : mesh.allFrames) names.push_back(f->Name ? f->Name : "");
        return names;
    }
    static SkinMeshContainer* Skinned(const SkinXMesh& mesh)
    {
        for (SkinFrame* f : mesh.meshFrames)
            for (plat::MeshContainer* c = f->pMeshContainer; c; c = c->pNextMeshContainer)
                if (c->pSkinInfo) return static_cast<SkinMeshContainer*>(c);
        return nullptr;
    }

    TempFolder folder_;
};

TEST_F(SkinMeshes, LoadingCollectsFramesLinksBonesAndConvertsAnimations)
{
    skintest::Tube tube;
    tube.rigidProp = true;
    tube.animation = true;
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(tube).c_str(), kSkinSoftware));
    EXPECT_EQ(FrameNames(mesh), (std::vector<std::string>{"Root", "Bone0", "Bone1", "Bone2", "Prop"}));
    ASSERT_EQ(mesh.meshFrames.size(), 2u);
    SkinMeshContainer* c = Skinned(mesh);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->boneFrames.size(), 3u);
    EXPECT_STREQ(c->boneFrames[2]->Name, "Bone2");
    // Until a user points them elsewhere the frames read as identity, so a
    // bone's matrix is its offset.
    for (SkinFrame* f : mesh.allFrames) EXPECT_EQ(*f->combined, Mat4());
    EXPECT_EQ(SkinXMesh::BoneMatrix(c, 2), c->boneOffsets[2]);
    EXPECT_EQ(c->boneOffsets[2].m[3][1], -2.0f);

    ASSERT_EQ(mesh.animations.size(), 1u);
    const SkinAnimation& bend = *mesh.animations[0];
    EXPECT_EQ(bend.name, "Bend");
    EXPECT_EQ(bend.ticksPerSecond, 4800.0);
    ASSERT_EQ(bend.tracks.size(), mesh.allFrames.size());
    EXPECT_TRUE(bend.tracks[0]->rotationKeys.empty());  // Root is not animated
    const std::vector<SkinRotKey>& turn = bend.tracks[2]->rotationKeys;
    ASSERT_EQ(turn.size(), 3u);
    EXPECT_EQ(turn[1].time, 2400.0f);
    EXPECT_NEAR(turn[1].value.z, -0.382683f, 1e-5f);
    EXPECT_NEAR(turn[1].value.w, -0.923880f, 1e-5f);  // w negated from the file's
    const SkinRotKey& single = bend.tracks[1]->rotationKeys.at(0);
    EXPECT_EQ(single.a, single.value);
    EXPECT_EQ(single.b, single.value);
    EXPECT_EQ(single.c, single.value);
    EXPECT_EQ(bend.tracks[4]->translationKeys.size(), 2u);
}

TEST_F(SkinMeshes, MaterialsAreLitByTheirDiffuseAndAMissingListGivesGrey)
{
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(skintest::Tube{}).c_str(), kSkinSoftware));
    SkinMeshContainer* c = Skinned(mesh);
    ASSERT_EQ(c->NumMaterials, 2u);
    for (u32 i = 0; i < 2; ++i) {
        EXPECT_EQ(c->materials[i].ambient, c->materials[i].diffuse);
        EXPECT_NE(c->textures[i], nullptr);
    }
    skintest::Tube bare;
    bare.materials = false;
    ASSERT_TRUE(mesh.LoadFromFile(Write(bare, "bare.x").c_str(), kSkinSoftware));
    c = Skinned(mesh);
    ASSERT_EQ(c->NumMaterials, 1u);
    EXPECT_EQ(c->materials[0].diffuse, ColorF(0.5f, 0.5f, 0.5f, 0.0f));
    EXPECT_EQ(c->materials[0].specular, c->materials[0].diffuse);
    EXPECT_NE(c->textures[0], nullptr);
}

TEST_F(SkinMeshes, ABoneWithoutAFrameFailsTheLoad)
{
    skintest::Tube tube;
    tube.strayBone = "Ghost";
    SkinXMesh mesh;
    EXPECT_FALSE(mesh.LoadFromFile(Write(tube).c_str(), kSkinSoftware));
    EXPECT_EQ(mesh.rootFrame, nullptr);
    EXPECT_TRUE(mesh.allFrames.empty());
    EXPECT_FALSE(mesh.LoadFromFile((folder_ / "missing.x").c_str()));
}

TEST_F(SkinMeshes, IndexedPalettesHoldAtMost26BonesAndTheWorkspaceAll)
{
    skintest::Tube tube;
    tube.bones = 40;
    tube.rings = 40;
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(tube).c_str(), kSkinIndexedEffect));
    SkinMeshContainer* c = Skinned(mesh);
    EXPECT_EQ(c->numPaletteEntries, 26u);
    EXPECT_EQ(mesh.boneMatrixCapacity, 40u);
    EXPECT_GE(c->numAttributeGroups, 2u);
    for (const plat::BoneCombination& bc : c->boneCombinations) EXPECT_LE(bc.BoneId.size(), 26u);
    // Blend indices are read as a colour by the effect.
    bool sawIndices = false;
    for (const plat::VertexElement& e : c->MeshData.pMesh->GetDeclaration())
        if (e.usage == plat::UsageBlendIndices) {
            EXPECT_EQ(e.type, plat::DeclColor);
            sawIndices = true;
        }
    EXPECT_TRUE(sawIndices);
}

TEST_F(SkinMeshes, SwitchingMethodsConvertsFromTheLoadedMeshEachTime)
{
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(skintest::Tube{}).c_str(), kSkinIndexedEffect));
    SkinMeshContainer* c = Skinned(mesh);
    const u32 vertices = c->MeshData.pMesh->GetNumVertices();
    const u32 groups = c->numAttributeGroups;
    mesh.RebuildSkinning(kSkinSoftware);
    EXPECT_EQ(c->MeshData.pMesh->GetNumVertices(), c->origMesh->GetNumVertices());
    mesh.RebuildSkinning(kSkinIndexedEffect);
    EXPECT_EQ(c->MeshData.pMesh->GetNumVertices(), vertices);
    EXPECT_EQ(c->numAttributeGroups, groups);
    mesh.RebuildSkinning(9);  // unknown: nothing to draw, no failure
    EXPECT_EQ(c->MeshData.pMesh, nullptr);
}

TEST_F(SkinMeshes, ReloadingKeepsOnlyTheNewFile)
{
    skintest::Tube animated;
    animated.animation = true;
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(animated, "a.x").c_str(), kSkinSoftware));
    EXPECT_EQ(mesh.animations.size(), 1u);
    skintest::Tube longer;
    longer.bones = 5;
    ASSERT_TRUE(mesh.LoadFromFile(Write(longer, "b.x").c_str(), kSkinSoftware));
    EXPECT_TRUE(mesh.animations.empty());
    EXPECT_EQ(mesh.allFrames.size(), 6u);

    // A scrambled copy loads over a loaded mesh without leaking the old one.
    std::string bytes = skintest::TubeFile(animated);
    XorWords(bytes.data(), static_cast<u32>(bytes.size()), AssetKey);
    ASSERT_TRUE(folder_.Write("s.x", bytes));
    EXPECT_EQ(mesh.LoadScrambled((folder_ / "s.x").c_str(), AssetKey, kSkinSoftware), 1);
    EXPECT_EQ(mesh.animations.size(), 1u);
    EXPECT_EQ(mesh.allFrames.size(), 4u);
    EXPECT_EQ(mesh.LoadScrambled((folder_ / "none.x").c_str(), AssetKey), 0);
}

// At rest every bone undoes its offset: software skinning gives back the
// loaded vertices, so offsets and frame links agree.
TEST_F(SkinMeshes, SoftwareSkinningAtRestGivesTheLoadedMesh)
{
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(skintest::Tube{}).c_str(), kSkinSoftware));
    CSkinObject pose;
    ASSERT_EQ(pose.SetMesh(&mesh), 1);
    SkinMeshContainer* c = Skinned(mesh);
    plat::MatrixRotationZ(&pose.nodes[2]->local, 0.6f);  // then back to rest
    pose.UpdateMatrices();
    pose.BindBoneMatrices();
    ASSERT_TRUE(mesh.SoftwareSkin(c));
    pose.nodes[2]->local = mesh.allFrames[2]->TransformationMatrix;
    pose.UpdateMatrices();
    ASSERT_TRUE(mesh.SoftwareSkin(c));
    plat::Mesh* skinned = c->MeshData.pMesh.get();
    const u32 stride = skinned->GetNumBytesPerVertex();
    ASSERT_EQ(skinned->GetNumVertices(), c->origMesh->GetNumVertices());
    for (u32 v = 0; v < skinned->GetNumVertices(); ++v) {
        Vec3 a, b;
        std::memcpy(&a, skinned->VertexData() + static_cast<size_t>(v) * stride, 12);
        std::memcpy(&b, c->origMesh->VertexData() + static_cast<size_t>(v) * stride, 12);
        EXPECT_NEAR(a.x, b.x, 1e-5f);
        EXPECT_NEAR(a.y, b.y, 1e-5f);
        EXPECT_NEAR(a.z, b.z, 1e-5f);
    }
    mesh.RebuildSkinning(kSkinIndexedEffect);
    EXPECT_FALSE(mesh.SoftwareSkin(c));
}

}  // namespace
