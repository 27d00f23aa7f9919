// Reading "Config.ini" into the application object at start-up, and saving it.
#include "app/core/Config.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/core/Application.h"
#include "app/player/SaveFolder.h"
#include "engine/core/IniFile.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Ini.h"
#include "platform/core/MessageBox.h"
#include "platform/core/TextCodec.h"
#include "platform/input/Gamepad.h"
#include "platform/input/Keyboard.h"

const char* const ConfigPadOperationNames[10] = {
    "ジャンプ", "ショット", "サーベル", "ガード", "タゲ変更",
    "サブ１", "サブ２", "サブ３", "START", "CANCEL",
};

const char* const ConfigPadPrefixes[4] = {"JOY_", "JOY2_", "JOY3_", "JOY4_"};

const char* const ConfigKeyNames[12] = {
    "KEY_左", "KEY_上", "KEY_右", "KEY_下", "KEY_ジャンプ", "KEY_ショット",
    "KEY_サーベル", "KEY_ガード", "KEY_タゲ変更", "KEY_サブ１", "KEY_サブ２", "KEY_サブ３",
};

const Resolution Resolutions[ResolutionCount] = {
    {320, 240},   {640, 400},   {640, 480},   {800, 600},   {854, 480},   {1024, 768},
    {1280, 720},  {1280, 960},  {1280, 1024}, {1366, 768},  {1440, 990},  {1600, 1200},
    {1680, 1050}, {1920, 1080}, {1920, 1200}, {2048, 1152}, {2048, 1536},
};

i32 FindResolution(i32 width, i32 height)
{
    for (i32 i = 0; i < ResolutionCount; ++i)
        if (Resolutions[i].width == width && Resolutions[i].height == height) return i;
    return -1;
}

std::string ConfigPath(const CApplication& app)
{
    return std::string(app.startupDir) + "/" + ConfigFileName;
}

const u8 DefaultPadKeys[12] = {0x25, 0x26, 0x27, 0x28, 'Z', 'X', 'C', 'V', 'S', 'A', 'D', 'F'};

namespace {

std::string PadKey(i32 pad, i32 op)
{
    return std::string(ConfigPadPrefixes[pad]) + ConfigPadOperationNames[op];
}

// The key's number, or fallback when the file has no value for it.
i32 ReadIntOr(const plat::ParsedIni& file, const char* section, const char* key, i32 fallback)
{
    char value[IniValueSize];
    ReadIniString(file, section, key, value, sizeof value);
    return value[0] ? ReadIniInt(file, section, key) : fallback;
}

plat::IniValue IntValue(const char* section, const std::string& key, i32 value)
{
    return {section, key, std::to_string(value)};
}

void AddPadBindings(const CApplication& app, std::vector<plat::IniValue>& values)
{
    for (i32 pad = 0; pad < 4; ++pad)
        for (i32 op = 0; op < 10; ++op)
            values.push_back(
                IntValue("GameSetting", PadKey(pad, op), static_cast<i32>(app.input.padButtonMap[pad][op]) + 1));
    if (app.input.padKeyMap.GetCount() < static_cast<i32>(PadKeyMapSize)) return;
    for (i32 k = 0; k < 12; ++k) values.push_back(IntValue("GameSetting", ConfigKeyNames[k], app.input.padKeyMap[k]));
}

// Builds the new file once and replaces it once, so a kill mid-save leaves
// the old settings or the new ones, never some of each. Lines of values the
// file already holds stay as they are.
bool WriteValues(const std::string& path, const std::vector<plat::IniValue>& values)
{
    // A file that could be neither read nor moved aside is never written over.
    if (KeptFileIsLocked(path)) return false;
    const plat::ParsedIni file(path.c_str());
    std::vector<plat::IniValue> changed;
    for (const plat::IniValue& v : values) {
        char held[IniValueSize];
        ReadIniString(file, v.section.c_str(), v.key.c_str(), held, sizeof held);
        if (v.value != held) changed.push_back(v);
    }
    return changed.empty() || plat::WriteProfileStrings(changed, path.c_str());
}

// Whether the keyboard or the mouse can press the code; any other (0
// included) would leave its operation dead in battle.
bool IsPressableKey(i32 code)
{
    if (code == plat::vk::LButton || code == plat::vk::RButton || code == plat::vk::MButton) return true;
    return code > 0 && code < 256 && plat::ScancodeFromVirtualKey(code) != 0;
}

// A binding no button or key can have would wrap into some other binding
// when stored as a byte, or bind nothing: it takes the default, as a missing
// one does, and says so.
i32 UsableBinding(const char* key, i32 value, bool usable, i32 fallback)
{
    if (usable) return value;
    const std::string text = std::string(key) + "=" + std::to_string(value) +
                             " is no button or key: the default " + std::to_string(fallback) + " is used.";
    plat::ReportError(ConfigFileName, text.c_str());
    return fallback;
}

}  // namespace

