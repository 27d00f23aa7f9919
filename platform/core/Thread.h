#pragma once
// Threads, locks and events.
//
// A thread started here begins with its starter's current directory (see
// plat::GetCurrentDirectory), so loader threads can change folders without
// disturbing the main thread.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/core/Types.h"

namespace plat {

// Scheduling hint. Raising priority above normal needs rights the program
// usually lacks, so those levels may act as Normal.
enum class ThreadPriority { Lowest, BelowNormal, Normal, AboveNormal, Highest };

using ThreadProc = void (*)(void* arg);

struct ThreadState;

// One thread. Start it, then either Join it or Detach it; destroying a
// thread that is still joinable joins it.
class Thread {
public:
    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs proc(arg) on a new thread. false when a thread is already held or
    // the system refuses.
    bool Start(ThreadProc proc, void* arg, ThreadPriority priority = ThreadPriority::Normal);
    // Waits until the thread has ended. false when there is nothing to join.
    bool Join();
    // Lets the thread run on alone; it cleans up after itself.
    void Detach();
    bool IsJoinable() const;

private:
    std::unique_ptr<ThreadState> state_;
};

// Starts a thread nobody waits for (the fire-and-forget loader and network
// threads). false when it could not be started.
bool StartDetachedThread(ThreadProc proc, void* arg,
                         ThreadPriority priority = ThreadPriority::Normal);

// Sets the calling thread's priority (best effort).
void SetCurrentThreadPriority(ThreadPriority priority);

// Whether the caller is the program's main thread (the one that ran start-up).
bool IsMainThread();

// A lock the same thread may take again while holding it; every Enter needs
// a Leave.
class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { mutex_.lock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void Leave() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a critical section for one scope.
class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~ScopedLock() { section_.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& section_;
};

inline constexpr u32 WaitForever = 0xFFFFFFFFu;

enum class WaitResult { Signalled, Timeout };

// A signal threads wait on. A manual-reset event stays set, releasing every
// waiter, until Reset; an auto-reset event releases one waiter and clears.
// Named apart from the window Event of platform/input/Events.h: two classes of
// one name in one namespace break the one-definition rule.
class SyncEvent {
public:
    explicit SyncEvent(bool manualReset, bool initiallySet = false);
    SyncEvent(const SyncEvent&) = delete;
    SyncEvent& operator=(const SyncEvent&) = delete;

    void Set();
    void Reset();
    // Waits up to timeoutMs (WaitForever: no limit).
    WaitResult Wait(u32 timeoutMs = WaitForever);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const bool manualReset_;
    bool set_;
};

}  // namespace plat
