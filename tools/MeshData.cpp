// Sample meshes, their textures and the environment cube: a box, a sphere, a
// ground tile and a small skinned, animated hierarchy as text X files, plain
// and scrambled as their loaders expect.
#include "tools/MeshData.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Types.h"

namespace {

std::string F(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(v));
    return buf;
}

struct Vtx {
    float x, y, z, nx, ny, nz, u, v;
};

struct Material {
    float r, g, b, a, power;
    float sr, sg, sb;
    float er, eg, eb;
    std::string texture;
};

struct SkinBone {
    std::string name;
    std::vector<unsigned> vertices;
    std::vector<float> weights;
    float offset[16];
};

// One "Mesh" object with per-vertex normals and texture coordinates.
std::string MeshText(const std::string& name, const std::vector<Vtx>& v, const std::vector<unsigned>& tris,
                     const std::vector<unsigned>& faceMaterial, const std::vector<Material>& materials,
                     const std::vector<SkinBone>& bones = {})
{
    std::string s = "Mesh " + name + " {\n " + std::to_string(v.size()) + ";\n";
    for (size_t i = 0; i < v.size(); ++i)
        s += " " + F(v[i].x) + ";" + F(v[i].y) + ";" + F(v[i].z) + ";" + (i + 1 < v.size() ? ",\n" : ";\n");
    const size_t faces = tris.size() / 3;
    s += " " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f)
        s += " 3;" + std::to_string(tris[f * 3]) + "," + std::to_string(tris[f * 3 + 1]) + "," +
             std::to_string(tris[f * 3 + 2]) + (f + 1 < faces ? ";,\n" : ";;\n");
    s += " MeshNormals {\n  " + std::to_string(v.size()) + ";\n";
    for (size_t i = 0; i < v.size(); ++i)
        s += "  " + F(v[i].nx) + ";" + F(v[i].ny) + ";" + F(v[i].nz) + ";" + (i + 1 < v.size() ? ",\n" : ";\n");
    s += "  " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f)
        s += "  3;" + std::to_string(tris[f * 3]) + "," + std::to_string(tris[f * 3 + 1]) + "," +
             std::to_string(tris[f * 3 + 2]) + (f + 1 < faces ? ";,\n" : ";;\n");
    s += " }\n MeshTextureCoords {\n  " + std::to_string(v.size()) + ";\n";
    for (size_t i = 0; i < v.size(); ++i)
        s += "  " + F(v[i].u) + ";" + F(v[i].v) + ";" + (i + 1 < v.size() ? ",\n" : ";\n");
    s += " }\n MeshMaterialList {\n  " + std::to_string(materials.size()) + ";\n  " + std::to_string(faces) + ";\n";
    for (size_t f = 0; f < faces; ++f) s += "  " + std::to_string(faceMaterial[f]) + (f + 1 < faces ? ",\n" : ";\n");
    for (const Material& m : materials) {
        s += "  Material {\n   " + F(m.r) + ";" + F(m.g) + ";" + F(m.b) + ";" + F(m.a) + ";;\n   " + F(m.power) +
             ";\n   " + F(m.sr) + ";" + F(m.sg) + ";" + F(m.sb) + ";;\n   " + F(m.er) + ";" + F(m.eg) + ";" +
             F(m.eb) + ";;\n";
        if (!m.texture.empty()) s += "   TextureFilename {\n    \"" + m.texture + "\";\n   }\n";
        s += "  }\n";
    }
    s += " }\n";
    if (!bones.empty()) {
        unsigned maxPerVertex = 0;
        std::vector<unsigned> count(v.size(), 0);
        for (const SkinBone& b : bones)
            for (unsigned vi : b.vertices) maxPerVertex = std::max(maxPerVertex, ++count[vi]);
        s += " XSkinMeshHeader {\n  " + std::to_string(maxPerVertex) + ";\n  " + std::to_string(maxPerVertex * 3) +
             ";\n  " + std::to_string(bones.size()) + ";\n }\n";
        for (const SkinBone& b : bones) {
            s += " SkinWeights {\n  \"" + b.name + "\";\n  " + std::to_string(b.vertices.size()) + ";\n";
            for (size_t i = 0; i < b.vertices.size(); ++i)
                s += "  " + std::to_string(b.vertices[i]) + (i + 1 < b.vertices.size() ? ",\n" : ";\n");
            for (size_t i = 0; i < b.weights.size(); ++i)
                s += "  " + F(b.weights[i]) + (i + 1 < b.weights.size() ? ",\n" : ";\n");
            s += " ";
            for (int k = 0; k < 16; ++k) s += F(b.offset[k]) + (k < 15 ? "," : ";;\n");
            s += " }\n";
        }
    }
    s += "}\n";
    return s;
}

