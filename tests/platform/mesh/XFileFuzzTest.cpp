// Mutated sample X files must be refused or loaded, never crash or read
// outside their buffers (the sanitizer build makes the second visible).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/XFile.h"
#include "support/VertexHeavyMesh.h"

using namespace plat;

namespace {

class FreeingAllocator : public AllocateHierarchy {
public:
    Result CreateFrame(const char* name, MeshFrame** out) override
    {
        auto* f = new MeshFrame();
        if (name) f->Name = strdupNew(name);
        *out = f;
        return ResultOk;
    }
    Result CreateMeshContainer(const char* name, const MeshContainerData* data, const XMaterial*, const void*, u32,
                               const u32* adjacency, const std::shared_ptr<SkinInfo>& skin,
                               MeshContainer** out) override
    {
        auto* c = new MeshContainer();
        if (name) c->Name = strdupNew(name);
        c->MeshData = *data;
        // Touch every adjacency entry so a short array would be caught.
        const u32 n = data->pMesh->GetNumFaces() * 3;
        u32 sum = 0;
        for (u32 i = 0; i < n; ++i) sum += adjacency[i];
        (void)sum;
        c->pSkinInfo = skin;
        for (u32 b = 0; skin && b < skin->GetNumBones(); ++b) weights += skin->GetNumBoneInfluences(b);
        *out = c;
        return ResultOk;
    }
    Result DestroyFrame(MeshFrame* f) override
    {
        delete[] f->Name;
        delete f;
        return ResultOk;
    }
    Result DestroyMeshContainer(MeshContainer* c) override
    {
        delete[] c->Name;
        delete c;
        return ResultOk;
    }

    u64 weights = 0;  // skin entries of every container made

private:
    static char* strdupNew(const char* s)
    {
        char* d = new char[std::strlen(s) + 1];
        std::strcpy(d, s);
        return d;
    }
};

std::string Mutate(const std::string& in, std::mt19937& rng)
{
    std::string s = in;
    const int edits = 1 + static_cast<int>(rng() % 4);
    static const char* tokens[] = {"{", "}", ";", ",", "-1", "4294967295", "99999", "0", "\"", "<", "Frame ",
                                   "Mesh ", "1e39", "SkinWeights {", "AnimationKey {", "3;", "\n"};
    for (int e = 0; e < edits && !s.empty(); ++e) {
        const size_t at = rng() % s.size();
        switch (rng() % 6) {
        case 0: s[at] = static_cast<char>(rng() & 0xFF); break;
        case 1: s.erase(at, 1 + rng() % 16); break;
        case 2: s.insert(at, tokens[rng() % (sizeof tokens / sizeof tokens[0])]); break;
        case 3: s.resize(at); break;
        case 4: {
            const size_t len = std::min<size_t>(1 + rng() % 64, s.size() - at);
            s.insert(rng() % s.size(), s.substr(at, len));
            break;
        }
        default:
            // Change one digit so counts and indices go wrong.
            for (size_t i = at; i < s.size(); ++i) {
                if (s[i] >= '0' && s[i] <= '9') {
                    s[i] = static_cast<char>('0' + rng() % 10);
                    break;
                }
            }
            break;
        }
    }
    return s;
}

// Positions and triangles (polygons as fans) of every mesh of a file.
template <class Fn>
u64 SumMeshes(const XFileData& data, Fn fn)
{
    u64 sum = 0;
    std::vector<const XFrameData*> frames;
    for (const XMeshData& m : data.meshes) sum += fn(m);
    for (const XFrameData& f : data.frames) frames.push_back(&f);
    while (!frames.empty()) {
        const XFrameData* f = frames.back();
        frames.pop_back();
        for (const XMeshData& m : f->meshes) sum += fn(m);
        for (const XFrameData& c : f->children) frames.push_back(&c);
    }
    return sum;
}
u64 Positions(const XFileData& data)
{
    return SumMeshes(data, [](const XMeshData& m) { return u64(m.positions.size()); });
}
u64 Triangles(const XFileData& data)
{
    return SumMeshes(data, [](const XMeshData& m) {
        u64 n = 0;
        for (u32 corners : m.faceSizes) n += corners - 2;
        return n;
    });
}

TEST(XFileFuzz, MutatedSampleFilesNeverCrashTheLoaders)
{
    std::vector<std::pair<std::string, std::string>> inputs;
    for (const char* name : {"Quillon/Mesh/Box.x", "Quillon/Mesh/Skin.x", "Quillon/Mesh/Ground.x"}) {
        std::string intact;
        ASSERT_TRUE(ReadWholeFile(name, intact)) << name;
        inputs.emplace_back(name, intact);
    }
    // Corners that split their positions, with a skin copied to the splits.
    inputs.emplace_back("split", SplitHeavyMeshText(40, 7));
    std::mt19937 rng(20240611u);
    int loaded = 0, refused = 0, split = 0;
    for (const auto& [name, intact] : inputs) {
        SCOPED_TRACE(name);
        for (int i = 0; i < 700; ++i) {
            const std::string text = Mutate(intact, rng);
            // Copy into an exact-size heap block so reads past the end are caught.
            std::unique_ptr<char[]> block(new char[text.size() ? text.size() : 1]);
            std::memcpy(block.get(), text.data(), text.size());

            XFileData data;
            std::string err;
            // The counts the load budgets judge a file by: what the build
            // makes of a file it takes, never less.
            XFileCounts counts;
            std::string countErr;
            const bool counted = CountXFile(block.get(), text.size(), counts, countErr);
            if (ParseXFile(block.get(), text.size(), data, err)) {
                ++loaded;
                ASSERT_TRUE(counted) << countErr;
                EXPECT_GE(counts.vertices, Positions(data));
                EXPECT_EQ(counts.faces, Triangles(data));
                split += counts.vertices > Positions(data);
            } else {
                ++refused;
                EXPECT_FALSE(err.empty());
            }
            LoadedMesh mesh;
            if (LoadMeshFromXInMemory(block.get(), text.size(), MeshManaged, mesh, &err)) {
                const BaseMesh& m = *mesh.mesh;
                EXPECT_EQ(counts.vertices, m.GetNumVertices());
                EXPECT_EQ(counts.faces, m.GetNumFaces());
                for (u32 k = 0; k < m.GetNumFaces() * 3; ++k) ASSERT_LT(m.IndexData()[k], m.GetNumVertices());
                if (!mesh.materials.empty()) {
                    for (u32 f = 0; f < m.GetNumFaces(); ++f) ASSERT_LT(m.AttributeData()[f], mesh.materials.size());
                }
            } else if (counted && err.find("16-bit") != std::string::npos) {
                EXPECT_GT(counts.vertices, MaxMeshVertices);
            }
            FreeingAllocator alloc;
            MeshFrame* root = nullptr;
            std::shared_ptr<AnimationController> controller;
            if (LoadMeshHierarchyFromXInMemory(block.get(), text.size(), MeshManaged, &alloc, &root, &controller,
                                               &err) >= 0) {
                EXPECT_EQ(counts.weights, alloc.weights);
                FrameDestroy(root, &alloc);
            }
        }
    }
    // The mutations must exercise both outcomes, and files that split.
    EXPECT_GT(loaded, 50);
    EXPECT_GT(refused, 300);
    EXPECT_GT(split, 50);
}

}  // namespace
