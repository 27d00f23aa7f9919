// Skinned X meshes: loading through the hierarchy allocator, the skinning
// conversions, the converted animations and the three draws.
#include "engine/model/SkinXMesh.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshBudget.h"
#include "engine/graphics/Shaders.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/Math.h"

namespace {

const Mat4 kIdentity;

plat::GfxDevice* Device() { return GetGraphicsDevice()->device; }

plat::GfxCaps DeviceCaps()
{
    plat::GfxDevice* device = Device();
    return device ? device->GetCaps() : plat::GfxCaps{};
}

char* CopyName(const char* name)
{
    if (!name) return nullptr;
    const size_t n = std::strlen(name) + 1;
    char* copy = new (std::nothrow) char[n];
    if (copy) std::memcpy(copy, name, n);
    return copy;
}

plat::GfxMaterial DrawMaterial(const plat::MeshMaterial& m)
{
    plat::GfxMaterial out;
    out.diffuse = m.Diffuse;
    out.ambient = m.Diffuse;  // lit by the diffuse colour whatever the file says
    out.specular = m.Specular;
    out.emissive = m.Emissive;
    out.power = m.Power;
    return out;
}

plat::GfxBaseTexture* TextureOf(TextureHandle* handle) { return handle ? handle->texture : nullptr; }

// Used bone slots of a blended group: entries other than NoIndex.
u32 UsedBones(const plat::BoneCombination& bc, u32 influences)
{
    u32 n = 0;
    for (u32 k = 0; k < influences && k < bc.BoneId.size(); ++k)
        if (bc.BoneId[k] != plat::NoIndex) ++n;
    return n;
}

}  // namespace

SkinFrame::SkinFrame() : combined(&kIdentity) {}

const Mat4* SkinFrame::Identity() { return &kIdentity; }

// ---- allocator ------------------------------------------------------------------

plat::Result CAllocateHierarchy::CreateFrame(const char* name, plat::MeshFrame** newFrame)
{
    if (!newFrame) return plat::ResultInvalidCall;
    *newFrame = nullptr;
    SkinFrame* frame = new (std::nothrow) SkinFrame();
    if (!frame) return plat::ResultOutOfMemory;
    if (name) {
        frame->Name = CopyName(name);
        if (!frame->Name) {
            delete frame;
            return plat::ResultOutOfMemory;
        }
    }
    *newFrame = frame;
    return plat::ResultOk;
}

