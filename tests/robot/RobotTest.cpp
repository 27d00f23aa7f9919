#include <gtest/gtest.h>

#include "app/player/GameItem.h"
#include "platform/core/Thread.h"
#include "robot/Robot.h"
#include "weapon/ObjectFactory.h"

namespace {

// A part of another class: fitted, but carries no percentages.
class OtherPart : public CGameItemBase {
public:
    OtherPart() : CGameItemBase(7) {}
    ~OtherPart() = default;
    i32 GetKind() const override { return 2; }
};

CGameItem_PowerUp MakePart(i16 boostGain, i16 energyGain)
{
    CGameItem_PowerUp p(1);
    for (i16& b : p.bonus) b = 0;
    p.bonus[BonusThrustRecharge] = boostGain;
    p.bonus[BonusWeaponRecharge] = energyGain;
    return p;
}

}  // namespace

TEST(Robot, GaugesScalePositiveGainsByPartBonusesAndClamp)
{
    CGameItem_PowerUp twelve = MakePart(12, 25);
    CGameItem_PowerUp eight = MakePart(8, -10);
    OtherPart other;
    struct Case {
        i32 start, max, amount, expected;
        bool parts;
    };
    // +20 % gain with the two power-up parts; spending is never scaled.
    const Case boost[] = {
        {10, 1000, -30, 0, true},     {0, 1000, 50, 60, true},     {100, 1000, 7, 108, true},
        {990, 1000, 50, 1000, true},  {0, 1000, 50, 50, false},    {500, 1000, -499, 1, true},
        {0, 0, 10, 0, true},          {5, 999999999, 2147483000, 999999999, true},
    };
    for (const Case& c : boost) {
        CRobot_Normal robot;
        robot.Reset();
        if (c.parts) {
            const CGameItemBase* given[kRobotParts] = {&twelve, nullptr, nullptr, &other};
            given[9] = &eight;
            robot.parts = CRobot_Base::CopyParts(given);
        }
        robot.boostGaugeMax = c.max;
        robot.boostGauge = c.start;
        robot.AddBoostGauge(c.amount);
        EXPECT_EQ(robot.boostGauge, c.expected) << c.start << " + " << c.amount;
    }

    CRobot_Normal robot;
    robot.Reset();
    const CGameItemBase* given[kRobotParts] = {nullptr, &twelve, &eight, nullptr, &other};
    robot.parts = CRobot_Base::CopyParts(given);
    EXPECT_EQ(robot.SumItemBonus(BonusWeaponRecharge), 15);
    EXPECT_EQ(robot.SumItemBonus(BonusThrustRecharge), 20);
    EXPECT_EQ(robot.SumItemBonus(42), 0);
    robot.energyMax = 1000;
    robot.energy = 998.0f;
    robot.AddEnergy(5.0f);
    EXPECT_EQ(robot.energy, 1000.0f);
    robot.energy = 100.0f;
    robot.AddEnergy(10.0f);  // 10 x 1.15
    EXPECT_FLOAT_EQ(robot.energy, 111.5f);
    robot.AddEnergy(-500.0f);
    EXPECT_EQ(robot.energy, 0.0f);

    // Bars never divide by an empty maximum.
    robot.hp = 50;
    robot.hpMax = 0;
    robot.boostGauge = 0;
    robot.boostGaugeMax = 0;
    EXPECT_EQ(robot.HpFraction(), 0.0f);
    EXPECT_EQ(robot.BoostFraction(), 0.0f);
    robot.hpMax = 200;
    EXPECT_EQ(robot.HpFraction(), 0.25f);
    robot.energy = 1500.0f;
    EXPECT_EQ(robot.EnergyFraction(), 1.0f);
}

TEST(Robot, ResetBindsVariablesFreshEveryTimeWithoutLeaking)
{
    CRobot_Normal robot;
    EXPECT_EQ(robot.OwnedVariableCells(), 0);
    for (int round = 0; round < 2; ++round) {
        robot.Reset();
        EXPECT_EQ(robot.OwnedVariableCells(), 210);
        *robot.intVars[5] = 9;
        *robot.floatVars[7] = 2.5f;
        *robot.intVars[195] = 1;
    }
    robot.Reset();
    EXPECT_EQ(*robot.intVars[5], 0);
    EXPECT_EQ(*robot.floatVars[7], 0.0f);
    EXPECT_EQ(*robot.intVars[195], 0);

    // Fields behind their numbers, nothing behind the rest.
    robot.boostGauge = 321;
    robot.buttonHold[3] = 44;
    robot.situation = 6;
    robot.worldMatrix.m[3][1] = 12.5f;
    EXPECT_EQ(*robot.intVars[100], 321);
    EXPECT_EQ(*robot.intVars[183], 44);
    EXPECT_EQ(*robot.intVars[156], 6);
    EXPECT_EQ(*robot.floatVars[102], 12.5f);
    for (int n : {104, 120, 149, 159, 179}) EXPECT_EQ(robot.intVars[n], nullptr) << n;
    for (int n : {112, 150, 199}) EXPECT_EQ(robot.floatVars[n], nullptr) << n;
    EXPECT_EQ(robot.scriptContext.intVars, robot.intVars.Data());
    EXPECT_EQ(robot.scriptContext.floatVars, robot.floatVars.Data());

    // Reset state: the fixed key codes, the double-tap table and the fire table
    // with only its numbered procedures filled.
    EXPECT_EQ(robot.keyCodes[4], 0x5A);
    EXPECT_EQ(robot.commandTable[0].window, 20);
    EXPECT_EQ(robot.commandTable[4].doneTime, 20);
    EXPECT_EQ(robot.commandTable[6].window, 0);
    EXPECT_EQ(robot.input.direction, 5);
    EXPECT_EQ(robot.boostRegen, 24);
    EXPECT_EQ(robot.pilotIndex, -1);
    for (i32 n : {0, 34, 50, 63, 99}) EXPECT_EQ(robot.fireProcs[n], &CRobot_Normal::FireProcNone) << n;
    robot.ReleaseModel();
    EXPECT_EQ(robot.OwnedVariableCells(), 0);
    EXPECT_EQ(robot.intVars[100], &robot.boostGauge);
}

