#include "platform/mesh/AnimationController.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace plat {

KeyframedAnimationSet::KeyframedAnimationSet(std::string name, f64 ticksPerSecond)
    : name_(std::move(name)), ticksPerSecond_(ticksPerSecond > 0.0 ? ticksPerSecond : 4800.0)
{
}

f64 KeyframedAnimationSet::GetPeriod() const
{
    f32 last = 0.0f;
    for (const Animation& a : animations_) {
        if (!a.scale.empty()) last = std::max(last, a.scale.back().Time);
        if (!a.rotation.empty()) last = std::max(last, a.rotation.back().Time);
        if (!a.translation.empty()) last = std::max(last, a.translation.back().Time);
    }
    return static_cast<f64>(last) / ticksPerSecond_;
}

Result KeyframedAnimationSet::GetAnimationNameByIndex(u32 index, const char** name) const
{
    if (!name || index >= animations_.size()) return ResultInvalidCall;
    *name = animations_[index].name.c_str();
    return ResultOk;
}

Result KeyframedAnimationSet::GetAnimationIndexByName(const char* name, u32* index) const
{
    if (!name || !index) return ResultInvalidCall;
    for (u32 i = 0; i < animations_.size(); ++i) {
        if (animations_[i].name == name) {
            *index = i;
            return ResultOk;
        }
    }
    return ResultNotFound;
}

u32 KeyframedAnimationSet::GetNumRotationKeys(u32 animation) const
{
    return animation < animations_.size() ? static_cast<u32>(animations_[animation].rotation.size()) : 0;
}

u32 KeyframedAnimationSet::GetNumScaleKeys(u32 animation) const
{
    return animation < animations_.size() ? static_cast<u32>(animations_[animation].scale.size()) : 0;
}

u32 KeyframedAnimationSet::GetNumTranslationKeys(u32 animation) const
{
    return animation < animations_.size() ? static_cast<u32>(animations_[animation].translation.size()) : 0;
}

Result KeyframedAnimationSet::GetRotationKeys(u32 animation, std::span<KeyQuaternion> out) const
{
    if (animation >= animations_.size()) return ResultInvalidCall;
    const auto& keys = animations_[animation].rotation;
    if (out.size() < keys.size()) return ResultInvalidCall;
    std::copy(keys.begin(), keys.end(), out.begin());
    return ResultOk;
}

Result KeyframedAnimationSet::GetScaleKeys(u32 animation, std::span<KeyVector3> out) const
{
    if (animation >= animations_.size()) return ResultInvalidCall;
    const auto& keys = animations_[animation].scale;
    if (out.size() < keys.size()) return ResultInvalidCall;
    std::copy(keys.begin(), keys.end(), out.begin());
    return ResultOk;
}

Result KeyframedAnimationSet::GetTranslationKeys(u32 animation, std::span<KeyVector3> out) const
{
    if (animation >= animations_.size()) return ResultInvalidCall;
    const auto& keys = animations_[animation].translation;
    if (out.size() < keys.size()) return ResultInvalidCall;
    std::copy(keys.begin(), keys.end(), out.begin());
    return ResultOk;
}

Result KeyframedAnimationSet::RegisterAnimationSRTKeys(const char* frameName, std::vector<KeyVector3> scale,
                                                       std::vector<KeyQuaternion> rotation,
                                                       std::vector<KeyVector3> translation, u32* index)
{
    if (!frameName) return ResultInvalidCall;
    Animation a;
    a.name = frameName;
    a.scale = std::move(scale);
    a.rotation = std::move(rotation);
    a.translation = std::move(translation);
    // Keys are looked up in time order.
    auto byTime = [](const auto& x, const auto& y) { return x.Time < y.Time; };
    std::stable_sort(a.scale.begin(), a.scale.end(), byTime);
    std::stable_sort(a.rotation.begin(), a.rotation.end(), byTime);
    std::stable_sort(a.translation.begin(), a.translation.end(), byTime);
    animations_.push_back(std::move(a));
    if (index) *index = static_cast<u32>(animations_.size() - 1);
    return ResultOk;
}

Result AnimationController::Create(u32 maxOutputs, u32 maxSets, u32 maxTracks, u32 maxEvents,
                                   std::shared_ptr<AnimationController>* out)
{
    if (!out) return ResultInvalidCall;
    out->reset();
    // Bounds keep a broken count from asking for absurd track tables.
    if (maxTracks > 1024 || maxSets > 65536) return ResultInvalidCall;
    auto c = std::shared_ptr<AnimationController>(new (std::nothrow) AnimationController());
    if (!c) return ResultOutOfMemory;
    c->maxOutputs_ = maxOutputs;
    c->maxSets_ = maxSets;
    c->maxEvents_ = maxEvents;
    c->tracks_.resize(maxTracks);
    *out = std::move(c);
    return ResultOk;
}

Result AnimationController::RegisterAnimationSet(const std::shared_ptr<KeyframedAnimationSet>& set)
{
    if (!set || sets_.size() >= maxSets_) return ResultInvalidCall;
    sets_.push_back(set);
    return ResultOk;
}

Result AnimationController::GetAnimationSet(u32 index, std::shared_ptr<KeyframedAnimationSet>* out) const
{
    if (!out || index >= sets_.size()) return ResultInvalidCall;
    *out = sets_[index];
    return ResultOk;
}

Result AnimationController::GetAnimationSetByName(const char* name, std::shared_ptr<KeyframedAnimationSet>* out) const
{
    if (!out || !name) return ResultInvalidCall;
    for (const auto& s : sets_) {
        if (std::strcmp(s->GetName(), name) == 0) {
            *out = s;
            return ResultOk;
        }
    }
    return ResultNotFound;
}

Result AnimationController::SetTrackAnimationSet(u32 track, const std::shared_ptr<KeyframedAnimationSet>& set)
{
    if (track >= tracks_.size()) return ResultInvalidCall;
    tracks_[track].set = set;
    return ResultOk;
}

Result AnimationController::GetTrackAnimationSet(u32 track, std::shared_ptr<KeyframedAnimationSet>* out) const
{
    if (!out || track >= tracks_.size()) return ResultInvalidCall;
    *out = tracks_[track].set;
    return ResultOk;
}

Result AnimationController::SetTrackEnable(u32 track, bool enable)
{
    if (track >= tracks_.size()) return ResultInvalidCall;
    tracks_[track].enabled = enable;
    return ResultOk;
}

Result AnimationController::GetTrackEnable(u32 track, bool* enable) const
{
    if (!enable || track >= tracks_.size()) return ResultInvalidCall;
    *enable = tracks_[track].enabled;
    return ResultOk;
}

Result AnimationController::CloneAnimationController(u32 maxOutputs, u32 maxSets, u32 maxTracks, u32 maxEvents,
                                                     std::shared_ptr<AnimationController>* out) const
{
    if (!out) return ResultInvalidCall;
    out->reset();
    if (maxSets < sets_.size()) return ResultInvalidCall;
    std::shared_ptr<AnimationController> c;
    Result r = Create(maxOutputs, maxSets, maxTracks, maxEvents, &c);
    if (Failed(r)) return r;
    c->sets_ = sets_;
    for (size_t t = 0; t < c->tracks_.size() && t < tracks_.size(); ++t) c->tracks_[t] = tracks_[t];
    *out = std::move(c);
    return ResultOk;
}

}  // namespace plat
