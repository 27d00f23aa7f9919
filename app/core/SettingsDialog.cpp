// The settings and key dialogs: their procedures and their controls.
#include "app/core/SettingsDialog.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

#include "app/core/Application.h"
#include "app/core/Config.h"
#include "app/core/ScreenShot.h"
#include "engine/input/InputManager.h"
#include "platform/input/DialogHost.h"
#include "platform/input/Events.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"
#include "platform/core/Time.h"
#include "platform/gfx/Font.h"

// ---------------------------------------------------------------- TrackBar

void TrackBar::SetRange(i32 minimum, i32 maximum, bool)
{
    min = minimum;
    max = std::max(minimum, maximum);
    pos = std::clamp(pos, min, max);
}

void TrackBar::SetPos(i32 position, bool) { pos = std::clamp(position, min, max); }

// ---------------------------------------------------------- SettingsDialog

namespace {

const char* const kHdrNames[] = {"None", "On"};
const char* const kShadowNames[] = {"None", "Low", "Middle", "High", "Very High"};

const char* const kLabelFullScreen = "全屏(FullScreen)";
const char* const kLabelNoShader = "不使用机体渲染(低性能电脑推荐)(Do not use shader)";
const char* const kLabelStereo = "交差法(立体視用ウィンドウ2つ。普通にゲームするならOFFで)";
const char* const kLabelStart = "开始游戏(Start)";
const char* const kLabelCancel = "退出游戏(Cancel)";
const char* const kLabelKeyConfig = "按键设置\n(Key config window)";
const char* const kLabelLowest = "超低画质(Lowest quality)";
const char* const kLabelLow = "低画质(Low quality)";
const char* const kLabelMedium = "中画质(Medium quality)";
const char* const kLabelHigh = "高画质(High quality)";
const char* const kLabelHighest = "超高画质(Highest quality)";
const char* const kKeyDialogTitle = "按键设置(Key config)";
const char* const kLabelDefault = "恢复默认(Default)";
const char* const kOperationLabels[10] = {
    "ジャンプ(Jump)", "ショット(Shot)", "サーベル(Saber)", "ガード(Guard)",
    "タゲ変更(Target)", "サブ１(Sub 1)", "サブ２(Sub 2)", "サブ３(Sub 3)",
    "保存\nConfirm", "取消\nCancel",
};

}  // namespace

SettingsDialog::SettingsDialog(CApplication& application, std::string configPath)
    : app(application), path(std::move(configPath))
{
    robotQuality.Attach(settings_id::RobotQuality);
    bgm.Attach(settings_id::Bgm);
    se.Attach(settings_id::Se);
    voice.Attach(settings_id::Voice);
}

void SettingsDialog::OnInitDialog()
{
    resolution = FindResolution(app.video.screenWidth, app.video.screenHeight);
    fullScreen = app.video.fullScreen != 0;
    textureEdit = app.video.textureLevel;
    visionEdit = app.video.farLevel;
    noShader = app.video.disableShader != 0;
    hdrCheck = app.video.hdr != 0;
    hdrList = app.video.hdr <= 1 ? static_cast<i32>(app.video.hdr) : -1;
    frameSkipEdit = static_cast<i32>(app.video.maxFrameSkip);
    shadowList = app.video.shadow <= 4 ? app.video.shadow : -1;
    fontCheck = app.video.fastFont == 0;
    for (TrackBar* t : {&robotQuality, &bgm, &se, &voice}) {
        t->SetRange(0, 100, false);
        t->SetLineSize(1);
    }
    robotQuality.SetPos(static_cast<i32>(std::min<u32>(app.video.robotQuality, 100)));
    robotQualityLabel = std::to_string(robotQuality.GetPos());
    bgm.SetPos(static_cast<i32>(std::min<u32>(app.volume.volumeBgm, 100)));
    se.SetPos(static_cast<i32>(std::min<u32>(app.volume.volumeSe, 100)));
    voice.SetPos(static_cast<i32>(std::min<u32>(app.volume.volumeVoice, 100)));
}

