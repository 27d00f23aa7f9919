#pragma once
// Text X files of a skinned tube for the skinned-mesh tests and benchmarks:
// frames Root > Bone0 > Bone1 > ... one unit apart along y, a tube of rings
// from y = 0 to the last bone, each vertex weighted between the two bones
// around it.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace skintest {

struct Tube {
    int bones = 3;
    int rings = 5;
    int ringVertices = 4;
    bool materials = true;           // false: no material list at all
    std::string strayBone;           // also weights a bone with this name (no such frame)
    bool rigidProp = false;          // a frame "Prop" with an unskinned triangle
    bool animation = false;          // set "Bend": Bone1 turns, Bone0 one key, Prop moves
};

inline std::string Num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

inline std::string Matrix(double tx, double ty, double tz)
{
    return "1,0,0,0,0,1,0,0,0,0,1,0," + Num(tx) + "," + Num(ty) + "," + Num(tz) + ",1;;";
}

inline std::string TubeMesh(const Tube& t)
{
    const int n = t.rings * t.ringVertices;
    const double height = t.bones > 1 ? t.bones - 1 : 1;
    std::vector<double> ys;
    std::string s = "Mesh Tube {\n " + std::to_string(n) + ";\n";
    for (int r = 0; r < t.rings; ++r) {
        const double y = height * r / (t.rings - 1);
        for (int k = 0; k < t.ringVertices; ++k) {
            const double a = 6.283185307 * k / t.ringVertices;
            s += " " + Num(0.5 * std::cos(a)) + ";" + Num(y) + ";" + Num(0.5 * std::sin(a)) + ";" +
                 (r * t.ringVertices + k + 1 < n ? ",\n" : ";\n");
            ys.push_back(y);
        }
    }
    const int faces = (t.rings - 1) * t.ringVertices * 2;
    s += " " + std::to_string(faces) + ";\n";
    int written = 0;
    for (int r = 0; r + 1 < t.rings; ++r)
        for (int k = 0; k < t.ringVertices; ++k) {
            const int a = r * t.ringVertices + k, b = r * t.ringVertices + (k + 1) % t.ringVertices;
            const int c = a + t.ringVertices, d = b + t.ringVertices;
            const int tris[2][3] = {{a, c, b}, {b, c, d}};
            for (const auto& tri : tris) {
                ++written;
                s += " 3;" + std::to_string(tri[0]) + "," + std::to_string(tri[1]) + "," + std::to_string(tri[2]) +
                     (written < faces ? ";,\n" : ";;\n");
            }
        }
    if (t.materials) {
        s += " MeshMaterialList {\n  2;\n  " + std::to_string(faces) + ";\n";
        for (int f = 0; f < faces; ++f) s += "  " + std::to_string(f % 2) + (f + 1 < faces ? ",\n" : ";\n");
        s += "  Material {\n   0.8;0.2;0.2;1.0;;\n   10.0;\n   0.5;0.5;0.5;;\n   0.0;0.0;0.0;;\n  }\n";
        s += "  Material {\n   0.2;0.2;0.8;1.0;;\n   5.0;\n   0.1;0.1;0.1;;\n   0.0;0.0;0.0;;\n  }\n";
        s += " }\n";
    }
    // Weights: bone floor(y) and the next, linear in between.
    std::vector<std::vector<int>> verts(t.bones);
    std::vector<std::vector<double>> weights(t.bones);
    for (int v = 0; v < n; ++v) {
        const double y = ys[v];
        int lo = static_cast<int>(y);
        if (lo >= t.bones - 1) lo = t.bones > 1 ? t.bones - 2 : 0;
        const double f = t.bones > 1 ? y - lo : 0.0;
        if (f < 1.0) {
            verts[lo].push_back(v);
            weights[lo].push_back(1.0 - f);
        }
        if (t.bones > 1 && f > 0.0) {
            verts[lo + 1].push_back(v);
            weights[lo + 1].push_back(f);
        }
    }
    const int boneCount = t.bones + (t.strayBone.empty() ? 0 : 1);
    s += " XSkinMeshHeader {\n  2;\n  6;\n  " + std::to_string(boneCount) + ";\n }\n";
    auto weightsBlock = [&](const std::string& name, const std::vector<int>& vs, const std::vector<double>& ws,
                            double offsetY) {
        std::string b = " SkinWeights {\n  \"" + name + "\";\n  " + std::to_string(vs.size()) + ";\n";
        for (size_t i = 0; i < vs.size(); ++i) b += "  " + std::to_string(vs[i]) + (i + 1 < vs.size() ? ",\n" : ";\n");
        for (size_t i = 0; i < ws.size(); ++i) b += "  " + Num(ws[i]) + (i + 1 < ws.size() ? ",\n" : ";\n");
        b += "  " + Matrix(0, offsetY, 0) + "\n }\n";
        return b;
    };
    for (int i = 0; i < t.bones; ++i) s += weightsBlock("Bone" + std::to_string(i), verts[i], weights[i], -i);
    if (!t.strayBone.empty()) s += weightsBlock(t.strayBone, {0}, {0.0}, 0);
    s += "}\n";
    return s;
}

