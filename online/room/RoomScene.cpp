#include "online/room/RoomScene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "app/player/PilotRegistry.h"
#include "app/player/RobotNameReader.h"
#include "app/player/RoomState.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SharedPictures.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/FontMeasurer.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/sound/SoundManager.h"
#include "online/OnlineDraw.h"
#include "online/login/LoginScene.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "online/room/RoomButtons.h"
#include "platform/core/FileSystem.h"
#include "platform/core/TextCodec.h"
#include "platform/core/Time.h"
#include "platform/gfx/Image.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"
#include "platform/input/Mouse.h"
#include "platform/math/Math.h"

namespace {

constexpr u32 OncePerPress = 10000;
constexpr u32 kRoomMusicSlot = 100;
constexpr i32 kChatLineLimit = 60;
// The room's own chat lines keep left of the setting rows' left arrows
// (from 714), though the chat log's lines may run on to 729.
constexpr i32 kChatWidth = 714 - 4 - 22;

CApplication& App() { return *GetApplication(); }
NetClientPair& Pair() { return *GetOnlineClients(); }
CRoomScene& Scene() { return *SceneInstance<CRoomScene>(); }
i32 OwnIndex() { return i32(GetRoomState().ownSlot); }
PlayerEntry& Own() { return App().players[OwnIndex() < PlayerEntryCount ? OwnIndex() : 0]; }
bool KeyOnce(u32 key) { return App().IsKeyRepeat(key, OncePerPress) != 0; }
// Participants still in a battle or on its results: nobody gets ready
// while one is.
i32 Fighting()
{
    i32 n = 0;
    for (i32 i = 0; i < PlayerEntryCount; ++i) n += App().players[i].joined && App().players[i].inBattle;
    return n;
}

// The participant rows' texts stand on two lines 19 to 22 units apart in
// a row 42 high, and the music choice's two lines 20 apart above the first
// row: the 18-unit font fits both lines whole (font 1 is 24).
constexpr i32 kSmallFont = 4;
// The own row's ID and EXP, small print on the top line: the 12-unit font,
// drawn as rendered. At 0.8 of font 1 a four-digit EXP runs into "准备完毕";
// at 0.8 of the 18-unit font thin stems drop out.
constexpr i32 kFinePrintFont = 0;

// Relative luminance (0 black .. 1 white) of an ARGB colour.
f32 Luminance(u32 argb)
{
    auto channel = [](u32 v) {
        const f32 c = f32(v & 0xFF) / 255.0f;
        return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
    };
    return 0.2126f * channel(argb >> 16) + 0.7152f * channel(argb >> 8) + 0.0722f * channel(argb);
}

// A team colour as the room's dark rows can show it: one too dark to read
// there (team 0's pure blue) is lifted toward white, keeping its hue, until
// it stands out 5 : 1 from black (4.5 : 1 from the rows' dark team plates).
u32 ReadableOnDark(u32 argb)
{
    constexpr f32 kLeast = 5.0f * 0.05f - 0.05f;
    u32 lifted = argb;
    for (i32 step = 1; step <= 20 && Luminance(lifted) < kLeast; ++step) {
        lifted = argb & 0xFF000000u;
        for (u32 shift : {16u, 8u, 0u}) {
            const u32 c = (argb >> shift) & 0xFF;
            lifted |= (c + (255 - c) * u32(step) / 20) << shift;
        }
    }
    return lifted;
}

// The columns of a participant row's texts, from the row's left edge: each
// text is cut to its own, clear of the arrows and of the team column. The
// second line holds the robot, the ping and the pilot (up to the dark plate
// of the team column, 893 from the row's left edge in the room picture);
// the first line the ID and EXP small print and the row's state (up to the
// team arrows at 865).
struct RowColumn {
    i32 left, right;
    i32 Width() const { return right - left; }
};
constexpr RowColumn kRobot{56, 397}, kPing{401, 505}, kPilot{508, 891};
constexpr RowColumn kId{508, 614}, kExp{618, 696}, kState{700, 861};
// The first line's height: the second line's texts start 19 below the row's top.
constexpr i32 kRowLine = 19;

// A row text in the 18-unit font, cut to its column, `dy` below the row's top.
void DrawRowText(const char* text, const plat::GfxRect& R, const RowColumn& c, i32 dy, u32 colour, bool shadow = true)
{
    const std::string fitted = FitToWidth(text, c.Width(), kSmallFont);
    if (shadow)
        DrawShadowedText(fitted.c_str(), R.left + c.left, R.top + dy, R.left + c.right, R.bottom, colour, 0, 1,
                         kSmallFont);
    else
        DrawLayoutText(fitted.c_str(), R.left + c.left, R.top + dy, R.left + c.right, R.bottom, colour, 0, kSmallFont);
}

const char* const kRuleTitles[5] = {"生存战        ", "时间战          ", "破袭战", "常规战            ",
                                    "团队战          "};

BaseScene* BattleScene() { return GetGameScene(); }

// Enter sends the chat line, Escape asks to leave, anything else edits it.
void ChatKeyHook(u32 message, u64 key, i64)
{
    CApplication& app = App();
    CRoomScene* scene = SceneInstance<CRoomScene>();
    if (!scene) return;
    ImeLineEditor& editor = app.lineEditor;
    if (message == MessageKeyDown && (key == plat::vk::Up || key == plat::vk::Down)) return;
    if (key == 13) {
        if (Own().readyState != 2 && editor.GetCharCount() > 0 && !editor.IsComposing()) {
            const std::string& text = editor.GetText();
            SendChatMessage(u16(OwnIndex()), 0, text.c_str(), u8(text.size() > 255 ? 255 : text.size()), &Pair().data);
            editor.Clear();
        }
        return;
    }
    if (key == 27 && !editor.IsComposing()) {
        scene->leaveRequest = 1;
        return;
    }
    if (message == MessageChar) editor.OnChar(i32(key));
    else if (message == MessageKeyDown) editor.OnKeyDown(i32(key));
    while (editor.GetLength() > kChatLineLimit) editor.OnChar(8);
}

// A whole file read into memory, or empty.
std::vector<u8> ReadWhole(const std::string& path)
{
    std::string text;
    if (!plat::ReadWholeFile(path.c_str(), text)) return {};
    return std::vector<u8>(text.begin(), text.end());
}

void QueueFile(CRoomScene& scene, u16 kind, const std::string& path, u32 cap)
{
    scene.QueueSend([kind, path, cap] {
        const std::vector<u8> bytes = ReadWhole(path);
        if (!bytes.empty()) SendFileChunk(kind, u32(bytes.size()), bytes.data(), cap, &Pair().game, nullptr, 0);
    });
}

void QueueMark(CRoomScene& scene, u32 step)
{
    scene.QueueSend([step] {
        u8 mark[8] = {};
        mark[0] = u8(step);
        SendFileChunk(kFileKindControl, 8, mark, kCapControl, &Pair().game, nullptr, 0);
    });
}

PilotSlot* OwnPilot()
{
    PilotRegistry* pilots = GetPilotRegistry();
    const i32 own = OwnIndex();
    return pilots && own >= 0 && own < PlayerEntryCount ? &pilots->slots[own] : nullptr;
}

std::string OwnPilotFolder()
{
    PilotRegistry* pilots = GetPilotRegistry();
    PilotSlot* slot = OwnPilot();
    if (!pilots || !slot || i32(slot->folderIndex) >= pilots->count) return {};
    return pilots->folderPaths[slot->folderIndex];
}

// Escape leaves the room for the login form, ready or not (with chat the
// room's key hook takes the key). True once the scene is replaced.
bool LeaveIfAsked(CRoomScene& scene)
{
    if (!scene.ChatAllowed() && KeyOnce(plat::vk::Escape)) scene.leaveRequest = 1;
    if (!scene.leaveRequest) return false;
    Pair().DisconnectBoth();
    SwitchScene(App(), GetLoginSceneAsBase);
    return true;
}

// The smallest rectangle of a scrambled picture file holding every pixel
// that is not fully transparent; empty when the file cannot be read.
plat::GfxRect OpaqueBounds(const char* file)
{
    std::string bytes;
    plat::Image image;
    if (!plat::ReadWholeFile(file, bytes)) return {};
    XorWords(bytes.data(), u32(bytes.size()), AssetKey);
    if (!plat::DecodeImage(bytes.data(), bytes.size(), &image) || image.format != plat::GfxFormat::A8R8G8B8 ||
        image.surfaces.empty())
        return {};
    const std::vector<u8>& pixels = image.Surface(0, 0);
    plat::GfxRect box{i32(image.width), i32(image.height), 0, 0};
    for (u32 y = 0; y < image.height; ++y)
        for (u32 x = 0; x < image.width; ++x) {
            if (pixels[(size_t(y) * image.width + x) * 4 + 3] == 0) continue;
            box.left = std::min(box.left, i32(x));
            box.top = std::min(box.top, i32(y));
            box.right = std::max(box.right, i32(x) + 1);
            box.bottom = std::max(box.bottom, i32(y) + 1);
        }
    return box.right > box.left ? box : plat::GfxRect{};
}

void ClearDepartedRow(PlayerEntry& e)
{
    if (!e.departed) return;
    e.joined = 0;
    e.slotState = 0;
    e.inBattle = 0;
    e.readyState = 0;
    e.departed = 0;
}

}  // namespace

