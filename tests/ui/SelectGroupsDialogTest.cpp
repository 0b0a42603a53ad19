#include <QTest>

#include "tests/ui/GroupDialogsSupport.h"
#include "tests/ui/TestDialogs.h"
#include "ui/SelectGroupsDialog.h"

namespace {

const std::string kServer = "news.example.com";
const std::vector<std::string> kNames = {"alt.binaries.x", "comp.lang.c", "alt.bin", "misc.misc",
                                         "rec.arts",       "sci.math",    "alt.misc"};

class SelectGroupsTest : public ::testing::Test {
  protected:
    void SetUp() override { AddConfiguredServer(settings, kServer, {"ALT.Test", "other.group"}); }

    // Opens the dialog on the server's file and waits until the loader has ended.
    std::unique_ptr<SelectGroupsDialog> Open() {
        auto dialog = std::make_unique<SelectGroupsDialog>(nullptr, kServer, settings, dialogs, dir.str());
        dialog->show();
        EXPECT_TRUE(LoadEnded(dialog.get()));
        return dialog;
    }
    static bool LoadEnded(QWidget* dialog) {
        return WaitUntil([dialog] { return Child<QPushButton>(dialog, "refreshButton")->isEnabled(); });
    }
    void WriteList(const std::string& text) { ASSERT_TRUE(WriteFileBytes(dir.file(kServer), text)); }

    TempDir dir;
    Settings settings;
    TestDialogs dialogs;
};

TEST_F(SelectGroupsTest, WhatTheLoaderShowsForEachKindOfFile) {
    struct Case {
        const char* name;
        std::optional<std::string> file;
        std::vector<std::string> available;
        std::string refreshed, groups;
        bool filterEnabled;
    };
    std::string longName = "alt." + std::string(1200, 'x');
    for (const Case& c : std::vector<Case>{
             {"no file", std::nullopt, {}, "(never)", "(none)", false},
             {"no names",
              "Jan 05 1999/990105 203000\n0\n",
              {"(No Group List Downloaded)"},
              "Jan 5 1999",
              "0",
              true},
             {"configured groups left out, letter case aside",
              GroupFile({"alt.test", "alt.new", "other.group"}),
              {"alt.new"},
              "Jan 5 1999",
              "3",
              true},
             {"damaged first line",
              "\x01\xff garbage\n2\nalt.one\nalt.two\n",
              {"alt.one", "alt.two"},
              "(never)",
              "2",
              true},
             {"count beyond the names",
              "Jan 05 1999/990105 203000\n40\nalt.one\nalt.two\n",
              {"alt.one", "alt.two"},
              "Jan 5 1999",
              "40",
              true},
             {"control characters, blanks and long names",
              GroupFile({"alt.\x07"
                         "bell",
                         "alt.two words", "alt.ok", longName}),
              {"alt.ok", longName.substr(0, 1023)},
              "Jan 5 1999",
              "4",
              true},
         }) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.file(kServer));
        if (c.file) {
            WriteList(*c.file);
        }
        auto dialog = Open();
        EXPECT_EQ(ListNames(dialog.get(), "availableList"), c.available);
        EXPECT_EQ(Text(dialog.get(), "refreshedValue"), c.refreshed);
        EXPECT_EQ(Text(dialog.get(), "groupsValue"), c.groups);
        EXPECT_EQ(Child<QPushButton>(dialog.get(), "filterButton")->isEnabled(), c.filterEnabled);
        EXPECT_FALSE(Child<QLabel>(dialog.get(), "loadingNote")->isVisibleTo(dialog.get()));
    }
}

TEST_F(SelectGroupsTest, UserActions) {
    using Step = std::function<void(SelectGroupsDialog*)>;
    auto highlight = [](const char* list, std::vector<int> rows) {
        return Step([list, rows](SelectGroupsDialog* d) { Highlight(d, list, rows); });
    };
    auto click = [](const char* button) {
        return Step([button](SelectGroupsDialog* d) { Click(d, button); });
    };
    auto filter = [](const char* text) {
        return Step([text](SelectGroupsDialog* d) {
            QLineEdit* edit = Child<QLineEdit>(d, "filterEdit");
            edit->clear();
            QTest::keyClicks(edit, text);
            QTest::keyClick(edit, Qt::Key_Return); // Filter is the default button
            LoadEnded(d);
        });
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> available, selected;
    };
    for (const Case& c : std::vector<Case>{
             {">> moves three scattered names, the selected list sorts them",
              {highlight("availableList", {5, 0, 2}), click("addButton")},
              {"comp.lang.c", "misc.misc", "rec.arts", "alt.misc"},
              {"alt.bin", "alt.binaries.x", "sci.math"}},
             {"<< puts a name back at the bottom",
              {highlight("availableList", {0, 1}), click("addButton"), highlight("selectedList", {0}),
               click("removeButton")},
              {"alt.bin", "misc.misc", "rec.arts", "sci.math", "alt.misc", "alt.binaries.x"},
              {"comp.lang.c"}},
             {"nothing highlighted moves nothing", {click("addButton"), click("removeButton")}, kNames, {}},
             {"the filter is a case-sensitive substring", {filter("bin")}, {"alt.binaries.x", "alt.bin"}, {}},
             {"a capital letter finds nothing in lower-case names", {filter("Bin")}, {}, {}},
             {"a picked name is not offered again after Filter",
              {highlight("availableList", {0}), click("addButton"), filter("alt")},
              {"alt.bin", "alt.misc"},
              {"alt.binaries.x"}},
         }) {
        SCOPED_TRACE(c.name);
        WriteList(GroupFile(kNames));
        auto dialog = Open();
        for (const Step& step : c.steps) {
            step(dialog.get());
        }
        EXPECT_EQ(ListNames(dialog.get(), "availableList"), c.available);
        EXPECT_EQ(ListNames(dialog.get(), "selectedList"), c.selected);
    }
}

