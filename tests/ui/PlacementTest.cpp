// The main window's placement: kept when it closes, put back when it opens, always on the screen.
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include "tests/ui/WindowFixture.h"

namespace {

class PlacementTest : public WindowFixture {
  protected:
    static void Store(const std::vector<int>& values) {
        QSettings profile(ProfilePath(), QSettings::IniFormat);
        profile.beginGroup("Spindrel 1.4w");
        const char* keys[] = {"flags", "showCmd", "x1", "y1", "x2", "y2"};
        for (size_t i = 0; i < values.size(); ++i) {
            profile.setValue(keys[i], values[i]);
        }
    }
    QRect Reopened() {
        window_.reset();
        Open("NumServers=0\n");
        return window_->normalGeometry();
    }
};

TEST_F(PlacementTest, ClosingKeepsThePlacementForTheNextStart) {
    Open("NumServers=0\n");
    QRect before = window_->geometry();
    window_->setGeometry(40, 50, before.width() + 30, before.height() + 20);
    window_->close();
    QRect kept(40, 50, before.width() + 30, before.height() + 20);
    EXPECT_EQ(Reopened(), kept);
    QSettings profile(ProfilePath(), QSettings::IniFormat);
    EXPECT_EQ(profile.value("Spindrel 1.4w/showCmd").toInt(), 1);
    EXPECT_EQ(profile.value("Spindrel 1.4w/x2").toInt(), 40 + kept.width());
}

TEST_F(PlacementTest, RestoreRules) {
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    Open("NumServers=0\n");
    QRect standard = window_->normalGeometry();
    struct Case {
        std::vector<int> stored;
        QPoint topLeft;
    } cases[] = {
        {{0, 1, 30, 40, 630, 500}, {30, 40}},
        {{0, 1, 30, -1, 630, 500}, standard.topLeft()}, // one entry -1: nothing restored
        {{0, 1, 30, 40, 630}, standard.topLeft()},      // one missing
        {{0, 1, 5000, 6000, 5600, 6500}, {screen.width() - 32, screen.height() - 32}}, // kept on the screen
    };
    for (const Case& c : cases) {
        QFile::remove(ProfilePath());
        Store(c.stored);
        EXPECT_EQ(Reopened().topLeft(), c.topLeft) << c.stored[2];
    }
    // Sizes out of all reason are bounded by the screen.
    QFile::remove(ProfilePath());
    Store({0, 1, 10, 10, 2147483647, 2147483647});
    QRect huge = Reopened();
    EXPECT_LE(huge.width(), screen.width());
    EXPECT_LE(huge.height(), screen.height());
}

TEST_F(PlacementTest, AMaximisedWindowOpensMaximised) {
    Store({0, 3, 30, 40, 630, 500});
    Open("NumServers=0\n");
    EXPECT_TRUE(window_->isMaximized());
}

} // namespace
