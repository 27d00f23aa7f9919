#include "engine/model/SkinObject.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/AssetFile.h"
#include "engine/model/HierarchyObject.h"
#include "support/HodFileBuilder.h"
#include "engine/model/SkinXMesh.h"
#include "platform/mesh/AnimationController.h"
#include "platform/math/Math.h"
#include "support/SkinnedXFile.h"
#include "support/TempFolder.h"
#include "support/VertexHeavyMesh.h"

using hodtest::Node;

namespace {

class SkinObjects : public ::testing::Test {
protected:
    std::string Write(const skintest::Tube& tube, const std::string& name)
    {
        EXPECT_TRUE(folder_.Write(name, skintest::TubeFile(tube)));
        return folder_ / name;
    }
    int ReadHd2(CHierarchyObject& model, const Node& root, u32 key = 0)
    {
        EXPECT_TRUE(folder_.Write("model.hd2", hodtest::Hd2File(root)));
        FileHandle f;
        EXPECT_EQ(f.OpenRead((folder_ / "model.hd2").c_str()), 1);
        return model.ReadHd2(&f, 0, key, nullptr);
    }
    Node Part(const std::string& name, u32 level = 1)
    {
        Node n;
        n.level = level;
        n.name = name;
        return n;
    }

    TempFolder folder_;
};

TEST_F(SkinObjects, APoseTreeMirrorsTheFramesWithItsOwnSwitchedOffController)
{
    skintest::Tube tube;
    tube.rigidProp = true;
    tube.animation = true;
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(tube, "a.x").c_str(), kSkinSoftware));
    bool sourceOn = false;
    ASSERT_TRUE(mesh.animController);
    mesh.animController->GetTrackEnable(0, &sourceOn);
    EXPECT_TRUE(sourceOn);

    CSkinObject pose;
    ASSERT_EQ(pose.SetMesh(&mesh), 1);
    ASSERT_EQ(pose.nodes.size(), mesh.allFrames.size());
    for (size_t i = 0; i < pose.nodes.size(); ++i) {
        EXPECT_EQ(pose.nodes[i]->frame, mesh.allFrames[i]);
        EXPECT_EQ(pose.nodes[i]->local, mesh.allFrames[i]->TransformationMatrix);
    }
    EXPECT_EQ(pose.nodes[4]->parent, pose.nodes[0].get());  // Prop hangs from Root
    ASSERT_TRUE(pose.animController);
    EXPECT_NE(pose.animController, mesh.animController);
    for (u32 t = 0; t < pose.animController->GetMaxNumTracks(); ++t) {
        bool on = true;
        pose.animController->GetTrackEnable(t, &on);
        EXPECT_FALSE(on) << t;
    }
    EXPECT_EQ(pose.managers.size(), 5u);
    EXPECT_EQ(pose.managers[0]->owner, &pose);
    EXPECT_EQ(pose.managers[0]->tracks[6].samples.size(), pose.nodes.size());

    SkinXMesh still;
    ASSERT_TRUE(still.LoadFromFile(Write(skintest::Tube{}, "b.x").c_str(), kSkinSoftware));
    ASSERT_EQ(pose.SetMesh(&still), 1);
    EXPECT_TRUE(pose.managers.empty());
    EXPECT_FALSE(pose.animController);
}

TEST_F(SkinObjects, MatricesCombineFromTheObjectsWorld)
{
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Write(skintest::Tube{}, "a.x").c_str(), kSkinSoftware));
    CSkinObject pose;
    ASSERT_EQ(pose.SetMesh(&mesh), 1);
    for (auto& node : pose.nodes) node->local = Mat4();
    plat::MatrixTranslation(&pose.world, 1, 2, 3);
    pose.UpdateMatrices();
    for (auto& node : pose.nodes) EXPECT_EQ(node->combined, pose.world);

    pose.nodes[1]->local.m[3][1] = 5.0f;  // Bone0
    pose.UpdateMatrices();
    EXPECT_EQ(pose.nodes[3]->combined.m[3][1], 7.0f);  // Bone2 below it
    pose.BindBoneMatrices();
    EXPECT_EQ(mesh.allFrames[3]->combined, &pose.nodes[3]->combined);
    // Its nodes gone, the shared frames must not point at them.
    pose.Clear();
    EXPECT_EQ(mesh.allFrames[3]->combined, SkinFrame::Identity());
}