void SettingsDialog::ApplyPreset(i32 resolutionIndex, i32 texture, i32 vision, bool noShaderOn,
                                 i32 hdr, i32 frameSkip, i32 shadow, i32 quality)
{
    resolution = resolutionIndex;
    textureEdit = texture;
    visionEdit = vision;
    noShader = noShaderOn;
    hdrList = hdr;
    hdrCheck = hdr != 0;
    frameSkipEdit = frameSkip;
    stereo = false;
    shadowList = shadow;
    robotQuality.SetPos(quality);
    robotQualityLabel = std::to_string(robotQuality.GetPos());
}

void SettingsDialog::OnCommand(i32 id, i32 notify)
{
    using namespace settings_id;
    switch (id) {
    case Start: OnClose(); return;
    case Cancel:
        ended = true;
        result = 1;
        return;
    case PresetLowest: ApplyPreset(2, 3, 2, true, 0, 7, 0, 20); return;
    case PresetLow: ApplyPreset(2, 2, 3, true, 0, 6, 0, 40); return;
    case PresetMedium: ApplyPreset(3, 1, 4, false, 1, 5, 1, 80); return;
    case PresetHigh: ApplyPreset(5, 0, 5, false, 1, 5, 2, 100); return;
    case PresetHighest: ApplyPreset(7, 0, 7, false, 1, 5, 3, 100); return;
    case KeyConfig:
        if (runKeyDialog) runKeyDialog();
        return;
    case NoShader:
        // Whatever the notification: a ticked box turns both lists off.
        if (noShader) {
            hdrList = 0;
            shadowList = 0;
        }
        return;
    case Hdr:
        if (notify == SelectionChanged && hdrList != 0) noShader = false;
        return;
    case Shadow:
        if (notify == SelectionChanged && shadowList != 0) noShader = false;
        return;
    default: return;
    }
}

void SettingsDialog::OnHScroll(i32 controlId)
{
    if (controlId == settings_id::RobotQuality)
        robotQualityLabel = std::to_string(robotQuality.GetPos());
}

void SettingsDialog::OnClose()
{
    // No listed resolution chosen (a missing file reads 0 x 0): take the
    // usual 1024 x 768 rather than an entry before the table.
    const i32 r = resolution >= 0 && resolution < ResolutionCount ? resolution : FallbackResolution;
    app.video.screenWidth = Resolutions[r].width;
    app.video.screenHeight = Resolutions[r].height;
    app.video.fullScreen = fullScreen ? 1 : 0;
    app.video.textureLevel = std::clamp(textureEdit, -1, 7);
    app.video.farLevel = std::clamp(visionEdit, VisionMin, VisionMax);
    app.video.hdr = static_cast<u32>(std::max(hdrList, 0));
    app.video.maxFrameSkip = static_cast<u32>(std::clamp(frameSkipEdit, 0, MaxFrameSkipLimit));
    app.video.stereo = stereo ? 1 : 0;
    app.video.disableShader = noShader ? 1 : 0;
    app.video.shadow = static_cast<u8>(std::max(shadowList, 0));
    app.video.robotQuality = static_cast<u32>(robotQuality.GetPos());
    app.volume.volumeBgm = static_cast<u32>(bgm.GetPos());
    app.volume.volumeSe = static_cast<u32>(se.GetPos());
    app.volume.volumeVoice = static_cast<u32>(voice.GetPos());
    app.video.fastFont = fontCheck ? 0 : 1;

    // The bindings go with the rest, so a first start's file is complete.
    if (!SaveConfig(app, path)) ReportConfigNotSaved(path);
    ended = true;
    result = 0;
}

// --------------------------------------------------------- KeyConfigDialog

i32 KeyConfigDialog::assigning = 0;

namespace {

constexpr u8 kDefaultButtons[10] = {2, 0, 1, 5, 3, 4, 6, 7, 9, 8};

}  // namespace

