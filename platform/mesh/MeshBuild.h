#pragma once
// Internal to the mesh layer: turning parsed X-file meshes into Mesh objects.
// Shared by the single-mesh loader and the hierarchy loader.
#include <memory>
#include <string>
#include <vector>

#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/XFile.h"

namespace plat {

// Access to mesh internals for the loaders and processing functions.
struct MeshAccess {
    static std::vector<u8>& Vertices(BaseMesh& m) { return m.vertices_; }
    static std::vector<u16>& Indices(BaseMesh& m) { return m.indices_; }
    static std::vector<u32>& Attributes(BaseMesh& m) { return m.attributes_; }
    static std::vector<AttributeRange>& Table(BaseMesh& m) { return m.attrTable_; }
    static void Touch(BaseMesh& m) { m.Touch(); }
    static bool Init(BaseMesh& m, u32 f, u32 v, u32 o, u32 fvf) { return m.InitStorage(f, v, o, fvf); }
};

}  // namespace plat

namespace plat::detail {

struct MeshSource {
    const XMeshData* data = nullptr;
    Mat4 world;  // applied to positions and normals
};

struct BuiltMesh {
    std::shared_ptr<Mesh> mesh;
    std::vector<u32> adjacency;     // 3 per face
    std::vector<XMaterial> materials;
    // For each vertex of the mesh, the position index of the file's mesh it
    // came from (a file vertex with several normals becomes several).
    std::vector<u32> sourceVertex;
};

// Builds one mesh out of the sources, concatenated in order. Polygons become
// triangle fans. false with error when the result does not fit 16-bit indices.
bool BuildMesh(const std::vector<MeshSource>& sources, u32 options, BuiltMesh& out, std::string& error);

// Groups vertices whose positions lie within epsilon of each other on every
// axis, and through them their neighbours'; rep[v] is the lowest vertex of
// v's group. Positions that are not finite join only their exact equals.
// comparisons, when given, counts the pairs of vertices compared.
std::vector<u32> PointReps(const std::vector<Vec3>& pos, f32 epsilon, u64* comparisons = nullptr);

// Reads a whole file through the platform file layer.
bool ReadFileBytes(const char* path, std::string& bytes, std::string& error);

// Small value-style wrappers over platform/math/Math.h for the mesh files.
inline Vec3 Cross(const Vec3& a, const Vec3& b)
{
    Vec3 r;
    Vec3Cross(&r, &a, &b);
    return r;
}
inline f32 Dot(const Vec3& a, const Vec3& b) { return Vec3Dot(&a, &b); }
inline Vec3 Normalized(const Vec3& v)
{
    Vec3 r;
    Vec3Normalize(&r, &v);
    return r;
}

}  // namespace plat::detail
