#include "engine/graphics/MeshBudget.h"

MeshBudget::MeshBudget(std::string owner, u64 maxVertices, u64 maxFaces, u64 maxWeights)
    : owner_(std::move(owner)), limit_{maxVertices, maxFaces, maxWeights}
{
}

bool MeshBudget::Admit(const char* file, const void* data, size_t size, MeshCounts* counted, std::string* error)
{
    if (Refused()) {
        if (error) *error = why_;
        return false;
    }
    // Reading stops as soon as the file alone passes what is left.
    const MeshCounts left{limit_.vertices - used_.vertices, limit_.faces - used_.faces,
                          limit_.weights - used_.weights};
    MeshCounts c;
    std::string bad;
    if (!plat::CountXFile(data, size, c, bad, left)) {
        if (error) *error = bad;
        return false;
    }
    const auto past = [&](u64 count, u64 room, u64 used, u64 limit, const char* what) {
        if (count <= room || !why_.empty()) return;
        const u64 total = count > ~0ull - used ? ~0ull : used + count;
        why_ = std::string("'") + (file ? file : "") + "' brings " + owner_ + " to " + std::to_string(total) + " " +
               what + ", more than " + std::to_string(limit);
    };
    past(c.vertices, left.vertices, used_.vertices, limit_.vertices, "vertices");
    past(c.faces, left.faces, used_.faces, limit_.faces, "faces");
    past(c.weights, left.weights, used_.weights, limit_.weights, "skin weights");
    if (Refused()) {
        if (error) *error = why_;
        return false;
    }
    used_.vertices += c.vertices;
    used_.faces += c.faces;
    used_.weights += c.weights;
    if (counted) *counted = c;
    return true;
}
