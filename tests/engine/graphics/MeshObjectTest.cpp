#include "engine/graphics/MeshObject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "platform/gfx/Window.h"
#include "support/EngineGraphics.h"
#include "support/TempFolder.h"

using namespace plat;

namespace {

class GraphicsFixture : public EngineGraphicsFixture {
protected:
    u32 Pixel(int x, int y) { return ReadPixel(gd_->backBuffer, x, y) & 0xFFFFFF; }
    void Camera(const Vec3& eye)
    {
        const Vec3 at(0, 0, 0), up(0, 1, 0);
        MatrixLookAtLH(&gd_->view, &eye, &at, &up);
        MatrixPerspectiveFovLH(&gd_->projection, 0.8f, 1.0f, 0.5f, 200.0f);
        gd_->device->SetTransform(GfxTransform::View, gd_->view);
        gd_->device->SetTransform(GfxTransform::Projection, gd_->projection);
    }
};

using MeshLoading = GraphicsFixture;

TEST_F(MeshLoading, MaterialsTakeDiffuseAsAmbientAndTexturesAreShared)
{
    TextureManager& tm = gd_->textureManager;
    MeshObject a, b;
    ASSERT_EQ(a.Load("Quillon/Mesh/Box.x", 0, &tm), 1) << MeshObject::LastLoadError();
    ASSERT_EQ(a.materialCount, 2u);
    EXPECT_EQ(a.faceCount, 12u);
    EXPECT_EQ(a.materials[1].ambient, a.materials[1].diffuse);
    EXPECT_FLOAT_EQ(a.materials[1].diffuse.b, 1.0f);
    ASSERT_TRUE(a.textures[0]->texture);
    EXPECT_EQ(a.textures[0]->texture->Width(), 256u);
    EXPECT_EQ(a.textures[0]->texture->Height(), 128u);
    // The untextured material gets the shared "dammy" handle, left empty.
    EXPECT_EQ(a.textures[1]->texture, nullptr);
    ASSERT_EQ(b.Load("Quillon/Mesh/Box.x", 0, &tm), 1);
    EXPECT_EQ(b.textures[1], a.textures[1]);
    EXPECT_EQ(b.textures[0], a.textures[0]);
    EXPECT_EQ(a.textures[1]->refCount, 2u);
    EXPECT_EQ(tm.Count(), 2u);
    a.Release();
    a.Release();  // twice is harmless
    EXPECT_EQ(b.textures[0]->refCount, 1u);
    b.Release();
    EXPECT_EQ(tm.Count(), 0u);
}

// Two folders each with their own "sky.dds" under the same name: each mesh
// gets its own folder's picture, not the first one loaded.
TEST_F(MeshLoading, SameTextureNameInTwoFoldersGivesTwoTextures)
{
    TempFolder temp;
    std::string box;
    ASSERT_TRUE(ReadWholeFile("Quillon/Mesh/Box.x", box));
    const std::string from = "\"Quillon/Mesh/Box.dds\"";
    ASSERT_NE(box.find(from), std::string::npos);
    box.replace(box.find(from), from.size(), "\"sky.dds\"");
    const std::string here = GetCurrentDirectory();
    for (const char* source : {"A", "B"}) {
        std::string picture;
        ASSERT_TRUE(ReadWholeFile(source[0] == 'A' ? "Quillon/Mesh/Box.dds" : "Quillon/Mesh/Ground.dds", picture));
        std::filesystem::create_directory(temp / source);
        ASSERT_TRUE(temp.Write(std::string(source) + "/sky.dds", picture));
        ASSERT_TRUE(temp.Write(std::string(source) + "/m.x", box));
    }
    TextureManager& tm = gd_->textureManager;
    MeshObject a, b;
    ASSERT_TRUE(SetCurrentDirectory((temp / "A").c_str()));
    EXPECT_EQ(a.Load("m.x", 0, &tm), 1) << MeshObject::LastLoadError();
    ASSERT_TRUE(SetCurrentDirectory((temp / "B").c_str()));
    EXPECT_EQ(b.Load("m.x", 0, &tm), 1) << MeshObject::LastLoadError();
    SetCurrentDirectory(here.c_str());
    ASSERT_TRUE(a.textures && b.textures && a.textures[0]->texture && b.textures[0]->texture);
    EXPECT_NE(a.textures[0], b.textures[0]);
    EXPECT_NE(a.textures[0]->texture->Width(), b.textures[0]->texture->Width());
    a.Release();
    b.Release();
}

TEST_F(MeshLoading, TextureLevelsShrinkOrSkipTextures)
{
    TextureManager& tm = gd_->textureManager;
    MeshObject half;
    ASSERT_EQ(half.Load("Quillon/Mesh/Box.x", 1, nullptr), 1);
    ASSERT_TRUE(half.textures[0]->texture);
    EXPECT_EQ(half.textures[0]->texture->Width(), 128u);
    EXPECT_EQ(half.textures[0]->texture->Height(), 64u);
    EXPECT_EQ(half.textures[0]->manager, nullptr);  // owned by the mesh

    MeshObject none;
    ASSERT_EQ(none.Load("Quillon/Mesh/Box.x", MeshObject::NoTextures, &tm), 1);
    for (u32 i = 0; i < none.materialCount; ++i) {
        ASSERT_NE(none.textures[i], nullptr);
        EXPECT_EQ(none.textures[i]->texture, nullptr);
        EXPECT_EQ(none.textures[i]->manager, nullptr);
    }
    EXPECT_EQ(tm.Count(), 0u);  // no image file was touched
    EXPECT_EQ(none.Load("Quillon/Mesh/Box.x", 40, &tm), 0);
    EXPECT_NE(std::string(MeshObject::LastLoadError()).find("texture level 40"), std::string::npos);
}

TEST_F(MeshLoading, ScrambledMeshesNeedTheirOwnKey)
{
    TextureManager& tm = gd_->textureManager;
    MeshObject asset, title, sized, wrong;
    ASSERT_EQ(asset.LoadScrambled("Quillon/Mesh/BoxS.x", AssetKey, &tm), 1) << MeshObject::LastLoadError();
    ASSERT_TRUE(asset.textures[0]->texture);
    EXPECT_EQ(asset.textures[0]->texture->Width(), 256u);
    ASSERT_EQ(title.LoadScrambled("Quillon/Mesh/BoxM.x", MeshKey, nullptr), 1);
    EXPECT_TRUE(title.textures[0]->texture);
    ASSERT_EQ(sized.LoadScrambledWithTextures("Quillon/Mesh/BoxM.x", 1, MeshKey, nullptr), 1);
    ASSERT_TRUE(sized.textures[0]->texture);
    EXPECT_EQ(sized.textures[0]->texture->Width(), 128u);
    EXPECT_EQ(wrong.LoadScrambled("Quillon/Mesh/BoxS.x", MeshKey, &tm), 0);
    EXPECT_NE(std::string(MeshObject::LastLoadError()).find("not an X file"), std::string::npos);
    EXPECT_EQ(wrong.mesh, nullptr);
    EXPECT_EQ(wrong.LoadScrambled("Quillon/Mesh/Missing.x", AssetKey, &tm), 0);
    asset.Release();
    EXPECT_EQ(tm.Count(), 0u);
}

TEST_F(MeshLoading, MoreMaterialsThanTheTablesHoldIsRefused)
{
    TempFolder tmp;
    std::string x = "xof 0303txt 0032\nMesh M {\n 3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,2;;\n"
                    " MeshMaterialList {\n  101;\n  1;\n  100;;\n";
    for (int i = 0; i < 101; ++i) x += "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n";
    x += " }\n}\n";
    ASSERT_TRUE(tmp.Write("many.x", x));
    MeshObject m;
    EXPECT_EQ(m.Load((tmp / "many.x").c_str(), 0, nullptr), 0);
    EXPECT_NE(std::string(MeshObject::LastLoadError()).find("101 materials"), std::string::npos);
    EXPECT_EQ(m.materials, nullptr);
    EXPECT_EQ(m.mesh, nullptr);
}

// Box of half size 1 with bounds and collision triangles.
class MeshGeometry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(box.Load("Quillon/Mesh/Box.x", MeshObject::NoTextures, nullptr), 1);
        box.ComputeBounds();
        box.BuildCollisionTriangles();
        ASSERT_EQ(ground.Load("Quillon/Mesh/Ground.x", MeshObject::NoTextures, nullptr), 1);
        ground.BuildCollisionTriangles();
    }
    MeshObject box, ground;
    CQueue<FaceQ> faces;
};

