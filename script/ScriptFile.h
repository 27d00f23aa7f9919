#pragma once
// Readers of a robot type's two script files. They are members of
// RobotModelData (robot/RobotType.h) with their bodies in ScriptFile.cpp:
//   LoadScriptSpt(path, key)  the settings text, through the asset key
//   LoadScriptAni(path)       "ANI"/"AN2": model, animation keys, entries
//   LoadHod(name, key)        a stand-alone model file
//   RecreateNodeMatrices()    one identity matrix per node, twice
#include "platform/core/Types.h"

// Bounds on what a script file may declare, beyond which it is refused.
inline constexpr i32 kScriptAniAnimes = 200;
inline constexpr i32 kScriptAniKeyNameBytes = 256;
inline constexpr i32 kScriptAniV1KeyNameBytes = 30;
// A statement text no entry could need; longer ones are refused.
inline constexpr i32 kScriptAniMaxText = 1 << 20;
