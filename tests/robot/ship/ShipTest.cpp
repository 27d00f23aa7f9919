#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/VectorFunctions.h"
#include "engine/core/MTRand.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "support/BattleHash.h"
#include "support/BattleRunner.h"
#include "weapon/Beam.h"
#include "weapon/Bullet.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"

namespace {

// A trail that counts how often the hull stopped it.
class Probe : public LZ_Standard {
public:
    i32 OnHitMap(const Vec3*, LASERNODE*, const Vec3*) override { return ++stops; }
    i32 stops = 0;
};

Vec3 At(const Mat4& m) { return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]); }

template <class T>
std::vector<T*> Newest(CList<BB_Base>& list, size_t count)
{
    std::vector<T*> out;
    for (BB_Base* o = list.GetHead()->next; o != list.GetTail() && out.size() < count; o = o->next)
        if (auto* t = dynamic_cast<T*>(o)) out.push_back(t);
    return out;
}

// A seed whose first draw is (or is not) a multiple of 100.
u32 SeedWithFirstDraw(bool multipleOf100)
{
    for (u32 s = 1;; ++s) {
        GetBattleRandom().Init(s);
        if ((GetBattleRandom().GetRand() % 100 == 0) == multipleOf100) {
            GetBattleRandom().Init(s);
            return s;
        }
    }
}

u64 Draws() { return GetBattleRandom().GetDrawCount(); }

// Two ships of each team and the robots they launch, all under computer
// control, until a flagship sinks and the battle is decided. The hashes every
// 50 frames.
std::vector<std::string> FleetBattle(u32* framesRun, bool* decided, u32* launched)
{
    BattleRunnerOptions options;
    options.mode = GameMode::Fleet;
    options.modeOption = 1;
    options.runFolder = QUILLON_RUN_DIR;
    options.seed = 11;
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    std::vector<CShip*> ships;
    for (BB_Base* o = scene.unitList.GetHead()->next; o != scene.unitList.GetTail(); o = o->next)
        if (o->GetKind() == kKindShip) ships.push_back(static_cast<CShip*>(o));
    EXPECT_EQ(ships.size(), 4u);
    // Light hulls, full magazines and the fleets within range, so one side
    // sinks soon; the launchers are set to fire early in the battle.
    for (size_t i = 0; i < ships.size(); ++i) {
        CShip* s = ships[i];
        s->hp = s->hpMax = s->team == 1 ? 300 : 3000;
        s->energy = s->energyMax = 8000;
        s->frameCounter = kShipLaunchPeriod - 60;
        s->worldMatrix.m[3][0] = s->team == 0 ? 1400.0f : 1460.0f;
        s->worldMatrix.m[3][2] = 1500.0f + 30.0f * static_cast<f32>(i % 2);
        s->model.UpdateMatricesEx(&s->worldMatrix);
    }
    std::vector<std::string> lines;
    *decided = false;
    for (u32 f = 50; f <= 1500 && !*decided; f += 50) {
        if (runner.RunFrames(50) != 50) break;
        lines.push_back(FormatBattleHash(f, HashBattle(scene)));
        // The fleet judge decides once a flagship lies as a wreck.
        *decided = scene.battleEnd != 0;
    }
    *framesRun = runner.FramesRun();
    *launched = 0;
    for (BB_Base* o = scene.unitList.GetHead()->next; o != scene.unitList.GetTail(); o = o->next)
        if (o->GetKind() == kKindRobot && !static_cast<CRobot_Normal*>(o)->DefeatProcList.empty() &&
            static_cast<CRobot_Normal*>(o)->DefeatProcList.back() == &CRobot_Normal::DefeatProc_DropSummonItem)
            ++*launched;
    return lines;
}

}  // namespace

