#include "platform/TaskThread.h"

TaskThread::~TaskThread() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TaskThread::Run(std::function<void()> task) {
    Wait();
    if (!thread_.joinable() && !thread_.start([this] { Loop(); }, stackBytes_, priority_)) {
        task();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = std::move(task);
        busy_ = true;
    }
    changed_.notify_all();
}

void TaskThread::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void TaskThread::Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (busy_) {
            std::function<void()> task = std::move(task_);
            lock.unlock();
            task();
            lock.lock();
            busy_ = false;
            changed_.notify_all();
        } else {
            return;
        }
    }
}
