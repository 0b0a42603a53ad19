#pragma once

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "platform/Thread.h"

// The loader of the group selection: reads a server's group-list file on its own thread and hands what it
// finds to the GUI thread, the names in batches. A load that is cancelled or replaced hands over nothing
// more, and it stops at its next line, so starting another never keeps the GUI thread waiting for long.
class GroupLoader : public QObject {
    Q_OBJECT

  public:
    explicit GroupLoader(QObject* parent = nullptr);
    ~GroupLoader() override;

    // Cancels a load still running, then loads the file of `server` in `directory` (the current directory
    // when empty): the names containing `filter`, without the `configured` groups.
    void Start(const std::string& server, const std::string& directory, const std::string& filter,
               std::vector<std::string> configured);
    // The load-cancel flag: the running load stops at its next check and hands over nothing more.
    void Cancel();

  signals:
    void refreshed(const QString& date);
    void groupCount(const QString& count);
    void progress(const QString& percent);
    void loadingNote(bool shown);
    void namesLoaded(const QStringList& names);
    // `fileFound` is false when there was no file to read.
    void ended(bool fileFound);

  private:
    class Delivery;

    // Runs `call` on the GUI thread unless the load of `generation` has been cancelled by then.
    void Deliver(unsigned generation, std::function<void()> call);

    std::atomic<int> cancel_{0};
    std::atomic<unsigned> generation_{0};
    Thread thread_;
};
