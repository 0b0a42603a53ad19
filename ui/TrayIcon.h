#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

// The tray icon with its menu: "&Restore" (the default), "&Close", "&Stop Download", "&About Spindrel". The
// window decides when the menu shows and what the commands do.
class TrayIcon : public QObject {
    Q_OBJECT

  public:
    // Answers whether the desktop has a tray at this moment.
    using TrayCheck = std::function<bool()>;

    explicit TrayIcon(QObject* parent);

    // The desktop's answer by default; tests stand in for a desktop with or without a tray.
    void SetTrayCheck(TrayCheck check) { trayCheck_ = std::move(check); }
    bool TrayAvailable() const { return trayCheck_(); }
    // False, showing nothing, where the desktop has no tray.
    bool Show(const QIcon& icon, const QString& tip);
    void Hide();
    bool IsShown() const { return icon_.isVisible(); }
    // Shown and on a tray that is still there: only then can the user reach the window through it.
    bool InUse() const { return IsShown() && TrayAvailable(); }
    void SetIcon(const QIcon& icon) { icon_.setIcon(icon); }
    QIcon Icon() const { return icon_.icon(); }
    // The tip, cut to 63 characters and never taken as markup.
    void SetTip(const QString& tip);
    QString Tip() const { return icon_.toolTip(); }
    void SetStopEnabled(bool enabled) { stop_->setEnabled(enabled); }
    void PopUpMenu();
    QMenu& Menu() { return menu_; }

  public slots:
    // What the desktop reports of a click on the icon.
    void Activate(QSystemTrayIcon::ActivationReason reason);

  signals:
    void restoreRequested();
    void closeRequested();
    void stopRequested();
    void aboutRequested();
    // The right button on the icon.
    void menuWanted();
    // A single click: how trays of the StatusNotifierItem kind activate an icon, and on other trays the first
    // click of a double click.
    void clicked();
    void doubleClicked();

  private:
    QSystemTrayIcon icon_;
    QMenu menu_;
    QAction* stop_;
    TrayCheck trayCheck_ = &QSystemTrayIcon::isSystemTrayAvailable;
};
