#include "online/login/LoginScene.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "app/player/PilotRegistry.h"
#include "app/player/PlayerProfile.h"
#include "app/scene/SharedPictures.h"
#include "app/scene/TitleScene.h"
#include "engine/graphics/FontMeasurer.h"
#include "engine/graphics/GraphicsDevice.h"
#include "online/OnlineDraw.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "online/room/RoomScene.h"
#include "platform/core/Ini.h"
#include "platform/core/MessageBox.h"
#include "platform/core/TextCodec.h"
#include "platform/core/Time.h"
#include "platform/gfx/Font.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"
#include "platform/net/Socket.h"

namespace {

constexpr u32 OncePerPress = 10000;
constexpr u32 RepeatMs = 1000;
constexpr u32 kScanConnectMs = 500;
constexpr u32 kScanAnswerMs = 1800;  // 180 passes of 10 ms
constexpr u32 kRoomConnectMs = 2000;
// The server has this long to answer a login; then the player may go back.
constexpr u32 kLoginAnswerMs = 10000;

const plat::GfxRect kRegions[15] = {
    {258, 127, 967, 157}, {259, 179, 968, 209}, {73, 240, 584, 394},  {73, 224, 585, 240},  {73, 394, 585, 410},
    {650, 240, 970, 394}, {650, 224, 970, 240}, {650, 394, 970, 410}, {260, 441, 580, 681}, {260, 425, 580, 441},
    {260, 682, 580, 698}, {761, 441, 961, 591}, {761, 425, 961, 441}, {761, 591, 961, 607}, {778, 659, 967, 734},
};

const char* const kRuleNames[5] = {"生存战", "时间战", "破袭战", "常规战", "团队战"};

CApplication& App() { return *GetApplication(); }
NetClientPair& Pair() { return *GetOnlineClients(); }
CLoginScene& Scene() { return *SceneInstance<CLoginScene>(); }

bool KeyOnce(u32 key, u32 interval = OncePerPress) { return App().IsKeyRepeat(key, interval) != 0; }
bool Clicked(i32 button = 0) { return (App().input.mouseButtons[button] & 1u) != 0; }

bool Contains(const plat::GfxRect& r, i32 x, i32 y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

std::string ConfigPath() { return std::string(App().startupDir) + "/Config.ini"; }

// Leading and trailing blanks, ASCII and full-width, go.
std::string TrimBlanks(std::string s)
{
    for (;;) {
        if (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(0, 1);
        else if (s.compare(0, 3, "\xE3\x80\x80") == 0) s.erase(0, 3);
        else break;
    }
    for (;;) {
        if (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
        else if (s.size() >= 3 && s.compare(s.size() - 3, 3, "\xE3\x80\x80") == 0) s.resize(s.size() - 3);
        else break;
    }
    return s;
}


void CopyCut(char* dst, size_t size, const std::string& src) { plat::Utf8CopyTruncated(dst, size, src.c_str()); }

const char* PilotName(i32 index)
{
    PilotRegistry* pilots = GetPilotRegistry();
    if (!pilots || index < 0 || index >= pilots->count) return "";
    return pilots->slots[index].name;
}

i32 RecordsInUse(i32 from, i32 step)
{
    const PartInventory& inv = App().partInventory;
    for (i32 r = from; r >= 0 && r < i32(RobotRecordCount); r += step)
        if (inv.robots[r].available == 1) return r;
    return -1;
}

void CutLineFromEnd(ImeLineEditor& editor, i32 maxBytes)
{
    const std::string& text = editor.GetText();
    if (i32(text.size()) <= maxBytes) return;
    i32 end = maxBytes;
    while (end > 0 && (u8(text[size_t(end)]) & 0xC0) == 0x80) --end;
    const i32 caret = editor.GetCaret();
    editor.SetText(text.substr(0, size_t(end)));
    editor.SetCaret(std::min(caret, end));
}

}  // namespace

// Editing the address or ID field, as the window hands keys to the scene.
void LoginTextEntryHook(u32 message, u64 key, i64)
{
    CApplication& app = App();
    CLoginScene* scene = SceneInstance<CLoginScene>();
    if (!scene) return;
    if (message == MessageKeyDown && (key == plat::vk::Up || key == plat::vk::Down || key == plat::vk::Return ||
                                      key == plat::vk::Shift))
        return;
    const i32 field = scene->focusField;
    if (field < 0 || field > 14 || !scene->editable[field]) return;
    if (message == MessageChar) app.lineEditor.OnChar(i32(key));
    else if (message == MessageKeyDown) app.lineEditor.OnKeyDown(i32(key));
    NetClientPair& pair = Pair();
    char* target = field == 0 ? pair.serverAddress : pair.playerName;
    const size_t limit = field == 0 ? sizeof pair.serverAddress : sizeof pair.playerName;
    // The address keeps at most 254 bytes, the ID 23 (a profile name field
    // of 24); what is cut goes from the end, a whole character at a time.
    CutLineFromEnd(app.lineEditor, i32(field == 0 ? limit - 2 : limit - 1));
    CopyCut(target, limit, app.lineEditor.GetText());
}

// An ID names a profile file: no character a file name cannot hold, no
// control byte, and never "." or "..".
bool IsUsablePlayerId(const std::string& id)
{
    if (id.empty() || id == "." || id == "..") return false;
    for (unsigned char c : id)
        if (c < 0x20 || c == 0x7F || std::strchr("/\\<>*?\"|:;", c)) return false;
    return true;
}

// A Japanese system hides the rooms marked 1, any other the rooms marked 0;
// every other mark is offered to all.
bool RoomFitsLocale(u8 languageFlag, bool japaneseLocale) { return languageFlag != (japaneseLocale ? 1 : 0); }

// ---- the ID code ---------------------------------------------------------------

void PlayerIdCode(char out[7], u32 number)
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    char digits[16];
    // Eight digits; a larger number keeps its last eight.
    std::snprintf(digits, sizeof digits, "%08u", number % 100000000u);
    auto d = [&](int i) { return digits[i] - '0'; };
    const int pairs[6][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 7}, {1, 6}};
    for (int i = 0; i < 6; ++i) out[i] = kAlphabet[(10 * d(pairs[i][0]) + d(pairs[i][1])) % 62];
    out[6] = 0;
}

// ---- the lists -------------------------------------------------------------------

void LGTCB_List::Next()
{
    if (Count() == 0) return;
    if (++selected >= Count()) {
        selected = 0;
        firstVisible = 0;
    } else if (selected - firstVisible >= 6) {
        ++firstVisible;
    }
    Apply();
}

void LGTCB_List::Previous()
{
    if (Count() == 0) return;
    if (--selected < 0) {
        selected = Count() - 1;
        firstVisible = std::max(0, Count() - 6);
    } else if (selected < firstVisible) {
        --firstVisible;
    }
    Apply();
}

void LGTCB_List::Proc()
{
    if (!active || Count() == 0) return;
    const i32 mx = App().input.mousePos[0], my = App().input.mousePos[1];
    hovered = -1;
    for (i32 i = 0; i < 6; ++i) {
        const f32 top = y + f32(i * rowHeight);
        if (mx >= x && mx < x + width && my >= top && my < top + f32(rowHeight)) hovered = firstVisible + i;
    }
    if (Clicked() && hovered >= 0 && hovered < Count()) {
        selected = hovered;
        Apply();
    }
}

void LGTCB_List::Draw()
{
    CLoginScene& scene = Scene();
    DrawStretched(scene.pictures[1], x, y, width, height, 0x80323296u);
    for (i32 i = 0; i < 6 && firstVisible + i < Count(); ++i) {
        const i32 index = firstVisible + i;
        if (index == selected) DrawStretched(scene.pictures[1], x, y + f32(i * rowHeight), width, f32(rowHeight), 0x806464C8u);
        DrawRow(index, i32(x) + 4, i32(y) + i * rowHeight + 3);
    }
}

i32 LGTCB_ServerList::Count() const { return i32(Scene().serverEntries.size()); }
void LGTCB_ServerList::Apply() { CopyCut(Pair().serverAddress, sizeof Pair().serverAddress, Scene().serverEntries[size_t(selected)].address); }
void LGTCB_ServerList::DrawRow(i32 index, i32 left, i32 top)
{
    const ServerEntry& e = Scene().serverEntries[size_t(index)];
    // A name too long for its column ends in dots, clear of the address.
    DrawShadowedText(FitToWidth(e.name, 184).c_str(), left, top, left + 196, top + 24, 0xFFFFFFFFu, 0, 2);
    DrawShadowedText(e.address.c_str(), left + 200, top, i32(x + width), top + 24, 0xFFFFFFFFu, 0, 2);
}

i32 LGTCB_PlayerList::Count() const { return i32(Scene().profileNames.size()); }
void LGTCB_PlayerList::Apply() { CopyCut(Pair().playerName, sizeof Pair().playerName, Scene().profileNames[size_t(selected)]); }
void LGTCB_PlayerList::DrawRow(i32 index, i32 left, i32 top)
{
    DrawShadowedText(Scene().profileNames[size_t(index)].c_str(), left, top, i32(x + width), top + 24, 0xFFFFFFFFu, 0, 2);
}

// ---- the scene ---------------------------------------------------------------------

CLoginScene::CLoginScene()
{
    for (i32 i = 0; i < 15; ++i) regions[i] = kRegions[i];
    for (i32 r = 0; r < 5; ++r) regions[15 + r] = {0, 100 + 72 * r, 1024, 172 + 72 * r};
    editable[0] = editable[1] = 1;
}

CLoginScene::~CLoginScene()
{
    SceneInstance<CLoginScene>() = nullptr;
    tasks.DeleteAll();
    Release();
}

CLoginScene* GetLoginScene() { return GetSceneInstance<CLoginScene>(); }
BaseScene* GetLoginSceneAsBase() { return GetLoginScene(); }

void CLoginScene::Init()
{
    CApplication& app = App();
    NetClientPair& pair = Pair();
    LGTCB_Proc_SystemKey::Create(&tasks, 10);
    LGTCB_Proc_Normal::Create(&tasks, 10);
    serverList = new LGTCB_ServerList();
    playerList = new LGTCB_PlayerList();
    LGTCB_DrawSP_Basic::Create(&tasks, 10);

    LoadPicture(pictures[0], "Quillon/netLogin.png");
    LoadPicture(pictures[1], "Quillon/dot.png");
    for (u32 i = 0; i < app.robotFolders.count && i < 50; ++i) {
        char folder[101] = {};
        std::memcpy(folder, app.robotFolders.names[i], 100);
        LoadPicture(robotPictures[i], (std::string(app.startupDir) + "/" + folder + "/Select.png").c_str());
    }
    if (PilotRegistry* pilots = GetPilotRegistry()) pilots->LoadPilotHeaders();
    for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].Reset();
    pair.robotChoice = RecordsInUse(0, 1);
    pair.game.loginResult = kLoginWaiting;
    focusField = 0;

