#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/core/Application.h"
#include "engine/core/MTRand.h"
#include "platform/core/Thread.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "robot/actions/ActionCore.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Burner.h"

namespace {

using State = CRobot_Normal::StateProc;

// Both layers pose one node tree, as in a battle; the upper layer owns none of it.
struct Robot : CRobot_Normal {
    ~Robot() override
    {
        if (upperModel.root == lowerModel.root) upperModel.root = nullptr;
    }
};

// The first sample type, loaded once for the suite, and robots bound to it
// the way a battle binds them: both model copies, the named nodes, scripts.
class SampleRobot : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        type_ = new RobotModelData();
        ASSERT_EQ(LoadRobotTypeFolder(*type_, QUILLON_RUN_DIR, "robo/robo01", *lock_, 100), 1)
            << LastRobotTypeError();
    }
    static void TearDownTestSuite()
    {
        delete type_;
        type_ = nullptr;
    }
    void SetUp() override
    {
        effects_.Init();
        world_.effects = &effects_;
        SetWeaponWorld(&world_);
    }
    void TearDown() override
    {
        SetWeaponWorld(nullptr);
        effects_.DeleteAll();
    }

    static void Bind(CRobot_Normal& r)
    {
        r.Reset();
        r.state = kRobotStateLive;
        r.boostGaugeMax = r.boostGauge = 100000;
        r.energyMax = 1000;
        r.modelData = type_;
        type_->hierarchy.CopyTo(&r.lowerModel);
        r.upperModel.root = r.lowerModel.root;
        r.frameBodyD = r.lowerModel.FindNode(kNodeBodyD);
        r.frameUpperBody = r.upperModel.FindNode(kNodeBody);
        r.frameShield = r.upperModel.FindNode(kNodeShield);
        for (i32 k = 0; k < kRobotAttackArms; ++k) r.attackArmNodes[k] = r.upperModel.FindNode(type_->attackArmNodeNames[k]);
        for (i32 i = 0; i < kRobotBurners; ++i)
            if (!type_->burnerNodeNames[i].empty())
                r.burnerNodes[i] = r.lowerModel.FindNode(type_->burnerNodeNames[i].c_str());
    }

    // One frame as the update runs it: input, script channels, then the state.
    static void Frame(CRobot_Normal& r, u8 direction = 5, u32 held = 0, State s = nullptr)
    {
        if (s) r.stateProc = s;
        r.input.Clear();
        r.input.direction = direction;
        for (i32 b = 1; b < kInputBytes; ++b)
            if (held & (1u << b)) r.input.buttons[b - 1] = 1;
        r.CountHeldButtons();
        r.StepScriptChannels();
        r.StepActionStates();
    }

    template <class T>
    std::vector<T*> Made()
    {
        std::vector<T*> out;
        for (BB_Base* o = effects_.GetHead()->next; o != effects_.GetTail(); o = o->next)
            if (auto* t = dynamic_cast<T*>(o)) out.insert(out.begin(), t);  // made at the front: oldest last
        return out;
    }

    // Frames a script plays: its entries' waits, then the frame that reads
    // its end mark.
    static int ScriptFrames(i32 action)
    {
        const ScriptEntry* t = type_->ScriptTable(action);
        int frames = 1;
        for (i32 e = 0; t && e + 1 < type_->scriptEntryCounts[action]; ++e) frames += t[e].wait;
        return frames;
    }

    static Vec3 Row(const Mat4& m, int r)
    {
        Vec3 v(m.m[r][0], m.m[r][1], m.m[r][2]);
        plat::Vec3Normalize(&v, &v);
        return v;
    }
    static f32 DegreesBetween(const Vec3& a, const Vec3& b)
    {
        f32 c = plat::Vec3Dot(&a, &b);
        c = c > 1.0f ? 1.0f : (c < -1.0f ? -1.0f : c);
        return std::acos(c) * 57.29578f;
    }

    static inline RobotModelData* type_ = nullptr;
    static inline plat::CriticalSection* lock_ = new plat::CriticalSection();
    CList<BB_Base> effects_;
    WeaponWorld world_;
};

}  // namespace

