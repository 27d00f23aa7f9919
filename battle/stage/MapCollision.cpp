#include "battle/stage/MapCollision.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/core/Queue.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/MeshObject.h"
#include "platform/math/Math.h"
#include "platform/math/FourLanes.h"

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

// A query's box with x, y, z side by side (the fourth lane unused), so the
// first test of a neighbourhood is one comparison of lanes.
struct QueryBox {
    plat::Four lo, hi;
};

plat::Four XYZ(const Vec3& v) { return plat::Four{v.x, v.y, v.z, 0.0f}; }

QueryBox BoxOf(const Vec3& lo, const Vec3& hi) { return {XYZ(lo), XYZ(hi)}; }

// The segment's box by Lesser and Greater, lane by lane.
QueryBox SegmentBox(const Vec3& start, const Vec3& end)
{
    const plat::Four s = XYZ(start), e = XYZ(end);
    const plat::FourMask endNaN = e != e;
    return {(s < e) | endNaN ? s : e, (s > e) | endNaN ? s : e};
}

Vec3 Lane3(const plat::Four& f) { return Vec3(f[0], f[1], f[2]); }

// Overlaps' six comparisons, the query being the second box.
bool Meets(const plat::Four& lo, const plat::Four& hi, const QueryBox& q)
{
    return (plat::LaneBits((q.lo <= hi) & (q.hi >= lo)) & 7u) == 7u;
}

// While the hit pass runs no map object moves, breaks or appears (breaking
// waits for the object pass), and between passes the cells change only with
// the map's cellsVersion, so each neighbourhood of 5 x 5 cells a query
// starts in keeps, until the version changes, its cells' hit boxes side by
// side, four cells to a comparison: one walk of seven comparisons finds the
// cells whose boxes a query's box meets, with the cell test's own
// comparisons, instead of 25 tests one cell record after another.
struct AroundLanes {
    static constexpr int kLanes = 28;  // seven groups of four; lane i is cell bit i
    alignas(16) f32 lo[3][kLanes];     // by axis x, y, z
    alignas(16) f32 hi[3][kLanes];
};
struct AroundSlot {
    u32 stamp = 0;  // the AroundBoxes::stamp the lanes were made under
    u32 lanes = 0;  // index into AroundBoxes::lanes
    u32 held = 0;   // bit 5 * (row - row0 + 2) + (column - column0 + 2): that cell holds objects
    // Round the held cells' boxes: most queries miss it, and find that out
    // from this one record. A cell's test needs its box to reach the query
    // on every axis, so a query missing this box misses each cell; a NaN
    // fails its cell's test and is left out of it.
    plat::Four allLo{}, allHi{};
};
struct AroundBoxes {
    const BattleMap* map = nullptr;   // during a hit pass
    const BattleMap* made = nullptr;  // the map and version the lanes were made from
    u32 version = 0;
    u32 stamp = 0;
    u32 used = 0;                     // lanes made under the stamp
    std::vector<AroundSlot> slots;    // by row and column, as cells
    std::vector<AroundLanes> lanes;  // the neighbourhoods looked at
} g_around;

constexpr u32 kAllAround = (1u << 25) - 1;

[[gnu::noinline]] void MakeLanes(AroundBoxes& a, BattleMap& map, i32 column0, i32 row0, AroundSlot& slot)
{
    slot.stamp = a.stamp;
    slot.lanes = a.used++;
    if (a.lanes.size() < a.used) a.lanes.resize(a.used);
    AroundLanes& n = a.lanes[slot.lanes];
    // GetCell's bounds, once for the whole neighbourhood.
    const i32 columns = std::min<i32>(map.gridWidth, kMapGridMax), rows = std::min<i32>(map.gridDepth, kMapGridMax);
    const i32 columnLo = std::max(column0 - 2, 0), columnHi = std::min(column0 + 2, columns - 1);
    // Only the lanes of cells holding objects are written: held masks the
    // others out of every answer, whatever was left in them before.
    u32 held = 0;
    Vec3 allLo(INFINITY, INFINITY, INFINITY), allHi(-INFINITY, -INFINITY, -INFINITY);
    for (i32 row = std::max(row0 - 2, 0); row <= std::min(row0 + 2, rows - 1); ++row)
        for (i32 column = columnLo; column <= columnHi; ++column) {
            const MapCell& cell = map.cells[row][column];
            if (cell.objects.Empty()) continue;
            const i32 i = 5 * (row - row0 + 2) + (column - column0 + 2);
            held |= 1u << i;
            n.lo[0][i] = cell.hitMin.x;
            n.lo[1][i] = cell.hitMin.y;
            n.lo[2][i] = cell.hitMin.z;
            n.hi[0][i] = cell.hitMax.x;
            n.hi[1][i] = cell.hitMax.y;
            n.hi[2][i] = cell.hitMax.z;
            // std::min and std::max keep the first value against a NaN.
            allLo = Vec3(std::min(allLo.x, cell.hitMin.x), std::min(allLo.y, cell.hitMin.y),
                         std::min(allLo.z, cell.hitMin.z));
            allHi = Vec3(std::max(allHi.x, cell.hitMax.x), std::max(allHi.y, cell.hitMax.y),
                         std::max(allHi.z, cell.hitMax.z));
        }
    slot.held = held;
    slot.allLo = XYZ(allLo);
    slot.allHi = XYZ(allHi);
}

