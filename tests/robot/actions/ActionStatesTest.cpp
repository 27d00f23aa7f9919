#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "battle/GameScene.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "support/BattleHash.h"
#include "support/BattleRunner.h"

namespace {

using State = CRobot_Normal::StateProc;

// A live robot without a model: states run on their rules alone, the script
// channels never end by themselves.
struct Bot {
    CRobot_Normal r;
    Bot()
    {
        r.Reset();
        r.state = kRobotStateLive;
        r.boostGaugeMax = r.boostGauge = 100000;
        r.energyMax = 1000;
    }
    // held: input bytes (1..9) as bits.
    void Frame(State s, u8 direction = 5, u32 held = 0)
    {
        if (s) r.stateProc = s;
        r.input.Clear();
        r.input.direction = direction;
        for (i32 b = 1; b < kInputBytes; ++b)
            if (held & (1u << b)) r.input.buttons[b - 1] = 1;
        r.StepActionStates();
    }
    f32 Y() const { return r.worldMatrix.m[3][1]; }
};

}  // namespace

TEST(ActionStates, MotionFollowsGravityFrictionAndTheClimbLimit)
{
    // Fall with no boost: no soft start; gravity 0.013 a frame, air friction.
    Bot fall;
    fall.r.airborne = 1;
    fall.r.boostGauge = fall.r.boostGaugeMax = 0;
    fall.r.velocity = Vec3(1.0f, 0.0f, 0.0f);
    fall.r.SetAction(8, 20.0f, 1, 0, 0.99f, 1, &CRobot_Normal::StateFall);
    f32 vy = 0.0f, y = 0.0f, vx = 1.0f;
    for (int i = 0; i < 100; ++i) {
        fall.Frame(nullptr);
        if (vy > -0.8f) vy -= 0.013f;
        vx *= 0.95f;
        y += vy;
    }
    EXPECT_NEAR(fall.r.velocity.y, vy, 1e-4f);
    EXPECT_LT(fall.r.velocity.y, -0.79f);  // held at the limit
    EXPECT_NEAR(fall.Y(), y, 1e-3f);
    EXPECT_NEAR(fall.r.velocity.x, vx, 1e-5f);
    EXPECT_EQ(fall.r.situation, 10);

    // With boost the first 30 frames fall softly: +0.012 against 0.013.
    Bot soft;
    soft.r.airborne = 1;
    soft.r.SetAction(8, 20.0f, 1, 0, 0.99f, 1, &CRobot_Normal::StateFall);
    soft.Frame(nullptr);
    EXPECT_NEAR(soft.r.velocity.y, -0.001f, 1e-6f);

    // Ground friction 0.9.
    Bot idle;
    idle.r.velocity = Vec3(0.0f, 0.0f, 2.0f);
    idle.r.gravityOn = 0;
    idle.Frame(&CRobot_Normal::StateIdle);
    EXPECT_NEAR(idle.r.velocity.z, 1.8f, 1e-6f);
    EXPECT_EQ(idle.r.situation, 0);

    // Jump rise cuts the climb to 0.15 before gravity, pays 5 boost a frame
    // and becomes the boosted rise at frame 10.
    Bot jump;
    jump.r.airborne = 1;
    jump.r.SetAction(7, 5.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateJumpRise);
    jump.r.velocity.y = 0.4f;
    jump.Frame(nullptr, 5, 1u << kInJump);
    EXPECT_NEAR(jump.r.velocity.y, 0.15f - 0.013f, 1e-6f);
    EXPECT_NEAR(jump.Y(), 0.137f, 1e-6f);
    EXPECT_EQ(jump.r.boostGauge, 100000 - 5);
    for (int i = 0; i < 9; ++i) jump.Frame(nullptr, 5, 1u << kInJump);
    EXPECT_EQ(jump.r.actionFrame, 10);
    jump.Frame(nullptr, 5, 1u << kInJump);
    EXPECT_TRUE(jump.r.stateProc == &CRobot_Normal::StateBoostRise);

    // Leaving the ground while idle falls; landing after it brakes into idle.
    Bot land;
    land.r.airborne = 1;
    land.Frame(&CRobot_Normal::StateIdle);
    EXPECT_TRUE(land.r.stateProc == &CRobot_Normal::StateFall);
    land.r.airborne = 0;
    land.Frame(nullptr);
    EXPECT_TRUE(land.r.stateProc == &CRobot_Normal::StateLanding);
    land.Frame(nullptr);
    EXPECT_EQ(land.r.situation, 2);
    land.r.layerEnded[0] = 1;
    land.Frame(nullptr);
    EXPECT_TRUE(land.r.stateProc == &CRobot_Normal::StateIdle);
}

