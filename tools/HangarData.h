#pragma once
// Writes the hangar's building ("X/hangar/hangar.x") and its shadow-casting
// shell ("X/hangar/hangar_shadowmap.x"), and a "hangar.hod" beside every
// robot's "robo.hod" where missing. Robots and their preview models must
// have been written first. false (after a message on stderr) when a file fails.
bool MakeHangarData(const char* runFolder);