plat::Result CAllocateHierarchy::CreateMeshContainer(const char* name, const plat::MeshContainerData* meshData,
                                                     const plat::XMaterial* materials, const void*,
                                                     u32 numMaterials, const u32* adjacency,
                                                     const std::shared_ptr<plat::SkinInfo>& skinInfo,
                                                     plat::MeshContainer** newContainer)
{
    if (!newContainer) return plat::ResultInvalidCall;
    *newContainer = nullptr;
    if (!meshData || meshData->Type != plat::MeshTypeMesh || !meshData->pMesh || meshData->pMesh->GetFVF() == 0)
        return plat::ResultFail;

    SkinMeshContainer* c = new (std::nothrow) SkinMeshContainer();
    if (!c) return plat::ResultOutOfMemory;
    auto fail = [&](plat::Result r) {
        DestroyMeshContainer(c);
        return r;
    };
    if (name && !(c->Name = CopyName(name))) return fail(plat::ResultOutOfMemory);

    const std::shared_ptr<plat::Mesh>& given = meshData->pMesh;
    c->MeshData.Type = plat::MeshTypeMesh;
    if (!(given->GetFVF() & plat::FvfNormal)) {
        std::shared_ptr<plat::Mesh> withNormals;
        if (plat::Failed(given->CloneMeshFVF(given->GetOptions(), given->GetFVF() | plat::FvfNormal, &withNormals)))
            return fail(plat::ResultFail);
        plat::ComputeNormals(withNormals.get());
        c->MeshData.pMesh = std::move(withNormals);
    } else {
        c->MeshData.pMesh = given;
    }

    c->NumMaterials = numMaterials ? numMaterials : 1;
    c->numFaces = c->MeshData.pMesh->GetNumFaces();
    const size_t adjacencyCount = static_cast<size_t>(c->numFaces) * 3;
    c->pMaterials = new (std::nothrow) plat::XMaterial[c->NumMaterials];
    c->materials = new (std::nothrow) plat::GfxMaterial[c->NumMaterials];
    c->textures = new (std::nothrow) TextureHandle*[c->NumMaterials]();
    c->pAdjacency = new (std::nothrow) u32[adjacencyCount ? adjacencyCount : 1];
    if (!c->pMaterials || !c->materials || !c->textures || !c->pAdjacency) return fail(plat::ResultOutOfMemory);
    if (adjacency)
        std::copy_n(adjacency, adjacencyCount, c->pAdjacency);
    else
        std::fill_n(c->pAdjacency, adjacencyCount, plat::NoIndex);

    if (numMaterials == 0 || !materials) {
        plat::XMaterial& m = c->pMaterials[0];
        m.MatD3D = plat::MeshMaterial{};
        m.MatD3D.Diffuse = ColorF(0.5f, 0.5f, 0.5f, 0.0f);
        m.MatD3D.Specular = m.MatD3D.Diffuse;
        m.MatD3D.Ambient = ColorF();
        c->materials[0] = DrawMaterial(m.MatD3D);
        c->materials[0].ambient = m.MatD3D.Ambient;  // the grey default keeps its black ambient
        c->textures[0] = new (std::nothrow) TextureHandle();
        if (!c->textures[0]) return fail(plat::ResultOutOfMemory);
    } else {
        for (u32 i = 0; i < c->NumMaterials; ++i) {
            c->pMaterials[i] = materials[i];
            TextureHandle* t = new (std::nothrow) TextureHandle();
            if (!t) return fail(plat::ResultOutOfMemory);
            c->textures[i] = t;
            std::string& file = c->pMaterials[i].textureFilename;
            if (!file.empty()) {
                if (assetKey == 0)
                    t->LoadFile(file.c_str());
                else
                    t->LoadScrambledDefault(file.c_str(), assetKey);
                file.clear();
            }
            c->pMaterials[i].MatD3D.Ambient = c->pMaterials[i].MatD3D.Diffuse;
            c->materials[i] = DrawMaterial(c->pMaterials[i].MatD3D);
        }
    }

    if (skinInfo) {
        c->pSkinInfo = skinInfo;
        c->origMesh = c->MeshData.pMesh;
        const u32 bones = skinInfo->GetNumBones();
        plat::Result r = plat::ResultFail;
        // The skinning conversions are the load's biggest step: memory
        // running short there refuses the mesh.
        try {
            c->boneOffsets.resize(bones);
            for (u32 b = 0; b < bones; ++b)
                if (const Mat4* offset = skinInfo->GetBoneOffsetMatrix(b)) c->boneOffsets[b] = *offset;
            if (owner) r = owner->GenerateSkinnedMesh(c);
        } catch (const std::bad_alloc&) {
            r = plat::ResultOutOfMemory;
        }
        if (plat::Failed(r)) return fail(r);
    }
    *newContainer = c;
    return plat::ResultOk;
}

plat::Result CAllocateHierarchy::DestroyFrame(plat::MeshFrame* frame)
{
    if (!frame) return plat::ResultOk;
    delete[] frame->Name;
    delete static_cast<SkinFrame*>(frame);
    return plat::ResultOk;
}

plat::Result CAllocateHierarchy::DestroyMeshContainer(plat::MeshContainer* container)
{
    if (!container) return plat::ResultOk;
    SkinMeshContainer* c = static_cast<SkinMeshContainer*>(container);
    delete[] c->Name;
    delete[] c->pAdjacency;
    delete[] c->pMaterials;
    if (c->textures) {
        for (u32 i = 0; i < c->NumMaterials; ++i) {
            if (!c->textures[i]) continue;
            c->textures[i]->Release();
            delete c->textures[i];
        }
        delete[] c->textures;
    }
    delete[] c->materials;
    delete c;
    return plat::ResultOk;
}

// ---- loading ----------------------------------------------------------------------

SkinXMesh::SkinXMesh() = default;

SkinXMesh::~SkinXMesh() { Release(); }

