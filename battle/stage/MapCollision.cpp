#include "battle/stage/MapCollision.h"

#include <cfloat>
#include <cmath>

#include "engine/core/Queue.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/MeshObject.h"
#include "platform/math/Math.h"

namespace {

// std::fmin and std::fmax without the library call: a NaN gives way to the
// other value as there. Only boxes for comparisons are made of them, so the
// sign a zero comes out with does not matter.
f32 Lesser(f32 a, f32 b) { return (a < b || b != b) ? a : b; }
f32 Greater(f32 a, f32 b) { return (a > b || b != b) ? a : b; }

// Cell of a coordinate, truncated toward zero; false for coordinates no cell
// index can hold (NaN, infinities, far outside any grid).
bool CellIndex(f32 v, f32 cellSize, i32* index)
{
    if (!(cellSize > 0.0f)) return false;
    const f32 q = v / cellSize;
    if (!(q > -1.0e6f && q < 1.0e6f)) return false;
    *index = static_cast<i32>(q);
    return true;
}

// BoxesOverlap's test, all six comparisons at once: a segment's 25 cells
// make this the stage test's innermost step.
bool Overlaps(const Vec3& minA, const Vec3& maxA, const Vec3& minB, const Vec3& maxB)
{
    return (minB.x <= maxA.x) & (maxB.x >= minA.x) & (minB.y <= maxA.y) & (maxB.y >= minA.y) & (minB.z <= maxA.z) &
           (maxB.z >= minA.z);
}

// The hit mesh of an object the queries may test, or null.
MeshObject* CollidableMesh(BattleMap& map, const CMapObjNode* o)
{
    if (o->vars[kMapVarHitFlag] == 0 || o->partIndex >= map.parts.GetCount()) return nullptr;
    return map.parts[o->partIndex].hitMesh.get();
}

// One of the 25 cells around (column0, row0), visited row by row.
MapCell* AroundCell(BattleMap& map, i32 column0, i32 row0, i32 i, i32* column, i32* row)
{
    *column = column0 + (i % 5) - 2;
    *row = row0 + (i / 5) - 2;
    return map.GetCell(*column, *row);
}

// Face stage, then, when no face pushed, the edge-and-corner stage over the
// triangles the first one queued. The queue is empty afterwards.
bool PushOut(MeshObject* mesh, Vec3 centre, f32 radius, CQueue<FaceQ>& faces, f32* length, Vec3* dir)
{
    if (mesh->CollideSphere(&centre, radius, length, dir, &faces)) {
        faces.DeleteAll();
        return true;
    }
    if (faces.GetCount() == 0) return false;
    return mesh->CollideSphere2(&centre, radius, length, dir, &faces) != 0;
}

// Ray from s along the unit direction towards e, accepted up to e.
bool EdgeHitsTriangle(const Vec3& s, const Vec3& e, const Vec3& a, const Vec3& b, const Vec3& c, Vec3* point)
{
    const Vec3 d = e - s;
    const f32 length = plat::Vec3Length(&d);
    Vec3 dir;
    plat::Vec3Normalize(&dir, &d);
    f32 t = 0.0f;
    if (!plat::IntersectTri(&a, &b, &c, &s, &dir, nullptr, nullptr, &t)) return false;
    if (!(t >= 0.0f && t <= length)) return false;
    *point = s + dir * t;
    return true;
}

}  // namespace

