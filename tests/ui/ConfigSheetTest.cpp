// The property sheet opened with Config on the main window: what Cancel and OK leave in the settings, the
// file and the window, and the checks of its numeric fields.
#include <QSettings>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <algorithm>

#include "config/FilterList.h"
#include "log/Log.h"
#include "tests/ui/SheetFixture.h"
#include "ui/ServerTree.h"
#include "ui/TrayIcon.h"

namespace {

using ConfigSheetTest = SheetFixture;

const std::string kOneGroup = "    NumServers=1\nServer\n    Name=news.example,,\n    NumGroups=1\n"
                              "    Group=alt.test,7,0k,Expanded,Include\n";

QString CurrentPage(ConfigSheet& sheet) {
    auto* pages = sheet.findChild<QTabWidget*>("pages");
    return pages->tabText(pages->currentIndex());
}

TEST_F(ConfigSheetTest, CancelKeepsEverythingButTheSaveAtOpening) {
    WriteFileBytes(dir_.file("my.flt"), "spam\r\nads\r\n");
    Open("    FilterFile=" + dir_.file("my.flt") + "\n" + kOneGroup);
    std::string before = FormatConfig(settings_);
    std::filesystem::remove(dir_.file("spindrel.cfg"));
    WithSheet([](ConfigSheet& sheet) {
        Type(&sheet, "maxDownloadEdit", "99");
        Click(&sheet, "viewAllFilesRadio");
        Find<QDialogButtonBox>(&sheet, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
    });
    EXPECT_EQ(ReadFileBytes(dir_.file("spindrel.cfg")), before);
    EXPECT_EQ(FormatConfig(settings_), before);
    EXPECT_EQ(ReadFileBytes(dir_.file("my.flt")), "spam\r\nads\r\n");
    EXPECT_FALSE(QSettings(ProfilePath(), QSettings::IniFormat).contains("Spindrel/ConfigDlg"));
}

TEST_F(ConfigSheetTest, OkStoresEveryPageInTheSettingsAndTheFile) {
    Open("    PartsDir=" + dir_.str() + "/p/\n    FilterFile=" + dir_.file("f.flt") + "\n" + kOneGroup);
    FiltersChanged = 0;
    WithSheet([this](ConfigSheet& sheet) {
        Type(&sheet, "outputDirEdit", QString::fromStdString(dir_.str()) + "/elsewhere");
        Type(&sheet, "logFileEdit", "run 100%.log");
        Type(&sheet, "maxDownloadEdit", "250");
        Type(&sheet, "lineCullEdit", " 12 ");
        Click(&sheet, "loggingCheck");
        Type(&sheet, "minFreeSpaceEdit", "+512.5");
        Click(&sheet, "filteringCheck");
        Type(&sheet, "partsDirEdit", "");
        Type(&sheet, "maxPartAgeEdit", "3");
        Type(&sheet, "maxNumPartsEdit", "-40");
        Click(&sheet, "partsEnabledCheck");
        Click(&sheet, "deleteOldestRadio");
        QSlider* slider = Find<QSlider>(&sheet, "prioritySlider");
        QTest::keyClick(slider, Qt::Key_Down); // one place down: from "Normal" to "Low"
        Type(&sheet, "bandwidthEdit", "2500.75");
        Type(&sheet, "commandEdit", "sort-files --quiet");
        Click(&sheet, "postProcessCheck");
        Click(&sheet, "unattendedCheck");
        Type(&sheet, "loopEdit", "3");
        Type(&sheet, "waitEdit", "60");
        ClickOk(sheet);
        EXPECT_FALSE(sheet.isVisible());
    });
    // Before anything reads the file back: the new log file takes the lines at once.
    LogMessage("after OK");
    FlushLog();
    SetLogEnabled(0);
    EXPECT_EQ(ReadFileBytes(dir_.file("run 100%.log")), "after OK\n");
    std::unique_ptr<Settings> saved = Saved();
    EXPECT_EQ(saved->OutputDir, dir_.str() + "/elsewhere/");
    EXPECT_EQ(saved->LogFile, "run 100%.log");
    EXPECT_EQ(saved->MaxDownloadSize, 250);
    EXPECT_EQ(saved->LineCullAmount, 12);
    EXPECT_EQ(saved->LoggingEnabled, 1);
    EXPECT_EQ(saved->MinFreeSpace, 512.5);
    EXPECT_EQ(saved->FilteringEnabled, 1);
    EXPECT_EQ(saved->PartsDir, ""); // an empty parts path stays empty: the current directory's "parts"
    EXPECT_EQ(saved->MaxPartAge, 3);
    EXPECT_EQ(saved->MaxNumParts, -40);
    EXPECT_EQ(saved->PartsEnabled, 1);
    EXPECT_EQ(saved->MultipartFullStop, 2);
    EXPECT_EQ(saved->ThreadPriority, -1);
    EXPECT_EQ(saved->BandWidthLimit, 2500.75);
    EXPECT_EQ(saved->PostProcessCommand, "sort-files --quiet");
    EXPECT_EQ(saved->PostProcessEnabled, 1);
    EXPECT_EQ(saved->UnAttendedMode, 1);
    EXPECT_EQ(saved->NumLoops, 3);
    EXPECT_EQ(saved->InterLoopWait, 60);
    ASSERT_EQ(saved->NumServers, 1);
    EXPECT_EQ(saved->Servers[0].Groups[0].NextArticle, 7);
    EXPECT_EQ(FormatConfig(settings_), FormatConfig(*saved));
    EXPECT_EQ(FiltersChanged, 1);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("f.flt"))); // the list is written even unchanged
}

