#include "battle/stage/MapCollision.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "tests/battle/stage/StageFixture.h"

namespace {

using MapSegments = StageFolderTest;

// Cell size 30: box.x stands 10 wide and 10 tall on y = 0 around its placement.
TEST_F(MapSegments, OnlyTheTwentyFiveCellsAroundTheStartAreSearched)
{
    StageLayout s = Basic();
    // Listed two columns and three columns right of the start's cell 0,
    // both on the segment's path.
    s.Cell(2, 0).push_back({At(75, 0, 15), 0, "@Hp = 2;"});
    // Turned 45 degrees, so its world box reaches 7.07 from its middle.
    Mat4 turned;
    plat::MatrixRotationY(&turned, 0.7853982f);
    turned.m[3][0] = 105;
    turned.m[3][2] = 45;
    s.Cell(3, 1).push_back({turned, 0, "@Hp = 3;"});
    ASSERT_EQ(Load(s), 1);
    // x = -10 lies in column 0 (truncation toward zero), so column 2 is in reach.
    Vec3 start(-10, 5, 15), end(200, 5, 15);
    float t = 0;
    MapHitInfo info;
    ASSERT_EQ(HitTestMapSegment(map, &start, &end, &t, &info), 1);
    EXPECT_FLOAT_EQ(t, 80.0f);
    EXPECT_EQ(info.column, 2);
    EXPECT_EQ(info.row, 0);
    EXPECT_EQ(info.object->GetInt(kMapVarHp), 2);
    EXPECT_EQ(info.normal, Vec3(-1, 0, 0));
    // Three columns away is never tried, however long the segment.
    start = Vec3(10, 5, 45);
    end = Vec3(3000, 5, 45);
    EXPECT_EQ(HitTestMapSegment(map, &start, &end, &t, nullptr), 0);
    EXPECT_EQ(t, FLT_MAX);
    // From one cell nearer it is found, and the ray is not cut at the end:
    // this segment stops inside the object's world box, short of its face.
    start = Vec3(40, 5, 48);
    end = Vec3(98.5f, 5, 48);
    ASSERT_EQ(HitTestMapSegment(map, &start, &end, &t, &info), 1);
    EXPECT_NEAR(t, 65.0f - 7.0710678f + 3.0f, 1e-3f);
    EXPECT_GT(t, 58.5f);
    EXPECT_EQ(info.object->GetInt(kMapVarHp), 3);
    // Outside the grid and at coordinates no cell can hold: nothing, no fault.
    for (const Vec3& p : {Vec3(-100, 5, 15), Vec3(1e30f, 5, 0), Vec3(NAN, 5, 0)}) {
        end = p + Vec3(1, 0, 0);
        EXPECT_EQ(HitTestMapSegment(map, &p, &end, &t, nullptr), 0);
    }
}

TEST_F(MapSegments, TiesKeepTheFirstFoundAndSwitchedOffObjectsAreSkipped)
{
    StageLayout s = Basic();
    // Two boxes in the same place: one listed in the start's cell, one in the
    // cell before it; the cell walk visits rows first, so the lower row wins.
    s.Cell(2, 2).push_back({At(75, 0, 75), 0, "@Hp = 22;"});
    s.Cell(2, 1).push_back({At(75, 0, 75), 0, "@Hp = 21;"});
    s.Cell(2, 1).push_back({At(75, 0, 75), 0, "@Hp = 99;"});
    // Nearer, but not collidable.
    s.Cell(1, 2).push_back({At(50, 0, 75), 0, "@HitFlag = 0;"});
    ASSERT_EQ(Load(s), 1);
    const Vec3 start(30, 5, 75), end(120, 5, 75);
    float t = 0;
    MapHitInfo info;
    ASSERT_EQ(HitTestMapSegment(map, &start, &end, &t, &info), 1);
    EXPECT_FLOAT_EQ(t, 40.0f);
    EXPECT_EQ(info.object->GetInt(kMapVarHp), 21);
    EXPECT_EQ(info.row, 1);
}

TEST_F(MapSegments, RecordedNormalStaysInTheObjectsOwnSpace)
{
    StageLayout s = Basic();
    Mat4 turned;
    plat::MatrixRotationY(&turned, 1.5707964f);
    turned.m[3][0] = 45;
    turned.m[3][2] = 45;
    s.Cell(1, 1).push_back({turned, 0, ""});
    ASSERT_EQ(Load(s), 1);
    const Vec3 start(45, 20, 45), end(45, -5, 45);
    float t = 0;
    MapHitInfo info;
    ASSERT_EQ(HitTestMapSegment(map, &start, &end, &t, &info), 1);
    EXPECT_NEAR(t, 10.0f, 1e-5f);
    EXPECT_EQ(info.normal, Vec3(0, 1, 0));
    // Hit from the world's -x side: the box's own -z face after the turn.
    const Vec3 side(0, 5, 45), past(100, 5, 45);
    ASSERT_EQ(HitTestMapSegment(map, &side, &past, &t, &info), 1);
    EXPECT_NEAR(t, 40.0f, 1e-4f);
    EXPECT_NEAR(info.normal.z, -1.0f, 1e-6f);
}

TEST_F(MapSegments, AHitPassSeesWhatChangedInTheCellsSinceTheLast)
{
    StageLayout s = Basic();
    s.Cell(1, 1).push_back({At(45, 0, 45), 0, "@Hp = 1;"});
    ASSERT_EQ(Load(s), 1);
    const Vec3 start(45, 5, 75), end(45, 5, 100);
    float t = 0;
    BeginMapHitPass(map);
    EXPECT_EQ(HitTestMapSegmentWithin(map, &start, &end, &t, nullptr), 0);
    EndMapHitPass();
    // A piece appears in the cell the segment crosses, as a wreck's
    // replacement does.
    MapCell* cell = map.GetCell(1, 2);
    ASSERT_NE(cell, nullptr);
    CMapObjNode* added = cell->objects.NewNode(1);
    ASSERT_NE(added, nullptr);
    added->matrix = At(45, 0, 90);
    plat::MatrixInverse(&added->inverse, nullptr, &added->matrix);
    added->vars[kMapVarHitFlag] = 1;
    map.ComputeCellBounds(1, 2);
    BeginMapHitPass(map);
    EXPECT_EQ(HitTestMapSegmentWithin(map, &start, &end, &t, nullptr), 1);
    EndMapHitPass();
    EXPECT_FLOAT_EQ(t, 10.0f);
}

using MapSpheres = StageFolderTest;

TEST_F(MapSpheres, PushesAddUpAcrossObjectsAndEachTouchedObjectIsListed)
{
    StageLayout s = Basic();
    s.Cell(1, 1).push_back({At(45, -10, 45), 0, "@Hp = 1;"});  // top at y = 0
    s.Cell(1, 1).push_back({At(56, 0, 45), 0, "@Hp = 2;"});    // a wall at x = 51
    ASSERT_EQ(Load(s), 1);
    CList<MapHitInfo> hits;
    i32 count = 7;
    Vec3 push;
    // Sunk 0.5 into the floor and 0.5 into the wall.
    ASSERT_EQ(CollideSphereWithMap(map, 49.5f, 1.5f, 45.0f, 2.0f, &count, &hits, &push), 1);
    EXPECT_EQ(count, 0);
    EXPECT_NEAR(push.x, -0.5f, 1e-5f);
    EXPECT_NEAR(push.y, 0.5f, 1e-5f);
    EXPECT_NEAR(push.z, 0.0f, 1e-5f);
    ASSERT_EQ(hits.GetCount(), 2u);
    // Newest first.
    EXPECT_EQ(hits.GetAt(0)->object->GetInt(kMapVarHp), 2);
    EXPECT_EQ(hits.GetAt(1)->object->GetInt(kMapVarHp), 1);
    EXPECT_EQ(hits.GetAt(1)->column, 1);
    // Beside an edge the corner stage pushes; clear of everything nothing does.
    ASSERT_EQ(CollideSphereWithMap(map, 50.5f, 10.5f, 45.0f, 1.0f, nullptr, nullptr, &push), 1);
    EXPECT_NEAR(std::sqrt(push.x * push.x + push.y * push.y), 1.0f - std::sqrt(0.5f), 1e-4f);
    EXPECT_LT(push.x, 0.0f);
    EXPECT_GT(push.y, 0.0f);
    EXPECT_EQ(CollideSphereWithMap(map, 45.0f, 5.0f, 45.0f, 1.0f, nullptr, nullptr, &push), 0);
    EXPECT_EQ(push, Vec3());
    // Off the grid, or at a point no cell holds, without a wall mesh: nothing.
    EXPECT_EQ(CollideSphereWithMap(map, -500.0f, 1.0f, 45.0f, 3.0f, nullptr, &hits, &push), 0);
    EXPECT_EQ(CollideSphereWithMap(map, NAN, 1.0f, 45.0f, 3.0f, nullptr, &hits, &push), 0);
}

TEST_F(MapSpheres, TheAreaWallSitsAroundTheMiddleAndListsNothing)
{
    // A wall 100 units east of (1500, 0, 1500), its inner face at local x = 100.
    WriteMesh("wall.x", {{{100, -20, -300}, {110, 50, 300}}});
    StageLayout s = Basic(2, 2);
    s.parts.push_back({"wall.x", "", -1, 0, "AreaHitXFile"});
    ASSERT_EQ(Load(s), 1);
    ASSERT_NE(map.areaHitMesh, nullptr);
    CList<MapHitInfo> hits;
    Vec3 push;
    // Radius 1 grows by 2 for the wall: centre 1 unit from the face, pushed 2.
    ASSERT_EQ(CollideSphereWithMap(map, 1599.0f, 5.0f, 1500.0f, 1.0f, nullptr, &hits, &push), 1);
    EXPECT_NEAR(push.x, -2.0f, 1e-4f);
    EXPECT_EQ(hits.GetCount(), 0u);
    // Far from the grid the wall still holds robots in.
    EXPECT_EQ(CollideSphereWithMap(map, 1598.5f, 5.0f, 1700.0f, 2.0f, nullptr, nullptr, &push), 1);
    EXPECT_EQ(CollideSphereWithMap(map, 1590.0f, 5.0f, 1500.0f, 1.0f, nullptr, nullptr, &push), 0);
}

using BladeQuads = StageFolderTest;

TEST_F(BladeQuads, SweptQuadFindsTheMeshInItsPlacement)
{
    StageLayout s = Basic(1, 1);
    ASSERT_EQ(Load(s), 1);
    MeshObject* box = map.parts[0].hitMesh.get();
    ASSERT_NE(box, nullptr);
    Mat4 place = At(100, 0, 0);
    // A blade 20 long swept flat through the box's middle from z = -20 to z = 20.
    const Vec3 through[4] = {{90, 5, -20}, {110, 5, -20}, {90, 5, 20}, {110, 5, 20}};
    Vec3 hit;
    ASSERT_EQ(HitTestQuadAgainstMesh(through, box, &place, &hit), 1);
    EXPECT_NEAR(hit.y, 5.0f, 1e-4f);
    EXPECT_GE(hit.x, 95.0f - 1e-4f);
    EXPECT_LE(hit.x, 105.0f + 1e-4f);
    EXPECT_LE(std::fabs(hit.z), 5.0f + 1e-4f);
    // A small blade wholly inside the box meets no surface; one above it and
    // one far away are turned back by the bounds.
    const Vec3 within[4] = {{98, 5, -2}, {102, 5, -2}, {98, 5, 2}, {102, 5, 2}};
    EXPECT_EQ(HitTestQuadAgainstMesh(within, box, &place, &hit), 0);
    const Vec3 above[4] = {{90, 12, -20}, {110, 12, -20}, {90, 12, 20}, {110, 12, 20}};
    EXPECT_EQ(HitTestQuadAgainstMesh(above, box, &place, &hit), 0);
    const Vec3 away[4] = {{-10, 5, -20}, {10, 5, -20}, {-10, 5, 20}, {10, 5, 20}};
    EXPECT_EQ(HitTestQuadAgainstMesh(away, box, &place, &hit), 0);
    // Upright through the box: the faces' diagonals cross it first.
    const Vec3 inside[4] = {{90, 1, 0}, {110, 1, 0}, {90, 9, 0}, {110, 9, 0}};
    ASSERT_EQ(HitTestQuadAgainstMesh(inside, box, &place, &hit), 1);
    EXPECT_NEAR(std::fabs(hit.x - 100.0f), 5.0f, 1e-3f);
}

}  // namespace
