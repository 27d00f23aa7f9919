#include <gtest/gtest.h>

#include <initializer_list>

#include "app/core/Application.h"
#include "engine/core/MTRand.h"
#include "engine/sound/SoundManager.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "script/ScriptCommand.h"
#include "weapon/WeaponScene.h"

namespace {

using State = CRobot_Normal::StateProc;

// A type whose listed actions have a script that never ends by itself.
struct ScriptedType {
    RobotModelData data;
    explicit ScriptedType(std::initializer_list<i32> actions)
    {
        for (i32 a : actions) {
            data.scriptTables[a] = new ScriptEntry[1];
            data.scriptTables[a][0].wait = 999999999;
            data.scriptEntryCounts[a] = 1;
        }
    }
};

i32 CountObjects(CList<BB_Base>& list)
{
    i32 n = 0;
    for (BB_Base* o = list.GetHead()->next; o != list.GetTail(); o = o->next) ++n;
    return n;
}

// Battle draws made since the generator was seeded with `seed`.
u32 DrawsSince(u32 seed)
{
    const u32 next = GetBattleRandom().GetRand();
    cMTRand reference;
    reference.Init(seed);
    for (u32 n = 0; n < 400; ++n)
        if (reference.GetRand() == next) return n;
    return 9999;
}

// A live robot without a model, in a world with an effect list.
struct Bot {
    CList<BB_Base> effects;
    WeaponWorld world;
    CRobot_Normal r;
    explicit Bot(RobotModelData* type = nullptr)
    {
        world.effects = &effects;
        SetWeaponWorld(&world);
        r.Reset();
        r.modelData = type;
        r.state = kRobotStateLive;
        r.hp = r.hpMax = 1000;
        r.boostGaugeMax = r.boostGauge = 100000;
        r.energyMax = 1000;
        GetBattleRandom().Init(5);
    }
    ~Bot()
    {
        effects.DeleteAll();
        SetWeaponWorld(nullptr);
    }
    // held: input bytes (1..9) as bits.
    void Frame(u8 direction = 5, u32 held = 0)
    {
        r.input.Clear();
        r.input.direction = direction;
        for (i32 b = 1; b < kInputBytes; ++b)
            if (held & (1u << b)) r.input.buttons[b - 1] = 1;
        r.StepActionStates();
    }
    void Hit(i32 kind, i32 value)
    {
        r.impactKind = kind;
        r.impactValue = value;
        r.ChooseHitReaction();
    }
};

constexpr u32 kShot = 1u << kInShot, kSaber = 1u << kInSaber, kGuard = 1u << kInGuard;

}  // namespace

