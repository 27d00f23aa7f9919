#pragma once
// Key-framed animation sets read from X files and the controller that holds
// them with its tracks. Rotation keys are kept as the file states them; the
// model code takes their conjugate (it negates w) to get the frame rotation.
// Matrix keys of a file are split into scale, rotation and translation keys
// in that same convention.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/mesh/Mesh.h"

namespace plat {

struct KeyVector3 {
    f32 Time = 0.0f;  // in source ticks
    Vec3 Value;
};
struct KeyQuaternion {
    f32 Time = 0.0f;
    Quat Value;
};

class KeyframedAnimationSet {
public:
    KeyframedAnimationSet(std::string name, f64 ticksPerSecond);

    const char* GetName() const { return name_.c_str(); }
    f64 GetSourceTicksPerSecond() const { return ticksPerSecond_; }
    // Seconds from the first tick to the last key of any animation.
    f64 GetPeriod() const;
    u32 GetNumAnimations() const { return static_cast<u32>(animations_.size()); }
    Result GetAnimationNameByIndex(u32 index, const char** name) const;
    Result GetAnimationIndexByName(const char* name, u32* index) const;

    u32 GetNumRotationKeys(u32 animation) const;
    u32 GetNumScaleKeys(u32 animation) const;
    u32 GetNumTranslationKeys(u32 animation) const;
    // out must hold the key count of that animation.
    Result GetRotationKeys(u32 animation, std::span<KeyQuaternion> out) const;
    Result GetScaleKeys(u32 animation, std::span<KeyVector3> out) const;
    Result GetTranslationKeys(u32 animation, std::span<KeyVector3> out) const;

    // Adds the keys of one frame (named by frameName).
    Result RegisterAnimationSRTKeys(const char* frameName, std::vector<KeyVector3> scale,
                                    std::vector<KeyQuaternion> rotation, std::vector<KeyVector3> translation,
                                    u32* index = nullptr);

private:
    struct Animation {
        std::string name;
        std::vector<KeyVector3> scale;
        std::vector<KeyQuaternion> rotation;
        std::vector<KeyVector3> translation;
    };
    std::string name_;
    f64 ticksPerSecond_;
    std::vector<Animation> animations_;
};

class AnimationController {
public:
    static Result Create(u32 maxOutputs, u32 maxSets, u32 maxTracks, u32 maxEvents,
                         std::shared_ptr<AnimationController>* out);

    u32 GetMaxNumAnimationOutputs() const { return maxOutputs_; }
    u32 GetMaxNumAnimationSets() const { return maxSets_; }
    u32 GetMaxNumTracks() const { return static_cast<u32>(tracks_.size()); }
    u32 GetMaxNumEvents() const { return maxEvents_; }

    // Fails when the controller already holds its maximum of sets.
    Result RegisterAnimationSet(const std::shared_ptr<KeyframedAnimationSet>& set);
    u32 GetNumAnimationSets() const { return static_cast<u32>(sets_.size()); }
    Result GetAnimationSet(u32 index, std::shared_ptr<KeyframedAnimationSet>* out) const;
    Result GetAnimationSetByName(const char* name, std::shared_ptr<KeyframedAnimationSet>* out) const;

    Result SetTrackAnimationSet(u32 track, const std::shared_ptr<KeyframedAnimationSet>& set);
    Result GetTrackAnimationSet(u32 track, std::shared_ptr<KeyframedAnimationSet>* out) const;
    Result SetTrackEnable(u32 track, bool enable);
    Result GetTrackEnable(u32 track, bool* enable) const;

    // A controller with the given maxima sharing this one's sets, its tracks
    // copied as far as the new track count goes. Fails when maxSets is below
    // the number of sets held.
    Result CloneAnimationController(u32 maxOutputs, u32 maxSets, u32 maxTracks, u32 maxEvents,
                                    std::shared_ptr<AnimationController>* out) const;

private:
    struct Track {
        std::shared_ptr<KeyframedAnimationSet> set;
        bool enabled = false;
    };
    u32 maxOutputs_ = 0, maxSets_ = 0, maxEvents_ = 0;
    std::vector<std::shared_ptr<KeyframedAnimationSet>> sets_;
    std::vector<Track> tracks_;
};

}  // namespace plat
