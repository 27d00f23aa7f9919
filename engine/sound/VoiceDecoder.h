#pragma once
// Pilot voices are decoded on a worker thread of their own, so a voice a
// peer sends or a pilot folder names never holds up a frame. The worker
// turns Ogg bytes into an in-memory WAVE image; the main thread, which alone
// owns the sound device, makes the sound from it once it is ready.
#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "platform/core/Thread.h"
#include "platform/core/Types.h"

// One voice to decode. The owner keeps the only lasting reference; the
// worker's queue holds a weak one, so a voice freed before its turn costs
// nothing more.
struct VoiceDecodeJob {
    std::vector<u8> ogg;       // the stream, copied
    u32 maxBytes = 0;          // samples decoded at most
    std::vector<u8> wave;      // the result, valid once done (empty: failed)
    std::atomic<bool> done{false};
    std::atomic<bool> cancelled{false};
};

class VoiceDecoder {
public:
    VoiceDecoder() = default;
    ~VoiceDecoder();
    VoiceDecoder(const VoiceDecoder&) = delete;
    VoiceDecoder& operator=(const VoiceDecoder&) = delete;

    // Hands a job to the worker (started on first use). false when no
    // worker can run; the job is then left undone.
    bool Queue(const std::shared_ptr<VoiceDecodeJob>& job);
    // Ends the worker; jobs not yet begun stay undone.
    void Stop();
    // Jobs queued or being decoded (tests).
    u32 Busy() const { return busy_.load(); }

private:
    static void Run(void* self);
    void Work();

    plat::CriticalSection lock_;
    plat::SyncEvent wake_{false};
    std::deque<std::weak_ptr<VoiceDecodeJob>> queue_;
    plat::Thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<u32> busy_{0};
};

VoiceDecoder& GetVoiceDecoder();