namespace {

// MeshObject::IntersectRay over only the triangles whose bounds meet
// [lo, hi]; the nearest hit, the earlier on a tie.
bool IntersectRayInBox(const MeshObject& mesh, const Vec3& origin, const Vec3& dir, const Vec3& lo, const Vec3& hi,
                       float* dist, u32* index)
{
    if (!mesh.triangles) return false;
    bool any = false;
    float best = 0.0f;
    u32 bestIndex = 0;
    for (u32 i = 0; i < mesh.faceCount; ++i) {
        const CollisionTriangle& tri = mesh.triangles[i];
        if (!Overlaps(tri.min, tri.max, lo, hi)) continue;
        float d = 0.0f;
        if (!plat::IntersectTri(&tri.P0, &tri.P1, &tri.P2, &origin, &dir, nullptr, nullptr, &d)) continue;
        if (!any || best > d) {
            best = d;
            bestIndex = i;
        }
        any = true;
    }
    if (any) {
        *dist = best;
        *index = bestIndex;
    }
    return any;
}

// While the hit pass runs no map object moves, breaks or appears (breaking
// waits for the object pass), so each cell's 5 x 5 neighbourhood keeps one
// box round the hit boxes of the cells there holding objects: a segment
// missing it misses every one of those cells, as the cell test would find.
// It keeps which of the 25 cells hold objects too, so a segment's walk
// visits only those, in the same order.
struct AroundBox {
    u32 stamp = 0;  // the pass the box was made in
    u32 any = 0;    // bit 5 * (row - row0 + 2) + (column - column0 + 2): that cell holds objects
    Vec3 lo, hi;
};
// The same stillness lets a segment's cell tests read what they look at
// (whether the cell holds objects, its hit box) from a small copy, one
// table row of cells a few cache lines long, instead of two lines apart in
// each of the big cell records.
struct CellCopy {
    Vec3 lo, hi;
    u32 stamp = 0;  // the pass the copy was made in
    u32 held = 0;   // 1: the cell holds objects
};
struct AroundBoxes {
    const BattleMap* map = nullptr;
    u32 pass = 0;
    std::vector<AroundBox> cells;  // one cache line or less per cell: looked up once per segment
    std::vector<CellCopy> copies;  // by row and column, as cells
} g_around;

// The copy of a cell of the grid; only during a map hit pass.
const CellCopy& CopyOf(AroundBoxes& a, BattleMap& map, i32 column, i32 row)
{
    CellCopy& c = a.copies[size_t(row) * kMapGridMax + column];
    if (c.stamp == a.pass) return c;
    c.stamp = a.pass;
    const MapCell* cell = map.GetCell(column, row);
    c.held = cell && !cell->objects.Empty();
    if (c.held) {
        c.lo = cell->hitMin;
        c.hi = cell->hitMax;
    }
    return c;
}

constexpr u32 kAllAround = (1u << 25) - 1;

// No bit set when no cell around (column0, row0) can meet [segMin, segMax];
// otherwise the cells around that hold objects (all 25 when not known).
u32 AroundMayMeet(BattleMap& map, i32 column0, i32 row0, const Vec3& segMin, const Vec3& segMax)
{
    AroundBoxes& a = g_around;
    if (a.map != &map || column0 < 0 || row0 < 0 || column0 >= kMapGridMax || row0 >= kMapGridMax)
        return kAllAround;
    AroundBox& box = a.cells[size_t(row0) * kMapGridMax + column0];
    if (box.stamp != a.pass) {
        box.stamp = a.pass;
        bool any = false;
        u32 held = 0;
        Vec3 lo, hi;
        for (i32 row = row0 - 2; row <= row0 + 2; ++row)
            for (i32 column = column0 - 2; column <= column0 + 2; ++column) {
                const MapCell* cell = map.GetCell(column, row);
                if (!cell || cell->objects.Empty()) continue;
                held |= 1u << (5 * (row - row0 + 2) + (column - column0 + 2));
                if (!any) {
                    lo = cell->hitMin;
                    hi = cell->hitMax;
                    any = true;
                    continue;
                }
                lo = Vec3(Lesser(lo.x, cell->hitMin.x), Lesser(lo.y, cell->hitMin.y),
                          Lesser(lo.z, cell->hitMin.z));
                hi = Vec3(Greater(hi.x, cell->hitMax.x), Greater(hi.y, cell->hitMax.y),
                          Greater(hi.z, cell->hitMax.z));
            }
        box.any = held;
        box.lo = lo;
        box.hi = hi;
    }
    // A NaN in a cell's box makes its own test fail too; fmin/fmax would
    // drop it, so such a neighbourhood is simply tested cell by cell.
    const bool meet = box.any && (Overlaps(box.lo, box.hi, segMin, segMax) ||
                                  !std::isfinite(box.lo.x + box.lo.y + box.lo.z + box.hi.x + box.hi.y + box.hi.z));
    return meet ? box.any : 0;
}

f32 Largest(const Vec3& v) { return Greater(std::fabs(v.x), Greater(std::fabs(v.y), std::fabs(v.z))); }

i32 SegmentAgainstMap(BattleMap& map, const Vec3* start, const Vec3* end, float* distance, MapHitInfo* record,
                      bool within)
{
    float local = FLT_MAX;
    float* best = distance ? distance : &local;
    *best = FLT_MAX;
    if (!start || !end) return 0;
    i32 result = 0;
    const Vec3 segMin(Lesser(start->x, end->x), Lesser(start->y, end->y), Lesser(start->z, end->z));
    const Vec3 segMax(Greater(start->x, end->x), Greater(start->y, end->y), Greater(start->z, end->z));
    i32 column0 = 0, row0 = 0;
    if (!CellIndex(start->x, map.cellSize, &column0) || !CellIndex(start->z, map.cellSize, &row0)) return 0;
    const u32 around = AroundMayMeet(map, column0, row0, segMin, segMax);
    if (!around) return 0;
    // Most segments stop above, before the direction's square root.
    const Vec3 delta = *end - *start;
    Vec3 dir;
    plat::Vec3Normalize(&dir, &delta);
    // Only triangles near the segment can hold a hit within it; the margin
    // keeps float rounding of the ray test on the safe side.
    const f32 length = plat::Vec3Length(&delta);
    within = within && std::isfinite(length) && std::isfinite(Largest(*start)) && std::isfinite(Largest(*end));
    // The 25 cells around the start, row by row (AroundCell's order), those
    // known to hold no object passed over untouched.
    const bool copies = g_around.map == &map;
    u32 bit = 1;
    for (i32 row = row0 - 2; row <= row0 + 2; ++row) {
        for (i32 column = column0 - 2; column <= column0 + 2; ++column, bit <<= 1) {
            if (!(around & bit)) continue;
            if (copies) {
                // Outside the grid GetCell finds no cell either.
                if (column < 0 || row < 0 || column >= kMapGridMax || row >= kMapGridMax) continue;
                const CellCopy& copy = CopyOf(g_around, map, column, row);
                if (!copy.held || !Overlaps(copy.lo, copy.hi, segMin, segMax)) continue;
            }
            MapCell* cell = map.GetCell(column, row);
            if (!cell || cell->objects.Empty() || !Overlaps(cell->hitMin, cell->hitMax, segMin, segMax)) continue;
            for (CMapObjNode* o = cell->objects.GetHead()->next; o != cell->objects.GetTail(); o = o->next) {
                MeshObject* mesh = CollidableMesh(map, o);
                if (!mesh || !Overlaps(o->hitMin, o->hitMax, segMin, segMax)) continue;
                Vec3 localDir, localStart;
                plat::Vec3TransformNormal(&localDir, &dir, &o->inverse);
                plat::Vec3TransformCoord(&localStart, start, &o->inverse);
                float t = 0.0f;
                u32 face = 0;
                bool hit = false;
                if (within) {
                    const Vec3 localEnd = localStart + localDir * length;
                    const f32 pad = 0.5f + 1.0e-3f * (Largest(localStart) + Largest(localEnd));
                    const Vec3 margin(pad, pad, pad);
                    const Vec3 lo(Lesser(localStart.x, localEnd.x), Lesser(localStart.y, localEnd.y),
                                  Lesser(localStart.z, localEnd.z));
                    const Vec3 hi(Greater(localStart.x, localEnd.x), Greater(localStart.y, localEnd.y),
                                  Greater(localStart.z, localEnd.z));
                    hit = IntersectRayInBox(*mesh, localStart, localDir, lo - margin, hi + margin, &t, &face);
                } else {
                    hit = mesh->IntersectRay(&localStart, &localDir, &t, &face) != 0;
                }
                if (!hit || !(t < *best)) continue;
                *best = t;
                result = 1;
                if (record) {
                    record->column = column;
                    record->row = row;
                    record->object = o;
                    record->normal = mesh->triangles[face].normal;
                }
            }
        }
    }
    return result;
}

}  // namespace

