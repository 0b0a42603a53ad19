#pragma once

#include <QString>

class QWidget;

// Every message box, question and beep of the windows goes through here, so tests can answer them.
class Dialogs {
  public:
    enum class Icon { Information, Warning, Question, Stop };

    virtual ~Dialogs() = default;

    // A message box with an OK button.
    virtual void Message(QWidget* parent, const QString& text, const QString& title, Icon icon) = 0;
    // A Yes/No question with the question icon; true only for Yes.
    virtual bool Question(QWidget* parent, const QString& text, const QString& title) = 0;
    virtual void Beep(int hertz, int milliseconds) = 0;
    // The About box: program name and version, OK.
    virtual void About(QWidget* parent) = 0;
};
