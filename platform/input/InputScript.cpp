#include "platform/input/InputScript.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "platform/input/Clipboard.h"
#include "platform/input/Events.h"
#include "platform/core/FileSystem.h"
#include "platform/core/System.h"
#include "platform/core/Time.h"
#include "platform/input/Gamepad.h"
#include "platform/input/Keyboard.h"
#include "platform/input/Mouse.h"
#include "platform/core/TextCodec.h"

namespace plat {
namespace {

enum class StepKind { KeyDown, KeyUp, Text, Compose, PadDown, PadUp, PadAxis, Wheel,
                      Button, Close, Clipboard, Quit, MouseMove, MouseDown, MouseUp, Wait };

struct Step {
    u32 time = 0;
    StepKind kind = StepKind::KeyDown;
    i32 a = 0, b = 0, c = 0;
    std::string text;
    std::string value; // a wait's mark value
    bool tap = false; // a press that lets go by itself
};

// A tap's release: due once the script time and the main loop's passes
// have both moved on far enough.
struct Release {
    StepKind kind;
    i32 a, b;
    u32 clock, pass;
};

// A tap is held for two passes of the main loop and at least two battle
// frames of script time: long enough for any frame to see it, short
// enough that a key repeat never fires twice.
constexpr u32 kTapMs = 34;
constexpr u32 kTapPasses = 2;
// Game time under a script: one frame per pass of the main loop.
constexpr u32 kFramesPerSecond = 60;
// A pass that only waited on other programs counts the real time it took,
// up to one frame, and rests this long first rather than spin.
constexpr u32 kWaitedFrameMs = 16;
constexpr u32 kRestMs = 1;
// A wait whose mark never comes gives up after this much real time, so a
// broken game still reaches the rest of its script (and its close).
constexpr u32 kWaitLimitMs = 180000;

struct Script {
    std::vector<Step> steps;
    size_t next = 0;
    u32 clock = 0;    // game time: frames stepped plus real time of waited passes
    u32 frames = 0;   // frames stepped; the clock carries their thirds of a millisecond exactly
    u32 lastPass = 0; // system time of the last pass
    bool waited = false; // the pass under way only waited on other programs
    u32 passes = 0;   // passes of the main loop since the script loaded
    u32 shift = 0;    // script time spent in waits: later steps fall due that much later
    bool waiting = false; // a wait is pending since waitStart (system time)
    u32 waitStart = 0;
    std::vector<std::pair<std::string, std::string>> marks;
    std::vector<Release> releases;
    std::vector<SDL_Joystick*> pads;
};

Script gScript;

bool MarkIs(const std::string& key, const std::string& value)
{
    for (const auto& [k, v] : gScript.marks)
        if (k == key) return v == value;
    return false;
}

// Button numbers of the game's table back to the virtual controller's
// (which follow SDL's button order); -1 for the two triggers.
i32 VirtualButton(i32 button)
{
    switch (button) {
    case PadA: return SDL_CONTROLLER_BUTTON_A;
    case PadB: return SDL_CONTROLLER_BUTTON_B;
    case PadX: return SDL_CONTROLLER_BUTTON_X;
    case PadY: return SDL_CONTROLLER_BUTTON_Y;
    case PadLeftShoulder: return SDL_CONTROLLER_BUTTON_LEFTSHOULDER;
    case PadRightShoulder: return SDL_CONTROLLER_BUTTON_RIGHTSHOULDER;
    case PadBack: return SDL_CONTROLLER_BUTTON_BACK;
    case PadStart: return SDL_CONTROLLER_BUTTON_START;
    case PadLeftStick: return SDL_CONTROLLER_BUTTON_LEFTSTICK;
    case PadRightStick: return SDL_CONTROLLER_BUTTON_RIGHTSTICK;
    case PadGuide: return SDL_CONTROLLER_BUTTON_GUIDE;
    case PadDpadUp: return SDL_CONTROLLER_BUTTON_DPAD_UP;
    case PadDpadDown: return SDL_CONTROLLER_BUTTON_DPAD_DOWN;
    case PadDpadLeft: return SDL_CONTROLLER_BUTTON_DPAD_LEFT;
    case PadDpadRight: return SDL_CONTROLLER_BUTTON_DPAD_RIGHT;
    case PadMisc: return SDL_CONTROLLER_BUTTON_MISC1;
    default: return -1;
    }
}

bool ParseInt(const std::string& s, i32& out)
{
    if (s.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 0);
    if (*end != '\0') return false;
    out = static_cast<i32>(v);
    return true;
}

// Everything after the first `skip` words of a line, as typed.
std::string RestAfterWords(const std::string& line, int skip)
{
    size_t i = 0;
    for (int w = 0; w < skip; ++w) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    }
    if (i < line.size()) ++i; // the one separator
    return line.substr(std::min(i, line.size()));
}

bool ParseLine(const std::string& rawLine, std::vector<Step>& out, std::string& why)
{
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream in(line);
    std::string timeWord, kind;
    if (!(in >> timeWord)) return true; // blank
    if (timeWord[0] == '#') return true;
    i32 time = 0;
    if (!ParseInt(timeWord, time) || time < 0) {
        why = "bad time";
        return false;
    }
    if (!(in >> kind)) {
        why = "missing kind";
        return false;
    }
    std::vector<std::string> args;
    for (std::string w; in >> w;) args.push_back(w);
    Step s;
    s.time = static_cast<u32>(time);
    auto needArgs = [&](size_t n) {
        if (args.size() >= n) return true;
        why = "missing argument for " + kind;
        return false;
    };
    auto key = [&](i32& code) {
        if (!needArgs(1)) return false;
        code = VirtualKeyFromName(args[0].c_str());
        if (code <= 0 || ScancodeFromVirtualKey(code) == 0) {
            why = "unknown key " + args[0];
            return false;
        }
        return true;
    };
    auto padButton = [&]() {
        if (!needArgs(2)) return false;
        if (!ParseInt(args[0], s.a) || s.a < 0 || s.a >= MaxPads || !ParseInt(args[1], s.b) ||
            s.b < 0 || s.b >= PadButtonCount) {
            why = "bad pad or button";
            return false;
        }
        return true;
    };

    if (kind == "key" || kind == "keydown" || kind == "keyup") {
        if (!key(s.a)) return false;
        s.kind = kind == "keyup" ? StepKind::KeyUp : StepKind::KeyDown;
        s.tap = kind == "key";
        out.push_back(s);
    } else if (kind == "text") {
        s.kind = StepKind::Text;
        s.text = RestAfterWords(line, 2);
        out.push_back(s);
    } else if (kind == "compose") {
        if (!needArgs(1) || !ParseInt(args[0], s.a)) {
            if (why.empty()) why = "bad composition cursor";
            return false;
        }
        s.kind = StepKind::Compose;
        s.text = RestAfterWords(line, 3);
        out.push_back(s);
    } else if (kind == "pad" || kind == "paddown" || kind == "padup") {
        if (!padButton()) return false;
        s.kind = kind == "padup" ? StepKind::PadUp : StepKind::PadDown;
        s.tap = kind == "pad";
        out.push_back(s);
    } else if (kind == "padaxis") {
        if (!needArgs(3)) return false;
        static const char* const kAxes[] = {"x", "y", "rx", "ry"};
        s.b = -1;
        for (int i = 0; i < 4; ++i)
            if (args[1] == kAxes[i]) s.b = i;
        if (!ParseInt(args[0], s.a) || s.a < 0 || s.a >= MaxPads || s.b < 0 ||
            !ParseInt(args[2], s.c)) {
            why = "bad pad axis";
            return false;
        }
        s.c = std::clamp(s.c, -PadAxisRange, PadAxisRange);
        s.kind = StepKind::PadAxis;
        out.push_back(s);
    } else if (kind == "wheel" || kind == "button" || kind == "quit") {
        if (!needArgs(1) || !ParseInt(args[0], s.a)) {
            if (why.empty()) why = "bad number for " + kind;
            return false;
        }
        s.kind = kind == "wheel" ? StepKind::Wheel
               : kind == "button" ? StepKind::Button : StepKind::Quit;
        out.push_back(s);
    } else if (kind == "mouse" || kind == "click") {
        if (!needArgs(2) || !ParseInt(args[0], s.a) || !ParseInt(args[1], s.b)) {
            if (why.empty()) why = "bad position for " + kind;
            return false;
        }
        s.kind = kind == "mouse" ? StepKind::MouseMove : StepKind::MouseDown;
        s.tap = kind == "click";
        out.push_back(s);
    } else if (kind == "wait") {
        if (!needArgs(2)) return false;
        s.kind = StepKind::Wait;
        s.text = args[0];
        s.value = RestAfterWords(line, 3);
        out.push_back(s);
    } else if (kind == "close") {
        s.kind = StepKind::Close;
        out.push_back(s);
    } else if (kind == "clipboard") {
        s.kind = StepKind::Clipboard;
        s.text = RestAfterWords(line, 2);
        out.push_back(s);
    } else {
        why = "unknown kind " + kind;
        return false;
    }
    return true;
}

void AttachPads(i32 count)
{
    if (count <= 0) return;
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS) != 0) return;
    while (static_cast<i32>(gScript.pads.size()) < count) {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER,
                                                    SDL_CONTROLLER_AXIS_MAX,
                                                    SDL_CONTROLLER_BUTTON_MAX, 0);
        SDL_Joystick* stick = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
        gScript.pads.push_back(stick);
    }
    SDL_PumpEvents(); // lets the controllers register before anyone opens them
}