std::string Header()
{
    return "xof 0303txt 0032\n// Quillon sample mesh\n\nHeader {\n 1;\n 0;\n 1;\n}\n\n";
}

// Axis-aligned box of half size h around the origin: 24 vertices, 12
// triangles, faces alternating between two materials (+y and -y use 1).
void Box(float h, std::vector<Vtx>& v, std::vector<unsigned>& tris, std::vector<unsigned>& mat)
{
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int f = 0; f < 6; ++f) {
        // Two axes spanning the face, chosen so triangles wind clockwise seen
        // from outside (the device's front faces).
        float ax[3] = {0, 0, 0}, ay[3] = {0, 0, 0};
        const int axis = n[f][0] != 0 ? 0 : (n[f][1] != 0 ? 1 : 2);
        const int a = (axis + 1) % 3, b = (axis + 2) % 3;
        const float s = n[f][axis];
        ax[a] = 1;
        ay[b] = 1;
        const unsigned base = static_cast<unsigned>(v.size());
        const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
        for (int c = 0; c < 4; ++c) {
            Vtx t{};
            float p[3];
            for (int k = 0; k < 3; ++k) p[k] = n[f][k] * h + (ax[k] * corners[c][0] + ay[k] * corners[c][1]) * h;
            t.x = p[0];
            t.y = p[1];
            t.z = p[2];
            t.nx = n[f][0];
            t.ny = n[f][1];
            t.nz = n[f][2];
            t.u = corners[c][0] * 0.5f + 0.5f;
            t.v = corners[c][1] * 0.5f + 0.5f;
            v.push_back(t);
        }
        // Front faces wind clockwise seen from outside: (p1 - p0) x (p2 - p0)
        // must point out of the box.
        if (s > 0) {
            tris.insert(tris.end(), {base, base + 2, base + 1, base, base + 3, base + 2});
        } else {
            tris.insert(tris.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
        }
        mat.push_back(axis == 1 ? 1 : 0);
        mat.push_back(axis == 1 ? 1 : 0);
    }
}

void Sphere(float r, int slices, int stacks, std::vector<Vtx>& v, std::vector<unsigned>& tris)
{
    const float pi = 3.14159265f;
    for (int i = 0; i <= stacks; ++i) {
        const float phi = pi * static_cast<float>(i) / static_cast<float>(stacks);
        for (int j = 0; j <= slices; ++j) {
            const float th = 2 * pi * static_cast<float>(j) / static_cast<float>(slices);
            Vtx t{};
            t.nx = std::sin(phi) * std::cos(th);
            t.ny = std::cos(phi);
            t.nz = std::sin(phi) * std::sin(th);
            t.x = t.nx * r;
            t.y = t.ny * r;
            t.z = t.nz * r;
            t.u = static_cast<float>(j) / static_cast<float>(slices);
            t.v = static_cast<float>(i) / static_cast<float>(stacks);
            v.push_back(t);
        }
    }
    const unsigned row = static_cast<unsigned>(slices + 1);
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            const unsigned a = i * row + j, b = a + 1, c = a + row, d = c + 1;
            // Clockwise from outside.
            if (i != 0) tris.insert(tris.end(), {a, b, c});
            if (i != stacks - 1) tris.insert(tris.end(), {b, d, c});
        }
    }
}

