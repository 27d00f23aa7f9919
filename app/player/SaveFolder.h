#pragma once
// The save folder "Tervalis" under the user's local application-data folder,
// which holds the profiles, the part inventory and the score files.
#include <string>
#include <vector>

#include "platform/core/Types.h"

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
// Reads at most maxBytes of a save file (the rest is not read); fileSize,
// when given, receives the whole file's size. False when it is missing or
// unreadable. A file that exists but cannot be read is kept: the player is
// told once, and WriteSaveFile refuses to write over it for the rest of the
// run, so a passing fault never costs the data the file still holds.
bool ReadSaveFile(const char* fileName, std::vector<u8>& out, u32 maxBytes,
                  u64* fileSize = nullptr);
// Whether a failed read has closed the file to saving for this run.
bool SaveFileIsKept(const char* fileName);
// Deletes the temporary files that saves cut short (a crash, a power loss)
// left in the save folder. Called once at start-up.
void RemoveInterruptedSaves();

// Tests: makes the reads of save files for which `fails` returns true fail as
// an unreadable file would; null restores real reads.
using SaveReadFault = bool (*)(const char* fileName);
void SetSaveReadFault(SaveReadFault fails);
