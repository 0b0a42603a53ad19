#pragma once

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/ServerList.h"
#include "config/Settings.h"
#include "tests/support/TempDir.h"
#include "tests/ui/WaitUntil.h"

// What the group dialog tests share: a configuration, group-list files, waits that keep the window's event
// loop running, and user actions on dialogs that run modally.

// A server with the given groups.
inline void AddConfiguredServer(Settings& settings, const std::string& address,
                                const std::vector<std::string>& groups) {
    auto server = std::make_unique<ServerEntry>();
    SetServerLogin(*server, address);
    for (const std::string& name : groups) {
        auto group = std::make_unique<GroupEntry>();
        group->Name = name;
        AppendGroup(*server, std::move(group));
    }
    AddServer(settings, std::move(server));
}

// A group-list file as the fetch writes it: date line, count, names.
inline std::string GroupFile(const std::vector<std::string>& names) {
    std::string text = "Jan 05 1999/990105 203000\n" + std::to_string(names.size()) + "\n";
    for (const std::string& name : names) {
        text += name + "\n";
    }
    return text;
}

// Once a modal dialog of type T is up (asking every 10 ms, 3000 times at most), runs `action` on it from
// inside its event loop.
template <typename T> void WhenModal(std::function<void(T*)> action, int triesLeft = 3000) {
    QTimer::singleShot(10, [action, triesLeft] {
        if (T* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            action(dialog);
        } else if (triesLeft > 0) {
            WhenModal<T>(action, triesLeft - 1);
        } else {
            ADD_FAILURE() << "no modal " << T::staticMetaObject.className();
        }
    });
}

template <typename T> T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// The names a list shows, top to bottom.
inline std::vector<std::string> ListNames(QWidget* dialog, const char* list) {
    std::vector<std::string> names;
    QAbstractItemModel* model = Child<QListView>(dialog, list)->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        names.push_back(model->index(row, 0).data().toString().toStdString());
    }
    return names;
}

// Highlights exactly these rows of a list, as ctrl-clicks would.
inline void Highlight(QWidget* dialog, const char* list, const std::vector<int>& rows) {
    QListView* view = Child<QListView>(dialog, list);
    view->selectionModel()->clear();
    for (int row : rows) {
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
    }
}

inline void Click(QWidget* dialog, const char* button) {
    Child<QPushButton>(dialog, button)->click();
}

inline std::string Text(QWidget* dialog, const char* label) {
    if (auto* edit = dialog->findChild<QLineEdit*>(label)) {
        return edit->text().toStdString();
    }
    return Child<QLabel>(dialog, label)->text().toStdString();
}
