#pragma once
// Writes the sample robot types under runFolder/robo/robo01 .. robo22: node
// meshes, hit hulls, face pictures, "Script.spt" settings and "Script.ani"
// with the embedded model, key frames and action scripts. false (after a
// message on stderr) on failure.
bool MakeRobotData(const char* runFolder);

// How many sample types MakeRobotData writes.
inline constexpr int kSampleRobotTypes = 22;
