#pragma once
// The door to online play: the player picks a server and an ID (a local
// profile), a robot and a pilot, scans the server's five rooms, chooses one,
// connects both connections, logs in and goes to the room.
#include <string>
#include <vector>

#include "app/scene/BaseScene.h"
#include "engine/graphics/TextureManager.h"
#include "platform/gfx/Gfx.h"

class LGTCB_DrawSP_DispString;
class LGTCB_DrawSP_ServerState;

inline constexpr i32 kLoginRegions = 20;

// The six-letter code under which the room shows a player's ID number.
void PlayerIdCode(char out[7], u32 number);
// Whether an ID can name a profile file.
bool IsUsablePlayerId(const std::string& id);
// Whether a room of this language mark is offered on this system.
bool RoomFitsLocale(u8 languageFlag, bool japaneseLocale);
// The key hook of the address and ID fields.
void LoginTextEntryHook(u32 message, u64 key, i64 flags);

// One of the scene's two lists (servers, IDs): six visible rows.
class LGTCB_List {
public:
    LGTCB_List(f32 x, f32 y, f32 width, f32 height) : x(x), y(y), width(width), height(height) {}
    virtual ~LGTCB_List() = default;
    void Next();
    void Previous();
    // Hover and click selection; only while active.
    void Proc();
    void Draw();
    virtual i32 Count() const = 0;
    virtual void Apply() = 0;  // the selection changed
    virtual void DrawRow(i32 index, i32 left, i32 top) = 0;

    u8 active = 1;
    f32 x, y, width, height;
    i32 selected = 0;
    i32 rowHeight = 26;
    i32 firstVisible = 0;
    i32 hovered = -1;
};

class LGTCB_ServerList : public LGTCB_List {
public:
    LGTCB_ServerList() : LGTCB_List(73, 240, 512, 154) {}
    i32 Count() const override;
    void Apply() override;
    void DrawRow(i32 index, i32 left, i32 top) override;
};

class LGTCB_PlayerList : public LGTCB_List {
public:
    LGTCB_PlayerList() : LGTCB_List(650, 240, 320, 154) {}
    i32 Count() const override;
    void Apply() override;
    void DrawRow(i32 index, i32 left, i32 top) override;
};

struct ServerEntry {
    std::string name;
    std::string address;
};

class CLoginScene : public MenuScene {
public:
    CLoginScene();
    ~CLoginScene() override;
    void Init();
    void Release();

    void ReadServerList();
    void ListProfiles();
    // The robot and pilot choices, as the arrows and the wheel move them.
    void RobotNext();
    void RobotPrevious();
    void PilotNext();
    void PilotPrevious();
    // Region 0..19 under a layout point, or -1.
    i32 RegionAt(i32 x, i32 y, i32 last = 14) const;

    plat::GfxRect regions[kLoginRegions];
    u8 editable[15] = {};
    i32 focusField = 0;
    u32 uiEnabled = 1;
    i32 selectedRoom = 0;
    u8 confirmOpen = 0;
    u32 loginOutcome = 0;
    TextureHandle pictures[100];
    TextureHandle robotPictures[50];
    std::vector<ServerEntry> serverEntries;
    std::vector<std::string> profileNames;
    LGTCB_ServerList* serverList = nullptr;
    LGTCB_PlayerList* playerList = nullptr;

protected:
    void OnCloseRequest() override;
};

CLoginScene* GetLoginScene();
BaseScene* GetLoginSceneAsBase();

// The login state machine.
class LGTCB_Proc_Normal : public TCB {
public:
    using State = i32 (LGTCB_Proc_Normal::*)();
    static LGTCB_Proc_Normal* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override { return (this->*state)(); }

    i32 Proc_Input();
    i32 Proc_Scan();
    i32 Proc_RoomChoice();
    i32 Proc_Wait();
    i32 Proc_Delete();

    State state = &LGTCB_Proc_Normal::Proc_Input;
    TCB* message = nullptr;
    u32 counter = 0;
    // The room scan: the room being asked, its phase and when it began.
    i32 scanRoom = 0;
    i32 scanPhase = 0;
    u32 scanStart = 0;

    // Asks the five rooms, a step per frame (public for tests).
    void StartScan();

private:
    i32 Login();
    void FinishScan();
};

class LGTCB_Proc_SystemKey : public TCB {
public:
    static LGTCB_Proc_SystemKey* Create(CList<TCB>* list, u32 priority);
};

class LGTCB_DrawSP_Basic : public TCB {
public:
    static LGTCB_DrawSP_Basic* Create(CList<TCB>* list, u32 priority);
    void DrawSP() override;
};

class LGTCB_DrawSP_ServerState : public TCB {
public:
    static LGTCB_DrawSP_ServerState* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override { return remove; }
    void DrawSP() override;
    u8 remove = 0;
};

// One message over a darkened screen; ends once told to.
class LGTCB_DrawSP_DispString : public TCB {
public:
    static LGTCB_DrawSP_DispString* Create(CList<TCB>* list, const char* text);
    i32 Proc() override { return remove; }
    void DrawSP() override;
    char text[256] = {};
    u8 remove = 0;
    u8 darken = 1;
};

// Waits for both connections of the chosen room, then logs in.
class LGTCB_Proc_Connect : public TCB {
public:
    static LGTCB_Proc_Connect* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    LGTCB_DrawSP_DispString* message = nullptr;
    u32 started = 0;
};

// Reads the server's answer to the login.
class LGTCB_Proc_LoginSuccess : public TCB {
public:
    static LGTCB_Proc_LoginSuccess* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    LGTCB_DrawSP_DispString* message = nullptr;
    u32 started = 0;
};

// Shows a failure until Enter or a click, then back to the room choice.
class LGTCB_Proc_LoginFail : public TCB {
public:
    static LGTCB_Proc_LoginFail* Create(CList<TCB>* list, const char* text);
    i32 Proc() override;
    LGTCB_DrawSP_DispString* message = nullptr;
};
