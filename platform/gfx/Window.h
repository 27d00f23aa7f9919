#pragma once
// A window the graphics device can draw into. A headless window has no
// system window behind it and only keeps its client size, so the recording
// graphics backend and tests run without any display.
#include <memory>

#include "platform/core/Types.h"

namespace plat {

// The system window behind a Window; only platform/ looks inside
// (platform/gfx/NativeWindow.h).
struct SystemWindow;

class Window {
public:
    enum Flags : u32 {
        Hidden = 0x1,    // created hidden; Show() reveals it
        Headless = 0x2,  // no system window at all
    };

    // A window whose client area is width x height; null when the system
    // window cannot be made.
    static std::unique_ptr<Window> Create(const char* title, i32 x, i32 y, i32 width, i32 height, u32 flags);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Resizes so that the client area is exactly width x height.
    void SetClientSize(i32 width, i32 height);
    void GetClientSize(i32* width, i32* height) const;
    void Show();
    void SetTitle(const char* title);
    bool IsHeadless() const { return system_ == nullptr; }
    // The system window (null when headless).
    SystemWindow* System() const { return system_; }

private:
    Window() = default;
    SystemWindow* system_ = nullptr;
    bool videoStarted_ = false;
    i32 width_ = 0, height_ = 0;
};

// True when no video driver was asked for (SDL_VIDEODRIVER unset) and the
// one found shows nothing (offscreen, dummy) or none starts at all: there is
// no display to put a window on.
bool NoDisplayFound();

// Before the OpenGL driver first loads: on one or two processors, asks Mesa's
// software renderer for four drawing threads unless LP_NUM_THREADS is set.
void PrepareGlDriver();

}  // namespace plat
