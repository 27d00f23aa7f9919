#include <cfloat>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "battle/stage/BattleMap.h"
#include "battle/stage/MapCollision.h"
#include "engine/graphics/MeshObject.h"
#include "platform/math/Math.h"
#include "support/TempFolder.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"

namespace {

// A 2 x 2 x 2 box around its origin, twelve triangles facing out.
const char* kBoxX = R"(xof 0303txt 0032
Mesh Box {
 8; -1;-1;-1;, 1;-1;-1;, 1;1;-1;, -1;1;-1;, -1;-1;1;, 1;-1;1;, 1;1;1;, -1;1;1;;
 12; 3;0,2,1;, 3;0,3,2;, 3;4,5,6;, 3;4,6,7;, 3;0,1,5;, 3;0,5,4;,
 3;3,7,6;, 3;3,6,2;, 3;1,2,6;, 3;1,6,5;, 3;0,4,7;, 3;0,7,3;;
}
)";

// One breakable box at (0, 1, 15) in cell (0, 0) of a 30-unit grid.
struct BoxStage {
    TempFolder folder;
    BattleMap map;
    CMapObjNode* box = nullptr;

    BoxStage()
    {
        EXPECT_TRUE(folder.Write("box.x", kBoxX));
        map.parts.Create(1);
        map.parts[0].hitMesh = std::make_unique<MeshObject>();
        const std::string path = folder / "box.x";
        EXPECT_EQ(map.parts[0].hitMesh->Load(path.c_str(), MeshObject::NoTextures, nullptr), 1);
        map.parts[0].hitMesh->ComputeBounds();
        map.parts[0].hitMesh->BuildCollisionTriangles();
        map.cells = std::make_unique<MapCell[][kMapGridMax]>(kMapGridMax);
        map.gridWidth = 4;
        map.gridDepth = 4;
        map.cellSize = 30.0f;
        MapCell* cell = map.GetCell(0, 0);
        EXPECT_NE(cell, nullptr);
        box = cell->objects.NewNode(1);
        box->partIndex = 0;
        box->matrix.m[3][1] = 1.0f;
        box->matrix.m[3][2] = 15.0f;
        box->inverse = box->matrix;
        box->inverse.m[3][1] = -1.0f;
        box->inverse.m[3][2] = -15.0f;
        box->hitMin = Vec3(-1, 0, 14);
        box->hitMax = Vec3(1, 2, 16);
        box->vars[kMapVarHitFlag] = 1;
        box->SetInt(kMapVarHitProc, 1);
        box->SetInt(kMapVarHp, 80);
        box->SetInt(kMapVarDestroyProc, 3);
        cell->hitMin = box->hitMin;
        cell->hitMax = box->hitMax;
    }
};

// Counts the objects that offered themselves to it.
class Counter : public LZ_Standard {
public:
    i32 HitTestObject(BB_Base* tester) override
    {
        testers.push_back(tester);
        return 0;
    }
    i32 OnHitMap(const Vec3* point, LASERNODE*, const Vec3* normal) override
    {
        mapHits.push_back(*point);
        normals.push_back(normal ? *normal : Vec3());
        return 0;
    }
    std::vector<BB_Base*> testers;
    std::vector<Vec3> mapHits, normals;
};

class RobotProbe : public BB_Base {
public:
    i32 HitTestObject(BB_Base* tester) override
    {
        ++offers;
        last = tester;
        return 0;
    }
    int offers = 0;
    BB_Base* last = nullptr;
};

