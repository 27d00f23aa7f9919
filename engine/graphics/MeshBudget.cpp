#include "engine/graphics/MeshBudget.h"


MeshBudget::MeshBudget(std::string owner, u64 maxVertices, u64 maxFaces)
    : owner_(std::move(owner)), limit_{maxVertices, maxFaces}
{
}

bool MeshBudget::Admit(const char* file, const void* data, size_t size, MeshCounts* counted, std::string* error)
{
    if (Refused()) {
        if (error) *error = why_;
        return false;
    }
    // Reading stops as soon as the file alone passes what is left.
    const MeshCounts left{limit_.vertices - used_.vertices, limit_.faces - used_.faces};
    MeshCounts c;
    std::string bad;
    if (!plat::CountXFile(data, size, c, bad, left)) {
        if (error) *error = bad;
        return false;
    }
    if (c.vertices > left.vertices || c.faces > left.faces) {
        const bool vertices = c.vertices > left.vertices;
        why_ = std::string("'") + (file ? file : "") + "' brings " + owner_ + " to " +
               (vertices ? std::to_string(used_.vertices + c.vertices) + " vertices, more than " +
                               std::to_string(limit_.vertices)
                         : std::to_string(used_.faces + c.faces) + " faces, more than " +
                               std::to_string(limit_.faces));
        if (error) *error = why_;
        return false;
    }
    used_.vertices += c.vertices;
    used_.faces += c.faces;
    if (counted) *counted = c;
    return true;
}
