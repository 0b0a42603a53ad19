#include "log/Log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/AppendFile.h"
#include "platform/Thread.h"

namespace {

constexpr size_t kMessageBufferSize = 4096;
constexpr size_t kNameBufferSize = 4096;
// Lines waiting beyond this make their callers wait for the writer: a stalled disk must not fill memory.
constexpr size_t kMaxPending = size_t{1} << 20;
constexpr size_t kWriterStack = 256 * 1024;
// Lines that follow the first of a burst within this time, up to this many bytes, go out in the same write.
constexpr auto kGatherTime = std::chrono::milliseconds(2);
constexpr size_t kGatherBytes = size_t{64} << 10;

std::atomic<int> logEnabled{0};
thread_local LogHold* threadHold = nullptr;
std::atomic<const char*> txRxLogName{nullptr};

// One thread appends the lines in batches, so a burst of short lines costs a few writes instead of an open,
// a write and a close each, and the caller does not wait for the disk. Lines keep their order and stay whole,
// and each goes to the file that was named when it was logged.
class LogWriter {
  public:
    static LogWriter& Instance() {
        // Never destroyed: lines may still be logged while static objects are torn down.
        static LogWriter* writer = new LogWriter;
        return *writer;
    }

    void SetName(const char* path) {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitUntilWritten(lock);
        name_.clear();
        if (path) {
            name_.assign(path, strnlen(path, kNameBufferSize - 1));
        }
    }

    void Queue(const char* line, size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (name_.empty()) {
            return;
        }
        written_.wait(lock, [this] { return pending_.size() < kMaxPending; });
        if (!writer_.joinable()) {
            file_.Append(name_, line, count); // no writer thread could be started: write in place
            return;
        }
        bool wasEmpty = pending_.empty();
        bool wasSmall = pending_.size() < kGatherBytes;
        pending_.append(line, count);
        if (wasEmpty || (wasSmall && pending_.size() >= kGatherBytes)) {
            wake_.notify_one();
        }
    }

    void Flush() {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitUntilWritten(lock);
    }

  private:
    LogWriter() {
        // Normal priority even when the first line comes from an idle-priority download thread.
        writer_.start([this] { Run(); }, kWriterStack, 0);
        std::atexit([] { FlushLog(); });
    }

    void WaitUntilWritten(std::unique_lock<std::mutex>& lock) {
        ++waiting_;
        wake_.notify_one();
        written_.wait(lock, [this] { return pending_.empty() && !writing_; });
        --waiting_;
    }

    void Run() {
        std::string batch;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !pending_.empty(); });
            wake_.wait_for(lock, kGatherTime,
                           [this] { return waiting_ > 0 || pending_.size() >= kGatherBytes; });
            batch.clear();
            batch.swap(pending_);
            std::string name = name_;
            writing_ = true;
            lock.unlock();
            // A line that cannot be written is dropped; its caller has long carried on.
            file_.Append(name, batch.data(), batch.size());
            lock.lock();
            writing_ = false;
            written_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::string name_;
    std::string pending_;
    bool writing_ = false;
    int waiting_ = 0; // callers waiting for everything to be written: no gathering then
    AppendFile file_; // used by the writer thread, or under the lock when there is none
    Thread writer_;
};

} // namespace

void SetLogFileName(const char* path) {
    LogWriter::Instance().SetName(path);
}

void SetLogEnabled(int flag) {
    logEnabled = flag;
}

void LogMessage(const char* format, ...) {
    if (!logEnabled) {
        return;
    }
    // An over-long message is cut to the buffer, never overflows it.
    char message[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(message, kMessageBufferSize, format, args);
    va_end(args);
    if (length < 0) {
        return;
    }
    size_t count = std::min(static_cast<size_t>(length), kMessageBufferSize - 1);
    message[count++] = '\n';
    if (!LogHold::Take(message, count)) {
        LogWriter::Instance().Queue(message, count);
    }
}

LogHold::LogHold() {
    threadHold = this;
}

LogHold::~LogHold() {
    Release();
    threadHold = nullptr;
}

void LogHold::Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = State::Holding;
}

void LogHold::Release() {
    std::unique_lock<std::mutex> lock(mutex_);
    // Written out, and the deferred output run, without the lock: the output takes locks of its own. The
    // owner goes on holding meanwhile, and only once nothing is left does its output go straight, so nothing
    // it does later can overtake what it held.
    while (!held_.empty()) {
        std::vector<Held> batch;
        batch.swap(held_);
        lock.unlock();
        for (Held& held : batch) {
            if (!held.lines.empty()) {
                LogWriter::Instance().Queue(held.lines.data(), held.lines.size());
            }
            if (held.then) {
                held.then();
            }
        }
        lock.lock();
    }
    if (state_ == State::Holding) {
        state_ = State::Straight;
    }
}

void LogHold::Drop() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.clear();
    state_ = State::Dropping;
}

bool LogHold::Resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    bool dropping = state_ == State::Dropping;
    state_ = State::Straight;
    return dropping;
}

// Hands output to the calling thread's hold: `keep` stores it while the hold is holding; while it is dropping
// the output is discarded. False when output goes straight.
template <typename Keep> bool LogHold::Hand(Keep keep) {
    LogHold* hold = threadHold;
    if (!hold) {
        return false;
    }
    std::lock_guard<std::mutex> lock(hold->mutex_);
    switch (hold->state_) {
    case State::Straight:
        return false;
    case State::Holding:
        keep(hold->held_);
        return true;
    case State::Dropping:
        return true;
    }
    return false;
}

bool LogHold::Take(const char* line, size_t count) {
    return Hand([&](std::vector<Held>& held) {
        if (held.empty() || held.back().then) {
            held.emplace_back();
        }
        held.back().lines.append(line, count);
    });
}

void LogHold::Defer(std::function<void()> show) {
    if (!Hand([&](std::vector<Held>& held) { held.push_back({std::string(), std::move(show)}); })) {
        show();
    }
}

void FlushLog() {
    LogWriter::Instance().Flush();
}

void EnableTxRxLog() {
    const char* none = nullptr;
    txRxLogName.compare_exchange_strong(none, "txrxlog.log");
}

const char* GetTxRxLogName() {
    return txRxLogName;
}

void HexDump(FILE* stream, const unsigned char* bytes, size_t count) {
    for (size_t row = 0; row < count; row += 16) {
        size_t n = count - row < 16 ? count - row : 16;
        char line[80];
        size_t pos = 0;
        for (size_t i = 0; i < 16; ++i) {
            pos += i < n ? snprintf(line + pos, sizeof line - pos, "%02x ", bytes[row + i])
                         : snprintf(line + pos, sizeof line - pos, "   ");
            if (i % 4 == 3) {
                line[pos++] = ' ';
            }
        }
        line[pos++] = ' ';
        line[pos++] = ' ';
        for (size_t i = 0; i < 16; ++i) {
            unsigned char c = i < n ? bytes[row + i] : ' ';
            line[pos++] = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
        }
        line[pos++] = '\n';
        fwrite(line, 1, pos, stream);
    }
}
