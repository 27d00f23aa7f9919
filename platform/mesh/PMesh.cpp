// Progressive meshes: quadric-error edge collapses recorded once, replayed to
// any level of detail.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <queue>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshBuild.h"

namespace plat {

namespace {

using detail::Cross;
using detail::Dot;

// Symmetric 4 × 4 error quadric, upper triangle.
struct Quadric {
    double a[10] = {};

    void AddPlane(double nx, double ny, double nz, double d, double w)
    {
        a[0] += w * nx * nx; a[1] += w * nx * ny; a[2] += w * nx * nz; a[3] += w * nx * d;
        a[4] += w * ny * ny; a[5] += w * ny * nz; a[6] += w * ny * d;
        a[7] += w * nz * nz; a[8] += w * nz * d;
        a[9] += w * d * d;
    }
    void Add(const Quadric& o)
    {
        for (int i = 0; i < 10; ++i) a[i] += o.a[i];
    }
    double Eval(const Vec3& p) const
    {
        const double x = p.x, y = p.y, z = p.z;
        return a[0] * x * x + 2 * a[1] * x * y + 2 * a[2] * x * z + 2 * a[3] * x + a[4] * y * y +
               2 * a[5] * y * z + 2 * a[6] * y + a[7] * z * z + 2 * a[8] * z + a[9];
    }
};

struct Candidate {
    double cost;
    u32 from, to;
    u32 stampFrom, stampTo;
    bool operator>(const Candidate& o) const
    {
        if (cost != o.cost) return cost > o.cost;
        if (from != o.from) return from > o.from;
        return to > o.to;
    }
};

class Simplifier {
public:
    Simplifier(const Mesh& mesh, const AttributeWeights& weights, const f32* vertexWeights)
        : weights_(weights), vertexWeights_(vertexWeights)
    {
        Mesh& m = const_cast<Mesh&>(mesh);
        const std::vector<u8>& vb = MeshAccess::Vertices(m);
        const u32 stride = mesh.GetNumBytesPerVertex();
        nv_ = mesh.GetNumVertices();
        pos_.resize(nv_);
        for (u32 v = 0; v < nv_; ++v) std::memcpy(&pos_[v], &vb[static_cast<size_t>(v) * stride], 12);
        idx_.assign(MeshAccess::Indices(m).begin(), MeshAccess::Indices(m).end());
        attr_ = MeshAccess::Attributes(m);
        nf_ = static_cast<u32>(attr_.size());
        faceAlive_.assign(nf_, 1);
        vertexFaces_.resize(nv_);
        for (u32 f = 0; f < nf_; ++f) {
            if (Degenerate(f)) {
                faceAlive_[f] = 0;
                continue;
            }
            for (u32 k = 0; k < 3; ++k) vertexFaces_[idx_[f * 3 + k]].push_back(f);
        }
        aliveFaces_ = 0;
        for (u32 f = 0; f < nf_; ++f) aliveFaces_ += faceAlive_[f];
        vertexAlive_.assign(nv_, 0);
        for (u32 v = 0; v < nv_; ++v) vertexAlive_[v] = vertexFaces_[v].empty() ? 0 : 1;
        aliveVertices_ = 0;
        for (u32 v = 0; v < nv_; ++v) aliveVertices_ += vertexAlive_[v];
        stamp_.assign(nv_, 0);

        // Vertices that share a position with another vertex (texture or
        // normal seams) stay where they are, so the seam cannot open.
        const std::vector<u32> order = SortedByPosition();
        pinned_.assign(nv_, 0);
        for (size_t i = 0; i + 1 < order.size(); ++i) {
            if (pos_[order[i]] == pos_[order[i + 1]]) pinned_[order[i]] = pinned_[order[i + 1]] = 1;
        }

        quadric_.resize(nv_);
        for (u32 f = 0; f < nf_; ++f) {
            if (!faceAlive_[f]) continue;
            const Vec3 &a = pos_[idx_[f * 3]], &b = pos_[idx_[f * 3 + 1]], &c = pos_[idx_[f * 3 + 2]];
            const Vec3 n = Cross(b - a, c - a);
            const double len = std::sqrt(static_cast<double>(Dot(n, n)));
            if (len == 0.0) continue;
            const double nx = n.x / len, ny = n.y / len, nz = n.z / len;
            const double d = -(nx * a.x + ny * a.y + nz * a.z);
            const double area = len * 0.5;
            for (u32 k = 0; k < 3; ++k) quadric_[idx_[f * 3 + k]].AddPlane(nx, ny, nz, d, area * weights_.Position);
        }
        // Border edges (open, or between two materials) get planes at right
        // angles to their face so the outline keeps its shape.
        for (u32 f = 0; f < nf_; ++f) {
            if (!faceAlive_[f]) continue;
            for (u32 k = 0; k < 3; ++k) {
                const u32 a = idx_[f * 3 + k], b = idx_[f * 3 + (k + 1) % 3];
                if (!IsBorderEdge(a, b)) continue;
                const Vec3 &pa = pos_[a], &pb = pos_[b], &pc = pos_[idx_[f * 3 + (k + 2) % 3]];
                const Vec3 edge = pb - pa;
                const Vec3 fn = Cross(pb - pa, pc - pa);
                const Vec3 n = Cross(edge, fn);
                const double len = std::sqrt(static_cast<double>(Dot(n, n)));
                if (len == 0.0) continue;
                const double nx = n.x / len, ny = n.y / len, nz = n.z / len;
                const double d = -(nx * pa.x + ny * pa.y + nz * pa.z);
                const double w = Dot(edge, edge) * 1000.0 * std::max(weights_.Boundary, 0.0f);
                quadric_[a].AddPlane(nx, ny, nz, d, w);
                quadric_[b].AddPlane(nx, ny, nz, d, w);
            }
        }
    }

