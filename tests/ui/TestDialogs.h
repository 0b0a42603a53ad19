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
    void Beep(int hertz, int milliseconds) override {
        beeps.push_back(std::to_string(hertz) + "/" + std::to_string(milliseconds));
    }
    void About(QWidget*) override { shown.push_back("About"); }

    std::deque<bool> answers;        // for the questions in turn; No once they run out
    std::function<void()> onMessage; // what the user does while a message box is open
    std::vector<std::string> shown;
    std::vector<Icon> icons;
    std::vector<std::string> beeps;
};
