#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/input/Gamepad.h"
#include "robot/Robot.h"

namespace {

// Default keys: arrows, then Z X C V S A D F.
constexpr u8 kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;
constexpr u8 kJump = 0x5A, kShot = 0x58, kSub1 = 0x41;

struct Keys {
    u8 table[256] = {};
    Keys& Hold(u8 code)
    {
        table[code] = 0x80;
        return *this;
    }
};

// Pad map: jump A, shot B, saber X, guard Y, target unbound, sub 1..3 on the
// shoulders and left trigger, start Start, cancel Back.
const u8 kPadMap[10] = {plat::PadA, plat::PadB, plat::PadX, plat::PadY, 255,
                        plat::PadLeftShoulder, plat::PadRightShoulder, plat::PadLeftTrigger,
                        plat::PadStart, plat::PadBack};

void Tick(CRobot_Normal& robot, const RobotInput& in)
{
    robot.input = in;
    robot.CountHeldButtons();
    robot.CommandRecogniser();
    robot.ResetReleasedHoldCounters();
}

RobotInput Dir(u8 d)
{
    RobotInput in;
    in.direction = d;
    return in;
}

}  // namespace

TEST(RobotInput, KeysAndPadGiveDirectionAndButtonsByPrecedenceAndDeadZone)
{
    struct Case {
        std::string keys;  // l u r d J S 1
        i32 padX, padY;
        bool pad;
        i8 padNumber;
        u8 padButton;  // plat button held, 255 none
        u8 direction;
        i32 setButton;  // index into buttons, -1 none
    };
    const Case cases[] = {
        {"lr", 0, 0, false, 0, 255, 4, -1},    {"ud", 0, 0, false, 0, 255, 8, -1},
        {"ulr", 0, 0, false, 0, 255, 7, -1},   {"dr", 0, 0, false, 0, 255, 3, -1},
        {"", 300, -300, true, 0, 255, 5, -1},  {"", 301, 0, true, 0, 255, 6, -1},
        {"", -301, 301, true, 0, 255, 1, -1},  {"l", 301, 0, true, 0, 255, 4, -1},
        {"lJ", 0, 0, true, 2, 255, 5, -1},     {"J", 0, 0, false, 0, 255, 5, 0},
        {"S1", 0, 0, false, 0, 255, 5, -2},    {"", 0, 0, true, 1, plat::PadStart, 5, 8},
        {"", 0, 0, true, 1, plat::PadBack, 5, -1}, {"", 0, 0, true, 1, plat::PadY, 5, 3},
        {"", 0, 0, true, 3, plat::PadDpadDown, 5, -1},
    };
    for (const Case& c : cases) {
        CRobot_Normal robot;
        robot.Reset();
        robot.padNumber = c.padNumber;
        Keys keys;
        for (char k : c.keys) {
            const u8 code = k == 'l' ? kLeft : k == 'u' ? kUp : k == 'r' ? kRight : k == 'd' ? kDown
                          : k == 'J' ? kJump : k == 'S' ? kShot : kSub1;
            keys.Hold(code);
        }
        plat::PadState pad;
        pad.x = c.padX;
        pad.y = c.padY;
        if (c.padButton != 255) pad.buttons[c.padButton] = 0x80;
        robot.ClearInput();
        robot.ApplyPilotInput(keys.table, c.pad ? &pad : nullptr, kPadMap);
        EXPECT_EQ(robot.input.direction, c.direction) << c.keys << " pad " << c.padX << "," << c.padY;
        for (i32 b = 0; b < 9; ++b) {
            const bool expected = b == c.setButton || (c.setButton == -2 && (b == 1 || b == 5));
            EXPECT_EQ(robot.input.buttons[b], expected ? 1 : 0) << c.keys << " button " << b;
        }
        // The keyboard never presses start, pending input reads no pad.
        robot.ReadKeysToPendingInput(keys.table);
        EXPECT_EQ(robot.pendingInput.buttons[8], 0);
    }
}

