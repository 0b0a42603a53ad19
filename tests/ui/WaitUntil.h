#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

// Runs the event loop until `done` answers true; false when it has not within `milliseconds`.
inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
