#pragma once
// Received voices and pictures, and pilot voices, are decoded on a worker
// thread of their own, so none of them ever holds up a frame; the worker
// hands each to the decoder helper (platform/core/DecodeHelper.h), so a
// hostile stream cannot take the game down either. The main thread, which
// alone owns the sound and graphics devices, makes the sound or texture
// from the checked result once it is ready.
//
// Each owner (a pilot, a peer) has a lane of its own and the worker takes
// the lanes in turn, one job each, so one owner's slow streams hold back
// another's by one decode at most. Music decodes on a worker of its own.
#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "platform/core/Thread.h"
#include "platform/core/Types.h"

// One piece of work for the worker. The owner keeps the only lasting
// reference; the worker's queue holds a weak one, so a job freed before its
// turn costs nothing more.
struct DecodeJob {
    virtual ~DecodeJob() = default;
    // On the worker; `cancelled` may be set meanwhile.
    virtual void Run() = 0;
    // Waits up to ms for the job to be done (any thread but the worker's).
    bool WaitDone(u32 ms);

    const void* lane = nullptr;  // whose job it is: jobs of one lane go in order
    std::atomic<bool> done{false};
    std::atomic<bool> cancelled{false};
    plat::SyncEvent finished{true};
};

// Bytes one owner's decoded voices or pictures may still take (a pilot's, a
// peer's). Taken only whole, once the decoding shows what is needed; a
// freed voice or picture gives its bytes back. Any thread.
struct DecodeBudget {
    explicit DecodeBudget(u64 total) : left(total), total(total) {}
    bool Take(u64 bytes)
    {
        u64 now = left.load();
        while (now >= bytes)
            if (left.compare_exchange_weak(now, now - bytes)) return true;
        return false;
    }
    void Give(u64 bytes) { left += bytes; }
    u64 Held() const { return total - left.load(); }

    std::atomic<u64> left;
    const u64 total;
};

enum class VoiceRefusal;

// One voice to decode, or a piece of music (any length, up to
// kMaxDecodedOggBytes of samples, charged to no budget).
struct VoiceDecodeJob : DecodeJob {
    ~VoiceDecodeJob() override;
    void Run() override;

    bool music = false;
    std::vector<u8> ogg;                  // the stream, copied
    std::shared_ptr<DecodeBudget> budget;  // what its samples are taken from
    std::vector<u8> wave;                 // the result once done (empty: refused)
    VoiceRefusal refusal{};               // why, when refused
    u64 charged = 0;                      // bytes taken from the budget
};

class VoiceDecoder {
public:
    VoiceDecoder() = default;
    ~VoiceDecoder();
    VoiceDecoder(const VoiceDecoder&) = delete;
    VoiceDecoder& operator=(const VoiceDecoder&) = delete;

    // Hands a job to the worker (started on first use), behind the jobs of
    // its lane. false when no worker can run; the job is then left undone.
    bool Queue(const std::shared_ptr<DecodeJob>& job);
    // Ends the worker; the job under way is cancelled (its helper killed),
    // jobs not yet begun stay undone.
    void Stop();
    // Jobs queued or being decoded (tests).
    u32 Busy() const { return busy_.load(); }

private:
    static void Run(void* self);
    void Work();

    struct Lane {
        const void* owner;
        std::deque<std::weak_ptr<DecodeJob>> jobs;
    };

    plat::CriticalSection lock_;
    plat::SyncEvent wake_{false};
    // Lanes with jobs waiting, the next to serve first.
    std::deque<Lane> lanes_;
    std::weak_ptr<DecodeJob> running_;
    plat::Thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<u32> busy_{0};
};

VoiceDecoder& GetVoiceDecoder();
// The worker music decodes on, apart from every voice and picture.
VoiceDecoder& GetMusicDecoder();
