#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/MTRand.h"
#include "support/RecordingGraphics.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"

namespace {

int Walk(const CLaser& laser)
{
    int n = 0;
    for (LASERNODE* p = laser.Newest(); p; p = laser.Older(p)) ++n;
    return n;
}

}  // namespace

// Random adds, inserts, removals, marks and hit passes between two weapons:
// the count always matches the points, the size limit holds, hit records
// never outlive their interval and draws never pass the shared array.
TEST(TrailFuzzTest, RandomTrailWorkKeepsEveryInvariant)
{
    RecordingGraphics gfx;
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    device->BeginScene();
    cMTRand rng;
    rng.Init(2024);
    auto pick = [&](u32 n) { return n ? rng.GetRand() % n : 0u; };
    auto coord = [&] { return f32(i32(pick(2000)) - 1000) * 0.01f; };

    CList<BB_Base> weapons;
    LZ_Standard* a = NewObject<LZ_Standard>(&weapons, 1);
    LZ_Standard* b = NewObject<LZ_Standard>(&weapons, 1);
    for (LZ_Standard* w : {a, b}) {
        w->HitMask = kHitWeapons | kHitByWeapons;
        w->Width = 1.0f;
    }
    a->Team = 1;
    b->Team = 2;
    for (int step = 0; step < 20000; ++step) {
        LZ_Standard* w = pick(2) ? a : b;
        CLaser& laser = w->Laser;
        switch (pick(8)) {
        case 0:
            // Owners size a trail before they use it.
            if (laser.Count == 0) laser.MaxPoints = i32(pick(3000));
            break;
        case 1:
        case 2:
            laser.AddPoint(Vec3(coord(), coord(), coord()));
            break;
        case 3: {
            LASERNODE* p = laser.Newest();
            for (u32 k = pick(8); p && k; --k) p = laser.Older(p);
            laser.InsertPoint(Vec3(coord(), coord(), coord()), p, i32(pick(2)));
            break;
        }
        case 4:
            laser.RemovePoint();
            break;
        case 5:
            for (LASERNODE* p = laser.Newest(); p; p = laser.Older(p))
                if (pick(10) == 0) p->Mark = i32(pick(5));
            break;
        case 6:
            w->TestSegments = i32(pick(12)) - 2;
            w->RehitInterval = i32(pick(6)) - 1;
            w->Damage = i32(pick(70000)) - 5000;
            w->HitTestPassIn(WeaponArena{&weapons, nullptr, nullptr});
            break;
        default:
            if (pick(2))
                laser.Draw(device, Vec3(coord(), coord(), coord()), 0.2f, 0, 0.0f, 0xFFFFFFFFu);
            else
                laser.DrawSmooth(device, 0.5f, 0xFFFFFFFFu, 0xFFFFFFFFu);
            for (const auto& c : gfx.Recorder()->Calls())
                ASSERT_LE(c.vertices.size(), size_t(CLaser::kMaxDrawVertices) * sizeof(BillboardVertex));
            gfx.Recorder()->ClearCalls();
            break;
        }
        for (LZ_Standard* x : {a, b}) {
            ASSERT_EQ(Walk(x->Laser), x->Laser.Count);
            ASSERT_GE(x->Laser.Count, 0);
            ASSERT_LE(x->Laser.Count, std::max(x->Laser.MaxPoints, 0));
            for (LASERHITNODE* n = x->HitList.GetHead()->next; n != x->HitList.GetTail(); n = n->next)
                ASSERT_GE(n->Countdown, 0);
        }
    }
}
