#include "engine/EngineState.h"

#include <algorithm>
#include <chrono>

#include "platform/Thread.h"

Semaphore StatusLock;
std::atomic<int> UserStop{0};
std::atomic<int> StallSeconds{0};
std::atomic<int64_t> ProgressArticle{0};
std::atomic<int64_t> ProgressLines{0};
std::mutex SettingsMutex;

namespace {

std::atomic<double> timeScale{1.0};

std::mutex runMutex; // orders the changes of DownloadRunning
bool runEnded = false;

} // namespace

void BeginRun() {
    std::lock_guard<std::mutex> lock(runMutex);
    runEnded = false;
    DownloadRunning = 1;
}

void EndRun() {
    std::lock_guard<std::mutex> lock(runMutex);
    runEnded = true;
    DownloadRunning = 0;
}

void PauseRun() {
    std::lock_guard<std::mutex> lock(runMutex);
    DownloadRunning = 0;
}

void ResumeRun() {
    std::lock_guard<std::mutex> lock(runMutex);
    if (!runEnded) {
        DownloadRunning = 1;
    }
}

void SetEngineTimeScale(double scale) {
    timeScale = scale;
}

void EngineWait(int64_t milliseconds, const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    auto deadline =
        Clock::now() + std::chrono::microseconds(static_cast<int64_t>(milliseconds * 1000 * timeScale));
    while (!done()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return;
        }
        SleepMs(static_cast<unsigned>(std::min<int64_t>(left, 10)));
    }
}