// ---- the scene object ------------------------------------------------------------

CRoomScene::CRoomScene()
{
    for (i32 k = 0; k < 10; ++k) cursorRects[1 + k] = {730, 480 + 24 * k, 1005, 504 + 24 * k};
    for (i32 k = 0; k < 20; ++k)
        rowRects[k] = k < 10 ? plat::GfxRect{12, 54 + 42 * k, 1004, 96 + 42 * k}
                             : plat::GfxRect{510, 54 + 42 * (k - 10), 1004, 96 + 42 * (k - 10)};
}

CRoomScene::~CRoomScene()
{
    Release();
    tasks.DeleteAll();
    SceneInstance<CRoomScene>() = nullptr;
}

CRoomScene* GetRoomScene() { return GetSceneInstance<CRoomScene>(); }
BaseScene* GetRoomSceneAsBase() { return GetRoomScene(); }

u32 CRoomScene::Capacity() const
{
    const u32 room = Pair().currentRoom < kRoomCount ? Pair().currentRoom : 0;
    return ViewRoomStatus(Pair().roomStatus[room]).capacity;
}

bool CRoomScene::ChatAllowed() const
{
    const u32 room = Pair().currentRoom < kRoomCount ? Pair().currentRoom : 0;
    return ViewRoomStatus(Pair().roomStatus[room]).chatAllowed != 0;
}

i32 CRoomScene::HostIndex()
{
    CApplication& app = App();
    for (i32 i = 0; i < PlayerEntryCount; ++i)
        if (app.players[i].slotState == 1) return i;
    return 0;
}

void CRoomScene::AddButton(ButtonBase* button)
{
    for (ButtonBase*& slot : buttons)
        if (!slot) {
            slot = button;
            return;
        }
    delete button;
}