TEST_F(MeshGeometry, BoundsAndTrianglesOfTheBox)
{
    EXPECT_EQ(box.boxMin, Vec3(-1, -1, -1));
    EXPECT_EQ(box.boxSize, Vec3(2, 2, 2));
    EXPECT_NEAR(box.sphereCentre.x, 0.0f, 1e-6f);
    EXPECT_NEAR(box.sphereRadius, std::sqrt(3.0f), 1e-5f);
    ASSERT_NE(box.triangles, nullptr);
    for (u32 i = 0; i < box.faceCount; ++i) {
        const CollisionTriangle& t = box.triangles[i];
        EXPECT_NEAR(Vec3Length(&t.normal), 1.0f, 1e-6f);
        // Outward: the normal points the same way as the face's centre.
        const Vec3 c = (t.P0 + t.P1 + t.P2) / 3.0f;
        EXPECT_GT(Vec3Dot(&c, &t.normal), 0.0f) << "triangle " << i;
        EXPECT_LE(t.min.x, std::min(t.P0.x, std::min(t.P1.x, t.P2.x)));
        EXPECT_GE(t.max.y, std::max(t.P0.y, std::max(t.P1.y, t.P2.y)));
    }
}

TEST_F(MeshGeometry, RaysFindTheNearestTriangleAndTiesKeepTheFirst)
{
    const Vec3 origin(0.3f, 0.2f, -5.0f), dir(0, 0, 2);
    float dist = 0;
    u32 index = 99;
    ASSERT_EQ(box.IntersectRay(&origin, &dir, &dist, &index), 1);
    EXPECT_NEAR(dist, 2.0f, 1e-6f);  // in units of the direction's length
    EXPECT_LT(box.triangles[index].P0.z, -0.99f);
    // Through the diagonal shared by both triangles of the front face.
    const Vec3 diag(0.5f, 0.5f, -5.0f), one(0, 0, 1);
    u32 first = 99;
    ASSERT_EQ(box.IntersectRay(&diag, &one, &dist, &first), 1);
    for (u32 i = 0; i < first; ++i) {
        float d = 0;
        EXPECT_FALSE(IntersectTri(&box.triangles[i].P0, &box.triangles[i].P1, &box.triangles[i].P2, &diag, &one,
                                  nullptr, nullptr, &d) &&
                     d == dist)
            << "triangle " << i << " ties and comes first";
    }
    // A miss leaves the outputs alone; no index output is fine.
    const Vec3 away(5, 5, -5);
    dist = -7;
    EXPECT_EQ(box.IntersectRay(&away, &one, &dist, nullptr), 0);
    EXPECT_EQ(dist, -7.0f);
    Mat4 world;
    MatrixTranslation(&world, 10, 0, 0);
    const Vec3 worldOrigin(10.3f, 0.2f, -5.0f);
    ASSERT_EQ(box.IntersectRayWorld(&worldOrigin, &one, &dist, &index, &world), 1);
    EXPECT_NEAR(dist, 4.0f, 1e-6f);
    EXPECT_EQ(box.BoxIntersectRay(&origin, &one, &dist), 1);
    EXPECT_NEAR(dist, 4.0f, 1e-6f);
    const Vec3 lo(2, 2, 2), hi(3, 3, 3);
    EXPECT_EQ(BoxIntersectRayMinMax(&lo, &hi, &origin, &one, &dist), 0);
    MeshObject empty;
    EXPECT_EQ(empty.IntersectRay(&origin, &one, &dist, nullptr), 0);
}