void SkinXMesh::Release()
{
    fileCounts = {};
    if (rootFrame) {
        CAllocateHierarchy allocator(this, 0);
        plat::FrameDestroy(rootFrame, &allocator);
        rootFrame = nullptr;
    }
    boneMatrices.clear();
    boneMatrices.shrink_to_fit();
    boneMatrixCapacity = 0;
    animController.reset();
    allFrames.clear();
    meshFrames.clear();
    animations.clear();
}

bool SkinXMesh::LoadFromFile(const char* path, u32 method, MeshBudget* budget)
{
    Release();
    skinningMethod = method;
    if (!path) return false;
    if (budget) return LoadImage(path, 0, budget) != 0;
    CAllocateHierarchy allocator(this, 0);
    plat::MeshFrame* root = nullptr;
    if (plat::Failed(plat::LoadMeshHierarchyFromX(path, plat::MeshManaged, &allocator, &root, &animController)) ||
        !root) {
        animController.reset();
        return false;
    }
    rootFrame = static_cast<SkinFrame*>(root);
    return FinishLoad();
}

int SkinXMesh::LoadScrambled(const char* path, u32 key, u32 method, MeshBudget* budget)
{
    // An earlier hierarchy would otherwise be lost with its meshes.
    Release();
    skinningMethod = method;
    if (!path) return 0;
    return LoadImage(path, key, budget);
}

int SkinXMesh::LoadImage(const char* path, u32 key, MeshBudget* budget)
{
    FileBuffer file;
    if (!file.Load(path) || !file.data) {
        plat::ReportLoadFailure(path, "cannot be read");
        return 0;
    }
    file.XorWords(key);
    std::string why;
    if (budget && !budget->Admit(path, file.data, file.size, &fileCounts, &why)) {
        // The owner of a refused budget reports it in its own words.
        if (!budget->Refused()) plat::ReportLoadFailure(path, why.c_str());
        return 0;
    }
    CAllocateHierarchy allocator(this, key);
    plat::MeshFrame* root = nullptr;
    const plat::Result r = plat::LoadMeshHierarchyFromXInMemory(file.data, file.size, plat::MeshManaged, &allocator,
                                                                &root, &animController, &why);
    file.Clear();
    if (plat::Failed(r) || !root) {
        plat::ReportLoadFailure(path, why.empty() ? "is no skinned mesh the game can use" : why.c_str());
        animController.reset();
        return 0;
    }
    rootFrame = static_cast<SkinFrame*>(root);
    try {
        return FinishLoad() ? 1 : 0;
    } catch (const std::bad_alloc&) {
        Release();
        plat::ReportLoadFailure(path, "out of memory");
        return 0;
    }
}

bool SkinXMesh::FinishLoad()
{
    // A bone that names no frame could never be posed: the mesh is refused.
    if (!LinkBoneFrames(rootFrame)) {
        Release();
        return false;
    }
    CollectFrames(rootFrame, 0);
    ConvertAnimations();
    return true;
}

bool SkinXMesh::LinkBoneFrames(plat::MeshFrame* frame)
{
    for (; frame; frame = frame->pFrameSibling) {
        for (plat::MeshContainer* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer) {
            SkinMeshContainer* c = static_cast<SkinMeshContainer*>(mc);
            if (!c->pSkinInfo) continue;
            c->boneFrames.clear();
            const u32 bones = c->pSkinInfo->GetNumBones();
            for (u32 b = 0; b < bones; ++b) {
                const char* boneName = c->pSkinInfo->GetBoneName(b);
                plat::MeshFrame* found = boneName ? plat::FrameFind(rootFrame, boneName) : nullptr;
                if (!found) return false;
                c->boneFrames.push_back(static_cast<SkinFrame*>(found));
            }
        }
        if (!LinkBoneFrames(frame->pFrameFirstChild)) return false;
    }
    return true;
}

void SkinXMesh::CollectFrames(SkinFrame* frame, u32 depth)
{
    for (; frame; frame = static_cast<SkinFrame*>(frame->pFrameSibling)) {
        allFrames.push_back(frame);
        if (frame->pMeshContainer) meshFrames.push_back(frame);
        CollectFrames(static_cast<SkinFrame*>(frame->pFrameFirstChild), depth + 1);
    }
}

