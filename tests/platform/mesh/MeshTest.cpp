#include "platform/mesh/Mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include "platform/math/Math.h"
#include "platform/mesh/MeshBuild.h"
#include "platform/mesh/SkinInfo.h"

using namespace plat;

namespace {

LoadedMesh LoadText(const std::string& text, std::string* error = nullptr)
{
    LoadedMesh out;
    std::string err;
    LoadMeshFromXInMemory(text.data(), text.size(), MeshManaged, out, &err);
    if (error) *error = err;
    return out;
}

Vec3 Position(const BaseMesh& m, u32 v)
{
    Vec3 p;
    std::memcpy(&p, m.VertexData() + static_cast<size_t>(v) * m.GetNumBytesPerVertex(), 12);
    return p;
}

std::span<u32> Adjacency(LoadedMesh& l)
{
    return {static_cast<u32*>(l.adjacency->GetBufferPointer()), l.adjacency->GetBufferSize() / 4};
}

// Every adjacency link is returned by the neighbour.
void ExpectSymmetricAdjacency(std::span<const u32> adj, u32 faces)
{
    for (u32 f = 0; f < faces; ++f) {
        for (u32 k = 0; k < 3; ++k) {
            const u32 n = adj[f * 3 + k];
            if (n == NoIndex) continue;
            ASSERT_LT(n, faces);
            EXPECT_TRUE(adj[n * 3] == f || adj[n * 3 + 1] == f || adj[n * 3 + 2] == f) << "face " << f;
        }
    }
}

TEST(MeshLoading, BoxComesWithFormatMaterialsAttributesAndClosedAdjacency)
{
    LoadedMesh box;
    std::string err;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Box.x", MeshManaged, box, &err)) << err;
    const Mesh& m = *box.mesh;
    EXPECT_EQ(m.GetNumFaces(), 12u);
    EXPECT_EQ(m.GetNumVertices(), 24u);
    EXPECT_EQ(m.GetFVF(), FvfXyz | FvfNormal | FvfTex1);
    EXPECT_EQ(m.GetNumBytesPerVertex(), 32u);
    ASSERT_EQ(box.materials.size(), 2u);
    EXPECT_EQ(box.materials[0].textureFilename, "Quillon/Mesh/Box.dds");
    EXPECT_TRUE(box.materials[1].textureFilename.empty());
    EXPECT_FLOAT_EQ(box.materials[1].MatD3D.Power, 20.0f);
    std::set<u32> attrs(m.AttributeData(), m.AttributeData() + m.GetNumFaces());
    EXPECT_EQ(attrs, (std::set<u32>{0, 1}));
    // The box is closed: with corners joined by position every edge has a neighbour.
    ASSERT_EQ(box.adjacency->GetBufferSize(), 12u * 3 * 4);
    const std::span<u32> adj = Adjacency(box);
    EXPECT_EQ(std::count(adj.begin(), adj.end(), NoIndex), 0);
    ExpectSymmetricAdjacency(adj, 12);
}

TEST(MeshLoading, FramesMoveTheirMeshesAndAllMeshesBecomeOne)
{
    const std::string text = R"(xof 0303txt 0032
Mesh Loose { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }
Frame Outer {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
 Frame Inner {
  FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 0,5,0,1;; }
  Mesh Moved { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }
 }
}
)";
    LoadedMesh l = LoadText(text);
    ASSERT_TRUE(l.mesh);
    EXPECT_EQ(l.mesh->GetNumFaces(), 2u);
    EXPECT_EQ(l.mesh->GetFVF(), FvfXyz);
    EXPECT_EQ(Position(*l.mesh, 0), Vec3(0, 0, 0));
    // Inner scales by 2 and lifts by 5, then Outer moves by 10 in x.
    EXPECT_EQ(Position(*l.mesh, 3), Vec3(10, 5, 0));
    EXPECT_EQ(Position(*l.mesh, 4), Vec3(12, 5, 0));
    EXPECT_TRUE(l.materials.empty());
}

