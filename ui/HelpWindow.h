#pragma once

#include <QTextBrowser>

// The program's help page, shipped inside the program.
class HelpWindow : public QTextBrowser {
    Q_OBJECT

  public:
    explicit HelpWindow(QWidget* parent);
};