TEST_F(MeshGeometry, FacePushOutMovesTheCentreAtOnceAndIgnoresExactTouch)
{
    Vec3 c(0.3f, 0.5f, 1.1f), dir;
    float len = 0;
    ASSERT_EQ(ground.CollideSphere(&c, 1.0f, &len, &dir, &faces), 1);
    EXPECT_NEAR(len, 0.5f, 1e-6f);
    EXPECT_NEAR(dir.y, 1.0f, 1e-6f);
    EXPECT_NEAR(c.y, 1.0f, 1e-6f);
    faces.DeleteAll();  // neighbouring triangles were queued as edge candidates
    // Exactly radius away: no push.
    Vec3 touching(0.3f, 1.0f, 1.1f);
    EXPECT_EQ(ground.CollideSphere(&touching, 1.0f, &len, &dir, &faces), 0);
    EXPECT_EQ(len, 0.0f);
    // A centre on the diagonal shared by two triangles is inside both; the
    // first push lifts it, so the second sees it exactly touching.
    Vec3 onEdge(2.5f, 0.25f, 2.5f);
    ASSERT_EQ(ground.CollideSphere(&onEdge, 1.0f, &len, &dir, &faces), 1);
    EXPECT_NEAR(len, 0.75f, 1e-6f);
    EXPECT_NEAR(onEdge.y, 1.0f, 1e-6f);
    EXPECT_EQ(ground.CollideSphere(&c, 1.0f, &len, &dir, nullptr), 0);
}

