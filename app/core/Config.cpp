// Reading "Config.ini" into the application object at start-up, and saving it.
#include "app/core/Config.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

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

bool WriteInt(const char* file, const char* section, const char* key, i32 value)
{
    // A file that could be neither read nor moved aside is never written over.
    if (KeptFileIsLocked(file)) return false;
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    // Every write replaces the whole file on disk: skip the values it already holds.
    char held[IniValueSize];
    ReadIniString(file, section, key, held, sizeof held);
    return std::strcmp(held, text) == 0 || plat::WriteProfileString(section, key, text, file);
}

bool IsValidUtf8(const std::string& bytes)
{
    const char* s = bytes.data();
    const char* end = s + bytes.size();
    while (s < end) {
        size_t length = 0;
        if (plat::DecodeUtf8(s, end, length) == 0xFFFD && !(length == 3 && std::string_view(s, 3) == "\xEF\xBF\xBD"))
            return false;
        s += length;
    }
    return true;
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

std::string_view Trimmed(std::string_view line)
{
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

}  // namespace

bool ConfigIsDamaged(const std::string& bytes)
{
    if (bytes.find('\0') != std::string::npos || !IsValidUtf8(bytes)) return true;
    std::string_view rest(bytes);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
    while (!rest.empty()) {
        const size_t newline = rest.find('\n');
        const std::string_view line = Trimmed(rest.substr(0, newline));
        rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() > 2) continue;
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && equals > 0) continue;
        return true;
    }
    return false;
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
    const char* file = path.c_str();
    bool ok = true;
    for (i32 pad = 0; pad < 4; ++pad)
        for (i32 op = 0; op < 10; ++op)
            ok = WriteInt(file, "GameSetting", PadKey(pad, op).c_str(),
                          static_cast<i32>(app.input.padButtonMap[pad][op]) + 1) && ok;
    if (app.input.padKeyMap.GetCount() < static_cast<i32>(PadKeyMapSize)) return ok;
    for (i32 k = 0; k < 12; ++k) ok = WriteInt(file, "GameSetting", ConfigKeyNames[k], app.input.padKeyMap[k]) && ok;
    return ok;
}

bool SaveConfig(const CApplication& app, const std::string& path)
{
    const char* file = path.c_str();
    const VideoSettings& v = app.video;
    // The first failure says it all: a folder that refuses one write refuses the rest.
    return WriteInt(file, "Window", "FullScreen", static_cast<i32>(v.fullScreen)) &&
           WriteInt(file, "Window", "w", v.screenWidth) && WriteInt(file, "Window", "h", v.screenHeight) &&
           WriteInt(file, "D3DSetting", "TextureLevel", v.textureLevel) &&
           WriteInt(file, "GameSetting", "Far", v.farLevel) &&
           WriteInt(file, "GameSetting", "DisableShader", v.disableShader) &&
           WriteInt(file, "GameSetting", "HDR", static_cast<i32>(v.hdr)) &&
           WriteInt(file, "GameSetting", "MaxFrameSkip", static_cast<i32>(v.maxFrameSkip)) &&
           WriteInt(file, "GameSetting", "Shadow", v.shadow) &&
           WriteInt(file, "GameSetting", "PMQuality", static_cast<i32>(v.robotQuality)) &&
           WriteInt(file, "GameSetting", "VolumeBGM", static_cast<i32>(app.volume.volumeBgm)) &&
           WriteInt(file, "GameSetting", "VolumeSE", static_cast<i32>(app.volume.volumeSe)) &&
           WriteInt(file, "GameSetting", "VolumeVOICE", static_cast<i32>(app.volume.volumeVoice)) &&
           WriteInt(file, "GameSetting", "NoFastFont", v.fastFont == 0 ? 1 : 0) && WritePadBindings(app, path);
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
    // Settings writes cut short (a kill, a power loss) leave their
    // temporary files beside Config.ini.
    RemoveInterruptedWrites(startupDir);
    const std::string path = ConfigPath(*this);
    const char* file = path.c_str();
    std::string bytes;
    const bool read = plat::ReadWholeFile(file, bytes);
    // Set aside for the player to look at; the next save writes a clean file.
    if (read ? ConfigIsDamaged(bytes) : plat::PathExists(file)) SetAsideKeptFile(path, !read);
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
    video.fastFont = ReadIniInt(settings, "GameSetting", "NoFastFont") == 1 ? 0 : 1;
    video.screenWidth = ReadIniInt(settings, "Window", "w");
    video.screenHeight = ReadIniInt(settings, "Window", "h");
    ReadPadBindings(*this, path);
}