void BeginMapHitPass(const BattleMap& map)
{
    AroundBoxes& a = g_around;
    const size_t cells = size_t(kMapGridMax) * kMapGridMax;
    if (a.cells.size() != cells) a.cells.assign(cells, AroundBox());
    if (a.copies.size() != cells) a.copies.assign(cells, CellCopy());
    a.map = &map;
    if (++a.pass == 0) {
        for (AroundBox& box : a.cells) box.stamp = 0;
        for (CellCopy& copy : a.copies) copy.stamp = 0;
        a.pass = 1;
    }
}

void EndMapHitPass() { g_around.map = nullptr; }

i32 HitTestMapSegment(BattleMap& map, const Vec3* start, const Vec3* end, float* distance, MapHitInfo* record)
{
    return SegmentAgainstMap(map, start, end, distance, record, false);
}

i32 HitTestMapSegmentWithin(BattleMap& map, const Vec3* start, const Vec3* end, float* distance,
                            MapHitInfo* record)
{
    return SegmentAgainstMap(map, start, end, distance, record, true);
}

i32 CollideSphereWithMap(BattleMap& map, float x, float y, float z, float radius, i32* count,
                         CList<MapHitInfo>* hits, Vec3* push)
{
    Vec3 c(x, y, z);
    const Vec3 startCentre = c;
    if (count) *count = 0;
    i32 contact = 0;
    CQueue<FaceQ> faces;
    for (i32 i = 0; i < 25; ++i) {
        i32 column0 = 0, row0 = 0;
        // The cells follow the centre as it is pushed.
        if (!CellIndex(c.x, map.cellSize, &column0) || !CellIndex(c.z, map.cellSize, &row0)) break;
        i32 column = 0, row = 0;
        MapCell* cell = AroundCell(map, column0, row0, i, &column, &row);
        if (!cell || cell->objects.Empty()) continue;
        const Vec3 r(radius, radius, radius);
        if (!Overlaps(cell->hitMin, cell->hitMax, c - r, c + r)) continue;
        for (CMapObjNode* o = cell->objects.GetHead()->next; o != cell->objects.GetTail(); o = o->next) {
            if (!Overlaps(o->hitMin, o->hitMax, c - r, c + r)) continue;
            MeshObject* mesh = CollidableMesh(map, o);
            if (!mesh) continue;
            Vec3 localCentre;
            plat::Vec3TransformCoord(&localCentre, &c, &o->inverse);
            const f32 localRadius = MatrixScaleX(&o->inverse) * radius;
            f32 length = 0.0f;
            Vec3 localDir;
            if (!PushOut(mesh, localCentre, localRadius, faces, &length, &localDir)) continue;
            Vec3 worldDir;
            plat::Vec3TransformNormal(&worldDir, &localDir, &o->matrix);
            c += worldDir * length;
            contact = 1;
            if (hits) {
                if (MapHitInfo* info = hits->NewNodeFront(1)) {
                    info->column = column;
                    info->row = row;
                    info->object = o;
                }
            }
        }
    }
    if (map.areaHitMesh) {
        // The wall mesh is modelled around the middle of the playable square.
        const Vec3 localCentre(c.x - kMapAreaOrigin, c.y, c.z - kMapAreaOrigin);
        f32 length = 0.0f;
        Vec3 dir;
        if (PushOut(map.areaHitMesh, localCentre, radius + 2.0f, faces, &length, &dir)) {
            c += dir * length;
            contact = 1;
        }
    }
    if (push) *push = c - startCentre;
    return contact;
}

