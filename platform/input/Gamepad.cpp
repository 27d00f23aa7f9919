#include "platform/input/Gamepad.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace plat {
namespace {

SDL_GameController* gPads[MaxPads] = {};
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
        if (!SDL_IsGameController(i)) continue;
        SDL_GameController* pad = SDL_GameControllerOpen(i);
        if (!pad) continue; // an unreadable device does not use up a slot
        gPads[gPadCount++] = pad;
    }
    return gPadCount;
}

std::string GetPadName(i32 slot)
{
    if (slot < 0 || slot >= gPadCount || !gPads[slot]) return {};
    const char* name = SDL_GameControllerName(gPads[slot]);
    return name ? name : "";
}

bool ReadPad(i32 slot, PadState& state)
{
    if (slot < 0 || slot >= gPadCount || !gPads[slot]) return false;
    SDL_GameController* pad = gPads[slot];
    if (!SDL_GameControllerGetAttached(pad)) return false;

    PadState s;
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
    state = s;
    return true;
}

void ClosePads()
{
    for (i32 i = 0; i < gPadCount; ++i) {
        if (gPads[i]) SDL_GameControllerClose(gPads[i]);
        gPads[i] = nullptr;
    }
    gPadCount = 0;
}

}  // namespace plat