    const std::string config = ConfigPath();
    plat::GetProfileString("GameSetting", "DefaultIP", "", pair.serverAddress, sizeof pair.serverAddress,
                           config.c_str());
    plat::GetProfileString("GameSetting", "DefaultName", "", pair.playerName, sizeof pair.playerName, config.c_str());
    ReadServerList();
    // No address of its own yet: the first server of the list.
    if (!pair.serverAddress[0] && !serverEntries.empty()) serverList->Apply();
    ListProfiles();
    static const FontMeasurer measurer(1);
    app.lineEditor.SetMeasureDC(&measurer);
    app.lineEditor.SetText(pair.serverAddress);
    app.textInputHandler = LoginTextEntryHook;
}

void CLoginScene::Release()
{
    CApplication& app = App();
    delete serverList;
    delete playerList;
    serverList = nullptr;
    playerList = nullptr;
    if (app.textInputHandler == LoginTextEntryHook) app.textInputHandler = nullptr;
    // The settings file of the start-up folder, whatever folder is current.
    // Both in one replacement of the file.
    const std::string config = ConfigPath();
    plat::WriteProfileStrings({{"GameSetting", "DefaultIP", Pair().serverAddress},
                               {"GameSetting", "DefaultName", Pair().playerName}},
                              config.c_str());
    for (TextureHandle& p : pictures) p.Release();
    for (TextureHandle& p : robotPictures) p.Release();
}