    // Collapses until the target is reached or nothing more can go.
    void Run(u32 minValue, bool byVertex, std::vector<PMeshCollapseRecord>& out)
    {
        for (u32 f = 0; f < nf_; ++f) {
            if (!faceAlive_[f]) continue;
            for (u32 k = 0; k < 3; ++k) {
                const u32 a = idx_[f * 3 + k], b = idx_[f * 3 + (k + 1) % 3];
                Push(a, b);
                Push(b, a);
            }
        }
        while (!heap_.empty()) {
            if (byVertex ? aliveVertices_ <= minValue : aliveFaces_ <= minValue) break;
            const Candidate c = heap_.top();
            heap_.pop();
            if (!vertexAlive_[c.from] || !vertexAlive_[c.to]) continue;
            if (stamp_[c.from] != c.stampFrom || stamp_[c.to] != c.stampTo) continue;
            if (!CanCollapse(c.from, c.to)) continue;
            Apply(c.from, c.to);
            out.push_back({c.from, c.to, aliveFaces_, aliveVertices_});
        }
    }

    u32 AliveFaces() const { return aliveFaces_; }

private:
    bool Degenerate(u32 f) const
    {
        const u32 a = idx_[f * 3], b = idx_[f * 3 + 1], c = idx_[f * 3 + 2];
        return a == b || b == c || a == c;
    }

    std::vector<u32> SortedByPosition() const
    {
        std::vector<u32> order(nv_);
        for (u32 v = 0; v < nv_; ++v) order[v] = v;
        std::sort(order.begin(), order.end(), [&](u32 a, u32 b) {
            if (pos_[a].x != pos_[b].x) return pos_[a].x < pos_[b].x;
            if (pos_[a].y != pos_[b].y) return pos_[a].y < pos_[b].y;
            if (pos_[a].z != pos_[b].z) return pos_[a].z < pos_[b].z;
            return a < b;
        });
        return order;
    }

    // Alive faces that use both a and b.
    void FacesOfEdge(u32 a, u32 b, u32* faces, u32* count) const
    {
        *count = 0;
        for (u32 f : vertexFaces_[a]) {
            if (!faceAlive_[f]) continue;
            for (u32 k = 0; k < 3; ++k) {
                if (idx_[f * 3 + k] == b) {
                    if (*count < 8) faces[*count] = f;
                    ++*count;
                    break;
                }
            }
        }
    }

    bool IsBorderEdge(u32 a, u32 b) const
    {
        u32 faces[8], n = 0;
        FacesOfEdge(a, b, faces, &n);
        if (n != 2) return true;
        return attr_[faces[0]] != attr_[faces[1]];
    }

    // A vertex on a border may only slide along it, towards a neighbour on
    // the same straight stretch; corners and junctions stay.
    bool BorderAllowsSlide(u32 from, u32 to) const
    {
        std::vector<u32> seen, border;
        for (u32 f : vertexFaces_[from]) {
            if (!faceAlive_[f]) continue;
            for (u32 k = 0; k < 3; ++k) {
                const u32 w = idx_[f * 3 + k];
                if (w == from || std::find(seen.begin(), seen.end(), w) != seen.end()) continue;
                seen.push_back(w);
                if (IsBorderEdge(from, w)) border.push_back(w);
            }
        }
        if (border.empty()) return true;
        if (border.size() != 2 || (border[0] != to && border[1] != to)) return false;
        const Vec3 a = detail::Normalized(pos_[from] - pos_[border[0]]);
        const Vec3 b = detail::Normalized(pos_[border[1]] - pos_[from]);
        return Dot(a, b) > 0.9999f;
    }

