#pragma once
// Builds stage files ("map.mpd") and the box meshes of our sample stages in
// memory. Shared by the sample data maker, the stage tests and the stage
// benchmark, so all three write the same format.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

struct StagePart {
    std::string drawMesh;
    std::string hitMesh;
    i16 materialSource = -1;
    u8 reserved = 0;
    std::string script;
};

struct StagePlacement {
    Mat4 matrix;
    i16 part = 0;
    std::string script;
};

struct StageLayout {
    i32 version = 20000;
    std::vector<StagePart> parts;  // the older version pads to 200
    i16 width = 0;
    i16 depth = 0;
    f32 cellSize = 30.0f;          // written by the newer version only
    // width x depth lists, rows outer.
    std::vector<std::vector<StagePlacement>> cells;

    void Resize(i16 w, i16 d)
    {
        width = w;
        depth = d;
        cells.assign(static_cast<size_t>(w > 0 ? w : 0) * static_cast<size_t>(d > 0 ? d : 0), {});
    }
    std::vector<StagePlacement>& Cell(i32 column, i32 row)
    {
        return cells[static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(column)];
    }
};

namespace stagefile {

inline void PutBytes(std::vector<u8>& out, const void* p, size_t n)
{
    const u8* b = static_cast<const u8*>(p);
    out.insert(out.end(), b, b + n);
}
inline void PutI16(std::vector<u8>& out, i16 v)
{
    const u16 u = static_cast<u16>(v);
    out.push_back(static_cast<u8>(u));
    out.push_back(static_cast<u8>(u >> 8));
}
inline void PutI32(std::vector<u8>& out, i32 v)
{
    const u32 u = static_cast<u32>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<u8>(u >> (8 * i)));
}
inline void PutF32(std::vector<u8>& out, f32 v)
{
    u32 u = 0;
    std::memcpy(&u, &v, 4);
    PutI32(out, static_cast<i32>(u));
}
inline void PutName(std::vector<u8>& out, const std::string& name)
{
    char field[256] = {};
    std::memcpy(field, name.data(), name.size() < 255 ? name.size() : 255);
    PutBytes(out, field, sizeof field);
}
// The text and its terminating zero.
inline void PutScript(std::vector<u8>& out, const std::string& script)
{
    PutI32(out, static_cast<i32>(script.size() + 1));
    PutBytes(out, script.c_str(), script.size() + 1);
}

}  // namespace stagefile

inline std::vector<u8> WriteStageFile(const StageLayout& s)
{
    using namespace stagefile;
    std::vector<u8> out;
    PutBytes(out, "MPD", 3);
    PutI32(out, s.version);
    const bool newer = s.version == 20000;
    const size_t count = newer ? s.parts.size() : 200;
    if (newer) PutI16(out, static_cast<i16>(count));
    for (size_t i = 0; i < count; ++i) {
        const StagePart empty;
        const StagePart& p = i < s.parts.size() ? s.parts[i] : empty;
        PutName(out, p.drawMesh);
        PutName(out, p.hitMesh);
        PutI16(out, p.materialSource);
        if (newer) out.push_back(p.reserved);
        PutScript(out, p.script);
    }
    PutI16(out, s.width);
    PutI16(out, s.depth);
    if (newer) PutF32(out, s.cellSize);
    for (const std::vector<StagePlacement>& cell : s.cells) {
        PutI32(out, static_cast<i32>(cell.size()));
        for (const StagePlacement& o : cell) {
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) PutF32(out, o.matrix.m[r][c]);
            PutI16(out, o.part);
            PutScript(out, o.script);
        }
    }
    return out;
}

// ---- box meshes as text X files ----------------------------------------------

struct StageBox {
    Vec3 min, max;
};