TEST(MeshLoading, CornersWithDifferentNormalsGetTheirOwnVertices)
{
    const std::string text = R"(xof 0303txt 0032
Mesh Fold {
 4; 0;0;0;, 1;0;0;, 0;1;0;, 0;0;1;;
 2; 3;0,1,2;, 3;0,3,1;;
 MeshNormals { 2; 0;0;-1;, 0;1;0;; 2; 3;0,0,0;, 3;1,1,1;; }
}
)";
    LoadedMesh l = LoadText(text);
    ASSERT_TRUE(l.mesh);
    // Vertices 0 and 1 carry two normals each: two extra vertices.
    EXPECT_EQ(l.mesh->GetNumVertices(), 6u);
    const u16* ib = l.mesh->IndexData();
    EXPECT_EQ(Position(*l.mesh, ib[3]), Vec3(0, 0, 0));
    EXPECT_NE(ib[3], ib[0]);
    EXPECT_EQ(ib[4], 3u);  // the file's vertex 3 keeps its slot
}

TEST(MeshLoading, MeshesTooBigForSixteenBitIndicesOrBrokenAreRefused)
{
    std::string big = "xof 0303txt 0032\nMesh Big {\n 70000;\n";
    for (int i = 0; i < 70000; ++i) big += "0;0;0;,\n";
    big.back() = ';';
    big += "\n 1; 3;0,1,2;;\n}\n";
    std::string err;
    LoadedMesh l = LoadText(big, &err);
    EXPECT_FALSE(l.mesh);
    EXPECT_NE(err.find("16-bit"), std::string::npos) << err;

    l = LoadText("xof 0303txt 0032\nMesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,9;; }\n", &err);
    EXPECT_FALSE(l.mesh);
    EXPECT_NE(err.find("line 2"), std::string::npos) << err;

    EXPECT_FALSE(LoadMeshFromX("Quillon/Mesh/NoSuchMesh.x", MeshManaged, l, &err));
    EXPECT_NE(err.find("cannot read"), std::string::npos);
}

TEST(MeshProcessing, CloneCarriesSharedComponentsAndZeroesNewOnes)
{
    LoadedMesh box;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Box.x", MeshManaged, box));
    std::shared_ptr<Mesh> clone;
    ASSERT_EQ(box.mesh->CloneMeshFVF(MeshManaged, FvfXyz | FvfDiffuse | FvfTex1, &clone), ResultOk);
    EXPECT_EQ(clone->GetNumBytesPerVertex(), 24u);
    for (u32 v = 0; v < 24; ++v) {
        EXPECT_EQ(Position(*clone, v), Position(*box.mesh, v));
        const u8* src = box.mesh->VertexData() + v * 32 + 24;
        const u8* dst = clone->VertexData() + v * 24;
        u32 diffuse;
        std::memcpy(&diffuse, dst + 12, 4);
        EXPECT_EQ(diffuse, 0u);
        EXPECT_EQ(std::memcmp(src, dst + 16, 8), 0) << "texture coordinates of vertex " << v;
    }
    EXPECT_EQ(clone->GetNumFaces(), 12u);
    // The new colours are zero, so see-through, until every alpha is full.
    EXPECT_TRUE(box.mesh->VertexColoursOpaque());
    EXPECT_FALSE(clone->VertexColoursOpaque());
    u8* vertices = nullptr;
    ASSERT_EQ(clone->LockVertexBuffer(0, reinterpret_cast<void**>(&vertices)), ResultOk);
    for (u32 v = 0; v < 24; ++v) vertices[v * 24 + 12 + 3] = 0xFF;
    clone->UnlockVertexBuffer();
    EXPECT_TRUE(clone->VertexColoursOpaque());
    EXPECT_NE(box.mesh->CloneMeshFVF(MeshManaged, 0x400E0 /* no position */, &clone), ResultOk);
}

TEST(MeshProcessing, GenerateAdjacencyRefusesAShortArray)
{
    LoadedMesh box;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Box.x", MeshManaged, box));
    std::vector<u32> small(12 * 3 - 1, 7);
    EXPECT_EQ(box.mesh->GenerateAdjacency(0.0f, small), ResultInvalidCall);
    EXPECT_EQ(small.back(), 7u);
}

