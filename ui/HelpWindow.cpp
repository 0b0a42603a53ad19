#include "ui/HelpWindow.h"

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent) {
    setWindowFlag(Qt::Window);
    setWindowTitle("Spindrel Help");
    setAccessibleName("Spindrel Help");
    setOpenExternalLinks(false);
    setSource(QUrl("qrc:/help/spindrel.html"));
    resize(640, 560);
}