// Stands where a robot would and, offered a trail, checks each segment the
// segment-by-segment shortcut passes over against the distance test robots
// make of a segment before measuring it against their meshes, and that a walk
// jumping to a segment lands on its own points.
class SegmentProbe : public BB_Base {
public:
    i32 HitTestObject(BB_Base* tester) override
    {
        auto* w = static_cast<LZ_Standard*>(tester);
        i32 i = 0;
        for (LASERNODE* a = w->Laser.Newest(); a && i < w->SegmentsToTest(); a = w->Laser.Older(a), ++i) {
            const LASERNODE* b = w->Laser.Older(a);
            if (!b) break;
            EXPECT_EQ(WeaponPassSegmentNewer(w, i), a);
            const i32 near = WeaponPassNearSegment(w, i, at, radius);
            EXPECT_GE(near, i);
            const Vec3 ab = a->Position - b->Position;
            const Vec3 toMid = at - (b->Position + ab / 2.0f);
            const bool meets = plat::Vec3Length(&toMid) <= plat::Vec3Length(&ab) / 2.0f + radius;
            if (near > i) {
                EXPECT_FALSE(meets);
            }
            ++(near > i ? counts[0] : counts[1]);
            counts[2] += meets;
        }
        EXPECT_EQ(WeaponPassSegmentNewer(w, i), nullptr);
        return 0;
    }
    Vec3 at;
    f32 radius = 0.0f;
    int* counts = nullptr;  // segments passed over, kept, and met
};

// A weapon that keeps the real weapon-against-weapon test and logs every
// reaction; both weapons of a hit are knocked aside, as some are in battle.
class Logged : public LZ_Standard {
public:
    struct Event {
        int who, kind;
        Vec3 at;
        bool operator==(const Event& o) const { return who == o.who && kind == o.kind && !std::memcmp(&at, &o.at, sizeof at); }
    };
    i32 OnHitWeapon(const Vec3* contact) override
    {
        log->push_back({id, 0, *contact});
        Laser.World.m[3][2] -= 5.0f;
        return 0;
    }
    i32 OnHitByWeapon(const Vec3* contact) override
    {
        log->push_back({id, 1, *contact});
        Laser.World.m[3][0] += 6.0f;
        return 0;
    }
    int id = 0;
    std::vector<Event>* log = nullptr;
};

// A crowd of weapons from one seed, every one then running its hit pass in
// list order, inside the battle's pass brackets or not; the reactions each way.
std::vector<Logged::Event> CrowdPass(u32 seed, bool bracketed)
{
    std::mt19937 random(seed);
    auto unit = [&] { return std::uniform_real_distribution<float>(0.0f, 1.0f)(random); };
    CList<BB_Base> weapons;
    std::vector<Logged::Event> log;
    for (int i = 0; i < 120; ++i) {
        Logged* w = NewObject<Logged>(&weapons, 1);
        w->id = i;
        w->log = &log;
        w->Owner = w;
        w->Team = static_cast<i32>(random() % 3);
        w->HitMask = (unit() < 0.6f ? kHitWeapons : 0u) | (unit() < 0.6f ? kHitByWeapons : 0u);
        w->Width = unit() < 0.1f ? 40.0f : 0.2f + unit();
        w->RehitInterval = 3;
        w->TestSegments = static_cast<i32>(random() % 4);
        w->Laser.MaxPoints = 6;
        const Vec3 at(unit() * 40.0f, unit() * 4.0f, unit() * 40.0f);
        w->Laser.World.m[3][0] = at.x;
        w->Laser.World.m[3][1] = at.y;
        w->Laser.World.m[3][2] = at.z;
        Vec3 p = at;
        for (int k = 0, n = 1 + static_cast<int>(random() % 4); k < n; ++k) {
            w->Laser.AddPoint(p);
            p = p + Vec3(unit() * 8.0f - 4.0f, unit() - 0.5f, unit() * 8.0f - 4.0f);
        }
        // Now and then a trail no grid can place.
        if (i % 37 == 5) w->Laser.World.m[3][0] = NAN;
    }
    const WeaponArena arena{&weapons, nullptr, nullptr};
    for (int pass = 0; pass < 3; ++pass) {
        if (bracketed) BeginWeaponHitPass();
        int walked = 0;
        for (BB_Base* o = weapons.GetHead()->next; o != weapons.GetTail(); o = o->next) {
            static_cast<LZ_Standard*>(o)->HitTestPassIn(arena);
            // Now and then something outside any weapon's pass moves the
            // weapon ahead onto the trail of one a little further on, and
            // says so, as a billboard's reaction would.
            BB_Base* moved = o->next;
            BB_Base* onto = moved;
            for (int k = 0; k < 3 && onto != weapons.GetTail(); ++k) onto = onto->next;
            if (++walked % 7 == 0 && onto != weapons.GetTail()) {
                if (const LASERNODE* p = static_cast<LZ_Standard*>(onto)->Laser.Newest()) {
                    Mat4& m = static_cast<LZ_Standard*>(moved)->Laser.World;
                    m.m[3][0] = p->Position.x;
                    m.m[3][1] = p->Position.y;
                    m.m[3][2] = p->Position.z;
                    MarkWeaponPassChanged();
                }
            }
        }
        if (bracketed) EndWeaponHitPass();
    }
    return log;
}

}  // namespace

