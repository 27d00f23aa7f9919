#pragma once
// Skin information of a mesh: its bones (name, offset matrix, the vertices
// each moves and by how much), the conversions to blended meshes for
// hardware skinning, and skinning on the CPU.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/mesh/Mesh.h"

namespace plat {

// One group of faces drawn with one set of bone matrices. In a converted
// mesh, group g is subset g (DrawSubset(g)); AttribId is the material.
struct BoneCombination {
    u32 AttribId = 0;
    u32 FaceStart = 0;
    u32 FaceCount = 0;
    u32 VertexStart = 0;
    u32 VertexCount = 0;
    std::vector<u32> BoneId;  // NoIndex marks an unused slot
};

class SkinInfo {
public:
    // An empty skin of numBones bones for numVertices vertices of format fvf.
    static Result Create(u32 numVertices, u32 fvf, u32 numBones, std::shared_ptr<SkinInfo>* out);

    u32 GetNumVertices() const { return numVertices_; }
    u32 GetFVF() const { return fvf_; }
    u32 GetNumBones() const { return static_cast<u32>(bones_.size()); }
    // Null for a bone index out of range.
    const char* GetBoneName(u32 bone) const;
    Result SetBoneName(u32 bone, const char* name);
    const Mat4* GetBoneOffsetMatrix(u32 bone) const;
    Result SetBoneOffsetMatrix(u32 bone, const Mat4* offset);
    u32 GetNumBoneInfluences(u32 bone) const;
    // vertices and weights must hold GetNumBoneInfluences(bone) entries.
    Result GetBoneInfluence(u32 bone, std::span<u32> vertices, std::span<f32> weights) const;
    // Vertex indices must be below the skin's vertex count.
    Result SetBoneInfluence(u32 bone, std::span<const u32> vertices, std::span<const f32> weights);

    // Most bones moving one vertex.
    u32 GetMaxVertexInfluences() const;
    // Most bones moving the corners of one face of mesh (whose vertex count
    // must be the skin's).
    Result GetMaxFaceInfluences(const BaseMesh* mesh, u32* maxInfluences) const;

    // Non-indexed blending: each group lists at most *maxFaceInfluences
    // bones; every vertex carries that many weights minus one (the last is
    // implied). The source mesh must be the one the skin was made for.
    Result ConvertToBlendedMesh(const Mesh* mesh, u32 options, std::span<const u32> adjacencyIn,
                                std::span<u32> adjacencyOut, std::vector<u32>* faceRemap,
                                std::vector<u32>* vertexRemap, u32* maxFaceInfluences, u32* numBoneCombinations,
                                std::vector<BoneCombination>* boneCombinations, std::shared_ptr<Mesh>* out) const;

    // Indexed blending with a palette of paletteSize matrices per group:
    // vertices carry *maxVertexInfluences − 1 weights and four palette
    // indices packed in one dword (the last beta).
    Result ConvertToIndexedBlendedMesh(const Mesh* mesh, u32 options, u32 paletteSize,
                                       std::span<const u32> adjacencyIn, std::span<u32> adjacencyOut,
                                       std::vector<u32>* faceRemap, std::vector<u32>* vertexRemap,
                                       u32* maxVertexInfluences, u32* numBoneCombinations,
                                       std::vector<BoneCombination>* boneCombinations,
                                       std::shared_ptr<Mesh>* out) const;

    // CPU skinning: dst's positions and normals become the weighted sums of
    // src's moved by each bone's matrix (normals by boneInvTranspose when
    // given, else by the bone matrix). Vertices no bone moves are copied.
    // Both meshes must have the skin's vertex count and format; bone spans
    // must hold one matrix per bone.
    Result UpdateSkinnedMesh(std::span<const Mat4> boneTransforms, std::span<const Mat4> boneInvTranspose,
                             const BaseMesh* src, BaseMesh* dst) const;

private:
    struct Bone {
        std::string name;
        Mat4 offset;
        std::vector<u32> vertices;
        std::vector<f32> weights;
    };
    struct Influence {
        u32 bone;
        f32 weight;
    };
    // Per vertex, how many bones move it (a bone listing it twice counts once).
    std::vector<u32> BonesPerVertex() const;
    // Per vertex, its influences by falling weight.
    std::vector<std::vector<Influence>> VertexInfluences() const;

    u32 numVertices_ = 0;
    u32 fvf_ = 0;
    std::vector<Bone> bones_;
};

}  // namespace plat
