// Animation-manager records of skinned objects.
#include "engine/model/SkinAnimation.h"

#include "engine/model/SkinObject.h"
#include "platform/core/MessageBox.h"

SkinAnimationManager::SkinAnimationManager(CSkinObject* owner)
{
    if (!owner) {
        plat::ShowMessageBox(nullptr, "不正な引数", "SkinAnimationManager");
        return;
    }
    this->owner = owner;
    const size_t nodes = owner->nodes.size();
    for (SkinAnimTrackSlot& slot : tracks) slot.samples.assign(nodes, SkinPoseSample{});
    for (std::vector<SkinWorkRecord>& array : work) array.assign(nodes, SkinWorkRecord{});
}

SkinAnimationManager::~SkinAnimationManager() { events.DeleteAll(); }
