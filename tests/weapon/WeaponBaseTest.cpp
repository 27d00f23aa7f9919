#include "weapon/WeaponBase.h"

#include <vector>

#include <gtest/gtest.h>

#include "weapon/ObjectFactory.h"

namespace {

// A weapon that remembers its reactions.
class ProbeWeapon : public LZ_Standard {
public:
    i32 OnHitWeapon(const Vec3* c) override
    {
        hitContacts.push_back(*c);
        return 0;
    }
    i32 OnHitByWeapon(const Vec3* c) override
    {
        hitByContacts.push_back(*c);
        return 0;
    }
    std::vector<Vec3> hitContacts, hitByContacts;
};

struct Duel {
    CList<BB_Base> weapons;
    ProbeWeapon* target = NewObject<ProbeWeapon>(&weapons, 1);
    ProbeWeapon* attacker = NewObject<ProbeWeapon>(&weapons, 1);
    BB_Base robotA, robotB;

    Duel()
    {
        target->Team = 1;
        target->Owner = &robotA;
        target->Width = 0.5f;
        target->HitMask = kHitByWeapons;
        target->Durability = 100;
        target->Laser.MaxPoints = 2;
        target->Laser.AddPoint(Vec3());
        attacker->Team = 2;
        attacker->Owner = &robotB;
        attacker->HitMask = kHitWeapons;
        attacker->Damage = 7;
        attacker->RehitInterval = 3;
        attacker->TestSegments = 1;
        attacker->Laser.MaxPoints = 10;
        attacker->Laser.AddPoint(Vec3(-2, 0, 0));
        attacker->Laser.AddPoint(Vec3(2, 0, 0));
    }
    void Pass() { attacker->HitTestPassIn(WeaponArena{&weapons, nullptr, nullptr}); }
};

}  // namespace

TEST(WeaponBaseTest, ConstructionDefaultsAndKinds)
{
    LZ_Standard w;
    EXPECT_EQ(w.TrailFlag, 4);
    EXPECT_FLOAT_EQ(w.TrailFactor, 0.999998f);
    EXPECT_EQ(w.Mesh, nullptr);
    EXPECT_EQ(w.ShaderMode, 0);
    EXPECT_EQ(w.HitList.GetCount(), 0u);
    EXPECT_EQ(w.Laser.Count, 0);
    EXPECT_FLOAT_EQ(w.Laser.TextureLength, 1.0f);
    EXPECT_EQ(w.GetKind(), kKindWeapon);
    EXPECT_EQ(w.GetMatrix(), &w.Laser.World);
    EXPECT_EQ(w.GetTargetMatrix(), &w.Laser.World);
    LZ_Basic line;
    EXPECT_EQ(line.GetKind(), kKindLineEffect);
    EXPECT_EQ(line.GetDamageType(), 0);
    BB_AtkStandard atk;
    EXPECT_EQ(atk.GetKind(), kKindBillboard);
    EXPECT_EQ(atk.RehitInterval, 10);
    // A line effect offered to a weapon is never taken for one.
    Duel d;
    line.Laser.MaxPoints = 2;
    line.Laser.AddPoint(Vec3(-2, 0, 0));
    line.Laser.AddPoint(Vec3(2, 0, 0));
    d.target->HitTestObject(&line);
    EXPECT_TRUE(d.target->hitByContacts.empty());
}

