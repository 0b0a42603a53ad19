#include "platform/Semaphore.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <future>

namespace {

using std::chrono::milliseconds;

TEST(Semaphore, LetsOneHolderInAtATime) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    Semaphore semaphore;
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    long total = 0; // guarded by the semaphore alone: a race here is what ThreadSanitizer would catch
    std::array<Thread, kThreads> threads;
    for (Thread& thread : threads) {
        ASSERT_TRUE(thread.start(
            [&] {
                for (int i = 0; i < kRounds; ++i) {
                    semaphore.acquire();
                    int now = ++inside;
                    int most = mostInside.load();
                    while (now > most && !mostInside.compare_exchange_weak(most, now)) {
                    }
                    ++total;
                    --inside;
                    semaphore.release();
                }
            },
            80 << 10));
    }
    for (Thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mostInside.load(), 1);
    EXPECT_EQ(total, long{kThreads} * kRounds);
}

TEST(Semaphore, TimedAcquireGivesUpWhileAnotherThreadHoldsIt) {
    Semaphore semaphore;
    semaphore.acquire();
    bool got = true;
    Thread other;
    ASSERT_TRUE(other.start([&] { got = semaphore.tryAcquireFor(milliseconds(30)); }, 80 << 10));
    other.join();
    EXPECT_FALSE(got);
    EXPECT_TRUE(semaphore.release());
}

TEST(Semaphore, TimedAcquireSucceedsWhenAnotherThreadReleases) {
    Semaphore semaphore;
    semaphore.acquire();
    std::promise<void> waiting;
    bool got = false;
    Thread other;
    ASSERT_TRUE(other.start(
        [&] {
            waiting.set_value();
            got = semaphore.tryAcquireFor(milliseconds(10000));
        },
        80 << 10));
    waiting.get_future().wait();
    EXPECT_TRUE(semaphore.release());
    other.join();
    EXPECT_TRUE(got);
    // Taken by the other thread, released here: any thread may release.
    EXPECT_TRUE(semaphore.release());
}

TEST(Semaphore, ReleaseOfAFreeSemaphoreIsRefusedAndAddsNoSecondPlace) {
    Semaphore semaphore;
    EXPECT_FALSE(semaphore.release());
    EXPECT_TRUE(semaphore.tryAcquireFor(milliseconds(0)));
    EXPECT_FALSE(semaphore.tryAcquireFor(milliseconds(0)));
    EXPECT_TRUE(semaphore.release());
    EXPECT_FALSE(semaphore.release());
    EXPECT_TRUE(semaphore.tryAcquireFor(milliseconds(0)));
    EXPECT_FALSE(semaphore.tryAcquireFor(milliseconds(0)));
    EXPECT_TRUE(semaphore.release());
}

} // namespace
