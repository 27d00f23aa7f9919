// Keyboard codes, the event pump and scripted input.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <string>
#include <vector>

#include "platform/input/Clipboard.h"
#include "platform/input/Events.h"
#include "platform/input/Gamepad.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"
#include "platform/input/TextInput.h"

namespace {

std::vector<plat::Event> Drain()
{
    std::vector<plat::Event> out;
    plat::Event e;
    for (int i = 0; i < 500 && !plat::InputScriptFinished(); ++i) {
        while (plat::PollEvent(e)) out.push_back(e);
        SDL_Delay(1);
    }
    while (plat::PollEvent(e)) out.push_back(e);
    return out;
}

bool Has(const std::vector<plat::Event>& events, plat::EventKind kind, i32 value)
{
    for (const auto& e : events)
        if (e.kind == kind && e.value == value) return true;
    return false;
}

TEST(Keyboard, ScancodesMapToUsLayoutVirtualKeysAndBack)
{
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_Z), 'Z');
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_0), '0');
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_F6), 0x75);
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_RETURN), 0x0D);
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_KP_ENTER), 0x0D);
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_PRINTSCREEN), 0x2C);
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_SEMICOLON), 0xBA);
    EXPECT_EQ(plat::VirtualKeyFromScancode(SDL_SCANCODE_KP_5), 0x65);
    for (int vk = 1; vk < 256; ++vk) {
        const int sc = plat::ScancodeFromVirtualKey(vk);
        if (sc == 0) continue;
        const int back = plat::VirtualKeyFromScancode(sc);
        // The combined modifiers come back as their left-hand codes.
        if (vk == 0x10 || vk == 0x11 || vk == 0x12) continue;
        EXPECT_EQ(back, vk) << "vk " << vk;
    }
    EXPECT_EQ(plat::VirtualKeyFromName("VK_SNAPSHOT"), 0x2C);
    EXPECT_EQ(plat::VirtualKeyFromName("z"), 'Z');
    EXPECT_EQ(plat::VirtualKeyFromName("F12"), 0x7B);
    EXPECT_EQ(plat::VirtualKeyFromName("0x25"), 0x25);
    EXPECT_EQ(plat::VirtualKeyFromName("Enter"), 0x0D);
    EXPECT_EQ(plat::VirtualKeyFromName("F13"), -1);
    EXPECT_EQ(plat::VirtualKeyFromName("nonsense"), -1);
}

TEST(Keyboard, EitherShiftHoldsTheCombinedCode)
{
    plat::ReleaseAllKeys();
    plat::SetKeyDown(plat::vk::LShift, true);
    plat::SetKeyDown(plat::vk::RShift, true);
    plat::SetKeyDown(plat::vk::LShift, false);
    u8 table[256];
    plat::GetKeyboardState(table);
    EXPECT_EQ(table[plat::vk::Shift], 0x80);
    plat::SetKeyDown(plat::vk::RShift, false);
    EXPECT_FALSE(plat::IsKeyDown(plat::vk::Shift));
}

