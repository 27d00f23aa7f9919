#include "platform/core/MessageBox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>

#include <SDL.h>

#include "platform/core/Thread.h"
#include "platform/core/Time.h"
#include "platform/gfx/NativeWindow.h"

namespace plat {
namespace {

std::mutex g_stderrLock;
bool g_held = false;
// Caption and text printed while held, with when they were last raised.
std::map<std::string, u32> g_lastRaised;
std::vector<std::string> g_notices;   // waiting for the scenes to take them

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
            // else: a repeat within the window of the last one is dropped, and
            // keeps the window open. Anything raised again later (the player
            // repeating an action) is told again.
            const u32 now = TimeGetTime();
            auto told = g_lastRaised.find(said);
            const bool repeat = told != g_lastRaised.end() && now - told->second < NoticeRepeatWindowMs;
            if (told != g_lastRaised.end()) told->second = now;
            if (repeat) return;
            for (auto it = g_lastRaised.begin(); it != g_lastRaised.end();)
                it = now - it->second >= NoticeRepeatWindowMs ? g_lastRaised.erase(it) : std::next(it);
            g_lastRaised[said] = now;
            g_notices.push_back(said);
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