// The body pitches toward the view within its limit, the chest takes the rest
// of the pitch within its own, an arm points at what the robot looks at, and
// each eases back when its script lets go. Posing again changes nothing: the
// turns never pile up from frame to frame.
TEST_F(SampleRobot, BodyChestAndArmsAimWithinTheirLimitsAndEaseBack)
{
    Robot r;
    Bind(r);
    ASSERT_TRUE(r.frameBodyD && r.frameUpperBody && r.attackArmNodes[0]);
    r.PoseLayers();
    const Vec3 body0 = Row(r.frameBodyD->world, 2), chest0 = Row(r.frameUpperBody->world, 2);
    const Mat4 arm0 = r.attackArmNodes[0]->world;

    const f32 down = 30.0f * 0.017453f;
    r.forward = Vec3(0.0f, -std::sin(down), std::cos(down));
    r.side = Vec3(1.0f, 0.0f, 0.0f);
    r.scriptContext.bodyLockOn[0] = 1;
    r.scriptContext.bodyLock[0][0] = 20.0f;
    r.scriptContext.bodyLock[0][1] = 20.0f;
    r.scriptContext.bodyLockOn[1] = 1;
    r.scriptContext.bodyLock[1][0] = 45.0f;
    r.scriptContext.bodyLock[1][1] = 45.0f;
    r.scriptContext.armLockOn[0] = 1;
    r.scriptContext.armLock[0][0] = 180.0f;
    r.scriptContext.armLock[0][1] = 90.0f;
    r.PoseLayers();  // weights start at 0: nothing turns yet
    EXPECT_NEAR(DegreesBetween(Row(r.frameBodyD->world, 2), body0), 0.0f, 0.05f);
    for (int i = 0; i < 11; ++i) r.PoseLayers();
    EXPECT_EQ(r.bodyAimWeight, 1.0f);
    EXPECT_NEAR(DegreesBetween(Row(r.frameBodyD->world, 2), body0), 20.0f, 0.1f);
    EXPECT_LT(Row(r.frameBodyD->world, 2).y, body0.y);  // pitched down
    EXPECT_NEAR(DegreesBetween(Row(r.frameUpperBody->world, 2), chest0), 30.0f, 0.1f);
    EXPECT_NEAR(DegreesBetween(Row(r.attackArmNodes[0]->world, 2), r.forward), 0.0f, 0.2f);
    const Mat4 settled = r.frameUpperBody->world;
    r.PoseLayers();
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(r.frameUpperBody->world.m[i][j], settled.m[i][j], 1e-5f);

    // A tight arm limit holds the arm's turn; 999 switches an aim off.
    r.scriptContext.armLock[0][0] = 999.0f;
    r.scriptContext.bodyLockOn[0] = 0;
    r.scriptContext.bodyLockOn[1] = 0;
    r.PoseLayers();
    EXPECT_NEAR(r.bodyAimWeight, 0.9f, 1e-5f);
    EXPECT_NEAR(r.armAimWeight[0], 0.9f, 1e-5f);
    for (int i = 0; i < 10; ++i) r.PoseLayers();
    EXPECT_EQ(r.bodyAimWeight, 0.0f);
    EXPECT_NEAR(DegreesBetween(Row(r.frameBodyD->world, 2), body0), 0.0f, 0.05f);
    EXPECT_NEAR(DegreesBetween(Row(r.frameUpperBody->world, 2), chest0), 0.0f, 0.05f);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(r.attackArmNodes[0]->world.m[i][j], arm0.m[i][j], 1e-4f);
}

// Burners flame every third frame of an action whose script lights them, each
// with its glow on the burner node, and go out with the next action.
TEST_F(SampleRobot, LitBurnersFlameEveryThirdFrameOnTheirNodes)
{
    Robot r;
    Bind(r);
    ASSERT_TRUE(r.burnerNodes[0] && r.burnerNodes[1]);
    r.gravityOn = 0;
    r.SetAction(11, 5.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateDash);  // lights both at 1.5
    r.dashDirection = 8;
    for (int f = 0; f < 9; ++f) Frame(r, 8);
    const auto flames = Made<BB_Burner>();
    const auto glows = Made<BB_BurnerBall>();
    ASSERT_EQ(flames.size(), 6u);  // frames 3, 6 and 9, two burners each
    ASSERT_EQ(glows.size(), 6u);
    EXPECT_EQ(flames[0]->FollowedMatrix, &r.burnerNodes[0]->world);
    EXPECT_EQ(flames[1]->FollowedMatrix, &r.burnerNodes[1]->world);
    EXPECT_EQ(flames[0]->Followed, &r);
    EXPECT_FLOAT_EQ(flames[0]->Width, 0.75f);
    EXPECT_FLOAT_EQ(flames[0]->Radius, 1.5f);
    EXPECT_EQ(glows[0]->ParentMatrix, &r.burnerNodes[0]->world);
    EXPECT_FLOAT_EQ(glows[0]->Offset.z, 1.5f / 8.0f);
    EXPECT_EQ(glows[0]->Life, 4);

    // Standing lights nothing.
    r.SetAction(0, 5.0f, 1, 0, 0.8f, 1, &CRobot_Normal::StateIdle);
    for (int f = 0; f < 6; ++f) Frame(r);
    EXPECT_EQ(Made<BB_Burner>().size(), 6u);
}

