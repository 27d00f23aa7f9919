#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/TaskList.h"
#include "engine/model/HodModel.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "tests/battle/stage/StageFixture.h"
#include "weapon/WeaponScene.h"

namespace {

// Robots in a unit list, each with a target point of its own.
struct Field {
    CList<BB_Base> units;
    std::vector<CRobot_Normal*> bots;
    std::vector<HodNode*> points;
    CRobot_Normal* Add(i32 team, Vec3 at)
    {
        auto* r = CreateInList<CRobot_Normal>(&units, 1);
        r->Reset();
        r->state = kRobotStateLive;
        r->team = team;
        r->lockDistance = 100.0f;
        points.push_back(new HodNode());
        r->frameBodyD = points.back();
        Place(r, at);
        bots.push_back(r);
        return r;
    }
    static void Place(CRobot_Normal* r, Vec3 at)
    {
        r->worldMatrix.m[3][0] = r->frameBodyD->world.m[3][0] = at.x;
        r->worldMatrix.m[3][1] = r->frameBodyD->world.m[3][1] = at.y;
        r->worldMatrix.m[3][2] = r->frameBodyD->world.m[3][2] = at.z;
    }
    ~Field()
    {
        // The points go first: robots no longer reach them.
        for (CRobot_Normal* r : bots) r->frameBodyD = nullptr;
        for (HodNode* n : points) n->FreeTree(true);
    }
};

void Press(CRobot_Normal* r, bool down, u8 direction = 5)
{
    r->input.Clear();
    r->input.direction = direction;
    r->input.buttons[kInTarget - 1] = down ? 1 : 0;
}

}  // namespace

TEST(LockOn, AcquiresCyclesWithWrapAndTogglesOff)
{
    Field f;
    CRobot_Normal* me = f.Add(0, Vec3());
    f.Add(0, Vec3(0, 0, 5));                         // a team-mate
    CRobot_Normal* far = f.Add(1, Vec3(0, 0, 150));  // beyond a player's range
    CRobot_Normal* a = f.Add(1, Vec3(0, 0, 30));
    CRobot_Normal* b = f.Add(1, Vec3(20, 0, 0));
    CRobot_Normal* dead = f.Add(1, Vec3(1, 0, 0));
    dead->state = kRobotStateDestroyed;

    Press(me, false);
    me->UpdateLockOn(f.units);
    EXPECT_EQ(me->lockTarget, a);  // first enemy in list order within range

    // Target change with up searches the whole lock range after the target, wrapping.
    Press(me, true, 8);
    me->UpdateLockOn(f.units);
    EXPECT_EQ(me->lockTarget, b);
    Press(me, false);
    me->UpdateLockOn(f.units);
    Press(me, true, 8);
    me->UpdateLockOn(f.units);
    EXPECT_EQ(me->lockTarget, a);  // wrapped past the end, skipped the far one and the dead one

    // Held: on the 40th held frame the lock goes off and the view faces forward.
    for (int i = 1; i < 39; ++i) me->UpdateLockOn(f.units);
    EXPECT_EQ(me->lockOff, 0);
    me->UpdateLockOn(f.units);
    EXPECT_EQ(me->lockOff, 1);
    EXPECT_EQ(me->lockTarget, nullptr);
    Press(me, false);
    me->UpdateLockOn(f.units);
    EXPECT_EQ(me->lockTarget, nullptr);
    Press(me, true);
    me->UpdateLockOn(f.units);  // a fresh press clears lockOff at once
    EXPECT_EQ(me->lockOff, 0);
    EXPECT_EQ(me->lockTarget, a);

    // The computer's range is a hundred times a player's.
    Field g;
    CRobot_Normal* player = g.Add(0, Vec3());
    CRobot_Normal* lone = g.Add(1, Vec3(0, 0, 5000));
    player->UpdateLockOn(g.units);
    EXPECT_EQ(player->lockTarget, nullptr);
    player->controlMode = kControlComputer;
    player->UpdateLockOn(g.units);
    EXPECT_EQ(player->lockTarget, lone);
    player->UpdateAim();
    EXPECT_EQ(player->lockTarget, lone);
    player->controlMode = kControlLocal;
    player->UpdateAim();  // out of a player's range: dropped
    EXPECT_EQ(player->lockTarget, nullptr);
    (void)far;
}

TEST(LockOn, AimTurnsAtMostEightDegreesAndLimitsElevation)
{
    Field f;
    CRobot_Normal* me = f.Add(0, Vec3());
    CRobot_Normal* side = f.Add(1, Vec3(10, 0, 0));
    me->lockTarget = side;
    me->UpdateAim();
    const f32 s8 = std::sin(8.0f * 0.017453f);
    EXPECT_NEAR(me->forward.x, s8, 1e-3f);
    EXPECT_NEAR(me->forward.z, std::cos(8.0f * 0.017453f), 1e-3f);
    EXPECT_NEAR(me->aimVector.x, 10.0f * s8, 1e-2f);
    for (int i = 0; i < 11; ++i) me->UpdateAim();
    EXPECT_NEAR(me->forward.x, 1.0f, 1e-4f);  // 90 degrees in twelve frames
    EXPECT_NEAR(me->side.z, -1.0f, 1e-4f);

    // Overhead: the aim stops 45 degrees above the horizontal.
    Field::Place(side, Vec3(1, 10, 0));
    for (int i = 0; i < 20; ++i) me->UpdateAim();
    EXPECT_EQ(me->aimClamped, 1);
    EXPECT_NEAR(me->forward.y, std::sin(0.785385f), 1e-3f);
    EXPECT_NEAR(me->forward.x, std::cos(0.785385f), 1e-3f);
    EXPECT_NEAR(me->aimVector.y, std::sin(0.785385f) * std::sqrt(101.0f), 1e-2f);
}

