#include "platform/core/SingleInstance.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace plat {
namespace {
std::string g_lockFolder;  // set by the start-up for a driven test run
}  // namespace

void SetInstanceLockFolder(const char* folder) { g_lockFolder = folder != nullptr ? folder : ""; }

std::string GetInstanceLockFolder() {
    if (!g_lockFolder.empty() && g_lockFolder[0] == '/') return g_lockFolder;
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] == '/') return value;
    }
    return "/tmp";
}

SingleInstanceLock::~SingleInstanceLock() { Release(); }

InstanceResult SingleInstanceLock::Acquire(const char* name, const char* folder) {
    Release();
    if (name == nullptr || name[0] == '\0') return InstanceResult::Failed;
    std::string path = folder != nullptr ? std::string(folder) : GetInstanceLockFolder();
    std::string fileName(name);
    for (char& c : fileName) {
        if (c == '/' || c == '\\') c = '_';
    }
    path += "/" + fileName + ".lock";

    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd == -1) return InstanceResult::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? InstanceResult::AlreadyRunning : InstanceResult::Failed;
    }
    fd_ = fd;
    return InstanceResult::Acquired;
}

void SingleInstanceLock::Release() {
    if (fd_ != -1) {
        // The file stays: removing it could let a third process lock a new
        // file while a second still waits on the old one.
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace plat
