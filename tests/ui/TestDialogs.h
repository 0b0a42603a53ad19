#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/Dialogs.h"

// Answers the windows' message boxes and questions as a test says, and keeps what was asked.
class TestDialogs : public Dialogs {
  public:
    void Message(QWidget*, const QString& text, const QString& title, Icon icon) override {
        shown.push_back(title.toStdString() + ": " + text.toStdString());
        icons.push_back(icon);
        if (onMessage) {
            onMessage();
        }
    }
    bool Question(QWidget*, const QString& text, const QString& title) override {
        shown.push_back(title.toStdString() + ": " + text.toStdString());
        icons.push_back(Icon::Question);
        bool answer = answers.empty() ? false : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return answer;
    }
    bool Confirm(QWidget* parent, const QString& text, const QString& title, Icon icon) override {
        bool answer = Question(parent, text, title);
        icons.back() = icon;
        return answer;
    }
    Answer YesNoCancel(QWidget*, const QString& text, const QString& title) override {
        shown.push_back(title.toStdString() + ": " + text.toStdString());
        icons.push_back(Icon::Question);
        Answer answer = choices.empty() ? Answer::Cancel : choices.front();
        if (!choices.empty()) {
            choices.pop_front();
        }
        return answer;
    }
    QString OpenFileName(QWidget*, const QString& initial, const QString& defaultSuffix,
                         const QString& filters) override {
        shown.push_back("Open: " + initial.toStdString() + " | " + defaultSuffix.toStdString() + " | " +
                        filters.toStdString());
        QString name = fileNames.empty() ? QString() : fileNames.front();
        if (!fileNames.empty()) {
            fileNames.pop_front();
        }
        return name;
    }
    void Beep(int hertz, int milliseconds) override {
        beeps.push_back(std::to_string(hertz) + "/" + std::to_string(milliseconds));
    }
    void About(QWidget*) override { shown.push_back("About"); }

    std::deque<bool> answers;        // for the questions in turn; No once they run out
    std::deque<Answer> choices;      // for the Yes/No/Cancel questions in turn; Cancel once they run out
    std::deque<QString> fileNames;   // for the open-file dialogs in turn; cancelled once they run out
    std::function<void()> onMessage; // what the user does while a message box is open
    std::vector<std::string> shown;
    std::vector<Icon> icons;
    std::vector<std::string> beeps;
};
