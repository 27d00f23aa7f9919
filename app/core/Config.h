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

// The ranges the settings dialog offers; values read outside them are
// clamped into them.
inline constexpr i32 VolumeMax = 100;
inline constexpr i32 VisionMin = 1, VisionMax = 5;
inline constexpr i32 MaxFrameSkipLimit = 10;

// What a first start plays with where the file has no value of its own:
// audible volumes, skipped draws for a battle that falls behind, pad buttons in operation order, and the keyboard playing
// pad 0 (arrows to move, Z X C V S A D F for the eight buttons).
inline constexpr i32 DefaultVolume = 80;
// A battle that falls behind skips up to this many draws in a row before it
// slows down, as the medium to highest presets set it: a first start on a
// slow machine keeps the battle in real time.
inline constexpr i32 DefaultMaxFrameSkip = 5;
// Robot meshes as their files draw them. Earlier versions wrote 0 on every
// start, the setting being never read back; the presets offer 20 to 100, so
// a 0 (or anything not above it) is read as this too.
inline constexpr i32 FullRobotQuality = 100;
// The robot quality a value of PMQuality (or of the dialog) stands for: 1 to 100.
u32 UsableRobotQuality(i64 value);
extern const u8 DefaultPadKeys[12];

// Whether bytes read as "Config.ini" are no settings text at all (binary
// data, broken UTF-8): such a file is set aside whole.
bool ConfigIsDamaged(const std::string& bytes);
// What LoadConfig tells of the lines it passes over ("" when there are none).
std::string ConfigSkippedLinesText(const std::string& bytes);

// Reads the pad button maps (stored 1-based in the file) and the 12 keys; a
// key the file lacks takes its default.
void ReadPadBindings(CApplication& app, const std::string& path);
// false when the file cannot be written.
bool WritePadBindings(const CApplication& app, const std::string& path);

// Writes every value the settings dialog shows and the bindings, keeping
// the file's other lines; false when the file cannot be written.
bool SaveConfig(const CApplication& app, const std::string& path);
// Tells the player that the settings could not be saved to path: on stderr
// and in a message box.
void ReportConfigNotSaved(const std::string& path);
