#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <mutex>
#include <string>

#include "nntp/GroupListProgress.h"
#include "platform/Thread.h"

namespace Ui {
class GroupListWindow;
}
class Dialogs;

// "Groups on Server": fetches a server's group list into its file on a thread of its own while showing how
// far it has come, and closes when the fetch has ended. Abort (also the close button and Esc) stops the
// fetch and closes once the thread has stopped; the window never waits for the thread with the GUI thread
// blocked. The fetch thread hands every update to the GUI thread, holding the UI lock while it checks
// GroupListCancel and hands it over, so nothing follows an Abort.
class GroupListWindow : public QDialog {
    Q_OBJECT

  public:
    // No login is sent: the group selection gives neither user name nor password.
    GroupListWindow(QWidget* parent, const std::string& server, Dialogs& dialogs, std::string directory = {});
    ~GroupListWindow() override;

  public slots:
    void onAbort();
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    class Relay;

    void Start();
    void PollFetch();
    void Close();
    void StopTimer();

    std::unique_ptr<Ui::GroupListWindow> ui_;
    std::string server_;
    Dialogs& dialogs_;
    std::string directory_;
    std::unique_ptr<Relay> relay_;
    GroupListProgress progress_;
    std::mutex uiLock_;
    int timerId_ = 0;
    bool started_ = false;
    QTimer abortPoll_;
    Thread thread_;
};
