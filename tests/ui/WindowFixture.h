#pragma once

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "config/Settings.h"
#include "engine/Download.h"
#include "engine/EngineState.h"
#include "nntp/Flags.h"
#include "tests/support/TempDir.h"
#include "tests/ui/TestDialogs.h"
#include "tests/ui/WaitUntil.h"
#include "ui/MainWindow.h"
#include "ui/ServerTree.h"
#include "ui/WindowPlacement.h"

// The main window on a configuration of the test's own, in a working directory of its own.
class WindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        std::filesystem::create_directory(dir_.file("out"));
        QFile::remove(ProfilePath());
        SetEngineTimeScale(0.01);
    }

    void TearDown() override {
        window_.reset();
        QFile::remove(ProfilePath());
        SetEngineTimeScale(1.0);
        std::filesystem::current_path(previousDir_);
    }

    // Writes "spindrel.cfg" with the given lines after the output directory and starts the window on it.
    MainWindow& Open(const std::string& lines) {
        WriteConfig(lines);
        window_ = std::make_unique<MainWindow>(settings_, dialogs_);
        window_->StartUp();
        EXPECT_TRUE(WaitUntil([this] { return !window_->TreeBusy(); }));
        return *window_;
    }

    void WriteConfig(const std::string& lines) {
        WriteFileBytes(dir_.file("spindrel.cfg"), "Config\n    OutputDir=" + dir_.str() + "/out/\n" + lines);
    }

    ServerTree& Tree() { return window_->Tree(); }
    // The node at a path of node texts, "server/group/file"; null when there is none.
    QTreeWidgetItem* Node(const QString& path) {
        QStringList parts = path.split('/');
        QTreeWidgetItem* node = Tree().ServerNamed(parts[0]);
        for (int i = 1; node && i < parts.size(); ++i) {
            node = ServerTree::GroupNamed(node, parts[i]);
        }
        return node;
    }
    // The texts of a node's children, comma-separated.
    static std::string Children(QTreeWidgetItem* node) {
        QStringList texts;
        for (int i = 0; node && i < node->childCount(); ++i) {
            texts << node->child(i)->text(0);
        }
        return texts.join(',').toStdString();
    }
    std::string Button(const char* name) {
        return window_->findChild<QPushButton*>(name)->text().toStdString();
    }
    std::string Label(const char* name) { return window_->findChild<QLabel*>(name)->text().toStdString(); }
    std::string Config() { return ReadFileBytes(dir_.file("spindrel.cfg")); }

    TempDir dir_;
    Settings settings_;
    TestDialogs dialogs_;
    std::unique_ptr<MainWindow> window_;
    std::filesystem::path previousDir_;
};