SDL_Window* TargetWindow() { return SDL_GetKeyboardFocus(); }

u32 WindowId()
{
    SDL_Window* w = TargetWindow();
    return w ? SDL_GetWindowID(w) : 0;
}

void PushKey(i32 virtualKey, bool down)
{
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = WindowId();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = static_cast<SDL_Scancode>(ScancodeFromVirtualKey(virtualKey));
    e.key.keysym.sym = SDL_GetKeyFromScancode(e.key.keysym.scancode);
    e.key.timestamp = SDL_GetTicks();
    SDL_PushEvent(&e);
}

// SDL's text events carry at most 31 bytes; longer text goes in pieces cut
// between characters.
void PushText(const std::string& text)
{
    size_t at = 0;
    while (at < text.size()) {
        const size_t n = Utf8TruncatedLength(text.c_str() + at, 31);
        if (n == 0) break;
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = WindowId();
        std::memcpy(e.text.text, text.data() + at, n);
        e.text.text[n] = '\0';
        SDL_PushEvent(&e);
        at += n;
    }
}

void PushComposition(const std::string& text, i32 cursor)
{
    SDL_Event e{};
    e.type = SDL_TEXTEDITING;
    e.edit.windowID = WindowId();
    const size_t n = Utf8TruncatedLength(text.c_str(), 31);
    std::memcpy(e.edit.text, text.data(), n);
    e.edit.text[n] = '\0';
    e.edit.start = cursor;
    e.edit.length = 0;
    SDL_PushEvent(&e);
}

