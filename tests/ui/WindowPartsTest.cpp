// The smaller parts of the window: help, the download animation, the traffic-log key.
#include <QTest>
#include <QTextBrowser>

#include "log/Log.h"
#include "tests/ui/WindowFixture.h"
#include "ui/IconAnimation.h"

namespace {

class WindowPartsTest : public WindowFixture {};

TEST_F(WindowPartsTest, HelpShowsTheShippedPage) {
    Open("NumServers=0\n");
    window_->onHelp();
    auto* help = window_->findChild<QTextBrowser*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->toPlainText().contains("Setting up a server and its groups"));
    EXPECT_TRUE(help->toPlainText().contains("Where files go"));
}

TEST(IconAnimationTest, TwelveStepsSweepOverSevenFramesAndBack) {
    const int frames[12] = {0, 1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1};
    for (int step = 0; step < 12; ++step) {
        EXPECT_EQ(IconAnimation::FrameAt(step), frames[step]) << step;
    }
}

TEST_F(WindowPartsTest, CtrlAltF12SwitchesTheTrafficLogOn) {
    Open("NumServers=0\n");
    QApplication::setActiveWindow(window_.get());
    QTest::keyClick(&Tree(), Qt::Key_F12, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_STREQ(GetTxRxLogName(), "txrxlog.log");
}

} // namespace
