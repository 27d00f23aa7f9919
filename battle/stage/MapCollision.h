#pragma once
// Collision queries against the stage. Every query looks only at the 5 x 5
// cells around its point and at objects whose boxes meet its own box, and
// tests meshes in each object's own space so no mesh is ever transformed.
// The scene's members of the same names forward here with its map.
#include "battle/stage/BattleMap.h"
#include "engine/core/TaskList.h"
#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

class MeshObject;

// The ray from start towards end against the objects' hit meshes. The ray is
// not cut at end: *distance (from start, FLT_MAX without a hit) may exceed
// the segment's length, and callers compare. The first hit found wins a tie.
// record (may be null) receives the cell, the object and the triangle normal.
i32 HitTestMapSegment(BattleMap& map, const Vec3* start, const Vec3* end, float* distance, MapHitInfo* record);
// The same for callers that take only a hit within the segment (up to end):
// triangles away from the segment are passed over before the ray test. A hit
// within it comes out exactly as above; beyond it, none or a farther one.
i32 HitTestMapSegmentWithin(BattleMap& map, const Vec3* start, const Vec3* end, float* distance,
                            MapHitInfo* record);

// The battle's hit pass brackets its walk with these: no map object moves or
// changes between them, so the queries may keep what they learn of the
// cells for the rest of the pass, and for the next ones while the map's
// cellsVersion stays the same.
void BeginMapHitPass(const BattleMap& map);
void EndMapHitPass();

// Pushes the sphere out of the map objects and the area wall. count (may be
// null) is set to 0; hits (may be null) receive one entry per object pushed
// from; push (may be null) receives the total displacement. 1 on contact.
i32 CollideSphereWithMap(BattleMap& map, float x, float y, float z, float radius, i32* count,
                         CList<MapHitInfo>* hits, Vec3* push);

// A swept blade quad (q0, q1, q2), (q1, q2, q3) against a mesh placed by
// placement. 1 with the world contact point in hitPoint.
i32 HitTestQuadAgainstMesh(const Vec3 quad[4], MeshObject* mesh, const Mat4* placement, Vec3* hitPoint);
