#pragma once
// Internal to the mesh and effect layers: what a mesh keeps for drawing.
#include <vector>

#include "platform/gfx/Gfx.h"
#include "platform/mesh/Mesh.h"

namespace plat {

struct MeshGpuCache {
    // One range of the attribute-sorted index buffer per subset.
    struct Range {
        u32 attribId = 0;
        u32 startIndex = 0;
        u32 faceCount = 0;
        u32 minVertex = 0;
        u32 numVertices = 0;
    };
    u64 revision = 0;                 // mesh revision the ranges were made from
    std::vector<u16> sortedIndices;   // faces grouped by subset
    std::vector<Range> ranges;

    // Fixed-pipeline copies on the device.
    GfxDevice* device = nullptr;
    u64 deviceRevision = 0;
    GfxRef<GfxVertexBuffer> vertexBuffer;
    GfxRef<GfxIndexBuffer> indexBuffer;

    // Effect-draw copies (GL buffer names, made and freed by EffectGL.cpp).
    u64 glRevision = 0;
    u32 glVertexBuffer = 0;
    u32 glIndexBuffer = 0;

    // Brings sortedIndices and ranges up to the mesh.
    void Refresh(const BaseMesh& mesh);
    const Range* Find(u32 attribId) const;
};

// Frees the GL buffers of a cache (deferred to the drawing thread).
void ReleaseEffectMeshBuffers(MeshGpuCache* cache);
// The effect whose pass is active, if any (draws go through it).
class Effect;
Effect* ActiveEffectPass();

}  // namespace plat
