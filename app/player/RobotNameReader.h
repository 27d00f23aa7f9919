#pragma once
// Takes a robot's display name out of its "Script.spt": the value of the
// first "Name" entry ("NameEng" entries are passed over).
#include "engine/core/ScriptTokenizer.h"

class RobotNameReader {
public:
    static constexpr size_t NameSize = 100;

    // Reads the name into name[]. A file that cannot be read, or that has no
    // "Name" entry, leaves name[] as it was.
    void Load(const char* path);

    ScriptTokenizer tokenizer;
    char name[NameSize] = {};
};
