#include "ui/GroupListWindow.h"

#include <QCloseEvent>

#include <chrono>
#include <functional>
#include <future>

#include "nntp/Flags.h"
#include "nntp/GroupList.h"
#include "ui/Dialogs.h"
#include "ui/DisplayText.h"
#include "ui_GroupListWindow.h"

namespace {

constexpr size_t kStack = 256 * 1024;
constexpr int kStatusMs = 1500;
constexpr int kAbortPollMs = 300;
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

} // namespace

// The fetch thread's side: every update goes to the GUI thread, and none once the fetch is cancelled.
class GroupListWindow::Relay : public GroupFetchReport {
  public:
    explicit Relay(GroupListWindow& window) : window_(window) {}

    void Status(const std::string& text) override { Show(window_.ui_->statusLabel, text); }
    void ListFetched() override {
        Hand([&window = window_] { window.StopTimer(); });
    }
    void SoFar(const std::string& text) override { Show(window_.ui_->soFarValue, text); }
    void LastGroup(const std::string& text) override { Show(window_.ui_->lastGroupValue, text); }
    void Beep() override {
        Hand([&window = window_] { window.dialogs_.Beep(500, 200); });
    }
    // Waits until the user has seen the message, or the fetch is cancelled.
    void Warning(const std::string& text) override {
        auto seen = std::make_shared<std::promise<void>>();
        std::future<void> answer = seen->get_future();
        bool handed = Hand([&window = window_, seen, message = DisplayText(text)] {
            if (GroupListCancel.load() == 0) {
                window.dialogs_.Message(&window, message, "Spindrel", Dialogs::Icon::Warning);
            }
            seen->set_value();
        });
        while (handed && answer.wait_for(kWaitSlice) != std::future_status::ready &&
               GroupListCancel.load() == 0) {
        }
    }
    // The fetch has ended by itself: the window closes.
    void Ended() {
        Hand([&window = window_] { window.Close(); });
    }

  private:
    void Show(QLabel* label, const std::string& text) {
        Hand([label, shown = DisplayText(text)] { label->setText(shown); });
    }

    // Hands `call` to the GUI thread unless the fetch has been cancelled; false when it has.
    bool Hand(std::function<void()> call) {
        std::lock_guard<std::mutex> lock(window_.uiLock_);
        if (GroupListCancel.load() != 0) {
            return false;
        }
        QMetaObject::invokeMethod(&window_, std::move(call), Qt::QueuedConnection);
        return true;
    }

    GroupListWindow& window_;
};

GroupListWindow::GroupListWindow(QWidget* parent, const std::string& server, Dialogs& dialogs,
                                 std::string directory)
    : QDialog(parent), ui_(std::make_unique<Ui::GroupListWindow>()), server_(server), dialogs_(dialogs),
      directory_(std::move(directory)), relay_(std::make_unique<Relay>(*this)) {
    ui_->setupUi(this);
    if (!server.empty()) {
        setWindowTitle(DisplayText(server));
    }
    abortPoll_.setInterval(kAbortPollMs);
    connect(&abortPoll_, &QTimer::timeout, this, &GroupListWindow::PollFetch);
    connect(ui_->abortButton, &QPushButton::clicked, this, &GroupListWindow::onAbort);
}

GroupListWindow::~GroupListWindow() {
    if (thread_.joinable() && !thread_.finished()) {
        std::lock_guard<std::mutex> lock(uiLock_);
        GroupListCancel.store(1);
    }
    thread_.join();
}

void GroupListWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        Start();
    }
}

void GroupListWindow::Start() {
    timerId_ = startTimer(kStatusMs);
    if (timerId_ == 0) {
        dialogs_.Message(this, "Failed to allocate a timer, status will not update", "Spindrel",
                         Dialogs::Icon::Warning);
    }
    GroupListCancel.store(0);
    bool started = thread_.start(
        [this] {
            FetchServerGroups(server_, "", "", directory_, *relay_, progress_);
            relay_->Ended();
        },
        kStack);
    if (!started) {
        QMetaObject::invokeMethod(this, &GroupListWindow::Close, Qt::QueuedConnection);
    }
}

void GroupListWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QDialog::timerEvent(event);
        return;
    }
    std::lock_guard<std::mutex> lock(uiLock_);
    long count = progress_.Count();
    if (count > 0) {
        ui_->soFarValue->setText(QString::number(count));
        if (std::optional<std::string> name = TimerLastGroup(progress_.LastLine())) {
            ui_->lastGroupValue->setText(DisplayText(*name));
        }
    }
}

void GroupListWindow::onAbort() {
    if (abortPoll_.isActive()) {
        return;
    }
    ui_->abortButton->setEnabled(false);
    {
        std::lock_guard<std::mutex> lock(uiLock_);
        GroupListCancel.store(1);
    }
    abortPoll_.start();
}

void GroupListWindow::reject() {
    onAbort();
}

void GroupListWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    onAbort();
}

void GroupListWindow::PollFetch() {
    if (!thread_.joinable() || thread_.finished()) {
        Close();
    }
}

void GroupListWindow::Close() {
    std::lock_guard<std::mutex> lock(uiLock_);
    StopTimer();
    abortPoll_.stop();
    QDialog::done(QDialog::Rejected);
}

void GroupListWindow::StopTimer() {
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
}