TEST_F(SkinObjects, PartsBelowASkinnedNodeFollowTheFramesOfTheirName)
{
    const std::string column = Write(skintest::Tube{}, "column.sx");
    Node root = Part("palette.x", 0);
    Node skinned = Part(column);
    skinned.children.push_back(Part("Bone1", 2));
    skinned.children.push_back(Part("Bone2", 2));
    skinned.children.push_back(Part("NoSuchFrame", 2));
    skinned.children[1].children.push_back(Part("Bone0", 3));
    root.children.push_back(skinned);
    root.children.push_back(Part(Write(skintest::Tube{}, "upper.SX")));  // capitals: not skinned

    CHierarchyObject model;
    ASSERT_EQ(ReadHd2(model, root), 1);
    HodNode* node = model.FindNode(column.c_str());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->skinned, 1);
    ASSERT_NE(node->skinMesh, nullptr);
    ASSERT_NE(node->skinObject, nullptr);
    CSkinObject* pose = node->skinObject;
    for (const char* name : {"Bone1", "Bone2", "Bone0"}) {
        HodNode* part = model.FindNode(name);
        ASSERT_NE(part->skinNode, nullptr) << name;
        EXPECT_STREQ(part->skinNode->frame->Name, name);
        EXPECT_EQ(part->local, part->skinNode->local);
        EXPECT_EQ(part->world, part->skinNode->combined);
    }
    EXPECT_EQ(model.FindNode("Bone2")->world.m[3][1], 2.0f);
    EXPECT_EQ(model.FindNode("NoSuchFrame")->skinNode, nullptr);
    EXPECT_EQ(pose->nodes.size(), node->skinMesh->allFrames.size());
    HodNode* upper = model.root->children[1];
    EXPECT_EQ(upper->skinned, 0);
    EXPECT_EQ(upper->skinObject, nullptr);

    // Copies share the skinned mesh and pose on their own.
    CHierarchyObject copy;
    model.CopyTo(&copy);
    HodNode* copied = copy.FindNode(column.c_str());
    EXPECT_EQ(copied->skinMesh, node->skinMesh);
    ASSERT_NE(copied->skinObject, nullptr);
    EXPECT_NE(copied->skinObject, node->skinObject);
    EXPECT_EQ(copied->skinned, 1);
    HodNode* bone2 = copy.FindNode("Bone2");
    ASSERT_NE(bone2->skinNode, nullptr);
    EXPECT_EQ(bone2->skinNode, copy.FindSkinNode(copied->skinObject->nodes[0].get(), "Bone2"));
    EXPECT_NE(bone2->skinNode, model.FindNode("Bone2")->skinNode);

    model.Release();  // the copy keeps the shared mesh
    EXPECT_EQ(copied->skinMesh->allFrames.size(), 4u);
    copy.Release();
}

TEST_F(SkinObjects, ASkinnedNodeBelowASkinnedNodeGetsItsOwnSkin)
{
    const std::string outer = Write(skintest::Tube{}, "outer.sx");
    skintest::Tube small;
    small.bones = 2;
    const std::string inner = Write(small, "inner.sx");
    Node root = Part("palette.x", 0);
    Node a = Part(outer);
    Node b = Part(inner, 2);
    b.children.push_back(Part("Bone1", 3));
    a.children.push_back(b);
    root.children.push_back(a);

    CHierarchyObject model;
    ASSERT_EQ(ReadHd2(model, root), 1);
    HodNode* innerNode = model.FindNode(inner.c_str());
    HodNode* outerNode = model.FindNode(outer.c_str());
    ASSERT_NE(innerNode->skinObject, nullptr);
    EXPECT_NE(innerNode->skinMesh, outerNode->skinMesh);
    HodNode* part = model.FindNode("Bone1");
    ASSERT_NE(part->skinNode, nullptr);
    EXPECT_EQ(part->skinNode, CHierarchyObject::FindSkinNode(innerNode->skinObject->nodes[0].get(), "Bone1"));
    model.Release();
}

TEST_F(SkinObjects, AnUnloadableSkinLeavesAPlainNodeAndTheModelLoads)
{
    skintest::Tube broken;
    broken.strayBone = "Ghost";
    Node root = Part("palette.x", 0);
    Node a = Part(Write(broken, "broken.sx"));
    a.children.push_back(Part("Bone1", 2));
    root.children.push_back(a);
    root.children.push_back(Part((folder_ / "absent.sx")));

    CHierarchyObject model;
    ASSERT_EQ(ReadHd2(model, root), 1);
    for (HodNode* n : {model.root->children[0], model.root->children[1]}) {
        EXPECT_EQ(n->skinned, 0);
        EXPECT_EQ(n->skinMesh, nullptr);
        EXPECT_EQ(n->skinObject, nullptr);
        EXPECT_NE(n->mesh, nullptr);
    }
    EXPECT_EQ(model.FindNode("Bone1")->skinNode, nullptr);
    model.Release();
}

