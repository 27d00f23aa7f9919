#pragma once
// Triangle meshes as the game's model code expects them: a vertex buffer in
// a flexible vertex format, a 16-bit index buffer, one attribute (subset id)
// per face, loaded from text X files, with the processing steps the model
// loaders run (adjacency, clean, weld, optimise, normals, clone, progressive
// simplification) and the geometric helpers (bounds, ray against triangle).
//
// Numeric values of the format bits and flags are the ones the model code
// passes (clean type 3, optimise flags 0x07000000, ...). Results follow the
// usual convention: ResultOk (0) or a negative failure code. Every call that
// takes an array checks its length; a short array is refused, never overrun.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {

// ---- results ----------------------------------------------------------------
using Result = i32;
inline constexpr Result ResultOk = 0;
inline constexpr Result ResultFail = -1;
inline constexpr Result ResultOutOfMemory = -2;
inline constexpr Result ResultInvalidCall = -3;
inline constexpr Result ResultNotFound = -4;
inline constexpr bool Succeeded(Result r) { return r >= 0; }
inline constexpr bool Failed(Result r) { return r < 0; }

// ---- vertex formats ---------------------------------------------------------
inline constexpr u32 FvfXyz = 0x002;
inline constexpr u32 FvfXyzRhw = 0x004;
inline constexpr u32 FvfXyzB1 = 0x006;
inline constexpr u32 FvfXyzB2 = 0x008;
inline constexpr u32 FvfXyzB3 = 0x00A;
inline constexpr u32 FvfXyzB4 = 0x00C;
inline constexpr u32 FvfXyzB5 = 0x00E;
inline constexpr u32 FvfXyzw = 0x4002;
inline constexpr u32 FvfPositionMask = 0x400E;
inline constexpr u32 FvfNormal = 0x010;
inline constexpr u32 FvfPSize = 0x020;
inline constexpr u32 FvfDiffuse = 0x040;
inline constexpr u32 FvfSpecular = 0x080;
inline constexpr u32 FvfTexCountMask = 0xF00;
inline constexpr u32 FvfTexCountShift = 8;
inline constexpr u32 FvfTex1 = 0x100;
inline constexpr u32 FvfTex2 = 0x200;
inline constexpr u32 FvfLastBetaUByte4 = 0x1000;
inline constexpr u32 FvfLastBetaD3DColor = 0x8000;
// Texture coordinate set i with 1, 3 or 4 floats instead of 2.
inline constexpr u32 FvfTexCoordSize1(u32 i) { return 3u << (i * 2 + 16); }
inline constexpr u32 FvfTexCoordSize3(u32 i) { return 1u << (i * 2 + 16); }
inline constexpr u32 FvfTexCoordSize4(u32 i) { return 2u << (i * 2 + 16); }

// Bytes per vertex of a format; 0 for a format this layer cannot hold.
u32 FvfVertexSize(u32 fvf);

// ---- vertex declarations ----------------------------------------------------
enum DeclType : u8 {
    DeclFloat1 = 0, DeclFloat2 = 1, DeclFloat3 = 2, DeclFloat4 = 3,
    DeclColor = 4,   // four bytes B, G, R, A read as normalised (R, G, B, A)
    DeclUByte4 = 5,  // four bytes read as integers
    DeclUnused = 17,
};
enum DeclUsage : u8 {
    UsagePosition = 0, UsageBlendWeight = 1, UsageBlendIndices = 2, UsageNormal = 3,
    UsagePSize = 4, UsageTexCoord = 5, UsagePositionT = 9, UsageColor = 10,
};
struct VertexElement {
    u16 offset = 0;
    u8 type = DeclUnused;
    u8 usage = 0;
    u8 usageIndex = 0;
    friend bool operator==(const VertexElement&, const VertexElement&) = default;
};
// Size in bytes of one element type (0 for unknown).
u32 DeclTypeSize(u8 type);
// The declaration a format describes; empty for an unusable format.
std::vector<VertexElement> DeclarationFromFvf(u32 fvf);

