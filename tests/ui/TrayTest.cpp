// The tray icon as a user meets it: hiding in it, coming back from it, its menu commands during a run, its
// tip, and desktops without a tray or whose tray goes away. Offscreen has no tray; the tests stand in for the
// desktop through the icon's tray check and click the icon through what the desktop would report.
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <atomic>

#include "log/Log.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/ui/WindowFixture.h"
#include "ui/Icons.h"
#include "ui/TrayIcon.h"

namespace {

// Long enough for the window's look at the tray every two seconds.
constexpr int kWaitMs = 6000;

class TrayTest : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        SetEngineTimeScale(1.0); // a group that stalls on purpose is not given up while the test works
    }

    void TearDown() override {
        WindowFixture::TearDown();
        SetLogEnabled(0);
    }

    // The window with HideOnMin on, on a desktop that has a tray while `trayThere_` says so.
    void OpenWithTray(const std::string& lines = "NumServers=0\n") {
        WriteConfig("    HideOnMin=1\n    LogFile=" + dir_.file("activity.log") + "\n    LoggingEnabled=1\n" +
                    lines);
        window_ = std::make_unique<MainWindow>(settings_, dialogs_);
        Tray().SetTrayCheck([this] { return trayThere_.load(); });
        window_->StartUp();
        ASSERT_TRUE(WaitUntil([this] { return !window_->TreeBusy(); }));
    }

    // A server whose GROUP command never answers, so a run stays on its first group until stopped.
    std::string StallingServer() {
        server_.Handle("group", FakeNewsServer::SendThenStall(""));
        return "NumServers=1\nServer\n    Name=" + server_.Address() +
               ",,\n    NumGroups=1\n    Group=alt.binaries.a.group.with.a.rather.long.name.for.the.tip,0,0k,"
               "Expanded,Include\n";
    }
    bool OnTheGroup() {
        return WaitUntil(
            [this] { return !Tree().CursorGroupText().isEmpty() && !server_.Commands().empty(); });
    }

    TrayIcon& Tray() { return *window_->findChild<TrayIcon*>(); }
    QAction* Command(const QString& text) {
        for (QAction* action : Tray().Menu().actions()) {
            if (action->text() == text) {
                return action;
            }
        }
        ADD_FAILURE() << "no tray command " << text.toStdString();
        return nullptr;
    }
    bool Minimise() {
        window_->showMinimized();
        return WaitUntil([this] { return window_->isMinimized(); }, kWaitMs);
    }
    bool HiddenInTray() {
        return WaitUntil([this] { return !window_->isVisible(); }, kWaitMs);
    }
    bool BackOnScreen() {
        return WaitUntil([this] { return window_->isVisible() && !window_->isMinimized(); }, kWaitMs);
    }
    bool ShowsAppIcon() { return Tray().Icon().pixmap(16).toImage() == AppIcon().pixmap(16).toImage(); }
    std::string Log() {
        FlushLog();
        return ReadLogFile(dir_.file("activity.log"));
    }

    std::atomic<bool> trayThere_ = true;
    FakeNewsServer server_;
};

TEST_F(TrayTest, MinimisingHidesInTheTrayAndTheIconBringsTheWindowBack) {
    OpenWithTray();
    ASSERT_TRUE(Tray().IsShown());
    EXPECT_EQ(Tray().Tip(), "Spindrel 1.4w");
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"double click", [this] { Tray().Activate(QSystemTrayIcon::DoubleClick); }},
        {"single click of a StatusNotifierItem tray", [this] { Tray().Activate(QSystemTrayIcon::Trigger); }},
        {"double click as other trays report it: a click, then the double click",
         [this] {
             Tray().Activate(QSystemTrayIcon::Trigger);
             Tray().Activate(QSystemTrayIcon::DoubleClick);
         }},
        {"&Restore from the menu",
         [this] {
             Tray().Activate(QSystemTrayIcon::Context);
             EXPECT_TRUE(WaitUntil([this] { return Tray().Menu().isVisible(); }));
             EXPECT_EQ(Tray().Menu().defaultAction(), Command("&Restore"));
             Command("&Restore")->trigger();
             Tray().Menu().close();
         }},
    };
    for (const auto& [way, restore] : ways) {
        SCOPED_TRACE(way);
        ASSERT_TRUE(Minimise());
        ASSERT_TRUE(HiddenInTray());
        restore();
        EXPECT_TRUE(BackOnScreen());
    }
    EXPECT_TRUE(dialogs_.beeps.empty());
}

