// The tree's commands on servers and groups, as the user gives them.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "config/ServerList.h"
#include "tests/ui/WindowFixture.h"
#include "ui/HostDialog.h"

namespace {

const char* const kTwoServers = "NumServers=2\n"
                                "Server\n    Name=news.a.com,,\n    NumGroups=3\n"
                                "    Group=alt.one,0,0k,Expanded,Include\n"
                                "    Group=alt.two,0,0k,Expanded,Include\n"
                                "    Group=alt.three,0,0k,Expanded,Include\n"
                                "Server\n    Name=news.b.com,,\n    NumGroups=0\n";

class TreeCommandsTest : public WindowFixture {
  protected:
    std::string Groups(long server) {
        std::string names;
        for (long i = 0; i < settings_.Servers[server].NumGroups; ++i) {
            names += (i ? "," : "") + settings_.Servers[server].Groups[i].Name;
        }
        return names;
    }
    // Types `text` into the label editor of `node` and presses Enter.
    void EditLabel(QTreeWidgetItem* node, const QString& text) {
        window_->activateWindow();
        Tree().StartLabelEdit(node);
        auto* editor = Tree().viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
    }
};

TEST_F(TreeCommandsTest, BuildsServersAndGroupsInListOrder) {
    Open(kTwoServers);
    ASSERT_EQ(Tree().topLevelItemCount(), 2);
    EXPECT_EQ(Children(Node("news.a.com")), "alt.one,alt.two,alt.three");
    EXPECT_TRUE(Node("news.a.com")->isExpanded());
    EXPECT_EQ(window_->windowTitle().toStdString(), "Spindrel 1.4w - Fire & Forget Binary Downloading");
}

TEST_F(TreeCommandsTest, DuplicateHostIsRefusedButOtherCaseIsAdded) {
    Open(kTwoServers);
    window_->AddHost("news.a.com", "", "");
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0],
              "New Server Not Added: Server news.a.com already exists in the download list");
    EXPECT_EQ(settings_.NumServers, 2);

    window_->AddHost("NEWS.A.COM", "joe", "secret");
    ASSERT_EQ(settings_.NumServers, 3);
    EXPECT_EQ(settings_.Servers[2].Address, "NEWS.A.COM");
    EXPECT_EQ(settings_.Servers[2].User, "joe");
    EXPECT_EQ(settings_.Servers[2].Password, "secret");
    EXPECT_EQ(Tree().topLevelItem(2)->text(0), "NEWS.A.COM");
    window_->AddHost("", "x", "y"); // an empty address does nothing
    EXPECT_EQ(settings_.NumServers, 3);
}

TEST_F(TreeCommandsTest, NewHostDialogAddsTheServer) {
    Open(kTwoServers);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<HostDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Add Host for News Server");
        dialog->findChild<QLineEdit*>("addressEdit")->setText("news.c.com");
        dialog->findChild<QLineEdit*>("userEdit")->setText("ann");
        dialog->findChild<QLineEdit*>("passwordEdit")->setText("pw");
        dialog->accept();
    });
    window_->onNewHost();
    ASSERT_EQ(settings_.NumServers, 3);
    EXPECT_EQ(settings_.Servers[2].Address + "," + settings_.Servers[2].User + "," +
                  settings_.Servers[2].Password,
              "news.c.com,ann,pw");
}

TEST_F(TreeCommandsTest, TwoNewGroupsAreAddedInOrderCollapsedIncludedAndSaved) {
    Open(kTwoServers);
    window_->AddNewGroups(Node("news.b.com"), "  alt.first   alt.second ", 25, 7);
    EXPECT_EQ(Groups(1), "alt.first,alt.second");
    for (long i = 0; i < 2; ++i) {
        const GroupEntry& group = settings_.Servers[1].Groups[i];
        EXPECT_EQ(group.Collapsed, 1);
        EXPECT_EQ(group.Skip, 0);
        EXPECT_EQ(group.MinSizeK, 25);
        EXPECT_EQ(group.NextArticle, 7);
    }
    EXPECT_EQ(Children(Node("news.b.com")), "alt.first,alt.second");
    EXPECT_EQ(Tree().currentItem(), Node("news.b.com/alt.second"));
    EXPECT_NE(Config().find("    Group=alt.first,7,25k,Collapsed,Include\n"
                            "    Group=alt.second,7,25k,Collapsed,Include\n"),
              std::string::npos);
}

