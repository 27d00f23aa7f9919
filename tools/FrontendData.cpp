#include "tools/FrontendData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "tools/DataBytes.h"
#include "tools/OggToneWriter.h"
#include "tools/PngWriter.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr u32 kRate = 22050;

// ---- pictures ---------------------------------------------------------------------

struct Image {
    u32 w, h;
    std::vector<u8> rgba;
    Image(u32 width, u32 height, u32 argb) : w(width), h(height), rgba(size_t(width) * height * 4)
    {
        Fill(0, 0, i32(w), i32(h), argb);
    }
    void Put(i32 x, i32 y, u32 argb)
    {
        if (x < 0 || y < 0 || x >= i32(w) || y >= i32(h)) return;
        u8* p = &rgba[(size_t(y) * w + size_t(x)) * 4];
        p[0] = u8(argb >> 16);
        p[1] = u8(argb >> 8);
        p[2] = u8(argb);
        p[3] = u8(argb >> 24);
    }
    void Fill(i32 x0, i32 y0, i32 x1, i32 y1, u32 argb)
    {
        for (i32 y = y0; y < y1; ++y)
            for (i32 x = x0; x < x1; ++x) Put(x, y, argb);
    }
    std::string Png() const { return EncodePng(w, h, rgba); }
};

// A 5 x 7 capital font: enough for headings and the ranking glyphs.
const char* Glyph(char c)
{
    static const struct {
        char c;
        const char* rows;
    } kGlyphs[] = {
        {'A', "01110100011000111111100011000110001"}, {'B', "11110100011000111110100011000111110"},
        {'C', "01110100011000010000100001000101110"}, {'D', "11110100011000110001100011000111110"},
        {'E', "11111100001000011110100001000011111"}, {'F', "11111100001000011110100001000010000"},
        {'G', "01110100011000010111100011000101111"}, {'H', "10001100011000111111100011000110001"},
        {'I', "01110001000010000100001000010001110"}, {'J', "00111000100001000010000101001001100"},
        {'K', "10001100101010011000101001001010001"}, {'L', "10000100001000010000100001000011111"},
        {'M', "10001110111010110101100011000110001"}, {'N', "10001110011010110011100011000110001"},
        {'O', "01110100011000110001100011000101110"}, {'P', "11110100011000111110100001000010000"},
        {'Q', "01110100011000110001101011001001101"}, {'R', "11110100011000111110101001001010001"},
        {'S', "01111100001000001110000010000111110"}, {'T', "11111001000010000100001000010000100"},
        {'U', "10001100011000110001100011000101110"}, {'V', "10001100011000110001100010101000100"},
        {'W', "10001100011000110101101011010101010"}, {'X', "10001100010101000100010101000110001"},
        {'Y', "10001100010101000100001000010000100"}, {'Z', "11111000010001000100010001000011111"},
        {'0', "01110100011001110101110011000101110"}, {'1', "00100011000010000100001000010001110"},
        {'2', "01110100010000100010001000100011111"}, {'3', "11111000100010000010000011000101110"},
        {'4', "00010001100101010010111110001000010"}, {'5', "11111100001111000001000011000101110"},
        {'.', "00000000000000000000000000110001100"}, {'-', "00000000000000011111000000000000000"},
        {'!', "00100001000010000100001000000000100"}, {'?', "01110100010000100010001000000000100"},
        {'*', "00000001001010101110101010010000000"}, {' ', "00000000000000000000000000000000000"},
    };
    for (const auto& g : kGlyphs)
        if (g.c == c) return g.rows;
    return kGlyphs[std::size(kGlyphs) - 1].rows;
}

void DrawText(Image& img, const char* text, i32 x, i32 y, i32 cell, u32 argb)
{
    for (; *text; ++text, x += cell * 6) {
        const char* rows = Glyph(*text);
        for (i32 r = 0; r < 7; ++r)
            for (i32 c = 0; c < 5; ++c)
                if (rows[r * 5 + c] == '1') img.Fill(x + c * cell, y + r * cell, x + (c + 1) * cell, y + (r + 1) * cell, argb);
    }
}

i32 TextWidth(const char* text, i32 cell) { return i32(std::strlen(text)) * cell * 6 - cell; }

