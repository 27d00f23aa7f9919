#pragma once
// A text X mesh of many vertices and one triangle: as heavy as a mesh may be
// for the load budgets, yet quick to write and read.
#include <string>

inline std::string VertexHeavyMeshText(unsigned vertices)
{
    std::string s = "xof 0303txt 0032\n\nMesh Heavy {\n " + std::to_string(vertices) + ";\n";
    for (unsigned i = 0; i < vertices; ++i)
        s += " " + std::to_string(i % 256) + ";" + std::to_string(i / 256) + ";0;" + (i + 1 < vertices ? ",\n" : ";\n");
    s += " 1;\n 3;0,1,256;;\n}\n";
    return s;
}