TEST(ActionStates, DashesEndAtTheirFrameCountsAndChooseTheirAction)
{
    struct Case {
        u8 direction;
        bool held;
        int frames;  // calls until the dash has ended
        u32 slot;
    };
    const Case cases[] = {{6, true, 62, 1}, {6, false, 17, 1}, {4, true, 62, 1}, {8, false, 17, 1}};
    for (const Case& c : cases) {
        Bot b;
        b.r.commandProgress[0].doneTimer = 5;  // a double tap just recognised
        b.Frame(&CRobot_Normal::StateIdle, c.direction);
        ASSERT_TRUE(b.r.stateProc == &CRobot_Normal::StateDash) << int(c.direction);
        EXPECT_EQ(b.r.dashDirection, c.direction);
        EXPECT_EQ(b.r.dashSlot, c.slot);
        b.r.commandProgress[0].doneTimer = 0;
        int calls = 0;
        while (b.r.stateProc == &CRobot_Normal::StateDash && calls < 200) {
            b.Frame(nullptr, c.held ? c.direction : 5);
            ++calls;
        }
        EXPECT_EQ(calls, c.frames) << int(c.direction) << c.held;
        EXPECT_TRUE(b.r.stateProc == &CRobot_Normal::StateBrake);
        EXPECT_EQ(b.r.boostGauge, 100000 - 4 * c.frames);  // the idle frame tops up to the maximum; every dash call pays 4
    }
    // Dash with no boost left: the dash ends on its next frame after 15.
    Bot empty;
    empty.r.commandProgress[2].doneTimer = 1;
    empty.Frame(&CRobot_Normal::StateIdle, 6);
    ASSERT_TRUE(empty.r.stateProc == &CRobot_Normal::StateDash);
    empty.r.boostGauge = 8;
    for (int i = 0; i < 3; ++i) empty.Frame(nullptr, 6);
    EXPECT_TRUE(empty.r.stateProc == &CRobot_Normal::StateBrake);
    EXPECT_EQ(empty.r.boostGauge, 0);
    // A jump with less than 80 boost during the dash is ignored.
    Bot low;
    low.r.commandProgress[2].doneTimer = 1;
    low.Frame(&CRobot_Normal::StateIdle, 6);
    low.r.boostGauge = 79;
    low.Frame(nullptr, 6, 1u << kInJump);
    EXPECT_TRUE(low.r.stateProc == &CRobot_Normal::StateDash);
}

