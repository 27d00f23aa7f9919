#include "platform/input/Gamepad.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

namespace plat {
namespace {

// A slot holds a controller when the system has a button mapping for the
// device, else the raw joystick (a generic stick or arcade pad plays too).
// The device's GUID stays when it is unplugged, so the same device plugged
// back in is found again for the same slot.
struct PadSlot {
    SDL_GameController* controller = nullptr;
    SDL_Joystick* joystick = nullptr;
    SDL_JoystickGUID guid{};
    bool used = false;
};

PadSlot gPads[MaxPads];
i32 gPadCount = 0;

i32 ScaleAxis(i32 raw)
{
    // SDL gives -32768..32767; the game expects a symmetric -1000..1000.
    const i32 v = raw * PadAxisRange / 32767;
    return std::clamp(v, -PadAxisRange, PadAxisRange);
}

struct ButtonPair {
    SDL_GameControllerButton sdl;
    i32 slot;
};

constexpr ButtonPair kButtons[] = {
    {SDL_CONTROLLER_BUTTON_A, PadA},
    {SDL_CONTROLLER_BUTTON_B, PadB},
    {SDL_CONTROLLER_BUTTON_X, PadX},
    {SDL_CONTROLLER_BUTTON_Y, PadY},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, PadLeftShoulder},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, PadRightShoulder},
    {SDL_CONTROLLER_BUTTON_BACK, PadBack},
    {SDL_CONTROLLER_BUTTON_START, PadStart},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, PadLeftStick},
    {SDL_CONTROLLER_BUTTON_RIGHTSTICK, PadRightStick},
    {SDL_CONTROLLER_BUTTON_GUIDE, PadGuide},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, PadDpadUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadDpadDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadDpadLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadDpadRight},
    {SDL_CONTROLLER_BUTTON_MISC1, PadMisc},
};

// A trigger counts as a button past half travel.
constexpr i32 kTriggerThreshold = 16384;

SDL_Joystick* SlotJoystick(const PadSlot& p)
{
    return p.controller ? SDL_GameControllerGetJoystick(p.controller) : p.joystick;
}

void CloseSlot(PadSlot& p)
{
    if (p.controller) SDL_GameControllerClose(p.controller);
    else if (p.joystick) SDL_JoystickClose(p.joystick);
    p.controller = nullptr;
    p.joystick = nullptr;
}

bool InstanceHeld(SDL_JoystickID id)
{
    for (i32 i = 0; i < gPadCount; ++i) {
        SDL_Joystick* j = SlotJoystick(gPads[i]);
        if (j && SDL_JoystickGetAttached(j) && SDL_JoystickInstanceID(j) == id) return true;
    }
    return false;
}

bool OpenDevice(int index, PadSlot& p)
{
    if (SDL_IsGameController(index)) p.controller = SDL_GameControllerOpen(index);
    if (!p.controller) p.joystick = SDL_JoystickOpen(index);
    SDL_Joystick* j = SlotJoystick(p);
    if (!j) return false;
    p.guid = SDL_JoystickGetGUID(j);
    p.used = true;
    return true;
}

// An unplugged slot's device plugged in again (the first attached device
// of its GUID that no other slot holds).
bool Reacquire(PadSlot& p)
{
    CloseSlot(p);
    const int n = SDL_NumJoysticks();
    for (int i = 0; i < n; ++i) {
        const SDL_JoystickGUID g = SDL_JoystickGetDeviceGUID(i);
        if (std::memcmp(g.data, p.guid.data, sizeof g.data) != 0) continue;
        if (InstanceHeld(SDL_JoystickGetDeviceInstanceID(i))) continue;
        return OpenDevice(i, p);
    }
    return false;
}