void CLoginScene::OnCloseRequest() { Pair().DisconnectBoth(); }

void CLoginScene::ReadServerList()
{
    serverEntries.clear();
    const std::string file = std::string(App().startupDir) + "/server.ini";
    // Read once: up to 2,001 keys are looked up in it.
    const plat::ParsedIni servers(file.c_str());
    // No file is no list, as on a first start; a damaged one is named with
    // its fault, in a notice that does not stop the scene.
    const std::string fault = servers.Fault();
    if (!fault.empty()) {
        const std::string text = "The server list " + file + " cannot be used: " + fault + ".";
        plat::ShowMessageBox(App().mainWindow, text.c_str(), "");
    }
    const i32 count = std::clamp(servers.GetInt("ServerList", "Cnt", 0), 0, 1000);
    for (i32 i = 0; i < count; ++i) {
        char key[32], ip[256], name[256];
        std::snprintf(key, sizeof key, "S%d_IP", i);
        servers.GetString("ServerList", key, "", ip, sizeof ip);
        std::snprintf(key, sizeof key, "S%d_Name", i);
        servers.GetString("ServerList", key, "", name, sizeof name);
        serverEntries.push_back({name, ip});
    }
}

void CLoginScene::ListProfiles()
{
    profileNames.clear();
    ListPlayerProfiles(profileNames);
    if (playerList && playerList->selected >= i32(profileNames.size())) playerList->selected = playerList->firstVisible = 0;
}

