#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "tests/support/TempDir.h"
#include "tests/ui/TestDialogs.h"
#include "tests/ui/WindowFixture.h"
#include "ui/ConfigSheet.h"
#include "ui/MainWindow.h"
#include "ui/WindowPlacement.h"

// The main window and its property sheet on a configuration of the test's own, in a working directory of its
// own. The sheet is driven through its real controls while it runs modally, as the user would.
class SheetFixture : public WindowFixture {
  protected:
    // Starts the window on the output directory, a valid free-space limit and `lines`.
    MainWindow& Open(const std::string& lines = "") {
        return WindowFixture::Open("    MinFreeSpace=10\n" + lines);
    }

    // Runs `steps` on the next modal dialog of type T once it is open; cancels it when the steps leave it
    // open.
    template <typename T> static void OnNextModal(std::function<void(T&)> steps) {
        QTimer::singleShot(0, [steps] {
            T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            // As a window manager would: the offscreen platform does not always activate a new window.
            QApplication::setActiveWindow(dialog);
            steps(*dialog);
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
    }

    // Presses Config and runs `steps` on the sheet.
    void WithSheet(std::function<void(ConfigSheet&)> steps) {
        OnNextModal<ConfigSheet>(std::move(steps));
        Find<QAbstractButton>(window_.get(), "configButton")->click();
    }

    template <typename T> static T* Find(QObject* parent, const char* name) {
        T* found = parent->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void Click(QObject* parent, const char* name) { Find<QAbstractButton>(parent, name)->click(); }
    // Replaces a box's text the way a user does: select everything, type over it.
    static void Type(QObject* parent, const char* name, const QString& text) {
        QLineEdit* edit = Find<QLineEdit>(parent, name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    static std::string Text(QObject* parent, const char* name) {
        return Find<QLineEdit>(parent, name)->text().toStdString();
    }
    static void ClickOk(ConfigSheet& sheet) {
        Find<QDialogButtonBox>(&sheet, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    }

    // The settings as the configuration file holds them now.
    std::unique_ptr<Settings> Saved() {
        auto saved = std::make_unique<Settings>();
        LoadConfig(*saved, dir_.file("spindrel.cfg"));
        return saved;
    }
};
