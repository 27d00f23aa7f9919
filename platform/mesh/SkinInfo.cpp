#include "platform/mesh/SkinInfo.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <functional>

#include "platform/math/Math.h"
#include "platform/mesh/MeshBuild.h"

namespace plat {

Result SkinInfo::Create(u32 numVertices, u32 fvf, u32 numBones, std::shared_ptr<SkinInfo>* out)
{
    if (!out) return ResultInvalidCall;
    out->reset();
    if (FvfVertexSize(fvf) == 0 || numVertices > MaxMeshVertices) return ResultInvalidCall;
    auto skin = std::shared_ptr<SkinInfo>(new (std::nothrow) SkinInfo());
    if (!skin) return ResultOutOfMemory;
    skin->numVertices_ = numVertices;
    skin->fvf_ = fvf;
    try {
        skin->bones_.resize(numBones);
    } catch (const std::bad_alloc&) {
        return ResultOutOfMemory;
    }
    *out = std::move(skin);
    return ResultOk;
}

const char* SkinInfo::GetBoneName(u32 bone) const
{
    return bone < bones_.size() ? bones_[bone].name.c_str() : nullptr;
}

Result SkinInfo::SetBoneName(u32 bone, const char* name)
{
    if (bone >= bones_.size() || !name) return ResultInvalidCall;
    bones_[bone].name = name;
    return ResultOk;
}

const Mat4* SkinInfo::GetBoneOffsetMatrix(u32 bone) const
{
    return bone < bones_.size() ? &bones_[bone].offset : nullptr;
}

Result SkinInfo::SetBoneOffsetMatrix(u32 bone, const Mat4* offset)
{
    if (bone >= bones_.size() || !offset) return ResultInvalidCall;
    bones_[bone].offset = *offset;
    return ResultOk;
}

u32 SkinInfo::GetNumBoneInfluences(u32 bone) const
{
    return bone < bones_.size() ? static_cast<u32>(bones_[bone].vertices.size()) : 0;
}

Result SkinInfo::GetBoneInfluence(u32 bone, std::span<u32> vertices, std::span<f32> weights) const
{
    if (bone >= bones_.size()) return ResultInvalidCall;
    const Bone& b = bones_[bone];
    if (vertices.size() < b.vertices.size() || weights.size() < b.weights.size()) return ResultInvalidCall;
    std::copy(b.vertices.begin(), b.vertices.end(), vertices.begin());
    std::copy(b.weights.begin(), b.weights.end(), weights.begin());
    return ResultOk;
}

Result SkinInfo::SetBoneInfluence(u32 bone, std::span<const u32> vertices, std::span<const f32> weights)
{
    if (bone >= bones_.size() || vertices.size() != weights.size()) return ResultInvalidCall;
    for (u32 v : vertices)
        if (v >= numVertices_) return ResultInvalidCall;
    bones_[bone].vertices.assign(vertices.begin(), vertices.end());
    bones_[bone].weights.assign(weights.begin(), weights.end());
    return ResultOk;
}

std::vector<std::vector<SkinInfo::Influence>> SkinInfo::VertexInfluences() const
{
    std::vector<std::vector<Influence>> infl(numVertices_);
    for (u32 b = 0; b < bones_.size(); ++b) {
        const Bone& bone = bones_[b];
        for (size_t i = 0; i < bone.vertices.size(); ++i) {
            // Two entries for one vertex and bone add up. Bones are taken in
            // turn, so this bone's entry, if any, is the vertex's last: one
            // look, however many bones move the vertex.
            auto& list = infl[bone.vertices[i]];
            if (!list.empty() && list.back().bone == b) list.back().weight += bone.weights[i];
            else list.push_back({b, bone.weights[i]});
        }
    }
    for (auto& list : infl) {
        std::stable_sort(list.begin(), list.end(),
                         [](const Influence& a, const Influence& b) { return a.weight > b.weight; });
    }
    return infl;
}

std::vector<u32> SkinInfo::BonesPerVertex() const
{
    std::vector<u32> count(numVertices_, 0), last(numVertices_, NoIndex);
    for (u32 b = 0; b < bones_.size(); ++b)
        for (u32 v : bones_[b].vertices)
            if (last[v] != b) {
                last[v] = b;
                ++count[v];
            }
    return count;
}

u32 SkinInfo::GetMaxVertexInfluences() const
{
    u32 most = 0;
    for (const auto& list : VertexInfluences()) most = std::max<u32>(most, static_cast<u32>(list.size()));
    return most;
}

Result SkinInfo::GetMaxFaceInfluences(const BaseMesh* mesh, u32* maxInfluences) const
{
    if (!mesh || !maxInfluences || mesh->GetNumVertices() != numVertices_) return ResultInvalidCall;
    const auto infl = VertexInfluences();
    const u16* ib = mesh->IndexData();
    u32 most = 0;
    // Each bone stamped with the last face that counted it.
    std::vector<u32> seen(bones_.size(), NoIndex);
    for (u32 f = 0; f < mesh->GetNumFaces(); ++f) {
        u32 count = 0;
        for (u32 k = 0; k < 3; ++k)
            for (const Influence& i : infl[ib[f * 3 + k]])
                if (seen[i.bone] != f) {
                    seen[i.bone] = f;
                    ++count;
                }
        most = std::max(most, count);
    }
    *maxInfluences = most;
    return ResultOk;
}

namespace {

struct Grouping {
    std::vector<BoneCombination> groups;
    std::vector<u32> faceOrder;  // new face -> old face
    std::vector<u32> faceGroup;  // per new face
};

// Groups faces (by material, first fit) so that no group uses more than
// limit bones. false when one face alone needs more.
bool GroupFaces(const BaseMesh& mesh, const std::vector<std::vector<u32>>& faceBones, u32 limit, Grouping& out)
{
    const u32 faces = mesh.GetNumFaces();
    const u32* attr = mesh.AttributeData();
    std::vector<u32> order(faces);
    for (u32 f = 0; f < faces; ++f) order[f] = f;
    std::stable_sort(order.begin(), order.end(), [&](u32 a, u32 b) { return attr[a] < attr[b]; });
    std::vector<std::vector<u32>> groupBones;
    std::vector<std::vector<u32>> groupFaces;
    std::vector<u32> groupAttr;
    size_t firstOfAttr = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const u32 f = order[i];
        if (i > 0 && attr[f] != attr[order[i - 1]]) firstOfAttr = groupBones.size();
        const std::vector<u32>& fb = faceBones[f];
        if (fb.size() > limit) return false;
        const auto fits = [&](size_t g) {
            size_t extra = 0;
            for (u32 b : fb)
                if (std::find(groupBones[g].begin(), groupBones[g].end(), b) == groupBones[g].end()) ++extra;
            return groupBones[g].size() + extra <= limit;
        };
        // First fit among the material's first groups, else its newest one:
        // a mesh of thousands of groups (faces of bones of their own) costs
        // a bounded look per face, not one per group so far.
        constexpr size_t kGroupsTried = 64;
        size_t g = firstOfAttr;
        const size_t tried = std::min(groupBones.size(), firstOfAttr + kGroupsTried);
        while (g < tried && !fits(g)) ++g;
        if (g == tried) g = tried < groupBones.size() && fits(groupBones.size() - 1) ? groupBones.size() - 1
                                                                                    : groupBones.size();
        if (g == groupBones.size()) {
            groupBones.emplace_back();
            groupFaces.emplace_back();
            groupAttr.push_back(attr[f]);
        }
        for (u32 b : fb)
            if (std::find(groupBones[g].begin(), groupBones[g].end(), b) == groupBones[g].end())
                groupBones[g].push_back(b);
        groupFaces[g].push_back(f);
    }
    out = Grouping();
    for (size_t g = 0; g < groupBones.size(); ++g) {
        BoneCombination bc;
        bc.AttribId = groupAttr[g];
        bc.FaceStart = static_cast<u32>(out.faceOrder.size());
        bc.FaceCount = static_cast<u32>(groupFaces[g].size());
        bc.BoneId.assign(limit, NoIndex);
        std::copy(groupBones[g].begin(), groupBones[g].end(), bc.BoneId.begin());
        for (u32 f : groupFaces[g]) {
            out.faceOrder.push_back(f);
            out.faceGroup.push_back(static_cast<u32>(g));
        }
        out.groups.push_back(std::move(bc));
    }
    return true;
}

const VertexElement* FindElem(const std::vector<VertexElement>& decl, u8 usage, u8 index)
{
    for (const VertexElement& e : decl)
        if (e.usage == usage && e.usageIndex == index && e.type != DeclUnused) return &e;
    return nullptr;
}

// Copies the components both declarations share (except blend data).
void CopyCommon(const std::vector<VertexElement>& sd, const u8* src, const std::vector<VertexElement>& dd, u8* dst)
{
    for (const VertexElement& de : dd) {
        if (de.usage == UsageBlendWeight || de.usage == UsageBlendIndices) continue;
        const VertexElement* se = FindElem(sd, de.usage, de.usageIndex);
        if (!se) continue;
        std::memcpy(dst + de.offset, src + se->offset, std::min(DeclTypeSize(de.type), DeclTypeSize(se->type)));
    }
}

u32 PositionWithBetas(u32 betas)
{
    static constexpr u32 table[6] = {FvfXyz, FvfXyzB1, FvfXyzB2, FvfXyzB3, FvfXyzB4, FvfXyzB5};
    return table[betas];
}

}  // namespace

