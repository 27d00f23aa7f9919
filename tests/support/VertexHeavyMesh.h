#pragma once
// Text X meshes as heavy as a mesh may be for the load budgets, yet quick to
// write: many vertices and one triangle, three vertices and many faces, or
// one position split by its normals into a vertex per corner.
#include <string>

inline std::string VertexHeavyMeshText(unsigned vertices)
{
    std::string s = "xof 0303txt 0032\n\nMesh Heavy {\n " + std::to_string(vertices) + ";\n";
    for (unsigned i = 0; i < vertices; ++i)
        s += " " + std::to_string(i % 256) + ";" + std::to_string(i / 256) + ";0;" + (i + 1 < vertices ? ",\n" : ";\n");
    s += " 1;\n 3;0,1,256;;\n}\n";
    return s;
}

inline std::string FaceHeavyMeshText(unsigned faces)
{
    std::string s = "xof 0303txt 0032\n\nMesh Heavy {\n 3;\n 0;0;0;,\n 1;0;0;,\n 0;1;0;;\n " + std::to_string(faces) + ";\n";
    s.reserve(s.size() + size_t(faces) * 11 + 8);
    for (unsigned i = 0; i < faces; ++i) s += i + 1 < faces ? " 3;0,1,2;,\n" : " 3;0,1,2;;\n";
    s += "}\n";
    return s;
}

// One position and many faces whose every corner names a normal of its own:
// the build splits the position into a vertex per corner. With entries > 0
// a bone (frame "Bone0") lists that one position entries times, and every
// entry is copied to every vertex split from it.
inline std::string SplitHeavyMeshText(unsigned faces, unsigned entries = 0)
{
    std::string s = "xof 0303txt 0032\n\nFrame Bone0 {\n FrameTransformMatrix {\n  1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n }\n}\n";
    s += "Mesh Split {\n 1;\n 0;0;0;;\n " + std::to_string(faces) + ";\n";
    s.reserve(s.size() + size_t(faces) * 64 + size_t(entries) * 8);
    for (unsigned i = 0; i < faces; ++i) s += i + 1 < faces ? " 3;0,0,0;,\n" : " 3;0,0,0;;\n";
    s += " MeshNormals {\n  " + std::to_string(faces * 3) + ";\n";
    for (unsigned i = 0; i < faces * 3; ++i) s += i + 1 < faces * 3 ? "  0;0;1;,\n" : "  0;0;1;;\n";
    s += "  " + std::to_string(faces) + ";\n";
    for (unsigned i = 0; i < faces; ++i)
        s += "  3;" + std::to_string(i * 3) + "," + std::to_string(i * 3 + 1) + "," + std::to_string(i * 3 + 2) +
             (i + 1 < faces ? ";,\n" : ";;\n");
    s += " }\n";
    if (entries > 0) {
        s += " XSkinMeshHeader {\n  1;\n  3;\n  1;\n }\n SkinWeights {\n  \"Bone0\";\n  " + std::to_string(entries) + ";\n";
        for (unsigned i = 0; i < entries; ++i) s += i + 1 < entries ? "  0,\n" : "  0;\n";
        for (unsigned i = 0; i < entries; ++i) s += i + 1 < entries ? "  1.0,\n" : "  1.0;\n";
        s += "  1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n }\n";
    }
    s += "}\n";
    return s;
}
