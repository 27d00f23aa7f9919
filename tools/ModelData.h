#pragma once
// Writes the sample model trees under runFolder/Quillon/Model: a HOD model
// with Ver.1 animation files and an HD2 model with a skinned node, a swing
// tail and Ver.2 animation files, built from the sample meshes (which must
// have been written first). false (after a message on stderr) on failure.
bool MakeModelData(const char* runFolder);
