#include "engine/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr size_t kMessageBufferSize = 4096;
constexpr size_t kNameBufferSize = 4096;

std::mutex logMutex; // guards the name and keeps lines of different threads whole
std::string logFileName;
std::atomic<int> logEnabled{0};
std::atomic<const char*> txRxLogName{nullptr};

} // namespace

void SetLogFileName(const char* path) {
    std::lock_guard<std::mutex> lock(logMutex);
    logFileName.clear();
    if (path) {
        logFileName.assign(path, strnlen(path, kNameBufferSize - 1));
    }
}

void SetLogEnabled(int flag) { logEnabled = flag; }

void LogMessage(const char* format, ...) {
    if (!logEnabled) {
        return;
    }
    // An over-long message is cut to the buffer, never overflows it.
    char message[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);

    std::lock_guard<std::mutex> lock(logMutex);
    if (logFileName.empty()) {
        return;
    }
    FILE* file = fopen(logFileName.c_str(), "a");
    if (!file) {
        return;
    }
    fprintf(file, "%s\n", message);
    fclose(file);
}

void EnableTxRxLog() {
    const char* none = nullptr;
    txRxLogName.compare_exchange_strong(none, "txrxlog.log");
}

const char* GetTxRxLogName() { return txRxLogName; }

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