// Landing and dash smoke draw the battle generator for the offsets first, then
// the drift, each in x, y, z order.
TEST_F(SampleRobot, SmokeDrawsOffsetsThenDriftsEachXYZ)
{
    struct Case {
        const char* what;
        State state;
        u32 action;
        int count;
        f32 spread, driftSpread, rise, size;
    };
    const Case cases[] = {{"landing", &CRobot_Normal::StateLanding, 5, 20, 1.2f, 0.08f, 0.03f, 2.0f},
                          {"dash", &CRobot_Normal::StateDash, 11, 1, 0.1f, 0.04f, 0.04f, 1.4f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        effects_.Init();
        Robot r;
        Bind(r);
        r.gravityOn = 0;
        r.worldMatrix.m[3][0] = 5.0f;
        r.worldMatrix.m[3][2] = 7.0f;
        r.dashDirection = 8;
        r.SetAction(c.action, 5.0f, 1, 0, 0.9f, 1, c.state);
        GetBattleRandom().Init(4321);
        r.input.Clear();
        r.input.direction = 8;
        r.StepActionStates();
        const auto smoke = Made<BB_GSmoke>();
        ASSERT_EQ(static_cast<int>(smoke.size()), c.count);
        GetBattleRandom().Init(4321);
        auto unit = [] { return static_cast<f32>(double(GetBattleRandom().GetRand()) / 4294967296.0); };
        for (const BB_GSmoke* s : smoke) {
            const f32 ox = -c.spread + 2 * c.spread * unit();
            const f32 oz = -c.spread + 2 * c.spread * unit();
            const f32 dx = -c.driftSpread + 2 * c.driftSpread * unit();
            const f32 dy = c.rise * unit();
            const f32 dz = -c.driftSpread + 2 * c.driftSpread * unit();
            EXPECT_NEAR(s->Position().x, 5.0f + ox, 1e-5f);
            EXPECT_NEAR(s->Position().z, 7.0f + oz, 1e-5f);
            EXPECT_NEAR(s->Velocity.x, dx, 1e-6f);
            EXPECT_NEAR(s->Velocity.y, dy, 1e-6f);
            EXPECT_NEAR(s->Velocity.z, dz, 1e-6f);
        }
    }
}

// A whole-body slash chains its combo steps on saber presses, can be
// cancelled into guard for charge, and closes into the brake.
TEST_F(SampleRobot, SaberCombosChainStepsAndCancelForCharge)
{
    struct Case {
        u8 direction;
        u32 action;
    };
    for (const Case& c : {Case{5, 131}, Case{4, 141}, Case{6, 146}, Case{2, 151}}) {
        SCOPED_TRACE(c.action);
        Robot r;
        Bind(r);
        r.altActionSet = 1;  // the sword set: slashes use the whole body
        r.lockTarget = &r;   // keeps the view still while walking
        // Standing slashes come from idle, the side and back ones from a walk.
        if (c.direction == 5)
            r.SetAction(0, 5.0f, 1, 0, 0.8f, 1, &CRobot_Normal::StateIdle);
        else
            r.SetAction(1, 5.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateWalk);
        Frame(r, c.direction, 1u << kInSaber);
        ASSERT_TRUE(r.stateProc == &CRobot_Normal::StateSaberCombo);
        EXPECT_EQ(r.channelTable[0], type_->ScriptTable(static_cast<i32>(c.action)));
        EXPECT_EQ(r.channelTable[1], type_->ScriptTable(static_cast<i32>(c.action)));
        EXPECT_EQ(r.comboStep, 1);
        EXPECT_EQ(r.attackKind, 2);
        // The slash faces the view; a sideways move in its script then turns it.
        Vec3 faced = r.forward + r.side * r.scriptContext.move[0];
        plat::Vec3Normalize(&faced, &faced);
        EXPECT_NEAR(r.facing.x, faced.x, 1e-6f);
        EXPECT_NEAR(r.facing.z, faced.z, 1e-6f);
        Frame(r);
        EXPECT_EQ(r.situation, 5);
    }

    // Up with a dash-slash script: the approach, then the slash when the
    // target is reached.
    Robot target;
    Bind(target);
    target.PoseLayers();
    Robot dash;
    Bind(dash);
    dash.altActionSet = 1;
    dash.PoseLayers();
    dash.lockTarget = &target;  // standing on top of it: reached at once
    dash.SetAction(1, 5.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateWalk);
    Frame(dash, 8, 1u << kInSaber);
    ASSERT_TRUE(dash.stateProc == &CRobot_Normal::StateDashSlash);
    EXPECT_EQ(dash.moveDecay, 1.0f);
    for (int f = 0; f < 6; ++f) Frame(dash);
    EXPECT_TRUE(dash.stateProc == &CRobot_Normal::StateDashSlash);
    Frame(dash);
    EXPECT_TRUE(dash.stateProc == &CRobot_Normal::StateSaberCombo);
    EXPECT_EQ(dash.comboStep, 1);
    EXPECT_EQ(dash.actionFrame, 0);

    // The next step waits for a fresh press and the script's next action.
    Robot r;
    Bind(r);
    r.altActionSet = 1;
    r.SetAction(0, 5.0f, 1, 0, 0.8f, 1, &CRobot_Normal::StateIdle);
    Frame(r, 5, 1u << kInSaber);
    Frame(r, 5, 1u << kInSaber);  // still held: nothing queued
    EXPECT_EQ(r.comboQueued, 0);
    Frame(r);
    Frame(r, 5, 1u << kInSaber);  // queued, but no next action yet
    EXPECT_EQ(r.comboQueued, 1);
    EXPECT_EQ(r.comboStep, 1);
    r.scriptContext.swordCancel = 132;  // the slash's script names its follow-up
    Frame(r);
    EXPECT_EQ(r.comboStep, 2);
    EXPECT_EQ(r.comboQueued, 0);
    EXPECT_EQ(r.channelTable[0], type_->ScriptTable(132));
    EXPECT_EQ(r.moveDecay, 0.5f);  // no hit landed yet
    EXPECT_EQ(r.actionFrame, 1);
    r.comboCount = 1;
    r.scriptContext.swordCancel = 132;
    Frame(r, 5, 1u << kInSaber);
    EXPECT_EQ(r.comboStep, 3);
    EXPECT_EQ(r.moveDecay, 0.9f);

    // Guard cancels at 1,500 charge, or 500 while the combo timer runs.
    r.chargeGauge = 1499;
    Frame(r, 5, 1u << kInGuard);
    EXPECT_TRUE(r.stateProc == &CRobot_Normal::StateSaberCombo);
    r.comboTimer = 10;
    Frame(r);
    Frame(r, 5, 1u << kInGuard);
    EXPECT_TRUE(r.stateProc == &CRobot_Normal::StateGuard);
    EXPECT_EQ(r.chargeGauge, 999);
    EXPECT_EQ(r.comboCount, 0);

    // Played out: the brake, with the attack over.
    Robot end;
    Bind(end);
    end.altActionSet = 1;
    end.SetAction(0, 5.0f, 1, 0, 0.8f, 1, &CRobot_Normal::StateIdle);
    Frame(end, 5, 1u << kInSaber);
    int frames = 0;
    while (end.stateProc == &CRobot_Normal::StateSaberCombo && frames < 100) {
        Frame(end);
        ++frames;
    }
    EXPECT_TRUE(end.stateProc == &CRobot_Normal::StateBrake);
    EXPECT_EQ(end.attackKind, 0);
    EXPECT_EQ(frames, ScriptFrames(131));
}

// An upper-body slash plays on the upper layer while the legs keep walking in
// the matching set, and hands the layer back to the walk when it ends.
TEST_F(SampleRobot, UpperBodyAttacksHandTheUpperLayerBack)
{
    Robot r;
    Bind(r);
    r.lockTarget = &r;  // keeps the view still while walking
    r.SetAction(1, 5.0f, 1, 0, 1.0f, 1, &CRobot_Normal::StateWalk);
    Frame(r, 8);
    Frame(r, 8, 1u << kInSaber);
    EXPECT_EQ(r.attackKind, 1);
    EXPECT_TRUE(r.subStateProc == &CRobot_Normal::UpperAttackEnd);
    EXPECT_EQ(r.channelTable[1], type_->ScriptTable(18));
    EXPECT_EQ(r.channelTable[0], type_->ScriptTable(1));
    EXPECT_EQ(r.LayerAnime(0), 51u);
    EXPECT_EQ(r.LayerAnime(1), 18u);
    int frames = 0;
    while (r.attackKind != 0 && frames < 100) {
        Frame(r, 8);
        ++frames;
    }
    EXPECT_EQ(frames, ScriptFrames(18));
    EXPECT_TRUE(r.subStateProc == nullptr);
    EXPECT_EQ(r.channelTable[1], type_->ScriptTable(1));
    EXPECT_EQ(r.LayerAnime(1), 1u);
    EXPECT_TRUE(r.stateProc == &CRobot_Normal::StateWalk);
}