// ---- mesh options and processing flags ---------------------------------------
inline constexpr u32 Mesh32Bit = 0x001;
inline constexpr u32 MeshSystemMem = 0x110;
inline constexpr u32 MeshManaged = 0x220;
inline constexpr u32 MeshSoftwareProcessing = 0x18000;

inline constexpr u32 MeshOptCompact = 0x01000000;
inline constexpr u32 MeshOptAttrSort = 0x02000000;
inline constexpr u32 MeshOptVertexCache = 0x04000000;
inline constexpr u32 MeshOptStripReorder = 0x08000000;
inline constexpr u32 MeshOptIgnoreVerts = 0x10000000;

inline constexpr u32 CleanBackFacing = 1;
inline constexpr u32 CleanBowTies = 2;

inline constexpr u32 WeldAll = 1;
inline constexpr u32 WeldPartialMatches = 2;
inline constexpr u32 WeldDoNotRemoveVertices = 4;

inline constexpr u32 SimplifyByVertex = 1;
inline constexpr u32 SimplifyByFace = 2;

inline constexpr u32 LockReadOnly = 0x10;

// 16-bit indices address this many vertices; bigger meshes are refused.
inline constexpr u32 MaxMeshVertices = 0xFFFF;

// Marks "no neighbour" in adjacency and "unused" in bone tables.
inline constexpr u32 NoIndex = 0xFFFFFFFFu;

// ---- materials ----------------------------------------------------------------
// The fixed-function material record.
struct MeshMaterial {
    ColorF Diffuse;
    ColorF Ambient;
    ColorF Specular;
    ColorF Emissive;
    f32 Power = 0.0f;
};

// One material of a loaded file and the texture file it names (empty: none).
struct XMaterial {
    MeshMaterial MatD3D;
    std::string textureFilename;
};

struct AttributeRange {
    u32 AttribId = 0;
    u32 FaceStart = 0;
    u32 FaceCount = 0;
    u32 VertexStart = 0;
    u32 VertexCount = 0;
};

// Tolerances of WeldVertices, one per vertex component.
struct WeldEpsilons {
    f32 Position = 0.0f;
    f32 BlendWeights = 0.0f;
    f32 Normal = 0.0f;
    f32 PSize = 0.0f;
    f32 Specular = 0.0f;
    f32 Diffuse = 0.0f;
    f32 Texcoord[8] = {};
    f32 Tangent = 0.0f;
    f32 Binormal = 0.0f;
    f32 TessFactor = 0.0f;
};

// Per-component weights of the progressive-mesh error measure.
struct AttributeWeights {
    f32 Position = 1.0f;
    f32 Boundary = 1.0f;
    f32 Normal = 1.0f;
    f32 Diffuse = 0.0f;
    f32 Specular = 0.0f;
    f32 Texcoord[8] = {};
    f32 Tangent = 0.0f;
    f32 Binormal = 0.0f;
};

// A byte buffer handed out by the loaders (adjacency, materials).
class Buffer {
public:
    explicit Buffer(size_t bytes) : data_(bytes, 0) {}
    void* GetBufferPointer() { return data_.data(); }
    const void* GetBufferPointer() const { return data_.data(); }
    size_t GetBufferSize() const { return data_.size(); }

private:
    std::vector<u8> data_;
};
// A zeroed buffer; null when the bytes cannot be had.
std::unique_ptr<Buffer> CreateBuffer(size_t bytes);

class Mesh;
class PMesh;
class GfxDevice;
class Effect;
struct MeshGpuCache;
void DestroyMeshGpuCache(MeshGpuCache* cache);
// The device DrawSubset draws on when no effect pass is active: the source's
// answer when a source is set and gives one (the graphics object's current
// device, asked at every draw so a released device is never used), else the
// fixed device last set.
void SetMeshDevice(GfxDevice* device);
void SetMeshDeviceSource(GfxDevice* (*source)());
GfxDevice* GetMeshDevice();

// What meshes and progressive meshes share: storage, locks, declaration,
// attribute table, drawing, cloning and adjacency.
class BaseMesh {
public:
    BaseMesh(const BaseMesh&) = delete;
    BaseMesh& operator=(const BaseMesh&) = delete;
    virtual ~BaseMesh();

