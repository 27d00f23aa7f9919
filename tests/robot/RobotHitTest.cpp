#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "app/player/GameItem.h"
#include "engine/core/MTRand.h"
#include "engine/graphics/MeshObject.h"
#include "engine/model/HierarchyObject.h"
#include "engine/model/HodModel.h"
#include "robot/Robot.h"
#include "support/TempFolder.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"

namespace {

const char* kBoxX = R"(xof 0303txt 0032
Mesh Box {
 8; -1;-1;-1;, 1;-1;-1;, 1;1;-1;, -1;1;-1;, -1;-1;1;, 1;-1;1;, 1;1;1;, -1;1;1;;
 12; 3;0,2,1;, 3;0,3,2;, 3;4,5,6;, 3;4,6,7;, 3;0,1,5;, 3;0,5,4;,
 3;3,7,6;, 3;3,6,2;, 3;1,2,6;, 3;1,6,5;, 3;0,4,7;, 3;0,7,3;;
}
)";

class ProbeWeapon : public LZ_Standard {
public:
    i32 OnHitRobot(const Vec3*, LASERNODE*, BB_Base*) override { return ++hits; }
    i32 OnHitGuard(const Vec3*, LASERNODE*, BB_Base*, const Mat4*) override { return ++guards; }
    i32 OnReflect(const Vec3*, LASERNODE*, BB_Base*) override { return ++reflects; }
    i32 hits = 0, guards = 0, reflects = 0;
};

class ProbeBillboard : public BB_AtkStandard {
public:
    i32 OnHitRobot(const Vec3*, BB_Base*) override { return ++hits; }
    i32 OnHitMap(const Vec3*) override { return ++guards; }
    BB_Base* HitOwner() const override { return owner; }
    BB_Base* owner = nullptr;
    i32 hits = 0, guards = 0;
};

// A robot standing at the origin with a 2-unit box for a body one unit up.
struct Bot {
    CRobot_Normal robot;
    CHierarchyObject frames;
    HodNode* bodyNode = nullptr;
    HodNode* shieldNode = nullptr;
    explicit Bot(MeshObject* mesh, i32 team)
        : bodyNode(frames.CreateRoot()), shieldNode(bodyNode ? bodyNode->AddChild() : nullptr)
    {
        HodNode& body = *bodyNode;
        HodNode& shield = *shieldNode;
        robot.Reset();
        robot.state = kRobotStateLive;
        robot.team = team;
        robot.hp = robot.hpMax = 1000;
        robot.boostGaugeMax = 1000;
        robot.energyMax = 1000;
        robot.bodyRadius = 0.7f;
        robot.boundRadius = 2.0f;
        robot.hitMeshRef = mesh;
        robot.frameBodyD = bodyNode;
        body.world.m[3][1] = 1.0f;
        // The shield faces -z, towards a shot coming along +z.
        shield.world.m[0][0] = -1.0f;
        shield.world.m[2][2] = -1.0f;
        shield.world.m[3][2] = -0.5f;
    }
    ~Bot() { frames.Release(); }
};

u32 DrawsSince(u32 seed)
{
    cMTRand& battle = GetBattleRandom();
    const u32 next = battle.GetRand();
    cMTRand reference;
    reference.Init(seed);
    for (u32 n = 0; n < 8; ++n)
        if (reference.GetRand() == next) return n;
    return 99;
}

}  // namespace