// The battle's pass visits only weapons and cells near each trail; whatever
// it passes over, it must meet exactly what the full walk meets, in order.
TEST(WeaponHitPassTest, TheBattlesNarrowedPassMeetsWhatTheFullWalkMeets)
{
    size_t reactions = 0;
    for (u32 seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        const std::vector<Logged::Event> full = CrowdPass(seed, false);
        EXPECT_EQ(CrowdPass(seed, true), full);
        reactions += full.size();
    }
    EXPECT_GT(reactions, 100u);

    // Robots near a trail: no segment passed over could have met them.
    std::mt19937 scatter(5);
    auto unit = [&] { return std::uniform_real_distribution<float>(0.0f, 1.0f)(scatter); };
    int counts[3] = {};
    for (int round = 0; round < 60; ++round) {
        CList<BB_Base> weapons, robots;
        for (int i = 0; i < 12; ++i) {
            SegmentProbe* probe = NewObject<SegmentProbe>(&robots, 1);
            probe->at = Vec3(unit() * 20.0f, unit() * 3.0f, unit() * 20.0f);
            probe->radius = 0.5f + unit() * 3.0f;
            probe->counts = counts;
        }
        LZ_Standard* w = NewObject<LZ_Standard>(&weapons, 1);
        w->HitMask = kHitRobots;
        w->TestSegments = static_cast<i32>(scatter() % 10) - 1;
        w->Laser.MaxPoints = 12;
        Vec3 p(unit() * 20.0f, unit() * 3.0f, unit() * 20.0f);
        for (int k = 0, n = 1 + static_cast<int>(scatter() % 10); k < n; ++k) {
            w->Laser.AddPoint(p);
            p = p + Vec3(unit() * 12.0f - 6.0f, unit() - 0.5f, unit() * 12.0f - 6.0f);
        }
        w->HitTestPassIn(WeaponArena{&weapons, &robots, nullptr});
        // Outside its pass nothing is passed over, nor jumped to.
        EXPECT_EQ(WeaponPassNearSegment(w, 0, Vec3(1e6f, 0.0f, 0.0f), 1.0f), 0);
        EXPECT_EQ(WeaponPassSegmentNewer(w, 0), nullptr);
    }
    EXPECT_GT(counts[0], 300);
    EXPECT_GT(counts[1], 200);
    EXPECT_GT(counts[2], 30);

    // Stage segments: within the segment, the bounded test and the cell
    // neighbourhoods of the pass find what the plain test finds.
    BoxStage stage;
    std::mt19937 random(7);
    auto coordinate = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
    int within = 0;
    for (int i = 0; i < 4000; ++i) {
        // Round the box at (0, 1, 15), some from cells away.
        const float spread = i % 4 == 0 ? 40.0f : 5.0f;
        const Vec3 a(coordinate(-spread, spread), coordinate(-2, 4), 15 + coordinate(-spread, spread));
        const Vec3 b = a + Vec3(coordinate(-6, 6), coordinate(-2, 2), coordinate(-6, 6));
        const Vec3 d = b - a;
        const float length = plat::Vec3Length(&d);
        float t0 = 0, t1 = 0, t2 = 0;
        MapHitInfo r0, r1, r2;
        const i32 h0 = HitTestMapSegment(stage.map, &a, &b, &t0, &r0);
        HitTestMapSegmentWithin(stage.map, &a, &b, &t1, &r1);
        BeginMapHitPass(stage.map);
        const i32 h2 = HitTestMapSegment(stage.map, &a, &b, &t2, &r2);
        EndMapHitPass();
        EXPECT_EQ(h2, h0);
        EXPECT_EQ(t2, t0);
        if (!(h0 && t0 < length)) {
            EXPECT_FALSE(t1 < length);
            continue;
        }
        ++within;
        EXPECT_EQ(t1, t0);
        EXPECT_EQ(r1.object, r0.object);
        EXPECT_EQ(r1.normal, r0.normal);
    }
    EXPECT_GT(within, 50);
}

