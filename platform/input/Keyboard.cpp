#include "platform/input/Keyboard.h"

#include <SDL2/SDL.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace plat {
namespace {

struct ScanPair {
    SDL_Scancode scancode;
    u8 virtualKey;
};

// US layout: the key's position, not the character it types, picks the code.
constexpr ScanPair kScanTable[] = {
    {SDL_SCANCODE_BACKSPACE, vk::Back}, {SDL_SCANCODE_TAB, vk::Tab},
    {SDL_SCANCODE_RETURN, vk::Return}, {SDL_SCANCODE_KP_ENTER, vk::Return},
    {SDL_SCANCODE_PAUSE, vk::Pause}, {SDL_SCANCODE_CAPSLOCK, vk::Capital},
    {SDL_SCANCODE_ESCAPE, vk::Escape}, {SDL_SCANCODE_SPACE, vk::Space},
    {SDL_SCANCODE_PAGEUP, vk::Prior}, {SDL_SCANCODE_PAGEDOWN, vk::Next},
    {SDL_SCANCODE_END, vk::End}, {SDL_SCANCODE_HOME, vk::Home},
    {SDL_SCANCODE_LEFT, vk::Left}, {SDL_SCANCODE_UP, vk::Up},
    {SDL_SCANCODE_RIGHT, vk::Right}, {SDL_SCANCODE_DOWN, vk::Down},
    {SDL_SCANCODE_PRINTSCREEN, vk::Snapshot}, {SDL_SCANCODE_INSERT, vk::Insert},
    {SDL_SCANCODE_DELETE, vk::Delete},
    {SDL_SCANCODE_LGUI, vk::LWin}, {SDL_SCANCODE_RGUI, vk::RWin},
    {SDL_SCANCODE_APPLICATION, vk::Apps},
    {SDL_SCANCODE_KP_MULTIPLY, vk::Multiply}, {SDL_SCANCODE_KP_PLUS, vk::Add},
    {SDL_SCANCODE_KP_MINUS, vk::Subtract}, {SDL_SCANCODE_KP_PERIOD, vk::Decimal},
    {SDL_SCANCODE_KP_DIVIDE, vk::Divide},
    {SDL_SCANCODE_NUMLOCKCLEAR, vk::NumLock}, {SDL_SCANCODE_SCROLLLOCK, vk::Scroll},
    {SDL_SCANCODE_LSHIFT, vk::LShift}, {SDL_SCANCODE_RSHIFT, vk::RShift},
    {SDL_SCANCODE_LCTRL, vk::LControl}, {SDL_SCANCODE_RCTRL, vk::RControl},
    {SDL_SCANCODE_LALT, vk::LMenu}, {SDL_SCANCODE_RALT, vk::RMenu},
    {SDL_SCANCODE_SEMICOLON, vk::Oem1}, {SDL_SCANCODE_EQUALS, vk::OemPlus},
    {SDL_SCANCODE_COMMA, vk::OemComma}, {SDL_SCANCODE_MINUS, vk::OemMinus},
    {SDL_SCANCODE_PERIOD, vk::OemPeriod}, {SDL_SCANCODE_SLASH, vk::Oem2},
    {SDL_SCANCODE_GRAVE, vk::Oem3}, {SDL_SCANCODE_LEFTBRACKET, vk::Oem4},
    {SDL_SCANCODE_BACKSLASH, vk::Oem5}, {SDL_SCANCODE_RIGHTBRACKET, vk::Oem6},
    {SDL_SCANCODE_APOSTROPHE, vk::Oem7}, {SDL_SCANCODE_NONUSBACKSLASH, vk::Oem102},
};

// Held keys, written by the event pump on the main thread; atomics so a
// dialog's timer or a test thread may read them too.
std::array<std::atomic<u8>, 256> gHeld{};

bool Held(i32 code) { return code > 0 && code < 256 && gHeld[code].load() != 0; }

bool MouseButtonDown(i32 virtualKey)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const u32 buttons = SDL_GetMouseState(nullptr, nullptr);
    switch (virtualKey) {
    case vk::LButton: return (buttons & SDL_BUTTON_LMASK) != 0;
    case vk::RButton: return (buttons & SDL_BUTTON_RMASK) != 0;
    case vk::MButton: return (buttons & SDL_BUTTON_MMASK) != 0;
    default: return false;
    }
}

struct NamedKey {
    const char* name;
    i32 code;
};