TEST(ActionStates, ShotsChargeAndTurnWhenTheTargetIsBehind)
{
    struct Case {
        i32 hold;
        i32 charge;
        i32 level;
        i32 left;
        bool started;
    };
    const Case cases[] = {{60, 4500, 1, 2500, true}, {150, 10000, 2, 6000, true}, {59, 10000, 0, 10000, false},
                          {600, 3000, 1, 1000, true}, {60, 1999, 0, 1999, false}};
    for (const Case& c : cases) {
        Bot b;
        b.r.chargeGauge = c.charge;
        b.r.buttonHold[kInShot] = c.hold;
        b.r.buttonLatch[kInShot] = 1;
        b.Frame(&CRobot_Normal::StateIdle);  // shot released this frame
        EXPECT_EQ(b.r.attackKind != 0, c.started) << c.hold << " " << c.charge;
        EXPECT_EQ(b.r.chargeLevel, c.level) << c.hold << " " << c.charge;
        EXPECT_EQ(b.r.chargeGauge, c.left) << c.hold << " " << c.charge;
        EXPECT_EQ(b.r.buttonLatch[kInShot], 0);
    }
    // Target ahead: upper-body shot with its end callback; behind: the
    // whole-body turning shot, even while walking.
    Bot ahead;
    ahead.Frame(&CRobot_Normal::StateIdle, 5, 1u << kInShot);
    EXPECT_EQ(ahead.r.attackKind, 1);
    EXPECT_TRUE(ahead.r.subStateProc == &CRobot_Normal::ShotEnd);
    EXPECT_EQ(ahead.r.situation, 12);  // the callback ran after the state
    ahead.r.layerEnded[1] = 1;
    ahead.Frame(nullptr);
    EXPECT_EQ(ahead.r.attackKind, 0);
    EXPECT_TRUE(ahead.r.subStateProc == nullptr);

    Bot behind;
    behind.r.SetAction(1, 5.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateWalk);
    behind.r.lockTarget = &behind.r;  // keeps the view from turning with the stick
    behind.r.forward = Vec3(0.0f, 0.0f, -1.0f);
    behind.r.side = Vec3(-1.0f, 0.0f, 0.0f);
    behind.Frame(nullptr, 8, 1u << kInShot);
    EXPECT_EQ(behind.r.attackKind, 2);
    EXPECT_TRUE(behind.r.stateProc == &CRobot_Normal::StateWholeBodyAttack);
    behind.r.lockTarget = nullptr;
    behind.r.layerEnded[0] = 1;
    behind.Frame(nullptr);
    EXPECT_TRUE(behind.r.stateProc == &CRobot_Normal::StateBrake);
    EXPECT_EQ(behind.r.attackKind, 0);
}

TEST(ActionStates, ManoeuvresSteerWithinTheirLimitsAndPayBoost)
{
    // Steering right from straight ahead: 15 degrees in the first 10 frames.
    Bot m;
    m.r.airborne = 1;
    m.r.commandProgress[kCmdJumpTap].doneTimer = 1;
    m.r.SetAction(8, 20.0f, 1, 0, 0.99f, 1, &CRobot_Normal::StateFall);
    m.Frame(nullptr);
    ASSERT_TRUE(m.r.stateProc == &CRobot_Normal::StateManoeuvre1);
    EXPECT_EQ(m.r.commandProgress[kCmdJumpTap].doneTimer, 0);
    m.r.lockTarget = &m.r;  // no free look: the view stays put
    const i32 boost = m.r.boostGauge;
    m.Frame(nullptr, 6);
    const f32 s15 = std::sin(15.0f * 0.017453f), c15 = std::cos(15.0f * 0.017453f);
    EXPECT_NEAR(m.r.facing.x, s15, 1e-3f);
    EXPECT_NEAR(m.r.facing.z, c15, 1e-3f);
    EXPECT_EQ(m.r.boostGauge, boost - 5);
    EXPECT_EQ(m.r.situation, 7);
    // From frame 10 the limit is 2.5 - 2c degrees.
    m.r.actionFrame = 10;
    const Vec3 before = m.r.facing;
    m.Frame(nullptr, 6);
    const f32 cosTurn = before.x * m.r.facing.x + before.z * m.r.facing.z;
    const f32 expected = 2.5f - 2.0f * s15;  // c = facing . side
    EXPECT_NEAR(std::acos(cosTurn) * 57.2958f, expected, 0.05f);

    // Without a target, left turns the view 1 degree a frame.
    Bot look;
    look.r.airborne = 1;
    look.Frame(&CRobot_Normal::StateManoeuvre1, 4);
    EXPECT_NEAR(look.r.forward.x, -std::sin(0.017453f), 1e-5f);

    // Five boost: the payment empties it and the manoeuvre ends at once into
    // the fall at frame 15.
    Bot poor;
    poor.r.airborne = 1;
    poor.r.boostGauge = 5;
    poor.r.SetAction(22, 3.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateManoeuvre1);
    poor.Frame(nullptr);
    EXPECT_TRUE(poor.r.stateProc == &CRobot_Normal::StateFall);
    EXPECT_EQ(poor.r.actionFrame, 15);

    // Launched out of an upper-body attack the manoeuvre starts 30% faster,
    // once: the climb it inherits must not grow frame after frame (it used to
    // carry the robot off to infinity).
    Bot kick;
    kick.r.airborne = 1;
    kick.r.SetAction(7, 2.0f, 1, 10, 1.0f, 1, &CRobot_Normal::StateBoostRise);
    kick.r.velocity.y = 0.15f;
    kick.r.attackKind = 1;
    kick.r.commandProgress[kCmdJumpTap].doneTimer = 1;
    kick.Frame(nullptr, 5, 1u << kInJump);
    ASSERT_TRUE(kick.r.stateProc == &CRobot_Normal::StateManoeuvre1);
    EXPECT_NEAR(kick.r.velocity.y, (0.15f - 0.013f) * 1.3f, 1e-5f);
    for (int i = 0; i < 120; ++i) kick.Frame(nullptr, 8, 1u << kInJump);
    EXPECT_LT(kick.r.velocity.y, -0.79f);
    EXPECT_GT(kick.r.velocity.y, -0.82f);

    // Holding guard in the second manoeuvre settles the pitch at 38.
    Bot pitch;
    pitch.r.airborne = 1;
    pitch.r.SetAction(25, 3.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateManoeuvre2);
    for (int i = 0; i < 400; ++i) pitch.Frame(nullptr, 5, 1u << kInGuard);
    EXPECT_NEAR(pitch.r.bodyPitch, 38.0f, 0.01f);
}

