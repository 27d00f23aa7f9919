#pragma once
// Writes what the battle set-up loads by name: effect and interface pictures
// under runFolder/Quillon, the item and missile meshes under runFolder/X, the
// battle's sounds and music under runFolder/Sound. false (after a message on
// stderr) when a file fails.
bool MakeBattleData(const char* runFolder);
