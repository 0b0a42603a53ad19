#pragma once

#include <QString>

class QWidget;

// Every message box, question and beep of the windows goes through here, so tests can answer them.
class Dialogs {
  public:
    enum class Icon { Information, Warning, Question, Stop };
    enum class Answer { Yes, No, Cancel };

    virtual ~Dialogs() = default;

    // A message box with an OK button.
    virtual void Message(QWidget* parent, const QString& text, const QString& title, Icon icon) = 0;
    // A Yes/No question with the question icon; true only for Yes.
    virtual bool Question(QWidget* parent, const QString& text, const QString& title) = 0;
    // A Yes/No question with the given icon; true only for Yes.
    virtual bool Confirm(QWidget* parent, const QString& text, const QString& title, Icon icon) = 0;
    // A question with Yes, No and Cancel buttons and the question icon.
    virtual Answer YesNoCancel(QWidget* parent, const QString& text, const QString& title) = 0;
    // The open-file dialog, starting at `initial`: a file name, which need not exist yet, or empty when
    // cancelled. `filters` are name filters separated by ";;", the first one chosen; `defaultSuffix` is
    // added to a name typed without one.
    virtual QString OpenFileName(QWidget* parent, const QString& initial, const QString& defaultSuffix,
                                 const QString& filters) = 0;
    virtual void Beep(int hertz, int milliseconds) = 0;
    // The About box: program name and version, OK.
    virtual void About(QWidget* parent) = 0;
};