TEST(ActionStates, CoreOperations)
{
    Bot b;
    // Move directions relative to the view; 5 is none.
    b.r.forward = Vec3(0.0f, 0.6f, 0.8f);
    b.r.side = Vec3(1.0f, 0.0f, 0.0f);
    const Vec3 seven = b.r.GetMoveDirection(7);
    EXPECT_NEAR(seven.x, -1.0f / std::sqrt(1.64f), 1e-5f);
    EXPECT_NEAR(seven.z, 0.8f / std::sqrt(1.64f), 1e-5f);
    EXPECT_EQ(seven.y, 0.0f);
    EXPECT_TRUE(b.r.GetMoveDirection(5) == Vec3());
    // Turning: exactly behind is the full rate to the right.
    EXPECT_EQ(b.r.TurnToward(Vec3(0.0f, 0.0f, -1.0f), 7.0f), 7.0f);
    EXPECT_EQ(b.r.TurnToward(Vec3(-1.0f, 0.0f, -1.0f), 7.0f), -7.0f);
    EXPECT_NEAR(b.r.TurnToward(Vec3(1.0f, 0.0f, 1.0f), 90.0f), 45.0f, 0.01f);
    EXPECT_EQ(b.r.TurnToward(Vec3(), 7.0f), 0.0f);
    // Falling out of the world returns to the spawn point.
    b.r.spawnPos[0] = 3.0f;
    b.r.spawnPos[1] = 4.0f;
    b.r.worldMatrix.m[3][1] = -199.99f;
    b.r.velocity.y = -0.5f;
    b.r.UpdatePosture(0.0f);
    EXPECT_EQ(b.r.worldMatrix.m[3][0], 3.0f);
    EXPECT_EQ(b.r.worldMatrix.m[3][1], 4.0f);
    EXPECT_TRUE(b.r.prevWorldMatrix == b.r.worldMatrix);
    // An action without the whole-body flag leaves an upper-body attack running.
    b.r.attackKind = 1;
    b.r.subStateProc = &CRobot_Normal::ShotEnd;
    b.r.SetAction(1, 5.0f, 1, 3, 1.0f, 0, &CRobot_Normal::StateWalk);
    EXPECT_EQ(b.r.attackKind, 1);
    EXPECT_EQ(b.r.actionFrame, 3);
    b.r.SetAction(0, 5.0f, 1, 0, 0.8f, 1, &CRobot_Normal::StateIdle);
    EXPECT_EQ(b.r.attackKind, 0);
    EXPECT_TRUE(b.r.subStateProc == nullptr);
    EXPECT_EQ(b.r.moveDecay, 0.8f);
}

