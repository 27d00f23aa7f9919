#pragma once
// Writes a sample stage ("map.mpd", its scrambled box meshes and its music)
// into every stage folder under runFolder/war. false (after a message on
// stderr) when a file fails.
bool MakeStageData(const char* runFolder);