TEST(WeaponBaseTest, WeaponAgainstWeaponCases)
{
    struct Case {
        const char* name;
        void (*setup)(Duel&);
        bool hits;
    };
    const Case cases[] = {
        {"plain hit", [](Duel&) {}, true},
        {"same team", [](Duel& d) { d.attacker->Team = 1; }, false},
        {"same owner", [](Duel& d) { d.attacker->Owner = d.target->Owner; }, false},
        {"target cannot be hit", [](Duel& d) { d.target->HitMask = kHitWeapons; }, false},
        {"attacker does not offer itself", [](Duel& d) { d.attacker->HitMask = kHitStage; }, false},
        {"no segments", [](Duel& d) { d.attacker->TestSegments = 0; }, false},
        {"negative segments", [](Duel& d) { d.attacker->TestSegments = -1; }, false},
        {"already hit", [](Duel& d) { d.attacker->RecordHit(d.target); }, false},
        {"passes beside", [](Duel& d) {
             for (LASERNODE* p = d.attacker->Laser.Newest(); p; p = d.attacker->Laser.Older(p)) p->Position.y = 0.8f;
         }, false},
        {"one point only", [](Duel& d) { d.attacker->Laser.RemovePoint(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Duel d;
        c.setup(d);
        d.Pass();
        ASSERT_EQ(d.target->hitByContacts.size(), c.hits ? 1u : 0u);
        EXPECT_EQ(d.attacker->hitContacts.size(), c.hits ? 1u : 0u);
        EXPECT_EQ(d.target->Durability, c.hits ? 93 : 100);
        EXPECT_FALSE(d.attacker->hitByContacts.size());  // nobody hits the attacker back
        if (c.hits) {
            // Box face at x = -0.7, pulled back 0.1 along the segment.
            EXPECT_NEAR(d.target->hitByContacts[0].x, -0.8f, 1e-5f);
            EXPECT_EQ(d.target->hitByContacts[0], d.attacker->hitContacts[0]);
            EXPECT_TRUE(d.attacker->HasHit(d.target));
        }
    }
}

TEST(WeaponBaseTest, HitRecordsBlockForOneFewerPassesThanTheirInterval)
{
    for (i32 interval : {0, 1, 3, 10}) {
        SCOPED_TRACE(interval);
        Duel d;
        d.attacker->RehitInterval = interval;
        std::vector<int> hitPasses;
        for (int pass = 0; pass < 25; ++pass) {
            const size_t before = d.target->hitByContacts.size();
            d.Pass();
            if (d.target->hitByContacts.size() > before) hitPasses.push_back(pass);
        }
        const int gap = interval < 1 ? 1 : interval;
        ASSERT_GE(hitPasses.size(), 2u);
        for (size_t i = 1; i < hitPasses.size(); ++i) EXPECT_EQ(hitPasses[i] - hitPasses[i - 1], gap);
    }
    Duel d;
    d.Pass();
    EXPECT_EQ(d.attacker->RemoveHitNode(d.target), 1);
    EXPECT_EQ(d.attacker->RemoveHitNode(d.target), 0);
    d.Pass();  // hit again at once
    EXPECT_EQ(d.target->hitByContacts.size(), 2u);
}

TEST(WeaponBaseTest, DurabilityHoldsAtItsLimitsInsteadOfWrapping)
{
    Duel d;
    d.target->Durability = 10;
    d.attacker->Damage = 40000;
    d.Pass();
    EXPECT_EQ(d.target->Durability, -32768);
    LZ_Standard w;
    w.Durability = 32000;
    w.WearDown(-40000);  // a healing hit
    EXPECT_EQ(w.Durability, 32767);
}

TEST(WeaponBaseTest, CutStepRemovesMarkedPointsWithinTheTestedSegments)
{
    struct Case {
        std::vector<i32> marks;  // newest first, points at x = 0, 1, 2, ...
        i32 segments;
        std::vector<float> left;
    };
    const Case cases[] = {
        {{0, 1, 0, 0, 0, 0}, 6, {0, 2, 3, 4, 5}},
        {{0, 0, 2, 0, 1, 0}, 6, {3, 4, 5}},          // stops after a 2: the 1 further on stays
        {{0, 0, 3, 0, 1, 0}, 6, {3, 5}},             // goes on after a 3
        {{0, 0, 0, 1, 0, 0}, 3, {0, 1, 2, 3, 4, 5}}, // beyond the three newest: waits
        {{1, 1, 1, 1, 1, 1}, 6, {}},
        {{1, 0, 0, 0, 0, 0}, -2, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        LZ_Standard w;
        w.TestSegments = c.segments;
        w.Laser.MaxPoints = 10;
        for (int i = 5; i >= 0; --i) w.Laser.AddPoint(Vec3(float(i), 0, 0));
        int k = 0;
        for (LASERNODE* p = w.Laser.Newest(); p; p = w.Laser.Older(p)) p->Mark = c.marks[size_t(k++)];
        w.HitTestPassIn(WeaponArena{});
        std::vector<float> left;
        for (LASERNODE* p = w.Laser.Newest(); p; p = w.Laser.Older(p)) left.push_back(p->Position.x);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(w.Laser.Count, i32(c.left.size()));
    }
}