TEST(MeshProcessing, OptimiseSortsByAttributeCompactsAndRemapsAdjacency)
{
    // Interleaved attributes, an unused vertex and a degenerate face.
    const std::string text = R"(xof 0303txt 0032
Mesh M {
 6; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;, 9;9;9;, 2;0;0;;
 4; 3;0,2,1;, 3;1,2,3;, 3;1,3,5;, 3;1,1,3;;
 MeshMaterialList { 2; 4; 1,0,1,0;;
  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }
  Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }
 }
}
)";
    LoadedMesh l = LoadText(text);
    ASSERT_TRUE(l.mesh);
    std::vector<u32> faceRemap, vertexRemap;
    const std::span<u32> adj = Adjacency(l);
    ASSERT_EQ(l.mesh->OptimizeInplace(MeshOptCompact | MeshOptAttrSort | MeshOptVertexCache, adj, adj, &faceRemap,
                                      &vertexRemap),
              ResultOk);
    EXPECT_EQ(l.mesh->GetNumFaces(), 3u);     // the degenerate face is gone
    EXPECT_EQ(l.mesh->GetNumVertices(), 5u);  // the unused vertex too
    const u32* attr = l.mesh->AttributeData();
    EXPECT_TRUE(std::is_sorted(attr, attr + 3));
    u32 count = 0;
    l.mesh->GetAttributeTable(nullptr, &count);
    ASSERT_EQ(count, 2u);
    std::vector<AttributeRange> table(count);
    l.mesh->GetAttributeTable(table.data(), &count);
    EXPECT_EQ(table[0].AttribId, 0u);
    EXPECT_EQ(table[0].FaceCount, 1u);
    EXPECT_EQ(table[1].FaceStart, 1u);
    EXPECT_EQ(table[1].FaceCount, 2u);
    // Each new face holds the corners of the old face it came from.
    for (u32 f = 0; f < 3; ++f) {
        for (u32 k = 0; k < 3; ++k) {
            const u32 oldVertex = vertexRemap[l.mesh->IndexData()[f * 3 + k]];
            EXPECT_EQ(Position(*l.mesh, l.mesh->IndexData()[f * 3 + k]),
                      (std::vector<Vec3>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {9, 9, 9}, {2, 0, 0}})[oldVertex]);
        }
    }
    ExpectSymmetricAdjacency(adj, 3);
    // The two faces that shared edge 1-2 are still neighbours after the reorder.
    u32 a = NoIndex, b = NoIndex;
    for (u32 f = 0; f < 3; ++f) {
        if (faceRemap[f] == 0) a = f;
        if (faceRemap[f] == 1) b = f;
    }
    EXPECT_TRUE(adj[a * 3] == b || adj[a * 3 + 1] == b || adj[a * 3 + 2] == b);
}

TEST(MeshProcessing, WeldJoinsMatchingVerticesAndWeldAllJoinsEveryCorner)
{
    LoadedMesh box;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Box.x", MeshManaged, box));
    WeldEpsilons eps;
    eps.Position = 1e-6f;
    eps.Normal = 0.01f;
    eps.Texcoord[0] = 0.01f;
    // Corners of different faces differ in normal: nothing merges.
    ASSERT_EQ(WeldVertices(box.mesh.get(), 0, &eps, Adjacency(box), Adjacency(box)), ResultOk);
    EXPECT_EQ(box.mesh->GetNumVertices(), 24u);
    // Weld-all ignores the other components: eight corners remain.
    ASSERT_EQ(WeldVertices(box.mesh.get(), WeldAll | WeldPartialMatches, &eps, Adjacency(box), Adjacency(box)),
              ResultOk);
    EXPECT_EQ(box.mesh->GetNumVertices(), 8u);
    EXPECT_EQ(box.mesh->GetNumFaces(), 12u);
    for (u32 i = 0; i < 36; ++i) EXPECT_LT(box.mesh->IndexData()[i], 8u);

    // Equal duplicates merge under the epsilons alone.
    const std::string text = R"(xof 0303txt 0032
Mesh M { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;0;0.0000001;; 2; 3;0,2,1;, 3;3,2,0;; }
)";
    LoadedMesh l = LoadText(text);
    ASSERT_EQ(WeldVertices(l.mesh.get(), 0, &eps, Adjacency(l), Adjacency(l)), ResultOk);
    EXPECT_EQ(l.mesh->GetNumVertices(), 3u);
    EXPECT_EQ(l.mesh->IndexData()[3], l.mesh->IndexData()[2]);
}

