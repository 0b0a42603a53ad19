#include "decode/ClassifyBody.h"

#include "decode/FileNames.h"
#include "decode/TextSearch.h"
#include "decode/UUDecode.h"
#include "decode/YEncBlock.h"

#include <cstring>
#include <string_view>

namespace {

constexpr int kLinesLooked = 100;

// Lines for classification end at the next CR anywhere in the rest of the text, or at the next LF when the
// rest holds no CR: the search for the CR is remembered so that it is made once per CR, not once per line.
class ClassifierLines {
  public:
    ClassifierLines(const char* text, const char* end) : pos_(text), end_(end) {}

    bool atEnd() const { return pos_ >= end_; }

    std::string_view next() {
        if (cr_ < pos_ && !noCr_) {
            cr_ = static_cast<const char*>(memchr(pos_, '\r', static_cast<size_t>(end_ - pos_)));
            noCr_ = cr_ == nullptr;
        }
        const char* lineEnd = noCr_ ? FindLineEnd(pos_, end_) : cr_;
        std::string_view line(pos_, static_cast<size_t>(lineEnd - pos_));
        pos_ = lineEnd;
        while (pos_ < end_ && IsLineBreak(*pos_)) {
            ++pos_;
        }
        return line;
    }

  private:
    const char* pos_;
    const char* end_;
    const char* cr_ = nullptr;
    bool noCr_ = false;
};

bool Contains(std::string_view line, std::string_view needle) {
    return FindText(line.data(), line.data() + line.size(), needle) != nullptr;
}

std::optional<std::string> Finish(std::string name) {
    if (name.empty()) {
        return std::nullopt;
    }
    CleanFileName(name);
    return name;
}

std::optional<std::string> UUFileName(const char* text, const char* end) {
    const char* begin = FindAtLineStart(text, text, end, kBeginMarker);
    if (!begin) {
        begin = FindText(text, end, kBeginMarker);
    }
    if (!begin) {
        return std::nullopt;
    }
    // The mode ends at the next blank on the start line itself: a name is never taken from the lines below.
    const char* lineEnd = FindLineEnd(begin, end);
    const char* modeStart = begin + kBeginMarker.size();
    const char* blank =
        static_cast<const char*>(memchr(modeStart, ' ', static_cast<size_t>(lineEnd - modeStart)));
    if (!blank) {
        return std::nullopt;
    }
    while (blank < lineEnd && *blank == ' ') {
        ++blank;
    }
    return Finish(std::string(blank, lineEnd));
}

std::optional<std::string> MimeFileName(const char* text, const char* end) {
    static const char* const kSpellings[] = {" filename=\"", " name=\"", " FILENAME=\"", " NAME=\"",
                                             " filename=",   " name=",   " NAME=",       " FILENAME="};
    for (const char* spelling : kSpellings) {
        const char* found = FindText(text, end, spelling);
        if (!found) {
            continue;
        }
        // The value never runs past its own line.
        const char* lineEnd = FindLineEnd(found, end);
        const char* quote =
            static_cast<const char*>(memchr(found, '"', static_cast<size_t>(lineEnd - found)));
        if (quote) {
            const char* close =
                static_cast<const char*>(memchr(quote + 1, '"', static_cast<size_t>(lineEnd - quote - 1)));
            return close ? Finish(std::string(quote + 1, close)) : std::nullopt;
        }
        const char* value =
            static_cast<const char*>(memchr(found, '=', static_cast<size_t>(lineEnd - found))) + 1;
        if (lineEnd == end) {
            return std::nullopt;
        }
        return Finish(std::string(value, lineEnd));
    }
    return std::nullopt;
}

} // namespace

int ClassifyBody(const char* text, const char* end) {
    static constexpr std::string_view kUUPunctuation = "`!\"#$%&'()*,.;<=>?[]^";
    bool beginSeen = false;
    ClassifierLines lines(text, end);
    for (int looked = 0; looked < kLinesLooked && !lines.atEnd(); ++looked) {
        std::string_view line = lines.next();
        if (line.empty()) {
            continue;
        }
        // A classifier line may hold several LF-separated lines when the text mixes line ends.
        if (FindAtLineStart(line.data(), line.data(), line.data() + line.size(), kYBeginMarker)) {
            return kYEnc;
        }
        if (line.size() >= kBeginMarker.size() && Contains(line, kBeginMarker)) {
            beginSeen = true;
        } else if (beginSeen) {
            if (line.find_first_of(kUUPunctuation) != std::string_view::npos) {
                return kUUEncode;
            }
            if (line.find_first_of("abcdefghijklmnopqrstuvwxyz") != std::string_view::npos) {
                return kUULike;
            }
        } else if (Contains(line, "Content-Transfer-Encoding")) {
            return kMime;
        }
    }
    return kNothing;
}

std::optional<std::string> ExtractFileName(const char* text, const char* end, int kind) {
    if (!text || text >= end) {
        return std::nullopt;
    }
    if (kind == kUUEncode || kind == kUULike) {
        return UUFileName(text, end);
    }
    if (kind == kMime) {
        return MimeFileName(text, end);
    }
    return std::nullopt;
}
