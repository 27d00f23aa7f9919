#pragma once
// Animated model trees: one HodNode tree posed each frame from whole-tree
// key-frame animations on up to seven tracks, blended by weight, switched and
// ramped by timed track events. Copies share meshes and key tables with
// their source; the last holder to release frees them.
#include <memory>

#include "engine/model/HodModel.h"
#include "engine/core/TaskList.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class FileHandle;
class TextureManager;
class MeshBudget;

inline constexpr u32 kHierarchyTracks = 7;
// ChangeAnime rotates through the first four tracks only.
inline constexpr u32 kHierarchyChangeTracks = 4;

struct AnimeTrackSlot {
    u32 keyCount = 0;  // the animation's key count when it started
    u32 anime = 0;
    f32 weight = 0.0f;
    f32 speed = 0.0f;  // keys per frame
    f32 frame = 0.0f;  // position in keys
    u32 loop = 0;
    u32 enabled = 0;
};

// Event types.
inline constexpr u32 kTrackEventEnable = 0;
inline constexpr u32 kTrackEventFrame = 1;
inline constexpr u32 kTrackEventSpeed = 2;
inline constexpr u32 kTrackEventWeight = 3;

class TrackEvent : public CListNode<TrackEvent> {
public:
    u32 type = 0;
    u32 track = 0;
    u32 flag = 0;
    f32 endValue = 0.0f;
    f32 startValue = 0.0f;
    f32 startTime = 0.0f;  // on the object's clock
    f32 duration = 0.0f;   // frames
};

// Node callback of link mode 3; false stops the walk below the node.
using HodNodeCallback = bool (*)(HodNode* node, const Mat4* parentWorld, void* arg);

// How many holders share one tree's meshes and key tables, minus one. Kept
// apart from the objects so a source may go before its copies.
struct HodShareCount {
    u32 copies = 0;
};

class CHierarchyObject {
public:
    CHierarchyObject();
    CHierarchyObject(const CHierarchyObject&) = delete;
    CHierarchyObject& operator=(const CHierarchyObject&) = delete;
    // Destroys the events only: owners call Release first.
    virtual ~CHierarchyObject();

    // ---- model files (HodModel.cpp); 1 success, 0 failure ----
    int LoadHod(const char* fileName, u32 textureLevel, u32 key, TextureManager* manager);
    // With a budget the model's meshes are admitted to it and shared with
    // the rest of its stage or type; without, the model has one of its own.
    int ReadHod(FileHandle* file, u32 textureLevel, u32 key, TextureManager* manager, MeshBudget* budget = nullptr);
    int ReadHd2(FileHandle* file, u32 textureLevel, u32 key, TextureManager* manager, MeshBudget* budget = nullptr);
    // Why the calling thread's last model tree was refused ("" when it was not).
    static const char* LastModelError();
    // 0 when the index is 200 or more or the count is unreasonable.
    int AllocAnimeKeys(u32 animIndex, u32 keyCount);
    int LoadDataToTable_Ver1(FileHandle* file, u32 animIndex, u32 keyIndex);
    int LoadDataToTable_Ver2(FileHandle* file, u32 animIndex, u32 keyIndex);
    // The fewest bytes one key of a model of `nodes` nodes takes in a file
    // (version 1 or 2 key data), so a declared key count can be checked
    // against what is left of the file before the keys are allocated.
    static u64 KeyDataBytes(bool version2, u32 nodes);

    // ---- tree ----
    // A new root with an empty mesh; any previous tree is released first.
    HodNode* CreateRoot();
    void RebuildNodeTable();
    HodNode* FindNode(const char* meshName) const;
    // Count of the subtree and a new[] array of its nodes in depth-first
    // pre-order (the caller frees it); 0 and nothing allocated without a
    // root or start.
    u32 CollectNodes(HodNode* start, HodNode*** out) const;
    void SetNodeHidden(HodNode* node, u8 hidden);
    void SetNodeLinkMode(HodNode* node, u8 mode);
    void CopyTo(CHierarchyObject* dest);
    void Release();
    void Draw();
    // Whether Draw gives only fully opaque pixels (see DrawStateHidesBehind).
    bool DrawsOpaque() const;

