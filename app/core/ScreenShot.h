#pragma once
// Screenshots "ScreenShot/Shot%03d.png" under the current directory.
#include <string>

class CApplication;

inline constexpr int ScreenShotLimit = 1000;

// The first name of "ScreenShot/Shot000.png" .. "Shot999.png" that does not
// exist yet; empty when all of them do.
std::string NextScreenShotName();

// Writes the back buffer to the next free name (creating the folder under
// the start-up directory). Failures are not reported.
void SaveScreenShot(CApplication& app);

// Counts the screenshots taken (tests read it; the e2e run prints it).
int ScreenShotsTaken();
