#include "ui/TrayIcon.h"

#include <QCursor>
#include <QTextDocument>

namespace {

constexpr int kMaxTip = 63;

} // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
    QAction* restore = menu_.addAction("&Restore", this, &TrayIcon::restoreRequested);
    menu_.setDefaultAction(restore);
    menu_.addAction("&Close", this, &TrayIcon::closeRequested);
    stop_ = menu_.addAction("&Stop Download", this, &TrayIcon::stopRequested);
    stop_->setEnabled(false);
    menu_.addSeparator();
    menu_.addAction("&About Spindrel", this, &TrayIcon::aboutRequested);
    connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::Activate);
}

void TrayIcon::Activate(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Context) {
        emit menuWanted();
    } else if (reason == QSystemTrayIcon::Trigger) {
        emit clicked();
    } else if (reason == QSystemTrayIcon::DoubleClick) {
        emit doubleClicked();
    }
}

bool TrayIcon::Show(const QIcon& icon, const QString& tip) {
    if (!TrayAvailable()) {
        return false;
    }
    icon_.setIcon(icon);
    SetTip(tip);
    icon_.show();
    return true;
}

void TrayIcon::Hide() {
    icon_.hide();
}

void TrayIcon::SetTip(const QString& tip) {
    QString text = tip.left(kMaxTip);
    // Tool tips that look like markup are rendered as such; a group name must show as it is.
    icon_.setToolTip(Qt::mightBeRichText(text) ? "<p style='white-space:pre'>" + text.toHtmlEscaped() + "</p>"
                                               : text);
}

void TrayIcon::PopUpMenu() {
    menu_.popup(QCursor::pos());
}
