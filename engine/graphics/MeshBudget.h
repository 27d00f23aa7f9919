#pragma once
// What one stage or one robot type may load in meshes: vertices, faces and
// skin weights together, as the build will make them (a position split by
// its normals, a skin entry copied to each vertex split from its position),
// every file counted once from its own counts before its data is built, and
// the meshes already loaded, so each file loads once and is shared by every
// part, node or slot that names it.
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/core/Types.h"
#include "platform/mesh/XFile.h"

class MeshObject;
class SkinXMesh;

using MeshCounts = plat::XFileCounts;

class MeshBudget {
public:
    // owner names what the budget is for in its messages ("the stage's meshes").
    MeshBudget(std::string owner, u64 maxVertices, u64 maxFaces, u64 maxWeights);

    // Counts a file's meshes in, from the text of the file alone. false when
    // its counts cannot be read (error says why) or would take the owner past
    // the budget (then Refused() and Why(); nothing more is admitted). counted
    // gets the file's counts when it is admitted.
    bool Admit(const char* file, const void* data, size_t size, MeshCounts* counted, std::string* error);
    // Refuses whatever else would come, for a reason of the owner's own.
    void Refuse(std::string why)
    {
        if (why_.empty()) why_ = std::move(why);
    }
    bool Refused() const { return !why_.empty(); }
    const std::string& Why() const { return why_; }
    const MeshCounts& Used() const { return used_; }
    const MeshCounts& Limit() const { return limit_; }

    // Meshes loaded so far by file and load options; a file that failed is
    // kept as null, so it is tried and reported once.
    std::map<std::pair<std::string, u64>, std::shared_ptr<MeshObject>> meshes;
    std::map<std::string, std::shared_ptr<SkinXMesh>> skins;

private:
    std::string owner_;
    MeshCounts limit_;
    MeshCounts used_;
    std::string why_;
};
