#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The values of a yEnc control line such as "=ybegin part=1 total=3 line=128 size=5000 name=a b.bin": pairs
// key=value after a blank each, and in "=ybegin" the name, which runs to the end of the line.
class YEncLine {
  public:
    // `line` without its line end; the object refers to it.
    explicit YEncLine(std::string_view line);

    bool has(std::string_view key) const { return value(key).has_value(); }
    // A decimal value: none when absent, empty, anything but digits, or beyond 64 bits.
    std::optional<uint64_t> number(std::string_view key) const;
    // A CRC: hexadecimal digits that fit 32 bits.
    std::optional<uint32_t> crc(std::string_view key) const;
    // Everything after " name=", blanks included.
    std::optional<std::string_view> name() const { return name_; }

  private:
    std::optional<std::string_view> value(std::string_view key) const;

    std::string_view pairs_; // the line before the name
    std::optional<std::string_view> name_;
};