    void Push(u32 from, u32 to)
    {
        if (from == to || pinned_[from]) return;
        Quadric q = quadric_[from];
        q.Add(quadric_[to]);
        double cost = std::max(q.Eval(pos_[to]), 0.0);
        if (vertexWeights_) cost *= std::max(vertexWeights_[from], 0.0f);
        heap_.push({cost, from, to, stamp_[from], stamp_[to]});
    }

    bool CanCollapse(u32 from, u32 to) const
    {
        u32 shared[8], n = 0;
        FacesOfEdge(from, to, shared, &n);
        if (n == 0 || n > 2) return false;
        // A border vertex may only slide along its border, and corners stay.
        if (!BorderAllowsSlide(from, to)) return false;
        // Link condition: the two ends may share only the vertices opposite
        // the edge, or the collapse pinches the surface.
        std::vector<u32> nFrom, nTo;
        for (u32 f : vertexFaces_[from])
            if (faceAlive_[f])
                for (u32 k = 0; k < 3; ++k) nFrom.push_back(idx_[f * 3 + k]);
        for (u32 f : vertexFaces_[to])
            if (faceAlive_[f])
                for (u32 k = 0; k < 3; ++k) nTo.push_back(idx_[f * 3 + k]);
        std::sort(nFrom.begin(), nFrom.end());
        nFrom.erase(std::unique(nFrom.begin(), nFrom.end()), nFrom.end());
        std::sort(nTo.begin(), nTo.end());
        nTo.erase(std::unique(nTo.begin(), nTo.end()), nTo.end());
        u32 common = 0;
        for (u32 v : nFrom)
            if (v != from && v != to && std::binary_search(nTo.begin(), nTo.end(), v)) ++common;
        if (common > n) return false;
        // No remaining face may flip or collapse to a sliver.
        for (u32 f : vertexFaces_[from]) {
            if (!faceAlive_[f]) continue;
            bool hasTo = false;
            for (u32 k = 0; k < 3; ++k) hasTo |= idx_[f * 3 + k] == to;
            if (hasTo) continue;
            Vec3 p[3], q[3];
            for (u32 k = 0; k < 3; ++k) {
                p[k] = pos_[idx_[f * 3 + k]];
                q[k] = idx_[f * 3 + k] == from ? pos_[to] : p[k];
            }
            const Vec3 before = Cross(p[1] - p[0], p[2] - p[0]);
            const Vec3 after = Cross(q[1] - q[0], q[2] - q[0]);
            const f32 la = std::sqrt(Dot(after, after)), lb = std::sqrt(Dot(before, before));
            if (la == 0.0f || lb == 0.0f) return false;
            if (Dot(before, after) < 0.2f * la * lb) return false;
        }
        return true;
    }

    void Apply(u32 from, u32 to)
    {
        for (u32 f : vertexFaces_[from]) {
            if (!faceAlive_[f]) continue;
            bool hasTo = false;
            for (u32 k = 0; k < 3; ++k) hasTo |= idx_[f * 3 + k] == to;
            if (hasTo) {
                faceAlive_[f] = 0;
                --aliveFaces_;
                continue;
            }
            for (u32 k = 0; k < 3; ++k)
                if (idx_[f * 3 + k] == from) idx_[f * 3 + k] = to;
            vertexFaces_[to].push_back(f);
        }
        vertexFaces_[from].clear();
        vertexAlive_[from] = 0;
        --aliveVertices_;
        quadric_[to].Add(quadric_[from]);
        // Drop dead faces from the survivor's list and refresh its edges.
        auto& list = vertexFaces_[to];
        list.erase(std::remove_if(list.begin(), list.end(), [&](u32 f) { return !faceAlive_[f]; }), list.end());
        ++stamp_[to];
        std::vector<u32> ring;
        for (u32 f : list)
            for (u32 k = 0; k < 3; ++k)
                if (idx_[f * 3 + k] != to) ring.push_back(idx_[f * 3 + k]);
        std::sort(ring.begin(), ring.end());
        ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
        for (u32 w : ring) {
            Push(to, w);
            Push(w, to);
        }
    }