TEST_F(TreeCommandsTest, MovesStopAtTheEndsOfTheList) {
    Open(kTwoServers);
    struct Case {
        const char* node;
        bool up;
        const char* groups;
    } cases[] = {
        {"news.a.com/alt.one", true, "alt.one,alt.two,alt.three"},    // first stays first
        {"news.a.com/alt.three", false, "alt.one,alt.two,alt.three"}, // last stays last
        {"news.a.com/alt.two", true, "alt.two,alt.one,alt.three"},
        {"news.a.com/alt.two", false, "alt.one,alt.two,alt.three"},
        {"news.a.com/alt.one", false, "alt.two,alt.one,alt.three"},
    };
    for (const Case& c : cases) {
        QTreeWidgetItem* node = Node(c.node);
        Tree().setCurrentItem(node);
        c.up ? window_->onMoveUp() : window_->onMoveDown();
        EXPECT_EQ(Groups(0), c.groups) << c.node;
        EXPECT_EQ(Children(Node("news.a.com")), c.groups) << c.node;
        EXPECT_EQ(Tree().currentItem(), node) << c.node;
    }
    // A server moves with its groups, which stay open.
    Tree().setCurrentItem(Node("news.a.com"));
    window_->onMoveDown();
    EXPECT_EQ(settings_.Servers[1].Address, "news.a.com");
    EXPECT_EQ(Tree().topLevelItem(1)->text(0), "news.a.com");
    EXPECT_TRUE(Node("news.a.com")->isExpanded());
    EXPECT_EQ(Children(Node("news.a.com")), Groups(1));
    window_->onMoveDown();
    EXPECT_EQ(settings_.Servers[1].Address, "news.a.com");
    EXPECT_TRUE(dialogs_.beeps.empty());
}

TEST_F(TreeCommandsTest, RenamingAServerToTextWithCommasSetsItsLogin) {
    Open(kTwoServers);
    EditLabel(Node("news.a.com"), "news.z.com,joe,se,cret");
    const ServerEntry& server = settings_.Servers[0];
    EXPECT_EQ(server.Address, "news.z.com");
    EXPECT_EQ(server.User, "joe");
    EXPECT_EQ(server.Password, "se,cret");
    // The node names the server, never its password, and still finds its groups.
    EXPECT_EQ(Tree().topLevelItem(0)->text(0), "news.z.com");
    EXPECT_EQ(Children(Node("news.z.com")), "alt.one,alt.two,alt.three");
    EditLabel(Node("news.z.com"), ""); // an empty text changes nothing
    EXPECT_EQ(server.Address, "news.z.com");
}

TEST_F(TreeCommandsTest, GroupRenameIsCutTo255Characters) {
    Open(kTwoServers);
    std::string longName(300, 'g');
    Tree().labelEdited(Node("news.a.com/alt.two"), QString::fromStdString(longName));
    EXPECT_EQ(settings_.Servers[0].Groups[1].Name, longName.substr(0, 255));
    EXPECT_EQ(Tree().topLevelItem(0)->child(1)->text(0).toStdString(), longName.substr(0, 255));
    // A character is never cut in half.
    Tree().labelEdited(Node("news.a.com/alt.three"), QString(254, 'x') + QString::fromUtf8("é"));
    EXPECT_EQ(settings_.Servers[0].Groups[2].Name, std::string(254, 'x'));
}

TEST_F(TreeCommandsTest, DeleteAsksAndRemovesOnlyOnYes) {
    Open(kTwoServers);
    Tree().setCurrentItem(Node("news.a.com/alt.two"));
    dialogs_.answers = {false};
    window_->onDelete();
    EXPECT_EQ(Groups(0), "alt.one,alt.two,alt.three");
    dialogs_.answers = {true};
    window_->onDelete();
    EXPECT_EQ(Groups(0), "alt.one,alt.three");
    EXPECT_EQ(Children(Node("news.a.com")), "alt.one,alt.three");
    EXPECT_EQ(dialogs_.shown[0], "Deleting Group: Are you sure you want to remove group\nalt.two\nfrom the "
                                 "download list for host\nnews.a.com?");

    Tree().setCurrentItem(Node("news.b.com"));
    dialogs_.answers = {true};
    window_->onDelete();
    EXPECT_EQ(settings_.NumServers, 1);
    EXPECT_EQ(Tree().topLevelItemCount(), 1);
    EXPECT_EQ(dialogs_.shown.back(),
              "Deleting Host: Are you sure you want to remove\nhost news.b.com\nfrom the "
              "download list?");
}

