#pragma once
// Sample pilot folders: faces, names, a pilot script and generated voices.

// Writes the pilots into RUN_FOLDER/pilot. False when a file could not be
// written.
bool MakePilotData(const char* runFolder);
