// The hangar's sample building: a grey floor under dark walls, lit by
// the scene's own lights; the shell that casts shadows is the walls alone,
// so the floor round the robot is lit and only the robot darkens it.
#include "tools/HangarData.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/math/MathTypes.h"

namespace {

struct Quad {
    Vec3 corner[4];  // in order round the face
    Vec3 normal;     // the side it is seen from
    int material;
};

struct Colour {
    float r, g, b;
};

Vec3 Sub(const Vec3& a, const Vec3& b) { return Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

std::string F(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", double(v));
    return buf;
}

std::string V3(const Vec3& v) { return F(v.x) + ";" + F(v.y) + ";" + F(v.z); }

// A text X mesh of quads, each wound so that it faces its normal side
// (front faces are clockwise as the device sees them).
std::string QuadsX(const std::vector<Quad>& quads, const std::vector<Colour>& materials)
{
    std::vector<Vec3> vs, ns;
    std::vector<int> tris, faceMaterials;
    for (const Quad& q : quads) {
        const int base = int(vs.size());
        for (const Vec3& c : q.corner) {
            vs.push_back(c);
            ns.push_back(q.normal);
        }
        const bool ahead = Dot(Cross(Sub(q.corner[1], q.corner[0]), Sub(q.corner[2], q.corner[0])), q.normal) > 0;
        if (ahead)
            tris.insert(tris.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
        else
            tris.insert(tris.end(), {base, base + 2, base + 1, base, base + 3, base + 2});
        faceMaterials.insert(faceMaterials.end(), {q.material, q.material});
    }
    const size_t faces = tris.size() / 3;
    auto faceList = [&](const std::string& indent) {
        std::string s = indent + std::to_string(faces) + ";\n";
        for (size_t f = 0; f < faces; ++f)
            s += indent + "3;" + std::to_string(tris[f * 3]) + "," + std::to_string(tris[f * 3 + 1]) + "," +
                 std::to_string(tris[f * 3 + 2]) + (f + 1 < faces ? ";,\n" : ";;\n");
        return s;
    };
    std::string s = "xof 0303txt 0032\n\nMesh Hangar {\n " + std::to_string(vs.size()) + ";\n";
    for (size_t i = 0; i < vs.size(); ++i) s += " " + V3(vs[i]) + (i + 1 < vs.size() ? ";,\n" : ";;\n");
    s += faceList(" ");
    s += " MeshNormals {\n  " + std::to_string(ns.size()) + ";\n";
    for (size_t i = 0; i < ns.size(); ++i) s += "  " + V3(ns[i]) + (i + 1 < ns.size() ? ";,\n" : ";;\n");
    s += faceList("  ");
    s += " }\n MeshMaterialList {\n  " + std::to_string(materials.size()) + ";\n  " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f)
        s += "  " + std::to_string(faceMaterials[f]) + (f + 1 < faces ? ",\n" : ";\n");
    for (const Colour& c : materials)
        s += "  Material {\n   " + F(c.r) + ";" + F(c.g) + ";" + F(c.b) + ";1.0;;\n   10.0;\n   0.1;0.1;0.1;;\n" +
             "   0.0;0.0;0.0;;\n  }\n";
    s += " }\n}\n";
    return s;
}

// A small, dark hall: inside the battle's white fog (12 out) its walls stay
// dark behind the menus, so their light text reads.
constexpr float kHalf = 3.4f;    // the floor runs from -3.4 to 3.4
constexpr float kHeight = 4.5f;  // walls

// The four walls, seen from inside.
void AddWalls(std::vector<Quad>& quads, int material)
{
    const float h = kHalf, t = kHeight;
    quads.push_back({{Vec3(-h, 0, -h), Vec3(h, 0, -h), Vec3(h, t, -h), Vec3(-h, t, -h)}, Vec3(0, 0, 1), material});
    quads.push_back({{Vec3(-h, 0, h), Vec3(h, 0, h), Vec3(h, t, h), Vec3(-h, t, h)}, Vec3(0, 0, -1), material});
    quads.push_back({{Vec3(-h, 0, -h), Vec3(-h, 0, h), Vec3(-h, t, h), Vec3(-h, t, -h)}, Vec3(1, 0, 0), material});
    quads.push_back({{Vec3(h, 0, -h), Vec3(h, 0, h), Vec3(h, t, h), Vec3(h, t, -h)}, Vec3(-1, 0, 0), material});
}

std::string Building()
{
    std::vector<Quad> quads;
    const float h = kHalf;
    // The floor in 2 x 2 tiles of two greys, so the camera's drift shows.
    for (int i = -4; i < 4; ++i)
        for (int j = -4; j < 4; ++j) {
            const float x0 = float(i) * 2, z0 = float(j) * 2;
            quads.push_back({{Vec3(x0, 0, z0), Vec3(x0 + 2, 0, z0), Vec3(x0 + 2, 0, z0 + 2), Vec3(x0, 0, z0 + 2)},
                             Vec3(0, 1, 0), (i + j) & 1});
        }
    AddWalls(quads, 2);
    quads.push_back({{Vec3(-h, kHeight, -h), Vec3(h, kHeight, -h), Vec3(h, kHeight, h), Vec3(-h, kHeight, h)},
                     Vec3(0, -1, 0), 2});
    return QuadsX(quads, {{0.80f, 0.80f, 0.78f}, {0.70f, 0.70f, 0.68f}, {0.10f, 0.11f, 0.16f}});
}

std::string ShadowShell()
{
    std::vector<Quad> quads;
    AddWalls(quads, 0);
    return QuadsX(quads, {{0.5f, 0.5f, 0.5f}});
}

// A robot's selection model, shown as it is when it has no hangar model.
std::string HangarModel(const std::string& hod)
{
    if (hod.size() < 3 + 4 + 4 + 4 + 256 + 64 || hod.compare(0, 3, "HOD") != 0) return {};
    return hod;
}

bool Write(const std::string& path, std::string bytes, u32 key)
{
    if (key != 0) XorWords(bytes.data(), u32(bytes.size()), key);
    if (plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size())) return true;
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

bool MakeHangarData(const char* runFolder)
{
    const std::string root = runFolder;
    const std::string dir = root + "/X/hangar";
    plat::CreateDirectory((root + "/X").c_str());
    if (!plat::CreateDirectory(dir.c_str()) && !plat::PathExists(dir.c_str())) {
        std::fprintf(stderr, "cannot create %s\n", dir.c_str());
        return false;
    }
    bool ok = Write(dir + "/hangar.x", Building(), MeshKey);
    ok &= Write(dir + "/hangar_shadowmap.x", ShadowShell(), MeshKey);
    // A robot without a hangar model of its own shows its selection preview
    // (our own robots' are made with their preview).
    for (u32 type = 1; type <= 99; ++type) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "/robo/robo%02u", type);
        const std::string robot = root + folder;
        std::string hod;
        if (!plat::ReadWholeFile((robot + "/robo.hod").c_str(), hod)) continue;
        const std::string model = HangarModel(hod);
        if (model.empty()) {
            std::fprintf(stderr, "cannot read %s/robo.hod\n", robot.c_str());
            ok = false;
        } else if (!plat::PathExists((robot + "/hangar.hod").c_str())) {
            ok &= Write(robot + "/hangar.hod", model, 0);
        }
    }
    return ok;
}