    AttributeWeights weights_;
    const f32* vertexWeights_;
    u32 nv_ = 0, nf_ = 0;
    std::vector<Vec3> pos_;
    std::vector<u32> idx_;
    std::vector<u32> attr_;
    std::vector<u8> faceAlive_, vertexAlive_, pinned_;
    std::vector<std::vector<u32>> vertexFaces_;
    std::vector<Quadric> quadric_;
    std::vector<u32> stamp_;
    u32 aliveFaces_ = 0, aliveVertices_ = 0;
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> heap_;
};

}  // namespace

Result GeneratePMesh(const Mesh* mesh, std::span<const u32> adjacency, const AttributeWeights* attributeWeights,
                     const f32* vertexWeights, u32 minValue, u32 options, std::shared_ptr<PMesh>* out)
{
    if (!out) return ResultInvalidCall;
    out->reset();
    if (!mesh) return ResultInvalidCall;
    const u32 faces = mesh->GetNumFaces();
    if (adjacency.size() < static_cast<size_t>(faces) * 3) return ResultInvalidCall;
    if (faces == 0) return ResultInvalidCall;
    const bool byVertex = (options & SimplifyByVertex) != 0;
    if (!byVertex && !(options & SimplifyByFace)) return ResultInvalidCall;

    auto pm = std::shared_ptr<PMesh>(new (std::nothrow) PMesh());
    if (!pm) return ResultOutOfMemory;
    Mesh& src = const_cast<Mesh&>(*mesh);
    if (!pm->InitStorage(0, 0, mesh->GetOptions(), mesh->GetFVF())) return ResultInvalidCall;
    pm->vertices_ = MeshAccess::Vertices(src);
    pm->decl_ = mesh->GetDeclaration();
    pm->fullIndices_ = MeshAccess::Indices(src);
    pm->fullAttributes_ = MeshAccess::Attributes(src);

    std::vector<PMeshCollapseRecord> records;
    try {
        Simplifier s(*mesh, attributeWeights ? *attributeWeights : AttributeWeights(), vertexWeights);
        pm->maxFaces_ = s.AliveFaces();
        s.Run(minValue, byVertex, records);
    } catch (const std::bad_alloc&) {
        return ResultOutOfMemory;
    }
    pm->collapses_ = std::move(records);
    // Level 0 is the source without its degenerate faces.
    pm->ApplyCollapses(0);
    pm->maxFaces_ = pm->GetNumFaces();
    u32 used = 0;
    {
        std::vector<u8> seen(mesh->GetNumVertices(), 0);
        for (u16 i : pm->indices_) {
            if (!seen[i]) {
                seen[i] = 1;
                ++used;
            }
        }
    }
    pm->maxVertices_ = used;
    pm->minFaces_ = pm->collapses_.empty() ? pm->maxFaces_ : pm->collapses_.back().facesAfter;
    pm->minVertices_ = pm->collapses_.empty() ? pm->maxVertices_ : pm->collapses_.back().verticesAfter;
    *out = std::move(pm);
    return ResultOk;
}

void PMesh::ApplyCollapses(size_t count)
{
    count = std::min(count, collapses_.size());
    const u32 nv = GetNumVertices();
    std::vector<u32> map(nv);
    for (u32 v = 0; v < nv; ++v) map[v] = v;
    for (size_t i = 0; i < count; ++i) map[collapses_[i].from] = collapses_[i].to;
    // Each vertex collapses once, into one alive at the time, so chains end.
    auto resolve = [&](u32 v) {
        u32 r = v;
        while (map[r] != r) r = map[r];
        for (u32 w = v; map[w] != w;) {
            const u32 next = map[w];
            map[w] = r;
            w = next;
        }
        return r;
    };
    indices_.clear();
    attributes_.clear();
    const u32 faces = static_cast<u32>(fullAttributes_.size());
    for (u32 f = 0; f < faces; ++f) {
        const u32 a = resolve(fullIndices_[f * 3]), b = resolve(fullIndices_[f * 3 + 1]),
                  c = resolve(fullIndices_[f * 3 + 2]);
        if (a == b || b == c || a == c) continue;
        indices_.push_back(static_cast<u16>(a));
        indices_.push_back(static_cast<u16>(b));
        indices_.push_back(static_cast<u16>(c));
        attributes_.push_back(fullAttributes_[f]);
    }
    attrTable_.clear();
    applied_ = count;
    Touch();
}

Result PMesh::SetNumFaces(u32 numFaces)
{
    // Fewest collapses that bring the count to numFaces or below.
    size_t k = 0;
    if (numFaces < maxFaces_) {
        auto it = std::find_if(collapses_.begin(), collapses_.end(),
                               [&](const PMeshCollapseRecord& c) { return c.facesAfter <= numFaces; });
        k = (it == collapses_.end()) ? collapses_.size() : static_cast<size_t>(it - collapses_.begin()) + 1;
    }
    if (k != applied_) ApplyCollapses(k);
    return ResultOk;
}

Result PMesh::SetNumVertices(u32 numVertices)
{
    size_t k = 0;
    if (numVertices < maxVertices_) {
        auto it = std::find_if(collapses_.begin(), collapses_.end(),
                               [&](const PMeshCollapseRecord& c) { return c.verticesAfter <= numVertices; });
        k = (it == collapses_.end()) ? collapses_.size() : static_cast<size_t>(it - collapses_.begin()) + 1;
    }
    if (k != applied_) ApplyCollapses(k);
    return ResultOk;
}

}  // namespace plat
