#include "engine/model/HodModel.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/AssetFile.h"
#include "engine/model/HierarchyObject.h"
#include "support/HodFileBuilder.h"
#include "platform/math/Math.h"
#include "support/TempFolder.h"
#include "support/VertexHeavyMesh.h"
#include "engine/graphics/MeshObject.h"
#include "tools/StageFileWriter.h"

using hodtest::Node;

namespace {

// Opens bytes as a file; the folder lives as long as the fixture.
class HodFiles : public ::testing::Test {
protected:
    FileHandle* Open(const std::string& bytes)
    {
        const std::string name = "f" + std::to_string(count_++);
        EXPECT_TRUE(folder_.Write(name, bytes));
        files_.push_back(std::make_unique<FileHandle>());
        EXPECT_EQ(files_.back()->OpenRead((folder_ / name).c_str()), 1);
        return files_.back().get();
    }
    void TearDown() override { model.Release(); }

    TempFolder folder_;
    std::vector<std::unique_ptr<FileHandle>> files_;
    int count_ = 0;
    CHierarchyObject model;
};

Node Leaf(u32 level, const std::string& name, f32 x)
{
    Node n;
    n.level = level;
    n.name = name;
    n.local = hodtest::Translation(x, 0, 0);
    n.translation = Vec3(x, 0, 0);
    return n;
}

// Root "Root.x" with parts A (with child A1) and B.
Node SampleTree()
{
    Node root = Leaf(0, "Root.x", 0);
    Node a = Leaf(1, "A.x", 1);
    a.children.push_back(Leaf(2, "A1.x", 2));
    root.children.push_back(a);
    root.children.push_back(Leaf(1, "B.x", 3));
    return root;
}

std::vector<std::string> NodeNames(const CHierarchyObject& m)
{
    std::vector<std::string> names;
    for (u32 i = 0; i < m.nodeCount; ++i) names.push_back(m.nodeTable[i]->meshName);
    return names;
}

void ExpectNear(const Mat4& a, const Mat4& b, float eps = 1e-5f)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << r << "," << c;
}

TEST_F(HodFiles, HodModelBuildsTheTreeInFileOrderAndStopsAfterIt)
{
    FileHandle* f = Open(hodtest::HodFile(SampleTree()) + "TAIL");
    ASSERT_EQ(model.ReadHod(f, 0, 0, nullptr), 1);
    EXPECT_EQ(NodeNames(model), (std::vector<std::string>{"Root.x", "A.x", "A1.x", "B.x"}));
    HodNode* a1 = model.FindNode("A1.x");
    ASSERT_NE(a1, nullptr);
    EXPECT_EQ(a1->level, 2u);
    EXPECT_EQ(a1->parent, model.FindNode("A.x"));
    EXPECT_EQ(a1->local.m[3][0], 2.0f);
    EXPECT_NE(a1->mesh, nullptr);  // an empty mesh when the file is missing
    char rest[8] = {};
    EXPECT_EQ(f->Read(rest, 8), 4u);
    EXPECT_STREQ(rest, "TAIL");
    EXPECT_EQ(model.LoadHod((folder_ / "missing.hod").c_str(), 0, 0, nullptr), 0);
}

TEST_F(HodFiles, Hd2ModelComposesLocalMatricesAndKeepsNodeSettings)
{
    Node root = SampleTree();
    Node& a = root.children[0];
    a.rotation = Quat(0, 0.70710678f, 0, 0.70710678f);  // a quarter turn about y
    a.scale = Vec3(2, 2, 2);
    a.translation = Vec3(5, 6, 7);
    a.hidden = 1;
    a.linkMode = 3;
    a.swing[0] = 30.0f;
    a.swing[1] = 0.25f;
    a.swing[2] = 0.5f;
    a.optionA = 4;
    a.optionB = 9;
    a.nodeVector = Vec3(1, 2, 3);
    ASSERT_EQ(model.ReadHd2(Open(hodtest::Hd2File(root)), 0, 0, nullptr), 1);
    HodNode* n = model.FindNode("A.x");
    ASSERT_NE(n, nullptr);
    Mat4 s, r, expected;
    plat::MatrixScaling(&s, 2, 2, 2);
    plat::MatrixRotationQuaternion(&r, &a.rotation);
    plat::MatrixMultiply(&expected, &s, &r);
    expected.m[3][0] = 5;
    expected.m[3][1] = 6;
    expected.m[3][2] = 7;
    ExpectNear(n->local, expected);
    EXPECT_EQ(n->hidden, 1);
    EXPECT_EQ(n->linkMode, 3);
    EXPECT_EQ(n->SwingMaxAngle(), 30.0f);
    EXPECT_EQ(n->SwingFollow(), 0.25f);
    EXPECT_EQ(n->SwingSpring(), 0.5f);
    EXPECT_EQ(n->swingParams[78], 0x5A);  // the unread tail is carried
    EXPECT_EQ(n->optionA, 4);
    EXPECT_EQ(n->optionB, 9);
    EXPECT_EQ(n->nodeVector, Vec3(1, 2, 3));
}

