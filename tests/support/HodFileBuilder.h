#pragma once
// Builds HOD/HD2 model and animation files byte by byte for the model tests.
#include <cstring>
#include <string>
#include <vector>

#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"
#include "tools/DataBytes.h"

namespace hodtest {

struct Node {
    u32 level = 0;
    std::string name;
    Mat4 local;  // HOD
    // HD2
    Quat rotation;
    Vec3 scale{1, 1, 1};
    Vec3 translation;
    u8 optionA = 1;
    Vec3 nodeVector{1, 1, 1};
    u8 optionB = 0;
    u8 hidden = 0;
    u8 linkMode = 0;
    f32 swing[3] = {};
    std::vector<Node> children;
    // Overrides the child count written (malformed files).
    i64 declaredChildren = -1;
};

// The sample data's little-endian writers, under this namespace's names too.
using ::PutF32;
using ::PutMatrix;
using ::PutQuat;
using ::PutU32;
using ::PutVec3;
inline void PutName(std::string& s, const std::string& name, bool terminate = true)
{
    std::string field(256, '\0');
    std::memcpy(field.data(), name.data(), std::min<size_t>(name.size(), 256));
    if (!terminate) std::memset(field.data(), 'A', 256);
    s += field;
}

inline u32 ChildCount(const Node& n)
{
    return n.declaredChildren >= 0 ? static_cast<u32>(n.declaredChildren) : static_cast<u32>(n.children.size());
}

inline void PutHodRecord(std::string& s, const Node& n)
{
    PutU32(s, n.level);
    PutU32(s, ChildCount(n));
    PutName(s, n.name);
    PutMatrix(s, n.local);
    for (const Node& c : n.children) PutHodRecord(s, c);
}

inline void PutHd2Record(std::string& s, const Node& n)
{
    PutU32(s, n.level);
    PutU32(s, ChildCount(n));
    PutName(s, n.name);
    PutQuat(s, n.rotation);
    PutVec3(s, n.scale);
    PutVec3(s, n.translation);
    s.push_back(static_cast<char>(n.optionA));
    PutVec3(s, n.nodeVector);
    s.push_back(static_cast<char>(n.optionB));
    s.push_back(static_cast<char>(n.hidden));
    s.push_back(static_cast<char>(n.linkMode));
    std::string swing;
    for (f32 f : n.swing) PutF32(swing, f);
    swing.resize(79, '\x5A');
    s += swing;
    for (const Node& c : n.children) PutHd2Record(s, c);
}

inline std::string HodFile(const Node& root)
{
    std::string s = "HOD";
    PutU32(s, 0x01020304);
    PutHodRecord(s, root);
    return s;
}

inline std::string Hd2File(const Node& root, u32 fileType = 0)
{
    std::string s = "HD2";
    PutU32(s, fileType);
    PutU32(s, 0);
    if (fileType == 0) PutHd2Record(s, root);
    return s;
}

// Ver.1 key file: one HOD record per node; the tree shape comes from root,
// the matrices from poses (pre-order).
inline void PutVer1Records(std::string& s, const Node& n, const std::vector<Mat4>& poses, size_t& at)
{
    PutU32(s, n.level);
    PutU32(s, ChildCount(n));
    PutName(s, "other" + n.name);  // the reader must not care
    PutMatrix(s, at < poses.size() ? poses[at] : Mat4());
    ++at;
    for (const Node& c : n.children) PutVer1Records(s, c, poses, at);
}

inline std::string Ver1File(const Node& shape, const std::vector<Mat4>& poses)
{
    std::string s = "HOD";
    PutU32(s, 0);
    size_t at = 0;
    PutVer1Records(s, shape, poses, at);
    return s;
}

struct Ver2Key {
    Quat rotation;
    Vec3 scale{1, 1, 1};
    Vec3 translation;
    Quat a, b, c;
    u8 rotationMode = 0, scaleMode = 0, translationMode = 0;
};

inline std::string Ver2File(const std::vector<Ver2Key>& keys, u32 fileType = 1)
{
    std::string s = "HD2";
    PutU32(s, fileType);
    PutU32(s, 0);
    for (const Ver2Key& k : keys) {
        PutU32(s, 7);
        PutU32(s, 9);
        PutQuat(s, k.rotation);
        PutVec3(s, k.scale);
        PutVec3(s, k.translation);
        PutQuat(s, k.a);
        PutQuat(s, k.b);
        PutQuat(s, k.c);
        s.push_back(static_cast<char>(k.rotationMode));
        s.push_back(static_cast<char>(k.scaleMode));
        s.push_back(static_cast<char>(k.translationMode));
        s += std::string(80, '\0');
    }
    return s;
}

inline Mat4 Translation(f32 x, f32 y, f32 z)
{
    Mat4 m;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

}  // namespace hodtest