    u32 GetNumFaces() const { return static_cast<u32>(indices_.size() / 3); }
    u32 GetNumVertices() const { return stride_ ? static_cast<u32>(vertices_.size() / stride_) : 0; }
    u32 GetFVF() const { return fvf_; }
    u32 GetNumBytesPerVertex() const { return stride_; }
    u32 GetOptions() const { return options_; }
    const std::vector<VertexElement>& GetDeclaration() const { return decl_; }
    // Changes element types or usages in place; the layout (offsets and
    // sizes) must stay as it is.
    Result UpdateSemantics(const std::vector<VertexElement>& decl);

    Result LockVertexBuffer(u32 flags, void** data);
    Result UnlockVertexBuffer();
    Result LockIndexBuffer(u32 flags, void** data);  // u16 indices
    Result UnlockIndexBuffer();
    Result LockAttributeBuffer(u32 flags, u32** data);  // one per face
    Result UnlockAttributeBuffer();

    // Copies the attribute table into table (which may be null to ask only
    // for the count). Empty until an optimisation or conversion builds it.
    Result GetAttributeTable(AttributeRange* table, u32* count) const;

    // Three neighbours per face (NoIndex where an edge is open); faces share
    // an edge when its two corners lie within epsilon of each other.
    // adjacency must hold 3 × faces entries.
    Result GenerateAdjacency(f32 epsilon, std::span<u32> adjacency) const;

    // A copy in another vertex format; components both formats have are
    // carried over, new ones are zero. Options may add or drop Mesh32Bit only
    // when the mesh's indices fit.
    Result CloneMeshFVF(u32 options, u32 fvf, std::shared_ptr<Mesh>* out) const;

    // Draws the faces of one subset: through the active effect pass when
    // there is one, else with the mesh device's current state.
    Result DrawSubset(u32 attribId);

    // For the graphics layer: bumps whenever vertices, indices or
    // attributes may have changed.
    u64 Revision() const { return revision_; }
    // Whether no vertex carries a colour with alpha below full (true for
    // meshes without vertex colours); read once per revision.
    bool VertexColoursOpaque() const;
    const u8* VertexData() const { return vertices_.data(); }
    const u16* IndexData() const { return indices_.data(); }
    const u32* AttributeData() const { return attributes_.data(); }

protected:
    BaseMesh() = default;
    bool InitStorage(u32 numFaces, u32 numVertices, u32 options, u32 fvf);
    void Touch() { ++revision_; }

    u32 fvf_ = 0;
    u32 options_ = 0;
    u32 stride_ = 0;
    std::vector<VertexElement> decl_;
    std::vector<u8> vertices_;
    std::vector<u16> indices_;
    std::vector<u32> attributes_;
    std::vector<AttributeRange> attrTable_;
    u64 revision_ = 1;
    mutable u64 opaqueRevision_ = 0;  // the revision VertexColoursOpaque last read; 0 never
    mutable bool coloursOpaque_ = true;
    MeshGpuCache* gpu_ = nullptr;

    friend class Mesh;
    friend class PMesh;
    friend class Effect;
    friend struct MeshAccess;
};

class Mesh : public BaseMesh {
public:
    // An empty mesh of the given size (zeroed vertices, indices and attributes).
    static Result Create(u32 numFaces, u32 numVertices, u32 options, u32 fvf, std::shared_ptr<Mesh>* out);

    // Reorders faces and vertices: MeshOptCompact drops unused vertices and
    // degenerate faces, MeshOptAttrSort groups faces by attribute and builds
    // the attribute table, MeshOptVertexCache orders each group's faces for
    // vertex reuse. adjacencyIn (when given, 3 × faces) is remapped into
    // adjacencyOut (may be the same array). faceRemap[new] = old face,
    // vertexRemap[new] = old vertex when given.
    Result OptimizeInplace(u32 flags, std::span<const u32> adjacencyIn, std::span<u32> adjacencyOut,
                           std::vector<u32>* faceRemap = nullptr, std::vector<u32>* vertexRemap = nullptr);

