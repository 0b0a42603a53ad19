#pragma once

#include <QObject>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Thread.h"

// Lists group directories on a background thread and hands the names to the GUI thread in batches, so a
// directory of many thousands of files neither blocks the window nor floods it.
class TreeLister : public QObject {
    Q_OBJECT

  public:
    struct Directory {
        quint64 group; // the group node's serial
        std::string path;
    };
    // Called on the GUI thread with each batch of plain-file names of one directory.
    using Receiver = std::function<void(quint64 group, const std::vector<std::string>& names)>;

    explicit TreeLister(Receiver receiver);
    ~TreeLister() override;

    // Queues directories behind those still being listed.
    void List(std::vector<Directory> directories);
    // Drops every directory not yet listed and the names not yet handed over.
    void Cancel();
    // True while names are still on their way.
    bool Busy();

  private:
    void Run();
    void Deliver(quint64 group, std::vector<std::string> names, unsigned generation);

    Receiver receiver_;
    std::mutex mutex_;
    std::deque<Directory> pending_;
    bool running_ = false;
    std::atomic<unsigned> generation_{0};
    std::atomic<int> inFlight_{0};
    Thread thread_;
};