void DrawCentred(Image& img, const char* text, i32 cy, i32 cell, u32 argb)
{
    DrawText(img, text, (i32(img.w) - TextWidth(text, cell)) / 2, cy - cell * 7 / 2, cell, argb);
}

// The 32 name glyphs, 8 to a row of 64 x 64 cells: A-Z then . - ! ? * and blank.
const char kNameGlyphs[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ.-!?* ";

u32 HueColour(float h, float light)
{
    u32 out = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        const float k = std::fmod(h * 6.0f + float(5 - 2 * c), 6.0f);
        const float v = 1.0f - std::max(0.0f, std::min({k, 4.0f - k, 1.0f}));
        out |= u32(std::lround(std::clamp(v * light, 0.0f, 1.0f) * 255.0f)) << (16 - 8 * c);
    }
    return out;
}

// A heading banner: its own colour and its words.
Image Heading(const char* words, float hue)
{
    Image img(480, 64, 0);
    img.Fill(0, 8, 480, 56, HueColour(hue, 0.45f) & 0xE0FFFFFFu);
    img.Fill(0, 8, 480, 11, HueColour(hue, 1.0f));
    img.Fill(0, 53, 480, 56, HueColour(hue, 1.0f));
    DrawCentred(img, words, 32, 5, 0xFFFFFFFFu);
    return img;
}

// A stage's picture: its own sky and ground with its name large.
Image StagePicture(const char* name, u32 index, u32 w, u32 h)
{
    Image img(w, h, 0xFF000000u);
    const float hue = float(index) / 9.0f;
    for (u32 y = 0; y < h; ++y) {
        const bool ground = y > h * 2 / 3;
        const float t = float(y) / float(h);
        const u32 c = ground ? HueColour(hue + 0.3f, 0.35f) : HueColour(hue, 0.3f + 0.6f * t);
        img.Fill(0, i32(y), i32(w), i32(y) + 1, c);
    }
    // One block per stage number on the horizon, so stages differ in shape too.
    for (u32 k = 0; k <= index; ++k) {
        const i32 bw = i32(w) / 12, x = i32(w) / 16 + i32(k) * (bw + bw / 2);
        img.Fill(x, i32(h) * 2 / 3 - bw * i32(1 + k % 3), x + bw, i32(h) * 2 / 3, HueColour(hue + 0.5f, 0.8f));
    }
    std::string upper = name;
    for (char& c : upper) c = char(std::toupper(u8(c)));
    DrawCentred(img, upper.c_str(), i32(h) / 3, std::max<i32>(2, i32(w) / 80), 0xFFFFFFFFu);
    return img;
}

// ---- sounds ------------------------------------------------------------------------

std::vector<float> Notes(const std::vector<float>& hz, float seconds, float decay)
{
    std::vector<float> out;
    for (float f : hz) {
        const u32 n = u32(seconds * float(kRate));
        for (u32 i = 0; i < n; ++i) {
            const float t = float(i) / float(kRate);
            out.push_back(0.3f * std::sin(2 * kPi * f * t) * std::exp(-decay * t) * std::min(1.0f, t * 200.0f));
        }
    }
    return out;
}

// ---- models ------------------------------------------------------------------------

