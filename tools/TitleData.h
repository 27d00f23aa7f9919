#pragma once
// Writes what the start-up, the title scene and the shared interface tasks
// read: shared pictures and rank notices under runFolder/Quillon, the
// title's meshes under runFolder/X, its sounds under runFolder/Sound.
// false (after a message on stderr) when a file fails.
bool MakeTitleData(const char* runFolder);