TEST_F(SelectGroupsTest, OkJoinsThePicksAndCancelLeavesNothing) {
    WriteList(GroupFile(kNames));
    auto picked = Open();
    Highlight(picked.get(), "availableList", {6, 0, 3});
    Click(picked.get(), "addButton");
    Click(picked.get(), "okButton");
    EXPECT_EQ(picked->result(), QDialog::Accepted);
    EXPECT_EQ(picked->Result().toStdString(), "alt.binaries.x alt.misc misc.misc");

    auto none = Open();
    Click(none.get(), "okButton");
    EXPECT_EQ(none->Result().toStdString(), "");

    auto cancelled = Open();
    Highlight(cancelled.get(), "availableList", {0});
    Click(cancelled.get(), "addButton");
    Click(cancelled.get(), "cancelButton");
    EXPECT_EQ(cancelled->result(), QDialog::Rejected);
    EXPECT_EQ(cancelled->Result().toStdString(), "");
}

// The note shown for a list of no names is no group: however the user highlights it, it stays where it is
// and the result stays empty.
TEST_F(SelectGroupsTest, TheEmptyListNoteNeverBecomesAGroup) {
    using Pick = std::function<void(SelectGroupsDialog*)>;
    const std::pair<const char*, Pick> picks[] = {
        {"highlighted row", [](SelectGroupsDialog* d) { Highlight(d, "availableList", {0}); }},
        {"a click on it",
         [](SelectGroupsDialog* d) {
             QListView* list = Child<QListView>(d, "availableList");
             QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                               list->visualRect(list->model()->index(0, 0)).center());
         }},
        {"Ctrl+A",
         [](SelectGroupsDialog* d) {
             QListView* list = Child<QListView>(d, "availableList");
             list->setFocus();
             QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
         }},
    };
    WriteList("Jan 05 1999/990105 203000\n0\n");
    for (const auto& [name, pick] : picks) {
        SCOPED_TRACE(name);
        auto dialog = Open();
        pick(dialog.get());
        Click(dialog.get(), "addButton");
        EXPECT_EQ(ListNames(dialog.get(), "availableList"),
                  std::vector<std::string>{"(No Group List Downloaded)"});
        EXPECT_EQ(ListNames(dialog.get(), "selectedList"), std::vector<std::string>{});
        Click(dialog.get(), "okButton");
        EXPECT_EQ(dialog->Result().toStdString(), "");
    }
}

// A list of many names: OK and Cancel during the load, and a Filter that replaces a load still running,
// end the load without stray names.
TEST_F(SelectGroupsTest, ActionsDuringALoad) {
    std::vector<std::string> names;
    for (int i = 0; i < 200000; ++i) {
        names.push_back("alt.bulk.g" + std::to_string(i));
    }
    WriteList(GroupFile(names));
    {
        SelectGroupsDialog dialog(nullptr, kServer, settings, dialogs, dir.str());
        Click(&dialog, "okButton");
        EXPECT_EQ(dialog.Result().toStdString(), "");
    }
    {
        SelectGroupsDialog dialog(nullptr, kServer, settings, dialogs, dir.str());
        Click(&dialog, "cancelButton");
    }
    SelectGroupsDialog dialog(nullptr, kServer, settings, dialogs, dir.str());
    WaitUntil([&dialog] { return !ListNames(&dialog, "availableList").empty(); });
    Child<QLineEdit>(&dialog, "filterEdit")->setText("g1999");
    dialog.onFilter();
    ASSERT_TRUE(LoadEnded(&dialog));
    std::vector<std::string> filtered;
    std::copy_if(names.begin(), names.end(), std::back_inserter(filtered),
                 [](const std::string& name) { return name.find("g1999") != std::string::npos; });
    EXPECT_EQ(filtered.size(), 111u);
    EXPECT_EQ(ListNames(&dialog, "availableList"), filtered);
}

} // namespace
