#pragma once
// The screen of one room of the room server: the participants, the room
// settings, the chat, the pilot uploads, ready and the start of the online
// battle.
#include <deque>
#include <functional>
#include <string>

#include "app/scene/BaseScene.h"
#include "app/scene/Camera.h"
#include "app/scene/Object.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/TextureManager.h"
#include "platform/gfx/Gfx.h"

class ButtonBase;

inline constexpr i32 kRoomButtonSlots = 200;

class CRoomScene : public BaseScene {
public:
    CRoomScene();
    ~CRoomScene() override;
    void Init();
    void Release();
    u32 Frame() override;

    // The room's capacity and chat permission from its status record.
    u32 Capacity() const;
    bool ChatAllowed() const;
    // The client that may change every row: the lowest participant index
    // whose state is 1 (0 when none).
    static i32 HostIndex();
    // Adds a button into the lowest free slot.
    void AddButton(ButtonBase* button);
    // The mouse click test over the buttons, then every label.
    void ClickTest();
    void UpdateLabels();
    // Messages that go out one per frame, so an upload never holds the
    // window still.
    void QueueSend(std::function<void()> send) { pending.push_back(std::move(send)); }
    void SendOneQueued();
    // For a player who wants to start: a chat line naming whom the start
    // waits for (players still in a battle or on its results, players not
    // ready), said once each time the names change.
    void SayWhomTheStartWaitsFor();

    CList<TCB> tasks;
    u32 nextFrameTime = 0;
    ButtonBase* buttons[kRoomButtonSlots] = {};
    TextureHandle pictures[100];
    MeshObject meshes[100];
    u32 frameCounter = 0;
    CObject sky;
    TextureHandle robotFaces[100];
    CCamera camera;
    char robotNames[50][256] = {};
    u32 leaveRequest = 0;
    u32 cursorRow = 0;
    i32 shownStage = -1;
    u32 mousePressed = 0;
    i32 pressPoint[2] = {};
    plat::GfxRect cursorRects[11];
    plat::GfxRect rowRects[20];
    std::deque<std::function<void()>> pending;
    // The waiting lines last said: [0] back from the battle, [1] ready.
    std::string waitSaid[2];
    // F1 was pressed while someone was still in a battle.
    u32 startAsked = 0;
    // The opaque part of the in-battle mark (picture 4), drawn in the row's
    // state column.
    plat::GfxRect inBattleMark{};

private:
    i32 Step();
    void QueueEntryUploads();
};

CRoomScene* GetRoomScene();
BaseScene* GetRoomSceneAsBase();

// Uploads of the ready sequence (pilot files, begin and end marks), queued.
void QueueReadyUpload(CRoomScene& scene);

class RMTCB_Proc_SystemKey : public TCB {
public:
    static RMTCB_Proc_SystemKey* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
};

class RMTCB_Proc_Normal : public TCB {
public:
    static RMTCB_Proc_Normal* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    u32 counter = 0;

private:
    void Ready();
};

class RMTCB_Proc_GoGame : public TCB {
public:
    static RMTCB_Proc_GoGame* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    u32 counter = 0;
    u8 phase = 0;
};

class RMTCB_Proc_GameStart : public TCB {
public:
    static RMTCB_Proc_GameStart* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
};

class RMTCB_DrawSP_DispString;

class RMTCB_Proc_Disconnect : public TCB {
public:
    static RMTCB_Proc_Disconnect* Create(CList<TCB>* list, const char* text);
    i32 Proc() override;
    RMTCB_DrawSP_DispString* message = nullptr;
};

class RMTCB_Camera : public TCB {
public:
    static RMTCB_Camera* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
};

class RMTCB_Draw_SkyDome : public TCB {
public:
    static RMTCB_Draw_SkyDome* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    void Draw() override;
};

class RMTCB_DrawSP_Basic : public TCB {
public:
    static RMTCB_DrawSP_Basic* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    void DrawSP() override;
};

class RMTCB_DrawSP_DispString : public TCB {
public:
    static RMTCB_DrawSP_DispString* Create(CList<TCB>* list, const char* text);
    i32 Proc() override { return end; }
    void DrawSP() override;
    u8 end = 0;
    u32 visible = 1;
    char text[256] = {};
};

class RMTCB_DrawSP_DispPicture : public TCB {
public:
    static RMTCB_DrawSP_DispPicture* Create(CList<TCB>* list, const char* file);
    i32 Proc() override { return end; }
    void DrawSP() override;
    TextureHandle picture;
    u8 end = 0;
    u32 visible = 1;
};
