#include "platform/Semaphore.h"

void Semaphore::acquire() {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [this] { return !held_; });
    held_ = true;
}

bool Semaphore::tryAcquireFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!freed_.wait_for(lock, timeout, [this] { return !held_; })) {
        return false;
    }
    held_ = true;
    return true;
}

bool Semaphore::release() {
    {
        std::lock_guard lock(mutex_);
        if (!held_) {
            return false;
        }
        held_ = false;
    }
    freed_.notify_one();
    return true;
}
