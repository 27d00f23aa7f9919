// Drawing meshes through the graphics layer.
#include "platform/Mesh.h"

namespace plat {

struct MeshGpuCache {};

void DestroyMeshGpuCache(MeshGpuCache* cache)
{
    delete cache;
}

Result BaseMesh::DrawSubset(u32)
{
    return ResultFail;
}

}  // namespace plat