std::string KeyCellName(i32 k)
{
    if ((k >= 'A' && k <= 'Z') || (k >= '0' && k <= '9')) return std::string(1, static_cast<char>(k));
    if (k >= plat::vk::Numpad0 && k <= plat::vk::Numpad0 + 9) return "Num " + std::to_string(k - plat::vk::Numpad0);
    if (k >= plat::vk::F1 && k < plat::vk::F1 + 16) return "F" + std::to_string(k - plat::vk::F1 + 1);
    static const struct {
        i32 code;
        const char* name;
    } kNames[] = {{0, "(none)"},
                  {plat::vk::Space, "Space"},
                  {plat::vk::Prior, "Page Up"},
                  {plat::vk::Next, "Page Down"},
                  {plat::vk::End, "End"},
                  {plat::vk::Home, "Home"},
                  {plat::vk::Left, "Left"},
                  {plat::vk::Up, "Up"},
                  {plat::vk::Right, "Right"},
                  {plat::vk::Down, "Down"},
                  {plat::vk::LWin, "Win"},
                  {plat::vk::RWin, "Right Win"},
                  {plat::vk::Apps, "Menu"},
                  {plat::vk::Multiply, "Num *"},
                  {plat::vk::Add, "Num +"},
                  {plat::vk::Subtract, "Num -"},
                  {plat::vk::Decimal, "Num ."},
                  {plat::vk::Divide, "Num /"},
                  {plat::vk::Oem1, ";"},
                  {plat::vk::OemPlus, "="},
                  {plat::vk::OemComma, ","},
                  {plat::vk::OemMinus, "-"},
                  {plat::vk::OemPeriod, "."},
                  {plat::vk::Oem2, "/"},
                  {plat::vk::Oem3, "`"},
                  {plat::vk::Oem4, "["},
                  {plat::vk::Oem5, "\\"},
                  {plat::vk::Oem6, "]"},
                  {plat::vk::Oem7, "'"}};
    for (const auto& n : kNames)
        if (n.code == k) return n.name;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", k & 0xFF);
    return hex;
}

namespace {

bool IsAssignableKey(i32 k)
{
    return (k >= 0x41 && k <= 0x7F) || (k >= 0x20 && k <= 0x24) || (k >= 0xBA && k <= 0xC0) ||
           (k >= 0xDB && k <= 0xDE);
}

}  // namespace

KeyConfigDialog::KeyConfigDialog(CApplication& application, std::string configPath,
                                 InputManager& inputManager)
    : app(application), path(std::move(configPath)), input(inputManager)
{
}

void KeyConfigDialog::ShowJoyColumn()
{
    // Buttons count from 1 on screen, as the pads print them and as a press
    // shows them; an unbound one (255) shows as 0.
    for (i32 op = 0; op < 10; ++op)
        joyCells[op] = SelectedPadHasMap() ? (app.input.padButtonMap[selectedPlayer][op] + 1) % 256 : -1;
}

void KeyConfigDialog::ShowKeyColumn()
{
    for (i32 op = 0; op < 8; ++op)
        keyCells[op] = app.input.padKeyMap.GetCount() >= 12 ? app.input.padKeyMap[op + 4] : 0;
}

void KeyConfigDialog::OnInitDialog()
{
    ReadPadBindings(app, path);
    selectedPlayer = 0;
    ShowJoyColumn();
    ShowKeyColumn();
    playerNames.clear();
    for (i32 i = 0; i < InputManager::MaxPads; ++i) {
        if (!input.IsPadPresent(i)) continue;
        char line[300];
        std::snprintf(line, sizeof line, "%d:%s", i + 1, input.GetPadName(i).c_str());
        playerNames.push_back(line);
    }
}

void KeyConfigDialog::OnPlayerChanged(i32 index)
{
    if (index < 0 || index >= static_cast<i32>(playerNames.size())) return;
    selectedPlayer = index;
    ShowJoyColumn();
}

