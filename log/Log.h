#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

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
// are discarded) when its work is done. At most one per thread; it must outlive the work it waits for.
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

  private:
    enum class State { Straight, Holding, Dropping };
    std::mutex mutex_;
    State state_ = State::Straight;
    std::string held_;
};

// The transmit/receive log: off until EnableTxRxLog, then "txrxlog.log" for the rest of the process.
void EnableTxRxLog();
const char* GetTxRxLogName();

// Writes `count` bytes as rows of 16: hex column, two blanks, printable characters.
void HexDump(FILE* stream, const unsigned char* bytes, size_t count);