struct Reader {
    const std::string& s;
    size_t at;
    bool ok = true;
    u32 U32()
    {
        if (at + 4 > s.size()) {
            ok = false;
            return 0;
        }
        u32 v = 0;
        for (int i = 0; i < 4; ++i) v |= u32(u8(s[at + size_t(i)])) << (8 * i);
        at += 4;
        return v;
    }
    f32 F32()
    {
        const u32 v = U32();
        f32 f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    std::string Bytes(size_t n)
    {
        if (at + n > s.size()) {
            ok = false;
            return {};
        }
        std::string out = s.substr(at, n);
        at += n;
        return out;
    }
};

constexpr u32 kMaxNodes = 64;

// One node of the copied tree that carries a mesh: its file and its place.
struct NodeMesh {
    std::string file;
    Mat4 world;
};

// Copies one node record and its children into HOD form: level, child
// count, 256-byte name, local matrix. HD2 records give their rotation,
// scale and position; HOD records are taken as they are. Each node's name
// is its mesh file, noted with the node's place under the root.
bool CopyNode(Reader& in, bool hd2, std::string& out, u32& nodes, const Mat4& parent, f32& top,
              std::vector<NodeMesh>& meshes)
{
    if (++nodes > kMaxNodes) return false;
    const u32 level = in.U32();
    const u32 children = in.U32();
    const std::string name = in.Bytes(256);
    Mat4 local;
    if (hd2) {
        Quat q;
        q.x = in.F32(), q.y = in.F32(), q.z = in.F32(), q.w = in.F32();
        Vec3 scale, at;
        scale.x = in.F32(), scale.y = in.F32(), scale.z = in.F32();
        at.x = in.F32(), at.y = in.F32(), at.z = in.F32();
        in.Bytes(1 + 12 + 1 + 1 + 1 + 79);
        plat::MatrixScaleRotateTranslate(&local, &scale, &q, &at);
    } else {
        for (auto& row : local.m)
            for (float& v : row) v = in.F32();
    }
    if (!in.ok || children > 10) return false;
    PutU32(out, level);
    PutU32(out, children);
    out += name;
    PutMatrix(out, local);
    Mat4 world;
    plat::MatrixMultiply(&world, &local, &parent);
    // The sample robots stand unturned: their joints' heights add up.
    top = std::max(top, world.m[3][1]);
    const std::string file = name.substr(0, name.find('\0'));
    if (!file.empty()) meshes.push_back({file, world});
    for (u32 c = 0; c < children; ++c)
        if (!CopyNode(in, hd2, out, nodes, world, top, meshes)) return false;
    return true;
}

// The hangar's camera stands a couple of metres from the robot and looks
// at a head about 1.6 up: there every robot stands 1.6 tall on the floor.
// The battles take their sizes from "Script.ani" and the hit hulls.
constexpr f32 kHangarHeight = 1.6f;
// The head's box reaches this far above its joint, for a head 2.1 up.
constexpr f32 kHeadTop = 2.25f / 2.1f;
constexpr size_t kRootMatrixAt = 3 + 4 + 4 + 4 + 256;

// Scales the whole tree about the origin, then moves it by `move`.
void PlaceRoot(std::string& hod, f32 factor, const Vec3& move = Vec3(0.0f, 0.0f, 0.0f))
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column) {
            char* at = hod.data() + kRootMatrixAt + size_t(row * 16 + column * 4);
            f32 v;
            std::memcpy(&v, at, 4);
            v *= factor;
            if (row == 3) v += column == 0 ? move.x : (column == 1 ? move.y : move.z);
            std::memcpy(at, &v, 4);
        }
}

// The vertices' box of a text X mesh ("Mesh { count; x;y;z;, ..."); false
// when it has none.
bool MeshBox(const std::string& x, Vec3& lo, Vec3& hi)
{
    size_t at = x.find("Mesh {");
    if (at == std::string::npos) return false;
    const char* p = x.c_str() + at + 6;
    char* end = nullptr;
    const long count = std::strtol(p, &end, 10);
    if (end == p || count <= 0 || count > 100000) return false;
    p = end;
    for (long v = 0; v < count; ++v) {
        f32 c[3];
        for (f32& k : c) {
            while (*p == ';' || *p == ',' || *p == ' ' || *p == '\n' || *p == '\r' || *p == '\t') ++p;
            k = std::strtof(p, &end);
            if (end == p) return false;
            p = end;
        }
        const Vec3 q(c[0], c[1], c[2]);
        if (v == 0) lo = hi = q;
        lo = Vec3(std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z));
        hi = Vec3(std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z));
    }
    return true;
}

