#include "platform/core/SingleInstance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempFolder.h"

namespace {

TEST(SingleInstance, AnotherProcessHoldingTheLockRefusesASecondCopy) {
    TempFolder tmp;
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        plat::SingleInstanceLock lock;
        const char held = lock.Acquire("OrvaneOrvane", tmp.Path().c_str()) ==
                                  plat::InstanceResult::Acquired ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        char c;
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');

    plat::SingleInstanceLock second;
    EXPECT_EQ(second.Acquire("OrvaneOrvane", tmp.Path().c_str()),
              plat::InstanceResult::AlreadyRunning);
    EXPECT_FALSE(second.IsHeld());

    (void)!::write(release[1], "x", 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(second.Acquire("OrvaneOrvane", tmp.Path().c_str()), plat::InstanceResult::Acquired);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(SingleInstance, LockIsFreeAgainAfterReleaseAndNamesAreSeparate) {
    TempFolder tmp;
    plat::SingleInstanceLock a, b;
    ASSERT_EQ(a.Acquire("Game", tmp.Path().c_str()), plat::InstanceResult::Acquired);
    EXPECT_EQ(b.Acquire("Game", tmp.Path().c_str()), plat::InstanceResult::AlreadyRunning);
    EXPECT_EQ(b.Acquire("OtherGame", tmp.Path().c_str()), plat::InstanceResult::Acquired);
    a.Release();
    EXPECT_EQ(a.Acquire("Game", tmp.Path().c_str()), plat::InstanceResult::Acquired);
    EXPECT_EQ(b.Acquire("Game", (tmp / "missing").c_str()), plat::InstanceResult::Failed);
}

TEST(SingleInstance, FolderCanBeMovedForATestRun) {
    TempFolder tmp;
    plat::SetInstanceLockFolder(tmp.Path().c_str());
    EXPECT_EQ(plat::GetInstanceLockFolder(), tmp.Path());
    plat::SingleInstanceLock a, b;
    ASSERT_EQ(a.Acquire("Game"), plat::InstanceResult::Acquired);
    EXPECT_EQ(b.Acquire("Game", tmp.Path().c_str()), plat::InstanceResult::AlreadyRunning);
    plat::SetInstanceLockFolder(nullptr);
}

}  // namespace