TEST(InputScript, KeysTextAndWindowRequestsArriveAsEvents)
{
    ASSERT_TRUE(plat::InitEvents());
    plat::ReleaseAllKeys();
    std::string error;
    ASSERT_TRUE(plat::LoadInputScriptText("# a comment\n"
                                          "\n"
                                          "0 keydown Enter\n"
                                          "0 keydown LCONTROL\n"
                                          "0 key V\n"
                                          "0 keyup LCONTROL\n"
                                          "0 text a \xE6\xBC\xA2\n"
                                          "0 wheel -1\n"
                                          "0 button 1009\n"
                                          "150 close\n"
                                          "150 quit 3\n",
                                          &error))
        << error;
    const auto events = Drain();
    EXPECT_TRUE(Has(events, plat::EventKind::KeyDown, 0x0D));
    EXPECT_TRUE(Has(events, plat::EventKind::Char, 13));
    EXPECT_TRUE(Has(events, plat::EventKind::Char, 22)) << "Ctrl+V types the paste code";
    EXPECT_TRUE(Has(events, plat::EventKind::KeyUp, 'V'));
    EXPECT_TRUE(Has(events, plat::EventKind::MouseWheel, -120));
    EXPECT_TRUE(Has(events, plat::EventKind::Command, 1009));
    EXPECT_TRUE(Has(events, plat::EventKind::Close, 0));
    EXPECT_TRUE(Has(events, plat::EventKind::Quit, 3));
    std::string typed;
    for (const auto& e : events)
        if (e.kind == plat::EventKind::Char && e.value >= 0x20) typed += static_cast<char>(e.value);
    EXPECT_EQ(typed, "a \xE6\xBC\xA2");
    EXPECT_TRUE(plat::IsKeyDown(0x0D)) << "held until released";
    EXPECT_FALSE(plat::IsKeyDown('V'));
    EXPECT_FALSE(plat::IsKeyDown(plat::vk::Control));
    plat::ReleaseAllKeys();
}