// One mesh of axis-aligned boxes with one coloured material. Faces point out
// of each box, or into it for a sky. Triangles wind so that
// (P1 - P0) x (P2 - P0) is the face's outward normal, the way the collision
// triangles take it. With a texture, v runs from 0 at a box's top to 1 at its
// bottom, so a vertical picture wraps it like a sky.
inline std::string StageBoxMeshText(const std::vector<StageBox>& boxes, float r, float g, float b, bool inward = false,
                                    const char* texture = nullptr)
{
    struct V {
        float x, y, z, nx, ny, nz, v;
    };
    std::vector<V> verts;
    std::vector<unsigned> tris;
    for (const StageBox& box : boxes) {
        const float lo[3] = {box.min.x, box.min.y, box.min.z};
        const float hi[3] = {box.max.x, box.max.y, box.max.z};
        for (int axis = 0; axis < 3; ++axis) {
            for (int side = 0; side < 2; ++side) {
                const int a = (axis + 1) % 3, c = (axis + 2) % 3;
                float n[3] = {0, 0, 0};
                n[axis] = (side ? 1.0f : -1.0f) * (inward ? -1.0f : 1.0f);
                const unsigned base = static_cast<unsigned>(verts.size());
                const int corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                float p[4][3];
                for (int k = 0; k < 4; ++k) {
                    p[k][axis] = side ? hi[axis] : lo[axis];
                    p[k][a] = corners[k][0] ? hi[a] : lo[a];
                    p[k][c] = corners[k][1] ? hi[c] : lo[c];
                    const float height = hi[1] - lo[1];
                    const float v = height > 0.0f ? (hi[1] - p[k][1]) / height : 0.0f;
                    verts.push_back({p[k][0], p[k][1], p[k][2], n[0], n[1], n[2], v});
                }
                // (p1 - p0) x (p2 - p0) along n keeps the order; else swap.
                const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
                const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
                const float cr[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                     e1[0] * e2[1] - e1[1] * e2[0]};
                const bool keep = cr[0] * n[0] + cr[1] * n[1] + cr[2] * n[2] > 0.0f;
                const unsigned order[6] = {0, 1, 2, 0, 2, 3};
                const unsigned swapped[6] = {0, 2, 1, 0, 3, 2};
                for (unsigned k : keep ? order : swapped) tris.push_back(base + k);
            }
        }
    }
    auto f = [](float v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(v));
        return std::string(buf);
    };
    std::string s = "xof 0303txt 0032\n\nMesh Stage {\n " + std::to_string(verts.size()) + ";\n";
    for (size_t i = 0; i < verts.size(); ++i)
        s += " " + f(verts[i].x) + ";" + f(verts[i].y) + ";" + f(verts[i].z) + ";" + (i + 1 < verts.size() ? ",\n" : ";\n");
    const size_t faces = tris.size() / 3;
    s += " " + std::to_string(faces) + ";\n";
    for (size_t i = 0; i < faces; ++i)
        s += " 3;" + std::to_string(tris[i * 3]) + "," + std::to_string(tris[i * 3 + 1]) + "," +
             std::to_string(tris[i * 3 + 2]) + (i + 1 < faces ? ";,\n" : ";;\n");
    s += " MeshNormals {\n  " + std::to_string(verts.size()) + ";\n";
    for (size_t i = 0; i < verts.size(); ++i)
        s += "  " + f(verts[i].nx) + ";" + f(verts[i].ny) + ";" + f(verts[i].nz) + ";" +
             (i + 1 < verts.size() ? ",\n" : ";\n");
    s += "  " + std::to_string(faces) + ";\n";
    for (size_t i = 0; i < faces; ++i)
        s += "  3;" + std::to_string(tris[i * 3]) + "," + std::to_string(tris[i * 3 + 1]) + "," +
             std::to_string(tris[i * 3 + 2]) + (i + 1 < faces ? ";,\n" : ";;\n");
    s += " }\n";
    if (texture) {
        s += " MeshTextureCoords {\n  " + std::to_string(verts.size()) + ";\n";
        for (size_t i = 0; i < verts.size(); ++i)
            s += "  0.5;" + f(verts[i].v) + ";" + (i + 1 < verts.size() ? ",\n" : ";\n");
        s += " }\n";
    }
    s += " MeshMaterialList {\n  1;\n  " + std::to_string(faces) + ";\n";
    for (size_t i = 0; i < faces; ++i) s += std::string("  0") + (i + 1 < faces ? ",\n" : ";\n");
    s += "  Material {\n   " + f(r) + ";" + f(g) + ";" + f(b) + ";1.0;;\n   10.0;\n   0.2;0.2;0.2;;\n   0.0;0.0;0.0;;\n";
    if (texture) s += "   TextureFilename {\n    \"" + std::string(texture) + "\";\n   }\n";
    s += "  }\n";
    s += " }\n}\n";
    return s;
}
