#include "ui/TreeLister.h"

#include "platform/FileSystem.h"

namespace {

constexpr size_t kStack = 80 * 1024;
constexpr size_t kBatch = 256;

} // namespace

TreeLister::TreeLister(Receiver receiver) : receiver_(std::move(receiver)) {}

TreeLister::~TreeLister() {
    Cancel();
    thread_.join();
}

void TreeLister::List(std::vector<Directory> directories) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Directory& directory : directories) {
            pending_.push_back(std::move(directory));
        }
        if (running_ || pending_.empty()) {
            return;
        }
        running_ = true;
    }
    thread_.join(); // the last thread has left its loop already
    if (!thread_.start([this] { Run(); }, kStack)) {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.clear();
        running_ = false;
    }
}

void TreeLister::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++generation_;
    pending_.clear();
}

bool TreeLister::Busy() {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_ || inFlight_ > 0;
}

void TreeLister::Run() {
    for (;;) {
        Directory directory;
        unsigned generation;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_.empty()) {
                running_ = false;
                return;
            }
            directory = std::move(pending_.front());
            pending_.pop_front();
            generation = generation_;
        }
        // A missing or unreadable directory shows no files.
        std::vector<DirEntry> entries = ListDirectory(directory.path).value_or(std::vector<DirEntry>());
        std::vector<std::string> batch;
        for (DirEntry& entry : entries) {
            if (generation_ != generation) {
                break;
            }
            if (entry.isDirectory) {
                continue;
            }
            batch.push_back(std::move(entry.name));
            if (batch.size() == kBatch) {
                Deliver(directory.group, std::move(batch), generation);
                batch = {};
            }
        }
        if (!batch.empty()) {
            Deliver(directory.group, std::move(batch), generation);
        }
    }
}

void TreeLister::Deliver(quint64 group, std::vector<std::string> names, unsigned generation) {
    ++inFlight_;
    QMetaObject::invokeMethod(
        this,
        [this, group, names = std::move(names), generation] {
            --inFlight_;
            if (generation_ == generation) {
                receiver_(group, names);
            }
        },
        Qt::QueuedConnection);
}
