// Skinned objects over shared skinned meshes, and the skinned nodes of model
// trees: the "sx" set-up after an HD2 model is read, the binding of the
// nodes below by frame name, and the same binding for copies.
#include "engine/model/SkinObject.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/model/HierarchyObject.h"
#include "engine/graphics/MeshObject.h"
#include "engine/model/SkinXMesh.h"
#include "platform/mesh/AnimationController.h"
#include "platform/math/Math.h"

bool HodNameEndsWithSx(const char* name)
{
    if (!name) return false;
    const size_t n = std::strlen(name);
    return n >= 2 && name[n - 2] == 's' && name[n - 1] == 'x';
}

// ---- CSkinObject -----------------------------------------------------------------

CSkinObject::CSkinObject() = default;

CSkinObject::~CSkinObject() { Clear(); }

void CSkinObject::Clear()
{
    // Frames of the shared mesh left pointing at these nodes would dangle.
    if (mesh) {
        const size_t n = std::min(nodes.size(), mesh->allFrames.size());
        for (size_t i = 0; i < n; ++i)
            if (mesh->allFrames[i]->combined == &nodes[i]->combined) mesh->allFrames[i]->combined = SkinFrame::Identity();
    }
    managers.clear();
    nodes.clear();
    animController.reset();
}

int CSkinObject::SetMesh(SkinXMesh* newMesh)
{
    Clear();
    mesh = newMesh;
    if (!mesh) return 1;
    if (const std::shared_ptr<plat::AnimationController>& source = mesh->animController) {
        if (plat::Failed(source->CloneAnimationController(
                source->GetMaxNumAnimationOutputs(), source->GetMaxNumAnimationSets(), source->GetMaxNumTracks(),
                source->GetMaxNumEvents(), &animController)) ||
            !animController) {
            animController.reset();
            mesh = nullptr;
            return 0;
        }
        for (u32 t = 0; t < animController->GetMaxNumTracks(); ++t) animController->SetTrackEnable(t, false);
    }
    if (mesh->rootFrame) {
        // nodes follow allFrames exactly: a frame, its children's subtrees,
        // then its next sibling.
        nodes.reserve(mesh->allFrames.size());
        struct Builder {
            CSkinObject* self;
            void Build(SkinFrame* frame, SkinNode* parent)
            {
                for (; frame; frame = static_cast<SkinFrame*>(frame->pFrameSibling)) {
                    auto node = std::make_unique<SkinNode>();
                    node->frame = frame;
                    node->parent = parent;
                    node->local = frame->TransformationMatrix;
                    SkinNode* raw = node.get();
                    if (parent) parent->children.push_back(raw);
                    self->nodes.push_back(std::move(node));
                    Build(static_cast<SkinFrame*>(frame->pFrameFirstChild), raw);
                }
            }
        };
        Builder{this}.Build(mesh->rootFrame, nullptr);
    }
    if (!mesh->animations.empty())
        for (u32 i = 0; i < kSkinObjectManagers; ++i)
            managers.push_back(std::make_unique<SkinAnimationManager>(this));
    return 1;
}

namespace {

void Combine(SkinNode* node, const Mat4& parent)
{
    plat::MatrixMultiply(&node->combined, &node->local, &parent);
    for (SkinNode* child : node->children) Combine(child, node->combined);
}

}  // namespace

void CSkinObject::UpdateMatrices()
{
    if (nodes.empty()) return;
    // Top-level sibling frames all hang under the object's world matrix.
    for (const std::unique_ptr<SkinNode>& node : nodes)
        if (!node->parent) Combine(node.get(), world);
}

void CSkinObject::BindBoneMatrices()
{
    if (!mesh) return;
    const size_t n = std::min(nodes.size(), mesh->allFrames.size());
    for (size_t i = 0; i < n; ++i) mesh->allFrames[i]->combined = &nodes[i]->combined;
}

// ---- HodNode skin objects ----------------------------------------------------------

void HodNode::CreateSkinObjects()
{
    skinNode = nullptr;
    delete skinObject;  // before the mesh it was built over
    skinObject = nullptr;
    HoldSkin(std::shared_ptr<SkinXMesh>(new (std::nothrow) SkinXMesh()));
    skinObject = new (std::nothrow) CSkinObject();
}