TEST(HitReactions, RequestsBecomeReactionsByKindStrengthAndWhatTheRobotIsDoing)
{
    const State light = &CRobot_Normal::HitLightState, back = &CRobot_Normal::HitKnockBackState,
                down = &CRobot_Normal::HitKnockDownState, idle = &CRobot_Normal::StateIdle;
    struct Case {
        const char* what;
        i32 kind, value, hp;
        State before;
        bool held, frozen;
        State after;
        i32 kindAfter;
    };
    const Case cases[] = {
        {"199 is too weak", 1, 199, 1000, idle, false, false, idle, 0},
        {"200 staggers", 1, 200, 1000, idle, false, false, light, 0},
        {"401 knocks down", 1, 401, 1000, idle, false, false, down, 0},
        {"forced at any strength", 2, 0, 1000, idle, false, false, light, 0},
        {"heavy at any strength", 3, 0, 1000, idle, false, false, back, 0},
        {"kind 4 is dropped", 4, 900, 1000, idle, false, false, idle, 0},
        {"the killing hit is heavy", 1, 200, 0, idle, false, false, back, 0},
        {"knocked back again", 1, 200, 1000, back, false, false, back, 0},
        {"down and hit", 2, 0, 1000, &CRobot_Normal::DownState, false, false, back, 0},
        {"held: the request waits", 1, 500, 1000, idle, true, false, idle, 1},
        {"hit-stop in a reaction: it waits", 1, 500, 1000, light, false, true, light, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bot b;
        CRobot_Normal holder;
        CRobot_Normal victim;
        b.r.stateProc = c.before;
        b.r.hp = c.hp;
        b.r.holding = &victim;
        victim.heldBy = &b.r;
        if (c.held) b.r.heldBy = &holder;
        if (c.frozen) {
            b.r.hitStop = 3;
            b.r.situation = 3;
        }
        b.r.attackKind = 2;
        CDSBufferNode burner;
        b.r.loopSound = &burner;
        b.r.scriptContext.wait[0] = b.r.scriptContext.wait[1] = 5;
        b.Hit(c.kind, c.value);
        EXPECT_TRUE(b.r.stateProc == c.after);
        EXPECT_EQ(b.r.impactKind, c.kindAfter);
        const bool entered = c.after != c.before || (c.before == back && c.kindAfter == 0);
        if (entered) {
            // A reaction lets go of a held robot and stops any attack and its burner.
            EXPECT_EQ(b.r.situation, 3);
            EXPECT_EQ(b.r.loopSound, nullptr);
            EXPECT_EQ(b.r.attackKind, 0);
            EXPECT_EQ(b.r.holding, nullptr);
            EXPECT_EQ(victim.heldBy, nullptr);
            // Without a table for the reaction both channels restart their
            // own, which this robot lacks: they rest at the end mark.
            EXPECT_EQ(b.r.scriptContext.wait[0], kScriptEndMark);
            EXPECT_EQ(b.r.scriptContext.wait[1], kScriptEndMark);
        } else {
            EXPECT_EQ(b.r.holding, &victim);
            EXPECT_EQ(b.r.loopSound, &burner);
        }
    }
    // In the air a light hit plays the airborne stagger; a new hit restarts it.
    Bot air;
    air.r.airborne = 1;
    air.Hit(1, 300);
    EXPECT_EQ(air.r.actionFrame, 0);
    EXPECT_TRUE(air.r.stateProc == light);
}

TEST(HitReactions, EscapesAreBoughtFromTheChargeGauge)
{
    struct Case {
        const char* what;
        State state;
        i32 charge, immunity;
        u32 buttons;
        bool guardScript;
        State after;
        i32 chargeAfter, immunityAfter;
    };
    const State light = &CRobot_Normal::HitLightState, back = &CRobot_Normal::HitKnockBackState,
                down = &CRobot_Normal::DownState, dash = &CRobot_Normal::EscapeDashState,
                guard = &CRobot_Normal::StateGuard;
    const Case cases[] = {
        {"guard escape at 6000", light, 6000, 0, kSaber | kGuard, true, guard, 0, 5},
        {"5999 is short: the dash is next", light, 5999, 0, kSaber | kGuard | kShot, true, dash, 1999, 2},
        {"5999 without the dash buttons", light, 5999, 0, kSaber | kGuard, true, light, 5999, 0},
        {"no guard script: nothing paid, the dash is tried", back, 6000, 0, kSaber | kGuard | kShot, false, dash, 2000,
         2},
        {"not while invulnerable", light, 10000, 1, kSaber | kGuard | kShot, true, light, 10000, 0},
        {"knock-down offers none", &CRobot_Normal::HitKnockDownState, 10000, 0, kSaber | kGuard | kShot, true,
         &CRobot_Normal::HitKnockDownState, 10000, 29},
        {"down: the 2000 dash even while invulnerable", down, 2000, 180, kShot | kSaber, true, dash, 0, 2},
        {"down: 1999 is short", down, 1999, 180, kShot | kSaber, true, down, 1999, 179},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedType type = c.guardScript ? ScriptedType({19, 27}) : ScriptedType({27});
        Bot b(&type.data);
        b.r.stateProc = c.state;
        b.r.chargeGauge = c.charge;
        b.r.hitImmunity = c.immunity;
        b.r.actionFrame = 1;  // past the down state's first frame and its dust
        b.Frame(5, c.buttons);
        EXPECT_TRUE(b.r.stateProc == c.after);
        EXPECT_EQ(b.r.chargeGauge, c.chargeAfter);
        EXPECT_EQ(b.r.hitImmunity, c.immunityAfter);
        const bool escaped = c.after == dash || c.after == guard;
        // Thirty sparks from the upper body, three draws each.
        EXPECT_EQ(CountObjects(b.effects), escaped ? 30 : 0);
        EXPECT_EQ(DrawsSince(5), escaped ? 90u : 0u);
    }
}

TEST(HitReactions, KnockedDownRobotsLandLieGetUpAndRecover)
{
    ScriptedType type({16, 17, 20, 27});
    Bot b(&type.data);
    b.r.airborne = 1;
    b.Hit(1, 401);
    ASSERT_TRUE(b.r.stateProc == &CRobot_Normal::HitKnockDownState);
    // Airborne: the knock-down goes on past 10 frames.
    for (int i = 0; i < 15; ++i) b.Frame();
    EXPECT_TRUE(b.r.stateProc == &CRobot_Normal::HitKnockDownState);
    EXPECT_EQ(b.r.impactValue, 0);
    b.r.airborne = 0;
    b.Frame();
    ASSERT_TRUE(b.r.stateProc == &CRobot_Normal::DownState);
    EXPECT_EQ(b.r.hitImmunity, 179);
    // Its first frame raises 20 puffs of dust (five draws each).
    GetBattleRandom().Init(5);
    b.Frame(5, kShot);
    EXPECT_EQ(CountObjects(b.effects), 20);
    EXPECT_EQ(DrawsSince(5), 100u);
    EXPECT_EQ(b.r.situation, 6);
    // Invulnerable after a knock-down: no quick recovery.
    b.Frame(5, 0);
    b.Frame(5, kShot);
    EXPECT_TRUE(b.r.stateProc == &CRobot_Normal::DownState);
    // Lies at least 60 frames, then a direction gets it up.
    while (b.r.actionFrame < 59) b.Frame(6);
    EXPECT_TRUE(b.r.stateProc == &CRobot_Normal::DownState);
    b.Frame(6);
    b.Frame(6);
    ASSERT_TRUE(b.r.stateProc == &CRobot_Normal::GetUpState);
    b.Frame();
    EXPECT_EQ(b.r.hitImmunity, 29);
    b.r.layerEnded[0] = 1;
    b.Frame();
    EXPECT_TRUE(b.r.stateProc == &CRobot_Normal::StateIdle);
    EXPECT_EQ(b.r.hitImmunity, 89);

    // A knock-back that lands goes down without immunity, so a fresh shot
    // press in the first 8 frames rolls out.
    Bot roll(&type.data);
    roll.Hit(3, 0);
    for (int i = 0; i < 12; ++i) roll.Frame();
    ASSERT_TRUE(roll.r.stateProc == &CRobot_Normal::DownState);
    roll.Frame(5, kShot);
    ASSERT_TRUE(roll.r.stateProc == &CRobot_Normal::QuickRecoveryState);
    roll.Frame();
    EXPECT_EQ(roll.r.hitImmunity, 4);
    EXPECT_EQ(roll.r.situation, 0);
    roll.r.layerEnded[0] = 1;
    roll.Frame();
    EXPECT_TRUE(roll.r.stateProc == &CRobot_Normal::StateFall);

    // The escape dash ends when its boost runs out.
    Bot dash(&type.data);
    dash.r.boostGauge = 12;
    dash.r.SetAction(27, 3.0f, 1, 0, 1.0f, 1, &CRobot_Normal::EscapeDashState);
    for (int i = 0; i < 3; ++i) dash.Frame();
    EXPECT_EQ(dash.r.boostGauge, 0);
    EXPECT_TRUE(dash.r.stateProc == &CRobot_Normal::StateBrake);
}

TEST(HitReactions, AHeldRobotFollowsItsHolderAndStandsUpWhenLetGo)
{
    Bot b;
    CRobot_Normal holder;
    holder.Reset();
    holder.holding = &b.r;
    b.r.heldBy = &holder;
    b.r.stateProc = &CRobot_Normal::HeldState;
    b.r.hitImmunity = 40;
    b.r.impactKind = 1;
    b.r.velocity = Vec3(1.0f, 2.0f, 3.0f);
    b.Frame();
    EXPECT_EQ(b.r.hitImmunity, 0);
    EXPECT_EQ(b.r.impactValue, 400);  // the next counted hit knocks it down
    EXPECT_EQ(b.r.impactKind, 0);
    EXPECT_EQ(b.r.velocity, Vec3());
    EXPECT_TRUE(b.r.stateProc == &CRobot_Normal::HeldState);
    // The holder lets go: tipped over, it is set upright and stands.
    holder.holding = nullptr;
    b.r.worldMatrix = Mat4::Identity();
    b.r.worldMatrix.m[2][0] = 0.6f;
    b.r.worldMatrix.m[2][1] = 0.8f;
    b.r.worldMatrix.m[2][2] = 0.0f;
    b.Frame();
    EXPECT_EQ(b.r.heldBy, nullptr);
    EXPECT_TRUE(b.r.stateProc == &CRobot_Normal::StateIdle);
    EXPECT_NEAR(b.r.worldMatrix.m[2][0], 1.0f, 1e-6f);
    EXPECT_NEAR(b.r.worldMatrix.m[2][1], 0.0f, 1e-6f);
    EXPECT_NEAR(b.r.worldMatrix.m[1][1], 1.0f, 1e-6f);
}
