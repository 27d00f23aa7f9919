#pragma once
// Animation data of skinned meshes and the pose tree of a skinned object:
// the animation sets converted from an X file's controller, the SkinNode
// tree that mirrors a mesh's frames, and the animation-manager records a
// skinned object keeps for playback.
#include <memory>
#include <string>
#include <vector>

#include "engine/core/TaskList.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

struct SkinFrame;
class CSkinObject;

struct SkinRotKey {
    f32 time = 0.0f;
    Quat value;
    u8 flag = 0;
    Quat a, b, c;  // squad control points of this key
};

struct SkinVecKey {
    f32 time = 0.0f;
    Vec3 value;
    u8 flag = 0;
};

struct SkinAnimTrack {
    std::vector<SkinRotKey> rotationKeys;
    std::vector<SkinVecKey> scaleKeys;
    std::vector<SkinVecKey> translationKeys;
};

// One animation set of a file; tracks[i] belongs to the mesh's allFrames[i].
struct SkinAnimation {
    std::string name;
    f64 ticksPerSecond = 0.0;
    f64 period = 0.0;
    std::vector<std::unique_ptr<SkinAnimTrack>> tracks;
};

// One frame's pose in a skinned object. The object owns every node (its
// nodes list); children only refers to them.
struct SkinNode {
    SkinFrame* frame = nullptr;
    SkinNode* parent = nullptr;
    std::vector<SkinNode*> children;
    Mat4 local;
    Mat4 combined;
};

struct SkinPoseSample {
    Quat rotation;
    Vec3 scale;
    Vec3 translation;
};

struct SkinAnimTrackSlot {
    u32 values[2] = {};
    f32 floats[2] = {};
    f64 time = 0.0;
    u8 flags[2] = {};
    std::vector<SkinPoseSample> samples;  // one per node of the owner
};

class SkinAnimeTrackEvent_Base : public CListNode<SkinAnimeTrackEvent_Base> {};

inline constexpr u32 kSkinManagerTracks = 7;
inline constexpr u32 kSkinWorkWords = 9;

struct SkinWorkRecord {
    u32 words[kSkinWorkWords] = {};
};

class SkinAnimationManager {
public:
    // A null owner is refused with a message; the manager then has no samples
    // and no work arrays.
    explicit SkinAnimationManager(CSkinObject* owner);
    SkinAnimationManager(const SkinAnimationManager&) = delete;
    SkinAnimationManager& operator=(const SkinAnimationManager&) = delete;
    ~SkinAnimationManager();

    CSkinObject* owner = nullptr;
    SkinAnimTrackSlot tracks[kSkinManagerTracks];
    CList<SkinAnimeTrackEvent_Base> events;
    std::vector<SkinWorkRecord> work[3];
    u32 counters[2] = {};
};