void HodNode::DropSkinObjects()
{
    delete skinObject;
    skinObject = nullptr;
    HoldSkin(nullptr);
    skinNode = nullptr;
}

// ---- binding model nodes to skins -----------------------------------------------------

void CHierarchyObject::SetUpSkinnedNodes(HodNode* node, u32 key)
{
    if (!node) return;
    if (!HodNameEndsWithSx(node->meshName)) {
        for (HodNode* child : node->children) SetUpSkinnedNodes(child, key);
        return;
    }
    if (node->mesh) node->mesh->Release();
    // The model reader has tried the node's skinned mesh, shared among the
    // nodes that name its file (empty when it failed); a node set up on its
    // own loads one.
    std::shared_ptr<SkinXMesh> shared = node->skinHold;
    const bool tried = shared != nullptr;
    node->CreateSkinObjects();
    if (tried) node->HoldSkin(std::move(shared));
    const bool loaded = node->skinMesh && node->skinObject &&
                        (tried ? node->skinMesh->rootFrame != nullptr
                               : key != 0 ? node->skinMesh->LoadScrambled(node->meshName, key) != 0
                                          : node->skinMesh->LoadFromFile(node->meshName));
    if (!loaded) {
        node->DropSkinObjects();
        return;
    }
    node->skinned = 1;
    node->skinObject->SetMesh(node->skinMesh);
    node->skinObject->world = node->world;
    node->skinObject->UpdateMatrices();
    // A mesh without frames has no pose tree to bind to.
    if (node->skinObject->nodes.empty()) return;
    SkinNode* skinRoot = node->skinObject->nodes[0].get();
    for (HodNode* child : node->children)
        if (child) BindToSkin(child, skinRoot, key);
}

void CHierarchyObject::DropUnboundSkins(HodNode* node)
{
    if (!node) return;
    if (!node->skinned && !node->skinObject) node->HoldSkin(nullptr);
    for (HodNode* child : node->children) DropUnboundSkins(child);
}

SkinNode* CHierarchyObject::FindSkinNode(SkinNode* from, const char* name)
{
    if (!from || !name) return nullptr;
    if (from->frame && from->frame->Name && std::strcmp(from->frame->Name, name) == 0) return from;
    for (SkinNode* child : from->children)
        if (SkinNode* found = FindSkinNode(child, name)) return found;
    return nullptr;
}

void CHierarchyObject::BindToSkin(HodNode* node, SkinNode* skinRoot, u32 key)
{
    if (!node) return;
    if (HodNameEndsWithSx(node->meshName)) {
        SetUpSkinnedNodes(node, key);
        return;
    }
    node->skinNode = FindSkinNode(skinRoot, node->meshName);
    if (!node->skinNode) return;
    node->local = node->skinNode->local;
    node->world = node->skinNode->combined;
    for (HodNode* child : node->children)
        if (child) BindToSkin(child, skinRoot, key);
}

void CHierarchyObject::RebindCopy(HodNode* source, HodNode* copy)
{
    if (!source || !copy) return;
    if (source->skinMesh) {
        copy->skinned = 1;
        SkinNode* skinRoot =
            copy->skinObject && !copy->skinObject->nodes.empty() ? copy->skinObject->nodes[0].get() : nullptr;
        if (!skinRoot) return;
        for (u32 i = 0; i < kHodMaxChildren; ++i)
            if (source->children[i] && copy->children[i])
                BindCopyToSkin(source->children[i], copy->children[i], skinRoot);
        return;
    }
    for (u32 i = 0; i < kHodMaxChildren; ++i)
        if (source->children[i] && copy->children[i]) RebindCopy(source->children[i], copy->children[i]);
}

void CHierarchyObject::BindCopyToSkin(HodNode* source, HodNode* copy, SkinNode* skinRoot)
{
    if (!source || !copy) return;
    if (HodNameEndsWithSx(source->meshName)) {
        RebindCopy(source, copy);
        return;
    }
    copy->skinNode = FindSkinNode(skinRoot, copy->meshName);
    if (!copy->skinNode) return;
    copy->local = copy->skinNode->local;
    copy->world = copy->skinNode->combined;
    for (u32 i = 0; i < kHodMaxChildren; ++i)
        if (source->children[i] && copy->children[i])
            BindCopyToSkin(source->children[i], copy->children[i], skinRoot);
}
