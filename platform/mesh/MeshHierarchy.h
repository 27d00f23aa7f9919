#pragma once
// Frame hierarchies of X files: frames with their local matrices and mesh
// containers (mesh, materials, adjacency, skin), built through an allocator
// that the model code supplies, and the file's animation sets in a
// controller.
#include <memory>
#include <string>

#include "platform/mesh/AnimationController.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/SkinInfo.h"

namespace plat {

inline constexpr u32 MeshTypeMesh = 1;
inline constexpr u32 MeshTypePMesh = 2;

struct MeshContainerData {
    u32 Type = MeshTypeMesh;
    std::shared_ptr<Mesh> pMesh;
};

struct MeshContainer;

// Frame record. The allocator may create a larger record that starts with
// this one; the loader only fills these fields.
struct MeshFrame {
    char* Name = nullptr;
    Mat4 TransformationMatrix;
    MeshContainer* pMeshContainer = nullptr;
    MeshFrame* pFrameSibling = nullptr;
    MeshFrame* pFrameFirstChild = nullptr;
};

struct MeshContainer {
    char* Name = nullptr;
    MeshContainerData MeshData;
    XMaterial* pMaterials = nullptr;
    void* pEffects = nullptr;
    u32 NumMaterials = 0;
    u32* pAdjacency = nullptr;
    std::shared_ptr<SkinInfo> pSkinInfo;
    MeshContainer* pNextMeshContainer = nullptr;
};

// Callbacks the loader makes to build and destroy frame and container
// records. A failing result stops the load; what was built is destroyed
// through the same allocator.
class AllocateHierarchy {
public:
    virtual Result CreateFrame(const char* name, MeshFrame** newFrame) = 0;
    // materials has numMaterials entries (none when 0); adjacency has three
    // entries per face of meshData's mesh; skinInfo is null for a rigid mesh.
    virtual Result CreateMeshContainer(const char* name, const MeshContainerData* meshData,
                                       const XMaterial* materials, const void* effectInstances, u32 numMaterials,
                                       const u32* adjacency, const std::shared_ptr<SkinInfo>& skinInfo,
                                       MeshContainer** newContainer) = 0;
    virtual Result DestroyFrame(MeshFrame* frame) = 0;
    virtual Result DestroyMeshContainer(MeshContainer* container) = 0;

protected:
    ~AllocateHierarchy() = default;
};

// Loads a text X file as a hierarchy. Top-level frames become siblings in
// file order (meshes outside any frame first, in one unnamed frame). The
// controller (null when the file has no animation sets) holds one set per
// AnimationSet with one animation per animated frame; its track 0 plays
// set 0. On failure nothing is left allocated and error says why.
Result LoadMeshHierarchyFromX(const char* path, u32 options, AllocateHierarchy* allocator, MeshFrame** root,
                              std::shared_ptr<AnimationController>* controller, std::string* error = nullptr);
Result LoadMeshHierarchyFromXInMemory(const void* data, size_t size, u32 options, AllocateHierarchy* allocator,
                                      MeshFrame** root, std::shared_ptr<AnimationController>* controller,
                                      std::string* error = nullptr);

// Destroys a frame, its containers, children and following siblings.
Result FrameDestroy(MeshFrame* root, AllocateHierarchy* allocator);
// The first frame named name (the frame, then its children, then its
// following siblings); null when none.
MeshFrame* FrameFind(MeshFrame* root, const char* name);

}  // namespace plat
