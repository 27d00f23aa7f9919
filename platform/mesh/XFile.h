#pragma once
// Reader of the text X-file format ("xof 0303txt 0032"): frames with their
// matrices, meshes with normals, texture coordinates, material lists and skin
// weights, and animation sets. It fills plain records; turning them into
// drawable meshes and hierarchies is Mesh.cpp's and MeshHierarchy.cpp's job.
//
// Every count and index is checked against what the file holds, so a broken
// or hostile file is refused with "line N: what is wrong" and never makes the
// reader allocate more than the file could describe or index past an array.
#include <string>
#include <vector>

#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {

struct XMaterialData {
    std::string name;
    ColorF faceColor;          // diffuse r, g, b, a
    f32 power = 0.0f;
    Vec3 specular;
    Vec3 emissive;
    std::string textureFile;   // empty when the material names no texture
};

struct XSkinWeightsData {
    std::string boneName;
    std::vector<u32> vertices;  // indices into the mesh's positions
    std::vector<f32> weights;
    Mat4 offset;
};

struct XMeshData {
    std::string name;
    std::vector<Vec3> positions;
    // Polygons: faceSizes[f] indices each, laid end to end in faceIndices.
    std::vector<u32> faceSizes;
    std::vector<u32> faceIndices;

    bool hasNormals = false;
    std::vector<Vec3> normals;
    // Same layout as faceIndices, indexing normals.
    std::vector<u32> normalIndices;

    bool hasTexCoords = false;
    std::vector<Vec2> texCoords;  // one per position

    bool hasMaterialList = false;
    std::vector<u32> faceMaterials;  // one per polygon (short lists are extended)
    std::vector<XMaterialData> materials;

    bool hasSkinHeader = false;
    u32 maxWeightsPerVertex = 0;
    u32 maxWeightsPerFace = 0;
    u32 boneCount = 0;
    std::vector<XSkinWeightsData> skinWeights;
};

struct XFrameData {
    std::string name;  // empty for an unnamed frame
    Mat4 transform;
    std::vector<XMeshData> meshes;
    std::vector<XFrameData> children;
};

// Key types of an AnimationKey: 0 rotation (w, x, y, z), 1 scale, 2 position,
// 3 or 4 matrix.
struct XAnimationData {
    std::string frameName;
    struct RotKey { u32 time; Quat value; };
    struct VecKey { u32 time; Vec3 value; };
    struct MatKey { u32 time; Mat4 value; };
    std::vector<RotKey> rotations;  // value holds the file's (w, x, y, z) as (x, y, z, w)
    std::vector<VecKey> scales;
    std::vector<VecKey> translations;
    std::vector<MatKey> matrices;
};

struct XAnimationSetData {
    std::string name;
    std::vector<XAnimationData> animations;
};

struct XFileData {
    std::vector<XFrameData> frames;   // top-level frames in file order
    std::vector<XMeshData> meshes;    // top-level meshes (outside any frame)
    std::vector<XAnimationSetData> animationSets;
    bool hasTicksPerSecond = false;
    u32 ticksPerSecond = 4800;
};

// What the meshes of a text X file become, summed over every mesh the
// loaders would take (top-level meshes and those inside frames): vertices
// once each position is split by the normals its corners name, triangles (a
// polygon counts as the fan it becomes), and skin weights once every entry
// is copied to each vertex split from its position.
struct XFileCounts {
    u64 vertices = 0;
    u64 faces = 0;
    u64 weights = 0;
};

// Reads only the counts of a text X file: no coordinate or weight is
// converted, only the indices that decide the split are kept (a few bytes a
// corner, less than the file's own text), so a file is judged in a small
// part of its load time and memory. Once a total passes
// its stop value the reading ends there (the caller refuses the file anyway)
// and the totals say at least that much. false with error as ParseXFile
// when the file is no text X file or its counts are malformed.
bool CountXFile(const void* data, size_t size, XFileCounts& out, std::string& error,
                const XFileCounts& stopAbove = {~0ull, ~0ull, ~0ull});

// Parses a whole text X file. false with error = "line N: ..." when the file
// is not a text X file or is malformed.
bool ParseXFile(const void* data, size_t size, XFileData& out, std::string& error);

}  // namespace plat
