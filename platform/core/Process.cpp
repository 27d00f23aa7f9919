#include "platform/core/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <mutex>

extern char** environ;

namespace plat {
namespace {

u64 NowMs()
{
    return u64(std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count());
}

void SetLimit(pid_t pid, int resource, u64 value)
{
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = rlim_t(value);
    prlimit(pid, static_cast<__rlimit_resource>(resource), &limit, nullptr);
}

// Groups of helpers still running, so that a game ending while one works
// takes it and everything it started along. Plain atomics: read by an exit
// handler while other threads may still be starting helpers.
constexpr int kMostLiveGroups = 64;
std::atomic<pid_t> g_liveGroups[kMostLiveGroups];

void KillLiveGroups()
{
    for (std::atomic<pid_t>& g : g_liveGroups) {
        const pid_t group = g.exchange(0);
        if (group > 0) kill(-group, SIGKILL);
    }
}

int NoteLiveGroup(pid_t group)
{
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(KillLiveGroups); });
    for (int i = 0; i < kMostLiveGroups; ++i) {
        pid_t none = 0;
        if (g_liveGroups[i].compare_exchange_strong(none, group)) return i;
    }
    return -1;
}

void ForgetLiveGroup(int slot, pid_t group)
{
    if (slot < 0) return;
    pid_t expected = group;
    g_liveGroups[slot].compare_exchange_strong(expected, 0);
}

// The child has ended (it may not be reaped yet: its number then still
// names its group).
bool HasEnded(pid_t pid)
{
    siginfo_t info = {};
    const int r = waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    return (r == 0 && info.si_pid == pid) || (r < 0 && errno == ECHILD);
}

bool IsProgram(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

// A write to a child that already ended must fail, not end the game: the
// broken-pipe signal is held for this thread while the child runs and any
// one raised is taken away unseen.
class HoldBrokenPipe {
public:
    HoldBrokenPipe()
    {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~HoldBrokenPipe()
    {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) && !sigismember(&old_, SIGPIPE)) {
            const struct timespec none = {0, 0};
            sigtimedwait(&pipe_, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    HoldBrokenPipe(const HoldBrokenPipe&) = delete;
    HoldBrokenPipe& operator=(const HoldBrokenPipe&) = delete;

private:
    sigset_t pipe_, old_;
};

}  // namespace

ProcessResult RunLimitedProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<u8>& input, const ProcessLimits& limits,
                                const std::atomic<bool>* stop)
{
    ProcessResult result;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return result;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    if (argv.empty()) argv.push_back(const_cast<char*>(program.c_str()));
    argv.push_back(nullptr);
    // A group of its own, from before its first instruction: whatever it
    // starts is in it too, and the whole group ends with the request.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    HoldBrokenPipe hold;
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        return result;
    }
    // The helper also sets these on itself first thing; set here too so a
    // helper that forgot is still held.
    SetLimit(pid, RLIMIT_AS, limits.addressSpace);
    SetLimit(pid, RLIMIT_STACK, limits.stack);
    SetLimit(pid, RLIMIT_CPU, limits.cpuSeconds);
    SetLimit(pid, RLIMIT_CORE, 0);
    SetLimit(pid, RLIMIT_NPROC, 0);
    const int live = NoteLiveGroup(pid);
    result.group = pid;

    fcntl(in[1], F_SETFL, O_NONBLOCK);
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    const u64 deadline = NowMs() + limits.wallMs;
    size_t written = 0;
    int inFd = in[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    ProcessEnd killedFor = ProcessEnd::Exited;
    u8 buffer[65536];
    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            killedFor = ProcessEnd::Stopped;
            break;
        }
        const u64 now = NowMs();
        if (now >= deadline) {
            killedFor = ProcessEnd::TimedOut;
            break;
        }
        // Ended, yet its output is still open: something it started holds
        // it. That goes now, and what was written is read to its end.
        if (HasEnded(pid)) kill(-pid, SIGKILL);
        struct pollfd fds[2];
        nfds_t count = 0;
        fds[count++] = {out[0], POLLIN, 0};
        if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
        // Woken now and then to look at the stop flag.
        const int wait = int(std::min<u64>(deadline - now, 100));
        if (poll(fds, count, wait) < 0 && errno != EINTR) break;
        if (inFd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(inFd, input.data() + written, std::min<size_t>(input.size() - written, 65536));
            if (n > 0) written += size_t(n);
            if ((n < 0 && errno != EAGAIN) || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n == 0) break;  // the child closed its output: it is ending
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                break;
            }
            if (result.output.size() + size_t(n) > limits.outputCap) {
                killedFor = ProcessEnd::Overran;
                break;
            }
            const size_t had = result.output.size();
            result.output.insert(result.output.end(), buffer, buffer + n);
            if (limits.sizeEnd >= limits.sizeAt + 8 && had < limits.sizeEnd && result.output.size() >= limits.sizeEnd) {
                u64 stated = 0;
                for (int i = 7; i >= 0; --i) stated = (stated << 8) | result.output[limits.sizeAt + size_t(i)];
                result.output.reserve(size_t(std::min<u64>(limits.outputCap, u64(limits.sizeEnd) + std::min<u64>(stated, limits.outputCap))));
            }
        }
    }
    if (inFd >= 0) close(inFd);
    close(out[0]);
    if (killedFor != ProcessEnd::Exited) kill(-pid, SIGKILL);
    // Its output is closed: an honest child ends at once; one that lingers
    // past the deadline, or once the caller stops, is killed. Its group is
    // killed before it is reaped, while its number can still name no other
    // group.
    while (!HasEnded(pid)) {
        if (killedFor == ProcessEnd::Exited) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) killedFor = ProcessEnd::Stopped;
            else if (NowMs() >= deadline + 1000) killedFor = ProcessEnd::TimedOut;
            if (killedFor != ProcessEnd::Exited) kill(-pid, SIGKILL);
        }
        struct timespec nap = {0, 2000000};
        nanosleep(&nap, nullptr);
    }
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ForgetLiveGroup(live, pid);
    if (killedFor != ProcessEnd::Exited) {
        result.end = killedFor;
        result.output.clear();
    } else if (WIFEXITED(status)) {
        result.end = ProcessEnd::Exited;
        result.code = WEXITSTATUS(status);
    } else {
        result.end = ProcessEnd::Crashed;
        if (WIFSIGNALED(status)) result.code = WTERMSIG(status);
        result.output.clear();
    }
    return result;
}

std::string HelperProgramPath(const char* name)
{
    if (name == nullptr) return {};
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, size_t(n));
        path = path.substr(0, path.rfind('/') + 1) + name;
        if (IsProgram(path)) return path;
    }
    if (const char* run = std::getenv("QUILLON_RUN_DIR"); run != nullptr && *run) {
        const std::string path = std::string(run) + "/" + name;
        if (IsProgram(path)) return path;
    }
    return {};
}

}  // namespace plat