void CLoginScene::RobotNext()
{
    i32& r = Pair().robotChoice;
    if (r >= 0 && r < 1000) {
        const i32 next = RecordsInUse(r + 1, 1);
        r = next >= 0 ? next : 1000;
    } else {
        r = RecordsInUse(0, 1);
    }
}

void CLoginScene::RobotPrevious()
{
    i32& r = Pair().robotChoice;
    if (r >= 0 && r < 1000) {
        const i32 previous = RecordsInUse(r - 1, -1);
        r = previous >= 0 ? previous : 1000;
    } else {
        r = RecordsInUse(i32(RobotRecordCount) - 1, -1);
    }
}

void CLoginScene::PilotNext()
{
    const i32 count = GetPilotRegistry() ? GetPilotRegistry()->count : 0;
    i32& p = Pair().pilotChoice;
    if (count <= 0) return;
    if (App().input.padState[0][5]) {
        p += 10;
        while (p >= count) p -= count;
    } else if (++p >= count) {
        p = 0;
    }
}

void CLoginScene::PilotPrevious()
{
    const i32 count = GetPilotRegistry() ? GetPilotRegistry()->count : 0;
    i32& p = Pair().pilotChoice;
    if (count <= 0) return;
    if (App().input.padState[0][5]) {
        p -= 10;
        while (p < 0) p += count;
    } else if (--p < 0) {
        p = count - 1;
    }
}

i32 CLoginScene::RegionAt(i32 x, i32 y, i32 last) const
{
    for (i32 i = 0; i <= last && i < kLoginRegions; ++i)
        if (Contains(regions[i], x, y)) return i;
    return -1;
}

// ---- tasks -------------------------------------------------------------------------

LGTCB_Proc_SystemKey* LGTCB_Proc_SystemKey::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<LGTCB_Proc_SystemKey>(list, priority);
}

LGTCB_Proc_Normal* LGTCB_Proc_Normal::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<LGTCB_Proc_Normal>(list, priority);
}

LGTCB_DrawSP_Basic* LGTCB_DrawSP_Basic::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<LGTCB_DrawSP_Basic>(list, priority);
}

LGTCB_DrawSP_ServerState* LGTCB_DrawSP_ServerState::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<LGTCB_DrawSP_ServerState>(list, priority);
}

LGTCB_DrawSP_DispString* LGTCB_DrawSP_DispString::Create(CList<TCB>* list, const char* text)
{
    auto* t = CreateInList<LGTCB_DrawSP_DispString>(list, 10000);
    if (t) plat::Utf8CopyTruncated(t->text, sizeof t->text, text);
    return t;
}

LGTCB_Proc_Connect* LGTCB_Proc_Connect::Create(CList<TCB>* list, u32 priority)
{
    auto* t = CreateInList<LGTCB_Proc_Connect>(list, priority);
    if (t) {
        t->message = LGTCB_DrawSP_DispString::Create(list, "正在连接... ");
        t->started = plat::TimeGetTime();
    }
    return t;
}

LGTCB_Proc_LoginSuccess* LGTCB_Proc_LoginSuccess::Create(CList<TCB>* list, u32 priority)
{
    auto* t = CreateInList<LGTCB_Proc_LoginSuccess>(list, priority);
    if (t) {
        t->message = LGTCB_DrawSP_DispString::Create(list, "正在进入... ");
        t->started = plat::TimeGetTime();
    }
    return t;
}

LGTCB_Proc_LoginFail* LGTCB_Proc_LoginFail::Create(CList<TCB>* list, const char* text)
{
    auto* t = CreateInList<LGTCB_Proc_LoginFail>(list, 1);
    if (t) t->message = LGTCB_DrawSP_DispString::Create(list, text);
    return t;
}