TEST_F(MeshGeometry, EdgeContactIsLeftForTheSecondStage)
{
    // Beside the box's top front edge (x = 1, y = 1): 0.707 from the edge line.
    Vec3 c(1.5f, 1.5f, 0.0f), dir;
    float len = 0;
    EXPECT_EQ(box.CollideSphere(&c, 1.0f, &len, &dir, &faces), 0);
    EXPECT_EQ(len, 0.0f);
    EXPECT_GT(faces.GetCount(), 0u);
    ASSERT_EQ(box.CollideSphere2(&c, 1.0f, &len, &dir, &faces), 1);
    EXPECT_NEAR(len, 1.0f - std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(dir.x, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(dir.y, std::sqrt(0.5f), 1e-5f);
    EXPECT_EQ(faces.GetCount(), 0u);
    EXPECT_EQ(faces.Peek(), nullptr);
}

TEST_F(MeshGeometry, CentreExactlyOnAnEdgeGivesContactWithoutDirection)
{
    FaceQ* node = faces.Add();
    node->triangle = &box.triangles[0];
    Vec3 c = (box.triangles[0].P0 + box.triangles[0].P1) * 0.5f, dir;
    float len = 1;
    EXPECT_EQ(box.CollideSphere2(&c, 0.1f, &len, &dir, &faces), 1);
    EXPECT_EQ(len, 0.0f);
    EXPECT_EQ(dir, Vec3());
}

TEST_F(MeshGeometry, WorldPushOutMovesTheCallersCentre)
{
    Mat4 world;
    MatrixTranslation(&world, 10, 0, 0);
    Vec3 c(10.2f, 1.5f, 0.1f), dir;
    float len = 0;
    ASSERT_EQ(box.CollideSphereWorld(&c, 1.0f, &len, &dir, &faces, &world), 1);
    EXPECT_NEAR(c.y, 2.0f, 1e-5f);
    EXPECT_NEAR(c.x, 10.2f, 1e-5f);
    faces.DeleteAll();
    Vec3 edge(11.5f, 1.5f, 0.0f);
    EXPECT_EQ(box.CollideSphereWorld(&edge, 1.0f, &len, &dir, &faces, &world), 0);
    ASSERT_EQ(box.CollideSphere2World(&edge, 1.0f, &len, &dir, &faces, &world), 1);
    EXPECT_NEAR(edge.x, 11.0f + std::sqrt(0.5f), 1e-4f);
}

TEST_F(MeshGeometry, AdjacencyBufferTooSmallIsRefusedNotOverrun)
{
    EXPECT_EQ(box.CreateAdjacency(1e-6f, 12 * 3 * 4 - 4), 0);
    EXPECT_EQ(box.Clean(3), 0);  // the short buffer is not handed on either
    EXPECT_EQ(box.CreateAdjacency(1e-6f, 12 * 3 * 4), 1);
    EXPECT_EQ(box.Clean(3), 1);
}

TEST_F(MeshGeometry, TrianglesFollowTheMeshAfterProcessingDroppedFaces)
{
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("degenerate.x", "xof 0303txt 0032\nMesh M {\n 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;;\n"
                                          " 3; 3;0,2,1;, 3;1,1,2;, 3;1,2,3;;\n}\n"));
    MeshObject m;
    ASSERT_EQ(m.Load((tmp / "degenerate.x").c_str(), MeshObject::NoTextures, nullptr), 1);
    EXPECT_EQ(m.faceCount, 3u);
    ASSERT_EQ(m.OptimizeInplace(plat::MeshOptCompact), 1);
    // The index buffer now holds two faces: the triangles must not read a third.
    m.BuildCollisionTriangles();
    EXPECT_EQ(m.faceCount, 2u);
    const Vec3 origin(0.9f, 0.9f, -1.0f), dir(0, 0, 1);
    float dist = 0;
    u32 index = 9;
    ASSERT_EQ(m.IntersectRay(&origin, &dir, &dist, &index), 1);
    EXPECT_EQ(index, 1u);
}

TEST_F(MeshGeometry, RaysTakeTrianglesFourAtATimeAsOneAtATime)
{
    // Corners on a coarse lattice give shared edges, planes holding the ray,
    // flat and repeated-corner faces; 23 faces leave a part block.
    std::mt19937 random(11);
    auto lattice = [&] { return float(int(random() % 13) - 6) * 0.5f; };
    std::string x = "xof 0303txt 0032\nMesh M {\n 30;";
    for (int i = 0; i < 30; ++i)
        x += " " + std::to_string(lattice()) + ";" + std::to_string(lattice()) + ";" + std::to_string(lattice()) + ";" +
             (i < 29 ? "," : ";");
    x += "\n 23;";
    for (int f = 0; f < 23; ++f) {
        const int a = int(random() % 30), b = f % 7 == 3 ? a : int(random() % 30), c = int(random() % 30);
        x += " 3;" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + ";" + (f < 22 ? "," : ";");
    }
    x += "\n}\n";
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("lattice.x", x));
    MeshObject m;
    ASSERT_EQ(m.Load((tmp / "lattice.x").c_str(), MeshObject::NoTextures, nullptr), 1);
    m.BuildCollisionTriangles();
    ASSERT_EQ(m.faceCount, 23u);
    int hits = 0;
    for (int i = 0; i < 4000; ++i) {
        // Every other ray from the lattice too, to start in planes and cross corners.
        auto any = [&] { return i % 2 ? lattice() : std::uniform_real_distribution<float>(-4, 4)(random); };
        const Vec3 origin(any(), any(), any()), dir(any(), any(), any());
        const Vec3 lo(any(), any(), any()), hi = lo + Vec3(2, 2, 2);
        // One triangle at a time: the nearest, the first found on a tie.
        for (const bool boxed : {false, true}) {
            bool want = false;
            float best = 0;
            u32 bestIndex = 0;
            for (u32 f = 0; f < m.faceCount; ++f) {
                const CollisionTriangle& t = m.triangles[f];
                float d = 0;
                if (boxed && !(lo.x <= t.max.x && hi.x >= t.min.x && lo.y <= t.max.y && hi.y >= t.min.y &&
                               lo.z <= t.max.z && hi.z >= t.min.z))
                    continue;
                if (!IntersectTri(&t.P0, &t.P1, &t.P2, &origin, &dir, nullptr, nullptr, &d) || (want && !(best > d)))
                    continue;
                want = true;
                best = d;
                bestIndex = f;
            }
            float dist = -1;
            u32 index = 99;
            const int got = boxed ? m.IntersectRayInBox(&origin, &dir, lo, hi, &dist, &index)
                                  : m.IntersectRay(&origin, &dir, &dist, &index);
            ASSERT_EQ(got, want ? 1 : 0) << "ray " << i << (boxed ? " in its box" : "");
            if (!want) continue;
            ++hits;
            ASSERT_EQ(index, bestIndex) << "ray " << i;
            ASSERT_EQ(dist, best) << "ray " << i;
        }
    }
    EXPECT_GT(hits, 500);
}

