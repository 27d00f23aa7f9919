// Sample model trees and their key-frame animations.
//
// "Quillon/Model/Sample.hod": a box palette root with a body, a head on the
// body and a base; animation files "Sample_Walk0.hod" .. "Sample_Walk3.hod"
// (Ver.1, one matrix per node) bob the body and turn the head.
//
// "Quillon/Model/Skinned.hd2": a box palette root with the skinned column
// "Column.sx" (the sample skinned mesh), two parts bound to its frames
// "Bone1" and "Bone2", and a swinging tail (link mode 3, swing limits) with
// its tip; animation files "Skinned_Sway0.hd2" .. "Skinned_Sway2.hd2" (Ver.2,
// with squad and Catmull-Rom keys) sway the column and the tail.
#include "tools/ModelData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "platform/core/Types.h"
#include "tools/DataBytes.h"

namespace {

struct Node {
    u32 level = 0;
    std::string name;
    Quat rotation;
    Vec3 scale{1, 1, 1};
    Vec3 translation;
    u8 linkMode = 0;
    f32 swing[3] = {};
    std::vector<Node> children;
};

void PutName(std::string& s, const std::string& name)
{
    std::string field(256, '\0');
    std::memcpy(field.data(), name.data(), std::min<size_t>(name.size(), 255));
    s += field;
}

Mat4 Local(const Vec3& scale, const Quat& rotation, const Vec3& translation)
{
    Mat4 m;
    plat::MatrixScaleRotateTranslate(&m, &scale, &rotation, &translation);
    return m;
}


Quat AxisAngle(const Vec3& axis, f32 radians)
{
    Mat4 m;
    plat::MatrixRotationAxis(&m, &axis, radians);
    Quat q;
    plat::QuaternionRotationMatrix(&q, &m);
    return q;
}

// HOD record: level, child count, name, local matrix; children follow.
void PutHodRecord(std::string& s, const Node& n, const std::vector<Mat4>* poses, size_t& at)
{
    PutU32(s, n.level);
    PutU32(s, static_cast<u32>(n.children.size()));
    PutName(s, n.name);
    PutMatrix(s, poses ? (*poses)[at] : Local(n.scale, n.rotation, n.translation));
    ++at;
    for (const Node& c : n.children) PutHodRecord(s, c, poses, at);
}

void PutHd2Record(std::string& s, const Node& n)
{
    PutU32(s, n.level);
    PutU32(s, static_cast<u32>(n.children.size()));
    PutName(s, n.name);
    PutQuat(s, n.rotation);
    PutVec3(s, n.scale);
    PutVec3(s, n.translation);
    s.push_back(1);  // optionA
    PutVec3(s, Vec3(1, 1, 1));
    s.push_back(0);  // optionB
    s.push_back(0);  // hidden
    s.push_back(static_cast<char>(n.linkMode));
    std::string swing;
    for (f32 f : n.swing) PutF32(swing, f);
    swing.resize(79, '\0');
    s += swing;
    for (const Node& c : n.children) PutHd2Record(s, c);
}

struct Ver2Key {
    Quat rotation;
    Vec3 scale{1, 1, 1};
    Vec3 translation;
    u8 rotationMode = 0, scaleMode = 0, translationMode = 0;
};

void PutVer2Key(std::string& s, const Ver2Key& k)
{
    PutU32(s, 0);
    PutU32(s, 0);
    PutQuat(s, k.rotation);
    PutVec3(s, k.scale);
    PutVec3(s, k.translation);
    for (int i = 0; i < 3; ++i) PutQuat(s, Quat());  // squad control points (mode 2 sets them up itself)
    s.push_back(static_cast<char>(k.rotationMode));
    s.push_back(static_cast<char>(k.scaleMode));
    s.push_back(static_cast<char>(k.translationMode));
    s += std::string(80, '\0');
}

bool Write(const std::string& root, const std::string& name, const std::string& data)
{
    const std::string path = root + "/" + name;
    if (!plat::WriteFileAtomic(path.c_str(), data.data(), data.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool Copy(const std::string& root, const std::string& from, const std::string& to)
{
    std::string bytes;
    const std::string path = root + "/" + from;
    if (!plat::ReadWholeFile(path.c_str(), bytes)) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    return Write(root, to, bytes);
}

Node Part(u32 level, const char* name, const Vec3& at)
{
    Node n;
    n.level = level;
    n.name = name;
    n.translation = at;
    return n;
}

Node SampleHod()
{
    Node root = Part(0, "Quillon/Mesh/Box.x", Vec3());
    Node body = Part(1, "Quillon/Model/Body.x", Vec3(0, 1, 0));
    body.children.push_back(Part(2, "Quillon/Model/Head.x", Vec3(0, 1.5f, 0)));
    root.children.push_back(body);
    root.children.push_back(Part(1, "Quillon/Mesh/Ground.x", Vec3()));
    return root;
}

Node SkinnedHd2()
{
    Node root = Part(0, "Quillon/Mesh/Box.x", Vec3());
    Node column = Part(1, "Quillon/Model/Column.sx", Vec3());
    column.children.push_back(Part(2, "Bone1", Vec3()));
    column.children.push_back(Part(2, "Bone2", Vec3()));
    root.children.push_back(column);
    Node tail = Part(1, "Quillon/Model/Tail.x", Vec3(0, 1, -1));
    tail.linkMode = 3;
    tail.swing[0] = 30.0f;  // degrees
    tail.swing[1] = 0.5f;   // follow
    tail.swing[2] = 0.2f;   // spring
    tail.children.push_back(Part(2, "Quillon/Model/TailTip.x", Vec3(0, 0, -1)));
    root.children.push_back(tail);
    return root;
}

}  // namespace

bool MakeModelData(const char* runFolder)
{
    const std::string root = runFolder;
    const std::string dir = root + "/Quillon/Model";
    if (!plat::CreateDirectory(dir.c_str())) {
        std::fprintf(stderr, "cannot create %s\n", dir.c_str());
        return false;
    }
    bool ok = true;
    ok &= Copy(root, "Quillon/Mesh/Sphere.x", "Quillon/Model/Body.x");
    ok &= Copy(root, "Quillon/Mesh/Box.x", "Quillon/Model/Head.x");
    ok &= Copy(root, "Quillon/Mesh/Box.x", "Quillon/Model/Tail.x");
    ok &= Copy(root, "Quillon/Mesh/Sphere.x", "Quillon/Model/TailTip.x");
    ok &= Copy(root, "Quillon/Mesh/Skin.x", "Quillon/Model/Column.sx");
    if (!ok) return false;

    // HOD model and its Ver.1 walk: the body bobs, the head turns.
    const Node hod = SampleHod();
    {
        std::string s = "HOD";
        PutU32(s, 1);
        size_t at = 0;
        PutHodRecord(s, hod, nullptr, at);
        ok &= Write(root, "Quillon/Model/Sample.hod", s);
    }
    for (int k = 0; k < 4; ++k) {
        const f32 phase = 1.5707964f * static_cast<f32>(k);
        std::vector<Mat4> poses;
        poses.push_back(Mat4());
        poses.push_back(Local(Vec3(1, 1, 1), Quat(), Vec3(0, 1.0f + 0.25f * std::sin(phase), 0)));
        poses.push_back(Local(Vec3(1, 1, 1), AxisAngle(Vec3(0, 1, 0), 0.5f * std::sin(phase)), Vec3(0, 1.5f, 0)));
        poses.push_back(Mat4());
        std::string s = "HOD";
        PutU32(s, 1);
        size_t at = 0;
        PutHodRecord(s, hod, &poses, at);
        ok &= Write(root, "Quillon/Model/Sample_Walk" + std::to_string(k) + ".hod", s);
    }

    // HD2 model with the skinned column and the swing tail.
    {
        std::string s = "HD2";
        PutU32(s, 0);
        PutU32(s, 0);
        PutHd2Record(s, SkinnedHd2());
        ok &= Write(root, "Quillon/Model/Skinned.hd2", s);
    }
    // Ver.2 sway: nodes in the model's order root, column, Bone1, Bone2,
    // tail, tip. Bound parts and the swinging tail keep their own matrices
    // but still need keys.
    const f32 sway[3] = {0.0f, 0.4f, -0.4f};
    for (int k = 0; k < 3; ++k) {
        std::vector<Ver2Key> keys(6);
        keys[1].rotation = AxisAngle(Vec3(0, 0, 1), sway[k]);
        keys[1].rotationMode = 2;
        keys[1].translation = Vec3(0.5f * sway[k], 0, 0);
        keys[1].translationMode = 1;
        keys[4].translation = Vec3(0, 1, -1);
        keys[5].translation = Vec3(0, 0, -1);
        std::string s = "HD2";
        PutU32(s, 1);
        PutU32(s, 0);
        for (const Ver2Key& key : keys) PutVer2Key(s, key);
        ok &= Write(root, "Quillon/Model/Skinned_Sway" + std::to_string(k) + ".hd2", s);
    }
    return ok;
}
