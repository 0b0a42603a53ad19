#pragma once

#include "ui/Dialogs.h"

// The dialogs as the user sees them: QMessageBox with the given texts, buttons and icons; beeps through the
// desktop.
class QtDialogs : public Dialogs {
  public:
    void Message(QWidget* parent, const QString& text, const QString& title, Icon icon) override;
    bool Question(QWidget* parent, const QString& text, const QString& title) override;
    bool Confirm(QWidget* parent, const QString& text, const QString& title, Icon icon) override;
    Answer YesNoCancel(QWidget* parent, const QString& text, const QString& title) override;
    QString OpenFileName(QWidget* parent, const QString& initial, const QString& defaultSuffix,
                         const QString& filters) override;
    void Beep(int hertz, int milliseconds) override;
    void About(QWidget* parent) override;
};