TEST_F(MeshGeometry, RobotPreparationStepsEndInAProgressiveMesh)
{
    MeshObject sphere;
    ASSERT_EQ(sphere.Load("Quillon/Mesh/Sphere.x", MeshObject::NoTextures, nullptr), 1);
    const u32 faces0 = sphere.mesh->GetNumFaces();
    EXPECT_EQ(sphere.Clean(3), 1);
    EXPECT_EQ(sphere.CreateAdjacency(1e-6f, sphere.mesh->GetNumFaces() * 12), 1);
    WeldEpsilons eps;
    eps.Position = 1e-6f;
    eps.BlendWeights = eps.Normal = 0.01f;
    for (float& t : eps.Texcoord) t = 0.01f;
    EXPECT_EQ(sphere.WeldVertices(3, &eps), 1);
    EXPECT_EQ(sphere.OptimizeInplace(0x07000000), 1);
    EXPECT_EQ(sphere.ComputeNormals(), 1);
    EXPECT_EQ(sphere.Clean(3), 1);
    EXPECT_EQ(sphere.GenerateProgressiveMesh(nullptr, nullptr, 0, SimplifyByFace, 1), 1);
    EXPECT_EQ(sphere.mesh, nullptr);
    ASSERT_NE(sphere.progressiveMesh, nullptr);
    EXPECT_EQ(sphere.DrawnMesh(), sphere.progressiveMesh.get());
    const u32 max = sphere.progressiveMesh->GetMaxFaces();
    EXPECT_LE(max, faces0);
    sphere.progressiveMesh->SetNumFaces(max / 2);
    EXPECT_LE(sphere.progressiveMesh->GetNumFaces(), max / 2);
    // Without a mesh every processing step refuses at once.
    EXPECT_EQ(sphere.Clean(3), 0);
    EXPECT_EQ(sphere.ComputeNormals(), 0);
    EXPECT_EQ(sphere.CreateAdjacency(0.0f, 64), 0);
}

