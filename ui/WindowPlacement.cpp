#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>

#include "ui/AppTitle.h"

namespace {

// The placement's show states and flag as the store has always kept them.
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
constexpr int kRestoreToMaximized = 2;
constexpr int kIconSize = 32;
const char* const kKeys[] = {"flags", "showCmd", "x1", "y1", "x2", "y2"};

// The length from `from` to `to`, kept between the window's smallest size and the screen's.
int Span(int from, int to, int smallest, int screenLength) {
    long long length = static_cast<long long>(to) - from;
    return static_cast<int>(std::clamp<long long>(length, smallest, std::max(smallest, screenLength)));
}

} // namespace

QString ProfilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) + "/spindrel.ini";
}

void SaveWindowPlacement(const QWidget& window) {
    QRect normal = window.normalGeometry();
    bool minimized = window.isMinimized() || window.isHidden();
    int showCmd = minimized ? kShowMinimized : window.isMaximized() ? kShowMaximized : kShowNormal;
    int flags = minimized && window.windowState().testFlag(Qt::WindowMaximized) ? kRestoreToMaximized : 0;
    int values[] = {flags, showCmd, normal.left(), normal.top(), normal.right() + 1, normal.bottom() + 1};
    QSettings profile(ProfilePath(), QSettings::IniFormat);
    profile.beginGroup(kAppTitle);
    for (int i = 0; i < 6; ++i) {
        profile.setValue(kKeys[i], values[i]);
    }
}

ShowState RestoreWindowPlacement(QWidget& window) {
    QSettings profile(ProfilePath(), QSettings::IniFormat);
    profile.beginGroup(kAppTitle);
    int values[6];
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        values[i] = profile.value(kKeys[i], -1).toInt(&ok);
        if (!ok || values[i] == -1) {
            return ShowState::Normal;
        }
    }
    QScreen* primary = QGuiApplication::primaryScreen();
    QRect screen = primary->geometry();
    QRect desktop = primary->virtualGeometry();
    QSize minimum = window.minimumSizeHint();
    int x = std::clamp(values[2], desktop.left(), std::max(desktop.left(), screen.width() - kIconSize));
    int y = std::clamp(values[3], desktop.top(), std::max(desktop.top(), screen.height() - kIconSize));
    int width = Span(values[2], values[4], minimum.width(), screen.width());
    int height = Span(values[3], values[5], minimum.height(), screen.height());
    window.setGeometry(x, y, width, height);
    switch (values[1]) {
    case kShowMinimized:
        return ShowState::Minimized;
    case kShowMaximized:
        return ShowState::Maximized;
    default:
        return ShowState::Normal;
    }
}
