#include "common/ByteRing.h"

#include <algorithm>
#include <cstring>

ByteRing::ByteRing() : data_(kInitialCapacity), capacity_(kInitialCapacity) {}

void ByteRing::growFor(size_t needed) {
    size_t newCapacity = capacity_;
    while (newCapacity < needed) {
        newCapacity *= 2;
    }
    if (newCapacity == capacity_) {
        return;
    }
    std::vector<char> grown(newCapacity);
    size_t first = std::min(size_, capacity_ - head_);
    std::memcpy(grown.data(), data_.data() + head_, first);
    std::memcpy(grown.data() + first, data_.data(), size_ - first);
    data_.swap(grown);
    capacity_ = newCapacity;
    head_ = 0;
}

void ByteRing::append(const char* bytes, size_t count) {
    growFor(size_ + count);
    size_t tail = (head_ + size_) % capacity_;
    size_t first = std::min(count, capacity_ - tail);
    std::memcpy(data_.data() + tail, bytes, first);
    std::memcpy(data_.data(), bytes + first, count - first);
    size_ += count;
}

char* ByteRing::appendSpace(size_t want, size_t& room) {
    if (size_ == capacity_) {
        growFor(capacity_ + 1);
    }
    size_t tail = (head_ + size_) % capacity_;
    size_t contiguous = tail >= head_ ? capacity_ - tail : head_ - tail;
    room = std::min(want, contiguous);
    return data_.data() + tail;
}

size_t ByteRing::find(char c, size_t from) const {
    if (from >= size_) {
        return npos;
    }
    size_t start = (head_ + from) % capacity_;
    size_t firstLen = std::min(size_ - from, capacity_ - start);
    if (const void* hit = std::memchr(data_.data() + start, c, firstLen)) {
        return from + (static_cast<const char*>(hit) - (data_.data() + start));
    }
    size_t rest = size_ - from - firstLen;
    if (const void* hit = std::memchr(data_.data(), c, rest)) {
        return from + firstLen + (static_cast<const char*>(hit) - data_.data());
    }
    return npos;
}

void ByteRing::take(size_t count, std::string& out) {
    count = std::min(count, size_);
    size_t first = std::min(count, capacity_ - head_);
    out.append(data_.data() + head_, first);
    out.append(data_.data(), count - first);
    discard(count);
}

void ByteRing::discard(size_t count) {
    count = std::min(count, size_);
    head_ = (head_ + count) % capacity_;
    size_ -= count;
    if (size_ == 0) {
        head_ = 0;
    }
}
