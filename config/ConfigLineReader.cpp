#include "config/ConfigLineReader.h"

#include <cstring>
#include <string_view>

namespace {

constexpr size_t kPhysicalLineBuffer = 1024; // 1023 characters and the terminating NUL
constexpr std::string_view kWhiteSpace = " \t\r\n";

std::string_view Trim(std::string_view text) {
    size_t end = text.find_last_not_of(kWhiteSpace);
    if (end == std::string_view::npos) {
        return {};
    }
    return text.substr(0, end + 1).substr(text.find_first_not_of(kWhiteSpace));
}

} // namespace

std::optional<std::string> ReadSignificantLine(std::FILE* file) {
    char buffer[kPhysicalLineBuffer];
    for (;;) {
        if (std::feof(file)) {
            return std::nullopt;
        }
        do {
            if (!std::fgets(buffer, sizeof buffer, file)) {
                return std::nullopt;
            }
        } while (buffer[0] == '#' || std::strcmp(buffer, "\n") == 0);
        // A line cut short by the end of the file is never used.
        if (std::feof(file)) {
            return std::nullopt;
        }
        std::string_view line = Trim(buffer);
        if (!line.empty()) {
            return std::string(line);
        }
    }
}

std::string CutLineEndValue(std::string_view value, size_t limit) {
    value = value.substr(0, limit);
    return std::string(value.substr(0, value.find_last_not_of(kWhiteSpace) + 1));
}
