#include "engine/EngineState.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/Thread.h"

Semaphore StatusLock;
std::atomic<int> UserStop{0};
std::atomic<int> StallSeconds{0};
std::atomic<int64_t> ProgressArticle{0};
std::atomic<int64_t> ProgressLines{0};
std::mutex SettingsMutex;

namespace {

std::atomic<double> timeScale{1.0};

} // namespace

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

void EngineSleepMs(int64_t milliseconds) {
    double scaled = std::ceil(static_cast<double>(milliseconds) * timeScale.load());
    if (scaled > 0) {
        SleepMs(static_cast<unsigned>(scaled));
    }
}