TEST(MeshProcessing, CleanSplitsBowTiesAndBackToBackFaces)
{
    const std::string text = R"(xof 0303txt 0032
Mesh M {
 7; 0;0;0;, 1;0;0;, 0;1;0;, -1;0;0;, 0;-1;0;, 5;5;0;, 5;6;0;;
 4; 3;0,2,1;, 3;0,4,3;, 3;1,2,5;, 3;1,5,2;;
}
)";
    LoadedMesh l = LoadText(text);
    ASSERT_TRUE(l.mesh);
    std::shared_ptr<Mesh> clean;
    std::vector<u32> adjOut(12);
    ASSERT_EQ(CleanMesh(CleanBackFacing | CleanBowTies, l.mesh.get(), Adjacency(l), &clean, adjOut), ResultOk);
    const u16* ib = clean->IndexData();
    // Faces 0 and 1 touch only at vertex 0: they no longer share it.
    EXPECT_NE(ib[0], ib[3]);
    EXPECT_EQ(Position(*clean, ib[3]), Vec3(0, 0, 0));
    // Faces 2 and 3 are the same triangle back to back: no vertex shared.
    std::set<u16> f2(ib + 6, ib + 9), f3(ib + 9, ib + 12);
    for (u16 v : f3) EXPECT_EQ(f2.count(v), 0u);
    EXPECT_EQ(l.mesh->GetNumVertices(), 7u);  // the source is untouched
    std::vector<u32> tooShort(5);
    EXPECT_EQ(CleanMesh(CleanBowTies, l.mesh.get(), tooShort, &clean, adjOut), ResultInvalidCall);
}

TEST(MeshProcessing, ComputeNormalsAveragesFaceNormals)
{
    LoadedMesh ground;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Ground.x", MeshManaged, ground));
    void* data = nullptr;
    ground.mesh->LockVertexBuffer(0, &data);
    for (u32 v = 0; v < ground.mesh->GetNumVertices(); ++v) std::memset(static_cast<u8*>(data) + v * 32 + 12, 0, 12);
    ground.mesh->UnlockVertexBuffer();
    ASSERT_EQ(ComputeNormals(ground.mesh.get()), ResultOk);
    for (u32 v = 0; v < ground.mesh->GetNumVertices(); ++v) {
        Vec3 n;
        std::memcpy(&n, ground.mesh->VertexData() + v * 32 + 12, 12);
        EXPECT_NEAR(n.y, 1.0f, 1e-6f);
    }
    std::shared_ptr<Mesh> noNormals;
    ground.mesh->CloneMeshFVF(MeshManaged, FvfXyz, &noNormals);
    EXPECT_EQ(ComputeNormals(noNormals.get()), ResultInvalidCall);
}

TEST(ProgressiveMesh, SimplifiesTheSphereAndReturnsToFullDetail)
{
    LoadedMesh sphere;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Sphere.x", MeshManaged, sphere));
    const u32 faces = sphere.mesh->GetNumFaces();
    const std::vector<u16> unsimplified(sphere.mesh->IndexData(), sphere.mesh->IndexData() + faces * 3);
    std::shared_ptr<PMesh> pm;
    ASSERT_EQ(GeneratePMesh(sphere.mesh.get(), Adjacency(sphere), nullptr, nullptr, 0, SimplifyByFace, &pm), ResultOk);
    EXPECT_EQ(pm->GetMaxFaces(), faces);
    EXPECT_EQ(pm->GetNumFaces(), faces);
    EXPECT_LT(pm->GetMinFaces(), faces / 4);

    ASSERT_EQ(pm->SetNumFaces(faces / 2), ResultOk);
    EXPECT_LE(pm->GetNumFaces(), faces / 2);
    EXPECT_GT(pm->GetNumFaces(), faces / 2 - 3);
    // Still a closed surface near the unit sphere: no edge is left open.
    std::vector<u32> adj(pm->GetNumFaces() * 3);
    ASSERT_EQ(pm->GenerateAdjacency(0.0f, adj), ResultOk);
    for (u32 i = 0; i < pm->GetNumFaces() * 3; ++i) EXPECT_LT(pm->IndexData()[i], pm->GetNumVertices());

    pm->SetNumFaces(pm->GetMaxFaces());
    ASSERT_EQ(pm->GetNumFaces(), faces);
    EXPECT_TRUE(std::equal(unsimplified.begin(), unsimplified.end(), pm->IndexData()));

    pm->SetNumFaces(0);
    EXPECT_EQ(pm->GetNumFaces(), pm->GetMinFaces());
    std::vector<u32> shortAdj(3);
    EXPECT_EQ(GeneratePMesh(sphere.mesh.get(), shortAdj, nullptr, nullptr, 0, SimplifyByFace, &pm), ResultInvalidCall);
}

