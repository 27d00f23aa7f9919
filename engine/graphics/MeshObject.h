#pragma once
// The engine's static triangle mesh: one X file with its materials, one
// texture handle per material, bounds and collision triangles. Draws through
// the fixed pipeline or an effect wrapper, picks with rays and pushes spheres
// out of its surface (faces first, then edges and corners).
#include <memory>

#include "engine/core/Queue.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "platform/mesh/Mesh.h"
#include "platform/core/Types.h"

class TextureHandle;
class TextureManager;
class ShaderBase;
class MeshBudget;

struct CollisionTriangle {
    Vec3 P0, P1, P2;  // mesh space, in index-buffer order
    Vec3 normal;      // unit: normalize((P1 - P0) x (P2 - P0))
    Vec3 min, max;    // per-axis bounds of the three corners
};
static_assert(sizeof(CollisionTriangle) == 6 * 12, "six vectors of three floats");

// Four collision triangles side by side, lane i holding triangle 4 * block + i:
// the ray and sphere tests take four at a time.
struct CollisionBlock {
    alignas(16) float p0[3][4];  // P0, by axis
    alignas(16) float e1[3][4];  // P1 - P0
    alignas(16) float e2[3][4];  // P2 - P0
    alignas(16) float min[3][4];
    alignas(16) float max[3][4];
    alignas(16) float normal[3][4];
};

// A candidate triangle for the edge-and-corner stage of the sphere test.
class FaceQ : public CQueueNode<FaceQ> {
public:
    CollisionTriangle* triangle = nullptr;
};

class MeshObject {
public:
    // Materials a mesh may have: the glow pass keeps a table of this many,
    // so a mesh with more is refused at load.
    static constexpr u32 MaxMaterials = 100;
    // Texture level that loads no textures (every material gets an empty handle).
    static constexpr u32 NoTextures = 0xFFFFFFFFu;

    MeshObject() = default;
    ~MeshObject() { Release(); }
    MeshObject(const MeshObject&) = delete;
    MeshObject& operator=(const MeshObject&) = delete;

    // Loaders: 1 on success, 0 when the mesh cannot be read or is refused
    // (LastLoadError says why). Texture failures never fail a load. With a
    // budget the file's counts are admitted to it before the mesh is built;
    // a file the budget refuses leaves it Refused().
    int Load(const char* fileName, u32 textureLevel, TextureManager* manager, MeshBudget* budget = nullptr);
    int LoadScrambled(const char* fileName, u32 key, TextureManager* manager, MeshBudget* budget = nullptr);
    int LoadScrambledWithTextures(const char* fileName, u32 textureLevel, u32 key, TextureManager* manager,
                                  MeshBudget* budget = nullptr);
    // Why the calling thread's last load failed ("" after a success).
    static const char* LastLoadError();

    void ComputeBounds();
    void BuildCollisionTriangles();
    // Vertices and faces of the loaded mesh (0 without one).
    u32 VertexCount() const { return mesh ? mesh->GetNumVertices() : 0; }
    u32 FaceCount() const { return mesh ? mesh->GetNumFaces() : 0; }
    // Frees everything; safe to call twice.
    void Release();

    void Draw();
    void DrawAlpha(float alpha);
    void DrawShader(ShaderBase* shader);
    void DrawShaderAlpha(ShaderBase* shader, float alpha);
    // This mesh's geometry with other's materials and textures (the smaller
    // material count of the two).
    void DrawMeshObject(MeshObject* other);
    void DrawMeshObjectAlpha(MeshObject* other, float alpha);
    void DrawMeshObjectShader(ShaderBase* shader, MeshObject* other);
    void DrawMeshObjectShaderAlpha(ShaderBase* shader, MeshObject* other, float alpha);

    // Ray against the collision triangles; *dist in units of dir's length;
    // index may be null. 1 on a hit.
    int IntersectRay(const Vec3* origin, const Vec3* dir, float* dist, u32* index);
    // The same over only the triangles whose bounds meet [lo, hi]: a hit on
    // one of those comes out as IntersectRay finds it.
    int IntersectRayInBox(const Vec3* origin, const Vec3* dir, const Vec3& lo, const Vec3& hi, float* dist,
                          u32* index);
    int IntersectRayWorld(const Vec3* origin, const Vec3* dir, float* dist, u32* index, const Mat4* world);
    // Ray against the bounding box.
    int BoxIntersectRay(const Vec3* origin, const Vec3* dir, float* dist);

