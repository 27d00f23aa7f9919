#pragma once
// "Config.ini" in the start-up directory: the names of its keys, the
// resolution list of the settings dialog, and the bindings both dialogs edit.
#include <string>

#include "platform/core/Types.h"

class CApplication;

inline constexpr const char* ConfigFileName = "Config.ini";

// Names of the ten pad operations in map order (jump, shot, saber, guard,
// target change, sub 1..3, START, CANCEL), as the file's keys spell them.
extern const char* const ConfigPadOperationNames[10];
// The four pad prefixes: "JOY_", "JOY2_", "JOY3_", "JOY4_".
extern const char* const ConfigPadPrefixes[4];
// The twelve "KEY_" names in pad-keyboard map order.
extern const char* const ConfigKeyNames[12];

struct Resolution {
    i32 width;
    i32 height;
};
inline constexpr i32 ResolutionCount = 17;
extern const Resolution Resolutions[ResolutionCount];
// Used whenever no listed resolution is chosen (a missing file reads 0 x 0).
inline constexpr i32 FallbackResolution = 5; // 1024 x 768

// Index of the entry equal to width x height, -1 when none is.
i32 FindResolution(i32 width, i32 height);

// "<start-up directory>/Config.ini".
std::string ConfigPath(const CApplication& app);

// Reads the pad button maps (stored 1-based in the file) and the 12 keys.
void ReadPadBindings(CApplication& app, const std::string& path);
void WritePadBindings(const CApplication& app, const std::string& path);