// The battleship's rules one by one on the sample ship, away from the stage:
// sailing and its gauge, each weapon group, the launcher, the deck, hits,
// the push between ships, the wreck and the battle draws each one makes.
TEST(Ship, SailsFightsLaunchesCarriesAndSinksByItsRules)
{
    BattleRunnerOptions options;
    options.runFolder = QUILLON_RUN_DIR;
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    CShip* ship = scene.SpawnShip(1, 1500.0f, 600.0f, 1500.0f, 1.0f, 0, kControlComputer, 0, 0.0f);
    ASSERT_NE(ship, nullptr) << LastRobotTypeError();
    EXPECT_EQ(ship->hp, scene.shipTypes[1].hp);
    EXPECT_EQ(ship->lockDistance, 10000.0f);
    EXPECT_EQ(ship->controlProc, &CShip::ControlProc);
    ASSERT_NE(ship->weaponFrames[15], nullptr);
    ship->inputEnabled = 0;

    // Boost: cruising fast drains truncate(speed x 60) a frame; an empty gauge
    // locks the helm and refills by half the rate until full.
    ship->speed = 0.15f;
    ship->boostGauge = 20;
    CShip::ControlProc(ship);
    EXPECT_EQ(ship->boostGauge, 11);
    ship->speed = 0.08f;
    CShip::ControlProc(ship);
    EXPECT_EQ(ship->boostGauge, 7);
    ship->speed = 0.15f;
    CShip::ControlProc(ship);
    EXPECT_EQ(ship->boostGauge, 0);
    EXPECT_EQ(ship->boostLocked, 1);
    ship->input.direction = 6;
    ship->turnRate.y = 0.0f;
    CShip::ControlProc(ship);
    EXPECT_EQ(ship->boostGauge, 7);
    EXPECT_EQ(ship->turnRate.y, 0.0f);
    EXPECT_FLOAT_EQ(ship->speed, 0.15f - 0.0004f);
    ship->boostGauge = ship->boostGaugeMax - 3;
    CShip::ControlProc(ship);
    EXPECT_EQ(ship->boostLocked, 0);
    ship->speed = 0.0f;
    ship->input.Clear();

    // The single gun alternates points 4 and 5; both pairs held together each
    // keep one pair of points, since each flips the shared side back. Every
    // bullet draws twice.
    u64 before = Draws();
    ship->input.buttons[3] = 1;
    std::vector<Vec3> muzzles;
    for (i32 frame = 0; frame < 31; ++frame) {
        for (i32& c : ship->weaponCooldown)
            if (c > 0) --c;
        if (ship->weaponCooldown[1] == 0) {
            CShip::ControlProc(ship);
            muzzles.push_back(At(Newest<LZ_Bullet>(scene.weaponList, 1)[0]->Laser.World));
        } else {
            CShip::ControlProc(ship);
        }
    }
    ASSERT_EQ(muzzles.size(), 3u);
    EXPECT_LT(Vec3Length(muzzles[0] - At(ship->weaponFrames[4]->world)), 0.5f);
    EXPECT_LT(Vec3Length(muzzles[1] - At(ship->weaponFrames[5]->world)), 0.5f);
    EXPECT_LT(Vec3Length(muzzles[2] - At(ship->weaponFrames[4]->world)), 0.5f);
    EXPECT_EQ(Draws() - before, 6u);
    ship->input.Clear();
    ship->input.buttons[5] = ship->input.buttons[6] = 1;
    for (i32 round = 0; round < 2; ++round) {
        std::memset(ship->weaponCooldown, 0, sizeof ship->weaponCooldown);
        CShip::ControlProc(ship);
        const std::vector<LZ_Bullet*> b = Newest<LZ_Bullet>(scene.weaponList, 4);
        const i32 expected[4] = {13, 7, 10, 8};  // newest first
        for (i32 i = 0; i < 4; ++i)
            EXPECT_LT(Vec3Length(At(b[i]->Laser.World) - At(ship->weaponFrames[expected[i]]->world)), 0.5f);
    }
    ship->input.Clear();

    // The main cannon: four beams while 100 energy lasts, the cooldown either way.
    ship->energy = 250;
    ship->input.buttons[2] = 1;
    std::memset(ship->weaponCooldown, 0, sizeof ship->weaponCooldown);
    const size_t beams = Newest<LZ_Beam>(scene.weaponList, 100).size();
    CShip::ControlProc(ship);
    EXPECT_EQ(Newest<LZ_Beam>(scene.weaponList, 100).size(), beams + 2);
    EXPECT_EQ(Newest<LZ_Beam>(scene.weaponList, 1)[0]->Damage, 120);
    EXPECT_EQ(ship->energy, 50 + 3);  // refilled by 3 first
    EXPECT_EQ(ship->weaponCooldown[0], 300);
    ship->input.Clear();
    // A missile draws b, a, then its speed.
    ship->energy = 40;
    before = Draws();
    ship->FireMissile(14, nullptr);
    EXPECT_EQ(Draws() - before, 3u);
    EXPECT_EQ(ship->energy, 0);

    // The launcher: only at frame 1,300; an escort (one draw in 100) has 1.5
    // times the type's HP and its name tag, a plain launch 0.2 times.
    const i32 type = scene.nextRandomType;
    ASSERT_TRUE(scene.WaitTypeLoaded(type));
    const i32 typeHp = scene.robotTypes[type].hp;
    auto launched = [&] { return Newest<CRobot_Normal>(scene.unitList, 1)[0]; };
    CRobot_Normal* newest = launched();
    for (i32 frame : {1299, 1301}) {
        ship->frameCounter = frame;
        CShip::LaunchRobotProc(ship);
        EXPECT_EQ(launched(), newest);
    }
    SeedWithFirstDraw(true);
    ship->frameCounter = 1300;
    CShip::LaunchRobotProc(ship);
    CRobot_Normal* escort = launched();
    ASSERT_NE(escort, newest);
    EXPECT_EQ(escort->hpMax, static_cast<i32>(static_cast<f32>(typeHp) * 1.5f));
    EXPECT_NE(std::strstr(escort->displayName, "]"), nullptr);
    EXPECT_EQ(escort->aiLevel, 10);
    EXPECT_EQ(escort->DefeatProcList.back(), &CRobot_Normal::DefeatProc_DropSummonItem);
    ASSERT_TRUE(scene.WaitTypeLoaded(scene.nextRandomType));
    SeedWithFirstDraw(false);
    const i32 plainType = scene.nextRandomType;
    CShip::LaunchRobotProc(ship);
    CRobot_Normal* plain = launched();
    EXPECT_EQ(plain->hpMax, static_cast<i32>(static_cast<f32>(scene.robotTypes[plainType].hp) * 0.2f));
    EXPECT_EQ(plain->aiLevel, 5);  // team 0 launches the weaker pilots
    ASSERT_TRUE(scene.WaitTypeLoaded(scene.nextRandomType));

    // The deck: a friendly robot standing on it rides along frame by frame,
    // gains 5 boost and 1 energy a frame and 1 HP every sixth frame.
    CRobot_Normal* rider = escort;
    rider->worldMatrix = ship->worldMatrix;
    rider->worldMatrix.m[3][1] += 1.5f;
    rider->hp = 1;
    rider->boostGauge = 0;
    rider->energy = 0.0f;
    ship->speed = 0.1f;
    ship->boostGauge = ship->boostGaugeMax;
    ship->frameCounter = 0;
    const Vec3 offset = At(rider->worldMatrix) - ship->Position();
    for (i32 frame = 0; frame < 12; ++frame) {
        ship->prevWorldMatrix = ship->worldMatrix;
        CShip::ControlProc(ship);
        rider->groundDistance = FLT_MAX;
        ship->HitTestObject(rider);
        EXPECT_LT(Vec3Length(At(rider->worldMatrix) - ship->Position() - offset), 0.001f) << frame;
        EXPECT_NEAR(rider->groundDistance, 0.0f, 0.001f);
    }
    EXPECT_EQ(rider->hp, 1 + 2);
    EXPECT_EQ(rider->boostGauge, 12 * 5);
    EXPECT_FLOAT_EQ(rider->energy, 12.0f);
    ship->speed = 0.0f;

    // Beams through the hull: a friendly one takes 40 %, an enemy one all of
    // it, scores for its owner and charges its gauge by half; each stops at
    // the hull, and a hit is not repeated while the trail remembers it.
    CRobot_Normal* gunner = plain;
    auto beam = [&](Probe& p, i32 team, i32 damage) {
        Mat4 start = ship->worldMatrix;
        start.m[3][2] -= 15.0f;
        p.SetTrail(&start, 0.1f, 10, 0, nullptr, 0xFFFFFFFFu);
        p.Laser.AddPoint(ship->Position() + Vec3(0.0f, 0.0f, 15.0f));
        p.SetHits({.owner = gunner, .damage = damage, .rehitInterval = 10, .testSegments = 1, .team = team});
    };
    ship->hp = 1000;
    Probe friendly, enemy, harmless;
    beam(friendly, 0, 120);
    ship->HitTestObject(&friendly);
    EXPECT_EQ(ship->hp, 1000 - 48);
    beam(enemy, 1, 120);
    gunner->score = 0;
    gunner->chargeGauge = 0;
    ship->HitTestObject(&enemy);
    ship->HitTestObject(&enemy);
    EXPECT_EQ(ship->hp, 1000 - 48 - 120);
    EXPECT_EQ(gunner->score, 120);
    EXPECT_EQ(gunner->chargeGauge, 60);
    EXPECT_EQ(enemy.stops, 1);
    beam(harmless, 1, 0);
    ship->HitTestObject(&harmless);
    ship->HitTestObject(&harmless);
    EXPECT_EQ(harmless.stops, 2);  // nothing recorded, stopped on every pass

    // A blade cut across the deck: the owner's attack power three times over,
    // and 160 battle draws of sparks.
    BB_SwordBeamAtk blade;
    blade.Owner = gunner;
    blade.Value = 5;
    blade.Length = 3.0f;
    plat::MatrixRotationX(&blade.World, 1.5707964f);  // pointing down
    blade.World.m[3][0] = ship->Position().x;
    blade.World.m[3][1] = ship->Position().y + 3.0f;
    blade.World.m[3][2] = ship->Position().z;
    blade.PrevWorld = blade.World;
    blade.PrevWorld.m[3][0] += 0.5f;
    gunner->scriptContext.attackPower = 100;
    gunner->team = 1;
    ship->hp = 1000;
    before = Draws();
    ship->HitTestObject(&blade);
    EXPECT_EQ(ship->hp, 700);
    EXPECT_EQ(gunner->hitStop, 5);
    EXPECT_EQ(Draws() - before, 160u);

    // Two ships closer than 14 are pushed apart by half the overlap each.
    CShip* other = scene.SpawnShip(1, 1500.0f, 600.0f, 1510.0f, 1.0f, 1, kControlComputer, 1, 0.0f);
    ASSERT_NE(other, nullptr);
    const f32 shipZ = ship->Position().z, otherZ = other->Position().z;
    ship->HitTestObject(other);
    EXPECT_NEAR(other->Position().z - ship->Position().z, 14.0f, 0.001f);
    EXPECT_NEAR(shipZ - ship->Position().z, other->Position().z - otherZ, 0.001f);

    // Computer control: an attacker speeds up and turns its broadside to a
    // near target, a withdrawing ship stops and sinks, a holder keeps its
    // heading; without energy only the two chance draws are made.
    ship->lockTarget = gunner;
    ship->aimOffset = Vec3(0.0f, 0.0f, 50.0f);
    ship->aimDir = Vec3(0.0f, 0.0f, 1.0f);
    ship->aimSide = Vec3(1.0f, 0.0f, 0.0f);
    ship->hp = ship->hpMax;
    ship->energy = 0;
    ship->aiLevel = 0;
    ship->speed = 0.0f;
    before = Draws();
    ship->ComputerControl();
    EXPECT_EQ(Draws() - before, 2u);
    EXPECT_EQ(ship->input.direction, 6);
    EXPECT_EQ(ship->input.buttons[0], 1);
    EXPECT_EQ(ship->input.buttons[1], 0);
    ship->aiRetreat = 1;
    ship->speed = 0.05f;
    ship->ComputerControl();
    EXPECT_EQ(ship->input.direction, 2);
    EXPECT_EQ(ship->input.buttons[0], 0);
    EXPECT_EQ(ship->input.buttons[1], 1);
    ship->aiRetreat = 0;
    ship->aiMode = 1;
    ship->speed = 0.1f;
    ship->ComputerControl();
    EXPECT_EQ(ship->input.direction, 5);
    EXPECT_EQ(ship->input.buttons[1], 1);
    ship->aiMode = 0;
    ship->lockTarget = nullptr;
    ship->speed = 0.0f;
    ship->input.Clear();

    // The ship camera chases from behind and above, looking down at the
    // body; a shake lifts or drops it and counts down; the demonstration
    // cycle never draws from the battle generator.
    ship->aimOffset = Vec3(0.0f, 0.0f, 20.0f);
    scene.cameraMode = 0;
    scene.freeCameraMode = 0;
    scene.cameraShake = 0;
    ship->UpdateCamera();
    const Vec3 eye = At(scene.camera.world), body = ship->BodyPosition();
    EXPECT_NEAR(body.z - eye.z, 30.0f * 20.0f / std::sqrt(20.0f * 20.0f + 6.0f * 6.0f), 0.01f);
    EXPECT_NEAR(eye.y - body.y, 30.0f * 6.0f / std::sqrt(20.0f * 20.0f + 6.0f * 6.0f) + 5.8f, 0.01f);
    EXPECT_LT(scene.camera.world.m[2][1], 0.0f);
    scene.cameraShake = 4;
    ship->UpdateCamera();
    EXPECT_NEAR(std::fabs(scene.camera.world.m[3][1] - eye.y), 4.0f / 200.0f, 0.0001f);
    EXPECT_EQ(scene.cameraShake, 3);
    before = Draws();
    for (u32 mode : {2u, 3u, 4u}) {
        scene.cameraMode = mode;
        for (i32 i = 0; i < 50; ++i) ship->UpdateCamera();
    }
    EXPECT_EQ(Draws(), before);
    scene.cameraMode = 0;

    // The last hit sinks it: the owner scores the type's "Score" and a kill;
    // 90 frames of blasts (the offsets and drifts drawn x, y, z), then 180
    // frames of wreck, and then it is removed.
    ship->hp = 10;
    gunner->score = 0;
    gunner->kills = 0;
    Probe last;
    beam(last, 1, 50);
    ship->HitTestObject(&last);
    EXPECT_EQ(ship->state, kRobotStateDestroyed);
    EXPECT_EQ(ship->hp, 0);
    EXPECT_EQ(gunner->score, 50 + scene.shipTypes[1].score);
    EXPECT_EQ(gunner->kills, 1);
    before = Draws();
    for (i32 frame = 1; frame < 90; ++frame) ASSERT_EQ(ship->Run(), 0);
    EXPECT_EQ(ship->state, kRobotStateDestroyed);
    EXPECT_EQ(ship->Run(), 0);
    EXPECT_EQ(ship->state, kRobotStateDown);
    EXPECT_EQ(Draws() - before, 10u * 6u + 3u * 3u + 10u * 6u + 10u * 3u);
    for (i32 frame = 1; frame < 180; ++frame) ASSERT_EQ(ship->Run(), 0);
    EXPECT_EQ(ship->Run(), 2);
}

// A fleet battle of two ships a side and the robots they launch runs until a
// flagship sinks, and runs the same twice.
TEST(Ship, FleetBattleRunsToItsEndTheSameTwice)
{
    u32 framesA = 0, framesB = 0, launchedA = 0, launchedB = 0;
    bool decidedA = false, decidedB = false;
    const std::vector<std::string> a = FleetBattle(&framesA, &decidedA, &launchedA);
    const std::vector<std::string> b = FleetBattle(&framesB, &decidedB, &launchedB);
    EXPECT_TRUE(decidedA) << framesA;
    EXPECT_GT(launchedA, 0u);
    EXPECT_EQ(launchedA, launchedB);
    EXPECT_EQ(framesA, framesB);
    EXPECT_EQ(a, b);
    EXPECT_EQ(decidedA, decidedB);
}