TEST(InputScript, BadLinesAreRefusedWithTheirNumber)
{
    std::string error;
    EXPECT_FALSE(plat::LoadInputScriptText("0 key Z\nsoon key Z\n", &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(plat::LoadInputScriptText("0 key NOSUCHKEY\n", &error));
    EXPECT_FALSE(plat::LoadInputScriptText("0 pad 0 99\n", &error));
    EXPECT_FALSE(plat::LoadInputScriptText("0 pad 16 1\n", &error));
    EXPECT_FALSE(plat::LoadInputScriptText("0 fly away\n", &error));
    EXPECT_FALSE(plat::LoadInputScriptText("0 padaxis 0 z 5\n", &error));
    EXPECT_FALSE(plat::LoadInputScript("/no/such/script.txt", &error));
}

// A wait holds what follows it until the game sets its mark, however long
// that takes, and the steps after it keep their spacing from then.
TEST(InputScript, AWaitHoldsLaterStepsUntilTheMark)
{
    ASSERT_TRUE(plat::InitEvents());
    plat::ReleaseAllKeys();
    std::string error;
    EXPECT_FALSE(plat::LoadInputScriptText("0 wait scene\n", &error)) << "a wait needs a key and a value";
    ASSERT_TRUE(plat::LoadInputScriptText("0 key A\n10 wait scene room\n20 key B\n30 quit 4\n", &error)) << error;
    std::vector<plat::Event> events;
    plat::Event e;
    for (int i = 0; i < 200; ++i) {
        while (plat::PollEvent(e)) events.push_back(e);
        SDL_Delay(1);
    }
    EXPECT_TRUE(Has(events, plat::EventKind::KeyDown, 'A'));
    EXPECT_FALSE(Has(events, plat::EventKind::KeyDown, 'B')) << "held by the wait";
    plat::SetScriptMark("scene", "title");
    for (int i = 0; i < 50; ++i)
        while (plat::PollEvent(e)) events.push_back(e);
    EXPECT_FALSE(Has(events, plat::EventKind::KeyDown, 'B')) << "another value of the mark";
    plat::SetScriptMark("scene", "room");
    const auto after = Drain();
    EXPECT_TRUE(Has(after, plat::EventKind::KeyDown, 'B'));
    EXPECT_TRUE(Has(after, plat::EventKind::Quit, 4));
    plat::ReleaseAllKeys();
}

// Game time steps one frame per pass whatever the wall clock does: a
// second of script is sixty passes done at once or slowly alike, and a
// pass that only waited on others counts its real time, at most a frame.
TEST(InputScript, GameTimeStepsAFramePerPassAndAWaitedPassFollowsTheRealClock)
{
    ASSERT_TRUE(plat::InitEvents());
    plat::ReleaseAllKeys();
    std::string error;
    ASSERT_TRUE(plat::LoadInputScriptText("1000 quit 5\n", &error)) << error;
    plat::Event e;
    std::vector<plat::Event> events;
    auto pass = [&] {
        while (plat::PollEvent(e)) events.push_back(e);
    };
    for (int i = 0; i < 59; ++i) pass();
    EXPECT_EQ(plat::InputScriptClock(), 983u) << "59 frames of 1/60 s, no more for passes done at once";
    EXPECT_FALSE(Has(events, plat::EventKind::Quit, 5));
    plat::InputScriptPassWaited();
    SDL_Delay(40);
    pass();
    EXPECT_EQ(plat::InputScriptClock(), 983u + 16u) << "a waited pass, a frame at most";
    pass();
    EXPECT_EQ(plat::InputScriptClock(), 1016u);
    pass();
    EXPECT_TRUE(Has(events, plat::EventKind::Quit, 5));
    EXPECT_TRUE(plat::InputScriptFinished());
}

TEST(InputScript, CompositionAndClipboardReachTheirPlatformState)
{
    ASSERT_TRUE(plat::InitEvents());
    plat::ImeContext* ime = plat::ImeGetContext();
    std::string error;
    ASSERT_TRUE(plat::LoadInputScriptText("0 clipboard copied text\n"
                                          "0 compose 1 \xE3\x81\x8B\xE3\x82\x93\n",
                                          &error))
        << error;
    const auto events = Drain();
    EXPECT_TRUE(Has(events, plat::EventKind::KeyDown, plat::ProcessKey));
    EXPECT_EQ(plat::ImeGetCompositionString(ime), "\xE3\x81\x8B\xE3\x82\x93");
    EXPECT_EQ(plat::ImeGetCompositionCursor(ime), 3);
    EXPECT_EQ(plat::GetClipboardText(), "copied text");
    plat::ImeSetOpenStatus(ime, false);
    EXPECT_EQ(plat::ImeGetCompositionString(ime), "");
    plat::ImeReleaseContext(ime);
}

}  // namespace

// A stick the system has no mapping for still gets a slot, reads by button
// number and hat, and when unplugged and plugged in again is read again
// from the same slot.
TEST(Gamepads, GenericSticksTakeASlotAndComeBackAfterReplugging)
{
    ASSERT_TRUE(plat::InitGamepads());
    const int before = SDL_NumJoysticks();
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_ARCADE_STICK, 2, 12, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* stick = SDL_JoystickOpen(index);
    ASSERT_NE(stick, nullptr);
    ASSERT_FALSE(SDL_IsGameController(index));
    const i32 count = plat::OpenPads(plat::MaxPads);
    ASSERT_EQ(count, before + 1);
    const i32 slot = count - 1;
    SDL_JoystickSetVirtualButton(stick, 11, 1);
    SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_LEFT);
    SDL_JoystickUpdate();
    plat::PadState s;
    ASSERT_TRUE(plat::ReadPad(slot, s));
    EXPECT_EQ(s.buttons[11], 0x80);
    EXPECT_EQ(s.buttons[plat::PadDpadLeft], 0x80);  // the hat is the D-pad
    EXPECT_EQ(s.x, -plat::PadAxisRange);

    SDL_JoystickClose(stick);
    ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0);
    SDL_PumpEvents();
    EXPECT_FALSE(plat::ReadPad(slot, s));
    const int again = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_ARCADE_STICK, 2, 12, 1);
    ASSERT_GE(again, 0);
    SDL_PumpEvents();
    stick = SDL_JoystickOpen(again);
    SDL_JoystickSetVirtualButton(stick, 2, 1);
    SDL_JoystickUpdate();
    ASSERT_TRUE(plat::ReadPad(slot, s));
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.buttons[2], 0x80);
    plat::ClosePads();
    SDL_JoystickClose(stick);
    SDL_JoystickDetachVirtual(again);
}
