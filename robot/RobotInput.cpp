// Filling a robot's input record from keys, pads and the network, the hold
// counters beside it and the recogniser of double taps.
#include <climits>

#include "app/core/Application.h"
#include "engine/input/InputManager.h"
#include "robot/Robot.h"

namespace {

constexpr i32 kPadDeadZone = 300;
constexpr u8 kPadUnbound = 255;

// Up wins over down and left over right; no flag keeps the old direction.
u8 DirectionFromFlags(bool left, bool up, bool right, bool down, u8 current)
{
    if (up) return left ? 7 : right ? 9 : 8;
    if (down) return left ? 1 : right ? 3 : 2;
    if (left) return 4;
    if (right) return 6;
    return current;
}

bool KeyHeld(const u8* keyTable, u8 code) { return (keyTable[code] & 0x80) != 0; }

}  // namespace

void CRobot_Base::ClearInput() { input.Clear(); }

void CRobot_Base::ClearPendingInput() { pendingInput.Clear(); }

void CRobot_Base::ReadPilotInput(const u8* keyTable)
{
    JoyState pad;
    const u8* map = nullptr;
    const bool padRead = padNumber >= 0 && padNumber < static_cast<i32>(PadCount) && GetInputManager() &&
                         GetInputManager()->ReadJoystick(pad, padNumber) != 0;
    if (padRead) map = GetApplication()->input.padButtonMap[padNumber];
    ApplyPilotInput(keyTable, padRead ? &pad : nullptr, map);
}

void CRobot_Base::ApplyPilotInput(const u8* keyTable, const JoyState* pad, const u8* padMap)
{
    bool left = false, up = false, right = false, down = false;
    const bool keyboard = padNumber == 0 && keyTable;
    if (keyboard) {
        left = KeyHeld(keyTable, keyCodes[0]);
        up = KeyHeld(keyTable, keyCodes[1]);
        right = KeyHeld(keyTable, keyCodes[2]);
        down = KeyHeld(keyTable, keyCodes[3]);
    }
    if (pad) {
        if (pad->x < -kPadDeadZone) left = true;
        if (pad->x > kPadDeadZone) right = true;
        if (pad->y < -kPadDeadZone) up = true;
        if (pad->y > kPadDeadZone) down = true;
        // Nine operations (jump .. start); the tenth, cancel, is a menu key.
        for (i32 i = 0; padMap && i < 9; ++i) {
            const u8 button = padMap[i];
            if (button != kPadUnbound && button < plat::PadButtonSlots && pad->buttons[button] != 0)
                input.buttons[i] = 1;
        }
    }
    input.direction = DirectionFromFlags(left, up, right, down, input.direction);
    if (keyboard)
        for (i32 b = 0; b < 8; ++b)
            if (KeyHeld(keyTable, keyCodes[4 + b])) input.buttons[b] = 1;
}

void CRobot_Base::ReadKeysToPendingInput(const u8* keyTable)
{
    pendingInput.direction = 5;
    if (!keyTable) return;
    pendingInput.direction =
        DirectionFromFlags(KeyHeld(keyTable, keyCodes[0]), KeyHeld(keyTable, keyCodes[1]),
                           KeyHeld(keyTable, keyCodes[2]), KeyHeld(keyTable, keyCodes[3]), 5);
    for (i32 b = 0; b < 8; ++b)
        if (KeyHeld(keyTable, keyCodes[4 + b])) pendingInput.buttons[b] = 1;
}

void CRobot_Base::ResetReleasedHoldCounters()
{
    for (i32 b = 1; b <= 8; ++b)
        if (input.buttons[b - 1] == 0) buttonHold[b] = 0;
}

void CRobot_Base::CountHeldButtons()
{
    // A counter stops at its maximum: wrapping would read as a fresh press.
    auto bump = [](i32& counter) {
        if (counter < INT_MAX) ++counter;
    };
    for (i32 b = 1; b <= 8; ++b) {
        if (input.buttons[b - 1] != 1) continue;
        if (b == 1 || b == 5) {
            bump(buttonHold[b]);
            continue;
        }
        const i32 kept = buttonHold[b];
        for (i32 other = 1; other <= 9; ++other) buttonHold[other] = 0;
        buttonHold[b] = kept;
        bump(buttonHold[b]);
    }
}

void CRobot_Normal::InputStep()
{
    switch (controlMode) {
    case kControlLocal:
        ClearInput();
        if (inputEnabled) ReadPilotInput(GetApplication()->input.keyTable);
        break;
    case kControlComputer:
        ClearInput();
        if (inputEnabled && computerPlayerProc) (this->*computerPlayerProc)();
        break;
    case kControlNetwork:
        if (inputEnabled) input = receivedInput;
        break;
    default:
        return;
    }
    // Action scripts test the input through variables 190..199.
    if (intVars.IsCreated()) {
        for (i32 i = 0; i < kInputBytes; ++i) {
            i32* cell = intVars[kVarInputFirst + i];
            if (cell) *cell = i == 0 ? input.direction : input.buttons[i - 1];
        }
    }
    CountHeldButtons();
}

void CRobot_Normal::CommandRecogniser()
{
    if (!commandTable.IsCreated() || !commandProgress.IsCreated()) return;
    for (i32 i = 0; i < kRobotCommands; ++i) {
        const CommandSequence& q = commandTable[i];
        CommandProgress& p = commandProgress[i];
        if (q.window == 0) continue;
        if (p.doneTimer > 0) --p.doneTimer;
        if (p.timer != 0) {
            --p.timer;
            if (p.timer < 1) p.timer = p.step = p.directionMatched = p.buttonsMatched = 0;
        }
        // A table without an end mark starts over after its tenth step.
        if (p.step < 0 || p.step >= kCommandSteps) p.step = 0;
        const i32 s = p.step;
        const u16* pat = q.steps[s].pattern;
        if (p.directionMatched == 0) {
            if (pat[0] == 0) {
                p.directionMatched = 1;
            } else if (pat[0] == input.direction) {
                p.directionMatched = 1;
                if (s == 0 && p.timer == 0) p.timer = q.window;
            }
        }
        if (p.directionMatched == 1) {
            bool all = true;
            for (i32 b = 1; b <= 9 && all; ++b) all = pat[b] == 2 || pat[b] == input.buttons[b - 1];
            if (all) {
                p.buttonsMatched = 1;
                if (s == 0 && p.timer == 0) p.timer = q.window;
            }
        }
        if (p.directionMatched == 1 && p.buttonsMatched == 1) {
            p.directionMatched = p.buttonsMatched = 0;
            ++p.step;
            if (q.steps[s].isLast == 1) {
                p.step = 0;
                p.doneTimer = q.doneTime;
            } else if (p.step >= kCommandSteps) {
                p.step = 0;
            }
        }
    }
}
