// Reading "Config.ini" into the application object at start-up.
#include "app/core/Config.h"

#include <algorithm>
#include <cstdio>

#include "app/core/Application.h"
#include "engine/core/IniFile.h"

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

namespace {

std::string PadKey(i32 pad, i32 op)
{
    return std::string(ConfigPadPrefixes[pad]) + ConfigPadOperationNames[op];
}

}  // namespace

void ReadPadBindings(CApplication& app, const std::string& path)
{
    const char* file = path.c_str();
    for (i32 pad = 0; pad < 4; ++pad)
        for (i32 op = 0; op < 10; ++op)
            // 1-based in the file; 0 or a missing key wraps to 255, unbound.
            app.input.padButtonMap[pad][op] = static_cast<u8>(
                ReadIniInt(file, "GameSetting", PadKey(pad, op).c_str()) - 1);
    if (!app.input.padKeyMap.IsCreated()) app.input.padKeyMap.Create(PadKeyMapSize);
    if (app.input.padKeyMap.GetCount() < static_cast<i32>(PadKeyMapSize)) return;
    for (i32 k = 0; k < 12; ++k)
        app.input.padKeyMap[k] = static_cast<u8>(ReadIniInt(file, "GameSetting", ConfigKeyNames[k]));
}

void WritePadBindings(const CApplication& app, const std::string& path)
{
    const char* file = path.c_str();
    for (i32 pad = 0; pad < 4; ++pad)
        for (i32 op = 0; op < 10; ++op)
            WriteIniInt(file, "GameSetting", PadKey(pad, op).c_str(),
                        static_cast<i32>(app.input.padButtonMap[pad][op]) + 1);
    if (app.input.padKeyMap.GetCount() < static_cast<i32>(PadKeyMapSize)) return;
    for (i32 k = 0; k < 12; ++k)
        WriteIniInt(file, "GameSetting", ConfigKeyNames[k], app.input.padKeyMap[k]);
}

void CApplication::LoadConfig()
{
    const std::string path = ConfigPath(*this);
    const char* file = path.c_str();
    video.fullScreen = static_cast<u32>(ReadIniInt(file, "Window", "FullScreen"));
    video.textureLevel = std::clamp(ReadIniInt(file, "D3DSetting", "TextureLevel"), -1, 7);
    video.farLevel = std::min(ReadIniInt(file, "GameSetting", "Far"), 5);
    video.hdr = static_cast<u32>(ReadIniInt(file, "GameSetting", "HDR"));
    video.maxFrameSkip = static_cast<u32>(ReadIniInt(file, "GameSetting", "MaxFrameSkip"));
    volume.volumeBgm = static_cast<u32>(ReadIniInt(file, "GameSetting", "VolumeBGM"));
    volume.volumeSe = static_cast<u32>(ReadIniInt(file, "GameSetting", "VolumeSE"));
    volume.volumeVoice = static_cast<u32>(ReadIniInt(file, "GameSetting", "VolumeVOICE"));
    video.disableShader = static_cast<u8>(ReadIniInt(file, "GameSetting", "DisableShader"));
    if (video.disableShader) video.hdr = 0;
    video.shadow = static_cast<u8>(ReadIniInt(file, "GameSetting", "Shadow"));
    video.fastFont = ReadIniInt(file, "GameSetting", "NoFastFont") == 1 ? 0 : 1;
    video.screenWidth = ReadIniInt(file, "Window", "w");
    video.screenHeight = ReadIniInt(file, "Window", "h");
    ReadPadBindings(*this, path);
}
