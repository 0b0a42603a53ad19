// The Filtering page through its controls: the list's state machine, changing files, writing on OK, and
// filter files that are not what they seem.
#include <QListWidget>
#include <QTabWidget>

#include "tests/ui/SheetFixture.h"
#include "ui/FilteringPage.h"

namespace {

class FilteringPageTest : public SheetFixture {
  protected:
    // Opens the sheet on the Filtering page of a filter file holding `text` and runs `steps` on the page.
    void OnPage(const std::string& text, std::function<void(FilteringPage&)> steps) {
        WriteFileBytes(dir_.file("a.flt"), text);
        Open("    FilterFile=" + dir_.file("a.flt") + "\n");
        WithSheet([&steps](ConfigSheet& sheet) {
            auto* page = sheet.findChild<FilteringPage*>();
            Find<QTabWidget>(&sheet, "pages")->setCurrentWidget(page);
            steps(*page);
        });
    }

    // The list, the enabled buttons (A, R, D or -), the entry and the dirty flag, in one line.
    static std::string State(FilteringPage& page) {
        QStringList list;
        auto* box = Find<QListWidget>(&page, "filterList");
        for (int i = 0; i < box->count(); ++i) {
            list << (box->item(i)->isSelected() ? "*" : "") + box->item(i)->text();
        }
        std::string buttons;
        for (auto [name, letter] :
             {std::pair{"addButton", 'A'}, {"replaceButton", 'R'}, {"deleteButton", 'D'}}) {
            buttons += Find<QAbstractButton>(&page, name)->isEnabled() ? letter : '-';
        }
        return list.join('|').toStdString() + " " + buttons + " [" + Text(&page, "entryEdit") + "]" +
               (page.IsDirty() ? " dirty" : "");
    }

    static void Select(FilteringPage& page, std::initializer_list<int> rows) {
        auto* box = Find<QListWidget>(&page, "filterList");
        box->clearSelection();
        for (int row : rows) {
            QRect at = box->visualItemRect(box->item(row));
            QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ControlModifier, at.center());
        }
    }
};

TEST_F(FilteringPageTest, ListStateMachine) {
    struct Step {
        const char* what;
        std::function<void(FilteringPage&)> act;
        const char* state;
    };
    auto click = [](const char* name) { return [name](FilteringPage& p) { Click(&p, name); }; };
    auto type = [](const char* text) { return [text](FilteringPage& p) { Type(&p, "entryEdit", text); }; };
    const Step steps[] = {
        {"opened", [](FilteringPage&) {}, "alpha|beta|gamma --- []"},
        {"one selected", [](FilteringPage& p) { Select(p, {1}); }, "alpha|*beta|gamma ARD [beta]"},
        {"typing", type("delta"), "alpha|*beta|gamma ARD [delta]"},
        {"add", click("addButton"), "alpha|beta|gamma|*delta ARD [] dirty"},
        {"add empty beeps", click("addButton"), "alpha|beta|gamma|*delta ARD [] dirty"},
        {"duplicate refused", [&](FilteringPage& p) { type("alpha")(p), click("addButton")(p); },
         "alpha|beta|gamma|*delta ARD [alpha] dirty"},
        {"other case added", [&](FilteringPage& p) { type("ALPHA")(p), click("addButton")(p); },
         "alpha|beta|gamma|delta|*ALPHA ARD [] dirty"},
        {"replace unchanged beeps", [&](FilteringPage& p) { Select(p, {2}), click("replaceButton")(p); },
         "alpha|beta|*gamma|delta|ALPHA ARD [gamma] dirty"},
        {"replace declined", [&](FilteringPage& p) { type("beta")(p), click("replaceButton")(p); },
         "alpha|beta|*gamma|delta|ALPHA ARD [beta] dirty"},
        {"replace, no duplicate check", click("replaceButton"), "alpha|beta|*beta|delta|ALPHA ARD [] dirty"},
        {"several selected",
         [](FilteringPage& p) {
             Select(p, {0, 3});
         },
         "*alpha|beta|beta|*delta|ALPHA --D [] dirty"},
        {"several, declined", click("deleteButton"), "*alpha|beta|beta|*delta|ALPHA --D [] dirty"},
        {"several, deleted", click("deleteButton"), "beta|beta|ALPHA --- [] dirty"},
        {"the one selected is deleted, not the one with the caret",
         [&](FilteringPage& p) {
             Select(p, {2, 0, 0}), click("deleteButton")(p);
         },
         "beta|beta --- [] dirty"},
    };
    OnPage("alpha\nbeta\ngamma\n", [&](FilteringPage& page) {
        dialogs_.answers = {false, true, false, true}; // replace: No, Yes; delete several: No, Yes
        for (const Step& step : steps) {
            step.act(page);
            EXPECT_EQ(State(page), step.state) << step.what;
        }
        EXPECT_EQ(dialogs_.beeps, (std::vector<std::string>{"200/200", "200/200"}));
        EXPECT_EQ(dialogs_.shown,
                  (std::vector<std::string>{
                      "Adding Filter String: The string alpha already exists in the filter list.",
                      "Replacing Filter String: Are you sure you want to replace gamma with beta in the "
                      "filter list.",
                      "Replacing Filter String: Are you sure you want to replace gamma with beta in the "
                      "filter list.",
                      "Deleting: Are you sure you want to delete the selected items?",
                      "Deleting: Are you sure you want to delete the selected items?"}));
        ClickOk(*qobject_cast<ConfigSheet*>(page.window()));
    });
    EXPECT_EQ(ReadFileBytes(dir_.file("a.flt")), "beta\nbeta\n");
    EXPECT_EQ(settings_.FilterFile, dir_.file("a.flt"));
}

