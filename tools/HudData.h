#pragma once
// Writes the cockpit pictures the battle tints as it draws (lock markers,
// warning and threat arrows) in white, and the radar picture with its blip,
// under runFolder/Quillon, over the plain coloured ones. false (after a
// message on stderr) when a file fails.
bool MakeHudData(const char* runFolder);
