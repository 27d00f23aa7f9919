#pragma once
// Text X meshes as heavy as a mesh may be for the load budgets, yet quick to
// write: many vertices and one triangle, or three vertices and many faces.
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