// The selection's fixed camera circles the robot 1 up and 2.5 back, turned
// 30 degrees down (so about 2.1 up and 1.7 out), with a 45 degree view;
// the heading covers the picture above y 70 and the ring's numbers and
// pictures everything below 484. A robot's box fits when each corner
// stays inside that window, with a margin, from every side.
bool FitsSelection(const Vec3& lo, const Vec3& hi)
{
    const f32 tanHalf = std::tan(0.785385f * 0.5f);
    for (int angle = 0; angle < 360; angle += 5) {
        Mat4 t, rx, ry, m, place, view;
        plat::MatrixTranslation(&t, 0.0f, 1.0f, -2.5f);
        plat::MatrixRotationX(&rx, 30.0f * kPi / 180.0f);
        plat::MatrixRotationY(&ry, f32(angle) * kPi / 180.0f);
        plat::MatrixMultiply(&m, &t, &rx);
        plat::MatrixMultiply(&place, &m, &ry);
        f32 det = 0.0f;
        plat::MatrixInverse(&view, &det, &place);
        for (int corner = 0; corner < 8; ++corner) {
            const f32 x = corner & 1 ? hi.x : lo.x, y = corner & 2 ? hi.y : lo.y, z = corner & 4 ? hi.z : lo.z;
            const f32 vx = x * view.m[0][0] + y * view.m[1][0] + z * view.m[2][0] + view.m[3][0];
            const f32 vy = x * view.m[0][1] + y * view.m[1][1] + z * view.m[2][1] + view.m[3][1];
            const f32 vz = x * view.m[0][2] + y * view.m[1][2] + z * view.m[2][2] + view.m[3][2];
            if (vz < 0.6f) return false;
            const f32 sx = 512.0f + 512.0f * vx / (vz * tanHalf * (4.0f / 3.0f));
            const f32 sy = 384.0f - 384.0f * vy / (vz * tanHalf);
            if (sx < 40.0f || sx > 984.0f || sy < 90.0f || sy > 470.0f) return false;
        }
    }
    return true;
}

// The robot's node tree from its "Script.ani" as a HOD: for the selection
// ("robo.hod") sized by its meshes' height and width and lifted so that it
// shows whole under the selection's camera, the largest that fits; for the
// hangar ("hangar.hod") standing 1.6 tall on the floor. `folder` holds the
// meshes the nodes name.
std::string PreviewModel(const std::string& ani, const std::string& folder, bool hangar)
{
    if (ani.size() < 3 + 256 + 8) return {};
    const bool hd2 = ani.compare(0, 3, "AN2") == 0;
    if (!hd2 && ani.compare(0, 3, "ANI") != 0) return {};
    Reader in{ani, 3 + 256};
    in.Bytes(3);
    in.U32();
    if (hd2) in.U32();
    std::string out = "HOD";
    PutU32(out, 1);
    u32 nodes = 0;
    f32 top = 0.0f;
    std::vector<NodeMesh> meshes;
    Mat4 origin;
    plat::MatrixIdentity(&origin);
    if (!CopyNode(in, hd2, out, nodes, origin, top, meshes) || !in.ok) return {};
    if (out.size() < kRootMatrixAt + 64) return out;
    // The box of every mesh corner under its node; without text meshes to
    // measure, the selection too shows the robot as the hangar does.
    bool any = false;
    Vec3 lo, hi;
    for (const NodeMesh& n : meshes) {
        if (hangar) break;
        std::string x;
        Vec3 a, b;
        if (!plat::ReadWholeFile((folder + "/" + n.file).c_str(), x)) continue;
        XorWords(x.data(), u32(x.size()), AssetKey);
        if (!MeshBox(x, a, b)) continue;
        for (int corner = 0; corner < 8; ++corner) {
            const f32 x0 = corner & 1 ? b.x : a.x, y0 = corner & 2 ? b.y : a.y, z0 = corner & 4 ? b.z : a.z;
            const Mat4& m = n.world;
            const Vec3 p(x0 * m.m[0][0] + y0 * m.m[1][0] + z0 * m.m[2][0] + m.m[3][0],
                         x0 * m.m[0][1] + y0 * m.m[1][1] + z0 * m.m[2][1] + m.m[3][1],
                         x0 * m.m[0][2] + y0 * m.m[1][2] + z0 * m.m[2][2] + m.m[3][2]);
            if (!any) lo = hi = p;
            any = true;
            lo = Vec3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
            hi = Vec3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
        }
    }
    if (hangar || !any || hi.y <= lo.y) {
        if (top > 0.0f) PlaceRoot(out, kHangarHeight / (top * kHeadTop));
        return out;
    }
    // The largest size at which some lift fits the box: centred across, its
    // feet at `lift`. Nothing shows under the robot but the background.
    const f32 cx = (lo.x + hi.x) * 0.5f, cz = (lo.z + hi.z) * 0.5f;
    f32 best = 0.0f, bestLift = 0.0f;
    f32 small = 0.0f, large = 4.0f / (hi.y - lo.y);
    for (int step = 0; step < 24; ++step) {
        const f32 s = (small + large) * 0.5f;
        bool fits = false;
        for (f32 lift = -1.0f; lift < 3.0f && !fits; lift += 0.01f) {
            fits = FitsSelection(Vec3((lo.x - cx) * s, lift, (lo.z - cz) * s),
                                 Vec3((hi.x - cx) * s, lift + (hi.y - lo.y) * s, (hi.z - cz) * s));
            if (fits) best = s, bestLift = lift;
        }
        (fits ? small : large) = s;
    }
    if (best > 0.0f) PlaceRoot(out, best, Vec3(-cx * best, bestLift - lo.y * best, -cz * best));
    return out;
}