i32 LGTCB_Proc_Normal::Proc_Input()
{
    CLoginScene& scene = Scene();
    CApplication& app = App();
    if (!scene.uiEnabled) return kTaskKeep;
    plat::SetScriptMark("login", "input");
    if (KeyOnce(plat::vk::Escape)) {
        Pair().DisconnectBoth();
        SwitchScene(app, GetTitleSceneAsBase);
        return kTaskSceneReplaced;
    }
    const i32 mx = app.input.mousePos[0], my = app.input.mousePos[1];
    const i32 region = scene.RegionAt(mx, my);
    if (region == 5 && KeyOnce(plat::vk::Delete) && !scene.profileNames.empty()) {
        scene.confirmOpen = 1;
        state = &LGTCB_Proc_Normal::Proc_Delete;
        return kTaskKeep;
    }
    if (region == 2 || region == 5 || region == 8 || region == 11) {
        scene.focusField = region;
        const i32 wheel = app.input.wheelDelta;
        if (wheel != 0) {
            if (region == 2) wheel < 0 ? scene.serverList->Next() : scene.serverList->Previous();
            if (region == 5) wheel < 0 ? scene.playerList->Next() : scene.playerList->Previous();
            if (region == 8) wheel < 0 ? scene.RobotNext() : scene.RobotPrevious();
            if (region == 11) wheel < 0 ? scene.PilotNext() : scene.PilotPrevious();
        }
    }
    if (Clicked() && region >= 0) {
        NetClientPair& pair = Pair();
        switch (region) {
        case 0: app.lineEditor.SetText(pair.serverAddress); break;
        case 1: app.lineEditor.SetText(pair.playerName); break;
        case 3: scene.serverList->Previous(); break;
        case 4: scene.serverList->Next(); break;
        case 6: scene.playerList->Previous(); break;
        case 7: scene.playerList->Next(); break;
        case 9: scene.RobotPrevious(); break;
        case 10: scene.RobotNext(); break;
        case 12: scene.PilotNext(); break;
        case 13: scene.PilotPrevious(); break;
        case 14: Login(); break;
        default: break;
        }
        if (state == &LGTCB_Proc_Normal::Proc_Input) scene.focusField = region;
    }
    if (state == &LGTCB_Proc_Normal::Proc_Input) {
        scene.serverList->Proc();
        scene.playerList->Proc();
    }
    return kTaskKeep;
}

i32 LGTCB_Proc_Normal::Login()
{
    CLoginScene& scene = Scene();
    NetClientPair& pair = Pair();
    CApplication& app = App();
    std::string id = TrimBlanks(pair.playerName);
    if (id.empty()) id = PilotName(pair.pilotChoice);
    CopyCut(pair.playerName, sizeof pair.playerName, id);
    id = pair.playerName;
    if (!IsUsablePlayerId(id)) {
        plat::ShowMessageBox(app.mainWindow, "ID包含无效字符            ", "");
        return 0;
    }
    PlayerProfile& profile = app.Profile();
    // -1: the file was damaged and is set aside, the player told where (or
    // it could not be moved and is closed to saving), so the new profile
    // below never takes its place on disk.
    if (profile.Load(id.c_str()) != 1) {
        profile.Clear();
        CopyCut(profile.name, sizeof profile.name, id);
        profile.exp = 0;
        profile.rankLevel = 0;
        if (!profile.Save()) {
            // Never log in under a profile that is not on disk.
            plat::ShowMessageBox(app.mainWindow, "无法保存玩家资料            ", "");
            return 0;
        }
    }
    if (scene.serverList) scene.serverList->active = 0;
    if (scene.playerList) scene.playerList->active = 0;
    scene.ListProfiles();
    StartScan();
    return 1;
}

// The scan asks the rooms one after another, a step per frame, so the
// window keeps drawing and answering while a room is slow.
void LGTCB_Proc_Normal::StartScan()
{
    NetClientPair& pair = Pair();
    std::memset(pair.roomStatus, 0, sizeof pair.roomStatus);
    std::memset(pair.roomStatusFlag, 0, sizeof pair.roomStatusFlag);
    scanRoom = 0;
    scanPhase = 0;
    message = LGTCB_DrawSP_DispString::Create(owner, "正在连接... ");
    state = &LGTCB_Proc_Normal::Proc_Scan;
}

i32 LGTCB_Proc_Normal::Proc_Scan()
{
    NetClientPair& pair = Pair();
    CDataClient& data = pair.data;
    if (scanRoom >= i32(kRoomCount)) {
        FinishScan();
        return kTaskKeep;
    }
    if (scanPhase == 0) {
        if (!data.ConnectAsync(pair.serverAddress, pair.dataPortBase + u32(scanRoom), kScanConnectMs, 0)) {
            ++scanRoom;
            return kTaskKeep;
        }
        pair.roomStatusFlag[scanRoom] = 0;
        scanPhase = 1;
        scanStart = plat::TimeGetTime();
        return kTaskKeep;
    }
    while (RECVQUEUE* m = data.PopReceived()) {
        if (m->payload && m->size > 0) data.DispatchMessage(m->payload[0], m->payload + 1, m->size - 1);
        delete m;
    }
    bool done = false;
    // The scan speaks only through the room list: a room that is down is an
    // ordinary answer, not something to report.
    if (data.GetConnectState() == CClient::ConnectFailed) {
        done = true;
    } else if (data.IsConnected()) {
        u8& flag = pair.roomStatusFlag[scanRoom];
        if (flag == 0) {
            flag = 1;
            SendRoomStatusQuery(&data);
            scanStart = plat::TimeGetTime();
        } else if (flag == 1 && plat::TimeGetTime() - scanStart >= kScanAnswerMs) {
            done = true;
        } else if (flag == 2) {
            done = true;
        }
    } else if (plat::TimeGetTime() - scanStart >= kScanConnectMs + kScanAnswerMs) {
        done = true;  // a connect that never reports
    }
    if (!done) return kTaskKeep;
    data.Disconnect();
    if (pair.roomStatusFlag[scanRoom] == 2 && !RoomFitsLocale(pair.roomStatus[scanRoom][457], App().IsJapaneseLocale())) {
        pair.roomStatusFlag[scanRoom] = 0;
        std::memset(pair.roomStatus[scanRoom], 0, kRoomStatusSize);
    } else if (pair.roomStatusFlag[scanRoom] != 2) {
        pair.roomStatusFlag[scanRoom] = 0;
    }
    ++scanRoom;
    scanPhase = 0;
    return kTaskKeep;
}

