#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <pthread.h>

// Stack size a thread asked for `requested` bytes really gets: at least the platform minimum, a whole number
// of pages, and under sanitizers a larger floor because instrumented frames need much more room.
size_t EffectiveStackSize(size_t requested);

// Puts the calling thread at a `ThreadPriority` level: 2, 1, 0, -1, -2 become nice values -10, -5, 0, 5, 10
// and -15 the idle scheduling class; any other value counts as 0. Raising needs privilege; without it the
// thread keeps running at its old level. True when the thread now runs at exactly the requested level.
bool SetCurrentThreadPriority(int threadPriority);

void SleepMs(unsigned milliseconds);

// Processor time the calling thread has used so far, in milliseconds: what it did, without the time other
// threads and processes had the processor.
double ThreadCpuMilliseconds();

// A joinable thread with its own stack size and priority. The destructor joins a thread still running, so the
// object must outlive what the thread touches. Not movable: the running thread refers back to it.
class Thread {
  public:
    Thread() = default;
    ~Thread() { join(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs `body` on a new thread with at least `stackBytes` of stack, at `threadPriority`. False when the
    // thread cannot be created or this object already holds one that was not joined.
    bool start(std::function<void()> body, size_t stackBytes, int threadPriority = 0);
    bool joinable() const { return started_; }
    // True once the body has returned; the thread may still need joining.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    void join();

  private:
    static void* run(void* self);

    std::function<void()> body_;
    int priority_ = 0;
    pthread_t handle_{};
    bool started_ = false;
    std::atomic<bool> finished_{false};
};
