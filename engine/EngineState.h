#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "nntp/Flags.h"
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
// Waits `milliseconds` (scaled), but returns as soon as `done` answers true (asked every few milliseconds).
void EngineWait(int64_t milliseconds, const std::function<bool()>& done);

// The engine changes DownloadRunning only through these, so that a run once ended stays ended: BeginRun
// (Start) raises it; EndRun (Stop, a limit, a full disk, the run's end) lowers it for the rest of the run.
// The watchdog's kill of a stalled group thread lowers it with PauseRun and raises it again with ResumeRun,
// which leaves it down when the run was ended in between.
void BeginRun();
void EndRun();
void PauseRun();
void ResumeRun();

// Holds the status lock for a scope.
class StatusLockGuard {
  public:
    StatusLockGuard() { StatusLock.acquire(); }
    ~StatusLockGuard() { StatusLock.release(); }
    StatusLockGuard(const StatusLockGuard&) = delete;
    StatusLockGuard& operator=(const StatusLockGuard&) = delete;
};

// Runs `step` under the status lock when the download should go on; false when it should not. Steps are
// short: Stop waits for the lock, so nothing that waits on a server or on the user runs inside one.
template <typename Step> bool WhileRunning(Step step) {
    StatusLockGuard lock;
    if (!DownloadRunning) {
        return false;
    }
    step();
    return true;
}