// The display name from a robot's unscrambled "Script.spt" ("Name=...;").
std::string RobotName(std::string spt)
{
    const size_t at = spt.find("\nName=");
    if (at == std::string::npos) return {};
    const size_t end = spt.find_first_of(";\r\n", at + 6);
    return spt.substr(at + 6, end == std::string::npos ? std::string::npos : end - at - 6);
}

const char* const kWeapons[] = {"光束步枪", "光束军刀", "追踪导弹", "火神炮", "火箭筒", "护盾", "激光炮", "浮游炮"};

// ---- writing ------------------------------------------------------------------------

class Writer {
public:
    explicit Writer(std::string root) : root_(std::move(root)) {}
    bool ok = true;

    void File(const std::string& name, std::string bytes, u32 key)
    {
        if (bytes.empty()) return Fail("cannot make", name);
        if (key != 0) XorWords(bytes.data(), u32(bytes.size()), key);
        const std::string path = root_ + "/" + name;
        if (!plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size())) Fail("cannot write", path);
    }
    // Only where the file is missing: never replaces a data set's own.
    void Missing(const std::string& name, const std::string& bytes, u32 key)
    {
        if (!Exists(name)) File(name, bytes, key);
    }
    bool Read(const std::string& name, std::string& out, u32 key)
    {
        if (!plat::ReadWholeFile((root_ + "/" + name).c_str(), out)) return false;
        if (key != 0) XorWords(out.data(), u32(out.size()), key);
        return true;
    }
    std::string Path(const std::string& name) const { return root_ + "/" + name; }
    bool Exists(const std::string& name) const { return plat::PathExists((root_ + "/" + name).c_str()); }
    void Folder(const std::string& name)
    {
        if (!plat::CreateDirectory((root_ + "/" + name).c_str())) Fail("cannot create", name);
    }

private:
    void Fail(const char* what, const std::string& path)
    {
        std::fprintf(stderr, "%s %s\n", what, path.c_str());
        ok = false;
    }
    std::string root_;
};

void MakeRobotExtras(Writer& w)
{
    for (u32 type = 0; type < 22; ++type) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "robo/robo%02u", type + 1);
        const std::string dir = folder;
        std::string ani, spt;
        if (!w.Read(dir + "/Script.ani", ani, 0)) continue;
        // Made from the robot this run wrote, so it is made again with it.
        w.File(dir + "/robo.hod", PreviewModel(ani, w.Path(dir), false), 0);
        w.File(dir + "/hangar.hod", PreviewModel(ani, w.Path(dir), true), 0);
        std::string name = w.Read(dir + "/Script.spt", spt, AssetKey) ? RobotName(spt) : std::string();
        if (name.empty()) name = folder;
        std::string sdt = name + "\r\n";
        for (u32 k = 0; k < 5; ++k) sdt += std::string(kWeapons[(type + k * 3) % std::size(kWeapons)]) + "\r\n";
        sdt += std::to_string(type) + "," + std::to_string(1.0 + type * 0.1).substr(0, 3) + "\r\n";
        w.Missing(dir + "/charaselect.sdt", sdt, 0);
    }
}

void MakeStagePictures(Writer& w)
{
    const char* const stages[9] = {"City", "In", "City2", "City3", "In2", "moon", "City4", "City5", "Skyland"};
    for (u32 i = 0; i < 9; ++i) {
        const std::string dir = std::string("war/") + stages[i];
        if (!w.Exists(dir)) continue;
        w.Missing(dir + "/SelectImage.png", StagePicture(stages[i], i, 640, 480).Png(), AssetKey);
        w.Missing(dir + "/SelectImage_s.png", StagePicture(stages[i], i, 200, 150).Png(), AssetKey);
    }
}