// The cells around (column0, row0) that hold objects and whose hit boxes
// meet the query's box by Overlaps' test; all 25 when not known (outside a
// hit pass or the grid), for the caller to test one by one.
u32 CellsMayMeet(BattleMap& map, i32 column0, i32 row0, const QueryBox& q)
{
    AroundBoxes& a = g_around;
    if (a.map != &map || column0 < 0 || row0 < 0 || column0 >= kMapGridMax || row0 >= kMapGridMax)
        return kAllAround;
    AroundSlot& slot = a.slots[size_t(row0) * kMapGridMax + column0];
    if (slot.stamp != a.stamp) MakeLanes(a, map, column0, row0, slot);
    if (!slot.held || !Meets(slot.allLo, slot.allHi, q)) return 0;
    const AroundLanes& n = a.lanes[slot.lanes];
    const Vec3 lo = Lane3(q.lo), hi = Lane3(q.hi);
    u32 meet = 0;
    for (int g = 0; g < AroundLanes::kLanes; g += 4)
        meet |= plat::FourBoxesMeet(lo, hi, &n.lo[0][g], &n.hi[0][g], AroundLanes::kLanes) << g;
    return meet & slot.held;
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
    i32 column0 = 0, row0 = 0;
    if (!CellIndex(start->x, map.cellSize, &column0) || !CellIndex(start->z, map.cellSize, &row0)) return 0;
    const QueryBox box = SegmentBox(*start, *end);
    const u32 around = CellsMayMeet(map, column0, row0, box);
    if (!around) return 0;
    const Vec3 segMin = Lane3(box.lo), segMax = Lane3(box.hi);
    // Most segments stop above, before the direction's square root.
    const Vec3 delta = *end - *start;
    Vec3 dir;
    plat::Vec3Normalize(&dir, &delta);
    // Only triangles near the segment can hold a hit within it; the margin
    // keeps float rounding of the ray test on the safe side.
    const f32 length = plat::Vec3Length(&delta);
    within = within && std::isfinite(length) && std::isfinite(Largest(*start)) && std::isfinite(Largest(*end));
    // The cells around the start that may meet the segment, row by row
    // (AroundCell's order).
    for (u32 rest = around; rest; rest &= rest - 1) {
        i32 column = 0, row = 0;
        MapCell* cell = AroundCell(map, column0, row0, __builtin_ctz(rest), &column, &row);
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
                hit = mesh->IntersectRayInBox(&localStart, &localDir, lo - margin, hi + margin, &t, &face) != 0;
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
    return result;
}

}  // namespace

void BeginMapHitPass(const BattleMap& map)
{
    AroundBoxes& a = g_around;
    const size_t cells = size_t(kMapGridMax) * kMapGridMax;
    if (a.slots.size() != cells) a.slots.assign(cells, AroundSlot());
    a.map = &map;
    if (a.made == &map && a.version == map.cellsVersion) return;
    a.made = &map;
    a.version = map.cellsVersion;
    a.used = 0;
    if (++a.stamp == 0) {
        for (AroundSlot& slot : a.slots) slot.stamp = 0;
        a.stamp = 1;
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
    const Vec3 r(radius, radius, radius);
    i32 column0 = 0, row0 = 0;
    const bool placed = CellIndex(c.x, map.cellSize, &column0) && CellIndex(c.z, map.cellSize, &row0);
    // The 25 cells around the centre in AroundCell's order, only those that
    // may meet the sphere's box; a push moves the centre, and the cells after
    // follow it from where it then is.
    u32 rest = placed ? CellsMayMeet(map, column0, row0, BoxOf(c - r, c + r)) : 0;
    for (; rest; rest &= rest - 1) {
        const i32 i = __builtin_ctz(rest);
        i32 column = 0, row = 0;
        MapCell* cell = AroundCell(map, column0, row0, i, &column, &row);
        if (!cell || cell->objects.Empty() || !Overlaps(cell->hitMin, cell->hitMax, c - r, c + r)) continue;
        bool moved = false;
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
            moved = true;
            contact = 1;
            if (hits) {
                if (MapHitInfo* info = hits->NewNodeFront(1)) {
                    info->column = column;
                    info->row = row;
                    info->object = o;
                }
            }
        }
        if (!moved) continue;
        if (!CellIndex(c.x, map.cellSize, &column0) || !CellIndex(c.z, map.cellSize, &row0)) break;
        // Bit i stays for the loop's step to clear.
        rest = (CellsMayMeet(map, column0, row0, BoxOf(c - r, c + r)) & ~((2u << i) - 1)) | (1u << i);
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

