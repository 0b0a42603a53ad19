#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The activity log: one line per call, appended to the file named by SetLogFileName while logging is enabled.
// Lines are written by a background thread moments after the call; FlushLog returns once every line logged
// before it is in the file (and is run at exit).
void SetLogFileName(const char* path);
void SetLogEnabled(int flag);
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void FlushLog();

// Holds back the activity-log lines of the thread that creates it while work handed to another thread, whose
// lines come first in the log, is still running: Hold when handing the work over; the other thread calls
// Release (the held lines go to the log, later ones go straight) or Drop (they and every line until Resume
// are discarded) when its work is done. Other output of the thread (what it shows in a window) can keep its
// place among the lines through Defer. At most one per thread; it must outlive the work it waits for.
class LogHold {
  public:
    LogHold();
    ~LogHold();
    LogHold(const LogHold&) = delete;
    LogHold& operator=(const LogHold&) = delete;

    void Hold();
    void Release();
    void Drop();
    // Lines go straight again after a Drop. True when lines were being dropped.
    bool Resume();

    // The calling thread's hold takes the line when it is holding or dropping.
    static bool Take(const char* line, size_t count);
    // Other output of the calling thread: `show` runs at once when its lines go straight; while they are held
    // it runs on Release, after the lines held before it, and while they are dropped it never runs.
    static void Defer(std::function<void()> show);

  private:
    enum class State { Straight, Holding, Dropping };
    // A run of held lines and the deferred output that came after it, if any.
    struct Held {
        std::string lines;
        std::function<void()> then;
    };
    template <typename Keep> static bool Hand(Keep keep);

    std::mutex mutex_;
    State state_ = State::Straight;
    std::vector<Held> held_;
};

// The transmit/receive log: off until EnableTxRxLog, then "txrxlog.log" for the rest of the process.
void EnableTxRxLog();
const char* GetTxRxLogName();

// Writes `count` bytes as rows of 16: hex column, two blanks, printable characters.
void HexDump(FILE* stream, const unsigned char* bytes, size_t count);