void LGTCB_Proc_Normal::FinishScan()
{
    if (auto* m = static_cast<LGTCB_DrawSP_DispString*>(message)) m->remove = 1;
    message = LGTCB_DrawSP_ServerState::Create(owner, 20);
    counter = 0;
    state = &LGTCB_Proc_Normal::Proc_RoomChoice;
}

i32 LGTCB_Proc_Normal::Proc_RoomChoice()
{
    CLoginScene& scene = Scene();
    NetClientPair& pair = Pair();
    CApplication& app = App();
    const i32 mx = app.input.mousePos[0], my = app.input.mousePos[1];
    for (i32 r = 0; r < 5; ++r)
        if (Contains(scene.regions[15 + r], mx, my)) scene.selectedRoom = r;
    if (KeyOnce(plat::vk::Up, RepeatMs)) scene.selectedRoom = (scene.selectedRoom + 4) % 5;
    if (KeyOnce(plat::vk::Down, RepeatMs)) scene.selectedRoom = (scene.selectedRoom + 1) % 5;
    if (KeyOnce(plat::vk::Escape) || Clicked(1)) {
        if (auto* list = static_cast<LGTCB_DrawSP_ServerState*>(message)) list->remove = 1;
        message = nullptr;
        scene.serverList->active = 1;
        scene.playerList->active = 1;
        state = &LGTCB_Proc_Normal::Proc_Input;
        return kTaskKeep;
    }
    if (++counter <= 61) return kTaskKeep;
    plat::SetScriptMark("login", "rooms");
    if (!(KeyOnce(plat::vk::Return) || Clicked())) return kTaskKeep;
    const i32 room = scene.selectedRoom;
    if (room < 0 || room >= 5 || pair.roomStatusFlag[room] == 0) return kTaskKeep;
    if (!pair.game.ConnectAsync(pair.serverAddress, pair.gamePortBase + u32(room), kRoomConnectMs, 0) ||
        !pair.data.ConnectAsync(pair.serverAddress, pair.dataPortBase + u32(room), kRoomConnectMs, 1)) {
        pair.DisconnectBoth();
        return kTaskKeep;
    }
    scene.loginOutcome = 0;
    LGTCB_Proc_Connect::Create(owner, 1);
    pair.currentRoom = u32(room);
    state = &LGTCB_Proc_Normal::Proc_Wait;
    return kTaskKeep;
}

i32 LGTCB_Proc_Normal::Proc_Wait()
{
    CLoginScene& scene = Scene();
    if (scene.loginOutcome == 1) {
        SwitchScene(App(), GetRoomSceneAsBase);
        return kTaskSceneReplaced;
    }
    if (scene.loginOutcome == 2) {
        scene.loginOutcome = 0;
        counter = 0;
        state = &LGTCB_Proc_Normal::Proc_RoomChoice;
    }
    return kTaskKeep;
}

i32 LGTCB_Proc_Normal::Proc_Delete()
{
    CLoginScene& scene = Scene();
    if (!Clicked()) return kTaskKeep;
    const i32 mx = App().input.mousePos[0], my = App().input.mousePos[1];
    const i32 x = 362, y = 284;
    const bool yes = Contains({x + 20, y + 130, x + 120, y + 180}, mx, my);
    const bool no = Contains({x + 180, y + 130, x + 280, y + 180}, mx, my);
    if (!yes && !no) return kTaskKeep;
    scene.confirmOpen = 0;
    if (yes && scene.playerList->selected < i32(scene.profileNames.size())) {
        DeletePlayerProfile(scene.profileNames[size_t(scene.playerList->selected)].c_str());
        scene.ListProfiles();
    }
    state = &LGTCB_Proc_Normal::Proc_Input;
    return kTaskKeep;
}