TEST_F(TreeCommandsTest, SkipProcessingTogglesAndShowsInTheMenu) {
    Open(kTwoServers);
    QTreeWidgetItem* group = Node("news.a.com/alt.one");
    Tree().setCurrentItem(group);
    window_->onSkipProcessing();
    EXPECT_EQ(settings_.Servers[0].Groups[0].Skip, 1);
    auto skipAction = [&] {
        std::unique_ptr<QMenu> menu = window_->TreeMenu(group);
        for (QAction* action : menu->actions()) {
            if (action->text() == "&Skip Processing") {
                return action->isChecked();
            }
        }
        return false;
    };
    EXPECT_TRUE(skipAction());
    window_->onSkipProcessing();
    EXPECT_EQ(settings_.Servers[0].Groups[0].Skip, 0);
    EXPECT_FALSE(skipAction());
}

TEST_F(TreeCommandsTest, EachKindOfNodeHasItsMenu) {
    Open(std::string("    ViewAllFiles=1\n") + kTwoServers);
    std::filesystem::create_directory(dir_.file("out/alt.one"));
    WriteFileBytes(dir_.file("out/alt.one/a.bin"), "x");
    Tree().setCurrentItem(Node("news.a.com/alt.one"));
    window_->onRefresh();
    ASSERT_TRUE(WaitUntil([&] { return Node("news.a.com/alt.one")->childCount() == 1; }));
    auto texts = [&](QTreeWidgetItem* node) {
        QStringList items;
        std::unique_ptr<QMenu> menu = window_->TreeMenu(node);
        for (QAction* action : menu->actions()) {
            items << (action->isSeparator() ? "-" : action->text() + (action->isEnabled() ? "" : "(off)"));
        }
        return items.join('|').toStdString();
    };
    EXPECT_EQ(texts(nullptr), "New &Host");
    EXPECT_EQ(texts(Node("news.a.com")), "&Rename|&Delete|New &Group(s)|-|New &Host|-|&Properties");
    EXPECT_EQ(texts(Node("news.a.com/alt.one")), "&Refresh|R&ename|&Delete|G&oto(off)|&Skip Processing|-|New "
                                                 "&Host|New &Group(s)|-|&Properties");
    EXPECT_EQ(texts(Node("news.a.com/alt.one")->child(0)), "&Rename|&Delete|&View|-|New &Host|New &Group(s)");
}

TEST_F(TreeCommandsTest, ShortcutsAreOffWhileALabelIsEdited) {
    Open(kTwoServers);
    window_->activateWindow();
    QApplication::setActiveWindow(window_.get());
    QTreeWidgetItem* group = Node("news.a.com/alt.two");
    Tree().setCurrentItem(group);
    Tree().setFocus();
    Tree().StartLabelEdit(group);
    auto* editor = Tree().viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(editor, Qt::Key_Delete);
    EXPECT_EQ(Groups(0), "alt.one,alt.two,alt.three");
    EXPECT_TRUE(dialogs_.shown.empty());
    QTest::keyClick(editor, Qt::Key_Escape); // ends the edit, changing nothing
    EXPECT_EQ(Groups(0), "alt.one,alt.two,alt.three");
    EXPECT_FALSE(Tree().IsEditing());
    // Back from the edit, the keys work again.
    Tree().setCurrentItem(group);
    QTest::keyClick(&Tree(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(Groups(0), "alt.two,alt.one,alt.three");
}

TEST_F(TreeCommandsTest, GroupPropertiesAreStoredOnOk) {
    Open(kTwoServers);
    Tree().setCurrentItem(Node("news.a.com/alt.one"));
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "alt.one");
        dialog->findChild<QLineEdit*>("cullSizeEdit")->setText("40");
        dialog->findChild<QLineEdit*>("nextArticleEdit")->setText("-20");
        dialog->findChild<QCheckBox*>("skippedCheck")->setChecked(true);
        qobject_cast<QDialog*>(dialog)->accept();
    });
    window_->onProperties();
    const GroupEntry& group = settings_.Servers[0].Groups[0];
    EXPECT_EQ(group.MinSizeK, 40);
    EXPECT_EQ(group.NextArticle, -20);
    EXPECT_EQ(group.Skip, 1);
}

} // namespace