void CRoomScene::Init()
{
    CApplication& app = App();
    NetClientPair& pair = Pair();
    RoomState& room = GetRoomState();
    // A start straight into the room still offers the player's own music.
    MyBgmList& music = app.gameSettings.bgmList;
    const i32 kept = music.selectedBgm;
    music.Scan(app.startupDir);
    music.selectedBgm = kept < i32(music.entries.size()) ? kept : -1;
    for (i32 i = 0; i < app.players.GetCount(); ++i) {
        PlayerEntry& e = app.players[i];
        e.keyQueue.DeleteAll();
        e.keyQueue.Init();
        // A player who left during the battle is gone from the room too,
        // whether or not the battle got as far as removing it.
        ClearDepartedRow(e);
        e.leaveRun = 0;
        e.confirmedRuns = 0;
        e.heldKeyStates.clear();
        e.awaitingNewRun = 0;
        e.sceneLoaded = 0;
        e.leaveFrame = -100;
        e.receivedFrames = 0;
        e.pendingRadio = -1;
        if (e.slotState == 2) e.inBattle = 0;
    }
    pair.game.gameStartFlag = 0;
    RMTCB_Proc_SystemKey::Create(&tasks, 1);
    RMTCB_Proc_Normal::Create(&tasks, 1);
    RMTCB_Camera::Create(&tasks, 1);
    RMTCB_Draw_SkyDome::Create(&tasks, 1);
    RMTCB_DrawSP_Basic::Create(&tasks, 1);

    if (PilotRegistry* pilots = GetPilotRegistry()) {
        for (PilotSlot& slot : pilots->slots) {
            slot.currentVoice = nullptr;
            for (SoundObject& s : slot.sounds) s.Free();
            for (auto& frames : slot.animations) frames.clear();
            for (std::string& s : slot.pictureNames) s.clear();
            for (std::string& s : slot.voiceNames) s.clear();
            slot.pictureSource = 1;
            slot.folderIndex = 0;
            slot.pictureBytes = 0;
        }
        const i32 own = OwnIndex();
        if (own < PlayerEntryCount) app.players[own].pilot = pair.pilotChoice;
        if (pair.pilotChoice >= 0 && pair.pilotChoice < pilots->count && own < PlayerEntryCount) {
            pilots->slots[own].Load(pilots->folderPaths[pair.pilotChoice].c_str());
            pilots->slots[own].folderIndex = u32(pair.pilotChoice);
        }
    }
    QueueEntryUploads();
    GetBattleRandom().Init(1, cMTRand::kDefaultSize);
    mousePressed = 0;
    pressPoint[0] = pressPoint[1] = 0;
    for (ButtonBase*& b : buttons) b = nullptr;

    for (u32 i = 0; i < app.robotFolders.count && i < 50; ++i) {
        char folder[101] = {};
        std::memcpy(folder, app.robotFolders.names[i], 100);
        const std::string base = std::string(app.startupDir) + "/" + folder;
        RobotNameReader reader;
        reader.Load((base + "/Script.spt").c_str());
        plat::Utf8CopyTruncated(robotNames[i], sizeof robotNames[i], reader.name);
        LoadPicture(robotFaces[i], (base + "/face2.png").c_str());
    }
    const std::string start = app.startupDir;
    LoadPicture(pictures[0], (start + "/Quillon/netRoom.png").c_str());
    LoadPicture(pictures[3], (start + "/Quillon/dot.png").c_str());
    LoadPicture(pictures[4], (start + "/Quillon/NowBattle.png").c_str());
    inBattleMark = OpaqueBounds((start + "/Quillon/NowBattle.png").c_str());
    LoadPicture(pictures[5], (start + "/Quillon/RoomCursor.png").c_str());
    LoadPicture(pictures[50], (start + "/Quillon/Button_L.png").c_str());
    LoadPicture(pictures[51], (start + "/Quillon/Button_R.png").c_str());
    {
        // The sky's texture is named beside its mesh: load from inside X.
        const std::string current = plat::GetCurrentDirectory();
        plat::SetCurrentDirectory((start + "/X").c_str());
        meshes[0].LoadScrambled("galaxy.x", MeshKey, &GetGraphicsDevice()->textureManager);
        plat::SetCurrentDirectory(current.c_str());
    }
    sky.mesh = &meshes[0];

    CreateRoomButtons(*this);

    SoundManager& sound = GetSoundManager();
    sound.CreateSounds(101);
    sound.SetVolume(kVolumeSlotEffects, i32(app.volume.volumeSe));
    sound.SetVolume(kVolumeSlotVoices, i32(app.volume.volumeVoice));
    sound.SetVolume(kVolumeSlotMusic, i32(app.volume.volumeBgm));
    sound.LoadOggSlot((start + "/Sound/room.ogg").c_str(), 0, kRoomMusicSlot, 0);
    sound.PlaySlot(kRoomMusicSlot, kVolumeSlotMusic, 1);

    app.OpenRoomChat();
    app.lineEditor.Clear();
    static const FontMeasurer measurer(1);
    app.lineEditor.SetMeasureDC(&measurer);
    cursorRow = 0;
    leaveRequest = 0;
    frameCounter = 0;
    if (ChatAllowed()) app.textInputHandler = ChatKeyHook;
    (void)room;
}

void CRoomScene::Release()
{
    CApplication& app = App();
    for (ButtonBase*& b : buttons) {
        delete b;
        b = nullptr;
    }
    if (app.textInputHandler == ChatKeyHook) app.textInputHandler = nullptr;
    GetSoundManager().FreeSounds();
    for (MeshObject& m : meshes) m.Release();
    for (TextureHandle& p : pictures) p.Release();
    for (TextureHandle& p : robotFaces) p.Release();
    pending.clear();
}