void SkinXMesh::ConvertAnimations()
{
    if (!animController) return;
    const u32 sets = animController->GetNumAnimationSets();
    for (u32 i = 0; i < sets; ++i) {
        std::shared_ptr<plat::KeyframedAnimationSet> set;
        if (plat::Failed(animController->GetAnimationSet(i, &set)) || !set) continue;
        auto anim = std::make_unique<SkinAnimation>();
        anim->name = set->GetName();
        anim->ticksPerSecond = set->GetSourceTicksPerSecond();
        anim->period = set->GetPeriod();
        for (size_t j = 0; j < allFrames.size(); ++j) {
            auto track = std::make_unique<SkinAnimTrack>();
            u32 index = 0;
            const char* frameName = allFrames[j]->Name;
            if (frameName && plat::Succeeded(set->GetAnimationIndexByName(frameName, &index))) {
                std::vector<plat::KeyQuaternion> rot(set->GetNumRotationKeys(index));
                std::vector<plat::KeyVector3> scale(set->GetNumScaleKeys(index));
                std::vector<plat::KeyVector3> move(set->GetNumTranslationKeys(index));
                set->GetRotationKeys(index, rot);
                set->GetScaleKeys(index, scale);
                set->GetTranslationKeys(index, move);
                // The file stores the conjugate rotation.
                for (plat::KeyQuaternion& k : rot) k.Value.w = -k.Value.w;
                const size_t n = rot.size();
                for (size_t k = 0; k < n; ++k) {
                    const size_t k0 = k > 0 ? k - 1 : 0;
                    const size_t k2 = k + 1 < n ? k + 1 : k;
                    const size_t k3 = k + 2 < n ? k + 2 : k;
                    SkinRotKey key;
                    key.time = rot[k].Time;
                    key.value = rot[k].Value;
                    plat::QuaternionSquadSetup(&key.a, &key.b, &key.c, &rot[k0].Value, &rot[k].Value, &rot[k2].Value,
                                               &rot[k3].Value);
                    track->rotationKeys.push_back(key);
                }
                for (const plat::KeyVector3& k : scale) track->scaleKeys.push_back({k.Time, k.Value, 0});
                for (const plat::KeyVector3& k : move) track->translationKeys.push_back({k.Time, k.Value, 0});
            }
            anim->tracks.push_back(std::move(track));
        }
        animations.push_back(std::move(anim));
    }
}

// ---- skinning conversions ----------------------------------------------------------

template <class Fn>
void SkinXMesh::ForEachContainer(Fn fn)
{
    // Containers of a frame, then its first child's subtree, then its next
    // sibling's: the same order as the frame lists.
    for (SkinFrame* frame : allFrames)
        for (plat::MeshContainer* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer)
            fn(static_cast<SkinMeshContainer*>(mc), frame);
}

void SkinXMesh::RebuildSkinning(u32 method)
{
    skinningMethod = method;
    ForEachContainer([this](SkinMeshContainer* c, SkinFrame*) {
        if (c->pSkinInfo && plat::Failed(GenerateSkinnedMesh(c))) c->MeshData.pMesh.reset();
    });
}

