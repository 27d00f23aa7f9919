#pragma once
// The robot state record: what an online repair rebuilds a robot from after
// the clients fell out of step. Every client rebuilds from the host's records,
// so the record is written field by field, little-endian, at a fixed size,
// and everything in it is checked before a robot is touched.
#include <cstddef>

#include "platform/core/Types.h"
#include "robot/RobotType.h"

class CRobot_Normal;

inline constexpr size_t kRobotStateBytes = 4156;
inline constexpr u32 kRobotStateFormat = 1;
// No target: the lock-on target's object id field.
inline constexpr u32 kRobotStateNoTarget = 0xFFFFFFFFu;

// The fields of a record, read back and checked.
struct RobotState {
    u32 objectId = 0;
    i32 typeIndex = 0;
    i32 state = 0;
    i32 hp = 0;
    i32 hpMax = 0;
    i32 restBody = 0;
    i32 score = 0;
    i16 kills = 0;
    i32 chargeGauge = 0;
    i32 boostGaugeMax = 0;
    i32 pilotIndex = -1;
    u8 inputEnabled = 0;
    u8 tacticalRules = 0;
    u8 aiLevel = 0;
    u32 lockTargetId = kRobotStateNoTarget;
    f32 world[16] = {};
    f32 spawnPos[3] = {};
    f32 forward[3] = {};
    f32 aimVector[3] = {};
    f32 side[3] = {};
    char displayName[kRobotNameBytes] = {};
};

// Fills a record from a live robot; false when the robot holds something a
// record cannot carry (the reader would refuse it), the record then unusable.
bool WriteRobotState(const CRobot_Normal& robot, u8 (&out)[kRobotStateBytes]);

// Reads and checks a record; null when it is sound, else what is wrong with
// it (out is then unspecified).
const char* ReadRobotState(const u8* bytes, size_t size, RobotState& out);