TEST_F(ConfigSheetTest, BrowseButtonsFillTheirFields) {
    Open();
    dialogs_.fileNames = {"/var/log/spindrel.log", "/opt/my scripts/it's.sh", "/usr/bin/sort-files"};
    WithSheet([](ConfigSheet& sheet) {
        Click(&sheet, "logFileBrowse");
        EXPECT_EQ(Text(&sheet, "logFileEdit"), "/var/log/spindrel.log");
        Click(&sheet, "commandBrowse");
        EXPECT_EQ(Text(&sheet, "commandEdit"), R"('/opt/my scripts/it'\''s.sh')"); // one word for the shell
        Click(&sheet, "commandBrowse");
        EXPECT_EQ(Text(&sheet, "commandEdit"), "/usr/bin/sort-files");
    });
    EXPECT_EQ(dialogs_.shown,
              (std::vector<std::string>{
                  "Open:  | .log | Log Files (*.log);;Text Files (*.txt);;All Files (*)",
                  "Open:  |  | Shell Scripts (*.sh);;All Files (*)",
                  R"(Open: '/opt/my scripts/it'\''s.sh' |  | Shell Scripts (*.sh);;All Files (*))"}));
}

TEST_F(ConfigSheetTest, RefusedFieldsKeepTheSheetOpenOnThem) {
    struct Bad {
        const char* page;
        const char* edit;
        const char* text;
        const char* message;
    };
    const Bad cases[] = {
        {"Download", "maxDownloadEdit", "12x", "Please enter an integer."},
        {"Download", "lineCullEdit", "99999999999999999999", "Please enter an integer."},
        {"Download", "minFreeSpaceEdit", "0", "Please enter a number between 1 and 1000000."},
        {"Download", "minFreeSpaceEdit", "1000000.5", "Please enter a number between 1 and 1000000."},
        {"Download", "minFreeSpaceEdit", "ten", "Please enter a number."},
        {"Parts", "maxPartAgeEdit", "", "Please enter an integer."},
        {"Parts", "maxNumPartsEdit", "3000000000", "Please enter an integer."},
        {"Priority", "bandwidthEdit", "1e3x", "Please enter a number."},
        {"Priority", "bandwidthEdit", "nan", "Please enter a number."},
        {"Options", "loopEdit", "1.5", "Please enter an integer."},
        {"Options", "waitEdit", "-", "Please enter an integer."},
    };
    Open();
    for (const Bad& bad : cases) {
        SCOPED_TRACE(std::string(bad.edit) + " = " + bad.text);
        dialogs_.shown.clear();
        WithSheet([&bad, this](ConfigSheet& sheet) {
            Type(&sheet, bad.edit, bad.text);
            Find<QTabWidget>(&sheet, "pages")->setCurrentIndex(0);
            ClickOk(sheet);
            EXPECT_TRUE(sheet.isVisible());
            EXPECT_EQ(CurrentPage(sheet), bad.page);
            EXPECT_EQ(QApplication::focusWidget(), Find<QLineEdit>(&sheet, bad.edit));
            EXPECT_EQ(dialogs_.shown, std::vector<std::string>{std::string("Spindrel: ") + bad.message});
        });
        EXPECT_EQ(Saved()->MinFreeSpace, 10); // saved at opening, not after the refused OK
    }
}

TEST_F(ConfigSheetTest, PrioritySliderPositionsAndBandwidthText) {
    // Stored value, slider position shown, value stored after one step up.
    const int cases[][3] = {{2, 1, 2},   {1, 2, 2},    {0, 3, 1}, {-1, 4, 0},
                            {-2, 5, -1}, {-15, 6, -2}, {7, 4, 0}};
    Open("    BandWidthLimit=1234.56\n");
    for (const auto& [stored, position, afterUp] : cases) {
        SCOPED_TRACE(stored);
        settings_.ThreadPriority = stored;
        WithSheet([&](ConfigSheet& sheet) {
            QSlider* slider = Find<QSlider>(&sheet, "prioritySlider");
            EXPECT_EQ(slider->value(), position);
            EXPECT_EQ(Text(&sheet, "bandwidthEdit"), "1234.6");
            QTest::keyClick(slider, Qt::Key_Up);
            ClickOk(sheet);
        });
        EXPECT_EQ(settings_.ThreadPriority, afterUp);
        EXPECT_EQ(settings_.BandWidthLimit, 1234.6);
        settings_.BandWidthLimit = 1234.56;
    }
}

