#pragma once
// The settings dialog "SETTINGDIALOG" and the key dialog "KEYDLG", shown
// before the main window. Each dialog keeps its controls' values and reacts
// to commands as its procedure would; the UI and scripted clicks both go
// through OnCommand, so tests drive exactly what a click does.
#include <functional>
#include <string>
#include <vector>

#include "platform/core/Types.h"

class CApplication;
class InputManager;

// Combo-box notification of a changed selection.
inline constexpr i32 SelectionChanged = 1;

// A slider control kept as its range, position and step.
class TrackBar {
public:
    void Attach(i32 controlId) { id = controlId; }
    void SetRange(i32 minimum, i32 maximum, bool redraw = true);
    void SetPos(i32 position, bool redraw = true);
    i32 GetPos() const { return pos; }
    void SetLineSize(i32 size) { lineSize = size; }
    i32 GetId() const { return id; }
    i32 GetMin() const { return min; }
    i32 GetMax() const { return max; }

private:
    i32 id = 0;
    i32 min = 0;
    i32 max = 100;
    i32 pos = 0;
    i32 lineSize = 1;
};

// Control ids of the settings dialog.
namespace settings_id {
inline constexpr i32 Start = 1, Cancel = 2, PresetMedium = 3, PresetHigh = 4;
inline constexpr i32 PresetLowest = 5, PresetHighest = 6, KeyConfig = 7, PresetLow = 10;
inline constexpr i32 Resolution = 1001, Shadow = 1002, FullScreen = 1003, Texture = 1004;
inline constexpr i32 Vision = 1005, HdrCheck = 1006, FrameSkip = 1007, Stereo = 1008;
inline constexpr i32 NoShader = 1009, Font = 1010, Hdr = 1011, RobotQuality = 1014;
inline constexpr i32 RobotQualityLabel = 1015, Bgm = 1016, Se = 1017, Voice = 1018;
}  // namespace settings_id

class SettingsDialog {
public:
    SettingsDialog(CApplication& app, std::string configPath);

    void OnInitDialog();
    void OnCommand(i32 id, i32 notify = 0);
    // Start and the close box both arrive here: save and start.
    void OnClose();
    // The robot quality trackbar moved.
    void OnHScroll(i32 controlId);

    bool IsEnded() const { return ended; }
    // 0 start the game, 1 end the program.
    i32 GetResult() const { return result; }

    // Runs the key dialog modally (set by the runner; tests replace it).
    std::function<void()> runKeyDialog;

    // Control values.
    i32 resolution = -1; // -1: no entry selected
    bool fullScreen = false;
    i32 textureEdit = 0;
    i32 visionEdit = 0;
    bool noShader = false;
    bool hdrCheck = false; // hidden
    i32 hdrList = 0;       // 0 "None", 1 "On"
    i32 frameSkipEdit = 0;
    i32 shadowList = 0; // "None" .. "Very High"
    bool fontCheck = false;
    bool stereo = false; // hidden
    TrackBar robotQuality, bgm, se, voice;
    std::string robotQualityLabel; // hidden
    // No installed font has the game's characters: the dialog says so, and
    // which package to install, in words its built-in font can show.
    bool fontMissing = false;

private:
    void ApplyPreset(i32 resolutionIndex, i32 texture, i32 vision, bool noShaderOn, i32 hdr,
                     i32 frameSkip, i32 shadow, i32 quality);

    CApplication& app;
    std::string path;
    bool ended = false;
    i32 result = 0;
};

// Control ids of the key dialog.
namespace key_id {
inline constexpr i32 Ok = 1, Default = 2, Player = 1037;
// Operation buttons, in operation order (jump .. CANCEL).
inline constexpr i32 Operations[10] = {1007, 1008, 1009, 1010, 1011, 1012, 1019, 1021, 1023, 1025};
// The JoyPad column cells in operation order, and the KeyBoard column cells
// of operations 0..7.
inline constexpr i32 JoyCells[10] = {1013, 1014, 1015, 1016, 1017, 1018, 1020, 1022, 1024, 1026};
inline constexpr i32 KeyCells[8] = {1027, 1028, 1029, 1030, 1031, 1032, 1033, 1034};
}  // namespace key_id

// What the KeyBoard column shows for a virtual key: its name on the key cap
// ("Z", "Space", "F5", "Num 4"), "-" for none.
std::string KeyCellName(i32 virtualKey);

class KeyConfigDialog {
public:
    KeyConfigDialog(CApplication& app, std::string configPath, InputManager& input);

    void OnInitDialog();
    void OnCommand(i32 id);
    void OnPlayerChanged(i32 index);
    // Every 30 ms while open.
    void OnTimer();

    bool IsEnded() const { return ended; }
    i32 GetResult() const { return 0; }

    // The operation being assigned, kept for the whole run of the program.
    static i32 assigning;

    i32 selectedPlayer = 0;
    std::vector<std::string> playerNames; // "%d:%s" per attached pad
    i32 joyCells[10] = {};
    i32 keyCells[8] = {};

private:
    void ShowJoyColumn();
    void ShowKeyColumn();
    // Only the four pads the game reads have a button map.
    bool SelectedPadHasMap() const { return selectedPlayer >= 0 && selectedPlayer < 4; }

    CApplication& app;
    std::string path;
    InputManager& input;
    bool ended = false;
};

// Shows the settings dialog until Start, Cancel or its close box; 0 starts
// the game, 1 ends the program.
i32 RunSettingsDialog(CApplication& app, InputManager& input);