TEST(Robot, FireCallsOnlyReachTheTableAndDefeatEntersTheDestroyedState)
{
    CRobot_Normal robot;
    robot.Reset();
    const i32 args[10] = {};
    EXPECT_EQ(robot.CallFireProc(0, args), 1);
    EXPECT_EQ(robot.CallFireProc(99, args), 1);
    for (i32 n : {-1, 100, 1 << 30, -2147483647 - 1}) EXPECT_EQ(robot.CallFireProc(n, args), 0) << n;

    robot.state = kRobotStateLive;
    robot.inputEnabled = 1;
    robot.lossStreak = 2;
    robot.Defeat();
    EXPECT_EQ(robot.state, kRobotStateDestroyed);
    EXPECT_EQ(robot.inputEnabled, 0);
    EXPECT_EQ(robot.hitImmunity, 1000);
    EXPECT_EQ(robot.lossStreak, 3);
    EXPECT_EQ(robot.situation, 3);
    EXPECT_EQ(robot.stateProc, &CRobot_Normal::StateDestroyed);

    // Robots live in the scene's lists and are deleted through the base.
    CList<BB_Base> units;
    CRobot_Normal* listed = NewObject<CRobot_Normal>(&units, 0);
    ASSERT_NE(listed, nullptr);
    listed->Reset();
    listed->Reset();
    BB_Base* asBase = listed;
    EXPECT_EQ(asBase->GetKind(), kKindRobot);
    units.DeleteAll();

    CRobot_Base base;
    CShip ship;
    EXPECT_EQ(base.GetKind(), 20);
    EXPECT_EQ(robot.GetKind(), 21);
    EXPECT_EQ(ship.GetKind(), 22);
    EXPECT_EQ(base.GetMatrix(), nullptr);
    EXPECT_EQ(robot.GetMatrix(), &robot.worldMatrix);
    EXPECT_EQ(robot.GetTargetMatrix(), nullptr);  // no model bound yet
}

TEST(Robot, DefeatStartsTheDefeatScriptOnBothLayersOfABoundType)
{
    plat::CriticalSection lock;
    RobotModelData type;
    ASSERT_EQ(LoadRobotTypeFolder(type, QUILLON_RUN_DIR, "robo/robo03", lock, 100), 1);
    CRobot_Normal robot;
    for (int round = 0; round < 2; ++round) {
        robot.Reset();
        robot.modelData = &type;
        robot.scriptTables = type.scriptTables.Data();
        type.hierarchy.CopyTo(&robot.lowerModel);
        type.hierarchy.CopyTo(&robot.upperModel);
        robot.lowerModel.PlayAnimation(1, 0, 1.0f, 1.0f, 0.0f, 1, 1);
        robot.lowerModel.PlayAnimation(0, 1, 1.0f, 1.0f, 0.0f, 1, 1);
        robot.state = kRobotStateLive;
        robot.Defeat();
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(robot.channelTable[c], type.ScriptTable(15)) << c;
            EXPECT_EQ(robot.channelIndex[c], 0);
            EXPECT_EQ(robot.channelWait[c], type.ScriptTable(15)[0].wait);
        }
        const CHierarchyObject& lower = robot.lowerModel;
        EXPECT_EQ(lower.tracks[lower.currentTrack].anime, 15u);
        EXPECT_EQ(lower.tracks[lower.currentTrack].enabled, 1u);
        EXPECT_EQ(lower.tracks[0].enabled, 0u);  // the walk that was fading out
        EXPECT_EQ(robot.upperModel.tracks[robot.upperModel.currentTrack].anime, 15u);
        EXPECT_EQ(robot.state, kRobotStateDestroyed);
        robot.upperModel.Release();
    }
    // The type's tree is shared, never freed by the robots.
    robot.Reset();
    EXPECT_EQ(robot.lowerModel.root, nullptr);
    EXPECT_NE(type.hierarchy.FindNode(kNodeBodyD), nullptr);
}