inline std::string TubeFile(const Tube& t)
{
    std::string s = "xof 0303txt 0032\n\nAnimTicksPerSecond {\n 4800;\n}\n\n";
    s += "Frame Root {\n FrameTransformMatrix {\n  " + Matrix(0, 0, 0) + "\n }\n";
    std::string close;
    for (int i = 0; i < t.bones; ++i) {
        s += " Frame Bone" + std::to_string(i) + " {\n  FrameTransformMatrix {\n   " + Matrix(0, i == 0 ? 0 : 1, 0) +
             "\n  }\n";
        close += " }\n";
    }
    s += close;
    if (t.rigidProp) {
        s += " Frame Prop {\n  FrameTransformMatrix {\n   " + Matrix(2, 0, 0) + "\n  }\n";
        s += "  Mesh PropMesh {\n   3;\n   0;0;0;,\n   0;1;0;,\n   1;0;0;;\n   1;\n   3;0,1,2;;\n  }\n }\n";
    }
    s += TubeMesh(t);
    s += "}\n";
    if (t.animation) {
        s += "AnimationSet Bend {\n";
        s += " Animation {\n  {Bone1}\n  AnimationKey {\n   0;\n   3;\n";
        s += "   0;4;1.0,0.0,0.0,0.0;;,\n   2400;4;0.923880,0.0,0.0,-0.382683;;,\n   4800;4;1.0,0.0,0.0,0.0;;;\n  }\n";
        s += " }\n";
        s += " Animation {\n  {Bone0}\n  AnimationKey {\n   0;\n   1;\n   0;4;0.707107,0.707107,0.0,0.0;;;\n  }\n }\n";
        if (t.rigidProp)
            s += " Animation {\n  {Prop}\n  AnimationKey {\n   2;\n   2;\n   0;3;2.0,0.0,0.0;;,\n   4800;3;2.0,1.0,0.0;;;\n  }\n }\n";
        s += "}\n";
    }
    return s;
}


// A skin as heavy in bones per vertex as the weight bound lets a file be:
// `positions` vertices, `faces` triangles over them, and `bones` bones each
// listing every vertex (no frames for them: the skin is refused or converted
// before its bones are linked).
inline std::string ManyBonesPerVertexFile(int positions, int faces, int bones)
{
    std::string s = "xof 0303txt 0032\n\nMesh Crowd {\n " + std::to_string(positions) + ";\n";
    for (int v = 0; v < positions; ++v)
        s += " " + Num(v % 10) + ";" + Num(v / 10) + ";0;" + (v + 1 < positions ? ",\n" : ";\n");
    s += " " + std::to_string(faces) + ";\n";
    for (int f = 0; f < faces; ++f)
        s += " 3;" + std::to_string(f % positions) + "," + std::to_string((f + 1) % positions) + "," +
             std::to_string((f + 2) % positions) + (f + 1 < faces ? ";,\n" : ";;\n");
    s += " XSkinMeshHeader {\n  6;\n  6;\n  " + std::to_string(bones) + ";\n }\n";
    std::string list, weights;
    for (int v = 0; v < positions; ++v) {
        list += "  " + std::to_string(v) + (v + 1 < positions ? ",\n" : ";\n");
        weights += std::string("  0.0001") + (v + 1 < positions ? ",\n" : ";\n");
    }
    for (int b = 0; b < bones; ++b)
        s += " SkinWeights {\n  \"B" + std::to_string(b) + "\";\n  " + std::to_string(positions) + ";\n" + list +
             weights + "  " + Matrix(0, 0, 0) + "\n }\n";
    s += "}\n";
    return s;
}

}  // namespace skintest
