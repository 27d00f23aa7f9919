#include "app/core/MainLoop.h"

#include <cstdio>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/scene/BaseScene.h"
#include "app/Hooks.h"
#include "app/player/PilotRegistry.h"
#include "app/core/ScreenShot.h"
#include "engine/core/Direct3DRegistry.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/input/InputManager.h"
#include "engine/graphics/TextureCache.h"
#include "engine/net/NetQueue.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "platform/gfx/FrameHold.h"
#include "platform/input/Events.h"
#include "platform/input/Keyboard.h"
#include "platform/input/Mouse.h"
#include "platform/core/MessageBox.h"
#include "platform/gfx/Window.h"

namespace {

void Dispatch(RECVQUEUE* message, void (*dispatch)(u8, const u8*, u32))
{
    // An empty message has no identifier and is dropped unread.
    if (dispatch && message->payload && message->size > 0)
        dispatch(message->payload[0], message->payload + 1, message->size - 1);
    delete message;
}

// Ages the rendered-text cache by one pass.
void AgeTextCache()
{
    GetTextureCache()->Age();
}

}  // namespace

void RunNetworkSteps(const NetworkHooks& hooks)
{
    // A fixed count per frame falls behind a busy room for good (and the
    // server cuts a reader that far behind): everything that has arrived
    // goes, the two connections in turn, until the budget is spent.
    const u32 start = AppWorkClockNow();
    for (;;) {
        RECVQUEUE* game = hooks.popGame ? hooks.popGame() : nullptr;
        RECVQUEUE* data = hooks.popData ? hooks.popData() : nullptr;
        if (!game && !data) return;
        if (game) Dispatch(game, hooks.dispatchGame);
        if (data) Dispatch(data, hooks.dispatchData);
        if (AppWorkClockNow() - start >= NetworkBudgetMs) return;
    }
}

void PollKeyboard(CApplication& app, i32 pad)
{
    plat::GetKeyboardState(app.input.keyTable);
    JoyState state;
    if (pad < 0 || pad >= static_cast<i32>(PadCount)) return;
    if (!GetInputManager()->ReadJoystick(state, pad)) return;
    if (state.x < -PadAxisThreshold) app.input.keyTable[plat::vk::Left] |= 0x80;
    if (state.y < -PadAxisThreshold) app.input.keyTable[plat::vk::Up] |= 0x80;
    if (state.x > PadAxisThreshold) app.input.keyTable[plat::vk::Right] |= 0x80;
    if (state.y > PadAxisThreshold) app.input.keyTable[plat::vk::Down] |= 0x80;
    if (app.input.keyMap.GetCount() < static_cast<i32>(KeyMapSize)) return;
    for (u32 i = 0; i < PadButtonCount; ++i) {
        const u8 b = app.input.padButtonMap[pad][i];
        // Bindings past the 128 buttons a pad reports never read as pressed.
        if (b >= plat::PadButtonSlots) continue;
        if (state.buttons[b] & 0x80) app.input.keyTable[app.input.keyMap[static_cast<i32>(i)]] |= 0x80;
    }
}

void PollPads(CApplication& app)
{
    for (auto& pad : app.input.padState)
        for (u32& word : pad) word = 0;
    if (app.input.padKeyMap.GetCount() >= static_cast<i32>(PadKeyMapSize))
        for (i32 k = 0; k < static_cast<i32>(PadKeyMapSize); ++k)
            if (app.input.keyTable[app.input.padKeyMap[k]] & 0x80) app.input.padState[0][k] = 1;
    if (app.input.keyTable[plat::vk::Return] & 0x80) app.input.padState[0][12] = 1;
    if (app.input.keyTable[plat::vk::Escape] & 0x80) app.input.padState[0][13] = 1;

    InputManager* input = GetInputManager();
    for (u32 p = 0; p < PadCount; ++p) {
        JoyState state;
        if (!input->ReadJoystick(state, static_cast<i32>(p))) continue;
        u32* words = app.input.padState[p];
        if (state.x < -PadAxisThreshold) words[0] = 1;
        if (state.y < -PadAxisThreshold) words[1] = 1;
        if (state.x > PadAxisThreshold) words[2] = 1;
        if (state.y > PadAxisThreshold) words[3] = 1;
        for (u32 i = 0; i < PadButtonCount; ++i) {
            const u8 b = app.input.padButtonMap[p][i];
            if (b < plat::PadButtonSlots && (state.buttons[b] & 0x80)) words[4 + i] = 1;
        }
    }
}

bool MapCursorToScreen(const CApplication& app, i32 clientWidth, i32 clientHeight, i32 cursorX,
                       i32 cursorY, i32& x, i32& y)
{
    // A minimised window (0 x 0) or a scale not yet set keeps the last position.
    if (clientWidth <= 0 || clientHeight <= 0 || app.video.screenScaleX == 0.0f || app.video.screenScaleY == 0.0f)
        return false;
    const f32 mx = static_cast<f32>(cursorX) * (1.0f / app.video.screenScaleX) *
                   (static_cast<f32>(app.video.screenWidth) / static_cast<f32>(clientWidth));
    const f32 my = static_cast<f32>(cursorY) * (1.0f / app.video.screenScaleY) *
                   (static_cast<f32>(app.video.screenHeight) / static_cast<f32>(clientHeight));
    x = static_cast<i32>(mx);
    y = static_cast<i32>(my);
    return true;
}