i32 HitTestQuadAgainstMesh(const Vec3 quad[4], MeshObject* mesh, const Mat4* placement, Vec3* hitPoint)
{
    if (!quad || !mesh || !placement || !mesh->triangles) return 0;
    Mat4 inverse;
    if (!plat::MatrixInverse(&inverse, nullptr, placement)) return 0;
    Vec3 q[4];
    for (int i = 0; i < 4; ++i) plat::Vec3TransformCoord(&q[i], &quad[i], &inverse);
    Vec3 qMin = q[0], qMax = q[0];
    for (int i = 1; i < 4; ++i) {
        qMin = Vec3(Lesser(qMin.x, q[i].x), Lesser(qMin.y, q[i].y), Lesser(qMin.z, q[i].z));
        qMax = Vec3(Greater(qMax.x, q[i].x), Greater(qMax.y, q[i].y), Greater(qMax.z, q[i].z));
    }
    if (!Overlaps(qMin, qMax, mesh->boxMin, mesh->boxMax)) return 0;
    for (u32 f = 0; f < mesh->faceCount; ++f) {
        const CollisionTriangle& tri = mesh->triangles[f];
        const Vec3& a = tri.P0;
        const Vec3& b = tri.P1;
        const Vec3& c = tri.P2;
        // The triangle's edges through the quad's two triangles, then the
        // quad's edges through the triangle.
        const Vec3* edges[3][2] = {{&a, &b}, {&a, &c}, {&b, &c}};
        Vec3 local;
        bool hit = false;
        for (int e = 0; e < 3 && !hit; ++e) {
            hit = EdgeHitsTriangle(*edges[e][0], *edges[e][1], q[0], q[1], q[2], &local) ||
                  EdgeHitsTriangle(*edges[e][0], *edges[e][1], q[1], q[2], q[3], &local);
        }
        for (int e = 0; e < 4 && !hit; ++e) hit = EdgeHitsTriangle(q[e], q[(e + 1) % 4], a, b, c, &local);
        if (hit) {
            if (hitPoint) plat::Vec3TransformCoord(hitPoint, &local, placement);
            return 1;
        }
    }
    return 0;
}

