#include "decode/MimeMessage.h"

#include "decode/Base64.h"
#include "decode/FileNames.h"
#include "decode/TextSearch.h"
#include "decode/UUDecode.h"
#include "log/Log.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// More distinct boundaries than any real message nests; the cap keeps hostile texts from costing a search of
// the whole text per declared boundary.
constexpr size_t kMaxBoundaries = 64;
constexpr size_t kMaxUnclosedDashLines = 16;

bool Contains(std::string_view text, std::string_view needle) {
    return text.find(needle) != std::string_view::npos;
}

// The rest of the line after the first `name` in [text, end), or none.
std::optional<std::string_view> HeaderValue(const char* text, const char* end, std::string_view name) {
    const char* found = FindText(text, end, name);
    if (!found) {
        return std::nullopt;
    }
    const char* value = found + name.size();
    return std::string_view(value, static_cast<size_t>(FindLineEnd(value, end) - value));
}

// A quoted value loses its quote and ends at the next one; any other value stays as it is.
std::string Unquote(std::string_view value) {
    if (value.empty() || value[0] != '"') {
        return std::string(value);
    }
    value.remove_prefix(1);
    return std::string(value.substr(0, value.find('"')));
}

// Lets a "Content-" header whose line ends with ";" go on on the next line, unless that line is the empty one
// that ends the headers.
void JoinFoldedHeaders(char* text, char* end) {
    for (char* found = FindText(text, end, "Content-"); found; found = FindText(found + 1, end, "Content-")) {
        char* lineEnd = FindLineEnd(found, end);
        while (lineEnd < end && lineEnd[-1] == ';') {
            size_t breakSize = lineEnd[0] == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n' ? 2 : 1;
            if ((lineEnd[0] == '\r' && breakSize == 1) || lineEnd + breakSize >= end ||
                IsLineBreak(lineEnd[breakSize])) {
                break;
            }
            memset(lineEnd, ' ', breakSize);
            lineEnd = FindLineEnd(lineEnd, end);
        }
    }
}

// The start of the first line after `from` that is empty, or null.
char* AfterEmptyLine(char* from, char* end) {
    char* lineEnd = FindLineEnd(from, end);
    while (lineEnd < end) {
        char* next = lineEnd + (lineEnd[0] == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n' ? 2 : 1);
        if (next < end && IsLineBreak(*next)) {
            return next;
        }
        lineEnd = FindLineEnd(next, end);
    }
    return nullptr;
}

char* SkipLineBreaks(char* p, char* end) {
    while (p < end && IsLineBreak(*p)) {
        ++p;
    }
    return p;
}

const char* Base64Extension(const std::string& start) {
    static const char* const kPrefixes[][2] = {{"/9j", ".jpg"},  {"SUk", ".tiff"}, {"R0l", ".gif"},
                                               {"PGh", ".html"}, {"Qk0", ".bmp"},  {"UEs", ".zip"}};
    for (const auto& prefix : kPrefixes) {
        if (start.size() >= 3 && start.compare(0, 3, prefix[0]) == 0) {
            return prefix[1];
        }
    }
    return "";
}

} // namespace

int TransferKind(const std::optional<std::string>& encoding) {
    if (!encoding || encoding->empty()) {
        return kTransferNone;
    }
    std::string_view value = *encoding;
    if (Contains(value, "binhex")) {
        return kTransferBinhex;
    }
    if (Contains(value, "uu")) {
        return kTransferUUEncode;
    }
    if (Contains(value, "7")) {
        return kTransfer7Bit;
    }
    if (Contains(value, "64")) {
        return kTransferBase64;
    }
    if (Contains(value, "8")) {
        return kTransfer8Bit;
    }
    if (Contains(value, "quot") || Contains(value, "QUOT")) {
        return kTransferQuotedPrintable;
    }
    if (Contains(value, "bin") || Contains(value, "BIN")) {
        return kTransferBinary;
    }
    return kTransferNone;
}

bool MimeMessage::Parse(char* text, char* end) {
    text_ = text;
    end_ = end;
    boundaries_.clear();
    guessed_ = false;
    CollectBoundaries();
    char* first = FindNextBoundary(text_);
    multiPart_ = first != nullptr;
    // Dashes taken for boundaries may be a signature's after all: the text before them is searched as well.
    preamble_ = multiPart_ && guessed_ && first > text_;
    nextPart_ = multiPart_ ? first : text_;
    lastDone_ = false;
    return multiPart_;
}

