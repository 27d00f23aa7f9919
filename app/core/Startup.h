#pragma once
// Start-up: one copy of the game at a time, the Direct3D registry values set
// for the run, the configuration and the settings dialog, the fixed folder
// lists, the pilot scan, the window, the device, sound, the shared pictures,
// fonts and effects, the saved rankings and parts, and the title scene.
// Shutdown is the tail of the main loop (app/core/MainLoop.h).
#include "platform/core/Types.h"

class CApplication;

// Name of the lock that keeps a second copy from starting.
inline constexpr const char* SingleInstanceName = "OrvaneOrvane";
inline constexpr const char* WindowTitle = "Quillon 1.000                    ";

// The program: returns its exit code, 1 when there is no display or another
// copy is running (both said first). Every way out restores the registry
// values except the refusal of a second copy, which leaves them to the
// running one.
i32 GameMain();

// 1 when the main loop may run, 0 when the program must end (the registry
// values then still need restoring).
int Init(CApplication& app);

// The parts of Init after the settings dialog closed with Start; tests run
// them on the recording device. 1, or 0 when the program must end.
int InitAfterSettings(CApplication& app);

// The fixed robot, ship and stage folder lists.
void FillFolderLists(CApplication& app);

// The windows start-up made, destroyed when the program ends.
void DestroyWindows(CApplication& app);