u32 UsableRobotQuality(i64 value)
{
    return static_cast<u32>(value > 0 && value < FullRobotQuality ? value : FullRobotQuality);
}

bool ConfigIsDamaged(const std::string& bytes)
{
    return !plat::IniTextFileFault(bytes).empty();
}

std::string ConfigSkippedLinesText(const std::string& bytes)
{
    const std::vector<size_t> lines = plat::IniSkippedLines(bytes);
    if (lines.empty()) return {};
    // A few numbers are enough to find them; a file of thousands is not listed.
    constexpr size_t kListed = 5;
    std::string text = lines.size() == 1 ? "line " : "lines ";
    for (size_t i = 0; i < lines.size() && i < kListed; ++i) text += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > kListed) text += " and " + std::to_string(lines.size() - kListed) + " more";
    text += lines.size() == 1 ? " is" : " are";
    return text + " neither a [section], a key=value pair nor a comment: skipped, the other settings are kept.";
}

void ReadPadBindings(CApplication& app, const std::string& path)
{
    // Read once for the 52 bindings.
    const plat::ParsedIni file(path.c_str());
    for (i32 pad = 0; pad < 4; ++pad)
        for (i32 op = 0; op < 10; ++op) {
            // 1-based in the file; 0 wraps to 255, unbound. A missing key
            // binds the operation to the button of its own number.
            const std::string key = PadKey(pad, op);
            const i32 value = ReadIntOr(file, "GameSetting", key.c_str(), op + 1);
            const bool usable = value >= 0 && value <= plat::PadButtonSlots;
            app.input.padButtonMap[pad][op] = static_cast<u8>(UsableBinding(key.c_str(), value, usable, op + 1) - 1);
        }
    if (!app.input.padKeyMap.IsCreated()) app.input.padKeyMap.Create(PadKeyMapSize);
    if (app.input.padKeyMap.GetCount() < static_cast<i32>(PadKeyMapSize)) return;
    for (i32 k = 0; k < 12; ++k) {
        const i32 value = ReadIntOr(file, "GameSetting", ConfigKeyNames[k], DefaultPadKeys[k]);
        app.input.padKeyMap[k] =
            static_cast<u8>(UsableBinding(ConfigKeyNames[k], value, IsPressableKey(value), DefaultPadKeys[k]));
    }
}

bool WritePadBindings(const CApplication& app, const std::string& path)
{
    std::vector<plat::IniValue> values;
    AddPadBindings(app, values);
    return WriteValues(path, values);
}

