#include "platform/mesh/XFile.h"

#include <gtest/gtest.h>

#include <string>

using namespace plat;

namespace {

const char* kTriangle = R"(xof 0303txt 0032
template Vector {
 <3D82AB5E-62DA-11cf-AB39-0020AF71E433>
 FLOAT x;
 FLOAT y;
 FLOAT z;
}
# a comment
Header { 1; 0; 1; }
Material Red {
 1.0;0.0;0.0;1.0;;
 5.0;
 0.5;0.5;0.5;;
 0.1;0.2;0.3;;
 TextureFilename { "red.png"; }
}
Mesh Tri {
 4;
 0.0;0.0;0.0;,
 1.0;0.0;0.0;,
 0.0;1.0;0.0;,
 1.0;1.0;0.0;;
 2;
 3;0,2,1;,
 4;0,1,3,2;;
 MeshNormals {
  1;
  0.0;0.0;-1.0;;
  2;
  3;0,0,0;,
  4;0,0,0,0;;
 }
 MeshTextureCoords {
  4;
  0.0;0.0;, 1.0;0.0;, 0.0;1.0;, 1.0;1.0;;
 }
 MeshMaterialList {
  2;
  1;
  1;;
  { Red }
  Material { 0.0;0.0;1.0;0.5;; 1.0; 0;0;0;; 0;0;0;; }
 }
 VertexDuplicationIndices { 4; 4; 0, 1, 2, 3; }
}
)";

std::string Parse(const std::string& text, XFileData* out = nullptr)
{
    XFileData data;
    std::string error;
    const bool ok = ParseXFile(text.data(), text.size(), data, error);
    if (out) *out = data;
    return ok ? std::string() : error;
}

TEST(XFileParser, ReadsMeshWithNormalsCoordinatesAndMaterials)
{
    XFileData d;
    ASSERT_EQ(Parse(kTriangle, &d), "");
    ASSERT_EQ(d.meshes.size(), 1u);
    const XMeshData& m = d.meshes[0];
    EXPECT_EQ(m.name, "Tri");
    ASSERT_EQ(m.positions.size(), 4u);
    EXPECT_EQ(m.positions[3], Vec3(1, 1, 0));
    ASSERT_EQ(m.faceSizes.size(), 2u);
    EXPECT_EQ(m.faceSizes[1], 4u);
    EXPECT_EQ(m.faceIndices.size(), 7u);
    EXPECT_TRUE(m.hasNormals);
    EXPECT_EQ(m.normalIndices.size(), 7u);
    ASSERT_TRUE(m.hasTexCoords);
    EXPECT_EQ(m.texCoords[2], Vec2(0, 1));
    ASSERT_TRUE(m.hasMaterialList);
    ASSERT_EQ(m.materials.size(), 2u);
    // The referenced top-level material comes first, then the inline one.
    EXPECT_EQ(m.materials[0].name, "Red");
    EXPECT_EQ(m.materials[0].textureFile, "red.png");
    EXPECT_EQ(m.materials[0].emissive, Vec3(0.1f, 0.2f, 0.3f));
    EXPECT_FLOAT_EQ(m.materials[1].faceColor.a, 0.5f);
    EXPECT_TRUE(m.materials[1].textureFile.empty());
    // One face index given for two faces: the last one repeats.
    ASSERT_EQ(m.faceMaterials.size(), 2u);
    EXPECT_EQ(m.faceMaterials[0], 1u);
    EXPECT_EQ(m.faceMaterials[1], 1u);
}

TEST(XFileParser, ReadsFramesSkinAndAnimation)
{
    const std::string text = R"(xof 0303txt 0032
AnimTicksPerSecond { 30; }
Frame Root {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1;; }
 Frame Arm { }
 Mesh Skin {
  3; 0;0;0;, 1;0;0;, 0;1;0;;
  1; 3;0,1,2;;
  XSkinMeshHeader { 1; 3; 1; }
  SkinWeights { "Arm"; 2; 0, 2; 0.25, 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
 }
}
AnimationSet Walk {
 Animation {
  { Arm }
  AnimationKey { 0; 1; 10; 4; 0.5, 0.1, 0.2, 0.3;;; }
  AnimationKey { 4; 1; 20; 16; 1,0,0,0,0,1,0,0,0,0,1,0,1,2,3,1;;; }
  AnimationOptions { 1; 0; }
 }
}
)";
    XFileData d;
    ASSERT_EQ(Parse(text, &d), "");
    EXPECT_EQ(d.ticksPerSecond, 30u);
    ASSERT_EQ(d.frames.size(), 1u);
    const XFrameData& root = d.frames[0];
    EXPECT_EQ(root.name, "Root");
    EXPECT_FLOAT_EQ(root.transform.m[3][1], 6.0f);
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0].name, "Arm");
    ASSERT_EQ(root.meshes.size(), 1u);
    const XMeshData& m = root.meshes[0];
    ASSERT_EQ(m.skinWeights.size(), 1u);
    EXPECT_EQ(m.skinWeights[0].boneName, "Arm");
    EXPECT_EQ(m.skinWeights[0].vertices[1], 2u);
    EXPECT_FLOAT_EQ(m.skinWeights[0].weights[0], 0.25f);
    ASSERT_EQ(d.animationSets.size(), 1u);
    const XAnimationData& a = d.animationSets[0].animations[0];
    EXPECT_EQ(a.frameName, "Arm");
    ASSERT_EQ(a.rotations.size(), 1u);
    // Stored (w, x, y, z) in the file; kept as x, y, z, w.
    EXPECT_EQ(a.rotations[0].value, Quat(0.1f, 0.2f, 0.3f, 0.5f));
    EXPECT_EQ(a.rotations[0].time, 10u);
    ASSERT_EQ(a.matrices.size(), 1u);
    EXPECT_FLOAT_EQ(a.matrices[0].value.m[3][2], 3.0f);
}