void Ground(float half, int cells, std::vector<Vtx>& v, std::vector<unsigned>& tris)
{
    const unsigned row = static_cast<unsigned>(cells + 1);
    for (int i = 0; i <= cells; ++i) {
        for (int j = 0; j <= cells; ++j) {
            Vtx t{};
            t.x = -half + 2 * half * static_cast<float>(j) / static_cast<float>(cells);
            t.z = -half + 2 * half * static_cast<float>(i) / static_cast<float>(cells);
            t.ny = 1;
            t.u = static_cast<float>(j);
            t.v = static_cast<float>(i);
            v.push_back(t);
        }
    }
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const unsigned a = i * row + j, b = a + 1, c = a + row, d = c + 1;
            // Seen from above (+y) clockwise: a -> c -> b.
            tris.insert(tris.end(), {a, c, b, b, c, d});
        }
    }
}

void PutU32(std::vector<unsigned char>& out, u32 v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Uncompressed 32-bit DDS (B, G, R, A bytes); faces > 1 makes a cube map.
std::vector<unsigned char> Dds(u32 w, u32 h, u32 faces, u32 (*pixel)(u32 face, u32 x, u32 y))
{
    // Made with its magic rather than inserting it into an empty vector,
    // which GCC 12 takes for a write past the end (-Wstringop-overflow).
    std::vector<unsigned char> out{'D', 'D', 'S', ' '};
    PutU32(out, 124);
    PutU32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);  // caps, height, width, pitch, pixel format
    PutU32(out, h);
    PutU32(out, w);
    PutU32(out, w * 4);
    PutU32(out, 0);  // depth
    PutU32(out, 0);  // mip levels
    for (int i = 0; i < 11; ++i) PutU32(out, 0);
    PutU32(out, 32);
    PutU32(out, 0x1 | 0x40);  // alpha pixels, RGB
    PutU32(out, 0);
    PutU32(out, 32);
    PutU32(out, 0x00FF0000u);
    PutU32(out, 0x0000FF00u);
    PutU32(out, 0x000000FFu);
    PutU32(out, 0xFF000000u);
    PutU32(out, faces > 1 ? (0x1000 | 0x8) : 0x1000);
    PutU32(out, faces > 1 ? (0x200 | 0xFC00) : 0);
    PutU32(out, 0);
    PutU32(out, 0);
    PutU32(out, 0);
    for (u32 f = 0; f < faces; ++f)
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x) PutU32(out, pixel(f, x, y));
    return out;
}