TEST_F(FilteringPageTest, ChangingFilesAsksToSaveTheDirtyList) {
    WriteFileBytes(dir_.file("b.flt"), "bravo\n");
    OnPage("alpha\n", [this](FilteringPage& page) {
        QString b = QString::fromStdString(dir_.file("b.flt"));
        Type(&page, "entryEdit", "added");
        Click(&page, "addButton");
        // Cancel and No both stay with the loaded file and its changes.
        dialogs_.choices = {Dialogs::Answer::Cancel, Dialogs::Answer::No};
        dialogs_.fileNames = {b, b};
        Click(&page, "filterFileBrowse");
        Click(&page, "filterFileBrowse");
        EXPECT_EQ(State(page), "alpha|*added ARD [] dirty");
        EXPECT_EQ(Text(&page, "filterFileEdit"), dir_.file("a.flt"));
        // Leaving the name box with another name asks the same; No puts the loaded name back.
        dialogs_.choices = {Dialogs::Answer::No, Dialogs::Answer::Yes};
        Type(&page, "filterFileEdit", b);
        Find<QLineEdit>(&page, "entryEdit")->setFocus();
        EXPECT_EQ(Text(&page, "filterFileEdit"), dir_.file("a.flt"));
        // Yes saves the list, then loads the other file.
        Type(&page, "filterFileEdit", b);
        Find<QLineEdit>(&page, "entryEdit")->setFocus();
        EXPECT_EQ(ReadFileBytes(dir_.file("a.flt")), "alpha\nadded\n");
        EXPECT_EQ(State(page), "bravo --- []");
        EXPECT_EQ(dialogs_.shown.front(),
                  "Open: " + dir_.file("a.flt") + " | .flt | Filter Files (*.flt);;All Files (*)");
        // A name confirmed with Enter is loaded before OK writes: another file's list never lands in it.
        Type(&page, "filterFileEdit", QString::fromStdString(dir_.file("new.flt")));
        QTest::keyClick(Find<QLineEdit>(&page, "filterFileEdit"), Qt::Key_Return);
        EXPECT_FALSE(page.window()->isVisible());
    });
    EXPECT_EQ(ReadFileBytes(dir_.file("new.flt")), "");
    EXPECT_EQ(ReadFileBytes(dir_.file("b.flt")), "bravo\n");
    EXPECT_EQ(std::count(dialogs_.shown.begin(), dialogs_.shown.end(),
                         "Changing Filter File: Save Changes to " + dir_.file("a.flt") + "?"),
              4);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("new.flt")));
    EXPECT_EQ(Saved()->FilterFile, dir_.file("new.flt"));
}

TEST_F(FilteringPageTest, FilterFilesThatAreNotWhatTheySeem) {
    std::filesystem::create_directory(dir_.file("dir.flt"));
    const char binary[] = "GIF89a\0\0\xff\xfe\r\nlong enough\n\x01\x02";
    WriteFileBytes(dir_.file("bin.flt"), std::string(binary, sizeof binary - 1));
    // File, entry added before OK (or none), what OK says (or nothing, and the sheet closes).
    const std::tuple<std::string, QString, std::string> cases[] = {
        {"dir.flt", "", ""}, // nothing was read from it, so nothing is written over it
        {"dir.flt", "x", "Writing Filter File: Could not write file " + dir_.file("dir.flt") + "."},
        {"missing/a.flt", "x",
         "Writing Filter File: Could not write file " + dir_.file("missing/a.flt") + "."},
        {"bin.flt", "", ""},
    };
    Open();
    for (const auto& [file, entry, message] : cases) {
        SCOPED_TRACE(file);
        dialogs_.shown.clear();
        settings_.FilterFile = dir_.file(file);
        WithSheet([&](ConfigSheet& sheet) {
            auto* page = sheet.findChild<FilteringPage*>();
            if (!entry.isEmpty()) {
                Type(page, "entryEdit", entry);
                Click(page, "addButton");
            }
            ClickOk(sheet);
            // Unsaved changes keep the sheet open.
            EXPECT_EQ(sheet.isVisible(), page->IsDirty());
            EXPECT_EQ(dialogs_.shown, message.empty() ? std::vector<std::string>() : std::vector{message});
        });
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir_.file("dir.flt")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
    // The binary file's lines are shown and written back as they were read.
    EXPECT_EQ(ReadFileBytes(dir_.file("bin.flt")), "GIF89a\nlong enough\n");
}

} // namespace