struct BadFile {
    const char* what;
    std::string text;
    const char* expected;  // part of the message, with its line
};

TEST(XFileParser, RefusesMalformedFilesWithTheLineAtFault)
{
    const std::string head = "xof 0303txt 0032\n";
    const BadFile cases[] = {
        {"truncated", head + "Mesh M {\n 3;\n 0;0;0;,\n 1;0;0;,", "unexpected end of file"},
        {"vertex count beyond the data", head + "Mesh M {\n 5;\n 0;0;0;,\n 1;0;0;;\n 1;\n 3;0,1,2;;\n}\n",
         "line 8: expected a number"},
        {"face index out of range", head + "Mesh M {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 1;\n 3;0,1,3;;\n}\n",
         "line 6: vertex index 3 is out of range"},
        {"count larger than the file", head + "Mesh M {\n 4000000000;\n 0;0;0;;\n}\n",
         "line 3: vertex count 4000000000 is more than the file holds"},
        {"negative count", head + "Mesh M {\n -3;\n}\n", "line 3: vertex count must be a whole number"},
        {"fractional count", head + "Mesh M {\n 3.5;\n}\n", "line 3: vertex count must be a whole number"},
        {"normal faces differ",
         head + "Mesh M {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 1;\n 3;0,1,2;;\n MeshNormals {\n 1; 0;0;1;;\n 2; "
                "3;0,0,0;, 3;0,0,0;;\n }\n}\n",
         "line 8: MeshNormals has 2 faces"},
        {"material index out of range",
         head + "Mesh M {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 1;\n 3;0,1,2;;\n MeshMaterialList {\n 1; 1;\n 4;;\n "
                "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n }\n}\n",
         "line 9: material index 4 is out of range"},
        {"fewer materials than declared",
         head + "Mesh M {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 1;\n 3;0,1,2;;\n MeshMaterialList {\n 2; 1;\n 0;;\n "
                "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n }\n}\n",
         "line 8: material list declares 2 materials but gives 1"},
        {"unknown material reference",
         head + "Mesh M {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 1;\n 3;0,1,2;;\n MeshMaterialList {\n 1; 1;\n 0;;\n "
                "{ Missing }\n }\n}\n",
         "line 10: unknown material 'Missing'"},
        {"skin vertex out of range",
         head + "Mesh M {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 1;\n 3;0,1,2;;\n SkinWeights { \"B\"; 1;\n 7;\n 1.0; "
                "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n}\n",
         "line 8: skin vertex index 7 is out of range"},
        {"key with wrong value count", head + "AnimationSet S {\n Animation {\n {F}\n AnimationKey { 2; 1;\n 0; 4; "
                                             "1,2,3,4;;; }\n }\n}\n",
         "line 6: key has 4 values, its type needs 3"},
        {"unterminated string",
         head + "Material M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;;\n TextureFilename { \"tex.png; }\n}\n",
         "line 3: unterminated string"},
        {"stray character", head + "Mesh M {\n 1;\n 0;0;@;\n}\n", "line 4: unexpected character '@'"},
        {"polygon of two corners", head + "Mesh M {\n 3;\n 0;0;0;, 1;0;0;, 0;1;0;;\n 1;\n 2;0,1;;\n}\n",
         "face 0 has 2 corners"},
    };
    for (const BadFile& c : cases) {
        const std::string err = Parse(c.text);
        EXPECT_NE(err.find(c.expected), std::string::npos) << c.what << ": got \"" << err << "\"";
    }
}

TEST(XFileParser, RefusesBinaryAndForeignFilesAndDeepNesting)
{
    EXPECT_NE(Parse("xof 0303bin 0032....").find("only text X files"), std::string::npos);
    EXPECT_NE(Parse("not an x file at all").find("not an X file"), std::string::npos);
    EXPECT_NE(Parse("xof").find("not an X file"), std::string::npos);
    std::string deep = "xof 0303txt 0032\n";
    for (int i = 0; i < 200; ++i) deep += "Frame F {\n";
    for (int i = 0; i < 200; ++i) deep += "}\n";
    EXPECT_NE(Parse(deep).find("nested too deeply"), std::string::npos);
    std::string fine = "xof 0303txt 0032\n";
    for (int i = 0; i < 50; ++i) fine += "Frame F {\n";
    for (int i = 0; i < 50; ++i) fine += "}\n";
    EXPECT_EQ(Parse(fine), "");
}

}  // namespace
