#pragma once
#include <string>

#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

// Writes the sample robot types under runFolder/robo/robo01 .. robo22: node
// meshes, hit hulls, face pictures, "Script.spt" settings and "Script.ani"
// with the embedded model, key frames and action scripts. false (after a
// message on stderr) on failure.
bool MakeRobotData(const char* runFolder);

// A box X mesh of half sizes `half` in one colour (the sample meshes' writer).
std::string SampleBoxMesh(const Vec3& half, f32 r, f32 g, f32 b);

// How many sample types MakeRobotData writes.
inline constexpr int kSampleRobotTypes = 22;
