#include "engine/input/InputManager.h"

#include "platform/input/Events.h"
#include "platform/core/MessageBox.h"

namespace {

void Fail(void* window, const char* text)
{
    plat::ShowMessageBox(static_cast<const plat::Window*>(window), text, "DirectInput");
}

}  // namespace

i32 InputManager::Init(void* window)
{
    padCount = 0;
    for (u32& p : padPresent) p = 0;
    // The keyboard comes with the event system.
    if (!plat::InitEvents()) {
        Fail(window, "DirectInput8オブジェクトの作成に失敗");
        return 0;
    }
    initialised = true;
    // No controller system, or none attached, is no error.
    if (!plat::InitGamepads()) return 1;
    padCount = plat::OpenPads(MaxPads);
    for (i32 i = 0; i < padCount; ++i) padPresent[i] = 1;
    return 1;
}

bool InputManager::IsPadPresent(i32 index) const
{
    return index >= 0 && index < MaxPads && padPresent[index] != 0;
}

i32 InputManager::ReadJoystick(JoyState& state, i32 index)
{
    if (!IsPadPresent(index)) return 0;
    // A pad unplugged during play keeps its last state; the read still counts.
    plat::ReadPad(index, state);
    return 1;
}

std::string InputManager::GetPadName(i32 index) const
{
    return IsPadPresent(index) ? plat::GetPadName(index) : std::string();
}

void InputManager::Release()
{
    if (!initialised) return;
    plat::ClosePads();
    padCount = 0;
    for (u32& p : padPresent) p = 0;
    initialised = false;
}

InputManager* GetInputManager()
{
    static InputManager manager;
    return &manager;
}