TEST(ProgressiveMesh, SimplifyingAFlatGridKeepsItsOutline)
{
    LoadedMesh ground;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Ground.x", MeshManaged, ground));
    std::shared_ptr<PMesh> pm;
    ASSERT_EQ(GeneratePMesh(ground.mesh.get(), Adjacency(ground), nullptr, nullptr, 0, SimplifyByFace, &pm), ResultOk);
    pm->SetNumFaces(0);
    EXPECT_LT(pm->GetNumFaces(), ground.mesh->GetNumFaces() / 4);
    // The drawn area stays the whole 40 x 40 tile.
    float area = 0;
    for (u32 f = 0; f < pm->GetNumFaces(); ++f) {
        const Vec3 a = Position(*pm, pm->IndexData()[f * 3]), b = Position(*pm, pm->IndexData()[f * 3 + 1]),
                   c = Position(*pm, pm->IndexData()[f * 3 + 2]);
        Vec3 n;
        const Vec3 e1 = b - a, e2 = c - a;
        Vec3Cross(&n, &e1, &e2);
        EXPECT_GT(n.y, 0.0f) << "face " << f << " flipped";
        area += 0.5f * n.y;
    }
    EXPECT_NEAR(area, 1600.0f, 0.5f);
}

// The tolerance grouping as it was first written: every pair compared,
// joined when each coordinate's float difference is within epsilon.
std::vector<u32> PairwisePointReps(const std::vector<Vec3>& pos, f32 epsilon)
{
    std::vector<u32> rep(pos.size());
    for (u32 v = 0; v < rep.size(); ++v) rep[v] = v;
    const auto root = [&](u32 v) {
        while (rep[v] != v) v = rep[v];
        return v;
    };
    for (u32 a = 0; a < pos.size(); ++a)
        for (u32 b = a + 1; b < pos.size(); ++b) {
            const bool same = pos[a].x == pos[b].x && pos[a].y == pos[b].y && pos[a].z == pos[b].z;
            const bool near = std::fabs(pos[b].x - pos[a].x) <= epsilon &&
                              std::fabs(pos[b].y - pos[a].y) <= epsilon && std::fabs(pos[b].z - pos[a].z) <= epsilon;
            if (!same && !(epsilon > 0.0f && near)) continue;
            const u32 ra = root(a), rb = root(b);
            rep[std::max(ra, rb)] = std::min(ra, rb);
        }
    for (u32 v = 0; v < rep.size(); ++v) rep[v] = root(v);
    return rep;
}

// Vertices within the tolerance of each other join, and through them their
// neighbours': the grid finds the groups comparing every pair finds, on
// lattices whose steps sit on either side of the tolerance and of the cell
// edges, and 65,535 vertices piled within the tolerance cost about one
// comparison each instead of one per pair.
TEST(MeshProcessing, ToleranceGroupsMatchEveryPairComparedAndStayLinear)
{
    std::mt19937 rng(1907);
    const f32 epsilons[] = {1e-6f, 0.01f, 0.25f, 1.0f, 0.0f};
    for (int round = 0; round < 400; ++round) {
        const f32 eps = epsilons[round % 5];
        const f32 unit = eps > 0.0f ? eps : 0.5f;
        // Steps just under, at and just over the tolerance, and coarser.
        const f32 steps[] = {unit * 0.5f, unit, std::nextafter(unit, 0.0f), std::nextafter(unit, 2.0f * unit),
                             unit * 0.999999f, unit * 1.3f};
        const f32 step = steps[rng() % 6];
        const f32 offset = static_cast<f32>(static_cast<int>(rng() % 2001) - 1000) * (rng() % 2 ? unit : 1.0f);
        const u32 n = 1 + rng() % 300;
        const int span = 2 + static_cast<int>(rng() % 8);
        std::vector<Vec3> pos(n);
        for (Vec3& p : pos) {
            p.x = offset + step * static_cast<f32>(static_cast<int>(rng() % span) - span / 2);
            p.y = step * static_cast<f32>(rng() % span);
            p.z = rng() % 3 ? 0.0f : step * static_cast<f32>(rng() % span) * 0.7f;
            if (rng() % 10 == 0) p.y += step * 1e-3f * static_cast<f32>(rng() % 100);
        }
        ASSERT_EQ(detail::PointReps(pos, eps), PairwisePointReps(pos, eps)) << "round " << round << " eps " << eps;
    }

    // 65,535 vertices within 1e-6 of each other, around a cell corner.
    std::uniform_real_distribution<f32> within(-0.4e-6f, 0.4e-6f);
    std::string text = "xof 0303txt 0032\n\nMesh Pile {\n 65535;\n";
    std::vector<Vec3> pile(65535);
    for (u32 i = 0; i < pile.size(); ++i) {
        pile[i] = Vec3(within(rng), within(rng), within(rng));
        char line[96];
        std::snprintf(line, sizeof line, " %.9g;%.9g;%.9g;%s\n", pile[i].x, pile[i].y, pile[i].z,
                      i + 1 < pile.size() ? "," : ";");
        text += line;
    }
    text += " 1;\n 3;0,1,2;;\n}\n";
    u64 compared = 0;
    const std::vector<u32> rep = detail::PointReps(pile, 1e-6f, &compared);
    EXPECT_TRUE(std::all_of(rep.begin(), rep.end(), [](u32 r) { return r == 0; }));
    EXPECT_LT(compared, 2u * pile.size());
    // Through the mesh: a weld of the pile ends long before a comparison of
    // every pair could (two thousand million of them).
    LoadedMesh loaded = LoadText(text);
    ASSERT_TRUE(loaded.mesh);
    WeldEpsilons eps;
    eps.Position = 1e-6f;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(WeldVertices(loaded.mesh.get(), 1, &eps, Adjacency(loaded), Adjacency(loaded), nullptr, nullptr),
              ResultOk);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 0.5);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), 1u);
}

