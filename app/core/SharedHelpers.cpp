// Key and pad repeats, the colour table and the chat log of the
// application object.
#include <string>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "platform/input/Keyboard.h"

namespace {

// Next firing time per pad and pad-state word; 0 while the word is clear.
u32 gPadRepeatTimes[PadCount][PadStateCount] = {};
// A repeat time that marks a key or pad-state word down since the scene
// last changed: it fires again only after it has been let go.
constexpr u32 kHeldFromLastScene = 0xFFFFFFFFu;

constexpr u32 kChatLogLimit = 100;

}  // namespace

int CApplication::IsKeyRepeat(u32 virtualKey, u32 intervalMs)
{
    if (virtualKey >= 256) return 0;
    if (input.keyTable[virtualKey] & 0x80) {
        if (input.keyRepeatTimes[virtualKey] == kHeldFromLastScene) return 0;
        const u32 now = AppClockNow();
        if (now >= input.keyRepeatTimes[virtualKey]) {
            input.keyRepeatTimes[virtualKey] = now + intervalMs;
            return 1;
        }
        return 0;
    }
    input.keyRepeatTimes[virtualKey] = 0;
    return 0;
}

int CApplication::IsPadButtonRepeat(u32 pad, u32 stateWord, u32 intervalMs)
{
    if (pad >= PadCount || stateWord >= PadStateCount) return 0;
    u32& next = gPadRepeatTimes[pad][stateWord];
    if (input.padState[pad][stateWord] == 1) {
        if (next == kHeldFromLastScene) return 0;
        const u32 now = AppClockNow();
        if (now >= next) {
            next = now + intervalMs;
            return 1;
        }
        return 0;
    }
    next = 0;
    return 0;
}

void CApplication::HoldKeysUntilReleased()
{
    for (u32 k = 0; k < 256; ++k)
        if (input.keyTable[k] & 0x80) input.keyRepeatTimes[k] = kHeldFromLastScene;
    // The screenshot key belongs to no scene.
    if (input.keyRepeatTimes[plat::vk::Snapshot] == kHeldFromLastScene) input.keyRepeatTimes[plat::vk::Snapshot] = 0;
    for (u32 p = 0; p < PadCount; ++p)
        for (u32 w = 0; w < PadStateCount; ++w)
            if (input.padState[p][w] == 1) gPadRepeatTimes[p][w] = kHeldFromLastScene;
}

void CApplication::ReleaseHeldKeys()
{
    for (u32 k = 0; k < 256; ++k)
        if (!(input.keyTable[k] & 0x80) && input.keyRepeatTimes[k] == kHeldFromLastScene) input.keyRepeatTimes[k] = 0;
    for (u32 p = 0; p < PadCount; ++p)
        for (u32 w = 0; w < PadStateCount; ++w)
            if (input.padState[p][w] != 1 && gPadRepeatTimes[p][w] == kHeldFromLastScene) gPadRepeatTimes[p][w] = 0;
}

bool CApplication::KeyMessageHeldBack(u32 virtualKey, bool repeat)
{
    if (virtualKey >= 256 || input.keyRepeatTimes[virtualKey] != kHeldFromLastScene) return false;
    if (repeat) return true;
    input.keyRepeatTimes[virtualKey] = 0;  // pressed anew
    return false;
}

u32 CApplication::GetColor(i32 index)
{
    static constexpr u32 kColours[20] = {
        0xFF0000FF, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF, 0xFF1EB439,
        0xFFFFFFFF, 0xFF8000FF, 0xFF80FF80, 0xFF0080FF, 0xFFFF8000, 0xFF00FF80, 0xFFFFFF80,
        0xFF80FFFF, 0xFFFF80FF, 0xFF808080, 0xFFFF36A0, 0xFF8080FF, 0xFF000000,
    };
    if (index >= 0 && index < 20) return kColours[index];
    if (index == 50) return 0xFFFF78FF;
    if (index == 100) return 0xFF000000;
    return 0xFFFFFFFF;
}

void CApplication::AddChatLine(const char* text, u32 colour)
{
    ChatNode* line = chatLog.NewNodeFront(1); // newest first
    if (!line) return;
    line->text = text ? text : "";
    line->colour = colour;
    if (roomChatLines >= 0) ++roomChatLines;
    if (chatLog.GetCount() > kChatLogLimit) chatLog.Erase(chatLog.GetTail()->prev);
}

void CApplication::BeginRoomChat() { roomChatLines = 0; }

void CApplication::OpenRoomChat()
{
    const u64 keep = roomChatLines > 0 ? u64(roomChatLines) : 0;
    roomChatLines = -1;
    while (chatLog.GetCount() > keep) chatLog.Erase(chatLog.GetTail()->prev);
}

void CApplication::AddChatMessage(const char* name, const char* text, u32 colour)
{
    std::string line = name ? name : "";
    line += ":";
    line += text ? text : "";
    AddChatLine(line.c_str(), colour);
}