TEST(WeaponHitPassTest, MaskChoosesWhoIsOffered)
{
    BoxStage stage;
    for (u32 mask : {0u, 1u, 2u, 4u, 7u}) {
        SCOPED_TRACE(mask);
        CList<BB_Base> weapons, robots;
        RobotProbe* robot = NewObject<RobotProbe>(&robots, 1);
        Counter* other = NewObject<Counter>(&weapons, 1);
        Counter* shot = NewObject<Counter>(&weapons, 1);
        shot->HitMask = mask;
        shot->TestSegments = 5;
        shot->Laser.MaxPoints = 5;
        shot->Laser.AddPoint(Vec3(-5, 1, 15));
        shot->Laser.AddPoint(Vec3(5, 1, 15));
        shot->HitTestPassIn(WeaponArena{&weapons, &robots, &stage.map});
        EXPECT_EQ(robot->offers, (mask & 1) ? 1 : 0);
        EXPECT_EQ(robot->last, (mask & 1) ? shot : nullptr);
        // Every weapon is offered the shot, the shot itself included.
        EXPECT_EQ(other->testers.size(), (mask & 4) ? 1u : 0u);
        EXPECT_EQ(shot->testers.size(), (mask & 4) ? 1u : 0u);
        EXPECT_EQ(shot->mapHits.size(), (mask & 2) ? 1u : 0u);
    }
}

TEST(WeaponHitPassTest, BreakableStageObjectLosesHpAndBreaks)
{
    BoxStage stage;
    CList<BB_Base> weapons;
    Counter* shot = NewObject<Counter>(&weapons, 1);
    shot->HitMask = kHitStage;
    shot->Damage = 50;
    shot->TestSegments = 3;
    shot->Laser.MaxPoints = 5;
    shot->Laser.AddPoint(Vec3(-5, 1, 15));
    shot->Laser.AddPoint(Vec3(5, 1, 15));
    const WeaponArena arena{&weapons, nullptr, &stage.map};

    shot->HitTestPassIn(arena);
    ASSERT_EQ(shot->mapHits.size(), 1u);
    EXPECT_NEAR(shot->mapHits[0].x, -1.0f, 1e-4f);  // where the trail enters the box
    EXPECT_NEAR(shot->normals[0].x, -1.0f, 1e-4f);
    EXPECT_EQ(stage.box->GetInt(kMapVarHp), 30);
    EXPECT_EQ(stage.box->GetInt(kMapVarFlag), 0);
    EXPECT_EQ(stage.map.destroyList.GetCount(), 0u);

    shot->HitTestPassIn(arena);
    EXPECT_EQ(stage.box->GetInt(kMapVarHp), -20);
    EXPECT_EQ(stage.box->GetInt(kMapVarFlag), 1);
    ASSERT_EQ(stage.map.destroyList.GetCount(), 1u);
    const MapDestroyObjNode* broken = stage.map.destroyList.GetHead()->next;
    EXPECT_EQ(broken->object, stage.box);
    EXPECT_EQ(broken->cell, stage.map.GetCell(0, 0));
    EXPECT_EQ(broken->destroyProc, 3);
    EXPECT_EQ(broken->dropHeight, 100);  // a box 2 high

    // Broken once: later hits still stop the shot but damage nothing.
    shot->HitTestPassIn(arena);
    EXPECT_EQ(shot->mapHits.size(), 3u);
    EXPECT_EQ(stage.box->GetInt(kMapVarHp), -20);
    EXPECT_EQ(stage.map.destroyList.GetCount(), 1u);

    // A segment that stops short of the box, and a negative segment count, test nothing.
    shot->Laser.AddPoint(Vec3(6, 1, 15));
    shot->TestSegments = 1;
    shot->HitTestPassIn(arena);
    shot->TestSegments = -1;
    shot->HitTestPassIn(arena);
    EXPECT_EQ(shot->mapHits.size(), 3u);
}
