#include "platform/Thread.h"

#include <algorithm>
#include <chrono>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kStackFloor = 1 << 20;
#else
constexpr size_t kStackFloor = 0;
#endif

constexpr int kIdlePriority = -15;

int NiceValueFor(int threadPriority) {
    switch (threadPriority) {
    case 2:
        return -10;
    case 1:
        return -5;
    case -1:
        return 5;
    case -2:
        return 10;
    default:
        return 0;
    }
}

bool SetPolicy(int policy) {
    sched_param param{};
    param.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), policy, &param) == 0;
}

} // namespace

size_t EffectiveStackSize(size_t requested) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t size = std::max({requested, static_cast<size_t>(PTHREAD_STACK_MIN), kStackFloor});
    return (size + page - 1) / page * page;
}

bool SetCurrentThreadPriority(int threadPriority) {
    if (threadPriority == kIdlePriority) {
        return SetPolicy(SCHED_IDLE);
    }
    // A thread inherits its creator's class, so an idle creator's child has to leave the idle class first.
    bool ok = sched_getscheduler(0) == SCHED_OTHER || SetPolicy(SCHED_OTHER);
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), NiceValueFor(threadPriority)) == 0 && ok;
}

double ThreadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void SleepMs(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool Thread::start(std::function<void()> body, size_t stackBytes, int threadPriority) {
    if (started_) {
        return false;
    }
    body_ = std::move(body);
    priority_ = threadPriority;
    finished_.store(false, std::memory_order_relaxed);
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return false;
    }
    bool ok = pthread_attr_setstacksize(&attr, EffectiveStackSize(stackBytes)) == 0 &&
              pthread_create(&handle_, &attr, &Thread::run, this) == 0;
    pthread_attr_destroy(&attr);
    if (!ok) {
        body_ = nullptr;
    }
    started_ = ok;
    return ok;
}

void Thread::join() {
    if (started_) {
        pthread_join(handle_, nullptr);
        started_ = false;
    }
}

void* Thread::run(void* self) {
    auto* thread = static_cast<Thread*>(self);
    SetCurrentThreadPriority(thread->priority_);
    thread->body_();
    thread->body_ = nullptr; // what the body captured goes now, not at the next start
    thread->finished_.store(true, std::memory_order_release);
    return nullptr;
}