void KeyConfigDialog::OnCommand(i32 id)
{
    for (i32 op = 0; op < 10; ++op)
        if (id == key_id::Operations[op]) {
            assigning = op;
            return;
        }
    if (id == key_id::Default) {
        if (app.input.padKeyMap.GetCount() >= 12)
            for (i32 k = 0; k < 12; ++k) app.input.padKeyMap[k] = DefaultPadKeys[k];
        if (SelectedPadHasMap())
            for (i32 op = 0; op < 10; ++op) app.input.padButtonMap[selectedPlayer][op] = kDefaultButtons[op];
        ShowJoyColumn();
        ShowKeyColumn();
        return;
    }
    if (id == key_id::Ok) {
        if (!WritePadBindings(app, path)) ReportConfigNotSaved(path);
        ended = true;
    }
}

void KeyConfigDialog::OnTimer()
{
    if (input.GetPadCount() > 0) {
        JoyState state;
        if (input.ReadJoystick(state, selectedPlayer)) {
            for (i32 b = 0; b < plat::PadButtonSlots; ++b) {
                if (!(state.buttons[b] & 0x80)) continue;
                // A fifth or later pad has no map in the game: show, never store.
                if (SelectedPadHasMap()) app.input.padButtonMap[selectedPlayer][assigning] = static_cast<u8>(b);
                joyCells[assigning] = b + 1;
            }
        }
    }
    if (assigning < 8 && app.input.padKeyMap.GetCount() >= 12) {
        for (i32 k = 0; k < 256; ++k) {
            if (!IsAssignableKey(k) || !plat::IsKeyDown(k)) continue;
            app.input.padKeyMap[assigning + 4] = static_cast<u8>(k);
            keyCells[assigning] = k;
        }
    }
}

// ------------------------------------------------------------------ runners

namespace {

constexpr u32 kKeyTimerMs = 30;
constexpr u32 kDialogFrameMs = 15;

std::string AllLabels()
{
    std::string s;
    for (const char* l : {kLabelFullScreen, kLabelNoShader, kLabelStereo, kLabelStart, kLabelCancel,
                          kLabelKeyConfig, kLabelLowest, kLabelLow, kLabelMedium, kLabelHigh,
                          kLabelHighest, kKeyDialogTitle, kLabelDefault})
        s += l;
    for (const char* l : kOperationLabels) s += l;
    return s;
}

// A hidden dialog (no display) can only be answered by a script; once the
// script has nothing more to say it closes as its close box would.
bool NobodyCanAnswer(bool shown) { return !shown && plat::InputScriptFinished(); }

// The game's screenshot key works in the dialogs too: the next frame drawn
// is read back and saved as the game saves its own.
struct DialogShot {
    bool wanted = false;
    void Note(const plat::Event& e)
    {
        if (e.kind == plat::EventKind::KeyDown && e.value == plat::vk::Snapshot && !e.repeat) wanted = true;
    }
    void EndFrame(plat::DialogHost& host, CApplication& app)
    {
        if (!wanted) {
            host.EndFrame();
            return;
        }
        wanted = false;
        std::vector<u32> pixels;
        u32 width = 0, height = 0;
        host.EndFrame(&pixels, &width, &height);
        SaveScreenShotPixels(app, std::move(pixels), width, height);
    }
};

void DrawKeyDialog(KeyConfigDialog& dlg, std::vector<i32>& clicks)
{
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::Begin("##keys", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings);
    ImGui::TextUnformatted(kKeyDialogTitle);
    const char* preview = dlg.selectedPlayer < static_cast<i32>(dlg.playerNames.size())
                              ? dlg.playerNames[dlg.selectedPlayer].c_str()
                              : "";
    if (ImGui::BeginCombo("Player", preview)) {
        for (i32 i = 0; i < static_cast<i32>(dlg.playerNames.size()); ++i)
            if (ImGui::Selectable(dlg.playerNames[i].c_str(), i == dlg.selectedPlayer))
                dlg.OnPlayerChanged(i);
        ImGui::EndCombo();
    }
    if (ImGui::BeginTable("bindings", 3, ImGuiTableFlags_Borders)) {
        ImGui::TableSetupColumn("");
        ImGui::TableSetupColumn("JoyPad");
        ImGui::TableSetupColumn("KeyBoard");
        ImGui::TableHeadersRow();
        for (i32 op = 0; op < 10; ++op) {
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::PushID(op);
            const bool current = op == KeyConfigDialog::assigning;
            if (current) ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.9f, 0.7f, 0.3f, 1.0f));
            if (ImGui::Button(kOperationLabels[op], ImVec2(160, 0))) clicks.push_back(key_id::Operations[op]);
            if (current) ImGui::PopStyleColor();
            ImGui::PopID();
            ImGui::TableNextColumn();
            if (dlg.joyCells[op] > 0) ImGui::Text("%d", dlg.joyCells[op]);
            else if (dlg.joyCells[op] == 0) ImGui::TextUnformatted("-");
            ImGui::TableNextColumn();
            if (op < 8) ImGui::TextUnformatted(KeyCellName(dlg.keyCells[op]).c_str());
            else ImGui::TextUnformatted(op == 8 ? "Enter" : "Escape");
        }
        ImGui::EndTable();
    }
    if (ImGui::Button(kLabelDefault)) clicks.push_back(key_id::Default);
    ImGui::SameLine();
    if (ImGui::Button("OK")) clicks.push_back(key_id::Ok);
    ImGui::End();
}