TEST(RobotHit, WeaponsBillboardsAndRobotsApplyDamageGuardReflectionAndBookkeeping)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Write("box.x", kBoxX));
    MeshObject mesh;
    const std::string path = folder / "box.x";
    ASSERT_EQ(mesh.Load(path.c_str(), MeshObject::NoTextures, nullptr), 1);
    mesh.ComputeBounds();
    mesh.BuildCollisionTriangles();
    CList<BB_Base> effects;
    WeaponWorld world;
    world.effects = &effects;
    SetWeaponWorld(&world);

    enum Source { Weapon, Billboard };
    struct Case {
        const char* what;
        Source source;
        i32 damage;
        u32 flags;
        i32 objectTeam;
        i32 defence;     // beam defence of the victim's parts
        i8 reflect;      // victim's reflection chance
        i8 guard;        // guard word
        bool hasShield;  // the type has a shield frame
        i32 hp, charge;  // victim before
        f32 distance;    // billboard: body to billboard
        // expected
        i32 hpAfter, chargeAfter, ownerScore, victimScore, ownerCharge, impact;
        bool pushed;
        i32 onHit, onGuard, onReflect, draws, kills;
    };
    const Case cases[] = {
        {"enemy shot", Weapon, 100, 0, 1, 0, 0, 0, true, 1000, 0, 0, 900, 800, 200, -200, 300, 1, true, 1, 0, 0, 1, 0},
        {"friendly fire through 20 defence", Weapon, 100, 0, 0, 20, 0, 0, true, 1000, 0, 0, 968, 0, -32, 0, 0, 1,
         true, 1, 0, 0, 1, 0},
        {"defence 150 takes nothing yet pushes", Weapon, 100, 0, 1, 150, 0, 0, true, 1000, 0, 0, 1000, 0, 0, 0, 0, 1,
         true, 1, 0, 0, 1, 0},
        {"no damage, forced flag", Weapon, 0, 0x01, 1, 0, 0, 0, true, 1000, 0, 0, 1000, 0, 0, 0, 0, 2, true, 1, 0, 0,
         1, 0},
        {"no damage, no flag", Weapon, 0, 0, 1, 0, 0, 0, true, 1000, 0, 0, 1000, 0, 0, 0, 0, 0, false, 1, 0, 0, 1, 0},
        {"reflected (the ring draws two)", Weapon, 100, 0x02, 1, 0, 100, 0, true, 1000, 0, 0, 1000, 0, 0, 0, 0, 0,
         false, 0, 0, 1, 3, 0},
        {"reflection 0 still draws", Weapon, 100, 0x0A, 1, 0, 0, 0, true, 1000, 0, 0, 900, 800, 200, -200, 300, 3,
         true, 1, 0, 0, 1, 0},
        {"guarded: no draw", Weapon, 100, 0x02, 1, 0, 100, 1, true, 1000, 0, 0, 1000, 0, 0, 0, 0, 0, true, 0, 1, 0, 0,
         0},
        {"guard word without a shield frame", Weapon, 100, 0, 1, 0, 0, 1, false, 1000, 0, 0, 900, 800, 200, -200, 300,
         1, true, 1, 0, 0, 1, 0},
        {"healing never drains the gauge", Weapon, -50, 0x01, 1, 0, 0, 0, true, 990, 100, 0, 1000, 0, -100, 100, -150,
         2, true, 1, 0, 0, 1, 0},
        {"kill", Weapon, 5, 0, 1, 0, 0, 0, true, 5, 0, 0, 0, 40, 10 + 150, -10 - 150, 15, 1, true, 1, 0, 0, 1, 1},
        {"billboard at its reach", Billboard, 100, 0, 1, 0, 0, 0, true, 1000, 0, 1.0f, 900, 800, 200, -200, 200, 1,
         true, 1, 0, 0, 0, 0},
        {"billboard out of reach", Billboard, 100, 0, 1, 0, 0, 0, true, 1000, 0, 1.01f, 1000, 0, 0, 0, 0, 0, false, 0,
         0, 0, 0, 0},
        {"friendly billboard", Billboard, 100, 0, 0, 0, 0, 0, true, 1000, 0, 0.5f, 920, 0, -80, 0, 0, 1, true, 1, 0,
         0, 0, 0},
        {"billboard guarded", Billboard, 100, 0, 1, 0, 0, 1, true, 1000, 0, 0.5f, 1000, 0, 0, 0, 0, 0, false, 0, 1,
         0, 0, 0},
        {"billboard unguardable", Billboard, 100, 0x10, 1, 0, 0, 1, true, 1000, 0, 0.5f, 900, 800, 200, -200, 200, 1,
         true, 1, 0, 0, 0, 0},
    };
    RobotModelData type;
    type.score = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bot victim(&mesh, 0), attacker(&mesh, 1);
        std::strcpy(victim.robot.displayName, "Victim");
        std::strcpy(attacker.robot.displayName, "Attacker");
        victim.robot.modelData = &type;
        victim.robot.spawnHpScale = 1.5f;
        victim.robot.hp = c.hp;
        victim.robot.chargeGauge = c.charge;
        victim.robot.scriptContext.laserReflect = c.reflect;
        victim.robot.scriptContext.shieldGuard = c.guard;
        if (c.hasShield) victim.robot.frameShield = victim.shieldNode;
        CGameItem_PowerUp part(1);
        for (i16& b : part.bonus) b = 0;
        part.bonus[BonusBeamDefence] = static_cast<i16>(c.defence);
        victim.robot.parts[4] = part;
        GetBattleRandom().Init(77);

        i32 onHit = 0, onGuard = 0, onReflect = 0;
        if (c.source == Weapon) {
            ProbeWeapon w;
            Mat4 start;
            start.m[3][1] = 1.0f;
            start.m[3][2] = -3.0f;
            w.SetTrail(&start, 0.1f, 10, 0, nullptr, 0xFFFFFFFFu);
            w.Laser.AddPoint(Vec3(0.0f, 1.0f, 3.0f));
            w.SetHits({.owner = &attacker.robot, .damage = c.damage, .downValue = 10, .knockback = 0.5f,
                       .hitFlags = c.flags, .rehitInterval = 10, .testSegments = 1, .team = c.objectTeam});
            victim.robot.HitTestObject(&w);
            EXPECT_EQ(w.HasHit(&victim.robot), c.onHit + c.onReflect + c.onGuard > 0 && (c.damage > 0 || c.flags & 1 ||
                                                                                      c.onReflect || c.onGuard));
            // A second pass while the record lives does nothing.
            const i32 hpOnce = victim.robot.hp;
            if (w.HasHit(&victim.robot)) victim.robot.HitTestObject(&w);
            EXPECT_EQ(victim.robot.hp, hpOnce);
            onHit = w.hits, onGuard = w.guards, onReflect = w.reflects;
        } else {
            victim.robot.bodyRadius = 0.5f;  // reach 1.0 with the billboard's 0.5
            ProbeBillboard b;
            b.owner = &attacker.robot;
            b.World.m[3][1] = 1.0f;
            b.World.m[3][2] = -c.distance;
            b.HitRadius = 0.5f;
            b.Damage = c.damage;
            b.Knockback = 0.5f;
            b.DownValue = 10;
            b.HitFlags = c.flags;
            b.Team = c.objectTeam;
            victim.robot.HitTestObject(&b);
            onHit = b.hits, onGuard = b.guards;
        }
        EXPECT_EQ(victim.robot.hp, c.hpAfter);
        EXPECT_EQ(victim.robot.chargeGauge, c.chargeAfter);
        EXPECT_EQ(attacker.robot.score, c.ownerScore);
        EXPECT_EQ(victim.robot.score, c.victimScore);
        EXPECT_EQ(attacker.robot.chargeGauge, c.ownerCharge < 0 ? 0 : c.ownerCharge);
        EXPECT_EQ(victim.robot.impactKind, c.impact);
        EXPECT_EQ(victim.robot.velocity.z != 0.0f, c.pushed);
        EXPECT_EQ(victim.robot.velocity.y, 0.0f);
        EXPECT_EQ(onHit, c.onHit);
        EXPECT_EQ(onGuard, c.onGuard);
        EXPECT_EQ(onReflect, c.onReflect);
        EXPECT_EQ(victim.robot.guardHitTimer, (c.onGuard && c.source == Weapon) || c.onReflect ? 20 : 0);
        EXPECT_EQ(DrawsSince(77), static_cast<u32>(c.draws));
        EXPECT_EQ(attacker.robot.kills, c.kills);
        EXPECT_EQ(victim.robot.state, c.kills ? kRobotStateDestroyed : kRobotStateLive);
        if (c.onReflect) {
            EXPECT_EQ(victim.robot.boostGauge, 200);
            EXPECT_EQ(victim.robot.energy, 200.0f);
        }
    }
    effects.DeleteAll();

    // Bodies 1.0 apart with radii 0.7 part by 0.2 each, level, from one call.
    CList<BB_Base> robots;
    world.robots = &robots;
    Bot a(&mesh, 0), b(&mesh, 1);
    b.bodyNode->world.m[3][0] = 0.6f;
    b.bodyNode->world.m[3][2] = 0.8f;
    b.robot.worldMatrix.m[3][0] = 0.6f;
    b.robot.worldMatrix.m[3][2] = 0.8f;
    a.robot.HitTestObject(&b.robot);
    EXPECT_NEAR(b.robot.worldMatrix.m[3][0], 0.6f + 0.12f, 1e-5f);
    EXPECT_NEAR(b.robot.worldMatrix.m[3][2], 0.8f + 0.16f, 1e-5f);
    EXPECT_NEAR(a.robot.worldMatrix.m[3][0], -0.12f, 1e-5f);
    EXPECT_NEAR(a.robot.worldMatrix.m[3][2], -0.16f, 1e-5f);
    EXPECT_EQ(a.robot.worldMatrix.m[3][1], 0.0f);
    b.robot.heldBy = &a.robot;  // a held robot is never pushed
    a.robot.HitTestObject(&b.robot);
    EXPECT_NEAR(a.robot.worldMatrix.m[3][0], -0.12f, 1e-5f);

    // The kill line names attacker then victim and is cut on a whole character.
    CApplication& app = *GetApplication();
    Bot victim(&mesh, 0), attacker(&mesh, 1);
    std::string longName;
    while (longName.size() < 250) longName += "\xE6\x9C\xBA";
    std::strcpy(attacker.robot.displayName, "Ace");
    std::strcpy(victim.robot.displayName, "Rook");
    victim.robot.hp = 5;
    victim.robot.ApplyHitDamage(5, 0.4f, 1.0f, 1, &attacker.robot, CRobot_Normal::HitSource::Weapon);
    ASSERT_NE(app.chatLog.GetHead()->next, app.chatLog.GetTail());
    EXPECT_EQ(app.chatLog.GetHead()->next->text, "[Ace]\xE5\x87\xBB\xE6\xAF\x81\xE5\xAF\xB9\xE6\x89\x8B[Rook]");
    Bot victim2(&mesh, 0);
    std::strcpy(attacker.robot.displayName, longName.c_str());
    std::strcpy(victim2.robot.displayName, longName.c_str());
    victim2.robot.hp = 1;
    victim2.robot.ApplyHitDamage(5, 0.4f, 1.0f, 1, &attacker.robot, CRobot_Normal::HitSource::Weapon);
    const std::string cut = app.chatLog.GetHead()->next->text;
    EXPECT_EQ(cut, "[" + longName + "]");  // the next character would not fit whole
    SetWeaponWorld(nullptr);
}

