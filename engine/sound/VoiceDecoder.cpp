#include "engine/sound/VoiceDecoder.h"

#include "engine/sound/SoundManager.h"

VoiceDecoder::~VoiceDecoder() { Stop(); }

bool VoiceDecoder::Queue(const std::shared_ptr<VoiceDecodeJob>& job)
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
        std::shared_ptr<VoiceDecodeJob> job;
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
            std::vector<u8> wave;
            if (DecodeOggToWave(job->ogg.data(), u32(job->ogg.size()), &wave, job->maxBytes, &job->cancelled))
                job->wave.swap(wave);
            job->ogg = std::vector<u8>();
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
