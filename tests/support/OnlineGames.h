#pragma once
// Scripted real games in a room of the test room server: the script steps
// that log a game in and take it into the room, the pause menu's way back
// to the room, and the waits on what the server sees.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include "platform/core/Types.h"
#include "roomserver/RoomServer.h"
#include "support/PlayFolder.h"

// One game's BattleHash.log: the fingerprint line of each (run, frame).
struct HashLog {
    std::map<std::pair<int, int>, std::string> frames;
    int runs = 0;
    std::string result;  // "won" or "lost" once the battle was decided

    // Read while the game still writes it, which our own file layer refuses.
    explicit HashLog(const std::string& path)
    {
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            int run = 0, frame = 0;
            char hash[32] = {};
            char what[16] = {};
            if (std::sscanf(line.c_str(), "run %d result %15s", &run, what) == 2) result = what;
            if (std::sscanf(line.c_str(), "run %d frame %d %31s", &run, &frame, hash) != 3) continue;
            frames[{run, frame}] = line;
            runs = std::max(runs, run + 1);
        }
    }
    int Last(int run) const
    {
        int last = -1;
        for (const auto& f : frames)
            if (f.first.first == run) last = std::max(last, f.first.second);
        return last;
    }
};

// Frames of `run` both logs hold, and how many of them disagree; the first
// disagreeing frame in *first.
inline std::pair<int, int> Compare(const HashLog& a, const HashLog& b, int run, int* first = nullptr)
{
    int common = 0, differ = 0;
    for (const auto& [key, line] : a.frames) {
        if (key.first != run) continue;
        auto other = b.frames.find(key);
        if (other == b.frames.end()) continue;
        ++common;
        if (other->second != line && differ++ == 0 && first) *first = key.second;
    }
    return {common, differ};
}

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