bool MimeMessage::NextPart() {
    if (lastDone_) {
        return false;
    }
    if (preamble_) {
        preamble_ = false;
        ParsePart(text_, nextPart_, false);
        FinishPartName();
        return true;
    }
    char* start = nextPart_;
    char* end = multiPart_ ? FindNextBoundary(start + 1) : nullptr;
    if (end) {
        nextPart_ = end;
    } else {
        end = end_;
        lastDone_ = true;
    }
    ParsePart(start, end, multiPart_);
    FinishPartName();
    return true;
}

void MimeMessage::AddBoundary(std::string text) {
    if (text.size() <= 2 || boundaries_.size() >= kMaxBoundaries) {
        return;
    }
    for (const Boundary& boundary : boundaries_) {
        if (boundary.text == text) {
            return;
        }
    }
    boundaries_.push_back(Boundary{std::move(text)});
}

void MimeMessage::CollectBoundaries() {
    static constexpr std::string_view kParameter = "boundary=";
    const char* found = FindText(text_, end_, kParameter);
    if (found) {
        for (; found; found = FindText(found + kParameter.size(), end_, kParameter)) {
            const char* value = found + kParameter.size();
            const char* lineEnd = FindLineEnd(value, end_);
            const char* valueEnd;
            if (value < lineEnd && *value == '"') {
                ++value;
                valueEnd = std::find(value, lineEnd, '"');
            } else {
                // An unquoted value ends where the next parameter or blank begins.
                valueEnd =
                    std::find_if(value, lineEnd, [](char c) { return c == ';' || c == ' ' || c == '\t'; });
            }
            AddBoundary("--" + std::string(value, valueEnd));
        }
        return;
    }
    if (FindText(text_, end_, "uuencode")) {
        return;
    }
    // No declared boundary: a line starting with "--" separates parts only when its closing delimiter follows
    // further on. Others, such as a signature's "-- ", are text; each costs a search of the rest, so only a
    // few are tried.
    size_t unclosed = 0;
    for (char* line = FindAtLineStart(text_, text_, end_, "--"); line && unclosed < kMaxUnclosedDashLines;) {
        char* lineEnd = FindLineEnd(line, end_);
        std::string boundary(line, lineEnd);
        char* from = lineEnd;
        if (boundary.size() > 2) {
            if (char* closing = FindText(lineEnd, end_, boundary + "--")) {
                AddBoundary(boundary);
                guessed_ = true;
                from = closing + boundary.size() + 2;
            } else {
                ++unclosed;
            }
        }
        line = FindAtLineStart(text_, from, end_, "--");
    }
}

char* MimeMessage::FindNextBoundary(char* pos) {
    char* earliest = nullptr;
    for (Boundary& boundary : boundaries_) {
        bool known =
            boundary.searchedFrom && boundary.searchedFrom <= pos && (!boundary.next || boundary.next >= pos);
        if (!known) {
            boundary.next = FindAtLineStart(text_, pos, end_, boundary.text);
            boundary.searchedFrom = pos;
        }
        if (boundary.next && (!earliest || boundary.next < earliest)) {
            earliest = boundary.next;
        }
    }
    return earliest;
}