i32 LGTCB_Proc_Connect::Proc()
{
    NetClientPair& pair = Pair();
    const bool failed = pair.game.GetConnectState() == CClient::ConnectFailed ||
                        pair.data.GetConnectState() == CClient::ConnectFailed ||
                        plat::TimeGetTime() - started > kRoomConnectMs + 1000;
    if (failed) {
        pair.DisconnectBoth();
        LGTCB_Proc_LoginFail::Create(owner, "连接失败!                  ");
        if (message) message->remove = 1;
        return kTaskRemove;
    }
    if (!pair.BothConnected()) return kTaskKeep;
    for (plat::SocketId s : {pair.game.GetSocket(), pair.data.GetSocket()}) {
        if (!plat::NetSetNoDelay(s, true)) std::fprintf(stderr, "Couldn't setsockopt(TCP_NODELAY)\n");
        plat::NetSetBufferSizes(s, 0x140000, 0x140000);
    }
    const char* name = pair.playerName[0] ? pair.playerName : PilotName(pair.pilotChoice);
    App().BeginRoomChat();
    SendLogin(name, u32(pair.robotChoice), App().Profile().rankLevel, kClientVersion, &pair.game);
    LGTCB_Proc_LoginSuccess::Create(owner, 1);
    if (message) message->remove = 1;
    return kTaskRemove;
}

i32 LGTCB_Proc_LoginSuccess::Proc()
{
    NetClientPair& pair = Pair();
    CRoboClient& game = pair.game;
    // The answer arrives through the main loop's dispatch of both connections.
    const char* failure = nullptr;
    switch (game.loginResult) {
    case kLoginAccepted:
        if (message) plat::Utf8CopyTruncated(message->text, sizeof message->text, "连接成功! ");
        Scene().loginOutcome = 1;
        return kTaskKeep;
    case kLoginRoomFull: failure = "此房间人数已达上限            "; break;
    case kLoginRoomInGame: failure = "此房间已进入游戏            "; break;
    case kLoginVersionMismatch:
        failure = "您使用的客户端版本于服务器版本不一致\n请更换于服务器相同的版本            ";
        break;
    default:
        // No answer (or one this client does not know) in time: give up.
        if (plat::TimeGetTime() - started < kLoginAnswerMs && pair.BothConnected()) return kTaskKeep;
        failure = "连接失败!                  ";
        break;
    }
    pair.DisconnectBoth();
    LGTCB_Proc_LoginFail::Create(owner, failure);
    if (message) message->remove = 1;
    game.loginResult = kLoginWaiting;
    return kTaskRemove;
}

i32 LGTCB_Proc_LoginFail::Proc()
{
    if (!(KeyOnce(plat::vk::Return) || Clicked())) return kTaskKeep;
    if (message) message->remove = 1;
    Scene().loginOutcome = 2;
    return kTaskRemove;
}

// ---- drawing -----------------------------------------------------------------------

void LGTCB_DrawSP_Basic::DrawSP()
{
    CLoginScene& scene = Scene();
    CApplication& app = App();
    NetClientPair& pair = Pair();
    DrawPictureAt(scene.pictures[0], 0, 0);
    DrawShadowedText("请使用鼠标操作", 8, 8, 400, 32, 0xFFFFFFFFu);
    const plat::GfxRect& address = scene.regions[0];
    const plat::GfxRect& id = scene.regions[1];
    DrawLayoutText(pair.serverAddress, address.left + 4, address.top + 4, address.right, address.bottom, 0xFFFFFFFFu);
    DrawLayoutText(pair.playerName, id.left + 4, id.top + 4, id.right, id.bottom, 0xFFFFFFFFu);
    if ((scene.focusField == 0 || scene.focusField == 1) && scene.editable[scene.focusField]) {
        const plat::GfxRect& f = scene.regions[scene.focusField];
        const i32 caretX = f.left + 4 + app.lineEditor.GetCaretExtent().cx;
        if (app.lineEditor.IsComposing()) {
            const std::string shown = app.lineEditor.GetComposition() + "|";
            DrawLayoutText(shown.c_str(), caretX, f.top + 4, f.right, f.bottom, 0xFFFF0000u);
        } else {
            DrawLayoutText("|", caretX - 2, f.top + 4, f.right, f.bottom, 0xFFFFFFFFu);
        }
    }
    scene.serverList->Draw();
    scene.playerList->Draw();
    const plat::GfxRect& robot = scene.regions[8];
    if (pair.robotChoice >= 1000) {
        DrawShadowedText("Random", robot.left, robot.top, robot.right, robot.bottom, 0xFFFFFFFFu, 5);
    } else if (pair.robotChoice >= 0 && pair.robotChoice < 50) {
        DrawPictureAt(scene.robotPictures[pair.robotChoice], f32(robot.left), f32(robot.top));
    }
    if (PilotRegistry* pilots = GetPilotRegistry(); pilots && pair.pilotChoice >= 0 && pair.pilotChoice < pilots->count) {
        PilotSlot& pilot = pilots->slots[pair.pilotChoice];
        const plat::GfxRect& face = scene.regions[11];
        const plat::GfxRect source{0, 0, 200, 150};
        DrawPictureAt(pilot.pictures[0], f32(face.left), f32(face.top), 0xFFFFFFFFu, 1.0f, &source);
        char label[64];
        std::snprintf(label, sizeof label, "[%u]%s", pilot.folderIndex, pilot.name);
        DrawShadowedText(label, face.left, face.bottom + 20, face.right + 60, face.bottom + 44, 0xFFFFFFFFu);
    }
    if (scene.confirmOpen) {
        const i32 x = 362, y = 284;
        DrawStretched(scene.pictures[1], f32(x), f32(y), 300, 200, 0xDC323232u);
        std::string text;
        if (scene.playerList->selected < i32(scene.profileNames.size()))
            text = scene.profileNames[size_t(scene.playerList->selected)];
        text += "    \n\n确定删除该ID吗    ";
        DrawLayoutText(text.c_str(), x + 5, y + 5, x + 295, y + 195, 0xFFFFFFFFu, plat::TextWordBreak);
        for (auto [bx, label] : {std::pair<i32, const char*>{x + 20, "确定"}, {x + 180, "退出"}}) {
            DrawStretched(scene.pictures[1], f32(bx), f32(y + 130), 100, 50, 0xC0780000u);
            DrawShadowedText(label, bx, y + 130, bx + 100, y + 180, 0xFFFFFFFFu, 5, 2);
        }
    }
}

