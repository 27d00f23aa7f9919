#pragma once
// Script channels of a robot. The entry starters and the runner are members
// of CRobot_Normal (robot/Robot.h: SetScript, SetSubScript, RunScriptEntry,
// StepScriptChannels); their bodies live in ScriptInterpreter.cpp.
#include "platform/core/Types.h"

class CRobot_Normal;
class ScriptEntry;

// What one robot's script may do in one frame, counted across nesting:
// entries started (by the channels, the robot logic, GoScriptIndex,
// ChangeAnime, RunSubScript and every-time re-runs) and commands run. The
// sample robots stay far below; a script that starts itself, or a chain that
// doubles at every level, stops there until the next frame.
inline constexpr i32 kScriptStartsPerFrame = 512;
inline constexpr i32 kScriptCommandsPerFrame = 8192;
// A fire-procedure call counts as this many commands: its objects outlive
// the frame, so a script calling one with every command would fill the
// battle. The sample robots make at most eight calls in one entry.
inline constexpr i32 kScriptFireCallCost = 128;

// The type's entry list of an animation; null outside 0..199 or when the
// animation has no script.
ScriptEntry* ScriptTableOf(const CRobot_Normal& robot, i32 anime);
// Entries of a list including its end mark; 0 for a list the robot's type
// does not hold.
i32 ScriptEntryCountOf(const CRobot_Normal& robot, const ScriptEntry* table);

// Sound n of the battle's table at the robot's position; -1, numbers below
// it and numbers beyond the table play nothing.
void PlayScriptSound(CRobot_Normal& robot, i32 n);
// Pilot voice 0..6 when the robot has a pilot and is watched or heard.
void PlayScriptVoice(CRobot_Normal& robot, i32 v);
// Whether a robot's pilot voice would be heard now.
bool ScriptVoiceAudible(const CRobot_Normal& robot);
