#include "ui/IconAnimation.h"

#include "nntp/Flags.h"
#include "ui/Icons.h"

namespace {

constexpr int kIntervalMs = 350;
constexpr int kSteps = 12;

} // namespace

IconAnimation::IconAnimation(QObject* parent) : QObject(parent) {
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &IconAnimation::Tick);
}

void IconAnimation::Start() {
    step_ = 0;
    timer_.start();
}

void IconAnimation::Stop() {
    if (timer_.isActive()) {
        timer_.stop();
        emit stopped();
    }
}

int IconAnimation::FrameAt(int step) {
    return step <= 6 ? step : kSteps - step;
}

void IconAnimation::Tick() {
    if (DownloadRunning.load() == 1) {
        emit frameChanged(AnimationFrame(FrameAt(step_)));
        step_ = (step_ + 1) % kSteps;
    }
}