u32 CRoomScene::Frame()
{
    CApplication& app = App();
    if (!SceneDeviceReady()) return 0;
    // A scripted game steps a room frame every pass, resting a moment after
    // each: the room mostly waits on the other games.
    if (plat::InputScriptLoaded()) {
        if (Step() != kTaskSceneReplaced) plat::Sleep(1);
        return 0;
    }
    if (plat::TimeGetTime() < nextFrameTime && !app.closeRequest) {
        plat::Sleep(1);
        return 0;
    }
    const u32 start = plat::TimeGetTime();
    if (Step() == kTaskSceneReplaced) return 0;
    const u32 now = plat::TimeGetTime();
    const u32 spent = now - start;
    nextFrameTime = now + (spent >= 16 ? 0 : 16 - spent);
    return 0;
}

i32 CRoomScene::Step()
{
    if (plat::InputScriptLoaded()) {
        i32 members = 0;
        for (i32 i = 0; i < PlayerEntryCount; ++i) members += App().players[i].slotState == 1;
        plat::SetScriptMark("scene", "room");
        plat::SetScriptMark("members", std::to_string(members).c_str());
        // Ready waits for these (the F1 check): a script waits for 0.
        plat::SetScriptMark("fighting", std::to_string(Fighting()).c_str());
        plat::SetScriptMark("ready", std::to_string(Own().readyState).c_str());
        // The room's voice setting, which decides whether peers' voices are taken.
        plat::SetScriptMark("voices", std::to_string(App().gameSettings.voiceMode).c_str());
        // Back in the room, the last battle's running says nothing of the
        // next (its result stays readable after the result screen).
        plat::SetScriptMark("battle", "none");
    }
    if (RunTaskProcs(tasks) == kTaskSceneReplaced) return kTaskSceneReplaced;
    SceneDrawFrame(
        [](void* list) {
            GraphicsDevice* gd = GetGraphicsDevice();
            if (plat::GfxDevice* d = gd->device) {
                d->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterLinear);
                d->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterLinear);
                d->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterLinear);
                plat::MatrixPerspectiveFovLH(&gd->projection, 0.7853982f, 4.0f / 3.0f, 0.1f, 10000.0f);
                d->SetTransform(plat::GfxTransform::Projection, gd->projection);
            }
            SetAlphaBlend();
            RunTaskDraws(*static_cast<CList<TCB>*>(list));
        },
        [](void* list) {
            if (plat::GfxDevice* d = GetGraphicsDevice()->device) {
                d->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterPoint);
                d->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterPoint);
                d->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterNone);
            }
            RunTaskSprites(*static_cast<CList<TCB>*>(list));
        },
        &tasks);
    frameCounter += 1;
    return 0;
}

void CRoomScene::ClickTest()
{
    CApplication& app = App();
    i32 x = 0, y = 0;
    if (!ClientToLayout(app.input.cursor[0], app.input.cursor[1], x, y)) {
        // Nothing to click on while the window has no client area.
        mousePressed = 0;
        return;
    }
    const bool down = (app.input.keyTable[1] & 0x80) != 0 || (app.input.mouseButtons[0] & 2u) != 0;
    if (down && !mousePressed) {
        pressPoint[0] = x;
        pressPoint[1] = y;
        mousePressed = 1;
    } else if (!down && mousePressed) {
        mousePressed = 0;
        // A click is a press and release on the same layout point. The
        // buttons first follow what the server said since the last frame
        // (a host who left hands the host's arrows on at once).
        if (x == pressPoint[0] && y == pressPoint[1]) {
            UpdateLabels();
            for (ButtonBase* b : buttons)
                if (b && b->enabled && b->visible && b->Hit(pressPoint[0], pressPoint[1])) b->OnClick();
        }
    }
    UpdateLabels();
}

void CRoomScene::UpdateLabels()
{
    for (ButtonBase* b : buttons)
        if (b) b->UpdateLabel();
}

void CRoomScene::SayWhomTheStartWaitsFor()
{
    CApplication& app = App();
    static const char* const kWaitsFor[2] = {"等待以下玩家回到房间：", "等待以下玩家准备："};
    std::string names[2];
    for (i32 i = 0; i < app.players.GetCount(); ++i) {
        const PlayerEntry& e = app.players[i];
        if (i == OwnIndex() || e.slotState != 1) continue;
        const i32 k = e.joined && e.inBattle ? 0 : (e.readyState != 1 ? 1 : -1);
        if (k < 0) continue;
        if (!names[k].empty()) names[k] += "、";
        names[k].append(e.name, strnlen(e.name, sizeof e.name));
    }
    for (i32 k = 0; k < 2; ++k) {
        const std::string line = names[k].empty() ? std::string() : FitToWidth(kWaitsFor[k] + names[k], kChatWidth);
        if (line == waitSaid[k]) continue;
        waitSaid[k] = line;
        if (!line.empty()) app.AddChatLine(line.c_str(), 0xFFFFFF00u);
    }
}

void CRoomScene::SendOneQueued()
{
    if (pending.empty()) return;
    auto send = std::move(pending.front());
    pending.pop_front();
    send();
}

void CRoomScene::QueueEntryUploads()
{
    PilotSlot* slot = OwnPilot();
    const std::string folder = OwnPilotFolder();
    if (!slot || folder.empty()) return;
    const std::string face = slot->pictureSource == 2 ? slot->pictureNames[0] : std::string("face.png");
    if (!face.empty()) QueueFile(*this, 100, folder + "/" + face, kCapFace);
    for (u16 k = 0; k < 10; ++k) {
        const std::string path = folder + "/" + std::to_string(k) + ".txt";
        QueueSend([k, path] {
            const std::vector<u8> bytes = ReadWhole(path);
            if (bytes.empty()) return;
            char line[100] = {};
            size_t n = 0;
            while (n < bytes.size() && n < 98 && bytes[n] != '\r' && bytes[n] != '\n') ++n;
            std::string text(reinterpret_cast<const char*>(bytes.data()), n);
            plat::Utf8CopyTruncated(line, 99, text.c_str());
            SendFileChunk(u16(200 + k), sizeof line, line, kCapTextLine, &Pair().game, nullptr, 0);
        });
    }
}

