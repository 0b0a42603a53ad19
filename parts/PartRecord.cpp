#include "parts/PartRecord.h"
#include "common/Trace.h"

#include <charconv>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Skips blanks and reads one decimal number, as "%d"/"%ld" would but refusing values that do not fit.
template <typename T> bool ReadNumber(const char*& pos, const char* end, T& value) {
    while (pos < end && (*pos == ' ' || *pos == '\t')) {
        ++pos;
    }
    if (pos < end && *pos == '+') {
        ++pos;
    }
    auto [next, error] = std::from_chars(pos, end, value);
    if (error != std::errc()) {
        return false;
    }
    pos = next;
    return true;
}

// Part files are named by the store itself; a name that could reach outside the directory, or one of the
// store's own files, is damage.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name != "index" && name != "index.new" &&
           name != "assembly.tmp" && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Length of what fgets stored in `chunk`, which was filled with 1s before: up to and including the first line
// feed, else up to the terminator. Counting this way keeps NUL bytes inside a damaged line from hiding its
// end.
size_t ChunkLength(const char* chunk, size_t size) {
    if (const void* feed = memchr(chunk, '\n', size)) {
        return static_cast<const char*>(feed) - chunk + 1;
    }
    size_t length = size - 1;
    while (length > 0 && chunk[length] != '\0') {
        --length;
    }
    return length;
}

} // namespace

bool ReadIndexLine(FILE* stream, std::string& line) {
    line.clear();
    char chunk[512]; // most lines fit; longer ones take several rounds
    bool readSomething = false;
    for (;;) {
        memset(chunk, 1, sizeof chunk);
        if (!fgets(chunk, sizeof chunk, stream)) {
            break;
        }
        readSomething = true;
        size_t length = ChunkLength(chunk, sizeof chunk);
        if (line.size() < kMaxIndexLine) {
            line.append(chunk, std::min(length, kMaxIndexLine - line.size()));
        }
        if (length > 0 && chunk[length - 1] == '\n') {
            break;
        }
    }
    while (!line.empty() && IsBlank(line.back())) {
        line.pop_back();
    }
    return readSomething;
}

bool ParseRecordLine(const std::string& line, PartRecord& record) {
    const char* pos = line.data();
    const char* end = pos + line.size();
    PartRecord parsed;
    if (!ReadNumber(pos, end, parsed.time) || !ReadNumber(pos, end, parsed.part) ||
        !ReadNumber(pos, end, parsed.total)) {
        return false;
    }
    size_t x = line.find('x');
    if (x == std::string::npos) {
        return false;
    }
    parsed.file = line.substr(x + 1);
    if (!IsPlainFileName(parsed.file)) {
        return false;
    }
    record = std::move(parsed);
    return true;
}

bool ReadRecord(FILE* stream, PartRecord& record) {
    record = PartRecord();
    std::string line;
    if (!ReadIndexLine(stream, line) || !ParseRecordLine(line, record)) {
        return false;
    }
    if (!ReadIndexLine(stream, record.signature)) {
        record = PartRecord();
        return false;
    }
    return true;
}

std::string FormatRecord(const PartRecord& record) {
    char first[64];
    snprintf(first, sizeof first, "%ld %d %d x", record.time, record.part, record.total);
    return first + record.file + "\n" + record.signature + "\n";
}

int ReadPartRecord(PartRecord& record, FILE* stream) {
    if (!ReadRecord(stream, record)) {
        return 0;
    }
    Trace("read: part '%s' on time %lu, partt %d of %d", record.file.c_str(),
          static_cast<unsigned long>(record.time), record.part, record.total);
    Trace("read: signature is '%s'", record.signature.c_str());
    return 1;
}