    // ---- animation ----
    void ResetAnime();
    void ClearTrackEvents();
    void ChangeAnime(u32 anime, float startTime, float blendTime, float speed, float weight, float startFrame,
                     u32 loop);
    void DropTrackEvents(u32 track);
    CHierarchyObject* PlayAnimation(u32 anime, u32 track, float speed, float weight, float frame, u32 loop,
                                    u32 enabled);
    void AdvanceAnime(float dt);
    void ApplyAnime(const Mat4* parentWorld);
    // placedLater: a node whose descendants may be left alone, for a caller
    // that moves that node and then animates and places them itself
    // (UpdateNodeMatricesEx with animate) before anything reads them: the
    // same tree in one walk of them instead of two. True when the walk
    // reached it and left them; false when it did not reach it or, with a
    // callback node below it, posed them all (a caller then only places them
    // again).
    bool ApplyAnimeFrom(HodNode* start, const Mat4* parentWorld, const HodNode* placedLater = nullptr);
    void UpdateMatrices(const Mat4* parentWorld);
    void UpdateMatricesEx(const Mat4* parentWorld);
    // The link-mode walk from one node under a given parent matrix; with
    // animate, animating its nodes by the tracks the last ApplyAnimeFrom
    // took, as that walk would have.
    void UpdateNodeMatricesEx(HodNode* node, const Mat4* parentWorld, bool animate = false);
    // Moves the clock back to zero, keeping every pending event's delay.
    void RebaseClock();

    // Key count of an animation in the root's table; 0 when out of range.
    u32 AnimeKeyCount(u32 anime) const;
    // On a source or a copy: how many other holders share the tree's data.
    u32 ShareCount() const { return share ? share->copies : 0; }

    // ---- skinned nodes (SkinObject.cpp) ----
    void SetUpSkinnedNodes(HodNode* node, u32 key);
    // Lets go of the skinned meshes the set-up left unbound (below a skin
    // that failed), so only set-up nodes hold one.
    static void DropUnboundSkins(HodNode* node);
    void BindToSkin(HodNode* node, SkinNode* skinRoot, u32 key);
    static SkinNode* FindSkinNode(SkinNode* from, const char* name);
    void RebindCopy(HodNode* source, HodNode* copy);
    void BindCopyToSkin(HodNode* source, HodNode* copy, SkinNode* skinRoot);

    // The object whose data a copy shares (the first source, never a copy);
    // only for identification, it may be gone.
    CHierarchyObject* source = nullptr;
    std::shared_ptr<HodShareCount> share;
    HodNode* root = nullptr;

    u32 activeAnime[kHierarchyTracks] = {};
    u32 activeKeys[kHierarchyTracks][2] = {};
    f32 activeFraction[kHierarchyTracks] = {};
    f32 activeWeight[kHierarchyTracks] = {};
    u32 activeCount = 0;
    u32 currentTrack = 0;
    u32 previousTrack = 0;
    f32 clock = 0.0f;

    HodNode** nodeTable = nullptr;
    u32 nodeCount = 0;
    CList<TrackEvent> events;
    AnimeTrackSlot tracks[kHierarchyTracks];

    Mat4 baseMatrix;
    HodNodeCallback nodeCallback = nullptr;
    void* nodeCallbackArg = nullptr;

private:
    // Frees the tree, its data only when no other holder shares it.
    void ReleaseTree();
    void FreeNodeTable();
    void CollectActiveTracks();
    // The local matrix of an animated node from the work list: one track,
    // or several blended by their weights.
    void AnimateSingle(HodNode* node);
    void AnimateBlended(HodNode* node);
    using AnimateNode = void (CHierarchyObject::*)(HodNode*);
    // How the collected tracks animate a node; null without any.
    AnimateNode Animator() const;
    // Walks the tree by link mode: animated nodes first take `animate` (when
    // given), animated and fixed nodes then go onto their parent's world,
    // callback nodes are the callback's to place or to stop at. The walk
    // stops below `placedLater`, and says whether it got there.
    bool WalkLinkModes(HodNode* node, const Mat4* parentWorld, AnimateNode animate = nullptr,
                       const HodNode* placedLater = nullptr);
    // Whether the walk below a node would meet a callback node.
    static bool CallbackBelow(const HodNode* node);
    // Interpolates one work-list entry at one node; false when the node has
    // no keys for it.
    bool SampleTrack(const HodNode* node, u32 entry, Quat* rotation, Vec3* scale, Vec3* translation) const;
    void CopyNode(const HodNode* from, HodNode* to, u32 depth);
    void AddEvent(u32 type, u32 track, u32 flag, f32 endValue, f32 startValue, f32 startTime, f32 duration);
    bool ReadModelTree(FileHandle* file, bool hd2, u32 textureLevel, u32 key, TextureManager* manager,
                       MeshBudget* budget);
    template <class Decode>
    int ReadAnimeKeys(FileHandle* file, u32 animIndex, u32 keyIndex, u32 recordBytes, bool checkChildCounts,
                      Decode decode);
};

// Also owns the nodes' swing caches.
class CHierarchyObjectEx : public CHierarchyObject {
public:
    ~CHierarchyObjectEx() override;
};

// Swings a node like a spring-loaded appendage towards its rest direction;
// the robot set-up installs it as the node callback.
bool AimNodeCallback(HodNode* node, const Mat4* parentWorld, void* arg);
