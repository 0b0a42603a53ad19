#include "decode/YEncLine.h"

#include <charconv>
#include <string>

namespace {

constexpr std::string_view kName = " name=";

// The whole text as an unsigned number (from_chars takes no sign for unsigned types); none on overflow.
template <typename T> std::optional<T> Parse(std::optional<std::string_view> text, int base) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    T value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value, base);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

YEncLine::YEncLine(std::string_view line) : pairs_(line) {
    size_t name = line.find(kName);
    if (name != std::string_view::npos) {
        pairs_ = line.substr(0, name);
        name_ = line.substr(name + kName.size());
    }
}

std::optional<std::string_view> YEncLine::value(std::string_view key) const {
    std::string pattern = " " + std::string(key) + "=";
    size_t found = pairs_.find(pattern);
    if (found == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = pairs_.substr(found + pattern.size());
    return rest.substr(0, rest.find(' '));
}

std::optional<uint64_t> YEncLine::number(std::string_view key) const {
    return Parse<uint64_t>(value(key), 10);
}

std::optional<uint32_t> YEncLine::crc(std::string_view key) const {
    return Parse<uint32_t>(value(key), 16);
}