    Result SetAttributeTable(const AttributeRange* table, u32 count);
};

// One step of a progressive mesh: vertex from merges into vertex to.
struct PMeshCollapseRecord {
    u32 from = 0;
    u32 to = 0;
    u32 facesAfter = 0;     // faces left once this collapse is applied
    u32 verticesAfter = 0;  // vertices left
};

// A mesh simplified by a recorded sequence of edge collapses; the number of
// faces shown can be set anywhere between the minimum and the maximum.
class PMesh : public BaseMesh {
public:
    u32 GetMaxFaces() const { return maxFaces_; }
    u32 GetMinFaces() const { return minFaces_; }
    u32 GetMaxVertices() const { return maxVertices_; }
    u32 GetMinVertices() const { return minVertices_; }
    // Shows the most detailed level with at most numFaces faces (clamped to
    // the range; a collapse can remove more than one face, so the count may
    // come out a little lower).
    Result SetNumFaces(u32 numFaces);
    Result SetNumVertices(u32 numVertices);

private:
    friend Result GeneratePMesh(const Mesh*, std::span<const u32>, const AttributeWeights*, const f32*, u32,
                                u32, std::shared_ptr<PMesh>*);
    void ApplyCollapses(size_t count);

    std::vector<u16> fullIndices_;
    std::vector<u32> fullAttributes_;
    std::vector<PMeshCollapseRecord> collapses_;
    size_t applied_ = 0;
    u32 maxFaces_ = 0, minFaces_ = 0, maxVertices_ = 0, minVertices_ = 0;
};

// ---- loading ---------------------------------------------------------------------
// Loads every mesh of a text X file into one mesh, each moved by its frames'
// matrices, with three adjacency entries per face and the file's materials
// (face attributes index them). false with a "line N: ..." or other reason in
// error when the file cannot be read, is malformed, or describes a mesh the
// 16-bit index buffer cannot address.
struct LoadedMesh {
    std::shared_ptr<Mesh> mesh;
    std::unique_ptr<Buffer> adjacency;
    std::vector<XMaterial> materials;
};
bool LoadMeshFromX(const char* path, u32 options, LoadedMesh& out, std::string* error = nullptr);
bool LoadMeshFromXInMemory(const void* data, size_t size, u32 options, LoadedMesh& out,
                           std::string* error = nullptr);

// ---- processing -------------------------------------------------------------------
// Splits shared vertices so that later simplification cannot tear the mesh:
// CleanBackFacing separates faces that use the same corners with opposite
// winding, CleanBowTies gives each fan of faces around a vertex its own copy.
// adjacencyIn must hold 3 × faces entries; adjacencyOut (same size, may be
// the same array) receives the adjacency of the result.
Result CleanMesh(u32 cleanType, const Mesh* mesh, std::span<const u32> adjacencyIn, std::shared_ptr<Mesh>* out,
                 std::span<u32> adjacencyOut);

// Merges vertices that share position (within epsilon) and whose other
// components agree within their epsilons; WeldPartialMatches also makes
// nearly equal components exactly equal. Updates adjacency like CleanMesh.
Result WeldVertices(Mesh* mesh, u32 flags, const WeldEpsilons* epsilons, std::span<const u32> adjacencyIn,
                    std::span<u32> adjacencyOut, std::vector<u32>* faceRemap = nullptr,
                    std::vector<u32>* vertexRemap = nullptr);

// Vertex normals as the normalised sum of the face normals around each
// vertex (with adjacency, vertices at one position share their normal).
Result ComputeNormals(BaseMesh* mesh, std::span<const u32> adjacency = {});

// A progressive mesh from mesh. minValue is the fewest faces (SimplifyByFace)
// or vertices (SimplifyByVertex) to simplify down to (0: as far as the mesh
// allows). The new mesh shows its maximum detail.
Result GeneratePMesh(const Mesh* mesh, std::span<const u32> adjacency, const AttributeWeights* attributeWeights,
                     const f32* vertexWeights, u32 minValue, u32 options, std::shared_ptr<PMesh>* out);

}  // namespace plat