// The locked robot sees an arrow on the side the locking one stands, red
// while it attacks, and a threat marker of the matching kind; a computer
// warns only from within the locked robot's own lock distance.
TEST(LockOn, TheLockedRobotIsWarnedFromTheLockingSide)
{
    struct Case {
        Vec3 from;
        i32 attack;
        u8 control;
        i32 arrow;  // -1: no warning
    };
    // The locked robot faces +z with its side +x.
    const Case cases[] = {
        {{-10, 0, 1}, 0, kControlLocal, 0},   {{1, 0, 10}, 0, kControlLocal, 1},
        {{10, 0, -1}, 1, kControlLocal, 2},   {{0, 0, -10}, 0, kControlLocal, 3},
        {{-10, 0, -10}, 0, kControlLocal, 3}, {{0, 0, 90}, 0, kControlComputer, 1},
        {{0, 0, 120}, 0, kControlComputer, -1},
    };
    for (const Case& c : cases) {
        Field f;
        CRobot_Normal* target = f.Add(0, Vec3());
        CRobot_Normal* me = f.Add(1, c.from);
        target->forward = Vec3(0, 0, 1);
        target->side = Vec3(1, 0, 0);
        me->controlMode = c.control;
        me->attackKind = c.attack;
        me->lockTarget = target;
        me->WarnLockTarget();
        SCOPED_TRACE(testing::Message() << c.from.x << "," << c.from.z);
        for (i32 i = 0; i < 4; ++i) EXPECT_EQ(target->statusFlags[i], i == c.arrow ? (c.attack ? 2 : 1) : 0);
        LockAlertNode* alert = target->lockAlertList.GetHead()->next;
        if (c.arrow < 0) {
            EXPECT_EQ(alert, target->lockAlertList.GetTail());
            continue;
        }
        ASSERT_NE(alert, target->lockAlertList.GetTail());
        EXPECT_EQ(alert->kind, c.attack ? 1 : 0);
        EXPECT_EQ(alert->source, me);
        // The arrow lasts while the lock is refreshed and clears two frames after.
        target->AgeLockAlerts();
        EXPECT_NE(target->lockAlertList.GetHead()->next, target->lockAlertList.GetTail());
        target->AgeLockAlerts();
        EXPECT_EQ(target->lockAlertList.GetHead()->next, target->lockAlertList.GetTail());
    }
}

using LockOnBehindWalls = StageFolderTest;

// Under the tactical rules a target is kept only in sight: 180 frames in a
// row behind a wall lose it, and one clear frame starts the count again.
TEST_F(LockOnBehindWalls, ATargetHiddenFor180FramesIsLost)
{
    StageLayout s = Basic();
    s.Cell(1, 0).push_back({At(30, 0, 15), 0, ""});  // a box from x 25 to 35, 10 tall
    ASSERT_EQ(Load(s), 1);
    WeaponWorld world;
    world.map = &map;
    SetWeaponWorld(&world);
    Field f;
    CRobot_Normal* me = f.Add(0, Vec3(12, 5, 15));
    CRobot_Normal* enemy = f.Add(1, Vec3(20, 5, 15));
    me->tacticalRules = 1;
    const Vec3 inSight(20, 5, 15), hidden(45, 5, 15);
    auto frames = [&](int n) {
        for (int i = 0; i < n; ++i) {
            Press(me, false);
            me->UpdateLockOn(f.units);
        }
    };
    frames(1);
    ASSERT_EQ(me->lockTarget, enemy);  // near and in sight
    Field::Place(enemy, hidden);
    frames(100);
    EXPECT_EQ(me->lockTarget, enemy);
    Field::Place(enemy, inSight);
    frames(1);
    Field::Place(enemy, hidden);
    frames(179);
    EXPECT_EQ(me->lockTarget, enemy);
    frames(1);
    EXPECT_EQ(me->lockTarget, nullptr);
    frames(5);
    EXPECT_EQ(me->lockTarget, nullptr);  // not picked up again through the wall

    // A double tap of target change drops a target at once.
    Field::Place(enemy, inSight);
    frames(1);
    ASSERT_EQ(me->lockTarget, enemy);
    me->commandProgress[kCmdTargetTap].doneTimer = 3;
    frames(1);
    EXPECT_EQ(me->lockTarget, nullptr);
    SetWeaponWorld(nullptr);
}
