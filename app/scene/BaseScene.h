#pragma once
// Scenes: one at a time, held in the application's current-scene field. A
// scene is built and set up by its getter on first use and deleted when the
// next scene replaces it; each frame it walks its own task list.
#include <new>

#include "engine/core/TaskList.h"
#include "platform/core/Types.h"

class CApplication;

class BaseScene {
public:
    BaseScene() = default;
    BaseScene(const BaseScene&) = delete;
    BaseScene& operator=(const BaseScene&) = delete;

    // One frame; the main loop ignores the result.
    virtual u32 Frame() = 0;
    virtual ~BaseScene() = default;
};

// The one global pointer of a scene class: null while no object exists.
// A scene's destructor clears it, so the next getter call builds afresh.
template <class S>
S*& SceneInstance()
{
    static S* instance = nullptr;
    return instance;
}

// A scene's getter: builds the object and runs its set-up (Init) once, on
// first use. Null when the scene cannot be allocated.
template <class S>
S* GetSceneInstance()
{
    S*& p = SceneInstance<S>();
    if (p) return p;
    p = new (std::nothrow) S();
    if (!p) return nullptr;
    p->Init();
    return p;
}

using SceneGetter = BaseScene* (*)();

// Deletes the current scene, then builds and installs the next through its
// getter (so its set-up runs after the old scene is gone). The caller
// returns -1 from its Proc and touches nothing of the old scene again.
// A scene that cannot be built ends the program (the quit flag is set).
BaseScene* SwitchScene(CApplication& app, SceneGetter getter);
BaseScene* SwitchScene(SceneGetter getter);

template <class S>
S* SwitchSceneTo()
{
    return static_cast<S*>(SwitchScene([]() -> BaseScene* { return GetSceneInstance<S>(); }));
}

// Milliseconds a menu frame takes at least.
inline constexpr u32 MenuFrameMs = 16;

// The shared frame of the menu scenes: the close request ends the program,
// a lost device skips the frame, the task walk runs, and the rest of 16 ms
// is slept away.
class MenuScene : public BaseScene {
public:
    MenuScene() = default;
    u32 Frame() override;

    CList<TCB>& Tasks() { return tasks; }

protected:
    // Process pass, then drawing; -1 when a task replaced the scene.
    virtual i32 FrameBody();
    // Draw pass and sprite pass between the device's begin-scene and present.
    virtual void DrawFrame();
    // Character selection and the arcade screen hand -1 on to the loop.
    virtual bool PassesReplacementOn() const { return false; }
    // Runs before the quit flag is set on a close request (login disconnects).
    virtual void OnCloseRequest() {}

    CList<TCB> tasks;
};
