#include "robot/RobotType.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Thread.h"
#include "script/ScriptCommand.h"

// ---------------------------------------------------------------------------
// RobotColorData

RobotColorData::RobotColorData()
{
    overrideFlags.Create(kRobotColorMaterials);
    colors.Create(kRobotColorMaterials);
    shaderParams.Create(kRobotShaderParams);
    materialShaderKinds.Create(kRobotColorMaterials);
    materialShaderParams.Create(kRobotColorMaterials);
    for (CFixedArray<f32>& params : materialShaderParams) params.Create(kRobotShaderParams);
    for (ColorF& c : colors) c = ColorF(1.0f, 1.0f, 1.0f, 1.0f);
}

RobotColorData::~RobotColorData() { FreeMaterials(); }

void RobotColorData::FreeMaterials()
{
    delete[] materials;
    materials = nullptr;
}

void RobotColorData::Reset()
{
    overrideFlags.Fill(0);
    for (ColorF& c : colors) c = ColorF(1.0f, 1.0f, 1.0f, 1.0f);
    shaderParams.Fill(0);
    materialShaderKinds.Fill(0);
    for (CFixedArray<f32>& params : materialShaderParams) params.Fill(0);
    shaderEnabled = 0;
    materialCount = 0;
    FreeMaterials();
}

namespace {

template <class T>
void CopyElements(CFixedArray<T>& to, const CFixedArray<T>& from)
{
    const i32 n = to.GetCount() < from.GetCount() ? to.GetCount() : from.GetCount();
    for (i32 i = 0; i < n; ++i) to[i] = from[i];
}

}  // namespace

void RobotColorData::CopyFrom(const RobotColorData& other)
{
    if (&other == this) return;
    CopyElements(overrideFlags, other.overrideFlags);
    CopyElements(colors, other.colors);
    CopyElements(shaderParams, other.shaderParams);
    CopyElements(materialShaderKinds, other.materialShaderKinds);
    const i32 sets = materialShaderParams.GetCount() < other.materialShaderParams.GetCount()
                         ? materialShaderParams.GetCount()
                         : other.materialShaderParams.GetCount();
    for (i32 i = 0; i < sets; ++i) CopyElements(materialShaderParams[i], other.materialShaderParams[i]);
    shaderEnabled = other.shaderEnabled;
    // A source without materials leaves ours alone.
    if (other.materialCount == 0 || other.materials == nullptr) return;
    plat::GfxMaterial* copy = new plat::GfxMaterial[other.materialCount];
    for (u32 i = 0; i < other.materialCount; ++i) copy[i] = other.materials[i];
    FreeMaterials();
    materials = copy;
    materialCount = other.materialCount;
}

// ---------------------------------------------------------------------------
// RobotModelData

RobotModelData::RobotModelData()
{
    scriptEntryCounts.Create(kRobotAnimeCount);
    scriptTables.Create(kRobotAnimeCount);
    colorSets.Create(kRobotColorSets);
    weaponPointKinds.Create(kRobotWeaponPoints);
    weaponPointNames.Create(kRobotWeaponPoints);
    burnerNodeNames.Create(kRobotBurners);
    burnerValues.Create(kRobotBurners);
    etcPointKinds.Create(kRobotEtcPoints);
    etcPointNames.Create(kRobotEtcPoints);
    extraMeshes.Create(kRobotExtraMeshes);
    for (std::shared_ptr<MeshObject>& m : extraMeshes) m = std::make_shared<MeshObject>();
    extraMeshFlags.Create(kRobotExtraMeshes);
    Reset();
}

RobotModelData::~RobotModelData() { Release(); }

void RobotModelData::Reset()
{
    loaded.store(0, std::memory_order_release);
    scriptOverrunsTold = 0;
    std::memset(name, 0, sizeof name);
    hp = 0;
    restBody = 0;
    generator = 1000;
    energy = 1000;
    lockDist = 80;
    std::memset(subLockDist, 0, sizeof subLockDist);
    for (RobotColorData& set : colorSets) set.Reset();
    // Tables still held are freed, not forgotten: a reset of a loaded record
    // would otherwise lose them (no robot runs them between battles).
    for (i32 a = 0; a < scriptTables.GetCount(); ++a) FreeScriptTable(a);
    scriptEntryCounts.Fill(0);
    for (f32& v : burnerValues) v = 0.1f;
    for (std::string& s : burnerNodeNames) s.clear();
    for (std::string& s : etcPointNames) s.clear();
    for (std::string& s : weaponPointNames) s.clear();
    etcPointKinds.Fill(0);
    std::memset(batteryEnabled, 0, sizeof batteryEnabled);
    weaponPointKinds.Fill(0);
    std::memset(attackArmNodeNames, 0, sizeof attackArmNodeNames);
    std::memset(gunNodeNames, 0, sizeof gunNodeNames);
    std::memset(swordNodeNames, 0, sizeof swordNodeNames);
    score = 0;
    extraMeshFlags.Fill(0);
    loadXFileLines = 0;
    aiSettingKind = 0;
    aiSettingRange = 40.0f;
    for (RobotAiWeaponSetting& w : aiWeaponSettings) w = RobotAiWeaponSetting();
}

ScriptEntry* RobotModelData::ScriptTable(i32 anime) const
{
    if (anime < 0 || anime >= scriptTables.GetCount()) return nullptr;
    return scriptTables[anime];
}

