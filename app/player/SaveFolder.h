#pragma once
// The save folder "Tervalis" under the user's local application-data folder,
// which holds the profiles, the part inventory and the score files, and the
// one rule every file the player keeps follows when it cannot be used.
#include <functional>
#include <string>
#include <vector>

#include "platform/core/Types.h"

class CApplication;

// The folder's path; empty when the application-data folder is unknown.
std::string GetSaveFolder();
// Creates the folder (and the application-data folder above it when that
// is missing). True when it exists afterwards.
bool EnsureSaveFolder();
// The path of a file in the folder; empty when the folder is unknown or the
// name is not one plain file name (no folder separators, not "." or "..").
std::string SaveFilePath(const char* fileName);
bool IsPlainFileName(const char* fileName);
// Writes a whole file through a temporary file renamed over the old one, so
// a failed save leaves the old file as it was. True when written.
bool WriteSaveFile(const char* fileName, const void* data, u32 size);

// What a load of a kept file gave; loaders pass these on as their results.
inline constexpr int KeptFileRead = 1;     // read and accepted
inline constexpr int KeptFileMissing = 0;  // not there: a first start, defaults
inline constexpr int KeptFileRefused = -1; // there but unusable: set aside, defaults

// Loads a save file of at most maxBytes: accept judges the whole file's
// bytes and takes them when they are good. A file that exists but cannot be
// read, is larger or is not accepted is set aside (SetAsideKeptFile).
int LoadSaveFile(const char* fileName, u32 maxBytes, const std::function<bool(const u8*, u32)>& accept);

// The rule for every file the player keeps (profiles, the inventory, the
// score files, the settings) that exists but cannot be read or is refused:
// it moves to the first free name of "<path>.bad", "<path>.bad.1",
// "<path>.bad.2", ..., so no earlier one is ever overwritten, and the player
// is told once, in a box or the scenes' notice, which file it was and where
// it went. Defaults then take its place, and the next save writes a fresh
// file. When it cannot be moved it stays where it is, and saving over it is
// refused for the rest of the run (KeptFileIsLocked). Returns where the file
// went, empty when it stayed.
std::string SetAsideKeptFile(const std::string& path, bool unreadable);
// Whether a file that could not be set aside is closed to saving this run.
bool KeptFileIsLocked(const std::string& path);
bool SaveFileIsKept(const char* fileName);

// A folder the game writes files into whole (temporary file + rename) and
// the names it writes there (wildcards, matched case and all).
struct WrittenWhole {
    std::string folder;
    std::vector<std::string> names;
};
// Deletes the temporary files that writes cut short (a crash, a power loss)
// left in a folder: only the names the atomic writes give the game's files.
void RemoveInterruptedWrites(const WrittenWhole& written);
// Every folder the game writes files into whole: the start-up folder
// (Config.ini), its screenshot folder, the save folder and the registry
// store's folder. A new writer's folder and names belong here, so what a
// kill leaves of its writes is swept too.
std::vector<WrittenWhole> FoldersWrittenWhole(const CApplication& app);
// RemoveInterruptedWrites on each of them. Called once at start-up, after
// the single-instance lock and before anything is written.
void RemoveInterruptedWritesAtStartUp(const CApplication& app);

// Tests: makes the reads of save files for which `fails` returns true fail as
// an unreadable file would; null restores real reads.
using SaveReadFault = bool (*)(const char* fileName);
void SetSaveReadFault(SaveReadFault fails);
