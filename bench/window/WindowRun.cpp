// Runs the main window offscreen on the configuration in the current directory, which should be in unattended
// mode so the window starts downloading at once and closes after the run. Prints the seconds from the
// window's start-up to its close and the longest time, in milliseconds, that the GUI thread went without
// serving its 10 ms timer while the download ran.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "config/Settings.h"
#include "nntp/Flags.h"
#include "tests/ui/TestDialogs.h"
#include "ui/MainWindow.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Settings settings;
    TestDialogs dialogs; // nobody is there to answer a box
    MainWindow window(settings, dialogs);
    QObject::connect(&window, &MainWindow::closed, &app, &QApplication::quit, Qt::QueuedConnection);

    QElapsedTimer run, sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    // Gaps count while the download runs: from start-up to the run's end, not the saves at closing.
    bool started = false;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        qint64 gap = sinceTick.restart();
        started = started || DownloadRunning == 1;
        if (started && DownloadRunning == 0) {
            ticker.stop();
        } else {
            longest = std::max(longest, gap);
        }
    });
    run.start();
    sinceTick.start();
    ticker.start();
    window.StartUp();
    app.exec();
    printf("%.3f %lld\n", static_cast<double>(run.elapsed()) / 1000.0, static_cast<long long>(longest));
    for (const std::string& shown : dialogs.shown) {
        fprintf(stderr, "%s\n", shown.c_str());
    }
    return 0;
}
