#pragma once
// Numbers shared by the action states: motion constants, the offset of the
// alternate action set (the action numbers are RobotAction, robot/Robot.h).
#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

inline constexpr u32 kAltActionOffset = 50;
inline constexpr f32 kGravity = 0.013f;
inline constexpr f32 kFallSpeedLimit = 0.8f;
inline constexpr f32 kAirFriction = 0.95f;
inline constexpr f32 kGroundFriction = 0.9f;
inline constexpr f32 kTiltDecay = 0.95f;
inline constexpr f32 kFallOutHeight = -200.0f;
inline constexpr i32 kSmokeTexture = 11;
inline constexpr i32 kBurnerTexture = 8;
inline constexpr i32 kBurnerGlowTexture = 9;
inline constexpr i32 kBurnerSound = 5;
inline constexpr f32 kClimbLimit = 0.15f;
inline constexpr f32 kDashTurn = 12.0f;
inline constexpr i32 kChargeFrames = 60;
inline constexpr i32 kChargeStep = 2000;
inline constexpr f32 kFastSpeed = 0.3f;

// Bytes of the input record (0 is the direction); latches and hold
// counters use the same numbers.
inline constexpr i32 kInJump = 1;
inline constexpr i32 kInShot = 2;
inline constexpr i32 kInSaber = 3;
inline constexpr i32 kInGuard = 4;
inline constexpr i32 kInTarget = 5;
inline constexpr i32 kInSub1 = 6;

// Command slots: the four dash double taps, jump, target change.
inline constexpr i32 kCmdJumpTap = 4;
inline constexpr i32 kCmdTargetTap = 5;

Vec3* Vec3Assign(Vec3* out, const Vec3* in);
