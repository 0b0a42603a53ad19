#include "decode/YEncBlock.h"

#include "decode/TextSearch.h"
#include "decode/YEncDecode.h"
#include "decode/YEncLine.h"
#include "log/Log.h"

#include <algorithm>
#include <climits>
#include <limits>

namespace {

constexpr std::string_view kYPartMarker = "=ypart ";
constexpr std::string_view kYEndMarker = "=yend";

// A file offset must fit the type the output's seek takes.
constexpr uint64_t kMaxSize = static_cast<uint64_t>(std::numeric_limits<long>::max());

std::optional<int> Count(const YEncLine& values, std::string_view key) {
    std::optional<uint64_t> value = values.number(key);
    if (!value || *value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

std::optional<YEncHeader> ParseBegin(std::string_view line) {
    YEncLine values(line);
    std::optional<uint64_t> size = values.number("size");
    if (!size || *size == 0 || *size > kMaxSize) {
        return std::nullopt;
    }
    YEncHeader header;
    header.size = *size;
    header.last = *size;
    header.name = std::string(values.name().value_or(""));
    header.multipart = values.has("part");
    if (header.multipart) {
        std::optional<int> part = Count(values, "part");
        if (!part || *part == 0) {
            return std::nullopt;
        }
        header.part = *part;
    }
    if (values.has("total")) {
        std::optional<int> total = Count(values, "total");
        if (!total) {
            return std::nullopt;
        }
        header.total = *total;
    }
    return header;
}

// "=ypart begin=B end=E": bytes B to E of the file, counted from 1, both included.
bool ParsePlace(std::string_view line, YEncHeader& header) {
    YEncLine values(line);
    std::optional<uint64_t> begin = values.number("begin");
    std::optional<uint64_t> end = values.number("end");
    if (!begin || !end || *begin == 0 || *end < *begin) {
        return false;
    }
    header.first = *begin - 1;
    header.last = *end;
    return true;
}

YEncTrailer ParseEnd(std::string_view line) {
    YEncLine values(line);
    return YEncTrailer{values.number("size"), values.crc("pcrc32"), values.crc("crc32")};
}

bool IsEndLine(std::string_view line) {
    return line.starts_with(kYEndMarker) &&
           (line.size() == kYEndMarker.size() || line[kYEndMarker.size()] == ' ');
}

// The header of the block whose "=ybegin" line the cursor has just passed, with the "=ypart" line of a part.
std::optional<YEncHeader> ReadHeader(std::string_view begin, TextCursor& cursor) {
    std::optional<YEncHeader> header = ParseBegin(begin);
    std::string_view bad = begin;
    if (header && header->multipart) {
        TextCursor next = cursor;
        std::string_view line = NextLine(next);
        bool placed = line.starts_with(kYPartMarker);
        if (placed) {
            cursor = next;
            bad = line;
        }
        if (!placed || !ParsePlace(line, *header)) {
            header.reset();
        }
    }
    if (!header) {
        LogMessage("   Malformed yEnc line: %.*s", static_cast<int>(std::min<size_t>(bad.size(), 1024)),
                   bad.data());
    }
    return header;
}

} // namespace

std::optional<YEncHeader> PeekYEncHeader(const TextCursor& cursor) {
    const char* start = FindAtLineStart(cursor.pos, cursor.pos, cursor.end, kYBeginMarker);
    if (!start) {
        return std::nullopt;
    }
    return ParseBegin(std::string_view(start, static_cast<size_t>(FindLineEnd(start, cursor.end) - start)));
}

bool ReadYEncBlock(TextCursor& cursor, YEncBlock& block) {
    block = YEncBlock{};
    char* start = FindAtLineStart(cursor.pos, cursor.pos, cursor.end, kYBeginMarker);
    if (!start) {
        cursor.pos = cursor.end;
        return false;
    }
    cursor.pos = start;
    std::string_view begin = NextLine(cursor);
    block.header = ReadHeader(begin, cursor);

    YEncData data = DecodeYEncData(cursor.pos, cursor.end);
    block.data = cursor.pos;
    block.size = data.size;
    block.crc = data.crc;
    cursor.pos = data.stop;

    TextCursor after = cursor;
    std::string_view line = NextLine(after);
    if (IsEndLine(line)) {
        block.trailer = ParseEnd(line);
        cursor = after;
    }
    return true;
}