SDL_Joystick* ScriptPad(i32 index)
{
    if (index < 0 || index >= static_cast<i32>(gScript.pads.size())) return nullptr;
    return gScript.pads[index];
}

void SetPadButton(i32 pad, i32 button, bool down)
{
    SDL_Joystick* stick = ScriptPad(pad);
    if (!stick) return;
    if (button == PadLeftTrigger || button == PadRightTrigger) {
        const int axis = button == PadLeftTrigger ? SDL_CONTROLLER_AXIS_TRIGGERLEFT
                                                  : SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
        SDL_JoystickSetVirtualAxis(stick, axis, down ? 32767 : 0);
        return;
    }
    const i32 b = VirtualButton(button);
    if (b >= 0) SDL_JoystickSetVirtualButton(stick, b, down ? 1 : 0);
}

void Run(const Step& s)
{
    switch (s.kind) {
    case StepKind::KeyDown: PushKey(s.a, true); break;
    case StepKind::KeyUp: PushKey(s.a, false); break;
    case StepKind::Text: PushText(s.text); break;
    case StepKind::Compose: PushComposition(s.text, s.a); break;
    case StepKind::PadDown: SetPadButton(s.a, s.b, true); break;
    case StepKind::PadUp: SetPadButton(s.a, s.b, false); break;
    case StepKind::PadAxis:
        if (SDL_Joystick* stick = ScriptPad(s.a)) {
            static const int kAxis[] = {SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY,
                                        SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY};
            SDL_JoystickSetVirtualAxis(stick, kAxis[s.b],
                                       static_cast<Sint16>(s.c * 32767 / PadAxisRange));
        }
        break;
    case StepKind::Wheel: {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = WindowId();
        e.wheel.y = s.a;
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        SDL_PushEvent(&e);
        break;
    }
    case StepKind::Button: PostCommand(s.a); break;
    case StepKind::MouseMove: SetScriptedMouse(s.a, s.b, false); break;
    case StepKind::MouseDown: SetScriptedMouse(s.a, s.b, true); break;
    case StepKind::MouseUp: SetScriptedMouse(s.a, s.b, false); break;
    case StepKind::Close: {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
        break;
    }
    case StepKind::Clipboard: SetClipboardText(s.text.c_str()); break;
    case StepKind::Quit: PostQuit(s.a); break;
    case StepKind::Wait: break;
    }
    if (s.tap) {
        const StepKind up = s.kind == StepKind::KeyDown ? StepKind::KeyUp
                          : s.kind == StepKind::PadDown ? StepKind::PadUp : StepKind::MouseUp;
        gScript.releases.push_back({up, s.a, s.b, gScript.clock + kTapMs, gScript.passes + kTapPasses});
    }
}

}  // namespace