void LGTCB_DrawSP_ServerState::DrawSP()
{
    CLoginScene& scene = Scene();
    NetClientPair& pair = Pair();
    DrawStretched(scene.pictures[1], 0, 0, 1024, 768, 0xC8000000u);
    DrawShadowedText("- 选  择  房  间 -", 10, 20, 1024, 60, 0xFFFFFFFFu);
    for (i32 r = 0; r < 5; ++r) {
        const i32 y = 100 + 72 * r;
        if (r == scene.selectedRoom) DrawStretched(scene.pictures[1], 0, f32(y), 1024, 72, 0x60FFFFFFu);
        const RoomStatusView v = ViewRoomStatus(pair.roomStatus[r]);
        char text[128];
        // The rooms are named after the first five stages; the name sits on
        // the row's upper line, the room's title, rule and places on its
        // lower line, clear of the name and of "房间信息" above.
        const FolderList& stages = GetApplication()->stageFolders;
        std::snprintf(text, sizeof text, "房间%d:    %s  ", r + 1, u32(r) < stages.count ? stages.names[r] : "");
        DrawShadowedText(text, 100, y + 2, 476, y + 26, 0xFFFFFFFFu);
        if (pair.roomStatusFlag[r] == 2) {
            DrawShadowedText(v.title, 130, y + 36, 460, y + 72, 0xFFFFFFFFu);
            DrawShadowedText(kRuleNames[v.rule >= 0 && v.rule < 5 ? v.rule : 0], 460, y + 36, 800, y + 72, 0xFFFFFFFFu);
            std::snprintf(text, sizeof text, "(玩家-%d/%u)", v.players, v.capacity);
            DrawShadowedText(text, 800, y + 36, 1024, y + 72, 0xFFFFFFFFu);
        } else {
            DrawShadowedText("-无法连接-", 800, y + 36, 1024, y + 72, 0xFFFFFFFFu);
        }
    }
    const i32 r = scene.selectedRoom;
    if (r >= 0 && r < 5 && pair.roomStatusFlag[r] == 2) {
        const RoomStatusView v = ViewRoomStatus(pair.roomStatus[r]);
        DrawShadowedText("房间信息      ", 476, 100, 1024, 124, 0xFFFFFFFFu);
        for (u32 place = 0; place < v.capacity && place < 10; ++place) {
            char text[64];
            std::snprintf(text, sizeof text, "%u:%s", place + 1, v.names[place]);
            DrawShadowedText(text, 476, 500 + 24 * i32(place), 1024, 524 + 24 * i32(place), 0xFFFFFFFFu);
        }
    }
}

void LGTCB_DrawSP_DispString::DrawSP()
{
    if (darken) DrawFullScreenPicture(SharedPicture::Dot, 0xC8000000u);
    DrawLayoutText(text, 0, 0, 1024, 768, 0xFFFFFFFFu, 5);
}