bool SaveConfig(const CApplication& app, const std::string& path)
{
    const VideoSettings& v = app.video;
    std::vector<plat::IniValue> values = {
        IntValue("Window", "FullScreen", static_cast<i32>(v.fullScreen)),
        IntValue("Window", "w", v.screenWidth),
        IntValue("Window", "h", v.screenHeight),
        IntValue("D3DSetting", "TextureLevel", v.textureLevel),
        IntValue("GameSetting", "Far", v.farLevel),
        IntValue("GameSetting", "DisableShader", v.disableShader),
        IntValue("GameSetting", "HDR", static_cast<i32>(v.hdr)),
        IntValue("GameSetting", "MaxFrameSkip", static_cast<i32>(v.maxFrameSkip)),
        IntValue("GameSetting", "Shadow", v.shadow),
        IntValue("GameSetting", "PMQuality", static_cast<i32>(v.robotQuality)),
        IntValue("GameSetting", "VolumeBGM", static_cast<i32>(app.volume.volumeBgm)),
        IntValue("GameSetting", "VolumeSE", static_cast<i32>(app.volume.volumeSe)),
        IntValue("GameSetting", "VolumeVOICE", static_cast<i32>(app.volume.volumeVoice)),
        IntValue("GameSetting", "NoFastFont", v.fastFont == 0 ? 1 : 0),
    };
    AddPadBindings(app, values);
    return WriteValues(path, values);
}

void ReportConfigNotSaved(const std::string& path)
{
    const std::string text = "The settings could not be saved to \"" + path +
                             "\": the game's folder may be read-only or full. They apply to this run only.";
    plat::ReportError("Config.ini", text.c_str());
    if (!plat::MessageBoxesAreQuiet()) plat::ShowMessageBox(nullptr, text.c_str(), "Tervalis", plat::MessageBoxError);
}

void CApplication::LoadConfig()
{
    const std::string path = ConfigPath(*this);
    const char* file = path.c_str();
    std::string bytes;
    const bool read = plat::ReadWholeFile(file, bytes);
    // Set aside for the player to look at when it is no text at all; the
    // next save writes a clean file. A stray line costs only itself.
    if (read ? ConfigIsDamaged(bytes) : plat::PathExists(file)) SetAsideKeptFile(path, !read);
    else if (const std::string skipped = read ? ConfigSkippedLinesText(bytes) : std::string(); !skipped.empty())
        plat::ReportError(ConfigFileName, skipped.c_str());
    // Read once for every setting: a large file must not slow the start.
    const plat::ParsedIni settings(file);
    video.fullScreen = static_cast<u32>(ReadIniInt(settings, "Window", "FullScreen"));
    video.textureLevel = std::clamp(ReadIniInt(settings, "D3DSetting", "TextureLevel"), -1, 7);
    video.farLevel = std::clamp(ReadIniInt(settings, "GameSetting", "Far"), VisionMin, VisionMax);
    video.hdr = static_cast<u32>(ReadIniInt(settings, "GameSetting", "HDR"));
    video.maxFrameSkip = static_cast<u32>(
        std::clamp(ReadIntOr(settings, "GameSetting", "MaxFrameSkip", DefaultMaxFrameSkip), 0, MaxFrameSkipLimit));
    // A missing volume is a first start, not silence.
    const auto volumeOf = [&settings](const char* key) {
        return static_cast<u32>(std::clamp(ReadIntOr(settings, "GameSetting", key, DefaultVolume), 0, VolumeMax));
    };
    volume.volumeBgm = volumeOf("VolumeBGM");
    volume.volumeSe = volumeOf("VolumeSE");
    volume.volumeVoice = volumeOf("VolumeVOICE");
    video.disableShader = static_cast<u8>(ReadIniInt(settings, "GameSetting", "DisableShader"));
    if (video.disableShader) video.hdr = 0;
    video.shadow = static_cast<u8>(ReadIniInt(settings, "GameSetting", "Shadow"));
    // Percent of each robot mesh's faces drawn; 100 and more leave the meshes whole.
    video.robotQuality = UsableRobotQuality(ReadIntOr(settings, "GameSetting", "PMQuality", FullRobotQuality));
    video.fastFont = ReadIniInt(settings, "GameSetting", "NoFastFont") == 1 ? 0 : 1;
    video.screenWidth = ReadIniInt(settings, "Window", "w");
    video.screenHeight = ReadIniInt(settings, "Window", "h");
    ReadPadBindings(*this, path);
}
