#pragma once
// Screenshots "ScreenShot/Shot%03d.png" in the start-up directory.
#include <string>
#include <vector>

#include "platform/core/Types.h"

class CApplication;

inline constexpr int ScreenShotLimit = 1000;

// "<start-up directory>/ScreenShot" (the current directory's before the
// start-up directory is known).
std::string ScreenShotFolder(const CApplication& app);

// The first name of "ScreenShot/Shot000.png" .. "Shot999.png" that neither
// exists under folder (the current directory when empty) nor waits to be
// written; empty when all of them are taken.
std::string NextScreenShotName(const std::string& folder = {});

// Copies the back buffer and hands it to a worker thread that encodes and
// writes the next free name (creating the folder under the start-up
// directory), so the game never waits for the encoder. A shot that cannot
// be written is reported on stderr.
void SaveScreenShot(CApplication& app);
// The same for a picture read elsewhere (the settings dialogs, drawn before
// the game's device exists): 0xAARRGGBB, rows top-down.
void SaveScreenShotPixels(CApplication& app, std::vector<u32> pixels, u32 width, u32 height);

// Waits until every shot handed to the worker is written (or reported).
void FinishScreenShots();

// Whether the frame of this pass is drawn. Always for a player; a game
// driven by an input script draws the frames its screenshot key takes and
// one in ScriptedDrawEvery, so drawing stays exercised, and plays the rest
// undrawn.
inline constexpr unsigned ScriptedDrawEvery = 20;
bool FrameWanted(const CApplication& app);

// Counts the screenshots taken (tests read it; the e2e run prints it).
int ScreenShotsTaken();