void QueueReadyUpload(CRoomScene& scene)
{
    PilotSlot* slot = OwnPilot();
    const std::string folder = OwnPilotFolder();
    QueueMark(scene, 0);
    if (slot && !folder.empty()) {
        if (slot->pictureSource != 2) {
            for (i32 k = 0; k < 10; ++k) QueueFile(scene, u16(k), folder + "/" + std::to_string(k) + ".ogg", kCapVoice);
            static const char* const kinds[7] = {"atk", "s_atk", "dmg", "die", "destroy", "rebirth", "wake"};
            for (i32 v = 1; v <= 5; ++v)
                for (i32 k = 0; k < 7; ++k)
                    QueueFile(scene, u16(10 + 5 * k + v - 1), folder + "/" + kinds[k] + std::to_string(v) + ".ogg",
                              kCapVoice);
            QueueFile(scene, 100, folder + "/face.png", kCapFace);
        } else {
            for (i32 k = 0; k < PilotSoundCount; ++k)
                if (!slot->voiceNames[k].empty()) QueueFile(scene, u16(k), folder + "/" + slot->voiceNames[k], kCapVoice);
            for (i32 k = 0; k < PilotAnimationCount; ++k) {
                if (slot->animations[k].empty()) continue;
                std::vector<u8> words;
                for (const AnimationFrame& f : slot->animations[k]) {
                    const u32 w = u32(f.duration) | u32(f.picture) << 16 | u32(f.voice) << 24;
                    for (int b = 0; b < 4; ++b) words.push_back(u8(w >> (8 * b)));
                }
                scene.QueueSend([k, words] {
                    SendFileChunk(u16(300 + k), u32(words.size()), words.data(), kCapAnimation, &Pair().game, nullptr, 0);
                });
            }
            if (slot->scriptPictureBytes <= 204800) {
                for (i32 k = 0; k < PilotPictureCount; ++k)
                    if (!slot->pictureNames[k].empty())
                        QueueFile(scene, u16(100 + k), folder + "/" + slot->pictureNames[k], kCapScriptPicture);
            } else {
                // Said once in the room's chat log rather than a box that stops the room.
                App().AddChatLine("头像发送错误  头像文件大小不能超过200KB", 0xFFFF0000u);
            }
        }
    }
    QueueMark(scene, 1);
}

// ---- tasks --------------------------------------------------------------------------

RMTCB_Proc_SystemKey* RMTCB_Proc_SystemKey::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<RMTCB_Proc_SystemKey>(list, priority);
}

i32 RMTCB_Proc_SystemKey::Proc()
{
    CApplication& app = App();
    CRoomScene& scene = Scene();
    if (app.closeRequest) {
        Pair().DisconnectBoth();
        app.quit = 1;
        return kTaskSceneReplaced;
    }
    for (i32 i = 0; i < 10; ++i) {
        PlayerEntry& e = app.players[i];
        if (e.ReturnedToRoom()) {
            e.inBattle = 0;
            e.returnMarker = -100;
        }
    }
    if (Own().readyState == 1 || scene.startAsked) {
        scene.SayWhomTheStartWaitsFor();
    } else {
        // The next ready hears the names again.
        scene.waitSaid[0].clear();
        scene.waitSaid[1].clear();
    }
    // A departure the server reported while this client still counted as
    // fighting waits for no battle once it is back: the row goes. (Before a
    // game starts it stays, so the battle sets the robot up like the others.)
    if (Own().inBattle == 0)
        for (i32 i = 0; i < app.players.GetCount(); ++i) ClearDepartedRow(app.players[i]);
    const u32 c = scene.frameCounter;
    if (c % 180 == 90) {
        SendPing(&Pair().data);
        GetRoomState().pingSendTime = plat::TimeGetTime();
    } else if (c % 180 == 0) {
        SendPingReport(0, u16(Own().ping), &Pair().data);
    }
    // Queued uploads leave one per frame.
    scene.SendOneQueued();
    return kTaskKeep;
}

RMTCB_Proc_Normal* RMTCB_Proc_Normal::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<RMTCB_Proc_Normal>(list, priority);
}

i32 RMTCB_Proc_Normal::Proc()
{
    CApplication& app = App();
    CRoomScene& scene = Scene();
    if (!Pair().BothConnected()) {
        RMTCB_Proc_Disconnect::Create(owner, "断开与服务器的连接...   ");
        return kTaskRemove;
    }
    scene.ClickTest();
    if (LeaveIfAsked(scene)) return kTaskSceneReplaced;
    // An F1 that met a battle still running is kept: it is taken once
    // nobody is in the battle or on its results any more, whether they came
    // back or left. A second F1 meanwhile takes it back.
    const bool kept = scene.startAsked && Fighting() == 0;
    if (!kept && (!KeyOnce(plat::vk::F1) || counter < 121)) {
        ++counter;
        return kTaskKeep;
    }
    if (Fighting() > 0) {
        // The room says whom it waits for.
        scene.startAsked = !scene.startAsked;
        return kTaskKeep;
    }
    PlayerEntry& own = Own();
    if (own.robot < 0) {
        scene.startAsked = 0;
        app.AddChatLine("请选择机体", 0xFFFF0000u);
        return kTaskKeep;
    }
    Ready();
    return kTaskRemove;
}