TEST_F(TrayTest, ClickingTheIconWhileTheWindowIsUpOnlyBeeps) {
    OpenWithTray();
    for (QSystemTrayIcon::ActivationReason reason :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick}) {
        Tray().Activate(reason);
    }
    QTest::qWait(50);
    EXPECT_FALSE(Tray().Menu().isVisible());
    EXPECT_TRUE(BackOnScreen());
    EXPECT_EQ(dialogs_.beeps, std::vector<std::string>(2, "500/100"));
}

TEST_F(TrayTest, AboutAndCloseFromTheTray) {
    OpenWithTray();
    QSignalSpy closed(window_.get(), &MainWindow::closed);
    ASSERT_TRUE(Minimise());
    ASSERT_TRUE(HiddenInTray());
    Command("&About Spindrel")->trigger();
    EXPECT_EQ(dialogs_.shown, std::vector<std::string>{"About"});
    Command("&Close")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(Tray().IsShown());
    EXPECT_NE(Config().find("HideOnMin=1"), std::string::npos) << "closing saves the configuration";
}

TEST_F(TrayTest, StopDownloadFromTheTrayStopsTheRunAndTheTipFollowsTheTitle) {
    OpenWithTray(StallingServer());
    EXPECT_FALSE(Command("&Stop Download")->isEnabled());
    window_->onStartStop();
    ASSERT_TRUE(OnTheGroup());
    ASSERT_TRUE(WaitUntil([this] { return window_->windowTitle().startsWith("Spindrel: "); }));
    EXPECT_EQ(Tray().Tip(), window_->windowTitle());
    EXPECT_EQ(Tray().Tip().size(), 63);

    ASSERT_TRUE(Minimise());
    ASSERT_TRUE(HiddenInTray());
    EXPECT_TRUE(WaitUntil([this] { return !ShowsAppIcon(); }, kWaitMs)) << "the download animation";
    ASSERT_TRUE(Command("&Stop Download")->isEnabled());
    Command("&Stop Download")->trigger();
    EXPECT_EQ(DownloadRunning, 0);
    ASSERT_TRUE(WaitUntil([this] { return Button("startButton") == "&Start"; }));
    EXPECT_FALSE(Command("&Stop Download")->isEnabled());
    EXPECT_EQ(Tray().Tip(), "Spindrel 1.4w");
    EXPECT_EQ(window_->windowTitle(), "Spindrel 1.4w - Fire & Forget Binary Downloading");
    EXPECT_TRUE(ShowsAppIcon());
    EXPECT_FALSE(window_->isVisible()) << "stopping leaves the window where the user put it";
}

TEST_F(TrayTest, WithoutATrayMinimisingBehavesAsUsualAndTheLogSaysSoOnce) {
    trayThere_ = false;
    OpenWithTray();
    EXPECT_FALSE(Tray().IsShown());
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(Minimise());
        QTest::qWait(50);
        EXPECT_TRUE(window_->isVisible());
        EXPECT_TRUE(window_->isMinimized());
        window_->showNormal();
        window_->ApplyHideOnMin(); // as the property sheet's OK does
    }
    EXPECT_EQ(Log(), "No system tray on this desktop: the window minimises as usual\n");
}

TEST_F(TrayTest, ATrayThatGoesAwayGivesTheWindowBack) {
    OpenWithTray();
    ASSERT_TRUE(Minimise());
    ASSERT_TRUE(HiddenInTray());
    trayThere_ = false;
    EXPECT_TRUE(BackOnScreen()) << "hidden with no tray to come back from";
    ASSERT_TRUE(Minimise());
    QTest::qWait(50);
    EXPECT_TRUE(window_->isVisible()) << "a second minimise must not hide it again";
    EXPECT_EQ(Log(), "No system tray on this desktop: the window minimises as usual\n");
}

} // namespace
