#pragma once
// Shell scripts put in the decoder helper's place, to try the wall around
// it: each notes its process group (its own number) in a file, so a test
// can check that nothing of any of them is left running afterwards.
#include <sys/stat.h>

#include <cctype>
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

// Writes an executable script `name` in folder: it first notes its group in
// folder/groups, then runs body.
inline std::string HostileHelper(const TempFolder& folder, const std::string& name, const std::string& body) {
    const std::string text = "#!/bin/sh\necho $$ >> '" + (folder / "groups") + "'\n" + body + "\n";
    if (!folder.Write(name, text)) return {};
    const std::string path = folder / name;
    ::chmod(path.c_str(), 0755);
    return path;
}

// Processes of the given group still alive (an ended one waiting to be
// reaped by whoever adopted it does not count).
inline u32 LiveMembers(int group) {
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
        if (pgrp == group && state != 'Z' && state != 'X') ++live;
    }
    ::closedir(proc);
    return live;
}

// The groups the scripts in folder noted, once every process of them has
// gone (or 30 s have passed): how many processes are still alive.
inline u32 LeftAlive(const TempFolder& folder, u32* groups = nullptr) {
    std::vector<int> noted;
    std::istringstream in(folder.Read("groups"));
    for (int g; in >> g;) noted.push_back(g);
    if (groups != nullptr) *groups = u32(noted.size());
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