void ReadController(SDL_GameController* pad, PadState& s)
{
    for (const ButtonPair& b : kButtons)
        s.buttons[b.slot] = SDL_GameControllerGetButton(pad, b.sdl) ? 0x80 : 0;
    const i32 lt = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    const i32 rt = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    s.buttons[PadLeftTrigger] = lt >= kTriggerThreshold ? 0x80 : 0;
    s.buttons[PadRightTrigger] = rt >= kTriggerThreshold ? 0x80 : 0;
    s.x = ScaleAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX));
    s.y = ScaleAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY));
    s.rx = ScaleAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX));
    s.ry = ScaleAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY));
    s.z = ScaleAxis(rt) - ScaleAxis(lt);
    if (s.buttons[PadDpadLeft]) s.x = -PadAxisRange;
    if (s.buttons[PadDpadRight]) s.x = PadAxisRange;
    if (s.buttons[PadDpadUp]) s.y = -PadAxisRange;
    if (s.buttons[PadDpadDown]) s.y = PadAxisRange;
}

// A joystick without a mapping: axes in the usual order (x, y, z, rx, ry,
// rz), buttons by number, the first hat as the D-pad.
void ReadJoystick(SDL_Joystick* j, PadState& s)
{
    i32* axes[] = {&s.x, &s.y, &s.z, &s.rx, &s.ry, &s.rz};
    const int axisCount = std::min(SDL_JoystickNumAxes(j), 6);
    for (int a = 0; a < axisCount; ++a) *axes[a] = ScaleAxis(SDL_JoystickGetAxis(j, a));
    const int buttonCount = std::min(SDL_JoystickNumButtons(j), PadButtonSlots);
    for (int b = 0; b < buttonCount; ++b) s.buttons[b] = SDL_JoystickGetButton(j, b) ? 0x80 : 0;
    if (SDL_JoystickNumHats(j) > 0) {
        const Uint8 hat = SDL_JoystickGetHat(j, 0);
        // Hat directions share the D-pad's button slots only where the
        // stick has no buttons of its own there.
        if (buttonCount <= PadDpadUp) s.buttons[PadDpadUp] = (hat & SDL_HAT_UP) ? 0x80 : 0;
        if (buttonCount <= PadDpadDown) s.buttons[PadDpadDown] = (hat & SDL_HAT_DOWN) ? 0x80 : 0;
        if (buttonCount <= PadDpadLeft) s.buttons[PadDpadLeft] = (hat & SDL_HAT_LEFT) ? 0x80 : 0;
        if (buttonCount <= PadDpadRight) s.buttons[PadDpadRight] = (hat & SDL_HAT_RIGHT) ? 0x80 : 0;
        if (hat & SDL_HAT_LEFT) s.x = -PadAxisRange;
        if (hat & SDL_HAT_RIGHT) s.x = PadAxisRange;
        if (hat & SDL_HAT_UP) s.y = -PadAxisRange;
        if (hat & SDL_HAT_DOWN) s.y = PadAxisRange;
    }
}

}  // namespace

bool InitGamepads()
{
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    return SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS) == 0;
}

i32 OpenPads(i32 max)
{
    ClosePads();
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) return 0;
    max = std::min(max, MaxPads);
    const int n = SDL_NumJoysticks();
    for (int i = 0; i < n && gPadCount < max; ++i) {
        PadSlot p;
        if (!OpenDevice(i, p)) continue; // an unreadable device does not use up a slot
        gPads[gPadCount++] = p;
    }
    return gPadCount;
}

std::string GetPadName(i32 slot)
{
    if (slot < 0 || slot >= gPadCount) return {};
    const PadSlot& p = gPads[slot];
    const char* name = p.controller ? SDL_GameControllerName(p.controller)
                       : p.joystick ? SDL_JoystickName(p.joystick)
                                    : nullptr;
    return name ? name : "";
}

bool ReadPad(i32 slot, PadState& state)
{
    if (slot < 0 || slot >= gPadCount || !gPads[slot].used) return false;
    PadSlot& p = gPads[slot];
    SDL_Joystick* j = SlotJoystick(p);
    if ((!j || !SDL_JoystickGetAttached(j)) && !Reacquire(p)) return false;

    PadState s;
    if (p.controller) ReadController(p.controller, s);
    else ReadJoystick(p.joystick, s);
    state = s;
    return true;
}

void ClosePads()
{
    for (i32 i = 0; i < gPadCount; ++i) gPads[i] = (CloseSlot(gPads[i]), PadSlot{});
    gPadCount = 0;
}

}  // namespace plat