TEST_F(HodFiles, Hd2FileTypesOtherThanModelAreRefusedOrGiveABareRoot)
{
    EXPECT_EQ(model.ReadHd2(Open(hodtest::Hd2File(SampleTree(), 1)), 0, 0, nullptr), 0);
    EXPECT_EQ(model.root, nullptr);
    ASSERT_EQ(model.ReadHd2(Open(hodtest::Hd2File(SampleTree(), 2)), 0, 0, nullptr), 1);
    ASSERT_NE(model.root, nullptr);
    EXPECT_EQ(model.nodeCount, 1u);
    EXPECT_EQ(model.root->children[0], nullptr);
}

TEST_F(HodFiles, MalformedModelsAreRefusedAndTheOldModelStays)
{
    ASSERT_EQ(model.ReadHod(Open(hodtest::HodFile(SampleTree())), 0, 0, nullptr), 1);
    HodNode* const oldRoot = model.root;

    std::vector<std::string> bad;
    {
        Node n = SampleTree();
        for (int i = 0; i < 11; ++i) n.children.push_back(Leaf(1, "C.x", 0));
        bad.push_back(hodtest::HodFile(n));  // eleven children
    }
    {
        std::string s = hodtest::HodFile(Leaf(0, "Root.x", 0));
        std::string rec;
        hodtest::PutU32(rec, 0);
        hodtest::PutU32(rec, 0);
        hodtest::PutName(rec, "", false);
        hodtest::PutMatrix(rec, Mat4());
        s.replace(7, rec.size(), rec);
        bad.push_back(s);  // a name with no terminator
    }
    {
        Node deep = Leaf(0, "D.x", 0);
        for (int i = 0; i < 100; ++i) {
            Node parent = Leaf(0, "D.x", 0);
            parent.children.push_back(deep);
            deep = parent;
        }
        bad.push_back(hodtest::HodFile(deep));  // deeper than any model
    }
    {
        const std::string whole = hodtest::HodFile(SampleTree());
        bad.push_back(whole.substr(0, whole.size() - 10));  // cut short
    }
    {
        Node n = SampleTree();
        n.declaredChildren = 3;  // promises a child the file lacks
        bad.push_back(hodtest::HodFile(n));
    }
    bad.push_back("HOX" + hodtest::HodFile(SampleTree()).substr(3));

    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(model.ReadHod(Open(bad[i]), 0, 0, nullptr), 0) << "case " << i;
        EXPECT_EQ(model.root, oldRoot) << "case " << i;
        EXPECT_EQ(model.nodeCount, 4u) << "case " << i;
    }
    EXPECT_EQ(model.ReadHd2(Open("HD2" + std::string(8, '\0') + "short"), 0, 0, nullptr), 0);
    EXPECT_EQ(model.root, oldRoot);
}

class HodKeys : public HodFiles {
protected:
    void SetUp() override
    {
        ASSERT_EQ(model.ReadHod(Open(hodtest::HodFile(SampleTree())), 0, 0, nullptr), 1);
        ASSERT_EQ(model.AllocAnimeKeys(5, 2), 1);
    }
    const HodKey& Key(const char* node, u32 anime, u32 index)
    {
        return model.FindNode(node)->keyTables[anime].keys[index];
    }
};