    // Sphere against faces; queues the triangles the sphere may touch by an
    // edge or corner. 0 without a queue.
    int CollideSphere(Vec3* centre, float radius, float* pushLength, Vec3* pushDir, CQueue<FaceQ>* faces);
    // Sphere against the edges and corners of the queued triangles; empties
    // the queue.
    int CollideSphere2(Vec3* centre, float radius, float* pushLength, Vec3* pushDir, CQueue<FaceQ>* faces);
    int CollideSphereWorld(Vec3* centre, float radius, float* pushLength, Vec3* pushDir, CQueue<FaceQ>* faces,
                           const Mat4* world);
    int CollideSphere2World(Vec3* centre, float radius, float* pushLength, Vec3* pushDir, CQueue<FaceQ>* faces,
                            const Mat4* world);

    // Mesh processing: 0 at once without a mesh, else 1 / 0.
    int CreateAdjacency(float epsilon, u32 bufferBytes);
    int Clean(u32 cleanType);
    int OptimizeInplace(u32 flags);
    int WeldVertices(u32 flags, const plat::WeldEpsilons* epsilons);
    int ComputeNormals();
    int GenerateProgressiveMesh(const plat::AttributeWeights* attributeWeights, const float* vertexWeights,
                                u32 minValue, u32 options, u32 releaseSource);

    // The mesh that draws: the progressive mesh once there is one.
    plat::BaseMesh* DrawnMesh() const;
    // Whether drawing this mesh with source's materials and textures (itself
    // when null) gives only fully opaque pixels; see DrawStateHidesBehind.
    bool DrawsOpaque(const MeshObject* source = nullptr) const;

    std::shared_ptr<plat::Mesh> mesh;
    std::shared_ptr<plat::PMesh> progressiveMesh;
    plat::GfxMaterial* materials = nullptr;  // materialCount, ambient = diffuse
    TextureHandle** textures = nullptr;      // materialCount, never null after a load
    u32 materialCount = 0;
    std::unique_ptr<plat::Buffer> adjacency;  // three u32 per face
    u32 faceCount = 0;
    CollisionTriangle* triangles = nullptr;   // faceCount
    std::unique_ptr<CollisionBlock[]> blocks;  // the triangles again, (faceCount + 3) / 4 blocks
    Vec3 boxMin, boxMax, boxSize;
    Vec3 sphereCentre;
    float sphereRadius = 0.0f;

private:
    enum class TextureSource { File, ScrambledSized, Scrambled };
    int Finish(plat::LoadedMesh& loaded, TextureSource source, u32 textureLevel, u32 key, TextureManager* manager);
    void DrawWith(MeshObject* source, bool alpha, float alphaScale);
    void DrawShaderWith(ShaderBase* shader, MeshObject* source, bool alpha, float alphaScale);
    std::span<u32> AdjacencySpan() const;
    int NearestRayHit(const Vec3& origin, const Vec3& dir, const Vec3* lo, const Vec3* hi, float* dist,
                      u32* index) const;
};

// A backdrop such as the sky may be drawn after a draw instead of before it
// only where the picture stays the same: the draw's pixels hide whatever lies
// behind them and keep their depth. That holds when the device blends them
// over (or not at all), tests depth nearer and writes it and every colour
// channel, the texture stages carry alpha straight through, and the
// materials, textures and vertex colours are fully opaque. The effects the
// battle draws meshes with give the material's alpha times the texture's.
bool DrawStateHidesBehind(plat::GfxDevice* device);
bool MaterialsOpaque(const plat::GfxMaterial* materials, TextureHandle* const* textures, u32 count);

// Ray against a box given by its corners (12 triangles); 1 on a hit.
int BoxIntersectRayMinMax(const Vec3* min, const Vec3* max, const Vec3* origin, const Vec3* dir, float* dist);
