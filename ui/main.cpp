// spindrel: the desktop program. Qt's own options (-platform and the like) pass through; it reads none of its
// own.
#include <QApplication>

#include "config/Settings.h"
#include "platform/Memory.h"
#include "ui/Icons.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"

int main(int argc, char** argv) {
    ReuseLargeAllocations();
    QApplication app(argc, argv);
    QApplication::setApplicationName("spindrel");
    QApplication::setWindowIcon(AppIcon());
    // File icons come from the desktop's theme; without one, from a theme that is often installed anyway.
    QIcon::setFallbackThemeName("Adwaita");
    // The window may hide in the tray; the program ends when it closes, not when the last one hides.
    QApplication::setQuitOnLastWindowClosed(false);
    Settings settings;
    QtDialogs dialogs;
    MainWindow window(settings, dialogs);
    QObject::connect(&window, &MainWindow::closed, &app, &QApplication::quit, Qt::QueuedConnection);
    window.StartUp();
    return app.exec();
}
