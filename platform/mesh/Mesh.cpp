#include "platform/mesh/Mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "platform/core/FileSystem.h"
#include "platform/mesh/MeshBuild.h"

namespace plat {

// ---- formats -------------------------------------------------------------------

namespace {

u32 TexCoordFloats(u32 fvf, u32 set)
{
    switch ((fvf >> (set * 2 + 16)) & 3u) {
    case 0: return 2;
    case 1: return 3;
    case 2: return 4;
    default: return 1;
    }
}

// Position part of a format: bytes and number of blend "betas" (weights plus
// a packed index dword when the last beta is one). -1 bytes when unsupported.
int PositionBytes(u32 fvf, u32* betas)
{
    *betas = 0;
    switch (fvf & FvfPositionMask) {
    case FvfXyz: return 12;
    case FvfXyzRhw: return 16;
    case FvfXyzw: return 16;
    case FvfXyzB1: *betas = 1; return 16;
    case FvfXyzB2: *betas = 2; return 20;
    case FvfXyzB3: *betas = 3; return 24;
    case FvfXyzB4: *betas = 4; return 28;
    case FvfXyzB5: *betas = 5; return 32;
    default: return -1;
    }
}

}  // namespace

u32 FvfVertexSize(u32 fvf)
{
    u32 betas = 0;
    const int pos = PositionBytes(fvf, &betas);
    if (pos < 0) return 0;
    const u32 texCount = (fvf & FvfTexCountMask) >> FvfTexCountShift;
    if (texCount > 8) return 0;
    u32 size = static_cast<u32>(pos);
    if (fvf & FvfNormal) size += 12;
    if (fvf & FvfPSize) size += 4;
    if (fvf & FvfDiffuse) size += 4;
    if (fvf & FvfSpecular) size += 4;
    for (u32 i = 0; i < texCount; ++i) size += 4 * TexCoordFloats(fvf, i);
    return size;
}

u32 DeclTypeSize(u8 type)
{
    switch (type) {
    case DeclFloat1: return 4;
    case DeclFloat2: return 8;
    case DeclFloat3: return 12;
    case DeclFloat4: return 16;
    case DeclColor: return 4;
    case DeclUByte4: return 4;
    default: return 0;
    }
}

std::vector<VertexElement> DeclarationFromFvf(u32 fvf)
{
    std::vector<VertexElement> d;
    if (FvfVertexSize(fvf) == 0) return d;
    u32 betas = 0;
    PositionBytes(fvf, &betas);
    u16 off = 0;
    const u32 pos = fvf & FvfPositionMask;
    if (pos == FvfXyzRhw) {
        d.push_back({off, DeclFloat4, UsagePositionT, 0});
        off += 16;
    } else if (pos == FvfXyzw) {
        d.push_back({off, DeclFloat4, UsagePosition, 0});
        off += 16;
    } else {
        d.push_back({off, DeclFloat3, UsagePosition, 0});
        off += 12;
    }
    if (betas > 0) {
        const bool packed = (fvf & (FvfLastBetaUByte4 | FvfLastBetaD3DColor)) != 0;
        const u32 weights = packed ? betas - 1 : betas;
        if (weights > 0) {
            // Five weights would need a fifth float type; the blend paths use at most four.
            d.push_back({off, static_cast<u8>(DeclFloat1 + std::min<u32>(weights, 4) - 1), UsageBlendWeight, 0});
            off += static_cast<u16>(4 * weights);
        }
        if (packed) {
            d.push_back({off, static_cast<u8>((fvf & FvfLastBetaUByte4) ? DeclUByte4 : DeclColor),
                         UsageBlendIndices, 0});
            off += 4;
        }
    }
    if (fvf & FvfNormal) {
        d.push_back({off, DeclFloat3, UsageNormal, 0});
        off += 12;
    }
    if (fvf & FvfPSize) {
        d.push_back({off, DeclFloat1, UsagePSize, 0});
        off += 4;
    }
    if (fvf & FvfDiffuse) {
        d.push_back({off, DeclColor, UsageColor, 0});
        off += 4;
    }
    if (fvf & FvfSpecular) {
        d.push_back({off, DeclColor, UsageColor, 1});
        off += 4;
    }
    const u32 texCount = (fvf & FvfTexCountMask) >> FvfTexCountShift;
    for (u32 i = 0; i < texCount; ++i) {
        const u32 n = TexCoordFloats(fvf, i);
        d.push_back({off, static_cast<u8>(DeclFloat1 + n - 1), UsageTexCoord, static_cast<u8>(i)});
        off += static_cast<u16>(4 * n);
    }
    return d;
}

std::unique_ptr<Buffer> CreateBuffer(size_t bytes)
{
    try {
        return std::make_unique<Buffer>(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// ---- small vector helpers ------------------------------------------------------------

namespace detail {

bool ReadFileBytes(const char* path, std::string& bytes, std::string& error)
{
    if (!path || !ReadWholeFile(path, bytes)) {
        error = std::string("cannot read '") + (path ? path : "") + "'";
        return false;
    }
    return true;
}

}  // namespace detail

using detail::Cross;
using detail::Dot;
using detail::Normalized;

namespace {

Vec3 PositionOf(const BaseMesh& m, const u8* vertices, u32 v)
{
    Vec3 p;
    std::memcpy(&p, vertices + static_cast<size_t>(v) * m.GetNumBytesPerVertex(), sizeof(Vec3));
    return p;
}

const VertexElement* FindElement(const std::vector<VertexElement>& decl, u8 usage, u8 index)
{
    for (const VertexElement& e : decl) {
        if (e.usage == usage && e.usageIndex == index && e.type != DeclUnused) return &e;
    }
    return nullptr;
}

bool IsFloatType(u8 t) { return t <= DeclFloat4; }

}  // namespace

namespace detail {

namespace {

// Whether a and b lie within epsilon on every axis, measured as the
// grouping always has: by the float difference of each coordinate.
bool WithinTolerance(const Vec3& a, const Vec3& b, f32 epsilon)
{
    return std::fabs(b.x - a.x) <= epsilon && std::fabs(b.y - a.y) <= epsilon && std::fabs(b.z - a.z) <= epsilon;
}

u32 FindRep(std::vector<u32>& rep, u32 v)
{
    u32 r = v;
    while (rep[r] != r) r = rep[r];
    while (rep[v] != r) {
        const u32 next = rep[v];
        rep[v] = r;
        v = next;
    }
    return r;
}

// Joins two groups under the lower of their lowest vertices.
void Join(std::vector<u32>& rep, u32 a, u32 b)
{
    const u32 ra = FindRep(rep, a), rb = FindRep(rep, b);
    if (ra < rb) rep[rb] = ra;
    else if (rb < ra) rep[ra] = rb;
}

// One cell of the tolerance grid: its vertices, and on each axis the one
// with the least and the greatest coordinate.
struct GridCell {
    double key[3];
    std::vector<u32> members;
    u32 low[3] = {0, 0, 0};
    u32 high[3] = {0, 0, 0};
};

struct CellKeyHash {
    size_t operator()(const std::array<double, 3>& k) const
    {
        size_t h = 0;
        for (double d : k) {
            u64 bits;
            std::memcpy(&bits, &d, sizeof bits);
            h = (h ^ bits) * 0x100000001B3ull;
            h ^= h >> 29;
        }
        return h;
    }
};

f32 Axis(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

}  // namespace

// Groups vertices whose positions lie within epsilon on every axis (and,
// through them, their neighbours'); rep[v] is the lowest vertex index of v's
// group.
//
// Within a tolerance the vertices go into a grid of cells a little smaller
// than epsilon, so that two vertices of one cell are always within it and
// two within it are never more than two cells apart on any axis. A cell is
// then one group at once, and two cells need only be joined once: a pair of
// cells side by side on one axis is decided by their extreme vertices on
// that axis; other pairs are compared vertex by vertex until one pair is
// close, after their extremes have ruled out the far ones. Vertices piled
// within the tolerance cost about one step each, not a comparison of every
// pair. comparisons, when given, counts the vertex pairs compared.
std::vector<u32> PointReps(const std::vector<Vec3>& pos, f32 epsilon, u64* comparisons)
{
    u64 compared = 0;
    const u32 n = static_cast<u32>(pos.size());
    std::vector<u32> rep(n);
    std::iota(rep.begin(), rep.end(), 0u);
    if (comparisons) *comparisons = 0;
    if (!(epsilon >= 0.0f)) return rep;  // no two vertices are that close
    // Vertices at one exact position share its lowest vertex first.
    const auto exact = [&](u32 v) { return pos[v].x == pos[v].x && pos[v].y == pos[v].y && pos[v].z == pos[v].z; };
    std::vector<u32> byPlace;
    byPlace.reserve(n);
    for (u32 v = 0; v < n; ++v)
        if (exact(v)) byPlace.push_back(v);
    std::sort(byPlace.begin(), byPlace.end(), [&](u32 a, u32 b) {
        return std::tie(pos[a].x, pos[a].y, pos[a].z, a) < std::tie(pos[b].x, pos[b].y, pos[b].z, b);
    });
    for (size_t i = 1; i < byPlace.size(); ++i) {
        const Vec3& a = pos[byPlace[i - 1]];
        const Vec3& b = pos[byPlace[i]];
        if (a.x == b.x && a.y == b.y && a.z == b.z) rep[byPlace[i]] = rep[byPlace[i - 1]];
    }
    if (!(epsilon > 0.0f)) return rep;

    // Within a tolerance, positions near each other join too. Cells are a
    // millionth smaller than epsilon: the float difference of two vertices
    // in one cell never passes it.
    const double size = static_cast<double>(epsilon) * (1.0 - 1.0 / (1 << 20));
    std::vector<GridCell> cells;
    std::unordered_map<std::array<double, 3>, u32, CellKeyHash> cellOf;
    for (u32 v = 0; v < n; ++v) {
        const Vec3& p = pos[v];
        // A point at infinity or a NaN is near nothing but its own place.
        if (rep[v] != v || !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
        std::array<double, 3> key;
        for (int a = 0; a < 3; ++a) key[a] = std::floor(static_cast<double>(Axis(p, a)) / size) + 0.0;
        const auto [it, added] = cellOf.try_emplace(key, static_cast<u32>(cells.size()));
        if (added) {
            cells.emplace_back();
            std::copy(key.begin(), key.end(), cells.back().key);
            cells.back().low[0] = cells.back().low[1] = cells.back().low[2] = v;
            std::fill(std::begin(cells.back().high), std::end(cells.back().high), v);
        }
        GridCell& c = cells[it->second];
        if (!c.members.empty()) {
            ++compared;
            // Never fails by the cell size; a vertex that did would be left
            // out of the cell's group, so it is checked all the same.
            if (WithinTolerance(pos[c.members[0]], p, epsilon)) Join(rep, c.members[0], v);
        }
        c.members.push_back(v);
        for (int a = 0; a < 3; ++a) {
            if (Axis(p, a) < Axis(pos[c.low[a]], a)) c.low[a] = v;
            if (Axis(p, a) > Axis(pos[c.high[a]], a)) c.high[a] = v;
        }
    }
    // A vertex its cell's first vertex did not reach (none, by the cell
    // size) is compared with everything near it.
    const auto straggler = [&](const GridCell& c, u32 v) { return FindRep(rep, v) != FindRep(rep, c.members[0]); };
    std::vector<u8> cellLoose(cells.size(), 0);
    for (size_t i = 0; i < cells.size(); ++i)
        for (u32 v : cells[i].members) cellLoose[i] = cellLoose[i] || straggler(cells[i], v);
    for (size_t ci = 0; ci < cells.size(); ++ci) {
        const GridCell& c = cells[ci];
        for (int dx = -2; dx <= 2; ++dx)
            for (int dy = -2; dy <= 2; ++dy)
                for (int dz = -2; dz <= 2; ++dz) {
                    // Each pair of cells once: the neighbour after this cell.
                    if (dx < 0 || (dx == 0 && (dy < 0 || (dy == 0 && dz <= 0)))) continue;
                    const int d[3] = {dx, dy, dz};
                    std::array<double, 3> key;
                    for (int a = 0; a < 3; ++a) key[a] = c.key[a] + d[a];
                    if (key[0] == c.key[0] && key[1] == c.key[1] && key[2] == c.key[2]) continue;
                    const auto it = cellOf.find(key);
                    if (it == cellOf.end()) continue;
                    const GridCell& o = cells[it->second];
                    const bool loose = cellLoose[ci] || cellLoose[it->second];
                    if (!loose && FindRep(rep, c.members[0]) == FindRep(rep, o.members[0])) continue;
                    // The closest extremes on each axis where the cells differ:
                    // if they are apart, every pair is.
                    int differing = 0, axis = 0;
                    bool apart = false;
                    for (int a = 0; a < 3 && !apart; ++a) {
                        if (key[a] == c.key[a]) continue;
                        ++differing;
                        axis = a;
                        const bool after = key[a] > c.key[a];
                        const f32 near = Axis(pos[after ? c.high[a] : c.low[a]], a);
                        const f32 far = Axis(pos[after ? o.low[a] : o.high[a]], a);
                        apart = !(std::fabs(far - near) <= epsilon);
                    }
                    if (apart) continue;
                    if (differing == 1 && !loose) {
                        // Side by side: on the other axes every pair is within the
                        // tolerance, so the two extremes are a close pair.
                        const bool after = key[axis] > c.key[axis];
                        const u32 a = after ? c.high[axis] : c.low[axis];
                        const u32 b = after ? o.low[axis] : o.high[axis];
                        ++compared;
                        if (WithinTolerance(pos[a], pos[b], epsilon)) Join(rep, a, b);
                        continue;
                    }
                    bool joined = false;
                    for (u32 a : c.members) {
                        for (u32 b : o.members) {
                            if (!loose && joined) break;
                            ++compared;
                            if (WithinTolerance(pos[a], pos[b], epsilon)) {
                                Join(rep, a, b);
                                joined = true;
                            }
                        }
                        if (!loose && joined) break;
                    }
                }
    }
    for (const GridCell& c : cells) {
        if (c.members.size() < 2) continue;
        for (u32 v : c.members) {
            if (!straggler(c, v)) continue;
            for (u32 w : c.members) {
                ++compared;
                if (w != v && WithinTolerance(pos[v], pos[w], epsilon)) Join(rep, v, w);
            }
        }
    }
    for (u32 v = 0; v < n; ++v) rep[v] = FindRep(rep, v);
    if (comparisons) *comparisons = compared;
    return rep;
}

}  // namespace detail

namespace {

using detail::PointReps;

std::vector<Vec3> Positions(const BaseMesh& m, const u8* vertices)
{
    std::vector<Vec3> pos(m.GetNumVertices());
    for (u32 v = 0; v < pos.size(); ++v) pos[v] = PositionOf(m, vertices, v);
    return pos;
}

// Adjacency from point representatives: faces sharing an edge between the
// same two representatives are neighbours (paired in face order when more
// than two faces meet at one edge).
void AdjacencyFromReps(const std::vector<u16>& indices, const std::vector<u32>& rep, u32* out)
{
    const u32 faces = static_cast<u32>(indices.size() / 3);
    struct EdgeRef {
        u64 key;
        u32 faceEdge;
    };
    std::vector<EdgeRef> edges;
    edges.reserve(indices.size());
    for (u32 f = 0; f < faces; ++f) {
        for (u32 k = 0; k < 3; ++k) {
            out[f * 3 + k] = NoIndex;
            const u32 a = rep[indices[f * 3 + k]];
            const u32 b = rep[indices[f * 3 + (k + 1) % 3]];
            if (a == b) continue;
            const u64 key = (static_cast<u64>(std::min(a, b)) << 32) | std::max(a, b);
            edges.push_back({key, f * 3 + k});
        }
    }
    std::stable_sort(edges.begin(), edges.end(), [](const EdgeRef& x, const EdgeRef& y) { return x.key < y.key; });
    for (size_t i = 0; i < edges.size();) {
        size_t j = i;
        while (j < edges.size() && edges[j].key == edges[i].key) ++j;
        for (size_t k = i; k + 1 < j; k += 2) {
            const u32 e0 = edges[k].faceEdge, e1 = edges[k + 1].faceEdge;
            if (e0 / 3 == e1 / 3) continue;  // a face folded onto itself
            out[e0] = e1 / 3;
            out[e1] = e0 / 3;
        }
        i = j;
    }
}

std::vector<AttributeRange> BuildAttributeTable(const std::vector<u16>& indices, const std::vector<u32>& attributes)
{
    std::vector<AttributeRange> table;
    const u32 faces = static_cast<u32>(attributes.size());
    for (u32 f = 0; f < faces;) {
        AttributeRange r;
        r.AttribId = attributes[f];
        r.FaceStart = f;
        u32 lo = 0xFFFFFFFFu, hi = 0;
        while (f < faces && attributes[f] == r.AttribId) {
            for (u32 k = 0; k < 3; ++k) {
                lo = std::min<u32>(lo, indices[f * 3 + k]);
                hi = std::max<u32>(hi, indices[f * 3 + k]);
            }
            ++f;
        }
        r.FaceCount = f - r.FaceStart;
        r.VertexStart = lo;
        r.VertexCount = hi - lo + 1;
        table.push_back(r);
    }
    return table;
}

}  // namespace

// ---- BaseMesh -------------------------------------------------------------------------

BaseMesh::~BaseMesh()
{
    if (gpu_) DestroyMeshGpuCache(gpu_);
}

bool BaseMesh::InitStorage(u32 numFaces, u32 numVertices, u32 options, u32 fvf)
{
    const u32 stride = FvfVertexSize(fvf);
    if (stride == 0) return false;
    // Indices are 16-bit: larger meshes are refused rather than wrapped.
    if (numVertices > MaxMeshVertices || (options & Mesh32Bit)) return false;
    try {
        vertices_.assign(static_cast<size_t>(numVertices) * stride, 0);
        indices_.assign(static_cast<size_t>(numFaces) * 3, 0);
        attributes_.assign(numFaces, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    fvf_ = fvf;
    options_ = options;
    stride_ = stride;
    decl_ = DeclarationFromFvf(fvf);
    attrTable_.clear();
    Touch();
    return true;
}

Result BaseMesh::UpdateSemantics(const std::vector<VertexElement>& decl)
{
    if (decl.size() != decl_.size()) return ResultInvalidCall;
    for (size_t i = 0; i < decl.size(); ++i) {
        if (decl[i].offset != decl_[i].offset || DeclTypeSize(decl[i].type) != DeclTypeSize(decl_[i].type) ||
            DeclTypeSize(decl[i].type) == 0) {
            return ResultInvalidCall;
        }
    }
    decl_ = decl;
    Touch();
    return ResultOk;
}

bool BaseMesh::VertexColoursOpaque() const
{
    if (opaqueRevision_ == revision_) return coloursOpaque_;
    bool full = true;
    for (const VertexElement& e : decl_) {
        if (e.usage != UsageColor || e.usageIndex != 0) continue;
        // Colours are stored B, G, R, A: the alpha is the element's fourth byte.
        full = full && e.type == DeclColor;
        for (size_t v = size_t(e.offset) + 3; full && stride_ != 0 && v < vertices_.size(); v += stride_)
            full = vertices_[v] == 0xFF;
    }
    coloursOpaque_ = full;
    opaqueRevision_ = revision_;
    return full;
}

Result BaseMesh::LockVertexBuffer(u32 flags, void** data)
{
    if (!data) return ResultInvalidCall;
    *data = vertices_.data();
    if (!(flags & LockReadOnly)) Touch();
    return ResultOk;
}

Result BaseMesh::UnlockVertexBuffer()
{
    return ResultOk;
}

Result BaseMesh::LockIndexBuffer(u32 flags, void** data)
{
    if (!data) return ResultInvalidCall;
    *data = indices_.data();
    if (!(flags & LockReadOnly)) Touch();
    return ResultOk;
}

Result BaseMesh::UnlockIndexBuffer()
{
    return ResultOk;
}

Result BaseMesh::LockAttributeBuffer(u32 flags, u32** data)
{
    if (!data) return ResultInvalidCall;
    *data = attributes_.data();
    if (!(flags & LockReadOnly)) {
        attrTable_.clear();  // a rewritten attribute buffer invalidates the table
        Touch();
    }
    return ResultOk;
}

Result BaseMesh::UnlockAttributeBuffer()
{
    return ResultOk;
}

Result BaseMesh::GetAttributeTable(AttributeRange* table, u32* count) const
{
    if (!count) return ResultInvalidCall;
    if (table) {
        const u32 n = std::min<u32>(*count, static_cast<u32>(attrTable_.size()));
        std::copy_n(attrTable_.begin(), n, table);
    }
    *count = static_cast<u32>(attrTable_.size());
    return ResultOk;
}

Result BaseMesh::GenerateAdjacency(f32 epsilon, std::span<u32> adjacency) const
{
    if (adjacency.size() < indices_.size()) return ResultInvalidCall;
    const std::vector<u32> rep = PointReps(Positions(*this, vertices_.data()), std::max(epsilon, 0.0f));
    AdjacencyFromReps(indices_, rep, adjacency.data());
    return ResultOk;
}

Result BaseMesh::CloneMeshFVF(u32 options, u32 fvf, std::shared_ptr<Mesh>* out) const
{
    if (!out) return ResultInvalidCall;
    out->reset();
    auto clone = std::shared_ptr<Mesh>(new (std::nothrow) Mesh());
    if (!clone) return ResultOutOfMemory;
    if (!clone->InitStorage(GetNumFaces(), GetNumVertices(), options, fvf)) return ResultInvalidCall;
    clone->indices_ = indices_;
    clone->attributes_ = attributes_;
    clone->attrTable_ = attrTable_;
    const u32 nv = GetNumVertices();
    for (const VertexElement& de : clone->decl_) {
        const VertexElement* se = FindElement(decl_, de.usage, de.usageIndex);
        if (!se) continue;
        const u32 dsize = DeclTypeSize(de.type), ssize = DeclTypeSize(se->type);
        for (u32 v = 0; v < nv; ++v) {
            u8* d = clone->vertices_.data() + static_cast<size_t>(v) * clone->stride_ + de.offset;
            const u8* s = vertices_.data() + static_cast<size_t>(v) * stride_ + se->offset;
            if (de.type == se->type || (IsFloatType(de.type) && IsFloatType(se->type))) {
                std::memcpy(d, s, std::min(dsize, ssize));
            } else if ((de.type == DeclColor || de.type == DeclUByte4) &&
                       (se->type == DeclColor || se->type == DeclUByte4)) {
                std::memcpy(d, s, 4);
            }
        }
    }
    *out = std::move(clone);
    return ResultOk;
}

// ---- Mesh ---------------------------------------------------------------------------------

Result Mesh::Create(u32 numFaces, u32 numVertices, u32 options, u32 fvf, std::shared_ptr<Mesh>* out)
{
    if (!out) return ResultInvalidCall;
    out->reset();
    auto mesh = std::shared_ptr<Mesh>(new (std::nothrow) Mesh());
    if (!mesh) return ResultOutOfMemory;
    if (!mesh->InitStorage(numFaces, numVertices, options, fvf)) return ResultInvalidCall;
    *out = std::move(mesh);
    return ResultOk;
}

Result Mesh::SetAttributeTable(const AttributeRange* table, u32 count)
{
    if (count > 0 && !table) return ResultInvalidCall;
    for (u32 i = 0; i < count; ++i) {
        if (static_cast<u64>(table[i].FaceStart) + table[i].FaceCount > GetNumFaces() ||
            static_cast<u64>(table[i].VertexStart) + table[i].VertexCount > GetNumVertices()) {
            return ResultInvalidCall;
        }
    }
    attrTable_.assign(table, table + count);
    Touch();
    return ResultOk;
}

Result Mesh::OptimizeInplace(u32 flags, std::span<const u32> adjacencyIn, std::span<u32> adjacencyOut,
                             std::vector<u32>* faceRemap, std::vector<u32>* vertexRemap)
{
    const u32 faces = GetNumFaces();
    const u32 verts = GetNumVertices();
    if (!adjacencyIn.empty() && adjacencyIn.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if (!adjacencyOut.empty() && adjacencyOut.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    const std::vector<u32> adjIn(adjacencyIn.begin(), adjacencyIn.begin() + (adjacencyIn.empty() ? 0 : faces * 3));

    // Faces kept, in their new order.
    std::vector<u32> order;
    order.reserve(faces);
    for (u32 f = 0; f < faces; ++f) {
        const u16* t = &indices_[f * 3];
        const bool degenerate = t[0] == t[1] || t[1] == t[2] || t[0] == t[2];
        if ((flags & MeshOptCompact) && degenerate) continue;
        order.push_back(f);
    }
    if (flags & (MeshOptAttrSort | MeshOptVertexCache)) {
        std::stable_sort(order.begin(), order.end(),
                         [&](u32 a, u32 b) { return attributes_[a] < attributes_[b]; });
    }
    if (flags & MeshOptVertexCache) {
        // Within each attribute group, walk faces breadth first through shared
        // vertices so neighbouring faces are drawn close together.
        std::vector<std::vector<u32>> vertexFaces(verts);
        for (u32 f : order)
            for (u32 k = 0; k < 3; ++k) vertexFaces[indices_[f * 3 + k]].push_back(f);
        std::vector<u8> done(faces, 0);
        std::vector<u32> result;
        result.reserve(order.size());
        for (size_t gs = 0; gs < order.size();) {
            size_t ge = gs;
            while (ge < order.size() && attributes_[order[ge]] == attributes_[order[gs]]) ++ge;
            const u32 attr = attributes_[order[gs]];
            for (size_t i = gs; i < ge; ++i) {
                if (done[order[i]]) continue;
                std::vector<u32> queue{order[i]};
                done[order[i]] = 1;
                for (size_t q = 0; q < queue.size(); ++q) {
                    const u32 f = queue[q];
                    result.push_back(f);
                    for (u32 k = 0; k < 3; ++k) {
                        for (u32 g : vertexFaces[indices_[f * 3 + k]]) {
                            if (!done[g] && attributes_[g] == attr) {
                                done[g] = 1;
                                queue.push_back(g);
                            }
                        }
                    }
                }
            }
            gs = ge;
        }
        order = std::move(result);
    }

    std::vector<u32> newFaceOf(faces, NoIndex);
    for (u32 i = 0; i < order.size(); ++i) newFaceOf[order[i]] = i;

    // Vertices in order of first use (unless asked to keep them).
    std::vector<u32> newVertexOf(verts, NoIndex);
    std::vector<u32> vertexOrder;
    vertexOrder.reserve(verts);
    if (flags & MeshOptIgnoreVerts) {
        for (u32 v = 0; v < verts; ++v) {
            newVertexOf[v] = v;
            vertexOrder.push_back(v);
        }
    } else {
        for (u32 f : order) {
            for (u32 k = 0; k < 3; ++k) {
                const u32 v = indices_[f * 3 + k];
                if (newVertexOf[v] == NoIndex) {
                    newVertexOf[v] = static_cast<u32>(vertexOrder.size());
                    vertexOrder.push_back(v);
                }
            }
        }
        if (!(flags & MeshOptCompact)) {
            for (u32 v = 0; v < verts; ++v) {
                if (newVertexOf[v] == NoIndex) {
                    newVertexOf[v] = static_cast<u32>(vertexOrder.size());
                    vertexOrder.push_back(v);
                }
            }
        }
    }

    std::vector<u8> newVertices(vertexOrder.size() * stride_);
    for (size_t i = 0; i < vertexOrder.size(); ++i) {
        std::memcpy(&newVertices[i * stride_], &vertices_[static_cast<size_t>(vertexOrder[i]) * stride_], stride_);
    }
    std::vector<u16> newIndices(order.size() * 3);
    std::vector<u32> newAttributes(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        for (u32 k = 0; k < 3; ++k) newIndices[i * 3 + k] = static_cast<u16>(newVertexOf[indices_[order[i] * 3 + k]]);
        newAttributes[i] = attributes_[order[i]];
    }
    if (!adjacencyOut.empty()) {
        std::fill(adjacencyOut.begin(), adjacencyOut.begin() + faces * 3, NoIndex);
        if (!adjIn.empty()) {
            for (size_t i = 0; i < order.size(); ++i) {
                for (u32 k = 0; k < 3; ++k) {
                    const u32 n = adjIn[order[i] * 3 + k];
                    adjacencyOut[i * 3 + k] = (n < faces) ? newFaceOf[n] : NoIndex;
                }
            }
        }
    }
    vertices_ = std::move(newVertices);
    indices_ = std::move(newIndices);
    attributes_ = std::move(newAttributes);
    if (flags & MeshOptAttrSort) attrTable_ = BuildAttributeTable(indices_, attributes_);
    else attrTable_.clear();
    if (faceRemap) faceRemap->assign(order.begin(), order.end());
    if (vertexRemap) vertexRemap->assign(vertexOrder.begin(), vertexOrder.end());
    Touch();
    return ResultOk;
}

// ---- loading ---------------------------------------------------------------------------------

namespace detail {

bool BuildMesh(const std::vector<MeshSource>& sources, u32 options, BuiltMesh& out, std::string& error)
{
    out = BuiltMesh();
    bool anyNormals = false, anyTex = false, anyMaterials = false;
    for (const MeshSource& s : sources) {
        anyNormals |= s.data->hasNormals;
        anyTex |= s.data->hasTexCoords;
        anyMaterials |= s.data->hasMaterialList;
    }
    const u32 fvf = FvfXyz | (anyNormals ? FvfNormal : 0u) | (anyTex ? FvfTex1 : 0u);
    const u32 stride = FvfVertexSize(fvf);

    struct V {
        Vec3 p, n;
        Vec2 t;
    };
    std::vector<V> verts;
    std::vector<u32> src;
    std::vector<u32> tris;
    std::vector<u32> attrs;
    for (const MeshSource& s : sources) {
        const XMeshData& m = *s.data;
        const u32 base = static_cast<u32>(verts.size());
        const u32 materialBase = static_cast<u32>(out.materials.size());
        for (const XMaterialData& xm : m.materials) {
            XMaterial mat;
            mat.MatD3D.Diffuse = xm.faceColor;
            mat.MatD3D.Specular = ColorF(xm.specular.x, xm.specular.y, xm.specular.z, 1.0f);
            mat.MatD3D.Emissive = ColorF(xm.emissive.x, xm.emissive.y, xm.emissive.z, 1.0f);
            mat.MatD3D.Power = xm.power;
            mat.textureFilename = xm.textureFile;
            out.materials.push_back(std::move(mat));
        }
        u32 defaultMaterial = 0;
        if (anyMaterials && !m.hasMaterialList) {
            XMaterial mat;
            mat.MatD3D.Diffuse = ColorF(1.0f, 1.0f, 1.0f, 1.0f);
            mat.MatD3D.Specular = ColorF(0.0f, 0.0f, 0.0f, 1.0f);
            mat.MatD3D.Emissive = ColorF(0.0f, 0.0f, 0.0f, 1.0f);
            defaultMaterial = static_cast<u32>(out.materials.size());
            out.materials.push_back(std::move(mat));
        }
        // File vertex p keeps slot base + p for its first normal; other normals
        // of the same position get new vertices after the file's, found
        // again by (position, normal) in constant time however many one
        // position has.
        const u32 np = static_cast<u32>(m.positions.size());
        std::vector<u32> firstNormal(np, NoIndex);
        std::unordered_map<u64, u32> extra;  // (position << 32 | normal) -> vertex
        verts.resize(base + np);
        src.resize(base + np);
        for (u32 p = 0; p < np; ++p) {
            Vec3TransformCoord(&verts[base + p].p, &m.positions[p], &s.world);
            if (m.hasTexCoords) verts[base + p].t = m.texCoords[p];
            src[base + p] = p;
        }
        auto vertexFor = [&](u32 p, u32 corner) -> u32 {
            if (!m.hasNormals) return base + p;
            const u32 n = m.normalIndices[corner];
            if (firstNormal[p] == NoIndex || firstNormal[p] == n) {
                if (firstNormal[p] == NoIndex) {
                    firstNormal[p] = n;
                    Vec3TransformNormal(&verts[base + p].n, &m.normals[n], &s.world);
                    Vec3Normalize(&verts[base + p].n, &verts[base + p].n);
                }
                return base + p;
            }
            const auto [at, fresh] = extra.try_emplace(u64(p) << 32 | n, static_cast<u32>(verts.size()));
            if (!fresh) return at->second;
            V v = verts[base + p];
            Vec3TransformNormal(&v.n, &m.normals[n], &s.world);
            Vec3Normalize(&v.n, &v.n);
            verts.push_back(v);
            src.push_back(p);
            return at->second;
        };
        u32 corner = 0;
        for (size_t f = 0; f < m.faceSizes.size(); ++f) {
            const u32 count = m.faceSizes[f];
            const u32 attr = m.hasMaterialList ? materialBase + m.faceMaterials[f] : defaultMaterial;
            const u32 v0 = vertexFor(m.faceIndices[corner], corner);
            u32 prev = vertexFor(m.faceIndices[corner + 1], corner + 1);
            for (u32 k = 2; k < count; ++k) {
                const u32 cur = vertexFor(m.faceIndices[corner + k], corner + k);
                tris.push_back(v0);
                tris.push_back(prev);
                tris.push_back(cur);
                attrs.push_back(attr);
                prev = cur;
            }
            corner += count;
        }
        if (verts.size() > MaxMeshVertices) break;
    }
    if (verts.size() > MaxMeshVertices) {
        error = "mesh has " + std::to_string(verts.size()) + " vertices, more than 16-bit indices can address";
        return false;
    }
    std::shared_ptr<Mesh> mesh;
    const Result r = Mesh::Create(static_cast<u32>(attrs.size()), static_cast<u32>(verts.size()), options, fvf, &mesh);
    if (Failed(r)) {
        error = (options & Mesh32Bit) ? "32-bit index meshes are not supported" : "out of memory";
        return false;
    }
    u8* vb = MeshAccess::Vertices(*mesh).data();
    for (size_t v = 0; v < verts.size(); ++v) {
        u8* d = vb + v * stride;
        std::memcpy(d, &verts[v].p, 12);
        u32 off = 12;
        if (fvf & FvfNormal) {
            std::memcpy(d + off, &verts[v].n, 12);
            off += 12;
        }
        if (fvf & FvfTex1) std::memcpy(d + off, &verts[v].t, 8);
    }
    std::vector<u16>& ib = MeshAccess::Indices(*mesh);
    for (size_t i = 0; i < tris.size(); ++i) ib[i] = static_cast<u16>(tris[i]);
    MeshAccess::Attributes(*mesh) = attrs;
    out.adjacency.assign(tris.size(), NoIndex);
    mesh->GenerateAdjacency(0.0f, out.adjacency);
    out.mesh = std::move(mesh);
    out.sourceVertex = std::move(src);
    return true;
}

}  // namespace detail

namespace {

void CollectMeshes(const XFrameData& frame, const Mat4& parent, std::vector<detail::MeshSource>& out)
{
    Mat4 world;
    MatrixMultiply(&world, &frame.transform, &parent);
    for (const XMeshData& m : frame.meshes) out.push_back({&m, world});
    for (const XFrameData& c : frame.children) CollectMeshes(c, world, out);
}

}  // namespace

namespace {

bool LoadFromXInMemory(const void* data, size_t size, u32 options, LoadedMesh& out, std::string* error)
{
    std::string err;
    XFileData file;
    if (!ParseXFile(data, size, file, err)) {
        if (error) *error = err;
        return false;
    }
    std::vector<detail::MeshSource> sources;
    for (const XMeshData& m : file.meshes) sources.push_back({&m, Mat4()});
    for (const XFrameData& f : file.frames) CollectMeshes(f, Mat4(), sources);
    if (sources.empty()) {
        if (error) *error = "the file holds no mesh";
        return false;
    }
    detail::BuiltMesh built;
    if (!detail::BuildMesh(sources, options, built, err)) {
        if (error) *error = err;
        return false;
    }
    out.adjacency = CreateBuffer(built.adjacency.size() * sizeof(u32));
    if (!out.adjacency) {
        if (error) *error = "out of memory";
        return false;
    }
    // A mesh of no faces has no adjacency to copy (and no array to copy from).
    if (!built.adjacency.empty())
        std::memcpy(out.adjacency->GetBufferPointer(), built.adjacency.data(), built.adjacency.size() * sizeof(u32));
    out.mesh = std::move(built.mesh);
    out.materials = std::move(built.materials);
    return true;
}

}  // namespace

bool LoadMeshFromXInMemory(const void* data, size_t size, u32 options, LoadedMesh& out, std::string* error)
{
    out = LoadedMesh();
    // A file the budgets let through may still find memory short: it is
    // refused like any other, never thrown past the loader.
    try {
        return LoadFromXInMemory(data, size, options, out, error);
    } catch (const std::bad_alloc&) {
        out = LoadedMesh();
        if (error) *error = "out of memory";
        return false;
    }
}

bool LoadMeshFromX(const char* path, u32 options, LoadedMesh& out, std::string* error)
{
    out = LoadedMesh();
    std::string bytes, err;
    const bool ok = detail::ReadFileBytes(path, bytes, err) &&
                    LoadMeshFromXInMemory(bytes.data(), bytes.size(), options, out, &err);
    if (!ok) {
        ReportLoadFailure(path, err.c_str());
        if (error) *error = err;
    }
    return ok;
}

// ---- processing --------------------------------------------------------------------------------

Result CleanMesh(u32 cleanType, const Mesh* mesh, std::span<const u32> adjacencyIn, std::shared_ptr<Mesh>* out,
                 std::span<u32> adjacencyOut)
{
    if (!mesh || !out) return ResultInvalidCall;
    const u32 faces = mesh->GetNumFaces();
    if (adjacencyIn.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if (!adjacencyOut.empty() && adjacencyOut.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    std::vector<u32> adj(adjacencyIn.begin(), adjacencyIn.begin() + faces * 3);

    std::shared_ptr<Mesh> clean;
    Result r = mesh->CloneMeshFVF(mesh->GetOptions(), mesh->GetFVF(), &clean);
    if (Failed(r)) return r;
    std::vector<u8>& vb = MeshAccess::Vertices(*clean);
    std::vector<u16>& ib = MeshAccess::Indices(*clean);
    const u32 stride = clean->GetNumBytesPerVertex();
    auto duplicate = [&](u32 v) -> u32 {
        const size_t n = vb.size() / stride;
        if (n >= MaxMeshVertices) return NoIndex;
        vb.resize(vb.size() + stride);
        std::memcpy(&vb[n * stride], &vb[static_cast<size_t>(v) * stride], stride);
        return static_cast<u32>(n);
    };

    if (cleanType & CleanBackFacing) {
        // Faces with the same three corners in opposite winding get their own vertices.
        struct Key {
            u16 a, b, c;
            u32 face;
        };
        std::vector<Key> keys;
        for (u32 f = 0; f < faces; ++f) {
            u16 t[3] = {ib[f * 3], ib[f * 3 + 1], ib[f * 3 + 2]};
            std::sort(t, t + 3);
            keys.push_back({t[0], t[1], t[2], f});
        }
        std::stable_sort(keys.begin(), keys.end(), [](const Key& x, const Key& y) {
            return std::tie(x.a, x.b, x.c) < std::tie(y.a, y.b, y.c);
        });
        for (size_t i = 0; i + 1 < keys.size(); ++i) {
            if (std::tie(keys[i].a, keys[i].b, keys[i].c) != std::tie(keys[i + 1].a, keys[i + 1].b, keys[i + 1].c))
                continue;
            const u32 f = keys[i].face, g = keys[i + 1].face;
            if (keys[i].a == keys[i].b || keys[i].b == keys[i].c) continue;
            for (u32 k = 0; k < 3; ++k) {
                const u32 nv = duplicate(ib[g * 3 + k]);
                if (nv == NoIndex) return ResultFail;
                ib[g * 3 + k] = static_cast<u16>(nv);
            }
            for (u32 k = 0; k < 3; ++k) {
                if (adj[f * 3 + k] == g) adj[f * 3 + k] = NoIndex;
                if (adj[g * 3 + k] == f) adj[g * 3 + k] = NoIndex;
            }
            ++i;
        }
    }
    if (cleanType & CleanBowTies) {
        // Each vertex's faces, split into fans connected through edges that
        // keep the vertex; every fan after the first gets a copy of it.
        const u32 nv = static_cast<u32>(vb.size() / stride);
        std::vector<std::vector<u32>> vertexFaces(nv);
        for (u32 f = 0; f < faces; ++f)
            for (u32 k = 0; k < 3; ++k) vertexFaces[ib[f * 3 + k]].push_back(f);
        for (u32 v = 0; v < nv; ++v) {
            const std::vector<u32>& fs = vertexFaces[v];
            if (fs.size() < 2) continue;
            // Two of v's faces are in one fan when they share an index other
            // than v: each such index joins every face naming it to the first
            // that did, so a vertex of many faces costs a pass, not a pair walk.
            std::vector<u32> root(fs.size());
            std::iota(root.begin(), root.end(), 0u);
            const auto find = [&](u32 x) {
                while (root[x] != x) x = root[x] = root[root[x]];
                return x;
            };
            std::unordered_map<u32, u32> firstWith;  // index -> first slot naming it
            for (u32 slot = 0; slot < fs.size(); ++slot) {
                for (u32 k = 0; k < 3; ++k) {
                    const u32 u = ib[fs[slot] * 3 + k];
                    if (u == v) continue;
                    const auto [at, fresh] = firstWith.try_emplace(u, slot);
                    if (fresh) continue;
                    const u32 a = find(at->second), b = find(slot);
                    if (a != b) root[std::max(a, b)] = std::min(a, b);
                }
            }
            // Fans are numbered in the order of their first face.
            std::vector<u32> fan(fs.size(), NoIndex);
            u32 fans = 0;
            for (u32 slot = 0; slot < fs.size(); ++slot) {
                const u32 r = find(slot);
                if (fan[r] == NoIndex) fan[r] = fans++;
                fan[slot] = fan[r];
            }
            if (fans < 2) continue;
            std::vector<u32> copyOf(fans, v);
            for (u32 fanIndex = 1; fanIndex < fans; ++fanIndex) {
                copyOf[fanIndex] = duplicate(v);
                if (copyOf[fanIndex] == NoIndex) return ResultFail;
            }
            // Slots fan by fan, each fan's in face order.
            std::vector<u32> start(fans + 1, 0), bySlot(fs.size());
            for (u32 slot = 0; slot < fs.size(); ++slot) ++start[fan[slot] + 1];
            for (u32 f = 0; f < fans; ++f) start[f + 1] += start[f];
            for (u32 slot = 0; slot < fs.size(); ++slot) bySlot[start[fan[slot]]++] = slot;
            for (const u32 slot : bySlot) {
                if (fan[slot] == 0) continue;
                for (u32 k = 0; k < 3; ++k)
                    if (ib[fs[slot] * 3 + k] == v) ib[fs[slot] * 3 + k] = static_cast<u16>(copyOf[fan[slot]]);
            }
        }
    }
    MeshAccess::Touch(*clean);
    if (!adjacencyOut.empty()) std::copy(adj.begin(), adj.end(), adjacencyOut.begin());
    *out = std::move(clean);
    return ResultOk;
}

Result WeldVertices(Mesh* mesh, u32 flags, const WeldEpsilons* epsilons, std::span<const u32> adjacencyIn,
                    std::span<u32> adjacencyOut, std::vector<u32>* faceRemap, std::vector<u32>* vertexRemap)
{
    if (!mesh) return ResultInvalidCall;
    const u32 faces = mesh->GetNumFaces();
    if (!adjacencyIn.empty() && adjacencyIn.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if (!adjacencyOut.empty() && adjacencyOut.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    WeldEpsilons eps;
    if (epsilons) eps = *epsilons;
    std::vector<u8>& vb = MeshAccess::Vertices(*mesh);
    std::vector<u16>& ib = MeshAccess::Indices(*mesh);
    const u32 stride = mesh->GetNumBytesPerVertex();
    const u32 nv = mesh->GetNumVertices();
    const std::vector<VertexElement>& decl = mesh->GetDeclaration();

    auto epsilonOf = [&](const VertexElement& e) -> f32 {
        switch (e.usage) {
        case UsageBlendWeight: return eps.BlendWeights;
        case UsageNormal: return eps.Normal;
        case UsagePSize: return eps.PSize;
        case UsageColor: return e.usageIndex == 0 ? eps.Diffuse : eps.Specular;
        case UsageTexCoord: return e.usageIndex < 8 ? eps.Texcoord[e.usageIndex] : 0.0f;
        default: return 0.0f;
        }
    };
    // Whether element e of vertices a and b agree within its epsilon.
    auto agrees = [&](const VertexElement& e, u32 a, u32 b) -> bool {
        const u8* pa = &vb[static_cast<size_t>(a) * stride + e.offset];
        const u8* pb = &vb[static_cast<size_t>(b) * stride + e.offset];
        if (IsFloatType(e.type)) {
            const u32 n = DeclTypeSize(e.type) / 4;
            const f32 tol = epsilonOf(e);
            for (u32 i = 0; i < n; ++i) {
                f32 x, y;
                std::memcpy(&x, pa + i * 4, 4);
                std::memcpy(&y, pb + i * 4, 4);
                if (std::fabs(x - y) > tol) return false;
            }
            return true;
        }
        if (e.type == DeclColor && e.usage == UsageColor) {
            const f32 tol = epsilonOf(e);
            for (u32 i = 0; i < 4; ++i)
                if (std::fabs((pa[i] - pb[i]) / 255.0f) > tol) return false;
            return true;
        }
        return std::memcmp(pa, pb, DeclTypeSize(e.type)) == 0;
    };

    const std::vector<u32> rep = PointReps(Positions(*mesh, vb.data()), eps.Position);
    std::vector<u32> target(nv);
    std::iota(target.begin(), target.end(), 0u);
    // Group members by representative.
    std::vector<std::vector<u32>> groups(nv);
    for (u32 v = 0; v < nv; ++v) groups[rep[v]].push_back(v);
    for (u32 g = 0; g < nv; ++g) {
        const std::vector<u32>& members = groups[g];
        if (members.size() < 2) continue;
        for (size_t i = 1; i < members.size(); ++i) {
            const u32 b = members[i];
            if (flags & WeldAll) {
                target[b] = members[0];
                continue;
            }
            for (size_t j = 0; j < i; ++j) {
                const u32 a = members[j];
                if (target[a] != a) continue;
                bool all = true;
                for (const VertexElement& e : decl) {
                    if (e.usage == UsagePosition || e.usage == UsagePositionT) continue;
                    if (agrees(e, a, b)) {
                        if (flags & WeldPartialMatches) {
                            std::memcpy(&vb[static_cast<size_t>(b) * stride + e.offset],
                                        &vb[static_cast<size_t>(a) * stride + e.offset], DeclTypeSize(e.type));
                        }
                    } else {
                        all = false;
                    }
                }
                const bool mayRemove = !((flags & WeldPartialMatches) && (flags & WeldDoNotRemoveVertices));
                if (all && mayRemove) {
                    target[b] = a;
                    break;
                }
            }
        }
    }
    for (u16& i : ib) i = static_cast<u16>(target[i]);
    // Drop the vertices nothing refers to any more, keeping the order.
    std::vector<u32> newIndex(nv, NoIndex);
    std::vector<u32> kept;
    for (u32 v = 0; v < nv; ++v) {
        if (target[v] == v) {
            newIndex[v] = static_cast<u32>(kept.size());
            kept.push_back(v);
        }
    }
    std::vector<u8> newVb(kept.size() * stride);
    for (size_t i = 0; i < kept.size(); ++i)
        std::memcpy(&newVb[i * stride], &vb[static_cast<size_t>(kept[i]) * stride], stride);
    for (u16& i : ib) i = static_cast<u16>(newIndex[i]);
    vb = std::move(newVb);
    MeshAccess::Table(*mesh).clear();
    MeshAccess::Touch(*mesh);
    if (!adjacencyOut.empty()) {
        if (!adjacencyIn.empty()) {
            std::vector<u32> copy(adjacencyIn.begin(), adjacencyIn.begin() + faces * 3);
            std::copy(copy.begin(), copy.end(), adjacencyOut.begin());
        } else {
            mesh->GenerateAdjacency(eps.Position, adjacencyOut);
        }
    }
    if (faceRemap) {
        faceRemap->resize(faces);
        std::iota(faceRemap->begin(), faceRemap->end(), 0u);
    }
    if (vertexRemap) *vertexRemap = kept;
    return ResultOk;
}

Result ComputeNormals(BaseMesh* mesh, std::span<const u32> adjacency)
{
    if (!mesh) return ResultInvalidCall;
    const VertexElement* ne = FindElement(mesh->GetDeclaration(), UsageNormal, 0);
    if (!ne || ne->type != DeclFloat3) return ResultInvalidCall;
    const u32 faces = mesh->GetNumFaces();
    if (!adjacency.empty() && adjacency.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    std::vector<u8>& vb = MeshAccess::Vertices(*mesh);
    const std::vector<u16>& ib = MeshAccess::Indices(*mesh);
    const u32 stride = mesh->GetNumBytesPerVertex();
    const u32 nv = mesh->GetNumVertices();
    const std::vector<Vec3> pos = Positions(*mesh, vb.data());
    // With adjacency, vertices at one position share one normal.
    std::vector<u32> rep(nv);
    if (adjacency.empty()) std::iota(rep.begin(), rep.end(), 0u);
    else rep = PointReps(pos, 0.0f);
    std::vector<Vec3> sum(nv);
    for (u32 f = 0; f < faces; ++f) {
        const u32 a = ib[f * 3], b = ib[f * 3 + 1], c = ib[f * 3 + 2];
        const Vec3 n = Normalized(Cross(pos[b] - pos[a], pos[c] - pos[a]));
        sum[rep[a]] += n;
        sum[rep[b]] += n;
        sum[rep[c]] += n;
    }
    for (u32 v = 0; v < nv; ++v) {
        const Vec3 n = Normalized(sum[rep[v]]);
        std::memcpy(&vb[static_cast<size_t>(v) * stride + ne->offset], &n, 12);
    }
    MeshAccess::Touch(*mesh);
    return ResultOk;
}

}  // namespace plat
