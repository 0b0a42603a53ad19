#include "ui/QtEngineHost.h"

#include <QThread>

#include <chrono>
#include <memory>

#include "config/ConfigFile.h"
#include "engine/EngineState.h"
#include "nntp/Flags.h"
#include "ui/MainWindow.h"

namespace {

constexpr int kFlushIntervalMs = 33; // about 30 screen updates a second
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

struct PendingCall {
    bool done = false;
    bool givenUp = false;
};

} // namespace

int PanelField(PanelScope scope, PanelRow row, bool mbytes) {
    return FirstPanelField + (static_cast<int>(scope) * 4 + static_cast<int>(row)) * 2 + (mbytes ? 1 : 0);
}

QtEngineHost::QtEngineHost(MainWindow& window, Settings& settings, std::string configFile)
    : window_(window), settings_(settings), configFile_(std::move(configFile)) {
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, &QtEngineHost::Flush);
    sinceFlush_.start();
}

void QtEngineHost::SetPanelRow(PanelScope scope, PanelRow row, const std::string& count,
                               const std::string& mbytes) {
    SetField(PanelField(scope, row, false), count);
    SetField(PanelField(scope, row, true), mbytes);
}

void QtEngineHost::SetField(int field, const std::string& text) {
    bool schedule;
    {
        std::lock_guard<std::mutex> lock(fieldsMutex_);
        fields_[field] = text;
        dirty_.set(field);
        schedule = !flushPending_;
        flushPending_ = true;
    }
    if (schedule) {
        Post([this] { ScheduleFlush(); });
    }
}

void QtEngineHost::ScheduleFlush() {
    qint64 wait = kFlushIntervalMs - sinceFlush_.elapsed();
    flushTimer_.start(static_cast<int>(wait > 0 ? wait : 0));
}

void QtEngineHost::Flush() {
    std::array<std::string, HostFieldCount> values;
    std::bitset<HostFieldCount> dirty;
    {
        std::lock_guard<std::mutex> lock(fieldsMutex_);
        dirty = dirty_;
        dirty_.reset();
        flushPending_ = false;
        for (int i = 0; i < HostFieldCount; ++i) {
            if (dirty[i]) {
                values[i] = fields_[i];
            }
        }
    }
    flushTimer_.stop();
    if (dirty.none()) {
        return;
    }
    for (int i = 0; i < HostFieldCount; ++i) {
        if (dirty[i]) {
            window_.ShowHostField(i, values[i]);
        }
    }
    ++flushes_;
    sinceFlush_.restart();
}

void QtEngineHost::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(
        this,
        [this, call = std::move(call)] {
            if (!closed_) {
                call();
            }
        },
        Qt::QueuedConnection);
}

bool QtEngineHost::GivenUp() const {
    return closed_ || DownloadRunning.load() == 0;
}

bool QtEngineHost::Ask(std::function<void()> call) {
    if (QThread::currentThread() == thread()) {
        call();
        return true;
    }
    auto pending = std::make_shared<PendingCall>();
    Post([this, pending, call = std::move(call)] {
        {
            std::lock_guard<std::mutex> lock(callMutex_);
            if (pending->givenUp) {
                return;
            }
        }
        call();
        std::lock_guard<std::mutex> lock(callMutex_);
        pending->done = true;
        answered_.notify_all();
    });
    // Stop and close may be waiting for a lock this worker holds: the wait watches for them.
    std::unique_lock<std::mutex> lock(callMutex_);
    while (!pending->done) {
        if (GivenUp()) {
            pending->givenUp = true;
            return false;
        }
        answered_.wait_for(lock, kWaitSlice);
    }
    return true;
}

void QtEngineHost::AddDecodedFile(const std::string& name) {
    Post([this, name] { window_.AddDecodedFile(name); });
}

void QtEngineHost::DownloadEnded(bool closeApplication) {
    Post([this, closeApplication] { window_.DownloadEnded(closeApplication); });
}

bool QtEngineHost::SaveConfiguration() {
    std::lock_guard<std::mutex> order(saveMutex_);
    std::string text;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        text = FormatConfig(settings_);
    }
    return WriteConfigText(text, configFile_) == 1;
}

void QtEngineHost::MessageBox(const std::string& text, const std::string& caption) {
    Ask([this, text, caption] { window_.ShowWarning(text, caption); });
}

void QtEngineHost::Beep(int hertz, int milliseconds) {
    Post([this, hertz, milliseconds] { window_.Beep(hertz, milliseconds); });
}

void QtEngineHost::TreeFirstServer() {
    Ask([this] { window_.TreeFirstServer(); });
}

void QtEngineHost::TreeNextServer() {
    Ask([this] { window_.TreeNextServer(); });
}

void QtEngineHost::TreeNextGroup() {
    Ask([this] { window_.TreeNextGroup(); });
}

ServerEntry* QtEngineHost::TreeCurrentServerEntry() {
    std::lock_guard<std::mutex> lock(cursorMutex_);
    return cursorServer_;
}

GroupEntry* QtEngineHost::TreeCurrentGroupEntry() {
    std::lock_guard<std::mutex> lock(cursorMutex_);
    return cursorGroup_;
}

void QtEngineHost::SetCursorEntries(ServerEntry* server, GroupEntry* group) {
    std::lock_guard<std::mutex> lock(cursorMutex_);
    cursorServer_ = server;
    cursorGroup_ = group;
}

void QtEngineHost::Shutdown() {
    closed_ = true;
    std::lock_guard<std::mutex> lock(callMutex_);
    answered_.notify_all();
}