TEST_F(HodKeys, Ver1KeysTakeTheMatrixAndDeriveRotationScaleAndTranslation)
{
    Mat4 rot, scale, pose;
    plat::MatrixRotationZ(&rot, 0.5f);
    plat::MatrixScaling(&scale, 2, 3, 4);
    plat::MatrixMultiply(&pose, &scale, &rot);
    pose.m[3][0] = 7;
    pose.m[3][1] = 8;
    pose.m[3][2] = 9;
    std::vector<Mat4> poses = {Mat4(), pose, Mat4(), Mat4()};
    ASSERT_EQ(model.LoadDataToTable_Ver1(Open(hodtest::Ver1File(SampleTree(), poses)), 5, 1), 1);
    const HodKey& k = Key("A.x", 5, 1);
    ExpectNear(k.matrix, pose);
    EXPECT_NEAR(k.scale.x, 2, 1e-5f);
    EXPECT_NEAR(k.scale.y, 3, 1e-5f);
    EXPECT_NEAR(k.scale.z, 4, 1e-5f);
    EXPECT_EQ(k.translation, Vec3(7, 8, 9));
    Quat expected;
    plat::QuaternionRotationMatrix(&expected, &rot);
    EXPECT_NEAR(std::fabs(plat::QuaternionDot(&k.rotation, &expected)), 1.0f, 1e-5f);
    EXPECT_EQ(k.rotationMode, kHodRotSlerp);
    // Key 0 of the same table was not touched.
    EXPECT_EQ(Key("A.x", 5, 0).matrix, Mat4());
}

TEST_F(HodKeys, Ver1FilesThatDoNotFitTheModelWriteNothing)
{
    const std::vector<Mat4> poses(5, hodtest::Translation(1, 1, 1));
    Node fewer = SampleTree();
    fewer.children.pop_back();
    Node more = SampleTree();
    more.children.push_back(Leaf(1, "C.x", 0));
    Node sameCountOtherShape = Leaf(0, "R", 0);
    for (int i = 0; i < 3; ++i) sameCountOtherShape.children.push_back(Leaf(1, "x", 0));

    EXPECT_EQ(model.LoadDataToTable_Ver1(Open(hodtest::Ver1File(fewer, poses)), 5, 0), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver1(Open(hodtest::Ver1File(more, poses)), 5, 0), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver1(Open(hodtest::Ver1File(SampleTree(), poses)), 5, 2), 0);  // key past the table
    EXPECT_EQ(model.LoadDataToTable_Ver1(Open(hodtest::Ver1File(SampleTree(), poses)), 200, 0), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver1(Open(hodtest::Ver1File(SampleTree(), poses)), 6, 0), 0);  // not allocated
    for (const char* name : {"Root.x", "A.x", "A1.x", "B.x"}) EXPECT_EQ(Key(name, 5, 0).matrix, Mat4()) << name;
    // Same count in another shape is accepted: only the order matters.
    EXPECT_EQ(model.LoadDataToTable_Ver1(Open(hodtest::Ver1File(sameCountOtherShape, poses)), 5, 0), 1);
}

TEST_F(HodKeys, Ver2KeysCarryModesAndControlPoints)
{
    std::vector<hodtest::Ver2Key> keys(4);
    hodtest::Ver2Key& k = keys[2];
    k.rotation = Quat(0, 0, 0.70710678f, 0.70710678f);
    k.scale = Vec3(1, 2, 1);
    k.translation = Vec3(3, 4, 5);
    k.a = Quat(1, 0, 0, 0);
    k.b = Quat(0, 1, 0, 0);
    k.c = Quat(0, 0, 1, 0);
    k.rotationMode = 1;
    k.scaleMode = 1;
    k.translationMode = 1;
    ASSERT_EQ(model.LoadDataToTable_Ver2(Open(hodtest::Ver2File(keys)), 5, 1), 1);
    const HodKey& got = Key("A1.x", 5, 1);
    EXPECT_EQ(got.rotation, k.rotation);
    EXPECT_EQ(got.translation, k.translation);
    EXPECT_EQ(got.squadB, k.b);
    EXPECT_EQ(got.rotationMode, 1);
    EXPECT_EQ(got.translationMode, 1);
    Mat4 s, r, expected;
    plat::MatrixScaling(&s, 1, 2, 1);
    plat::MatrixRotationQuaternion(&r, &k.rotation);
    plat::MatrixMultiply(&expected, &s, &r);
    expected.m[3][0] = 3;
    expected.m[3][1] = 4;
    expected.m[3][2] = 5;
    ExpectNear(got.matrix, expected);
}