bool SkinXMesh::ReservePalette(u32 count)
{
    if (count <= boneMatrixCapacity) return true;
    std::vector<Mat4> grown;
    try {
        grown.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    boneMatrices.swap(grown);
    boneMatrixCapacity = count;
    return true;
}

plat::Result SkinXMesh::GenerateSkinnedMesh(SkinMeshContainer* c)
{
    if (!c || !c->pSkinInfo || !c->origMesh) return plat::ResultOk;
    const plat::GfxCaps caps = DeviceCaps();
    c->MeshData.pMesh.reset();
    c->boneCombinations.clear();
    const plat::SkinInfo& skin = *c->pSkinInfo;
    const u32 bones = skin.GetNumBones();
    const std::span<const u32> adjacency(c->pAdjacency, static_cast<size_t>(c->numFaces) * 3);
    std::shared_ptr<plat::Mesh> mesh;

    switch (skinningMethod) {
    case kSkinBlended: {
        plat::Result r = skin.ConvertToBlendedMesh(c->origMesh.get(), plat::MeshManaged | plat::MeshOptVertexCache,
                                                   adjacency, {}, nullptr, nullptr, &c->numInfluences,
                                                   &c->numAttributeGroups, &c->boneCombinations, &mesh);
        if (plat::Failed(r)) return r;
        if (!mesh) return plat::ResultFail;
        c->firstSoftwareGroup = c->numAttributeGroups;
        for (u32 g = 0; g < c->numAttributeGroups && g < c->boneCombinations.size(); ++g) {
            if (UsedBones(c->boneCombinations[g], c->numInfluences) > caps.maxVertexBlendMatrices) {
                c->firstSoftwareGroup = g;
                break;
            }
        }
        if (c->firstSoftwareGroup < c->numAttributeGroups) {
            std::shared_ptr<plat::Mesh> clone;
            r = mesh->CloneMeshFVF(mesh->GetOptions() | plat::MeshSoftwareProcessing, mesh->GetFVF(), &clone);
            if (plat::Failed(r)) return r;
            mesh = std::move(clone);
        }
        break;
    }
    case kSkinIndexed:
    case kSkinIndexedEffect: {
        c->numPaletteEntries = std::min(kSkinPaletteSize, bones);
        u32 flags;
        if (caps.vertexShaderVersion >= plat::GfxVertexShaderVersion(1, 1)) {
            c->useSoftwareVP = 0;
            flags = plat::MeshOptVertexCache | plat::MeshManaged;
        } else {
            c->useSoftwareVP = 1;
            flags = plat::MeshOptVertexCache | plat::MeshSystemMem;
        }
        plat::Result r = skin.ConvertToIndexedBlendedMesh(c->origMesh.get(), flags, c->numPaletteEntries, adjacency,
                                                          {}, nullptr, nullptr, &c->numInfluences,
                                                          &c->numAttributeGroups, &c->boneCombinations, &mesh);
        if (plat::Failed(r)) return r;
        if (!mesh) return plat::ResultFail;
        const u32 fvf = (mesh->GetFVF() & plat::FvfPositionMask) | plat::FvfNormal | plat::FvfTex1 |
                        plat::FvfLastBetaUByte4;
        if (fvf != mesh->GetFVF()) {
            std::shared_ptr<plat::Mesh> clone;
            r = mesh->CloneMeshFVF(mesh->GetOptions(), fvf, &clone);
            if (plat::Failed(r)) return r;
            mesh = std::move(clone);
        }
        std::vector<plat::VertexElement> decl = mesh->GetDeclaration();
        for (plat::VertexElement& e : decl)
            if (e.usage == plat::UsageBlendIndices && e.usageIndex == 0) e.type = plat::DeclColor;
        r = mesh->UpdateSemantics(decl);
        if (plat::Failed(r)) return r;
        if (!ReservePalette(bones)) return plat::ResultOutOfMemory;
        break;
    }
    case kSkinSoftware: {
        plat::Result r = c->origMesh->CloneMeshFVF(plat::MeshManaged, c->origMesh->GetFVF(), &mesh);
        if (plat::Failed(r)) return r;
        if (!mesh) return plat::ResultFail;
        u32 count = 0;
        mesh->GetAttributeTable(nullptr, &count);
        c->attributeTable.assign(count, plat::AttributeRange{});
        if (count) mesh->GetAttributeTable(c->attributeTable.data(), &count);
        if (c->attributeTable.empty()) {
            // A mesh straight from the file has no table yet: one range per
            // material, drawn by its attribute id.
            for (u32 i = 0; i < c->NumMaterials; ++i) {
                plat::AttributeRange range;
                range.AttribId = i;
                c->attributeTable.push_back(range);
            }
        }
        c->numAttributeGroups = static_cast<u32>(c->attributeTable.size());
        if (!ReservePalette(bones)) return plat::ResultOutOfMemory;
        break;
    }
    default:
        return plat::ResultOk;
    }
    c->MeshData.pMesh = std::move(mesh);
    return plat::ResultOk;
}

// ---- drawing ------------------------------------------------------------------------

Mat4 SkinXMesh::BoneMatrix(const SkinMeshContainer* c, u32 bone)
{
    Mat4 out;
    if (bone >= c->boneOffsets.size() || bone >= c->boneFrames.size() || !c->boneFrames[bone]) return out;
    const Mat4* combined = c->boneFrames[bone]->combined ? c->boneFrames[bone]->combined : &kIdentity;
    plat::MatrixMultiply(&out, &c->boneOffsets[bone], combined);
    return out;
}

bool SkinXMesh::SoftwareSkin(SkinMeshContainer* c)
{
    plat::Mesh* mesh = c->MeshData.pMesh.get();
    if (!c->pSkinInfo || !c->origMesh || !mesh || skinningMethod != kSkinSoftware) return false;
    const u32 bones = c->pSkinInfo->GetNumBones();
    if (!ReservePalette(bones)) return false;
    for (u32 b = 0; b < bones; ++b) boneMatrices[b] = BoneMatrix(c, b);
    return plat::Succeeded(c->pSkinInfo->UpdateSkinnedMesh(std::span<const Mat4>(boneMatrices.data(), bones), {},
                                                           c->origMesh.get(), mesh));
}

void SkinXMesh::DrawMeshContainer(SkinMeshContainer* c, SkinFrame* frame)
{
    plat::GfxDevice* device = Device();
    plat::Mesh* mesh = c->MeshData.pMesh.get();
    if (!device || !mesh) return;
    plat::SetMeshDevice(device);
    auto bindMaterial = [&](u32 id) {
        device->SetMaterial(c->materials[id]);
        device->SetTexture(0, TextureOf(c->textures[id]));
    };

    if (!c->pSkinInfo) {
        device->SetTransform(plat::GfxTransform::World, frame->combined ? *frame->combined : kIdentity);
        for (u32 i = 0; i < c->NumMaterials; ++i) {
            bindMaterial(i);
            mesh->DrawSubset(i);
        }
        return;
    }

    switch (skinningMethod) {
    case kSkinBlended: {
        const u32 maxBlend = device->GetCaps().maxVertexBlendMatrices;
        // Highest blend matrix a group uses.
        auto lastUsed = [&](const plat::BoneCombination& bc) {
            u32 n = 0;
            for (u32 k = 0; k < c->numInfluences && k < bc.BoneId.size(); ++k)
                if (bc.BoneId[k] != plat::NoIndex) n = k;
            return n;
        };
        auto needsSoftware = [&](u32 g, const plat::BoneCombination& bc) {
            return g >= c->firstSoftwareGroup && lastUsed(bc) + 1 > maxBlend;
        };
        auto setGroup = [&](const plat::BoneCombination& bc) {
            for (u32 k = 0; k < c->numInfluences && k < bc.BoneId.size(); ++k)
                if (bc.BoneId[k] != plat::NoIndex)
                    device->SetTransform(plat::GfxWorldMatrix(k), BoneMatrix(c, bc.BoneId[k]));
            device->SetRenderState(plat::GfxRenderState::VertexBlend, lastUsed(bc));
        };
        // Groups with more matrices than the device blends are drawn once,
        // by the software pass below, not twice.
        for (u32 g = 0; g < c->numAttributeGroups && g < c->boneCombinations.size(); ++g) {
            const plat::BoneCombination& bc = c->boneCombinations[g];
            if (bc.AttribId >= c->NumMaterials || needsSoftware(g, bc)) continue;
            setGroup(bc);
            bindMaterial(bc.AttribId);
            mesh->DrawSubset(g);
        }
        if (c->firstSoftwareGroup < c->numAttributeGroups) {
            device->SetSoftwareVertexProcessing(true);
            u32 lastMaterial = plat::NoIndex;
            for (u32 g = c->firstSoftwareGroup; g < c->numAttributeGroups && g < c->boneCombinations.size(); ++g) {
                const plat::BoneCombination& bc = c->boneCombinations[g];
                if (bc.AttribId >= c->NumMaterials || !needsSoftware(g, bc)) continue;
                setGroup(bc);
                if (bc.AttribId != lastMaterial) {
                    bindMaterial(bc.AttribId);
                    lastMaterial = bc.AttribId;
                }
                mesh->DrawSubset(g);
            }
            device->SetSoftwareVertexProcessing(false);
        }
        device->SetRenderState(plat::GfxRenderState::VertexBlend, 0);
        break;
    }
    case kSkinSoftware: {
        if (!SoftwareSkin(c)) return;
        device->SetTransform(plat::GfxTransform::World, kIdentity);
        for (u32 r = 0; r < c->numAttributeGroups && r < c->NumMaterials && r < c->attributeTable.size(); ++r) {
            const u32 id = c->attributeTable[r].AttribId;
            if (id >= c->NumMaterials) continue;
            bindMaterial(id);
            mesh->DrawSubset(id);
        }
        break;
    }
    default:
        break;  // the indexed methods draw only through the effect
    }
}

void SkinXMesh::DrawMeshContainerWithEffect(ShaderBase* shader, SkinMeshContainer* c)
{
    plat::Mesh* mesh = c->MeshData.pMesh.get();
    if (!shader || !shader->effect || !c->pSkinInfo || skinningMethod != kSkinIndexedEffect || !mesh) return;
    plat::GfxDevice* device = Device();
    plat::SetMeshDevice(device);
    const bool software = c->useSoftwareVP && device;
    if (software) device->SetSoftwareVertexProcessing(true);
    if (!ReservePalette(std::max(c->numPaletteEntries, 1u))) return;

    plat::Effect* effect = shader->effect.get();
    u32 passes = 0;
    effect->Begin(&passes, 0);
    effect->BeginPass(0);
    for (u32 g = 0; g < c->numAttributeGroups && g < c->boneCombinations.size(); ++g) {
        const plat::BoneCombination& bc = c->boneCombinations[g];
        if (bc.AttribId >= c->NumMaterials) break;
        for (u32 k = 0; k < c->numPaletteEntries && k < bc.BoneId.size(); ++k)
            if (bc.BoneId[k] != plat::NoIndex) boneMatrices[k] = BoneMatrix(c, bc.BoneId[k]);
        effect->SetMatrixArray("mWorldMatrixArray", boneMatrices.data(), c->numPaletteEntries);
        shader->SetMaterial(&c->materials[bc.AttribId], c->textures[bc.AttribId]);
        effect->SetInt("CurNumBones", static_cast<int>(c->numInfluences) - 1);
        effect->CommitChanges();
        mesh->DrawSubset(g);
    }
    effect->EndPass();
    effect->End();
    if (software) device->SetSoftwareVertexProcessing(false);
}

namespace {

// Swaps a caller's material list into a container for one draw.
struct MaterialSwap {
    SkinMeshContainer* c;
    plat::GfxMaterial* materials;
    TextureHandle** textures;
    u32 count;
    MaterialSwap(SkinMeshContainer* c, const plat::GfxMaterial* m, TextureHandle** t, u32 n)
        : c(c), materials(c->materials), textures(c->textures), count(c->NumMaterials)
    {
        if (!m || !t) return;
        c->materials = const_cast<plat::GfxMaterial*>(m);
        c->textures = t;
        c->NumMaterials = n;
    }
    ~MaterialSwap()
    {
        c->materials = materials;
        c->textures = textures;
        c->NumMaterials = count;
    }
};

}  // namespace

void SkinXMesh::Draw(const plat::GfxMaterial* materials, TextureHandle** textures, u32 count)
{
    for (SkinFrame* frame : meshFrames)
        for (plat::MeshContainer* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer) {
            SkinMeshContainer* c = static_cast<SkinMeshContainer*>(mc);
            MaterialSwap swap(c, materials, textures, count);
            DrawMeshContainer(c, frame);
        }
}

void SkinXMesh::DrawWithEffect(ShaderBase* shader, const plat::GfxMaterial* materials, TextureHandle** textures,
                               u32 count)
{
    if (!shader || !shader->effect) return;
    // Only the two wrappers with a skinned technique can draw skins.
    if (auto* basic = dynamic_cast<Shader_Basic*>(shader))
        shader->effect->SetTechnique(basic->hSkinBasic);
    else if (auto* reflection = dynamic_cast<Shader_Reflection*>(shader))
        shader->effect->SetTechnique(reflection->hSkin);
    else
        return;
    for (SkinFrame* frame : meshFrames)
        for (plat::MeshContainer* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer) {
            SkinMeshContainer* c = static_cast<SkinMeshContainer*>(mc);
            MaterialSwap swap(c, materials, textures, count);
            DrawMeshContainerWithEffect(shader, c);
        }
}

void SkinXMesh::DrawShadowWithEffect(ShaderBase* shader)
{
    if (!shader || !shader->effect) return;
    for (SkinFrame* frame : meshFrames)
        for (plat::MeshContainer* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer)
            DrawMeshContainerWithEffect(shader, static_cast<SkinMeshContainer*>(mc));
}