void RMTCB_Proc_Normal::Ready()
{
    CApplication& app = App();
    CRoomScene& scene = Scene();
    NetClientPair& pair = Pair();
    PlayerEntry& own = Own();
    const i32 ownIndex = OwnIndex();
    own.readyState = 2;
    scene.startAsked = 0;
    if (own.team != 100) QueueReadyUpload(scene);
    cMTRand& random = GetBattleRandom();
    if (own.robot >= 1000) {
        random.Init(plat::TimeGetTime(), cMTRand::kDefaultSize);
        // A usable record, stepping n times from before the first.
        const PartInventory& inv = app.partInventory;
        i32 at = -1, usable = 0;
        for (const RobotRecord& r : inv.robots) usable += r.available == 1;
        if (usable > 0) {
            const u32 n = random.GetRand() % 100 + 1;
            for (u32 s = 0; s < n; ++s) {
                do at = (at + 1) % i32(RobotRecordCount);
                while (inv.robots[at].available != 1);
            }
        }
        if (at >= 0) {
            own.robot = 1000 + at;
            const i32 robot = own.robot, team = own.team, state = own.slotState;
            char name[24];
            std::memcpy(name, own.name, sizeof name);
            scene.QueueSend([=] {
                SendPlayerSlot(u16(ownIndex), name, u32(robot), u32(team), u32(state), App().Profile().rankLevel,
                               &Pair().game);
            });
        }
    }
    if (ownIndex == CRoomScene::HostIndex()) {
        const u32 types = app.robotFolders.count > 0 ? app.robotFolders.count : 1;
        for (i32 i = 0; i < PlayerEntryCount; ++i) {
            PlayerEntry& e = app.players[i];
            if (e.slotState != 2 || e.robot < 1000) continue;
            e.robot = 1000 + i32(random.GetRand() % types);
            const i32 robot = e.robot, team = e.team;
            char name[24];
            std::memcpy(name, e.name, sizeof name);
            scene.QueueSend([=] {
                SendPlayerSlot(u16(i), name, u32(robot), u32(team), 2, App().Profile().rankLevel, &Pair().game);
            });
        }
    }
    const i32 r = own.robot >= 1000 ? own.robot % 1000 : own.robot;
    if (r >= 0 && r < i32(RobotRecordCount)) {
        const RobotRecord& record = app.partInventory.robots[r];
        i32 sent = 0;
        for (i32 k = 0; k < 10 && sent < 4; ++k) {
            CGameItem_PowerUp* part = app.partInventory.FindPart(record.partIds[k]);
            if (!part || part->partId == 0) continue;
            u8 wire[PartWireRecordSize];
            part->WriteWireRecord(wire);
            std::vector<u8> bytes(wire, wire + sizeof wire);
            const u16 position = u16(sent++);
            scene.QueueSend([position, bytes] { SendEquippedPart(position, 1, PartWireRecordSize, bytes.data(), &Pair().game); });
        }
        const u8 colour = u8(record.chosenColour);
        scene.QueueSend([ownIndex, colour] { SendColorSet(u16(ownIndex), colour, &Pair().game); });
    }
    RMTCB_Proc_GoGame::Create(owner, 1);
    scene.QueueSend([] { SendReady(1, &Pair().game); });
    (void)pair;
}

RMTCB_Proc_GoGame* RMTCB_Proc_GoGame::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<RMTCB_Proc_GoGame>(list, priority);
}

i32 RMTCB_Proc_GoGame::Proc()
{
    CApplication& app = App();
    CRoomScene& scene = Scene();
    NetClientPair& pair = Pair();
    if (!pair.BothConnected()) {
        RMTCB_Proc_Disconnect::Create(owner, "断开与服务器的连接...   ");
        return kTaskRemove;
    }
    scene.UpdateLabels();
    if (phase == 0) {
        if (LeaveIfAsked(scene)) return kTaskSceneReplaced;
        if (Own().readyState == 1 && KeyOnce(plat::vk::F1)) {
            SendReady(0, &pair.game);
            RMTCB_Proc_Normal::Create(owner, 1);
            return kTaskRemove;
        }
        if (pair.game.gameStartFlag == 1) {
            RMTCB_DrawSP_DispPicture::Create(owner, (std::string(app.startupDir) + "/Quillon/netRoomStart.png").c_str());
            pair.game.gameStartFlag = 0;
            counter = 0;
            phase = 1;
        }
    } else if (++counter >= 60) {
        RMTCB_Proc_GameStart::Create(owner, 1);
        return kTaskRemove;
    }
    return kTaskKeep;
}

RMTCB_Proc_GameStart* RMTCB_Proc_GameStart::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<RMTCB_Proc_GameStart>(list, priority);
}

i32 RMTCB_Proc_GameStart::Proc()
{
    CApplication& app = App();
    GetRoomState().inputDelay = app.gameSettings.netDelay;
    app.gameSettings.modeOption = 0;
    app.gameSettings.gameMode = GameMode::Online;
    app.textInputHandler = nullptr;
    app.lineEditor.Clear();
    app.lineEditor.SetOpenStatus(false);
    for (i32 i = 0; i < app.players.GetCount(); ++i)
        if (app.players[i].slotState == 1) app.players[i].readyState = 0;
    SwitchScene(app, BattleScene);
    return kTaskSceneReplaced;
}

RMTCB_Proc_Disconnect* RMTCB_Proc_Disconnect::Create(CList<TCB>* list, const char* text)
{
    auto* t = CreateInList<RMTCB_Proc_Disconnect>(list, 1);
    if (t) t->message = RMTCB_DrawSP_DispString::Create(list, text);
    return t;
}

i32 RMTCB_Proc_Disconnect::Proc()
{
    if (!KeyOnce(plat::vk::Return)) return kTaskKeep;
    Pair().DisconnectBoth();
    if (message) message->end = 1;
    SwitchScene(App(), GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}

RMTCB_Camera* RMTCB_Camera::Create(CList<TCB>* list, u32 priority) { return CreateInList<RMTCB_Camera>(list, priority); }

i32 RMTCB_Camera::Proc()
{
    Scene().camera.Apply();
    return kTaskKeep;
}

RMTCB_Draw_SkyDome* RMTCB_Draw_SkyDome::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<RMTCB_Draw_SkyDome>(list, priority);
}

