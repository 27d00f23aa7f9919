// Drawing meshes: through the device's fixed pipeline, or through the
// effect whose pass is active.
#include "platform/mesh/MeshGpu.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <cstring>

#include "platform/gfx/Effect.h"

namespace plat {

namespace {
std::atomic<GfxDevice*> g_meshDevice{nullptr};
std::atomic<GfxDevice* (*)()> g_meshDeviceSource{nullptr};
}  // namespace

void SetMeshDevice(GfxDevice* device)
{
    g_meshDevice.store(device);
}

void SetMeshDeviceSource(GfxDevice* (*source)())
{
    g_meshDeviceSource.store(source);
}

GfxDevice* GetMeshDevice()
{
    if (GfxDevice* (*source)() = g_meshDeviceSource.load()) {
        if (GfxDevice* d = source()) return d;
    }
    return g_meshDevice.load();
}

void DestroyMeshGpuCache(MeshGpuCache* cache)
{
    if (!cache) return;
    ReleaseEffectMeshBuffers(cache);
    delete cache;
}

void MeshGpuCache::Refresh(const BaseMesh& mesh)
{
    if (revision == mesh.Revision()) return;
    const u32 faces = mesh.GetNumFaces();
    const u16* ib = mesh.IndexData();
    const u32* attr = mesh.AttributeData();
    std::vector<u32> order(faces);
    for (u32 f = 0; f < faces; ++f) order[f] = f;
    std::stable_sort(order.begin(), order.end(), [&](u32 a, u32 b) { return attr[a] < attr[b]; });
    sortedIndices.resize(static_cast<size_t>(faces) * 3);
    ranges.clear();
    for (u32 i = 0; i < faces; ++i) {
        const u32 f = order[i];
        for (u32 k = 0; k < 3; ++k) sortedIndices[i * 3 + k] = ib[f * 3 + k];
        if (ranges.empty() || ranges.back().attribId != attr[f]) {
            Range r;
            r.attribId = attr[f];
            r.startIndex = i * 3;
            r.minVertex = 0xFFFFFFFFu;
            ranges.push_back(r);
        }
        Range& r = ranges.back();
        ++r.faceCount;
        for (u32 k = 0; k < 3; ++k) {
            const u32 v = ib[f * 3 + k];
            const u32 end = r.minVertex == 0xFFFFFFFFu ? 0 : r.minVertex + r.numVertices;
            const u32 lo = std::min(r.minVertex, v);
            const u32 hi = std::max(end, v + 1);
            r.minVertex = lo;
            r.numVertices = hi - lo;
        }
    }
    revision = mesh.Revision();
}

const MeshGpuCache::Range* MeshGpuCache::Find(u32 attribId) const
{
    for (const Range& r : ranges)
        if (r.attribId == attribId) return &r;
    return nullptr;
}

Result BaseMesh::DrawSubset(u32 attribId)
{
    if (!gpu_) {
        gpu_ = new (std::nothrow) MeshGpuCache();
        if (!gpu_) return ResultOutOfMemory;
    }
    if (Effect* effect = ActiveEffectPass()) return effect->DrawMeshSubset(this, attribId);

    GfxDevice* device = GetMeshDevice();
    if (!device) return ResultInvalidCall;
    MeshGpuCache& c = *gpu_;
    c.Refresh(*this);
    const MeshGpuCache::Range* r = c.Find(attribId);
    if (!r) return ResultOk;  // an empty subset draws nothing
    if (c.device != device || c.deviceRevision != revision_ || !c.vertexBuffer || !c.indexBuffer) {
        c.vertexBuffer.reset();
        c.indexBuffer.reset();
        const u32 vbytes = static_cast<u32>(vertices_.size());
        const u32 ibytes = static_cast<u32>(c.sortedIndices.size() * 2);
        if (vbytes == 0 || ibytes == 0) return ResultOk;
        if (!Succeeded(device->CreateVertexBuffer(vbytes, GfxUsageWriteOnly, fvf_, GfxPool::Managed,
                                                  c.vertexBuffer.put())) ||
            !Succeeded(device->CreateIndexBuffer(ibytes, GfxUsageWriteOnly, GfxFormat::Index16, GfxPool::Managed,
                                                 c.indexBuffer.put()))) {
            c.vertexBuffer.reset();
            c.indexBuffer.reset();
            return ResultOutOfMemory;
        }
        void* p = nullptr;
        if (Succeeded(c.vertexBuffer->Lock(0, 0, &p, 0))) {
            std::memcpy(p, vertices_.data(), vbytes);
            c.vertexBuffer->Unlock();
        }
        if (Succeeded(c.indexBuffer->Lock(0, 0, &p, 0))) {
            std::memcpy(p, c.sortedIndices.data(), ibytes);
            c.indexBuffer->Unlock();
        }
        c.device = device;
        c.deviceRevision = revision_;
    }
    device->SetFVF(fvf_);
    device->SetStreamSource(0, c.vertexBuffer.get(), 0, stride_);
    device->SetIndices(c.indexBuffer.get());
    const GfxResult g = device->DrawIndexedPrimitive(GfxPrimitive::TriangleList, 0, r->minVertex, r->numVertices,
                                                     r->startIndex, r->faceCount);
    return Succeeded(g) ? ResultOk : ResultFail;
}

}  // namespace plat
