// Sample robot types: 22 folders built from four body designs (balanced,
// armoured, winged, artillery). Each folder holds its own node meshes (a root
// with four materials, "Body_d.x", "Body.x", "Head.x", "Shield_point.x",
// arms, legs, gun, sword, backpack, burners and weapon points), the hit hulls
// "hit.x" and "hitUp.x", "face.png", "face2.png", "Select.png", "Script.spt" and "Script.ani". Even types
// carry a HOD model with Ver.1 keys ("ANI"), odd types an HD2 model with
// Ver.2 keys ("AN2"). Every action the robot states start has a script, and
// between them the types call every fire procedure meant for use.
#include "tools/RobotData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "platform/core/Types.h"
#include "tools/DataBytes.h"
#include "tools/PngWriter.h"

namespace {

// ---- bytes -------------------------------------------------------------------

// A zero-filled text field of n bytes.
void PutText(std::string& s, const std::string& text, size_t n)
{
    std::string field(n, '\0');
    std::memcpy(field.data(), text.data(), std::min(text.size(), n - 1));
    s += field;
}

bool WriteFile(const std::string& path, std::string data, u32 key)
{
    if (key != 0) XorWords(data.data(), static_cast<u32>(data.size()), key);
    if (!plat::WriteFileAtomic(path.c_str(), data.data(), data.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

std::string F(f32 v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(v));
    return buf;
}

// ---- meshes --------------------------------------------------------------------

struct Colour {
    f32 r, g, b;
};

// A box of half sizes h with its faces spread over the given materials; the
// last material of four glows (emissive) so recolouring keeps a lit part.
// drop lowers it below its node, so a limb hangs from its joint.
std::string BoxMesh(const Vec3& h, const std::vector<Colour>& materials, f32 drop = 0.0f)
{
    const f32 n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    const f32 half[3] = {h.x, h.y, h.z};
    std::string pos, nor, uv, faces, faceMat;
    for (int f = 0; f < 6; ++f) {
        const int axis = n[f][0] != 0 ? 0 : (n[f][1] != 0 ? 1 : 2);
        const int a = (axis + 1) % 3, b = (axis + 2) % 3;
        const f32 corners[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
        for (int c = 0; c < 4; ++c) {
            f32 p[3];
            for (int k = 0; k < 3; ++k) {
                const f32 ax = k == a ? corners[c][0] : 0.0f;
                const f32 ay = k == b ? corners[c][1] : 0.0f;
                p[k] = (n[f][k] + ax + ay) * half[k] - (k == 1 ? drop : 0.0f);
            }
            const bool last = f == 5 && c == 3;
            pos += " " + F(p[0]) + ";" + F(p[1]) + ";" + F(p[2]) + (last ? ";;\n" : ";,\n");
            nor += "  " + F(n[f][0]) + ";" + F(n[f][1]) + ";" + F(n[f][2]) + (last ? ";;\n" : ";,\n");
            uv += "  " + F(corners[c][0] * 0.5f + 0.5f) + ";" + F(corners[c][1] * 0.5f + 0.5f) + (last ? ";;\n" : ";,\n");
        }
        const int base = f * 4;
        const bool out = n[f][axis] > 0;
        const int t[6] = {base, out ? base + 2 : base + 1, out ? base + 1 : base + 2,
                          base, out ? base + 3 : base + 2, out ? base + 2 : base + 3};
        for (int k = 0; k < 2; ++k) {
            const bool lastFace = f == 5 && k == 1;
            faces += " 3;" + std::to_string(t[k * 3]) + "," + std::to_string(t[k * 3 + 1]) + "," +
                     std::to_string(t[k * 3 + 2]) + (lastFace ? ";;\n" : ";,\n");
            faceMat += "  " + std::to_string((f * 2 + k) % materials.size()) + (lastFace ? ";\n" : ",\n");
        }
    }
    std::string s = "xof 0303txt 0032\n\nMesh {\n 24;\n" + pos + " 12;\n" + faces;
    std::string normalFaces = faces;
    s += " MeshNormals {\n  24;\n" + nor + "  12;\n" + normalFaces + " }\n";
    s += " MeshTextureCoords {\n  24;\n" + uv + " }\n";
    s += " MeshMaterialList {\n  " + std::to_string(materials.size()) + ";\n  12;\n" + faceMat;
    for (size_t i = 0; i < materials.size(); ++i) {
        const Colour& c = materials[i];
        const bool glow = i == 3;
        s += "  Material {\n   " + F(c.r) + ";" + F(c.g) + ";" + F(c.b) + ";1.0000;;\n   12.0000;\n   " +
             F(c.r * 0.5f) + ";" + F(c.g * 0.5f) + ";" + F(c.b * 0.5f) + ";;\n   " +
             (glow ? F(c.r) + ";" + F(c.g) + ";" + F(c.b) : std::string("0.0000;0.0000;0.0000")) + ";;\n  }\n";
    }
    s += " }\n}\n";
    return s;
}

// ---- body designs --------------------------------------------------------------

enum Role {
    RoleRoot, RoleWaist, RoleChest, RoleHead, RoleArmR, RoleArmL, RoleLegL, RoleLegR, RoleBack, RoleGun, RoleFixed
};

struct Part {
    std::string name;
    int parent;
    Vec3 at;
    Vec3 half;
    int materials;
    Role role;
};

std::vector<Part> Design(int design, f32 s)
{
    // Proportions per design: shoulder width, limb length, bulk.
    const f32 width[4] = {0.45f, 0.6f, 0.4f, 0.55f};
    const f32 limb[4] = {0.55f, 0.5f, 0.65f, 0.5f};
    const f32 bulk[4] = {0.3f, 0.42f, 0.25f, 0.36f};
    const f32 w = width[design] * s, l = limb[design] * s, b = bulk[design] * s;
    std::vector<Part> p = {
        {"Frame.x", -1, Vec3(0, 0, 0), Vec3(0.3f * s, 0.05f * s, 0.3f * s), 4, RoleRoot},
        {"Body_d.x", 0, Vec3(0, 2.0f * l, 0), Vec3(b, 0.2f * s, b * 0.8f), 2, RoleWaist},
        {"Body.x", 1, Vec3(0, 0.45f * s, 0), Vec3(w * 0.8f, 0.35f * s, b), 2, RoleChest},
        {"Head.x", 2, Vec3(0, 0.55f * s, 0), Vec3(0.15f * s, 0.15f * s, 0.17f * s), 2, RoleHead},
        {"Arm_R.x", 2, Vec3(w, 0.2f * s, 0), Vec3(0.1f * s, l * 0.5f, 0.1f * s), 1, RoleArmR},
        {"Gun.x", 4, Vec3(0, -l * 0.8f, 0.15f * s), Vec3(0.06f * s, 0.06f * s, 0.35f * s), 1, RoleGun},
        {"Gun_point.x", 5, Vec3(0, 0, 0.4f * s), Vec3(0.02f, 0.02f, 0.02f), 1, RoleFixed},
        {"Sword.x", 4, Vec3(0, -l * 0.8f, 0.3f * s), Vec3(0.03f * s, 0.03f * s, 0.6f * s), 1, RoleFixed},
        {"Arm_L.x", 2, Vec3(-w, 0.2f * s, 0), Vec3(0.1f * s, l * 0.5f, 0.1f * s), 1, RoleArmL},
        {"Shield_point.x", 8, Vec3(-0.1f * s, -l * 0.6f, 0.1f * s), Vec3(0.04f * s, 0.3f * s, 0.25f * s), 1,
         RoleFixed},
        {"Back.x", 2, Vec3(0, 0.05f * s, -b - 0.1f * s), Vec3(w * 0.6f, 0.25f * s, 0.12f * s), 1, RoleBack},
        {"Burner_L.x", 10, Vec3(-0.2f * s, -0.25f * s, -0.1f * s), Vec3(0.06f * s, 0.1f * s, 0.06f * s), 1, RoleFixed},
        {"Burner_R.x", 10, Vec3(0.2f * s, -0.25f * s, -0.1f * s), Vec3(0.06f * s, 0.1f * s, 0.06f * s), 1, RoleFixed},
        {"Back_point.x", 10, Vec3(0, 0.3f * s, 0), Vec3(0.02f, 0.02f, 0.02f), 1, RoleFixed},
        {"Leg_L.x", 1, Vec3(-b * 0.6f, 0, 0), Vec3(0.12f * s, l, 0.14f * s), 1, RoleLegL},
        {"Leg_R.x", 1, Vec3(b * 0.6f, 0, 0), Vec3(0.12f * s, l, 0.14f * s), 1, RoleLegR},
    };
    if (design == 1) {
        p.push_back({"Shoulder_L.x", 2, Vec3(-w - 0.1f * s, 0.35f * s, 0), Vec3(0.2f * s, 0.12f * s, 0.2f * s), 1,
                     RoleFixed});
        p.push_back({"Shoulder_R.x", 2, Vec3(w + 0.1f * s, 0.35f * s, 0), Vec3(0.2f * s, 0.12f * s, 0.2f * s), 1,
                     RoleFixed});
    } else if (design == 2) {
        p.push_back({"Wing_L.x", 10, Vec3(-0.5f * s, 0.1f * s, 0), Vec3(0.45f * s, 0.04f * s, 0.2f * s), 1,
                     RoleFixed});
        p.push_back({"Wing_R.x", 10, Vec3(0.5f * s, 0.1f * s, 0), Vec3(0.45f * s, 0.04f * s, 0.2f * s), 1,
                     RoleFixed});
    } else if (design == 3) {
        p.push_back({"Cannon.x", 10, Vec3(0.35f * s, 0.35f * s, 0), Vec3(0.08f * s, 0.08f * s, 0.6f * s), 1,
                     RoleFixed});
        p.push_back({"Cannon_point.x", static_cast<int>(p.size()) - 1, Vec3(0, 0, 0.65f * s), Vec3(0.02f, 0.02f, 0.02f),
                     1, RoleFixed});
    }
    return p;
}

// Parts in the depth-first order the model readers use.
void Order(const std::vector<Part>& parts, int at, std::vector<int>& out)
{
    out.push_back(at);
    for (int i = 0; i < static_cast<int>(parts.size()); ++i)
        if (parts[i].parent == at) Order(parts, i, out);
}

int ChildCount(const std::vector<Part>& parts, int at)
{
    int n = 0;
    for (const Part& p : parts) n += p.parent == at;
    return n;
}

// ---- poses -------------------------------------------------------------------

Quat AxisAngle(const Vec3& axis, f32 radians)
{
    Mat4 m;
    plat::MatrixRotationAxis(&m, &axis, radians);
    Quat q;
    plat::QuaternionRotationMatrix(&q, &m);
    return q;
}

bool Looping(int a)
{
    const int base = a >= 50 && a < 100 ? a - 50 : a;
    return base == 0 || base == 1 || base == 7 || base == 8 || (base >= 9 && base <= 12) || base == 19 ||
           base == 22 || base == 25;
}

// Firing poses lift the arms only partly forward: the muzzle stays at chest
// height, where a level shot meets robots both taller and shorter.
constexpr f32 kAimRaise = -0.6f;

// Rotation and extra offset of one part in key k of n of animation a.
void Pose(int a, int k, int n, Role role, Quat* rotation, Vec3* offset)
{
    if (role == RoleGun) {
        // The hand holds the gun level with the chest however the arm is
        // raised, so shots leave toward what the robot faces, not skyward.
        Quat arm;
        Pose(a, k, n, RoleArmR, &arm, offset);
        *offset = Vec3();
        *rotation = Quat(-arm.x, -arm.y, -arm.z, arm.w);
        return;
    }
    const int base = a >= 50 && a < 100 ? a - 50 : a;
    const f32 t = n > 1 ? static_cast<f32>(k) / static_cast<f32>(n - 1) : 0.0f;
    const f32 swing = std::sin(6.2831853f * static_cast<f32>(k) / static_cast<f32>(n > 0 ? n : 1));
    const Vec3 X(1, 0, 0), Z(0, 0, 1);
    f32 angle = 0.0f;
    Vec3 axis = X;
    *offset = Vec3();
    auto is = [&](std::initializer_list<int> list) {
        for (int v : list)
            if (v == base) return true;
        return false;
    };
    if (base == 0) {
        if (role == RoleWaist) *offset = Vec3(0, 0.03f * swing, 0);
    } else if (base == 1) {
        if (role == RoleLegL || role == RoleArmR) angle = 0.5f * swing;
        if (role == RoleLegR || role == RoleArmL) angle = -0.5f * swing;
    } else if (is({3, 7, 22, 25})) {
        if (role == RoleLegL || role == RoleLegR) angle = -0.6f;
    } else if (is({8, 24, 26})) {
        if (role == RoleLegL || role == RoleLegR) angle = -0.3f;
        if (role == RoleArmL) axis = Z, angle = 0.4f;
        if (role == RoleArmR) axis = Z, angle = -0.4f;
    } else if (is({5, 20, 27})) {
        if (role == RoleWaist) *offset = Vec3(0, -0.2f * (1.0f - t), 0);
    } else if (base == 6) {
        if (role == RoleChest) angle = -0.3f * (1.0f - t);
    } else if (base >= 9 && base <= 12) {
        if (role == RoleChest) {
            axis = base == 9 || base == 10 ? Z : X;
            angle = base == 9 ? 0.3f : (base == 10 ? -0.3f : (base == 11 ? 0.3f : -0.2f));
        }
    } else if (is({13, 14})) {
        if (role == RoleChest) angle = -0.5f * (1.0f - t);
    } else if (base == 15) {
        if (role == RoleRoot) angle = -1.2f * t;
    } else if (base == 16) {
        if (role == RoleRoot) angle = -1.5707964f, *offset = Vec3(0, 0.3f, 0);
    } else if (base == 17) {
        if (role == RoleRoot) angle = -1.5707964f * (1.0f - t);
    } else if (is({18, 130, 131, 132, 141, 146, 151})) {
        if (role == RoleArmR) angle = -1.5f + 2.3f * t;
    } else if (base == 19) {
        if (role == RoleArmL) angle = -1.2f;
    } else if (is({21, 104, 105, 109, 110, 111, 112, 116, 117, 118})) {
        if (role == RoleArmL || role == RoleArmR) angle = kAimRaise;
    } else if (a >= 100) {
        if (role == RoleArmR) angle = kAimRaise;
        if (role == RoleChest) axis = Vec3(0, 1, 0), angle = a == 101 ? 0.4f : (a == 102 ? -0.4f : 0.0f);
    }
    if (a == 68 && role == RoleArmR) axis = X, angle = kAimRaise;
    *rotation = angle != 0.0f ? AxisAngle(axis, angle) : Quat();
}

Mat4 Local(const Part& p, const Quat& rotation, const Vec3& offset)
{
    const Vec3 scale(1, 1, 1);
    const Vec3 at = p.at + offset;
    Mat4 m;
    plat::MatrixScaleRotateTranslate(&m, &scale, &rotation, &at);
    return m;
}

// ---- scripts -------------------------------------------------------------------

struct Entry {
    i32 wait;
    std::string text;
};

struct TypeSpec {
    const char* name;
    int design;
    f32 scale;
    i32 hp, generator, energy, score, restBody, lockDist;
    Colour main, sub;
};

// The first robot a new player is offered carries a spare body more, and the
// artillery type, which an arcade story's first stage sets two at a time
// against a new player, is frailer, so that a plain player clears Easy's
// first stage; Hard's stronger enemies still beat him about half the time.
const TypeSpec kTypes[kSampleRobotTypes] = {
    {"Vanguard", 0, 1.0f, 800, 1200, 1000, 100, 3, 80, {0.9f, 0.9f, 0.95f}, {0.2f, 0.3f, 0.8f}},
    {"Bastion", 1, 1.15f, 1100, 1000, 900, 150, 1, 70, {0.35f, 0.4f, 0.3f}, {0.8f, 0.7f, 0.2f}},
    {"Kestrel", 2, 0.95f, 650, 1600, 1000, 120, 2, 90, {0.8f, 0.2f, 0.2f}, {0.9f, 0.9f, 0.9f}},
    {"Rampart", 3, 1.1f, 650, 900, 1400, 140, 1, 100, {0.4f, 0.35f, 0.3f}, {0.9f, 0.5f, 0.1f}},
    {"Lancer", 0, 1.0f, 750, 1300, 1000, 110, 2, 80, {0.2f, 0.6f, 0.3f}, {0.9f, 0.9f, 0.2f}},
    {"Goliath", 1, 1.25f, 1300, 900, 1000, 180, 1, 70, {0.5f, 0.5f, 0.55f}, {0.6f, 0.1f, 0.1f}},
    {"Seraph", 2, 1.0f, 900, 1500, 1300, 200, 1, 100, {0.95f, 0.95f, 1.0f}, {0.9f, 0.75f, 0.2f}},
    {"Warden", 3, 1.05f, 950, 1000, 1300, 160, 1, 110, {0.15f, 0.2f, 0.35f}, {0.3f, 0.8f, 0.9f}},
    {"Phantom", 0, 0.95f, 700, 1500, 1100, 170, 2, 90, {0.12f, 0.12f, 0.15f}, {0.7f, 0.1f, 0.8f}},
    {"Tortoise", 1, 1.2f, 1200, 800, 900, 130, 1, 70, {0.3f, 0.5f, 0.35f}, {0.7f, 0.6f, 0.4f}},
    {"Falcon", 2, 0.9f, 600, 1700, 1000, 120, 3, 90, {0.2f, 0.5f, 0.9f}, {1.0f, 1.0f, 1.0f}},
    {"Titan", 3, 1.3f, 1500, 1000, 1500, 250, 1, 120, {0.6f, 0.55f, 0.4f}, {0.9f, 0.2f, 0.1f}},
    {"Ranger", 0, 1.0f, 780, 1250, 1050, 105, 2, 85, {0.5f, 0.45f, 0.3f}, {0.2f, 0.35f, 0.2f}},
    {"Sentinel", 1, 1.1f, 1050, 1000, 1000, 145, 1, 75, {0.85f, 0.85f, 0.8f}, {0.1f, 0.5f, 0.6f}},
    {"Swift", 2, 0.9f, 620, 1800, 950, 115, 3, 90, {0.9f, 0.6f, 0.1f}, {0.1f, 0.1f, 0.1f}},
    {"Howitzer", 3, 1.15f, 1050, 900, 1600, 190, 1, 130, {0.3f, 0.3f, 0.25f}, {0.8f, 0.8f, 0.3f}},
    {"Paladin", 0, 1.05f, 1000, 1400, 1200, 220, 1, 90, {0.9f, 0.85f, 0.6f}, {0.2f, 0.2f, 0.6f}},
    {"Bulwark", 1, 1.2f, 1150, 950, 950, 155, 1, 70, {0.45f, 0.2f, 0.15f}, {0.85f, 0.85f, 0.85f}},
    {"Harrier", 2, 0.95f, 680, 1600, 1050, 125, 2, 95, {0.3f, 0.3f, 0.6f}, {0.9f, 0.3f, 0.3f}},
    {"Mortar", 3, 1.1f, 980, 950, 1450, 150, 1, 120, {0.55f, 0.6f, 0.5f}, {0.2f, 0.2f, 0.2f}},
    {"Dominion", 1, 1.35f, 1600, 1200, 1600, 300, 1, 110, {0.2f, 0.05f, 0.05f}, {0.95f, 0.7f, 0.1f}},
    {"Valkyrie", 2, 1.0f, 1000, 1800, 1400, 280, 1, 110, {0.95f, 0.95f, 0.95f}, {0.4f, 0.1f, 0.7f}},
};

// Ten colour sets from the type's own two colours and eight fixed schemes.
Colour SetColour(const TypeSpec& t, int set, int material)
{
    static const Colour schemes[8][2] = {
        {{0.9f, 0.1f, 0.1f}, {0.2f, 0.2f, 0.2f}}, {{0.1f, 0.3f, 0.9f}, {0.9f, 0.9f, 0.9f}},
        {{0.1f, 0.6f, 0.2f}, {0.9f, 0.8f, 0.2f}}, {{0.15f, 0.15f, 0.15f}, {0.9f, 0.1f, 0.5f}},
        {{0.95f, 0.95f, 0.95f}, {0.1f, 0.6f, 0.9f}}, {{0.6f, 0.4f, 0.2f}, {0.3f, 0.3f, 0.1f}},
        {{0.5f, 0.1f, 0.7f}, {0.9f, 0.9f, 0.3f}}, {{0.9f, 0.5f, 0.1f}, {0.1f, 0.1f, 0.4f}},
    };
    const Colour a = set < 2 ? t.main : schemes[set - 2][0];
    const Colour b = set < 2 ? t.sub : schemes[set - 2][1];
    if (set == 1) return material % 2 ? a : b;  // the type's colours swapped
    switch (material) {
    case 0: return a;
    case 1: return b;
    case 2: return {a.r * 0.5f, a.g * 0.5f, a.b * 0.5f};
    default: return {b.r * 0.8f + 0.2f, b.g * 0.8f + 0.2f, b.b * 0.8f + 0.2f};
    }
}

// The fire procedures every type may call: weapons 1..33, effects and part sets 51..62.
// Procedure 17 is one the game warns is not for use; its neighbour laser
// 14 stands in for it.
int WeaponProc(int type, int slot)
{
    const int proc = 1 + (type * 4 + slot) % 33;
    return proc == 17 ? 14 : proc;
}
int EffectProc(int type) { return 51 + type % 12; }

// The ten arguments each fire procedure gets: its muzzle point, energy cost
// and eight of its own. A row whose first value is kCallSite keeps what the
// action passes (point, cost and three tuning values, the rest 0); a
// procedure's row gives arguments that make it fire and hit in the sample
// battles. A procedure with several rows is called once per row, in table
// order, at each of its call sites (the effect selector shows every effect).
constexpr int kCallSite = -99999;
struct ProcArgs {
    int proc;
    int args[10];
};
const ProcArgs kProcArgs[] = {
    {1, {0, 60, 20, 80, 25, 100, 15, 1, 0, 0}},
    {2, {0, 60, 0, 0, 0, 0, 0, 0, 0, 0}},
    {3, {0, 80, 0, 0, 0, 0, 0, 0, 0, 0}},
    {4, {0, 100, 0, 0, 0, 0, 0, 0, 0, 0}},
    {5, {1, 150, 0, 0}},
    {6, {0, 30, 0, 10, 2, 20, 0, 0, 0, 0}},
    {7, {0, 150}},
    {8, {0, 200}},
    {9, {0, 100, 0, 0, 0, 0, 0, 0, 0, 0}},
    {10, {0, 100, 0, 0, 0, 0, 0, 0, 0, 0}},
    {11, {0, 30, 0, 0, 0, 0, 0, 0, 0, 0}},
    {12, {0, 60, 0, 0, 0, 0, 0, 0, 0, 0}},
    {13, {0, 80, 0, 0, 0, 0, 0, 0, 0, 0}},
    {14, {0, 60, 20, 80, 25, 100, 15, 0, 0, 0}},
    {15, {0, 200}},
    {16, {0, 150}},
    {17, {0, 100, 25, 7, 0, 0, 0, 0, 0, 0}},
    {18, {0, 100, 0, 0, 2, 0, 0, 0, 0, 0}},
    {19, {0, 100, 0, 0, 0, 0, 0, 0, 0, 0}},
    {20, {0, 80, 0, 0, 0, 0, 0, 0, 0, 0}},
    {21, {0, 80, 0, 0, 0, 0, 0, 0, 0, 0}},
    {22, {1, 200}},
    {23, {0, 150}},
    {24, {0, 150, 30, 150, 90, 7, 100, 0, 0, 0}},
    {25, {0, 150, 30, 150, 90, 7, 0, 10, 0, 0}},
    {26, {0, 100, 150, 0, 0, 0, 0, 0, 0, 0}},
    {27, {0, 100}},
    {28, {0, 150, 30, 200, 60, 7, 0, 10, 0, 0}},
    {29, {0, 150, 0, 2}},
    {30, {0, 100, 0, 0}},
    {30, {0, 100, 1, 2}},
    {31, {0, 150, 0, 0}},
    {32, {0, 150, 0}},
    {33, {1, 150, 0}},
    {51, {0}},
    {52, {0}},
    {53, {0}},
    {54, {0}},
    {55, {0, 250, 12, 13, 50, 0, 0, 0, 0, 90}},
    {56, {0}},
    {57, {0, 250, 0, 11, 12, 0, 0, 0, 0, 20}},
    {58, {0, 45}},
    {59, {0}},
    {60, {0, 5, 12, 40, 4, 15, 25}},
    {61, {1}},
    {62, {0, 0, 120, 300, 400, 0, 1, 100}},
    {62, {0, 1, 1000}},
    {62, {0, 2}},
    {62, {1, 3, 30, 120}},
    {62, {0, 4, 1, 5, 1, 4, 0}},
    {62, {0, 5, 0, 20}},
    {62, {0, 6, 20, 300, 10, 10, 10}},
    {62, {0, 7, 0, 100, 41, 4, 4}},
};

// What a weapon procedure's shot hits with: power, down value, knock-back
// and lift. Rapid beams and bullets are light, missiles, lasers and thrown
// blades heavier, shells, bombs and blasts heaviest; the split missile's
// carrier hits with ten times the power and its warheads with the power
// itself. Effects and materials deal nothing and keep what a blade set.
std::string AttackFor(int proc)
{
    static const char* const kLight = "ATTACK(40, 20, 0.02, 0.0); ";
    static const char* const kHeavy = "ATTACK(60, 50, 0.05, 0.0); ";
    static const char* const kHeaviest = "ATTACK(90, 100, 0.1, 0.0); ";
    switch (proc) {
    case 1: case 2: case 5: case 6: case 8: case 11: case 12: case 13: case 15: case 21: case 22:
        return kLight;
    case 3: case 7: case 10: case 14: case 17: case 19: case 20: case 23: case 24: case 25: case 28: case 29:
    case 31: case 32: case 33:
        return kHeavy;
    case 9: case 16: case 18: case 26: case 27:
        return kHeaviest;
    case 4:
        return "ATTACK(9, 100, 0.1, 0.0); ";
    default:
        return "";
    }
}

std::string Fire(int proc, int point, int cost, int a2, int a3, int a4)
{
    auto call = [proc](const int (&args)[10]) {
        std::string text = "WeaponAttack2(0, " + std::to_string(proc);
        for (int a : args) text += ", " + std::to_string(a);
        return text + ");";
    };
    std::string text;
    for (const ProcArgs& row : kProcArgs)
        if (row.proc == proc && row.args[0] != kCallSite) text += (text.empty() ? "" : " ") + call(row.args);
    if (!text.empty()) return AttackFor(proc) + text;
    const int args[10] = {point, cost, a2, a3, a4, 0, 0, 0, 0, 0};
    return AttackFor(proc) + call(args);
}

// The entries of every scripted action of one type.
std::vector<std::pair<int, std::vector<Entry>>> Scripts(int type, const TypeSpec& t)
{
    std::vector<std::pair<int, std::vector<Entry>>> s;
    auto add = [&](int a, std::vector<Entry> e) { s.emplace_back(a, std::move(e)); };
    const bool swordSet = t.design == 0;
    const int shot = WeaponProc(type, 0), sub1 = WeaponProc(type, 1), sub2 = WeaponProc(type, 2),
              sub3 = WeaponProc(type, 3), effect = EffectProc(type);
    const int cannonPoint = t.design == 3 ? 3 : 1;

    add(0, {{60, "AnimeLoop=1; Move=(0, 0, STOP);"}});
    add(1, {{40, "AnimeLoop=1; Move=(0, 0, 0.25);"}});
    // Jumps lift on the scripts' force; the rise is held at its climb limit.
    add(3, {{6, "Force=(0, 0.04, 0); Snd(1);"}, {4, ""}});
    add(5, {{10, "Move=(STOP, 0, STOP); Snd(2);"}});
    add(6, {{14, "Move=(0, 0, 0.1); BURNER(0, 0.3); BURNER(1, 0.3);"}});
    add(7, {{30, "AnimeLoop=1; ExecScriptEveryTime(4); Force=(0, 0.03, 0); BURNER(0, 1.0); BURNER(1, 1.0);"}});
    add(8, {{30, "AnimeLoop=1; GvEnable=1;"}});
    // A dash runs along the robot's facing, which the dash turns the way it goes.
    for (int d = 0; d < 4; ++d)
        add(9 + d, {{60, "AnimeLoop=1; BoostDashMode=1; BURNER(0, 1.5); BURNER(1, 1.5); Move=(0, 0, 0.6);"}});
    add(13, {{18, "Voice(Damage); Move=(0, 0, -0.1);"}});
    add(14, {{18, "Voice(Damage); Move=(0, 0.05, -0.1);"}});
    add(15, {{36, "Voice(Die); Move=(0, 0.1, -0.3);"}, {4, ""}});
    add(16, {{40, "Rnd(10, 0, 2); CamEffect=0;"}, {20, ""}});
    add(17, {{24, "Voice(Wake); Move=(0, 0, STOP);"}});
    add(18, {{6, "ATTACK(110, 30, 0.3, 0.1); SwordEnable=1; Snd(4);"}, {14, "SwordEnable=0;"}});
    add(19, {{30, "AnimeLoop=1; Shield1234=1; LaserReflect=20;"}});
    add(20, {{18, "Move=(0, 0.2, -0.3);"}});
    add(21, {{8, ""}, {1, Fire(sub3, 2, 150, 120, 60, 40)}, {18, "Shield1234=0;"}});
    add(22, {{40, "BURNER(0, 2.0); BURNER(1, 2.0); Move=(0, 0.1, 0.4); Sub_LRKey=1.5;"}});
    add(24, {{10, "BURNER(0, 0.5);"}});
    add(25, {{40, "BURNER(0, 2.0); BURNER(1, 2.0); Move=(0, -0.05, 0.5);"}});
    add(26, {{10, "BURNER(1, 0.5);"}});
    add(27, {{20, "Move=(0, 0, -0.4); ShotTurnAng=0.0;"}});

    // Shots alternate muzzles through a script variable.
    const std::string shotLine = "IF(@int[0], ==, 0); " + Fire(shot, 0, 100, 150, 50, 30) + " @int[0]=1; ELSE; " +
                                 Fire(shot, 0, 100, 150, 50, 30) + " @int[0]=0; ENDIF;";
    add(100, {{8, "ShotTurnAng=10.0; Voice(Attack);"}, {1, shotLine}, {20, ""}});
    add(101, {{29, ""}});
    add(102, {{29, ""}});
    add(103, {{10, "ShotTurnAng=180.0;"}, {1, Fire(shot, 0, 100, 150, 50, 30)}, {24, ""}});
    add(104, {{10, "Voice(S_Attack);"}, {1, Fire(sub1, 1, 200, 120, 80, 40)}, {30, ""}});
    add(105, {{12, ""}, {1, Fire(sub2, cannonPoint, 250, 180, 90, 50)}, {30, ""}});
    add(109, {{12, "CamEffect=1;"}, {1, Fire(sub3, 0, 300, 200, 100, 60)}, {1, Fire(effect, 0, 0, 100, 0, 0)},
              {36, "CamEffect=0;"}});
    add(106, {{6, ""}, {1, Fire(shot, 0, 100, 150, 50, 30)}, {18, ""}});
    add(107, {{25, ""}});
    add(108, {{25, ""}});
    for (int m = 0; m < 3; ++m) {
        const int proc = m == 0 ? sub1 : (m == 1 ? sub2 : sub3);
        add(110 + m, {{4, ""}, {1, Fire(proc, m == 1 ? cannonPoint : 1, 200, 120, 60, 40)}, {20, ""}});
        add(116 + m, {{4, ""}, {1, Fire(proc, 0, 200, 120, 60, 40)}, {20, ""}});
    }
    add(113, {{6, ""}, {1, Fire(WeaponProc(type, 1 + type % 3), 1, 150, 100, 50, 30)}, {20, ""}});
    add(130, {{4, "Move=(0, 0, 1.0); ATTACK(150, 50, 0.6, 0.2); SwordEnable=1; Snd(4);"}, {16, "SwordEnable=0;"}});
    // Once the blade is through, a saber press chains the second step.
    add(131, {{6, "ATTACK(120, 30, 0.3, 0.1); SwordEnable=1; Voice(Attack);"},
              {1, Fire(effect, 0, 0, 100, 0, 0)},
              {16, "SwordEnable=0; SwordCancel=132;"}});
    add(132, {{6, "ATTACK(130, 40, 0.4, 0.2); SwordEnable=1;"}, {16, "SwordEnable=0;"}});
    add(141, {{6, "ATTACK(120, 30, 0.3, 0.1); SwordEnable=1; Move=(-0.3, 0, 0.2);"}, {16, "SwordEnable=0;"}});
    add(146, {{6, "ATTACK(120, 30, 0.3, 0.1); SwordEnable=1; Move=(0.3, 0, 0.2);"}, {16, "SwordEnable=0;"}});
    add(151, {{6, "ATTACK(140, 60, 0.2, 0.5); SwordEnable=1;"}, {16, "SwordEnable=0;"}});
    if (swordSet) {
        // The sword set: the switch itself and the actions it replaces.
        add(23, {{2, "ChangeWeapon(SWORD);"}, {10, ""}});
        add(28, {{2, "ChangeWeapon(GUN);"}, {10, ""}});
        add(50, {{60, "AnimeLoop=1;"}});
        add(51, {{40, "AnimeLoop=1; Move=(0, 0, 0.3);"}});
        add(58, {{30, "AnimeLoop=1;"}});
        add(68, {{6, ""}, {1, Fire(shot, 0, 80, 150, 50, 30)}, {16, ""}});
    }
    return s;
}

// ---- files of one type -----------------------------------------------------------

std::string SettingsText(int type, const TypeSpec& t, const std::vector<Part>& parts)
{
    char line[256];
    std::string s = "' Sample robot settings\r\n";
    auto put = [&](const char* fmt, auto... args) {
        if constexpr (sizeof...(args) == 0) {
            s += fmt;
        } else {
            std::snprintf(line, sizeof line, fmt, args...);
            s += line;
        }
        s += "\r\n";
    };
    put("Name=%s;", t.name);
    put("NameEng=%s;", t.name);
    put("HP=%d;", t.hp);
    put("Generator=%d;", t.generator);
    put("Energy=%d;", t.energy);
    put("Score=%d;", t.score);
    put("RestBody=%d;", t.restBody);
    put("LockDist=%d;", t.lockDist);
    put("SubLockDist(0, %d);", t.lockDist + 20);
    put("SubLockDist(1, %d);", t.lockDist / 2);
    for (int set = 0; set < 10; ++set)
        for (int m = 0; m < 4; ++m) {
            const Colour c = SetColour(t, set, m);
            put("COLORSET(%d, %d, 1.0, %.3f, %.3f, %.3f);", set, m, static_cast<double>(c.r),
                static_cast<double>(c.g), static_cast<double>(c.b));
        }
    put("WEAPONPOINT(0, Gun_point.x, DOWN);");
    put("WEAPONPOINT(1, Back_point.x, UP);");
    put("WEAPONPOINT(2, Shield_point.x, DOWN);");
    bool cannon = false;
    for (const Part& p : parts) cannon |= p.name == "Cannon_point.x";
    if (cannon) put("WEAPONPOINT(3, Cannon_point.x, UP);");
    put("ETCPOINT(0, Head.x, UP);");
    put("ETCPOINT(1, Body_d.x, DOWN);");
    put("BURNERSET(0, Burner_L.x, %.2f, x);", 0.4 + 0.05 * (type % 4));
    put("BURNERSET(1, Burner_R.x, %.2f, x);", 0.4 + 0.05 * (type % 4));
    put("GUNFILENAME(0, Gun.x);");
    put("SWORDFILENAME(0, Sword.x);");
    put("ATTACKARMSET(0, Arm_R.x);");
    put("ATTACKARMSET(1, Arm_L.x);");
    put("AISetting(%d, %.1f);", type % 3, 30.0 + 2.0 * (type % 5));
    // Per weapon button: distances, chance (tenths of a per-mille a frame at the
    // top level) and the energy a try needs; the saber only close in. Every
    // type tries its gun alike: the heavy guns need no quicker trigger.
    put("AIWeaponSetting(0, 5.0, 70.0, %d, 0);", 150);
    put("AIWeaponSetting(1, 0.0, 12.0, %d, 0);", 120 + 10 * (type % 3));
    put("AIWeaponSetting(2, 15.0, 80.0, 60, 100);");
    put("AIWeaponSetting(3, 20.0, 80.0, 40, 200);");
    put("AIWeaponSetting(4, 5.0, 40.0, 30, 300);");
    // Every type carries the mesh its missiles and mesh shells are drawn with.
    put("LoadXFile(0, Extra0.x, 1);");
    if (type % 4 == 3) {
        put("BATTERY_SETTING(0, 1, Back.x, 0.5, 0.5, Burner_L.x, 1.0, 2.0, 3.0);");
    }
    if (type % 5 == 0) {
        put("Shader(2, 1, 0.5, 0.5, 0.5, 1.0, 0, 0, 0, 0, 0, 0);");
        put("ColorShader(3, 3, 1, 0.2, 0.8, 1.0, 1.0, 0, 0, 0, 0, 0, 0);");
    }
    put("@int[20]=%d;", type);
    return s;
}

std::string ModelStream(const std::vector<Part>& parts, const std::vector<int>& order, bool hd2)
{
    std::string s = hd2 ? "HD2" : "HOD";
    PutU32(s, hd2 ? 0 : 1);
    if (hd2) PutU32(s, 0);
    for (int i : order) {
        const Part& p = parts[i];
        const u32 level = [&] {
            u32 l = 0;
            for (int at = p.parent; at >= 0; at = parts[at].parent) ++l;
            return l;
        }();
        PutU32(s, level);
        PutU32(s, static_cast<u32>(ChildCount(parts, i)));
        PutText(s, p.name, 256);
        if (hd2) {
            PutQuat(s, Quat());
            PutVec3(s, Vec3(1, 1, 1));
            PutVec3(s, p.at);
            s.push_back(1);  // optionA
            PutVec3(s, Vec3(1, 1, 1));
            s.push_back(0);  // optionB
            s.push_back(0);  // hidden
            s.push_back(0);  // link mode: animated
            s += std::string(79, '\0');
        } else {
            PutMatrix(s, Local(p, Quat(), Vec3()));
        }
    }
    return s;
}

// One key: a whole HOD pose (Ver.1) or an HD2 key set (Ver.2).
std::string KeyData(const std::vector<Part>& parts, const std::vector<int>& order, bool hd2, int a, int k, int n)
{
    std::string s = hd2 ? "HD2" : "HOD";
    PutU32(s, 1);
    if (hd2) PutU32(s, 0);
    for (int i : order) {
        const Part& p = parts[i];
        Quat rotation;
        Vec3 offset;
        Pose(a, k, n, p.role, &rotation, &offset);
        if (hd2) {
            PutU32(s, 0);
            PutU32(s, 0);
            PutQuat(s, rotation);
            PutVec3(s, Vec3(1, 1, 1));
            PutVec3(s, p.at + offset);
            for (int q = 0; q < 3; ++q) PutQuat(s, Quat());
            s.push_back(static_cast<char>(Looping(a) ? 2 : 0));  // rotation: squad set up from neighbours
            s.push_back(0);
            s.push_back(static_cast<char>(Looping(a) ? 1 : 0));  // translation: Catmull-Rom
            s += std::string(80, '\0');
        } else {
            u32 level = 0;
            for (int at = p.parent; at >= 0; at = parts[at].parent) ++level;
            PutU32(s, level);
            PutU32(s, static_cast<u32>(ChildCount(parts, i)));
            PutText(s, p.name, 256);
            PutMatrix(s, Local(p, rotation, offset));
        }
    }
    return s;
}

std::string AnimationFile(int type, const TypeSpec& t, const std::vector<Part>& parts)
{
    const bool ver2 = type % 2 == 1;
    std::vector<int> order;
    Order(parts, 0, order);
    std::vector<std::vector<Entry>> scripts(200);
    std::vector<bool> animated(200, false);
    for (auto& [a, entries] : Scripts(type, t)) {
        scripts[a] = entries;
        animated[a] = true;
    }
    std::string s = ver2 ? "AN2" : "ANI";
    PutText(s, std::string(t.name) + ".model", 256);
    s += ModelStream(parts, order, ver2);
    if (ver2) PutU32(s, 200);
    for (int a = 0; a < 200; ++a) {
        PutText(s, animated[a] ? "action" + std::to_string(a) : "", 256);
        if (ver2) {
            const std::string note = animated[a] ? "sample action " + std::to_string(a) : "";
            PutU32(s, static_cast<u32>(note.size()));
            s += note;
        }
        const int keys = !animated[a] ? 0 : (Looping(a) ? 4 : 3);
        PutU32(s, static_cast<u32>(keys));
        for (int k = 0; k < keys; ++k) {
            const std::string keyName = "key" + std::to_string(k);
            if (ver2) {
                // The first key of every animation goes without a name.
                const std::string named = k == 0 ? "" : keyName;
                PutI16(s, static_cast<i16>(named.size()));
                s += named;
            } else {
                PutText(s, keyName, 30);
            }
            s += KeyData(parts, order, ver2, a, k, keys);
        }
        PutU32(s, static_cast<u32>(scripts[a].size()));
        for (const Entry& e : scripts[a]) {
            PutU32(s, static_cast<u32>(e.wait));
            PutF32(s, 1.0f);
            PutU32(s, static_cast<u32>(e.text.size()));
            s += e.text;
        }
    }
    return s;
}

// The type's face: a helmet in its main colour with a visor in the second.
// 32 pixels for "face.png", 42 for the room's rows ("face2.png"); the
// selection ring's and the versus room's "Select.png" fills their 320 x 240
// places, the face in its middle between bands of the darkened main colour.
std::string FacePng(const TypeSpec& t, u32 size = 32, u32 width = 0)
{
    if (width < size) width = size;
    const u32 band = (width - size) / 2;
    std::vector<u8> rgba(size_t(width) * size * 4);
    for (u32 y = 0; y < size; ++y)
        for (u32 x = 0; x < width; ++x) {
            u8* px = &rgba[(size_t(y) * width + x) * 4];
            const bool face = x >= band && x < band + size;
            const u32 u = face ? (x - band) * 32 / size : 0, v = y * 32 / size;
            const bool visor = face && v > 10 && v < 16 && u > 6 && u < 26;
            const Colour c = visor ? t.sub : t.main;
            const f32 k = face ? 1.0f : 0.45f;
            px[0] = static_cast<u8>(c.r * k * 255.0f);
            px[1] = static_cast<u8>(c.g * k * 255.0f);
            px[2] = static_cast<u8>(c.b * k * 255.0f);
            px[3] = 255;
        }
    return EncodePng(width, size, rgba);
}

bool MakeType(const std::string& root, int type)
{
    const TypeSpec& t = kTypes[type];
    char folderName[32];
    std::snprintf(folderName, sizeof folderName, "robo/robo%02d", type + 1);
    const std::string dir = root + "/" + folderName;
    if (!plat::CreateDirectory(dir.c_str())) {
        std::fprintf(stderr, "cannot create %s\n", dir.c_str());
        return false;
    }
    const std::vector<Part> parts = Design(t.design, t.scale);
    bool ok = true;
    for (const Part& p : parts) {
        std::vector<Colour> materials;
        if (p.materials == 4) {
            for (int m = 0; m < 4; ++m) materials.push_back(SetColour(t, 0, m));
        } else {
            materials.push_back(t.main);
            if (p.materials > 1) materials.push_back(t.sub);
        }
        const bool limb = p.role == RoleLegL || p.role == RoleLegR || p.role == RoleArmL || p.role == RoleArmR;
        ok &= WriteFile(dir + "/" + p.name, BoxMesh(p.half, materials, limb ? p.half.y : 0.0f), AssetKey);
    }
    const f32 height = parts[1].at.y + 1.2f * t.scale;
    ok &= WriteFile(dir + "/hit.x", BoxMesh(Vec3(0.45f * t.scale, height * 0.5f, 0.4f * t.scale), {t.main}), AssetKey);
    ok &= WriteFile(dir + "/hitUp.x", BoxMesh(Vec3(0.45f * t.scale, height * 0.25f, 0.4f * t.scale), {t.main}),
                    AssetKey);
    ok &= WriteFile(dir + "/Extra0.x", BoxMesh(Vec3(0.3f, 0.3f, 0.3f), {t.sub}), AssetKey);
    ok &= WriteFile(dir + "/face.png", FacePng(t), AssetKey);
    ok &= WriteFile(dir + "/face2.png", FacePng(t, 42), AssetKey);
    ok &= WriteFile(dir + "/Select.png", FacePng(t, 240, 320), AssetKey);
    ok &= WriteFile(dir + "/Script.spt", SettingsText(type, t, parts), AssetKey);
    // The animation script file is read as it is.
    ok &= WriteFile(dir + "/Script.ani", AnimationFile(type, t, parts), 0);
    return ok;
}

}  // namespace

bool MakeRobotData(const char* runFolder)
{
    const std::string root = runFolder;
    const std::string robo = root + "/robo";
    if (!plat::CreateDirectory(robo.c_str())) {
        std::fprintf(stderr, "cannot create %s\n", robo.c_str());
        return false;
    }
    bool ok = true;
    for (int type = 0; type < kSampleRobotTypes; ++type) ok &= MakeType(root, type);
    return ok;
}

std::string SampleBoxMesh(const Vec3& half, f32 r, f32 g, f32 b) { return BoxMesh(half, {{r, g, b}}); }