i32 RMTCB_Draw_SkyDome::Proc()
{
    plat::MatrixScaling(&Scene().sky.world, 350.0f, 350.0f, 350.0f);
    return kTaskKeep;
}

void RMTCB_Draw_SkyDome::Draw()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d) return;
    d->SetRenderState(plat::GfxRenderState::FogEnable, 0);
    d->SetRenderState(plat::GfxRenderState::Lighting, 0);
    Scene().sky.SetWorld();
    Scene().sky.Draw();
    d->SetRenderState(plat::GfxRenderState::FogEnable, 1);
    d->SetRenderState(plat::GfxRenderState::Lighting, 1);
}

RMTCB_DrawSP_Basic* RMTCB_DrawSP_Basic::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<RMTCB_DrawSP_Basic>(list, priority);
}

i32 RMTCB_DrawSP_Basic::Proc()
{
    CApplication& app = App();
    CRoomScene& scene = Scene();
    const i32 stage = i32(app.gameSettings.stage);
    if (scene.shownStage != stage) {
        scene.pictures[99].Release();
        // Only a stage this client has; the server's number may be any.
        if (stage >= 0 && u32(stage) < app.stageFolders.count && stage < 50) {
            char folder[101] = {};
            std::memcpy(folder, app.stageFolders.names[stage], 100);
            LoadPicture(scene.pictures[99],
                        (std::string(app.startupDir) + "/" + folder + "/SelectImage.png").c_str());
        }
        scene.shownStage = stage;
    }
    return kTaskKeep;
}

namespace {

// The in-battle mark (its opaque part) in the row's state column on the
// first line, shrunk, never grown, to fit there.
void DrawInBattleMark(CRoomScene& scene, const plat::GfxRect& R)
{
    TextureHandle& mark = scene.pictures[4];
    const plat::GfxRect part = scene.inBattleMark.Width() > 0 ? scene.inBattleMark : mark.sourceRect;
    if (part.Width() <= 0 || part.Height() <= 0) return;
    const f32 scale = std::min({1.0f, f32(kState.Width()) / f32(part.Width()), f32(kRowLine) / f32(part.Height())});
    const f32 y = f32(R.top) + (f32(kRowLine) - scale * f32(part.Height())) / 2.0f;
    DrawPictureAt(mark, f32(R.left + kState.left), y, 0xFFFFFFFFu, scale, &part);
}

}  // namespace

