#include "ui/SheetPosition.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include "ui/WindowPlacement.h"

namespace {

const char* const kKey = "Spindrel/ConfigDlg";

} // namespace

void SaveSheetPosition(const QWidget& sheet) {
    QSettings profile(ProfilePath(), QSettings::IniFormat);
    profile.setValue(kKey, QString("(%1,%2)").arg(sheet.x()).arg(sheet.y()));
}

void RestoreSheetPosition(QWidget& sheet) {
    QSettings profile(ProfilePath(), QSettings::IniFormat);
    // Written by hand without quotes, the value reads as a list split at its comma.
    QString value = profile.value(kKey).toStringList().join(',');
    QRegularExpressionMatch match = QRegularExpression(R"(^\((-?\d{1,9}),(-?\d{1,9})\)$)").match(value);
    if (!match.hasMatch()) {
        return;
    }
    QPoint corner(match.captured(1).toInt(), match.captured(2).toInt());
    if (QGuiApplication::screenAt(corner)) {
        sheet.move(corner);
    }
}
