// Mesh preparation on hostile shapes: grouping vertices piled within the
// weld tolerance (what a robot mesh goes through below full quality), and
// converting a skin whose every vertex thousands of bones move.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshBuild.h"
#include "platform/mesh/SkinInfo.h"

namespace {

// n vertices within 1e-6 of each other, around a corner of the grid.
void BM_GroupVerticesPiledWithinTolerance(benchmark::State& state)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<f32> within(-0.4e-6f, 0.4e-6f);
    std::vector<Vec3> pos(static_cast<size_t>(state.range(0)));
    for (Vec3& p : pos) p = Vec3(within(rng), within(rng), within(rng));
    for (auto _ : state) benchmark::DoNotOptimize(plat::detail::PointReps(pos, 1e-6f));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GroupVerticesPiledWithinTolerance)
    ->Arg(4096)
    ->Arg(16384)
    ->Arg(65535)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// n vertices on a lattice one tolerance apart: every vertex has neighbours
// in the cells around its own.
void BM_GroupVerticesOnALatticeOfTheTolerance(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    std::vector<Vec3> pos;
    for (int x = 0; x < side; ++x)
        for (int y = 0; y < side; ++y)
            for (int z = 0; z < side; ++z) pos.emplace_back(0.01f * x, 0.01f * y, 0.01f * z);
    for (auto _ : state) benchmark::DoNotOptimize(plat::detail::PointReps(pos, 0.01f));
    state.SetComplexityN(static_cast<int64_t>(pos.size()));
}
BENCHMARK(BM_GroupVerticesOnALatticeOfTheTolerance)->Arg(16)->Arg(25)->Arg(40)->Unit(benchmark::kMillisecond);

// A position-and-normal mesh of `faces` faces over `vertices` vertices whose
// corner i (of face i / 3) is vertex corner(i); null, the benchmark told,
// when it cannot be made.
template <class Corner>
std::shared_ptr<plat::Mesh> MeshOf(benchmark::State& state, u32 faces, u32 vertices, Corner corner)
{
    std::shared_ptr<plat::Mesh> mesh;
    if (plat::Mesh::Create(faces, vertices, plat::MeshManaged, plat::FvfXyz | plat::FvfNormal, &mesh) !=
        plat::ResultOk) {
        state.SkipWithError("no mesh");
        return nullptr;
    }
    void* data = nullptr;
    mesh->LockIndexBuffer(0, &data);
    u16* ib = static_cast<u16*>(data);
    for (u32 i = 0; i < faces * 3; ++i) ib[i] = static_cast<u16>(corner(i));
    mesh->UnlockIndexBuffer();
    return mesh;
}

// The blended conversion of mesh by skin, once an iteration.
void TimeBlendedConversion(benchmark::State& state, plat::SkinInfo& skin, plat::Mesh& mesh)
{
    for (auto _ : state) {
        u32 influences = 0, groups = 0;
        std::vector<plat::BoneCombination> combinations;
        std::shared_ptr<plat::Mesh> out;
        benchmark::DoNotOptimize(skin.ConvertToBlendedMesh(&mesh, plat::MeshManaged, {}, {}, nullptr, nullptr,
                                                           &influences, &groups, &combinations, &out));
    }
    state.SetComplexityN(state.range(0));
}

// 100 vertices, 200 faces and `bones` bones each moving every vertex: the
// conversion refuses it (a face holds six bones at most).
void BM_RefuseSkinOfManyBonesPerVertex(benchmark::State& state)
{
    const u32 vertices = 100, faces = 200, bones = static_cast<u32>(state.range(0));
    const auto mesh = MeshOf(state, faces, vertices, [&](u32 i) { return (i / 3 + i % 3) % vertices; });
    if (!mesh) return;
    std::shared_ptr<plat::SkinInfo> skin;
    plat::SkinInfo::Create(vertices, mesh->GetFVF(), bones, &skin);
    std::vector<u32> every(vertices);
    std::vector<f32> weights(vertices, 1e-4f);
    for (u32 v = 0; v < vertices; ++v) every[v] = v;
    for (u32 b = 0; b < bones; ++b) skin->SetBoneInfluence(b, every, weights);
    TimeBlendedConversion(state, *skin, *mesh);
}
BENCHMARK(BM_RefuseSkinOfManyBonesPerVertex)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(9999)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// `faces` triangles of corners of their own, each corner moved by two bones
// of its own: every face needs a group of its own bones.
void BM_ConvertSkinOfFacesWithBonesOfTheirOwn(benchmark::State& state)
{
    const u32 faces = static_cast<u32>(state.range(0)), vertices = faces * 3, bones = vertices * 2;
    const auto mesh = MeshOf(state, faces, vertices, [](u32 i) { return i; });
    if (!mesh) return;
    std::shared_ptr<plat::SkinInfo> skin;
    plat::SkinInfo::Create(vertices, mesh->GetFVF(), bones, &skin);
    const f32 half[1] = {0.5f};
    for (u32 b = 0; b < bones; ++b) {
        const u32 v[1] = {b / 2};
        skin->SetBoneInfluence(b, v, half);
    }
    TimeBlendedConversion(state, *skin, *mesh);
}
BENCHMARK(BM_ConvertSkinOfFacesWithBonesOfTheirOwn)
    ->Arg(2000)
    ->Arg(8000)
    ->Arg(21845)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