void MimeMessage::ParsePart(char* text, char* end, bool atBoundary) {
    part_ = MimePart{};
    part_.text = text;
    part_.textEnd = end;
    encodedStart_.clear();

    char* data = text;
    if (atBoundary) {
        data = FindLineEnd(text, end);
        if (data < end && *data == '\r') {
            ++data;
        }
        if (data < end && *data == '\n') {
            ++data;
        }
    }
    // Headers are looked for up to the empty line after the first "Content-" header; without one, in the
    // whole part.
    char* headersEnd = end;
    if (char* header = FindText(data, end, "Content-")) {
        if (char* afterHeaders = AfterEmptyLine(header, end)) {
            headersEnd = afterHeaders;
            data = SkipLineBreaks(afterHeaders, end);
        }
    }

    JoinFoldedHeaders(text, headersEnd);
    if (auto value = HeaderValue(text, headersEnd, "Content-Transfer-Encoding: ")) {
        part_.encoding = std::string(*value);
    }
    if (auto line = HeaderValue(text, headersEnd, "Content-Type: ")) {
        part_.contentType = Unquote(line->substr(0, line->find(';')));
        size_t name = line->find("name=");
        if (name != std::string_view::npos) {
            part_.name = Unquote(line->substr(name + 5));
        }
    }
    if (auto line = HeaderValue(text, headersEnd, "Content-Disposition: ")) {
        size_t name = line->find("filename=");
        if (name != std::string_view::npos) {
            part_.name = Unquote(line->substr(name + 9));
        }
    }

    if (!part_.encoding) {
        return;
    }
    switch (TransferKind()) {
    case kTransferBase64: {
        // "-" is no base64 character: a line starting with "--", a signature's or a boundary, ends the data.
        char* dashes = FindAtLineStart(data, data, end, "--");
        DecodeBase64Part(data, dashes ? dashes : end);
        break;
    }
    case kTransferUUEncode:
        UUDecodePart(data, end);
        break;
    case kTransferBinhex:
        KeepBinhexPart(data, end);
        break;
    default:
        part_.data = data;
        part_.size = static_cast<uint64_t>(end - data);
        break;
    }
}

void MimeMessage::FinishPartName() {
    std::string& name = part_.name;
    CleanFileName(name);
    part_.nameInvented = name.empty();
    if (part_.nameInvented) {
        name = "NoFileName";
    }
    if (name.find('.') != std::string::npos) {
        return;
    }
    if (part_.contentType && part_.contentType->find('/') != std::string::npos) {
        std::string subtype = part_.contentType->substr(part_.contentType->find('/') + 1);
        name += subtype == "plain" ? ".txt" : "." + subtype;
    } else {
        switch (TransferKind()) {
        case kTransfer7Bit:
        case kTransferQuotedPrintable:
            name += part_.size >= 2 && part_.data[0] == '<' && part_.data[1] == 'H' ? ".html" : ".txt";
            break;
        case kTransfer8Bit:
        case kTransferBinary:
            name += ".bin";
            break;
        case kTransferBase64:
            name += Base64Extension(encodedStart_);
            break;
        default:
            name += ".unk";
            break;
        }
    }
    // The content type comes from the post too: what it added must not lead out of the directory.
    CleanFileName(name);
}

void MimeMessage::DecodeBase64Part(char* data, char* end) {
    encodedStart_.assign(data, std::min<size_t>(3, static_cast<size_t>(end - data)));
    size_t size = DecodeBase64InPlace(data, end);
    part_.data = size ? data : nullptr;
    part_.size = size;
}

void MimeMessage::UUDecodePart(char* data, char* end) {
    char* begin = FindAtLineStart(data, data, end, kBeginMarker);
    if (!begin) {
        return;
    }
    LogMessage("   MIME-UUDecoding...");
    char* out = begin;
    uint64_t total = 0;
    char* lf = static_cast<char*>(memchr(begin, '\n', static_cast<size_t>(end - begin)));
    // Lines end with LF (after an optional CR); text after the last line end is not a line, and an empty line
    // ends the data.
    while (lf) {
        char* line = lf + 1;
        lf = line < end ? static_cast<char*>(memchr(line, '\n', static_cast<size_t>(end - line))) : nullptr;
        if (!lf) {
            break;
        }
        char* lineEnd = lf > line && lf[-1] == '\r' ? lf - 1 : lf;
        std::string_view text(line, static_cast<size_t>(lineEnd - line));
        if (text.empty()) {
            break;
        }
        UULineCheck check = CheckUULine(text);
        LogUULine(check, text);
        if (check.verdict == UULineVerdict::kCorrupt) {
            continue;
        }
        if (check.count == 0) {
            break;
        }
        out += DecodeUULine(text, check.count, out);
        total += static_cast<uint64_t>(check.count);
    }
    part_.data = total ? begin : nullptr;
    part_.size = total;
}

void MimeMessage::KeepBinhexPart(char* data, char* end) {
    part_.data = data;
    part_.size = static_cast<uint64_t>(end - data);
}
