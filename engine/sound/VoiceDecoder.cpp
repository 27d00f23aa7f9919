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

bool DecodeJob::WaitDone(u32 ms)
{
    return done.load(std::memory_order_acquire) || finished.Wait(ms) == plat::WaitResult::Signalled;
}

void VoiceDecodeJob::Run()
{
    if (music) {
        if (!DecodeOggToWave(ogg.data(), u32(ogg.size()), &wave, kMaxDecodedOggBytes, &cancelled)) {
            wave = std::vector<u8>();
            refusal = VoiceRefusal::Failed;
        }
        ogg = std::vector<u8>();
        return;
    }
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
    auto lane = std::find_if(lanes_.begin(), lanes_.end(), [&job](const Lane& l) { return l.owner == job->lane; });
    if (lane == lanes_.end()) lane = lanes_.insert(lanes_.end(), Lane{job->lane, {}});
    lane->jobs.push_back(job);
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
        if (std::shared_ptr<DecodeJob> job = running_.lock()) job->cancelled = true;
        wake_.Set();
    }
    thread_.Join();
    plat::ScopedLock hold(lock_);
    for (const Lane& lane : lanes_) busy_ -= u32(lane.jobs.size());
    lanes_.clear();
}

void VoiceDecoder::Run(void* self) { static_cast<VoiceDecoder*>(self)->Work(); }

void VoiceDecoder::Work()
{
    while (!stopping_) {
        std::shared_ptr<DecodeJob> job;
        bool any = false;
        {
            plat::ScopedLock hold(lock_);
            if (!lanes_.empty()) {
                // The front lane gives one job and, with more, goes last.
                Lane lane = std::move(lanes_.front());
                lanes_.pop_front();
                job = lane.jobs.front().lock();
                lane.jobs.pop_front();
                if (!lane.jobs.empty()) lanes_.push_back(std::move(lane));
                running_ = job;
                any = true;
            }
        }
        if (!any) {
            wake_.Wait();
            continue;
        }
        if (job && !job->cancelled && !stopping_) {
            job->Run();
            job->done.store(true, std::memory_order_release);
            job->finished.Set();
        }
        {
            plat::ScopedLock hold(lock_);
            running_.reset();
        }
        --busy_;
    }
}

VoiceDecoder& GetVoiceDecoder()
{
    static VoiceDecoder decoder;
    return decoder;
}

VoiceDecoder& GetMusicDecoder()
{
    static VoiceDecoder decoder;
    return decoder;
}
