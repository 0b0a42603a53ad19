#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A growable circular byte buffer. It starts with room for 262144 bytes and doubles whenever a byte would not
// fit, so unread data is never overwritten and always comes out in the order it went in.
class ByteRing {
  public:
    static constexpr size_t kInitialCapacity = 0x40000;

    ByteRing();

    size_t capacity() const { return capacity_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    void append(const char* bytes, size_t count);
    void append(const std::string& bytes) { append(bytes.data(), bytes.size()); }

    // Room for up to `want` bytes right after the unread ones, in one piece (grown when the ring is full):
    // fill it, then commit the count that arrived. Nothing else may change the ring in between.
    char* appendSpace(size_t want, size_t& room);
    void commit(size_t count) { size_ += count; }

    // Offset of the first `c` at or after `from` among the unread bytes, or npos.
    size_t find(char c, size_t from = 0) const;
    static constexpr size_t npos = static_cast<size_t>(-1);

    // Moves the oldest `count` bytes onto the end of `out` (appends; does not clear it).
    void take(size_t count, std::string& out);
    void discard(size_t count);
    void clear() { head_ = size_ = 0; }

  private:
    void growFor(size_t needed);

    std::vector<char> data_;
    size_t capacity_;
    size_t head_ = 0;
    size_t size_ = 0;
};