void RobotModelData::FreeScriptTable(i32 anime)
{
    if (anime < 0 || anime >= scriptTables.GetCount()) return;
    // The entries' destructors delete their commands.
    delete[] scriptTables[anime];
    scriptTables[anime] = nullptr;
    scriptEntryCounts[anime] = 0;
}

void RobotModelData::Release()
{
    faceTexture.Release();
    if (hierarchy.root) HodNode::FreePoseCacheTree(hierarchy.root);
    hierarchy.Release();
    nodeMatricesA.Release();
    nodeMatricesB.Release();
    hitMesh.Release();
    hitUpMesh.Release();
    for (i32 a = 0; a < scriptTables.GetCount(); ++a) FreeScriptTable(a);
    for (std::shared_ptr<MeshObject>& m : extraMeshes) m->Release();
    etcPointKinds.Fill(0);
    std::memset(batteryEnabled, 0, sizeof batteryEnabled);
    weaponPointKinds.Fill(0);
    for (RobotColorData& set : colorSets) {
        set.FreeMaterials();
        set.materialCount = 0;
    }
    loaded.store(0, std::memory_order_release);
}

namespace {

f32 RgbLength(const ColorF& c) { return std::sqrt(c.r * c.r + c.g * c.g + c.b * c.b); }

thread_local std::string g_lastTypeError;

}  // namespace

void ReportRobotTypeProblem(const char* text, const char* caption)
{
    g_lastTypeError = text ? text : "";
    ShowScriptMessage(text, caption);
}

const char* LastRobotTypeError() { return g_lastTypeError.c_str(); }

void ClearRobotTypeError() { g_lastTypeError.clear(); }

i32 RobotModelData::BuildColorSetMaterials()
{
    const MeshObject* mesh = hierarchy.root ? hierarchy.root->mesh : nullptr;
    const u32 count = mesh ? mesh->materialCount : 0;
    i32 problems = 0;
    for (RobotColorData& set : colorSets) {
        set.FreeMaterials();
        set.materialCount = count;
        if (count == 0 || mesh->materials == nullptr) {
            set.materialCount = 0;
            continue;
        }
        set.materials = new plat::GfxMaterial[count];
        for (u32 m = 0; m < count; ++m) set.materials[m] = mesh->materials[m];
        // Materials from 20 on have no colour slot: they keep the mesh's own.
        const u32 recoloured = count < static_cast<u32>(kRobotColorMaterials) ? count : kRobotColorMaterials;
        if (count > recoloured) ++problems;
        for (u32 m = 0; m < recoloured; ++m) {
            if (set.overrideFlags[static_cast<i32>(m)] == 0) continue;
            const plat::GfxMaterial& own = mesh->materials[m];
            const f32 d = RgbLength(own.diffuse);
            const f32 s = RgbLength(own.specular);
            const f32 e = RgbLength(own.emissive);
            const f32 kE = d > 0.0f ? e / d : 0.0f;
            const f32 kS = d > 0.0f ? s / d : 0.0f;
            const ColorF& c = set.colors[static_cast<i32>(m)];
            plat::GfxMaterial& out = set.materials[m];
            out.diffuse = c;
            out.ambient = c;
            out.emissive = ColorF(c.r * kE, c.g * kE, c.b * kE, 1.0f);
            out.specular = ColorF(c.r * kS, c.g * kS, c.b * kS, 1.0f);
        }
    }
    // One message for the type, not one per colour set.
    if (problems > 0) ReportRobotTypeProblem("不正なデータです", "エラー");
    return problems > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Progressive meshes

namespace {

// Nodes naming one file share its mesh: each mesh is made progressive once.
void OptimiseMeshes(HodNode* node, std::set<const MeshObject*>& done)
{
    if (node == nullptr) return;
    MeshObject* m = node->mesh;
    if (m && m->mesh && done.insert(m).second) {
        m->Clean(3);
        m->CreateAdjacency(1e-6f, m->mesh->GetNumFaces() * 3 * 4);
        plat::WeldEpsilons eps;
        eps.Position = 1e-6f;
        eps.BlendWeights = 0.01f;
        eps.Normal = 0.01f;
        for (f32& t : eps.Texcoord) t = 0.01f;
        m->WeldVertices(3, &eps);
        m->OptimizeInplace(0x07000000);
        m->ComputeNormals();
        m->Clean(3);
        if (m->GenerateProgressiveMesh(nullptr, nullptr, 0, 2, 1) && m->progressiveMesh)
            m->progressiveMesh->SetNumFaces(m->progressiveMesh->GetMaxFaces());
    }
    for (HodNode* child : node->children) OptimiseMeshes(child, done);
}

}  // namespace

void OptimiseMeshTree(HodNode* node)
{
    std::set<const MeshObject*> done;
    OptimiseMeshes(node, done);
}

void SetMeshLodTree(HodNode* node, f32 ratio)
{
    if (node == nullptr) return;
    MeshObject* m = node->mesh;
    if (m && m->progressiveMesh) {
        const f32 faces = static_cast<f32>(m->progressiveMesh->GetMaxFaces()) * ratio;
        m->progressiveMesh->SetNumFaces(faces > 0.0f ? static_cast<u32>(faces) : 0u);
    }
    for (HodNode* child : node->children) SetMeshLodTree(child, ratio);
}

