#include "ui/AddGroupsDialog.h"
#include "config/ConfigFile.h"
#include "tests/ui/GroupDialogsSupport.h"
#include "tests/ui/TestDialogs.h"
#include "ui/MainWindow.h"
#include "ui/SelectGroupsDialog.h"
#include "ui/ServerTree.h"

namespace {

const std::string kServer = "news.example.com";

class AddGroupsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AddConfiguredServer(settings, kServer, {"alt.a", "alt.b"});
        AddConfiguredServer(settings, "other.example.com", {"other.only"});
    }

    TempDir dir;
    Settings settings;
    TestDialogs dialogs;
};

TEST_F(AddGroupsTest, OkRefusesANameTheServerHas) {
    struct Case {
        std::string typed;
        std::string refused; // empty: accepted
    };
    for (const Case& c : std::vector<Case>{{"alt.a", "alt.a"},
                                           {"alt.new  alt.b alt.a", "alt.b"},
                                           {"alt.new,alt.a", "alt.a"},
                                           {"alt.new\talt.b", "alt.b"},
                                           {"ALT.A", ""},
                                           {"other.only", ""},
                                           {"alt.ab alt.", ""},
                                           {"", ""}}) {
        SCOPED_TRACE(c.typed);
        dialogs.shown.clear();
        AddGroupsDialog dialog(nullptr, kServer, settings, dialogs, dir.str());
        Child<QLineEdit>(&dialog, "groupsEdit")->setText(QString::fromStdString(c.typed));
        dialog.open();
        dialog.accept();
        EXPECT_EQ(dialog.isVisible(), !c.refused.empty()) << "a refused name keeps the dialog open";
        EXPECT_EQ(dialogs.shown, c.refused.empty()
                                     ? std::vector<std::string>{}
                                     : std::vector<std::string>{"Spindrel: " + c.refused +
                                                                " is already included for news.example.com"});
    }
}

TEST_F(AddGroupsTest, TheSelectionReplacesTheGroupsBox) {
    ASSERT_TRUE(WriteFileBytes(dir.file(kServer), GroupFile({"alt.x", "alt.a", "alt.y", "alt.z"})));
    struct Case {
        const char* name;
        std::vector<int> picked;
        const char* button;
        std::string box;
    };
    for (const Case& c : std::vector<Case>{{"two picks", {2, 0}, "okButton", "alt.x alt.z"},
                                           {"OK with nothing picked", {}, "okButton", ""},
                                           {"cancelled selection", {1}, "cancelButton", ""}}) {
        SCOPED_TRACE(c.name);
        AddGroupsDialog dialog(nullptr, kServer, settings, dialogs, dir.str());
        Child<QLineEdit>(&dialog, "groupsEdit")->setText("typed.before");
        WhenModal<SelectGroupsDialog>([&c](SelectGroupsDialog* selection) {
            EXPECT_TRUE(WaitUntil(
                [selection] { return Child<QPushButton>(selection, "filterButton")->isEnabled(); }));
            EXPECT_EQ(ListNames(selection, "availableList"),
                      (std::vector<std::string>{"alt.x", "alt.y", "alt.z"}));
            Highlight(selection, "availableList", c.picked);
            Click(selection, "addButton");
            Click(selection, c.button);
        });
        Click(&dialog, "browseButton");
        EXPECT_EQ(dialog.Groups().toStdString(), c.box);
    }
}

TEST_F(AddGroupsTest, NewGroupsOfTheMainWindowAddsAndSaves) {
    std::string configFile = dir.file("spindrel.cfg");
    MainWindow window(settings, dialogs, configFile);
    window.RebuildTree();
    ServerTree& tree = window.Tree();
    tree.setCurrentItem(tree.topLevelItem(0)->child(1));
    WhenModal<AddGroupsDialog>([](AddGroupsDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Add new group(s) for news.example.com");
        EXPECT_EQ(Text(dialog, "cullSizeEdit"), "25");
        EXPECT_EQ(Text(dialog, "nextArticleEdit"), "0");
        Child<QLineEdit>(dialog, "groupsEdit")->setText("alt.one alt.two");
        Child<QLineEdit>(dialog, "cullSizeEdit")->setText("50");
        Child<QLineEdit>(dialog, "nextArticleEdit")->setText("7");
        dialog->accept();
    });
    window.onNewGroups();
    EXPECT_EQ(tree.currentItem()->text(0).toStdString(), "alt.two");
    EXPECT_EQ(tree.topLevelItem(0)->childCount(), 4);

    Settings saved;
    LoadConfig(saved, configFile);
    ASSERT_EQ(saved.NumServers, 2);
    ServerEntry& server = saved.Servers[0];
    ASSERT_EQ(server.NumGroups, 4);
    for (long i : {2, 3}) {
        EXPECT_EQ(server.Groups[i].Name, i == 2 ? "alt.one" : "alt.two");
        EXPECT_EQ(server.Groups[i].MinSizeK, 50);
        EXPECT_EQ(server.Groups[i].NextArticle, 7);
        EXPECT_EQ(server.Groups[i].Collapsed, 1);
        EXPECT_EQ(server.Groups[i].Skip, 0);
    }
}

// However the names come into the box, each becomes one group, once, with the cull size and next article
// given, and never a second time for a server that has it.
TEST_F(AddGroupsTest, EachNameBecomesOneGroup) {
    struct Case {
        std::string typed;
        std::vector<std::string> added;
    };
    for (const Case& c : std::vector<Case>{{"alt.new alt.new", {"alt.new"}},
                                           {"alt.new ALT.NEW alt.new", {"alt.new", "ALT.NEW"}},
                                           {"alt.a alt.new alt.b", {"alt.new"}},
                                           {"alt.x,alt.y", {"alt.x", "alt.y"}},
                                           {"alt.x\talt.y  alt.x", {"alt.x", "alt.y"}},
                                           {",alt.a,,", {}}}) {
        SCOPED_TRACE(c.typed);
        Settings fresh;
        AddConfiguredServer(fresh, kServer, {"alt.a", "alt.b"});
        MainWindow window(fresh, dialogs, dir.file("spindrel.cfg"));
        window.RebuildTree();
        window.AddNewGroups(window.Tree().topLevelItem(0), QString::fromStdString(c.typed), 40, 9);
        ServerEntry& server = fresh.Servers[0];
        ASSERT_EQ(server.NumGroups, 2 + static_cast<long>(c.added.size()));
        ASSERT_EQ(window.Tree().topLevelItem(0)->childCount(), server.NumGroups);
        for (size_t i = 0; i < c.added.size(); ++i) {
            const GroupEntry& group = server.Groups[2 + static_cast<long>(i)];
            EXPECT_EQ(group.Name, c.added[i]);
            EXPECT_EQ(window.Tree().topLevelItem(0)->child(2 + static_cast<int>(i))->text(0).toStdString(),
                      c.added[i]);
            EXPECT_EQ(group.MinSizeK, 40);
            EXPECT_EQ(group.NextArticle, 9);
            EXPECT_EQ(group.Collapsed, 1);
        }
    }
}

} // namespace