bool Write(const std::string& root, const std::string& name, std::string data, u32 key)
{
    if (key != 0) XorWords(data.data(), static_cast<u32>(data.size()), key);
    const std::string path = root + "/" + name;
    if (!plat::WriteFileAtomic(path.c_str(), data.data(), data.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool WriteBytes(const std::string& root, const std::string& name, const std::vector<unsigned char>& bytes, u32 key)
{
    return Write(root, name, std::string(bytes.begin(), bytes.end()), key);
}

u32 BoxPixel(u32, u32 x, u32 y)
{
    // Warm stripes; the texture is 256 x 128 so reduced sizes can be checked.
    return ((x / 32 + y / 32) & 1) ? 0xFFE0A040u : 0xFF804020u;
}

u32 CheckerPixel(u32, u32 x, u32 y)
{
    return ((x / 8 + y / 8) & 1) ? 0xFFFFFFFFu : 0xFF4060C0u;
}

u32 GroundPixel(u32, u32 x, u32 y)
{
    return ((x / 16 + y / 16) & 1) ? 0xFFB0B0A0u : 0xFF909080u;
}

// Each face of the cube a clearly different colour, brighter towards the top.
u32 CubePixel(u32 face, u32, u32 y)
{
    static const u32 base[6] = {0xFF2040FFu, 0xFFFF4020u, 0xFF40FF40u, 0xFF603010u, 0xFFFFFF40u, 0xFF40FFFFu};
    const u32 c = base[face];
    const u32 k = 255 - y * 2;
    const u32 r = ((c >> 16) & 0xFF) * k / 255, g = ((c >> 8) & 0xFF) * k / 255, b = (c & 0xFF) * k / 255;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

std::string BoxFile(const std::string& texture)
{
    std::vector<Vtx> v;
    std::vector<unsigned> tris, mat;
    Box(1.0f, v, tris, mat);
    std::vector<Material> materials = {
        {1, 1, 1, 1, 8, 0.5f, 0.5f, 0.5f, 0, 0, 0, texture},
        {0.4f, 0.6f, 1.0f, 1, 20, 1, 1, 1, 0.1f, 0.1f, 0.1f, ""},
    };
    return Header() + MeshText("Box", v, tris, mat, materials);
}

std::string SkinFile()
{
    // A column of three stacked boxes (y 0..6) on two bones: Bone1 moves the
    // lower half, Bone2 (2 units up) the upper; the middle ring is shared.
    std::vector<Vtx> v;
    std::vector<unsigned> tris;
    const int rings = 4;
    for (int r = 0; r < rings; ++r) {
        const float y = 2.0f * static_cast<float>(r);
        const float ring[4][2] = {{-0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}};
        for (const auto& c : ring) {
            Vtx t{};
            t.x = c[0];
            t.y = y;
            t.z = c[1];
            const float len = std::sqrt(c[0] * c[0] + c[1] * c[1]);
            t.nx = c[0] / len;
            t.nz = c[1] / len;
            t.u = c[0] + 0.5f;
            t.v = static_cast<float>(r) / 3.0f;
            v.push_back(t);
        }
    }
    for (int r = 0; r + 1 < rings; ++r) {
        for (unsigned k = 0; k < 4; ++k) {
            const unsigned a = r * 4 + k, b = r * 4 + (k + 1) % 4, c = a + 4, d = b + 4;
            tris.insert(tris.end(), {a, b, c, b, d, c});
        }
    }
    std::vector<unsigned> mat(tris.size() / 3, 0);
    std::vector<Material> materials = {{0.8f, 0.8f, 0.8f, 1, 10, 0.3f, 0.3f, 0.3f, 0, 0, 0, ""}};
    SkinBone b1{"Bone1", {}, {}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    SkinBone b2{"Bone2", {}, {}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -2, 0, 1}};
    for (unsigned i = 0; i < v.size(); ++i) {
        const int ringIndex = static_cast<int>(i / 4);
        if (ringIndex <= 1) {
            b1.vertices.push_back(i);
            b1.weights.push_back(ringIndex == 1 ? 0.5f : 1.0f);
        }
        if (ringIndex >= 1) {
            b2.vertices.push_back(i);
            b2.weights.push_back(ringIndex == 1 ? 0.5f : 1.0f);
        }
    }
    std::string s = Header();
    s += "AnimTicksPerSecond {\n 4800;\n}\n\n";
    s += "Frame Root {\n FrameTransformMatrix {\n  1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n }\n";
    s += " Frame Bone1 {\n  FrameTransformMatrix {\n   1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n  }\n";
    s += "  Frame Bone2 {\n   FrameTransformMatrix {\n    1,0,0,0,0,1,0,0,0,0,1,0,0,2,0,1;;\n   }\n  }\n";
    s += " }\n";
    s += MeshText("Column", v, tris, mat, materials, {b1, b2});
    s += "}\n\n";
    // Bone2 swings a quarter turn about z and back; Bone1 rises by matrix keys.
    s += "AnimationSet Wave {\n";
    s += " Animation {\n  {Bone2}\n";
    s += "  AnimationKey {\n   0;\n   3;\n";
    s += "   0;4;1.000000,0.000000,0.000000,0.000000;;,\n";
    s += "   2400;4;0.707107,0.000000,0.000000,-0.707107;;,\n";
    s += "   4800;4;1.000000,0.000000,0.000000,0.000000;;;\n  }\n";
    s += "  AnimationKey {\n   2;\n   2;\n   0;3;0.000000,2.000000,0.000000;;,\n";
    s += "   4800;3;0.000000,2.000000,0.000000;;;\n  }\n";
    s += " }\n";
    s += " Animation {\n  {Bone1}\n";
    s += "  AnimationKey {\n   4;\n   2;\n   0;16;1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;,\n";
    s += "   4800;16;2,0,0,0,0,2,0,0,0,0,2,0,0,1,0,1;;;\n  }\n";
    s += " }\n}\n";
    return s;
}

}  // namespace

bool MakeMeshData(const char* runFolder)
{
    const std::string root = runFolder;
    for (const char* dir : {"/Quillon", "/Quillon/Mesh"}) {
        const std::string d = root + dir;
        if (!plat::CreateDirectory(d.c_str())) {
            std::fprintf(stderr, "cannot create %s\n", d.c_str());
            return false;
        }
    }
    bool ok = true;
    ok &= Write(root, "Quillon/Mesh/Box.x", BoxFile("Quillon/Mesh/Box.dds"), 0);
    ok &= WriteBytes(root, "Quillon/Mesh/Box.dds", Dds(256, 128, 1, BoxPixel), 0);
    // Scrambled copies, textures scrambled with the same key.
    ok &= Write(root, "Quillon/Mesh/BoxS.x", BoxFile("Quillon/Mesh/BoxS.dds"), AssetKey);
    ok &= WriteBytes(root, "Quillon/Mesh/BoxS.dds", Dds(256, 128, 1, BoxPixel), AssetKey);
    ok &= Write(root, "Quillon/Mesh/BoxM.x", BoxFile("Quillon/Mesh/BoxM.dds"), MeshKey);
    ok &= WriteBytes(root, "Quillon/Mesh/BoxM.dds", Dds(256, 128, 1, BoxPixel), MeshKey);

    {
        std::vector<Vtx> v;
        std::vector<unsigned> tris;
        Sphere(1.0f, 24, 16, v, tris);
        std::vector<unsigned> mat(tris.size() / 3, 0);
        std::vector<Material> materials = {{1, 1, 1, 1, 30, 1, 1, 1, 0, 0, 0, "Quillon/Mesh/Sphere.dds"}};
        ok &= Write(root, "Quillon/Mesh/Sphere.x", Header() + MeshText("Sphere", v, tris, mat, materials), 0);
        ok &= WriteBytes(root, "Quillon/Mesh/Sphere.dds", Dds(64, 64, 1, CheckerPixel), 0);
    }
    {
        std::vector<Vtx> v;
        std::vector<unsigned> tris;
        Ground(20.0f, 8, v, tris);
        std::vector<unsigned> mat(tris.size() / 3, 0);
        std::vector<Material> materials = {{1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, "Quillon/Mesh/Ground.dds"}};
        ok &= Write(root, "Quillon/Mesh/Ground.x", Header() + MeshText("Ground", v, tris, mat, materials), 0);
        ok &= WriteBytes(root, "Quillon/Mesh/Ground.dds", Dds(128, 128, 1, GroundPixel), 0);
    }
    ok &= Write(root, "Quillon/Mesh/Skin.x", SkinFile(), 0);
    ok &= Write(root, "Quillon/Mesh/SkinS.x", SkinFile(), AssetKey);
    ok &= WriteBytes(root, "Quillon/CubeMap.dds", Dds(64, 64, 6, CubePixel), 0);
    return ok;
}
