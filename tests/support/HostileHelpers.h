#pragma once
// Shell scripts put in the decoder helper's place, to try the wall around
// it: each notes its own number and, through `note $!`, those of the
// children it starts in a file, so a test can check that nothing of any of
// them is left running afterwards.
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/Time.h"
#include "platform/core/Types.h"
#include "support/TempFolder.h"

namespace fixtures {

// Writes an executable script `name` in folder: it first notes itself in
// folder/pids, then runs body.
inline std::string HostileHelper(const TempFolder& folder, const std::string& name, const std::string& body) {
    const std::string text = "#!/bin/sh\nnote() { echo \"$1\" >> '" + (folder / "pids") + "'; }\nnote $$\n" + body + "\n";
    if (!folder.Write(name, text)) return {};
    const std::string path = folder / name;
    ::chmod(path.c_str(), 0755);
    return path;
}

// Processes still alive that are `pid` or in its group (an ended one
// waiting to be reaped by whoever adopted it does not count).
inline u32 LiveMembers(int pid) {
    u32 live = 0;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return 0;
    while (const dirent* e = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        char state = 0;
        int parent = 0, pgrp = 0;
        if (!(rest >> state >> parent >> pgrp)) continue;
        if ((pgrp == pid || std::atoi(e->d_name) == pid) && state != 'Z' && state != 'X') ++live;
    }
    ::closedir(proc);
    return live;
}

// The processes the scripts in folder noted, and their groups, once every
// one has gone (or 30 s have passed): how many are still alive.
inline u32 LeftAlive(const TempFolder& folder, u32* count = nullptr) {
    std::vector<int> noted;
    std::istringstream in(folder.Read("pids"));
    for (int g; in >> g;) noted.push_back(g);
    if (count != nullptr) *count = u32(noted.size());
    u32 alive = 0;
    for (int i = 0; i < 6000; ++i) {
        alive = 0;
        for (int g : noted) alive += LiveMembers(g);
        if (alive == 0) break;
        plat::Sleep(5);
    }
    return alive;
}

}  // namespace fixtures