// Shared tail of both conversions: lays out the new mesh group by group,
// giving each group its own copy of the vertices it uses.
static Result BuildConverted(const Mesh& mesh, u32 options, u32 fvf, const Grouping& grouping,
                             std::span<const u32> adjacencyIn, std::span<u32> adjacencyOut,
                             std::vector<u32>* faceRemap, std::vector<u32>* vertexRemap,
                             std::vector<BoneCombination>& groups,
                             const std::function<void(u32 group, u32 vertex, u8* dst, const VertexElement* weights,
                                                      const VertexElement* indices)>& writeBlend,
                             std::shared_ptr<Mesh>* out)
{
    const u32 faces = mesh.GetNumFaces();
    const u16* ib = mesh.IndexData();
    std::vector<u32> newVertexSource;
    std::vector<u16> newIndices(static_cast<size_t>(faces) * 3);
    std::vector<u32> newAttr(faces);
    // slot[v] is v's copy in the group stamped in slotGroup[v]; stamps
    // spare clearing the whole table for each group.
    std::vector<u32> slot(mesh.GetNumVertices(), NoIndex);
    std::vector<u32> slotGroup(mesh.GetNumVertices(), NoIndex);
    for (u32 g = 0; g < groups.size(); ++g) {
        BoneCombination& bc = groups[g];
        bc.VertexStart = static_cast<u32>(newVertexSource.size());
        for (u32 i = bc.FaceStart; i < bc.FaceStart + bc.FaceCount; ++i) {
            const u32 f = grouping.faceOrder[i];
            for (u32 k = 0; k < 3; ++k) {
                const u32 v = ib[f * 3 + k];
                if (slotGroup[v] != g) {
                    slotGroup[v] = g;
                    slot[v] = static_cast<u32>(newVertexSource.size());
                    newVertexSource.push_back(v);
                    if (newVertexSource.size() > MaxMeshVertices) return ResultFail;
                }
                newIndices[i * 3 + k] = static_cast<u16>(slot[v]);
            }
            newAttr[i] = g;
        }
        bc.VertexCount = static_cast<u32>(newVertexSource.size()) - bc.VertexStart;
    }
    std::shared_ptr<Mesh> result;
    Result r = Mesh::Create(faces, static_cast<u32>(newVertexSource.size()), options & ~Mesh32Bit, fvf, &result);
    if (Failed(r)) return r;
    const std::vector<VertexElement>& sd = mesh.GetDeclaration();
    const std::vector<VertexElement> dd = result->GetDeclaration();
    const VertexElement* we = FindElem(dd, UsageBlendWeight, 0);
    const VertexElement* ie = FindElem(dd, UsageBlendIndices, 0);
    std::vector<u8>& vb = MeshAccess::Vertices(*result);
    const u32 dstride = result->GetNumBytesPerVertex(), sstride = mesh.GetNumBytesPerVertex();
    for (u32 g = 0; g < groups.size(); ++g) {
        const BoneCombination& bc = groups[g];
        for (u32 nvx = bc.VertexStart; nvx < bc.VertexStart + bc.VertexCount; ++nvx) {
            u8* dst = &vb[static_cast<size_t>(nvx) * dstride];
            const u32 v = newVertexSource[nvx];
            CopyCommon(sd, mesh.VertexData() + static_cast<size_t>(v) * sstride, dd, dst);
            writeBlend(g, v, dst, we, ie);
        }
    }
    MeshAccess::Indices(*result) = std::move(newIndices);
    MeshAccess::Attributes(*result) = std::move(newAttr);
    std::vector<AttributeRange> table;
    for (u32 g = 0; g < groups.size(); ++g)
        table.push_back({g, groups[g].FaceStart, groups[g].FaceCount, groups[g].VertexStart, groups[g].VertexCount});
    result->SetAttributeTable(table.data(), static_cast<u32>(table.size()));
    if (!adjacencyOut.empty()) {
        std::vector<u32> newFaceOf(faces);
        for (u32 i = 0; i < faces; ++i) newFaceOf[grouping.faceOrder[i]] = i;
        std::vector<u32> adj(static_cast<size_t>(faces) * 3, NoIndex);
        if (!adjacencyIn.empty()) {
            for (u32 i = 0; i < faces; ++i)
                for (u32 k = 0; k < 3; ++k) {
                    const u32 n = adjacencyIn[grouping.faceOrder[i] * 3 + k];
                    adj[i * 3 + k] = n < faces ? newFaceOf[n] : NoIndex;
                }
        } else {
            result->GenerateAdjacency(0.0f, adj);
        }
        std::copy(adj.begin(), adj.end(), adjacencyOut.begin());
    }
    if (faceRemap) *faceRemap = grouping.faceOrder;
    if (vertexRemap) *vertexRemap = newVertexSource;
    *out = std::move(result);
    return ResultOk;
}