constexpr NamedKey kNames[] = {
    {"LBUTTON", vk::LButton}, {"RBUTTON", vk::RButton}, {"MBUTTON", vk::MButton},
    {"BACK", vk::Back}, {"BACKSPACE", vk::Back}, {"TAB", vk::Tab},
    {"RETURN", vk::Return}, {"ENTER", vk::Return}, {"SHIFT", vk::Shift},
    {"CONTROL", vk::Control}, {"CTRL", vk::Control}, {"MENU", vk::Menu}, {"ALT", vk::Menu},
    {"PAUSE", vk::Pause}, {"CAPITAL", vk::Capital}, {"ESCAPE", vk::Escape}, {"ESC", vk::Escape},
    {"SPACE", vk::Space}, {"PRIOR", vk::Prior}, {"PAGEUP", vk::Prior}, {"NEXT", vk::Next},
    {"PAGEDOWN", vk::Next}, {"END", vk::End}, {"HOME", vk::Home}, {"LEFT", vk::Left},
    {"UP", vk::Up}, {"RIGHT", vk::Right}, {"DOWN", vk::Down}, {"SNAPSHOT", vk::Snapshot},
    {"PRINTSCREEN", vk::Snapshot}, {"INSERT", vk::Insert}, {"DELETE", vk::Delete},
    {"LSHIFT", vk::LShift}, {"RSHIFT", vk::RShift}, {"LCONTROL", vk::LControl},
    {"RCONTROL", vk::RControl}, {"LMENU", vk::LMenu}, {"RMENU", vk::RMenu},
};

}  // namespace

i32 VirtualKeyFromScancode(i32 scancode)
{
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return 'A' + (scancode - SDL_SCANCODE_A);
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return '1' + (scancode - SDL_SCANCODE_1);
    if (scancode == SDL_SCANCODE_0) return '0';
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return vk::F1 + (scancode - SDL_SCANCODE_F1);
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
        return vk::Numpad0 + 1 + (scancode - SDL_SCANCODE_KP_1);
    if (scancode == SDL_SCANCODE_KP_0) return vk::Numpad0;
    for (const ScanPair& p : kScanTable)
        if (p.scancode == scancode) return p.virtualKey;
    return 0;
}

i32 ScancodeFromVirtualKey(i32 code)
{
    if (code >= 'A' && code <= 'Z') return SDL_SCANCODE_A + (code - 'A');
    if (code >= '1' && code <= '9') return SDL_SCANCODE_1 + (code - '1');
    if (code == '0') return SDL_SCANCODE_0;
    if (code >= vk::F1 && code < vk::F1 + 12) return SDL_SCANCODE_F1 + (code - vk::F1);
    if (code >= vk::Numpad0 + 1 && code <= vk::Numpad0 + 9)
        return SDL_SCANCODE_KP_1 + (code - vk::Numpad0 - 1);
    if (code == vk::Numpad0) return SDL_SCANCODE_KP_0;
    if (code == vk::Shift) return SDL_SCANCODE_LSHIFT;
    if (code == vk::Control) return SDL_SCANCODE_LCTRL;
    if (code == vk::Menu) return SDL_SCANCODE_LALT;
    for (const ScanPair& p : kScanTable)
        if (p.virtualKey == code) return p.scancode;
    return 0;
}

i32 VirtualKeyFromName(const char* name)
{
    if (!name || !*name) return -1;
    if (!std::strncmp(name, "VK_", 3) || !std::strncmp(name, "vk_", 3)) name += 3;
    if (name[1] == '\0') {
        const char c = name[0];
        if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    }
    if ((name[0] == 'F' || name[0] == 'f') && name[1] >= '1' && name[1] <= '9') {
        char* end = nullptr;
        const long n = std::strtol(name + 1, &end, 10);
        if (*end == '\0' && n >= 1 && n <= 12) return vk::F1 + static_cast<i32>(n) - 1;
    }
    if (name[0] >= '0' && name[0] <= '9') {
        char* end = nullptr;
        const long n = std::strtol(name, &end, 0);
        if (*end == '\0' && n > 0 && n < 256) return static_cast<i32>(n);
        return -1;
    }
    for (const NamedKey& k : kNames)
        if (!strcasecmp(k.name, name)) return k.code;
    return -1;
}

void GetKeyboardState(u8 table[256])
{
    for (int i = 0; i < 256; ++i) table[i] = gHeld[i].load() ? 0x80 : 0;
    for (i32 b : {vk::LButton, vk::RButton, vk::MButton})
        table[b] = MouseButtonDown(b) ? 0x80 : 0;
}

bool IsKeyDown(i32 code)
{
    if (code == vk::LButton || code == vk::RButton || code == vk::MButton)
        return MouseButtonDown(code);
    return Held(code);
}

void SetKeyDown(i32 code, bool down)
{
    if (code <= 0 || code >= 256) return;
    gHeld[code].store(down ? 1 : 0);
    // Left and right modifiers also drive the combined code, as games expect.
    auto either = [](i32 a, i32 b) { return static_cast<u8>(Held(a) || Held(b)); };
    if (code == vk::LShift || code == vk::RShift)
        gHeld[vk::Shift].store(either(vk::LShift, vk::RShift));
    else if (code == vk::LControl || code == vk::RControl)
        gHeld[vk::Control].store(either(vk::LControl, vk::RControl));
    else if (code == vk::LMenu || code == vk::RMenu)
        gHeld[vk::Menu].store(either(vk::LMenu, vk::RMenu));
}

void ReleaseAllKeys()
{
    for (auto& k : gHeld) k.store(0);
}

}  // namespace plat