bool LoadInputScriptText(const std::string& text, std::string* error)
{
    std::vector<Step> steps;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string why;
        if (!ParseLine(line, steps, why)) {
            if (error) *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    std::stable_sort(steps.begin(), steps.end(),
                     [](const Step& x, const Step& y) { return x.time < y.time; });
    i32 padsNeeded = 0;
    for (const Step& s : steps)
        if (s.kind == StepKind::PadDown || s.kind == StepKind::PadUp ||
            s.kind == StepKind::PadAxis)
            padsNeeded = std::max(padsNeeded, s.a + 1);

    gScript.steps = std::move(steps);
    gScript.next = 0;
    AttachPads(padsNeeded);
    gScript.clock = 0;
    gScript.frames = 0;
    gScript.lastPass = SDL_GetTicks();
    gScript.waited = false;
    gScript.passes = 0;
    gScript.shift = 0;
    gScript.waiting = false;
    gScript.marks.clear();
    gScript.releases.clear();
    return true;
}

bool LoadInputScript(const char* path, std::string* error)
{
    std::string text;
    if (!path || !ReadWholeFile(path, text)) {
        if (error) *error = std::string("cannot read ") + (path ? path : "(null)");
        return false;
    }
    return LoadInputScriptText(text, error);
}

void FeedInputScript()
{
    if (InputScriptFinished()) return;
    const u32 now = SDL_GetTicks();
    // Releases first: a tap repeated at once needs its key up in between.
    std::erase_if(gScript.releases, [](const Release& r) {
        if (gScript.clock < r.clock || gScript.passes < r.pass) return false;
        Step up;
        up.kind = r.kind;
        up.a = r.a;
        up.b = r.b;
        Run(up);
        return true;
    });
    while (gScript.next < gScript.steps.size() && gScript.steps[gScript.next].time + gScript.shift <= gScript.clock) {
        const Step& s = gScript.steps[gScript.next];
        if (s.kind == StepKind::Wait && !MarkIs(s.text, s.value)) {
            if (!gScript.waiting) {
                gScript.waiting = true;
                gScript.waitStart = now;
            }
            if (now - gScript.waitStart < kWaitLimitMs) return;
            std::fprintf(stderr, "input script: gave up waiting for %s %s\n", s.text.c_str(), s.value.c_str());
        }
        if (s.kind == StepKind::Wait) {
            // What came after the wait keeps its spacing from the moment it ended.
            gScript.shift = gScript.clock - s.time;
            gScript.waiting = false;
        }
        Run(gScript.steps[gScript.next++]);
    }
}

void SetScriptMark(const char* key, const char* value)
{
    if (gScript.steps.empty() || !key || !value) return;
    for (auto& [k, v] : gScript.marks)
        if (k == key) {
            v = value;
            return;
        }
    gScript.marks.emplace_back(key, value);
}

void NoteInputPass()
{
    ++gScript.passes;
    if (gScript.steps.empty()) return;
    const u32 now = SDL_GetTicks();
    if (gScript.waited) {
        gScript.clock += std::min(now - gScript.lastPass, kWaitedFrameMs);
    } else {
        const u64 before = u64(gScript.frames) * 1000 / kFramesPerSecond;
        ++gScript.frames;
        gScript.clock += u32(u64(gScript.frames) * 1000 / kFramesPerSecond - before);
    }
    gScript.waited = false;
    gScript.lastPass = now;
}

u32 InputScriptClock() { return gScript.clock; }

void InputScriptPassWaited()
{
    if (gScript.steps.empty()) return;
    gScript.waited = true;
    Sleep(kRestMs);
}

bool InputScriptFinished() { return gScript.next >= gScript.steps.size() && gScript.releases.empty(); }

bool InputScriptLoaded() { return !gScript.steps.empty(); }

std::string InputScriptPath() {
    const char* path = std::getenv("QUILLON_INPUT_SCRIPT");
    return path != nullptr ? path : "";
}

void ClearInputScript()
{
    gScript.steps.clear();
    gScript.releases.clear();
    gScript.next = 0;
}

}  // namespace plat
