#pragma once
// Nodes of HOD/HD2 model trees and their animation key tables. The readers of
// the model and animation files are members of CHierarchyObject (they fill
// its tree); their bodies live in HodModel.cpp with the record layouts.
#include <memory>
#include <span>
#include <string>

#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class MeshObject;
class SkinXMesh;
class CSkinObject;
struct SkinNode;
class ShaderBase;

inline constexpr u32 kHodMaxChildren = 10;
inline constexpr u32 kHodAnimeCount = 200;
inline constexpr u32 kHodNameBytes = 256;
inline constexpr u32 kHodSwingParamBytes = 79;

// Bounds that keep a hostile model file from exhausting the stack or memory;
// real models are a few dozen nodes a few levels deep.
inline constexpr u32 kHodMaxDepth = 64;
inline constexpr u32 kHodMaxNodes = 4096;
// Vertices and faces the nodes of one model may draw, each node counting its
// own mesh (nodes naming one file share one loaded mesh, yet each draws it).
inline constexpr u64 kHodMaxVertices = 500000;
inline constexpr u64 kHodMaxFaces = 500000;
// What one robot type may load in meshes, each file once: its model's nodes,
// skinned ones too, its hit hulls and its script's extra meshes. The sample
// types load some 1,600 vertices and 800 faces; this is room for four meshes
// of the most vertices one mesh can have, and a few hundred megabytes at most.
inline constexpr u64 kModelMaxVertices = 250000;
inline constexpr u64 kModelMaxFaces = 250000;
// Skin weights of the type's skinned meshes, each entry counted once per
// vertex it lands on: four bones for every vertex of the budget (the sample
// skins carry under two a vertex), some 8 MB.
inline constexpr u64 kModelMaxWeights = 1000000;
// Keys per animation: one per key file, real animations have tens.
inline constexpr u32 kHodMaxKeys = 65536;
// Memory the keys of one model may take; a real robot needs well under 1 MB.
inline constexpr u64 kHodMaxKeyBytes = u64(64) << 20;

// Interpolation modes of a key.
inline constexpr u8 kHodRotSlerp = 0;
inline constexpr u8 kHodRotSquad = 1;        // squad with the key's own a, b, c
inline constexpr u8 kHodRotSquadAuto = 2;    // squad set up from the neighbours
inline constexpr u8 kHodVecLinear = 0;
inline constexpr u8 kHodVecCatmullRom = 1;

// Link modes of a node during the pose walks.
inline constexpr u8 kHodLinkAnimated = 0;
inline constexpr u8 kHodLinkFixed = 1;
inline constexpr u8 kHodLinkCallback = 3;

// One pose of one node.
struct HodKey {
    std::string name;
    Mat4 matrix;
    Quat rotation;
    Vec3 scale{1.0f, 1.0f, 1.0f};
    Vec3 translation;
    Quat squadA, squadB, squadC;
    u8 rotationMode = kHodRotSlerp;
    u8 scaleMode = kHodVecLinear;
    u8 translationMode = kHodVecLinear;
};

struct HodKeyTable {
    u32 count = 0;
    HodKey* keys = nullptr;  // new[] of count keys
};

// Per-node state of the swing callback.
struct HodPoseCache {
    Vec3 velocity;
    Mat4 rest;
    f32 follow = 0.0f;
    f32 maxAngle = 0.0f;  // degrees
    f32 spring = 0.0f;
    u8 disabled = 0;
};

class HodNode {
public:
    HodNode();
    HodNode(const HodNode&) = delete;
    HodNode& operator=(const HodNode&) = delete;

    HodNode* children[kHodMaxChildren] = {};
    HodNode* parent = nullptr;
    u32 level = 0;
    u8 hidden = 0;
    u8 linkMode = kHodLinkAnimated;
    // One past the highest child slot ever taken: the pose walks look no
    // further (slots below it may be empty again).
    u8 childSlots = 0;
    // What the pose walks read sits together at the front.
    HodKeyTable* keyTables = nullptr;  // kHodAnimeCount tables; shared by copies
    Mat4 local;
    Mat4 world;
    char meshName[kHodNameBytes] = {};
    u8 swingParams[kHodSwingParamBytes] = {};
    u8 skinned = 0;
    // The node's mesh; nodes naming one file, and copies of the tree, hold
    // the same one, which goes with its last holder.
    MeshObject* mesh = nullptr;  // meshHold.get()
    std::shared_ptr<MeshObject> meshHold;
    // The node's skinned mesh; nodes naming one file, and copies of the
    // tree, hold the same one.
    SkinXMesh* skinMesh = nullptr;  // skinHold.get()
    std::shared_ptr<SkinXMesh> skinHold;
    CSkinObject* skinObject = nullptr;
    SkinNode* skinNode = nullptr;
    u8 optionA = 1;
    Vec3 nodeVector{1.0f, 1.0f, 1.0f};
    u8 optionB = 0;
    HodPoseCache* poseCache = nullptr;

    // A new child (with an empty mesh, level one below this node) in the first
    // free slot; null when all slots are used or memory runs out.
    HodNode* AddChild();
    // The same into a given slot; null when the slot is out of range or taken.
    HodNode* AddChildAt(int slot);
    // Makes the node draw and hold the given mesh (null: none).
    void HoldMesh(std::shared_ptr<MeshObject> m)
    {
        meshHold = std::move(m);
        mesh = meshHold.get();
    }
    void HoldSkin(std::shared_ptr<SkinXMesh> m)
    {
        skinHold = std::move(m);
        skinMesh = skinHold.get();
    }
    // Frees the subtree and this node. freeData also frees meshes, skinned
    // meshes and key tables, which copies share with their source.
    void FreeTree(bool freeData);

    std::span<HodNode* const> UsedChildSlots() const { return {children, childSlots}; }

    // Key table of an animation, null when the index is out of range.
    HodKeyTable* KeyTable(u32 anime) const
    {
        return keyTables && anime < kHodAnimeCount ? &keyTables[anime] : nullptr;
    }
    // The first three swing parameters: maximum angle, follow, spring.
    f32 SwingMaxAngle() const;
    f32 SwingFollow() const;
    f32 SwingSpring() const;

    // Draws this node's mesh with the other node's materials and textures
    // through an effect the caller has begun.
    void DrawSubsetsWith(ShaderBase* shader, HodNode* other);

    // Skinned-node objects (see SkinObject.cpp).
    void CreateSkinObjects();
    void DropSkinObjects();

    // Swing caches of a subtree.
    static void CreatePoseCacheTree(HodNode* node);
    static void StoreAimLimitsTree(HodNode* node);
    static void FreePoseCacheTree(HodNode* node);

private:
    ~HodNode();  // through FreeTree only
    void FreeData();
};
