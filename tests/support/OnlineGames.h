#pragma once
// Scripted real games in a room of the test room server: the script steps
// that log a game in and take it into the room, the pause menu's way back
// to the room, and the waits on what the server sees.
#include <chrono>
#include <string>
#include <thread>

#include "platform/core/Types.h"
#include "roomserver/RoomServer.h"
#include "support/PlayFolder.h"

// Title to the login scene, the first server of the list, log in and take
// the first room.
inline std::string LoginSteps()
{
    std::string s = "300 button 1\n";
    auto step = [&](int t, const std::string& what) { s += std::to_string(t) + " " + what + "\n"; };
    // After the logo, the menu opened once: a further Enter would choose
    // its first entry.
    s += "2400 wait title press\n2500 key Enter\n3000 wait title menu\n";
    for (int i = 0; i < 7; ++i) step(9500 + 1000 * i, "key Down");
    step(17000, "key Enter");
    // A loaded machine slows the server's answers and the scenes' own
    // frame counts: the form, the scanned rooms and the room are waited for.
    step(19500, "wait login input");
    step(20000, "click 200 250");
    step(21000, "click 850 700");
    step(25500, "wait login rooms");
    step(26000, "key Enter");
    step(28500, "wait scene room");
    step(29000, "key Enter");
    return s;
}

// The pause menu's way back to the room.
inline std::string LeaveToRoom(int at)
{
    std::string s = ScriptStep(at, "key Escape");
    for (int i = 1; i <= 3; ++i) s += ScriptStep(at + 500 * i, "key Down");
    return s + ScriptStep(at + 2000, "key Enter");
}

// Waits (up to `seconds`) until test() holds.
template <class Test>
inline bool WaitFor(int seconds, Test test)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (test()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return test();
}

// Waits until `count` people sit in the server's first room. Each game is
// started once the one before sits there, so the seats (and the host, the
// first) follow the order given however slowly a loaded machine logs them in.
inline bool Seated(RoomServer& server, u32 count)
{
    return WaitFor(300, [&] { return server.Participants(0) >= count; });
}
