#include "platform/TaskThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

TEST(TaskThread, RunsTasksOneAtATimeInOrderOffTheCaller) {
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> onCaller{false};
    std::thread::id caller = std::this_thread::get_id();
    {
        TaskThread tasks(256 * 1024, 0);
        for (int i = 0; i < 50; ++i) {
            tasks.Run([&, i] {
                overlapped = overlapped || running.fetch_add(1) != 0;
                onCaller = onCaller || std::this_thread::get_id() == caller;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                order.push_back(i); // safe: tasks never overlap, and Run waits for the one before
                running.fetch_sub(1);
            });
        }
        tasks.Wait();
        ASSERT_EQ(order.size(), 50u);
    }
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    }
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(onCaller);
}

TEST(TaskThread, WaitAndTheEndWaitForTheTaskUnderWay) {
    std::atomic<bool> done{false};
    {
        TaskThread tasks(256 * 1024, 0);
        tasks.Run([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            done = true;
        });
        tasks.Wait();
        EXPECT_TRUE(done);
        done = false;
        tasks.Run([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            done = true;
        });
    }
    EXPECT_TRUE(done) << "the destructor returned while its task was still running";
}

TEST(TaskThread, NeverStartedEndsAtOnce) {
    std::future<void> ended = std::async(std::launch::async, [] {
        TaskThread tasks(256 * 1024, 0);
        tasks.Wait();
    });
    EXPECT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

} // namespace