TEST(RobotHit, BladesCutThroughTheirSweepAndGlanceOffAShieldFacingTheAttacker)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Write("box.x", kBoxX));
    MeshObject mesh;
    const std::string path = folder / "box.x";
    ASSERT_EQ(mesh.Load(path.c_str(), MeshObject::NoTextures, nullptr), 1);
    mesh.ComputeBounds();
    mesh.BuildCollisionTriangles();
    WeaponWorld world;
    auto count = [](CList<BB_Base>& list) {
        i32 n = 0;
        if (!list.GetHead()) return n;
        for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next) ++n;
        return n;
    };

    struct Case {
        const char* what;
        i32 attackerTeam;
        i16 meleeAttack, meleeDefence;  // the victim's own parts
        i8 guard;
        bool sweepMisses;
        i32 hpAfter, victimCharge, ownerScore, ownerCharge;
        i32 effects, lines, draws, attackerImpact, guardTimer;
    };
    const Case cases[] = {
        {"enemy blade", 1, 0, 0, 0, false, 900, 800, 300, 300, 1, 0, 0, 0, 0},
        {"friendly blade", 0, 0, 0, 0, false, 980, 0, -20, 0, 1, 0, 0, 0, 0},
        {"the cut robot's own parts scale it", 1, 50, 0, 0, false, 850, 1200, 450, 450, 1, 0, 0, 0, 0},
        {"melee defence 150 stops the damage", 1, 0, 150, 0, false, 1000, 0, 0, 0, 1, 0, 0, 0, 0},
        {"swept past", 1, 0, 0, 0, true, 1000, 0, 0, 0, 0, 0, 0, 0, 0},
        {"shield 1 throws the attacker back", 1, 0, 0, 1, false, 1000, 0, 0, 0, 61, 10, 200, 2, 20},
        {"shield 2 only blocks", 1, 0, 0, 2, false, 1000, 0, 0, 0, 61, 10, 200, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CList<BB_Base> effects, weapons;
        world.effects = &effects;
        world.weapons = &weapons;
        SetWeaponWorld(&world);
        Bot victim(&mesh, 0), attacker(&mesh, c.attackerTeam);
        attacker.bodyNode->world.m[3][2] = -3.0f;
        attacker.robot.scriptContext.attackPower = 100;
        attacker.robot.scriptContext.attackDownF = 50;
        attacker.robot.scriptContext.attackForce = 0.3f;
        victim.robot.frameShield = victim.shieldNode;
        victim.robot.scriptContext.shieldGuard = c.guard;
        CGameItem_PowerUp part(1);
        for (i16& b : part.bonus) b = 0;
        part.bonus[BonusMeleeAttack] = c.meleeAttack;
        part.bonus[BonusMeleeDefence] = c.meleeDefence;
        victim.robot.parts[0] = part;

        // A 4-unit blade along x swept from z = -3 to z = 0 through the body.
        BB_SwordBeamAtk blade;
        blade.Owner = &attacker.robot;
        blade.Length = 4.0f;
        blade.Value = 6;  // hit-stop frames
        blade.Values[0] = 1;
        for (Mat4* m : std::initializer_list<Mat4*>{&blade.World, &blade.PrevWorld}) {
            m->m[2][0] = 1.0f;
            m->m[2][2] = 0.0f;
            m->m[3][0] = -2.0f;
            m->m[3][1] = c.sweepMisses ? 5.0f : 1.0f;
        }
        blade.PrevWorld.m[3][2] = -3.0f;
        GetBattleRandom().Init(77);
        victim.robot.HitTestObject(&blade);
        {
            const u32 next = GetBattleRandom().GetRand();
            cMTRand reference;
            reference.Init(77);
            i32 draws = 0;
            while (draws < 1000 && reference.GetRand() != next) ++draws;
            EXPECT_EQ(draws, c.draws);
        }
        EXPECT_EQ(victim.robot.hp, c.hpAfter);
        EXPECT_EQ(victim.robot.chargeGauge, c.victimCharge);
        EXPECT_EQ(attacker.robot.score, c.ownerScore);
        EXPECT_EQ(attacker.robot.chargeGauge, c.ownerCharge);
        EXPECT_EQ(count(effects), c.effects);
        EXPECT_EQ(count(weapons), c.lines);
        EXPECT_EQ(attacker.robot.impactKind, c.attackerImpact);
        EXPECT_EQ(victim.robot.guardHitTimer, c.guardTimer);
        EXPECT_EQ(blade.HasHit(&victim.robot), !c.sweepMisses);
        const bool cut = !c.sweepMisses && c.guard == 0;
        EXPECT_EQ(victim.robot.hitStop, cut ? 6 : 0);
        EXPECT_EQ(attacker.robot.hitStop, cut ? 6 : 0);
        EXPECT_EQ(attacker.robot.comboCount, cut ? 1 : 0);
        EXPECT_EQ(attacker.robot.lastMeleeTarget, cut ? &victim.robot : nullptr);
        EXPECT_EQ(victim.robot.impactValue, cut ? 50 : 0);
        EXPECT_EQ(victim.robot.impactKind, cut ? 1 : 0);
        // The cut replaces the victim's motion with the attacker's push.
        EXPECT_EQ(victim.robot.velocity.z, cut ? 0.3f : 0.0f);
        EXPECT_EQ(attacker.robot.velocity.z, c.attackerImpact ? -0.05f : 0.0f);
        // The attacker's own blade never cuts it, nor does a blade for show.
        const i32 hp = attacker.robot.hp;
        attacker.robot.HitTestObject(&blade);
        BB_SwordBeam show;
        show.World = blade.World;
        show.PrevWorld = blade.PrevWorld;
        show.Length = 4.0f;
        attacker.robot.HitTestObject(&show);
        EXPECT_EQ(attacker.robot.hp, hp);
        effects.DeleteAll();
        weapons.DeleteAll();
    }
    SetWeaponWorld(nullptr);
}

