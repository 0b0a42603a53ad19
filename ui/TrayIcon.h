#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

// The tray icon with its menu: "&Restore" (the default), "&Close", "&Stop Download", "&About Spindrel". The
// window decides when the menu shows and what the commands do.
class TrayIcon : public QObject {
    Q_OBJECT

  public:
    explicit TrayIcon(QObject* parent);

    // False, showing nothing, where the desktop has no tray.
    bool Show(const QIcon& icon, const QString& tip);
    void Hide();
    bool IsShown() const { return icon_.isVisible(); }
    void SetIcon(const QIcon& icon) { icon_.setIcon(icon); }
    // The tip, cut to 63 characters and never taken as markup.
    void SetTip(const QString& tip);
    void SetStopEnabled(bool enabled) { stop_->setEnabled(enabled); }
    void PopUpMenu();
    QMenu& Menu() { return menu_; }

  signals:
    void restoreRequested();
    void closeRequested();
    void stopRequested();
    void aboutRequested();
    // The right button or a double click on the icon.
    void menuWanted();
    void doubleClicked();

  private:
    QSystemTrayIcon icon_;
    QMenu menu_;
    QAction* stop_;
};