void MakeInterfacePictures(Writer& w)
{
    w.File("Quillon/frameselection.png", Heading("ROBOT SELECT", 0.60f).Png(), AssetKey);
    w.File("Quillon/pilotselection.png", Heading("PILOT SELECT", 0.10f).Png(), AssetKey);
    w.File("Quillon/stageselection.png", Heading("STAGE SELECT", 0.35f).Png(), AssetKey);
    w.File("Quillon/bgmselection.png", Heading("MUSIC SELECT", 0.80f).Png(), AssetKey);

    Image font(512, 256, 0);
    for (u32 c = 0; c < 32; ++c) {
        const char text[2] = {kNameGlyphs[c], 0};
        DrawText(font, text, i32(c % 8) * 64 + 12, i32(c / 8) * 64 + 11, 6, 0xFFFFFFFFu);
    }
    w.File("Quillon/Font.png", font.Png(), AssetKey);

    // The name entry: score and count panels over a dark blue field.
    Image result(1024, 768, 0xE0101830u);
    result.Fill(300, 200, 880, 290, 0xFF203060u);
    result.Fill(300, 380, 880, 470, 0xFF203060u);
    result.Fill(300, 494, 880, 590, 0xFF302050u);
    DrawText(result, "KILLS", 60, 222, 6, 0xFFFFD040u);
    DrawText(result, "SCORE", 60, 402, 6, 0xFFFFD040u);
    DrawText(result, "NAME", 60, 516, 6, 0xFFFFD040u);
    DrawCentred(result, "NEW RECORD", 90, 8, 0xFFFFFFFFu);
    w.File("Quillon/result.png", result.Png(), AssetKey);

    // The ranking list: a striped row for each place.
    Image ranking(1024, 768, 0xFF0A0A18u);
    for (i32 i = 0; i < 10; ++i) ranking.Fill(40, 60 + 64 * i, 1000, 124 + 64 * i, i % 2 ? 0xFF181830u : 0xFF202048u);
    DrawText(ranking, "RANKING", 700, 12, 5, 0xFFFFD040u);
    w.File("Quillon/ranking.png", ranking.Png(), AssetKey);
}

void MakeSounds(Writer& w)
{
    w.File("Sound/select_rot.wav", WaveFile(Notes({880.0f, 1320.0f}, 0.05f, 30.0f), kRate), 0);
    w.File("Sound/CharaSelect.ogg",
           EncodeOggMono(Notes({196.0f, 246.9f, 293.7f, 392.0f, 329.6f, 293.7f, 246.9f, 220.0f}, 0.4f, 4.0f),
                         long(kRate), 0.3f),
           0);
    // One user music file with its own card, and the placeholder for music
    // the player adds without one.
    w.Folder("Sound/MyBgm");
    w.Missing("Sound/MyBgm/Sample.ogg", EncodeOggTone(330.0f, 440.0f, 4.0f), 0);
    Image card(320, 240, 0xFF000000u);
    for (i32 y = 0; y < 240; ++y) card.Fill(0, y, 320, y + 1, HueColour(0.62f, 0.15f + 0.35f * float(y) / 240.0f));
    // A row of level bars under the title, so the card reads as music.
    for (i32 k = 0; k < 12; ++k) {
        const i32 height = 20 + (k * 37) % 70;
        card.Fill(40 + k * 20, 200 - height, 54 + k * 20, 200, HueColour(0.5f + 0.03f * float(k), 0.9f));
    }
    DrawCentred(card, "SAMPLE", 60, 4, 0xFFFFFFFFu);
    w.Missing("Sound/MyBgm/Sample.png", card.Png(), 0);
    Image none(320, 240, 0xFF303030u);
    DrawCentred(none, "NO IMAGE", 120, 4, 0xFF909090u);
    w.Missing("Sound/MyBgm/NoImage.png", none.Png(), 0);
}

}  // namespace

bool MakeFrontendData(const char* runFolder)
{
    Writer w(runFolder);
    MakeRobotExtras(w);
    MakeStagePictures(w);
    MakeInterfacePictures(w);
    MakeSounds(w);
    return w.ok;
}
