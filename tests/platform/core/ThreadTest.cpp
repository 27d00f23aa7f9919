#include "platform/core/Thread.h"

#include <atomic>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/core/Time.h"

namespace {

TEST(CriticalSection, OwnerMayReenterWhileOthersWait) {
    plat::CriticalSection cs;
    cs.Enter();
    cs.Enter();
    struct Probe {
        plat::CriticalSection* cs;
        bool got = true;
    } probe{&cs};
    auto tryFromOtherThread = [](void* arg) {
        auto* p = static_cast<Probe*>(arg);
        p->got = p->cs->TryEnter();
        if (p->got) p->cs->Leave();
    };
    plat::Thread t;
    ASSERT_TRUE(t.Start(tryFromOtherThread, &probe));
    t.Join();
    EXPECT_FALSE(probe.got);

    cs.Leave();
    probe.got = true;
    ASSERT_TRUE(t.Start(tryFromOtherThread, &probe));
    t.Join();
    EXPECT_FALSE(probe.got);  // still held once

    cs.Leave();
    ASSERT_TRUE(t.Start(tryFromOtherThread, &probe));
    t.Join();
    EXPECT_TRUE(probe.got);
}

TEST(SyncEvent, TimedWaitReportsTimeoutThenSignal) {
    plat::SyncEvent e(true);
    EXPECT_EQ(e.Wait(10), plat::WaitResult::Timeout);
    e.Set();
    EXPECT_EQ(e.Wait(0), plat::WaitResult::Signalled);
    EXPECT_EQ(e.Wait(0), plat::WaitResult::Signalled);  // manual reset stays set
    e.Reset();
    EXPECT_EQ(e.Wait(0), plat::WaitResult::Timeout);

    plat::SyncEvent initially(false, true);
    EXPECT_EQ(initially.Wait(0), plat::WaitResult::Signalled);
    EXPECT_EQ(initially.Wait(0), plat::WaitResult::Timeout);  // auto reset cleared it
}

struct Waiters {
    plat::SyncEvent* event;
    std::atomic<int> released{0};
};

void WaitOnce(void* arg) {
    auto* w = static_cast<Waiters*>(arg);
    if (w->event->Wait(60000) == plat::WaitResult::Signalled) ++w->released;
}

TEST(SyncEvent, ManualResetReleasesEveryWaiterAutoResetOne) {
    {
        plat::SyncEvent manual(true);
        Waiters w{&manual};
        plat::Thread a, b, c;
        a.Start(WaitOnce, &w);
        b.Start(WaitOnce, &w);
        c.Start(WaitOnce, &w);
        plat::Sleep(20);
        manual.Set();
        a.Join();
        b.Join();
        c.Join();
        EXPECT_EQ(w.released.load(), 3);
    }
    {
        plat::SyncEvent automatic(false);
        Waiters w{&automatic};
        plat::Thread a, b;
        a.Start(WaitOnce, &w);
        b.Start(WaitOnce, &w);
        plat::Sleep(20);
        automatic.Set();
        // One is let through; only then a while for a second to (wrongly) follow.
        while (w.released.load() < 1) plat::Sleep(1);
        plat::Sleep(50);
        EXPECT_EQ(w.released.load(), 1);
        automatic.Set();
        a.Join();
        b.Join();
        EXPECT_EQ(w.released.load(), 2);
    }
}

TEST(Thread, DetachedThreadRunsAndJoinNeedsAThread) {
    plat::SyncEvent done(true);
    ASSERT_TRUE(plat::StartDetachedThread([](void* arg) { static_cast<plat::SyncEvent*>(arg)->Set(); },
                                          &done));
    EXPECT_EQ(done.Wait(60000), plat::WaitResult::Signalled);

    plat::Thread t;
    EXPECT_FALSE(t.Join());
    EXPECT_FALSE(t.Start(nullptr, nullptr));
}

TEST(Thread, OnlyStartUpThreadIsMain) {
    EXPECT_TRUE(plat::IsMainThread());
    bool isMain = true;
    plat::Thread t;
    t.Start([](void* arg) { *static_cast<bool*>(arg) = plat::IsMainThread(); }, &isMain);
    t.Join();
    EXPECT_FALSE(isMain);
}

void ReadNice(void* arg) {
    errno = 0;
    *static_cast<int*>(arg) = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
}

TEST(Thread, BelowNormalRunsNicerThanNormal) {
    int normal = 0, below = 0;
    plat::Thread t;
    ASSERT_TRUE(t.Start(ReadNice, &normal, plat::ThreadPriority::Normal));
    t.Join();
    ASSERT_TRUE(t.Start(ReadNice, &below, plat::ThreadPriority::BelowNormal));
    t.Join();
    if (normal >= 19) GTEST_SKIP() << "already at the lowest priority";
    EXPECT_GT(below, normal);
}

}  // namespace
