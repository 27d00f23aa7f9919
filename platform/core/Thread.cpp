#include "platform/core/Thread.h"

#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/core/FileSystem.h"

namespace plat {

struct ThreadState {
    std::thread thread;
};

namespace {

// Static initialisation runs on the main thread before main().
const std::thread::id g_mainThread = std::this_thread::get_id();
const int g_baseNice = [] {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? nice : 0;
}();

bool Launch(std::thread& out, ThreadProc proc, void* arg, ThreadPriority priority) {
    if (proc == nullptr) return false;
    std::string directory = GetCurrentDirectory();
    try {
        out = std::thread([proc, arg, priority, directory = std::move(directory)] {
            InheritCurrentDirectory(directory);
            if (priority != ThreadPriority::Normal) SetCurrentThreadPriority(priority);
            proc(arg);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace

void SetCurrentThreadPriority(ThreadPriority priority) {
    int step = 0;
    switch (priority) {
        case ThreadPriority::Lowest: step = 4; break;
        case ThreadPriority::BelowNormal: step = 2; break;
        case ThreadPriority::Normal: step = 0; break;
        case ThreadPriority::AboveNormal: step = -2; break;
        case ThreadPriority::Highest: step = -4; break;
    }
    // Linux keeps a nice value per thread; lowering it usually needs rights
    // we lack, and then the thread simply stays at normal.
    ::setpriority(PRIO_PROCESS, id_t(::gettid()), g_baseNice + step);
}

bool IsMainThread() { return std::this_thread::get_id() == g_mainThread; }

Thread::Thread() : state_(std::make_unique<ThreadState>()) {}

Thread::~Thread() {
    // A thread that ends its own holder cannot wait for itself.
    if (state_->thread.joinable() && state_->thread.get_id() == std::this_thread::get_id()) {
        state_->thread.detach();
    }
    Join();
}

bool Thread::Start(ThreadProc proc, void* arg, ThreadPriority priority) {
    if (state_->thread.joinable()) return false;
    return Launch(state_->thread, proc, arg, priority);
}

bool Thread::Join() {
    if (!state_->thread.joinable()) return false;
    if (state_->thread.get_id() == std::this_thread::get_id()) return false;
    state_->thread.join();
    return true;
}

void Thread::Detach() {
    if (state_->thread.joinable()) state_->thread.detach();
}

bool Thread::IsJoinable() const { return state_->thread.joinable(); }

bool StartDetachedThread(ThreadProc proc, void* arg, ThreadPriority priority) {
    std::thread thread;
    if (!Launch(thread, proc, arg, priority)) return false;
    thread.detach();
    return true;
}

SyncEvent::SyncEvent(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

void SyncEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
    }
    if (manualReset_) {
        changed_.notify_all();
    } else {
        changed_.notify_one();
    }
}

void SyncEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

WaitResult SyncEvent::Wait(u32 timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeoutMs == WaitForever) {
        changed_.wait(lock, [this] { return set_; });
    } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return set_; })) {
        return WaitResult::Timeout;
    }
    if (!manualReset_) set_ = false;
    return WaitResult::Signalled;
}

}  // namespace plat
