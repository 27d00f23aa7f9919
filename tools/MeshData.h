#pragma once
// Writes the sample meshes, their textures and the environment cube under
// runFolder/Quillon. false (after a message on stderr) when a file fails.
bool MakeMeshData(const char* runFolder);
