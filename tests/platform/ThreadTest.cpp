#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <future>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

size_t OwnStackSize() {
    pthread_attr_t attr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        pthread_attr_getstacksize(&attr, &size);
        pthread_attr_destroy(&attr);
    }
    return size;
}

int NiceOf(pid_t tid) {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

// Whether this process may lower a thread's nice value; finds out on a throwaway thread.
bool CanRaisePriority() {
    bool allowed = false;
    Thread probe;
    probe.start(
        [&] {
            id_t self = static_cast<id_t>(gettid());
            allowed = setpriority(PRIO_PROCESS, self, NiceOf(static_cast<pid_t>(self)) - 1) == 0;
        },
        64 << 10);
    probe.join();
    return allowed;
}

struct Observed {
    pid_t tid = 0;
    int nice = 0;
    int policy = -1;
};

// Starts a thread at `threadPriority` and reads its nice value and policy from outside while it waits.
Observed ObserveThreadAt(int threadPriority) {
    std::promise<pid_t> tid;
    std::promise<void> done;
    std::shared_future<void> doneFuture = done.get_future().share();
    Thread thread;
    EXPECT_TRUE(thread.start(
        [&] {
            tid.set_value(gettid());
            doneFuture.wait();
        },
        80 << 10, threadPriority));
    Observed seen;
    seen.tid = tid.get_future().get();
    seen.nice = NiceOf(seen.tid);
    seen.policy = sched_getscheduler(seen.tid);
    done.set_value();
    thread.join();
    return seen;
}

TEST(Thread, GetsTheStackSizeItAskedForRoundedUpToWhatThePlatformNeeds) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (size_t requested : {size_t{80} << 10, size_t{128} << 10, size_t{1}, size_t{(80 << 10) + 1}}) {
        SCOPED_TRACE(requested);
        size_t effective = EffectiveStackSize(requested);
        EXPECT_GE(effective, requested);
        EXPECT_GE(effective, static_cast<size_t>(PTHREAD_STACK_MIN));
        EXPECT_EQ(effective % page, 0u);
        size_t seen = 0;
        Thread thread;
        ASSERT_TRUE(thread.start([&] { seen = OwnStackSize(); }, requested));
        thread.join();
        // The C library may hand out a cached stack of an earlier thread, up to four times the size asked
        // for; far less than the default of several MiB either way.
        EXPECT_GE(seen, effective);
        EXPECT_LE(seen, 4 * effective);
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_EQ(EffectiveStackSize(80 << 10), size_t{80} << 10);
    EXPECT_EQ(EffectiveStackSize(128 << 10), size_t{128} << 10);
#endif
}

TEST(Thread, RunsAtTheNiceValueOfItsPriority) {
    const bool canRaise = CanRaisePriority();
    const int inherited = NiceOf(gettid());
    const struct {
        int priority;
        int nice;
    } cases[] = {{2, -10}, {1, -5}, {0, 0}, {-1, 5}, {-2, 10}, {3, 0}, {-3, 0}, {-14, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.priority);
        Observed seen = ObserveThreadAt(c.priority);
        EXPECT_EQ(seen.policy, SCHED_OTHER);
        // Without privilege a raise fails and the thread keeps the nice value it inherited.
        EXPECT_EQ(seen.nice, c.nice < inherited && !canRaise ? inherited : c.nice);
    }
}

TEST(Thread, IdlePriorityUsesTheIdleSchedulingClass) {
    EXPECT_EQ(ObserveThreadAt(-15).policy, SCHED_IDLE);
}

TEST(Thread, ThreadStartedFromAnIdleThreadLeavesTheIdleClass) {
    if (!CanRaisePriority()) {
        GTEST_SKIP() << "leaving the idle class needs privilege here";
    }
    int policy = -1;
    int nice = 99;
    Thread outer;
    ASSERT_TRUE(outer.start(
        [&] {
            Thread inner;
            inner.start(
                [&] {
                    policy = sched_getscheduler(0);
                    nice = NiceOf(gettid());
                },
                80 << 10, -1);
        },
        128 << 10, -15));
    outer.join();
    EXPECT_EQ(policy, SCHED_OTHER);
    EXPECT_EQ(nice, 5);
}

TEST(Thread, ReportsFinishedAndCanBeStartedAgainAfterJoin) {
    std::promise<void> go;
    std::shared_future<void> goFuture = go.get_future().share();
    Thread thread;
    EXPECT_FALSE(thread.joinable());
    ASSERT_TRUE(thread.start([&] { goFuture.wait(); }, 80 << 10));
    EXPECT_TRUE(thread.joinable());
    EXPECT_FALSE(thread.finished());
    EXPECT_FALSE(thread.start([] {}, 80 << 10)) << "a second start while one runs";
    go.set_value();
    for (int i = 0; i < 1000 && !thread.finished(); ++i) {
        SleepMs(10);
    }
    EXPECT_TRUE(thread.finished());
    thread.join();
    EXPECT_FALSE(thread.joinable());

    int runs = 0;
    ASSERT_TRUE(thread.start([&] { ++runs; }, 80 << 10));
    thread.join();
    EXPECT_EQ(runs, 1);
}

TEST(Thread, DestructorWaitsForTheBody) {
    std::atomic<bool> bodyDone{false};
    {
        Thread thread;
        ASSERT_TRUE(thread.start(
            [&] {
                SleepMs(20);
                bodyDone = true;
            },
            80 << 10));
    }
    EXPECT_TRUE(bodyDone);
}

TEST(Thread, ReleasesWhatTheBodyCapturedWhenItEnds) {
    auto captured = std::make_shared<int>(7);
    std::weak_ptr<int> watch = captured;
    Thread thread;
    ASSERT_TRUE(thread.start([held = std::move(captured)] { (void)held; }, 80 << 10));
    for (int i = 0; i < 1000 && !thread.finished(); ++i) {
        SleepMs(10);
    }
    EXPECT_TRUE(watch.expired());
    thread.join();
}

} // namespace
