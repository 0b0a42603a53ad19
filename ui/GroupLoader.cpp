#include "ui/GroupLoader.h"

#include <chrono>

#include "nntp/GroupList.h"
#include "ui/DisplayText.h"

namespace {

constexpr size_t kStack = 128 * 1024;
// Names per hand-over, and the longest a found name or a progress value waits to be handed over: few
// enough calls for the GUI thread, each one short.
constexpr qsizetype kBatch = 2000;
constexpr auto kLongestWait = std::chrono::milliseconds(40);

} // namespace

// The loader thread's side: collects names and progress and hands them over in batches.
class GroupLoader::Delivery : public GroupLoadReport {
  public:
    Delivery(GroupLoader& loader, unsigned generation) : loader_(loader), generation_(generation) {}

    void Refreshed(const std::string& text) override {
        Post([&loader = loader_, date = DisplayText(text)] { emit loader.refreshed(date); });
    }
    void GroupCount(const std::string& text) override {
        Post([&loader = loader_, count = QString::fromStdString(text)] { emit loader.groupCount(count); });
    }
    void Progress(const std::string& text) override {
        progress_ = QString::fromStdString(text);
        FlushWhenDue();
    }
    void LoadingNote(bool shown) override {
        Flush();
        Post([&loader = loader_, shown] { emit loader.loadingNote(shown); });
    }
    void AddAvailable(const std::string& name) override {
        names_.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        FlushWhenDue();
    }
    void Ended(bool fileFound) {
        Flush();
        Post([&loader = loader_, fileFound] { emit loader.ended(fileFound); });
    }

  private:
    void Post(std::function<void()> call) { loader_.Deliver(generation_, std::move(call)); }

    void FlushWhenDue() {
        if (names_.size() >= kBatch || std::chrono::steady_clock::now() - lastFlush_ >= kLongestWait) {
            Flush();
        }
    }

    void Flush() {
        lastFlush_ = std::chrono::steady_clock::now();
        if (!progress_.isEmpty()) {
            Post([&loader = loader_, percent = std::move(progress_)] { emit loader.progress(percent); });
            progress_.clear();
        }
        if (!names_.isEmpty()) {
            Post([&loader = loader_, names = std::move(names_)] { emit loader.namesLoaded(names); });
            names_.clear();
        }
    }

    GroupLoader& loader_;
    unsigned generation_;
    QString progress_;
    QStringList names_;
    std::chrono::steady_clock::time_point lastFlush_ = std::chrono::steady_clock::now();
};

GroupLoader::GroupLoader(QObject* parent) : QObject(parent) {}

GroupLoader::~GroupLoader() {
    Cancel();
    thread_.join();
}

void GroupLoader::Start(const std::string& server, const std::string& directory, const std::string& filter,
                        std::vector<std::string> configured) {
    Cancel();
    thread_.join(); // it stops at its next line
    cancel_ = 0;
    unsigned generation = generation_;
    bool started = thread_.start(
        [this, server, directory, filter, configured = std::move(configured), generation] {
            Delivery delivery(*this, generation);
            delivery.Ended(LoadGroupList(server, directory, filter, configured, cancel_, delivery));
        },
        kStack);
    if (!started) {
        emit ended(false);
    }
}

void GroupLoader::Cancel() {
    cancel_ = 1;
    ++generation_;
}

void GroupLoader::Deliver(unsigned generation, std::function<void()> call) {
    QMetaObject::invokeMethod(
        this,
        [this, generation, call = std::move(call)] {
            if (generation_ == generation) {
                call();
            }
        },
        Qt::QueuedConnection);
}