void RunKeyDialog(CApplication& app, InputManager& input, plat::DialogHost& host)
{
    KeyConfigDialog dlg(app, ConfigPath(app), input);
    dlg.OnInitDialog();
    host.SetTitle(kKeyDialogTitle);
    u32 nextTimer = plat::TimeGetTime();
    std::vector<i32> clicks;
    DialogShot shot;
    while (!dlg.IsEnded()) {
        plat::Event e;
        while (!dlg.IsEnded() && plat::PollEvent(e)) {
            shot.Note(e);
            // The close box acts as Default; the dialog stays.
            if (e.kind == plat::EventKind::Close) dlg.OnCommand(key_id::Default);
            else if (e.kind == plat::EventKind::Command) dlg.OnCommand(e.value);
            else if (e.kind == plat::EventKind::Quit) dlg.OnCommand(key_id::Ok);
        }
        if (dlg.IsEnded()) break;
        const u32 now = plat::TimeGetTime();
        if (static_cast<i32>(now - nextTimer) >= 0) {
            dlg.OnTimer();
            nextTimer = now + kKeyTimerMs;
        }
        if (host.IsOpen()) {
            host.BeginFrame();
            DrawKeyDialog(dlg, clicks);
            shot.EndFrame(host, app);
            for (i32 id : clicks) dlg.OnCommand(id);
            clicks.clear();
        } else if (NobodyCanAnswer(false)) {
            dlg.OnCommand(key_id::Ok);
        }
        plat::Sleep(kDialogFrameMs);
    }
    host.SetTitle("Quillon");
}

