#include "app/scene/BaseScene.h"

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/scene/SceneDevice.h"
#include "platform/core/MessageBox.h"

BaseScene* SwitchScene(CApplication& app, SceneGetter getter)
{
    if (app.currentScene) {
        BaseScene* old = app.currentScene;
        app.currentScene = nullptr;
        delete old;
    }
    app.HoldKeysUntilReleased();
    app.currentScene = getter ? getter() : nullptr;
    if (!app.currentScene) {
        plat::ReportError("Quillon", "the next scene could not be created");
        app.quit = 1;
    }
    return app.currentScene;
}

BaseScene* SwitchScene(SceneGetter getter) { return SwitchScene(*GetApplication(), getter); }

u32 MenuScene::Frame()
{
    CApplication& app = *GetApplication();
    if (app.closeRequest) {
        OnCloseRequest();
        app.quit = 1;
        return 0;
    }
    if (!SceneDeviceReady()) return 0;
    // Read before the walk: after a replacement this object is gone.
    const bool passOn = PassesReplacementOn();
    const u32 t0 = AppClockNow();
    if (FrameBody() == kTaskSceneReplaced) return passOn ? static_cast<u32>(-1) : 0;
    const u32 spent = AppClockNow() - t0;
    AppClockSleep(spent >= MenuFrameMs ? 0 : MenuFrameMs - spent);
    return 0;
}

i32 MenuScene::FrameBody()
{
    if (RunTaskProcs(tasks) == kTaskSceneReplaced) return kTaskSceneReplaced;
    DrawFrame();
    return 0;
}

void MenuScene::DrawFrame()
{
    SceneDrawFrame([](void* list) {
        RunTaskDraws(*static_cast<CList<TCB>*>(list));
    }, [](void* list) {
        RunTaskSprites(*static_cast<CList<TCB>*>(list));
    }, &tasks);
}
