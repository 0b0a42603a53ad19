#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/Semaphore.h"

// State shared by the window, the download controller and the group thread. `DownloadRunning` and
// `BandwidthPauseFlag` live with the connection code (nntp/Flags.h), which polls them too.

// Held while a worker checks DownloadRunning and updates the status line or the panels; Start and Stop take
// it.
extern Semaphore StatusLock;
extern std::atomic<int> UserStop;
extern std::atomic<int> StallSeconds;
extern std::atomic<int64_t> ProgressArticle;
extern std::atomic<int64_t> ProgressLines;

// Guards the process-wide Settings record between the window and the download threads.
extern std::mutex SettingsMutex;

// The engine's own waits (connect retries, the watchdog's cycle, the pause between unattended passes) go
// through here, so tests can run them faster. A scale of 0.01 makes a 2-second cycle take 20 ms.
void SetEngineTimeScale(double scale);
void EngineSleepMs(int64_t milliseconds);
// Waits as EngineSleepMs does, but returns as soon as `done` answers true (asked every few milliseconds).
void EngineWait(int64_t milliseconds, const std::function<bool()>& done);

// Holds the status lock for a scope.
class StatusLockGuard {
  public:
    StatusLockGuard() { StatusLock.acquire(); }
    ~StatusLockGuard() { StatusLock.release(); }
    StatusLockGuard(const StatusLockGuard&) = delete;
    StatusLockGuard& operator=(const StatusLockGuard&) = delete;
};