TEST(RobotHit, ABattleshipsWeaponScoresAndKillsForTheShipWithoutCharge)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Write("box.x", kBoxX));
    MeshObject mesh;
    const std::string path = folder / "box.x";
    ASSERT_EQ(mesh.Load(path.c_str(), MeshObject::NoTextures, nullptr), 1);
    mesh.ComputeBounds();
    mesh.BuildCollisionTriangles();
    CList<BB_Base> effects;
    WeaponWorld world;
    world.effects = &effects;
    SetWeaponWorld(&world);
    RobotModelData type;
    type.score = 100;
    Bot victim(&mesh, 0);
    victim.robot.modelData = &type;
    victim.robot.spawnHpScale = 1.0f;
    victim.robot.hp = 50;
    std::strcpy(victim.robot.displayName, "Rook");
    CShip ship;
    ship.team = 1;
    std::strcpy(ship.displayName, "Carrier");
    ProbeWeapon w;
    Mat4 start;
    start.m[3][1] = 1.0f;
    start.m[3][2] = -3.0f;
    w.SetTrail(&start, 0.1f, 10, 0, nullptr, 0xFFFFFFFFu);
    w.Laser.AddPoint(Vec3(0.0f, 1.0f, 3.0f));
    w.SetHits({.owner = &ship, .damage = 80, .downValue = 10, .knockback = 0.5f, .rehitInterval = 10, .testSegments = 1,
               .team = 1});
    victim.robot.HitTestObject(&w);
    EXPECT_EQ(victim.robot.hp, 0);
    EXPECT_EQ(victim.robot.state, kRobotStateDestroyed);
    EXPECT_EQ(ship.score, 2 * 80 + 100);
    EXPECT_EQ(ship.kills, 1);
    EXPECT_EQ(ship.killStreak, 1);
    EXPECT_EQ(victim.robot.chargeGauge, 640);
    EXPECT_EQ(GetApplication()->chatLog.GetHead()->next->text,
              "[Carrier]\xE5\x87\xBB\xE6\xAF\x81\xE5\xAF\xB9\xE6\x89\x8B[Rook]");
    // The wreck is thrown back and lies down once it lands.
    victim.robot.ChooseHitReaction();
    EXPECT_TRUE(victim.robot.stateProc == &CRobot_Normal::StateDestroyed);  // 80 down force is too weak to restart it
    for (int i = 0; i < 12; ++i) victim.robot.StepActionStates();
    EXPECT_TRUE(victim.robot.stateProc == &CRobot_Normal::DownState);
    effects.DeleteAll();
    SetWeaponWorld(nullptr);
}
