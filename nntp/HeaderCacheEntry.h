#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// One article's answer to "xhdr lines" (a number) or "xhdr subject" (a text of up to 1023 characters).
// An empty entry has article number 0 and length 0.
class HeaderCacheEntry {
  public:
    static constexpr size_t kDataSize = 1024;

    // Stores `count` bytes (cut to 1024); a count of 0 clears the data.
    void assign(int64_t article, const char* bytes, size_t count);
    void assignNumber(int64_t article, int64_t value);
    // The text with a terminating NUL, cut to 1023 characters.
    void assignText(int64_t article, const std::string& text);

    int64_t articleNumber() const { return article_; }
    size_t length() const { return length_; }
    // The stored number, 0 for an empty entry.
    int64_t number() const;
    // The stored text, empty for an empty entry.
    std::string text() const;

  private:
    int64_t article_ = 0;
    size_t length_ = 0;
    std::array<char, kDataSize> data_{};
};