void RMTCB_DrawSP_Basic::DrawSP()
{
    CApplication& app = App();
    CRoomScene& scene = Scene();
    DrawPictureAt(scene.pictures[99], 192, 0, 0x80FFFFFFu);
    DrawPictureAt(scene.pictures[0], 0, 0);

    // Chat: the newest of at most ten lines lowest.
    const i32 n = i32(std::min<u32>(app.chatLog.GetCount(), 10));
    for (i32 j = 0; j < n; ++j) {
        const ChatNode* c = app.chatLog.GetAt(u32(j));
        if (!c) break;
        const i32 k = n - 1 - j;
        DrawLayoutText(c->text.c_str(), 23, 481 + 24 * k, 730, 725, 0xFF000000u);
        DrawLayoutText(c->text.c_str(), 22, 480 + 24 * k, 729, 724, c->colour);
    }
    const ImeLineEditor& editor = app.lineEditor;
    DrawLayoutText(editor.GetText().c_str(), 22, 728, 729, 755, 0xFFFFFFFFu);
    const i32 caret = editor.GetCaretExtent().cx;
    if (!editor.IsComposing()) {
        DrawLayoutText("|", 19 + caret, 728, 729, 755, 0xFFFFFFFFu);
    } else {
        DrawLayoutText(editor.GetComposition().c_str(), 22 + caret, 728, 729, 755, 0xFFFF0000u);
        DrawLayoutText("|", 19 + caret + editor.GetCompositionExtent().cx, 728, 729, 755, 0xFFFF0000u);
    }

    const u32 capacity = scene.Capacity();
    const i32 own = OwnIndex();
    PilotRegistry* pilots = GetPilotRegistry();
    for (u32 i = 0; i < capacity && i < 20; ++i) {
        const plat::GfxRect& R = scene.rowRects[i];
        const PlayerEntry& e = app.players[i32(i)];
        if (e.slotState == 0) {
            DrawLayoutText("无效", R.left + 897, R.top + 22, R.right, R.bottom, 0xFFFFFFFFu, 2, kSmallFont);
            continue;
        }
        const bool mine = i32(i) == own;
        const u32 nameColour = mine ? 0xFF00FF00u : 0xFFFFFFFFu;
        if (e.robot >= 0 && e.robot < 1000 && e.robot < 100) DrawPictureAt(scene.robotFaces[e.robot], f32(R.left), f32(R.top));
        if (e.slotState == 1 && pilots) {
            const plat::GfxRect source{0, 0, 200, 150};
            DrawPictureAt(pilots->slots[i].pictures[0], f32(R.left), f32(R.top), 0xFFFFFFFFu, 0.28f, &source);
        }
        char text[160];
        if (mine) {
            std::snprintf(text, sizeof text, "EXP:%u", app.Profile().exp);
            DrawScaledText(FitToWidth(text, kExp.Width(), kFinePrintFont).c_str(), f32(R.left + kExp.left),
                           f32(R.top), 1.0f, kExp.Width(), 30, 0xFFFFFFFFu, kFinePrintFont);
        }
        if (e.slotState == 1) {
            char code[7];
            PlayerIdCode(code, e.idNumber);
            std::snprintf(text, sizeof text, "ID:%s", code);
            DrawScaledText(FitToWidth(text, kId.Width(), kFinePrintFont).c_str(), f32(R.left + kId.left), f32(R.top),
                           1.0f, kId.Width(), 30, 0xFFFFFFFFu, kFinePrintFont);
        }
        char rank[RankTitleBufferSize];
        GetRankTitle(e.rankLevel, rank, sizeof rank);
        std::snprintf(text, sizeof text, "%u:[%s]%.*s", i, rank, i32(sizeof e.name), e.name);
        DrawRowText(text, R, kPilot, 19, nameColour);
        if (e.robot >= 0 && e.robot < 50) DrawRowText(scene.robotNames[e.robot], R, kRobot, 19, nameColour);
        else DrawRowText("Random", R, kRobot, 18, nameColour);
        if (e.slotState == 1) {
            std::snprintf(text, sizeof text, "Ping:%u", e.peerPing);
            DrawRowText(text, R, kPing, 19, 0xFFFFFF00u);
        }
        u32 teamColour = 0xFFFF0000u;
        if (e.team == 100) {
            DrawLayoutText("观战", R.left + 897, R.top, R.right, R.bottom, teamColour, 0, kSmallFont);
        } else {
            teamColour = ReadableOnDark(CApplication::GetColor(e.team));
            if (e.team == 50) std::snprintf(text, sizeof text, "随机    ");
            else std::snprintf(text, sizeof text, "小队 %d ", e.team);
            DrawLayoutText(text, R.left + 897, R.top, R.right, R.bottom, teamColour, 0, kSmallFont);
        }
        // Flush right like "AI": trailing blanks would slide it under the
        // team's name on the line above.
        DrawLayoutText(e.slotState == 2 ? "AI" : "玩家", R.left + 897, R.top + 22, R.right, R.bottom, teamColour, 2,
                       kSmallFont);
        if (e.inBattle != 0 && e.slotState == 1) DrawInBattleMark(scene, R);
        // An F1 kept until the battle is over shows as ready already.
        else if (e.readyState == 1 || (mine && scene.startAsked && e.readyState == 0))
            DrawRowText("准备完毕", R, kState, 0, 0xFFFF0000u, false);
        else if (e.readyState == 2) DrawRowText("正在传输数据", R, kState, 0, 0xFF00FF00u, false);
    }

    // The cursor frames the own row, pulsing red.
    const plat::GfxRect K = own >= 0 && own < 20 ? scene.rowRects[own] : scene.rowRects[0];
    scene.cursorRects[0] = K;
    const u32 f = scene.frameCounter;
    const u32 red = u32(((std::sin(f32(f % 255) * 10.0f * 0.017453f) + 1.0f) / 2.0f) * 255.0f) & 0xFF;
    const u32 colour = 0xFF000000u | red << 16;
    TextureHandle& dot = scene.pictures[3];
    DrawStretched(dot, f32(K.left), f32(K.top), f32(K.right - K.left + 2), 2, colour);
    DrawStretched(dot, f32(K.left), f32(K.bottom - 2), f32(K.right - K.left + 2), 2, colour);
    DrawStretched(dot, f32(K.left), f32(K.top), 2, f32(K.bottom - K.top), colour);
    DrawStretched(dot, f32(K.right), f32(K.top), 2, f32(K.bottom - K.top), colour);

    const u8 rule = GetRoomState().rule;
    char title[64];
    std::snprintf(title, sizeof title, "%s Mode", kRuleTitles[rule < 5 ? rule : 0]);
    DrawLayoutText(title, 430, 10, 1013, 50, 0xFFFFFFFFu);
    const MyBgmList& music = app.gameSettings.bgmList;
    if (music.entries.empty()) {
        DrawLayoutText("默认BGM      ", 680, 30, 1024, 768, 0xFFFFFFFFu, 0, kSmallFont);
    } else {
        DrawLayoutText("[BGM选择]", 680, 10, 1024, 768, 0xFFFFFFFFu, 0, kSmallFont);
        const i32 s = music.selectedBgm;
        const char* shown = s == -2 ? "随机BGM   "
                            : s == -1 || s >= i32(music.entries.size()) ? "默认BGM      "
                                                                        : music.entries[size_t(s)]->fileName.c_str();
        DrawLayoutText(shown, 680, 30, 1024, 768, 0xFFFFFFFFu, 0, kSmallFont);
    }
    if (!scene.ChatAllowed()) DrawLayoutText("※チャット禁止", 22, 728, 729, 755, 0xFFFFFFFFu);
    for (ButtonBase* b : scene.buttons)
        if (b) b->Draw();
}

RMTCB_DrawSP_DispString* RMTCB_DrawSP_DispString::Create(CList<TCB>* list, const char* text)
{
    auto* t = CreateInList<RMTCB_DrawSP_DispString>(list, 10000);
    if (t) plat::Utf8CopyTruncated(t->text, sizeof t->text, text);
    return t;
}

void RMTCB_DrawSP_DispString::DrawSP()
{
    if (!visible) return;
    DrawFullScreenPicture(SharedPicture::Dot, 0xC8000000u);
    DrawLayoutText(text, 0, 0, 1024, 768, 0xFFFFFFFFu, 5);
}

RMTCB_DrawSP_DispPicture* RMTCB_DrawSP_DispPicture::Create(CList<TCB>* list, const char* file)
{
    auto* t = CreateInList<RMTCB_DrawSP_DispPicture>(list, 10000);
    if (t) LoadPicture(t->picture, file);
    return t;
}

void RMTCB_DrawSP_DispPicture::DrawSP()
{
    if (visible) DrawPictureAt(picture, 0, 0);
}