namespace {

// A pilot's recording: from each frame on, the direction and buttons held
// (bit 0 jump, 1 shot, 2 saber). Walks at the enemy, jumps and rises on boost,
// falls and lands, dashes right with a double tap, shoots and slashes.
const std::vector<RecordedInput> kPilot = {
    {150, 8, 0}, {190, 5, 0}, {210, 5, 1}, {260, 5, 0}, {350, 6, 0}, {351, 5, 0}, {353, 6, 0},
    {383, 5, 0}, {423, 5, 2}, {424, 5, 0}, {464, 5, 4}, {465, 5, 0},
};
constexpr u32 kPilotFrames = 530;

f32 Distance(const Vec3& a, const Vec3& b)
{
    const Vec3 d = a - b;
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

struct Flight {
    std::vector<u64> hashes;
    std::vector<CRobot_Normal::StateProc> seen;
    std::vector<Vec3> path;
    CRobot_Base* target = nullptr;
    CRobot_Base* enemy = nullptr;
    u32 mostWeapons = 0;
    i32 endAirborne = -1, endAttack = -1;
};

Flight Fly()
{
    Flight out;
    BattleRunner runner(MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1}, {0}, true));
    runner.PlayInput(kPilot);
    CGameScene* scene = runner.Scene();
    if (!scene) return out;
    auto* me = static_cast<CRobot_Normal*>(scene->robotTable[0]);
    auto* enemy = static_cast<CRobot_Normal*>(scene->robotTable[1]);
    out.enemy = enemy;
    // The enemy waits 40 ahead, well inside the pilot's lock range.
    enemy->worldMatrix.m[3][0] = me->worldMatrix.m[3][0];
    enemy->worldMatrix.m[3][2] = me->worldMatrix.m[3][2] + 40.0f;
    enemy->prevWorldMatrix = enemy->worldMatrix;
    for (u32 f = 1; f <= kPilotFrames && runner.RunFrames(1) == 1; ++f) {
        const BattleHash h = HashBattle(*scene);
        out.hashes.push_back(h.value);
        if (h.objects > out.mostWeapons) out.mostWeapons = h.objects;
        out.path.push_back(Vec3(me->worldMatrix.m[3][0], me->worldMatrix.m[3][1], me->worldMatrix.m[3][2]));
        for (CRobot_Normal::StateProc p : {me->stateProc, me->subStateProc})
            if (p && (out.seen.empty() || out.seen.back() != p)) out.seen.push_back(p);
        if (f == 200) out.target = me->lockTarget;
    }
    out.endAirborne = me->airborne;
    out.endAttack = me->attackKind;
    return out;
}

bool Saw(const Flight& f, CRobot_Normal::StateProc p)
{
    for (CRobot_Normal::StateProc s : f.seen)
        if (s == p) return true;
    return false;
}

}  // namespace

// A recorded pilot walks, jumps, dashes, shoots and slashes on the sample
// stage against a robot that stands still; the whole battle comes out the
// same frame by frame on a second run.
TEST(ActionStates, ARecordedPilotFightsTheSameBattleEveryRun)
{
    const Flight first = Fly();
    ASSERT_EQ(first.hashes.size(), kPilotFrames);
    EXPECT_EQ(first.target, first.enemy);  // locked on by the time it walks
    for (CRobot_Normal::StateProc p :
         {&CRobot_Normal::StateWalk, &CRobot_Normal::StateJumpStart, &CRobot_Normal::StateBoostRise,
          &CRobot_Normal::StateFall, &CRobot_Normal::StateLanding, &CRobot_Normal::StateDash,
          &CRobot_Normal::StateBrake, &CRobot_Normal::ShotEnd, &CRobot_Normal::UpperAttackEnd})
        EXPECT_TRUE(Saw(first, p));
    // The walk carried it 0.25 a frame, the jump lifted it, the dash ran, the
    // shot flew, and it ends standing with nothing running.
    EXPECT_NEAR(Distance(first.path[148], first.path[188]), 10.0f, 0.3f);
    f32 top = first.path[148].y;
    for (const Vec3& p : first.path) top = p.y > top ? p.y : top;
    EXPECT_GT(top - first.path[148].y, 5.0f);
    EXPECT_GT(Distance(first.path[351], first.path[381]), 12.0f);
    EXPECT_GE(first.mostWeapons, 1u);
    EXPECT_EQ(first.endAirborne, 0);
    EXPECT_EQ(first.endAttack, 0);

    const Flight second = Fly();
    ASSERT_EQ(second.hashes.size(), first.hashes.size());
    for (size_t f = 0; f < first.hashes.size(); ++f) ASSERT_EQ(first.hashes[f], second.hashes[f]) << "frame " << f + 1;
}
