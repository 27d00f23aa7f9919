#pragma once
// The application object: the one place every part of the game reaches for
// shared state (window, settings, input, player data, the next battle's
// settings, the participants, the current scene). Built on first use by
// GetApplication() and destroyed at exit after every singleton built later.
#include "app/core/BattleRandom.h"
#include "app/core/ChatLog.h"
#include "app/core/GameSettings.h"
#include "app/player/PartInventory.h"
#include "app/player/PlayerEntry.h"
#include "app/player/RankingTable.h"
#include "engine/core/FixedArray.h"
#include "engine/input/ImeLineEditor.h"
#include "engine/core/MTRand.h"
#include "engine/graphics/TextureManager.h"
#include "engine/core/TaskList.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {
class Window; // platform/gfx/Window.h
}
class BaseScene;  // app/scene/BaseScene.h
class CStoryBase; // arcade story run of the front-end

// A list of folder names filled at start-up (robots, ships, stages).
struct FolderList {
    u32 count = 0;
    char names[50][100] = {};
};

// Receives key-down and character messages while a text field has focus.
using TextInputHandler = void (*)(u32 message, u64 wParam, i64 lParam);

inline constexpr u32 SharedTextureCount = 50;
inline constexpr u32 KeyMapSize = 10;
inline constexpr u32 PadKeyMapSize = 12;
inline constexpr u32 PadCount = 4;
inline constexpr u32 PadButtonCount = 10;
inline constexpr u32 PadStateCount = 14;
inline constexpr u32 RankingTableCount = 4;

// Screen and rendering settings (Config.ini and the settings dialog).
struct VideoSettings {
    i32 screenWidth = 0;
    i32 screenHeight = 0;
    f32 screenScaleX = 0.0f; // width / 1024, set at start-up
    f32 screenScaleY = 0.0f; // height / 768
    i32 textureLevel = 0;    // -1..7
    u32 fullScreen = 0;
    i32 farLevel = 0; // view distance step, at most 5
    u8 stereo = 0;
    u8 disableShader = 0;
    u8 shadow = 0; // 0..4: none, 512, 1024, 2048, 4096 texels
    u32 hdr = 0;
    u32 maxFrameSkip = 0;
    u32 robotQuality = 0;
    i32 viewMode = 0; // 0..2
    u8 fastFont = 0;  // 1 = text through the rendered-text cache
};

// Keyboard, pad and mouse state, rewritten every idle pass, and the maps
// that turn pad buttons into keys.
struct InputState {
    CFixedArray<u8> keyMap;                    // 10 keys that pad-0 buttons press
    u8 padButtonMap[PadCount][PadButtonCount]; // button per operation, 255 unbound
    CFixedArray<u8> padKeyMap;                 // 12 keys of pad 0 (Config.ini KEY_)
    u8 keyTable[256] = {};                     // high bit = held this pass
    // Next firing time, 0 = key up, all ones = held since the scene changed.
    u32 keyRepeatTimes[256] = {};
    u32 padState[PadCount][PadStateCount] = {};
    i32 mousePos[2] = {}; // 1024 x 768 virtual screen
    i32 cursor[2] = {};   // client pixels
    i32 prevMousePos[2] = {};
    i32 prevCursor[2] = {};
    i32 pressPos[3][2] = {};
    u32 mouseButtons[3] = {}; // bit 0 down this pass, 1 held, 2 up this pass
    i32 wheelDelta = 0;
    i32 mouseMove[2] = {};
};

// Percentages 0..100 per sound slot.
struct VolumeSettings {
    u32 volumeBgm = 0;
    u32 volumeSe = 0;
    u32 volumeVoice = 0;
};

class CApplication {
public:
    CApplication();
    ~CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    // True when the stored system language is Japanese (17).
    bool IsJapaneseLocale() const { return language == 17; }
    // An empty name returns to the start-up directory; any other name enters
    // "<start-up directory>/<name>". 1 on success, 0 otherwise.
    int SetCurrentDirectoryTo(const char* folder);
    // The player's profile lives inside the part inventory.
    PlayerProfile& Profile() { return partInventory.profile; }

    // Defined by the owners of the configuration file, main loop and shared
    // helpers (app/core/Config.cpp, app/core/MainLoop.cpp, app/core/SharedHelpers.cpp).
    void LoadConfig();
    int IsKeyRepeat(u32 virtualKey, u32 intervalMs);
    int IsPadButtonRepeat(u32 pad, u32 stateWord, u32 intervalMs);
    // A scene change: keys and pad buttons down now reach the next scene
    // only after they have been let go, so the press that left a scene does
    // not act again in the next one.
    void HoldKeysUntilReleased();
    // After each poll: the hold ends for every key and button that is up.
    void ReleaseHeldKeys();
    // A key-down message: a fresh press ends the key's hold and passes; the
    // auto-repeat of a key still held from the scene before is held back.
    bool KeyMessageHeldBack(u32 virtualKey, bool repeat);
    void AddChatLine(const char* text, u32 colour);
    void AddChatMessage(const char* name, const char* text, u32 colour);
    // The room's chat begins when its login is sent: what the room says
    // before its screen is up (who came in, a refused upload) is its own.
    // Opening the room keeps those lines and empties the rest; a room
    // opened again after a battle starts empty.
    void BeginRoomChat();
    void OpenRoomChat();
    static u32 GetColor(i32 index);

    // Menus, voices, part rolls and save-file scramble words.
    cMTRand random;
    plat::Window* mainWindow = nullptr;
    plat::Window* leftEyeWindow = nullptr; // stereo view windows
    plat::Window* rightEyeWindow = nullptr;
    VideoSettings video;
    char startupDir[256] = {};
    u32 closeRequest = 0;
    u16 language = 0;
    InputState input;
    VolumeSettings volume;
    u32 frameDrawn = 0;
    u32 notMinimised = 0;
    PartInventory partInventory;
    // Environment cube texture "Quillon/CubeMap.dds", released at shutdown.
    plat::GfxCubeTexture* cubeMap = nullptr;
    // 0 "Quillon/dot.png", 1 "Quillon/back.png", 2 "Quillon/back_red.png",
    // 3 "Quillon/digifont.png"; the rest for scenes.
    TextureHandle sharedTextures[SharedTextureCount];
    TextureHandle captureTexture; // screen-sized, for screenshots
    ImeLineEditor lineEditor;
    TextInputHandler textInputHandler = nullptr;
    CList<ChatNode> chatLog;
    i64 roomChatLines = -1; // lines added since the login went; -1 none
    RankingTable rankingTables[RankingTableCount]; // easy, normal, hard, survival
    GameSettings gameSettings;
    CFixedArray<PlayerEntry> players; // always 20
    FolderList robotFolders;
    FolderList shipFolders;
    FolderList stageFolders;
    FolderList secondStageFolders;
    BaseScene* currentScene = nullptr;
    u32 quit = 0;
    CStoryBase* currentStory = nullptr;
    Mat4 digitTransform = Mat4::Identity();
};

CApplication* GetApplication();
