#include "parts/Header.h"

#include <algorithm>
#include <climits>

namespace {

constexpr size_t kMaxFieldLength = 1023;

// The C locale's character classes, safe for bytes above 0x7F.
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
char ToLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Digits from `pos` on as a non-negative number; a run too long for an int gives INT_MAX.
int ReadDigits(std::string_view s, size_t pos) {
    long long value = 0;
    for (; pos < s.size() && IsDigit(s[pos]); ++pos) {
        value = value * 10 + (s[pos] - '0');
        if (value > INT_MAX) {
            return INT_MAX;
        }
    }
    return static_cast<int>(value);
}

// Like atol: leading white space, an optional sign, digits; saturated to the int range.
int ReadLong(std::string_view s) {
    size_t pos = 0;
    while (pos < s.size() && IsSpace(s[pos])) {
        ++pos;
    }
    bool negative = pos < s.size() && s[pos] == '-';
    if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) {
        ++pos;
    }
    int magnitude = ReadDigits(s, pos);
    return negative ? -magnitude : magnitude;
}

void TrimTrailingSpace(std::string& s) {
    while (!s.empty() && IsSpace(s.back())) {
        s.pop_back();
    }
}

// Drops trailing non-digits, then takes the digit run at the end off `s` and returns it (0 without digits).
int TakeTrailingNumber(std::string& s) {
    while (!s.empty() && !IsDigit(s.back())) {
        s.pop_back();
    }
    size_t start = s.size();
    while (start > 0 && IsDigit(s[start - 1])) {
        --start;
    }
    int number = ReadDigits(s, start);
    s.resize(start);
    return number;
}

// Cuts `s` just after the last ")" or "]" that follows a digit which is not the first character.
void CutAtClosingBracket(std::string& s) {
    for (size_t i = s.size(); i-- > 2;) {
        if ((s[i] == ')' || s[i] == ']') && IsDigit(s[i - 1])) {
            s.resize(i + 1);
            return;
        }
    }
}

// Start of the separator between part number and total, or npos when there is none or it is refused.
size_t FindSeparator(const std::string& s) {
    if (s.empty()) {
        return std::string::npos;
    }
    size_t i = s.size() - 1;
    while (i > 0 && !IsDigit(s[i]) && !IsSpace(s[i])) {
        --i;
    }
    if (i == 0) {
        return std::string::npos;
    }
    size_t start = i + 1;
    std::string separator;
    for (size_t j = start; j < s.size(); ++j) {
        separator += ToLower(s[j]);
    }
    // Trailing digits and blanks are gone, so the separator holds at least the last character.
    char first = separator[0];
    bool accepted = first == '/' || first == '\\' || first == '|' || separator.starts_with("of") ||
                    separator.starts_with("fo");
    return accepted ? start : std::string::npos;
}

// The white-space-bounded word around the last "." of `s`; all of `s` when it has no dot.
std::string WordAroundLastDot(const std::string& s) {
    size_t dot = s.rfind('.');
    if (dot == std::string::npos) {
        return s;
    }
    size_t begin = dot;
    while (begin > 0 && !IsSpace(s[begin - 1])) {
        --begin;
    }
    size_t end = dot;
    while (end < s.size() && !IsSpace(s[end])) {
        ++end;
    }
    return s.substr(begin, end - begin);
}

const std::string& Empty() {
    static const std::string empty;
    return empty;
}

} // namespace

Header::Header(std::string text) : text_(std::move(text)) {}

int Header::getLines() {
    if (!lines_) {
        lines_ = 0;
        size_t pos = text_ ? text_->find("Lines:") : std::string::npos;
        if (pos != std::string::npos && pos + 6 < text_->size()) {
            lines_ = ReadLong(std::string_view(*text_).substr(pos + 6));
        }
    }
    return *lines_;
}

const std::string& Header::getSubject() {
    return field(subject_, "Subject:", 10);
}

const std::string& Header::getFrom() {
    return field(from_, "From:", 7);
}

// The value of field `name`: after its colon and any blanks, up to the line end, printable ASCII only.
const std::string& Header::field(std::optional<std::string>& cache, std::string_view name, size_t minRest) {
    if (cache) {
        return *cache;
    }
    cache.emplace();
    size_t pos = text_ ? text_->find(name) : std::string::npos;
    if (pos == std::string::npos || text_->size() - pos <= minRest) {
        return *cache;
    }
    size_t begin = pos + name.size();
    while (begin < text_->size() && (*text_)[begin] == ' ') {
        ++begin;
    }
    // A bare line feed ends the value too, so a header with LF line ends never spills its next lines into it.
    size_t end = text_->find_first_of("\r\n", begin);
    if (end == std::string::npos) {
        end = text_->size();
    }
    cache->assign(*text_, begin, std::min(end - begin, kMaxFieldLength));
    for (char& c : *cache) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            c = '_';
        }
    }
    return *cache;
}

std::optional<PartSubject> Header::isPartArticle(std::string_view subject) {
    std::string s(subject);
    CutAtClosingBracket(s);
    PartSubject result;
    result.total = TakeTrailingNumber(s);
    if (s.size() <= 5) {
        return std::nullopt;
    }
    TrimTrailingSpace(s);
    size_t separator = FindSeparator(s);
    if (separator == std::string::npos) {
        return std::nullopt;
    }
    s.resize(separator);
    result.part = TakeTrailingNumber(s);
    TrimTrailingSpace(s);
    if (s.empty()) {
        return std::nullopt;
    }
    result.name = WordAroundLastDot(s);
    result.line = std::move(s);
    return result;
}

void Header::analyse() {
    parts_.emplace();
    size_t pos = text_ ? text_->find("Subject:") : std::string::npos;
    if (pos == std::string::npos || text_->size() - pos <= 15) {
        return;
    }
    size_t begin = pos + 9;
    size_t end = text_->find('\n', begin);
    std::string_view subject =
        std::string_view(*text_).substr(begin, end == std::string::npos ? end : end - begin);
    // A subject the grammar refuses is no part subject at all, whatever numbers it got through before
    // failing.
    if (auto found = isPartArticle(subject)) {
        parts_ = std::move(*found);
    }
}

bool Header::isMultiPart() {
    if (!text_) {
        return false;
    }
    if (!parts_) {
        analyse();
    }
    int part = parts_->part;
    int total = parts_->total;
    return part > 0 && total >= part && !(part == 1 && total == 1);
}

int Header::getPartNumber() {
    isMultiPart();
    return parts_ ? parts_->part : 0;
}

int Header::getPartTotal() {
    isMultiPart();
    return parts_ ? parts_->total : 0;
}

const std::string& Header::getPartName() {
    isMultiPart();
    return parts_ ? parts_->name : Empty();
}

const std::string& Header::getPartLine() {
    isMultiPart();
    return parts_ ? parts_->line : Empty();
}

bool Header::MatchFilter(std::string_view filter) {
    if (!text_ || filter.empty() || filter.size() > text_->size()) {
        return false;
    }
    if (!lowered_) {
        lowered_.emplace(text_->size(), '\0');
        for (size_t i = 0; i < text_->size(); ++i) {
            (*lowered_)[i] = ToLower((*text_)[i]);
        }
    }
    std::string lowFilter(filter.size(), '\0');
    for (size_t i = 0; i < filter.size(); ++i) {
        lowFilter[i] = ToLower(filter[i]);
    }
    return lowered_->find(lowFilter) != std::string::npos;
}
