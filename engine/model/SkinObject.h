#pragma once
// The pose state of one skinned node over a shared SkinXMesh: a tree of
// SkinNode records mirroring the mesh's frames, a private clone of the mesh's
// animation controller and the animation managers. The model's nodes below a
// skinned node follow the frames of the same name (see HierarchyObject).
#include <memory>
#include <vector>

#include "engine/model/SkinAnimation.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {
class AnimationController;
}
class SkinXMesh;

inline constexpr u32 kSkinObjectManagers = 5;

class CSkinObject {
public:
    CSkinObject();
    CSkinObject(const CSkinObject&) = delete;
    CSkinObject& operator=(const CSkinObject&) = delete;
    virtual ~CSkinObject();

    // Deletes managers and nodes and releases the controller clone.
    void Clear();
    // Builds the pose state over mesh; 0 (and no mesh) when its controller
    // cannot be cloned.
    int SetMesh(SkinXMesh* mesh);
    // combined = local x parent's combined, from world down.
    void UpdateMatrices();
    // Points every frame of the shared mesh at this object's node matrices;
    // done before each draw because copies share the mesh's frames.
    void BindBoneMatrices();

    SkinXMesh* mesh = nullptr;
    std::vector<std::unique_ptr<SkinNode>> nodes;  // depth first; nodes[i] is the mesh's allFrames[i]
    std::vector<std::unique_ptr<SkinAnimationManager>> managers;
    std::shared_ptr<plat::AnimationController> animController;
    u32 userValues[4] = {};
    Mat4 world;
};

// A mesh name ends in "sx" (exactly, lower case): the node is skinned.
bool HodNameEndsWithSx(const char* name);
