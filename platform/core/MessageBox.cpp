#include "platform/core/MessageBox.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include <SDL.h>

#include "platform/core/Thread.h"
#include "platform/gfx/NativeWindow.h"

namespace plat {
namespace {

std::mutex g_stderrLock;
bool g_held = false;
std::vector<std::string> g_notices;   // waiting for the scenes to take them
std::vector<std::string> g_onScreen;  // shown by the scenes now

void Print(const char* caption, const char* text) {
    std::lock_guard<std::mutex> lock(g_stderrLock);
    std::fprintf(stderr, "[%s] %s\n", caption != nullptr ? caption : "",
                 text != nullptr ? text : "");
    std::fflush(stderr);
}

bool EnvIs(const char* name, const char* value) {
    const char* v = std::getenv(name);
    return v != nullptr && std::strcmp(v, value) == 0;
}

bool EnvSet(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && v[0] != '\0';
}

}  // namespace

bool MessageBoxesAreQuiet() {
    if (EnvIs("QUILLON_QUIET_BOXES", "1")) return true;
    // Drivers without a screen would leave a box nobody can answer.
    if (EnvIs("SDL_VIDEODRIVER", "offscreen") || EnvIs("SDL_VIDEODRIVER", "dummy")) return true;
    return !EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY");
}

void HoldBoxesAsNotices(bool hold) { g_held = hold; }
bool BoxesAreHeldAsNotices() { return g_held; }

void SetNoticesOnScreen(std::vector<std::string> shown) {
    std::lock_guard<std::mutex> lock(g_stderrLock);
    g_onScreen = std::move(shown);
}

std::vector<std::string> TakeNotices() {
    std::lock_guard<std::mutex> lock(g_stderrLock);
    std::vector<std::string> taken;
    taken.swap(g_notices);
    return taken;
}

void ShowMessageBox(const Window* owner, const char* text, const char* caption, unsigned style) {
    if (g_held && IsMainThread()) {
        // A box without a caption is its text alone.
        std::string said = caption != nullptr && caption[0] != '\0' ? std::string(caption) + ": " : std::string();
        said += text != nullptr ? text : "";
        {
            std::lock_guard<std::mutex> lock(g_stderrLock);
            // A fault that repeats every frame would otherwise bury everything
            // else: while its notice is up (or waiting to go up), a repeat only
            // keeps it there. Once it has left the screen it is told again.
            const auto has = [&said](const std::vector<std::string>& list) {
                return std::find(list.begin(), list.end(), said) != list.end();
            };
            if (has(g_notices)) return;
            const bool showing = has(g_onScreen);
            g_notices.push_back(said);
            if (showing) return;
        }
        Print(caption, text);
        return;
    }
    if (!IsMainThread() || MessageBoxesAreQuiet()) {
        Print(caption, text);
        return;
    }
    const Uint32 flags = (style & MessageBoxError) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, caption != nullptr ? caption : "",
                                 text != nullptr ? text : "", NativeOf(owner)) != 0) {
        Print(caption, text);
    }
}

void ReportError(const char* caption, const char* text) { Print(caption, text); }

}  // namespace plat