void DrawSettings(SettingsDialog& dlg, std::vector<std::pair<i32, i32>>& commands)
{
    using namespace settings_id;
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::Begin("##settings", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings);
    if (dlg.fontMissing) {
        ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0.75f, 0.05f, 0.05f, 1.0f));
        ImGui::TextWrapped("No installed font has the game's Chinese and Japanese characters, so the game's "
                           "menus would show no text. Install the package %s (sudo apt install %s) and start "
                           "the game again.",
                           plat::kCjkFontPackage, plat::kCjkFontPackage);
        ImGui::PopStyleColor();
        ImGui::Separator();
    }
    ImGui::PushItemWidth(180);

    char preview[32] = "";
    if (dlg.resolution >= 0 && dlg.resolution < ResolutionCount)
        std::snprintf(preview, sizeof preview, "%dx%d", Resolutions[dlg.resolution].width,
                      Resolutions[dlg.resolution].height);
    if (ImGui::BeginCombo("Resolution", preview)) {
        for (i32 i = 0; i < ResolutionCount; ++i) {
            char item[32];
            std::snprintf(item, sizeof item, "%dx%d", Resolutions[i].width, Resolutions[i].height);
            if (ImGui::Selectable(item, i == dlg.resolution)) dlg.resolution = i;
        }
        ImGui::EndCombo();
    }
    ImGui::Checkbox(kLabelFullScreen, &dlg.fullScreen);
    ImGui::InputInt("Texture quality", &dlg.textureEdit, 0);
    ImGui::InputInt("Vision", &dlg.visionEdit, 0);
    if (ImGui::Checkbox(kLabelNoShader, &dlg.noShader)) commands.push_back({NoShader, 0});
    i32 hdr = dlg.hdrList;
    if (ImGui::Combo("HDR", &hdr, kHdrNames, 2) && hdr != dlg.hdrList) {
        dlg.hdrList = hdr;
        commands.push_back({Hdr, SelectionChanged});
    }
    ImGui::InputInt("Max frame skip", &dlg.frameSkipEdit, 0);
    i32 shadow = dlg.shadowList;
    if (ImGui::Combo("Shadow", &shadow, kShadowNames, 5) && shadow != dlg.shadowList) {
        dlg.shadowList = shadow;
        commands.push_back({Shadow, SelectionChanged});
    }
    ImGui::Checkbox("Font (no cache)", &dlg.fontCheck);
    for (TrackBar* t : {&dlg.bgm, &dlg.se, &dlg.voice}) {
        i32 pos = t->GetPos();
        const char* name = t == &dlg.bgm ? "BGM" : t == &dlg.se ? "SE" : "VOICE";
        if (ImGui::SliderInt(name, &pos, t->GetMin(), t->GetMax())) t->SetPos(pos);
    }
    ImGui::PopItemWidth();

    ImGui::Separator();
    const std::pair<const char*, i32> presets[] = {{kLabelLowest, PresetLowest}, {kLabelLow, PresetLow},
                                                   {kLabelMedium, PresetMedium}, {kLabelHigh, PresetHigh},
                                                   {kLabelHighest, PresetHighest}};
    for (const auto& [label, id] : presets) {
        if (ImGui::Button(label)) commands.push_back({id, 0});
        if (id != PresetHighest) ImGui::SameLine();
    }
    ImGui::Separator();
    if (ImGui::Button(kLabelKeyConfig)) commands.push_back({KeyConfig, 0});
    ImGui::SameLine();
    if (ImGui::Button(kLabelStart, ImVec2(0, 40))) commands.push_back({Start, 0});
    ImGui::SameLine();
    if (ImGui::Button(kLabelCancel, ImVec2(0, 40))) commands.push_back({Cancel, 0});
    ImGui::End();
}

}  // namespace

i32 RunSettingsDialog(CApplication& app, InputManager& input)
{
    SettingsDialog dlg(app, ConfigPath(app));
    dlg.OnInitDialog();
    // Asked before the title: the game's own text draws with the same face.
    dlg.fontMissing = !plat::GameTextFontFound();
    plat::DialogHost host;
    const std::string glyphs = AllLabels();
    const bool shown = host.Open("Quillon", 720, dlg.fontMissing ? 540 : 470, glyphs.c_str());
    dlg.runKeyDialog = [&] { RunKeyDialog(app, input, host); };
    std::vector<std::pair<i32, i32>> commands;
    DialogShot shot;
    while (!dlg.IsEnded()) {
        plat::Event e;
        while (!dlg.IsEnded() && plat::PollEvent(e)) {
            shot.Note(e);
            if (e.kind == plat::EventKind::Close) dlg.OnClose();
            else if (e.kind == plat::EventKind::Command) dlg.OnCommand(e.value);
            else if (e.kind == plat::EventKind::Quit) dlg.OnCommand(settings_id::Cancel);
        }
        if (dlg.IsEnded()) break;
        if (shown) {
            host.BeginFrame();
            DrawSettings(dlg, commands);
            shot.EndFrame(host, app);
            for (const auto& [id, notify] : commands)
                if (!dlg.IsEnded()) dlg.OnCommand(id, notify);
            commands.clear();
        } else if (NobodyCanAnswer(shown)) {
            dlg.OnClose();
        }
        plat::Sleep(kDialogFrameMs);
    }
    host.Close();
    return dlg.GetResult();
}
