#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

#include "platform/Thread.h"

// A thread that runs handed-over tasks one at a time. It starts with the first task and ends with the object.
class TaskThread {
  public:
    TaskThread(size_t stackBytes, int threadPriority) : stackBytes_(stackBytes), priority_(threadPriority) {}
    ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    // Waits until the previous task is done, then hands `task` to the thread. Where no thread can be started
    // the task runs on the caller, before this returns.
    void Run(std::function<void()> task);
    // Returns once the task handed over last is done.
    void Wait();

  private:
    void Loop();

    size_t stackBytes_;
    int priority_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> task_;
    bool busy_ = false;
    bool quit_ = false;
    Thread thread_;
};