// A mesh of no faces (a file may hold one) goes through the loader and every
// step a robot mesh takes, and its skin through both conversions, without
// touching memory it does not have.
TEST(MeshProcessing, AMeshOfNoFacesLoadsAndGoesThroughEveryStep)
{
    const std::string text = R"(xof 0303txt 0032
Frame Bone0 {
 FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
}
Mesh Empty {
 3;
 0;0;0;,
 1;0;0;,
 0;1;0;;
 0;
 MeshNormals { 1; 0;0;1;; 0; }
 MeshMaterialList { 1; 0; Material { 1;1;1;1;; 5.0; 0;0;0;; 0;0;0;; } }
}
)";
    std::string error;
    LoadedMesh loaded = LoadText(text, &error);
    ASSERT_TRUE(loaded.mesh) << error;
    Mesh& m = *loaded.mesh;
    EXPECT_EQ(m.GetNumFaces(), 0u);
    std::vector<u32> adjacency;
    EXPECT_EQ(m.GenerateAdjacency(1e-6f, adjacency), ResultOk);
    std::shared_ptr<Mesh> clean;
    EXPECT_EQ(CleanMesh(3, &m, adjacency, &clean, adjacency), ResultOk);
    ASSERT_TRUE(clean);
    WeldEpsilons eps;
    eps.Position = 1e-6f;
    EXPECT_EQ(WeldVertices(clean.get(), 3, &eps, adjacency, adjacency), ResultOk);
    EXPECT_EQ(clean->OptimizeInplace(0x07000000, adjacency, adjacency), ResultOk);
    EXPECT_EQ(ComputeNormals(clean.get()), ResultOk);
    std::shared_ptr<PMesh> pm;
    if (GeneratePMesh(clean.get(), adjacency, nullptr, nullptr, 0, 2, &pm) == ResultOk && pm) {
        EXPECT_EQ(pm->GetMaxFaces(), 0u);
        EXPECT_EQ(pm->SetNumFaces(0), ResultOk);
    }
    std::shared_ptr<Mesh> copy;
    EXPECT_EQ(m.CloneMeshFVF(MeshManaged, m.GetFVF(), &copy), ResultOk);

    std::shared_ptr<SkinInfo> skin;
    ASSERT_EQ(SkinInfo::Create(m.GetNumVertices(), m.GetFVF(), 1, &skin), ResultOk);
    const u32 vertices[3] = {0, 1, 2};
    const f32 weights[3] = {1.0f, 1.0f, 1.0f};
    ASSERT_EQ(skin->SetBoneInfluence(0, vertices, weights), ResultOk);
    u32 influences = 0, groups = 0;
    std::vector<BoneCombination> combinations;
    std::shared_ptr<Mesh> blended;
    std::vector<u32> none;
    if (skin->ConvertToBlendedMesh(&m, MeshManaged, none, none, nullptr, nullptr, &influences, &groups,
                                   &combinations, &blended) == ResultOk) {
        EXPECT_EQ(blended->GetNumFaces(), 0u);
    }
    if (skin->ConvertToIndexedBlendedMesh(&m, MeshManaged, 26, none, none, nullptr, nullptr, &influences, &groups,
                                          &combinations, &blended) == ResultOk) {
        EXPECT_EQ(blended->GetNumFaces(), 0u);
    }
    EXPECT_EQ(skin->GetMaxFaceInfluences(&m, &influences), ResultOk);
    EXPECT_EQ(influences, 0u);
}

}  // namespace