TEST_F(ConfigSheetTest, PositionIsKeptOnlyWhenClosedByItsCloseButton) {
    Open();
    WithSheet([](ConfigSheet& sheet) {
        sheet.move(37, 42);
        sheet.close();
    });
    QSettings profile(ProfilePath(), QSettings::IniFormat);
    EXPECT_EQ(profile.value("Spindrel/ConfigDlg").toString(), "(37,42)");
    WithSheet([](ConfigSheet& sheet) {
        EXPECT_EQ(sheet.pos(), QPoint(37, 42));
        sheet.move(80, 90);
        ClickOk(sheet);
    });
    profile.sync();
    EXPECT_EQ(profile.value("Spindrel/ConfigDlg").toString(), "(37,42)");
    for (const char* damaged : {"(x,1", "(99999,99999)", ""}) {
        profile.setValue("Spindrel/ConfigDlg", damaged);
        profile.sync();
        WithSheet([](ConfigSheet& sheet) { EXPECT_NE(sheet.pos(), QPoint(99999, 99999)); });
    }
}

TEST_F(ConfigSheetTest, ViewingAllFilesListsTheGroupDirectories) {
    std::filesystem::create_directory(dir_.file("out/alt.test"));
    WriteFileBytes(dir_.file("out/alt.test/a.txt"), "a");
    WriteFileBytes(dir_.file("out/alt.test/b.bin"), "b");
    Open(kOneGroup);
    QTreeWidgetItem* group = ServerTree::GroupNamed(window_->Tree().ServerNamed("news.example"), "alt.test");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->childCount(), 0);
    WithSheet([](ConfigSheet& sheet) {
        Click(&sheet, "viewAllFilesRadio");
        ClickOk(sheet);
    });
    ASSERT_TRUE(WaitUntil([this] { return !window_->TreeBusy(); }));
    group = ServerTree::GroupNamed(window_->Tree().ServerNamed("news.example"), "alt.test");
    ASSERT_NE(group, nullptr);
    QStringList files;
    for (int i = 0; i < group->childCount(); ++i) {
        files << group->child(i)->text(0);
    }
    files.sort();
    EXPECT_EQ(files, QStringList({"a.TXT", "b.BIN"}));
}

// A keyboard user turns the pages with Ctrl+Tab wherever the focus is, also inside an edit field, reaches
// each field through its label's mnemonic, and tabs from the last field to OK and Cancel.
TEST_F(ConfigSheetTest, KeyboardTurnsPagesAndReachesFields) {
    Open("");
    WithSheet([](ConfigSheet& sheet) {
        Find<QLineEdit>(&sheet, "maxDownloadEdit")->setFocus();
        const std::pair<QKeyCombination, const char*> turns[] = {
            {Qt::CTRL | Qt::Key_Tab, "Filtering"},
            {Qt::CTRL | Qt::Key_Tab, "Parts"},
            {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, "Filtering"},
            {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, "Download"},
            {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, "Options"},
        };
        for (const auto& [keys, page] : turns) {
            QTest::keyClick(QApplication::focusWidget(), keys.key(), keys.keyboardModifiers());
            EXPECT_EQ(CurrentPage(sheet).toStdString(), page);
        }
        Find<QTabWidget>(&sheet, "pages")->setCurrentIndex(0);
        const std::pair<Qt::Key, const char*> mnemonics[] = {
            {Qt::Key_P, "outputDirEdit"}, {Qt::Key_L, "logFileEdit"},  {Qt::Key_M, "maxDownloadEdit"},
            {Qt::Key_S, "lineCullEdit"},  {Qt::Key_G, "loggingCheck"}, {Qt::Key_T, "minFreeSpaceEdit"},
        };
        for (const auto& [key, field] : mnemonics) {
            QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
            EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), field);
        }
        // OK and Cancel come after the page's fields.
        auto* buttons = Find<QDialogButtonBox>(&sheet, "buttonBox");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), buttons->button(QDialogButtonBox::Ok));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), buttons->button(QDialogButtonBox::Cancel));
        // Round to the tab bar, and from there to the page's first field.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), "qt_tabwidget_tabbar");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), "outputDirEdit");
    });
}

TEST_F(ConfigSheetTest, HidingInTheTrayTakesEffectAtOk) {
    Open("    LogFile=" + dir_.file("activity.log") + "\n    LoggingEnabled=1\n");
    WithSheet([](ConfigSheet& sheet) {
        Click(&sheet, "hideOnMinCheck");
        ClickOk(sheet);
    });
    EXPECT_EQ(settings_.HideOnMin, 1);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_TRUE(window_->findChild<TrayIcon*>()->IsShown());
    } else {
        // Where the desktop has no tray the window says so once and minimises as usual.
        FlushLog();
        EXPECT_NE(ReadFileBytes(dir_.file("activity.log")).find("No system tray on this desktop"),
                  std::string::npos);
    }
    SetLogEnabled(0);
}

} // namespace
