#pragma once
// Skinned X meshes: a frame hierarchy whose mesh containers carry skin
// information, converted to one of four skinning methods and drawn with
// fixed-function vertex blending, on the CPU, or through an effect wrapper
// with a bone-matrix palette. The mesh does not animate itself: every frame
// points at a world matrix its user supplies (CSkinObject).
#include <memory>
#include <vector>

#include "engine/model/SkinAnimation.h"
#include "platform/gfx/Gfx.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/XFile.h"
#include "platform/core/Types.h"

class TextureHandle;
class ShaderBase;
class SkinXMesh;
class MeshBudget;

// Skinning methods.
inline constexpr u32 kSkinBlended = 0;         // non-indexed vertex blending, fixed function
inline constexpr u32 kSkinSoftware = 1;        // skinned on the CPU each draw
inline constexpr u32 kSkinIndexed = 2;         // indexed blending, drawn by nothing
inline constexpr u32 kSkinIndexedEffect = 3;   // indexed blending through the effect wrappers
inline constexpr u32 kSkinPaletteSize = 26;

struct SkinFrame : plat::MeshFrame {
    // The frame's world matrix, owned by the mesh's user. Points at an
    // identity matrix until the user sets it, so an early draw is harmless.
    const Mat4* combined;
    SkinFrame();
    // The identity matrix frames point at until their user sets them.
    static const Mat4* Identity();
};

struct SkinMeshContainer : plat::MeshContainer {
    TextureHandle** textures = nullptr;      // NumMaterials handles, never null
    plat::GfxMaterial* materials = nullptr;  // NumMaterials draw materials
    std::shared_ptr<plat::Mesh> origMesh;    // as loaded; source of every conversion
    std::vector<plat::AttributeRange> attributeTable;
    u32 numAttributeGroups = 0;
    u32 numInfluences = 0;
    std::vector<plat::BoneCombination> boneCombinations;
    std::vector<SkinFrame*> boneFrames;  // frame of each bone, in bone order
    std::vector<Mat4> boneOffsets;
    u32 numPaletteEntries = 0;
    u8 useSoftwareVP = 0;
    u32 firstSoftwareGroup = 0;
    u32 numFaces = 0;  // of the mesh as loaded (adjacency entries / 3)
};

// The callbacks the hierarchy loader makes.
class CAllocateHierarchy : public plat::AllocateHierarchy {
public:
    CAllocateHierarchy(SkinXMesh* owner, u32 assetKey) : owner(owner), assetKey(assetKey) {}
    virtual ~CAllocateHierarchy() = default;

    plat::Result CreateFrame(const char* name, plat::MeshFrame** newFrame) override;
    plat::Result CreateMeshContainer(const char* name, const plat::MeshContainerData* meshData,
                                     const plat::XMaterial* materials, const void* effectInstances,
                                     u32 numMaterials, const u32* adjacency,
                                     const std::shared_ptr<plat::SkinInfo>& skinInfo,
                                     plat::MeshContainer** newContainer) override;
    plat::Result DestroyFrame(plat::MeshFrame* frame) override;
    plat::Result DestroyMeshContainer(plat::MeshContainer* container) override;

    SkinXMesh* owner;
    u32 assetKey;
};

class SkinXMesh {
public:
    SkinXMesh();
    SkinXMesh(const SkinXMesh&) = delete;
    SkinXMesh& operator=(const SkinXMesh&) = delete;
    ~SkinXMesh();

    // true when a hierarchy was built and every bone found its frame. With
    // a budget the file's counts are admitted to it before anything is built.
    bool LoadFromFile(const char* path, u32 method = kSkinBlended, MeshBudget* budget = nullptr);
    // A file scrambled with key, its textures too. 1 / 0.
    int LoadScrambled(const char* path, u32 key, u32 method = kSkinBlended, MeshBudget* budget = nullptr);
    void Release();
    void RebuildSkinning(u32 method);

    void Draw(const plat::GfxMaterial* materials, TextureHandle** textures, u32 count);
    void DrawWithEffect(ShaderBase* shader, const plat::GfxMaterial* materials, TextureHandle** textures,
                        u32 count);
    void DrawShadowWithEffect(ShaderBase* shader);

    plat::Result GenerateSkinnedMesh(SkinMeshContainer* container);
    void DrawMeshContainer(SkinMeshContainer* container, SkinFrame* frame);
    void DrawMeshContainerWithEffect(ShaderBase* shader, SkinMeshContainer* container);

    // Method 1's CPU step: the drawn mesh becomes the loaded mesh moved by
    // the bones' current matrices. false when the container is not skinned
    // in software.
    bool SoftwareSkin(SkinMeshContainer* container);
    // Bone b's matrix: its offset times its frame's world matrix.
    static Mat4 BoneMatrix(const SkinMeshContainer* container, u32 bone);
    // Grows the palette workspace to at least count matrices.
    bool ReservePalette(u32 count);

    u32 skinningMethod = kSkinBlended;
    // The file's vertices and faces, as its budget counted them (zero when
    // loaded without one).
    plat::XFileCounts fileCounts;
    SkinFrame* rootFrame = nullptr;
    std::shared_ptr<plat::AnimationController> animController;
    std::vector<SkinFrame*> allFrames;
    std::vector<SkinFrame*> meshFrames;
    std::vector<std::unique_ptr<SkinAnimation>> animations;
    std::vector<Mat4> boneMatrices;
    u32 boneMatrixCapacity = 0;

private:
    int LoadImage(const char* path, u32 key, MeshBudget* budget);
    // Links bones, collects frames and converts animations after a load.
    bool FinishLoad();
    bool LinkBoneFrames(plat::MeshFrame* frame);
    void CollectFrames(SkinFrame* frame, u32 depth);
    void ConvertAnimations();
    template <class Fn>
    void ForEachContainer(Fn fn);
};
