#pragma once
// Makes sure only one copy of the game runs: a lock file held with flock
// for the life of the process.
#include <string>

namespace plat {

enum class InstanceResult { Acquired, AlreadyRunning, Failed };

class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock named name in folder (null: the folder
    // SetInstanceLockFolder named, else $XDG_RUNTIME_DIR, else the temporary
    // folder). AlreadyRunning when
    // another process holds it.
    InstanceResult Acquire(const char* name, const char* folder = nullptr);
    void Release();
    bool IsHeld() const { return fd_ != -1; }

private:
    int fd_ = -1;
};

// The folder Acquire uses when given none.
std::string GetInstanceLockFolder();
// Moves the locks of a test run to a folder of its own, so two copies can
// run side by side; null or empty: the usual folder.
void SetInstanceLockFolder(const char* folder);

}  // namespace plat
