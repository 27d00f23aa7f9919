#include "platform/gfx/Window.h"

#include <SDL.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/core/DriverAllocations.h"
#include "platform/gfx/NativeWindow.h"

namespace plat {
namespace {

void ResizeClient(SDL_Window* window, i32 width, i32 height)
{
    if (!window || width <= 0 || height <= 0) return;
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_SetWindowSize(window, width, height); // SDL sizes the client area
    SDL_SetWindowPosition(window, x, y);
}

void ReadClientSize(SDL_Window* window, i32& width, i32& height)
{
    width = height = 0;
    if (!window) return;
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) return;
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    width = w;
    height = h;
}

void ShowSystemWindow(SDL_Window* window)
{
    if (window) SDL_ShowWindow(window);
}

void SetSystemTitle(SDL_Window* window, const char* title)
{
    if (window && title) SDL_SetWindowTitle(window, title);
}

}  // namespace

void PrepareGlDriver()
{
    cpu_set_t set;
    const long processors = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : sysconf(_SC_NPROCESSORS_ONLN);
    // The software renderer starts a drawing thread per processor, and the
    // game's own thread shares them; on two processors one drawing thread
    // then gets a part share that the whole frame waits for. Four threads
    // keep both processors drawing: a battle frame comes about a tenth
    // sooner. With more processors the default does as well. Other drivers
    // ignore the variable; a value already set (the user's, or an earlier
    // call's) stays.
    if (processors >= 1 && processors <= 2) setenv("LP_NUM_THREADS", "4", 0);
}

std::unique_ptr<Window> Window::Create(const char* title, i32 x, i32 y, i32 width, i32 height, u32 flags) {
    std::unique_ptr<Window> w(new Window());
    w->width_ = width > 0 ? width : 1;
    w->height_ = height > 0 ? height : 1;
    if (flags & Headless) return w;
    DriverAllocations driver;
    PrepareGlDriver();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    w->videoStarted_ = true;
    // Every window may carry the OpenGL device (the stereo views share it).
    Uint32 sdlFlags = SDL_WINDOW_OPENGL;
    sdlFlags |= (flags & Hidden) ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    w->system_ = FromSdl(SDL_CreateWindow(title != nullptr ? title : "", x, y, w->width_, w->height_, sdlFlags));
    if (w->system_ == nullptr) return nullptr;
    return w;
}

Window::~Window() {
    if (system_ != nullptr) SDL_DestroyWindow(ToSdl(system_));
    if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Window::SetClientSize(i32 width, i32 height) {
    if (width <= 0 || height <= 0) return;
    width_ = width;
    height_ = height;
    if (system_ != nullptr) ResizeClient(ToSdl(system_), width, height);
}

void Window::GetClientSize(i32* width, i32* height) const {
    i32 w = width_, h = height_;
    if (system_ != nullptr) ReadClientSize(ToSdl(system_), w, h);
    if (width) *width = w;
    if (height) *height = h;
}

void Window::Show() {
    if (system_ != nullptr) ShowSystemWindow(ToSdl(system_));
}

void Window::SetTitle(const char* title) {
    if (system_ != nullptr) SetSystemTitle(ToSdl(system_), title);
}

bool NoDisplayFound() {
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked != nullptr && asked[0] != '\0') return false;
    DriverAllocations driver;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return true;
    const char* found = SDL_GetCurrentVideoDriver();
    const bool none = found == nullptr || std::strcmp(found, "offscreen") == 0 || std::strcmp(found, "dummy") == 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return none;
}

}  // namespace plat
