#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A semaphore of count 1 that any thread may release. Releasing it while it is free is refused instead of
// raising the count, so an unbalanced release can never let two holders in.
class Semaphore {
  public:
    void acquire();
    // Waits at most `timeout` for the semaphore; true when it was taken.
    bool tryAcquireFor(std::chrono::milliseconds timeout);
    // False when the semaphore was not held.
    bool release();

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool held_ = false;
};
