// The window while the engine downloads: Start and Stop, refusals, closing, unattended runs, the engine's
// calls from its threads, and a whole run against a real news server.
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

#include "tests/engine/EngineFixture.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/InnServer.h"
#include "tests/ui/WindowFixture.h"

namespace {

class DownloadWindowTest : public WindowFixture {
  protected:
    // The engine's own clock: a group that stalls on purpose must not be given up by the watchdog while the
    // test still works on it.
    void SetUp() override {
        WindowFixture::SetUp();
        SetEngineTimeScale(1.0);
    }

    // A server whose GROUP command never answers, so the download stays on its first group.
    void StallOnGroup() { server_.Handle("group", FakeNewsServer::SendThenStall("")); }
    std::string Servers() {
        return "NumServers=2\nServer\n    Name=" + server_.Address() +
               ",,\n    NumGroups=2\n    Group=alt.one,0,0k,Expanded,Include\n"
               "    Group=alt.two,0,0k,Expanded,Include\n"
               "Server\n    Name=news.b.com,,\n    NumGroups=0\n";
    }
    QString ServerText() { return QString::fromStdString(server_.Address()); }
    bool OnFirstGroup() {
        return WaitUntil(
            [this] { return Tree().CursorGroupText() == "alt.one" && !server_.Commands().empty(); });
    }
    bool RunEnds() {
        return WaitUntil([this] { return Button("startButton") == "&Start" && DownloadRunning == 0; });
    }

    FakeNewsServer server_;
};

TEST_F(DownloadWindowTest, MissingOutputDirectoryStartsNothing) {
    Open("    OutputDir=" + dir_.str() + "/missing/\n" + Servers());
    window_->onStartStop();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0],
              "Starting Download: The currently selected output directory does not exist!");
    EXPECT_EQ(dialogs_.icons[0], Dialogs::Icon::Warning);
    EXPECT_EQ(Button("startButton"), "&Start");
    EXPECT_EQ(DownloadRunning, 0);
}

TEST_F(DownloadWindowTest, TheNodesBeingDownloadedOnlyBeep) {
    StallOnGroup();
    Open(Servers());
    window_->onStartStop();
    EXPECT_EQ(Button("startButton"), "&Stop");
    ASSERT_TRUE(OnFirstGroup());
    const std::pair<QString, void (MainWindow::*)()> refused[] = {
        {ServerText() + "/alt.one", &MainWindow::onDelete},
        {ServerText() + "/alt.one", &MainWindow::onMoveDown},
        {ServerText(), &MainWindow::onDelete},
        {ServerText(), &MainWindow::onMoveDown},
    };
    for (const auto& [path, command] : refused) {
        Tree().setCurrentItem(Node(path));
        (window_.get()->*command)();
    }
    EXPECT_EQ(dialogs_.beeps, std::vector<std::string>(4, "500/200"));
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(settings_.NumServers, 2);
    EXPECT_EQ(settings_.Servers[0].Address, server_.Address());
    EXPECT_EQ(settings_.Servers[0].Groups[0].Name + "," + settings_.Servers[0].Groups[1].Name,
              "alt.one,alt.two");

    // The others may go.
    dialogs_.answers = {true, true};
    Tree().setCurrentItem(Node(ServerText() + "/alt.two"));
    window_->onDelete();
    Tree().setCurrentItem(Node("news.b.com"));
    window_->onDelete();
    EXPECT_EQ(settings_.NumServers, 1);
    EXPECT_EQ(settings_.Servers[0].NumGroups, 1);

    window_->onStartStop();
    EXPECT_FALSE(window_->findChild<QPushButton*>("startButton")->isEnabled());
    EXPECT_EQ(window_->findChild<QPushButton*>("startButton")->toolTip(), "Article Download (Stopping)");
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(window_->findChild<QPushButton*>("startButton")->toolTip(), "Start Article Download");
}

TEST_F(DownloadWindowTest, ClosingDuringADownloadAsksAndNoKeepsItRunning) {
    StallOnGroup();
    Open(Servers());
    QSignalSpy closed(window_.get(), &MainWindow::closed);
    window_->onStartStop();
    ASSERT_TRUE(OnFirstGroup());
    dialogs_.answers = {false};
    EXPECT_FALSE(window_->close());
    EXPECT_EQ(
        dialogs_.shown.back(),
        "Closing Spindrel: Article Download is still in progress.\nDo you really want to close Spindrel?");
    EXPECT_EQ(DownloadRunning, 1);
    EXPECT_EQ(Button("startButton"), "&Stop");
    EXPECT_EQ(closed.count(), 0);

    dialogs_.answers = {true};
    EXPECT_TRUE(window_->close());
    EXPECT_EQ(DownloadRunning, 0);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_NE(Config().find("Group=alt.one,0,0k,Expanded,Include"), std::string::npos);
}

TEST_F(DownloadWindowTest, UnattendedModeStartsAtOnceAndClosesAfterTheRun) {
    WriteConfig("    UnAttendedMode=1\nNumServers=0\n");
    window_ = std::make_unique<MainWindow>(settings_, dialogs_);
    QSignalSpy closed(window_.get(), &MainWindow::closed);
    window_->StartUp();
    ASSERT_TRUE(WaitUntil([&] { return closed.count() == 1; }));
    EXPECT_EQ(dialogs_.beeps, std::vector<std::string>{"700/500"});
}