TEST_F(SkinObjects, ScrambledSkinsLoadWithTheModelsKey)
{
    std::string bytes = skintest::TubeFile(skintest::Tube{});
    XorWords(bytes.data(), static_cast<u32>(bytes.size()), AssetKey);
    ASSERT_TRUE(folder_.Write("s.sx", bytes));
    Node root = Part("palette.x", 0);
    root.children.push_back(Part(folder_ / "s.sx"));
    CHierarchyObject model;
    ASSERT_EQ(ReadHd2(model, root, AssetKey), 1);
    EXPECT_EQ(model.root->children[0]->skinned, 1);
    model.Release();
}

// Skinned nodes naming one file share one skinned mesh, each with a pose of
// its own, in the model and in its copies; a tree whose skinned nodes would
// draw past the model's bound is refused from the file's counts, before any
// pose is built; so is a skin whose weights, copied to its split vertices,
// would pass the model's bound.
TEST_F(SkinObjects, SkinnedNodesShareOneMeshPerFileAndTooManyAreRefused)
{
    skintest::Tube dense;
    dense.rings = 21;
    dense.ringVertices = 25;  // 525 vertices, 1,000 faces
    const std::string tube = Write(dense, "dense.sx");
    // Under the root, ten plain nodes of `per` skinned nodes each.
    const auto tree = [&](int per, int plain) {
        Node root = Part("palette.x", 0);
        for (int a = 0; a < 10; ++a) {
            Node group = Part("group" + std::to_string(a));
            for (int b = 0; b < plain; ++b) {
                Node sub = Part("sub", 2);
                for (int c = 0; c < per; ++c) sub.children.push_back(Part(tube, 3));
                group.children.push_back(sub);
            }
            root.children.push_back(group);
        }
        return root;
    };
    CHierarchyObject model;
    ASSERT_EQ(ReadHd2(model, tree(10, 1)), 1);
    std::vector<HodNode*> skinned;
    for (u32 i = 0; i < model.nodeCount; ++i)
        if (model.nodeTable[i]->skinned) skinned.push_back(model.nodeTable[i]);
    ASSERT_EQ(skinned.size(), 100u);
    for (HodNode* n : skinned) {
        EXPECT_EQ(n->skinMesh, skinned[0]->skinMesh);
        EXPECT_NE(n->skinObject, nullptr);
        EXPECT_TRUE(n == skinned[0] || n->skinObject != skinned[0]->skinObject);
    }
    EXPECT_EQ(skinned[0]->skinMesh->fileCounts.faces, 1000u);
    {
        CHierarchyObject copy;
        model.CopyTo(&copy);
        model.Release();
        EXPECT_EQ(copy.FindNode(tube.c_str())->skinMesh->fileCounts.vertices, 525u);
        copy.Release();
    }

    // 1,000 skinned nodes of 1,000 faces: the 501st passes 500,000.
    HodNode* const before = model.root;
    EXPECT_EQ(ReadHd2(model, tree(10, 10)), 0);
    EXPECT_EQ(model.root, before);
    EXPECT_NE(std::string(CHierarchyObject::LastModelError()).find("its nodes draw 501000 faces by node "),
              std::string::npos)
        << CHierarchyObject::LastModelError();

    // A skin of one position whose corners name normals of their own has
    // its bone's entries copied to every vertex split from it: 112 entries
    // on 9,000 vertices pass the skin weights a model may hold, and that is
    // known from the file's counts before anything is built.
    ASSERT_TRUE(folder_.Write("split.sx", SplitHeavyMeshText(3000, 112)));
    Node split = Part("palette.x", 0);
    split.children.push_back(Part(folder_ / "split.sx"));
    EXPECT_EQ(ReadHd2(model, split), 0);
    EXPECT_EQ(model.root, before);
    EXPECT_NE(std::string(CHierarchyObject::LastModelError())
                  .find("split.sx' brings the model's meshes to 1008000 skin weights, more than 1000000"),
              std::string::npos)
        << CHierarchyObject::LastModelError();
}

}  // namespace