using MeshDrawing = GraphicsFixture;

TEST_F(MeshDrawing, FixedPipelineAndEffectDrawsBothReachTheScreen)
{
    MeshObject box;
    ASSERT_EQ(box.Load("Quillon/Mesh/Box.x", 0, &gd_->textureManager), 1);
    Camera(Vec3(0, 0, -5));
    CreateShaderWrappers(256, 256, 0);
    ASSERT_TRUE(GetShaderBasic()->effect) << GetShaderBasic()->LastError();
    gd_->SetDirectionalLight(0, Vec3(0, 0, 1), ColorF(1, 1, 1, 1), ColorF(0.3f, 0.3f, 0.3f, 1), ColorF(0, 0, 0, 1));
    gd_->device->SetRenderState(GfxRenderState::Lighting, 0);

    gd_->device->BeginScene();
    gd_->device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    const Mat4 identity;
    gd_->device->SetTransform(GfxTransform::World, identity);
    box.Draw();
    gd_->device->EndScene();
    const u32 fixed = Pixel(128, 128);
    EXPECT_NE(fixed, 0u);

    gd_->device->BeginScene();
    gd_->device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    Shader_Basic* basic = GetShaderBasic();
    basic->effect->SetTechnique(basic->hBasic);
    basic->SetWorld(&identity);
    const float light[3] = {0, 0, 1};
    const Vec4 eye(0, 0, -5, 1);
    basic->SetLighting(light, &eye);
    box.DrawShader(basic);
    gd_->device->EndScene();
    const u32 shaded = Pixel(128, 128);
    EXPECT_NE(shaded, 0u);
    EXPECT_EQ(Pixel(3, 3), 0u);
    EXPECT_EQ(basic->passCount, 1u);
    box.Release();
}

}  // namespace