Result SkinInfo::ConvertToBlendedMesh(const Mesh* mesh, u32 options, std::span<const u32> adjacencyIn,
                                      std::span<u32> adjacencyOut, std::vector<u32>* faceRemap,
                                      std::vector<u32>* vertexRemap, u32* maxFaceInfluences,
                                      u32* numBoneCombinations, std::vector<BoneCombination>* boneCombinations,
                                      std::shared_ptr<Mesh>* out) const
{
    if (!mesh || !out || !maxFaceInfluences || !numBoneCombinations || !boneCombinations) return ResultInvalidCall;
    out->reset();
    const u32 faces = mesh->GetNumFaces();
    if (mesh->GetNumVertices() != numVertices_) return ResultInvalidCall;
    if (!adjacencyIn.empty() && adjacencyIn.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if (!adjacencyOut.empty() && adjacencyOut.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if ((mesh->GetFVF() & FvfPositionMask) != FvfXyz) return ResultInvalidCall;
    const u16* ib = mesh->IndexData();
    {
        // A face holds every bone of its corners: a corner moved by more
        // bones than a face may hold refuses the mesh before any bone list
        // is built, which also keeps each face's list below short.
        const std::vector<u32> bonesOf = BonesPerVertex();
        for (u32 i = 0; i < faces * 3; ++i)
            if (bonesOf[ib[i]] > 6) return ResultFail;
    }
    const auto infl = VertexInfluences();
    std::vector<std::vector<u32>> faceBones(faces);
    u32 most = 1;
    for (u32 f = 0; f < faces; ++f) {
        for (u32 k = 0; k < 3; ++k)
            for (const Influence& i : infl[ib[f * 3 + k]])
                if (std::find(faceBones[f].begin(), faceBones[f].end(), i.bone) == faceBones[f].end())
                    faceBones[f].push_back(i.bone);
        most = std::max<u32>(most, static_cast<u32>(faceBones[f].size()));
    }
    if (most > 6) return ResultFail;  // five weights are the most a vertex format carries
    Grouping grouping;
    if (!GroupFaces(*mesh, faceBones, most, grouping)) return ResultFail;
    const u32 weights = most - 1;
    const u32 fvf = (mesh->GetFVF() & ~(FvfPositionMask | FvfLastBetaUByte4 | FvfLastBetaD3DColor)) |
                    PositionWithBetas(weights);
    auto writeBlend = [&](u32 g, u32 v, u8* dst, const VertexElement* we, const VertexElement*) {
        if (!we) return;
        const BoneCombination& bc = grouping.groups[g];
        for (u32 k = 0; k < weights; ++k) {
            f32 w = 0.0f;
            for (const Influence& i : infl[v])
                if (i.bone == bc.BoneId[k]) w = i.weight;
            std::memcpy(dst + we->offset + k * 4, &w, 4);
        }
    };
    Result r = BuildConverted(*mesh, options, fvf, grouping, adjacencyIn, adjacencyOut, faceRemap, vertexRemap,
                              grouping.groups, writeBlend, out);
    if (Failed(r)) return r;
    *maxFaceInfluences = most;
    *numBoneCombinations = static_cast<u32>(grouping.groups.size());
    *boneCombinations = std::move(grouping.groups);
    return ResultOk;
}

Result SkinInfo::ConvertToIndexedBlendedMesh(const Mesh* mesh, u32 options, u32 paletteSize,
                                             std::span<const u32> adjacencyIn, std::span<u32> adjacencyOut,
                                             std::vector<u32>* faceRemap, std::vector<u32>* vertexRemap,
                                             u32* maxVertexInfluences, u32* numBoneCombinations,
                                             std::vector<BoneCombination>* boneCombinations,
                                             std::shared_ptr<Mesh>* out) const
{
    if (!mesh || !out || !maxVertexInfluences || !numBoneCombinations || !boneCombinations) return ResultInvalidCall;
    out->reset();
    const u32 faces = mesh->GetNumFaces();
    if (mesh->GetNumVertices() != numVertices_ || paletteSize == 0 || paletteSize > 256) return ResultInvalidCall;
    if (!adjacencyIn.empty() && adjacencyIn.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if (!adjacencyOut.empty() && adjacencyOut.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if ((mesh->GetFVF() & FvfPositionMask) != FvfXyz) return ResultInvalidCall;
    u32 most = 1;
    for (u32 n : BonesPerVertex()) most = std::max(most, n);
    if (most > 4) return ResultFail;  // four palette indices fit the packed dword
    const auto infl = VertexInfluences();
    const u16* ib = mesh->IndexData();
    std::vector<std::vector<u32>> faceBones(faces);
    for (u32 f = 0; f < faces; ++f)
        for (u32 k = 0; k < 3; ++k)
            for (const Influence& i : infl[ib[f * 3 + k]])
                if (std::find(faceBones[f].begin(), faceBones[f].end(), i.bone) == faceBones[f].end())
                    faceBones[f].push_back(i.bone);
    Grouping grouping;
    if (!GroupFaces(*mesh, faceBones, paletteSize, grouping)) return ResultFail;
    const u32 weights = most - 1;
    const u32 fvf = (mesh->GetFVF() & ~(FvfPositionMask | FvfLastBetaUByte4 | FvfLastBetaD3DColor)) |
                    PositionWithBetas(most) | FvfLastBetaUByte4;
    auto writeBlend = [&](u32 g, u32 v, u8* dst, const VertexElement* we, const VertexElement* ie) {
        const BoneCombination& bc = grouping.groups[g];
        u8 packed[4] = {0, 0, 0, 0};
        for (u32 k = 0; k < infl[v].size() && k < 4; ++k) {
            const auto it = std::find(bc.BoneId.begin(), bc.BoneId.end(), infl[v][k].bone);
            packed[k] = static_cast<u8>(it - bc.BoneId.begin());
        }
        if (ie) std::memcpy(dst + ie->offset, packed, 4);
        if (we) {
            for (u32 k = 0; k < weights; ++k) {
                const f32 w = k < infl[v].size() ? infl[v][k].weight : 0.0f;
                std::memcpy(dst + we->offset + k * 4, &w, 4);
            }
        }
    };
    Result r = BuildConverted(*mesh, options, fvf, grouping, adjacencyIn, adjacencyOut, faceRemap, vertexRemap,
                              grouping.groups, writeBlend, out);
    if (Failed(r)) return r;
    *maxVertexInfluences = most;
    *numBoneCombinations = static_cast<u32>(grouping.groups.size());
    *boneCombinations = std::move(grouping.groups);
    return ResultOk;
}

Result SkinInfo::UpdateSkinnedMesh(std::span<const Mat4> boneTransforms, std::span<const Mat4> boneInvTranspose,
                                   const BaseMesh* src, BaseMesh* dst) const
{
    if (!src || !dst || boneTransforms.size() < bones_.size()) return ResultInvalidCall;
    if (!boneInvTranspose.empty() && boneInvTranspose.size() < bones_.size()) return ResultInvalidCall;
    if (src->GetNumVertices() != numVertices_ || dst->GetNumVertices() != numVertices_ ||
        src->GetFVF() != dst->GetFVF() || src->GetNumBytesPerVertex() != dst->GetNumBytesPerVertex()) {
        return ResultInvalidCall;
    }
    const u32 stride = src->GetNumBytesPerVertex();
    const VertexElement* ne = FindElem(src->GetDeclaration(), UsageNormal, 0);
    void* out = nullptr;
    dst->LockVertexBuffer(0, &out);
    u8* d = static_cast<u8*>(out);
    const u8* s = src->VertexData();
    std::memcpy(d, s, static_cast<size_t>(numVertices_) * stride);
    const auto infl = VertexInfluences();
    for (u32 v = 0; v < numVertices_; ++v) {
        if (infl[v].empty()) continue;
        Vec3 p, n, sumP, sumN;
        std::memcpy(&p, s + static_cast<size_t>(v) * stride, 12);
        if (ne) std::memcpy(&n, s + static_cast<size_t>(v) * stride + ne->offset, 12);
        for (const Influence& i : infl[v]) {
            Vec3 tp;
            Vec3TransformCoord(&tp, &p, &boneTransforms[i.bone]);
            sumP += tp * i.weight;
            if (ne) {
                Vec3 tn;
                Vec3TransformNormal(&tn, &n, boneInvTranspose.empty() ? &boneTransforms[i.bone] : &boneInvTranspose[i.bone]);
                sumN += tn * i.weight;
            }
        }
        std::memcpy(d + static_cast<size_t>(v) * stride, &sumP, 12);
        if (ne) std::memcpy(d + static_cast<size_t>(v) * stride + ne->offset, &sumN, 12);
    }
    dst->UnlockVertexBuffer();
    return ResultOk;
}

}  // namespace plat