void UpdateMouse(CApplication& app)
{
    i32 clientWidth = 0, clientHeight = 0;
    if (app.mainWindow) app.mainWindow->GetClientSize(&clientWidth, &clientHeight);

    app.input.prevCursor[0] = app.input.cursor[0];
    app.input.prevCursor[1] = app.input.cursor[1];
    i32 cx = app.input.cursor[0], cy = app.input.cursor[1];
    if (app.mainWindow && plat::GetCursorClientPos(app.mainWindow, cx, cy)) {
        app.input.cursor[0] = cx;
        app.input.cursor[1] = cy;
    }
    app.input.prevMousePos[0] = app.input.mousePos[0];
    app.input.prevMousePos[1] = app.input.mousePos[1];
    MapCursorToScreen(app, clientWidth, clientHeight, app.input.cursor[0], app.input.cursor[1], app.input.mousePos[0],
                      app.input.mousePos[1]);
    app.input.mouseMove[0] = app.input.cursor[0] - app.input.prevCursor[0];
    app.input.mouseMove[1] = app.input.cursor[1] - app.input.prevCursor[1];

    for (i32 b = 0; b < 3; ++b) {
        u32& bits = app.input.mouseButtons[b];
        bits &= ~(1u | 4u);
        const bool down = plat::IsMouseButtonDown(b);
        if (down && !(bits & 2u)) {
            bits |= 1u | 2u;
            app.input.pressPos[b][0] = app.input.mousePos[0];
            app.input.pressPos[b][1] = app.input.mousePos[1];
        } else if (!down && (bits & 2u)) {
            bits |= 4u;
            bits &= ~2u;
        }
    }
}

void AppWndProc(CApplication& app, const plat::Event& event)
{
    switch (event.kind) {
    case plat::EventKind::KeyDown:
        if (app.KeyMessageHeldBack(static_cast<u32>(event.value), event.repeat)) return;
        if (app.textInputHandler)
            app.textInputHandler(MessageKeyDown, static_cast<u64>(event.value),
                                 event.repeat ? (1ll << 30) | 1 : 1);
        return;
    case plat::EventKind::Char:
        // Enter reaches text fields only as a key-down.
        if (event.value != 13 && app.textInputHandler)
            app.textInputHandler(MessageChar, static_cast<u64>(event.value), 1);
        return;
    case plat::EventKind::MouseWheel: app.input.wheelDelta = event.value; return;
    case plat::EventKind::Activate: app.notMinimised = event.value == 0 ? 1 : 0; return;
    case plat::EventKind::Close: app.closeRequest = 1; return; // the window stays open
    default: return;
    }
}

bool IdlePass(CApplication& app)
{
    RunNetworkSteps(GetAppHooks().network);
    // Voices, pictures and music the decoder workers have finished.
    GetPilotRegistry()->TakeDecoded();
    GetSoundManager().TakeDecoded();
    PollKeyboard(app, 0);
    PollPads(app);
    app.ReleaseHeldKeys();
    UpdateMouse(app);
    AgeTextCache();
    // Under an input script only the frames a screenshot takes, and a few
    // regularly spaced ones, fill the screen; the rest are played undrawn.
    plat::HoldBackBufferFrames(!FrameWanted(app));
    if (app.currentScene) app.currentScene->Frame();
    plat::HoldBackBufferFrames(false);
    if (app.quit) return false;
    app.closeRequest = 0;
    app.input.wheelDelta = 0;
    if (app.frameDrawn && app.IsKeyRepeat(plat::vk::Snapshot, ScreenShotRepeatMs)) SaveScreenShot(app);
    return true;
}

i32 MainLoop(CApplication& app)
{
    // From here on a fault must never stop the game for an answer.
    plat::HoldBoxesAsNotices(true);
    i32 exitCode = 0;
    for (;;) {
        plat::Event event;
        if (plat::PollEvent(event)) {
            if (event.kind == plat::EventKind::Quit) {
                exitCode = event.value;
                break;
            }
            AppWndProc(app, event);
            continue;
        }
        if (!IdlePass(app)) break;
    }
    ShutdownApplication(app);
    return exitCode;
}

void ShutdownApplication(CApplication& app)
{
    if (app.currentScene) {
        BaseScene* scene = app.currentScene;
        app.currentScene = nullptr;
        delete scene;
    }
    if (app.currentStory) {
        CStoryBase* story = app.currentStory;
        app.currentStory = nullptr;
        DeleteStory(story);
    }
    ReleaseShaderWrappers();
    if (app.cubeMap) {
        app.cubeMap->Release();
        app.cubeMap = nullptr;
    }
    ReleaseTextRenderTarget();
    GetGraphicsDevice()->Release();
    GetSoundManager().Release();
    GetInputManager()->Release();
    app.lineEditor.CloseContext();
    RestorePSGP();
}
