#include "engine/sound/VoiceDecoder.h"

#include <algorithm>

#include "engine/sound/SoundManager.h"
#include "platform/audio/OggDecoder.h"
#include "platform/core/DecodeHelper.h"

VoiceDecodeJob::~VoiceDecodeJob()
{
    // A voice freed gives its samples back to its owner.
    if (budget && charged > 0) budget->Give(charged);
}

void VoiceDecodeJob::Run()
{
    const u64 left = budget ? budget->left.load() : 0;
    const u32 cap = u32(std::min<u64>(left, kMaxDecodedOggBytes));
    std::vector<u8> image;
    plat::OggLayout layout;
    const plat::DecodeStatus status = plat::DecodeOggInHelper(ogg.data(), u32(ogg.size()), kMaxVoiceSeconds, cap, left,
                                                              kOggWaveHeaderSize, &image, &layout, &cancelled);
    ogg = std::vector<u8>();
    switch (status) {
    case plat::DecodeStatus::Ok: break;
    case plat::DecodeStatus::TooLong: refusal = VoiceRefusal::TooLong; return;
    case plat::DecodeStatus::OverBudget: refusal = VoiceRefusal::OverBudget; return;
    case plat::DecodeStatus::Unreadable: refusal = VoiceRefusal::Unreadable; return;
    default: refusal = VoiceRefusal::Failed; return;
    }
    // Another voice may have taken from the budget meanwhile.
    const u64 bytes = image.size() - kOggWaveHeaderSize;
    if (!budget || !budget->Take(bytes)) {
        refusal = VoiceRefusal::OverBudget;
        return;
    }
    charged = bytes;
    WriteWaveHeader(&image, layout.channels, layout.rate);
    wave.swap(image);
}

VoiceDecoder::~VoiceDecoder() { Stop(); }

bool VoiceDecoder::Queue(const std::shared_ptr<DecodeJob>& job)
{
    if (!job) return false;
    plat::ScopedLock hold(lock_);
    if (!thread_.IsJoinable()) {
        stopping_ = false;
        if (!thread_.Start(&VoiceDecoder::Run, this, plat::ThreadPriority::BelowNormal)) return false;
    }
    queue_.push_back(job);
    ++busy_;
    wake_.Set();
    return true;
}

void VoiceDecoder::Stop()
{
    {
        plat::ScopedLock hold(lock_);
        if (!thread_.IsJoinable()) return;
        stopping_ = true;
        wake_.Set();
    }
    thread_.Join();
    plat::ScopedLock hold(lock_);
    busy_ -= u32(queue_.size());
    queue_.clear();
}

void VoiceDecoder::Run(void* self) { static_cast<VoiceDecoder*>(self)->Work(); }

void VoiceDecoder::Work()
{
    while (!stopping_) {
        std::shared_ptr<DecodeJob> job;
        bool any = false;
        {
            plat::ScopedLock hold(lock_);
            if (!queue_.empty()) {
                job = queue_.front().lock();
                queue_.pop_front();
                any = true;
            }
        }
        if (!any) {
            wake_.Wait();
            continue;
        }
        if (job && !job->cancelled) {
            job->Run();
            job->done.store(true, std::memory_order_release);
        }
        --busy_;
    }
}

VoiceDecoder& GetVoiceDecoder()
{
    static VoiceDecoder decoder;
    return decoder;
}