TEST_F(HodKeys, Ver2RefusesOtherFormatsShortFilesAndKeysOutsideTheTable)
{
    const std::vector<hodtest::Ver2Key> keys(4);
    EXPECT_EQ(model.LoadDataToTable_Ver2(Open(hodtest::Ver1File(SampleTree(), {})), 5, 0), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver2(Open("XYZ" + hodtest::Ver2File(keys).substr(3)), 5, 0), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver2(Open(hodtest::Ver2File(keys, 0)), 5, 0), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver2(Open(hodtest::Ver2File(std::vector<hodtest::Ver2Key>(3))), 5, 0), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver2(Open(hodtest::Ver2File(keys)), 5, 2), 0);
    EXPECT_EQ(model.LoadDataToTable_Ver2(Open(hodtest::Ver2File(keys)), 250, 0), 0);
}

TEST_F(HodKeys, ReallocatingKeysReplacesTheTableAndRefusesAbsurdCounts)
{
    ASSERT_EQ(model.AllocAnimeKeys(5, 7), 1);
    EXPECT_EQ(model.FindNode("B.x")->keyTables[5].count, 7u);
    EXPECT_EQ(model.AnimeKeyCount(5), 7u);
    EXPECT_EQ(model.AllocAnimeKeys(200, 1), 0);
    EXPECT_EQ(model.AllocAnimeKeys(5, 0xFFFFFFFFu), 0);
    EXPECT_EQ(model.AnimeKeyCount(5), 7u);
}

// Nodes naming one file draw one shared mesh, which lives while any copy of
// the tree does; a tree whose nodes would draw more than the budget is
// refused whole and keeps the old model.
TEST_F(HodFiles, NodesShareTheirMeshFilesAndTreesOverTheVertexBudgetAreRefused)
{
    ASSERT_TRUE(folder_.Write("box.x", StageBoxMeshText({{{-1, -1, -1}, {1, 1, 1}}}, 1, 1, 1)));
    ASSERT_TRUE(folder_.Write("heavy.x", VertexHeavyMeshText(65535)));
    const std::string box = folder_ / "box.x", heavy = folder_ / "heavy.x";
    // 1 + 10 + 100 + 200 nodes, all over the box.
    Node root = Leaf(0, box, 0);
    for (int a = 0; a < 10; ++a) {
        Node n = Leaf(1, box, 1);
        for (int b = 0; b < 10; ++b) {
            Node m = Leaf(2, box, 2);
            if (a < 2)
                for (int c = 0; c < 10; ++c) m.children.push_back(Leaf(3, box, 3));
            n.children.push_back(m);
        }
        root.children.push_back(n);
    }
    ASSERT_EQ(model.ReadHd2(Open(hodtest::Hd2File(root)), 0, 0, nullptr), 1);
    ASSERT_EQ(model.nodeCount, 311u);
    MeshObject* shared = model.nodeTable[1]->mesh;
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->VertexCount(), 24u);
    EXPECT_NE(model.root->mesh, shared);  // the root loads with textures, parts without
    for (u32 i = 1; i < model.nodeCount; ++i) EXPECT_EQ(model.nodeTable[i]->mesh, shared) << i;
    {
        CHierarchyObject copy;
        model.CopyTo(&copy);
        model.Release();
        EXPECT_EQ(copy.nodeTable[310]->mesh->VertexCount(), 24u);
        copy.Release();
    }

    Node light = Leaf(0, heavy, 0);
    for (int i = 0; i < 6; ++i) light.children.push_back(Leaf(1, heavy, 1));
    ASSERT_EQ(model.ReadHd2(Open(hodtest::Hd2File(light)), 0, 0, nullptr), 1);
    EXPECT_EQ(model.nodeTable[6]->mesh->VertexCount(), 65535u);
    EXPECT_EQ(model.nodeTable[6]->mesh, model.nodeTable[1]->mesh);
    HodNode* const kept = model.root;

    Node over = light;
    for (int i = 0; i < 2; ++i) over.children.push_back(Leaf(1, heavy, 1));  // the eighth node passes 500,000 vertices
    EXPECT_EQ(model.ReadHd2(Open(hodtest::Hd2File(over)), 0, 0, nullptr), 0);
    EXPECT_EQ(std::string(CHierarchyObject::LastModelError()),
              "its nodes draw 524280 vertices by node 8 ('" + heavy + "'), more than 500000");
    EXPECT_EQ(model.root, kept);
    EXPECT_EQ(model.nodeCount, 7u);
}

}  // namespace
