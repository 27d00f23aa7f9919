#include "platform/gfx/Window.h"

#include <SDL.h>

#include "platform/core/DriverAllocations.h"
#include "platform/gfx/WindowControl.h"

namespace plat {

std::unique_ptr<Window> Window::Create(const char* title, i32 x, i32 y, i32 width, i32 height, u32 flags) {
    std::unique_ptr<Window> w(new Window());
    w->width_ = width > 0 ? width : 1;
    w->height_ = height > 0 ? height : 1;
    if (flags & Headless) return w;
    DriverAllocations driver;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    w->videoStarted_ = true;
    // Every window may carry the OpenGL device (the stereo views share it).
    Uint32 sdlFlags = SDL_WINDOW_OPENGL;
    sdlFlags |= (flags & Hidden) ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    w->sdl_ = SDL_CreateWindow(title != nullptr ? title : "", x, y, w->width_, w->height_, sdlFlags);
    if (w->sdl_ == nullptr) return nullptr;
    return w;
}

Window::~Window() {
    if (sdl_ != nullptr) SDL_DestroyWindow(sdl_);
    if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Window::SetClientSize(i32 width, i32 height) {
    if (width <= 0 || height <= 0) return;
    width_ = width;
    height_ = height;
    if (sdl_ != nullptr) ResizeWindowClient(sdl_, width, height);
}

void Window::GetClientSize(i32* width, i32* height) const {
    i32 w = width_, h = height_;
    if (sdl_ != nullptr) plat::GetClientSize(sdl_, w, h);
    if (width) *width = w;
    if (height) *height = h;
}

void Window::Show() {
    if (sdl_ != nullptr) ShowWindow(sdl_);
}

void Window::SetTitle(const char* title) {
    if (sdl_ != nullptr) SetWindowTitle(sdl_, title);
}

}  // namespace plat
