// Posing a robot-sized model tree with two blended tracks, and skinning a
// 2,000-vertex mesh on the CPU.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "engine/model/HierarchyObject.h"
#include "engine/model/SkinObject.h"
#include "engine/model/SkinXMesh.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "tests/support/SkinnedXFile.h"

namespace {

// 30 nodes: a root, a spine of five, and from it five limbs of four and a
// tail of four, each with keys that turn and move it.
void BuildModel(CHierarchyObject& model)
{
    HodNode* root = model.CreateRoot();
    HodNode* spine = root;
    for (int i = 0; i < 5; ++i) spine = spine->AddChild();
    for (int limb = 0; limb < 6; ++limb) {
        HodNode* n = spine;
        for (int i = 0; i < 4; ++i) n = n->AddChild();
    }
    model.RebuildNodeTable();
    for (u32 anime = 0; anime < 2; ++anime) {
        const u32 keys = 24;
        model.AllocAnimeKeys(anime, keys);
        for (u32 n = 0; n < model.nodeCount; ++n) {
            HodKeyTable& table = model.nodeTable[n]->keyTables[anime];
            for (u32 k = 0; k < keys; ++k) {
                HodKey& key = table.keys[k];
                Mat4 turn;
                const Vec3 axis(0.3f * static_cast<f32>(n % 3), 1.0f, 0.2f * static_cast<f32>(anime));
                plat::MatrixRotationAxis(&turn, &axis, 0.05f * static_cast<f32>(k) + 0.1f * static_cast<f32>(n));
                plat::QuaternionRotationMatrix(&key.rotation, &turn);
                key.translation = Vec3(0.0f, 0.5f + 0.01f * static_cast<f32>(k), 0.1f * static_cast<f32>(anime));
                key.rotationMode = static_cast<u8>(n % 2 == 0 ? kHodRotSlerp : kHodRotSquadAuto);
                key.translationMode = static_cast<u8>(n % 3 == 0 ? kHodVecCatmullRom : kHodVecLinear);
            }
        }
    }
}

void BM_PoseThirtyNodesTwoTracks(benchmark::State& state)
{
    CHierarchyObject model;
    BuildModel(model);
    model.PlayAnimation(0, 0, 0.37f, 0.6f, 0.0f, 1, 1);
    model.PlayAnimation(1, 1, 0.41f, 0.4f, 3.0f, 1, 1);
    Mat4 world;
    plat::MatrixTranslation(&world, 1.0f, 0.0f, 2.0f);
    for (auto _ : state) {
        model.AdvanceAnime(1.0f);
        model.ApplyAnime(&world);
        benchmark::DoNotOptimize(model.nodeTable[29]->world);
    }
    if (model.activeCount != 2) state.SkipWithError("expected two blended tracks");
    model.Release();
}
BENCHMARK(BM_PoseThirtyNodesTwoTracks);

void BM_SoftwareSkin2000Vertices(benchmark::State& state)
{
    char dir[] = "/tmp/quillon-bench-XXXXXX";
    if (!::mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    skintest::Tube tube;
    tube.bones = 10;
    tube.rings = 100;
    tube.ringVertices = 20;
    const std::string path = std::string(dir) + "/tube.x";
    const std::string text = skintest::TubeFile(tube);
    plat::WriteFileAtomic(path.c_str(), text.data(), text.size());
    SkinXMesh mesh;
    const bool loaded = mesh.LoadFromFile(path.c_str(), kSkinSoftware);
    plat::DeleteFile(path.c_str());
    ::rmdir(dir);
    if (!loaded || mesh.meshFrames.empty()) {
        state.SkipWithError("the skinned mesh did not load");
        return;
    }
    auto* container = static_cast<SkinMeshContainer*>(mesh.meshFrames[0]->pMeshContainer);
    CSkinObject pose;
    pose.SetMesh(&mesh);
    f32 angle = 0.0f;
    for (auto _ : state) {
        angle += 0.01f;
        for (size_t i = 2; i < pose.nodes.size(); ++i) {
            plat::MatrixRotationZ(&pose.nodes[i]->local, angle);
            pose.nodes[i]->local.m[3][1] = 1.0f;
        }
        pose.UpdateMatrices();
        pose.BindBoneMatrices();
        benchmark::DoNotOptimize(mesh.SoftwareSkin(container));
    }
    state.counters["vertices"] = container->origMesh->GetNumVertices();
}
BENCHMARK(BM_SoftwareSkin2000Vertices);

}  // namespace