TEST(RobotInput, HoldCountersLetTheLastAttackButtonWinAndSaturate)
{
    CRobot_Normal robot;
    robot.Reset();
    RobotInput shot;
    shot.buttons[1] = 1;
    shot.buttons[0] = 1;  // jump held too
    for (i32 f = 0; f < 90; ++f) Tick(robot, shot);
    EXPECT_EQ(robot.buttonHold[2], 90);
    EXPECT_EQ(robot.buttonHold[1], 0);  // zeroed by shot every frame after counting

    RobotInput both = shot;
    both.buttons[5] = 1;  // sub 1 joins: it zeroes shot at once
    Tick(robot, both);
    EXPECT_EQ(robot.buttonHold[2], 0);
    EXPECT_EQ(robot.buttonHold[6], 1);

    // Released: the release frame still shows the count, the next one 0.
    robot.input = RobotInput();
    robot.input.buttons[5] = 0;
    EXPECT_EQ(robot.buttonHold[6], 1);
    robot.ResetReleasedHoldCounters();
    EXPECT_EQ(robot.buttonHold[6], 0);

    robot.buttonHold[1] = INT_MAX;
    RobotInput jump;
    jump.buttons[0] = 1;
    Tick(robot, jump);
    EXPECT_EQ(robot.buttonHold[1], INT_MAX);
}

TEST(RobotInput, DoubleTapsCompleteOnlyInsideTheirWindowAndWithoutStrayButtons)
{
    {
        CRobot_Normal robot;
        robot.Reset();
        Tick(robot, Dir(4));
        for (i32 f = 0; f < 5; ++f) Tick(robot, Dir(5));
        EXPECT_EQ(robot.commandProgress[0].doneTimer, 0);
        Tick(robot, Dir(4));
        EXPECT_EQ(robot.commandProgress[0].doneTimer, 10);
        Tick(robot, Dir(4));
        EXPECT_EQ(robot.commandProgress[0].doneTimer, 9);
    }
    {
        CRobot_Normal robot;  // second press after the window: nothing
        robot.Reset();
        Tick(robot, Dir(8));
        for (i32 f = 0; f < 25; ++f) Tick(robot, Dir(5));
        Tick(robot, Dir(8));
        EXPECT_EQ(robot.commandProgress[1].doneTimer, 0);
    }
    for (bool stray : {false, true}) {
        CRobot_Normal robot;
        robot.Reset();
        RobotInput jump;
        jump.buttons[0] = 1;
        if (stray) jump.buttons[3] = 1;
        Tick(robot, jump);
        Tick(robot, RobotInput());
        Tick(robot, jump);
        EXPECT_EQ(robot.commandProgress[4].doneTimer, stray ? 0 : 20);
    }
    {
        // A sequence without an end mark wraps after ten steps, never past them.
        CRobot_Normal robot;
        robot.Reset();
        CommandSequence& q = robot.commandTable[6];
        q.window = 1000;
        for (CommandStep& s : q.steps) {
            s.pattern[0] = 0;
            for (i32 b = 1; b < kInputBytes; ++b) s.pattern[b] = 2;
        }
        for (i32 f = 0; f < 35; ++f) {
            Tick(robot, RobotInput());
            EXPECT_GE(robot.commandProgress[6].step, 0);
            EXPECT_LT(robot.commandProgress[6].step, kCommandSteps);
        }
        EXPECT_EQ(robot.commandProgress[6].doneTimer, 0);
    }
}

TEST(RobotInput, NetworkRobotKeepsItsLastInputWhileDisabledLocalRobotGoesNeutral)
{
    CRobot_Normal net;
    net.Reset();
    net.controlMode = kControlNetwork;
    net.inputEnabled = 1;
    net.receivedInput.direction = 9;
    net.receivedInput.buttons[2] = 1;
    net.InputStep();
    net.inputEnabled = 0;
    net.receivedInput.Clear();
    net.InputStep();
    EXPECT_EQ(net.input.direction, 9);
    EXPECT_EQ(net.input.buttons[2], 1);
    EXPECT_EQ(*net.intVars[kVarInputFirst], 9);
    EXPECT_EQ(*net.intVars[kVarInputFirst + 3], 1);

    CRobot_Normal local;
    local.Reset();
    local.input.direction = 1;
    local.input.buttons[0] = 1;
    local.InputStep();
    EXPECT_EQ(local.input.direction, 5);
    EXPECT_EQ(local.input.buttons[0], 0);
}