TEST_F(DownloadWindowTest, UnattendedRunStoppedByTheUserLeavesTheWindowOpen) {
    StallOnGroup();
    Open("    UnAttendedMode=1\n" + Servers());
    QSignalSpy closed(window_.get(), &MainWindow::closed);
    ASSERT_TRUE(OnFirstGroup());
    window_->onStartStop();
    ASSERT_TRUE(RunEnds());
    QTest::qWait(100);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(DownloadWindowTest, StopFromInsideTheLoginFailedBoxDoesNotDeadlock) {
    server_.Reply("authinfo user", "381 more\r\n");
    server_.Reply("authinfo pass", "481 refused\r\n");
    Open("NumServers=1\nServer\n    Name=" + server_.Address() +
         ",joe,pw\n    NumGroups=1\n    Group=alt.one,0,0k,Expanded,Include\n");
    // The controller waits for the box while it holds the status lock that Stop takes.
    dialogs_.onMessage = [this] {
        dialogs_.onMessage = nullptr;
        window_->onStartStop();
    };
    window_->onStartStop();
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(dialogs_.shown, std::vector<std::string>{"Spindrel: Login Failed!"});
}

TEST_F(DownloadWindowTest, WaitsOfWorkerThreadsEndWhenTheRunStops) {
    Open("NumServers=0\n");
    QtEngineHost& host = window_->Host();
    DownloadRunning = 1;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        host.MessageBox("never shown", "Spindrel");
        host.TreeFirstServer();
        returned = true;
    });
    // The GUI thread does not answer; the stop alone ends the wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);
    DownloadRunning = 0;
    worker.join();
    EXPECT_TRUE(returned);
    QApplication::processEvents();
    EXPECT_TRUE(dialogs_.shown.empty()); // a call given up is not made later
}

TEST_F(DownloadWindowTest, AFloodOfTextsIsCoalescedAndTheLastOneShown) {
    Open("NumServers=0\n");
    QtEngineHost& host = window_->Host();
    constexpr int kCalls = 200000;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 1; i <= kCalls; ++i) {
            host.SetArticleRate(std::to_string(i));
            host.SetPanelRow(PanelScope::Group, PanelRow::Culled, std::to_string(i), "0.0");
        }
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    ASSERT_TRUE(WaitUntil([&] { return Label("articleRate") == std::to_string(kCalls); }));
    EXPECT_EQ(Label("groupCulledCount"), std::to_string(kCalls));
    EXPECT_LT(host.Flushes(), kCalls / 50);
}

TEST_F(DownloadWindowTest, HideOnMinOffKeepsANormalMinimisedWindow) {
    for (const char* hide : {"0", "1"}) { // offscreen has no tray: on acts as off
        Open(std::string("    LogFile=activity.log\n    LoggingEnabled=1\n    HideOnMin=") + hide +
             "\nNumServers=0\n");
        window_->showMinimized();
        QTest::qWait(50);
        EXPECT_TRUE(window_->isMinimized()) << hide;
        EXPECT_TRUE(window_->isVisible()) << hide;
        window_.reset();
    }
    std::string log = ReadLogFile(dir_.file("activity.log"));
    EXPECT_EQ(log, "No system tray on this desktop: the window minimises as usual\n");
}

// The whole job through the window: a real post on a real server becomes a file node under its group.
TEST_F(DownloadWindowTest, DownloadFromInnShowsTheFileAndTheCounts) {
    const std::string group = "alt.binaries.sp.window.ui";
    InnServer inn;
    ASSERT_TRUE(inn.Start({group})) << inn.Error();
    std::string source = dir_.file("source.bin");
    WriteFileBytes(source, PatternBytes(200000, 7));
    ASSERT_TRUE(inn.Post(
        MakeArticle(group, "picture.bin (1/1)", CommandOutput("uuencode " + source + " picture.bin"))));
    Open("NumServers=1\nServer\n    Name=" + inn.Address() + ",,\n    NumGroups=1\n    Group=" + group +
         ",0,0k,Collapsed,Include\n");
    window_->onStartStop();
    ASSERT_TRUE(RunEnds());
    QTreeWidgetItem* groupNode = Node(QString::fromStdString(inn.Address() + "/" + group));
    ASSERT_NE(groupNode, nullptr);
    EXPECT_EQ(Children(groupNode), "picture.BIN");
    EXPECT_EQ(ReadFileBytes(dir_.file("out/" + group + "/picture.bin")), PatternBytes(200000, 7));
    EXPECT_EQ(Label("serverExtractedCount"), "1");
    EXPECT_EQ(Label("serverExtractedMbytes"), "0.2");
    EXPECT_EQ(Label("articleSubject"), "none");
    EXPECT_EQ(window_->windowTitle().toStdString(), "Spindrel 1.4w - Fire & Forget Binary Downloading");
    EXPECT_NE(Config().find("Group=" + group + ",1,0k,Collapsed,Include"), std::string::npos);
}

} // namespace
